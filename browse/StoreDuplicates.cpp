#include "StoreDuplicates.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>

#include "StoreSearch.h"
#include "catalog/CatalogSearch.h"

namespace qd {
namespace {

// A 32-bit hash of a name and a size, eight bytes at a time.
std::uint32_t keyOf(std::string_view name, std::uint32_t size)
{
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = (std::uint64_t(size) << 8 | name.size()) * kMul;
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, name.data() + i, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 32;
    }
    if (i < name.size()) {
        std::uint64_t w = 0;
        std::memcpy(&w, name.data() + i, name.size() - i);
        h = (h ^ w) * kMul;
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
            p.blocks.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(kBlock));
            p.used = 0;
        }
        p.blocks.back()[p.used++] = key;
    }

    // The hashes met more than once, sorted; the parts are emptied on the way.
    std::vector<std::uint32_t> repeated()
    {
        std::vector<std::uint32_t> out, keys, scratch;
        for (Part& p : parts_) {
            keys.clear();
            for (std::size_t b = 0; b < p.blocks.size(); ++b)
                keys.insert(keys.end(), p.blocks[b].get(), p.blocks[b].get() + (b + 1 == p.blocks.size() ? p.used : kBlock));
            p = Part();
            sortLow24(keys, scratch);
            for (std::size_t i = 1; i < keys.size(); ++i) {
                if (keys[i] == keys[i - 1] && (out.empty() || out.back() != keys[i]))
                    out.push_back(keys[i]);
            }
        }
        return out;
    }

private:
    static constexpr std::size_t kBlock = 16384;
    struct Part {
        Part() { used = kBlock; }
        std::vector<std::unique_ptr<std::uint32_t[]>> blocks;
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
};

// First pass: takes note of every file's hash and lets none through.
class NoteKeys final : public RecordTest {
public:
    explicit NoteKeys(KeyParts& parts) : parts_(parts) {}
    bool passes(const RecordView& r) override
    {
        parts_.add(keyOf(r.name, r.size));
        return false;
    }

private:
    KeyParts& parts_;
};

// Second pass: the files whose hash came up more than once. A bitmap of
// the hashes' low bits answers most files before the sorted list is asked.
class RepeatedKeys final : public RecordTest {
public:
    explicit RepeatedKeys(std::vector<std::uint32_t> keys) : keys_(std::move(keys))
    {
        std::size_t bits = 1 << 16;
        while (bits < keys_.size() * 8 && bits < (std::size_t(1) << 31))
            bits <<= 1;
        mask_ = std::uint32_t(bits - 1);
        bitmap_.assign(bits / 64, 0);
        for (std::uint32_t k : keys_)
            bitmap_[(k & mask_) >> 6] |= std::uint64_t(1) << (k & 63);
    }
    bool passes(const RecordView& r) override
    {
        const std::uint32_t k = keyOf(r.name, r.size);
        return (bitmap_[(k & mask_) >> 6] >> (k & 63) & 1) && std::binary_search(keys_.begin(), keys_.end(), k);
    }

private:
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint64_t> bitmap_;
    std::uint32_t mask_ = 0;
};

// Reports each failing catalog once over both passes; the second pass's hits
// go to the groups.
class Collect final : public StoreSearchSink {
public:
    Collect(StoreSearchSink& outer, Duplicates& out) : outer_(outer), out_(out) {}

    void found(const QByteArray& file, const QString& title, const CatalogHits& hits) override
    {
        if (!collecting || hits.hits.empty())
            return;
        const auto catalog = std::uint32_t(out_.catalogs.size());
        out_.catalogs.push_back({file, title});
        const auto firstFolder = std::uint32_t(out_.folders.size());
        out_.folders.insert(out_.folders.end(), hits.paths.begin(), hits.paths.end());
        for (std::size_t i = 0; i < hits.hits.size(); ++i) {
            const FileHit& hit = hits.hits[i];
            auto [it, added] = groups_.try_emplace(Key{hits.details[i].size, std::string(hit.name.view())});
            if (added)
                order_.push_back(&*it);
            it->second.push_back({catalog, firstFolder + hit.path});
        }
    }
    void failed(const QByteArray& file, const QString& message) override
    {
        if (reported_.insert(file).second)
            outer_.failed(file, message);
    }

    // The groups of two disks or more, the largest first.
    std::vector<Duplicates::Group> groups()
    {
        std::vector<Duplicates::Group> out;
        for (auto* group : order_) {
            std::vector<Duplicates::Place>& places = group->second;
            const auto twoDisks = std::any_of(places.begin(), places.end(), [&](const Duplicates::Place& p) {
                return p.catalog != places.front().catalog;
            });
            if (twoDisks)
                out.push_back({group->first.name, group->first.size, std::move(places)});
        }
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.size > b.size; });
        return out;
    }

    bool collecting = false;

private:
    struct Key {
        std::uint32_t size;
        std::string name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const { return keyOf(k.name, k.size); }
    };
    StoreSearchSink& outer_;
    Duplicates& out_;
    using Groups = std::unordered_map<Key, std::vector<Duplicates::Place>, KeyHash>;
    Groups groups_;
    std::vector<Groups::value_type*> order_; // as first met; the map's entries stay where they are
    std::set<QByteArray> reported_;
};

} // namespace

bool FindDuplicates(const QByteArray& path, std::uint64_t minSize, StoreSearchSink& sink, Duplicates& out)
{
    out = {};
    Collect collect(sink, out);
    CatalogSearch scratch;
    SearchQuery query;
    query.minSize = minSize;

    KeyParts parts;
    NoteKeys note(parts);
    query.tests = {&note};
    if (!SearchStore(path, query, collect, scratch))
        return false;

    RepeatedKeys repeated(parts.repeated());
    query.tests = {&repeated};
    query.details = true;
    collect.collecting = true;
    if (!SearchStore(path, query, collect, scratch))
        return false;
    out.groups = collect.groups();
    return true;
}

} // namespace qd
