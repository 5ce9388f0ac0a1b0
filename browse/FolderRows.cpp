#include "FolderRows.h"

#include <algorithm>
#include <numeric>

#include "catalog/Cp932.h"
#include "platform/NameOrder.h"
#include "platform/Text.h"

namespace qd {
namespace {

// Sorts with collation keys made once per name: far cheaper than collating
// every comparison of a large folder.
template <typename NameOf> std::vector<std::int32_t> sortedIndexes(std::size_t n, NameOf nameOf, const NameOrder& order)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        keys.push_back(order.key(fromAnsi(nameOf(i))));
    std::vector<std::int32_t> idx(n);
    std::iota(idx.begin(), idx.end(), 0);
    std::sort(idx.begin(), idx.end(), [&](std::int32_t a, std::int32_t b) {
        return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0;
    });
    return idx;
}

} // namespace

ArrangedFolder ArrangeFolder(TDisk& disk, std::int32_t folder, const NameOrder& order)
{
    ArrangedFolder result;
    std::vector<std::int32_t> subfolders;
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const TDir& d = disk.DirList[i];
        result.totalFileCount += std::int64_t(d.FileList.size());
        if (d.Parent == folder && std::int32_t(i) != folder)
            subfolders.push_back(std::int32_t(i));
    }
    if (folder < 0 || std::size_t(folder) >= disk.DirList.size())
        return result;

    const auto folderOrder = sortedIndexes(
        subfolders.size(), [&](std::size_t i) { return disk.DirList[std::size_t(subfolders[i])].Name.view(); }, order);
    TFileList& files = disk.DirList[std::size_t(folder)].FileList;
    const auto fileOrder = sortedIndexes(files.size(), [&](std::size_t i) { return files[i].Name.view(); }, order);

    TFileList sorted; // from the heap: a folder shown again and again takes no more of the arena
    sorted.reserve(files.size());
    for (std::int32_t i : fileOrder)
        sorted.push_back(std::move(files[std::size_t(i)]));
    files = std::move(sorted);

    result.rows.reserve(subfolders.size() + files.size());
    for (std::int32_t i : folderOrder)
        result.rows.push_back({FolderRow::Folder, subfolders[std::size_t(i)]});
    for (std::size_t i = 0; i < files.size(); ++i)
        result.rows.push_back({FolderRow::File, std::int32_t(i)});
    return result;
}

QString FirstLine(std::string_view cp932)
{
    const auto end = cp932.find_first_of("\r\n");
    return fromAnsi(cp932.substr(0, end));
}

std::int32_t FindFolder(const TDisk& disk, std::string_view path, bool* ambiguous)
{
    if (ambiguous)
        *ambiguous = false;
    // Drop trailing backslashes, but not the trail byte of a double-byte
    // character such as 表 (0x95 0x5C), which ends a name.
    std::size_t keep = 0;
    for (std::size_t i = 0; i < path.size();) {
        const bool pair = cp932::isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
        i += pair ? 2 : 1;
        if (pair || path[i - 1] != '\\')
            keep = i;
    }
    path = path.substr(0, std::max(keep, std::min<std::size_t>(path.size(), 2)));
    // One pass in DirList order, parents before their children: matched[i] is
    // the length of the prefix of path that GetDirPath(i) equals, or -1. So the
    // path's components are followed through the parent links, and no
    // folder's full path is ever made. Names are compared as bytes, exactly
    // as GetDirPath's result would be.
    std::vector<std::int64_t> matched(disk.DirList.size(), -1);
    std::int32_t found = -1;
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const TDir& d = disk.DirList[i];
        const std::string_view name = d.Name.view();
        std::size_t from = 0;
        if (d.Parent >= 0) {
            if (std::size_t(d.Parent) >= i || matched[std::size_t(d.Parent)] < 0)
                continue;
            from = std::size_t(matched[std::size_t(d.Parent)]);
            if (from >= path.size() || path[from] != '\\')
                continue;
            ++from;
        }
        if (from + name.size() > path.size() || path.compare(from, name.size(), name) != 0)
            continue;
        matched[i] = std::int64_t(from + name.size());
        if (matched[i] != std::int64_t(path.size()))
            continue;
        if (found >= 0) {
            *ambiguous = true;
            break;
        }
        found = std::int32_t(i);
        if (!ambiguous)
            break;
    }
    return found;
}

} // namespace qd
