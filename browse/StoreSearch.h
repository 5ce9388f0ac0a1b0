#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "catalog/CatalogSearch.h"

namespace qd {

// The code page 932 bytes that a search compares for the text as typed
// (nothing trimmed). Empty, so that it matches nothing, when the text is
// empty or holds a character without a code page 932 form, which no
// catalogued name can hold.
std::string SearchTextBytes(const QString& text);

// What a search over the catalog store reports, catalog by catalog.
class StoreSearchSink {
public:
    virtual ~StoreSearchSink() = default;
    // The hits of one catalog that was read to its end (also when there are
    // none). file: the catalog file as the file system names it; title: its
    // title as the tree shows it.
    virtual void found(const QByteArray& file, const QString& title, const CatalogHits& hits) = 0;
    // A catalog that gave nothing: gone, of another data type, unreadable or
    // damaged. message: the loader's text.
    virtual void failed(const QByteArray& file, const QString& message) = 0;
    // A folder below that could not be listed, or not to its end (errno):
    // the catalogs in it that were not listed are not searched.
    virtual void unlisted(const QByteArray& folder, int error) {}
};

// A pass over the catalog store that two threads share (see CatalogLanes):
// work(lane, slot, image) takes a catalog's image on either of them (the
// loader's outcome out: Ok, 5104 or 5105; damage throws CatalogError as the
// loader does) and keeps what it found in its slot; tell(slot, file, title)
// then hands that on, on the caller's thread, in the tree's order, for each
// catalog whose work gave Ok.
struct StorePass {
    CatalogLanes::Work work;
    std::function<void(std::size_t slot, const QByteArray& file, const QString& title)> tell;
};

// Runs pass over every catalog below path as SearchStore walks them; what
// fails, and the folders that cannot be listed, go to the sink in their
// places, as SearchStore tells them. The same outcome as SearchStore.
bool PassOverStore(const QByteArray& path, StoreSearchSink& sink, const StorePass& pass);

// Searches every catalog below path, a catalog folder, in the order in which
// the catalog tree lists them (see ForEachCatalog); or, when path is a
// catalog file, that catalog alone. A ".qd" file without the magic found
// below a folder is no disk and is passed over without a word, as the tree
// leaves it out; a folder that cannot be listed is told to the sink. Returns
// false when path itself cannot be read: a folder that cannot be opened, or
// a catalog file that fails (reported to the sink).
// scratch is reused from catalog to catalog. The query's tests are asked
// from two threads at once.
bool SearchStore(const QByteArray& path, std::string_view text, StoreSearchSink& sink, CatalogSearch& scratch);
// The same for any query (see SearchQuery).
bool SearchStore(const QByteArray& path, const SearchQuery& query, StoreSearchSink& sink, CatalogSearch& scratch);

} // namespace qd
