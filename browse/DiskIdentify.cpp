#include "DiskIdentify.h"

#include <string>

#include "platform/Drives.h"
#include "platform/Logging.h"

namespace qd {

DriveDisk ReadDriveDisk(QChar letter)
{
    const std::string root = std::string(1, char(letter.toLatin1())) + ":\\";
    std::int64_t total = 0, free = 0;
    if (!GetDiskSpace(root, total, free))
        return {DriveDisk::NoDisk, 0};
    DriveDisk disk{DriveDisk::NoSerial, 0};
    std::string label;
    if (GetVolumeInfo(root, disk.serialNo, label))
        disk.state = DriveDisk::Present;
    return disk;
}

std::optional<std::size_t> FindCatalogBySerial(std::uint32_t serialNo, const std::vector<std::filesystem::path>& files,
                                               const std::function<void(const SkippedCatalog&)>& skipped,
                                               std::size_t from)
{
    for (std::size_t i = from; i < files.size(); ++i) {
        try {
            // Thousands of catalogs are passed over by their first block.
            const CatalogSerial head = ReadCatalogSerial(files[i]);
            if (!head.load.ok()) {
                if (head.dataType <= 2)
                    skipped({i, head.load, std::nullopt});
                else
                    qCDebug(lcCatalog) << "catalog of data type" << int(head.dataType) << "passed over:" << files[i].c_str();
                continue;
            }
            if (head.serialNo == serialNo)
                return i;
        } catch (const CatalogError& e) {
            SkippedCatalog s;
            s.index = i;
            s.error = e;
            skipped(s);
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindDiskBySerial(std::uint32_t serialNo, const std::vector<std::filesystem::path>& files,
                                            TDisk& disk,
                                            const std::function<void(const SkippedCatalog&)>& skipped)
{
    for (auto i = FindCatalogBySerial(serialNo, files, skipped); i; i = FindCatalogBySerial(serialNo, files, skipped, *i + 1)) {
        try {
            // A candidate counts only once the whole catalog has been read.
            const LoadResult whole = LoadDiskData(files[*i], disk);
            if (!whole.ok()) {
                skipped({*i, whole, std::nullopt});
                continue;
            }
            if (disk.SerialNo == serialNo) // the file may have been replaced since its head was read
                return i;
        } catch (const CatalogError& e) {
            SkippedCatalog s;
            s.index = *i;
            s.error = e;
            skipped(s);
        }
    }
    return std::nullopt;
}

} // namespace qd
