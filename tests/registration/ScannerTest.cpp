#include "registration/Scanner.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/time.h>
#include <unistd.h>

#include "platform/ImageList.h"
#include "platform/Listing.h"
#include "platform/SysImageList.h"
#include "tests/support/QtApp.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempSettings.h"
#include "tests/support/TimeZone.h"

namespace {

using qd::DialogAnswer;
using qd::TDisk;
using qd::WalkResult;

// Records the progress calls and lets a test act at a given folder.
class RecordingControl : public qd::ScanControl {
public:
    struct Step {
        QString path;
        std::int32_t files, folders;
    };
    std::vector<Step> steps;
    std::function<void(const QString&)> onFolder;

    void progress(const QString& path, std::int32_t files, std::int32_t folders) override
    {
        steps.push_back({path, files, folders});
        if (onFolder)
            onFolder(path);
    }
};

class ScannerTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    TDisk disk;
    RecordingControl control;
    qd::test::ScriptedDialogs dialogs;

    // Icons need a GUI application; the windows tested in this program, widgets.
    void SetUp() override { qd::test::ensureApp<QApplication>(); }

    QString at(const QString& rel) const { return tmp.filePath(rel); }
    void mkdir(const QString& rel) { ASSERT_TRUE(QDir(tmp.path()).mkpath(rel)) << rel.toStdString(); }
    void write(const QString& rel, const QByteArray& data = "x")
    {
        QFile f(at(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        f.write(data);
    }
    void setTimes(const QString& rel, std::int64_t access, std::int64_t write)
    {
        const timeval t[2] = {{time_t(access), 0}, {time_t(write), 0}};
        ASSERT_EQ(::lutimes(QFile::encodeName(at(rel)).constData(), t), 0);
    }
    WalkResult walk(qd::ImageList* icons = nullptr)
    {
        return qd::WalkFolder(QChar('d'), tmp.path(), disk, control, icons);
    }
    // Names of a real folder in the order the file system lists them.
    std::vector<std::string> listed(const QString& rel, bool folders)
    {
        std::vector<std::string> names;
        for (const qd::DirEntry& e : qd::ListFolder(at(rel)).entries)
            if (bool(e.attr & qd::kAttrDirectory) == folders)
                names.push_back(e.name);
        return names;
    }
    std::vector<std::string> fileNames(std::size_t dir) const
    {
        std::vector<std::string> names;
        for (const qd::TFile& f : disk.DirList.at(dir).FileList)
            names.emplace_back(f.Name.view());
        return names;
    }
    const qd::TFile* file(const std::string& name) const
    {
        for (const qd::TDir& d : disk.DirList)
            for (const qd::TFile& f : d.FileList)
                if (f.Name.view() == name)
                    return &f;
        return nullptr;
    }
    std::int32_t dirIndex(const std::string& name) const
    {
        for (std::size_t i = 0; i < disk.DirList.size(); ++i)
            if (disk.DirList[i].Name.view() == name)
                return std::int32_t(i);
        return -1;
    }
};

TEST_F(ScannerTest, EmptyVolumeGivesTheRootAlone)
{
    const double before = qd::LocalNow();
    const WalkResult r = walk();
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.files, 0);
    EXPECT_EQ(r.unlistable, 0);
    ASSERT_EQ(disk.DirList.size(), 1u);
    const qd::TDir& root = disk.DirList[0];
    EXPECT_EQ(root.Name, "D:") << "upper case letter and a colon";
    EXPECT_EQ(root.Parent, -1);
    EXPECT_EQ(root.Date, 0.0);
    EXPECT_EQ(root.Attr, 0);
    EXPECT_TRUE(root.FileList.empty());
    EXPECT_GE(root.ScanDate, before - 1.0 / 86400);
    EXPECT_LE(root.ScanDate, qd::LocalNow() + 1.0 / 86400);
    ASSERT_EQ(control.steps.size(), 1u);
    EXPECT_EQ(control.steps[0].path, "D:\\");
    EXPECT_EQ(control.steps[0].files, 0);
    EXPECT_EQ(control.steps[0].folders, 1);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ScannerTest, FoldersAreNumberedBreadthFirstAndFilesKeepListingOrder)
{
    mkdir("A/C");
    mkdir("B");
    write("A/one");
    write("A/two", "22");
    write("A/three", "333");
    write("A/C/deep", "4444");
    write("top");

    const WalkResult r = walk();
    ASSERT_TRUE(r.completed);
    ASSERT_EQ(disk.DirList.size(), 4u);
    const std::vector<std::string> rootFolders = listed("", true);
    ASSERT_EQ(rootFolders.size(), 2u);
    EXPECT_EQ(disk.DirList[1].Name, rootFolders[0]);
    EXPECT_EQ(disk.DirList[2].Name, rootFolders[1]);
    EXPECT_EQ(disk.DirList[1].Parent, 0);
    EXPECT_EQ(disk.DirList[2].Parent, 0);
    EXPECT_EQ(disk.DirList[3].Name, "C");
    EXPECT_EQ(disk.DirList[3].Parent, dirIndex("A"));
    EXPECT_EQ(qd::GetDirPath(3, disk), "D:\\A\\C");

    EXPECT_EQ(fileNames(std::size_t(dirIndex("A"))), listed("A", false));
    EXPECT_EQ(fileNames(0), std::vector<std::string>{"top"});
    EXPECT_EQ(fileNames(3), std::vector<std::string>{"deep"});
    EXPECT_EQ(r.files, 5);
    EXPECT_EQ(r.bytes, 1 + 2 + 3 + 4 + 1);

    // One progress call per folder, in folder order, with the counts so far.
    ASSERT_EQ(control.steps.size(), 4u);
    EXPECT_EQ(control.steps[0].path, "D:\\");
    EXPECT_EQ(control.steps[0].folders, 1);
    EXPECT_EQ(control.steps[1].path, QString::fromStdString("D:\\" + rootFolders[0] + "\\"));
    EXPECT_EQ(control.steps[1].files, 1) << "the root's file";
    EXPECT_EQ(control.steps[1].folders, 3);
    EXPECT_EQ(control.steps[3].path, "D:\\A\\C\\");
    EXPECT_EQ(control.steps[3].folders, 4);
    EXPECT_EQ(control.steps[3].files, 4);
}

TEST_F(ScannerTest, RecordsCarryTheEntrysAttributesSizeAndDosTimes)
{
    // Times are local at the offset in force now: nine hours east of UTC here,
    // so that a walk that drops the offset shows wherever the tests run.
    const qd::test::ScopedTimeZone japan("JST-9");
    mkdir(".cache");
    mkdir("night");
    write(".hidden", "abc");
    write("ro.txt");
    ASSERT_EQ(::chmod(QFile::encodeName(at("ro.txt")).constData(), 0444), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe")).constData(), 0644), 0);
    // 2001-02-03 04:05:07 UTC written (odd second: DOS keeps 2-second steps),
    // 1975 accessed (before 1980: unknown).
    setTimes(".hidden", 157766400, 981173107);
    setTimes(".cache", 157766400, 157766400);
    setTimes("night", 157766400, 981230400); // 2001-02-03 20:00 UTC
    // Days since 1899-12-30 (25569 days before 1970) of a Unix time, nine hours on.
    auto japanDays = [](double t) { return 25569 + (t + 9 * 3600) / 86400; };
    // The clock the walk reads, to its millisecond: time() reads a coarser
    // clock that may still show the last second when the walk has seen the next.
    auto realtime = [](double slack) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec / 1000000) / 1000 + slack;
    };
    const double before = realtime(-0.001);

