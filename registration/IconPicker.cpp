#include "registration/IconPicker.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "platform/Dialogs.h"
#include "platform/IconReader.h"
#include "platform/ImageList.h"
#include "platform/SysImageList.h"

namespace qd {

const QString TIconPicker::kFileFilter = QStringLiteral(
    "アイコンファイル（*.exe *.ico） |*.exe;*.ico|DLLファイル（*.dll）|*.dll|全てのファイル（*.*）|*.*");

const QStringList TIconPicker::kSources = {
    QStringLiteral("ディスクの中にあったアイコン"),
    QStringLiteral("Windowsアイコン"),
    QStringLiteral("指定ファイルのアイコン"),
    QStringLiteral("いろいろ"),
};

namespace {

constexpr int kIconSize = 16;

// The Windows filter text ("text|patterns|text|patterns") as a file dialog.
QString runFileDialog(QWidget* owner, const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    // The texts already name their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

TIconPicker::TIconPicker(QWidget* parent)
    : QWidget(parent),
      ComboBox1(new QComboBox(this)),
      ImageListBox1(new TImageListBox(this)),
      Frame1(new QFrame(this)),
      Image1(new QLabel(Frame1)),
      B_AddWinIcon(new QPushButton(this)),
      B_AddFileIcon(new QPushButton(this)),
      OpenDialog1(runFileDialog),
      ImageListS(new ImageList(kIconSize, this)),
      ImageList_Win(new ImageList(kIconSize, this)),
      ImageList_File(new ImageList(kIconSize, this)),
      SysIconS(GetSysImageList(false)),
      iconImage_(kIconSize, kIconSize, QImage::Format_RGB32),
      iconMask_(BlankMask(kIconSize, kIconSize))
{
    iconImage_.fill(Qt::white);

    ComboBox1->addItems(kSources);
    ComboBox1->setFixedWidth(181);
    ImageListBox1->setFixedSize(297, 81);
    ImageListBox1->SetColumnWidth(24);
    ImageListBox1->SetItemHeight(20);
    Frame1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Frame1->setLineWidth(1);
    Frame1->setFixedSize(38, 38);
    Image1->setGeometry(1, 1, 36, 36);
    Image1->setAlignment(Qt::AlignCenter);
    B_AddWinIcon->hide();
    B_AddFileIcon->hide();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0); // the page's own margins frame it
    grid->setVerticalSpacing(4);
    grid->addWidget(ComboBox1, 0, 1, Qt::AlignLeft);
    grid->addWidget(Frame1, 1, 0, Qt::AlignTop);
    grid->addWidget(ImageListBox1, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);

    // Only the user's choice of a source counts as a change.
    connect(ComboBox1, &QComboBox::activated, this, &TIconPicker::ComboBox1Change);
    connect(ImageListBox1, &TImageListBox::OnClick, this, &TIconPicker::ImageListBox1Click);
    connect(B_AddWinIcon, &QPushButton::clicked, this, &TIconPicker::B_AddWinIconClick);
    connect(B_AddFileIcon, &QPushButton::clicked, this, &TIconPicker::B_AddFileIconClick);
}

TIconPicker::~TIconPicker()
{
    // The box must not outlive its list's notices while the lists go.
    ImageListBox1->SetImages(nullptr);
}

const ImageList* TIconPicker::SourceList(int source) const
{
    switch (source) {
    case 0: return ImageListS;
    case 1: return ImageList_Win;
    case 2: return ImageList_File;
    case 3: return SysIconS;
    default: return nullptr;
    }
}

void TIconPicker::WalkCompleted(const std::function<void()>& makeCurrent)
{
    {
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->setCurrentIndex(0);
    }
    ImageListBox1->SetImages(ImageListS);
    iconChosen_ = false;
    Image1->clear(); // no icon is chosen yet: none is shown
    if (makeCurrent)
        makeCurrent();
    // The page paints before the slower filling of the system icons.
    QCoreApplication::processEvents();
    B_AddWinIcon->click();
}

bool TIconPicker::CheckIconChosen()
{
    if (iconChosen_)
        return true;
    dialogs().tell(this, QStringLiteral("アイコンは必ず選択してください。"), QStringLiteral("注意"), DialogIcon::Stop);
    return false;
}

void TIconPicker::ComboBox1Change()
{
    const int source = ComboBox1->currentIndex();
    if (source == 2)
        B_AddFileIcon->click();
    ImageListBox1->SetImages(SourceList(source));
}

void TIconPicker::ImageListBox1Click()
{
    const int i = ImageListBox1->ItemIndex();
    const ImageList* source = SourceList(ComboBox1->currentIndex());
    // A click that leaves nothing selected keeps the icon chosen before: drawing
    // no image would give the disk a blank icon while the mark stays set.
    if (i < 0 || !source || i >= source->count())
        return;

    Image1->setPixmap(source->pixmap(i));
    iconImage_ = source->imageOnWhite(i);
    iconMask_ = source->mask(i);
    iconChosen_ = true;
}

void TIconPicker::B_AddWinIconClick()
{
    ImageList_Win->clear();
    AddSystemIcons(*ImageList_Win);
}

void TIconPicker::B_AddFileIconClick()
{
    const QString path = OpenDialog1 ? OpenDialog1(this, kFileFilter) : QString();
    if (path.isEmpty())
        return; // the list keeps the icons of the file chosen last time, if any
    LoadFileIcons(*ImageList_File, path);
}

std::string TIconPicker::IconImageBmp() const
{
    return ColourBmp(iconImage_);
}

std::string TIconPicker::IconMaskBmp() const
{
    return MaskBmp(iconMask_);
}

} // namespace qd
