#include "MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWindow>
#include <filesystem>
#include <optional>
#include <vector>

#include "browse/DiskContents.h"
#include "browse/DiskIdentify.h"
#include "browse/FileSearch.h"
#include "browse/StoreSearch.h"
#include "browse/Unit_SearchFile.h"
#include "catalog/DiskFile.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/CatalogStore.h"
#include "platform/Dialogs.h"
#include "platform/DriveWatch.h"
#include "platform/Drives.h"
#include "platform/FileOps.h"
#include "platform/Fonts.h"
#include "platform/Logging.h"
#include "platform/Settings.h"
#include "platform/StoreWatch.h"
#include "platform/SysImageList.h"
#include "platform/Text.h"
#include "registration/DiskUpdate.h"
#include "shell/DropTarget.h"
#include "shell/FileContextMenu.h"
#include "store/Application.h"

namespace qd {
namespace {

const QString kNothingSelected = QStringLiteral("選択されていません");
const QString kSearchDiskCaption = QStringLiteral("ディスクの検索");
const QString kNoDiskInDrive = QStringLiteral("ディスクが入っていません。");
const QString kDiskNotFound = QStringLiteral("見つかりませんでした。");
// The notice of a disk put in, and its buttons.
QString insertedText(QChar letter, const QString& title)
{
    return QStringLiteral("ドライブ %1: のディスク: %2").arg(letter, title);
}
QString unknownText(QChar letter)
{
    return QStringLiteral("ドライブ %1: のディスクは登録されていません").arg(letter);
}
const QString kShowInTree = QStringLiteral("ツリーに表示");
const QString kRegister = QStringLiteral("登録...");
// How long a put-off refresh for the store waits before it tries again.
constexpr int kStoreRetryMs = 1000;
const QString kFoldersUnread = QStringLiteral("読み込めなかったフォルダがあるため、その中のディスクは調べていません。");

// The disk nodes of node and everything below it.
int countDisks(const QTreeWidgetItem* node)
{
    int n = TCatalogTree::isDisk(node) ? 1 : 0;
    for (int i = 0; i < node->childCount(); ++i)
        n += countDisks(node->child(i));
    return n;
}

// The design size of the client area and its place on the screen.
constexpr int kDesignLeft = 199;
constexpr int kDesignTop = 109;
constexpr int kDesignWidth = 573;
constexpr int kDesignHeight = 391;


// A menu item; a key given is shown beside the caption, as desktop menus show
// it, while the widget that has the focus handles the key itself.
QAction* addItem(QMenu* menu, const char* name, const QString& caption, QKeySequence key = {})
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetShortcut); // the menu's own, never a second handler
        a->setShortcutVisibleInContextMenu(true);
    }
    return a;
}

// A 新規作成 sub-menu: a folder, a separator, a disk.
QMenu* addNewMenu(QMenu* menu, const char* name, QAction*& folder, const char* folderName, QAction*& disk,
                  const char* diskName)
{
    QMenu* sub = menu->addMenu(QStringLiteral("新規作成"));
    sub->setObjectName(QString::fromLatin1(name));
    folder = addItem(sub, folderName, QStringLiteral("フォルダ"));
    sub->addSeparator();
    disk = addItem(sub, diskName, QStringLiteral("CD・MO・FDDなど"));
    return sub;
}

QToolButton* addToolButton(QToolBar* bar, const char* name, const QString& hint, const QIcon& icon)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
}

QAction* addSeparator(QToolBar* bar, const char* name)
{
    auto* gap = new QWidget(bar);
    gap->setFixedWidth(8);
    QAction* a = bar->addWidget(gap);
    a->setObjectName(QString::fromLatin1(name));
    gap->setObjectName(QString::fromLatin1(name));
    return a;
}

} // namespace

TPanel::TPanel(const QString& caption, QWidget* parent) : QFrame(parent), caption_(caption) {}

void TPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

TForm_Main::TForm_Main(const QString& catalogRoot, QWidget* parent) : QMainWindow(parent), ImageList_Tool(16)
{
    setObjectName(QStringLiteral("TForm_Main"));
    setWindowTitle(QStringLiteral("Qd Ver.4.10β1"));
    setWindowIcon(ApplicationIcon());
    setFont(WindowFont());
    move(kDesignLeft, kDesignTop);
    resize(kDesignWidth, kDesignHeight);

    ProgramFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    SysIconL = GetSysImageList(true);
    SysIconS = GetSysImageList(false);

    // A tree over a root that does not exist yet is only the top node.
    TreeView1 = new TCatalogTree(catalogRoot);
    buildBands();
    buildPanes();
    buildMenus();
    buildSearchDiskMenu();
    buildDropTarget();

    // The catalog root is made when missing; a failure shows as an empty tree.
    CreateFolderPath(catalogRoot);
    FolderIconIndex = GetSysIconIndex(catalogRoot);
    Refresh1Click();
    buildWatchers();
    // The folder picture of the tree (image 0) never changes during the run.
    FileSearch->setFolderIcon(TreeView1->nodeIcon(0));
    // The keys go to the tree from the start, not to the first tool button.
    TreeView1->setFocus();
}

TForm_Main::~TForm_Main() = default;

QIcon TForm_Main::toolIcon(int index) const
{
    const QPixmap picture = ImageList_Tool.pixmap(index);
    return picture.isNull() ? QIcon() : QIcon(picture);
}

