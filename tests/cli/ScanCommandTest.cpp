#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include "catalog/Bmp.h"
#include "catalog/DiskFile.h"
#include "support/Qdcat.h"

using qd::test::runQdcat;

namespace {

// A catalog scanned by qdcat and printed by qdcat dump is checked against
// find(1) over the same tree: names, low 32 bits of sizes, and last-write
// times at DOS precision in local time. qdcat runs nine hours east of UTC so
// that the shift to local time shows.
constexpr std::int64_t kZoneOffset = 9 * 3600;

class QdcatScan : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString tree, root;

    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("config"));
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        env.insert("TZ", "JST-9");
        tree = tmp.filePath("tree");
        root = tmp.filePath("catalogs");
        ASSERT_TRUE(QDir().mkpath(tree));
        const auto mapped = runQdcat({"drives", "--map", "S=" + tree, "--label", "BACKUP", "--serial", "1234-ABCD"}, env);
        ASSERT_EQ(mapped.exitCode, 0) << mapped.err.toStdString();
    }
    void write(const QString& rel, const QByteArray& data = "x")
    {
        QDir().mkpath(QFileInfo(tree + '/' + rel).absolutePath());
        QFile f(tree + '/' + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        f.write(data);
    }
    void setTime(const QString& rel, std::int64_t unixSeconds)
    {
        const timeval t[2] = {{time_t(unixSeconds), 0}, {time_t(unixSeconds), 0}};
        ASSERT_EQ(::lutimes(QFile::encodeName(tree + '/' + rel).constData(), t), 0) << rel.toStdString();
    }
};

// What the catalog must say of a last-write time: local at the zone's offset,
// cut to two seconds, as days since 1899-12-30; 0 outside 1980-2107.
double expectedTime(double unixSeconds)
{
    const std::int64_t local = std::int64_t(std::floor(unixSeconds)) + kZoneOffset;
    const std::int64_t even = local - (((local % 2) + 2) % 2);
    constexpr std::int64_t k1980 = 315532800, k2108 = 4354819200;
    if (even < k1980 || even >= k2108)
        return 0;
    return 25569.0 + double(even) / 86400.0;
}

struct Expected {
    qint64 size = 0;
    double time = 0;
    bool folder = false;
};

