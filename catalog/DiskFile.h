#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Disk.h"

namespace qd {

inline constexpr std::string_view kCatalogMagic = "qd410";
inline constexpr std::string_view kCatalogExtension = ".qd";

// A catalog file that cannot be read or written, or that is damaged. what() is
// an English sentence (qdcat, logs) naming the file and, for damage, the byte
// offset; code(), file(), systemError() and offset() let a window say the same
// in its own words.
class CatalogError : public std::runtime_error {
public:
    enum class Code {
        Open,       // the file cannot be opened or examined (systemError says why)
        Read,       // reading failed
        NotRegular, // a FIFO, a device or a folder under a catalog's name
        Damaged,    // a length, count or parent that does not fit; offset() says where
        BadIcon,    // an icon that is not a valid BMP; offset() says where
        TooLarge,   // a name, label, icon or count beyond what the format holds
        Create,     // the temporary file of a save cannot be created
        Write,      // writing or syncing the new image failed
        Replace,    // the new image cannot be put in place
        Exists,     // a save that must not replace finds a catalog of that name
        Vanished,   // a save that must not create finds no catalog to replace
        ReadOnly,   // the catalog to replace is read-only
        Busy,       // another writer holds the catalog's lock (CatalogLock.h)
    };

    CatalogError(Code code, std::string file, int systemError, std::size_t offset, const std::string& english)
        : std::runtime_error(english), code_(code), file_(std::move(file)), systemError_(systemError), offset_(offset)
    {
    }

    Code code() const noexcept { return code_; }
    const std::string& file() const noexcept { return file_; } // as the file system names it
    int systemError() const noexcept { return systemError_; } // errno, 0 for none
    std::size_t offset() const noexcept { return offset_; }   // Damaged and BadIcon only

private:
    Code code_;
    std::string file_;
    int systemError_;
    std::size_t offset_;
};

// The three outcomes of a load that the user is told about by number.
enum class LoadStatus {
    Ok,
    Missing,       // 5101: the file does not exist; the TDisk is untouched
    WrongVersion,  // 5104: no magic; DirList empty, CountFolder 0, the rest as before
    WrongDataType, // 5105: as 5104, and the two icons already replaced
};

struct LoadResult {
    LoadStatus status = LoadStatus::Ok;
    std::string message; // the message box text (UTF-8); empty when Ok
    bool ok() const { return status == LoadStatus::Ok; }
};

// What a catalog file was when it was read or written: its file's device and
// inode, size and modification time. A writer that loaded a catalog compares
// it with the file now to learn whether another program has written it since
// (a save replaces the file, so a new inode tells as much as a new time).
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file now, a symbolic link followed as a save follows it;
// nullopt when there is no such file (or it cannot be examined).
std::optional<FileStamp> CurrentStamp(const std::filesystem::path& file);

// Reads a catalog file (full path with extension) into disk, replacing its
// contents. Returns the numbered outcomes (5101 only when the file does not
// exist); throws CatalogError when it exists but cannot be opened or read, is
// not a regular file (opened without blocking, so a FIFO never hangs), an
// icon is not a valid BMP, or the data are damaged (any length or count that
// does not fit the file). After any failure but 5101 DirList is empty; it
// never holds a partial folder list. Every loaded TFile has IconIndex -1.
// loaded, when given, receives the stamp of the file read (on success).
LoadResult LoadDiskData(const std::filesystem::path& file, TDisk& disk, FileStamp* loaded = nullptr);

// Parses a catalog image already in memory; as LoadDiskData without 5101.
LoadResult ParseDiskData(std::string_view data, TDisk& disk);

// The catalog image of disk. Throws CatalogError, before anything is built,
// for a name longer than 255 bytes, a label longer than 65535 bytes, an icon
// image longer than 65535 bytes or a count that does not fit.
std::string BuildDiskData(const TDisk& disk);

// How a save treats a catalog that already has the target's name.
enum class SaveMode {
    CreateOrReplace, // either (a new disk whose overwrite was agreed, qdcat scan --force)
    CreateNew,       // never replaces: one that appeared meanwhile is reported (Exists)
    ReplaceExisting, // never creates: the catalog must still be there (Vanished)
};

// Writes disk to pathWithoutExtension + ".qd" (see SaveDiskFile).
void SaveDiskData(const std::filesystem::path& pathWithoutExtension, const TDisk& disk,
                  SaveMode mode = SaveMode::CreateOrReplace);

// Writes disk to exactly that file: a catalog loaded from "A.QD" is saved back
// to "A.QD", not beside it as "A.qd". The image goes to a hidden temporary file
// (see IsSaveLeftover) in the target's folder, is synced, and is then renamed
// into place, so the target is either the old catalog or the new one, whole,
// and a save never replaces what it must not (mode) even if the target appears
// or goes while the image is written. A catalog that is a symbolic link is
// written through to the link's target; a read-only catalog is refused, as
// writing in place would be; a replaced catalog keeps its permission bits and,
// where the process may set them, its owner and group. Throws CatalogError;
// nothing is left behind on failure. Returns the stamp of the file written.
// Whoever writes a catalog holds its CatalogLock (CatalogLock.h) meanwhile.
FileStamp SaveDiskFile(const std::filesystem::path& file, const TDisk& disk, SaveMode mode = SaveMode::CreateOrReplace);

// True for the name of a save's temporary file (".qdtmp." and six characters):
// one that stays behind only when a save was killed, so the catalog tree may
// remove those that are old.
bool IsSaveLeftover(std::string_view fileName);

// The head of a catalog file, for the catalog tree: the two icons and the data
// type byte. Reads only as much of the file as the head takes.
struct CatalogHead {
    std::string image;
    std::string mask;
    std::uint8_t dataType = 0;
    std::optional<std::uint32_t> serialNo; // data type 1, when the file goes on that far
};

// nullopt when the file does not start with the magic; throws CatalogError when
// it cannot be read, is not a regular file (never waits on a FIFO) or ends
// inside the head.
std::optional<CatalogHead> ReadCatalogHead(const std::filesystem::path& file);

// The head of a catalog read on to its serial number, for the disk
// identification: as little of the file as that takes, icons skipped. load
// says what LoadDiskData would say of the head (5101 for a missing file,
// 5104 without the magic, 5105 for another data type, with the same message);
// serialNo is set only when load is Ok. Throws CatalogError as ReadCatalogHead,
// also for a file of data type 1 that ends before its serial number. A head
// that reads well says nothing of the rest: only a whole load proves that.
struct CatalogSerial {
    LoadResult load;
    std::uint8_t dataType = 0;
    std::uint32_t serialNo = 0;
};
CatalogSerial ReadCatalogSerial(const std::filesystem::path& file);

// True when the name's extension is ".qd" in any case.
bool HasCatalogExtension(std::string_view fileName);

// The title of a catalog file name: the name without its extension (the last
// three characters, ".qd" in any case). A name without that extension is its
// own title.
std::string_view CatalogTitle(std::string_view fileName);
// The file name of a new catalog of that title.
std::string CatalogFileName(std::string_view title);

} // namespace qd