void TForm_Main::buildBands()
{
    // ImageList_Tool: 0 up, 1 view style, 2 search from disk, 3 update, 4 spare.
    // Drawn for Qd in colour: themes draw these as grey symbols, which look
    // the same whether the button is enabled or not.
    for (const char* name : {"up", "view", "searchdisk", "update", "save"}) {
        const QIcon icon(QStringLiteral(":/qd/tools/%1.svg").arg(QLatin1String(name)));
        ImageList_Tool.addIcon(icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32));
    }

    CoolBar1 = new QWidget(this);
    CoolBar1->setObjectName(QStringLiteral("CoolBar1"));
    auto* bands = new QVBoxLayout(CoolBar1);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(24);
    ToolBar1->setMovable(false);
    ToolButton1 = new QToolButton(ToolBar1);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton1->setText(QStringLiteral("ファイル(&F)"));
    ToolButton1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolButton1->setPopupMode(QToolButton::InstantPopup);
    ToolButton1->setAutoRaise(true);
    ToolButton1->setFixedSize(70, 20);
    ToolBar1->addWidget(ToolButton1);
    bands->addWidget(ToolBar1);

    ToolBar2 = new QToolBar(CoolBar1);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setFixedHeight(26);
    ToolBar2->setMovable(false);
    ToolBar2->setIconSize(QSize(16, 16));
    TB_SearchDisk = addToolButton(ToolBar2, "TB_SearchDisk", QStringLiteral("ディスクから検索"), toolIcon(2));
    TB_SearchDisk->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButton4 = addSeparator(ToolBar2, "ToolButton4");
    TB_ReLoad = addToolButton(ToolBar2, "TB_ReLoad", QStringLiteral("データの更新"), toolIcon(3));
    TB_ReLoad->setEnabled(false);
    ToolButton5 = addSeparator(ToolBar2, "ToolButton5");
    TB_Updir = addToolButton(ToolBar2, "TB_Updir", QStringLiteral("上へ"), toolIcon(0));
    TB_Updir->setEnabled(false);
    TL_ViewStyle = addToolButton(ToolBar2, "TL_ViewStyle", QStringLiteral("表示"), toolIcon(1));
    TL_ViewStyle->setPopupMode(QToolButton::MenuButtonPopup);
    bands->addWidget(ToolBar2);

    setMenuWidget(CoolBar1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    setStatusBar(StatusBar1);

    DriveNotice = new QWidget(StatusBar1);
    DriveNotice->setObjectName(QStringLiteral("DriveNotice"));
    auto* notice = new QHBoxLayout(DriveNotice);
    notice->setContentsMargins(0, 0, 0, 0);
    notice->setSpacing(4);
    DriveNoticeText = new QLabel(DriveNotice);
    DriveNoticeText->setObjectName(QStringLiteral("DriveNoticeText"));
    DriveNoticeText->setTextFormat(Qt::PlainText);
    DriveNoticeButton = new QToolButton(DriveNotice);
    DriveNoticeButton->setObjectName(QStringLiteral("DriveNoticeButton"));
    DriveNoticeButton->setAutoRaise(true);
    DriveNoticeButton->setFixedHeight(17);
    notice->addWidget(DriveNoticeText);
    notice->addWidget(DriveNoticeButton);
    // A permanent widget: the status bar's messages (保存しました, a search's
    // progress) take the left and never hide it, nor it them.
    StatusBar1->addPermanentWidget(DriveNotice);
    DriveNotice->hide();
    connect(DriveNoticeButton, &QToolButton::clicked, this, [this] { DriveNoticeButtonClick(); });
}

void TForm_Main::buildPanes()
{
    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(3);
    Splitter2->setChildrenCollapsible(false);

    Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);

    Splitter1->addWidget(TreeView1);
    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true); // the pages' tabs look like flat buttons
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({137, kDesignWidth - 137 - 3});

    auto makePage = [&](const char* name, const QString& title, TPanel*& panel, const char* panelName, bool sunken) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(name));
        auto* fill = new QVBoxLayout(page);
        fill->setContentsMargins(0, 0, 0, 0);
        panel = new TPanel(kNothingSelected, page);
        panel->setObjectName(QString::fromLatin1(panelName));
        if (sunken)
            panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        fill->addWidget(panel);
        PageControl1->addTab(page, title);
        return page;
    };
    TabSheet1 = makePage("TabSheet1", QStringLiteral("ファイル一覧"), Panel1, "Panel1", true);
    TabSheet2 = makePage("TabSheet2", QStringLiteral("プロパティ"), Panel2, "Panel2", false);
    PageControl1->setCurrentIndex(0);

    ListView_SearchFile = new QTreeView(Splitter2);
    ListView_SearchFile->setObjectName(QStringLiteral("ListView_SearchFile"));
    ListView_SearchFile->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView_SearchFile->hide();
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(ListView_SearchFile);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({kDesignHeight, 65});
    setCentralWidget(Splitter2);

    DiskContents = new TDiskContents(Panel1, Panel2, this);
    connect(DiskContents, &TDiskContents::updirEnabledChanged, TB_Updir, &QWidget::setEnabled);
    connect(DiskContents, &TDiskContents::reloadEnabledChanged, TB_ReLoad, &QWidget::setEnabled);
    connect(TB_Updir, &QToolButton::clicked, DiskContents, &TDiskContents::TB_UpdirClick);
    connect(TB_ReLoad, &QToolButton::clicked, this, [this] { TB_ReLoadClick(); });
    connect(TL_ViewStyle, &QToolButton::clicked, DiskContents, &TDiskContents::TL_ViewStyleClick);
    TL_ViewStyle->setMenu(DiskContents->PM_ViewStyle);

    // The columns, rows and handlers of the results pane.
    FileSearch = new TFileSearch(ListView_SearchFile, this);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setSingleShot(true);
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &TForm_Main::Timer2Timer);
    connect(FileSearch, &TFileSearch::jumpRequested, this, &TForm_Main::jumpToHit);
    connect(FileSearch, &TFileSearch::statusChanged, this, [this](const QString& text) { StatusBar1->showMessage(text); });
    // A rename in place is made at once: the running search ends, as it
    // might otherwise meet the renamed nodes in their new order.
    connect(TreeView1, &TCatalogTree::pathRenamed, FileSearch, &TFileSearch::Stop1Click);

    connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { TreeView1Click(); });
    // A key that moves the selection shows the node once the keys pause, as a
    // desktop file manager's tree does: an arrow key held down loads nothing
    // on the way.
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setSingleShot(true);
    Timer3->setInterval(300);
    connect(Timer3, &QTimer::timeout, this, &TForm_Main::Timer3Timer);
    connect(TreeView1, &TCatalogTree::selectionMovedByKey, Timer3, qOverload<>(&QTimer::start));
    connect(DiskContents, &TDiskContents::fileDoubleClicked, this, &TForm_Main::ListView1FileDblClick);
    // A file handed over by a second start while a modal window is open waits for it.
    handOff_ = new QTimer(this);
    handOff_->setSingleShot(true);
    handOff_->setInterval(200);
    connect(handOff_, &QTimer::timeout, this, [this] {
        if (handed_)
            OpenHandedFile(*std::exchange(handed_, std::nullopt));
    });
    connect(DiskContents, &TDiskContents::saved, this,
            [this] { StatusBar1->showMessage(QStringLiteral("保存しました"), 5000); });
    TreeView1->installEventFilter(this);
    // A rename of the disk on show, or of a folder above it, carries the view along.
    connect(TreeView1, &TCatalogTree::pathRenamed, DiskContents, &TDiskContents::followRename);
    // Every refresh ends with the kept (or the top) node selected and shown;
    // a damaged disk kept selected says why only when clicked again.
    connect(TreeView1, &TCatalogTree::refreshed, this, [this] {
        if (followingStore_)
            followShownDisk();
        else
            showSelected(false);
    });
}

