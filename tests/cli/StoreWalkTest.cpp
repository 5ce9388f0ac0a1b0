// The walk over the catalog store as search, identify and disks make it: a
// folder that cannot be listed is named, never left out without a word, and
// no store is nested too deep to be walked.
#include <gtest/gtest.h>

#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalog/DiskFile.h"
#include "catalog/UniqueFd.h"
#include "support/CatalogFixtures.h"
#include "support/Qdcat.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

constexpr std::uint32_t kSerial = 0x1234ABCD;

class QdcatStoreWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        // An unprivileged user must reach the store and the settings.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "disk");
        std::filesystem::create_directories(root());
        env.insert("XDG_CONFIG_HOME", q(dir / "config"));
        const auto mapped = runQdcat({"drives", "--map", "S=" + q(dir / "disk"), "--serial", "1234-ABCD"}, env);
        ASSERT_EQ(mapped.exitCode, 0) << mapped.err.toStdString();
    }
    std::filesystem::path root() const { return dir / "data"; }
    static TDisk diskOf(std::uint32_t serial)
    {
        TDisk d = sampleDisk();
        d.SerialNo = serial;
        d.DirList[0].FileList.push_back(sampleFile("needle.txt", 1));
        return d;
    }
    QdcatResult run(QStringList args, const std::function<void()>& childSetup = {}) const
    {
        return runQdcat(args << "--root" << q(root()), env, {}, childSetup);
    }

    TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

// Makes a chain of depth folders "d" below top, deeper than a path may name,
// each below the last (openat), and writes bytes as deep.qd at its bottom.
bool makeDeepCatalog(const std::filesystem::path& top, int depth, const std::string& bytes)
{
    UniqueFd at(::open(top.c_str(), O_RDONLY | O_DIRECTORY));
    for (int i = 0; i < depth && at; ++i) {
        ::mkdirat(at.get(), "d", 0755);
        at = UniqueFd(::openat(at.get(), "d", O_RDONLY | O_DIRECTORY));
    }
    const UniqueFd file(at ? ::openat(at.get(), "deep.qd", O_WRONLY | O_CREAT, 0644) : -1);
    return file && ::write(file.get(), bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

} // namespace

TEST_F(QdcatStoreWalk, AFolderThatCannotBeListedIsNamedByEveryCommandThatWalksTheStore)
{
    std::filesystem::create_directories(root() / "Locked");
    SaveDiskData(root() / "Locked" / "inside", diskOf(kSerial));
    SaveDiskData(root() / "outside", diskOf(kSerial + 1));
    ASSERT_EQ(::chmod((root() / "Locked").c_str(), 0), 0);
    const QByteArray named = "cannot list the folder " + QFile::encodeName(q(root() / "Locked"));
    const struct {
        QStringList args;
        int exitCode;
        const char* more; // what else standard error must say
    } cases[] = {
        {{"search", "needle"}, 0, "1 file found"},
        {{"disks"}, 0, ""},
        {{"identify", "S:"}, 1, "some folders could not be read"},
    };
    for (const auto& c : cases) {
        const QdcatResult r = run(c.args, AsNobody);
        if (r.exitCode == 77)
            GTEST_SKIP() << "running as root and cannot become an unprivileged user here";
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err.count(named), 1) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.more)) << r.err.toStdString();
    }
    ::chmod((root() / "Locked").c_str(), 0755);
}

TEST_F(QdcatStoreWalk, AStoreNestedThousandsOfFoldersDeepIsWalkedToItsBottom)
{
    ASSERT_TRUE(makeDeepCatalog(root(), 3000, BuildDiskData(diskOf(kSerial))));
    const struct {
        QStringList args;
        const char* found; // the start of what standard output must say
    } cases[] = {
        {{"search", "needle"}, "deep\tneedle.txt\tD:"},
        {{"disks"}, "d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d"},
        {{"identify", "S:"}, "deep\t"},
    };
    for (const auto& c : cases) {
        const QdcatResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(c.found)) << c.args.join(' ').toStdString() << ": " << r.out.left(200).toStdString();
        EXPECT_FALSE(r.err.contains("cannot")) << r.err.toStdString();
    }
    // rm removes a tree of any depth, which the temporary folder's removal may not.
    EXPECT_EQ(std::system(("rm -rf '" + (root() / "d").string() + "'").c_str()), 0);
}
