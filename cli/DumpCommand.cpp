// qdcat dump and qdcat ls: read one catalog and print it.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Catalogs.h"
#include "Commands.h"
#include "Output.h"
#include "browse/FolderRows.h"
#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "platform/CatalogStore.h"
#include "platform/NameOrder.h"
#include "platform/Text.h"

namespace qd::cli {
namespace {

std::string utf8(std::string_view cp932) { return cp932::toUtf8(cp932); }

nlohmann::ordered_json fileJson(const TFile& f)
{
    return {{"name", utf8(f.Name)},
            {"attr", f.Attr},
            {"size", f.Size},
            {"creationTime", f.CreationTime},
            {"lastWriteTime", f.LastWriteTime},
            {"lastAccessTime", f.LastAccessTime},
            {"reserved", f.Reserved},
            {"comment", utf8(f.Comment)}};
}

} // namespace

int runDump(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.option({QStringLiteral("paths")}, QStringLiteral("Give each folder its full path as well."));
    line.positional(QStringLiteral("FILE.qd"), QStringLiteral("The catalog file."));
    if (const auto exit = line.parse(args))
        return *exit;
    const QStringList& files = line.positionals();
    const bool withPaths = line.isSet(QStringLiteral("paths"));
    if (files.size() != 1)
        return line.usage(QStringLiteral("name one catalog file"));
    TDisk disk;
    if (!LoadCatalog(ArgumentBytes(files[0]), disk))
        return kUnreadable;
    // The document is written as it is made, so that no copy of the catalog
    // as JSON is ever held whole: the disk's fields one a line, then one line
    // per folder record and one per file record.
    Out out;
    using J = nlohmann::ordered_json;
    out.text("{\n \"volumeLabel\": ").json(utf8(disk.VolumeLabel));
    out.text(",\n \"serialNo\": ").json(disk.SerialNo);
    out.text(",\n \"totalSize\": ").json(disk.TotalSize);
    out.text(",\n \"freeSize\": ").json(disk.FreeSize);
    out.text(",\n \"comment\": ").json(utf8(disk.Comment));
    out.text(",\n \"reserved\": ").json(disk.Reserved);
    out.text(",\n \"folders\": [");
    std::optional<FolderPaths> paths;
    if (withPaths)
        paths.emplace(disk);
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const TDir& d = disk.DirList[i];
        out.text(i == 0 ? "\n  {\"name\":" : ",\n  {\"name\":").json(utf8(d.Name));
        if (paths)
            out.text(",\"path\":").json(J(paths->next(i)));
        out.text(",\"parent\":").json(d.Parent);
        out.text(",\"attr\":").json(d.Attr);
        out.text(",\"date\":").json(d.Date);
        out.text(",\"scanDate\":").json(d.ScanDate);
        out.text(",\"comment\":").json(utf8(d.Comment));
        out.text(",\"files\":[");
        for (std::size_t k = 0; k < d.FileList.size(); ++k)
            out.text(k == 0 ? "\n   " : ",\n   ").json(fileJson(d.FileList[k]));
        out.text(d.FileList.empty() ? "]}" : "\n  ]}");
    }
    out.text(disk.DirList.empty() ? "]\n}\n" : "\n ]\n}\n");
    return kOk;
}

int runLs(const Command& command, const QStringList& arguments)
{
    CommandLine line(command);
    line.positional(QStringLiteral("FILE.qd"), QStringLiteral("The catalog file."));
    line.positional(QStringLiteral("FOLDER"), QStringLiteral("A folder of it, such as D:\\PHOTO\\2001; the root when left out."),
                    QStringLiteral("[FOLDER]"));
    if (const auto exit = line.parse(arguments))
        return *exit;
    const QStringList& args = line.positionals();
    if (args.isEmpty() || args.size() > 2)
        return line.usage(QStringLiteral("name a catalog file and at most one folder"));
    TDisk disk;
    if (!LoadCatalog(ArgumentBytes(args[0]), disk))
        return kUnreadable;
    std::int32_t folder = 0;
    if (args.size() == 2) {
        folder = FindFolderArg(disk, args[1]);
        if (folder < 0) {
            printError(QStringLiteral("no folder %1 in %2").arg(args[1], DisplayFileName(ArgumentBytes(args[0]))));
            return kUsage;
        }
    }
    const NameOrder order;
    const ArrangedFolder arranged = ArrangeFolder(disk, folder, order);
    const auto& files = disk.DirList[std::size_t(folder)].FileList;
    QString out;
    for (const FolderRow& row : arranged.rows) {
        QStringList cols;
        if (row.kind == FolderRow::Folder) {
            const TDir& d = disk.DirList[std::size_t(row.index)];
            cols << fromAnsi(d.Name) << QString() << DateTimeText(d.Date) << QString() << QString() << FirstLine(d.Comment);
        } else {
            const TFile& f = files[std::size_t(row.index)];
            cols << fromAnsi(f.Name) << QString::fromStdString(SizeToStr(std::int64_t(f.Size)))
                 << DateTimeText(f.CreationTime) << DateTimeText(f.LastWriteTime) << DateTimeText(f.LastAccessTime)
                 << FirstLine(f.Comment);
        }
        out += TsvRow(cols);
    }
    Print(out);
    return kOk;
}

} // namespace qd::cli
