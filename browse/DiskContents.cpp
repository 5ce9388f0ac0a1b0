#include "DiskContents.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>

#include "FolderModel.h"
#include "LargeIconDelegate.h"
#include "PathBar.h"
#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"

namespace qd {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The small icon and list views' cells: an icon, a gap, the name and a margin;
// the name gets up to 24 full-width characters before it is elided.
constexpr int kSmallIcon = 16;
constexpr int kCellGaps = 12;
constexpr int kLongestCellName = 24;
constexpr int kNarrowestCell = 75;

const char* const kChangedQuestion = "カタログは読み込んだ後にほかのプログラムによって変更されています。上書きしますか？";

} // namespace

TDiskContents::TDiskContents(QWidget* filePanel, QWidget* propertyPanel, QObject* parent)
    : QObject(parent), model_(new FolderModel(this)), selection_(new QItemSelectionModel(model_, this))
{
    buildFileList(filePanel);
    buildProperties(propertyPanel);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &TDiskContents::Timer1Timer);

    PM_ViewStyle = new QMenu(filePanel);
    PM_ViewStyle->setObjectName("PM_ViewStyle");
    styles_ = new QActionGroup(this);
    auto addStyle = [&](const char* name, const char* caption, ViewStyle style) {
        QAction* a = PM_ViewStyle->addAction(u(caption));
        a->setObjectName(name);
        a->setCheckable(true);
        styles_->addAction(a);
        connect(a, &QAction::triggered, this, [this, style] { setViewStyle(style); });
        return a;
    };
    LargeIcon1 = addStyle("LargeIcon1", "大きいアイコン(&G)", ViewStyle::LargeIcon);
    SmallIcon1 = addStyle("SmallIcon1", "小さいアイコン(&M)", ViewStyle::SmallIcon);
    List1 = addStyle("List1", "一覧(&L)", ViewStyle::List);
    Detail1 = addStyle("Detail1", "詳細(&D)", ViewStyle::Detail);
    setViewStyle(ViewStyle::LargeIcon);

    ListView1->hide();
    P_Disk->hide();
}

TDiskContents::~TDiskContents() = default;

void TDiskContents::buildFileList(QWidget* filePanel)
{
    auto* layout = new QVBoxLayout(filePanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ListView1 = new QStackedWidget(filePanel);
    ListView1->setObjectName("ListView1");
    ListView1->installEventFilter(this);

    ListView1Icons = new QListView(ListView1);
    ListView1Icons->setObjectName("ListView1Icons");
    ListView1Icons->setModel(model_);
    ListView1Icons->setSelectionModel(selection_);
    ListView1Icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1Icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1Icons->setUniformItemSizes(true);
    ListView1Icons->setWrapping(true);
    ListView1Icons->setResizeMode(QListView::Adjust);
    ListView1Icons->setLayoutMode(QListView::Batched);
    ListView1Icons->setMovement(QListView::Static);
    listDelegate_ = new GridLineDelegate(ListView1Icons);
    largeIconDelegate_ = new LargeIconDelegate(ListView1Icons);

    ListView1Details = new QTreeView(ListView1);
    ListView1Details->setObjectName("ListView1Details");
    ListView1Details->setModel(model_);
    ListView1Details->setSelectionModel(selection_);
    ListView1Details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1Details->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1Details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1Details->setRootIsDecorated(false);
    ListView1Details->setItemsExpandable(false);
    ListView1Details->setUniformRowHeights(true); // scrolling asks only for the rows in sight
    ListView1Details->setSortingEnabled(false);
    ListView1Details->setIconSize(QSize(16, 16));
    ListView1Details->setItemDelegate(new DateFittingDelegate(ListView1Details));
    const int widths[FolderModel::ColumnCount] = {150, 60, 110, 110, 70, 150};
    ListView1Details->header()->setStretchLastSection(false);
    for (int c = 0; c < FolderModel::ColumnCount; ++c)
        ListView1Details->header()->resizeSection(c, widths[c]);
    widenDateColumns();

    ListView1->addWidget(ListView1Icons);
    ListView1->addWidget(ListView1Details);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(ListView1Icons),
                                    static_cast<QAbstractItemView*>(ListView1Details)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { ListView1DblClick(); });
        view->installEventFilter(this);
    }

    P_FolderName = new TPathBar(filePanel);
    P_FolderName->setObjectName("P_FolderName");

    layout->addWidget(ListView1, 1);
    layout->addWidget(P_FolderName);
}