TEST_F(QdcatScan, CatalogMatchesWhatFindReports)
{
    write("README.TXT", "hello");
    write("写真/2001/IMG_0001.JPG", QByteArray(3000, 'j'));
    write("写真/2001/ｶﾀｶﾅ.txt", "kana");
    write("写真/空/.keep");
    write("Program Files/SETUP.EXE", "MZ");
    write(".hidden/inner.dat", "12");
    {
        const int fd = ::open(QFile::encodeName(tree + "/big.iso").constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 100), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFile::link(tree + "/写真", tree + "/link"));
    setTime("README.TXT", 981173107);                    // 2001-02-03 04:05:07 UTC, odd second
    setTime("写真/2001/IMG_0001.JPG", 315514800);         // 1979-12-31 20:00 UTC: 1980 in local time
    setTime("写真/2001/ｶﾀｶﾅ.txt", 315478800);           // 1979-12-31 10:00 UTC: still 1979 locally
    setTime("Program Files/SETUP.EXE", 86400);           // 1970
    setTime("写真/2001", 1000000001);
    setTime("写真", 946684799);                           // 1999-12-31 23:59:59 UTC

    const auto scan = runQdcat({"scan", "S:", "--title", "バックアップ", "--root", root, "--folder", "CD/2024"}, env);
    ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.err, "") << "no progress lines when standard error is not a terminal";
    EXPECT_TRUE(scan.out.contains("6 folders, 8 files")) << scan.out.toStdString();
    EXPECT_TRUE(scan.out.contains("names substituted 0, names cut 0")) << scan.out.toStdString();
    const QString catalog = root + QString::fromUtf8("/CD/2024/バックアップ.qd");
    ASSERT_TRUE(QFile::exists(catalog));

    const auto dump = runQdcat({"dump", "--paths", catalog}, env);
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    const QJsonObject disk = QJsonDocument::fromJson(dump.out).object();
    EXPECT_EQ(disk["volumeLabel"].toString(), "BACKUP");
    EXPECT_EQ(disk["serialNo"].toInteger(), 0x1234ABCD);
    EXPECT_GT(disk["totalSize"].toInteger(), 0);

    // find's view: relative path, size, last-write time, kind.
    QProcess find;
    find.start("find", {tree, "-mindepth", "1", "-printf", "%P\\t%s\\t%T@\\t%y\\n"});
    ASSERT_TRUE(find.waitForFinished(60000));
    QMap<QString, Expected> expected;
    for (const QByteArray& line : find.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split('\t');
        ASSERT_EQ(f.size(), 4);
        Expected e;
        e.folder = f[3] == "d";
        // A link is recorded as an entry of its own with size 0, never followed.
        e.size = e.folder || f[3] == "l" ? 0 : qint64(f[1].toLongLong() & 0xFFFFFFFF);
        e.time = expectedTime(f[2].toDouble());
        expected.insert("S:\\" + QString::fromUtf8(f[0]).replace('/', '\\'), e);
    }
    ASSERT_EQ(expected.size(), 13);

    QMap<QString, Expected> recorded;
    const QJsonArray folders = disk["folders"].toArray();
    ASSERT_FALSE(folders.isEmpty());
    EXPECT_EQ(folders[0].toObject()["path"].toString(), "S:");
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QJsonObject d = folders[i].toObject();
        if (i > 0)
            recorded.insert(d["path"].toString(), {0, d["date"].toDouble(), true});
        for (const QJsonValue& fv : d["files"].toArray()) {
            const QJsonObject f = fv.toObject();
            recorded.insert(d["path"].toString() + '\\' + f["name"].toString(),
                            {f["size"].toInteger(), f["lastWriteTime"].toDouble(), false});
        }
    }
    EXPECT_EQ(recorded.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const Expected r = recorded.value(it.key());
        EXPECT_EQ(r.folder, it->folder) << it.key().toStdString();
        EXPECT_EQ(r.size, it->size) << it.key().toStdString();
        EXPECT_NEAR(r.time, it->time, 1e-9) << it.key().toStdString();
    }
    // The edges of the time rule, spelled out.
    EXPECT_NEAR(recorded["S:\\README.TXT"].time, expectedTime(981173106), 1e-9);
    EXPECT_GT(recorded[QString::fromUtf8("S:\\写真\\2001\\IMG_0001.JPG")].time, 0);
    EXPECT_EQ(recorded[QString::fromUtf8("S:\\写真\\2001\\ｶﾀｶﾅ.txt")].time, 0);
    EXPECT_EQ(recorded["S:\\big.iso"].size, 100);

    // The catalog carries a 16 x 16 icon: 24-bit colour, 1-bit mask.
    qd::TDisk loaded;
    ASSERT_TRUE(qd::LoadDiskData(QFile::encodeName(catalog).toStdString(), loaded).ok());
    EXPECT_EQ(qd::BmpProblem(loaded.IconImage), "");
    EXPECT_EQ(qd::BmpProblem(loaded.IconMask), "");
    const QImage colour = QImage::fromData(QByteArray::fromStdString(loaded.IconImage), "BMP");
    const QImage mask = QImage::fromData(QByteArray::fromStdString(loaded.IconMask), "BMP");
    EXPECT_EQ(colour.size(), QSize(16, 16));
    EXPECT_EQ(mask.size(), QSize(16, 16));
    EXPECT_EQ(std::uint8_t(loaded.IconImage[28]), 24) << "bits per pixel";
    EXPECT_EQ(std::uint8_t(loaded.IconMask[28]), 1);
    EXPECT_EQ(mask.pixelColor(0, 0), QColor(Qt::white)) << "corner transparent";
    EXPECT_EQ(mask.pixelColor(1, 8), QColor(Qt::black)) << "disc opaque";
}

