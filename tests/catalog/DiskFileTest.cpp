#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"

using namespace qd;
using namespace qd::test;
namespace fs = std::filesystem;

namespace {

const std::string kImage = smallBmp(24, 0x40);
const std::string kMask = smallBmp(1, 0xF0);

// The head of a catalog written field by field from the layout table.
Bytes head(std::uint8_t dataType = 1)
{
    Bytes b;
    b.raw("qd410").str16(kImage).str16(kMask).put<std::uint8_t>(dataType);
    return b;
}

// A catalog made by hand: Japanese names, a 255-byte name, a size above 2^31,
// non-zero reserved fields, two-line comments.
std::string handMadeCatalog()
{
    Bytes b = head();
    b.put<std::uint32_t>(0xCAFEF00D).str16("\x83\x66\x83\x42\x83\x58\x83\x4e"); // ディスク
    b.put<std::int64_t>(650LL << 20).put<std::int64_t>(1234567);
    b.str32("line one\r\nline two").put<std::uint8_t>(7).put<std::int32_t>(3);
    // root
    b.str8("Q:").str32("").put<std::int32_t>(-1).put<std::uint8_t>(0).put<double>(0).put<double>(46000.5);
    b.put<std::int32_t>(2);
    b.str8("\x8e\xca\x90\x5e.jpg").str32("first\r\nsecond").put<std::uint8_t>(0x21);
    b.put<double>(36526.5).put<double>(36527.25).put<double>(36528).put<std::uint32_t>(3000000000u).put<std::uint32_t>(0xDEADBEEF);
    b.str8(std::string(255, 'n')).str32("").put<std::uint8_t>(0x20);
    b.put<double>(0).put<double>(0).put<double>(0).put<std::uint32_t>(0).put<std::uint32_t>(0);
    // two sub-folders of the root, the second with a 255-byte name
    b.str8("\x95\x5c").str32("folder comment").put<std::int32_t>(0).put<std::uint8_t>(0x10).put<double>(37000.5).put<double>(46000.5);
    b.put<std::int32_t>(0);
    b.str8(std::string(255, 'd')).str32("").put<std::int32_t>(0).put<std::uint8_t>(0x12).put<double>(0).put<double>(46000.5);
    b.put<std::int32_t>(0);
    return b.data;
}

TDisk loaded(const std::string& data)
{
    TDisk disk;
    EXPECT_TRUE(ParseDiskData(data, disk).ok());
    return disk;
}

} // namespace

TEST(DiskFile, WrittenAndReadBackGivesEqualRecords)
{
    TempDir dir;
    TDisk disk = sampleDisk();
    disk.DirList[1].FileList[0].IconIndex = 12; // never stored
    disk.Reserved = 9;
    SaveDiskData(dir / "Sample", disk);

    TDisk back;
    ASSERT_TRUE(LoadDiskData(dir / "Sample.qd", back).ok());
    disk.DirList[1].FileList[0].IconIndex = -1;
    for (TDir& d : disk.DirList)
        d.CountFile = std::int32_t(d.FileList.size());
    disk.CountFolder = std::int32_t(disk.DirList.size());
    EXPECT_EQ(back, disk);
    for (const TDir& d : back.DirList)
        for (const TFile& f : d.FileList)
            EXPECT_EQ(f.IconIndex, -1);
}

TEST(DiskFile, HandMadeCatalogLoadsAndSavesBackByteIdentical)
{
    const std::string data = handMadeCatalog();
    const TDisk disk = loaded(data);
    ASSERT_EQ(disk.DirList.size(), 3u);
    EXPECT_EQ(disk.SerialNo, 0xCAFEF00Du);
    EXPECT_EQ(disk.TotalSize, 650LL << 20);
    EXPECT_EQ(disk.FreeSize, 1234567);
    EXPECT_EQ(disk.Reserved, 7);
    EXPECT_EQ(disk.Comment, "line one\r\nline two");
    const TFile& big = disk.DirList[0].FileList[0];
    EXPECT_EQ(big.Size, 3000000000u);
    EXPECT_EQ(big.Reserved, 0xDEADBEEFu);
    EXPECT_EQ(big.Comment, "first\r\nsecond");
    EXPECT_EQ(disk.DirList[0].FileList[1].Name.size(), 255u);
    EXPECT_EQ(disk.DirList[2].Name.size(), 255u);
    EXPECT_EQ(GetDirPath(1, disk), "Q:\\\x95\x5c");
    EXPECT_EQ(BuildDiskData(disk), data);

    TempDir dir;
    writeFile(dir / "hand.qd", data);
    TDisk fromFile;
    ASSERT_TRUE(LoadDiskData(dir / "hand.qd", fromFile).ok());
    SaveDiskData(dir / "copy", fromFile);
    EXPECT_EQ(readFile(dir / "copy.qd"), data);
}

