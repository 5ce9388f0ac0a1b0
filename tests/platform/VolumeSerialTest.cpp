#include "platform/VolumeProbe.h"
#include "platform/VolumeSerial.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using qd::volume::exfatSerial;
using qd::volume::fatSerial;
using qd::volume::isoSerial;
using qd::volume::ntfsSerial;
using qd::volume::serialFromUuid;
using qd::volume::udfSerial;

// Small file system images made by the real formatting tools.
class VolumeImageTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;

    static bool have(const char* tool)
    {
        return !QStandardPaths::findExecutable(tool, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}).isEmpty();
    }
    static QString tool(const char* name)
    {
        return QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    }
    // Runs a tool; fails the test with its output when it does not succeed.
    static QByteArray run(const char* name, const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool(name), args);
        p.waitForFinished(120000);
        const QByteArray out = p.readAll();
        EXPECT_EQ(p.exitCode(), 0) << name << ": " << out.constData();
        return out;
    }
    QString blankImage(const QString& name, qint64 bytes)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.resize(bytes);
        return path;
    }
    static Bytes read(const QString& path, qint64 offset, qint64 size)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        f.seek(offset);
        const QByteArray b = f.read(size);
        return Bytes(b.begin(), b.end());
    }
    // blkid's value of a tag for an image, without its cache.
    static QString blkid(const QString& image, const char* tag)
    {
        return QString::fromUtf8(run("blkid", {"-c", "/dev/null", "-o", "value", "-s", tag, image})).trimmed();
    }
};

#define REQUIRE_TOOLS(...)                                                                                            \
    for (const char* t : {__VA_ARGS__})                                                                               \
        if (!have(t))                                                                                                 \
            GTEST_SKIP() << t << " is not installed (scripts/setup installs it)";

TEST(VolumeSerialFromUuid, FatAndExfatPrintTheSerialItself)
{
    EXPECT_EQ(serialFromUuid("1234-ABCD", "vfat"), 0x1234ABCDu);
    EXPECT_EQ(serialFromUuid("1234-abcd", "vfat"), 0x1234ABCDu);
    EXPECT_EQ(serialFromUuid("EBBB-F09A", "exfat"), 0xEBBBF09Au);
    EXPECT_EQ(serialFromUuid("0000-0001", "msdos"), 0x00000001u);
}

TEST(VolumeSerialFromUuid, NtfsTakesTheLastEightOfSixteenDigits)
{
    EXPECT_EQ(serialFromUuid("1F6523836DBEE702", "ntfs"), 0x6DBEE702u);
    EXPECT_EQ(serialFromUuid("1F6523836DBEE702", "ntfs3"), 0x6DBEE702u);
}

TEST(VolumeSerialFromUuid, OtherUuidsHashStablyIgnoringCase)
{
    const char* ext = "8c5ad4bb-59a9-4b8e-9d3e-2f6a3c1e0b7d";
    const auto a = serialFromUuid(ext, "ext4");
    ASSERT_TRUE(a);
    EXPECT_EQ(serialFromUuid("8C5AD4BB-59A9-4B8E-9D3E-2F6A3C1E0B7D", "ext4"), a);
    EXPECT_NE(serialFromUuid("8c5ad4bb-59a9-4b8e-9d3e-2f6a3c1e0b7e", "ext4"), a);
    // A FAT-shaped UUID on another file system is not taken as a serial.
    EXPECT_NE(serialFromUuid("1234-ABCD", "ext4"), 0x1234ABCDu);
    // ISO 9660's UUID is a date: it is hashed, not parsed.
    EXPECT_EQ(serialFromUuid("2024-01-02-03-04-05-00", "iso9660"), qd::volume::stableHash("2024-01-02-03-04-05-00"));
    EXPECT_FALSE(serialFromUuid("", "ext4"));
    EXPECT_FALSE(serialFromUuid("", "vfat"));
}

