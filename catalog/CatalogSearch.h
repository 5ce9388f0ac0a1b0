#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "AnsiString.h"
#include "CatalogImage.h"
#include "DiskFile.h"

namespace qd {

// File-name matching: true when text occurs in name as one contiguous run of
// bytes that begins on a character boundary of code page 932. A run that
// would begin on the second byte of a double-byte character does not count
// (the search goes on from the next character). Exact and case-sensitive:
// abc does not match ABC.TXT, a full-width letter not its half-width form.
// No wildcards: "*" and "?" are plain characters. An empty text matches
// nothing.
bool MatchFileName(std::string_view name, std::string_view text);

// What one pass over bytes, eight at a time, tells: whether they are all
// ASCII, and whether the byte a or the byte b is among them. Letters: a
// lower-case a and its upper-case b are found by one test, each byte with
// 0x20 set against a (which only those two bytes give).
struct ByteScan {
    bool ascii;
    bool holds;
};
template <bool Letters = false> inline ByteScan ScanBytes(std::string_view s, unsigned char a, unsigned char b)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t pa = kOnes * a, pb = kOnes * b;
    std::uint64_t high = 0, found = 0;
    auto scan = [&](std::uint64_t w) {
        high |= w;
        if constexpr (Letters) {
            const std::uint64_t x = (w | kOnes * 0x20) ^ pa; // a zero byte where a or b stands
            found |= (x - kOnes) & ~x;
        } else {
            const std::uint64_t x = w ^ pa, y = w ^ pb; // a zero byte where a (b) stands
            found |= ((x - kOnes) & ~x) | ((y - kOnes) & ~y);
        }
    };
    const std::size_t n = s.size();
    std::uint64_t w;
    if (n < 8) {
        bool holds = false;
        for (const char c : s) {
            high |= (unsigned char)c;
            holds |= (unsigned char)c == a || (unsigned char)c == b;
        }
        return {!(high & 0x80), holds};
    }
    for (std::size_t i = 0; i + 8 < n; i += 8) {
        std::memcpy(&w, s.data() + i, 8);
        scan(w);
    }
    std::memcpy(&w, s.data() + n - 8, 8); // the last eight, overlapping the word before
    scan(w);
    return {!(high & kHighs), (found & kHighs) != 0};
}

// Characters of code page 932, for a test of names on their bytes: whether
// a name holds one of them, its bytes read as the codec reads them (a lead
// byte and a second byte of 0x40 or more are one character when the pair is
// one; any other byte stands alone). Which pairs are characters, and which
// characters are members, its maker says (see Cp932Names::sourcesOf).
class CharSet {
public:
    CharSet();
    void addSingle(unsigned char b);
    // A pair that is a character, and whether it is a member.
    void addPair(unsigned char lead, unsigned char second, bool member);
    bool inName(std::string_view name) const
    {
        // Most names are ASCII, and few ASCII bytes are members: those names
        // are read eight bytes at a time.
        if (asciiCount_ <= 2) {
            const ByteScan scan = letter_ ? ScanBytes<true>(name, ascii_[0], ascii_[1])
                                          : ScanBytes(name, ascii_[0], ascii_[asciiCount_ == 2 ? 1 : 0]);
            if (scan.ascii)
                return asciiCount_ > 0 && scan.holds;
        }
        // Of a set with few members, a name that holds none of their bytes
        // side by side holds none of them: most names are passed over so,
        // eight bytes at a time, rather than walked character by character.
        if (fewSingles_ <= kFew && fewPairs_ <= kFew && !holdsFew(name))
            return false;
        return walk(name);
    }

private:
    static constexpr std::uint8_t kMember = 1, kChar = 2;
    static constexpr int kFew = 4;
    bool walk(std::string_view name) const;
    // Whether one of the member singles, or one of the member pairs as two
    // bytes side by side, occurs anywhere in name, character boundaries aside.
    bool holdsFew(std::string_view name) const;

    std::array<bool, 256> singles_{};
    std::array<std::int16_t, 256> rows_; // a lead byte's row in pairs_, -1 for none
    std::vector<std::uint8_t> pairs_;    // rows of 192 second bytes, 0x40 to 0xFF
    unsigned char ascii_[2] = {};        // the ASCII members, when there are at most two
    int asciiCount_ = 0;                 // how many; 3 for more
    bool letter_ = false;                // the two are one letter, lower case first
    unsigned char singleList_[kFew] = {};  // the single-byte members, when there are at most kFew
    std::uint16_t pairList_[kFew] = {};    // the same of the members of two bytes, lead byte first
    int fewSingles_ = 0, fewPairs_ = 0;  // how many; kFew + 1 for more
    std::uint64_t singlePattern_[kFew] = {}; // each byte of the list in all eight bytes
    std::uint64_t leadPattern_[kFew] = {}, secondPattern_[kFew] = {};
};

