#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "AnsiString.h"
#include "QdLib.h"
#include "RecordArena.h"

namespace qd {

// Attribute bits of the attribute byte.
enum : std::uint8_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};

// One file of a catalogued disk. Strings are code page 932 bytes.
struct TFile {
    AnsiString Name;
    DateTime CreationTime = 0;
    DateTime LastWriteTime = 0;
    DateTime LastAccessTime = 0;
    std::uint8_t Attr = 0;
    AnsiString Comment;
    std::uint32_t Size = 0;      // low 32 bits of the size
    std::int32_t IconIndex = -1; // system image list index; -1 until looked up; never stored
    std::uint32_t Reserved = 0;  // stored, never interpreted
    std::uint8_t Found = 0;      // working mark of the disk update; never stored

    bool operator==(const TFile&) const = default;
};

// A folder's files, in a loaded catalog from the arena of its TDisk.
using TFileList = std::vector<TFile, RecordAllocator<TFile>>;

// One folder of a catalogued disk; owns its files.
struct TDir {
    std::int32_t Parent = 0; // DirList index of the containing folder; -1 for the root
    DateTime Date = 0;
    DateTime ScanDate = 0;
    AnsiString Name;          // for the root, the drive letter and a colon
    TFileList FileList;
    std::uint8_t Attr = 0;
    AnsiString Comment;
    std::int32_t CountFile = 0; // as read from the file; never used for writing
    std::uint8_t Found = 0;

    bool operator==(const TDir&) const = default;
};

// A disk's folders, in a loaded catalog from the arena of its TDisk.
using TDirList = std::vector<TDir, RecordAllocator<TDir>>;

// The catalog of one disk; owns its folders and its icon.
//
// Invariants of DirList, kept by every writer: entry 0 is the root (Parent -1);
// every other entry has 0 <= Parent < its own index. Folders are referred to by
// their index, so nothing but DeleteDir reorders DirList.
//
// A loaded catalog keeps its folder and file lists in Records and its long
// names in Strings, so that a load takes memory per chunk, not per folder or
// name, and a reload reuses it. Records may be moved and copied within their
// disk freely; to take a record to another container that may outlive the
// disk or its next load, copy it (a copy owns its memory).
struct TDisk {
    // Before DirList: destroyed after the records that live in them.
    DiskArena Records;
    DiskArena Strings;
    std::string VolumeLabel;
    std::uint32_t SerialNo = 0;
    std::int64_t FreeSize = 0;
    std::int64_t TotalSize = 0;
    std::string Comment;
    TDirList DirList;
    // The two icons, kept as the BMP file images read from or written to the
    // catalog, so that an unchanged catalog is saved byte for byte.
    std::string IconImage; // 16 x 16 colour image
    std::string IconMask;  // 16 x 16 monochrome mask, white = transparent
    std::int32_t CountFolder = 0; // as read from the file; never used for writing
    std::uint8_t Reserved = 0;

    bool operator==(const TDisk&) const = default;
};

// One entry of a folder listing, as the platform's listing gives it.
struct DirEntry {
    std::string name;        // code page 932
    std::uint32_t attr = 0;  // attribute word
    std::uint32_t size = 0;  // low 32 bits
    FileTime creationTime = 0; // UTC; 0 when unknown
    FileTime lastAccessTime = 0;
    FileTime lastWriteTime = 0;
};

// The clock a walk reads once per folder rather than once per file.
struct ScanClock {
    std::int64_t utcOffset = 0; // seconds, in force now
    DateTime now = 0;           // local
    static ScanClock current() { return {LocalUtcOffsetNow(), LocalNow()}; }
};

// Fills a new folder record (already appended to DirList) from a listing entry.
void SetDirData(const DirEntry& entry, std::int32_t parent, TDir& dir, const ScanClock& clock);

// Fills a new file record (already appended to its folder's FileList).
void SetFileData(const DirEntry& entry, TFile& file, const ScanClock& clock);

// Brings a kept record up to date with its entry: a folder's attributes and
// last-write time; a file's attributes, size and three times. The name (as
// recorded, in its recorded case), the comment and, for a file, its icon and
// Reserved stay.
void RefreshDirData(const DirEntry& entry, TDir& dir, const ScanClock& clock);
void RefreshFileData(const DirEntry& entry, TFile& file, const ScanClock& clock);

// The folder's path on the catalogued disk: "D:" for the root, "D:\PHOTO\2001"
// below it, never with a trailing backslash. Ends on any Parent chain, also a
// damaged one. An index outside DirList gives the empty string.
std::string GetDirPath(std::int32_t index, const TDisk& disk);

// Removes the folder and every folder below it, and renumbers the remaining
// Parent links so that they point at the same folders as before.
void DeleteDir(TDisk& disk, std::int32_t index);
// The same for several folders at once, in one pass over DirList with one
// renumbering, however many there are; indexes outside DirList are ignored.
void DeleteDirs(TDisk& disk, const std::vector<std::int32_t>& indexes);

// The number of files over all folders.
std::int64_t TotalFileCount(const TDisk& disk);

} // namespace qd
