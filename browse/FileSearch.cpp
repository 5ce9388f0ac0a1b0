#include "FileSearch.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLocale>
#include <QSplitter>
#include <QTreeView>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "SearchResults.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/Dialogs.h"
#include "platform/Settings.h"

namespace qd {
namespace {

// A count of hits as the status bar gives it: 1,234.
QString hitCount(qint64 n)
{
    return QLocale(QLocale::Japanese, QLocale::Japan).toString(n);
}

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
    // The height the user drags the pane to is kept for the next run.
    if (auto* splitter = qobject_cast<QSplitter*>(list->parentWidget())) {
        connect(splitter, &QSplitter::splitterMoved, this, [this] {
            if (ListView_SearchFile->isVisible())
                draggedHeight_ = ListView_SearchFile->height();
        });
    }
}

void TFileSearch::keepPaneHeight()
{
    if (draggedHeight_ > 0)
        settings::setSearchPaneHeight(draggedHeight_);
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
    // The pane comes up at the height it had when last dragged (at first
    // its design height); later in the run the splitter's position stands.
    if (auto* splitter = qobject_cast<QSplitter*>(ListView_SearchFile->parentWidget())) {
        QList<int> sizes = splitter->sizes();
        const int at = splitter->indexOf(ListView_SearchFile);
        if (at > 0 && sizes.size() > at) {
            const int height = settings::searchPaneHeight();
            const int total = sizes[at - 1] + sizes[at];
            sizes[at - 1] = qMax(0, total - height);
            sizes[at] = qMin(total, height);
            splitter->setSizes(sizes);
        }
    }
}

TFileSearch::Run::Run(TFileSearch& search, int disks) : search_(search)
{
    search.running_ = true;
    emit search.runningChanged(true);
    search.clearRows();
    cursor_ = std::make_unique<BusyCursor>(BusyCursor::Background);
    QCoreApplication::processEvents();
    search.clock_.start();
    search.eventsDue_ = search.rowsDue_ = 0;
    search.diskNumber_ = 0;
    search.disks_ = disks;
    search.hits_ = 0;
    search.unlisted_.clear();
    search.StopSearch = false;
    emit search.stopEnabledChanged(true);
}

TFileSearch::Run::~Run()
{
    search_.showRows(true);
    emit search_.stopEnabledChanged(false);
    const QString count = hitCount(search_.hits_);
    emit search_.statusChanged(search_.StopSearch ? QStringLiteral("検索を中断しました  %1 件").arg(count)
                                                  : QStringLiteral("%1 件見つかりました").arg(count));
    cursor_.reset();
    search_.running_ = false;
    emit search_.runningChanged(false);
}

void TFileSearch::showProgress()
{
    emit statusChanged(QStringLiteral("検索中: %1 (%2/%3)  %4 件")
                           .arg(disk_.title)
                           .arg(diskNumber_)
                           .arg(disks_)
                           .arg(hitCount(hits_)));
}

void TFileSearch::takeHits(CatalogHits& found)
{
    if (found.hits.empty())
        return;
    hits_ += qint64(found.hits.size());
    // Also after "閉じる" has emptied the list meanwhile: it goes on filling.
    if (!disk_.listed) {
        results_->beginDisk(disk_.file, disk_.title, disk_.icon);
        disk_.listed = true;
    }
    results_->take(found);
}

void TFileSearch::showRows(bool force)
{
    const qint64 now = clock_.elapsed();
    if (!results_->unpublished() || !(force || RowInterval.count() == 0 || now >= rowsDue_))
        return;
    results_->publish();
    rowsShown_ = true;
    rowsDue_ = now + RowInterval.count();
    showProgress();
}

void TFileSearch::searchDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon,
                             std::string_view text, QWidget* owner)
{
    disk_ = {catalogFile, title, icon, false};
    ++diskNumber_;
    showProgress();
    const SearchYield yield = [this](CatalogHits& found) {
        // Nearly every file is such a point: the clock is read at every 64th
        // only, as reading it costs several times the match itself.
        if (EventInterval.count() > 0 && (++yieldCalls_ & 63) != 0)
            return !StopSearch;
        const qint64 now = clock_.elapsed();
        if (RowInterval.count() == 0 || now >= rowsDue_) {
            takeHits(found);
            showRows();
        }
        if (now >= eventsDue_) {
            const qint64 before = clock_.elapsed();
            QCoreApplication::processEvents();
            const qint64 after = clock_.elapsed();
            eventsDue_ = after + EventInterval.count();
            // The list laid its rows out anew just now, in time that grows
            // with them: twice that time of search comes before the next.
            if (std::exchange(rowsShown_, false) && RowInterval.count() > 0)
                rowsDue_ = std::max(rowsDue_, after + 2 * (after - before));
        }
        return !StopSearch;
    };
    QString failure;
    DialogIcon failureIcon = DialogIcon::None;
    try {
        CatalogSearchResult r = SearchDisk.search(std::filesystem::path(catalogFile.toStdString()), text, yield);
        takeHits(r.found); // what is left, also of a search stopped half-way
        showRows();
        if (r.load.ok())
            return;
        failure = QString::fromStdString(r.load.message);
    } catch (const CatalogError& e) {
        takeHits(SearchDisk.partial()); // the rows before the damage stay
        failure = CatalogErrorText(e);
        failureIcon = DialogIcon::Stop;
    } catch (const std::exception& e) {
        // Out of memory, say: this disk gives nothing more, the search goes on.
        failure = QString::fromUtf8(e.what());
        failureIcon = DialogIcon::Stop;
    }
    showRows(true); // what the disk gave stands beside the message
    dialogs().error(owner, failure, failureIcon);
}

void TFileSearch::folderUnlisted(const QString& folder)
{
    unlisted_ << folder;
}

void TFileSearch::tellUnlisted(QWidget* owner)
{
    if (unlisted_.isEmpty())
        return;
    const QString text = QStringLiteral("次のフォルダを読み込めませんでした。中のディスクは検索されていません。\r\n") +
                         std::exchange(unlisted_, {}).join(QStringLiteral("\r\n"));
    dialogs().error(owner, text, DialogIcon::Exclamation);
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
    disk_.listed = false;
    ListView_SearchFile->setUpdatesEnabled(true);
}

void TFileSearch::ListView_SearchFileDblClick()
{
    const QModelIndexList selected = ListView_SearchFile->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    if (const auto place = results_->placeOf(selected.first().row()))
        emit jumpRequested(place->catalogFile, place->folder, place->name);
}

} // namespace qd