TEST(DiskFile, RootOnlyDiskHasTheDocumentedLayout)
{
    TDisk disk;
    disk.IconImage = kImage;
    disk.IconMask = kMask;
    TDir& root = disk.DirList.emplace_back();
    root.Name = "D:";
    root.Parent = -1;
    root.ScanDate = 1.5;
    const std::string data = BuildDiskData(disk);
    const std::size_t headSize = 41 + kImage.size() + kMask.size();
    ASSERT_EQ(data.size(), headSize + 32);
    Bytes expected;
    expected.raw("\x02" "D:").put<std::int32_t>(0).put<std::int32_t>(-1).put<std::uint8_t>(0).put<double>(0).put<double>(1.5).put<std::int32_t>(0);
    EXPECT_EQ(data.substr(headSize), expected.data);
    // The empty comment is a zero length and no bytes.
    EXPECT_EQ(data.substr(headSize - 4 - 1 - 4, 4), std::string(4, '\0'));
}

TEST(DiskFile, TotalSizeIsReadBeforeFreeSize)
{
    Bytes b = head();
    b.put<std::uint32_t>(1).str16("").put<std::int64_t>(111).put<std::int64_t>(222).str32("").put<std::uint8_t>(0).put<std::int32_t>(0);
    TDisk disk = loaded(b.data);
    EXPECT_EQ(disk.TotalSize, 111);
    EXPECT_EQ(disk.FreeSize, 222);
}

TEST(DiskFile, MissingFileIs5101AndLeavesTheDiskUntouched)
{
    TempDir dir;
    TDisk disk = sampleDisk();
    const LoadResult r = LoadDiskData(dir / "nothing.qd", disk);
    EXPECT_EQ(r.status, LoadStatus::Missing);
    EXPECT_EQ(r.message, " 指定のファイルは存在しません。(5101)\r\n" + (dir / "nothing.qd").string());
    EXPECT_EQ(disk, sampleDisk());
}

TEST(DiskFile, AnyDifferenceInTheMagicIs5104)
{
    const std::string good = BuildDiskData(sampleDisk());
    for (std::size_t i = 0; i < 5; ++i) {
        for (char replacement : {char(good[i] ^ 0x20), '\0'}) {
            std::string bad = good;
            bad[i] = replacement; // ^0x20 flips the case of the letters
            TDisk disk = sampleDisk();
            disk.CountFolder = 4;
            const LoadResult r = ParseDiskData(bad, disk);
            EXPECT_EQ(r.status, LoadStatus::WrongVersion) << i;
            EXPECT_EQ(r.message, "バージョン違いのファイルが指定されています。(5104)");
            EXPECT_TRUE(disk.DirList.empty());
            EXPECT_EQ(disk.CountFolder, 0);
            EXPECT_EQ(disk.VolumeLabel, "SAMPLE");
            EXPECT_EQ(disk.IconImage, sampleDisk().IconImage);
        }
    }
}

TEST(DiskFile, OtherDataTypeIs5105AfterTheIconsWereReplaced)
{
    for (std::uint8_t type : {0, 2}) {
        Bytes b = head(type);
        b.put<std::uint32_t>(5); // what follows is never read
        TDisk disk = sampleDisk();
        const LoadResult r = ParseDiskData(b.data, disk);
        EXPECT_EQ(r.status, LoadStatus::WrongDataType);
        EXPECT_EQ(r.message, "データタイプの指定エラーです。(5105)");
        EXPECT_EQ(disk.IconImage, kImage);
        EXPECT_EQ(disk.IconMask, kMask);
        EXPECT_TRUE(disk.DirList.empty());
        EXPECT_EQ(disk.SerialNo, 0x1234ABCDu);
    }
}

