// qdcat identify: which catalogued disk is in a drive, as the windows' drive
// button finds it.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/DiskIdentify.h"
#include "platform/CatalogRoot.h"
#include "platform/CatalogStore.h"
#include "platform/Drives.h"
#include "platform/Settings.h"

namespace qd::cli {
namespace {

enum IdentifyExit { kNotFound = 1, kNoDisk = 3 };

} // namespace

int runIdentify(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.positional(QStringLiteral("X:"), QStringLiteral("The drive letter."));
    line.rootOption();
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(1))
        return *exit;
    const std::optional<QByteArray> root = line.rootPath();
    if (!root)
        return kUsage;
    const std::optional<QChar> letter = ParseDriveLetter(line.positionals().value(0));
    if (!letter)
        return line.usage(QStringLiteral("name a drive letter such as D:"));

    const DriveDisk drive = ReadDriveDisk(*letter);
    if (drive.state == DriveDisk::NoDisk) {
        printError(QStringLiteral("drive %1: has no disk").arg(*letter));
        return kNoDisk;
    }
    if (drive.state == DriveDisk::NoSerial) {
        printError(QStringLiteral("the volume of drive %1: cannot be read").arg(*letter));
        return kNotFound;
    }

    bool unread = false;
    const std::optional<StoreCatalogs> catalogs = ListCatalogs(*root, &unread);
    if (!catalogs)
        return line.unreadableRoot();
    const auto& [names, titles, files] = *catalogs;
    TDisk disk;
    const std::optional<std::size_t> match = FindDiskBySerial(drive.serialNo, files, disk, [&](const SkippedCatalog& s) {
        const QString name = DisplayFileName(names[s.index]);
        if (s.error)
            printError(QStringLiteral("%1: %2").arg(name, QString::fromUtf8(s.error->what())));
        else if (s.load.status == LoadStatus::Missing)
            printError(QString::fromStdString(s.load.message)); // names the file itself
        else
            printError(QStringLiteral("%1: %2").arg(name, QString::fromStdString(s.load.message)));
    });
    if (!match) {
        printError(QStringLiteral("no catalog records the serial number %1 of drive %2:")
                       .arg(settings::formatSerial(drive.serialNo))
                       .arg(*letter));
        if (unread)
            printError(QStringLiteral("some folders could not be read: a catalog in them may record it"));
        return kNotFound;
    }
    Print(TsvRow({titles[*match], DisplayFileName(names[*match])}));
    return kOk;
}

} // namespace qd::cli
