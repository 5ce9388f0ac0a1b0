#include "platform/Listing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "support/TimeZone.h"

namespace {

using qd::DirEntry;
using qd::ListStatus;

class ListingTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString at(const QString& name) const { return tmp.filePath(name); }
    void write(const QString& name, const QByteArray& data = "x")
    {
        QFile f(at(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        f.write(data);
    }
    static const DirEntry* find(const qd::FolderListing& l, const std::string& name)
    {
        auto it = std::find_if(l.entries.begin(), l.entries.end(), [&](const DirEntry& e) { return e.name == name; });
        return it == l.entries.end() ? nullptr : &*it;
    }
};

TEST_F(ListingTest, EmptyFolderIsOkWithNoEntries)
{
    const qd::FolderListing l = qd::ListFolder(tmp.path());
    EXPECT_EQ(l.status, ListStatus::Ok);
    EXPECT_TRUE(l.entries.empty()) << "\".\" and \"..\" are never listed";
}

TEST_F(ListingTest, FolderThatCannotBeOpenedIsToldApartFromAnEmptyOne)
{
    // Tests may run as root, where permission bits do not refuse a read; a
    // folder that vanished and a path that is a file refuse for everyone.
    ASSERT_TRUE(QDir(tmp.path()).mkdir("gone"));
    ASSERT_TRUE(QDir(tmp.path()).rmdir("gone"));
    EXPECT_EQ(qd::ListFolder(at("gone")).status, ListStatus::NotFound);
    write("file.txt");
    EXPECT_EQ(qd::ListFolder(at("file.txt")).status, ListStatus::NotFolder);
    EXPECT_EQ(qd::ListFolder(at("file.txt/below")).status, ListStatus::NotFolder);
    EXPECT_EQ(qd::ListFolder(at(QString(300, 'n'))).status, ListStatus::Failed) << "name too long";

    ASSERT_TRUE(QDir(tmp.path()).mkdir("locked"));
    ASSERT_EQ(::chmod(QFile::encodeName(at("locked")).constData(), 0), 0);
    const ListStatus locked = qd::ListFolder(at("locked")).status;
    if (::geteuid() != 0) {
        EXPECT_EQ(locked, ListStatus::Denied);
    } else {
        EXPECT_EQ(locked, ListStatus::Ok) << "root reads any folder";
    }
    ::chmod(QFile::encodeName(at("locked")).constData(), 0755);
}

TEST_F(ListingTest, AttributesFollowTheKindOwnerWriteBitAndLeadingDot)
{
    write("plain.txt", "12345");
    write(".hidden");
    write("ro.txt");
    ASSERT_EQ(::chmod(QFile::encodeName(at("ro.txt")).constData(), 0444), 0);
    ASSERT_TRUE(QDir(tmp.path()).mkdir("folder"));
    ASSERT_TRUE(QDir(tmp.path()).mkdir(".config"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe")).constData(), 0644), 0);

    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.status, ListStatus::Ok);
    ASSERT_EQ(l.entries.size(), 6u);
    ASSERT_EQ(l.nativeNames.size(), 6u);

    const DirEntry* plain = find(l, "plain.txt");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->attr, qd::kAttrArchive);
    EXPECT_EQ(plain->size, 5u);
    EXPECT_EQ(find(l, ".hidden")->attr, qd::kAttrArchive | qd::kAttrHidden);
    EXPECT_EQ(find(l, "ro.txt")->attr, qd::kAttrArchive | qd::kAttrReadOnly);
    EXPECT_EQ(find(l, "folder")->attr, qd::kAttrDirectory);
    EXPECT_EQ(find(l, "folder")->size, 0u);
    EXPECT_EQ(find(l, ".config")->attr, qd::kAttrDirectory | qd::kAttrHidden);
    EXPECT_EQ(find(l, "pipe")->attr, 0u) << "neither a folder nor a regular file";
}

TEST_F(ListingTest, TimesAreTheFilesOwnInUtc)
{
    // Nine hours east of UTC, so that a listing that shifts to local time shows.
    const qd::test::ScopedTimeZone japan("JST-9");
    write("dated");
    // 2001-02-03 04:05:06.5 UTC for the last write, 1999-12-31 23:59:58 for the last access.
    const timeval times[2] = {{946684798, 0}, {981173106, 500000}};
    ASSERT_EQ(::utimes(QFile::encodeName(at("dated")).constData(), times), 0);
    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.entries.size(), 1u);
    // 100 ns ticks since 1601-01-01 UTC, 11644473600 seconds before 1970.
    EXPECT_EQ(l.entries[0].lastWriteTime, 126256467065000000);
    EXPECT_EQ(l.entries[0].lastAccessTime, 125911583980000000);

    struct statx st;
    ASSERT_EQ(::statx(AT_FDCWD, QFile::encodeName(at("dated")).constData(), 0, STATX_BTIME, &st), 0);
    if (st.stx_mask & STATX_BTIME)
        EXPECT_EQ(l.entries[0].creationTime,
                  (11644473600 + std::int64_t(st.stx_btime.tv_sec)) * 10'000'000 + st.stx_btime.tv_nsec / 100);
    else
        EXPECT_EQ(l.entries[0].creationTime, 0);
}

TEST_F(ListingTest, EntriesOfAFolderWithoutSearchPermissionKeepTheirNames)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root";
    ASSERT_TRUE(QDir(tmp.path()).mkpath("noexec/sub"));
    write("noexec/file", "12345");
    const QByteArray path = QFile::encodeName(at("noexec"));
    ASSERT_EQ(::chmod(path.constData(), 0444), 0);
    const qd::FolderListing l = qd::ListFolder(at("noexec"));
    ::chmod(path.constData(), 0755);
    ASSERT_EQ(l.status, ListStatus::Ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(find(l, "sub")->attr, qd::kAttrDirectory);
    EXPECT_EQ(find(l, "file")->attr, qd::kAttrArchive);
    EXPECT_EQ(find(l, "file")->size, 0u);
    EXPECT_EQ(find(l, "file")->lastWriteTime, 0);
    EXPECT_EQ(find(l, "file")->lastAccessTime, 0);
    EXPECT_EQ(find(l, "file")->creationTime, 0);
}

TEST_F(ListingTest, SymbolicLinkToAFolderIsAnEntryNotAFolder)
{
    ASSERT_TRUE(QDir(tmp.path()).mkpath("real/inside"));
    ASSERT_TRUE(QFile::link(at("real"), at("link")));
    ASSERT_TRUE(QFile::link(at("nowhere"), at("dangling")));

    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.status, ListStatus::Ok);
    ASSERT_EQ(l.entries.size(), 3u);
    const DirEntry* link = find(l, "link");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->attr & qd::kAttrDirectory, 0u);
    EXPECT_EQ(link->attr & qd::kAttrArchive, 0u);
    EXPECT_EQ(link->size, 0u);
    const DirEntry* dangling = find(l, "dangling");
    ASSERT_TRUE(dangling) << "a broken link is still an entry";
    EXPECT_EQ(dangling->attr, 0u);
    EXPECT_EQ(find(l, "real")->attr, qd::kAttrDirectory);
}