    ASSERT_TRUE(walk().completed);
    const double after = realtime(0.001);
    ASSERT_EQ(disk.DirList.size(), 3u);
    ASSERT_GE(dirIndex(".cache"), 0);
    const qd::TDir& cache = disk.DirList[std::size_t(dirIndex(".cache"))];
    EXPECT_EQ(cache.Attr, qd::kAttrDirectory | qd::kAttrHidden);
    EXPECT_EQ(cache.Date, 0.0) << "a folder dated before 1980";
    EXPECT_GE(cache.ScanDate, japanDays(before));
    EXPECT_LE(cache.ScanDate, japanDays(after));
    ASSERT_GE(dirIndex("night"), 0);
    // 2001-02-04 05:00 local; 2001-02-03 is day 36925.
    EXPECT_DOUBLE_EQ(disk.DirList[std::size_t(dirIndex("night"))].Date, 36926 + 5 / 24.0);

    const qd::TFile* hidden = file(".hidden");
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->Attr, qd::kAttrArchive | qd::kAttrHidden);
    EXPECT_EQ(hidden->Size, 3u);
    EXPECT_EQ(hidden->LastAccessTime, 0.0) << "a time before 1980";
    // 2001-02-03 13:05:06 local.
    EXPECT_DOUBLE_EQ(hidden->LastWriteTime, 36925 + (13 * 3600 + 5 * 60 + 6) / 86400.0);
    EXPECT_EQ(hidden->IconIndex, -1);
    EXPECT_TRUE(hidden->Comment.empty());

    ASSERT_TRUE(file("ro.txt"));
    EXPECT_EQ(file("ro.txt")->Attr, qd::kAttrArchive | qd::kAttrReadOnly);
    ASSERT_TRUE(file("pipe")) << "special files are recorded too";
    EXPECT_EQ(file("pipe")->Attr, 0);
}

