// qdcat dump and qdcat ls: read one catalog and print it.
#include <QFile>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Output.h"
#include "browse/FolderRows.h"
#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "platform/NameOrder.h"
#include "platform/Text.h"

namespace qd::cli {
namespace {

// Loads the catalog or says why not; false means exit status kUnreadable.
bool load(const QString& file, TDisk& disk)
{
    try {
        const LoadResult r = LoadDiskData(QFile::encodeName(file).toStdString(), disk);
        if (!r.ok()) {
            printError(QString::fromStdString(r.message));
            return false;
        }
        return true;
    } catch (const CatalogError& e) {
        printError(QString::fromStdString(e.what()));
        return false;
    }
}

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

int runDump(const QStringList& args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("usage: qdcat dump FILE.qd"));
        return kUsage;
    }
    TDisk disk;
    if (!load(args[0], disk))
        return kUnreadable;
    nlohmann::ordered_json folders = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const TDir& d = disk.DirList[i];
        nlohmann::ordered_json files = nlohmann::ordered_json::array();
        for (const TFile& f : d.FileList)
            files.push_back(fileJson(f));
        folders.push_back({{"name", utf8(d.Name)},
                           {"path", utf8(GetDirPath(std::int32_t(i), disk))},
                           {"parent", d.Parent},
                           {"attr", d.Attr},
                           {"date", d.Date},
                           {"scanDate", d.ScanDate},
                           {"comment", utf8(d.Comment)},
                           {"files", std::move(files)}});
    }
    const nlohmann::ordered_json out = {{"volumeLabel", utf8(disk.VolumeLabel)},
                                        {"serialNo", disk.SerialNo},
                                        {"totalSize", disk.TotalSize},
                                        {"freeSize", disk.FreeSize},
                                        {"comment", utf8(disk.Comment)},
                                        {"reserved", disk.Reserved},
                                        {"folders", std::move(folders)}};
    // Doubles are printed with enough digits to read back exactly.
    std::cout << out.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return kOk;
}

int runLs(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2) {
        printError(QStringLiteral("usage: qdcat ls FILE.qd [FOLDER]"));
        return kUsage;
    }
    TDisk disk;
    if (!load(args[0], disk))
        return kUnreadable;
    std::int32_t folder = 0;
    if (args.size() == 2) {
        folder = FindFolder(disk, toAnsi(args[1]));
        if (folder < 0) {
            printError(QStringLiteral("no folder %1 in %2").arg(args[1], args[0]));
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
    const QByteArray bytes = out.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    return kOk;
}

} // namespace qd::cli
