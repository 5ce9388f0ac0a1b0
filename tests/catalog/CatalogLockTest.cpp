// Writers of catalogs take turns, between processes and across the rename
// with which every save replaces a catalog's file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The locks of a tree are all taken or none: a folder whose lock file
// cannot be made for want of descriptors is no folder nobody may write in.
// In a child, whose limit of open files it lowers.
TEST(CatalogLock, ATreeThatRunsOutOfDescriptorsIsRefusedNotPartlyLocked)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' checks of an object's type open a pipe, and fail
    // where no descriptor is left.
    GTEST_SKIP() << "needs a build without the sanitizers";
#endif
    TempDir tmp;
    for (int i = 0; i < 40; ++i)
        std::filesystem::create_directories(tmp.path() / ("f" + std::to_string(i)));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int open = ::open("/dev/null", O_RDONLY); // the lowest free descriptor
        const rlimit few{rlim_t(open + 20), rlim_t(open + 20)};
        ::setrlimit(RLIMIT_NOFILE, &few);
        try {
            CatalogLock::forTree(tmp.path(), CatalogLock::Wait::zero());
        } catch (const CatalogError& e) {
            ::_exit(e.systemError() == EMFILE ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: some folders left unlocked; 2: another failure";
}

} // namespace
