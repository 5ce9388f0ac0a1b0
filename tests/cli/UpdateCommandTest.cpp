#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/time.h>

#include "browse/FolderRows.h"
#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/ChildWriter.h"
#include "support/Qdcat.h"

using namespace qd;
using namespace qd::test;

namespace {

// A disk catalogued by qdcat scan, changed on the drive and updated.
class QdcatUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("config"));
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        tree = tmp.filePath("disk");
        write("keep.txt");
        write("SUB/gone.txt");
        write("OLD/x.txt");
        map(tree, "1234-ABCD");
        const auto scanned = runQdcat({"scan", "S:", "--title", "Disk", "--root", tmp.filePath("catalogs")}, env);
        ASSERT_EQ(scanned.exitCode, 0) << scanned.err.toStdString();
        catalog = tmp.filePath("catalogs/Disk.qd");
    }
    void map(const QString& folder, const QString& serial)
    {
        const auto r = runQdcat({"drives", "--map", "S=" + folder, "--serial", serial}, env);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    void write(const QString& rel)
    {
        QDir().mkpath(QFileInfo(tree + '/' + rel).absolutePath());
        QFile f(tree + '/' + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
    }
    QdcatResult update(const QString& folder) const { return runQdcat({"update", catalog, folder}, env); }
    std::string bytes() const { return readFile(QFile::encodeName(catalog).toStdString()); }

    QTemporaryDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString tree, catalog;
};

TEST_F(QdcatUpdate, PrintsWhatCameAndWentAndSavesTheCatalog)
{
    write("new.txt");
    write("NEW/inside.txt");
    ASSERT_TRUE(QDir(tree + "/OLD").removeRecursively());
    QdcatResult r = update("s:");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), "added\tfolder\tNEW\nadded\tfile\tnew.txt\nremoved\tfolder\tOLD\n");

    ASSERT_TRUE(QFile::remove(tree + "/SUB/gone.txt"));
    r = update("S:\\SUB");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), "removed\tfile\tgone.txt\n");

    TDisk disk;
    ASSERT_TRUE(LoadDiskData(QFile::encodeName(catalog).toStdString(), disk).ok());
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < disk.DirList.size(); ++i)
        paths.push_back(GetDirPath(std::int32_t(i), disk));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"S:", "S:\\NEW", "S:\\SUB"}));
    EXPECT_EQ(disk.DirList[0].FileList.size(), 2u);
    EXPECT_TRUE(update("S:").out.isEmpty()) << "nothing new the second time";
}

TEST_F(QdcatUpdate, AnythingButTheRightDiskAndAListableFolderLeavesTheCatalogAsItWas)
{
    write("new.txt");
    const std::string before = bytes();
    ASSERT_TRUE(QDir(tree + "/SUB").removeRecursively());
    write("SUB");
    EXPECT_EQ(update("S:\\SUB").exitCode, 6);
    EXPECT_EQ(update("S:\\NOWHERE").exitCode, 1);
    map(tree, "1234-ABCE");
    EXPECT_EQ(update("S:").exitCode, 5);
    map(tmp.filePath("not inserted"), "1234-ABCD");
    EXPECT_EQ(update("S:").exitCode, 3);
    EXPECT_EQ(bytes(), before);
}

} // namespace