void TDiskContents::widenDateColumns()
{
    // Every date whole, with its seconds, in the list's font.
    const int needed = DateFormWidth(ListView1Details->fontMetrics(), DateForm::Seconds) +
                       DateFittingDelegate::textMargin(ListView1Details);
    QHeaderView* header = ListView1Details->header();
    for (int c : {FolderModel::Created, FolderModel::Modified, FolderModel::Accessed})
        header->resizeSection(c, std::max(header->sectionSize(c), needed));
}

void TDiskContents::buildProperties(QWidget* propertyPanel)
{
    auto* outer = new QVBoxLayout(propertyPanel);
    outer->setContentsMargins(0, 0, 0, 0);
    P_Disk = new QWidget(propertyPanel);
    P_Disk->setObjectName("P_Disk");
    P_Disk->setAutoFillBackground(true);
    outer->addWidget(P_Disk);

    auto field = [&](const char* name, bool readOnly) {
        auto* e = new QLineEdit(P_Disk);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        return e;
    };
    // Nothing typed into these is ever read back: they are read-only, and
    // look it, like the sizes.
    E_Drive = field("E_Drive", true);
    E_TotalSize = field("E_TotalSize", true);
    E_FreeSize = field("E_FreeSize", true);
    E_CountFolder = field("E_CountFolder", true);
    E_CountFile = field("E_CountFile", true);
    for (QLineEdit* e : {E_Drive, E_TotalSize, E_FreeSize, E_CountFolder, E_CountFile}) {
        QPalette look = e->palette();
        look.setColor(QPalette::Base, look.color(QPalette::Window));
        e->setPalette(look);
        e->setFocusPolicy(Qt::ClickFocus);
    }
    RichEdit_Comment = new QPlainTextEdit(P_Disk);
    RichEdit_Comment->setObjectName("RichEdit_Comment");
    RichEdit_Comment->setLineWrapMode(QPlainTextEdit::NoWrap); // both scroll bars
    B_Save = new QPushButton(u("保存"), P_Disk);
    B_Save->setObjectName("B_Save");
    B_Save->setToolTip(u("コメント文を保存します。"));

    auto* grid = new QGridLayout(P_Disk);
    auto label = [&](const char* text) { return new QLabel(u(text), P_Disk); };
    grid->addWidget(label("ドライブ"), 0, 0);
    grid->addWidget(E_Drive, 0, 1);
    grid->addWidget(label("全容量"), 1, 0);
    grid->addWidget(E_TotalSize, 1, 1);
    grid->addWidget(label("空き容量"), 1, 2);
    grid->addWidget(E_FreeSize, 1, 3);
    grid->addWidget(label("全フォルダ数"), 2, 0);
    grid->addWidget(E_CountFolder, 2, 1);
    grid->addWidget(label("全ファイル数"), 3, 0);
    grid->addWidget(E_CountFile, 3, 1);
    auto* commentColumn = new QVBoxLayout;
    commentColumn->addWidget(label("コメント"));
    commentColumn->addWidget(B_Save);
    commentColumn->addStretch(1);
    grid->addLayout(commentColumn, 4, 0);
    grid->addWidget(RichEdit_Comment, 4, 1, 1, 3);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(RichEdit_Comment, &QPlainTextEdit::textChanged, this, &TDiskContents::RichEdit_CommentChange);
    connect(B_Save, &QPushButton::clicked, this, &TDiskContents::B_SaveClick);
}

void TDiskContents::clear()
{
    emit updirEnabledChanged(false);
    emit reloadEnabledChanged(false);
    for (QLineEdit* e : {E_Drive, E_FreeSize, E_TotalSize, E_CountFolder, E_CountFile})
        e->clear();
    {
        const QScopedValueRollback own(viewSetsComment_, true);
        RichEdit_Comment->clear();
    }
    commentEdited_ = false;
    P_FolderName->clear();
    P_Disk->hide();
}

bool TDiskContents::KeepEditedComment(QWidget* owner)
{
    if (!commentEdited_ || !diskShown())
        return true;
    commentEdited_ = false; // asked once at a time: the question lets events run
    switch (dialogs().askYesNoCancel(owner, u("コメントが変更されています。保存しますか？"), u("確認"))) {
    case DialogAnswer::Yes:
        commentEdited_ = true;
        WriteShownDisk(owner);
        return !commentEdited_; // a save that failed keeps the edit, and the disk on show
    case DialogAnswer::No:
        return true;
    default:
        commentEdited_ = true;
        return false;
    }
}

