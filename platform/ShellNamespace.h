#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace qd {

class IContextMenu;

// The shell namespace of this system: the desktop, below it the computer
// folder, below that one item per drive of the drive table, and below a drive
// the real folders and files of its medium, one item per path component.
//
// Item-ID lists keep the shell's byte format: each item starts with a 16-bit
// count that includes the count itself, followed by opaque bytes; a 16-bit
// zero ends the list. An absolute list starts at the desktop (the empty list
// is the desktop itself). Callers may walk, split and join lists by their
// counts; only this unit reads the bytes inside an item.

// One item, or the start of a list. Never dereferenced outside this unit:
// use the count helpers below.
struct SHITEMID;
using PItemIDList = SHITEMID*;
using PCItemIDList = const SHITEMID*;

// The count at the start of an item (read byte-wise: items need not be aligned).
std::uint16_t ItemIDCount(PCItemIDList item);
// Writes the count at the start of an item (e.g. the terminator).
void SetItemIDCount(PItemIDList item, std::uint16_t count);

// The shell allocator: every item-ID list handed out or taken over by the
// shell units comes from it and goes back to it.
class ShellMalloc {
public:
    virtual ~ShellMalloc() = default;
    // nullptr when the memory cannot be had.
    virtual void* Alloc(std::size_t size) = 0;
    // Accepts nullptr.
    virtual void Free(void* p) = 0;
};
// The installed allocator (the C heap until another is installed).
ShellMalloc& SHGetMalloc();
// Installs m (not owned; nullptr restores the C heap) and returns the previous one.
ShellMalloc* setShellMalloc(ShellMalloc* m);
// Frees a list through the allocator; nullptr is allowed.
void ILFree(PItemIDList list);
// Owning handle for a list, freed through the allocator.
struct ItemIDListDeleter {
    void operator()(SHITEMID* list) const { ILFree(list); }
};
using ItemIDListPtr = std::unique_ptr<SHITEMID, ItemIDListDeleter>;

// Enumeration and attribute flags, with the shell's values.
enum : std::uint32_t {
    SHCONTF_FOLDERS = 0x20,
    SHCONTF_NONFOLDERS = 0x40,
    SHCONTF_INCLUDEHIDDEN = 0x80,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_FILESYSTEM = 0x40000000,
};
// Special folder identifiers.
enum : int { CSIDL_DESKTOP = 0, CSIDL_DRIVES = 17 };
// Icon query flags: the open form of a folder's icon.
enum : unsigned { SHGFI_OPENICON = 0x2 };

// Hands out the children of one folder, one at a time.
class EnumIDList {
public:
    virtual ~EnumIDList() = default;
    // A new one-item list (the caller frees it) for the next child, or
    // nullptr after the last.
    virtual PItemIDList Next() = 0;
};

// A folder of the namespace. Lists given to it are relative to it; lists it
// returns are new allocations owned by the caller.
class ShellFolder {
public:
    virtual ~ShellFolder() = default;
    // The list of a display name relative to this folder: the desktop takes a
    // drive path such as "D:\A\B" (letter in any case, "." and ".." resolved)
    // or an absolute local path inside a drive's root; a folder below a drive
    // takes a relative name such as "A\B". nullptr when the name does not
    // parse: no such drive, no medium, no such file or folder.
    virtual PItemIDList ParseDisplayName(const QString& name) const = 0;
    // The folder object of a relative list that names a folder, or nullptr
    // (not a folder, no medium, malformed list).
    virtual std::shared_ptr<ShellFolder> BindToObject(PCItemIDList relative) const = 0;
    // The children selected by the SHCONTF flags, or nullptr when the folder
    // cannot be read.
    virtual std::unique_ptr<EnumIDList> EnumObjects(std::uint32_t flags) const = 0;
    // The SFGAO attributes of a child (one-item list) that are in request.
    virtual std::uint32_t GetAttributesOf(PCItemIDList child, std::uint32_t request) const = 0;
    // A new absolute list of this folder (the caller frees it).
    virtual PItemIDList AbsoluteIDList() const = 0;
    // The local paths of children (lists relative to this folder, such as
    // the last items of parsed paths), in order; empty when there are none
    // or any of them names no existing file or folder below this folder.
    virtual QStringList RealPathsOf(const std::vector<PCItemIDList>& children) const = 0;

    // GetUIObjectOf: the context menu and the data object for children, from
    // the installed ShellUIObjects (ShellContextMenu.h). False, with the
    // output nullptr, when RealPathsOf has no paths for them or the source
    // has no object.
    bool GetUIObjectOf(const std::vector<PCItemIDList>& children, std::shared_ptr<IContextMenu>& menu) const;
    bool GetUIObjectOf(const std::vector<PCItemIDList>& children, std::shared_ptr<QMimeData>& data) const;
};

// The desktop folder, the root of every absolute list.
std::shared_ptr<ShellFolder> SHGetDesktopFolder();
// A new absolute list of a special folder (CSIDL_DESKTOP or CSIDL_DRIVES),
// or nullptr for any other identifier.
PItemIDList SHGetSpecialFolderLocation(int csidl);

// Queries on absolute lists; a malformed list answers as one with no path.
// The drive path of the item ("D:\" for a drive, "D:\A\B" below it); empty
// for the desktop, the computer folder and malformed lists.
QString SHGetPathFromIDList(PCItemIDList absolute);
// The local path of the item on the drive's current medium; empty when the
// item has no drive path or the drive has no medium.
QString RealPathFromIDList(PCItemIDList absolute);
// The shell display name: a drive's name and letter, a file's own name.
QString DisplayNameFromIDList(PCItemIDList absolute);
// The index of the item's icon in the system image list (the same index in
// the small and the large form); flags may hold SHGFI_OPENICON.
int SysIconIndexFromIDList(PCItemIDList absolute, unsigned flags);

// The absolute list of a real item below a drive, given by its real names
// from the drive's root down (as RealFolder.h finds a catalogued folder): no
// path text is parsed, so a name may hold a backslash. nullptr when a name
// cannot stand in an item: empty, "." or "..", holding "/", or not UTF-8.
PItemIDList ItemIDListOfNames(QChar letter, const std::vector<std::string>& names);

// The drive whose root holds a local path (roots compared component by
// component, the longest root first); QChar(0) when no drive holds it.
QChar DriveOfLocalPath(const QString& localPath);

} // namespace qd
