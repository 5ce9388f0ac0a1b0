#include "registration/ImageListBox.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace qd {

// Rows without data: the count is the attached list's image count.
class ImageListBoxModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    QVariant data(const QModelIndex&, int) const override { return {}; }

    // A list that only grew keeps the selection; anything else starts afresh.
    void follow(int count)
    {
        if (count > rows_) {
            beginInsertRows({}, rows_, count - 1);
            rows_ = count;
            endInsertRows();
        } else if (count != rows_ || count == 0) {
            beginResetModel();
            rows_ = count;
            endResetModel();
        }
    }
    void reset(int count)
    {
        beginResetModel();
        rows_ = count;
        endResetModel();
    }

private:
    int rows_ = 0;
};

namespace {

class ImageDelegate : public QStyledItemDelegate {
public:
    explicit ImageDelegate(TCustomImageListBox* box) : QStyledItemDelegate(box), box_(box) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return box_->CellSize(); }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(r, selected ? option.palette.highlight() : QBrush(box_->Color()));
        const ImageList* images = box_->Images();
        const int i = index.row();
        if (images && i >= 0 && i < images->count()) {
            // Windows rectangles end one past their last pixel; the division truncates toward zero.
            const int right = r.x() + r.width(), bottom = r.y() + r.height();
            const int size = images->imageSize();
            images->draw(*p, i, (r.x() + right - size) / 2, (r.y() + bottom - size) / 2, ImageList::DrawMode::Transparent);
        }
        if (option.state & QStyle::State_HasFocus) {
            // A dotted outline only, as DrawFocusRect gives, so that the image stays as drawn.
            p->save();
            p->setPen(QPen(selected ? option.palette.highlightedText().color() : option.palette.text().color(), 1, Qt::DotLine));
            p->setBrush(Qt::NoBrush);
            p->drawRect(r.adjusted(0, 0, -1, -1));
            p->restore();
        }
    }

private:
    TCustomImageListBox* box_;
};

} // namespace

TCustomImageListBox::TCustomImageListBox(QWidget* parent) : QListView(parent), model_(new ImageListBoxModel(this))
{
    setModel(model_);
    setItemDelegate(new ImageDelegate(this));
    setUniformItemSizes(true);
    setSpacing(0);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    SetColor(palette().color(QPalette::Base));
    SetBorderStyle(TBorderStyle::bsSingle);
    SetMultiColumn(true);
    applySelectionMode();
    applyCell();
    resize(121, 97);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TCustomImageListBox::userSelectionChanged);
}

TCustomImageListBox::~TCustomImageListBox() = default;

void TCustomImageListBox::SetImages(const ImageList* images)
{
    if (images_)
        disconnect(images_, nullptr, this, nullptr);
    images_ = images;
    if (images_) {
        connect(images_, &ImageList::changed, this, [this] {
            model_->follow(images_ ? images_->count() : 0);
            viewport()->update();
        });
        // The list going away empties the box; QPointer has already let go of it.
        connect(images_, &QObject::destroyed, this, [this] { model_->reset(0); });
    }
    model_->reset(images_ ? images_->count() : 0);
    applyCell();
    viewport()->update();
}

int TCustomImageListBox::Count() const { return model_->rowCount(); }

int TCustomImageListBox::ItemIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return -1;
    if (!multiSelect_)
        return selected.first().row();
    // With several selected, the item with the focus counts when it is one of them.
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : selected.first().row();
}

void TCustomImageListBox::SetItemIndex(int index)
{
    settingIndex_ = true;
    if (index >= 0 && index < Count()) {
        const QModelIndex i = model_->index(index);
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
        scrollTo(i);
    } else {
        selectionModel()->clearSelection();
    }
    settingIndex_ = false;
}

void TCustomImageListBox::SetColumnWidth(int width)
{
    columnWidth_ = width > 0 ? width : 0;
    applyCell();
}

void TCustomImageListBox::SetItemHeight(int height)
{
    itemHeight_ = height > 0 ? height : 0;
    applyCell();
}

QSize TCustomImageListBox::CellSize() const
{
    const int font = std::abs(fontMetrics().height());
    const int image = images_ ? images_->imageSize() : 0;
    const int w = columnWidth_ > 0 ? columnWidth_ : image > 0 ? image : font;
    const int h = itemHeight_ > 0 ? itemHeight_ : image > 0 ? image : font;
    return {w, h};
}

void TCustomImageListBox::applyCell()
{
    setGridSize(CellSize());
    // Uniform sizes are cached by the view; a new cell size must be laid out again.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void TCustomImageListBox::SetMultiColumn(bool on)
{
    multiColumn_ = on;
    setFlow(QListView::TopToBottom);
    setWrapping(on);
    scheduleDelayedItemsLayout();
}

void TCustomImageListBox::SetMultiSelect(bool on)
{
    multiSelect_ = on;
    applySelectionMode();
}

void TCustomImageListBox::SetExtendedSelect(bool on)
{
    extendedSelect_ = on;
    applySelectionMode();
}

void TCustomImageListBox::applySelectionMode()
{
    if (!multiSelect_)
        setSelectionMode(QAbstractItemView::SingleSelection);
    else
        setSelectionMode(extendedSelect_ ? QAbstractItemView::ExtendedSelection : QAbstractItemView::MultiSelection);
}

void TCustomImageListBox::SetBorderStyle(TBorderStyle style)
{
    borderStyle_ = style;
    if (style == TBorderStyle::bsSingle)
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        setFrameStyle(QFrame::NoFrame);
}

QColor TCustomImageListBox::Color() const { return palette().color(QPalette::Base); }

void TCustomImageListBox::SetColor(const QColor& colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    setPalette(p);
}

void TCustomImageListBox::userSelectionChanged()
{
    if (!settingIndex_)
        emit OnClick();
}

void TCustomImageListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    QListView::keyPressEvent(event);
}

void TCustomImageListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    emit OnDblClick();
}

void TCustomImageListBox::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    // The font height is a fall-back cell size.
    if (event->type() == QEvent::FontChange)
        applyCell();
}

} // namespace qd
