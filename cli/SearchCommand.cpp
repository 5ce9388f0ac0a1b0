// qdcat search: the file search of the windows over the catalog store, one
// line per hit in the order the results pane lists them.
#include <QDir>
#include <QFile>
#include <cstdio>

#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "browse/StoreSearch.h"
#include "platform/CatalogRoot.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"
#include "platform/Text.h"

namespace qd::cli {
namespace {

// Prints the hits of each catalog as it is done: disk title, file name and
// folder path, tab-separated.
class PrintHits final : public StoreSearchSink {
public:
    void found(const QByteArray&, const QString& title, const CatalogHits& found) override
    {
        if (found.hits.empty())
            return;
        const QString disk = TsvField(title);
        QString out;
        for (const FileHit& hit : found.hits) {
            out += disk;
            out += QLatin1Char('\t');
            out += TsvField(fromAnsi(hit.name));
            out += QLatin1Char('\t');
            out += TsvField(fromAnsi(found.paths[hit.path]));
            out += QLatin1Char('\n');
        }
        const QByteArray bytes = out.toUtf8();
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        count += qint64(found.hits.size());
    }
    void failed(const QByteArray& file, const QString& message) override
    {
        printError(DisplayFileName(file) + QStringLiteral(": ") + message);
    }
    qint64 count = 0;
};

} // namespace

int runSearch(const Command& command, const QStringList& args)
{
    CommandLine line(command);
    line.positional(QStringLiteral("TEXT"), QStringLiteral("The text that file names must contain."));
    line.rootOption();
    line.option({QStringLiteral("in")}, QStringLiteral("Search below this catalog folder or in this catalog file only."),
                QStringLiteral("PATH"));
    if (const auto exit = line.parse(args))
        return *exit;
    if (line.positionals().isEmpty())
        return line.usage(QStringLiteral("name the text to search for"));
    if (line.positionals().size() > 1)
        return line.usage(QStringLiteral("unexpected argument \"%1\"").arg(line.positionals()[1]));
    const QString text = line.positionals()[0];
    const QString root = line.root();
    const QString in = line.value(QStringLiteral("in"));
    if (root.isEmpty())
        return line.usage(QStringLiteral("name the catalog root"));

    const QByteArray rootPath = QFile::encodeName(QDir::cleanPath(root));
    if (!DirectoryExists(rootPath)) {
        printError(QStringLiteral("cannot read the catalog root %1").arg(root));
        return kUnreadable;
    }
    QByteArray target = rootPath;
    if (!in.isEmpty()) {
        // A path as the tree names it: below the root, or absolute inside it.
        const QString clean = QDir::cleanPath(in);
        target = QDir::isAbsolutePath(clean) ? QFile::encodeName(clean) : JoinPath(rootPath, QFile::encodeName(clean));
        if (!DirectoryExists(target) && !FileExists(target)) {
            printError(QStringLiteral("cannot read %1").arg(in));
            return kUnreadable;
        }
        if (!InsideFolder(target, rootPath))
            return line.usage(QStringLiteral("%1 is not below the catalog root %2").arg(in, root));
    }

    PrintHits out;
    CatalogSearch scratch;
    const bool read = SearchStore(target, SearchTextBytes(text), out, scratch);
    std::fflush(stdout);
    if (!read && DirectoryExists(target))
        printError(QStringLiteral("cannot read %1").arg(DisplayFileName(target)));
    std::fprintf(stderr, "%lld %s found\n", static_cast<long long>(out.count), out.count == 1 ? "file" : "files");
    return read ? kOk : kUnreadable;
}

} // namespace qd::cli
