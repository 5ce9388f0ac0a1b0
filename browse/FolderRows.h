#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string_view>
#include <vector>

#include "catalog/Disk.h"
#include "platform/DateText.h"

namespace qd {

class NameOrder;

// One row of the contents list: a sub-folder (index into DirList) or a file of
// the folder shown (index into its FileList). The kind is kept explicitly, never
// guessed from the row's icon.
struct FolderRow {
    enum Kind : std::uint8_t { Folder, File } kind;
    std::int32_t index;
};

struct ArrangedFolder {
    std::vector<FolderRow> rows;   // sub-folders by name, then files by name
    std::int64_t totalFileCount = 0; // files over all folders of the disk
};

// The rows of one folder in the order the contents view shows them. Sorts the
// folder's FileList in place (a later save stores that order); never reorders
// DirList. One pass over DirList finds the sub-folders and counts all files.
ArrangedFolder ArrangeFolder(TDisk& disk, std::int32_t folder, const NameOrder& order);

// A stored comment up to its first CR or LF, for display.
QString FirstLine(std::string_view cp932);

// The DirList index of the first folder whose GetDirPath is path (trailing
// backslashes ignored); -1 when none. One pass over DirList that follows the
// path through the parent links: no folder's full path is made, so a deep
// chain of folders costs no more than a flat one. ambiguous, when given, is
// set when another folder has that path too (a name holding a backslash),
// for which the pass goes on to the end.
std::int32_t FindFolder(const TDisk& disk, std::string_view path, bool* ambiguous = nullptr);

} // namespace qd
