#pragma once

#include <QFrame>
#include <QMainWindow>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <memory>
#include <string_view>
#include <vector>

#include "catalog/Disk.h"
#include "platform/Drives.h"
#include "platform/ImageList.h"
#include "platform/Settings.h"
#include "store/CatalogTree.h"

class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;

namespace qd {

class DriveWatcher;
class IContextMenu;
class StoreWatcher;
class TDiskContents;
class TDropFileTarget;
class TFileSearch;
class TForm_SearchFile;
struct ShellRow;

// A width or height of a placement that was not stored: the window keeps its
// own client size in that direction.
inline constexpr int kUnstoredExtent = std::numeric_limits<int>::min();

// The window's own geometry (the client area, inside the frame) that puts the
// outer edges of a window with the given frame margins at the placement. An
// unstored width or height keeps that extent of client.
QRect ClientGeometry(const settings::Placement& outer, const QMargins& frame, const QSize& client);

// A panel that shows its caption centred wherever no child covers it: the
// "選択されていません" background of the two pages.
class TPanel : public QFrame {
    Q_OBJECT
public:
    TPanel(const QString& caption, QWidget* parent = nullptr);
    QString caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

// The main window: the catalog tree on the left, the two pages of the disk
// contents on the right, the menu and tool bands above, the (hidden) search
// results and the status bar below. It owns the tree (see TCatalogTree for the
// rule on keeping nodes), the contents view and the file search.
//
// While a search runs it holds the tree (a refresh is put off until the
// search ends); a tree change asked for meanwhile (refresh, new folder, new
// disk, rename, delete) stops the search and is made as soon as it has ended,
// and a second search cannot be started.
//
// Its outer placement (frame included) is read from the settings group "main"
// when it is first shown and stored there when it is closed in the normal
// state; a maximised or minimised window stores nothing. A window manager
// adds the frame only once the window is on screen, so the size is set again
// when the frame's margins become known.
class TForm_Main : public QMainWindow {
    Q_OBJECT
public:
    // catalogRoot: the folder of the catalogs, created here when missing.
    explicit TForm_Main(const QString& catalogRoot, QWidget* parent = nullptr);
    ~TForm_Main() override;

    // The hand-off to the registration wizard: given the target catalog folder
    // (file-system bytes with a trailing "/"), the catalog root it must stay in
    // and the wizard's top-left corner, it shows the wizard modally and returns
    // when it has closed, with the catalog file it wrote (empty for none). The
    // tree is refreshed afterwards whatever happened, and a new disk is
    // revealed and shown. Until the wizard exists it does nothing. drive,
    // when not null, is the drive the wizard offers first.
    using NewDiskWizard = std::function<QByteArray(const QByteArray& targetFolder, const QByteArray& catalogRoot,
                                                   const QPoint& topLeft, QChar drive)>;
    void setNewDiskWizard(NewDiskWizard wizard) { newDiskWizard_ = std::move(wizard); }
    // The file search dialog, made after the main window; until it exists
    // "ファイルの検索" only shows the results pane.
    void setSearchDialog(TForm_SearchFile* dialog) { SearchDialog = dialog; }

    // The folder of the running program, with a trailing "/".
    QString ProgramFolder;
    int FolderIconIndex = -1;

    // Bands and tool buttons.
    QWidget* CoolBar1 = nullptr;        // the two bands above the panes
    QToolBar* ToolBar1 = nullptr;       // first band: the menu button
    QToolBar* ToolBar2 = nullptr;       // second band: the tool buttons
    QToolButton* ToolButton1 = nullptr; // "ファイル(&F)"
    QToolButton* TB_SearchDisk = nullptr;
    QAction* ToolButton4 = nullptr;     // separator
    QToolButton* TB_ReLoad = nullptr;
    QAction* ToolButton5 = nullptr;     // separator
    QToolButton* TB_Updir = nullptr;
    QToolButton* TL_ViewStyle = nullptr;
    ImageList ImageList_Tool;
    ImageList* SysIconS = nullptr; // shared, not owned
    ImageList* SysIconL = nullptr;