void TForm_Main::buildMenus()
{
    Menu_File = new QMenu(this);
    Menu_File->setObjectName(QStringLiteral("Menu_File"));
    New1 = addNewMenu(Menu_File, "New1", Folder1, "Folder1", CDMOFDD1, "CDMOFDD1");
    InsertionNotice1 = addItem(Menu_File, "InsertionNotice1", QStringLiteral("ディスクの挿入を知らせる"));
    InsertionNotice1->setCheckable(true);
    InsertionNotice1->setChecked(settings::insertionNotice());
    connect(InsertionNotice1, &QAction::triggered, this, [this] { InsertionNotice1Click(); });
    Menu_File->addSeparator();
    Close1 = addItem(Menu_File, "Close1", QStringLiteral("閉じる"));
    ToolButton1->setMenu(Menu_File);
    connect(Folder1, &QAction::triggered, this, [this] { Folder1Click(); });
    connect(CDMOFDD1, &QAction::triggered, this, [this] { CDMOFDD1Click(); });
    connect(Close1, &QAction::triggered, this, &QWidget::close);

    PopupMenu_Tree = new QMenu(this);
    PopupMenu_Tree->setObjectName(QStringLiteral("PopupMenu_Tree"));
    Refresh1 = addItem(PopupMenu_Tree, "Refresh1", QStringLiteral("最新の情報に更新"), Qt::Key_F5);
    PopupMenu_Tree->addSeparator();
    New2 = addNewMenu(PopupMenu_Tree, "New2", Folder2, "Folder2", CDMOFDD2, "CDMOFDD2");
    PopupMenu_Tree->addSeparator();
    Delete1 = addItem(PopupMenu_Tree, "Delete1", QStringLiteral("削除"), Qt::Key_Delete);
    Rename1 = addItem(PopupMenu_Tree, "Rename1", QStringLiteral("名前の変更"), Qt::Key_F2);
    PopupMenu_Tree->addSeparator();
    N6 = addItem(PopupMenu_Tree, "N6", QStringLiteral("ファイルの検索"));
    connect(Refresh1, &QAction::triggered, this, [this] { Refresh1Click(); });
    connect(Folder2, &QAction::triggered, this, [this] { Folder2Click(); });
    connect(CDMOFDD2, &QAction::triggered, this, [this] { CDMOFDD2Click(); });
    connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
    connect(Rename1, &QAction::triggered, this, [this] { Rename1Click(); });
    connect(N6, &QAction::triggered, this, [this] { N6Click(); });
    // One search at a time.
    connect(FileSearch, &TFileSearch::runningChanged, N6, [this](bool running) { N6->setEnabled(!running); });
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        menuFromKeyboard_ = !TreeView1->takeRightPress();
        PopupMenu_TreePopup();
        PopupMenu_Tree->popup(TreeView1->viewport()->mapToGlobal(at));
    });

    PM_ListView1 = new QMenu(this);
    PM_ListView1->setObjectName(QStringLiteral("PM_ListView1"));
    N9 = addItem(PM_ListView1, "N9", QStringLiteral("保存されたプロパティ"));
    N10 = addItem(PM_ListView1, "N10", QStringLiteral("コメントの編集"));
    PM_ListView1->addSeparator();
    connect(PM_ListView1, &QMenu::aboutToShow, this, &TForm_Main::PM_ListView1Popup);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(DiskContents->ListView1Icons),
                                    static_cast<QAbstractItemView*>(DiskContents->ListView1Details)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            PM_ListView1->popup(view->viewport()->mapToGlobal(at));
        });
    }

    PM_SearchFile = new QMenu(this);
    PM_SearchFile->setObjectName(QStringLiteral("PM_SearchFile"));
    Close2 = addItem(PM_SearchFile, "Close2", QStringLiteral("閉じる"));
    PM_SearchFile->addSeparator();
    Stop1 = addItem(PM_SearchFile, "Stop1", QStringLiteral("検索の中断"));
    Stop1->setEnabled(false);
    connect(ListView_SearchFile, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PM_SearchFile->popup(ListView_SearchFile->viewport()->mapToGlobal(at));
    });
    connect(Close2, &QAction::triggered, this, [this] { Close2Click(); });
    connect(Stop1, &QAction::triggered, this, [this] { Stop1Click(); });
    connect(FileSearch, &TFileSearch::stopEnabledChanged, Stop1, &QAction::setEnabled);
}