// One file whose name matched, or with SearchQuery::folders a folder.
struct FileHit {
    std::int32_t folder = 0; // the index in DirList of the folder it lies in
    std::uint32_t path = 0;  // that folder's entry in CatalogHits::paths
    AnsiString name;         // TFile.Name (TDir.Name for a folder)
};

// The stored fields of a hit, for a search that asks for them.
struct HitDetails {
    bool folder = false; // a folder record
    std::uint8_t attr = 0;
    std::uint32_t size = 0;                         // a folder's: 0
    double created = 0, modified = 0, accessed = 0; // a folder's: its Date as modified, the others 0
    std::string comment;                            // code page 932
};

// What one catalog gave, in the order of the catalog file: folders in
// DirList order, each folder's files in stored order (a folder that is a
// hit comes before its files).
struct CatalogHits {
    std::vector<std::string> paths; // GetDirPath of each folder that holds a hit, once per folder
    std::vector<FileHit> hits;
    std::vector<HitDetails> details; // one per hit, in step, when the query asks for details or folders; else empty
};

struct CatalogSearchResult {
    LoadResult load;        // the loader's outcome: 5101, 5104 and 5105 give no hits
    bool stopped = false;   // the yield asked to stop before the end: found holds the hits before
    std::uint64_t files = 0; // file records read: all of them unless stopped
    CatalogHits found;      // less what the yield took
};

// A record as a search's tests see it, straight out of the catalog image;
// valid during the call only.
struct RecordView {
    std::string_view name;  // code page 932
    bool folder = false;    // a folder record (never the root, which is the drive)
    std::uint32_t size = 0; // a file's Size; a folder's 0
    double lastWrite = 0;   // a file's LastWriteTime, a folder's Date
};

// A test of records beyond the windows' plain text: a case-blind name, a
// wildcard pattern or a regular expression (made above catalog/, where the
// text tools are), or a pass that takes note of what it sees and lets
// nothing through. A test given to a search of the store (SearchStore) is
// asked from two threads at once: it keeps its scratch per thread.
class RecordTest {
public:
    virtual ~RecordTest() = default;
    virtual bool passes(const RecordView& record) = 0;
    // True for a test that gains from seeing many records at once, such as
    // one that looks each up in a large table and can make the look-ups side
    // by side instead of waiting for one after the other. A search without a
    // yield then hands all its tests the records of a catalog in runs of
    // some thousands, in stored order, through keepPassing.
    virtual bool prefersRuns() const { return false; }
    // Characters of which a name must hold one to pass, or null: a name
    // with none of them fails at once on its bytes, before this or any
    // other test is asked of it.
    virtual const CharSet* required() const { return nullptr; }
    // The same as passes() of many records at once: keeps in passing
    // (indexes into records, ascending) those that pass, asking of no other
    // record. By default, passes() one by one.
    virtual void keepPassing(std::span<const RecordView> records, std::vector<std::uint32_t>& passing);
};

// What a search looks for. A text alone is the windows' search; every other
// part narrows it, and all must hold.
struct SearchQuery {
    // MatchFileName's text (code page 932 bytes); an empty text matches
    // nothing. nullopt: no text is compared.
    std::optional<std::string_view> text;
    // Asked in order, each only of the records that passed all before it and
    // every bound below. Not owned.
    std::vector<RecordTest*> tests;
    // Folder records may be hits as well (not the root: that is the drive).
    bool folders = false;
    // File sizes within these bounds, both included. Folders have no size: a
    // query with a size bound lets none through.
    std::optional<std::uint64_t> minSize, maxSize;
    // Last-write times (date-time values) from after, included, to before,
    // excluded. An unknown time (0) passes no bound.
    std::optional<double> after, before;
    // Fill CatalogHits::details.
    bool details = false;
};

