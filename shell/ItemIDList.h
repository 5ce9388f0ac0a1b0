#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ShellNamespace.h"

// Free-standing helpers on item-ID lists: allocate, walk, split, join, parse
// a path, bind to a folder. Every list they allocate comes from the shell
// allocator (SHGetMalloc) and is freed with it by its owner.
namespace qd::itemidlist {

// size bytes from the shell allocator, all zero; nullptr when the allocator
// refuses or size is negative.
void* ShellAllocZero(std::int32_t size);

// The address of item plus its count. No end test: the caller stops at the
// terminator.
PItemIDList NextItemID(PItemIDList item);

// Clears items and appends a pointer to each item of list, in order, up to
// the terminator (pointers into list, not copies); true. false, with items
// untouched, when items or list is missing.
bool SplitItemIDList(PItemIDList list, std::vector<PItemIDList>* items);

// A new list holding copies of the given items one after another, ended by
// the terminator; an empty vector gives just the 2-byte terminator. The
// caller owns the result; nullptr when the allocator refuses.
PItemIDList JoinItemIDs(const std::vector<PItemIDList>& items);

// The absolute list of a drive path ("D:\A\B") or a local path inside a
// drive (owned by the caller), or nullptr when the path does not parse: no
// such drive, no medium, no such file or folder.
PItemIDList PathToItemIDList(const QString& path);

// The folder object of an absolute list that names a folder; folder becomes
// nullptr when binding fails. Nothing is reported.
void BindToShellFolder(PCItemIDList list, std::shared_ptr<ShellFolder>& folder);

} // namespace qd::itemidlist