void TDiskContents::showNothing()
{
    clear();
    ListView1->hide();
    model_->clear();
    shownFile_.clear(); // nothing shown: nothing to save either
}

void TDiskContents::showDisk(const std::filesystem::path& file, QWidget* owner)
{
    clear();
    // The rows refer into ShownDisk, which the load replaces.
    model_->clear();
    shownFile_.clear();
    QString failure;
    DialogIcon icon = DialogIcon::None;
    {
        BusyCursor busy;
        try {
            const LoadResult r = LoadDiskData(file, ShownDisk, &shownStamp_);
            if (!r.ok())
                failure = QString::fromStdString(r.message);
        } catch (const CatalogError& e) {
            failure = CatalogErrorText(e);
            icon = DialogIcon::Stop;
        }
    }
    if (!failure.isEmpty()) {
        showNothing();
        dialogs().error(owner, failure, icon);
        return;
    }
    shownFile_ = file;

    CurrentFolder = 0;
    if (PendingFolder >= 0) {
        // A folder found by an earlier search may be gone since: show the root then.
        if (std::size_t(PendingFolder) < ShownDisk.DirList.size())
            CurrentFolder = PendingFolder;
        PendingFolder = -1;
    }
    if (!pendingPath_.empty()) {
        const std::int32_t found = FindFolder(ShownDisk, pendingPath_);
        if (found >= 0)
            CurrentFolder = found;
    }
    ShowFolder();
    emit reloadEnabledChanged(true);
    fillProperties();
}

bool TDiskContents::shownFileRewritten() const
{
    if (!diskShown())
        return false;
    const std::optional<FileStamp> now = CurrentStamp(shownFile_);
    return !now || *now != shownStamp_;
}

void TDiskContents::reloadShown(QWidget* owner)
{
    if (!diskShown() || commentEdited_)
        return;
    // The folder on show, by its path: the reload may have renumbered folders.
    pendingPath_ = GetDirPath(CurrentFolder, ShownDisk);
    showDisk(std::filesystem::path(shownFile_), owner);
    pendingPath_.clear();
}

void TDiskContents::fillProperties()
{
    const bool hasRoot = !ShownDisk.DirList.empty();
    E_Drive->setText(hasRoot ? fromAnsi(ShownDisk.DirList[0].Name) + QLatin1Char('\\') : QString());
    E_TotalSize->setText(QString::fromStdString(SizeToStr(ShownDisk.TotalSize)));
    E_FreeSize->setText(QString::fromStdString(SizeToStr(ShownDisk.FreeSize)));
    E_CountFolder->setText(QString::number(ShownDisk.DirList.size()));
    E_CountFile->setText(QString::number(TotalFileCount));
    QString comment = fromAnsi(ShownDisk.Comment);
    comment.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    {
        const QScopedValueRollback own(viewSetsComment_, true);
        RichEdit_Comment->setPlainText(comment);
    }
    commentEdited_ = false;
}

void TDiskContents::ShowFolder()
{
    ListView1->show();
    P_Disk->show();
    {
        BusyCursor busy;
        if (!filling_) {
            filling_ = true;
            QCoreApplication::processEvents(); // repaint and take a pending click once, as the fill starts
            filling_ = false;
        }
        if (!diskShown()) // a click meanwhile showed nothing
            return;
        ArrangedFolder arranged = ArrangeFolder(ShownDisk, CurrentFolder, order_);
        TotalFileCount = std::int32_t(arranged.totalFileCount);
        ListView1->setUpdatesEnabled(false);
        selection_->clear();
        model_->reset(&ShownDisk, CurrentFolder, std::move(arranged.rows));
        fitLineCells();
        // A folder opens at its top, not at the last one's scroll position.
        ListView1Icons->scrollToTop();
        ListView1Details->scrollToTop();
        ListView1->setUpdatesEnabled(true);
    }
    emit updirEnabledChanged(CurrentFolder != 0);
    Timer1->start();
    P_FolderName->setText(fromAnsi(GetDirPath(CurrentFolder, ShownDisk)));
}

