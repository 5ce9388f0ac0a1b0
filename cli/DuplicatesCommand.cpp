// qdcat duplicates: files of the same name and size on two or more disks.
#include <cstdio>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/StoreDuplicates.h"
#include "platform/CatalogStore.h"
#include "platform/Text.h"

namespace qd::cli {

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
    if (const auto exit = line.atMost(0))
        return *exit;
    std::optional<std::uint64_t> minSize = 1;
    if (const auto exit = line.sizeOption(QStringLiteral("min-size"), minSize))
        return *exit;
    const std::optional<QByteArray> root = line.rootPath();
    if (!root)
        return kUsage;

    ReportFailures failures;
    Duplicates found;
    if (!FindDuplicates(*root, *minSize, failures, found))
        return line.unreadableRoot();
    std::vector<QString> titles, catalogs; // made once per catalog
    for (const Duplicates::Catalog& c : found.catalogs) {
        titles.push_back(c.title);
        catalogs.push_back(DisplayFileName(c.file));
    }
    const bool json = line.isSet(QStringLiteral("json"));
    Out out;
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
            out.jsonLine({{"name", JsonText(group.name)}, {"size", group.size}, {"files", places}});
        } else {
            // One line per file; a blank line between groups.
            if (g > 0)
                out.text("\n");
            const QString size = QString::number(group.size), name = fromAnsi(group.name);
            for (const Duplicates::Place& p : group.places)
                out.print(TsvRow({size, name, titles[p.catalog], fromAnsi(found.folders[p.folder])}));
        }
    }
    out.flush();
    std::fflush(stdout);
    std::fprintf(stderr, "%lld %s of %lld files found\n", static_cast<long long>(found.groups.size()),
                 found.groups.size() == 1 ? "group" : "groups", static_cast<long long>(files));
    return kOk;
}

} // namespace qd::cli
