#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "browse/StoreSearch.h"
#include "catalog/Disk.h"

namespace qd::cli {

// Loads the catalog file (the file system's bytes) or says why not on
// standard error; false means exit status kUnreadable.
bool LoadCatalog(const QByteArray& file, TDisk& disk);

// Says on standard error that a folder of the store could not be listed
// (errno error), so the catalogs in it are left out.
void ReportUnlisted(const QByteArray& folder, int error);

// A store walk's sink that names each catalog that cannot be read, and each
// folder that cannot be listed, on standard error, where it is passed over;
// found() does nothing.
class ReportFailures : public StoreSearchSink {
public:
    void found(const QByteArray&, const QString&, const CatalogHits&) override {}
    void failed(const QByteArray& file, const QString& message) override;
    void unlisted(const QByteArray& folder, int error) override { ReportUnlisted(folder, error); }
};

// The folder a command names by its path (D:\PHOTO\2001), the drive letter
// in either case; -1 when the catalog has none.
std::int32_t FindFolderArg(const TDisk& disk, const QString& path);

// The full paths of the folders (UTF-8, D:\PHOTO\2001), in DirList order,
// each made from its parent's. A path is dropped once the last of its
// sub-folders has been given its own, so only the walk's frontier is held:
// a chain of n folders keeps two paths, not n.
class FolderPaths {
public:
    explicit FolderPaths(const TDisk& disk);
    // The path of folder i; to be asked in increasing order of i. Valid
    // until the next call.
    const std::string& next(std::size_t i);

private:
    const TDisk& disk_;
    std::vector<std::string> paths_;
    std::vector<std::int32_t> lastChild_;
    std::string last_;
};

} // namespace qd::cli