void TForm_Main::buildSearchDiskMenu()
{
    PM_SearchDisk = new QMenu(this);
    PM_SearchDisk->setObjectName(QStringLiteral("PM_SearchDisk"));
    auto* group = new QActionGroup(PM_SearchDisk);
    group->setExclusive(true);
    for (const Drive& drive : DriveTable::instance().drives())
        addDriveItem(drive);
    if (!PM_SearchDisk->actions().isEmpty())
        PM_SearchDisk->actions().first()->setChecked(true);
    TB_SearchDisk->setMenu(PM_SearchDisk);
    connect(TB_SearchDisk, &QToolButton::clicked, this, [this] { TB_SearchDiskClick(); });
}

void TForm_Main::addDriveItem(const Drive& drive)
{
    const QString text = drive.menuText();
    // A "&" in a label is text, not an access key.
    QAction* item = PM_SearchDisk->addAction(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
    item->setCheckable(true);
    PM_SearchDisk->findChild<QActionGroup*>()->addAction(item); // one radio group
    const int index = text.isEmpty() ? -1 : GetSysIconIndex(text.left(1) + QStringLiteral(":\\"));
    const QPixmap picture = SysIconS ? SysIconS->pixmap(index) : QPixmap();
    item->setIcon(picture.isNull() ? QIcon::fromTheme(drive.iconName()) : QIcon(picture));
    connect(item, &QAction::triggered, this, [this, item] { FindDiskInDrive(item); });
}

void TForm_Main::addNewDrives()
{
    for (const Drive& drive : DriveTable::instance().drives()) {
        const QList<QAction*> items = PM_SearchDisk->actions();
        if (std::none_of(items.begin(), items.end(),
                         [&](QAction* item) { return DriveLetterOfPath(item->text()) == drive.letter; }))
            addDriveItem(drive);
    }
}

void TForm_Main::buildWatchers()
{
    DriveWatcher1 = new DriveWatcher(this);
    connect(DriveWatcher1, &DriveWatcher::inserted, this, &TForm_Main::DriveInserted);
    connect(DriveWatcher1, &DriveWatcher::removed, this, &TForm_Main::DriveRemoved);
    connect(&DriveTableChanges(), &DriveTableNotice::changed, this, &TForm_Main::addNewDrives);

    StoreWatcher1 = new StoreWatcher(TreeView1->catalogRoot(), StoreWatcher::Mode::Automatic, this);
    StoreWatcher1->setActive(isActiveWindow());
    connect(StoreWatcher1, &StoreWatcher::changed, this, &TForm_Main::StoreChanged);
    storeRetry_ = new QTimer(this);
    storeRetry_->setSingleShot(true);
    storeRetry_->setInterval(kStoreRetryMs);
    connect(storeRetry_, &QTimer::timeout, this, &TForm_Main::StoreChanged);
}

void TForm_Main::DriveInserted(QChar letter)
{
    if (!InsertionNotice1->isChecked())
        return;
    const DriveDisk drive = ReadDriveDisk(letter);
    if (drive.state == DriveDisk::NoDisk)
        return; // gone again already
    // The drive button's order, by the heads the tree has read: nothing is
    // loaded, and a catalog that cannot be read is told when it is clicked.
    QTreeWidgetItem* node = drive.state == DriveDisk::Present ? TreeView1->findBySerial(drive.serialNo) : nullptr;
    if (node)
        showDriveNotice(letter, insertedText(letter, node->text(0)), kShowInTree, TreeView1->CatalogFile(node));
    else
        showDriveNotice(letter, unknownText(letter), kRegister, QByteArray());
}

void TForm_Main::DriveRemoved(QChar letter)
{
    if (letter == noticeDrive_)
        showDriveNotice(QChar(), QString(), QString(), QByteArray());
}

void TForm_Main::showDriveNotice(QChar letter, const QString& text, const QString& button, const QByteArray& catalog)
{
    noticeDrive_ = letter;
    noticeCatalog_ = catalog;
    DriveNoticeText->setText(text);
    DriveNoticeButton->setText(button);
    DriveNotice->setVisible(!letter.isNull());
}

void TForm_Main::DriveNoticeButtonClick()
{
    const QChar letter = noticeDrive_;
    const QByteArray catalog = noticeCatalog_;
    showDriveNotice(QChar(), QString(), QString(), QByteArray()); // done with
    if (letter.isNull())
        return;
    if (catalog.isEmpty()) {
        wizardDrive_ = letter;
        CDMOFDD1Click(); // into the catalog folder selected, as from the File menu
        return;
    }
    // The tree may have been refreshed since: the disk is found by its file.
    if (QTreeWidgetItem* node = TreeView1->findCatalog(catalog)) {
        TreeView1->reveal(node);
        TreeView1Click();
    }
}

void TForm_Main::InsertionNotice1Click()
{
    settings::setInsertionNotice(InsertionNotice1->isChecked());
    if (!InsertionNotice1->isChecked())
        showDriveNotice(QChar(), QString(), QString(), QByteArray());
}

void TForm_Main::StoreChanged()
{
    // Each of these would lose what the user is doing, or free nodes that
    // are in use (the reload after a refresh lets events run): the refresh
    // waits, and the search is never stopped for it.
    if (followingStore_ || FileSearch->running() || Timer2->isActive() || updating_ || TreeView1->held() ||
        TreeView1->editing() || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget()) {
        storeRetry_->start();
        return;
    }
    storeRetry_->stop();
    const QScopedValueRollback following(followingStore_, true);
    TreeView1->refresh();
}

void TForm_Main::followShownDisk()
{
    if (DiskContents->commentEdited())
        return; // nothing is reloaded: the save of the edit asks about the catalog
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (DiskContents->diskShown() && TCatalogTree::stateIndex(node) == 1 &&
        DiskContents->shownFile().native() == TreeView1->CatalogFile(node).toStdString()) {
        // The same disk stays on show, in the same folder, unless it was rewritten.
        if (DiskContents->shownFileRewritten())
            DiskContents->reloadShown(this);
        return;
    }
    showSelected(false);
}

void TForm_Main::buildDropTarget()
{
    DropFileTarget1 = new TDropFileTarget(this);
    DropFileTarget1->setObjectName(QStringLiteral("DropFileTarget1"));
    DropFileTarget1->Dragtypes = {TDragType::dtCopy, TDragType::dtMove, TDragType::dtLink};
    DropFileTarget1->GetDataOnEnter = false;
    DropFileTarget1->setShowImage(true);
}

bool TForm_Main::TreeView1Click() { return showSelected(true); }

void TForm_Main::Timer3Timer()
{
    TreeView1Click();
}

bool TForm_Main::showSelected(bool tellDamage)
{
    Timer3->stop(); // whatever a key selected is shown now, or stays unshown
    // Before anything moves on; the question lets events run, so the node is
    // taken only afterwards.
    if (!DiskContents->KeepEditedComment(this)) {
        // Cancelled: the disk with its edit stays, and the tree points at it again.
        if (QTreeWidgetItem* shown = TreeView1->findCatalog(QByteArray::fromStdString(DiskContents->shownFile().native())))
            TreeView1->setCurrentItem(shown);
        return false;
    }
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!TCatalogTree::isDisk(node) || TCatalogTree::stateIndex(node) != 1) {
        // A folder, the top node, or a disk of another data type: nothing loaded,
        // and nothing of the disk shown before stays on show.
        DiskContents->showNothing();
        // A damaged catalog says why, each time it is clicked.
        if (const QString damage = node && tellDamage ? node->data(0, TCatalogTree::DamageRole).toString() : QString();
            !damage.isEmpty())
            dialogs().error(this, damage);
        return true;
    }
    DiskContents->showDisk(std::filesystem::path(TreeView1->CatalogFile(node).toStdString()), this);
    return true;
}