TEST(DiskFile, EveryTruncationFailsCleanly)
{
    const std::string data = handMadeCatalog();
    for (std::size_t n = 0; n < data.size(); ++n) {
        TDisk disk = sampleDisk();
        try {
            const LoadResult r = ParseDiskData(std::string_view(data).substr(0, n), disk);
            EXPECT_EQ(r.status, LoadStatus::WrongVersion) << "length " << n; // only a cut magic gets here
            EXPECT_LT(n, 5u);
        } catch (const CatalogError& e) {
            EXPECT_NE(std::string(e.what()).find("offset"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(disk.DirList.empty()) << "length " << n;
        EXPECT_EQ(disk.CountFolder, 0);
    }
}

TEST(DiskFile, CountsAndLengthsThatDoNotFitAreDamageNamingTheOffset)
{
    const std::string good = handMadeCatalog();
    TDisk ok = loaded(good);
    const std::size_t folderCountAt = 41 + kImage.size() + kMask.size() + 8 + 18 - 4;
    auto patched = [&](std::size_t at, std::int32_t v) {
        std::string s = good;
        std::memcpy(s.data() + at, &v, 4);
        return s;
    };
    for (std::int32_t count : {-1, 4, 0x7FFFFFFF}) {
        TDisk disk;
        try {
            ParseDiskData(patched(folderCountAt, count), disk);
            ADD_FAILURE() << "count " << count << " accepted";
        } catch (const CatalogError& e) {
            if (count != 4) // 4 is plausible by size and fails later, at the end of the data
                EXPECT_NE(std::string(e.what()).find("offset " + std::to_string(folderCountAt)), std::string::npos) << e.what();
        }
        EXPECT_TRUE(disk.DirList.empty());
    }
    // A negative comment length.
    const std::size_t commentAt = folderCountAt - 1 - 18 - 4;
    TDisk disk;
    EXPECT_THROW(ParseDiskData(patched(commentAt, -5), disk), CatalogError);
}

TEST(DiskFile, AParentNotBelowItsOwnIndexIsDamage)
{
    TDisk disk = sampleDisk();
    disk.DirList[3].Parent = 3;
    const std::string selfParent = BuildDiskData(disk);
    TDisk back;
    EXPECT_THROW(ParseDiskData(selfParent, back), CatalogError);
    EXPECT_TRUE(back.DirList.empty());
    disk.DirList[3].Parent = 1;
    disk.DirList[0].Parent = 0; // the root must have -1
    EXPECT_THROW(ParseDiskData(BuildDiskData(disk), back), CatalogError);
}

TEST(DiskFile, IconsMustBeValidBmpImagesOrEmpty)
{
    TDisk disk = sampleDisk();
    disk.IconImage = "BM not really";
    TDisk back;
    EXPECT_THROW(ParseDiskData(BuildDiskData(disk), back), CatalogError);
    std::string cut = smallBmp(24, 0);
    cut.resize(cut.size() - 1); // pixel rows one byte short
    disk.IconImage = cut;
    EXPECT_THROW(ParseDiskData(BuildDiskData(disk), back), CatalogError);
    disk.IconImage.clear(); // length 0: a disk without an icon
    disk.IconMask.clear();
    EXPECT_TRUE(ParseDiskData(BuildDiskData(disk), back).ok());
    EXPECT_TRUE(back.IconImage.empty());
}

TEST(DiskFile, WriterRefusesWhatTheFormatCannotHoldAndWritesNothing)
{
    TempDir dir;
    SaveDiskData(dir / "Keep", sampleDisk());
    const std::string before = readFile(dir / "Keep.qd");

    TDisk longName = sampleDisk();
    longName.DirList[2].FileList.push_back(sampleFile(std::string(256, 'x'), 1));
    try {
        SaveDiskData(dir / "Keep", longName);
        ADD_FAILURE() << "a 256-byte name was written";
    } catch (const CatalogError& e) {
        EXPECT_NE(std::string(e.what()).find("D:\\DOCS"), std::string::npos) << e.what();
    }
    TDisk longLabel = sampleDisk();
    longLabel.VolumeLabel = std::string(65536, 'L');
    EXPECT_THROW(SaveDiskData(dir / "Keep", longLabel), CatalogError);
    longLabel.VolumeLabel.resize(65535);
    EXPECT_NO_THROW(BuildDiskData(longLabel));

    EXPECT_EQ(readFile(dir / "Keep.qd"), before);
    EXPECT_FALSE(fs::exists(dir / "New.qd"));
    std::size_t files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u); // no temporary file left behind
}

TEST(DiskFile, SaveReplacesTheTargetWholeAndFailsCleanlyInAMissingFolder)
{
    TempDir dir;
    SaveDiskData(dir / "Disk", sampleDisk());
    TDisk changed = sampleDisk();
    changed.Comment = "changed";
    SaveDiskData(dir / "Disk", changed);
    TDisk back;
    ASSERT_TRUE(LoadDiskData(dir / "Disk.qd", back).ok());
    EXPECT_EQ(back.Comment, "changed");
    EXPECT_THROW(SaveDiskData(dir / "no" / "Disk", sampleDisk()), CatalogError);
}

TEST(CatalogHead, ReadsTheIconsAndDataTypeOnly)
{
    TempDir dir;
    writeFile(dir / "a.qd", head(2).data); // nothing after the head at all
    auto h = ReadCatalogHead(dir / "a.qd");
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->image, kImage);
    EXPECT_EQ(h->mask, kMask);
    EXPECT_EQ(h->dataType, 2);

    writeFile(dir / "b.qd", "qd411" + head().data.substr(5));
    EXPECT_FALSE(ReadCatalogHead(dir / "b.qd").has_value());
    writeFile(dir / "c.qd", "qd4");
    EXPECT_FALSE(ReadCatalogHead(dir / "c.qd").has_value());
    writeFile(dir / "d.qd", head().data.substr(0, 100));
    EXPECT_THROW(ReadCatalogHead(dir / "d.qd"), CatalogError);
    EXPECT_THROW(ReadCatalogHead(dir / "missing.qd"), CatalogError);
}

// The tree keeps the serial number for the quick look at a disk put in; a
// file that ends before it is still shown as the head alone would have it.
TEST(CatalogHead, TakesTheSerialNumberWhenTheFileGoesOnThatFar)
{
    TempDir dir;
    writeFile(dir / "head.qd", head(1).data);
    const auto bare = ReadCatalogHead(dir / "head.qd");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->serialNo, std::nullopt);
    TDisk disk = sampleDisk();
    disk.SerialNo = 0xC0FFEE01;
    SaveDiskData(dir / "whole", disk);
    EXPECT_EQ(ReadCatalogHead(dir / "whole.qd")->serialNo, 0xC0FFEE01u);
}

