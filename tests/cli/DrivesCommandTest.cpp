#include <gtest/gtest.h>

#include <QDir>
#include <QProcessEnvironment>
#include <QStorageInfo>
#include <QTemporaryDir>

#include "support/Qdcat.h"

using namespace qd::test;

namespace {

// qdcat with its settings in a temporary configuration folder.
class QdcatDrives : public ::testing::Test {
protected:
    QTemporaryDir config, folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    void SetUp() override { env.insert("XDG_CONFIG_HOME", config.path()); }
    QdcatResult run(const QStringList& args) { return runQdcat(QStringList{"drives"} + args, env); }
    // The listed line of a letter, split at tabs; empty when not listed.
    QStringList line(const QString& letter)
    {
        const auto r = run({});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        for (const QString& l : QString::fromUtf8(r.out).split(u'\n')) {
            if (l.startsWith(letter + u':'))
                return l.split(u'\t');
        }
        return {};
    }
};

TEST_F(QdcatDrives, MappedFolderIsListedWithItsLabelSerialAndSizes)
{
    const auto r = run({"--map", "d=" + folder.path(), "--label", "写真", "--serial", "1234abcd"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList d = line("D");
    ASSERT_EQ(d.size(), 7) << d.join('|').toStdString();
    EXPECT_EQ(d[1], "fixed");
    EXPECT_EQ(d[2], QDir::cleanPath(folder.path()));
    EXPECT_EQ(d[3], "写真");
    EXPECT_EQ(d[4], "1234-ABCD");
    EXPECT_EQ(d[5].toLongLong(), QStorageInfo(folder.path()).bytesTotal());
    EXPECT_GT(d[6].toLongLong(), 0);
}

TEST_F(QdcatDrives, MissingFolderIsNoDiskAndUnmapRemovesIt)
{
    ASSERT_EQ(run({"--map", "E:=" + folder.filePath("gone"), "--kind", "cdrom"}).exitCode, 0);
    const QStringList e = line("E");
    ASSERT_EQ(e.size(), 7);
    EXPECT_EQ(e[1], "cdrom");
    EXPECT_EQ(e[2], "no disk");
    EXPECT_EQ(e.mid(3), QStringList({"", "", "", ""}));

    ASSERT_EQ(run({"--unmap", "e"}).exitCode, 0);
    const QStringList after = line("E");
    EXPECT_TRUE(after.isEmpty() || after[2] != "no disk");
    const auto again = run({"--unmap", "E"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("not mapped")) << again.err.toStdString();
}

TEST_F(QdcatDrives, WrongArgumentsAreUsageErrorsAndChangeNothing)
{
    for (const QStringList& args : {QStringList{"--map", "D=/x", "--serial", "12345"}, QStringList{"--map", "D"},
                                    QStringList{"--map", "1=/x"}, QStringList{"--map", "D=/x", "--label"},
                                    QStringList{"--map", "D=/x", "--kind", "floppy"}, QStringList{"--unmap"},
                                    QStringList{"--bogus"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_TRUE(line("D").isEmpty() || line("D")[2] != "/x");
}

TEST_F(QdcatDrives, RootFileSystemIsDriveC)
{
    const QStringList c = line("C");
    ASSERT_EQ(c.size(), 7);
    EXPECT_EQ(c[2], "/");
    EXPECT_EQ(c[4].size(), 9); // XXXX-XXXX
    EXPECT_EQ(c[5].toLongLong(), QStorageInfo::root().bytesTotal());
}

} // namespace

TEST_F(QdcatDrives, EscapesALabelWithATabAndANewLine)
{
    ASSERT_EQ(run({"--map", "Q=" + folder.path(), "--label", "A\tB\nC"}).exitCode, 0);
    const QStringList cols = line("Q");
    ASSERT_EQ(cols.size(), 7);
    EXPECT_EQ(cols[3], "A\\tB\\nC");
}
