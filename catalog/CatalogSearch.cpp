#include "CatalogSearch.h"

#include <algorithm>
#include <cstring>

#include "Cp932.h"

namespace qd {

bool MatchFileName(std::string_view name, std::string_view text)
{
    if (text.empty())
        return false;
    std::size_t boundary = 0; // the first character boundary at or after the bytes passed
    for (std::size_t at = name.find(text); at != std::string_view::npos; at = name.find(text, boundary)) {
        while (boundary < at)
            boundary += cp932::isLeadByte((unsigned char)name[boundary]) ? 2 : 1;
        if (boundary == at)
            return true;
        // The run begins on the second byte of a character: look again from the next one.
    }
    return false;
}

namespace {

constexpr int kFirstSecond = 0x40; // second bytes below it never make a pair
constexpr int kSeconds = 256 - kFirstSecond;

} // namespace

CharSet::CharSet() { rows_.fill(-1); }

void CharSet::addSingle(unsigned char b)
{
    if (singles_[b])
        return;
    singles_[b] = true;
    if (fewSingles_ < kFew) {
        singleList_[fewSingles_] = b;
        singlePattern_[fewSingles_] = 0x0101010101010101ull * b;
    }
    fewSingles_ = std::min(fewSingles_ + 1, kFew + 1);
    if (b < 0x80) {
        if (asciiCount_ < 2)
            ascii_[asciiCount_] = b;
        asciiCount_ = std::min(asciiCount_ + 1, 3);
        const auto lower = (unsigned char)(ascii_[0] | 0x20);
        letter_ = asciiCount_ == 2 && (ascii_[0] ^ ascii_[1]) == 0x20 && lower >= 'a' && lower <= 'z';
        if (letter_ && ascii_[0] != lower)
            std::swap(ascii_[0], ascii_[1]);
    }
}

void CharSet::addPair(unsigned char lead, unsigned char second, bool member)
{
    if (second < kFirstSecond)
        return;
    if (rows_[lead] < 0) {
        rows_[lead] = std::int16_t(pairs_.size() / kSeconds);
        pairs_.resize(pairs_.size() + kSeconds, 0);
    }
    std::uint8_t& pair = pairs_[std::size_t(rows_[lead]) * kSeconds + (second - kFirstSecond)];
    if (member && !(pair & kMember)) {
        if (fewPairs_ < kFew) {
            pairList_[fewPairs_] = std::uint16_t(lead << 8 | second);
            leadPattern_[fewPairs_] = 0x0101010101010101ull * lead;
            secondPattern_[fewPairs_] = 0x0101010101010101ull * second;
        }
        fewPairs_ = std::min(fewPairs_ + 1, kFew + 1);
    }
    pair = kChar | (member ? kMember : 0);
}

bool CharSet::holdsFew(std::string_view name) const
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    if (n < 9) {
        // Too short for two overlapping words: byte by byte.
        for (std::size_t i = 0; i < n; ++i) {
            for (int k = 0; k < fewSingles_; ++k) {
                if (p[i] == singleList_[k])
                    return true;
            }
            for (int k = 0; k < fewPairs_; ++k) {
                if (i + 1 < n && (p[i] << 8 | p[i + 1]) == pairList_[k])
                    return true;
            }
        }
        return false;
    }
    // A byte of a single member in a word leaves a zero byte in the word
    // XOR its pattern; a pair, in the word and the word one byte on, both
    // XOR theirs. The last pair of words overlaps the ones before, so that
    // the name's end counts; its last byte, which only the later word holds,
    // is looked at alone.
    std::uint64_t zeros = 0;
    for (std::size_t i = 0;;) {
        std::uint64_t w, next;
        std::memcpy(&w, p + i, 8);
        std::memcpy(&next, p + i + 1, 8);
        for (int k = 0; k < fewSingles_; ++k) {
            const std::uint64_t x = w ^ singlePattern_[k];
            zeros |= (x - kOnes) & ~x;
        }
        for (int k = 0; k < fewPairs_; ++k) {
            const std::uint64_t x = (w ^ leadPattern_[k]) | (next ^ secondPattern_[k]);
            zeros |= (x - kOnes) & ~x;
        }
        if (i + 9 == n)
            break;
        i = std::min(i + 8, n - 9);
    }
    bool last = false;
    for (int k = 0; k < fewSingles_; ++k)
        last |= p[n - 1] == singleList_[k];
    return last || (zeros & kHighs) != 0;
}