TEST(CatalogHead, AFileEndingAnywhereInsideTheHeadIsDamage)
{
    // Every cut after the magic, down to the one right before the data type
    // byte, throws and names where the head ends.
    TempDir dir;
    const std::string full = head().data;
    const std::size_t lengths[] = {5, 6, 7, 7 + kImage.size() - 1, 7 + kImage.size(), 8 + kImage.size(),
                                   full.size() - 2, full.size() - 1};
    for (std::size_t n : lengths) {
        writeFile(dir / "cut.qd", full.substr(0, n));
        try {
            ReadCatalogHead(dir / "cut.qd");
            ADD_FAILURE() << "a head of " << n << " bytes accepted";
        } catch (const CatalogError& e) {
            EXPECT_NE(std::string(e.what()).find("offset"), std::string::npos) << e.what();
        }
    }
}

TEST(CatalogHead, ExtensionTestIgnoresCase)
{
    EXPECT_TRUE(HasCatalogExtension("A.QD"));
    EXPECT_TRUE(HasCatalogExtension("disk.qd"));
    EXPECT_TRUE(HasCatalogExtension("x.Qd"));
    EXPECT_FALSE(HasCatalogExtension("disk.qdx"));
    EXPECT_FALSE(HasCatalogExtension("diskqd"));
    EXPECT_FALSE(HasCatalogExtension("qd"));
}

