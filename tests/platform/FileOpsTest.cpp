#include "platform/FileOps.h"
#include "support/TestHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(data);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

class FileOpsTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString at(const QString& name) const { return tmp.filePath(name); }
};

TEST_F(FileOpsTest, CreateFolderMakesOneLevelAndRefusesAnExistingOne)
{
    EXPECT_TRUE(qd::CreateFolder(at("新しいフォルダ")));
    EXPECT_TRUE(qd::DirectoryExists(at("新しいフォルダ")));
    EXPECT_FALSE(qd::CreateFolder(at("新しいフォルダ")));
    EXPECT_FALSE(qd::CreateFolder(at("missing/child")));
    EXPECT_FALSE(qd::DirectoryExists(at("missing")));
    EXPECT_FALSE(qd::CreateFolder(QString()));

    EXPECT_TRUE(qd::CreateFolderPath(at("a/b/c")));
    EXPECT_TRUE(qd::DirectoryExists(at("a/b/c")));
    EXPECT_TRUE(qd::CreateFolderPath(at("a/b/c"))) << "an existing folder is success";
    writeFile(at("plain"), "x");
    EXPECT_FALSE(qd::CreateFolderPath(at("plain"))) << "a file in the way is not a folder";
}

TEST_F(FileOpsTest, ExistsTellsFilesFromFolders)
{
    writeFile(at("disk.qd"), "qd410");
    ASSERT_TRUE(QDir(tmp.path()).mkdir("folder"));
    EXPECT_TRUE(qd::FileExists(at("disk.qd")));
    EXPECT_FALSE(qd::DirectoryExists(at("disk.qd")));
    EXPECT_TRUE(qd::DirectoryExists(at("folder")));
    EXPECT_FALSE(qd::FileExists(at("folder")));
    EXPECT_FALSE(qd::FileExists(at("nothing")));
    EXPECT_FALSE(qd::DirectoryExists(at("nothing")));
    EXPECT_FALSE(qd::FileExists(QString()));
    EXPECT_FALSE(qd::DirectoryExists(QString()));
}

TEST_F(FileOpsTest, RenameMovesFilesAndFolders)
{
    writeFile(at("X.qd"), "catalog");
    EXPECT_TRUE(qd::RenamePath(at("X.qd"), at("Y.qd")));
    EXPECT_FALSE(qd::FileExists(at("X.qd")));
    EXPECT_EQ(readFile(at("Y.qd")), "catalog");

    ASSERT_TRUE(QDir(tmp.path()).mkpath("old/inner"));
    EXPECT_TRUE(qd::RenamePath(at("old"), at("写真")));
    EXPECT_TRUE(qd::DirectoryExists(at("写真/inner")));
    EXPECT_FALSE(qd::DirectoryExists(at("old")));
}

TEST_F(FileOpsTest, RenameNeverReplacesAnExistingTarget)
{
    writeFile(at("A.qd"), "first");
    writeFile(at("B.qd"), "second");
    QString error;
    EXPECT_FALSE(qd::RenamePath(at("A.qd"), at("B.qd"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(at("A.qd")), "first");
    EXPECT_EQ(readFile(at("B.qd")), "second");

    // A folder onto an empty folder would be replaced by plain rename(2).
    ASSERT_TRUE(QDir(tmp.path()).mkpath("F/kept"));
    ASSERT_TRUE(QDir(tmp.path()).mkdir("G"));
    EXPECT_FALSE(qd::RenamePath(at("F"), at("G")));
    EXPECT_TRUE(qd::DirectoryExists(at("F/kept")));
    EXPECT_TRUE(qd::DirectoryExists(at("G")));

    EXPECT_FALSE(qd::RenamePath(at("absent"), at("C.qd"), &error));
    EXPECT_FALSE(qd::FileExists(at("C.qd")));
}

// The trash lives under the test process's own home (see TestHome.h), so the
// test touches nothing of the user's.
class ShellDeleteTest : public FileOpsTest {
protected:
    void SetUp() override { qd::test::RemoveTestDataHome(); }
    static QString trash() { return qd::test::TestDataHome() + "/Trash"; }
    QStringList trashed() const
    {
        QStringList names;
        QDirIterator it(trash() + "/files", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names << it.next().mid(trash().size() + 7);
        names.sort();
        return names;
    }
};

TEST_F(ShellDeleteTest, FolderGoesToTheTrashWithEverythingInside)
{
    ASSERT_TRUE(QDir(tmp.path()).mkpath("store/CD/sub"));
    writeFile(at("store/CD/one.qd"), "1");
    writeFile(at("store/CD/sub/two.qd"), "2");

    EXPECT_TRUE(qd::ShellDelete(nullptr, at("store/CD")));
    EXPECT_FALSE(qd::DirectoryExists(at("store/CD")));
    EXPECT_TRUE(qd::DirectoryExists(at("store")));
    EXPECT_EQ(trashed(), (QStringList{"CD", "CD/one.qd", "CD/sub", "CD/sub/two.qd"}));
    EXPECT_EQ(readFile(trash() + "/files/CD/sub/two.qd"), "2");
    EXPECT_TRUE(QFile::exists(trash() + "/info/CD.trashinfo"));
}

TEST_F(ShellDeleteTest, MissingItemIsReportedNotPretended)
{
    QString error;
    EXPECT_FALSE(qd::ShellDelete(nullptr, at("never.qd"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(trashed().isEmpty());
}

} // namespace
