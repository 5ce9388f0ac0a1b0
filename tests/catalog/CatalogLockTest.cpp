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

constexpr CatalogLock::Wait kNoWait{0};

CatalogError::Code lockError(const std::function<void()>& take)
{
    try {
        take();
    } catch (const CatalogError& e) {
        return e.code();
    }
    ADD_FAILURE() << "the lock was taken";
    return CatalogError::Code::Open;
}

TEST(CatalogLock, AWriterInAnotherProcessKeepsTheCatalogsOfItsFolderUntilItEnds)
{
    TempDir tmp;
    std::filesystem::create_directories(tmp.path() / "shelf" / "inner");
    const auto file = tmp.path() / "shelf" / "Disk.qd";
    SaveDiskFile(file, sampleDisk());
    // The other writer saves while it holds the lock: the catalog's file is
    // another one now, and the lock holds all the same.
    ChildWriter other([&] { return CatalogLock::forCatalog(file); }, {[&] { SaveDiskFile(file, sampleDisk()); }});
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(other.next());

    const auto busy = CatalogError::Code::Busy;
    EXPECT_EQ(lockError([&] { CatalogLock::forCatalog(file, kNoWait); }), busy);
    EXPECT_EQ(lockError([&] { CatalogLock::forCatalog(tmp.path() / "shelf" / "Other.qd", kNoWait); }), busy);
    EXPECT_EQ(lockError([&] { CatalogLock::forTree(tmp.path(), kNoWait); }), busy) << "a folder above it";
    EXPECT_NO_THROW(CatalogLock::forFolder(tmp.path() / "shelf" / "inner", kNoWait)) << "a folder of its own";

    ASSERT_TRUE(other.finish());
    EXPECT_NO_THROW(CatalogLock::forCatalog(file, kNoWait));
    EXPECT_NO_THROW(CatalogLock::forTree(tmp.path(), kNoWait));
}

} // namespace
