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

// A catalog file that cannot be read or written, or that is damaged. The text
// is for the user (UTF-8) and, for damage, names the byte offset.
class CatalogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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

// Reads a catalog file (full path with extension) into disk, replacing its
// contents. Returns the numbered outcomes; throws CatalogError when the file
// cannot be read, an icon is not a valid BMP, or the data are damaged (any
// length or count that does not fit the file). After any failure DirList is
// empty; it never holds a partial folder list. Every loaded TFile has
// IconIndex -1.
LoadResult LoadDiskData(const std::filesystem::path& file, TDisk& disk);

// Parses a catalog image already in memory; as LoadDiskData without 5101.
LoadResult ParseDiskData(std::string_view data, TDisk& disk);

// The catalog image of disk. Throws CatalogError, before anything is built,
// for a name longer than 255 bytes, a label longer than 65535 bytes, an icon
// image longer than 65535 bytes or a count that does not fit.
std::string BuildDiskData(const TDisk& disk);

// Writes disk to pathWithoutExtension + ".qd", created or replaced. The image
// goes to a temporary file in the same folder that is then renamed over the
// target, so the target is either the old file or the new one, whole. Throws
// CatalogError; nothing is left behind on failure.
void SaveDiskData(const std::filesystem::path& pathWithoutExtension, const TDisk& disk);

// The same, to exactly that file: a catalog loaded from "A.QD" is saved back
// to "A.QD", not beside it as "A.qd".
void SaveDiskFile(const std::filesystem::path& file, const TDisk& disk);

// The head of a catalog file, for the catalog tree: the two icons and the data
// type byte. Reads only as much of the file as the head takes.
struct CatalogHead {
    std::string image;
    std::string mask;
    std::uint8_t dataType = 0;
};

// nullopt when the file does not start with the magic; throws CatalogError when
// it cannot be read or ends inside the head.
std::optional<CatalogHead> ReadCatalogHead(const std::filesystem::path& file);

// True when the name's extension is ".qd" in any case.
bool HasCatalogExtension(std::string_view fileName);

} // namespace qd