void TForm_Main::OpenCatalogFile(const QByteArray& file)
{
    if (!InsideFolder(file, TreeView1->catalogRoot())) {
        dialogs().error(this, OutsideRootText(file, TreeView1->catalogRoot()), DialogIcon::Exclamation);
        return;
    }
    if (QTreeWidgetItem* node = TreeView1->findCatalog(file)) {
        TreeView1->reveal(node);
        TreeView1Click();
        return;
    }
    // Below the root but no disk of the tree: the loader says why (missing,
    // another version or data type, damaged).
    DiskContents->showDisk(std::filesystem::path(file.toStdString()), this);
    DiskContents->showNothing();
}

void TForm_Main::OpenHandedFile(const QByteArray& file)
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    // A modal window (the wizard, a question) or a menu holds the user as it
    // would hold a click on the tree: the file waits until it has closed.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        handed_ = file;
        handOff_->start();
        return;
    }
    if (!file.isEmpty())
        OpenCatalogFile(file);
}

void TForm_Main::Refresh1Click()
{
    if (putOffWhileSearching([this] { Refresh1Click(); }))
        return;
    TreeView1->refresh();
}

QTreeWidgetItem* TForm_Main::folderTarget(QTreeWidgetItem* target) const
{
    if (TCatalogTree::isDisk(target))
        return target->parent();
    return target;
}

QTreeWidgetItem* TForm_Main::showFolderTarget(QTreeWidgetItem* target, void (TForm_Main::*change)(QTreeWidgetItem*))
{
    if (putOffWhileSearching([this, change, held = TreeView1->handle(target)] {
            if (QTreeWidgetItem* node = TreeView1->resolve(held))
                (this->*change)(node);
        }))
        return nullptr;
    target = folderTarget(target);
    if (!target)
        return nullptr;
    TreeView1->setCurrentItem(target);
    // The question about an edited comment lets events run.
    const TCatalogTree::NodeHandle held = TreeView1->handle(target);
    if (!TreeView1Click())
        return nullptr;
    return TreeView1->resolve(held);
}