TEST_F(ScannerTest, FileOf4GiBPlus100BytesIsRecordedWithSize100)
{
    const int fd = ::open(QFile::encodeName(at("huge.img")).constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 100), 0);
    ::close(fd);
    const WalkResult r = walk();
    ASSERT_TRUE(file("huge.img"));
    EXPECT_EQ(file("huge.img")->Size, 100u);
    EXPECT_EQ(r.bytes, 100);
}

TEST_F(ScannerTest, LinksToFoldersAreRecordedAndNeverFollowed)
{
    mkdir("A/B");
    write("A/B/f");
    // Two loops: back to the root and to the folder itself.
    ASSERT_TRUE(QFile::link(tmp.path(), at("A/B/up")));
    ASSERT_TRUE(QFile::link(at("A"), at("A/self")));

    const WalkResult r = walk();
    ASSERT_TRUE(r.completed);
    ASSERT_EQ(disk.DirList.size(), 3u) << "root, A, B: no link walked";
    ASSERT_TRUE(file("up"));
    ASSERT_TRUE(file("self"));
    EXPECT_EQ(file("up")->Attr & qd::kAttrDirectory, 0);
    EXPECT_EQ(r.files, 3);
}

// A folder on another device that carries no mount-root mark (a btrfs
// subvolume, some FUSE file systems, kernels before 5.8) is recorded, not
// walked into: the device alone decides.
TEST_F(ScannerTest, FolderOnAnotherDeviceWithoutTheMountRootMarkIsRecordedEmpty)
{
    mkdir("sub");
    mkdir("kept");
    write("sub/inside");
    write("kept/found");
    qd::PretendOtherDevice({QFile::encodeName(at("sub")).toStdString()});
    const WalkResult r = walk();
    qd::PretendOtherDevice({});
    ASSERT_TRUE(r.completed);
    const std::int32_t sub = dirIndex("sub");
    ASSERT_GE(sub, 0);
    EXPECT_TRUE(disk.DirList[std::size_t(sub)].FileList.empty());
    EXPECT_TRUE(file("found"));
}

