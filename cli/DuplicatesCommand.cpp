// qdcat duplicates: files of the same name and size on two or more disks.
#include <QDir>
#include <QFile>
#include <cstdio>

#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/StoreDuplicates.h"
#include "browse/StoreSearch.h"
#include "platform/CatalogStore.h"
#include "platform/Text.h"

namespace qd::cli {
namespace {

class ReportFailures final : public StoreSearchSink {
public:
    void found(const QByteArray&, const QString&, const CatalogHits&) override {}
    void failed(const QByteArray& file, const QString& message) override
    {
        printError(DisplayFileName(file) + QStringLiteral(": ") + message);
    }
};

} // namespace

int runDuplicates(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.rootOption();
    line.option({QStringLiteral("min-size")},
                QStringLiteral("Files of at least N bytes (K, M and G multiply by 1024 each); 1 by default."),
                QStringLiteral("N"));
    line.option({QStringLiteral("json")}, QStringLiteral("One JSON object per group and line."));
    if (const auto exit = line.parse(args))
        return *exit;
    if (!line.positionals().isEmpty())
        return line.usage(QStringLiteral("unexpected argument \"%1\"").arg(line.positionals()[0]));
    std::uint64_t minSize = 1;
    if (line.isSet(QStringLiteral("min-size"))) {
        const auto size = ParseSize(line.value(QStringLiteral("min-size")));
        if (!size)
            return line.usage(QStringLiteral("\"%1\" is no size such as 4096, 700K or 2G").arg(line.value(QStringLiteral("min-size"))));
        minSize = *size;
    }
    const QString root = line.root();
    if (root.isEmpty())
        return line.usage(QStringLiteral("name the catalog root"));

    ReportFailures failures;
    Duplicates found;
    if (!FindDuplicates(QFile::encodeName(QDir::cleanPath(root)), minSize, failures, found)) {
        printError(QStringLiteral("cannot read the catalog root %1").arg(root));
        return kUnreadable;
    }
    std::vector<QString> titles, catalogs; // made once per catalog
    for (const Duplicates::Catalog& c : found.catalogs) {
        titles.push_back(c.title);
        catalogs.push_back(DisplayFileName(c.file));
    }
    const bool json = line.isSet(QStringLiteral("json"));
    std::string out;
    qint64 files = 0;
    for (std::size_t g = 0; g < found.groups.size(); ++g) {
        const Duplicates::Group& group = found.groups[g];
        files += qint64(group.places.size());
        if (json) {
            nlohmann::ordered_json places = nlohmann::ordered_json::array();
            for (const Duplicates::Place& p : group.places)
                places.push_back({{"title", titles[p.catalog].toStdString()},
                                  {"catalog", catalogs[p.catalog].toStdString()},
                                  {"folder", JsonText(found.folders[p.folder])}});
            out += JsonLine({{"name", JsonText(group.name)}, {"size", group.size}, {"files", places}});
        } else {
            // One line per file; a blank line between groups.
            if (g > 0)
                out += '\n';
            const QString size = QString::number(group.size), name = fromAnsi(group.name);
            for (const Duplicates::Place& p : group.places)
                out += TsvRow({size, name, titles[p.catalog], fromAnsi(found.folders[p.folder])}).toStdString();
        }
        if (out.size() >= 1 << 16) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "%lld %s of %lld files found\n", static_cast<long long>(found.groups.size()),
                 found.groups.size() == 1 ? "group" : "groups", static_cast<long long>(files));
    return kOk;
}

} // namespace qd::cli
