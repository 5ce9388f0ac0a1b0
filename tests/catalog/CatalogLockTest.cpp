// Writers of catalogs take turns, between processes and across the rename
// with which every save replaces a catalog's file.
#include <gtest/gtest.h>

#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/ChildWriter.h"

using namespace qd;
using namespace qd::test;

namespace {

// Whether take, not waiting, finds the lock held by another.
bool busy(const std::function<void(CatalogLock::Wait)>& take)
{
    try {
        take(CatalogLock::Wait::zero());
    } catch (const CatalogError& e) {
        return e.code() == CatalogError::Code::Busy;
    }
    return false;
}

TEST(CatalogLock, AWriterInAnotherProcessKeepsTheCatalogsOfItsFolderUntilItEnds)
{
    TempDir tmp;
    const auto shelf = tmp.path() / "shelf", file = shelf / "Disk.qd";
    std::filesystem::create_directories(shelf / "inner");
    SaveDiskFile(file, sampleDisk());
    // The other writer saves while it holds the lock: the catalog's file is
    // another one now, and the lock holds all the same.
    ChildWriter other([&] { return CatalogLock::forCatalog(file); }, {[&] { SaveDiskFile(file, sampleDisk()); }});
    ASSERT_TRUE(other.next());

    EXPECT_TRUE(busy([&](auto wait) { CatalogLock::forCatalog(file, wait); }));
    EXPECT_TRUE(busy([&](auto wait) { CatalogLock::forCatalog(shelf / "Other.qd", wait); }));
    EXPECT_TRUE(busy([&](auto wait) { CatalogLock::forTree(tmp.path(), wait); })) << "a folder above it";
    EXPECT_FALSE(busy([&](auto wait) { CatalogLock::forFolder(shelf / "inner", wait); })) << "a folder of its own";
    ASSERT_TRUE(other.finish());
    EXPECT_FALSE(busy([&](auto wait) { CatalogLock::forCatalog(file, wait); }));
}

} // namespace
