#include "StoreDuplicates.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>
#include <span>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "StoreSearch.h"
#include "catalog/CatalogSearch.h"
#include "catalog/RecordArena.h"

namespace qd {
namespace {

inline std::uint64_t load8(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline std::uint32_t load4(const char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// Both halves of a 64-bit product folded together: one multiplication
// mixes 128 bits.
inline std::uint64_t fold(std::uint64_t a, std::uint64_t b)
{
    const unsigned __int128 m = static_cast<unsigned __int128>(a) * b;
    return std::uint64_t(m) ^ std::uint64_t(m >> 64);
}

// A 32-bit hash of a name and a size. The name is read sixteen bytes at a
// time, the last two words overlapping those before them (the length is in
// the hash, so no two names meet that way): one multiplication per sixteen
// bytes and one more, no loop over single bytes, no call.
[[gnu::always_inline]] inline std::uint32_t keyOf(std::string_view name, std::uint32_t size)
{
    constexpr std::uint64_t k0 = 0xA0761D6478BD642Full, k1 = 0xE7037ED1A0B428DBull, k2 = 0x8EBC6AF09C88C6E3ull;
    const char* p = name.data();
    const std::size_t n = name.size();
    std::uint64_t seed = (std::uint64_t(size) << 8 | n) ^ k0;
    std::uint64_t a = 0, b = 0;
    if (n > 16) {
        for (std::size_t i = 0; i + 16 < n; i += 16)
            seed = fold(load8(p + i) ^ k1, load8(p + i + 8) ^ seed);
        a = load8(p + n - 16);
        b = load8(p + n - 8);
    } else if (n >= 8) {
        a = load8(p);
        b = load8(p + n - 8);
    } else if (n >= 4) {
        a = load4(p);
        b = load4(p + n - 4);
    } else if (n > 0) {
        const auto* c = reinterpret_cast<const unsigned char*>(p);
        a = std::uint64_t(c[0]) | std::uint64_t(c[n / 2]) << 8 | std::uint64_t(c[n - 1]) << 16;
    }
    return std::uint32_t(fold(fold(a ^ k1, b ^ seed) ^ k2, seed ^ k1) >> 32);
}

// Sorts values (a vector of unsigned integers) by their bits [from, to),
// twelve at a time, keeping the order of values equal in those bits.
template <typename Values> void SortByBits(Values& values, Values& scratch, int from, int to)
{
    using T = typename Values::value_type;
    scratch.resize(values.size());
    std::vector<std::uint32_t> count(4097);
    for (int shift = from; shift < to; shift += 12) {
        std::fill(count.begin(), count.end(), 0);
        for (const T v : values)
            ++count[((v >> shift) & 0xFFF) + 1];
        for (std::size_t i = 1; i < count.size(); ++i)
            count[i] += count[i - 1];
        for (const T v : values)
            scratch[count[(v >> shift) & 0xFFF]++] = v;
        values.swap(scratch);
    }
}

// Runs there on a second thread while here runs on this one, and returns
// when both have; what either throws is thrown here (this thread's, when
// both throw).
template <typename There, typename Here> void OnTwoThreads(There&& there, Here&& here)
{
    std::exception_ptr failed;
    std::thread helper([&] {
        try {
            there();
        } catch (...) {
            failed = std::current_exception();
        }
    });
    try {
        here();
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failed)
        std::rethrow_exception(failed);
}

// A vector in an arena, for the large ones of the second pass.
template <typename T> using InMemory = Duplicates::InMemory<T>;

// The hashes of the first pass, in 256 parts by their top byte, each part
// kept in blocks: appending never copies, and each part fits the cache when
// its repeated hashes are looked for. A part's hashes share their top byte,
// so each keeps the three others only: the first pass's memory is three
// bytes a file.
class KeyParts {
public:
    // The hashes of the files of at least minSize bytes in a catalog's image.
    LoadResult addFrom(std::string_view image, std::uint64_t minSize)
    {
        const LoadResult load = ForEachRecord(
            image, [](std::size_t, const FolderRecord&) {},
            [&](std::size_t, std::string_view name, std::uint32_t size) {
                if (size >= minSize)
                    add(keyOf(name, size));
            });
#if defined(__SSE2__)
        _mm_sfence(); // the streamed blocks seen by whichever thread reads them next
#endif
        return load;
    }

    // The hashes met more than once in any of all, each once, and in files
    // how many of the keys have one of them; the parts are emptied on the way.
    // Two threads take half of the parts each.
    static std::vector<std::uint32_t> repeated(std::span<KeyParts> all, std::size_t& files)
    {
        for (KeyParts& parts : all)
            parts.flushAll();
        std::vector<std::uint32_t> out, upper;
        std::size_t lowerFiles = 0, upperFiles = 0;
        OnTwoThreads([&] { upper = repeatedIn(all, 128, 256, upperFiles); },
                     [&] { out = repeatedIn(all, 0, 128, lowerFiles); });
        out.insert(out.end(), upper.begin(), upper.end());
        files = lowerFiles + upperFiles;
        return out;
    }

private:
    static std::vector<std::uint32_t> repeatedIn(std::span<KeyParts> all, std::size_t from, std::size_t to,
                                                 std::size_t& files)
    {
        std::vector<std::uint32_t> out, keys;
        std::vector<std::uint32_t> count(257);
        // Per bucket, the low sixteen bits met once, and those met twice:
        // 16 KiB, in the nearest cache.
        std::vector<std::uint64_t> once(1024), twice(1024);
        for (std::size_t part = from; part < to; ++part) {
            // Put in 256 buckets by the key's next byte, so that the rest
            // of each key is one bit of once: a bucket's repeated keys are
            // found in one look at the cache each, with no sort.
            std::fill(count.begin(), count.end(), 0);
            forEach(all, part, [&](std::uint32_t k) { ++count[(k >> 16) + 1]; });
            for (std::size_t i = 1; i < count.size(); ++i)
                count[i] += count[i - 1];
            keys.resize(count.back());
            forEach(all, part, [&](std::uint32_t k) { keys[count[k >> 16]++] = k; });
            for (KeyParts& parts : all)
                parts.parts_[part] = Part();
            const auto top = std::uint32_t(part) << 24;
            for (std::size_t begin = 0, bucket = 0; bucket < 256; ++bucket) {
                const std::size_t end = count[bucket], repeatedBefore = out.size();
                for (std::size_t i = begin; i < end; ++i) {
                    const std::uint32_t k = keys[i];
                    const std::uint64_t bit = std::uint64_t(1) << (k & 63);
                    std::uint64_t& seen = once[(k & 0xFFFF) >> 6];
                    if (!(seen & bit)) {
                        seen |= bit;
                    } else if (std::uint64_t& again = twice[(k & 0xFFFF) >> 6]; !(again & bit)) {
                        again |= bit;
                        out.push_back(top | k);
                        files += 2;
                    } else {
                        ++files;
                    }
                }
                for (std::size_t i = begin; i < end; ++i)
                    once[(keys[i] & 0xFFFF) >> 6] = 0;
                for (std::size_t i = repeatedBefore; i < out.size(); ++i)
                    twice[(out[i] & 0xFFFF) >> 6] = 0;
                begin = end;
            }
        }
        return out;
    }

    // Each key of part in all, without its top byte.
    template <typename Take> static void forEach(std::span<KeyParts> all, std::size_t part, Take&& take)
    {
        for (const KeyParts& parts : all) {
            const Part& p = parts.parts_[part];
            for (std::size_t b = 0; b < p.blocks.size(); ++b) {
                const char* block = p.blocks[b];
                const char* end = b + 1 == p.blocks.size() ? p.next : block + kBlock * 3;
                for (; block != end; block += 3)
                    take(load4(block) & 0xFFFFFF);
            }
        }
    }

    // A key goes first into its part's stage, which is in the cache; a full
    // stage is streamed into the part's block past the cache, so that the
    // 256 parts' lines are neither read from memory before they are written
    // nor crowd the cache, and the cache keeps the catalog being walked.
    void add(std::uint32_t key)
    {
        const std::size_t part = key >> 24;
        std::uint8_t& staged = staged_[part];
        std::memcpy(stages_[part].keys + staged * 3, &key, 4); // the top byte goes under the next key's
        if (++staged == kStage) {
            stream(part);
            staged = 0;
        }
    }
    void stream(std::size_t part)
    {
        char* to = room(parts_[part]);
#if defined(__SSE2__)
        const auto* from = reinterpret_cast<const __m128i*>(stages_[part].keys);
        for (std::size_t i = 0; i < kStage * 3 / 16; ++i)
            _mm_stream_si128(reinterpret_cast<__m128i*>(to) + i, _mm_load_si128(from + i));
#else
        std::memcpy(to, stages_[part].keys, kStage * 3);
#endif
        parts_[part].next += kStage * 3;
    }
    // Each part's stage into its blocks, for the keys to be read.
    void flushAll()
    {
        for (std::size_t part = 0; part < 256; ++part) {
            if (staged_[part] == 0)
                continue; // no block for a part that has no key
            std::memcpy(room(parts_[part]), stages_[part].keys, staged_[part] * 3);
            parts_[part].next += staged_[part] * 3;
            staged_[part] = 0;
        }
    }

    static constexpr std::size_t kBlock = 4096; // 12 KiB: 256 parts begin with 3 MiB
    static constexpr std::size_t kStage = 64;   // three cache lines
    static_assert(kBlock % kStage == 0, "a stage streamed whole into a block");
    struct Part {
        std::vector<char*> blocks; // in blocks_
        char* next = nullptr;      // where the next key goes in the last block
        char* end = nullptr;       // of the last block
    };
    // Where a stage's keys, or fewer, go next in p: a whole stage always
    // fits, as a block holds a whole number of them.
    char* room(Part& p)
    {
        if (p.next == p.end) {
            // One byte more, for the last key's read of four.
            p.next = static_cast<char*>(blocks_.allocate(kBlock * 3 + 1, 64));
            p.end = p.next + kBlock * 3;
            p.blocks.push_back(p.next);
        }
        return p.next;
    }
    struct alignas(64) Stage {
        char keys[kStage * 3 + 1]; // one byte more, for the last key's write of four
    };

    Stage stages_[256];
    std::uint8_t staged_[256] = {}; // how many keys each stage holds
    Part parts_[256];
    RecordArena blocks_; // one for all parts, so that the blocks fill its pages in turn
};

// The three bits of a word that RepeatedKeys's filter sets for a hash, one
// set of three for each value of twelve of the hash's bits: looked up in a
// table that stays in the nearest cache, rather than made by three shifts
// each time the second pass tests one of its 20 million files.
struct FilterBits {
    std::uint64_t bits[4096];
    constexpr FilterBits() : bits()
    {
        for (std::uint32_t i = 0; i < 4096; ++i) {
            const std::uint32_t h = (i * 0x85EBCA6Bu) ^ ((i * 0xC2B2AE35u) >> 7);
            const std::uint32_t g = h * 0x9E3779B1u;
            bits[i] = std::uint64_t(1) << (g >> 26) | std::uint64_t(1) << (g >> 20 & 63) | std::uint64_t(1) << (g >> 14 & 63);
        }
    }
};
constexpr FilterBits kFilterBits{};

// The hashes that came up more than once in the first pass. A filter of
// 16 bits per hash, three of them set in one word per hash, answers all but
// about one file in 120 of those that are not among them, in one look at
// memory; for the others, a table at most half full, by the hash's top bits,
// answers in one look more (a run of slots rarely leaves its cache line).
class RepeatedKeys {
public:
    explicit RepeatedKeys(const std::vector<std::uint32_t>& keys)
    {
        std::size_t words = 1024;
        while (words * 4 < keys.size() && words < (std::size_t(1) << 25))
            words <<= 1;
        mask_ = std::uint32_t(words - 1);
        filter_.assign(words, 0);
        int bits = 10;
        while ((std::size_t(1) << bits) < keys.size() * 2)
            ++bits;
        shift_ = 32 - bits;
        slots_.assign(std::size_t(1) << bits, 0);
        for (const std::uint32_t k : keys) {
            filter_[k & mask_] |= bitsOf(k);
            if (k == 0) { // 0 marks a free slot
                zero_ = true;
                continue;
            }
            std::size_t at = k >> shift_;
            while (slots_[at] != 0)
                at = (at + 1) & (slots_.size() - 1);
            slots_[at] = k;
        }
    }
    // Whether the hash k came up more than once: when the filter lets it
    // through, whether the table holds it. Each may be fetched beforehand.
    bool passes(std::uint32_t k) const
    {
        const std::uint64_t bits = bitsOf(k);
        return (filter_[k & mask_] & bits) == bits;
    }
    bool holds(std::uint32_t k) const
    {
        if (k == 0)
            return zero_;
        for (std::size_t at = k >> shift_;; at = (at + 1) & (slots_.size() - 1)) {
            if (slots_[at] == k)
                return true;
            if (slots_[at] == 0)
                return false;
        }
    }
    void fetchFilter(std::uint32_t k) const { __builtin_prefetch(&filter_[k & mask_]); }
    void fetchTable(std::uint32_t k) const { __builtin_prefetch(&slots_[k >> shift_]); }

private:
    // Three bits of a word, by bits of the hash that the word's index does
    // not use (the top ones of a product that every bit of it changes).
    static std::uint64_t bitsOf(std::uint32_t k) { return kFilterBits.bits[(k * 0x9E3779B1u) >> 20]; }

    std::vector<std::uint64_t> filter_; // per word, the bits of the hashes that fall in it
    std::vector<std::uint32_t> slots_;  // the hashes, each once, 0 for none
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    bool zero_ = false;
};

// The second pass. Over each catalog, on either lane: the files whose hash
// came up more than once, with their names and their folders' paths, kept
// in the catalog's slot. Then, on the caller's thread in the tree's order,
// for a catalog read to its end (one that is damaged gives none): the same
// files appended to all found so far, their names copied into the result's
// memory once per catalog, so that no file costs an allocation and a group
// takes its name from its first file. At the end the files
// are sorted by hash and split into groups by name and size. Also the sink
// of both passes, which reports each failing catalog once.
class Collect final : public StoreSearchSink {
public:
    // memory: for the files found and their grouping, on the caller's thread.
    Collect(StoreSearchSink& outer, Duplicates& out, RecordArena& memory) : outer_(outer), out_(out), memory_(memory) {}

    LoadResult look(int lane, std::size_t slot, std::string_view image, const RepeatedKeys& repeated,
                    std::uint64_t minSize)
    {
        Lane& l = lanes_[lane];
        Found& found = found_[slot];
        found.clear(); // of a catalog before that failed, if any
        l.links.clear();
        l.starts.clear();
        l.files.clear();
        l.passed.clear();
        // Every file's hash first: the look-ups miss the cache, and with the
        // hashes at hand those a little ahead are fetched during each one.
        const LoadResult load = ForEachRecord(
            image,
            [&](std::size_t, const FolderRecord& f) {
                l.links.push_back({f.parent, f.name});
                l.starts.push_back(std::uint32_t(l.files.size()));
            },
            [&](std::size_t, std::string_view name, std::uint32_t size) {
                if (size >= minSize)
                    l.files.push_back({keyOf(name, size), size, name.data()});
            });
        constexpr std::size_t kAhead = 16;
        for (std::size_t i = 0; i < l.files.size(); ++i) {
            if (i + kAhead < l.files.size())
                repeated.fetchFilter(l.files[i + kAhead].key);
            if (repeated.passes(l.files[i].key))
                l.passed.push_back(std::uint32_t(i));
        }
        l.paths.assign(l.links.size(), -1);
        std::size_t folder = 0; // of the file at hand: the passed files are in the catalog's order
        for (std::size_t i = 0; i < l.passed.size(); ++i) {
            if (i + kAhead < l.passed.size())
                repeated.fetchTable(l.files[l.passed[i + kAhead]].key);
            const Seen& f = l.files[l.passed[i]];
            if (!repeated.holds(f.key))
                continue;
            while (folder + 1 < l.starts.size() && l.starts[folder + 1] <= l.passed[i])
                ++folder;
            std::int32_t& path = l.paths[folder];
            if (path < 0) {
                path = std::int32_t(found.paths.size());
                found.paths.add(
                    [&](std::string& text) { AppendFolderPath(text, l.links, std::int32_t(folder), l.chain); });
            }
            found.files.push_back({f.key, f.size, found.names.size(), f.length(), std::uint32_t(path)});
            found.names.append(f.name, f.length());
        }
        return load;
    }

    // Room for the files of the second pass, so that their vector is not
    // copied as it grows.
    void reserve(std::size_t files) { files_.reserve(files); }

    void keep(std::size_t slot, const QByteArray& file, const QString& title)
    {
        Found& found = found_[slot];
        if (!found.files.empty()) {
            const auto catalog = std::uint32_t(out_.catalogs.size());
            out_.catalogs.push_back({file, title});
            const auto firstFolder = std::uint32_t(out_.folders.size());
            out_.folders.append(found.paths);
            const char* names = out_.memory->store(found.names);
            for (const Candidate& c : found.files)
                files_.push_back({c.key, c.size, names + c.name, c.length, catalog, firstFolder + c.folder});
        }
        found.clear();
    }

    void found(const QByteArray&, const QString&, const CatalogHits&) override {}
    void failed(const QByteArray& file, const QString& message) override
    {
        if (reported_.insert(file).second)
            outer_.failed(file, message);
    }

    // The groups of two disks or more into out_, the largest first; of one
    // size, in the order first met. Each group's places are next to each
    // other in out_.places, but not in the groups' order.
    void groups()
    {
        // One thread takes the hashes below the middle, another those above
        // it; the second has an arena of its own, since an arena serves one
        // thread at a time.
        RecordArena upperMemory;
        Staged lower{inMemory()}, upper{RecordAllocator<char>(&upperMemory)};
        {
            // Each file's hash above its place in files_: sorted by the hash,
            // the files of one group are next to each other in the order
            // met. In an arena given back before the result is made.
            RecordArena sorting;
            InMemory<std::uint64_t> order(files_.size(), RecordAllocator<char>(&sorting)), scratch(order.get_allocator());
            for (std::size_t i = 0; i < files_.size(); ++i)
                order[i] = std::uint64_t(files_[i].key) << 32 | i;
            SortByBits(order, scratch, 32, 64);
            const auto middle = std::lower_bound(order.begin(), order.end(), std::uint64_t(1) << 63);
            OnTwoThreads([&] { stage({middle, order.end()}, upper); }, [&] { stage({order.begin(), middle}, lower); });
        }

        // The places of both, the lower's first; then the groups of both,
        // merged in their order, each with its first file's name and size.
        // Each group's first file is asked for a few groups' time ahead.
        const RecordAllocator<char> outMemory(out_.memory.get());
        out_.groups = Duplicates::InMemory<Duplicates::Group>(outMemory);
        out_.places = Duplicates::InMemory<Duplicates::Place>(outMemory);
        out_.places.reserve(lower.places.size() + upper.places.size());
        out_.places.insert(out_.places.end(), lower.places.begin(), lower.places.end());
        out_.places.insert(out_.places.end(), upper.places.begin(), upper.places.end());
        out_.groups.reserve(lower.ranks.size() + upper.ranks.size());
        const auto fetch = [&](const Staged& staged, std::size_t rank) {
            constexpr std::size_t kAhead = 8;
            if (rank + kAhead < staged.ranks.size())
                __builtin_prefetch(&files_[Staged::firstOf(staged.ranks[rank + kAhead])]);
        };
        for (std::size_t i = 0, j = 0; i < lower.ranks.size() || j < upper.ranks.size();) {
            fetch(lower, i);
            fetch(upper, j);
            const bool fromLower = j == upper.ranks.size() || (i < lower.ranks.size() && lower.ranks[i] < upper.ranks[j]);
            const Staged::Rank r = fromLower ? lower.ranks[i++] : upper.ranks[j++];
            const File& head = files_[Staged::firstOf(r)];
            const std::size_t first = Staged::beginOf(r) + (fromLower ? 0 : lower.places.size());
            out_.groups.push_back({head.size, head.name, head.length, first, Staged::countOf(r)});
        }
    }

private:
    // The groups found among some of the hashes: their places, put aside
    // while their files are at hand, each group's together, and per group
    // its rank, which tells where they are.
    struct Staged {
        explicit Staged(const RecordAllocator<char>& memory) : places(memory), ranks(memory), scratch(memory) {}
        // A group's size, inverted, and its first file met (in files_),
        // above where its places begin and how many they are: sorted, the
        // order the groups are shown in.
        using Rank = unsigned __int128;
        static Rank rankOf(std::uint32_t size, std::uint32_t first, std::size_t begin, std::size_t count)
        {
            return Rank(std::uint64_t(~size) << 32 | first) << 64 | (std::uint64_t(begin) << 32 | count);
        }
        static std::uint32_t firstOf(Rank r) { return std::uint32_t(r >> 64); }
        static std::uint32_t beginOf(Rank r) { return std::uint32_t(r >> 32); }
        static std::uint32_t countOf(Rank r) { return std::uint32_t(r); }
        InMemory<Duplicates::Place> places;
        InMemory<Rank> ranks, scratch;
    };

    // The groups among the files of order (each file's hash above its index
    // in files_, sorted) into staged, sorted.
    void stage(std::span<const std::uint64_t> order, Staged& staged) const
    {
        staged.places.reserve(order.size());
        staged.ranks.reserve(order.size() / 2); // two files at least to a group
        std::vector<std::uint32_t> run;
        // In the hash's order each file and its name is a miss: those a
        // little ahead are asked for while a run is compared.
        std::size_t fileAhead = 0, nameAhead = 0;
        for (std::size_t a = 0, b = 0; a < order.size(); a = b) {
            for (; fileAhead < std::min(a + 32, order.size()); ++fileAhead)
                __builtin_prefetch(&files_[std::uint32_t(order[fileAhead])]);
            for (; nameAhead < std::min(a + 16, order.size()); ++nameAhead)
                __builtin_prefetch(files_[std::uint32_t(order[nameAhead])].name);
            b = a + 1;
            while (b < order.size() && order[b] >> 32 == order[a] >> 32)
                ++b;
            if (b - a < 2)
                continue;
            run.clear();
            for (std::size_t i = a; i < b; ++i)
                run.push_back(std::uint32_t(order[i]));
            // Within one hash (almost always one name and size), the files
            // of each name and size in turn.
            while (!run.empty()) {
                const std::uint32_t first = run.front();
                const File& head = files_[first];
                const std::size_t begin = staged.places.size();
                bool twoDisks = false;
                std::size_t others = 0;
                for (const std::uint32_t f : run) {
                    const File& file = files_[f];
                    if (file.size == head.size && nameOf(file) == nameOf(head)) {
                        staged.places.push_back({file.catalog, file.folder});
                        twoDisks |= file.catalog != head.catalog;
                    } else {
                        run[others++] = f;
                    }
                }
                run.resize(others);
                if (twoDisks) {
                    staged.ranks.push_back(Staged::rankOf(head.size, first, begin, staged.places.size() - begin));
                } else {
                    staged.places.resize(begin);
                }
            }
        }
        SortByBits(staged.ranks, staged.scratch, 64, 128);
    }

    struct Candidate {
        std::uint32_t key;
        std::uint32_t size;
        std::size_t name; // in Found::names
        std::uint8_t length;
        std::uint32_t folder; // in Found::paths
    };
    struct File {
        std::uint32_t key;
        std::uint32_t size;
        const char* name; // in out_.memory
        std::uint8_t length;
        std::uint32_t catalog; // in out_.catalogs
        std::uint32_t folder;  // in out_.folders
    };
    // A file of the catalog a lane works on: two words, since every file of
    // every catalog is written here once. Its folder is found from
    // Lane::starts, for the few files that need it.
    struct Seen {
        std::uint32_t key;
        std::uint32_t size;
        const char* name; // in the catalog's image, just after its length
        std::uint8_t length() const { return std::uint8_t(name[-1]); }
    };
    // Of one catalog, in its slot.
    struct Found {
        std::vector<Candidate> files;
        std::string names;
        TextBlock paths; // GetDirPath of each folder that holds a candidate
        void clear()
        {
            files.clear();
            names.clear();
            paths.clear();
        }
    };
    // Scratch of one lane.
    struct Lane {
        std::vector<FolderLink> links;
        std::vector<std::uint32_t> starts; // per folder, where its files begin in files
        std::vector<Seen> files;           // every file of the catalog
        std::vector<std::uint32_t> passed; // those in files that the filter lets through
        std::vector<std::int32_t> paths;   // each folder's entry in Found::paths, -1 for none yet
        std::vector<std::int32_t> chain;
    };

    RecordAllocator<char> inMemory() const { return RecordAllocator<char>(&memory_); }
    static std::string_view nameOf(const File& f) { return {f.name, f.length}; }

    StoreSearchSink& outer_;
    Duplicates& out_;
    RecordArena& memory_;
    InMemory<File> files_{inMemory()}; // of every catalog kept, in the order met
    std::set<QByteArray> reported_;
    Lane lanes_[2];
    Found found_[CatalogLanes::kSlots];
};

} // namespace

std::uint32_t DuplicateKey(std::string_view name, std::uint32_t size) { return keyOf(name, size); }

bool FindDuplicates(const QByteArray& path, std::uint64_t minSize, StoreSearchSink& sink, Duplicates& out)
{
    out = {};
    // The second pass's files and their grouping, and then the groups found,
    // each in an arena of huge pages: new memory's page faults cost more
    // than its use. The first pass's hashes are given back before.
    RecordArena memory;
    out.memory = std::make_unique<RecordArena>();
    Collect collect(sink, out, memory);
    std::vector<std::uint32_t> keys;
    std::size_t candidates = 0; // files whose hash is among keys
    {
        // Each lane's, in an arena of its own; with their stages, too large
        // for a thread's stack.
        const auto parts = std::make_unique<KeyParts[]>(2);
        const StorePass note{[&](int lane, std::size_t, std::string_view image) {
                                 return parts[lane].addFrom(image, minSize);
                             },
                             [](std::size_t, const QByteArray&, const QString&) {}};
        if (!PassOverStore(path, collect, note))
            return false;
        keys = KeyParts::repeated({parts.get(), 2}, candidates);
    }
    collect.reserve(candidates); // as many as the first pass met, unless a catalog changed since
    const RepeatedKeys repeated(keys);
    keys = {};
    const StorePass second{[&](int lane, std::size_t slot, std::string_view image) {
                               return collect.look(lane, slot, image, repeated, minSize);
                           },
                           [&](std::size_t slot, const QByteArray& file, const QString& title) {
                               collect.keep(slot, file, title);
                           }};
    if (!PassOverStore(path, collect, second))
        return false;
    collect.groups();
    return true;
}

} // namespace qd
