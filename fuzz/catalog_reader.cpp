// Feeds arbitrary bytes to the catalog reader: it must fail cleanly, never read
// out of bounds, never allocate more than the data could hold, and leave
// DirList either complete or empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "catalog/DiskFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qd::TDisk disk;
    try {
        const qd::LoadResult r = qd::ParseDiskData(std::string_view(reinterpret_cast<const char*>(data), size), disk);
        if (r.ok()) {
            // What was read must write back to the same bytes (bytes after the
            // last record are not part of the catalog and are not kept).
            const std::string built = qd::BuildDiskData(disk);
            if (built.size() > size || std::string_view(reinterpret_cast<const char*>(data), built.size()) != built)
                std::abort();
            for (std::size_t i = 0; i < disk.DirList.size(); ++i)
                (void)qd::GetDirPath(std::int32_t(i), disk);
        } else if (!disk.DirList.empty()) {
            std::abort();
        }
    } catch (const qd::CatalogError&) {
        if (!disk.DirList.empty())
            std::abort();
    }
    return 0;
}
