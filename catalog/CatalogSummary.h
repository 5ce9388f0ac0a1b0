#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "CatalogImage.h"
#include "DiskFile.h"

namespace qd {

// What a list of disks shows of one catalog: the fields of its head and the
// scan date of its root folder, which come first in the file.
struct CatalogSummary {
    LoadResult load; // 5101, 5104 and 5105 as the loader says them; the rest is set when Ok
    std::uint32_t serialNo = 0;
    std::string volumeLabel; // code page 932
    std::int64_t totalSize = 0;
    std::int64_t freeSize = 0;
    std::size_t folders = 0;
    double scanDate = 0;                // the root folder's ScanDate; 0 without folders
    std::optional<std::uint64_t> files; // with countFiles only
};

// Reads as little of the file as the summary needs: its first block, more
// only when the head is larger (long comments, large icons). With
// countFiles the whole file is read instead and skimmed for the number of
// file records, making none, which also proves every record sound. Throws
// CatalogError as LoadDiskData does: for a file that cannot be read, is no
// regular file, or is damaged in what was read (an icon that is no BMP, a
// length or count that does not fit the file). buffer, when given, is used
// and kept for the next file.
CatalogSummary ReadCatalogSummary(const std::filesystem::path& file, bool countFiles, ImageBuffer* buffer = nullptr);

} // namespace qd
