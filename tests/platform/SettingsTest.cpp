#include "platform/Settings.h"

#include <QFile>

#include <gtest/gtest.h>

#include "support/TempSettings.h"

namespace {

using qd::settings::DriveMapping;
using qd::settings::Placement;

class SettingsTest : public ::testing::Test {
protected:
    qd::test::TempSettings temp;

    static void setRaw(const QString& key, const QVariant& value) { qd::settings::open()->setValue(key, value); }
    QByteArray fileText() const
    {
        QFile f(temp.file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(SettingsTest, WritesTheIniFileUnderTheConfigurationFolder)
{
    qd::settings::setRootDir(QStringLiteral("Discs"));
    qd::settings::open()->sync();
    EXPECT_EQ(qgetenv("XDG_CONFIG_HOME"), QFile::encodeName(temp.folder()));
    EXPECT_TRUE(fileText().contains("RootDir=Discs")) << fileText().constData();
}

TEST_F(SettingsTest, RootDirDefaultsToMyDiskAndKeepsJapanese)
{
    EXPECT_EQ(qd::settings::rootDir(), QStringLiteral("MyDisk"));
    qd::settings::setRootDir(QStringLiteral("私のディスク"));
    EXPECT_EQ(qd::settings::rootDir(), QStringLiteral("私のディスク"));
}

TEST_F(SettingsTest, PlacementMissingLeavesTheDefaults)
{
    const Placement design{199, 109, 581, 445};
    EXPECT_EQ(qd::settings::readPlacement(design), design);
}

TEST_F(SettingsTest, PlacementRoundTripsAsIntegers)
{
    ASSERT_TRUE(qd::settings::writePlacement({-20, 30, 640, 480}));
    EXPECT_EQ(qd::settings::readPlacement({1, 2, 3, 4}), (Placement{-20, 30, 640, 480}));
    const QByteArray text = fileText();
    EXPECT_TRUE(text.contains("[main]")) << text.constData();
    EXPECT_TRUE(text.contains("left=-20\n")) << text.constData();
    EXPECT_TRUE(text.contains("height=480\n")) << text.constData();
}

TEST_F(SettingsTest, PlacementReadsDecimalTextLeniently)
{
    setRaw("main/left", QStringLiteral("120"));
    setRaw("main/top", QStringLiteral(" 45 "));
    setRaw("main/width", QStringLiteral("-7"));
    setRaw("main/height", QStringLiteral("+300"));
    EXPECT_EQ(qd::settings::readPlacement({1, 2, 3, 4}), (Placement{120, 45, -7, 300}));
}

TEST_F(SettingsTest, PlacementIgnoresWhatIsNotADecimalNumber)
{
    const Placement design{199, 109, 581, 445};
    for (const QVariant& bad : {QVariant(QStringLiteral("12px")), QVariant(QString()), QVariant(QStringLiteral("0x10")),
                                QVariant(QStringLiteral("1.5")), QVariant(QStringLiteral("99999999999")),
                                QVariant(QStringList{"1", "2"}), QVariant(QStringLiteral("ten"))}) {
        setRaw("main/left", bad);
        setRaw("main/top", 5);
        EXPECT_EQ(qd::settings::readPlacement(design), (Placement{199, 5, 581, 445})) << bad.toString().toStdString();
    }
    // A value written by hand that the INI reader sees as a list.
    QFile f(temp.file());
    qd::settings::open()->sync();
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\n[main]\nheight=77\nwidth=1, 2\n");
    f.close();
    const Placement read = qd::settings::readPlacement(design);
    EXPECT_EQ(read.height, 77); // the hand-written section is read
    EXPECT_EQ(read.width, 581);
}

TEST_F(SettingsTest, SerialsParseWithOrWithoutTheDash)
{
    using qd::settings::parseSerial;
    EXPECT_EQ(parseSerial("1234-ABCD"), 0x1234ABCDu);
    EXPECT_EQ(parseSerial("1234abcd"), 0x1234ABCDu);
    EXPECT_EQ(parseSerial("ffff-0000"), 0xFFFF0000u);
    for (const char* bad : {"", "1234-ABC", "123-4ABCD", "1234ABCDE", "12 34ABCD", "GHIJ-KLMN", "-1234ABCD"})
        EXPECT_FALSE(parseSerial(bad)) << bad;
    EXPECT_EQ(qd::settings::formatSerial(0x0000ABCDu), QStringLiteral("0000-ABCD"));
    EXPECT_EQ(qd::settings::formatSerial(0xdeadbeefu), QStringLiteral("DEAD-BEEF"));
}

TEST_F(SettingsTest, DriveMappingsComeBackAsWritten)
{
    DriveMapping d{QChar('D'), QStringLiteral("/srv/photos"), QStringLiteral("PHOTO"), 0x1234ABCDu, qd::DriveKind::CdRom};
    ASSERT_TRUE(qd::settings::mapDrive(d));
    ASSERT_TRUE(qd::settings::mapDrive({QChar('x'), QStringLiteral("/srv/x"), {}, {}, qd::DriveKind::Fixed}));
    const auto all = qd::settings::driveMappings();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].letter, QChar('D'));
    EXPECT_EQ(all[0].path, QStringLiteral("/srv/photos"));
    EXPECT_EQ(all[0].label, QStringLiteral("PHOTO"));
    EXPECT_EQ(all[0].serial, 0x1234ABCDu);
    EXPECT_EQ(all[0].kind, qd::DriveKind::CdRom);
    EXPECT_EQ(all[1].letter, QChar('X'));
    EXPECT_FALSE(all[1].label);
    EXPECT_FALSE(all[1].serial);
    EXPECT_EQ(all[1].kind, qd::DriveKind::Fixed);
    EXPECT_TRUE(fileText().contains("serial=1234-ABCD")) << fileText().constData();
}

TEST_F(SettingsTest, MappingAgainReplacesAndUnmapRemoves)
{
    ASSERT_TRUE(qd::settings::mapDrive({QChar('D'), "/a", QStringLiteral("OLD"), 1u, qd::DriveKind::Fixed}));
    ASSERT_TRUE(qd::settings::mapDrive({QChar('d'), "/b", {}, {}, qd::DriveKind::Fixed}));
    auto all = qd::settings::driveMappings();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].path, "/b");
    EXPECT_FALSE(all[0].label); // nothing of the old mapping lingers
    EXPECT_FALSE(all[0].serial);
    EXPECT_TRUE(qd::settings::unmapDrive(QChar('d')));
    EXPECT_TRUE(qd::settings::driveMappings().empty());
    EXPECT_FALSE(qd::settings::unmapDrive(QChar('D')));
}

TEST_F(SettingsTest, RefusesBadMappingsAndSkipsBadEntries)
{
    EXPECT_FALSE(qd::settings::mapDrive({QChar('1'), "/a", {}, {}, qd::DriveKind::Fixed}));
    EXPECT_FALSE(qd::settings::mapDrive({QChar('D'), QString(), {}, {}, qd::DriveKind::Fixed}));
    // Written by hand: a lower-case letter, a long key, no path, a broken serial and kind.
    setRaw("Drives/e/path", "/e");
    setRaw("Drives/e/serial", "not-hex");
    setRaw("Drives/e/kind", "floppy");
    setRaw("Drives/FF/path", "/ff");
    setRaw("Drives/G/label", "NOPATH");
    const auto all = qd::settings::driveMappings();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].letter, QChar('E'));
    EXPECT_FALSE(all[0].serial);
    EXPECT_EQ(all[0].kind, qd::DriveKind::Fixed);
}

} // namespace
