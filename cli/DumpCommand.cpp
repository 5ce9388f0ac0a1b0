// qdcat dump and qdcat ls: read one catalog and print it.
#include <QFile>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
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

// Standard output through a buffer of its own, written out in large pieces.
class Out {
public:
    ~Out() { flush(); }
    // JSON text as it is.
    Out& text(std::string_view s)
    {
        buffer_ += s;
        if (buffer_.size() >= kChunk)
            flush();
        return *this;
    }
    // A value as JSON; doubles with enough digits to read back exactly.
    Out& json(const nlohmann::ordered_json& value)
    {
        return text(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    void flush()
    {
        std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
        buffer_.clear();
    }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    std::string buffer_;
};

// The full paths of the folders, in DirList order, each made from its
// parent's. A path is dropped once the last of its sub-folders has been
// given its own, so only the walk's frontier is held: a chain of n folders
// keeps two paths, not n.
class FolderPaths {
public:
    explicit FolderPaths(const TDisk& disk) : disk_(disk), paths_(disk.DirList.size()), lastChild_(disk.DirList.size(), -1)
    {
        for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
            const std::int32_t p = disk.DirList[i].Parent;
            if (p >= 0 && std::size_t(p) < i)
                lastChild_[std::size_t(p)] = std::int32_t(i);
        }
    }
    // The path of folder i (UTF-8); to be asked in increasing order of i.
    const std::string& next(std::size_t i)
    {
        const TDir& d = disk_.DirList[i];
        const std::int32_t p = d.Parent;
        std::string& path = paths_[i];
        // A parent that does not come first never does in a loaded catalog; its name alone then.
        if (p >= 0 && std::size_t(p) < i) {
            path = paths_[std::size_t(p)];
            path += '\\';
            if (lastChild_[std::size_t(p)] == std::int32_t(i))
                std::string().swap(paths_[std::size_t(p)]);
        }
        path += utf8(d.Name);
        if (lastChild_[i] < 0) { // a leaf: no one builds on it
            last_ = std::move(path);
            std::string().swap(path);
            return last_;
        }
        return path;
    }

private:
    const TDisk& disk_;
    std::vector<std::string> paths_;
    std::vector<std::int32_t> lastChild_;
    std::string last_;
};

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
    if (!load(files[0], disk))
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