TEST(VolumeSerialFromUuid, StableHashIsFnv1a)
{
    // The published FNV-1a 32-bit test vectors.
    EXPECT_EQ(qd::volume::stableHash(""), 0x811C9DC5u);
    EXPECT_EQ(qd::volume::stableHash("a"), 0xE40C292Cu);
    EXPECT_EQ(qd::volume::stableHash("foobar"), 0xBF9CF968u);
}

TEST(VolumeSerialSums, IsoAddsFourWrappingSumsWithSumZeroHighest)
{
    Bytes d(2048, 0);
    d[0] = 1;
    d[1] = 'C', d[2] = 'D', d[3] = '0', d[4] = '0', d[5] = '1';
    d[6] = 1;
    // sum0 = 0x01 + '0'(0x30) = 0x31; sum1 = 'C' + '1' = 0x74; sum2 = 'D' + 1 = 0x45; sum3 = '0' = 0x30
    EXPECT_EQ(isoSerial(d), 0x31744530u);
    d[8] = 0xFF;
    d[2044] = 0xFF; // offset mod 4 = 0 as well: 0x31 + 0x1FE wraps to 0x2F
    EXPECT_EQ(isoSerial(d), 0x2F744530u);
    d[1] = 'X'; // not a volume descriptor
    EXPECT_FALSE(isoSerial(d));
    EXPECT_FALSE(isoSerial(Bytes(100, 0)));
}

TEST(VolumeSerialSums, UdfCombinesTheSumsTheOtherWayRound)
{
    Bytes d(2048, 0);
    d[0] = 0x00, d[1] = 0x01; // descriptor tag 256, the File Set Descriptor
    d[2] = 0x02, d[3] = 0x03;
    d[2047] = 0x10; // offset mod 4 = 3
    // sums 0x00, 0x01, 0x02, 0x13; sum 3 most significant
    EXPECT_EQ(udfSerial(d), 0x13020100u);
    d[1] = 0x02; // another descriptor
    EXPECT_FALSE(udfSerial(d));
}

TEST(VolumeSerialSums, JolietIsTypeTwoWithAnEscapeSequence)
{
    Bytes d(2048, 0);
    d[0] = 2;
    d[1] = 'C', d[2] = 'D', d[3] = '0', d[4] = '0', d[5] = '1';
    EXPECT_FALSE(qd::volume::isJolietDescriptor(d));
    for (const char level : {'@', 'C', 'E'}) {
        d[88] = '%', d[89] = '/', d[90] = std::uint8_t(level);
        EXPECT_TRUE(qd::volume::isJolietDescriptor(d)) << level;
    }
    d[0] = 1;
    EXPECT_FALSE(qd::volume::isJolietDescriptor(d));
}

TEST_F(VolumeImageTest, Fat12FloppyMadeWithAChosenId)
{
    REQUIRE_TOOLS("mkfs.vfat", "blkid");
    const QString image = blankImage("floppy.img", 1440 * 1024);
    run("mkfs.vfat", {"-i", "1234ABCD", "-n", "MYFLOPPY", image});
    const Bytes boot = read(image, 0, 512);
    // Extended boot signature at 0x26, the id little-endian at 0x27.
    EXPECT_EQ(boot[0x26], 0x29);
    EXPECT_EQ(Bytes(boot.begin() + 0x27, boot.begin() + 0x2B), (Bytes{0xCD, 0xAB, 0x34, 0x12}));
    EXPECT_EQ(fatSerial(boot), 0x1234ABCDu);
    EXPECT_EQ(blkid(image, "UUID"), "1234-ABCD");
    EXPECT_EQ(serialFromUuid(blkid(image, "UUID").toStdString(), "vfat"), 0x1234ABCDu);
    EXPECT_FALSE(exfatSerial(boot));
    EXPECT_FALSE(ntfsSerial(boot));

    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "vfat");
    EXPECT_EQ(id->serial, 0x1234ABCDu);
    EXPECT_EQ(id->label, QStringLiteral("MYFLOPPY"));
}

