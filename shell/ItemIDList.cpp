#include "ItemIDList.h"

#include <cstring>

namespace qd::itemidlist {

namespace {
std::uint8_t* bytes(PItemIDList item) { return reinterpret_cast<std::uint8_t*>(item); }
} // namespace

void* ShellAllocZero(std::int32_t size)
{
    if (size < 0)
        return nullptr;
    void* memory = SHGetMalloc().Alloc(std::size_t(size));
    if (memory)
        std::memset(memory, 0, std::size_t(size));
    return memory;
}

PItemIDList NextItemID(PItemIDList item)
{
    return reinterpret_cast<PItemIDList>(bytes(item) + ItemIDCount(item));
}

bool SplitItemIDList(PItemIDList list, std::vector<PItemIDList>* items)
{
    if (!items || !list)
        return false;
    items->clear();
    for (PItemIDList item = list; ItemIDCount(item) != 0; item = NextItemID(item))
        items->push_back(item);
    return true;
}

PItemIDList JoinItemIDs(const std::vector<PItemIDList>& items)
{
    std::int32_t sum = 0;
    for (PItemIDList item : items)
        sum += ItemIDCount(item);
    auto* joined = static_cast<std::uint8_t*>(ShellAllocZero(sum + 2));
    if (!joined)
        return nullptr;
    // The zero fill already holds the terminator after the last copy.
    std::uint8_t* p = joined;
    for (PItemIDList item : items) {
        const std::uint16_t count = ItemIDCount(item);
        std::memcpy(p, item, count);
        p += count;
    }
    return reinterpret_cast<PItemIDList>(joined);
}

PItemIDList PathToItemIDList(const QString& path)
{
    // The desktop folder is fetched afresh for each call and let go at its end.
    const std::shared_ptr<ShellFolder> desktop = SHGetDesktopFolder();
    return desktop ? desktop->ParseDisplayName(path) : nullptr;
}

void BindToShellFolder(PCItemIDList list, std::shared_ptr<ShellFolder>& folder)
{
    folder.reset();
    const std::shared_ptr<ShellFolder> desktop = SHGetDesktopFolder();
    if (desktop && list)
        folder = desktop->BindToObject(list);
}

} // namespace qd::itemidlist
