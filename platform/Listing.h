#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/Disk.h"
#include "catalog/UniqueFd.h"

struct __dirstream;

namespace qd {

// Folder listing in the manner of find-first / find-next, over one real local
// folder. Each entry except "." and ".." comes out as a DirEntry:
//  - name in code page 932; a character without a code page 932 form becomes
//    "?", and a name longer than kMaxEntryName bytes is cut on a character
//    boundary (both counted);
//  - attribute: directory 0x10, read-only 0x01 when the owner may not write,
//    hidden 0x02 for names starting with ".", archive 0x20 for regular files;
//  - size: low 32 bits of a regular file's size, 0 for anything else;
//  - the three UTC times; creation is 0 where the file system keeps none.
// Symbolic links are never followed: a link (to a folder or anything else) is
// an entry without the directory attribute, size 0, with the link's own
// times, so a walk records it and never descends through it.
// An entry that vanishes between being read and being examined is left out;
// one whose name can be read but not its details (a folder without search
// permission) is given with its kind only: size and times 0.

// Longest name a record may hold, in bytes.
inline constexpr std::size_t kMaxEntryName = 255;

enum class ListStatus {
    Ok,        // opened; the listing may still be empty
    NotFound,  // the path or one of its parents does not exist (removed meanwhile)
    NotFolder, // the path names something that is not a folder
    Denied,    // no permission to open or read it
    Failed,    // any other error (path too long, I/O error, ...)
    // Only when a catalogued folder is looked for (RealFolder.h):
    OtherFileSystem, // it, or a folder on the way, lies on another file system than the drive's root
    Ambiguous,       // two real folders have the name recorded for one
};

// The walk's rule for a folder met inside another (or on the way down from a
// drive's root): it lies on another file system when it is on another device,
// or carries the mount-root mark (a bind mount of the same file system, which
// keeps the device). Such a folder is recorded but never listed.
bool OnOtherFileSystem(bool otherDevice, bool mountRootMark);

// What the rule reads of a folder: statx's device, inode and mount-root mark.
struct FolderDevice {
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;
    bool mountRoot = false;
};
// The device of the folder open at fd; nullopt when it cannot be examined.
std::optional<FolderDevice> FolderDeviceOf(int fd);
// The rule for folder, met below base (the folder listed, or the drive's root).
bool OnOtherFileSystem(const FolderDevice& base, const FolderDevice& folder);

// For tests, which cannot mount: from now on the folders at these paths (as
// they are now: device and inode) count as lying on another device, for the
// walk and for RealFolder.h alike. An empty list ends the pretence.
void PretendOtherDevice(const std::vector<std::string>& nativePaths);

// How many names of a listing had to be changed to fit a record.
struct NameCounts {
    std::size_t substituted = 0; // names with a character shown as "?"
    std::size_t cut = 0;         // names cut to kMaxEntryName bytes
    NameCounts& operator+=(const NameCounts& o)
    {
        substituted += o.substituted;
        cut += o.cut;
        return *this;
    }
};

// Reads one folder an entry at a time, one system call per entry. Not copyable.
class FolderReader {
public:
    // Opens the folder at the native (UTF-8 on Linux) path.
    explicit FolderReader(const std::string& nativePath);
    // Lists the folder already open at fd (a folder found as RealFolder.h finds it).
    explicit FolderReader(UniqueFd folder);
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    ListStatus status() const { return status_; }

    // Fills entry with the next entry; false at the end (or when the folder
    // could not be opened). A read error ends the listing early and sets
    // status() to the error.
    bool next(DirEntry& entry);

    // The file system's own name of the entry last returned by next(); valid
    // until the next call. This is the name to build real paths with.
    std::string_view nativeName() const { return nativeName_; }

    // True when the entry last returned by next() is a folder on another file
    // system than the folder being listed: a mount point (also a bind mount
    // of the same file system) or a separately numbered part of one (a btrfs
    // subvolume), as find -xdev tells them. A walk records such a folder, as
    // any other, but never lists it, so it stays empty: a drive is one volume.
    // False for anything that is not a folder, and for an entry whose details
    // could not be read.
    bool onOtherFileSystem() const { return otherFileSystem_; }

    const NameCounts& counts() const { return counts_; }

private:
    void open(UniqueFd folder);

    __dirstream* dir_ = nullptr;
    ListStatus status_ = ListStatus::Failed;
    std::string_view nativeName_;
    std::optional<FolderDevice> device_; // the listed folder's own
    bool otherFileSystem_ = false;
    NameCounts counts_;
};

// The whole listing of a folder at once, for callers that want a list.
struct FolderListing {
    ListStatus status = ListStatus::Failed;
    std::vector<DirEntry> entries;          // in the file system's order
    std::vector<std::string> nativeNames;   // entries[i]'s real name
    std::vector<bool> otherFileSystem;      // entries[i] is a folder on another file system (see FolderReader)
    NameCounts counts;
};

FolderListing ListFolder(const QString& path);

// The record name of a file system name: code page 932, "?" for characters
// without a form there, cut on a character boundary to kMaxEntryName bytes;
// counts what it changed.
std::string EntryName(std::string_view nativeName, NameCounts& counts);

// The status for an errno of opendir/readdir.
ListStatus ListStatusFromErrno(int err);

} // namespace qd