TEST_F(ListingTest, SizeKeepsTheLow32BitsOfASparseFile)
{
    const int fd = ::open(QFile::encodeName(at("big.iso")).constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 100), 0);
    ::close(fd);
    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].size, 100u);
}

TEST_F(ListingTest, NamesAreCodePage932AndUnfitCharactersCounted)
{
    write(QString::fromUtf8("日本語.txt"));
    write(QString::fromUtf8("café ☃.txt"));
    write("ascii~\\name");

    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_TRUE(find(l, "\x93\xfa\x96\x7b\x8c\xea.txt")) << "kanji in code page 932";
    EXPECT_TRUE(find(l, "caf? ?.txt"));
    EXPECT_TRUE(find(l, "ascii~\\name"));
    EXPECT_EQ(l.counts.substituted, 1u) << "one name changed, whatever the number of characters";
    EXPECT_EQ(l.counts.cut, 0u);

    // The real name stays available for building paths.
    const auto at = std::size_t(find(l, "caf? ?.txt") - l.entries.data());
    EXPECT_EQ(QString::fromStdString(l.nativeNames[at]), QString::fromUtf8("café ☃.txt"));
}

TEST(EntryNameTest, LongNamesAreCutOnACharacterBoundaryAndCounted)
{
    // No Linux file system gives names over 255 bytes, so the rule is
    // checked on the conversion itself.
    qd::NameCounts counts;
    const std::string ascii(300, 'a');
    EXPECT_EQ(qd::EntryName(ascii, counts), std::string(255, 'a'));
    EXPECT_EQ(counts.cut, 1u);

    // "ab" then 200 kanji: 402 bytes in code page 932; the 128th pair would
    // straddle the limit, so 2 + 2 * 126 = 254 bytes are kept.
    std::string kanji = "ab";
    for (int i = 0; i < 200; ++i)
        kanji += "\xe6\x97\xa5"; // 日
    const std::string cut = qd::EntryName(kanji, counts);
    EXPECT_EQ(cut.size(), 254u);
    EXPECT_EQ(cut.substr(0, 4), "ab\x93\xfa");
    EXPECT_EQ(cut.substr(252), "\x93\xfa");
    EXPECT_EQ(counts.cut, 2u);
    EXPECT_EQ(counts.substituted, 0u);

    EXPECT_EQ(qd::EntryName(std::string(255, 'z'), counts).size(), 255u);
    EXPECT_EQ(counts.cut, 2u) << "exactly 255 bytes is kept whole";
    EXPECT_EQ(qd::EntryName("\xff\xfe", counts), "??") << "bytes that are not UTF-8";
    EXPECT_EQ(counts.substituted, 1u);
}