TEST_F(ScannerTest, FolderThatCannotBeListedIsRecordedEmptyAndTheWalkGoesOn)
{
    // Permission bits do not stop root, so the folder is removed between being
    // found and being listed, which refuses the listing for anyone.
    mkdir("gone/inner");
    write("gone/lost");
    mkdir("kept");
    write("kept/found");
    control.onFolder = [&](const QString& path) {
        if (path == "D:\\gone\\") {
            ASSERT_TRUE(QDir(at("gone")).removeRecursively());
        }
    };

    const WalkResult r = walk();
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.unlistable, 1);
    const std::int32_t gone = dirIndex("gone");
    ASSERT_GE(gone, 0);
    EXPECT_TRUE(disk.DirList[std::size_t(gone)].FileList.empty());
    EXPECT_EQ(dirIndex("inner"), -1);
    EXPECT_TRUE(file("found"));
    EXPECT_TRUE(dialogs.asked.isEmpty()) << "no message for an unlistable folder";
}

TEST_F(ScannerTest, RootThatCannotBeListedLeavesTheRootAlone)
{
    const WalkResult r = qd::WalkFolder(QChar('E'), QString(), disk, control, nullptr);
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.unlistable, 1);
    ASSERT_EQ(disk.DirList.size(), 1u);
    EXPECT_EQ(disk.DirList[0].Name, "E:");
}

// The debug lines of the category qd.walk, kept while it lives.
class WalkTrace {
public:
    WalkTrace() { previous_ = qInstallMessageHandler(keep); }
    ~WalkTrace()
    {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        lines().clear();
    }
    static QStringList& lines()
    {
        static QStringList kept;
        return kept;
    }

private:
    static void keep(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtDebugMsg && context.category && std::strcmp(context.category, "qd.walk") == 0)
            lines() << text;
    }
    QtMessageHandler previous_ = nullptr;
};

TEST_F(ScannerTest, AFolderThatCannotBeListedIsTracedOnlyWhenTheWalkTraceIsOn)
{
    const WalkTrace trace;
    qd::WalkFolder(QChar('E'), at("missing"), disk, control, nullptr);
    EXPECT_TRUE(WalkTrace::lines().isEmpty()) << "off by default";

    QLoggingCategory::setFilterRules(QStringLiteral("qd.walk.debug=true"));
    const WalkResult r = qd::WalkFolder(QChar('E'), at("missing"), disk, control, nullptr);
    EXPECT_EQ(r.unlistable, 1);
    ASSERT_EQ(WalkTrace::lines().size(), 1);
    EXPECT_TRUE(WalkTrace::lines()[0].contains(QStringLiteral("E:"))) << WalkTrace::lines()[0].toStdString();
    EXPECT_TRUE(WalkTrace::lines()[0].contains(QStringLiteral("not found"))) << WalkTrace::lines()[0].toStdString();
}

TEST_F(ScannerTest, NamesOutsideCodePage932AreSubstitutedCountedAndStillWalked)
{
    // The folder's recorded name loses a character, so only its real name can
    // find it again.
    mkdir(QString::fromUtf8("naïve☃"));
    write(QString::fromUtf8("naïve☃/inside.txt"));
    write(QString::fromUtf8("café"));
    write(QString::fromUtf8("日本語"));

    const WalkResult r = walk();
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.names.substituted, 2u);
    EXPECT_EQ(r.names.cut, 0u);
    EXPECT_EQ(r.unlistable, 0);
    const std::int32_t folder = dirIndex("na?ve?");
    ASSERT_GE(folder, 0);
    EXPECT_EQ(fileNames(std::size_t(folder)), std::vector<std::string>{"inside.txt"});
    EXPECT_TRUE(file("caf?"));
    EXPECT_TRUE(file("\x93\xfa\x96\x7b\x8c\xea"));
}

