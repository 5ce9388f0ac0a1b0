// qdcat search: the file search of the windows over the catalog store, one
// line per hit in the order the results pane lists them; with options, names
// matched case-blind, by wildcards or by a regular expression, folders too,
// and sizes and dates within bounds.
#include <QDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Catalogs.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/NameMatch.h"
#include "browse/StoreSearch.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"

namespace qd::cli {
namespace {

// Prints the hits of each catalog as it is done: tab-separated disk title,
// name (a folder's with a backslash after it) and folder path; or one JSON
// object per hit.
class PrintHits final : public ReportFailures {
public:
    explicit PrintHits(bool json) : json_(json) {}

    void found(const QByteArray& file, const QString& title, const CatalogHits& found) override
    {
        if (found.hits.empty())
            return;
        if (json_)
            printJson(file, title, found);
        else
            printTsv(title, found);
        for (std::size_t i = 0; i < found.hits.size(); ++i)
            ++(i < found.details.size() && found.details[i].folder ? folders : files);
    }
    qint64 files = 0, folders = 0;
    Out out;

private:
    void printTsv(const QString& title, const CatalogHits& found)
    {
        const std::string disk = TsvField(title).toStdString();
        const TextBlock paths = ConvertedTexts(found.paths, AnsiTsvField);
        for (std::size_t i = 0; i < found.hits.size(); ++i) {
            const FileHit& hit = found.hits[i];
            out.text(disk).text("\t").text(AnsiTsvField(hit.name.view()));
            if (i < found.details.size() && found.details[i].folder)
                out.text("\\\\"); // an escaped backslash: no file name ends in one
            out.text("\t").text(paths[hit.path]).text("\n");
        }
    }
    void printJson(const QByteArray& file, const QString& title, const CatalogHits& found)
    {
        // The fields of the catalog, and each folder's path, dumped once.
        const std::string disk = JsonStringDump(title.toStdString());
        const std::string catalog = JsonStringDump(DisplayFileName(file).toStdString());
        const TextBlock paths = ConvertedTexts(found.paths, JsonTextDump);
        std::string line;
        for (std::size_t i = 0; i < found.hits.size(); ++i) {
            const FileHit& hit = found.hits[i];
            const HitDetails& d = found.details[i];
            line.assign("{\"title\":").append(disk).append(",\"catalog\":").append(catalog);
            line.append(",\"folder\":").append(paths[hit.path]).append(",\"name\":").append(JsonTextDump(hit.name.view()));
            line.append(",\"kind\":").append(d.folder ? "\"folder\"" : "\"file\"");
            line.append(",\"size\":").append(d.folder ? std::string("null") : std::to_string(d.size));
            line.append(",\"created\":").append(JsonDateTimeDump(d.created));
            line.append(",\"modified\":").append(JsonDateTimeDump(d.modified));
            line.append(",\"accessed\":").append(JsonDateTimeDump(d.accessed));
            line.append(",\"comment\":").append(JsonTextDump(d.comment)).append("}\n");
            out.text(line);
        }
    }

