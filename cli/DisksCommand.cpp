// qdcat disks: one line per catalog in the order of the catalog tree, with
// what its head says of the disk.
#include <QDir>
#include <cstdio>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "catalog/CatalogSummary.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"
#include "platform/Settings.h"
#include "platform/Text.h"

namespace qd::cli {

int runDisks(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.rootOption();
    line.option({QStringLiteral("files")},
                QStringLiteral("Count the files of each disk too, which reads every catalog whole."));
    line.option({QStringLiteral("json")}, QStringLiteral("One JSON object per disk and line."));
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(0))
        return *exit;
    const bool countFiles = line.isSet(QStringLiteral("files")), json = line.isSet(QStringLiteral("json"));
    const std::optional<QByteArray> root = line.rootPath();
    if (!root)
        return kUsage;
    const QByteArray& rootPath = *root;

    ImageBuffer buffer;
    Out out;
    const bool listed = ForEachCatalog(rootPath, [&](const QByteArray& file, const StoreEntry& entry) {
        // The catalog folder as the tree nests it, "" for the root itself.
        const QByteArray below = file.mid(rootPath.size() + (rootPath.endsWith('/') ? 0 : 1));
        const QString folder = DisplayFileName(below.left(qMax(below.lastIndexOf('/'), 0)));
        CatalogSummary s;
        QString error;
        try {
            // One without the magic is no disk to the tree, but listed here
            // with its reason all the same, as every other that fails.
            s = ReadCatalogSummary(std::filesystem::path(file.toStdString()), countFiles, &buffer);
            if (!s.load.ok())
                error = QString::fromStdString(s.load.message);
        } catch (const CatalogError& e) {
            error = QString::fromUtf8(e.what());
        }
        if (json) {
            nlohmann::ordered_json o{{"folder", folder.toStdString()},
                                     {"title", entry.text.toStdString()},
                                     {"catalog", DisplayFileName(file).toStdString()}};
            if (!error.isEmpty()) {
                o["error"] = error.toStdString();
            } else {
                o["label"] = JsonText(s.volumeLabel);
                o["serial"] = settings::formatSerial(s.serialNo).toStdString();
                o["totalSize"] = s.totalSize;
                o["freeSize"] = s.freeSize;
                o["folders"] = s.folders;
                if (s.files)
                    o["files"] = *s.files;
                o["scanDate"] = JsonDateTime(s.scanDate);
            }
            out.jsonLine(o);
        } else {
            QStringList row{folder, entry.text};
            if (error.isEmpty()) {
                row << fromAnsi(s.volumeLabel) << settings::formatSerial(s.serialNo) << QString::number(s.totalSize)
                    << QString::number(s.freeSize) << QString::number(s.folders);
                if (countFiles)
                    row << QString::number(s.files.value_or(0));
                row << IsoDateTime(s.scanDate) << QString();
            } else {
                // The same columns, empty, and the error in the last.
                for (int i = countFiles ? 7 : 6; i > 0; --i)
                    row << QString();
                row << error;
            }
            out.print(TsvRow(row));
        }
        return true;
    }, ReportUnlisted);
    return listed ? kOk : line.unreadableRoot();
}

} // namespace qd::cli