void TForm_Main::newFolder(QTreeWidgetItem* target)
{
    target = showFolderTarget(target, &TForm_Main::newFolder);
    if (!target)
        return;
    QString error;
    QTreeWidgetItem* node = TreeView1->newFolder(target, &error);
    if (!node)
        return;
    if (!error.isEmpty()) {
        // The node stays until the next refresh, as a failed creation leaves it.
        ReportError(this, error);
        return;
    }
    target->setExpanded(true);
    TreeView1->setCurrentItem(node);
    TreeView1->editItem(node);
}

void TForm_Main::newDisk(QTreeWidgetItem* target)
{
    target = showFolderTarget(target, &TForm_Main::newDisk);
    if (!target)
        return;
    const QByteArray folder = TreeView1->NodePath(target) + '/';
    const QPoint at = frameGeometry().topLeft() + QPoint(20, 20);
    QByteArray saved;
    const QChar drive = std::exchange(wizardDrive_, QChar());
    if (newDiskWizard_ && TreeView1->insideRoot(folder))
        saved = newDiskWizard_(folder, TreeView1->catalogRoot(), at, drive);
    Refresh1Click();
    // The new disk is the one the user wants to see.
    if (QTreeWidgetItem* added = saved.isEmpty() ? nullptr : TreeView1->findCatalog(saved)) {
        TreeView1->reveal(added);
        TreeView1Click();
    }
}

void TForm_Main::Delete1Click()
{
    if (putOffWhileSearching([this] { Delete1Click(); }))
        return;
    QTreeWidgetItem* node = TreeView1->ContextNode;
    if (!node || TreeView1->isTop(node))
        return;
    TreeView1->deleteNode(node);
}

void TForm_Main::Rename1Click()
{
    if (putOffWhileSearching([this] { Rename1Click(); }))
        return;
    if (QTreeWidgetItem* node = TreeView1->ContextNode)
        TreeView1->editItem(node);
}

void TForm_Main::PopupMenu_TreePopup()
{
    if (QTreeWidgetItem* node = TreeView1->currentItem())
        Delete1->setEnabled(!TreeView1->isTop(node));
}

void TForm_Main::FindDiskInDrive(QAction* sender)
{
    if (!sender)
        return;
    TreeView1->setCurrentItem(TreeView1->topNode());
    if (!TreeView1Click())
        return;
    sender->setChecked(true); // the button's main part looks at this drive from now on

    const std::optional<QChar> letter = DriveLetterOfPath(sender->text());
    const DriveDisk drive = letter ? ReadDriveDisk(*letter) : DriveDisk{};
    if (drive.state == DriveDisk::NoDisk) {
        dialogs().tell(this, kNoDiskInDrive, kSearchDiskCaption, DialogIcon::Information);
        return;
    }
    bool unread = false; // a catalog folder that could not be listed might hold the disk
    if (drive.state == DriveDisk::Present) {
        // The messages of catalogs that fail let events run: no refresh may
        // free the nodes meanwhile.
        const TCatalogTree::UseGuard guard(*TreeView1);
        std::vector<QTreeWidgetItem*> nodes;
        std::vector<std::filesystem::path> files;
        for (QTreeWidgetItemIterator it(TreeView1); *it; ++it) {
            if (!TCatalogTree::isDisk(*it)) {
                unread = unread || !TCatalogTree::unlisted(*it).isEmpty();
                continue;
            }
            if (TCatalogTree::stateIndex(*it) > 2) {
                qCDebug(lcCatalog) << "catalog of data type" << TCatalogTree::stateIndex(*it)
                                   << "passed over:" << TreeView1->CatalogFile(*it);
                continue;
            }
            nodes.push_back(*it);
            files.emplace_back(TreeView1->CatalogFile(*it).toStdString());
        }
        TDisk candidate;
        std::optional<BusyCursor> busy(std::in_place);
        const std::optional<std::size_t> match =
            FindDiskBySerial(drive.serialNo, files, candidate, [&](const SkippedCatalog& skipped) {
                busy.reset();
                if (skipped.error)
                    dialogs().error(this, CatalogErrorText(*skipped.error));
                else
                    dialogs().error(this, QString::fromStdString(skipped.load.message), DialogIcon::None);
                busy.emplace();
            });
        busy.reset();
        if (match) {
            TreeView1->setCurrentItem(nodes[*match]);
            TreeView1Click(); // loads it again and shows it from its root folder
            return;
        }
    }
    dialogs().tell(this, unread ? kDiskNotFound + QStringLiteral("\r\n") + kFoldersUnread : kDiskNotFound,
                   kSearchDiskCaption, DialogIcon::Information);
    TreeView1->setCurrentItem(TreeView1->topNode());
    TreeView1Click();
}

void TForm_Main::TB_SearchDiskClick()
{
    for (QAction* item : PM_SearchDisk->actions())
        if (item->isChecked())
            FindDiskInDrive(item);
}

void TForm_Main::TB_ReLoadClick()
{
    TDiskContents& view = *DiskContents;
    if (updating_ || !view.diskShown())
        return;
    const QScopedValueRollback updating(updating_, true);
    // The update is the change of one read-change-write: under the catalog's
    // lock, after the question about another program's change if any.
    std::optional<UpdateResult> result;
    view.WriteShownDisk(this, [&] {
        ShownRows rows;
        for (const FolderRow& row : view.rows())
            (row.kind == FolderRow::Folder ? rows.folders : rows.files).push_back(row.index);
        const BusyCursor busy;
        result = UpdateFolder(view.ShownDisk, view.CurrentFolder, rows, view.nameOrder());
        if (result->status != UpdateResult::Updated)
            return false;
        view.releaseRows(); // ShownDisk has changed under them
        return true;
    });
    if (!result)
        return; // not run: the catalog could not be locked, or was shown afresh
    const QString caption = QString::fromUtf8(kUpdateCaption);
    switch (result->status) {
    case UpdateResult::NoDisk:
    case UpdateResult::OtherDisk:
        dialogs().tell(this, QString::fromUtf8(kUpdateWrongDiskMessage), caption, DialogIcon::Information);
        return;
    case UpdateResult::Refused:
        dialogs().tell(this, QString::fromUtf8(kUpdateRefusedMessage) + QStringLiteral("\r\n") + fromAnsi(result->folderPath),
                       caption, DialogIcon::Information);
        return;
    case UpdateResult::Updated:
        break;
    }
    view.ShowFolder(); // written or not, ShownDisk is what the list must show
}

