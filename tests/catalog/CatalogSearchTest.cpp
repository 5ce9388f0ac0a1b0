#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "catalog/CatalogSearch.h"
#include "catalog/Cp932.h"
#include "support/CatalogFixtures.h"

using namespace qd;
using namespace qd::test;

namespace {

std::string sjis(const char* utf8) { return cp932::fromUtf8(utf8).bytes; }

// A disk of named folders (name, parent) each holding the given files.
TDisk diskOf(const std::vector<std::pair<std::string, int>>& folders, const std::vector<std::vector<std::string>>& files)
{
    TDisk disk;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Name = folders[i].first;
        d.Parent = folders[i].second;
        for (const std::string& name : files[i])
            d.FileList.push_back(sampleFile(name, 1));
    }
    return disk;
}

// The hits as "path|name", in order.
std::vector<std::string> found(const CatalogSearchResult& r)
{
    std::vector<std::string> out;
    for (const FileHit& h : r.found.hits)
        out.push_back(r.found.paths[h.path] + "|" + h.name.str());
    return out;
}

CatalogSearchResult searchOf(const TDisk& disk, std::string_view text, const SearchYield& yield = {})
{
    CatalogSearch search;
    return search.searchData(BuildDiskData(disk), text, yield);
}

} // namespace

// --- matching -----------------------------------------------------------------------