TEST_F(ScannerTest, SecondWalkStartsAfresh)
{
    mkdir("first");
    write("first/a.exe");
    qd::ImageList icons(16);
    walk(&icons);
    disk.Comment = "left over";
    ASSERT_TRUE(QDir(at("first")).removeRecursively());
    mkdir("second");

    const WalkResult r = walk(&icons);
    ASSERT_TRUE(r.completed);
    ASSERT_EQ(disk.DirList.size(), 2u);
    EXPECT_EQ(disk.DirList[1].Name, "second");
    EXPECT_EQ(r.files, 0);
    EXPECT_EQ(qd::TotalFileCount(disk), 0);
    EXPECT_TRUE(disk.Comment.empty());
    EXPECT_EQ(icons.count(), 0) << "the disk-icon list holds this disk's icons only";
}

TEST_F(ScannerTest, ProgramAndIconFilesEachAddOneImage)
{
    mkdir("sub");
    write("SETUP.EXE");
    write("Disk.Ico");
    write("readme.exe.txt");
    write("exe");
    write("sub/.exe");
    for (int n = 0; n < 10; ++n)
        write(QStringLiteral("sub/same%1.exe").arg(n));

    qd::ImageList icons(16);
    icons.add(QImage(16, 16, QImage::Format_RGB32), QImage());
    ASSERT_EQ(icons.count(), 1);
    const WalkResult r = walk(&icons);
    ASSERT_TRUE(r.completed);
    // SETUP.EXE, Disk.Ico, sub/.exe and the ten equal ones; the list was emptied first.
    EXPECT_EQ(icons.count(), 13);
    EXPECT_EQ(icons.imageSize(), 16);
    EXPECT_FALSE(icons.image(12).isNull());
}

TEST_F(ScannerTest, CancelThenNoGoesOnAndALaterCancelAsksAgain)
{
    for (const char* name : {"A", "B", "C", "D"})
        mkdir(name);
    int seen = 0;
    control.onFolder = [&](const QString&) {
        ++seen;
        if (seen == 2 || seen == 4)
            control.requestCancel();
    };
    dialogs.answers.enqueue(DialogAnswer::No);
    dialogs.answers.enqueue(DialogAnswer::Yes);

    const WalkResult r = walk();
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(control.steps.size(), 4u) << "stopped before the fifth folder";
    ASSERT_EQ(dialogs.asked.size(), 2);
    for (const qd::DialogRequest& q : dialogs.asked) {
        EXPECT_EQ(q.text, QString::fromUtf8("検索を中止しますか？"));
        EXPECT_EQ(q.caption, QString::fromUtf8("キャンセル"));
        EXPECT_EQ(q.icon, qd::DialogIcon::Question);
        EXPECT_EQ(q.buttons, qd::DialogButtons::YesNo);
    }
    EXPECT_TRUE(control.cancelRequested()) << "Yes leaves the request set";
}

TEST_F(ScannerTest, CancelRequestStandingFromBeforeIsClearedAtTheStart)
{
    mkdir("A");
    control.requestCancel();
    const WalkResult r = walk();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(disk.DirList.size(), 2u);
}

TEST_F(ScannerTest, CancelJustBeforeTheLastFolderStopsWithoutAsking)
{
    mkdir("A");
    mkdir("B");
    write("B/f");
    write("A/f");
    control.onFolder = [&](const QString&) {
        if (control.steps.size() == 3)
            control.requestCancel();
    };
    const WalkResult r = walk();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(dialogs.asked.isEmpty()) << "no folder left between which to ask";
    EXPECT_EQ(control.steps.size(), 3u);
    EXPECT_EQ(r.files, 2) << "the last folder was still listed";
}

