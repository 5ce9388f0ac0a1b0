#include "registration/DiskUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/NameOrder.h"
#include "platform/Text.h"
#include "registration/Scanner.h"
#include "tests/support/QtApp.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace qd;
using qd::test::MappedDrive;

constexpr std::uint32_t kSerial = 0x1234ABCD;

// A record as stored: without the update's working mark.
TFile stored(TFile f)
{
    f.Found = 0;
    return f;
}

// A disk catalogued from drive D, then changed on the drive and updated one
// folder at a time, as the contents view lists its rows.
class DiskUpdateTest : public ::testing::Test {
protected:
    DiskUpdateTest() { qd::test::ensureApp(); }

    // Catalogues the drive as registration does.
    void scan()
    {
        ScanControl control;
        ASSERT_TRUE(WalkDrive(QChar('D'), disk, control, nullptr).completed);
        disk.SerialNo = kSerial;
        disk.VolumeLabel = "DATA";
    }
    std::int32_t folder(const std::string& path) const
    {
        for (std::size_t i = 0; i < disk.DirList.size(); ++i)
            if (GetDirPath(std::int32_t(i), disk) == path)
                return std::int32_t(i);
        return -1;
    }
    TFile* file(const std::string& folderPath, std::string_view name)
    {
        const std::int32_t f = folder(folderPath);
        if (f < 0)
            return nullptr;
        for (TFile& file : disk.DirList[std::size_t(f)].FileList)
            if (file.Name.view() == name)
                return &file;
        return nullptr;
    }
    std::vector<std::string> fileNames(const std::string& folderPath) const
    {
        std::vector<std::string> names;
        for (const TFile& f : disk.DirList[std::size_t(folder(folderPath))].FileList)
            names.emplace_back(f.Name.view());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> allPaths() const
    {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < disk.DirList.size(); ++i)
            paths.push_back(GetDirPath(std::int32_t(i), disk));
        return paths;
    }
    // The rows of a folder as the contents view sorts them.
    ShownRows rowsOf(std::int32_t f)
    {
        auto byName = [&](std::string_view a, std::string_view b) { return order.compare(fromAnsi(a), fromAnsi(b)) < 0; };
        ShownRows rows;
        for (std::size_t i = 0; i < disk.DirList.size(); ++i)
            if (disk.DirList[i].Parent == f && std::int32_t(i) != f)
                rows.folders.push_back(std::int32_t(i));
        std::sort(rows.folders.begin(), rows.folders.end(), [&](std::int32_t a, std::int32_t b) {
            return byName(disk.DirList[std::size_t(a)].Name.view(), disk.DirList[std::size_t(b)].Name.view());
        });
        TFileList& files = disk.DirList[std::size_t(f)].FileList;
        std::sort(files.begin(), files.end(), [&](const TFile& a, const TFile& b) { return byName(a.Name.view(), b.Name.view()); });
        for (std::size_t i = 0; i < files.size(); ++i)
            rows.files.push_back(std::int32_t(i));
        return rows;
    }
    UpdateResult update(const std::string& folderPath)
    {
        const std::int32_t f = folder(folderPath);
        EXPECT_GE(f, 0) << folderPath;
        return UpdateFolder(disk, f, rowsOf(f), order);
    }

    MappedDrive drive{QChar('D'), {.label = QStringLiteral("DATA"), .serial = kSerial}};
    TDisk disk;
    NameOrder order;
};

// --- what survives and what goes ---------------------------------------------

