#include "Catalogs.h"

#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "catalog/Cp932.h"
#include "browse/FolderRows.h"
#include "catalog/DiskFile.h"
#include "platform/CatalogStore.h"
#include "platform/Drives.h"
#include "platform/Text.h"

namespace qd::cli {

bool LoadCatalog(const QByteArray& file, TDisk& disk)
{
    try {
        const LoadResult r = LoadDiskData(file.toStdString(), disk);
        if (!r.ok()) {
            printError(QString::fromStdString(r.message));
            return false;
        }
        return true;
    } catch (const CatalogError& e) {
        printError(QString::fromStdString(e.what()));
        return false;
    }
}

void ReportFailures::failed(const QByteArray& file, const QString& message)
{
    printError(DisplayFileName(file) + QStringLiteral(": ") + message);
}

void ReportUnlisted(const QByteArray& folder, int error)
{
    printError(QStringLiteral("cannot list the folder %1 (%2): the catalogs in it are left out")
                   .arg(DisplayFileName(folder), QString::fromLocal8Bit(std::strerror(error))));
}

std::optional<StoreCatalogs> ListCatalogs(const QByteArray& root, bool* unread)
{
    StoreCatalogs out;
    const bool listed = ForEachCatalog(
        root,
        [&](const QByteArray& file, const StoreEntry& entry) {
            out.names.push_back(file);
            out.titles.push_back(entry.text);
            out.files.emplace_back(file.toStdString());
            return true;
        },
        [&](const QByteArray& folder, int error) {
            ReportUnlisted(folder, error);
            if (unread)
                *unread = true;
        });
    if (!listed)
        return std::nullopt;
    return out;
}

std::int32_t FindFolderArg(const TDisk& disk, const QString& path, bool* ambiguous)
{
    std::string bytes = toAnsi(path);
    std::int32_t folder = FindFolder(disk, bytes, ambiguous);
    if (folder < 0 && !bytes.empty() && ParseDriveLetter(path.left(2))) {
        bytes[0] = char(bytes[0] ^ 0x20); // the drive letter in the other case
        folder = FindFolder(disk, bytes, ambiguous);
    }
    return folder;
}

bool LockCatalog(const std::filesystem::path& file, bool wait, std::optional<CatalogLock>& lock)
{
    try {
        lock = CatalogLock::forCatalog(file, wait ? CatalogLock::kWaitForever : CatalogLock::kWaitBriefly);
        return true;
    } catch (const CatalogError& e) {
        printError(QString::fromStdString(e.what()) +
                   (e.code() == CatalogError::Code::Busy ? QStringLiteral(" Nothing written; --wait waits for it.")
                                                          : QString()));
        return false;
    }
}

FolderPaths::FolderPaths(const TDisk& disk) : disk_(disk), paths_(disk.DirList.size()), lastChild_(disk.DirList.size(), -1)
{
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const std::int32_t p = disk.DirList[i].Parent;
        if (p >= 0 && std::size_t(p) < i)
            lastChild_[std::size_t(p)] = std::int32_t(i);
    }
}

const std::string& FolderPaths::next(std::size_t i)
{
    const TDir& d = disk_.DirList[i];
    const std::int32_t p = d.Parent;
    std::string& path = paths_[i];
    // A parent that does not come first never does in a loaded catalog; its name alone then.
    if (p >= 0 && std::size_t(p) < i) {
        path = paths_[std::size_t(p)];
        path += '\\';
        if (lastChild_[std::size_t(p)] == std::int32_t(i))
            std::string().swap(paths_[std::size_t(p)]);
    }
    path += cp932::toUtf8(d.Name);
    if (lastChild_[i] < 0) { // a leaf: no one builds on it
        last_ = std::move(path);
        std::string().swap(path);
        return last_;
    }
    return path;
}

} // namespace qd::cli
