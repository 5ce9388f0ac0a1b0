#include "ShCtrls.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <cstring>
#include <limits>

#include "platform/Drives.h"
#include "platform/FileOps.h"
#include "platform/ImageList.h"
#include "platform/SysImageList.h"
#include "shell/ItemIDList.h"
#include "platform/Text.h"

namespace qd {

namespace {

constexpr int MinComboItemHeight = 18;
constexpr int ComboIconLeft = 2;
constexpr int ComboTextLeft = 22;
constexpr int SmallEdge = 16;
constexpr int LargeEdge = 32;

struct UnitState {
    std::shared_ptr<ShellFolder> desktop = SHGetDesktopFolder();
    QList<QWidget*> controls;
};

UnitState& unit()
{
    static UnitState state;
    return state;
}

ImageList::DrawMode drawModeOf(int drawStyle)
{
    if (drawStyle & ILD_MASK)
        return ImageList::DrawMode::Mask;
    return (drawStyle & ILD_TRANSPARENT) ? ImageList::DrawMode::Transparent : ImageList::DrawMode::Normal;
}

// The canvas colours of an entry, as the toolkit prepares them for its state.
void prepareCanvas(QPainter& painter, const QWidget* widget, const QRect& rect, bool selected)
{
    const QPalette& palette = widget->palette();
    painter.fillRect(rect, selected ? palette.highlight() : palette.base());
    painter.setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
    painter.setFont(widget->font());
}

void drawEntryText(QPainter& painter, const QRect& rect, const QString& text)
{
    // Single line, vertically centred, no mnemonic prefix.
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

// Hands the painting of every entry to the box's own DrawItem.
template <class Box>
class EntryDelegate : public QStyledItemDelegate {
public:
    explicit EntryDelegate(Box* box) : QStyledItemDelegate(box), box_(box) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        box_->DrawItem(*painter, index.row(), option.rect, option.state & QStyle::State_Selected);
        painter->restore();
    }

protected:
    Box* box_;
};

class ComboDelegate final : public EntryDelegate<TCustomShComboBox> {
public:
    using EntryDelegate::EntryDelegate;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const int text = box_->fontMetrics().horizontalAdvance(index.data(Qt::DisplayRole).toString());
        return QSize(ComboTextLeft + text + 4, box_->ItemHeight());
    }
};

class ListDelegate final : public EntryDelegate<TCustomShListBox> {
public:
    using EntryDelegate::EntryDelegate;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        // The width is the horizontal extent, so that the view's scroll
        // range covers exactly what was set.
        return QSize(box_->HorizontalExtent(), box_->ItemHeight());
    }
};

void joinControls(QWidget* control) { unit().controls.append(control); }
void leaveControls(QWidget* control) { unit().controls.removeAll(control); }

} // namespace

int IconEdge(TIconType type) { return type == itLarge ? LargeEdge : SmallEdge; }

TItemInfo::TItemInfo(PCItemIDList list, unsigned iconFlags, int drawStyle, int data)
{
    LargeIcon = SysIconIndexFromIDList(list, iconFlags);
    SmallIcon = SysIconIndexFromIDList(list, iconFlags);
    Path = shctrls::PathFromItemIDList(list);
    DisplayName = shctrls::DisplayNameFromItemIDList(list);
    DrawStyle = drawStyle;
    Data = data;
}

int IconIndexOf(const TItemInfo& item, TIconType type)
{
    switch (type) {
    case itLarge:
        return item.LargeIcon;
    case itSmall:
        return item.SmallIcon;
    }
    return 0;
}

int TItemList::AddObject(const QString& text, TItemInfo* object)
{
    entries_.emplace_back(text, std::unique_ptr<TItemInfo>(object));
    return Count() - 1;
}

void TItemList::InsertObject(int index, const QString& text, TItemInfo* object)
{
    entries_.emplace(entries_.begin() + index, text, std::unique_ptr<TItemInfo>(object));
}

void TItemList::Delete(int index) { entries_.erase(entries_.begin() + index); }

