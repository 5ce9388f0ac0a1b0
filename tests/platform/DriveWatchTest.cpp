// The watch of the drives: a fake mount table that the test rewrites, and
// folders mapped as drives that appear and vanish under a real watch.
#include "platform/DriveWatch.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/Drives.h"
#include "support/QtApp.h"
#include "support/TempSettings.h"

using namespace qd;
using namespace qd::test;

namespace {

class DriveWatchTest : public ::testing::Test {
protected:
    DriveWatchTest() { ensureApp(); }
    ~DriveWatchTest() override
    {
        SetMountTablePath(QStringLiteral("/proc/self/mountinfo"));
        DriveTable::rebuild();
    }
    static QChar letterOf(const QSignalSpy& spy, int at) { return spy.at(at).at(0).value<QChar>(); }

    TempSettings settings_;
    QTemporaryDir dir_;
};

} // namespace

TEST_F(DriveWatchTest, AVolumeMountedAndUnmountedInTheMountTable)
{
    const QString media = dir_.filePath(QStringLiteral("media"));
    ASSERT_TRUE(QDir().mkpath(media));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(media).constData(), &st), 0);
    // The root on a device of its own, so that the medium's is free for the stick.
    const QByteArray base = "1 0 0:4242 / / rw - ext4 /dev/qdroot rw\n";
    const QByteArray stick = QStringLiteral("2 1 %1:%2 / %3 rw - vfat /dev/qdstick rw\n")
                                 .arg(major(st.st_dev)).arg(minor(st.st_dev)).arg(media).toUtf8();
    const QString table = dir_.filePath(QStringLiteral("mountinfo"));
    auto writeTable = [&](const QByteArray& text) {
        QFile f(table);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    writeTable(base);
    SetMountTablePath(table);
    DriveTable::rebuild();
    const std::size_t drivesBefore = DriveTable::instance().drives().size();

    DriveWatcher watcher;
    QSignalSpy in(&watcher, &DriveWatcher::inserted), out(&watcher, &DriveWatcher::removed),
        changes(&DriveTableChanges(), &DriveTableNotice::changed);
    writeTable(base + stick);
    watcher.check();
    ASSERT_EQ(in.count(), 1);
    const QChar letter = letterOf(in, 0);
    EXPECT_EQ(DriveTable::instance().drives().size(), drivesBefore + 1) << "a new letter";
    EXPECT_EQ(CurrentRoot(letter), media);
    std::uint32_t serial = 0;
    std::string label;
    EXPECT_TRUE(GetVolumeInfo(std::string(1, char(letter.unicode())) + ":\\", serial, label)) << "the table has it";
    EXPECT_EQ(changes.count(), 1);

    watcher.check(); // nothing changed: nothing told, nothing rebuilt
    EXPECT_EQ(in.count(), 1);
    EXPECT_EQ(changes.count(), 1);

    writeTable(base);
    watcher.check();
    ASSERT_EQ(out.count(), 1);
    EXPECT_EQ(letterOf(out, 0), letter);
    ASSERT_NE(DriveTable::instance().find(letter), nullptr) << "the letter stays, without a medium";
    EXPECT_FALSE(CurrentRoot(letter));

    writeTable(base + stick);
    watcher.check();
    ASSERT_EQ(in.count(), 2);
    EXPECT_EQ(letterOf(in, 1), letter) << "the same device comes back on its letter";
}

TEST_F(DriveWatchTest, AMappedFolderThatAppearsAndVanishesAndAMappingMadeMeanwhile)
{
    const QString later = dir_.filePath(QStringLiteral("later"));
    const MappedDrive drive(QChar('Q'), later + QStringLiteral("/stick"), {.serial = 0x12345678});
    DriveWatcher watcher;
    QSignalSpy in(&watcher, &DriveWatcher::inserted), out(&watcher, &DriveWatcher::removed);

    ASSERT_TRUE(QDir().mkpath(later + QStringLiteral("/stick"))); // two levels: the watch follows down
    ASSERT_TRUE(QTest::qWaitFor([&] { return in.count() == 1; }, 5000));
    EXPECT_EQ(letterOf(in, 0), QChar('Q'));
    ASSERT_TRUE(QDir(later).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.count() == 1; }, 5000));
    EXPECT_EQ(letterOf(out, 0), QChar('Q'));

    // qdcat drives --map while the watch runs: the settings tell.
    ASSERT_TRUE(settings::mapDrive({QChar('R'), dir_.path(), std::nullopt, std::nullopt, DriveKind::Fixed}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return in.count() == 2; }, 5000));
    EXPECT_EQ(letterOf(in, 1), QChar('R'));
    EXPECT_EQ(out.count(), 1);
    settings::unmapDrive(QChar('R'));
}
