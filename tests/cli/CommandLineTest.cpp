#include <gtest/gtest.h>

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