namespace shctrls {

void* ShellAllocZero(std::int16_t size)
{
    return itemidlist::ShellAllocZero(size); // the same allocator; only the size is 16-bit here
}

PItemIDList NextItemID(PItemIDList item)
{
    const std::uint16_t count = ItemIDCount(item);
    if (count == 0)
        return nullptr;
    auto next = reinterpret_cast<PItemIDList>(reinterpret_cast<std::uint8_t*>(item) + count);
    return ItemIDCount(next) == 0 ? nullptr : next;
}

namespace {
// The byte count of a list without its terminator, in full width.
std::int32_t itemBytes(PCItemIDList list)
{
    if (!list)
        return 0;
    std::int32_t sum = 0;
    for (auto p = reinterpret_cast<const std::uint8_t*>(list);; ) {
        const std::uint16_t count = ItemIDCount(reinterpret_cast<PCItemIDList>(p));
        if (count == 0)
            return sum;
        sum += count;
        p += count;
    }
}
} // namespace

std::uint16_t ItemIDListSize(PCItemIDList list)
{
    if (!list)
        return 0;
    std::uint16_t size = 0;
    auto item = const_cast<PItemIDList>(list);
    if (ItemIDCount(item) != 0) {
        for (PItemIDList p = item; p; p = NextItemID(p))
            size = std::uint16_t(size + ItemIDCount(p));
    }
    return std::uint16_t(size + 2);
}

PItemIDList ConcatItemIDLists(PCItemIDList a, PCItemIDList b)
{
    // Sizes are taken in full width: a 16-bit sum that wrapped would copy a
    // cut-off item and leave a list that runs past its allocation.
    const std::int32_t sizeA = itemBytes(a);
    const std::int32_t sizeB = itemBytes(b);
    if (sizeA + sizeB + 2 > std::numeric_limits<std::int16_t>::max())
        return nullptr;
    auto* joined = static_cast<std::uint8_t*>(ShellAllocZero(std::int16_t(sizeA + sizeB + 2)));
    if (!joined)
        return nullptr;
    if (sizeA)
        std::memcpy(joined, a, std::size_t(sizeA));
    if (sizeB)
        std::memcpy(joined + sizeA, b, std::size_t(sizeB));
    SetItemIDCount(reinterpret_cast<PItemIDList>(joined + sizeA + sizeB), 0);
    return reinterpret_cast<PItemIDList>(joined);
}

QString DisplayNameFromItemIDList(PCItemIDList list) { return DisplayNameFromIDList(list); }
QString PathFromItemIDList(PCItemIDList list) { return SHGetPathFromIDList(list); }

ImageList* LargeSystemImages() { return GetSysImageList(true); }
ImageList* SmallSystemImages() { return GetSysImageList(false); }
const std::shared_ptr<ShellFolder>& DesktopFolder() { return unit().desktop; }
const QList<QWidget*>& ShellControls() { return unit().controls; }

} // namespace shctrls

QEvent::Type ShPathChangedEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType(QEvent::User + 256));
    return type;
}

// ---- TCustomShComboBox ----

TCustomShComboBox::TCustomShComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    setItemDelegate(new ComboDelegate(this));
    UpdateItemHeight();
    joinControls(this);
}

TCustomShComboBox::~TCustomShComboBox() { leaveControls(this); }

TItemInfo* TCustomShComboBox::ItemInfo(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return static_cast<TItemInfo*>(itemData(index, ItemInfoRole).value<void*>());
}

void TCustomShComboBox::NotifyGroup(const QString& path, int group)
{
    if (group == 0) {
        ShPathChangedEvent notice(path);
        QCoreApplication::sendEvent(this, &notice);
        return;
    }
    // A member may destroy another while it reacts: keep guarded pointers.
    QList<QPointer<QWidget>> members;
    for (QWidget* control : shctrls::ShellControls()) {
        if (auto* combo = qobject_cast<TCustomShComboBox*>(control); combo && combo->GroupIndex() == group)
            members.append(control);
        else if (auto* list = qobject_cast<TCustomShListBox*>(control); list && list->GroupIndex() == group)
            members.append(control);
    }
    for (const QPointer<QWidget>& member : members) {
        if (member) {
            ShPathChangedEvent notice(path);
            QCoreApplication::sendEvent(member, &notice);
        }
    }
}

void TCustomShComboBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const
{
    prepareCanvas(painter, this, rect, selected);
    const TItemInfo* info = ItemInfo(index);
    if (!info)
        return;
    if (ImageList* images = shctrls::SmallSystemImages())
        images->draw(painter, info->SmallIcon, rect.left() + ComboIconLeft,
                     rect.top() + (rect.height() - SmallEdge) / 2, drawModeOf(ILD_TRANSPARENT));
    QRect textRect = rect;
    textRect.setLeft(rect.left() + ComboTextLeft);
    drawEntryText(painter, textRect, itemText(index));
}

