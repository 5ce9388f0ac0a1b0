// qdcat search: the file search of the windows over the catalog store, one
// line per hit in the order the results pane lists them.
#include <QDir>
#include <QFile>
#include <cstdio>

#include "Commands.h"
#include "Output.h"
#include "browse/StoreSearch.h"
#include "platform/CatalogRoot.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"
#include "platform/Text.h"

namespace qd::cli {
namespace {

int usage(const QString& why)
{
    printError(why + QStringLiteral("\nusage: qdcat search TEXT [--root CATALOG_ROOT] [--in PATH]"));
    return kUsage;
}

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

int runSearch(const QStringList& args)
{
    QString text, root = CatalogRoot(), in;
    bool haveText = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"--root" && hasValue) {
            root = args[++i];
        } else if (a == u"--in" && hasValue) {
            in = args[++i];
        } else if (a == u"--" && hasValue && !haveText) {
            text = args[++i]; // a text that begins with "--"
            haveText = true;
        } else if (!a.startsWith(u"--") && !haveText) {
            text = a;
            haveText = true;
        } else {
            return usage(QStringLiteral("unexpected argument \"%1\"").arg(a));
        }
    }
    if (!haveText)
        return usage(QStringLiteral("name the text to search for"));
    if (root.isEmpty())
        return usage(QStringLiteral("name the catalog root"));

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
            return usage(QStringLiteral("%1 is not below the catalog root %2").arg(in, root));
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
