#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
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

// One file whose name matched.
struct FileHit {
    std::int32_t folder = 0; // its folder's index in DirList
    std::uint32_t path = 0;  // that folder's entry in CatalogHits::paths
    AnsiString name;         // TFile.Name
};

// What one catalog gave, in the order of the catalog file: folders in
// DirList order, each folder's files in stored order.
struct CatalogHits {
    std::vector<std::string> paths; // GetDirPath of each folder that holds a hit, once per folder
    std::vector<FileHit> hits;
};

struct CatalogSearchResult {
    LoadResult load;      // the loader's outcome: 5101, 5104 and 5105 give no hits
    bool stopped = false; // the yield asked to stop before the end: no hits either
    CatalogHits found;
};

// Called after the file at index j of a folder has been matched, whenever j
// AND 0x3E8 is not 0 (false for j from 0 to 7 and 16 to 23, then again from
// 1024 to 1031, and so on); returning false stops the search of the catalog.
using SearchYield = std::function<bool()>;

// The search of one catalog after another. Each catalog file is read whole
// once and its file names are matched straight out of its bytes; only a hit
// makes a record. A catalog counts only when read to its end: one that is
// damaged (any length, count or parent that does not fit, an icon that is no
// BMP) throws CatalogError as LoadDiskData does, and no hit of it is handed
// out. The object keeps its scratch (the file buffer and the folder table)
// from catalog to catalog, so memory follows the largest catalog, not their
// number. Only file names are compared; folder names never make a hit.
class CatalogSearch {
public:
    // text: code page 932 bytes. yield: see SearchYield; none for a search
    // that cannot be stopped.
    CatalogSearchResult search(const std::filesystem::path& file, std::string_view text, const SearchYield& yield = {});
    // The same over a catalog image already in memory (never 5101).
    CatalogSearchResult searchData(std::string_view data, std::string_view text, const SearchYield& yield = {});

private:
    struct Folder {
        std::int32_t parent;
        std::string_view name;
    };
    std::uint32_t pathOf(std::int32_t folder, CatalogHits& found);

    ImageBuffer buffer_;
    std::vector<Folder> folders_; // of the catalog being searched
    std::vector<std::int32_t> chain_;
    std::int32_t lastPathFolder_ = -1; // the folder whose path was made last
};

} // namespace qd
