#include "DiskUpdate.h"

#include <QFile>
#include <algorithm>
#include <functional>
#include <optional>

#include "platform/Drives.h"
#include "platform/NameOrder.h"
#include "platform/Text.h"

namespace qd {

const char* const kUpdateWrongDiskMessage = "指定ドライブのディスクは入っていないか、もしくは違うディスクです。";
const char* const kUpdateRefusedMessage = "フォルダの内容を読み込めませんでした。カタログは変更していません。";
const char* const kUpdateCaption = "ディスクの更新";

namespace {

// The names of one kind of row, in row order, as keys of the comparison that
// sorted them: a binary search over them finds an entry's row.
class RowNames {
public:
    RowNames(std::vector<std::string> names, const NameOrder& order) : names_(std::move(names))
    {
        keys_.reserve(names_.size());
        for (const std::string& n : names_)
            keys_.push_back(order.key(fromAnsi(n)));
    }

    // The rows whose names compare equal to the key: [first, last).
    std::pair<std::size_t, std::size_t> equal(const QCollatorSortKey& key) const
    {
        const auto less = [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; };
        const auto range = std::equal_range(keys_.begin(), keys_.end(), key, less);
        return {std::size_t(range.first - keys_.begin()), std::size_t(range.second - keys_.begin())};
    }
    const std::string& name(std::size_t k) const { return names_[k]; }

private:
    std::vector<std::string> names_;
    std::vector<QCollatorSortKey> keys_;
};

// Marks the row each entry stands for. An entry whose name compares equal to
// a row is that row (readme.txt is README.TXT). Where several entries or rows
// compare equal, which a case-sensitive file system allows, an entry takes
// the row of its own exact name first, then the first row no other entry has
// taken; one left without a row is new. Returns, per entry, its row or npos.
template <typename FoundOf>
std::vector<std::size_t> matchRows(const std::vector<const DirEntry*>& entries, const RowNames& rows,
                                   const NameOrder& order, FoundOf found)
{
    constexpr std::size_t none = std::size_t(-1);
    std::vector<std::size_t> match(entries.size(), none);
    std::vector<std::pair<std::size_t, std::size_t>> ranges(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        ranges[i] = rows.equal(order.key(fromAnsi(entries[i]->name)));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (std::size_t k = ranges[i].first; k < ranges[i].second; ++k) {
            if (!found(k) && rows.name(k) == entries[i]->name) {
                found(k) = 1;
                match[i] = k;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (match[i] != none)
            continue;
        for (std::size_t k = ranges[i].first; k < ranges[i].second; ++k) {
            if (!found(k)) {
                found(k) = 1;
                match[i] = k;
                break;
            }
        }
    }
    return match;
}

} // namespace

UpdateResult MergeListing(TDisk& disk, std::int32_t folder, const ShownRows& rows, FolderReader& reader,
                          const NameOrder& order, const ScanClock& clock)
{
    UpdateResult result;
    result.folderPath = GetDirPath(folder, disk) + '\\';
    // The whole listing before any change: one that breaks off half-way must
    // not pass for a folder whose other entries have gone.
    std::vector<DirEntry> listed;
    for (DirEntry entry; reader.next(entry);)
        listed.push_back(std::move(entry));
    if (reader.status() != ListStatus::Ok || folder < 0 || std::size_t(folder) >= disk.DirList.size()) {
        result.status = UpdateResult::Refused;
        result.listing = reader.status() != ListStatus::Ok ? reader.status() : ListStatus::NotFound;
        return result;
    }

    // Mark: every row not seen yet.
    std::vector<std::string> folderNames, fileNames;
    for (std::int32_t d : rows.folders) {
        TDir& dir = disk.DirList[std::size_t(d)];
        dir.Found = 0;
        folderNames.emplace_back(dir.Name.view());
    }
    TFileList& files = disk.DirList[std::size_t(folder)].FileList;
    for (std::int32_t f : rows.files) {
        files[std::size_t(f)].Found = 0;
        fileNames.emplace_back(files[std::size_t(f)].Name.view());
    }
    const RowNames folderRows(std::move(folderNames), order), fileRows(std::move(fileNames), order);

    // Look each entry up among the rows of its own kind.
    std::vector<const DirEntry*> folderEntries, fileEntries;
    for (const DirEntry& e : listed)
        (e.attr & kAttrDirectory ? folderEntries : fileEntries).push_back(&e);
    const std::vector<std::size_t> folderMatch =
        matchRows(folderEntries, folderRows, order,
                  [&](std::size_t k) -> std::uint8_t& { return disk.DirList[std::size_t(rows.folders[k])].Found; });
    const std::vector<std::size_t> fileMatch =
        matchRows(fileEntries, fileRows, order,
                  [&](std::size_t k) -> std::uint8_t& { return files[std::size_t(rows.files[k])].Found; });

    // Add what is new, in the order the listing gave it.
    for (std::size_t i = 0; i < folderEntries.size(); ++i) {
        if (folderMatch[i] != std::size_t(-1))
            continue;
        TDir& dir = disk.DirList.emplace_back();
        SetDirData(*folderEntries[i], folder, dir, clock);
        result.addedFolders.push_back(folderEntries[i]->name);
    }
    TFileList& fileList = disk.DirList[std::size_t(folder)].FileList; // DirList may have moved
    const std::size_t oldFileCount = fileList.size();
    for (std::size_t i = 0; i < fileEntries.size(); ++i) {
        if (fileMatch[i] != std::size_t(-1))
            continue;
        TFile& file = fileList.emplace_back();
        SetFileData(*fileEntries[i], file, clock);
        file.IconIndex = -1;
        result.addedFiles.push_back(fileEntries[i]->name);
    }

    // Remove what was not seen. Each folder goes with everything below it;
    // from the highest index down, so that the lower ones still stand where
    // the rows say (a folder's subtree lies wholly above the folder).
    std::vector<std::int32_t> vanished;
    for (std::size_t k = 0; k < rows.folders.size(); ++k) {
        if (!disk.DirList[std::size_t(rows.folders[k])].Found) {
            vanished.push_back(rows.folders[k]);
            result.removedFolders.push_back(folderRows.name(k));
        }
    }
    std::sort(vanished.begin(), vanished.end(), std::greater<>());
    for (std::int32_t d : vanished)
        DeleteDir(disk, d);

    TFileList& remaining = disk.DirList[std::size_t(folder)].FileList;
    std::vector<bool> drop(oldFileCount, false);
    for (std::int32_t f : rows.files) {
        if (!remaining[std::size_t(f)].Found) {
            drop[std::size_t(f)] = true;
            result.removedFiles.emplace_back(remaining[std::size_t(f)].Name.view());
        }
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < remaining.size(); ++i) {
        if (i < oldFileCount && drop[i])
            continue;
        if (out != i)
            remaining[out] = std::move(remaining[i]);
        ++out;
    }
    remaining.erase(remaining.begin() + std::ptrdiff_t(out), remaining.end());
    return result;
}

UpdateResult UpdateFolder(TDisk& disk, std::int32_t folder, const ShownRows& rows, const NameOrder& order)
{
    UpdateResult result;
    result.folderPath = GetDirPath(folder, disk) + '\\';
    // The drive the catalog was made from: the first character of the path.
    std::uint32_t serial = 0;
    std::string label;
    if (!GetVolumeInfo(result.folderPath, serial, label)) {
        result.status = UpdateResult::NoDisk;
        return result;
    }
    if (serial != disk.SerialNo) {
        result.status = UpdateResult::OtherDisk;
        return result;
    }
    const std::optional<QString> real = RealPath(result.folderPath);
    if (!real) {
        result.status = UpdateResult::Refused;
        result.listing = ListStatus::NotFound;
        return result;
    }
    FolderReader reader(QFile::encodeName(*real).toStdString());
    return MergeListing(disk, folder, rows, reader, order, ScanClock::current());
}

} // namespace qd