TEST(CatalogHead, SerialIsReadFromTheHeadAloneAndOtherHeadsSayWhatTheLoaderWould)
{
    TempDir dir;
    // The serial number and nothing after it: the rest of the file is not read.
    writeFile(dir / "a.qd", head().put<std::uint32_t>(0xCAFEF00D).data);
    CatalogSerial s = ReadCatalogSerial(dir / "a.qd");
    EXPECT_TRUE(s.load.ok());
    EXPECT_EQ(s.dataType, 1);
    EXPECT_EQ(s.serialNo, 0xCAFEF00Du);

    // Each head the loader rejects gives the loader's own outcome and message.
    const struct {
        const char* name;
        std::string bytes; // empty: no file at all
        LoadStatus status;
        std::uint8_t dataType;
    } cases[] = {
        {"missing.qd", "", LoadStatus::Missing, 0},
        {"magic.qd", "QD410" + head().put<std::uint32_t>(1).data.substr(5), LoadStatus::WrongVersion, 0},
        {"type0.qd", head(0).put<std::uint32_t>(1).data, LoadStatus::WrongDataType, 0},
        {"type2.qd", head(2).data, LoadStatus::WrongDataType, 2},
        {"type9.qd", head(9).data, LoadStatus::WrongDataType, 9},
    };
    for (const auto& c : cases) {
        if (!c.bytes.empty())
            writeFile(dir / c.name, c.bytes);
        TDisk loaded;
        const LoadResult byLoader = LoadDiskData(dir / c.name, loaded);
        s = ReadCatalogSerial(dir / c.name);
        EXPECT_EQ(s.load.status, c.status) << c.name;
        EXPECT_EQ(s.load.message, byLoader.message) << c.name;
        EXPECT_EQ(s.dataType, c.dataType) << c.name;
    }

    // Data type 1 cut inside the serial number is damage, as the loader finds it.
    writeFile(dir / "cut.qd", head().data + "\x01\x02");
    EXPECT_THROW(ReadCatalogSerial(dir / "cut.qd"), CatalogError);
    writeFile(dir / "short.qd", head().data.substr(0, 100));
    EXPECT_THROW(ReadCatalogSerial(dir / "short.qd"), CatalogError);
}

TEST(DiskFile, CopiesOfALoadedDiskOwnTheirLongNames)
{
    TDisk source = sampleDisk();
    const std::string longName(200, 'L');
    source.DirList[2].FileList.push_back(sampleFile(longName, 5));
    source.DirList[2].Comment = std::string(100, 'c');
    const std::string data = BuildDiskData(source);

    TDisk copy;
    TFile single;
    std::optional<TDir> folder;
    {
        TDisk loadedDisk = loaded(data);
        copy = loadedDisk;
        single = loadedDisk.DirList[2].FileList.back();
        folder = loadedDisk.DirList[2]; // its file list too lives in the disk's arena
        ParseDiskData(BuildDiskData(sampleDisk()), loadedDisk); // reload frees the old long names
    }
    EXPECT_EQ(copy.DirList[2].FileList.back().Name, longName);
    EXPECT_EQ(copy.DirList[2].Comment, std::string(100, 'c'));
    EXPECT_EQ(single.Name, longName);
    EXPECT_EQ(BuildDiskData(copy), data);
    EXPECT_EQ(folder->FileList, source.DirList[2].FileList);
    EXPECT_EQ(folder->FileList.get_allocator().arena(), nullptr) << "a copy's files are its own";

    TDisk moved = loaded(data); // a moved disk keeps its arena with its records
    TDisk target = std::move(moved);
    EXPECT_EQ(target.DirList[2].FileList.back().Name, longName);
}

TEST(DiskFile, BytesAfterTheLastRecordAreIgnored)
{
    const std::string data = BuildDiskData(sampleDisk());
    TDisk disk;
    ASSERT_TRUE(ParseDiskData(data + "trailing garbage", disk).ok());
    EXPECT_EQ(BuildDiskData(disk), data);
}

TEST(DiskFile, ALoadIntoAUsedDiskLeavesNothingOfTheLastOne)
{
    TDisk big = sampleDisk();
    for (TDir& d : big.DirList)
        for (int i = 0; i < 5; ++i)
            d.FileList.push_back(sampleFile(std::string(20 + i, char('a' + i)), 9));
    big.DirList[1].FileList[0].Comment = "a comment long enough to live outside the record";
    TDisk small;
    small.IconImage = smallBmp(24, 1);
    small.IconMask = smallBmp(1, 0);
    TDir& root = small.DirList.emplace_back();
    root.Name = "E:";
    root.Parent = -1;
    root.FileList.push_back(sampleFile("only.txt", 1));

    TDisk disk;
    ASSERT_TRUE(ParseDiskData(BuildDiskData(big), disk).ok());
    disk.DirList[0].FileList[0].IconIndex = 7; // looked up while shown
    disk.DirList[0].FileList[0].Found = 1;
    disk.DirList[0].Found = 1;
    ASSERT_TRUE(ParseDiskData(BuildDiskData(small), disk).ok());
    ASSERT_EQ(disk.DirList.size(), 1u);
    ASSERT_EQ(disk.DirList[0].FileList.size(), 1u);
    EXPECT_EQ(disk.DirList[0].FileList[0], sampleFile("only.txt", 1));
    EXPECT_EQ(disk.DirList[0].Found, 0);
    EXPECT_EQ(BuildDiskData(disk), BuildDiskData(small));

    ASSERT_TRUE(ParseDiskData(BuildDiskData(big), disk).ok()); // and back to the larger one
    EXPECT_EQ(BuildDiskData(disk), BuildDiskData(big));
}

