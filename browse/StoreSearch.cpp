#include "StoreSearch.h"

#include <filesystem>

#include "catalog/Cp932.h"
#include "platform/CatalogStore.h"
#include "platform/FileOps.h"

namespace qd {
namespace {

// Searches one catalog file; false when it gave nothing.
bool searchCatalog(const QByteArray& file, const QString& title, const SearchQuery& query, StoreSearchSink& sink,
                   CatalogSearch& scratch, bool quietWithoutMagic)
{
    try {
        const CatalogSearchResult r = scratch.search(std::filesystem::path(file.toStdString()), query);
        if (r.load.ok()) {
            sink.found(file, title, r.found);
            return true;
        }
        if (!(quietWithoutMagic && r.load.status == LoadStatus::WrongVersion))
            sink.failed(file, QString::fromStdString(r.load.message));
    } catch (const CatalogError& e) {
        sink.failed(file, QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace

std::string SearchTextBytes(const QString& text)
{
    const cp932::Encoded encoded = cp932::fromUtf8(text.toStdString());
    return encoded.substituted ? std::string() : encoded.bytes;
}

bool SearchStore(const QByteArray& path, std::string_view text, StoreSearchSink& sink, CatalogSearch& scratch)
{
    SearchQuery query;
    query.text = text;
    return SearchStore(path, query, sink, scratch);
}

bool SearchStore(const QByteArray& path, const SearchQuery& query, StoreSearchSink& sink, CatalogSearch& scratch)
{
    if (!DirectoryExists(path)) {
        const QByteArray title = CatalogTitle(path.mid(path.lastIndexOf('/') + 1));
        return searchCatalog(path, DisplayFileName(title), query, sink, scratch, false);
    }
    return ForEachCatalog(
        path,
        [&](const QByteArray& file, const StoreEntry& entry) {
            searchCatalog(file, entry.text, query, sink, scratch, true);
            return true;
        },
        [&](const QByteArray& folder, int error) { sink.unlisted(folder, error); });
}

} // namespace qd