    bool json_;
};

} // namespace

int runSearch(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    const QString ignoreCase = QStringLiteral("ignore-case"), glob = QStringLiteral("glob"),
                  regex = QStringLiteral("regex"), folders = QStringLiteral("folders"),
                  minSize = QStringLiteral("min-size"), maxSize = QStringLiteral("max-size"),
                  after = QStringLiteral("after"), before = QStringLiteral("before"), json = QStringLiteral("json");
    line.positional(QStringLiteral("TEXT"), QStringLiteral("The text that names must contain."), QStringLiteral("[TEXT]"));
    line.rootOption();
    line.option({QStringLiteral("in")}, QStringLiteral("Search below this catalog folder or in this catalog file only."),
                QStringLiteral("PATH"));
    line.option({QStringLiteral("i"), ignoreCase},
                QStringLiteral("Ignore case and width in TEXT and --glob (ＲＥＰＯＲＴ is report, ｶﾞ is ガ)."));
    line.option({glob}, QStringLiteral("Names matching PATTERN as a whole: * any run of characters, ? any one."),
                QStringLiteral("PATTERN"));
    line.option({regex},
                QStringLiteral("Names in which the regular expression RE matches, in RE2's syntax (that of Go): "
                               "no backreferences or lookaround; \\d, \\w, \\s and \\b are ASCII, \\p{Han}, "
                               "\\p{Katakana} or \\p{L} stand for other letters. Every name is decided, in time "
                               "linear in its length, whatever the pattern."),
                QStringLiteral("RE"));
    line.option({folders}, QStringLiteral("Match folder names too."));
    line.option({minSize}, QStringLiteral("Files of at least N bytes (K, M and G multiply by 1024 each)."),
                QStringLiteral("N"));
    line.option({maxSize}, QStringLiteral("Files of at most N bytes."), QStringLiteral("N"));
    line.option({after}, QStringLiteral("Last written on or after DATE (2024-05-01, or 2024-05-01T13:45)."),
                QStringLiteral("DATE"));
    line.option({before}, QStringLiteral("Last written before DATE."), QStringLiteral("DATE"));
    line.option({json}, QStringLiteral("One JSON object per hit and line."));
    if (const auto exit = line.parse(args))
        return *exit;
    if (const auto exit = line.atMost(1))
        return *exit;
    const bool caseBlind = line.isSet(ignoreCase);

    // The plain form, a text alone, is the windows' search.
    SearchQuery query;
    std::vector<std::unique_ptr<RecordTest>> tests;
    const std::string plainText = SearchTextBytes(line.positionals().value(0));
    if (!line.positionals().isEmpty()) {
        if (caseBlind)
            tests.push_back(std::make_unique<FoldedTextTest>(line.positionals()[0]));
        else
            query.text = plainText;
    }
    if (line.isSet(glob))
        tests.push_back(std::make_unique<GlobTest>(line.value(glob), caseBlind));
    if (line.isSet(regex)) {
        auto test = std::make_unique<RegexTest>(line.value(regex), caseBlind);
        if (!test->error().isEmpty())
            return line.usage(QStringLiteral("the regular expression %1 is wrong: %2").arg(line.value(regex), test->error()));
        tests.push_back(std::move(test));
    }
    for (const auto& [name, bound] : {std::pair{minSize, &query.minSize}, std::pair{maxSize, &query.maxSize}})
        if (const auto exit = line.sizeOption(name, *bound))
            return *exit;
    for (const auto& [name, bound] : {std::pair{after, &query.after}, std::pair{before, &query.before}}) {
        if (line.isSet(name)) {
            *bound = ParseDateTime(line.value(name));
            if (!*bound)
                return line.usage(QStringLiteral("\"%1\" is no date such as 2024-05-01 or 2024-05-01T13:45").arg(line.value(name)));
        }
    }
    for (const auto& test : tests)
        query.tests.push_back(test.get());
    query.folders = line.isSet(folders);
    query.details = line.isSet(json);
    if (line.positionals().isEmpty() && query.tests.empty() && !query.minSize && !query.maxSize && !query.after &&
        !query.before)
        return line.usage(QStringLiteral("name the text to search for"));

    const QString in = line.value(QStringLiteral("in"));
    const std::optional<QByteArray> root = line.rootPath();
    if (!root)
        return kUsage;
    const QByteArray& rootPath = *root;
    if (!DirectoryExists(rootPath))
        return line.unreadableRoot();
    QByteArray target = rootPath;
    if (!in.isEmpty()) {
        // A path as the tree names it: below the root, or absolute inside it.
        const QString clean = QDir::cleanPath(in);
        target = QDir::isAbsolutePath(clean) ? ArgumentBytes(clean) : JoinPath(rootPath, ArgumentBytes(clean));
        if (!DirectoryExists(target) && !FileExists(target)) {
            printError(QStringLiteral("cannot read %1").arg(DisplayFileName(ArgumentBytes(in))));
            return kUnreadable;
        }
        if (!InsideFolder(target, rootPath))
            return line.usage(QStringLiteral("%1 is not below the catalog root %2")
                                  .arg(DisplayFileName(ArgumentBytes(in)), DisplayFileName(rootPath)));
    }

    PrintHits out(line.isSet(json));
    CatalogSearch scratch;
    const bool read = SearchStore(target, query, out, scratch);
    out.out.flush();
    std::fflush(stdout);
    if (!read && DirectoryExists(target))
        printError(QStringLiteral("cannot read %1").arg(DisplayFileName(target)));
    const auto counted = [](qint64 n, const char* one, const char* many) {
        return QString::number(n) + u' ' + QLatin1String(n == 1 ? one : many);
    };
    const QString files = counted(out.files, "file", "files");
    const QString found = query.folders ? files + QStringLiteral(" and ") + counted(out.folders, "folder", "folders") : files;
    std::fprintf(stderr, "%s found\n", found.toUtf8().constData());
    return read ? kOk : kUnreadable;
}

} // namespace qd::cli
