#include "StoreDuplicates.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <span>

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

// A 32-bit hash of a name and a size. The name is read in whole words, the
// last one overlapping the word before it (the length is in the hash, so
// no two names meet that way): no loop over single bytes, no call.
std::uint32_t keyOf(std::string_view name, std::uint32_t size)
{
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const char* p = name.data();
    const std::size_t n = name.size();
    std::uint64_t h = (std::uint64_t(size) << 8 | n) * kMul;
    if (n >= 8) {
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            h = (h ^ load8(p + i)) * kMul;
            h ^= h >> 32;
        }
        h = (h ^ load8(p + n - 8)) * kMul;
    } else if (n >= 4) {
        h = (h ^ (std::uint64_t(load4(p)) << 32 | load4(p + n - 4))) * kMul;
    } else if (n > 0) {
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        h = (h ^ (std::uint64_t(b[0]) | std::uint64_t(b[n / 2]) << 8 | std::uint64_t(b[n - 1]) << 16)) * kMul;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return std::uint32_t(h >> 32);
}

// The hashes of the first pass, in 256 parts by their top byte, each part
// kept in blocks: appending never copies, and each part fits the cache when
// it is sorted.
class KeyParts {
public:
    void add(std::uint32_t key)
    {
        Part& p = parts_[key >> 24];
        if (p.used == kBlock) {
            p.blocks.push_back(static_cast<std::uint32_t*>(blocks_.allocate(kBlock * sizeof(std::uint32_t), 64)));
            p.used = 0;
        }
        p.blocks.back()[p.used++] = key;
    }

    // The hashes met more than once in any of all, sorted; the parts are
    // emptied on the way.
    static std::vector<std::uint32_t> repeated(std::span<KeyParts> all)
    {
        std::vector<std::uint32_t> out, keys, scratch;
        for (std::size_t part = 0; part < 256; ++part) {
            keys.clear();
            for (KeyParts& parts : all) {
                Part& p = parts.parts_[part];
                for (std::size_t b = 0; b < p.blocks.size(); ++b)
                    keys.insert(keys.end(), p.blocks[b], p.blocks[b] + (b + 1 == p.blocks.size() ? p.used : kBlock));
                p = Part();
            }
            sortLow24(keys, scratch);
            for (std::size_t i = 1; i < keys.size(); ++i) {
                if (keys[i] == keys[i - 1] && (out.empty() || out.back() != keys[i]))
                    out.push_back(keys[i]);
            }
        }
        return out;
    }

private:
    static constexpr std::size_t kBlock = 4096; // 16 KiB: 256 parts begin with 4 MiB
    struct Part {
        Part() { used = kBlock; }
        std::vector<std::uint32_t*> blocks; // in blocks_
        std::size_t used;
    };

    // The keys of one part share their top byte: two passes of twelve bits
    // sort them.
    static void sortLow24(std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& scratch)
    {
        scratch.resize(keys.size());
        for (int shift : {0, 12}) {
            std::vector<std::uint32_t> count(4097, 0);
            for (std::uint32_t k : keys)
                ++count[((k >> shift) & 0xFFF) + 1];
            for (std::size_t i = 1; i < count.size(); ++i)
                count[i] += count[i - 1];
            for (std::uint32_t k : keys)
                scratch[count[(k >> shift) & 0xFFF]++] = k;
            keys.swap(scratch);
        }
    }

    Part parts_[256];
    RecordArena blocks_; // one for all parts, so that the blocks fill its pages in turn
};

