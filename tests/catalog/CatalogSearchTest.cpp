#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <span>
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
    const CatalogSearchResult r = searchOf(disk, "f", [&](CatalogHits&) {
        ++yields;
        return true;
    });
    EXPECT_EQ(yields, 8 + 6); // none in the folder of eight files
    EXPECT_EQ(r.found.hits.size(), 31u); // f0..f29 and "f" in the small folder
}

TEST(CatalogSearch, StoppingKeepsTheHitsFoundBeforeIt)
{
    std::vector<std::string> files;
    for (int j = 0; j < 20; ++j)
        files.push_back("hit" + std::to_string(j));
    const TDisk disk = diskOf({{"D:", -1}}, {files});
    int yields = 0;
    const CatalogSearchResult r = searchOf(disk, "hit", [&](CatalogHits&) { return ++yields < 3; });
    EXPECT_EQ(yields, 3); // it stops at the first refusal
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.found.hits.size(), 11u); // hit0 to hit10: the third point is after file 10
}

// The window shows hits while a catalog is read: what the yield takes, and
// what is left at the end or at damage, make the whole answer in its order.
TEST(CatalogSearch, HitsTakenAsFoundAndThoseLeftMakeTheWholeAnswer)
{
    std::vector<std::string> many;
    for (int j = 0; j < 40; ++j)
        many.push_back("hit" + std::to_string(j));
    const TDisk disk = diskOf({{"D:", -1}, {"a", 0}, {"b", 1}}, {many, {"x"}, many});
    const std::string image = BuildDiskData(disk);
    std::vector<std::string> taken;
    const auto take = [&](CatalogHits& found) {
        for (const FileHit& h : found.hits)
            taken.push_back(found.paths[h.path] + "|" + h.name.str());
        found.hits.clear();
    };
    const std::vector<std::string> whole = found(searchOf(disk, "hit"));
    ASSERT_EQ(whole.size(), 80u);

    CatalogSearch search;
    int points = 0;
    const SearchYield everyThird = [&](CatalogHits& found) {
        if (++points % 3 == 0)
            take(found);
        return true;
    };
    CatalogSearchResult r = search.searchData(image, "hit", everyThird);
    ASSERT_GT(taken.size(), 0u);
    take(r.found);
    EXPECT_EQ(taken, whole);

    // Cut inside the last file record: the hits before the damage are left
    // in partial(), less what was taken.
    taken.clear();
    points = 0;
    EXPECT_THROW(search.searchData(image.substr(0, image.size() - 3), "hit", everyThird), CatalogError);
    ASSERT_FALSE(search.partial().hits.empty());
    take(search.partial());
    EXPECT_EQ(taken, std::vector<std::string>(whole.begin(), whole.end() - 1));
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

    // Cut inside the last file record.
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

// The walk takes a file without a comment by a shorter way than one with
// one: cut anywhere in either, it reports the loader's damage, at the
// loader's offset, and the walk over every record agrees.
TEST(CatalogSearch, ACutAnywhereInTheLastFilesIsTheLoadersDamage)
{
    // Names long enough that the folder's file count still fits what is left.
    std::vector<std::string> names, whole;
    for (int j = 0; j < 6; ++j) {
        names.push_back("holiday photograph number " + std::to_string(j) + ".jpg");
        whole.push_back("D:|" + names.back());
    }
    TDisk disk = diskOf({{"D:", -1}}, {names});
    disk.DirList[0].FileList[4].Comment = "two words";
    const std::string image = BuildDiskData(disk);
    const std::size_t last = 1 + names[5].size() + 4 + kFileFixedTail;
    const std::size_t lastTwo = 2 * last + disk.DirList[0].FileList[4].Comment.size();
    CatalogSearch search;
    for (std::size_t n = image.size() - lastTwo; n < image.size(); ++n) {
        const std::string_view cut = std::string_view(image).substr(0, n);
        TDisk loaded;
        std::string loaderSays;
        try {
            ParseDiskData(cut, loaded);
        } catch (const CatalogError& e) {
            loaderSays = e.what();
        }
        ASSERT_NE(loaderSays.find("a file"), std::string::npos) << "length " << n << ": " << loaderSays;
        for (const auto& walk : std::initializer_list<std::function<void()>>{
                 [&] { search.searchData(cut, "jpg"); },
                 [&] { ForEachRecord(cut, [](std::size_t, const FolderRecord&) {}, [](std::size_t, std::string_view, std::uint32_t) {}); }}) {
            try {
                walk();
                ADD_FAILURE() << "length " << n << " was read as whole";
            } catch (const CatalogError& e) {
                EXPECT_EQ(e.what(), loaderSays) << "length " << n;
            }
        }
        // A file is a hit once its record is whole.
        CatalogSearchResult before;
        before.found = search.partial();
        const std::size_t wholeFiles = n >= image.size() - last ? 5 : 4;
        EXPECT_EQ(found(before), std::vector<std::string>(whole.begin(), whole.begin() + wholeFiles)) << "length " << n;
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

// --- queries beyond a text --------------------------------------------------------

namespace {

CatalogSearchResult queryOf(const TDisk& disk, const SearchQuery& query)
{
    CatalogSearch search;
    return search.searchData(BuildDiskData(disk), query);
}

std::vector<std::string> names(const CatalogSearchResult& r)
{
    std::vector<std::string> out;
    for (const FileHit& h : r.found.hits)
        out.push_back(h.name.str());
    return out;
}

// Files named after their size (and last-write time), in the root.
TDisk sized(const std::vector<std::pair<std::uint32_t, double>>& files)
{
    TDisk disk = diskOf({{"D:", -1}}, {{}});
    for (const auto& [size, time] : files) {
        TFile f = sampleFile(std::to_string(size) + "@" + std::to_string(int(time)), size);
        f.LastWriteTime = time;
        disk.DirList[0].FileList.push_back(f);
    }
    return disk;
}

// A test that keeps what it was asked and lets through the names it is
// given; asked for runs when runs is set, and then told the runs' sizes.
class Keeps final : public RecordTest {
public:
    explicit Keeps(std::vector<std::string> pass, bool runs = false) : pass_(std::move(pass)), runs_(runs) {}
    bool passes(const RecordView& r) override
    {
        asked.push_back(std::string(r.name) + (r.folder ? "/" : ""));
        return std::find(pass_.begin(), pass_.end(), std::string(r.name)) != pass_.end();
    }
    bool prefersRuns() const override { return runs_; }
    void keepPassing(std::span<const RecordView> records, std::vector<std::uint32_t>& passing) override
    {
        runSizes.push_back(records.size());
        RecordTest::keepPassing(records, passing);
    }
    const CharSet* required() const override { return required_ ? &*required_ : nullptr; }

    std::vector<std::string> asked;
    std::vector<std::size_t> runSizes;
    std::optional<CharSet> required_;

private:
    std::vector<std::string> pass_;
    bool runs_;
};

} // namespace

TEST(CatalogSearchQuery, SizeBoundsIncludeTheirEnds)
{
    const TDisk disk = sized({{99, 1}, {100, 1}, {101, 1}, {4294967295u, 1}, {0, 1}});
    const struct {
        std::optional<std::uint64_t> min, max;
        std::vector<std::string> found;
    } cases[] = {
        {100, {}, {"100@1", "101@1", "4294967295@1"}},
        {{}, 100, {"99@1", "100@1", "0@1"}},
        {100, 100, {"100@1"}},
        {101, 99, {}},
        {4294967295u, {}, {"4294967295@1"}},
        {4294967296u, {}, {}}, // beyond what a catalog can hold
        {0, {}, {"99@1", "100@1", "101@1", "4294967295@1", "0@1"}},
    };
    for (const auto& c : cases) {
        SearchQuery q;
        q.minSize = c.min;
        q.maxSize = c.max;
        EXPECT_EQ(names(queryOf(disk, q)), c.found) << c.min.value_or(0) << ".." << c.max.value_or(0);
    }
}

TEST(CatalogSearchQuery, TimeBoundsTakeTheStartAndLeaveTheEndAndNeverAnUnknownTime)
{
    const TDisk disk = sized({{1, 36000}, {2, 36001}, {3, 36002}, {4, 0}});
    const struct {
        std::optional<double> after, before;
        std::vector<std::string> found;
    } cases[] = {
        {36001, {}, {"2@36001", "3@36002"}},
        {{}, 36001, {"1@36000"}},
        {36000, 36002, {"1@36000", "2@36001"}},
        {-1e9, 1e9, {"1@36000", "2@36001", "3@36002"}},
    };
    for (const auto& c : cases) {
        SearchQuery q;
        q.after = c.after;
        q.before = c.before;
        EXPECT_EQ(names(queryOf(disk, q)), c.found) << c.after.value_or(0) << ".." << c.before.value_or(0);
    }
}

TEST(CatalogSearchQuery, FoldersComeBeforeTheirFilesAndTheRootNever)
{
    // D: -> report (folder, holds report.txt), a; a -> report (folder).
    TDisk disk = diskOf({{"D:", -1}, {"report", 0}, {"a", 0}, {"report", 2}},
                        {{"report.doc"}, {"report.txt"}, {}, {}});
    disk.DirList[1].Comment = "notes";
    disk.DirList[1].Date = 37000.5;
    SearchQuery q;
    q.text = "report";
    q.folders = true;
    const CatalogSearchResult r = queryOf(disk, q);
    EXPECT_EQ(found(r), (std::vector<std::string>{"D:|report.doc", "D:|report", "D:\\report|report.txt", "D:\\a|report"}));
    ASSERT_EQ(r.found.details.size(), 4u);
    EXPECT_FALSE(r.found.details[0].folder);
    EXPECT_TRUE(r.found.details[1].folder);
    EXPECT_EQ(r.found.details[1].comment, "notes");
    EXPECT_EQ(r.found.details[1].modified, 37000.5);
    EXPECT_EQ(r.found.hits[3].folder, 2) << "a folder hit lies in its parent";
    EXPECT_EQ(r.found.paths, (std::vector<std::string>{"D:", "D:\\report", "D:\\a"})) << "each path once";

    q.text = "D";
    EXPECT_TRUE(queryOf(disk, q).found.hits.empty()) << "the drive is no folder to find";
    q.text = "report";
    q.minSize = 0;
    EXPECT_EQ(names(queryOf(disk, q)), (std::vector<std::string>{"report.doc", "report.txt"})) << "folders have no size";
}

TEST(CatalogSearchQuery, TestsSeeOnlyWhatTheBoundsAndTheTextLetThroughAndDetailsAreTheRecords)
{
    TDisk disk = diskOf({{"D:", -1}, {"sub", 0}}, {{"big.txt", "small.txt", "big.doc"}, {"big.log"}});
    for (TFile& f : disk.DirList[0].FileList)
        f.Size = f.Name.view().starts_with("big") ? 1000 : 1;
    disk.DirList[0].FileList[0].Comment = "a\r\nb";
    disk.DirList[0].FileList[0].CreationTime = 1.5;
    disk.DirList[0].FileList[0].LastAccessTime = 3.5;
    Keeps test({"big.txt", "sub"});
    SearchQuery q;
    q.text = ".";
    q.minSize = 2;
    q.tests = {&test};
    q.details = true;
    const CatalogSearchResult r = queryOf(disk, q);
    EXPECT_EQ(test.asked, (std::vector<std::string>{"big.txt", "big.doc"})) << "not small.txt, nor big.log without a dot";
    EXPECT_EQ(names(r), (std::vector<std::string>{"big.txt"}));
    EXPECT_EQ(r.files, 4u);
    ASSERT_EQ(r.found.details.size(), 1u);
    const HitDetails& d = r.found.details[0];
    EXPECT_EQ(d.size, 1000u);
    EXPECT_EQ(d.comment, "a\r\nb");
    EXPECT_EQ(d.created, 1.5);
    EXPECT_EQ(d.modified, 36527.25);
    EXPECT_EQ(d.accessed, 3.5);
    EXPECT_EQ(d.attr, kAttrArchive);

    // No text: every name goes to the tests, folders too when asked for.
    Keeps all({});
    SearchQuery every;
    every.tests = {&all};
    every.folders = true;
    EXPECT_TRUE(queryOf(disk, every).found.hits.empty());
    EXPECT_EQ(all.asked, (std::vector<std::string>{"big.txt", "small.txt", "big.doc", "sub/", "big.log"}));
}

// A test that asks for runs sees every record in stored order all the same
// (a folder before its files), and the hits are those of a record-by-record
// search, also across the end of a run and of the catalog.
TEST(CatalogSearchQuery, RunsOfRecordsGiveWhatRecordByRecordGives)
{
    std::vector<std::vector<std::string>> files(3);
    std::vector<std::string> pass;
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (int k = 0; k < (f == 1 ? 10 : 4100); ++k) {
            files[f].push_back("f" + std::to_string(f) + "-" + std::to_string(k));
            if (k % 1000 == 9 || k == 4099)
                pass.push_back(files[f].back());
        }
    }
    pass.push_back("sub2");
    const TDisk disk = diskOf({{"D:", -1}, {"sub1", 0}, {"sub2", 1}}, files);
    std::vector<std::vector<std::string>> asked, found;
    for (const bool runs : {false, true}) {
        Keeps test(pass, runs);
        SearchQuery q;
        q.tests = {&test};
        q.folders = true;
        const CatalogSearchResult r = queryOf(disk, q);
        asked.push_back(test.asked);
        found.push_back(names(r));
        if (runs)
            EXPECT_EQ(test.runSizes, (std::vector<std::size_t>{4096, 4096, 4100 + 11 + 4101 - 2 * 4096}));
        else
            EXPECT_TRUE(test.runSizes.empty());
    }
    EXPECT_EQ(asked[1], asked[0]);
    ASSERT_EQ(found[1], found[0]);
    EXPECT_EQ(found[0].size(), pass.size());
}

// A test's required characters fail a name on its bytes, before any test is
// asked of it; a pair counts as one character, never its second byte alone.
TEST(CatalogSearchQuery, ANameWithoutTheRequiredCharactersIsNeverAsked)
{
    const std::string kana = sjis("カ"), kanji = sjis("表"); // 表 ends in 0x5C, a backslash
    const std::vector<std::string> all = {"ax", "ab", "x" + kana, kanji + "z", kanji, "\\", kana + "y"};
    Keeps first(all), second(all);
    second.required_.emplace();
    CharSet& set = *second.required_;
    set.addSingle('x');
    set.addSingle('y');
    set.addPair((unsigned char)kana[0], (unsigned char)kana[1], true);
    set.addPair((unsigned char)kanji[0], (unsigned char)kanji[1], false);
    SearchQuery q;
    q.tests = {&first, &second};
    const TDisk disk = diskOf({{"D:", -1}}, {all});
    EXPECT_EQ(names(queryOf(disk, q)), (std::vector<std::string>{"ax", "x" + kana, kana + "y"}));
    EXPECT_EQ(first.asked, (std::vector<std::string>{"ax", "x" + kana, kana + "y"}));

    CharSet backslash;
    backslash.addSingle('\\');
    backslash.addPair((unsigned char)kanji[0], (unsigned char)kanji[1], false);
    EXPECT_FALSE(backslash.inName(kanji + "z")) << "the second byte of a pair is no character";
    EXPECT_TRUE(backslash.inName(kanji + "\\"));
    EXPECT_TRUE(backslash.inName(std::string(1, kanji[0]) + "0\\")) << "a lead byte before 0x40 stands alone";
    EXPECT_FALSE(backslash.inName(std::string(1, kanji[0]))) << "so does one at the end";
}
