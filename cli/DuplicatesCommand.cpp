// qdcat duplicates: files of the same name and size on two or more disks.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/StoreDuplicates.h"
#include "platform/CatalogStore.h"

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
    // Each catalog's title and file name made once, as TSV fields or as
    // dumped JSON strings; then, since a folder belongs to one catalog, what
    // each line shows of a file's place after its group's head, made once
    // per folder however many files it holds.
    const bool json = line.isSet(QStringLiteral("json"));
    std::vector<std::string> titles, catalogs;
    for (const Duplicates::Catalog& c : found.catalogs) {
        if (json) {
            titles.push_back(JsonStringDump(c.title.toStdString()));
            catalogs.push_back(JsonStringDump(DisplayFileName(c.file).toStdString()));
        } else {
            titles.push_back(TsvField(c.title).toStdString());
        }
    }
    // A folder of no group's file (its candidate's hash met another name's)
    // is left empty.
    constexpr auto kNone = std::uint32_t(-1);
    std::vector<std::uint32_t> catalogOf(found.folders.size(), kNone);
    for (const Duplicates::Place& p : found.places)
        catalogOf[p.folder] = p.catalog;
    TextBlock places;
    places.reserve(found.folders.size());
    for (std::size_t f = 0; f < found.folders.size(); ++f) {
        const std::uint32_t c = catalogOf[f];
        places.add([&](std::string& text) {
            if (c == kNone)
                return;
            if (json) {
                text.append("{\"title\":").append(titles[c]).append(",\"catalog\":").append(catalogs[c]);
                text.append(",\"folder\":").append(JsonTextDump(found.folders[f])).append("}");
            } else {
                AppendAnsiTsvField(text.append(titles[c]).append(1, '\t'), found.folders[f]);
                text.append(1, '\n');
            }
        });
    }
    qint64 files = 0;
    for (const Duplicates::Group& group : found.groups)
        files += qint64(group.count);
    // Some thousand groups a piece, so that both threads have work and the
    // text of neither grows large.
    constexpr std::size_t kGroupsAPiece = 4096;
    const std::size_t groups = found.groups.size();
    WritePiecesOnTwoThreads((groups + kGroupsAPiece - 1) / kGroupsAPiece, [&](std::size_t piece, std::string& text) {
        std::string head; // of one group after another, without allocating each time
        for (std::size_t g = piece * kGroupsAPiece; g < std::min(groups, (piece + 1) * kGroupsAPiece); ++g) {
            const Duplicates::Group& group = found.groups[g];
            // A group's name and places lie where its files were met: asked
            // for a few groups ahead.
            if (constexpr std::size_t kAhead = 8; g + kAhead < groups) {
                __builtin_prefetch(found.groups[g + kAhead].name);
                __builtin_prefetch(&found.places[found.groups[g + kAhead].first]);
            }
            if (json) {
                // One object per group and line: its name, size and files.
                text.append("{\"name\":").append(JsonTextDump(found.nameOf(group)));
                text.append(",\"size\":").append(std::to_string(group.size)).append(",\"files\":[");
                const char* between = "";
                for (const Duplicates::Place& p : found.placesOf(group)) {
                    text.append(between).append(places[p.folder]);
                    between = ",";
                }
                text.append("]}\n");
            } else {
                // One line per file; a blank line between groups.
                if (g > 0)
                    text.append("\n");
                head.assign(std::to_string(group.size)).append(1, '\t');
                AppendAnsiTsvField(head, found.nameOf(group));
                head.append(1, '\t');
                for (const Duplicates::Place& p : found.placesOf(group))
                    text.append(head).append(places[p.folder]);
            }
        }
    });
    std::fflush(stdout);
    std::fprintf(stderr, "%lld %s of %lld files found\n", static_cast<long long>(found.groups.size()),
                 found.groups.size() == 1 ? "group" : "groups", static_cast<long long>(files));
    return kOk;
}

} // namespace qd::cli