    // Regions.
    QSplitter* Splitter2 = nullptr; // between the panes and the search results
    QSplitter* Splitter1 = nullptr; // between the tree and the pages
    TCatalogTree* TreeView1 = nullptr;
    QTabWidget* PageControl1 = nullptr; // the two pages of the disk shown
    QWidget* TabSheet1 = nullptr;       // ファイル一覧
    QWidget* TabSheet2 = nullptr;       // プロパティ
    TPanel* Panel1 = nullptr;           // TabSheet1's ground under the file list
    TPanel* Panel2 = nullptr;           // TabSheet2's ground under the properties
    QTreeView* ListView_SearchFile = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TDiskContents* DiskContents = nullptr;
    TFileSearch* FileSearch = nullptr; // StopSearch, SearchDisk and the rows
    TForm_SearchFile* SearchDialog = nullptr; // not owned
    QTimer* Timer2 = nullptr; // starts the search once the dialog has closed
    QTimer* Timer3 = nullptr; // shows the node a key selected once the keys have paused

    // Menus.
    QMenu* Menu_File = nullptr;
    QMenu* New1 = nullptr;          // the file menu's 新規作成
    QAction* Folder1 = nullptr;     // フォルダ
    QAction* CDMOFDD1 = nullptr;    // CD・MO・FDDなど: a new disk
    QAction* InsertionNotice1 = nullptr; // ディスクの挿入を知らせる (checkable, kept in the settings)
    QAction* Close1 = nullptr;      // 閉じる: ends the program
    QMenu* PopupMenu_Tree = nullptr;
    QAction* Refresh1 = nullptr;    // 最新の情報に更新
    QMenu* New2 = nullptr;          // the tree menu's 新規作成
    QAction* Folder2 = nullptr;     // フォルダ
    QAction* CDMOFDD2 = nullptr;    // CD・MO・FDDなど: a new disk
    QAction* Delete1 = nullptr;     // 削除
    QAction* Rename1 = nullptr;     // 名前の変更
    QAction* N6 = nullptr;          // ファイルの検索
    QMenu* PM_SearchDisk = nullptr; // the drives of TB_SearchDisk's arrow
    QMenu* PM_ListView1 = nullptr;
    QAction* N9 = nullptr;          // 保存されたプロパティ (does nothing yet)
    QAction* N10 = nullptr;         // コメントの編集 (does nothing yet)
    QMenu* PM_SearchFile = nullptr;
    QAction* Close2 = nullptr;      // 閉じる: hides the search results
    QAction* Stop1 = nullptr;       // 検索の中断

    // The notice of a disk put into a drive, at the right of the status bar
    // (the left is the status bar's own messages, a search's progress among
    // them, which it never hides): the text and the button that shows the
    // catalogued disk in the tree or starts the wizard on the drive.
    QWidget* DriveNotice = nullptr;
    QLabel* DriveNoticeText = nullptr;
    QToolButton* DriveNoticeButton = nullptr;
    // The drives and the catalog store as other programs change them.
    DriveWatcher* DriveWatcher1 = nullptr;
    StoreWatcher* StoreWatcher1 = nullptr;

    // The file drop target; never attached, so the window takes no drops.
    TDropFileTarget* DropFileTarget1 = nullptr;
    // The shell's objects for the selection of the last file list popup that
    // asked for them; a chosen shell entry acts through ShellContextMenu.
    std::shared_ptr<IContextMenu> ShellContextMenu;
    std::shared_ptr<QMimeData> ShellDataObject;

    // Event handlers.
    // Shows the selected node. False when the view stayed where it was (the
    // question about an edited comment was cancelled, or its save failed): the
    // tree's selection is then back on the disk shown.
    bool TreeView1Click();
    // The pause after a key moved the tree's selection has passed: show it.
    void Timer3Timer();
    void Refresh1Click();
    void Folder1Click() { newFolder(TreeView1->currentItem()); }
    void Folder2Click() { newFolder(TreeView1->ContextNode); }
    void CDMOFDD1Click() { newDisk(TreeView1->currentItem()); }
    void CDMOFDD2Click() { newDisk(TreeView1->ContextNode); }
    void Delete1Click();
    void Rename1Click();
    void PopupMenu_TreePopup();
    // Rebuilds PM_ListView1 before it opens: the fixed entries, then the
    // shell's entries for the selected rows.
    void PM_ListView1Popup();
    // A shell entry of PM_ListView1 was chosen: its tag is the command
    // identifier. When some selected rows were not found on the disk, the
    // status bar says how many.
    void ShellMenuItemClick(QAction* sender);
    // A double-click on a file row: the first entry of the file's shell menu
    // (opening it with its type's default application) when its disk is in
    // its drive; nothing, and nothing said, when it is not.
    void ListView1FileDblClick();
    void N6Click();
    void Timer2Timer();
    // Searches node and everything below it: the children first, in the
    // tree's order, then the node itself when it is a disk.
    void SearchNode(QTreeWidgetItem* node, std::string_view text);
    void Stop1Click();
    void Close2Click();
    void ListView_SearchFileDblClick();