// A disk that loads catalog after catalog of other shapes (the search's,
// the identification's) reuses its records where they fit and leaves the
// memory of lists that had to grow unused: it must start afresh often
// enough that its memory follows the largest catalog, not the number loaded.
TEST(DiskFile, ReloadsOfOtherShapesKeepTheMemoryOfTheLargest)
{
    const auto shaped = [](int folders, int files) {
        TDisk d;
        for (int i = 0; i < folders; ++i) {
            TDir& dir = d.DirList.emplace_back();
            dir.Name = i == 0 ? std::string("D:") : "F" + std::to_string(i);
            dir.Parent = i == 0 ? -1 : 0;
            for (int k = 0; k < files; ++k)
                dir.FileList.push_back(sampleFile("n" + std::to_string(k), 1));
        }
        return BuildDiskData(d);
    };
    const std::string many = shaped(100, 5), few = shaped(3, 1000), other = shaped(40, 40);
    std::size_t largest = 0;
    for (const std::string* data : {&many, &few, &other}) {
        TDisk fresh = loaded(*data);
        largest = std::max(largest, fresh.Records.get().handedOut());
    }
    TDisk disk;
    std::size_t most = 0;
    for (int round = 0; round < 50; ++round) {
        for (const std::string* data : {&many, &few, &other}) {
            ASSERT_TRUE(ParseDiskData(*data, disk).ok());
            ASSERT_EQ(BuildDiskData(disk), *data);
            most = std::max(most, disk.Records.get().handedOut());
        }
    }
    EXPECT_LE(most, 4 * largest);
}

// --- saving without risking a catalog ------------------------------------------------