// A drive is one volume: a file system mounted below the drive's root, and a
// bind mount, are recorded as empty folders and never entered. Mounting needs
// a mount namespace of its own, which unshare(1) makes (with a user namespace
// that maps the caller to root when not run as root); the mounts vanish with
// it. Where the system refuses both, the test is skipped.
TEST_F(QdcatScan, StaysOnTheFileSystemOfTheDrivesRoot)
{
    write("kept/file.txt");
    write("mnt/covered.txt"); // under the mount: unseen either way
    write("src/a.txt");
    ASSERT_TRUE(QDir().mkpath(tree + "/bound"));
    const QString script = QStringLiteral(
        "mount -t tmpfs qd-test \"$1/mnt\" && mount --bind \"$1/src\" \"$1/bound\" || exit 97\n"
        "mkdir \"$1/mnt/deeper\" && echo x > \"$1/mnt/inside.txt\" || exit 97\n"
        "exec \"$2\" scan S: --title Mounted --root \"$3\"\n");
    QStringList args{"--mount"};
    if (::geteuid() != 0)
        args << "--map-root-user";
    args << "sh" << "-c" << script << "sh" << tree << QStringLiteral(QDCAT_PATH) << root;
    QProcess unshare;
    unshare.setProcessEnvironment(env);
    unshare.start("unshare", args);
    ASSERT_TRUE(unshare.waitForFinished(120000));
    const QByteArray err = unshare.readAllStandardError();
    if (unshare.exitCode() == 97 || err.startsWith("unshare:"))
        GTEST_SKIP() << "no private mount namespace here: " << err.toStdString();
    ASSERT_EQ(unshare.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(unshare.readAllStandardOutput().contains("mount points not entered 2"));

    const auto dump = runQdcat({"dump", "--paths", root + "/Mounted.qd"}, env);
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    QMap<QString, QStringList> contents; // folder path -> its files and sub-folders
    for (const QJsonValue& v : QJsonDocument::fromJson(dump.out).object()["folders"].toArray()) {
        const QJsonObject d = v.toObject();
        QStringList& names = contents[d["path"].toString()];
        for (const QJsonValue& f : d["files"].toArray())
            names << f.toObject()["name"].toString();
    }
    for (const QString& path : contents.keys())
        if (path.count('\\') > 1)
            contents[path.section('\\', 0, -2)] << path.section('\\', -1);
    EXPECT_EQ(contents.value("S:\\kept"), QStringList{"file.txt"});
    EXPECT_EQ(contents.value("S:\\src"), QStringList{"a.txt"});
    ASSERT_TRUE(contents.contains("S:\\mnt"));
    EXPECT_EQ(contents.value("S:\\mnt"), QStringList()) << "a mount point is recorded, not entered";
    ASSERT_TRUE(contents.contains("S:\\bound"));
    EXPECT_EQ(contents.value("S:\\bound"), QStringList()) << "so is a bind mount";
    EXPECT_EQ(contents.size(), 5);
}

TEST_F(QdcatScan, NeverReplacesACatalogWithoutForce)
{
    write("a.txt");
    ASSERT_EQ(runQdcat({"scan", "s:", "--title", "Disk", "--root", root}, env).exitCode, 0);
    const QString catalog = root + "/Disk.qd";
    QFile::resize(catalog, 10); // marks the first catalog
    const auto again = runQdcat({"scan", "S:", "--title", "Disk", "--root", root}, env);
    EXPECT_EQ(again.exitCode, 4);
    EXPECT_TRUE(again.err.contains("exists")) << again.err.toStdString();
    EXPECT_EQ(QFileInfo(catalog).size(), 10) << "left as it was";
    const auto forced = runQdcat({"scan", "S:", "--title", "Disk", "--root", root, "--force"}, env);
    EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    EXPECT_GT(QFileInfo(catalog).size(), 10);
}

TEST_F(QdcatScan, TitlesFoldersAndExistingCatalogsFollowTheWindowsRules)
{
    write("a.txt");
    // A character without a code page 932 form is fine in a file name, as in the wizard.
    const QString emoji = QString::fromUtf8("写真\U0001F4F7");
    const auto odd = runQdcat({"scan", "S:", "--title", emoji, "--root", root}, env);
    EXPECT_EQ(odd.exitCode, 0) << odd.err.toStdString();
    EXPECT_TRUE(QFile::exists(root + '/' + emoji + ".qd"));

    // The tree ignores case: DISK.QD is the disk "disk" already.
    ASSERT_EQ(runQdcat({"scan", "S:", "--title", "Disk", "--root", root}, env).exitCode, 0);
    ASSERT_TRUE(QFile::rename(root + "/Disk.qd", root + "/DISK.QD"));
    QFile::resize(root + "/DISK.QD", 10);
    EXPECT_EQ(runQdcat({"scan", "S:", "--title", "disk", "--root", root}, env).exitCode, 4);
    EXPECT_EQ(QFileInfo(root + "/DISK.QD").size(), 10);
    EXPECT_EQ(runQdcat({"scan", "S:", "--title", "disk", "--root", root, "--force"}, env).exitCode, 0);
    EXPECT_GT(QFileInfo(root + "/DISK.QD").size(), 10) << "that catalog is the one replaced";
    EXPECT_FALSE(QFileInfo::exists(root + "/disk.qd"));
}

TEST_F(QdcatScan, AFolderLeadingOutOfTheRootIsRefusedAndAFailedScanLeavesNoFolders)
{
    write("a.txt");
    const QString outside = tmp.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(root));
    ASSERT_TRUE(QFile::link(outside, root + "/elsewhere"));
    for (const QString& folder : {QStringLiteral("elsewhere"), QStringLiteral("elsewhere/deeper")}) {
        const auto escaped = runQdcat({"scan", "S:", "--title", "X", "--root", root, "--folder", folder}, env);
        EXPECT_EQ(escaped.exitCode, 4) << folder.toStdString();
        EXPECT_TRUE(QDir(outside).isEmpty()) << "nothing written outside the root";
    }

    // A title too long for a file name fails only at the save, after the walk.
    const auto failed = runQdcat({"scan", "S:", "--title", QString(300, u'x'), "--root", root, "--folder", "new/sub"}, env);
    EXPECT_EQ(failed.exitCode, 4);
    EXPECT_FALSE(QFileInfo::exists(root + "/new")) << "the folders made for it are gone again";
}