// The hashes that came up more than once in the first pass. A filter of
// 16 bits per hash, three of them set in one word per hash, answers all but
// about one file in 200 of those that are not among them, in one look at
// memory; for the others, the hashes that share their top bits (one or two)
// are found through an index by those bits.
class RepeatedKeys {
public:
    explicit RepeatedKeys(std::vector<std::uint32_t> keys) : keys_(std::move(keys))
    {
        std::size_t words = 1024;
        while (words * 4 < keys_.size() && words < (std::size_t(1) << 25))
            words <<= 1;
        mask_ = std::uint32_t(words - 1);
        filter_.assign(words, 0);
        for (std::uint32_t k : keys_)
            filter_[k & mask_] |= bitsOf(k);
        int topBits = 8;
        while (topBits < 30 && (std::size_t(1) << topBits) < keys_.size())
            ++topBits;
        shift_ = 32 - topBits;
        start_.assign((std::size_t(1) << topBits) + 1, 0);
        for (std::uint32_t k : keys_) // sorted: each bucket's first key is where the next begins
            ++start_[(k >> shift_) + 1];
        for (std::size_t b = 1; b < start_.size(); ++b)
            start_[b] += start_[b - 1];
    }
    // Whether the hash k came up more than once.
    bool has(std::uint32_t k) const
    {
        const std::uint64_t bits = bitsOf(k);
        if ((filter_[k & mask_] & bits) != bits)
            return false;
        const std::uint32_t b = k >> shift_;
        for (std::uint32_t i = start_[b]; i < start_[b + 1]; ++i) {
            if (keys_[i] == k)
                return true;
        }
        return false;
    }

private:
    // Three bits of a word, by bits of the hash that the word's index does not use.
    static std::uint64_t bitsOf(std::uint32_t k)
    {
        const std::uint32_t h = k * 0x9E3779B1u;
        return std::uint64_t(1) << (h >> 26) | std::uint64_t(1) << (h >> 20 & 63) | std::uint64_t(1) << (h >> 14 & 63);
    }

    std::vector<std::uint32_t> keys_; // sorted, each once
    std::vector<std::uint64_t> filter_; // per word, the bits of the hashes that fall in it
    std::vector<std::uint32_t> start_; // per value of the top bits, its first place in keys_
    std::uint32_t mask_ = 0;
    int shift_ = 0;
};

// The second pass. Over each catalog, on either lane: the files whose hash
// came up more than once, with their names and their folders' paths, kept
// in the catalog's slot. Then, on the caller's thread in the tree's order,
// for a catalog read to its end (one that is damaged gives none): one entry
// per such file, and one group per name and size, found through a table of
// its own by the same hash and with its name in one string for all, so that
// no file costs an allocation. Also the sink of both passes, which reports
// each failing catalog once.
class Collect final : public StoreSearchSink {
public:
    Collect(StoreSearchSink& outer, Duplicates& out) : outer_(outer), out_(out) {}

    LoadResult look(int lane, std::size_t slot, std::string_view image, const RepeatedKeys& repeated,
                    std::uint64_t minSize)
    {
        Lane& l = lanes_[lane];
        Found& found = found_[slot];
        found.clear(); // of a catalog before that failed, if any
        l.links.clear();
        l.paths.clear();
        return ForEachRecord(
            image, [&](std::size_t, const FolderRecord& f) { l.links.push_back({f.parent, f.name}); },
            [&](std::size_t folder, std::string_view name, std::uint32_t size) {
                if (size < minSize || !repeated.has(keyOf(name, size)))
                    return;
                l.paths.resize(l.links.size(), -1);
                std::int32_t& path = l.paths[folder];
                if (path < 0) {
                    path = std::int32_t(found.paths.size());
                    found.paths.push_back(FolderPath(l.links, std::int32_t(folder), l.chain));
                }
                found.candidates.push_back({found.names.size(), std::uint8_t(name.size()), size, std::uint32_t(path)});
                found.names += name;
            });
    }

    void keep(std::size_t slot, const QByteArray& file, const QString& title)
    {
        Found& found = found_[slot];
        if (!found.candidates.empty()) {
            const auto catalog = std::uint32_t(out_.catalogs.size());
            out_.catalogs.push_back({file, title});
            const auto firstFolder = std::uint32_t(out_.folders.size());
            out_.folders.insert(out_.folders.end(), std::make_move_iterator(found.paths.begin()),
                                std::make_move_iterator(found.paths.end()));
            for (const Candidate& c : found.candidates) {
                const std::uint32_t g = groupOf(std::string_view(found.names).substr(c.name, c.length), c.size, catalog);
                Group& group = groups_[g];
                group.twoDisks |= group.firstCatalog != catalog;
                ++group.count;
                hits_.push_back({g, {catalog, firstFolder + c.path}});
            }
        }
        found.clear();
    }

    void found(const QByteArray&, const QString&, const CatalogHits&) override {}
    void failed(const QByteArray& file, const QString& message) override
    {
        if (reported_.insert(file).second)
            outer_.failed(file, message);
    }

