#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

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
    struct Group {
        std::string name; // code page 932
        std::uint32_t size = 0;
        std::vector<Place> places; // in the tree's order, each catalog's in stored order
    };
    std::vector<Catalog> catalogs; // those that hold a duplicate
    std::vector<std::string> folders;
    std::vector<Group> groups; // the largest first; of one size, in the order first met
};

// Finds the files of at least minSize bytes whose name (byte for byte) and
// size a file on another disk below path (a catalog folder, as SearchStore
// takes it) shares; more than one such file on one disk is listed as well.
// Two passes over the catalogs, each read once per pass: the first keeps a
// 32-bit hash of name and size per file, no name; the second keeps the
// names and places of the files whose hash came up twice, and only they
// are compared in full. So memory follows the files by four bytes each and
// the candidates by their names, never all names. A catalog that cannot be
// read is reported to sink.failed once and passed over; found is never
// called. False when path cannot be listed.
bool FindDuplicates(const QByteArray& path, std::uint64_t minSize, StoreSearchSink& sink, Duplicates& out);

} // namespace qd