TEST_F(QdcatScan, RefusesBadTitlesFoldersAndDrivesWithoutWriting)
{
    const auto dotted = runQdcat({"scan", "S:", "--title", "a.b", "--root", root}, env);
    EXPECT_EQ(dotted.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(dotted.err).contains(QString::fromUtf8("タイトルには次の文字が使用できません。")));
    EXPECT_EQ(runQdcat({"scan", "S:", "--root", root}, env).exitCode, 1) << "a title is required";
    EXPECT_EQ(runQdcat({"scan", "S:", "--title", "t", "--root", root, "--folder", "../out"}, env).exitCode, 1);
    EXPECT_EQ(runQdcat({"scan", "SS:", "--title", "t", "--root", root}, env).exitCode, 1);

    const auto noDisk = runQdcat({"scan", "Q:", "--title", "t", "--root", root}, env);
    EXPECT_EQ(noDisk.exitCode, 3);
    EXPECT_TRUE(QString::fromUtf8(noDisk.err).contains(QString::fromUtf8("ディスクがありません。(1001)")));
    EXPECT_FALSE(QDir(root).exists()) << "nothing written";
}

} // namespace

// The catalog root is the folder "data" beside the program: qd and qdcat must
// be built into one folder, or a disk registered with qdcat scan never shows
// in the window.
TEST(QdcatLayout, IsBuiltBesideTheWindowsProgramSoBothShareTheCatalogRoot)
{
    EXPECT_EQ(QFileInfo(QStringLiteral(QDCAT_PATH)).absolutePath(), QFileInfo(QStringLiteral(QD_PATH)).absolutePath());
}
