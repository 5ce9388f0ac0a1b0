#include "platform/CatalogRoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class CatalogRootTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
    bool hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    void SetUp() override { qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.filePath("share"))); }
    void TearDown() override
    {
        if (hadDataHome)
            qputenv("XDG_DATA_HOME", oldDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
};

TEST_F(CatalogRootTest, WritableProgramFolderHoldsTheRoot)
{
    ASSERT_TRUE(QDir(tmp.path()).mkdir("bin"));
    EXPECT_EQ(qd::CatalogRootFor(tmp.filePath("bin")), tmp.filePath("bin/data"));
    EXPECT_EQ(qd::CatalogRootFor(tmp.filePath("bin") + "/"), tmp.filePath("bin/data"));
    EXPECT_FALSE(QDir(tmp.filePath("bin/data")).exists()) << "nothing is created";
}

TEST_F(CatalogRootTest, ProgramFolderThatCannotBeWrittenSendsTheRootToTheUsersDataFolder)
{
    // A folder that is not there cannot be written by anyone, root included.
    EXPECT_EQ(qd::CatalogRootFor(tmp.filePath("missing")), tmp.filePath("share/Qd/data"));
    EXPECT_EQ(qd::CatalogRootFor(QString()), tmp.filePath("share/Qd/data"));
    if (::geteuid() != 0) {
        ASSERT_TRUE(QDir(tmp.path()).mkdir("ro"));
        ASSERT_EQ(::chmod(QFile::encodeName(tmp.filePath("ro")).constData(), 0555), 0);
        EXPECT_EQ(qd::CatalogRootFor(tmp.filePath("ro")), tmp.filePath("share/Qd/data"));
    }
}

TEST_F(CatalogRootTest, AnInstalledCopyUsesTheUsersDataFolderEvenWhenItCouldWriteBesideItself)
{
    ASSERT_TRUE(QDir(tmp.path()).mkpath("prefix/bin"));
    ASSERT_TRUE(QDir(tmp.path()).mkpath("prefix/share"));
    EXPECT_EQ(qd::CatalogRootFor(tmp.filePath("prefix/bin")), tmp.filePath("share/Qd/data"));
}

} // namespace