TEST_F(DiskUpdateTest, NewFileGetsAnEmptyCommentWhileTheOthersKeepTheirs)
{
    drive.write("a.txt", "a");
    drive.write("b.txt", "b");
    scan();
    file("D:", "a.txt")->Comment = "kept a";
    file("D:", "b.txt")->Comment = "kept b";
    drive.write("c.txt", "new");

    const UpdateResult r = update("D:");
    ASSERT_EQ(r.status, UpdateResult::Updated);
    EXPECT_EQ(r.addedFiles, std::vector<std::string>{"c.txt"});
    EXPECT_TRUE(r.removedFiles.empty());
    EXPECT_EQ(fileNames("D:"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(file("D:", "a.txt")->Comment.view(), "kept a");
    EXPECT_EQ(file("D:", "b.txt")->Comment.view(), "kept b");
    const TFile* added = file("D:", "c.txt");
    EXPECT_EQ(added->Comment.view(), "");
    EXPECT_EQ(added->Size, 3u);
    EXPECT_EQ(added->IconIndex, -1);
    EXPECT_NE(added->LastWriteTime, 0);
}

TEST_F(DiskUpdateTest, DeletedFileGoesWithItsComment)
{
    drive.write("PHOTO/a.jpg");
    drive.write("PHOTO/b.jpg");
    scan();
    file("D:\\PHOTO", "a.jpg")->Comment = "gone";
    file("D:\\PHOTO", "b.jpg")->Comment = "stays";
    ASSERT_TRUE(QFile::remove(drive.path("PHOTO/a.jpg")));

    const UpdateResult r = update("D:\\PHOTO");
    EXPECT_EQ(r.removedFiles, std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(fileNames("D:\\PHOTO"), std::vector<std::string>{"b.jpg"});
    EXPECT_EQ(file("D:\\PHOTO", "b.jpg")->Comment.view(), "stays");
}

TEST_F(DiskUpdateTest, NameChangedOnlyInCaseKeepsTheRecordItsCommentAndRecordedName)
{
    drive.write("readme.txt", "x");
    drive.write("other.txt", "y");
    scan();
    file("D:", "readme.txt")->Comment = "read me";
    const TFile before = *file("D:", "readme.txt");
    ASSERT_TRUE(QFile::rename(drive.path("readme.txt"), drive.path("README.TXT")));

    const UpdateResult r = update("D:");
    EXPECT_FALSE(r.changed());
    ASSERT_NE(file("D:", "readme.txt"), nullptr);
    EXPECT_EQ(stored(*file("D:", "readme.txt")), before);
    EXPECT_EQ(file("D:", "README.TXT"), nullptr);
}

// A file that is still there takes the size, attributes and times the disk
// gives it now (and a folder its time), keeping its comment and its icon.
TEST_F(DiskUpdateTest, ChangedFileTakesItsNewSizeAndTimesAndKeepsItsCommentAndIcon)
{
    drive.write("log.txt", "short");
    drive.mkdir("SUB");
    scan();
    file("D:", "log.txt")->Comment = "kept";
    file("D:", "log.txt")->IconIndex = 7;
    drive.write("log.txt", "a good deal longer than before");
    const timespec times[2] = {{1000000000, 0}, {1100000000, 0}}; // accessed in 2001, written in 2004
    for (const char* f : {"log.txt", "SUB"})
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(drive.path(f)).constData(), times, 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(drive.path("log.txt")).constData(), 0444), 0);

    EXPECT_FALSE(update("D:").changed());
    const TFile& after = *file("D:", "log.txt");
    EXPECT_EQ(after.Size, 30u);
    EXPECT_EQ(after.Attr, kAttrArchive | kAttrReadOnly);
    EXPECT_NEAR(after.LastWriteTime - after.LastAccessTime, 1e8 / 86400, 1e-3);
    EXPECT_EQ(after.LastWriteTime, disk.DirList[std::size_t(folder("D:\\SUB"))].Date);
    EXPECT_EQ(after.Comment.view(), "kept");
    EXPECT_EQ(after.IconIndex, 7);
}

// Full and half width, hiragana and katakana sort alike but are other names:
// the renamed file is a new record, so a search finds the name it has now.
TEST_F(DiskUpdateTest, RenamedToAnotherWidthOrKanaIsANewNameNotTheOldRecord)
{
    const std::pair<QString, QString> renames[] = {{"ＡＢＣ.txt", "ABC.txt"}, {"あいう.txt", "アイウ.txt"}, {"ｶﾅ.txt", "カナ.txt"}};
    for (const auto& [before, after] : renames)
        drive.write(before);
    scan();
    for (const auto& [before, after] : renames) {
        ASSERT_TRUE(QFile::rename(drive.path(before), drive.path(after)));
        const UpdateResult u = update("D:");
        EXPECT_EQ(u.addedFiles, std::vector<std::string>{toAnsi(after)});
        EXPECT_EQ(u.removedFiles, std::vector<std::string>{toAnsi(before)});
    }
}

// --- folders --------------------------------------------------------------------

TEST_F(DiskUpdateTest, FolderReplacedByAFileOfTheSameNameGoesWithItsSubtreeAndTheFileComes)
{
    drive.write("DATA/inner/x.txt");
    drive.write("keep.txt");
    scan();
    ASSERT_EQ(disk.DirList.size(), 3u);
    ASSERT_TRUE(QDir(drive.path("DATA")).removeRecursively());
    drive.write("DATA", "now a file");

    const UpdateResult r = update("D:");
    EXPECT_EQ(r.removedFolders, std::vector<std::string>{"DATA"});
    EXPECT_EQ(r.addedFiles, std::vector<std::string>{"DATA"});
    EXPECT_EQ(allPaths(), std::vector<std::string>{"D:"});
    EXPECT_EQ(fileNames("D:"), (std::vector<std::string>{"DATA", "keep.txt"}));
    EXPECT_EQ(file("D:", "DATA")->Size, 10u);
}

TEST_F(DiskUpdateTest, NewFolderIsAddedEmptyAndUpdatingInsideItFillsIt)
{
    drive.write("old.txt");
    scan();
    drive.write("NEW/one.txt");
    drive.write("NEW/DEEP/two.txt");

    UpdateResult r = update("D:");
    EXPECT_EQ(r.addedFolders, std::vector<std::string>{"NEW"});
    const std::int32_t added = folder("D:\\NEW");
    ASSERT_EQ(added, 1);
    EXPECT_EQ(disk.DirList[1].Parent, 0);
    EXPECT_TRUE(disk.DirList[1].FileList.empty());
    EXPECT_EQ(disk.DirList[1].Attr & kAttrDirectory, kAttrDirectory);
    EXPECT_EQ(disk.DirList.size(), 2u); // DEEP waits for its own update

    r = update("D:\\NEW");
    EXPECT_EQ(r.addedFolders, std::vector<std::string>{"DEEP"});
    EXPECT_EQ(r.addedFiles, std::vector<std::string>{"one.txt"});
    EXPECT_EQ(folder("D:\\NEW\\DEEP"), 2);
    EXPECT_TRUE(disk.DirList[2].FileList.empty());
}

TEST_F(DiskUpdateTest, VanishedFolderTakesEveryFolderBelowItAndTheRestKeepTheirPaths)
{
    // Breadth first, the vanished subtree interleaves with folders that stay.
    for (const char* f : {"A/X/X1", "A/X/X2", "A/Y/Y1/Y11", "B/P", "B/Q", "C"})
        drive.mkdir(QString::fromLatin1(f));
    drive.write("A/X/X1/deep.txt");
    scan();
    disk.DirList[std::size_t(folder("D:\\B\\Q"))].Comment = "stays";
    std::vector<std::string> expected;
    for (const std::string& p : allPaths())
        if (p != "D:\\A" && p.rfind("D:\\A\\", 0) != 0)
            expected.push_back(p);
    ASSERT_TRUE(QDir(drive.path("A")).removeRecursively());

    const UpdateResult r = update("D:");
    EXPECT_EQ(r.removedFolders, std::vector<std::string>{"A"});
    EXPECT_EQ(allPaths(), expected);
    EXPECT_EQ(disk.DirList[std::size_t(folder("D:\\B\\Q"))].Comment.view(), "stays");
    for (std::size_t i = 1; i < disk.DirList.size(); ++i)
        EXPECT_LT(disk.DirList[i].Parent, std::int32_t(i));
}

TEST_F(DiskUpdateTest, SeveralVanishedFoldersAndAGenuinelyEmptyFolderLoseTheirRows)
{
    for (const char* f : {"A/A1", "B", "C/C1", "D"})
        drive.mkdir(QString::fromLatin1(f));
    drive.write("B/b.txt");
    drive.write("D/d.txt");
    scan();
    ASSERT_TRUE(QDir(drive.path("A")).removeRecursively());
    ASSERT_TRUE(QDir(drive.path("C")).removeRecursively());
    ASSERT_TRUE(QFile::remove(drive.path("D/d.txt")));

    EXPECT_EQ(update("D:").removedFolders, (std::vector<std::string>{"A", "C"}));
    std::vector<std::string> left = allPaths();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"D:", "D:\\B", "D:\\D"}));
    const UpdateResult empty = update("D:\\D");
    EXPECT_EQ(empty.status, UpdateResult::Updated);
    EXPECT_EQ(empty.removedFiles, std::vector<std::string>{"d.txt"});
    EXPECT_TRUE(disk.DirList[std::size_t(folder("D:\\D"))].FileList.empty());
    EXPECT_EQ(fileNames("D:\\B"), std::vector<std::string>{"b.txt"});
}

