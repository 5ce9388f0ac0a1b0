#pragma once

#include <QChar>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "catalog/DiskFile.h"

namespace qd {

// The disk identification without windows: which catalogued disk is in a
// drive, by its volume serial number. The main window walks the tree's disk
// nodes and qdcat the catalog store; both hand the catalog files over in the
// tree's order and get the same answer.

// What the drive holds, read as the identification reads it: the free-space
// query tells whether a disk is in at all, then the volume information gives
// its serial number.
struct DriveDisk {
    enum State {
        NoDisk,   // the free space cannot be read: "ディスクが入っていません。"
        NoSerial, // a disk, but no volume information: nothing can match
        Present,  // serialNo is the disk's
    };
    State state = NoDisk;
    std::uint32_t serialNo = 0;
};
DriveDisk ReadDriveDisk(QChar letter);

// A catalog that could not take part, in the words the loader has for it:
// either load (5101, 5104 or 5105, with the loader's message) or error (a
// file that cannot be read or is damaged).
struct SkippedCatalog {
    std::size_t index = 0; // into the list of files
    LoadResult load;
    std::optional<CatalogError> error;
};

// The first catalog of files, from index from on, whose head records
// serialNo: heads only, nothing is loaded whole, as a quick look that a disk
// put in is catalogued needs. A catalog of data type above 2 is passed over
// in silence; a head that cannot be read is told to skipped.
std::optional<std::size_t> FindCatalogBySerial(std::uint32_t serialNo, const std::vector<std::filesystem::path>& files,
                                               const std::function<void(const SkippedCatalog&)>& skipped,
                                               std::size_t from = 0);

// The first catalog of files, in their order, that records serialNo. Each
// file's head is read on to its serial number; a catalog whose head matches
// is then loaded whole into disk, and counts only when that load succeeds
// (and still records serialNo). A catalog of data type above 2 is no
// candidate and passed over in silence; every other catalog that fails, at
// its head or in its whole load, is told to skipped and the walk goes on.
// disk holds the match's catalog afterwards, or the last candidate's.
// nullopt when none matches.
std::optional<std::size_t> FindDiskBySerial(std::uint32_t serialNo, const std::vector<std::filesystem::path>& files,
                                            TDisk& disk,
                                            const std::function<void(const SkippedCatalog&)>& skipped);

} // namespace qd
