#include "platform/Drives.h"

#include <QDir>
#include <QStorageInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/Settings.h"
#include "support/TempSettings.h"

namespace {

using qd::Drive;
using qd::DriveKind;
using qd::DriveTable;
using qd::test::MappedDrive;
using qd::test::TempSettings;

// A machine with every kind of mount: pseudo file systems, the root, a
// second disk, a USB stick, an optical disc, an empty optical drive, two
// network shares, a bind mount, a package image, a RAM disk and the boot
// partitions.
const char* kMountInfo =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=1k\n"
    "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "30 27 0:27 / /run rw - tmpfs tmpfs rw\n"
    "31 27 8:33 / /data rw shared:5 - ext4 /dev/sdc1 rw\n"
    "32 27 8:17 / /media/u/MY\\040STICK rw - vfat /dev/sdb1 rw\n"
    "33 27 11:0 / /media/u/CDROM ro - iso9660 /dev/sr0 ro\n"
    "34 27 0:40 / /mnt/share rw - cifs //Server/Photos rw\n"
    "35 27 0:41 / /mnt/nfs rw - nfs4 fileserver:/export rw\n"
    "36 27 254:0 /home /srv/home rw - ext4 /dev/vda rw\n"
    "37 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "38 27 8:33 / /data/again rw - ext4 /dev/sdc1 rw\n"
    "39 27 251:0 / /mnt/ram rw - ext2 /dev/zram0 rw\n"
    "40 27 0:50 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "41 27 8:1 / /boot rw - ext4 /dev/sda1 rw\n"
    "42 41 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n";

const std::vector<qd::BlockDevice> kDevices = {
    {"sdb1", "8:17", false},
    {"sr0", "11:0", true},
    {"sr1", "11:1", true},
};

// Drives by letter from the system view above.
class DriveTableBuildTest : public ::testing::Test {
protected:
    DriveTable table = DriveTable::build(qd::parseMountInfo(kMountInfo), kDevices, {});
    const Drive& at(char letter) const
    {
        const Drive* d = table.find(QChar(letter));
        if (!d)
            throw std::runtime_error(std::string("no drive ") + letter);
        return *d;
    }
};

TEST_F(DriveTableBuildTest, LettersFollowRootThenDevicesThenDisksThenShares)
{
    QString letters;
    for (const Drive& d : table.drives())
        letters += d.letter;
    EXPECT_EQ(letters, QStringLiteral("CDEFGHIJ"));

    EXPECT_EQ(at('C').root, "/");
    EXPECT_EQ(at('C').device, "/dev/vda");
    EXPECT_EQ(at('C').kind, DriveKind::Fixed);
    // Devices in the order given, whether or not a medium is in them.
    EXPECT_EQ(at('D').device, "/dev/sdb1");
    EXPECT_EQ(at('D').kind, DriveKind::Removable);
    EXPECT_EQ(at('D').root, "/media/u/MY STICK");
    EXPECT_EQ(at('E').kind, DriveKind::CdRom);
    EXPECT_EQ(at('E').root, "/media/u/CDROM");
    EXPECT_EQ(at('E').fsType, "iso9660");
    EXPECT_EQ(at('F').device, "/dev/sr1");
    EXPECT_EQ(at('F').kind, DriveKind::CdRom);
    EXPECT_FALSE(at('F').present());
    // Other block devices by device name, each once at its shortest mount point.
    EXPECT_EQ(at('G').device, "/dev/sdc1");
    EXPECT_EQ(at('G').root, "/data");
    EXPECT_EQ(at('H').device, "/dev/zram0");
    EXPECT_EQ(at('H').kind, DriveKind::Ram);
    // Network shares by mount point.
    EXPECT_EQ(at('I').root, "/mnt/nfs");
    EXPECT_EQ(at('I').kind, DriveKind::Network);
    EXPECT_EQ(at('J').device, "//Server/Photos");
}

TEST_F(DriveTableBuildTest, PseudoFileSystemsBindMountsAndPackagesAreLeftOut)
{
    for (const Drive& d : table.drives()) {
        for (const char* hidden : {"/proc", "/sys", "/dev", "/dev/shm", "/run", "/srv/home", "/snap/core/1",
                                   "/data/again", "/sys/fs/cgroup", "/boot", "/boot/efi"})
            EXPECT_NE(d.root, QString::fromLatin1(hidden)) << d.letter.toLatin1();
    }
}

TEST_F(DriveTableBuildTest, FindTakesEitherCase)
{
    ASSERT_NE(table.find(QChar('g')), nullptr);
    EXPECT_EQ(table.find(QChar('g')), table.find(QChar('G')));
    EXPECT_EQ(table.find(QChar('Q')), nullptr);
    EXPECT_EQ(table.find(QChar('1')), nullptr);
}

TEST_F(DriveTableBuildTest, MenuTextAndDisplayNameFollowTheKind)
{
    Drive c = at('C');
    c.label = QStringLiteral("System Disk");
    EXPECT_EQ(c.menuText(), "c: [system disk]");
    EXPECT_EQ(c.displayName(), "System Disk (C:)");
    EXPECT_EQ(at('G').menuText(), "g: []"); // fixed without a label keeps the brackets
    EXPECT_EQ(at('D').menuText(), "d:"); // removable: the letter alone
    EXPECT_EQ(at('F').menuText(), "f: []"); // an empty CD drive still has its brackets
    EXPECT_EQ(at('H').menuText(), "h: []");
    EXPECT_EQ(at('J').menuText(), "j: //server/photos"); // the remote name, lower case
    // Without a label, each kind is named as a Japanese desktop names it.
    const struct {
        DriveKind kind;
        const char* name;
    } unlabelled[] = {{DriveKind::Fixed, "ローカル ディスク (K:)"},
                      {DriveKind::Removable, "リムーバブル ディスク (K:)"},
                      {DriveKind::CdRom, "CD ドライブ (K:)"},
                      {DriveKind::Network, "ネットワーク ドライブ (K:)"},
                      {DriveKind::Ram, "RAM ディスク (K:)"}};
    for (const auto& u : unlabelled) {
        Drive d;
        d.letter = u'K';
        d.kind = u.kind;
        EXPECT_EQ(d.displayName(), QString::fromUtf8(u.name));
    }

    EXPECT_EQ(at('C').iconName(), "drive-harddisk");
    EXPECT_EQ(at('D').iconName(), "drive-removable-media");
    EXPECT_EQ(at('E').iconName(), "media-optical");
    EXPECT_EQ(at('I').iconName(), "folder-remote");
}

TEST(DriveTableMappings, MappingReplacesTheAutomaticDriveOfItsLetter)
{
    QTemporaryDir folder;
    std::vector<qd::settings::DriveMapping> maps = {
        {QChar('D'), folder.path(), QStringLiteral("MINE"), 0xCAFE0001u, DriveKind::Fixed},
        {QChar('A'), folder.filePath("missing"), {}, {}, DriveKind::Removable},
    };
    const DriveTable t = DriveTable::build(qd::parseMountInfo(kMountInfo), kDevices, maps);
    const Drive* d = t.find(QChar('D'));
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->mapped());
    EXPECT_EQ(d->root, QDir::cleanPath(folder.path()));
    EXPECT_EQ(d->label, "MINE");
    EXPECT_EQ(d->configuredSerial, 0xCAFE0001u);
    const Drive* a = t.find(QChar('A'));
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->present()); // a missing folder is a drive with no medium
    EXPECT_EQ(a->kind, DriveKind::Removable);
    EXPECT_EQ(t.drives().front().letter, QChar('A')); // still in letter order
    // The stick that had D: does not move to another letter.
    for (const Drive& x : t.drives())
        EXPECT_NE(x.device, "/dev/sdb1");
}

