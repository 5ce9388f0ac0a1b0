#pragma once

#include <QChar>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Listing.h"
#include "catalog/Disk.h"
#include "catalog/UniqueFd.h"

namespace qd {

// The real folder of a catalogued folder, for everything that goes from a
// catalog to the disk (the update, the file menu's real paths). It is found
// from its records, never from its path text: from the drive's root now, one
// folder record at a time, each record standing for the real entry whose
// name is the record's bytes decoded, when it is the only entry whose record
// name (EntryName, as the walk makes it) is that record. So a name may hold a
// backslash; a record that two real names share (a¥b and a\b both become
// "a\b" in code page 932) is ambiguous, and one that stands for no name
// exactly (an emoji recorded as "?", a cut name) finds nothing rather than
// whatever came to have that record since. Every folder on the way is opened
// without following a link, so a link where a folder was recorded is no
// folder; and one that lies on another file system than the drive's root
// (the walk's rule) is refused. What cannot be found exactly is not found:
// nothing built from a catalog ever reaches another real file.
struct RealFolder {
    // Ok; NotFound (no such drive, no medium, no folder the record stands
    // for exactly, a damaged chain of folders); NotFolder (only a link or a
    // file of that name);
    // OtherFileSystem; Ambiguous; Denied or Failed (a folder on the way could
    // not be opened or listed).
    ListStatus status = ListStatus::NotFound;
    QChar letter;                   // the drive the catalog was made from
    std::vector<std::string> names; // the real names from the root down to the folder
    UniqueFd fd;                    // the folder, open for listing, when Ok

    bool ok() const { return status == ListStatus::Ok; }
};

RealFolder FindRealFolder(const TDisk& disk, std::int32_t folder);

// One row of a folder to find among the real entries of that folder: its
// record name, and whether it is a folder record (a real folder, not a link,
// answers it) or a file record (anything else answers it).
struct EntryQuery {
    std::string_view record;
    bool folder = false;
};

// The real names of the entries that answer the queries, in their order, from
// one listing of the folder open at fd: per query the entry of its kind that
// the record stands for exactly, as above; nullopt when none does. All
// nullopt when the folder cannot be listed.
std::vector<std::optional<std::string>> FindRealEntries(int fd, const std::vector<EntryQuery>& queries);

} // namespace qd