TEST(MatchFileName, IsExactCaseSensitiveAndWithoutWildcards)
{
    const struct {
        std::string name, text;
        bool match;
    } cases[] = {
        {"report.doc", "report", true},
        {"myreport.txt", "report", true},
        {"Report.doc", "report", false},
        {"report.doc", "", false},
        {"", "", false},
        {"rep", "report", false},
        {"a*b.txt", "*", true},
        {"abc.txt", "a*c", false},
        {"abc.txt", "a?c", false},
        {"a?c.txt", "a?c", true},
        {sjis("ＡＢＣ.txt"), "ABC", false},           // full width is not half width
        {sjis("ａｂｃ.txt"), sjis("ＡＢＣ"), false},  // nor lower case upper
        {sjis("写真 1.jpg"), sjis("写真"), true},
        {"photo.jpg", ".", true},
        {"README", ".", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchFileName(c.name, c.text), c.match) << c.name << " / " << c.text;
}

TEST(MatchFileName, ARunMustBeginOnACharacterBoundary)
{
    // ア is 83 41: its second byte is "A".
    const std::string a = sjis("ア");
    ASSERT_EQ(a, "\x83\x41");
    const struct {
        std::string name, text;
        bool match;
    } cases[] = {
        {a, "A", false},                  // only the second byte of ア
        {a + "A", "A", true},             // the search goes on to the real A
        {"x" + a + a, "\x41\x83", false}, // second byte of one, first of the next
        {"x" + a + a, a, true},
        {"\xB1" "A", "A", true},          // ｱ is one byte: A stands on a boundary
        {"ab\x83", "\x83", true},         // a lone first byte at the end is a character
        {sjis("表示") + "\\x", "\\", true}, // 表 ends in 5C; the backslash after it counts
        {sjis("表"), "\\", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchFileName(c.name, c.text), c.match) << c.name << " / " << c.text;
}

// --- one catalog --------------------------------------------------------------------

TEST(CatalogSearch, FindsFilesInStoredOrderWithTheirFolderPaths)
{
    // D: -> report (folder), a; a -> b. File order as stored, not sorted.
    const TDisk disk = diskOf({{"D:", -1}, {"report", 0}, {"a", 0}, {"b", 2}},
                              {{"zreport.txt", "Report.doc", "report.doc"}, {"notes.txt"}, {}, {"myreport.txt", "x"}});
    const CatalogSearchResult r = searchOf(disk, "report");
    ASSERT_TRUE(r.load.ok());
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(found(r), (std::vector<std::string>{"D:|zreport.txt", "D:|report.doc", "D:\\a\\b|myreport.txt"}));
    ASSERT_EQ(r.found.hits.size(), 3u);
    EXPECT_EQ(r.found.hits[2].folder, 3);
    // One path per folder that holds hits.
    EXPECT_EQ(r.found.paths, (std::vector<std::string>{"D:", "D:\\a\\b"}));
}

TEST(CatalogSearch, ADotListsEveryNameWithADotAndAnEmptyTextNothing)
{
    const TDisk disk = sampleDisk(); // README.TXT; b.jpg, A.jpg; new year.png
    EXPECT_EQ(found(searchOf(disk, ".")), (std::vector<std::string>{"D:|README.TXT", "D:\\PHOTO|b.jpg", "D:\\PHOTO|A.jpg",
                                                                     "D:\\PHOTO\\2001|new year.png"}));
    const CatalogSearchResult none = searchOf(disk, "");
    EXPECT_TRUE(none.load.ok());
    EXPECT_TRUE(none.found.hits.empty());
}

TEST(CatalogSearch, YieldsAfterTheFilesWhoseIndexHasABitOf3E8)
{
    // 30 files: indexes 8 to 15 and 24 to 29 let events run, 0 to 7 and 16 to 23 not.
    std::vector<std::string> files;
    for (int j = 0; j < 30; ++j)
        files.push_back("f" + std::to_string(j));
    const TDisk disk = diskOf({{"D:", -1}, {"small", 0}}, {files, {"a", "b", "c", "d", "e", "f", "g", "h"}});
    int yields = 0;
    const CatalogSearchResult r = searchOf(disk, "f", [&] {
        ++yields;
        return true;
    });
    EXPECT_EQ(yields, 8 + 6); // none in the folder of eight files
    EXPECT_EQ(r.found.hits.size(), 31u); // f0..f29 and "f" in the small folder
}

TEST(CatalogSearch, StoppingGivesNoHitsOfThatCatalog)
{
    std::vector<std::string> files;
    for (int j = 0; j < 20; ++j)
        files.push_back("hit" + std::to_string(j));
    const TDisk disk = diskOf({{"D:", -1}}, {files});
    int yields = 0;
    const CatalogSearchResult r = searchOf(disk, "hit", [&] { return ++yields < 3; });
    EXPECT_EQ(yields, 3); // it stops at the first refusal
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.found.hits.empty()); // eleven were found before, but the catalog was not read through
}

TEST(CatalogSearch, OtherVersionsDataTypesAndDamageGiveNoHits)
{
    const TDisk disk = sampleDisk();
    std::string image = BuildDiskData(disk);
    CatalogSearch search;

    std::string wrongMagic = image;
    wrongMagic[4] = '1';
    EXPECT_EQ(search.searchData(wrongMagic, "jpg").load.status, LoadStatus::WrongVersion);

    std::string wrongType = image;
    wrongType[5 + 2 + disk.IconImage.size() + 2 + disk.IconMask.size()] = 2;
    const CatalogSearchResult typed = search.searchData(wrongType, "jpg");
    EXPECT_EQ(typed.load.status, LoadStatus::WrongDataType);
    EXPECT_EQ(typed.load.message, "データタイプの指定エラーです。(5105)");
    EXPECT_TRUE(typed.found.hits.empty());

    // Cut inside the last file record: the earlier hits do not count either.
    const std::string cut = image.substr(0, image.size() - 3);
    try {
        search.searchData(cut, "jpg");
        FAIL() << "a damaged catalog was searched";
    } catch (const CatalogError& e) {
        EXPECT_EQ(e.code(), CatalogError::Code::Damaged);
        // The same words as the loader's.
        TDisk loaded;
        try {
            ParseDiskData(cut, loaded);
            FAIL();
        } catch (const CatalogError& l) {
            EXPECT_STREQ(e.what(), l.what());
            EXPECT_EQ(e.offset(), l.offset());
        }
    }
}

TEST(CatalogSearch, AFileThatIsGoneIsMissingAndTheScratchServesTheNextCatalog)
{
    TempDir dir;
    CatalogSearch search;
    const CatalogSearchResult gone = search.search(dir / "gone.qd", "a");
    EXPECT_EQ(gone.load.status, LoadStatus::Missing);

    TDisk big = diskOf({{"D:", -1}}, {{std::string(200, 'x') + "needle", "other"}});
    SaveDiskData(dir / "big", big);
    SaveDiskData(dir / "small", sampleDisk());
    EXPECT_EQ(found(search.search(dir / "big.qd", "needle")).size(), 1u);
    // A smaller catalog after a larger one in the same buffer: nothing of the
    // larger one's bytes is seen.
    EXPECT_EQ(found(search.search(dir / "small.qd", "needle")).size(), 0u);
    EXPECT_EQ(found(search.search(dir / "small.qd", "jpg")),
              (std::vector<std::string>{"D:\\PHOTO|b.jpg", "D:\\PHOTO|A.jpg"}));
}

TEST(CatalogSearch, DeepFolderChainsGiveWholePaths)
{
    // 2,000 nested folders, a hit in the deepest and one in the root.
    std::vector<std::pair<std::string, int>> folders{{"D:", -1}};
    std::vector<std::vector<std::string>> files{{"top.txt"}};
    for (int i = 1; i <= 2000; ++i) {
        folders.push_back({"d", i - 1});
        files.push_back(i == 2000 ? std::vector<std::string>{"deep.txt"} : std::vector<std::string>{});
    }
    const CatalogSearchResult r = searchOf(diskOf(folders, files), ".txt");
    ASSERT_EQ(r.found.hits.size(), 2u);
    std::string deep = "D:";
    for (int i = 0; i < 2000; ++i)
        deep += "\\d";
    EXPECT_EQ(r.found.paths[r.found.hits[1].path], deep);
    EXPECT_EQ(r.found.paths[r.found.hits[0].path], "D:");
}