// Called after the file at index j of a folder has been matched, whenever j
// AND 0x3E8 is not 0 (false for j from 0 to 7 and 16 to 23, then again from
// 1024 to 1031, and so on); returning false stops the search of the catalog.
// found holds the hits so far that it has not taken: to show them before the
// catalog has been read to its end, it may move hits out (with their details,
// in step), but leaves the paths, which later hits refer to by index (new
// ones are appended). What it has not taken when damage ends the search
// stays in CatalogSearch::partial().
using SearchYield = std::function<bool(CatalogHits& found)>;

// Every record of a catalog image in stored order, for a pass that takes
// note of each and wants no hits, straight out of the image:
// folder(index, record) for each folder before its files, and
// file(folder index, name, size) for each file. The outcome and the damage
// are searchData's (CatalogError for damage, after the records before it
// have been visited).
template <typename Folder, typename File>
LoadResult ForEachRecord(std::string_view data, Folder&& folder, File&& file)
{
    CatalogReader r(data);
    CatalogHeadFields head;
    const LoadResult load = ReadCatalogHeadFields(r, head);
    if (!load.ok())
        return load;
    for (std::size_t i = 0; i < head.folders; ++i) {
        const FolderRecord record = ReadFolderRecord(r, i);
        folder(i, record);
        for (std::size_t j = 0; j < record.files; ++j) {
            const FileRecord f = NextFileRecord(r);
            std::uint32_t size;
            std::memcpy(&size, f.fixed + 25, 4);
            file(i, f.name, size);
        }
    }
    return load;
}

// A folder of a catalog image as a path needs it: its parent's index in
// DirList (smaller than its own, as the reader checks) and its name.
struct FolderLink {
    std::int32_t parent;
    std::string_view name;
};
// GetDirPath of folder, made from the links in time linear in its length.
// chain is scratch.
std::string FolderPath(const std::vector<FolderLink>& folders, std::int32_t folder, std::vector<std::int32_t>& chain);
// The same appended to path.
void AppendFolderPath(std::string& path, const std::vector<FolderLink>& folders, std::int32_t folder,
                      std::vector<std::int32_t>& chain);

// The search of one catalog after another. Each catalog file is read whole
// once and its records are matched straight out of its bytes; only a hit
// makes a record. A catalog that is damaged (any length, count or parent that
// does not fit, an icon that is no BMP) throws CatalogError as LoadDiskData
// does; its hits before the damage are left in partial(), for a caller that
// shows hits as they are found. The object keeps its scratch (the file buffer and the folder table)
// from catalog to catalog, so memory follows the largest catalog, not their
// number.
class CatalogSearch {
public:
    // The windows' search: file names that hold text (code page 932 bytes).
    // yield: see SearchYield; none for a search that cannot be stopped.
    CatalogSearchResult search(const std::filesystem::path& file, std::string_view text, const SearchYield& yield = {});
    CatalogSearchResult search(const std::filesystem::path& file, const SearchQuery& query, const SearchYield& yield = {});
    // The same over a catalog image already in memory (never 5101).
    CatalogSearchResult searchData(std::string_view data, std::string_view text, const SearchYield& yield = {});
    CatalogSearchResult searchData(std::string_view data, const SearchQuery& query, const SearchYield& yield = {});
    // After a search that threw CatalogError: what it found before the
    // damage that the yield did not take.
    CatalogHits& partial() { return partial_; }

private:
    // What a hit needs of a record of the run besides its view.
    struct RunEntry {
        std::int32_t folder;     // a file's folder, a folder's parent
        const char* fixed;       // a file's last kFileFixedTail bytes; null for a folder
        std::string_view comment;
        std::uint8_t attr;       // a folder's
    };
    std::uint32_t pathOf(std::int32_t folder, CatalogHits& found);
    // The folder records after the head; true when the yield stopped it.
    bool searchFolders(CatalogReader& r, std::size_t count, const SearchQuery& query, bool namesOnly,
                       const SearchYield& yield, CatalogSearchResult& result);
    void matchRun(const SearchQuery& query, CatalogHits& found);
    void addHit(const SearchQuery& query, const RecordView& v, const RunEntry& e, CatalogHits& found);

    ImageBuffer buffer_;
    std::vector<FolderLink> folders_;    // of the catalog being searched
    std::vector<std::int32_t> paths_; // each folder's entry in CatalogHits::paths, -1 for none yet
    std::vector<std::int32_t> chain_;
    CatalogHits partial_;
    std::vector<RecordView> views_; // the run of records not matched yet
    std::vector<RunEntry> entries_;
    std::vector<std::uint32_t> passing_;
    std::vector<const CharSet*> required_; // of the query's tests
};

} // namespace qd
