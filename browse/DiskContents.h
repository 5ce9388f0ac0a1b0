#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <filesystem>
#include <string_view>
#include <functional>

#include "FolderRows.h"
#include "PathBar.h"
#include "catalog/Disk.h"
#include "catalog/DiskFile.h"
#include "platform/NameOrder.h"

class QAbstractItemDelegate;
class QAction;
class QActionGroup;
class QItemSelectionModel;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeView;
class QWidget;

namespace qd {

class FolderModel;

// The disk contents view: the file list with its path bar on the first page and
// the property panel with the disk comment on the second. It owns ShownDisk and
// the state of the folder on show. The main window owns the tree, the pages and
// the tool buttons; it calls clear()/showNothing()/showDisk() from its tree
// click, forwards "上へ" to TB_UpdirClick() and follows the enabling signals.
class TDiskContents : public QObject {
    Q_OBJECT
public:
    enum class ViewStyle { LargeIcon, SmallIcon, List, Detail };

    // Builds ListView1 and P_FolderName inside filePanel (Panel1), and P_Disk inside
    // propertyPanel (Panel2); both stay hidden until a disk is shown, so that the
    // panels' own text ("選択されていません") shows through.
    TDiskContents(QWidget* filePanel, QWidget* propertyPanel, QObject* parent = nullptr);
    ~TDiskContents() override;

    // The first steps of the tree click: disable "上へ" and "データの更新",
    // empty the property fields and the path bar, hide the property panel.
    void clear();
    // A catalog folder (or nothing) was clicked: also hide the list.
    void showNothing();
    // Before the view moves on (another node, the same disk again, the end of
    // the run): a disk comment edited and not saved is asked about. はい saves
    // it into the loaded disk's own file, いいえ drops it, and キャンセル keeps
    // it with the disk on show. Asks nothing when the comment was not edited.
    // False when the view must stay (キャンセル, or a save that failed). owner
    // owns the question.
    bool KeepEditedComment(QWidget* owner);
    // True while the disk comment holds an edit that is not saved.
    bool commentEdited() const { return commentEdited_; }
    // A disk node was clicked: load its catalog file (the full path, extension
    // as on disk) and show its root folder, or PendingFolder when that names a
    // folder of it. A failed load is told through the dialogs and leaves
    // nothing shown. owner owns the messages.
    void showDisk(const std::filesystem::path& catalogFile, QWidget* owner);

    // Fills the list for CurrentFolder of ShownDisk.
    void ShowFolder();
    // Selects the row of the file of that name (code page 932) in the folder
    // shown, makes it current and scrolls it into view; nothing when the
    // folder has no such file.
    void selectFile(std::string_view name);
    // Opens the folder of the one row selected; a single file row is handed
    // on as fileDoubleClicked; several rows do nothing.
    void ListView1DblClick();
    void TB_UpdirClick();
    void TL_ViewStyleClick();
    void B_SaveClick();
    // Writes ShownDisk into the file it was loaded from, holding the
    // catalog's lock (CatalogLock.h) from before change, which runs first
    // and may change ShownDisk (false: nothing is written), to the end of the
    // write. When another program has written the file since it was loaded
    // here (or last saved from here), owner is asked first, with the lock let
    // go meanwhile so that no writer waits on the question: いいえ writes
    // nothing and shows the disk afresh, keeping a comment typed but not
    // saved in its box; はい overwrites that catalog, but only if nobody
    // writes it again meanwhile (else it is asked again). A failure is told
    // to owner. True when ShownDisk was written.
    bool WriteShownDisk(QWidget* owner, const std::function<bool()>& change = {});
    void RichEdit_CommentChange();
    void Timer1Timer();
    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return style_; }

    // The catalog file ShownDisk was loaded from (with ".qd"); empty when no
    // disk is shown. "保存" writes there and nowhere else, and only while that
    // catalog still exists: a save never creates a catalog.
    const std::filesystem::path& shownFile() const { return shownFile_; }
    bool diskShown() const { return !shownFile_.empty(); }
    // Whether another program has rewritten (or replaced, or removed) the
    // shown catalog since it was loaded or last saved here.
    bool shownFileRewritten() const;
    // Loads the shown catalog again and shows the folder that was on show,
    // found by its path, or the root when it is gone. Only when no comment
    // edit is pending: an edit is never thrown away unasked.
    void reloadShown(QWidget* owner);
    // What was at `from` (file-system bytes: the catalog file, or a folder
    // above it) was renamed to `to`: the disk on show now lives there.
    void followRename(const QByteArray& from, const QByteArray& to);
    // The selected rows, in row order.
    std::vector<FolderRow> selectedRows() const;
    // Every row of the list, in row order, and the comparison that sorted them.
    std::vector<FolderRow> rows() const;
    const NameOrder& nameOrder() const { return order_; }
    // ShownDisk has been changed under the rows (the disk update): the list
    // lets go of them until the next ShowFolder, so that nothing paints a
    // record that has moved or gone.
    void releaseRows();

    TDisk ShownDisk;
    std::int32_t CurrentFolder = 0;
    std::int32_t PendingFolder = -1;
    std::int32_t TotalFileCount = 0;

    // The controls, by the names the rest of the program knows them by.
    QStackedWidget* ListView1;   // the file list: one of the two views below
    QListView* ListView1Icons;   // large icons, small icons and list styles
    QTreeView* ListView1Details; // the details style with its column headers
    TPathBar* P_FolderName;      // the bar under the list naming the folder shown
    QWidget* P_Disk;             // the property page's fields and comment
    QLineEdit* E_Drive;
    QLineEdit* E_TotalSize;
    QLineEdit* E_FreeSize;
    QLineEdit* E_CountFolder;
    QLineEdit* E_CountFile;
    QPlainTextEdit* RichEdit_Comment;
    QPushButton* B_Save;
    QMenu* PM_ViewStyle;
    QAction* LargeIcon1;         // 大きいアイコン
    QAction* SmallIcon1;         // 小さいアイコン
    QAction* List1;              // 一覧
    QAction* Detail1;            // 詳細
    QTimer* Timer1;              // arranges the icons 10 ms after a fill or resize

signals:
    void updirEnabledChanged(bool enabled);  // TB_Updir
    void reloadEnabledChanged(bool enabled); // TB_ReLoad
    void saved();                            // 保存 wrote the catalog
    void fileDoubleClicked();                // a double-click (or Enter) on the one file row selected

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFileList(QWidget* filePanel);
    void buildProperties(QWidget* propertyPanel);
    void fillProperties();
    void widenDateColumns(); // wide enough for a whole date and time in the list's font
    void fitLineCells();     // the small icon and list views' cells as wide as the names, up to a limit
    // Loads the disk on show again, at the folder of the same path, with the
    // comment being typed kept in its box.
    void reloadKeepingComment(QWidget* owner);

    FolderModel* model_;
    QItemSelectionModel* selection_;
    QAbstractItemDelegate* listDelegate_ = nullptr;      // one line per name, for small icons and the list
    QAbstractItemDelegate* largeIconDelegate_ = nullptr; // names over two lines
    QActionGroup* styles_;
    ViewStyle style_ = ViewStyle::LargeIcon;
    NameOrder order_;
    std::filesystem::path shownFile_;
    std::string pendingPath_; // the folder a reload shows again, by its path
    FileStamp shownStamp_; // the file as ShownDisk last read or wrote it
    QPersistentModelIndex revealRow_; // to scroll into view at the next arrangement
    bool filling_ = false;
    bool commentEdited_ = false;   // typed since the last fill or save
    bool viewSetsComment_ = false; // the view itself is changing the comment box
};

} // namespace qd