std::vector<ShellRow> TForm_Main::selectedRows() const
{
    std::vector<ShellRow> rows;
    const TDisk& disk = DiskContents->ShownDisk;
    const std::int32_t folder = DiskContents->CurrentFolder;
    if (DiskContents->diskShown()) {
        for (const FolderRow& row : DiskContents->selectedRows()) {
            const auto i = std::size_t(row.index);
            const bool isFolder = row.kind == FolderRow::Folder;
            rows.push_back({std::string(isFolder ? disk.DirList[i].Name.view()
                                                 : disk.DirList[std::size_t(folder)].FileList[i].Name.view()),
                            isFolder});
        }
    }
    return rows;
}

void TForm_Main::PM_ListView1Popup()
{
    const QList<QAction*> entries = PM_ListView1->actions();
    for (qsizetype i = 3; i < entries.size(); ++i)
        delete entries[i];

    const std::vector<ShellRow> rows = selectedRows();
    ShellPopup popup = BuildShellPopup(DiskContents->ShownDisk, DiskContents->CurrentFolder, rows, this);
    if (popup.contextMenu)
        ShellContextMenu = std::move(*popup.contextMenu);
    if (popup.dataObject)
        ShellDataObject = std::move(*popup.dataObject);
    shellMissing_ = popup.missing;
    shellSelected_ = int(rows.size());
    for (const ShellPopupEntry& entry : popup.entries) {
        if (entry.separator()) {
            PM_ListView1->addSeparator();
            continue;
        }
        QAction* item = PM_ListView1->addAction(entry.caption);
        item->setEnabled(entry.enabled);
        item->setData(entry.tag);
        connect(item, &QAction::triggered, this, [this, item] { ShellMenuItemClick(item); });
    }
}

void TForm_Main::ShellMenuItemClick(QAction* sender)
{
    const int tag = sender->data().toInt();
    // Tag 0 carries no command; an entry that opened a submenu reports -1.
    if (tag <= 0 || !ShellContextMenu)
        return;
    ShellContextMenu->InvokeCommand({tag - 1, SW_SHOWNORMAL});
    // The command went to the rows found; the others must not vanish unsaid.
    if (shellMissing_ > 0)
        StatusBar1->showMessage(QStringLiteral("選択した %1 個の項目のうち %2 個はディスク上に見つかりませんでした。")
                                    .arg(shellSelected_)
                                    .arg(shellMissing_),
                                10000);
}

void TForm_Main::ListView1FileDblClick()
{
    const ShellPopup popup = BuildShellPopup(DiskContents->ShownDisk, DiskContents->CurrentFolder, selectedRows(), this);
    // A disk not in its drive gives only the disabled entry: nothing to open.
    if (!popup.contextMenu || !*popup.contextMenu || popup.entries.empty() || popup.entries.front().tag <= 0)
        return;
    (*popup.contextMenu)->InvokeCommand({popup.entries.front().tag - 1, SW_SHOWNORMAL});
}

bool TForm_Main::putOffWhileSearching(std::function<void()> change)
{
    if (!FileSearch->running())
        return false;
    FileSearch->StopSearch = true;
    putOff_.push_back(std::move(change));
    return true;
}

void TForm_Main::N6Click()
{
    if (FileSearch->running() || Timer2->isActive())
        return; // one search at a time
    // The node the menu was opened on; from the keyboard, the selected one.
    QTreeWidgetItem* start = menuFromKeyboard_ ? nullptr : TreeView1->ContextNode;
    if (!start)
        start = TreeView1->currentItem();
    const TCatalogTree::NodeHandle held = TreeView1->handle(start);

    FileSearch->showPane();
    const bool accepted = SearchDialog && SearchDialog->exec() == QDialog::Accepted;

    // The dialog let events run: take the node afresh.
    start = TreeView1->resolve(held);
    if (!start)
        return;
    TreeView1->setCurrentItem(start);
    // The search starts once the main window has taken up the node, never
    // inside the loading of it.
    if (TreeView1Click() && accepted)
        Timer2->start();
}

void TForm_Main::Timer2Timer()
{
    Timer2->stop();
    if (FileSearch->running())
        return;
    {
        // The walk keeps nodes while events run: no refresh may free them.
        const TCatalogTree::UseGuard guard(*TreeView1);
        QTreeWidgetItem* node = TreeView1->currentItem();
        const TFileSearch::Run run(*FileSearch, node ? countDisks(node) : 0);
        // A tree change asked for while the run began ends it at once.
        if (!putOff_.empty())
            FileSearch->StopSearch = true;
        const std::string text = SearchTextBytes(SearchDialog ? SearchDialog->Edit1->text() : QString());
        if (node)
            SearchNode(node, text);
    }
    FileSearch->tellUnlisted(this);
    // The search has ended and a refresh put off meanwhile has run.
    for (std::function<void()>& change : std::exchange(putOff_, {}))
        change();
}

