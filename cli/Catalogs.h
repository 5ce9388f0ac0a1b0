#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/StoreSearch.h"
#include "catalog/CatalogLock.h"
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

// The catalogs of the store in the order the tree lists them, for the
// identification: their files as the file system names them, their titles.
// nullopt when the root cannot be listed. A folder inside that cannot be
// listed is named on standard error and sets unread (when given).
struct StoreCatalogs {
    std::vector<QByteArray> names;
    std::vector<QString> titles;
    std::vector<std::filesystem::path> files;
};
std::optional<StoreCatalogs> ListCatalogs(const QByteArray& root, bool* unread = nullptr);

// The folder a command names by its path (D:\PHOTO\2001), the drive letter
// in either case; -1 when the catalog has none. ambiguous, when given, tells
// whether more folders have that path (a name may hold a backslash: the
// folder a\b and the folder b in a are both D:\a\b).
std::int32_t FindFolderArg(const TDisk& disk, const QString& path, bool* ambiguous = nullptr);

// Takes the lock of a catalog that a command writes (CatalogLock.h), waiting
// a short while for another writer, or with wait as long as it takes. False,
// once the reason is on standard error, when another program holds it still
// or the lock cannot be had.
bool LockCatalog(const std::filesystem::path& file, bool wait, std::optional<CatalogLock>& lock);

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