    // The groups of two disks or more, the largest first.
    std::vector<Duplicates::Group> groups()
    {
        // Each kept group's places, in the order met.
        std::vector<std::uint32_t> slot(groups_.size(), std::uint32_t(-1));
        std::vector<Duplicates::Group> out;
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            const Group& group = groups_[g];
            if (!group.twoDisks)
                continue;
            slot[g] = std::uint32_t(out.size());
            Duplicates::Group& kept = out.emplace_back();
            kept.name = nameOf(group);
            kept.size = group.size;
            kept.places.reserve(group.count);
        }
        for (const Hit& hit : hits_) {
            if (slot[hit.group] != std::uint32_t(-1))
                out[slot[hit.group]].places.push_back(hit.place);
        }
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.size > b.size; });
        return out;
    }

private:
    struct Candidate {
        std::size_t name; // in Found::names
        std::uint8_t length;
        std::uint32_t size;
        std::uint32_t path; // in Found::paths
    };
    // Of one catalog, in its slot.
    struct Found {
        std::vector<Candidate> candidates;
        std::string names;
        std::vector<std::string> paths; // GetDirPath of each folder that holds a candidate
        void clear()
        {
            candidates.clear();
            names.clear();
            paths.clear();
        }
    };
    // Scratch of one lane.
    struct Lane {
        std::vector<FolderLink> links;
        std::vector<std::int32_t> paths; // each folder's entry in Found::paths, -1 for none yet
        std::vector<std::int32_t> chain;
    };
    struct Group {
        std::size_t name; // in names_
        std::uint8_t length;
        std::uint32_t size;
        std::uint32_t firstCatalog;
        std::uint32_t count = 0;
        bool twoDisks = false;
    };
    struct Hit {
        std::uint32_t group;
        Duplicates::Place place;
    };

    std::string_view nameOf(const Group& g) const { return std::string_view(names_).substr(g.name, g.length); }

    // The group of that name and size, made when first met. Open addressing,
    // at most half full; a slot holds a group's index plus one.
    std::uint32_t groupOf(std::string_view name, std::uint32_t size, std::uint32_t catalog)
    {
        if ((groups_.size() + 1) * 2 > slots_.size())
            grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = keyOf(name, size) & mask;; at = (at + 1) & mask) {
            const std::uint32_t s = slots_[at];
            if (s == 0) {
                slots_[at] = std::uint32_t(groups_.size() + 1);
                groups_.push_back({names_.size(), std::uint8_t(name.size()), size, catalog});
                names_ += name; // at most 255 bytes: a name's length is one byte in the catalog
                return std::uint32_t(groups_.size() - 1);
            }
            const Group& g = groups_[s - 1];
            if (g.size == size && nameOf(g) == name)
                return s - 1;
        }
    }
    void grow()
    {
        slots_.assign(std::max<std::size_t>(1024, slots_.size() * 2), 0);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            std::size_t at = keyOf(nameOf(groups_[g]), groups_[g].size) & mask;
            while (slots_[at] != 0)
                at = (at + 1) & mask;
            slots_[at] = std::uint32_t(g + 1);
        }
    }

    StoreSearchSink& outer_;
    Duplicates& out_;
    std::vector<std::uint32_t> slots_;
    std::vector<Group> groups_; // in the order first met
    std::string names_;
    std::vector<Hit> hits_;
    std::set<QByteArray> reported_;
    Lane lanes_[2];
    Found found_[CatalogLanes::kSlots];
};

} // namespace

bool FindDuplicates(const QByteArray& path, std::uint64_t minSize, StoreSearchSink& sink, Duplicates& out)
{
    out = {};
    Collect collect(sink, out);
    std::vector<std::uint32_t> keys;
    {
        // The first pass takes note of every file's hash, each lane in parts
        // of its own; its memory goes before the second pass takes its own.
        KeyParts parts[2];
        const StorePass note{[&](int lane, std::size_t, std::string_view image) {
                                 return ForEachRecord(
                                     image, [](std::size_t, const FolderRecord&) {},
                                     [&](std::size_t, std::string_view name, std::uint32_t size) {
                                         if (size >= minSize)
                                             parts[lane].add(keyOf(name, size));
                                     });
                             },
                             [](std::size_t, const QByteArray&, const QString&) {}};
        if (!PassOverStore(path, collect, note))
            return false;
        keys = KeyParts::repeated(parts);
    }
    const RepeatedKeys repeated(std::move(keys));
    const StorePass second{[&](int lane, std::size_t slot, std::string_view image) {
                               return collect.look(lane, slot, image, repeated, minSize);
                           },
                           [&](std::size_t slot, const QByteArray& file, const QString& title) {
                               collect.keep(slot, file, title);
                           }};
    if (!PassOverStore(path, collect, second))
        return false;
    out.groups = collect.groups();
    return true;
}

} // namespace qd
