#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/RecordArena.h"
#include "catalog/TextBlock.h"

namespace qd {

class StoreSearchSink;

// Files of the same name and size on two or more disks of the catalog store.
struct Duplicates {
    struct Catalog {
        QByteArray file; // as the file system names it
        QString title;   // as the tree shows it
    };
    struct Place {
        std::uint32_t catalog; // in catalogs
        std::uint32_t folder;  // its GetDirPath in folders
    };
    // Its name is in memory, its places in places, so that a collection
    // with many groups costs no allocation per group.
    struct Group {
        std::uint32_t size = 0;
        const char* name = nullptr; // in memory
        std::uint8_t length = 0;
        std::size_t first = 0; // in places
        std::uint32_t count = 0;
    };
    template <typename T> using InMemory = std::vector<T, RecordAllocator<T>>;

    // Where names, places and groups live: an arena, whose huge pages cost
    // far fewer page faults than the heap's. First, so that it goes last.
    std::unique_ptr<RecordArena> memory;
    std::vector<Catalog> catalogs; // those that hold a duplicate
    TextBlock folders; // GetDirPath of each folder that holds a file whose hash came up twice
    InMemory<Place> places; // each group's together, in the tree's order, each catalog's in stored order
    InMemory<Group> groups; // the largest first; of one size, in the order first met

    std::string_view nameOf(const Group& g) const { return std::string_view(g.name, g.length); }
    std::span<const Place> placesOf(const Group& g) const
    {
        return std::span<const Place>(places).subspan(g.first, g.count);
    }
};

// Finds the files of at least minSize bytes whose name (byte for byte) and
// size a file on another disk below path (a catalog folder, as SearchStore
// takes it) shares; more than one such file on one disk is listed as well.
// Two passes over the catalogs, each read once per pass: the first keeps a
// 32-bit hash of name and size per file, no name; the second keeps the
// names and places of the files whose hash came up twice, and only they
// are compared in full. So memory follows the files by three bytes each and
// the candidates by their names, never all names. A catalog that cannot be
// read is reported to sink.failed once and passed over; found is never
// called. False when path cannot be listed.
bool FindDuplicates(const QByteArray& path, std::uint64_t minSize, StoreSearchSink& sink, Duplicates& out);

// The 32-bit hash of a file's name and size that both passes take, so that
// a test can find two files that share one.
std::uint32_t DuplicateKey(std::string_view name, std::uint32_t size);

} // namespace qd