void TForm_Main::SearchNode(QTreeWidgetItem* node, std::string_view text)
{
    if (!TCatalogTree::unlisted(node).isEmpty())
        FileSearch->folderUnlisted(DisplayFileName(TreeView1->NodePath(node)));
    for (int i = 0; i < node->childCount() && !FileSearch->StopSearch; ++i)
        SearchNode(node->child(i), text);
    if (FileSearch->StopSearch || !TCatalogTree::isDisk(node))
        return;
    FileSearch->searchDisk(TreeView1->CatalogFile(node), node->text(0),
                           TreeView1->nodeIcon(TCatalogTree::imageIndex(node)), text, this);
}

void TForm_Main::Stop1Click()
{
    FileSearch->Stop1Click();
}

void TForm_Main::Close2Click()
{
    FileSearch->Close2Click();
}

void TForm_Main::ListView_SearchFileDblClick()
{
    FileSearch->ListView_SearchFileDblClick();
}

void TForm_Main::jumpToHit(const QByteArray& catalogFile, std::int32_t folder, const AnsiString& name)
{
    // Rows keep the catalog's file: after a refresh this finds its new
    // node, and nothing when the disk is gone.
    QTreeWidgetItem* node = TreeView1->findCatalog(catalogFile);
    if (!node)
        return;
    TreeView1->reveal(node);
    DiskContents->PendingFolder = folder;
    const bool shown = TreeView1Click();
    // For this disk only, whether it was shown or not (cancelled at the
    // comment question, gone damaged, no disk after a refresh): no disk
    // shown later takes the hit's folder.
    DiskContents->PendingFolder = -1;
    if (!shown)
        return;
    // The hit itself, in front, unless the disk no longer has its folder.
    if (DiskContents->diskShown() && DiskContents->CurrentFolder == folder) {
        PageControl1->setCurrentWidget(TabSheet1);
        DiskContents->selectFile(name.view());
    }
}

QRect ClientGeometry(const settings::Placement& outer, const QMargins& frame, const QSize& client)
{
    const int width = outer.width == kUnstoredExtent ? client.width() : outer.width - frame.left() - frame.right();
    const int height = outer.height == kUnstoredExtent ? client.height() : outer.height - frame.top() - frame.bottom();
    return {outer.left + frame.left(), outer.top + frame.top(), width, height};
}

void TForm_Main::setVisible(bool visible)
{
    if (visible && !placement_) {
        // Placed before the native window exists, so that it is created where
        // it belongs: the stored corner is the frame's (a window manager puts
        // the frame there), and the stored size is taken as the client's until
        // the frame's margins are known. The current place is the default of
        // each value; a size that is not stored keeps the client size.
        placement_ = settings::readPlacement({pos().x(), pos().y(), kUnstoredExtent, kUnstoredExtent});
        resize(ClientGeometry(*placement_, QMargins(), size()).size());
        move(placement_->left, placement_->top);
        awaitingFrame_ = true;
    }
    QMainWindow::setVisible(visible);
    fitToFrame(); // some platforms give the frame at once
}

void TForm_Main::fitToFrame()
{
    if (!awaitingFrame_ || !windowHandle())
        return;
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        awaitingFrame_ = false; // the window manager decided its size: leave it
        return;
    }
    // While the window manager builds the frame, the margins may read as
    // nonsense (a frame still smaller than the window): only whole ones count.
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull() || frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0)
        return;
    awaitingFrame_ = false;
    const QRect client = ClientGeometry(*placement_, frame, size());
    resize(client.size());
    const QPoint corner(placement_->left, placement_->top);
    if (pos() != corner)
        move(corner); // the frame's corner, now that the frame is known
}

bool TForm_Main::eventFilter(QObject* watched, QEvent* event)
{
    // While a node is being renamed its editor, not the tree, gets the keys:
    // the Enter that ends the editing, passed on by the editor, must not show
    // (and so load, or tell the damage of) the node being renamed.
    if (watched == TreeView1 && event->type() == QEvent::KeyPress &&
        !TreeView1->editing()) {
        // The keyboard's way to what the mouse and the menu do; the menu items
        // show the same keys.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                TreeView1Click();
                return true;
            case Qt::Key_F5:
                Refresh1Click();
                return true;
            case Qt::Key_Delete:
                // The key acts on the selected node, as a right-click there would.
                TreeView1->ContextNode = TreeView1->currentItem();
                Delete1Click();
                return true;
            default:
                break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm_Main::changeEvent(QEvent* event)
{
    // The store is looked at for others' changes only while the user can see it.
    if (event->type() == QEvent::ActivationChange && StoreWatcher1)
        StoreWatcher1->setActive(isActiveWindow());
    QMainWindow::changeEvent(event);
}

bool TForm_Main::event(QEvent* event)
{
    const bool done = QMainWindow::event(event);
    // The frame arrives with a move or resize of the client inside it.
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        fitToFrame();
    return done;
}

void TForm_Main::closeEvent(QCloseEvent* event)
{
    // Nothing typed is lost at the end of the run either; キャンセル keeps the window open.
    if (!DiskContents->KeepEditedComment(this)) {
        event->ignore();
        return;
    }
    settings::setTreeState(TreeView1->treeState());
    FileSearch->keepPaneHeight();
    FileSearch->StopSearch = true; // a search running in the background ends with the window
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const QRect outer = frameGeometry();
        // A placement that cannot be written is not worth keeping the program open for.
        settings::writePlacement({outer.left(), outer.top(), outer.width(), outer.height()});
    }
    QMainWindow::closeEvent(event);
}

} // namespace qd
