#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace qd {

// The catalog store on disk: the catalog root, its catalog folders and the
// catalog files, listed the way the catalog tree shows them. qdcat walks it
// with the same functions, so both see the same disks in the same order.
//
// File-system names are kept as the bytes they are from the listing to every
// open, rename and trash. A catalog copied from Windows is often named in
// Shift-JIS, which is not UTF-8: decoding such a name to text and encoding it
// back would name another file. Text is made only for display.

// A file-system name for display: the name itself when it is UTF-8, else its
// code page 932 reading (a name made on Windows), which keeps every byte.
QString DisplayFileName(const QByteArray& name);

// The file-system name of a name the user typed.
QByteArray NativeFileName(const QString& text);

// folder + "/" + name.
QByteArray JoinPath(const QByteArray& folder, const QByteArray& name);

// CatalogTitle and CatalogFileName (catalog/DiskFile.h) over the store's
// types: the title of a catalog's file-system name, and the file name of a
// catalog of a title as the user typed it.
QByteArray CatalogTitle(const QByteArray& fileName);
QString CatalogFileName(const QString& title);

struct StoreEntry {
    enum Kind { Folder, Catalog };
    Kind kind = Folder;
    QByteArray name; // as listed; a catalog's with its extension
    QString text;    // as the tree shows it: a folder's name, a catalog's title
};

struct StoreListing {
    bool listed = false;              // false: the folder could not be opened
    int error = 0;                    // why it could not be listed, or not to its end (errno); 0 when whole
    std::vector<StoreEntry> entries;  // sorted as the tree shows them
    std::vector<QByteArray> leftovers; // temporary files of killed saves
};

// One folder of the store: its sub-folders and its regular files whose
// extension is ".qd" in any case, told by their type without opening anything
// (a FIFO or a device under a catalog's name is no catalog); symbolic links and
// other kinds are left out, so the store never loops or leads outside itself.
// Sorted by text with the locale's collation, folders and catalogs mixed. A
// listing that fails half-way keeps what it found. folder may be nested to
// any depth (see OpenPath).
StoreListing ListStoreFolder(const QByteArray& folder);

// The order in which the tree shows texts: indexes into texts, sorted.
std::vector<qsizetype> StoreSortOrder(const QStringList& texts);

// Visits every catalog file below folder in the tree's order: depth first,
// each folder's sub-folders and catalogs mixed by text, as the tree lists its
// nodes from top to bottom when all are expanded, to any depth. Stops when
// visit returns false. A folder that cannot be listed, or not to its end, is
// told to unlisted (with errno) and passed over, or walked as far as it was
// listed; false when folder itself cannot be opened.
using UnlistedFolder = std::function<void(const QByteArray& folder, int error)>;
bool ForEachCatalog(const QByteArray& folder,
                    const std::function<bool(const QByteArray& file, const StoreEntry& entry)>& visit,
                    const UnlistedFolder& unlisted = {});

// The entry of folder that a new catalog of that title would collide with:
// one whose name is the title and ".qd", compared as the tree compares them
// (case ignored), so that a title never stands twice in the tree. nullopt
// when there is none.
std::optional<QByteArray> ExistingCatalogName(const QByteArray& folder, const QString& title);

// Removes the given temporary files of folder that are older than maxAgeSeconds
// (a save in progress is never that old). Returns how many went.
int RemoveOldLeftovers(const QByteArray& folder, const std::vector<QByteArray>& leftovers,
                       qint64 maxAgeSeconds = 24 * 60 * 60);
// The same for every such file of folder, for a program that writes there
// without listing it otherwise.
int RemoveOldLeftovers(const QByteArray& folder);

} // namespace qd
