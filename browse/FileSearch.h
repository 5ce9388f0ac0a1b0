#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>
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
// ListView_SearchFile with its rows, StopSearch and SearchDisk, and the
// search's words in the status bar (statusChanged). The main window owns the
// tree and walks it (SearchNode); it opens a Run and hands each disk it
// reaches to searchDisk(). "検索の中断", "閉じる" and the double-click come
// here; a jump is handed back to the main window as the row's catalog file,
// folder index and file name (jumpRequested), which it maps to a tree node
// afresh.
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
    // The hits found are shown in the list at those points too, no more often
    // than this, nor sooner than twice the time the list took to lay its rows
    // out after the last batch (which grows with the rows), so that showing
    // rows never costs more than a third of the search. Zero shows them at
    // every point and at the end of every disk.
    std::chrono::milliseconds RowInterval{50};

    // One run of the search, for the life of the object: it shows the busy
    // cursor, lets pending events run, removes all rows, shows the cursor of
    // work in the background, lets events run again, clears StopSearch and
    // enables "検索の中断"; at its end it disables that again, restores the
    // cursor and says in the status bar how many hits were found, or that the
    // search was stopped. running() holds from its first step to its last.
    // disks: how many disks the run is to search, for the status bar.
    class Run {
    public:
        Run(TFileSearch& search, int disks);
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
    // gives (see SearchYield, EventInterval); StopSearch ends it there. The
    // hits go into the list as they are found (see RowInterval), and stay
    // there however the disk's search ends. A catalog that is gone, of another
    // version or data type, unreadable or damaged is told once, in a message
    // box owned by owner; one damaged far in keeps the rows found before.
    // The status bar names the disk, its place in the run and the hits so far.
    void searchDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon, std::string_view text,
                    QWidget* owner);
    // A catalog folder of the run that could not be listed (its path for
    // display), whose disks are not searched; tellUnlisted says so once.
    void folderUnlisted(const QString& folder);
    // After the run: one message, owned by owner, naming every folder that
    // could not be listed; nothing when there was none.
    void tellUnlisted(QWidget* owner);

    // Shows the results pane; the rows of the last search stay. It comes up
    // at the height it was last dragged to, in this run or an earlier one.
    void showPane();
    // Stores the height the pane was dragged to, for the next run (at the
    // window's end); nothing when it was not dragged.
    void keepPaneHeight();
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
    // The status bar's text.
    void statusChanged(const QString& text);
    // A double-click on a hit: show the disk of that catalog file at folder,
    // with the file of that name (code page 932) selected.
    void jumpRequested(const QByteArray& catalogFile, std::int32_t folder, const AnsiString& name);

private:
    // Empties the results pane, events run first under a busy cursor.
    void clearRows();
    // Moves the hits of found into the list as rows of the disk being
    // searched, shown at the next showRows.
    void takeHits(CatalogHits& found);
    // Shows the rows taken so far, when they are due (or at once with force),
    // and the count in the status bar.
    void showRows(bool force = false);
    void showProgress();

    TSearchResults* results_;
    bool running_ = false;
    bool shownOnce_ = false;
    int draggedHeight_ = 0;       // the pane's height after the user's last drag
    QElapsedTimer clock_;         // since the run began
    qint64 eventsDue_ = 0;        // when pending events run next, on clock_
    qint64 rowsDue_ = 0;          // when found hits are shown next
    bool rowsShown_ = false;      // since pending events last ran
    std::uint32_t yieldCalls_ = 0;
    // The disk being searched, its place in the run and the run's size.
    struct {
        QByteArray file;
        QString title;
        QIcon icon;
        bool listed = false; // its rows have begun in the list
    } disk_;
    int diskNumber_ = 0, disks_ = 0;
    qint64 hits_ = 0; // found in this run
    QStringList unlisted_;
};

} // namespace qd