TEST(DriveTableMountInfo, SkipsMalformedLines)
{
    const auto mounts = qd::parseMountInfo("garbage\n1 2 3\n27 1 254:0 / / rw - ext4 /dev/vda rw\n5 6 7:0 / /x rw -\n");
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].devNumber, "254:0");
}

// The queries on folders mapped through the settings.
class MappedDriveTest : public ::testing::Test {
protected:
    TempSettings temp;
};

TEST_F(MappedDriveTest, LabelSerialAndSizesComeBackAsConfigured)
{
    MappedDrive d(QChar('D'), {.label = QStringLiteral("写真 2001"), .serial = 0x1234ABCDu});
    EXPECT_EQ(d.drive().displayName(), QStringLiteral("写真 2001 (D:)"));
    EXPECT_EQ(d.drive().menuText(), QStringLiteral("d: [写真 2001]"));

    std::uint32_t serial = 0;
    std::string label;
    ASSERT_TRUE(qd::GetVolumeInfo("D:\\", serial, label));
    EXPECT_EQ(serial, 0x1234ABCDu);
    EXPECT_EQ(label, qd::toAnsi(QStringLiteral("写真 2001")));
    EXPECT_EQ(label.size(), 9u); // code page 932: two bytes a character

    std::int64_t total = -1, free = -1;
    ASSERT_TRUE(qd::GetDiskSpace("d:\\ANY\\PATH", total, free));
    const QStorageInfo fs(d.root());
    EXPECT_EQ(total, fs.bytesTotal());
    EXPECT_GT(total, 0);
    EXPECT_GE(free, 0);
    EXPECT_LE(free, total);
}

