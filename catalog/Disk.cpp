#include "Disk.h"

#include <algorithm>

namespace qd {

void SetDirData(const DirEntry& entry, std::int32_t parent, TDir& dir, const ScanClock& clock)
{
    dir.Name = entry.name;
    RefreshDirData(entry, dir, clock);
    dir.ScanDate = clock.now;
    dir.FileList.clear();
    dir.Parent = parent;
}

void SetFileData(const DirEntry& entry, TFile& file, const ScanClock& clock)
{
    file.Name = entry.name;
    RefreshFileData(entry, file, clock);
}

void RefreshDirData(const DirEntry& entry, TDir& dir, const ScanClock& clock)
{
    dir.Attr = std::uint8_t(entry.attr);
    dir.Date = FileTimeToDateTime(entry.lastWriteTime, clock.utcOffset);
}

void RefreshFileData(const DirEntry& entry, TFile& file, const ScanClock& clock)
{
    file.Attr = std::uint8_t(entry.attr);
    file.Size = entry.size;
    file.CreationTime = FileTimeToDateTime(entry.creationTime, clock.utcOffset);
    file.LastAccessTime = FileTimeToDateTime(entry.lastAccessTime, clock.utcOffset);
    file.LastWriteTime = FileTimeToDateTime(entry.lastWriteTime, clock.utcOffset);
}

std::string GetDirPath(std::int32_t index, const TDisk& disk)
{
    const auto count = std::int64_t(disk.DirList.size());
    std::vector<std::int32_t> chain;
    // A chain longer than the list has a loop: stop there rather than run forever.
    while (index >= 0 && index < count && std::int64_t(chain.size()) < count) {
        chain.push_back(index);
        index = disk.DirList[std::size_t(index)].Parent;
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += '\\';
        path += disk.DirList[std::size_t(*it)].Name.view();
    }
    return path;
}

void DeleteDir(TDisk& disk, std::int32_t index)
{
    DeleteDirs(disk, {index});
}

void DeleteDirs(TDisk& disk, const std::vector<std::int32_t>& indexes)
{
    auto& dirs = disk.DirList;
    std::vector<bool> removed(dirs.size(), false);
    bool any = false;
    for (const std::int32_t index : indexes) {
        if (index >= 0 && std::size_t(index) < dirs.size())
            removed[std::size_t(index)] = any = true;
    }
    if (!any)
        return;
    // Parents come before their children, so one forward pass finds the
    // subtrees and, at the same time, each survivor's new index.
    std::vector<std::int32_t> newIndex(dirs.size(), -1);
    std::int32_t next = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        const std::int32_t p = dirs[i].Parent;
        if (p >= 0 && std::size_t(p) < i && removed[std::size_t(p)])
            removed[i] = true;
        if (!removed[i])
            newIndex[i] = next++;
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        if (removed[i])
            continue;
        TDir& d = dirs[i];
        if (d.Parent >= 0 && std::size_t(d.Parent) < i)
            d.Parent = newIndex[std::size_t(d.Parent)];
        if (out != i)
            dirs[out] = std::move(d);
        ++out;
    }
    dirs.erase(dirs.begin() + std::ptrdiff_t(out), dirs.end());
}

std::int64_t TotalFileCount(const TDisk& disk)
{
    std::int64_t n = 0;
    for (const TDir& d : disk.DirList)
        n += std::int64_t(d.FileList.size());
    return n;
}

} // namespace qd