void TDiskContents::selectFile(std::string_view name)
{
    if (!diskShown())
        return;
    const auto& files = ShownDisk.DirList[std::size_t(CurrentFolder)].FileList;
    for (int row = 0; const FolderRow* r = model_->rowAt(row); ++row) {
        if (r->kind != FolderRow::File || files[std::size_t(r->index)].Name.view() != name)
            continue;
        const QModelIndex at = model_->index(row, FolderModel::Name);
        // The details view scrolls to its current row itself; the icons can
        // only once they are arranged.
        selection_->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        revealRow_ = at;
        Timer1->start();
        return;
    }
}

std::vector<FolderRow> TDiskContents::selectedRows() const
{
    // The icon views select the name cell only, the details view whole rows:
    // a row counts as selected when any of its cells is.
    std::vector<int> rows;
    for (const QModelIndex& i : selection_->selectedIndexes())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<FolderRow> out;
    for (int row : rows)
        if (const FolderRow* r = model_->rowAt(row))
            out.push_back(*r);
    return out;
}

std::vector<FolderRow> TDiskContents::rows() const
{
    std::vector<FolderRow> out;
    out.reserve(std::size_t(model_->rowCount()));
    for (int row = 0; const FolderRow* r = model_->rowAt(row); ++row)
        out.push_back(*r);
    return out;
}

void TDiskContents::releaseRows()
{
    selection_->clear();
    model_->clear();
}

void TDiskContents::ListView1DblClick()
{
    const std::vector<FolderRow> rows = selectedRows();
    if (rows.size() != 1)
        return;
    if (rows[0].kind == FolderRow::File) {
        emit fileDoubleClicked();
        return;
    }
    CurrentFolder = rows[0].index;
    ShowFolder();
}

void TDiskContents::TB_UpdirClick()
{
    if (CurrentFolder != 0 && std::size_t(CurrentFolder) < ShownDisk.DirList.size()) {
        CurrentFolder = ShownDisk.DirList[std::size_t(CurrentFolder)].Parent;
        if (CurrentFolder == 0)
            emit updirEnabledChanged(false);
        ShowFolder();
    } else {
        emit updirEnabledChanged(false);
    }
}

void TDiskContents::RichEdit_CommentChange()
{
    if (!viewSetsComment_)
        commentEdited_ = true;
    QString text = RichEdit_Comment->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    ShownDisk.Comment = toAnsi(text);
}

void TDiskContents::B_SaveClick()
{
    WriteShownDisk(B_Save->window());
}

bool TDiskContents::WriteShownDisk(QWidget* owner, const std::function<bool()>& change)
{
    FileStamp agreed = shownStamp_; // the file that may be replaced without asking
    for (;;) {
        if (!diskShown())
            return false;
        std::optional<FileStamp> now;
        try {
            BusyCursor busy;
            QCoreApplication::processEvents(); // let the cursor change be seen
            const CatalogLock lock = CatalogLock::forCatalog(shownFile_);
            // A catalog that has gone is left to the save, which never makes one anew.
            now = CurrentStamp(shownFile_);
            if (!now || *now == agreed) {
                if (change && !change())
                    return false;
                shownStamp_ = SaveDiskFile(shownFile_, ShownDisk, SaveMode::ReplaceExisting);
                commentEdited_ = false;
                emit saved();
                return true;
            }
        } catch (const CatalogError& e) {
            dialogs().error(owner, CatalogErrorText(e));
            return false;
        }
        if (!dialogs().confirmDestructive(owner, u(kChangedQuestion), u("確認"))) {
            reloadKeepingComment(owner);
            return false;
        }
        agreed = *now;
    }
}

void TDiskContents::reloadKeepingComment(QWidget* owner)
{
    const bool edited = commentEdited_;
    const QString typed = RichEdit_Comment->toPlainText();
    commentEdited_ = false; // put back below: reloadShown would not drop it
    reloadShown(owner);
    if (edited && diskShown())
        RichEdit_Comment->setPlainText(typed); // an edit of the user's, and ShownDisk's comment again
}

void TDiskContents::followRename(const QByteArray& from, const QByteArray& to)
{
    const std::string& shown = shownFile_.native();
    const std::string old = from.toStdString();
    if (shown == old) {
        shownFile_ = to.toStdString();
    } else if (shown.size() > old.size() && shown.compare(0, old.size(), old) == 0 && shown[old.size()] == '/') {
        shownFile_ = to.toStdString() + shown.substr(old.size());
    }
}