bool CharSet::walk(std::string_view name) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        const std::int16_t row = rows_[b];
        if (row >= 0 && i + 1 < n && p[i + 1] >= kFirstSecond) {
            const std::uint8_t k = pairs_[std::size_t(row) * kSeconds + (p[i + 1] - kFirstSecond)];
            if (k & kChar) {
                if (k & kMember)
                    return true;
                i += 2;
                continue;
            }
        }
        if (singles_[b])
            return true;
        ++i;
    }
    return false;
}

CatalogSearchResult CatalogSearch::search(const std::filesystem::path& file, std::string_view text,
                                          const SearchYield& yield)
{
    SearchQuery query;
    query.text = text;
    return search(file, query, yield);
}

CatalogSearchResult CatalogSearch::search(const std::filesystem::path& file, const SearchQuery& query,
                                          const SearchYield& yield)
{
    CatalogSearchResult result;
    partial_ = {}; // also when the file cannot be read at all
    result.load = ReadCatalogFile(
        file,
        [&](std::string_view data) {
            result = searchData(data, query, yield);
            return result.load;
        },
        &buffer_);
    return result;
}

CatalogSearchResult CatalogSearch::searchData(std::string_view data, std::string_view text, const SearchYield& yield)
{
    SearchQuery query;
    query.text = text;
    return searchData(data, query, yield);
}

namespace {

// True when the byte b stands in name at or before position last. A name is
// followed by at least the 29 bytes of its record's comment length and fixed
// fields (37 for a file), so it is read eight bytes at a time without leaving
// the image.
inline bool holdsByte(std::string_view name, std::size_t last, unsigned char b)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t pattern = kOnes * b;
    for (std::size_t i = 0; i <= last; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + i, 8);
        word ^= pattern; // a zero byte where b stands
        if (last - i < 7)
            word |= ~std::uint64_t(0) << (8 * (last - i + 1)); // bytes past `last` never count
        if ((word - kOnes) & ~word & kHighs)
            return true;
    }
    return false;
}

// Whether a record's fields lie within the query's bounds.
inline bool withinBounds(const SearchQuery& q, const RecordView& v)
{
    if (q.minSize || q.maxSize) {
        if (v.folder || (q.minSize && v.size < *q.minSize) || (q.maxSize && v.size > *q.maxSize))
            return false;
    }
    if (q.after && !(v.lastWrite != 0 && v.lastWrite >= *q.after))
        return false;
    if (q.before && !(v.lastWrite != 0 && v.lastWrite < *q.before))
        return false;
    return true;
}

// Whether the name holds the query's text, if it has one.
inline bool holdsText(const SearchQuery& q, std::string_view name)
{
    if (!q.text)
        return true;
    const std::string_view text = *q.text;
    // Most names hold not even the text's first byte where a run of it could
    // begin: that test alone is far cheaper than a search.
    return name.size() >= text.size() && !text.empty() &&
           holdsByte(name, name.size() - text.size(), (unsigned char)text[0]) && MatchFileName(name, text);
}

inline bool passesTests(const SearchQuery& q, const RecordView& v)
{
    for (RecordTest* test : q.tests) {
        if (!test->passes(v))
            return false;
    }
    return true;
}

constexpr std::size_t kRun = 4096;

} // namespace

void RecordTest::keepPassing(std::span<const RecordView> records, std::vector<std::uint32_t>& passing)
{
    std::size_t kept = 0;
    for (const std::uint32_t i : passing) {
        if (passes(records[i]))
            passing[kept++] = i;
    }
    passing.resize(kept);
}

CatalogSearchResult CatalogSearch::searchData(std::string_view data, const SearchQuery& query, const SearchYield& yield)
{
    CatalogSearchResult result;
    partial_ = {};
    CatalogReader r(data);
    CatalogHeadFields head;
    result.load = ReadCatalogHeadFields(r, head);
    if (!result.load.ok())
        return result;

    folders_.clear();
    paths_.assign(head.folders, -1);
    CatalogHits& found = result.found;
    // The windows' search, a text alone, takes the shortest way: names only.
    const bool namesOnly = query.text && query.tests.empty() && !query.folders && !query.minSize && !query.maxSize &&
                           !query.after && !query.before && !query.details;
    try {
        if (searchFolders(r, head.folders, query, namesOnly, yield, result))
            result.stopped = true;
    } catch (const CatalogError&) {
        if (!views_.empty()) // records read whole before the damage
            matchRun(query, found);
        partial_ = std::move(found);
        throw;
    }
    return result;
}

