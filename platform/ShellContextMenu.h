#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QMimeData;

namespace qd {

// The shell's context menu for a set of real files and folders, in the shape
// of the Windows IContextMenu: it fills a temporary menu with entries that
// carry command identifiers, and carries out a command by its offset from the
// first identifier. The desktop's menu offers what a Linux file manager
// offers; tests install their own source of menus.

// One entry of a temporary menu, read by position: its text ("&" marks the
// access key; empty for a separator) and its command identifier (0 for a
// separator, -1 for an entry that opens a submenu).
struct ShellMenuItem {
    QString text;
    int id = 0;
};
// The temporary popup menu a context menu fills.
using ShellMenu = std::vector<ShellMenuItem>;

// QueryContextMenu flags, with the shell's values.
enum : unsigned { CMF_NORMAL = 0, CMF_EXPLORE = 4 };
enum : int { SW_SHOWNORMAL = 1 };

// What InvokeCommand is told: the command as its offset from the first
// identifier given to QueryContextMenu, and how a window it opens shows.
struct CMInvokeCommandInfo {
    int verb = 0;
    int nShow = SW_SHOWNORMAL;
};

class IContextMenu {
public:
    virtual ~IContextMenu() = default;
    // Inserts the menu's entries into menu before position index (the end
    // when index is past it), numbering the commands from first; a command
    // that would need an identifier above last is left out. Returns how many
    // identifiers it used, or -1 when it cannot fill the menu.
    virtual int QueryContextMenu(ShellMenu& menu, int index, int first, int last, unsigned flags) = 0;
    // Carries out the command at the offset (identifier - first). False when
    // there is no such command or it was refused.
    virtual bool InvokeCommand(const CMInvokeCommandInfo& info) = 0;
};

// Where the shell folders get the objects for a selection (GetUIObjectOf):
// the desktop's, unless another source is installed.
class ShellUIObjects {
public:
    virtual ~ShellUIObjects() = default;
    // The context menu for the real paths (local paths, never empty), or
    // nullptr when the shell has none for them.
    virtual std::shared_ptr<IContextMenu> contextMenu(const QStringList& paths) = 0;
    // The data object for the real paths: their URLs; nullptr when none.
    virtual std::shared_ptr<QMimeData> dataObject(const QStringList& paths) = 0;
};
// The installed source.
ShellUIObjects& shellUIObjects();
// Installs s (not owned; nullptr restores the desktop's) and returns the previous one.
ShellUIObjects* setShellUIObjects(ShellUIObjects* s);

// The desktop's context menu for real paths, in this order: open with the
// type's default application; open with each other application registered
// for the type (every type of the set); open the containing folder; copy the
// paths; move to the trash; properties. Separators go between the groups.
// The applications come from the freedesktop desktop entries and MIME
// associations as GIO reads them when the menu is made.
std::shared_ptr<IContextMenu> DesktopContextMenu(const QStringList& paths);

// Shows the properties of real paths. The program installs its window; until
// then the properties command does nothing.
using ShowPropertiesHandler = std::function<void(const QStringList& paths)>;
// Installs handler (an empty one removes it) and returns the previous one.
ShowPropertiesHandler setShowProperties(ShowPropertiesHandler handler);

} // namespace qd
