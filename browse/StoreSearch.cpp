#include "StoreSearch.h"

#include <deque>
#include <filesystem>

#include "catalog/Cp932.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"

namespace qd {

std::string SearchTextBytes(const QString& text)
{
    const cp932::Encoded encoded = cp932::fromUtf8(text.toStdString());
    return encoded.substituted ? std::string() : encoded.bytes;
}

bool PassOverStore(const QByteArray& path, StoreSearchSink& sink, const CatalogPass& pass)
{
    CatalogReadAhead ahead;
    struct Started {
        QByteArray file;
        QString title;
        bool quietWithoutMagic; // a ".qd" without the magic below a folder is no disk
    };
    std::deque<Started> started;
    // Finishes the catalog started first; false when it gave nothing.
    const auto finishOne = [&] {
        const Started c = std::move(started.front());
        started.pop_front();
        try {
            const LoadResult load =
                ahead.finish([&](std::string_view image) { return pass(c.file, c.title, image); });
            if (load.ok())
                return true;
            if (!(c.quietWithoutMagic && load.status == LoadStatus::WrongVersion))
                sink.failed(c.file, QString::fromStdString(load.message));
        } catch (const CatalogError& e) {
            sink.failed(c.file, QString::fromUtf8(e.what()));
        }
        return false;
    };
    const auto begin = [&](const QByteArray& file, const QString& title, bool quiet) {
        if (started.size() == CatalogReadAhead::kDepth)
            finishOne();
        ahead.start(std::filesystem::path(file.toStdString()));
        started.push_back({file, title, quiet});
    };
    if (!DirectoryExists(path)) {
        const QByteArray title = CatalogTitle(path.mid(path.lastIndexOf('/') + 1));
        begin(path, DisplayFileName(title), false);
        return finishOne();
    }
    const bool listed = ForEachCatalog(
        path,
        [&](const QByteArray& file, const StoreEntry& entry) {
            begin(file, entry.text, true);
            return true;
        },
        [&](const QByteArray& folder, int error) {
            // Told in its place among the catalogs, as the tree would show it.
            while (!started.empty())
                finishOne();
            sink.unlisted(folder, error);
        });
    while (!started.empty())
        finishOne();
    return listed;
}

bool SearchStore(const QByteArray& path, std::string_view text, StoreSearchSink& sink, CatalogSearch& scratch)
{
    SearchQuery query;
    query.text = text;
    return SearchStore(path, query, sink, scratch);
}

bool SearchStore(const QByteArray& path, const SearchQuery& query, StoreSearchSink& sink, CatalogSearch& scratch)
{
    return PassOverStore(path, sink, [&](const QByteArray& file, const QString& title, std::string_view image) {
        const CatalogSearchResult r = scratch.searchData(image, query);
        if (r.load.ok())
            sink.found(file, title, r.found);
        return r.load;
    });
}

} // namespace qd