namespace {

std::string commentOf(const fs::path& file)
{
    TDisk d;
    EXPECT_TRUE(LoadDiskData(file, d).ok());
    return d.Comment;
}

TDisk withComment(const char* comment)
{
    TDisk d = sampleDisk();
    d.Comment = comment;
    return d;
}

CatalogError::Code saveError(const fs::path& file, SaveMode mode)
{
    try {
        SaveDiskFile(file, withComment("new"), mode);
    } catch (const CatalogError& e) {
        return e.code();
    }
    ADD_FAILURE() << "the save did not fail";
    return CatalogError::Code::Open;
}

std::size_t entries(const fs::path& dir)
{
    return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

} // namespace

TEST(DiskFileSave, EachModeRefusesWhatItMustNotDoAndTouchesNothing)
{
    TempDir dir;
    SaveDiskFile(dir / "Here.qd", withComment("old"), SaveMode::CreateNew);
    // A save that must not replace meets a catalog; one that must not create meets none.
    EXPECT_EQ(saveError(dir / "Here.qd", SaveMode::CreateNew), CatalogError::Code::Exists);
    EXPECT_EQ(commentOf(dir / "Here.qd"), "old");
    EXPECT_EQ(saveError(dir / "Gone.qd", SaveMode::ReplaceExisting), CatalogError::Code::Vanished);
    EXPECT_FALSE(fs::exists(dir / "Gone.qd"));
    fs::create_symlink(dir / "nowhere.qd", dir / "Dangling.qd");
    EXPECT_EQ(saveError(dir / "Dangling.qd", SaveMode::CreateNew), CatalogError::Code::Exists);
    EXPECT_EQ(saveError(dir / "Dangling.qd", SaveMode::ReplaceExisting), CatalogError::Code::Vanished);
    EXPECT_FALSE(fs::exists(dir / "nowhere.qd"));

    SaveDiskFile(dir / "Here.qd", withComment("replaced"), SaveMode::ReplaceExisting);
    EXPECT_EQ(commentOf(dir / "Here.qd"), "replaced");
    EXPECT_EQ(entries(dir.path()), 2u) << "no temporary file is left behind";
}

TEST(DiskFileSave, ACatalogThatIsALinkIsWrittenThroughToItsTarget)
{
    TempDir dir;
    fs::create_directory(dir / "real");
    SaveDiskFile(dir / "real" / "Disk.qd", withComment("old"));
    fs::create_symlink(dir / "real" / "Disk.qd", dir / "Link.qd");
    SaveDiskFile(dir / "Link.qd", withComment("through"), SaveMode::ReplaceExisting);
    EXPECT_TRUE(fs::is_symlink(dir / "Link.qd"));
    EXPECT_EQ(commentOf(dir / "real" / "Disk.qd"), "through");
}

TEST(DiskFileSave, AReadOnlyCatalogIsRefusedAndAReplacedOneKeepsModeAndOwner)
{
    TempDir dir;
    const fs::path locked = dir / "Locked.qd";
    SaveDiskFile(locked, withComment("old"));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(saveError(locked, SaveMode::ReplaceExisting), CatalogError::Code::ReadOnly);
    EXPECT_EQ(saveError(locked, SaveMode::CreateOrReplace), CatalogError::Code::ReadOnly);
    EXPECT_EQ(commentOf(locked), "old");

    const fs::path kept = dir / "Private.qd";
    SaveDiskFile(kept, withComment("old"));
    // Neither the temporary file's own 0600 nor a new catalog's usual mode.
    ::chmod(kept.c_str(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) { // only root may give a file away; the save must not take it back
        ASSERT_EQ(::chown(kept.c_str(), 65534, 65534), 0);
    }
    SaveDiskFile(kept, withComment("new"), SaveMode::ReplaceExisting);
    struct stat st {};
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

TEST(DiskFileSave, TitlesAtTheNameLimitSaveAndTemporaryNamesAreHiddenAndRecognised)
{
    TempDir dir;
    // 252 bytes of title and ".qd" fill a 255-byte name: no room for a suffix.
    const fs::path longest = dir / (std::string(252, 't') + ".qd");
    SaveDiskFile(longest, withComment("long"), SaveMode::CreateNew);
    EXPECT_EQ(commentOf(longest), "long");

    const struct {
        const char* name;
        bool leftover;
    } cases[] = {{".qdtmp.a1B2c3", true}, {".qdtmp.abcde", false}, {".qdtmp.abcdefg", false},
                 {"qdtmp.abcdef", false}, {"A.qd.XyZ123", false},   {".qdtmp.ABCDEF", true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsSaveLeftover(c.name), c.leftover) << c.name;
}

TEST(DiskFileLoad, AFileThatExistsButCannotBeOpenedIsNot5101AndEmptiesTheDisk)
{
    TempDir dir;
    SaveDiskData(dir / "Good", sampleDisk());
    fs::create_symlink(dir / "Loop.qd", dir / "Loop.qd"); // exists, but every open fails
    TDisk disk;
    ASSERT_TRUE(LoadDiskData(dir / "Good.qd", disk).ok());
    try {
        LoadDiskData(dir / "Loop.qd", disk);
        ADD_FAILURE() << "a file that cannot be opened loaded";
    } catch (const CatalogError& e) {
        EXPECT_EQ(e.code(), CatalogError::Code::Open);
        EXPECT_EQ(e.systemError(), ELOOP);
    }
    EXPECT_TRUE(disk.DirList.empty()) << "nothing of the last catalog stays";
}

// A FIFO under a catalog's name would block a plain open until a writer comes.
TEST(DiskFileLoad, AFifoIsRefusedAtOnceByTheLoaderAndTheHeadReader)
{
    TempDir dir;
    const fs::path fifo = dir / "pipe.qd";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto refusedWithin = [](std::function<void()> read) {
        auto done = std::make_shared<std::promise<CatalogError::Code>>();
        std::future<CatalogError::Code> code = done->get_future();
        std::thread([done, read] {
            try {
                read();
                done->set_value(CatalogError::Code::Open);
            } catch (const CatalogError& e) {
                done->set_value(e.code());
            }
        }).detach(); // a blocked open can only be left behind
        return code.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? std::optional(code.get())
                                                                                      : std::nullopt;
    };
    TDisk disk;
    EXPECT_EQ(refusedWithin([&] { LoadDiskData(fifo, disk); }), CatalogError::Code::NotRegular);
    EXPECT_EQ(refusedWithin([&] { ReadCatalogHead(fifo); }), CatalogError::Code::NotRegular);
    EXPECT_EQ(refusedWithin([&] { ReadCatalogSerial(fifo); }), CatalogError::Code::NotRegular);
}