// Names equal to the comparison but not to the bytes, which a case-sensitive
// file system lets stand side by side: each keeps a record of its own.
TEST_F(DiskUpdateTest, NamesThatCompareEqualEachKeepTheirOwnRecord)
{
    drive.write("a.txt");
    scan();
    file("D:", "a.txt")->Comment = "mine";
    drive.write("A.TXT");

    EXPECT_EQ(update("D:").addedFiles, std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(fileNames("D:"), (std::vector<std::string>{"A.TXT", "a.txt"}));
    EXPECT_EQ(file("D:", "a.txt")->Comment.view(), "mine");

    // The one that goes is the one whose name is gone.
    file("D:", "A.TXT")->Comment = "upper";
    ASSERT_TRUE(QFile::remove(drive.path("a.txt")));
    EXPECT_EQ(update("D:").removedFiles, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(fileNames("D:"), std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(file("D:", "A.TXT")->Comment.view(), "upper");
}

// --- finding the folder on the disk ---------------------------------------------

// A real name may hold a backslash: "a\b" is one folder beside the folder a
// with its b, and both have the path D:\a\b. Each is updated from itself.
TEST_F(DiskUpdateTest, FolderNamedWithABackslashIsUpdatedFromItselfNotFromTheNestedOne)
{
    drive.write("a\\b/one.txt");
    drive.write("a/b/other.txt");
    scan();
    // Breadth first: the one named a\b comes first, a's b last.
    const std::int32_t named = folder("D:\\a\\b"), nested = std::int32_t(disk.DirList.size()) - 1;
    ASSERT_EQ(GetDirPath(nested, disk), "D:\\a\\b");
    ASSERT_EQ(disk.DirList[std::size_t(named)].Parent, 0);
    drive.write("a\\b/new.txt");
    for (const std::int32_t f : {named, nested}) {
        const UpdateResult r = UpdateFolder(disk, f, rowsOf(f), order);
        EXPECT_EQ(r.addedFiles, f == named ? std::vector<std::string>{"new.txt"} : std::vector<std::string>{});
        EXPECT_TRUE(r.removedFiles.empty());
    }
}

// What the records cannot find exactly is a folder that cannot be listed,
// and nothing changes: a link in place of a recorded folder, at the end of
// the path or on the way (to folders of the same names elsewhere, as /etc
// has), a folder on another file system (a mount point, made out to be one
// here), another real folder of the same record name (a¥b is "a\b" in code
// page 932, as is a\b).
TEST_F(DiskUpdateTest, AFolderTheRecordsCannotFindExactlyIsNeverListed)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir().mkpath(elsewhere.filePath("B")) && QFile(elsewhere.filePath("B/passwd")).open(QIODevice::WriteOnly));
    const auto link = [&](const QString& folder, const QString& target) {
        ASSERT_TRUE(QDir(drive.path(folder)).removeRecursively() && QFile::link(target, drive.path(folder)));
    };
    const struct {
        std::string path;
        std::function<void()> change;
        ListStatus refused;
    } cases[] = {
        {"D:\\A\\B", [&] { link("A/B", elsewhere.filePath("B")); }, ListStatus::NotFolder},
        {"D:\\A\\B", [&] { link("A", elsewhere.path()); }, ListStatus::NotFolder},
        {"D:\\MNT", [&] { PretendOtherDevice({QFile::encodeName(drive.path("MNT")).toStdString()}); },
         ListStatus::OtherFileSystem},
        {"D:\\a\\b", [&] { drive.write(QString::fromUtf8("a¥b/y.txt")); }, ListStatus::Ambiguous},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.refused));
        ASSERT_TRUE(QDir(drive.root()).removeRecursively() && QDir().mkpath(drive.root()));
        for (const char* f : {"A/B/mine.txt", "MNT/inside.txt", "a\\b/x.txt"})
            drive.write(f);
        scan();
        c.change();
        const TDisk before = disk;
        const UpdateResult r = update(c.path);
        PretendOtherDevice({});
        EXPECT_EQ(r.status, UpdateResult::Refused);
        EXPECT_EQ(r.listing, c.refused);
        EXPECT_EQ(disk, before);
    }
}