TEST_F(MappedDriveTest, WithoutConfigurationTheHoldingFileSystemAnswers)
{
    QTemporaryDir parent;
    QDir(parent.path()).mkpath("one");
    QDir(parent.path()).mkpath("two");
    MappedDrive one(QChar('P'), parent.filePath("one"));
    MappedDrive two(QChar('Q'), parent.filePath("two"));
    MappedDrive named(QChar('R'), parent.filePath("two"), {.serial = 0x00000042u});
    std::uint32_t s1 = 0, s2 = 1, s3 = 2;
    std::string l1, l2, l3;
    ASSERT_TRUE(qd::GetVolumeInfo("P:", s1, l1));
    ASSERT_TRUE(qd::GetVolumeInfo("Q:", s2, l2));
    ASSERT_TRUE(qd::GetVolumeInfo("R:", s3, l3));
    EXPECT_EQ(s1, s2); // same file system, same serial
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(s3, 0x42u); // a configured serial alone keeps the file system's label
    EXPECT_EQ(l3, l1);
    // The drive whose root is the holding file system's mount answers the same.
    const QString mount = QStorageInfo(parent.path()).rootPath();
    for (const Drive& d : DriveTable::instance().drives()) {
        if (!d.mapped() && d.root == mount) {
            std::uint32_t s = 0;
            std::string l;
            ASSERT_TRUE(qd::GetVolumeInfo(qd::toAnsi(QString(d.letter) + ":\\"), s, l));
            EXPECT_EQ(s, s1);
            EXPECT_EQ(l, l1);
        }
    }
}

TEST_F(MappedDriveTest, NoDriveOrNoMediumLeavesTheOutputsUntouched)
{
    QTemporaryDir parent;
    MappedDrive empty(QChar('E'), parent.filePath("not-there"), {.label = QStringLiteral("GONE"), .serial = 7u});
    EXPECT_FALSE(empty.drive().present());
    for (const char* path : {"E:\\", "Y:\\", "", "1:\\"}) {
        std::uint32_t serial = 0xAAAAAAAAu;
        std::string label = "untouched";
        std::int64_t total = 11, free = 22;
        EXPECT_FALSE(qd::GetVolumeInfo(path, serial, label)) << path;
        EXPECT_FALSE(qd::GetDiskSpace(path, total, free)) << path;
        EXPECT_EQ(serial, 0xAAAAAAAAu);
        EXPECT_EQ(label, "untouched");
        EXPECT_EQ(total, 11);
        EXPECT_EQ(free, 22);
        EXPECT_FALSE(qd::RealPath(path)) << path;
    }
}