QSize TCustomShComboBox::sizeHint() const
{
    QSize size = QComboBox::sizeHint();
    return size.expandedTo(QSize(size.width(), itemHeight_ + 6));
}

QSize TCustomShComboBox::minimumSizeHint() const
{
    QSize size = QComboBox::minimumSizeHint();
    return size.expandedTo(QSize(size.width(), itemHeight_ + 6));
}

void TCustomShComboBox::paintEvent(QPaintEvent*)
{
    // The frame and arrow come from the style; the field is drawn as an entry.
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const int index = currentIndex();
    if (index < 0)
        return;
    QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const int top = field.top() + (field.height() - itemHeight_) / 2;
    field = QRect(field.left(), top, field.width(), itemHeight_);
    DrawItem(painter, index, field, hasFocus());
}

void TCustomShComboBox::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateItemHeight();
        CreateWnd();
    }
}

void TCustomShComboBox::UpdateItemHeight()
{
    const int height = std::max(QFontMetrics(font()).height(), MinComboItemHeight);
    if (height != itemHeight_) {
        itemHeight_ = height;
        updateGeometry();
    }
}

// ---- TShDriveComboBox ----

TShDriveComboBox::TShDriveComboBox(QWidget* parent) : TCustomShComboBox(parent)
{
    connect(this, &QComboBox::activated, this, &TShDriveComboBox::Change);
    // A drive that appears while the program runs (a stick plugged in, a
    // folder mapped) is offered at once.
    connect(&DriveTableChanges(), &DriveTableNotice::changed, this, &TShDriveComboBox::RefreshItems);
    CreateWnd();
}

TShDriveComboBox::~TShDriveComboBox()
{
    // The visible entries point into DriveItems: empty them first.
    clear();
}

void TShDriveComboBox::CreateWnd()
{
    if (!drive_.isNull())
        return;
    BuildDriveList();
    const QChar current = DriveOfLocalPath(QDir::currentPath());
    if (!current.isNull())
        SelectPath(QString(current) + QStringLiteral(":\\"));
}

void TShDriveComboBox::BuildDriveList()
{
    const std::shared_ptr<ShellFolder>& desktop = shctrls::DesktopFolder();
    if (!desktop)
        return;
    const ItemIDListPtr computerList(SHGetSpecialFolderLocation(CSIDL_DRIVES));
    if (!computerList)
        return;
    const std::shared_ptr<ShellFolder> computer = desktop->BindToObject(computerList.get());
    if (!computer)
        return;
    const std::unique_ptr<EnumIDList> children = computer->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN);
    if (!children)
        return;

    clear();
    driveItems_.Clear();
    while (PItemIDList child = children->Next()) {
        const ItemIDListPtr childList(child);
        const std::uint32_t attributes = computer->GetAttributesOf(child, SFGAO_FOLDER | SFGAO_FILESYSTEM);
        if (!(attributes & SFGAO_FILESYSTEM))
            continue;
        const ItemIDListPtr absolute(shctrls::ConcatItemIDLists(computerList.get(), child));
        if (!absolute)
            continue;
        auto* info = new TItemInfo(absolute.get(), 0, ILD_TRANSPARENT, 0);
        driveItems_.AddObject(info->DisplayName, info);
    }
    ShowDriveItems();
}

void TShDriveComboBox::ShowDriveItems()
{
    clear();
    for (int i = 0; i < driveItems_.Count(); ++i) {
        addItem(driveItems_.Strings(i));
        setItemData(i, QVariant::fromValue(static_cast<void*>(driveItems_.Objects(i))), ItemInfoRole);
    }
    // The toolkit selects the first entry added to an empty box; a new list
    // starts with no selection until SelectPath picks one.
    setCurrentIndex(-1);
}

void TShDriveComboBox::SelectPath(const QString& path)
{
    const std::optional<QChar> letter = DriveLetterOfPath(path);
    if (!letter)
        return;
    for (int i = 0; i < count(); ++i) {
        // An entry without a path never matches.
        if (DriveLetterOfPath(PathOfItem(i)) == letter) {
            setCurrentIndex(i);
            drive_ = *letter;
            return;
        }
    }
}

void TShDriveComboBox::SelectDrive(QChar letter)
{
    const QString path = QString(letter) + QStringLiteral(":\\");
    bool readable = false;
    if (GroupIndex() != 0) {
        const auto real = RealPath(toAnsi(path));
        readable = real && DirectoryExists(*real);
    }
    if (GroupIndex() == 0 || readable)
        NotifyGroup(path, GroupIndex());
    else
        SelectPath(QString(drive_) + QStringLiteral(":\\"));
}