// --- the disk in the drive --------------------------------------------------------

TEST_F(DiskUpdateTest, ChangedLabelWithTheSameSerialProceedsAndRefreshesNothing)
{
    drive.write("a.txt");
    scan();
    const MappedDrive relabelled(QChar('D'), drive.root(), {.label = QStringLiteral("RENAMED"), .serial = kSerial});
    drive.write("b.txt");

    const UpdateResult r = update("D:");
    EXPECT_EQ(r.status, UpdateResult::Updated);
    EXPECT_EQ(r.addedFiles, std::vector<std::string>{"b.txt"});
    EXPECT_EQ(disk.VolumeLabel, "DATA");
}

TEST_F(DiskUpdateTest, AnotherDiskOrNoDiskChangesNothing)
{
    drive.write("a.txt");
    drive.write("SUB/b.txt");
    scan();
    ASSERT_TRUE(QFile::remove(drive.path("a.txt")));
    drive.write("c.txt");
    const TDisk before = disk;

    // All 32 bits count: serials that share a half or differ in the top bit alone.
    for (const std::uint32_t serial : {kSerial + 1, 0x5678ABCDu, 0x1234EF01u, kSerial ^ 0x80000000u}) {
        const MappedDrive other(QChar('D'), drive.root(), {.label = QStringLiteral("DATA"), .serial = serial});
        EXPECT_EQ(update("D:").status, UpdateResult::OtherDisk) << std::hex << serial;
        EXPECT_EQ(disk, before);
    }
    {
        const MappedDrive empty(QChar('D'), drive.root() + QStringLiteral("/no such folder"), {.serial = kSerial});
        EXPECT_EQ(update("D:").status, UpdateResult::NoDisk);
        EXPECT_EQ(disk, before);
    }
}

