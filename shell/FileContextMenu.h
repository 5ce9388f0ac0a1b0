#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/Disk.h"
#include "platform/ShellContextMenu.h"

class QMimeData;
class QWidget;

namespace qd {

// The shell's part of the file list's popup: the entries that follow the
// popup's fixed entries, taken from the shell's context menu for the real
// files and folders of the selected rows.

// The disabled entry shown when no selected row is found on a disk.
inline const QString kNoDiskEntry = QStringLiteral("（指定のディスクがありません）");

// The shell array has room for this many rows; further rows are left out.
inline constexpr std::size_t kMaxShellSelection = 1024;

// One entry to append: a separator (empty caption), the disabled entry
// kNoDiskEntry (tag 0), or a shell entry with its command identifier as tag.
struct ShellPopupEntry {
    QString caption;
    int tag = 0;
    bool enabled = true;
    bool separator() const { return caption.isEmpty(); }
};

struct ShellPopup {
    std::vector<ShellPopupEntry> entries;
    // How many of the rows looked for did not resolve (a name the catalog
    // could not keep, an item gone from the disk, another disk in the drive).
    int missing = 0;
    // Set once the popup got as far as asking the folder for that object
    // (nullptr when the folder gave none): the holder replaces its own then.
    std::optional<std::shared_ptr<IContextMenu>> contextMenu;
    std::optional<std::shared_ptr<QMimeData>> dataObject;
};

// One selected row: its name as stored (code page 932) and its kind.
struct ShellRow {
    std::string name;
    bool folder = false;
};

// The shell's entries for the selected rows of one folder of a disk, in the
// list's order; folder indexes disk.DirList. The rows are looked for on the
// drive's current medium inside the real folder that FindRealFolder finds
// for folder (from its records, never from its path text): each row is the
// one real entry of its kind whose record name is the row's name; rows that
// are not found so, or cannot stand in an item-ID list, are left out (and
// counted), and only the first kMaxShellSelection that are found are taken.
// Nothing selected gives no entries; no row found gives kNoDiskEntry alone.
// When the folder gives no context menu (3090), no data object (3091) or the
// menu cannot be filled (3092), the error is told through dialogs() with
// owner as its owner and no entries are returned. Shell entries whose text
// begins with "送る(" are left out.
ShellPopup BuildShellPopup(const TDisk& disk, std::int32_t folder, const std::vector<ShellRow>& rows, QWidget* owner);

} // namespace qd