bool CatalogSearch::searchFolders(CatalogReader& r, std::size_t count, const SearchQuery& query, bool namesOnly,
                                  const SearchYield& yield, CatalogSearchResult& result)
{
    CatalogHits& found = result.found;
    // A query with a test that asks for runs gathers the records and has
    // them matched many at once; any other (and any with a yield, which must
    // come after each file matched) matches each record as it is read.
    const bool runs = !yield && std::any_of(query.tests.begin(), query.tests.end(),
                                            [](const RecordTest* t) { return t->prefersRuns(); });
    const bool bounded = query.minSize || query.maxSize || query.after || query.before;
    required_.clear();
    for (const RecordTest* t : query.tests) {
        if (const CharSet* set = t->required())
            required_.push_back(set);
    }
    auto admitted = [&](std::string_view name) __attribute__((always_inline)) {
        for (const CharSet* set : required_) {
            if (!set->inName(name))
                return false;
        }
        return true;
    };
    auto match = [&](const RecordView& v, const RunEntry& e) __attribute__((always_inline)) {
        if (runs) {
            views_.push_back(v);
            entries_.push_back(e);
            if (views_.size() >= kRun)
                matchRun(query, found);
        } else if ((!bounded || withinBounds(query, v)) && holdsText(query, v.name) && passesTests(query, v)) {
            addHit(query, v, e, found);
        }
    };
    views_.clear();
    entries_.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const FolderRecord folder = ReadFolderRecord(r, i);
        folders_.push_back({folder.parent, folder.name});
        result.files += folder.files;
        if (query.folders && i > 0 && admitted(folder.name))
            match({folder.name, true, 0, folder.date}, {folder.parent, nullptr, folder.comment, folder.attr});
        for (std::size_t j = 0; j < folder.files; ++j) {
            const FileRecord file = NextFileRecord(r);
            if (namesOnly) {
                if (holdsText(query, file.name))
                    found.hits.push_back({std::int32_t(i), pathOf(std::int32_t(i), found), AnsiString(file.name)});
            } else if (admitted(file.name)) {
                RecordView v{file.name, false, 0, 0};
                std::memcpy(&v.size, file.fixed + 25, 4);
                std::memcpy(&v.lastWrite, file.fixed + 9, 8);
                match(v, {std::int32_t(i), file.fixed, file.comment, 0});
            }
            if ((j & 0x3E8) != 0 && yield && !yield(found))
                return true;
        }
    }
    if (!views_.empty())
        matchRun(query, found);
    return false;
}

void CatalogSearch::matchRun(const SearchQuery& query, CatalogHits& found)
{
    passing_.clear();
    for (std::size_t k = 0; k < views_.size(); ++k) {
        if (withinBounds(query, views_[k]) && holdsText(query, views_[k].name))
            passing_.push_back(std::uint32_t(k));
    }
    for (RecordTest* test : query.tests) {
        if (passing_.empty())
            break;
        test->keepPassing(views_, passing_);
    }
    for (const std::uint32_t k : passing_)
        addHit(query, views_[k], entries_[k], found);
    views_.clear();
    entries_.clear();
}

void CatalogSearch::addHit(const SearchQuery& query, const RecordView& v, const RunEntry& e, CatalogHits& found)
{
    found.hits.push_back({e.folder, pathOf(e.folder, found), AnsiString(v.name)});
    if (!query.details && !query.folders)
        return;
    HitDetails& d = found.details.emplace_back();
    d.folder = v.folder;
    d.comment = std::string(e.comment);
    if (v.folder) {
        d.attr = e.attr;
        d.modified = v.lastWrite;
        return;
    }
    d.attr = std::uint8_t(e.fixed[0]);
    std::memcpy(&d.created, e.fixed + 1, 8);
    std::memcpy(&d.modified, e.fixed + 9, 8);
    std::memcpy(&d.accessed, e.fixed + 17, 8);
    d.size = v.size;
}

void AppendFolderPath(std::string& path, const std::vector<FolderLink>& folders, std::int32_t folder,
                      std::vector<std::int32_t>& chain)
{
    chain.clear();
    std::size_t length = 0;
    for (std::int32_t f = folder; f >= 0; f = folders[std::size_t(f)].parent) {
        chain.push_back(f);
        length += folders[std::size_t(f)].name.size() + 1;
    }
    path.reserve(path.size() + length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += '\\';
        path += folders[std::size_t(*it)].name;
    }
}

std::string FolderPath(const std::vector<FolderLink>& folders, std::int32_t folder, std::vector<std::int32_t>& chain)
{
    std::string path;
    AppendFolderPath(path, folders, folder, chain);
    return path;
}

std::uint32_t CatalogSearch::pathOf(std::int32_t folder, CatalogHits& found)
{
    // Made once per folder.
    std::int32_t& index = paths_[std::size_t(folder)];
    if (index < 0) {
        index = std::int32_t(found.paths.size());
        found.paths.push_back(FolderPath(folders_, folder, chain_));
    }
    return std::uint32_t(index);
}

} // namespace qd