TEST_F(MappedDriveTest, AFolderMadeOrRemovedLaterIsADiskPutInOrTakenOut)
{
    QTemporaryDir parent;
    const QString later = parent.filePath("later");
    MappedDrive d(QChar('F'), later, {.label = QStringLiteral("LATER"), .serial = 0x0BADF00Du});
    std::uint32_t serial = 0;
    std::string label;
    std::int64_t total = 0, free = 0;
    EXPECT_FALSE(qd::CurrentRoot(QChar('F')));
    EXPECT_FALSE(qd::GetVolumeInfo("F:\\", serial, label));

    ASSERT_TRUE(QDir().mkpath(later));
    EXPECT_EQ(qd::CurrentRoot(QChar('f')), QDir::cleanPath(later));
    ASSERT_TRUE(qd::GetVolumeInfo("F:\\", serial, label));
    EXPECT_EQ(serial, 0x0BADF00Du);
    EXPECT_EQ(label, "LATER");
    EXPECT_TRUE(qd::GetDiskSpace("F:\\", total, free));
    EXPECT_EQ(qd::RealPath("F:\\A"), QDir::cleanPath(later) + "/A");

    ASSERT_TRUE(QDir(later).removeRecursively());
    serial = 1;
    EXPECT_FALSE(qd::GetVolumeInfo("F:\\", serial, label));
    EXPECT_FALSE(qd::GetDiskSpace("F:\\", total, free));
    EXPECT_FALSE(qd::RealPath("F:\\A"));
    EXPECT_EQ(serial, 1u);
}

TEST_F(MappedDriveTest, RealPathJoinsTheRootAndTheCatalogPath)
{
    MappedDrive d(QChar('D'));
    const QString root = d.drive().root;
    EXPECT_EQ(qd::RealPath("D:\\A\\B\\"), root + "/A/B/");
    EXPECT_EQ(qd::RealPath("d:\\A\\B"), root + "/A/B");
    EXPECT_EQ(qd::RealPath("D:\\"), root + "/");
    EXPECT_EQ(qd::RealPath("D:"), root + "/");
    // 表 is 0x95 0x5C: its second byte is no separator.
    const std::string table = qd::toAnsi(QStringLiteral("表"));
    ASSERT_EQ(table, "\x95\x5C");
    EXPECT_EQ(qd::RealPath("D:\\" + table + "\\x.txt"), root + QStringLiteral("/表/x.txt"));
    EXPECT_EQ(qd::RealPath(d.catalogPath("写真/2001")), root + QStringLiteral("/写真/2001"));
}

TEST_F(MappedDriveTest, RealPathRefusesPathsThatLeaveTheDrive)
{
    MappedDrive d(QChar('D'));
    for (const char* path : {"D:\\..\\etc", "D:\\A\\..\\..\\B", "D:\\.\\A", "D:\\a/b", "DX\\A", "D:\\A\\..\\"})
        EXPECT_FALSE(qd::RealPath(path)) << path;
    EXPECT_FALSE(qd::RealPath(std::string("D:\\A\0B", 7))) << "a zero byte";
    EXPECT_TRUE(qd::RealPath("D:\\..A\\b..")); // dots inside a name are fine
}

TEST_F(MappedDriveTest, UnmappingRemovesTheDrive)
{
    {
        MappedDrive d(QChar('M'));
        ASSERT_NE(DriveTable::instance().find(QChar('M')), nullptr);
        d.write("A/x.txt", "abc");
        EXPECT_TRUE(QFile::exists(*qd::RealPath("M:\\A\\x.txt")));
    }
    const Drive* m = DriveTable::instance().find(QChar('M'));
    EXPECT_TRUE(m == nullptr || !m->mapped());
}

TEST(MappedDriveHelper, BringsItsOwnSettingsWhenNoneIsActive)
{
    const QByteArray before = qgetenv("XDG_CONFIG_HOME");
    {
        MappedDrive d(QChar('K'), {.label = QStringLiteral("KEEP")});
        EXPECT_NE(qgetenv("XDG_CONFIG_HOME"), before);
        EXPECT_EQ(d.drive().label, "KEEP");
    }
    EXPECT_EQ(qgetenv("XDG_CONFIG_HOME"), before);
    const Drive* k = DriveTable::instance().find(QChar('K'));
    EXPECT_TRUE(k == nullptr || !k->mapped());
}

