#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/Disk.h"
#include "platform/Listing.h"

namespace qd {

class NameOrder;

// The disk update without windows: one folder of a catalog brought into line
// with the same folder on the disk in its drive. The main window runs it on
// the folder it shows, qdcat on a folder named on its command line; both then
// save the catalog.

// The message of a drive that holds no disk or another one, and of a folder
// that cannot be listed; both under kUpdateCaption, information icon.
extern const char* const kUpdateWrongDiskMessage; // "指定ドライブのディスクは入っていないか、もしくは違うディスクです。"
extern const char* const kUpdateRefusedMessage;   // followed by CR LF and the folder's path
extern const char* const kUpdateCaption;          // "ディスクの更新"

// The rows of the folder as the contents view lists them: its sub-folders
// (DirList indexes), then its files (indexes into its FileList), each group
// sorted by name with the NameOrder given to the update.
struct ShownRows {
    std::vector<std::int32_t> folders;
    std::vector<std::int32_t> files;
};

struct UpdateResult {
    enum Status {
        Updated,   // the disk was changed as the listing says (perhaps not at all)
        NoDisk,    // the drive has no disk, or its volume cannot be read
        OtherDisk, // the drive holds a disk of another serial number
        Refused,   // the folder could not be listed to its end: nothing changed
    };
    Status status = Updated;
    ListStatus listing = ListStatus::Ok; // why a listing was refused
    std::string folderPath;              // the folder's catalog path with a trailing backslash
    // Names of what came and went (code page 932); a removed folder takes
    // everything below it along.
    std::vector<std::string> addedFolders, addedFiles, removedFolders, removedFiles;
    bool changed() const
    {
        return !addedFolders.empty() || !addedFiles.empty() || !removedFolders.empty() || !removedFiles.empty();
    }
};

// Updates folder of disk from the drive the catalog was made from (its
// root's letter). Only the serial number is checked: a disk with another
// label or other sizes proceeds, and neither is refreshed. The real folder is
// found from the folder's records (RealFolder.h): a name that holds a
// backslash stays one name, a link where a folder was recorded, or a folder
// on another file system than the drive's root, is a folder that cannot be
// listed. Then the folder is listed once, wholly, before anything changes; a
// listing that fails (no permission, an I/O error, the folder or the drive
// gone) leaves disk untouched, while a folder that lists no entries is empty
// and loses its rows. Entries are looked up among the rows of their own kind
// by binary search with order, the comparison that sorted the rows; of the
// rows it finds equal, an entry is the one whose name is its own but for
// letter case (readme.txt is README.TXT, while ABC.txt is not ＡＢＣ.txt).
// New folders are appended empty (their contents are listed when they are
// updated in turn), new files get a fresh record; rows not found are removed,
// the folders all at once with DeleteDirs. What remains keeps its record,
// recorded name and comment (and a file its icon), and takes the attributes,
// size and times the disk gives it now. DirList indexes below the first
// removed folder, folder's own included, stay valid.
UpdateResult UpdateFolder(TDisk& disk, std::int32_t folder, const ShownRows& rows, const NameOrder& order);

// The same once the disk in the drive is known to be the right one: folder
// of disk against the folder that reader lists (read here to its end).
UpdateResult MergeListing(TDisk& disk, std::int32_t folder, const ShownRows& rows, FolderReader& reader,
                          const NameOrder& order, const ScanClock& clock);

} // namespace qd
