#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <string_view>

#include "catalog/CatalogSearch.h"

class QTreeView;
class QWidget;

namespace qd {

class BusyCursor;
class TSearchResults;

// The file search's side of the main window: the results pane
// ListView_SearchFile with its rows, StopSearch and SearchDisk. The main
// window owns the tree and walks it (SearchNode); it opens a Run and hands
// each disk it reaches to searchDisk(). "検索の中断", "閉じる" and the
// double-click come here; a jump is handed back to the main window as the
// row's catalog file and folder index (jumpRequested), which it maps to a
// tree node afresh.
class TFileSearch : public QObject {
    Q_OBJECT
public:
    // list: ListView_SearchFile, hidden until the first search is opened;
    // the rows go into it here.
    explicit TFileSearch(QTreeView* list, QObject* parent = nullptr);
    ~TFileSearch() override;

    // Set by "検索の中断" (and by whatever must end a running search);
    // cleared as every search starts.
    bool StopSearch = false;
    // The scratch of the search: the catalog being searched, reused for
    // every disk, apart from the disk on show.
    CatalogSearch SearchDisk;
    // Pending events run only at the points the matching gives (see
    // SearchYield), and no more often than this: a round of the event loop
    // costs hundreds of times more than matching a name, and neither a stop
    // nor a repaint would be seen any sooner. Zero runs them at every point.
    std::chrono::milliseconds EventInterval{10};

    // One run of the search, for the life of the object: it shows the busy
    // cursor, lets pending events run, removes all rows, shows the cursor of
    // work in the background, lets events run again, clears StopSearch and
    // enables "検索の中断"; at its end it disables that again and restores
    // the cursor. running() holds from its first step to its last.
    class Run {
    public:
        explicit Run(TFileSearch& search);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

    private:
        TFileSearch& search_;
        std::unique_ptr<BusyCursor> cursor_;
    };
    bool running() const { return running_; }

    // Searches one disk for file names holding text (code page 932 bytes):
    // its catalog file (the file system's bytes), its title and picture as
    // the tree shows them. Pending events run at the points the matching
    // gives (see SearchYield, EventInterval); StopSearch ends it there. The hits go into
    // the list once the catalog is read to its end. A catalog that is gone,
    // of another version or data type, unreadable or damaged gives no rows
    // and is told once, in a message box owned by owner.
    void searchDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon, std::string_view text,
                    QWidget* owner);

    // Shows the results pane; the rows of the last search stay.
    void showPane();
    // The pane's images: the folder picture of its folder column.
    void setFolderIcon(const QIcon& icon);

    void Stop1Click();
    void Close2Click();
    void ListView_SearchFileDblClick();

    QTreeView* ListView_SearchFile;
    TSearchResults* results() const { return results_; }

signals:
    void stopEnabledChanged(bool enabled); // Stop1
    void runningChanged(bool running);
    // A double-click on a hit: show the disk of that catalog file at folder.
    void jumpRequested(const QByteArray& catalogFile, std::int32_t folder);

private:
    // Empties the results pane, events run first under a busy cursor.
    void clearRows();

    TSearchResults* results_;
    bool running_ = false;
    bool shownOnce_ = false;
    QElapsedTimer sinceEvents_; // since pending events last ran
    std::uint32_t yieldCalls_ = 0;
};

} // namespace qd