TEST(RealSystemDrives, CIsTheRootFileSystemAndAnswers)
{
    TempSettings temp;
    const Drive* c = DriveTable::instance().find(QChar('C'));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->root, "/");
    std::int64_t total = 0, free = 0;
    ASSERT_TRUE(qd::GetDiskSpace("C:\\", total, free));
    EXPECT_EQ(total, QStorageInfo::root().bytesTotal());
    std::uint32_t serial = 0;
    std::string label;
    EXPECT_TRUE(qd::GetVolumeInfo("C:\\", serial, label));
    for (const Drive& d : DriveTable::instance().drives()) {
        for (const char* pseudo : {"proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "cgroup", "cgroup2"})
            EXPECT_NE(d.fsType, QString::fromLatin1(pseudo)) << d.letter.toLatin1();
    }
}

// A user's text names a drive by its letter alone; a path by its first
// character, whatever follows. Only ASCII letters name drives.
TEST(DriveLetters, AUserTextIsTheLetterAloneAndAPathItsFirstCharacter)
{
    struct Case {
        QString text;
        std::optional<char> parsed; // ParseDriveLetter
        std::optional<char> ofPath; // DriveLetterOfPath
    };
    const Case cases[] = {
        {"d", 'D', 'D'},
        {"D:", 'D', 'D'},
        {"d:\\", 'D', 'D'},
        {"D:/", 'D', 'D'},
        {"D:\\PHOTO", std::nullopt, 'D'},
        {"DX", std::nullopt, 'D'},
        {"", std::nullopt, std::nullopt},
        {"1:", std::nullopt, std::nullopt},
        {"\\\\server\\share", std::nullopt, std::nullopt},
        {QStringLiteral("\u00e9:"), std::nullopt, std::nullopt},  // a Latin-1 letter
        {QStringLiteral("\uff24:"), std::nullopt, std::nullopt},  // a full-width D
    };
    auto asChar = [](std::optional<QChar> c) { return c ? std::optional<char>(c->toLatin1()) : std::nullopt; };
    for (const Case& c : cases) {
        EXPECT_EQ(asChar(qd::ParseDriveLetter(c.text)), c.parsed) << c.text.toStdString();
        EXPECT_EQ(asChar(qd::DriveLetterOfPath(c.text)), c.ofPath) << c.text.toStdString();
    }
    // A catalog path's bytes: a code page 932 lead byte is no letter.
    EXPECT_EQ(asChar(qd::DriveLetterOfPath(std::string_view("e:\\A"))), 'E');
    EXPECT_EQ(asChar(qd::DriveLetterOfPath(std::string_view("\x82\x60:"))), std::nullopt);
}

} // namespace

// While the program runs a letter recorded in the catalogs names one drive:
// a stick pulled out keeps its letter, a new device that sorts before the
// others takes a free letter instead of pushing them along.
TEST(DriveTableFollow, DrivesKeepTheirLettersWhileTheProgramRuns)
{
    const DriveTable before = DriveTable::build(qd::parseMountInfo(kMountInfo), kDevices, {});
    QString mounts = QString::fromUtf8(kMountInfo);
    mounts.remove(QRegularExpression(QStringLiteral("3[23] 27 [^\n]*\n"))); // the stick and the disc out
    mounts += QStringLiteral("50 27 8:9 / /media/u/NEW rw - vfat /dev/sda9 rw\n");
    const std::vector<qd::BlockDevice> devices = {{"sda9", "8:9", false}, {"sr0", "11:0", true}, {"sr1", "11:1", true}};
    const DriveTable now = DriveTable::build(qd::parseMountInfo(mounts), devices, {}, &before);
    const struct {
        char letter;
        const char* device;
        bool present;
    } rows[] = {{'D', "/dev/sdb1", false}, {'E', "/dev/sr0", false}, {'F', "/dev/sr1", false},
                {'G', "/dev/sdc1", true},  {'H', "/dev/zram0", true}, {'I', "fileserver:/export", true},
                {'J', "//Server/Photos", true}, {'K', "/dev/sda9", true}};
    ASSERT_EQ(now.drives().size(), std::size(rows) + 1);
    for (const auto& row : rows) {
        const Drive* d = now.find(QChar(row.letter));
        ASSERT_NE(d, nullptr) << row.letter;
        EXPECT_EQ(d->device, row.device) << row.letter;
        EXPECT_EQ(d->present(), row.present) << row.letter;
    }
    // Built afresh, the letters would have moved.
    EXPECT_EQ(DriveTable::build(qd::parseMountInfo(mounts), devices, {}).find(QChar('D'))->device, "/dev/sda9");
}