QString TShDriveComboBox::PathOfItem(int index) const
{
    const TItemInfo* info = ItemInfo(index);
    return info ? info->Path : QString();
}

void TShDriveComboBox::ApplyPath(const QString& path)
{
    SelectPath(path);
    emit OnChange();
}

void TShDriveComboBox::RefreshItems()
{
    BuildDriveList();
    // The rebuilt entries have no selection, and the announcement of the
    // current drive below changes nothing: put the selection back first so
    // that the box does not show nothing while Drive still names a drive.
    if (!drive_.isNull())
        SelectPath(QString(drive_) + QStringLiteral(":\\"));
    SelectDrive(drive_);
}

void TShDriveComboBox::Change()
{
    // An entry without a path names no drive to choose.
    if (const std::optional<QChar> letter = DriveLetterOfPath(PathOfItem(currentIndex())))
        SelectDrive(*letter);
}

bool TShDriveComboBox::event(QEvent* event)
{
    if (event->type() == ShPathChangedEvent::eventType()) {
        const QString& path = static_cast<ShPathChangedEvent*>(event)->path();
        if (!path.isEmpty() && path[0] != drive_)
            ApplyPath(path);
        return true;
    }
    return TCustomShComboBox::event(event);
}

// ---- TCustomShListBox ----

TCustomShListBox::TCustomShListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new ListDelegate(this));
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Emptying the list resets the horizontal extent after the default handling.
    resetConnection_ = connect(model(), &QAbstractItemModel::modelReset, this, [this] {
        widestItem_ = 0;
        SetHorizontalExtent(0);
    });
    joinControls(this);
}

TCustomShListBox::~TCustomShListBox()
{
    // The list widget empties its model after this part is gone.
    disconnect(resetConnection_);
    leaveControls(this);
}

void TCustomShListBox::SetIconType(TIconType type)
{
    if (type == iconType_)
        return;
    iconType_ = type;
    UpdateItemHeight();
    viewport()->update();
}

void TCustomShListBox::SetAutoScroll(bool on)
{
    if (on == autoScroll_)
        return;
    autoScroll_ = on;
    if (on) {
        viewport()->update();
    } else {
        widestItem_ = 0;
        SetHorizontalExtent(0);
    }
}

int TCustomShListBox::ItemHeight() const
{
    if (itemHeight_ == 0)
        itemHeight_ = std::max(MinItemHeight(), QFontMetrics(font()).height());
    return itemHeight_;
}

TItemInfo* TCustomShListBox::ItemInfo(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry ? static_cast<TItemInfo*>(entry->data(ItemInfoRole).value<void*>()) : nullptr;
}

void TCustomShListBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected)
{
    prepareCanvas(painter, this, rect, selected);
    const int edge = IconEdge(iconType_);
    const int indent = ItemIndent(index);
    if (const TItemInfo* info = ItemInfo(index)) {
        ImageList* images = iconType_ == itLarge ? shctrls::LargeSystemImages() : shctrls::SmallSystemImages();
        if (images)
            images->draw(painter, IconIndexOf(*info, iconType_), rect.left() + indent,
                         rect.top() + (ItemHeight() - edge) / 2, drawModeOf(info->DrawStyle));
    }
    const QString text = ItemText(index);
    QRect textRect = rect;
    textRect.setLeft(rect.left() + edge + indent + 4);
    textRect.setRight(rect.right() + 2);
    drawEntryText(painter, textRect, text);
    if (autoScroll_) {
        const int width = painter.fontMetrics().horizontalAdvance(text) + textRect.left() + 2;
        if (width > widestItem_) {
            widestItem_ = width;
            if (width > this->width())
                SetHorizontalExtent(width);
        }
    }
}

void TCustomShListBox::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateItemHeight();
}

void TCustomShListBox::SetHorizontalExtent(int extent)
{
    if (extent == horizontalExtent_)
        return;
    horizontalExtent_ = extent;
    scheduleDelayedItemsLayout();
}

void TCustomShListBox::UpdateItemHeight()
{
    const int height = std::max(MinItemHeight(), QFontMetrics(font()).height());
    if (height != itemHeight_) {
        itemHeight_ = height;
        scheduleDelayedItemsLayout();
    }
}

} // namespace qd