// The folder shown is no folder on the disk any more: it cannot be listed,
// which is not the same as empty.
TEST_F(DiskUpdateTest, FolderThatCannotBeListedLosesNothing)
{
    drive.write("SUB/keep.txt");
    drive.write("GONE/keep.txt");
    drive.mkdir("GONE/INNER");
    scan();
    ASSERT_TRUE(QDir(drive.path("SUB")).removeRecursively());
    drive.write("SUB", "a file now");
    ASSERT_TRUE(QDir(drive.path("GONE")).removeRecursively());
    const TDisk before = disk;

    UpdateResult r = update("D:\\SUB");
    EXPECT_EQ(r.status, UpdateResult::Refused);
    EXPECT_EQ(r.listing, ListStatus::NotFolder);
    EXPECT_EQ(r.folderPath, "D:\\SUB\\");
    r = update("D:\\GONE");
    EXPECT_EQ(r.status, UpdateResult::Refused);
    EXPECT_EQ(r.listing, ListStatus::NotFound);
    EXPECT_EQ(disk, before);
}

// Runs check where permissions refuse: as nobody in a child process when the
// tests run as root (whom no permission refuses), else in this process.
// Returns the check's result, or nullopt when the child could not drop root.
std::optional<bool> asUnprivileged(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return false;
    if (WEXITSTATUS(status) == 77)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

TEST_F(DiskUpdateTest, FolderWhoseListingIsDeniedLosesNothing)
{
    drive.write("LOCKED/a.txt");
    drive.write("LOCKED/INNER/b.txt");
    scan();
    const std::int32_t locked = folder("D:\\LOCKED");
    const ShownRows rows = rowsOf(locked);
    const QByteArray path = QFile::encodeName(drive.path("LOCKED"));
    // The way down stays open to everybody; only the folder itself is closed.
    ASSERT_EQ(::chmod(QFile::encodeName(drive.root()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(path.constData(), 0), 0);
    const TDisk before = disk;
    const ScanClock clock = ScanClock::current();

    const std::optional<bool> refused = asUnprivileged([&] {
        TDisk updated = before;
        FolderReader reader(path.toStdString());
        const UpdateResult r = MergeListing(updated, locked, rows, reader, order, clock);
        return r.status == UpdateResult::Refused && r.listing == ListStatus::Denied && updated == before;
    });
    ::chmod(path.constData(), 0755);
    if (!refused)
        GTEST_SKIP() << "running as root and cannot become an unprivileged user here";
    EXPECT_TRUE(*refused);
}

} // namespace