TEST_F(ListingTest, ReaderGivesTheNativeNameAlongsideEachEntry)
{
    write(QString::fromUtf8("Ω"));
    qd::FolderReader reader(QFile::encodeName(tmp.path()).toStdString());
    ASSERT_EQ(reader.status(), ListStatus::Ok);
    DirEntry e;
    ASSERT_TRUE(reader.next(e));
    EXPECT_EQ(e.name, "\x83\xb6") << "Greek capital omega exists in code page 932";
    EXPECT_EQ(std::string(reader.nativeName()), "\xce\xa9");
    EXPECT_FALSE(reader.next(e));
    EXPECT_FALSE(reader.next(e)) << "stays at the end";
    EXPECT_EQ(reader.status(), ListStatus::Ok);
}

} // namespace

// The mark a walk stops at. Mounting needs privileges (the qdcat scan tests
// mount in a namespace of their own); every Linux system has /proc mounted
// below "/", which is enough to see the mark without mounting anything.
TEST_F(ListingTest, AFolderOnAnotherFileSystemIsMarked)
{
    struct stat root, proc;
    if (::stat("/", &root) != 0 || ::stat("/proc", &proc) != 0 || root.st_dev == proc.st_dev)
        GTEST_SKIP() << "/proc is not a file system of its own here";
    qd::FolderReader reader("/");
    DirEntry e;
    bool sawProc = false;
    while (reader.next(e)) {
        if (reader.nativeName() == "proc") {
            sawProc = true;
            EXPECT_TRUE(reader.onOtherFileSystem());
        } else if (!(e.attr & qd::kAttrDirectory)) {
            EXPECT_FALSE(reader.onOtherFileSystem()) << "only folders are marked: " << e.name;
        }
    }
    EXPECT_TRUE(sawProc);
    EXPECT_FALSE(reader.onOtherFileSystem()) << "cleared at the end";

    ASSERT_TRUE(QDir(tmp.path()).mkdir("sub"));
    write("file");
    const qd::FolderListing l = qd::ListFolder(tmp.path());
    ASSERT_EQ(l.otherFileSystem.size(), 2u);
    EXPECT_EQ(l.otherFileSystem, std::vector<bool>({false, false}));
}