void TDiskContents::setViewStyle(ViewStyle style)
{
    style_ = style;
    QAction* item = style == ViewStyle::LargeIcon ? LargeIcon1
                    : style == ViewStyle::SmallIcon ? SmallIcon1
                    : style == ViewStyle::List      ? List1
                                                    : Detail1;
    item->setChecked(true);
    model_->setLargeIcons(style == ViewStyle::LargeIcon);
    if (style == ViewStyle::Detail) {
        ListView1->setCurrentWidget(ListView1Details);
        return;
    }
    struct Look {
        QListView::ViewMode mode;
        int icon;
        QSize grid;
        QListView::Flow flow;
    };
    // Large icons flow in rows with their names below (over two lines, as a
    // desktop file manager shows them); small icons in rows; the list in
    // columns filled from the top.
    const QSize largeCell = LargeIconDelegate::cellSize(32, ListView1Icons->font());
    const QSize lineCell(kNarrowestCell, 18); // widened to the names by fitLineCells
    const Look look = style == ViewStyle::LargeIcon ? Look{QListView::IconMode, 32, largeCell, QListView::LeftToRight}
                      : style == ViewStyle::SmallIcon ? Look{QListView::ListMode, kSmallIcon, lineCell, QListView::LeftToRight}
                                                      : Look{QListView::ListMode, kSmallIcon, lineCell, QListView::TopToBottom};
    ListView1Icons->setViewMode(look.mode);
    ListView1Icons->setIconSize(QSize(look.icon, look.icon));
    ListView1Icons->setGridSize(look.grid);
    ListView1Icons->setFlow(look.flow);
    ListView1Icons->setWordWrap(style == ViewStyle::LargeIcon);
    ListView1Icons->setItemDelegate(style == ViewStyle::LargeIcon ? largeIconDelegate_ : listDelegate_);
    ListView1Icons->setWrapping(true);
    fitLineCells();
    ListView1->setCurrentWidget(ListView1Icons);
    Timer1->start();
}

void TDiskContents::fitLineCells()
{
    if (style_ != ViewStyle::SmallIcon && style_ != ViewStyle::List)
        return;
    const QFontMetrics metrics = ListView1Icons->fontMetrics();
    const int longest = kLongestCellName * metrics.horizontalAdvance(QChar(0x3042)); // あ
    const int name = std::min(model_->widestName(ListView1Icons->font()), longest);
    const int width = std::max(kNarrowestCell, kSmallIcon + kCellGaps + name + 2 * ListView1Icons->spacing());
    if (ListView1Icons->gridSize().width() != width)
        ListView1Icons->setGridSize({width, ListView1Icons->gridSize().height()});
}

void TDiskContents::TL_ViewStyleClick()
{
    const ViewStyle order[] = {ViewStyle::LargeIcon, ViewStyle::SmallIcon, ViewStyle::List, ViewStyle::Detail};
    const int current = int(style_);
    setViewStyle(order[(current + 1) % 4]);
}

void TDiskContents::Timer1Timer()
{
    Timer1->stop();
    QCoreApplication::processEvents();
    if (ListView1->currentWidget() == ListView1Icons) {
        // A row selected by selectFile must be laid out before it can be
        // scrolled to, which a layout in batches does only later: then all
        // at once.
        const QModelIndex reveal = std::exchange(revealRow_, {});
        if (reveal.isValid())
            ListView1Icons->setLayoutMode(QListView::SinglePass);
        ListView1Icons->doItemsLayout(); // re-flow the icons from the top
        if (reveal.isValid()) {
            ListView1Icons->scrollTo(reveal);
            ListView1Icons->setLayoutMode(QListView::Batched);
        }
    }
}

bool TDiskContents::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::Resize)
        Timer1->start(); // ListView1Resize
    if (watched == ListView1Details && event->type() == QEvent::FontChange)
        widenDateColumns();
    if (watched == ListView1Icons && event->type() == QEvent::FontChange)
        fitLineCells();
    if ((watched == ListView1Icons || watched == ListView1Details) && event->type() == QEvent::KeyPress) {
        // The keyboard's way to what the mouse does: Enter opens a folder as a
        // double-click does; Backspace and Alt+Up go up as "上へ" does.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            ListView1DblClick();
            return true;
        }
        if ((key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) ||
            (key->key() == Qt::Key_Up && key->modifiers() == Qt::AltModifier)) {
            if (CurrentFolder != 0)
                TB_UpdirClick();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qd
