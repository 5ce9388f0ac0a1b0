// qdcat update: the windows' データの更新 for one folder of a catalog file.
#include <cstdio>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/FolderRows.h"
#include "catalog/DiskFile.h"
#include "platform/CatalogStore.h"
#include "platform/Drives.h"
#include "platform/NameOrder.h"
#include "platform/Text.h"
#include "registration/DiskUpdate.h"

namespace qd::cli {
namespace {

// Exit statuses of update beyond the common ones.
enum UpdateExit { kNoDisk = 3, kNotWritten = 4, kOtherDisk = 5, kRefused = 6 };

} // namespace

int runUpdate(const Command& command, const QStringList& arguments)
{
    CommandLine line(command);
    line.positional(QStringLiteral("FILE.qd"), QStringLiteral("The catalog file."));
    line.positional(QStringLiteral("FOLDER"), QStringLiteral("The folder to bring up to date, such as D:\\PHOTO\\2001."));
    line.option({QStringLiteral("wait")}, QStringLiteral("Wait for another program writing the catalog, however long."));
    if (const auto exit = line.parse(arguments))
        return *exit;
    const QStringList& args = line.positionals();
    if (args.size() != 2)
        return line.usage(QStringLiteral("name a catalog file and one of its folders"));
    const QByteArray fileName = ArgumentBytes(args[0]);
    const std::filesystem::path file(fileName.toStdString());
    TDisk disk;
    // A catalog that is not there is told as such, with no lock file made for it.
    std::error_code missing;
    if (!std::filesystem::exists(file, missing) && !LoadCatalog(fileName, disk))
        return kUnreadable;
    // The whole read-change-write under the catalog's lock: another writer's
    // change is either in what is read here or waits for what is written.
    std::optional<CatalogLock> lock;
    if (!LockCatalog(file, line.isSet(QStringLiteral("wait")), lock))
        return kNotWritten;
    if (!LoadCatalog(fileName, disk))
        return kUnreadable;
    bool ambiguous = false;
    const std::int32_t folder = FindFolderArg(disk, args[1], &ambiguous);
    if (folder < 0)
        return line.usage(QStringLiteral("no folder %1 in %2").arg(args[1], DisplayFileName(fileName)));
    if (ambiguous) {
        printError(QStringLiteral("%1 names more than one folder of %2 (a name may hold a backslash); nothing changed")
                       .arg(args[1], DisplayFileName(fileName)));
        return kUsage;
    }

    // The rows as the contents view lists them, sorted as it sorts them.
    const NameOrder order;
    ShownRows rows;
    for (const FolderRow& row : ArrangeFolder(disk, folder, order).rows)
        (row.kind == FolderRow::Folder ? rows.folders : rows.files).push_back(row.index);
    const UpdateResult result = UpdateFolder(disk, folder, rows, order);
    switch (result.status) {
    case UpdateResult::NoDisk:
    case UpdateResult::OtherDisk:
        printError(QString::fromUtf8(kUpdateWrongDiskMessage));
        return result.status == UpdateResult::NoDisk ? kNoDisk : kOtherDisk;
    case UpdateResult::Refused:
        printError(QString::fromUtf8(kUpdateRefusedMessage) + u' ' + fromAnsi(result.folderPath));
        return kRefused;
    case UpdateResult::Updated:
        break;
    }
    try {
        SaveDiskFile(file, disk, SaveMode::ReplaceExisting);
    } catch (const CatalogError& e) {
        printError(QString::fromUtf8(e.what()));
        return kNotWritten;
    }
    // What saves killed here long ago left behind: a folder outside the
    // catalog root, which no window's refresh cleans.
    const qsizetype slash = fileName.lastIndexOf('/');
    RemoveOldLeftovers(slash < 0 ? QByteArray(".") : fileName.left(qMax<qsizetype>(slash, 1)));
    QString out;
    const auto lines = [&](const char* what, const char* kind, const std::vector<std::string>& names) {
        for (const std::string& name : names)
            out += TsvRow({QString::fromLatin1(what), QString::fromLatin1(kind), fromAnsi(name)});
    };
    lines("added", "folder", result.addedFolders);
    lines("added", "file", result.addedFiles);
    lines("removed", "folder", result.removedFolders);
    lines("removed", "file", result.removedFiles);
    Print(out);
    return kOk;
}

} // namespace qd::cli
