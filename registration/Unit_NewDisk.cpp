#include "Unit_NewDisk.h"

#include <QApplication>
#include <filesystem>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/CatalogStore.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/Fonts.h"
#include "platform/Text.h"
#include "registration/IconPicker.h"
#include "registration/Scanner.h"
#include "shell/ShCtrls.h"

namespace qd {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kOverwriteQuestion = "入力されたタイトルはすでに存在します。\r\n上書きしますか？";

constexpr int kClientWidth = 372;
constexpr int kClientHeight = 213;
constexpr int kHeaderHeight = 57;
constexpr int kBottomHeight = 36;

QLabel* sunkenText(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

// The walk's side of the scanning page: progress texts once per folder, with
// the one round of pending events in which Cancel can be taken.
class TForm_NewDisk::Walk final : public ScanControl {
public:
    explicit Walk(TForm_NewDisk& form) : form_(form) {}
    void progress(const QString& folderPath, std::int32_t files, std::int32_t folders) override
    {
        form_.ST_SearchFolder->setText(folderPath);
        form_.ST_CountFile->setText(QString::number(files));
        form_.ST_CountFolder->setText(QString::number(folders));
        QCoreApplication::processEvents();
    }
    QWidget* owner() const override { return &form_; }

private:
    TForm_NewDisk& form_;
};

TForm_NewDisk::TForm_NewDisk(QWidget* parent) : QDialog(parent)
{
    setObjectName("Form_NewDisk");
    setWindowTitle(u("新規作成：ディスク"));
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName("PageControl1");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);

    // Page 1: the drive.
    B_Next1 = button("B_Next1", "次へ");
    BitBtn1 = button("BitBtn1", "キャンセル");
    TabSheet1 = makePage("TabSheet1", "作成開始",
                         "保存対象ドライブを指定してください。\nＣＤ・MO・フロッピーディスク等の場合は、ディスクを入れてください。",
                         {B_Next1, BitBtn1}, B_Next1);
    ShDriveComboBox1 = new TShDriveComboBox(TabSheet1);
    ShDriveComboBox1->setObjectName("ShDriveComboBox1");
    {
        auto* grid = TabSheet1->findChild<QGridLayout*>("content");
        grid->addWidget(new QLabel(u("ドライブ")), 0, 0);
        grid->addWidget(ShDriveComboBox1, 0, 1);
    }

    // Page 2: the title.
    B_Back0 = button("B_Back0", "戻る");
    B_Next2 = button("B_Next2", "次へ");
    B_Cancel1 = button("B_Cancel1", "キャンセル");
    TabSheet2 = makePage("TabSheet2", "タイトルの入力", "保存するディスクのタイトルを入力してください。",
                         {B_Back0, B_Next2, B_Cancel1}, B_Next2);
    E_Title = new QLineEdit(TabSheet2);
    E_Title->setObjectName("E_Title");
    ST_DiskSize = sunkenText(TabSheet2, "ST_DiskSize");
    ST_FreeSize = sunkenText(TabSheet2, "ST_FreeSize");
    {
        auto* grid = TabSheet2->findChild<QGridLayout*>("content");
        grid->addWidget(new QLabel(u("ディスクのタイトル")), 0, 0);
        grid->addWidget(E_Title, 0, 1);
        grid->addWidget(new QLabel(u("ディスクの容量")), 1, 0);
        grid->addWidget(ST_DiskSize, 1, 1);
        grid->addWidget(new QLabel(u("ディスクの空き容量")), 2, 0);
        grid->addWidget(ST_FreeSize, 2, 1);
    }

    // Page 3: the walk. Cancel is its default button.
    BitBtn6 = button("BitBtn6", "キャンセル");
    TabSheet3 = makePage("TabSheet3", "ファイル名の読み込み", "ファイル名を読み込んでいます。しばらくお待ちください。",
                         {BitBtn6}, BitBtn6);
    ST_SearchFolder = sunkenText(TabSheet3, "ST_SearchFolder");
    ST_SearchFolder->setWordWrap(true);
    ST_SearchFolder->setFixedHeight(2 * fontMetrics().height() + 6);
    ST_CountFile = sunkenText(TabSheet3, "ST_CountFile");
    ST_CountFolder = sunkenText(TabSheet3, "ST_CountFolder");
    {
        auto* grid = TabSheet3->findChild<QGridLayout*>("content");
        grid->addWidget(new QLabel(u("現在検索しているフォルダ")), 0, 0, 1, 2);
        grid->addWidget(ST_SearchFolder, 1, 0, 1, 4);
        grid->addWidget(new QLabel(u("ファイル数")), 2, 0);
        grid->addWidget(ST_CountFile, 2, 1);
        grid->addWidget(new QLabel(u("フォルダ数")), 2, 2);
        grid->addWidget(ST_CountFolder, 2, 3);
    }
    // The still picture at the right of the header: a computer being searched.
    Animate1 = new QLabel(TabSheet3->findChild<QWidget*>("header"));
    Animate1->setObjectName("Animate1");
    Animate1->setPixmap(QIcon::fromTheme("system-search", QIcon::fromTheme("computer")).pixmap(32, 32));
    TabSheet3->findChild<QWidget*>("header")->layout()->addWidget(Animate1);

    // Page 4: the icon.
    BitBtn8 = button("BitBtn8", "次へ");
    BitBtn7 = button("BitBtn7", "キャンセル");
    TabSheet4 = makePage("TabSheet4", "アイコンの選択", "保存したディスクのアイコンを選んでください。", {BitBtn8, BitBtn7},
                         BitBtn8);
    IconPicker = new TIconPicker(TabSheet4);
    IconPicker->setObjectName("IconPicker");
    {
        // The source box and the 81-pixel list must fit above the button band,
        // or the list's horizontal scroll bar hides under it.
        auto* grid = TabSheet4->findChild<QGridLayout*>("content");
        grid->setContentsMargins(16, 4, 16, 2);
        grid->addWidget(IconPicker, 0, 0);
    }

    // Page 5: finish.
    B_Finish = button("B_Finish", "完了");
    B_Cancel5 = button("B_Cancel5", "キャンセル");
    TabSheet5 = makePage("TabSheet5", "完了", "内容が保存されます。", {B_Finish, B_Cancel5}, B_Finish);

    connect(B_Next1, &QPushButton::clicked, this, &TForm_NewDisk::B_Next1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(B_Back0, &QPushButton::clicked, this, &TForm_NewDisk::B_Back0Click);
    connect(B_Next2, &QPushButton::clicked, this, &TForm_NewDisk::B_Next2Click);
    connect(B_Cancel1, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn6, &QPushButton::clicked, this, &TForm_NewDisk::BitBtn6Click);
    connect(BitBtn8, &QPushButton::clicked, this, &TForm_NewDisk::BitBtn8Click);
    connect(BitBtn7, &QPushButton::clicked, this, &TForm_NewDisk::AskStop);
    connect(B_Finish, &QPushButton::clicked, this, &TForm_NewDisk::B_FinishClick);
    connect(B_Cancel5, &QPushButton::clicked, this, &TForm_NewDisk::AskStop);

    FormShow();
}

TForm_NewDisk::~TForm_NewDisk() = default;

QPushButton* TForm_NewDisk::button(const char* name, const char* caption)
{
    auto* b = new QPushButton(u(caption));
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QWidget* TForm_NewDisk::makePage(const char* name, const char* title, const char* instructions,
                                 std::initializer_list<QPushButton*> buttons, QPushButton* defaultButton)
{
    auto* page = new QWidget;
    page->setObjectName(name);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The white, sunken header band with its bold title and instructions.
    auto* header = new QFrame(page);
    header->setObjectName("header");
    header->setFixedHeight(kHeaderHeight);
    header->setFrameShape(QFrame::Panel);
    header->setFrameShadow(QFrame::Sunken);
    header->setAutoFillBackground(true);
    QPalette white = header->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(white);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(10, 4, 10, 4);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* titleLabel = new QLabel(u(title), header);
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(13);
    titleLabel->setFont(bold);
    texts->addWidget(titleLabel);
    auto* instructionLabel = new QLabel(u(instructions), header);
    instructionLabel->setContentsMargins(12, 0, 0, 0);
    texts->addWidget(instructionLabel);
    texts->addStretch(1);
    headerRow->addLayout(texts, 1);
    column->addWidget(header);

    auto* content = new QWidget(page);
    auto* grid = new QGridLayout(content);
    grid->setObjectName("content");
    grid->setContentsMargins(16, 8, 16, 4);
    column->addWidget(content, 1);

    auto* line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);
    auto* bottom = new QWidget(page);
    bottom->setFixedHeight(kBottomHeight);
    auto* row = new QHBoxLayout(bottom);
    row->setContentsMargins(8, 4, 8, 6);
    row->addStretch(1);
    for (QPushButton* b : buttons) {
        b->setParent(bottom);
        row->addWidget(b);
    }
    defaultButton->setDefault(true);
    column->addWidget(bottom);

    PageControl1->addWidget(page);
    return page;
}

void TForm_NewDisk::setPage(QWidget* page)
{
    PageControl1->setCurrentWidget(page);
    // The current page's default button is the dialog's.
    for (QPushButton* b : {B_Next1, B_Next2, BitBtn6, BitBtn8, B_Finish})
        b->setDefault(page->isAncestorOf(b));
}

QByteArray TForm_NewDisk::ShowFor(const QByteArray& catalogFolder, const QByteArray& catalogRoot, const QPoint& topLeft,
                                  QChar drive)
{
    CatalogFolderPath = catalogFolder;
    CatalogRootPath = catalogRoot;
    move(topLeft);
    FormShow();
    if (!drive.isNull())
        ShDriveComboBox1->SelectPath(QString(drive) + QStringLiteral(":\\"));
    exec();
    return SavedFile;
}

void TForm_NewDisk::FormShow()
{
    setPage(TabSheet1);
    IconPicker->ImageListBox1->SetImages(nullptr);
    Disk = TDisk(); // nothing of the last registration is kept
    closeRequested_ = false;
    overwrite_.clear();
    SavedFile.clear();
}

void TForm_NewDisk::B_Next1Click()
{
    if (!ReadVolume(this, ShDriveComboBox1->Drive(), Disk))
        return;
    ST_DiskSize->setText(QString::fromStdString(SizeToStr(Disk.TotalSize)));
    ST_FreeSize->setText(QString::fromStdString(SizeToStr(Disk.FreeSize)));
    E_Title->setText(fromAnsi(Disk.VolumeLabel));
    setPage(TabSheet2);
    E_Title->setFocus(); // the title is what this page asks for
    E_Title->selectAll();
}

void TForm_NewDisk::B_Back0Click() { setPage(TabSheet1); }

void TForm_NewDisk::B_Next2Click()
{
    const QString title = E_Title->text();
    if (title.isEmpty()) {
        dialogs().tell(this, u("タイトルは必ずつけてください。"), u("注意"), DialogIcon::Information);
        E_Title->setFocus();
        return;
    }
    // Characters without a code page 932 form are fine in a file name: only the refused ones count.
    if (!CheckTitle(toAnsi(title, '_'))) {
        dialogs().error(this, u(kTitleRefusedMessage));
        E_Title->setFocus();
        return;
    }
    // As the tree sees it: a catalog whose name differs only in case is the same title.
    const std::optional<QByteArray> existing = ExistingCatalogName(CatalogFolderPath, title);
    if (existing && !dialogs().confirmDestructive(this, u(kOverwriteQuestion), u("確認")))
        return;
    overwrite_ = existing.value_or(QByteArray());
    ST_CountFile->setText(QStringLiteral("0"));
    ST_CountFolder->setText(QStringLiteral("0"));
    ST_SearchFolder->clear();
    setPage(TabSheet3);
    B_SearchClick();
}

void TForm_NewDisk::B_SearchClick()
{
    walk_ = std::make_unique<Walk>(*this);
    WalkResult result;
    {
        const BusyCursor busy(BusyCursor::Background);
        const QScopedValueRollback walking(walking_, true);
        result = WalkDrive(ShDriveComboBox1->Drive(), Disk, *walk_, IconPicker->DiskIcons());
    }
    if (!result.completed || closeRequested_) {
        // Stopped, or the close box was pressed meanwhile: nothing is saved.
        QDialog::reject();
        return;
    }
    IconPicker->WalkCompleted([this] { setPage(TabSheet4); });
}

void TForm_NewDisk::BitBtn6Click()
{
    if (walk_)
        walk_->requestCancel();
}

void TForm_NewDisk::BitBtn8Click()
{
    if (IconPicker->CheckIconChosen())
        setPage(TabSheet5);
}

void TForm_NewDisk::AskStop()
{
    if (dialogs().confirm(this, u("中止しますか？"), u("キャンセル")))
        QDialog::reject();
}

void TForm_NewDisk::B_FinishClick()
{
    Disk.IconImage = IconPicker->IconImageBmp();
    Disk.IconMask = IconPicker->IconMaskBmp();
    if (save())
        accept();
    // Otherwise the page stays: the user may cancel or try again.
}

bool TForm_NewDisk::save()
{
    const QString title = E_Title->text();
    for (;;) {
        // Without an agreed overwrite the catalog is written only where none
        // is: one that appeared since the title was checked is not replaced.
        const bool replace = !overwrite_.isEmpty();
        const QByteArray name = replace ? overwrite_ : NativeFileName(CatalogFileName(title));
        const std::filesystem::path file = JoinPath(CatalogFolderPath, name).toStdString();
        if (!InsideFolder(CatalogFolderPath, CatalogRootPath)) {
            // The folder was replaced by a link to elsewhere since it was chosen.
            dialogs().error(this, OutsideRootText(CatalogFolderPath, CatalogRootPath));
            return false;
        }
        try {
            BusyCursor busy;
            QCoreApplication::processEvents();
            const CatalogLock lock = CatalogLock::forCatalog(file);
            SaveDiskFile(file, Disk, replace ? SaveMode::CreateOrReplace : SaveMode::CreateNew);
            SavedFile = QByteArray::fromStdString(file.native());
            return true;
        } catch (const CatalogError& e) {
            if (e.code() == CatalogError::Code::Exists) {
                // It appeared meanwhile: the user decides, as for one found at once.
                if (!dialogs().confirmDestructive(this, u(kOverwriteQuestion), u("確認")))
                    return false;
                overwrite_ = ExistingCatalogName(CatalogFolderPath, title).value_or(name);
                continue;
            }
            dialogs().error(this, CatalogErrorText(e));
            return false;
        }
    }
}

void TForm_NewDisk::reject()
{
    if (walking_) { // Escape during the walk: as the close box
        closeRequested_ = true;
        return;
    }
    QDialog::reject();
}

void TForm_NewDisk::keyPressEvent(QKeyEvent* event)
{
    // Escape is the page's Cancel. On the icon and finish pages that asks
    // first, so one key does not throw a finished walk away; elsewhere it
    // closes (or, during the walk, acts as the close box: see reject()).
    const QWidget* page = PageControl1->currentWidget();
    if (event->matches(QKeySequence::Cancel) && (page == TabSheet4 || page == TabSheet5)) {
        AskStop();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm_NewDisk::closeEvent(QCloseEvent* event)
{
    if (walking_) {
        // The close box takes effect when the walk has ended, without saving.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    // After a finished walk the close box asks, as キャンセル does, rather than
    // throwing the walk away with one click.
    const QWidget* page = PageControl1->currentWidget();
    if ((page == TabSheet4 || page == TabSheet5) && isVisible()) {
        event->ignore();
        AskStop();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace qd