    // A catalog file named at start-up (a file manager opening a catalog):
    // when it lies below the catalog root its disk is selected and shown;
    // otherwise the user is told that it lies outside, and where the root is.
    void OpenCatalogFile(const QByteArray& file);
    // A second start of Qd handed this window its file (empty for none): the
    // window comes to the front and shows that disk as OpenCatalogFile does,
    // once no modal window or menu is open.
    void OpenHandedFile(const QByteArray& file);
    // The disk identification: the drive of the item clicked, or of the
    // checked item for the button's main part.
    void FindDiskInDrive(QAction* sender);
    void TB_SearchDiskClick();
    // The disk update of the folder on show.
    void TB_ReLoadClick();
    // A volume appeared on a drive or went: the notice tells which
    // catalogued disk it is (heads only, in the tree's order) or offers to
    // register it. Nothing moves and no window opens by itself.
    void DriveInserted(QChar letter);
    void DriveRemoved(QChar letter);
    // The notice's button: the disk in the tree, or the wizard on the drive.
    void DriveNoticeButtonClick();
    void InsertionNotice1Click();
    // Another program changed the catalog store: the tree is refreshed as
    // 最新の情報に更新 does, keeping what is open and selected; put off while
    // a search runs, a node is being renamed, the tree is held or a dialog
    // or menu is open. The disk shown is reloaded only when its catalog was
    // rewritten and no comment edit is pending.
    void StoreChanged();

    // The catalog folder a new folder or disk goes into for target: a disk
    // stands for its parent; nullptr for nullptr.
    QTreeWidgetItem* folderTarget(QTreeWidgetItem* target) const;

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What TreeView1Click does; a damaged disk's message only with tellDamage
    // (a click), not when a refresh keeps it selected.
    bool showSelected(bool tellDamage);
    // The selected rows (names in code page 932, as stored), in row order.
    std::vector<ShellRow> selectedRows() const;
    void buildBands();
    void buildPanes();
    void buildMenus();
    void buildSearchDiskMenu();
    // The drive menu's item for drive, at its end.
    void addDriveItem(const Drive& drive);
    // The drive menu learns the letters that appeared; the items it has keep
    // their order and captions.
    void addNewDrives();
    void buildWatchers();
    void showDriveNotice(QChar letter, const QString& text, const QString& button, const QByteArray& catalog);
    void followShownDisk(); // after a refresh for the store's sake
    void buildDropTarget();
    // The common start of newFolder and newDisk: put off while a search
    // runs (change is then made with target, if it still exists, once the
    // search has ended); else target's catalog folder is selected and shown
    // and returned. nullptr when there is nothing to do now.
    QTreeWidgetItem* showFolderTarget(QTreeWidgetItem* target, void (TForm_Main::*change)(QTreeWidgetItem*));
    void newFolder(QTreeWidgetItem* target);
    void newDisk(QTreeWidgetItem* target);
    QIcon toolIcon(int index) const;
    void fitToFrame();
    // Puts a tree change off while a search runs: stops the search and keeps
    // the change until it has ended. False when no search runs.
    bool putOffWhileSearching(std::function<void()> change);
    void jumpToHit(const QByteArray& catalogFile, std::int32_t folder, const AnsiString& name);

    NewDiskWizard newDiskWizard_;
    std::optional<settings::Placement> placement_; // read at the first showing
    bool awaitingFrame_ = false;                   // the size still waits for the frame's margins
    bool updating_ = false; // an update's save lets events run: a second click waits for none
    std::vector<std::function<void()>> putOff_;   // tree changes waiting for the search to end
    bool menuFromKeyboard_ = false;                // the tree's context menu was opened without the mouse
    int shellMissing_ = 0;  // selected rows of the last popup not found on the disk
    int shellSelected_ = 0; // of so many selected
    std::optional<QByteArray> handed_; // a file handed over, waiting for modal windows to close
    QTimer* handOff_ = nullptr;        // looks again whether they have
    QChar noticeDrive_;       // the drive the notice is about; null when none is shown
    QByteArray noticeCatalog_; // its catalogued disk's file; empty for a disk to register
    QChar wizardDrive_;       // the drive the next wizard offers first
    bool followingStore_ = false; // the refresh running is the store watch's
    QTimer* storeRetry_ = nullptr; // tries a put-off store refresh again
};

} // namespace qd