TEST_F(VolumeImageTest, FatWithoutExtendedSignatureHasNoSerial)
{
    REQUIRE_TOOLS("mkfs.vfat");
    const QString image = blankImage("old.img", 1440 * 1024);
    run("mkfs.vfat", {"-i", "1234ABCD", image});
    Bytes boot = read(image, 0, 512);
    boot[0x26] = 0x00;
    EXPECT_FALSE(fatSerial(boot));
    boot[0x26] = 0x28; // the short extended form counts too
    EXPECT_EQ(fatSerial(boot), 0x1234ABCDu);
    boot[510] = 0; // no boot sector
    EXPECT_FALSE(fatSerial(boot));
}

TEST_F(VolumeImageTest, Fat32KeepsTheIdAt0x43)
{
    REQUIRE_TOOLS("mkfs.vfat", "blkid");
    const QString image = blankImage("fat32.img", 40 * 1024 * 1024);
    run("mkfs.vfat", {"-F", "32", "-i", "DEADBEEF", "-n", "BIGSTICK", image});
    const Bytes boot = read(image, 0, 512);
    EXPECT_EQ(boot[0x42], 0x29);
    EXPECT_EQ(Bytes(boot.begin() + 0x43, boot.begin() + 0x47), (Bytes{0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_EQ(fatSerial(boot), 0xDEADBEEFu);
    EXPECT_EQ(blkid(image, "UUID"), "DEAD-BEEF");
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->serial, 0xDEADBEEFu);
    EXPECT_EQ(id->label, QStringLiteral("BIGSTICK"));
}

TEST_F(VolumeImageTest, ExfatVolumeSerialAt0x64)
{
    REQUIRE_TOOLS("mkfs.exfat", "blkid");
    const QString image = blankImage("exfat.img", 8 * 1024 * 1024);
    run("mkfs.exfat", {"-L", "EXLAB", image});
    Bytes boot = read(image, 0, 512);
    // The formatter picks the serial; blkid prints it as XXXX-YYYY.
    const QString uuid = blkid(image, "UUID");
    ASSERT_EQ(uuid.size(), 9);
    EXPECT_EQ(exfatSerial(boot), serialFromUuid(uuid.toStdString(), "exfat"));
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "exfat");
    EXPECT_EQ(id->serial, exfatSerial(boot));
    EXPECT_EQ(id->label, QStringLiteral("EXLAB"));
    EXPECT_FALSE(fatSerial(boot));

    boot[0x64] = 0x78, boot[0x65] = 0x56, boot[0x66] = 0x34, boot[0x67] = 0x12;
    EXPECT_EQ(exfatSerial(boot), 0x12345678u);
}

TEST_F(VolumeImageTest, NtfsShowsTheLowHalfOfItsSerial)
{
    REQUIRE_TOOLS("mkntfs", "blkid");
    const QString image = blankImage("ntfs.img", 8 * 1024 * 1024);
    run("mkntfs", {"-F", "-Q", "-q", "-L", "NTLAB", image});
    Bytes boot = read(image, 0, 512);
    const QString uuid = blkid(image, "UUID");
    ASSERT_EQ(uuid.size(), 16);
    bool ok = false;
    const std::uint32_t low = uuid.right(8).toUInt(&ok, 16);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ntfsSerial(boot), low);
    EXPECT_EQ(serialFromUuid(uuid.toStdString(), "ntfs"), low);
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "ntfs");
    EXPECT_EQ(id->serial, low);
    EXPECT_FALSE(fatSerial(boot));

    const Bytes known{0x02, 0xE7, 0xBE, 0x6D, 0x83, 0x23, 0x65, 0x1F};
    std::copy(known.begin(), known.end(), boot.begin() + 0x48);
    EXPECT_EQ(ntfsSerial(boot), 0x6DBEE702u);
}