TEST_F(ScannerTest, VolumeStepOfADriveThatDoesNotExistSaysNoDisk)
{
    disk.VolumeLabel = "OLD";
    disk.SerialNo = 7;
    disk.TotalSize = 3;
    EXPECT_FALSE(qd::ReadVolume(nullptr, QChar(0x3042), disk)) << "no letter names this drive";
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, QString::fromUtf8("ディスクがありません。(1001)"));
    EXPECT_EQ(dialogs.asked[0].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs.asked[0].icon, qd::DialogIcon::Exclamation);
    EXPECT_EQ(dialogs.asked[0].buttons, qd::DialogButtons::Ok);
    EXPECT_EQ(disk.VolumeLabel, "OLD");
    EXPECT_EQ(disk.SerialNo, 7u);
    EXPECT_EQ(disk.TotalSize, 3);
}

TEST_F(ScannerTest, VolumeStepReadsAMappedDrivesVolume)
{
    qd::test::MappedDrive drive('M', {.label = QStringLiteral("DATA"), .serial = 0x1234ABCD});
    ASSERT_TRUE(qd::ReadVolume(nullptr, QChar('M'), disk));
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(disk.VolumeLabel, "DATA");
    EXPECT_EQ(disk.SerialNo, 0x1234ABCDu);
    EXPECT_GT(disk.TotalSize, 0);
    EXPECT_GE(disk.FreeSize, 0);
    EXPECT_LE(disk.FreeSize, disk.TotalSize);
}

TEST_F(ScannerTest, VolumeStepOfAMappedDriveWithoutItsFolderSaysNoDisk)
{
    qd::test::MappedDrive drive('N', at("not-there"), {.label = QStringLiteral("X"), .serial = 1});
    EXPECT_FALSE(qd::ReadVolume(nullptr, QChar('n'), disk));
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs.asked[0].text, QString::fromUtf8("ディスクがありません。(1001)"));
    EXPECT_EQ(dialogs.asked[0].icon, qd::DialogIcon::Exclamation);
}

TEST_F(ScannerTest, VolumeStepWhoseSpaceCannotBeReadSaysNoDiskWithItsOwnNumber)
{
    // No real drive answers the volume query and then fails the free-space
    // one, so the queries are stood in for.
    qd::VolumeQueries queries;
    queries.volumeInfo = [](std::string_view path, std::uint32_t& serial, std::string& label) {
        serial = 0xCAFE;
        label = std::string(path) == "P:\\" ? "GONE" : "WRONG PATH";
        return true;
    };
    queries.diskSpace = [](std::string_view, std::int64_t&, std::int64_t&) { return false; };
    EXPECT_FALSE(qd::ReadVolume(nullptr, QChar('p'), disk, queries));
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, QString::fromUtf8("ディスクがありません。(1002)"));
    EXPECT_EQ(dialogs.asked[0].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs.asked[0].icon, qd::DialogIcon::Exclamation);
    EXPECT_EQ(disk.VolumeLabel, "GONE") << "the label read before the failure stays";
    EXPECT_EQ(disk.SerialNo, 0xCAFEu);
    EXPECT_EQ(disk.TotalSize, 0);
}

TEST_F(ScannerTest, WalkOfAMappedDriveRecordsItsTree)
{
    qd::test::MappedDrive drive('d');
    drive.write("A/C/deep.txt", "1234");
    drive.write("B/x");
    drive.write("root.txt", "12");
    const WalkResult r = qd::WalkDrive(QChar('d'), disk, control, nullptr);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(r.unlistable, 0);
    ASSERT_EQ(disk.DirList.size(), 4u);
    EXPECT_EQ(disk.DirList[0].Name, "D:");
    EXPECT_EQ(qd::GetDirPath(3, disk), "D:\\A\\C");
    ASSERT_TRUE(file("deep.txt"));
    EXPECT_EQ(file("deep.txt")->Size, 4u);
}

TEST_F(ScannerTest, WalkOfALetterWithoutADriveIsTheRootAlone)
{
    const WalkResult r = qd::WalkDrive(QChar('W'), disk, control, nullptr);
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.unlistable, 1);
    ASSERT_EQ(disk.DirList.size(), 1u);
    EXPECT_EQ(disk.DirList[0].Name, "W:");
}

} // namespace