// Saves killed while writing leave their temporary files in the folder they
// wrote to; the commands that write there clean them once they are old.
TEST_F(QdcatUpdate, ScanAndUpdateRemoveTheTemporariesOfKilledSavesOnceADayOld)
{
    const QString folder = tmp.filePath("catalogs");
    const std::vector<QStringList> commands{{"scan", "S:", "--title", "Disk", "--root", folder, "--force"},
                                            {"update", catalog, "S:"}};
    for (const QStringList& command : commands) {
        const auto leftover = [&](const char* name, int hoursOld) {
            const QByteArray path = QFile::encodeName(folder + '/' + name);
            writeFile(path.toStdString(), "half a catalog");
            const timeval t[2] = {{time(nullptr) - hoursOld * 3600, 0}, {time(nullptr) - hoursOld * 3600, 0}};
            ASSERT_EQ(::utimes(path.constData(), t), 0);
        };
        leftover(".qdtmp.aaaaaa", 25);
        leftover(".qdtmp.bbbbbb", 23); // a save of another program may still be writing it
        leftover(".qdtmp.toolong", 25); // not a save's name
        const QdcatResult r = runQdcat(command, env);
        ASSERT_EQ(r.exitCode, 0) << command[0].toStdString() << ": " << r.err.toStdString();
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        EXPECT_EQ(left, (QStringList{".qdlock", ".qdtmp.bbbbbb", ".qdtmp.toolong", "Disk.qd"})) << command[0].toStdString();
        QFile::remove(folder + "/.qdtmp.bbbbbb");
        QFile::remove(folder + "/.qdtmp.toolong");
    }
}
namespace {

// Another program changing the catalog (the root's comment) in a copy that
// it loaded under the lock, and saving it when told.
struct OtherWriter {
    std::filesystem::path file;
    TDisk disk;
    ChildWriter child{[this] {
                          CatalogLock lock = CatalogLock::forCatalog(file);
                          LoadDiskData(file, disk);
                          return lock;
                      },
                      {[this] {
                          disk.DirList[0].Comment = "the other's";
                          SaveDiskFile(file, disk);
                      }}};
};

// Two writers of one catalog at once, each on its own folder: the second,
// not waiting, says that another program has the catalog and writes
// nothing; waiting, it works on what the first wrote. Never does one report
// success for a change that the other then overwrites.
TEST_F(QdcatUpdate, TwoWritersAtOnceKeepBothChangesOrTheSecondIsToldAndWritesNothing)
{
    write("SUB/new.txt");
    const std::filesystem::path file = QFile::encodeName(catalog).toStdString();
    const auto filesOfSub = [&] {
        TDisk disk;
        EXPECT_TRUE(LoadDiskData(file, disk).ok());
        EXPECT_EQ(disk.DirList[0].Comment.view(), "the other's");
        return disk.DirList[std::size_t(FindFolder(disk, "S:\\SUB"))].FileList.size();
    };
    {
        OtherWriter other{file, {}};
        const QdcatResult refused = update("S:\\SUB");
        ASSERT_TRUE(other.child.next() && other.child.finish());
        EXPECT_EQ(refused.exitCode, 4);
        EXPECT_TRUE(refused.err.contains("is in use by another program")) << refused.err.toStdString();
        EXPECT_EQ(filesOfSub(), 1u);
    }
    OtherWriter other{file, {}};
    QProcess waiting;
    waiting.setProcessEnvironment(env);
    waiting.start(QStringLiteral(QDCAT_PATH), {"update", "--wait", catalog, "S:\\SUB"});
    ASSERT_TRUE(waiting.waitForStarted());
    ASSERT_TRUE(other.child.next() && other.child.finish());
    ASSERT_TRUE(waiting.waitForFinished(60000));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
    EXPECT_EQ(filesOfSub(), 2u);
}

// The folder a\b and the folder b inside a both have the path S:\a\b.
TEST_F(QdcatUpdate, AFolderPathOfTwoFoldersIsRefusedAsAmbiguous)
{
    write("a\\b/x.txt");
    write("a/b/y.txt");
    const auto rescanned = runQdcat({"scan", "S:", "--title", "Disk", "--root", tmp.filePath("catalogs"), "--force"}, env);
    ASSERT_EQ(rescanned.exitCode, 0) << rescanned.err.toStdString();
    write("a\\b/new.txt");
    const std::string before = bytes();
    const QdcatResult r = update("S:\\a\\b");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("names more than one folder")) << r.err.toStdString();
    EXPECT_EQ(bytes(), before);
}

} // namespace
