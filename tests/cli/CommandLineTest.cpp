#include <gtest/gtest.h>

#include <iterator>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

const char* const kCommands[] = {"dump", "ls", "search", "drives", "scan", "identify", "update"};

} // namespace

TEST(QdcatCommandLine, EveryCommandHasQtsHelpAndTheProgramItsVersion)
{
    for (const char* name : kCommands) {
        for (const QStringList& args : {QStringList{name, "--help"}, QStringList{"help", name}}) {
            const auto r = runQdcat(args);
            EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString();
            EXPECT_TRUE(r.out.startsWith("Usage: ")) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(QByteArray("[options] ") + name)) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains("-h, --help")) << r.out.toStdString();
        }
        EXPECT_TRUE(runQdcat({"--help"}).out.contains(QByteArray("  qdcat ") + name + ' ')) << name;
    }
    const auto version = runQdcat({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "qdcat 4.10\n");
    EXPECT_EQ(runQdcat({"-v"}).out, "qdcat 4.10\n");
}

TEST(QdcatCommandLine, WrongOptionsNameTheCommandsUsage)
{
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {{"dump", "--bogus", "x.qd"}, "Unknown option 'bogus'."},
        {{"search", "a", "--root"}, "Missing value after '--root'."},
        {{"scan", "S:", "--force=yes", "--title", "t"}, "Unexpected value after '--force'."},
        {{"--bogus"}, "Unknown option 'bogus'."},
    };
    for (const auto& c : cases) {
        const auto r = runQdcat(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        if (c.args[0] != "--bogus") {
            EXPECT_TRUE(r.err.contains("usage: qdcat " + c.args[0].toUtf8() + ' ')) << r.err.toStdString();
        }
    }
}

// "--" makes the one argument after it positional, in its place among the
// others; options after it are still read. A value may follow "=".
TEST(QdcatCommandLine, DoubleDashTakesOneArgumentAndValuesMayFollowAnEqualsSign)
{
    TempDir dir;
    SaveDiskData(dir / "-disk", sampleDisk());
    const auto env = QProcessEnvironment::systemEnvironment();
    const auto ls = runQdcat({"ls", "--", "-disk.qd", "D:\\PHOTO"}, env, q(dir.path()));
    ASSERT_EQ(ls.exitCode, 0) << ls.err.toStdString();
    EXPECT_TRUE(ls.out.startsWith("2001\t")) << ls.out.toStdString();
    EXPECT_EQ(runQdcat({"ls", "-disk.qd", "D:\\PHOTO"}, env, q(dir.path())).exitCode, 1);

    std::filesystem::create_directories(dir / "data");
    SaveDiskData(dir / "data" / "d", sampleDisk());
    const auto search = runQdcat({"search", "--", "-", "--root=" + q(dir / "data")});
    EXPECT_EQ(search.exitCode, 0) << search.err.toStdString();
    EXPECT_EQ(search.err, "0 files found\n");
}

// A catalog copied from Windows is often named in Shift-JIS, as is a folder of
// catalogs: every command reaches them by the bytes it is given.
TEST(QdcatCommandLine, FileAndFolderNamesThatAreNotUtf8KeepTheirBytes)
{
    TempDir dir;
    const QByteArray base = QByteArray::fromStdString(dir.path().native());
    std::filesystem::create_directories(dir / "config");
    std::filesystem::create_directories(dir / "disk");
    writeFile(dir / "disk" / "needle.txt", "x");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", q(dir / "config"));
    ASSERT_EQ(runQdcat({"drives", "--map", "S=" + q(dir / "disk"), "--serial", "1234-ABCD"}, env).exitCode, 0);
    const QByteArray folder = QByteArray::fromStdString(cp932::fromUtf8("カタログ").bytes);
    const QByteArray name = QByteArray::fromStdString(cp932::fromUtf8("写真").bytes) + ".qd";
    const QByteArray root = base + '/' + folder;
    ASSERT_FALSE(QByteArrayView(root).isValidUtf8());
    std::filesystem::create_directories(root.toStdString());

    // A catalog of the disk under a Shift-JIS name in that folder.
    const QdcatResult scanned = runQdcat({"scan", "S:", "--title", "Disk", "--root", q(dir / "plain")}, env);
    ASSERT_EQ(scanned.exitCode, 0) << scanned.err.toStdString();
    std::filesystem::copy_file(dir / "plain" / "Disk.qd", (root + '/' + name).toStdString());
    writeFile(dir / "disk" / "new.txt", "y");

    const QByteArray file = root + '/' + name;
    const struct {
        std::vector<QByteArray> args;
        const char* out; // what standard output holds
    } cases[] = {
        {{"dump", file}, "\"name\":\"needle.txt\""},
        {{"ls", file}, "needle.txt\t"},
        {{"export", file}, "S:\\\\needle.txt\t"},
        {{"search", "needle", "--root", root}, "needle.txt\tS:"},
        {{"search", "needle", "--root", base, "--in", folder + '/' + name}, "needle.txt\tS:"},
        {{"search", "needle", "--root=" + root, "--in", file}, "needle.txt\tS:"},
        {{"update", file, "S:"}, "added\tfile\tnew.txt"},
        {{"scan", "S:", "--title", "Again", "--root", root}, "S -> "},
    };
    for (const auto& c : cases) {
        const QdcatResult r = runQdcatBytes(c.args, env);
        EXPECT_EQ(r.exitCode, 0) << c.args[0].toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << c.args[0].toStdString() << ": " << r.out.toStdString();
    }
    // scan wrote into the folder named, not into one it made beside it.
    EXPECT_TRUE(std::filesystem::exists((root + "/Again.qd").toStdString()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4); // config, disk, plain, root
}
