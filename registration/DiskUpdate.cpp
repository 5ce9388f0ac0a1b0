#include "DiskUpdate.h"

#include <algorithm>

#include "platform/Drives.h"
#include "platform/NameOrder.h"
#include "platform/RealFolder.h"
#include "platform/Text.h"

namespace qd {

const char* const kUpdateWrongDiskMessage = "指定ドライブのディスクは入っていないか、もしくは違うディスクです。";
const char* const kUpdateRefusedMessage = "フォルダの内容を読み込めませんでした。カタログは変更していません。";
const char* const kUpdateCaption = "ディスクの更新";

namespace {

// The names of one kind of row, in row order, as keys of the comparison that
// sorted them: a binary search over them finds an entry's row. The keys are
// made at the first search, so rows that no entry is looked up among (the
// folders of a folder whose sub-folders have all gone) cost none.
class RowNames {
public:
    RowNames(std::vector<std::string> names, const NameOrder& order) : names_(std::move(names)), order_(order) {}

    // The rows whose names compare equal to the key: [first, last).
    std::pair<std::size_t, std::size_t> equal(const QCollatorSortKey& key)
    {
        if (keys_.size() != names_.size()) {
            keys_.reserve(names_.size());
            for (const std::string& n : names_)
                keys_.push_back(order_.key(fromAnsi(n)));
        }
        const auto less = [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; };
        const auto range = std::equal_range(keys_.begin(), keys_.end(), key, less);
        return {std::size_t(range.first - keys_.begin()), std::size_t(range.second - keys_.begin())};
    }
    const std::string& name(std::size_t k) const { return names_[k]; }
    bool empty() const { return names_.empty(); }

private:
    std::vector<std::string> names_;
    const NameOrder& order_;
    std::vector<QCollatorSortKey> keys_;
};

// Whether a real name is a recorded one: the same but for letter case
// (README.TXT is readme.txt). The comparison that sorts the rows also equates
// full and half width, hiragana and katakana, so it only narrows the search:
// ＡＢＣ.txt renamed ABC.txt, or あいう.txt renamed アイウ.txt, is another name.
bool sameName(std::string_view recorded, std::string_view real)
{
    return recorded == real || fromAnsi(recorded).compare(fromAnsi(real), Qt::CaseInsensitive) == 0;
}

// Marks the row each entry stands for. An entry whose name is a row's but
// for case is that row. Where several entries or rows are, which a
// case-sensitive file system allows, an entry takes the row of its own exact
// name first, then the first row no other entry has taken; one left without
// a row is new. Returns, per entry, its row or npos.
template <typename FoundOf>
std::vector<std::size_t> matchRows(const std::vector<const DirEntry*>& entries, RowNames& rows,
                                   const NameOrder& order, FoundOf found)
{
    constexpr std::size_t none = std::size_t(-1);
    std::vector<std::size_t> match(entries.size(), none);
    if (rows.empty()) // a folder recorded empty, as a new one is: no key to make
        return match;
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
            if (!found(k) && sameName(rows.name(k), entries[i]->name)) {
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
    RowNames folderRows(std::move(folderNames), order), fileRows(std::move(fileNames), order);

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

    // What stays takes what the disk says of it now, its name and comment kept.
    for (std::size_t i = 0; i < folderEntries.size(); ++i)
        if (folderMatch[i] != std::size_t(-1))
            RefreshDirData(*folderEntries[i], disk.DirList[std::size_t(rows.folders[folderMatch[i]])], clock);
    for (std::size_t i = 0; i < fileEntries.size(); ++i)
        if (fileMatch[i] != std::size_t(-1))
            RefreshFileData(*fileEntries[i], files[std::size_t(rows.files[fileMatch[i]])], clock);

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

    // Remove what was not seen, each folder with everything below it, all in
    // one pass over DirList however many there are.
    std::vector<std::int32_t> vanished;
    for (std::size_t k = 0; k < rows.folders.size(); ++k) {
        if (!disk.DirList[std::size_t(rows.folders[k])].Found) {
            vanished.push_back(rows.folders[k]);
            result.removedFolders.push_back(folderRows.name(k));
        }
    }
    DeleteDirs(disk, vanished);

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
    RealFolder real = FindRealFolder(disk, folder);
    if (!real.ok()) {
        result.status = UpdateResult::Refused;
        result.listing = real.status;
        return result;
    }
    FolderReader reader(std::move(real.fd));
    return MergeListing(disk, folder, rows, reader, order, ScanClock::current());
}

} // namespace qd
