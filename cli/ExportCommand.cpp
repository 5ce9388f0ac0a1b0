// qdcat export: every file of one catalog with its full path, size, times
// and comment, for a spreadsheet or a script.
#include <QStringList>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "catalog/Cp932.h"

namespace qd::cli {

int runExport(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    const QString csv = QStringLiteral("csv"), json = QStringLiteral("json"), bom = QStringLiteral("bom");
    line.positional(QStringLiteral("FILE.qd"), QStringLiteral("The catalog file."));
    line.option({csv}, QStringLiteral("Comma-separated values as RFC 4180 has them, with a header line."));
    line.option({json}, QStringLiteral("One JSON object per file and line."));
    line.option({bom}, QStringLiteral("Begin with the UTF-8 byte-order mark, by which spreadsheet programs know UTF-8."));
    if (const auto exit = line.parse(args))
        return *exit;
    if (line.positionals().size() != 1)
        return line.usage(QStringLiteral("name one catalog file"));
    if (line.isSet(csv) && line.isSet(json))
        return line.usage(QStringLiteral("--csv and --json do not go together"));
    if (line.isSet(json) && line.isSet(bom))
        return line.usage(QStringLiteral("JSON has no byte-order mark"));

    TDisk disk;
    if (!LoadCatalog(ArgumentBytes(line.positionals()[0]), disk))
        return kUnreadable;
    enum { Tsv, Csv, Json } format = line.isSet(csv) ? Csv : line.isSet(json) ? Json : Tsv;
    Out out;
    if (line.isSet(bom))
        out.text("\xEF\xBB\xBF");
    if (format == Csv)
        out.print(CsvRow({QStringLiteral("path"), QStringLiteral("size"), QStringLiteral("created"),
                          QStringLiteral("modified"), QStringLiteral("accessed"), QStringLiteral("comment")}));
    FolderPaths paths(disk);
    std::string row; // a JSON line, one file after another without allocating each time
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const std::string& folder = paths.next(i);
        for (const TFile& f : disk.DirList[i].FileList) {
            const std::string path = folder + '\\' + cp932::toUtf8(f.Name);
            if (format == Json) {
                row.assign("{\"path\":").append(JsonStringDump(path));
                row.append(",\"size\":").append(std::to_string(f.Size));
                row.append(",\"created\":").append(JsonDateTimeDump(f.CreationTime));
                row.append(",\"modified\":").append(JsonDateTimeDump(f.LastWriteTime));
                row.append(",\"accessed\":").append(JsonDateTimeDump(f.LastAccessTime));
                row.append(",\"comment\":").append(JsonTextDump(f.Comment)).append("}\n");
                out.text(row);
                continue;
            }
            const QStringList fields{QString::fromStdString(path), QString::number(f.Size),
                                     IsoDateTime(f.CreationTime), IsoDateTime(f.LastWriteTime),
                                     IsoDateTime(f.LastAccessTime), QString::fromStdString(cp932::toUtf8(f.Comment))};
            out.print(format == Csv ? CsvRow(fields) : TsvRow(fields));
        }
    }
    return kOk;
}

} // namespace qd::cli
