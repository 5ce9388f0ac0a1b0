#include "FileSearch.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>
#include <exception>
#include <filesystem>

#include "SearchResults.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/Dialogs.h"

namespace qd {
namespace {

constexpr int kPaneHeight = 65; // the results pane's height when first shown

} // namespace

TFileSearch::TFileSearch(QTreeView* list, QObject* parent)
    : QObject(parent), ListView_SearchFile(list), results_(new TSearchResults(this))
{
    list->setModel(results_);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setIconSize(QSize(16, 16));
    // As low as its header, so that the splitter gives it its design height.
    list->setMinimumHeight(list->header()->sizeHint().height());
    list->header()->setStretchLastSection(false);
    const int widths[TSearchResults::ColumnCount] = {130, 130, 270};
    for (int c = 0; c < TSearchResults::ColumnCount; ++c)
        list->header()->resizeSection(c, widths[c]);
    connect(list, &QAbstractItemView::doubleClicked, this, [this] { ListView_SearchFileDblClick(); });
}

TFileSearch::~TFileSearch() = default;

void TFileSearch::setFolderIcon(const QIcon& icon)
{
    results_->setFolderIcon(icon);
}

void TFileSearch::showPane()
{
    ListView_SearchFile->show();
    if (shownOnce_)
        return;
    shownOnce_ = true;
    // The pane comes up at its design height; later the user's splitter
    // position stands.
    if (auto* splitter = qobject_cast<QSplitter*>(ListView_SearchFile->parentWidget())) {
        QList<int> sizes = splitter->sizes();
        const int at = splitter->indexOf(ListView_SearchFile);
        if (at > 0 && sizes.size() > at) {
            const int total = sizes[at - 1] + sizes[at];
            sizes[at - 1] = qMax(0, total - kPaneHeight);
            sizes[at] = qMin(total, kPaneHeight);
            splitter->setSizes(sizes);
        }
    }
}

TFileSearch::Run::Run(TFileSearch& search) : search_(search)
{
    search.running_ = true;
    emit search.runningChanged(true);
    search.clearRows();
    cursor_ = std::make_unique<BusyCursor>(BusyCursor::Background);
    QCoreApplication::processEvents();
    search.sinceEvents_.start();
    search.StopSearch = false;
    emit search.stopEnabledChanged(true);
}

TFileSearch::Run::~Run()
{
    emit search_.stopEnabledChanged(false);
    cursor_.reset();
    search_.running_ = false;
    emit search_.runningChanged(false);
}

void TFileSearch::searchDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon,
                             std::string_view text, QWidget* owner)
{
    const SearchYield yield = [this] {
        // Nearly every file is such a point: the clock is read at every 64th
        // only, as reading it costs several times the match itself.
        if (EventInterval.count() > 0 && (++yieldCalls_ & 63) != 0)
            return !StopSearch;
        if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= EventInterval.count()) {
            QCoreApplication::processEvents();
            sinceEvents_.start();
        }
        return !StopSearch;
    };
    QString failure;
    DialogIcon failureIcon = DialogIcon::None;
    try {
        CatalogSearchResult r = SearchDisk.search(std::filesystem::path(catalogFile.toStdString()), text, yield);
        if (r.load.ok()) {
            if (!r.stopped)
                results_->append(catalogFile, title, icon, std::move(r.found));
            return;
        }
        failure = QString::fromStdString(r.load.message);
    } catch (const CatalogError& e) {
        failure = CatalogErrorText(e);
        failureIcon = DialogIcon::Stop;
    } catch (const std::exception& e) {
        // Out of memory, say: this disk gives nothing, the search goes on.
        failure = QString::fromUtf8(e.what());
        failureIcon = DialogIcon::Stop;
    }
    dialogs().error(owner, failure, failureIcon);
}

void TFileSearch::Stop1Click()
{
    StopSearch = true;
}

void TFileSearch::Close2Click()
{
    ListView_SearchFile->hide();
    clearRows();
}

void TFileSearch::clearRows()
{
    const BusyCursor busy;
    QCoreApplication::processEvents();
    ListView_SearchFile->setUpdatesEnabled(false);
    results_->clear();
    ListView_SearchFile->setUpdatesEnabled(true);
}

void TFileSearch::ListView_SearchFileDblClick()
{
    const QModelIndexList selected = ListView_SearchFile->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    if (const auto place = results_->placeOf(selected.first().row()))
        emit jumpRequested(place->catalogFile, place->folder);
}

} // namespace qd
