#include "StoreSearch.h"

#include <array>
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

bool PassOverStore(const QByteArray& path, StoreSearchSink& sink, const StorePass& pass)
{
    CatalogLanes lanes(pass.work);
    struct Started {
        QByteArray file;
        QString title;
        bool quietWithoutMagic; // a ".qd" without the magic below a folder is no disk
        std::size_t slot;
    };
    std::deque<Started> started;
    // Finishes the catalog started first; false when it gave nothing.
    const auto finishOne = [&] {
        const Started c = std::move(started.front());
        started.pop_front();
        try {
            const LoadResult load = lanes.finish();
            if (load.ok()) {
                pass.tell(c.slot, c.file, c.title);
                return true;
            }
            if (!(c.quietWithoutMagic && load.status == LoadStatus::WrongVersion))
                sink.failed(c.file, QString::fromStdString(load.message));
        } catch (const CatalogError& e) {
            sink.failed(c.file, QString::fromUtf8(e.what()));
        }
        return false;
    };
    const auto begin = [&](const QByteArray& file, const QString& title, bool quiet) {
        if (started.size() == CatalogLanes::kSlots)
            finishOne();
        const std::size_t slot = lanes.start(std::filesystem::path(file.toStdString()));
        started.push_back({file, title, quiet, slot});
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
    CatalogSearch helper; // the other lane's scratch
    std::array<CatalogSearchResult, CatalogLanes::kSlots> results;
    return PassOverStore(
        path, sink,
        {[&](int lane, std::size_t slot, std::string_view image) {
             results[slot] = (lane == 0 ? scratch : helper).searchData(image, query);
             return results[slot].load;
         },
         [&](std::size_t slot, const QByteArray& file, const QString& title) {
             sink.found(file, title, results[slot].found);
             results[slot] = {};
         }});
}

} // namespace qd