class IsoImageTest : public VolumeImageTest {
protected:
    QString makeIso(const QString& name, const QStringList& options)
    {
        const QString content = tmp.filePath(name + "-content");
        QDir().mkpath(content);
        QFile f(content + "/readme.txt");
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("hello\n");
        f.close();
        const QString image = tmp.filePath(name + ".iso");
        run("genisoimage", QStringList{"-quiet", "-o", image} + options + QStringList{content});
        return image;
    }
    // The first volume descriptor of the type from sector 16 on.
    static Bytes descriptor(const QString& image, int type)
    {
        for (int sector = 16; sector < 32; ++sector) {
            const Bytes d = read(image, qint64(sector) * 2048, 2048);
            if (d.size() == 2048 && d[0] == type && d[1] == 'C')
                return d;
        }
        return {};
    }
};

TEST_F(IsoImageTest, PlainIsoUsesThePrimaryDescriptor)
{
    REQUIRE_TOOLS("genisoimage");
    const QString image = makeIso("plain", {"-V", "QDTEST"});
    const Bytes primary = descriptor(image, 1);
    ASSERT_EQ(primary.size(), 2048u);
    EXPECT_TRUE(descriptor(image, 2).empty());
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "iso9660");
    EXPECT_EQ(id->serial, isoSerial(primary));
    EXPECT_EQ(id->label, QStringLiteral("QDTEST"));
}

TEST_F(IsoImageTest, JolietDescriptorWinsOverThePrimary)
{
    REQUIRE_TOOLS("genisoimage");
    const QString image = makeIso("joliet", {"-J", "-V", "QDJOLIET"});
    const Bytes primary = descriptor(image, 1), joliet = descriptor(image, 2);
    ASSERT_EQ(joliet.size(), 2048u);
    ASSERT_TRUE(qd::volume::isJolietDescriptor(joliet));
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->serial, isoSerial(joliet));
    EXPECT_NE(id->serial, isoSerial(primary));
    EXPECT_EQ(id->label, QStringLiteral("QDJOLIET"));
}

TEST_F(IsoImageTest, UdfBridgeDiscCountsAsUdf)
{
    REQUIRE_TOOLS("genisoimage");
    const QString image = makeIso("udf", {"-udf", "-V", "QDUDF"});
    // Find the File Set Descriptor by its tag (identifier 256, location in the tag).
    Bytes fsd;
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    for (qint64 sector = 0; sector * 2048 < f.size() && fsd.empty(); ++sector) {
        const Bytes d = read(image, sector * 2048, 2048);
        if (d.size() == 2048 && d[0] == 0x00 && d[1] == 0x01)
            fsd = d;
    }
    ASSERT_FALSE(fsd.empty());
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "udf");
    EXPECT_EQ(id->serial, udfSerial(fsd));
    EXPECT_EQ(id->label, QStringLiteral("QDUDF"));
}

TEST_F(VolumeImageTest, UnknownOrUnreadableGivesNothing)
{
    EXPECT_FALSE(qd::volume::probeVolume(blankImage("zeros.img", 1024 * 1024)));
    EXPECT_FALSE(qd::volume::probeVolume(blankImage("short.img", 100)));
    EXPECT_FALSE(qd::volume::probeVolume(tmp.filePath("missing.img")));
}

} // namespace

namespace {

TEST_F(VolumeImageTest, ExtGivesItsUuidAndLabel)
{
    REQUIRE_TOOLS("mkfs.ext4");
    const QString image = blankImage("ext.img", 4 * 1024 * 1024);
    const char* uuid = "8c5ad4bb-59a9-4b8e-9d3e-2f6a3c1e0b7d";
    run("mkfs.ext4", {"-q", "-F", "-L", "EXTLAB", "-U", uuid, image});
    const auto id = qd::volume::probeVolume(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->fsType, "ext4");
    EXPECT_EQ(id->uuid, uuid);
    EXPECT_EQ(id->label, QStringLiteral("EXTLAB"));
    EXPECT_EQ(id->serial, serialFromUuid(uuid, "ext4"));
}

} // namespace
