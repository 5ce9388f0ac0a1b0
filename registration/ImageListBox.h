#pragma once

#include <QListView>
#include <QPointer>

#include "platform/ImageList.h"

namespace qd {

class ImageListBoxModel;

// A list box whose items are the images of an attached image list: item i
// shows image i, centred in a cell of ColumnWidth x ItemHeight. It keeps no
// data per item; its item count follows the list's image count at every
// change, and it detaches itself when the list is destroyed. The list is
// shared, never owned or changed.
//
// Multi-column (the default) lays the items out top to bottom in columns and
// scrolls sideways. A selection change made by the user raises OnClick, a
// double-click OnDblClick; setting ItemIndex raises neither. The Enter key
// is left to the parent (a dialog's default button).
class TCustomImageListBox : public QListView {
    Q_OBJECT
public:
    enum class TBorderStyle { bsNone, bsSingle };

    explicit TCustomImageListBox(QWidget* parent = nullptr);
    ~TCustomImageListBox() override;

    const ImageList* Images() const { return images_; }
    void SetImages(const ImageList* images);

    int Count() const;
    // The selected item, -1 for none; setting -1 or an index out of range selects none.
    int ItemIndex() const;
    void SetItemIndex(int index);

    // 0 or less is stored as 0 and means: the images' size, else the font height.
    int ColumnWidth() const { return columnWidth_; }
    void SetColumnWidth(int width);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    // The cell size in use, after the fall-backs.
    QSize CellSize() const;

    bool MultiColumn() const { return multiColumn_; }
    void SetMultiColumn(bool on);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool on);
    bool ExtendedSelect() const { return extendedSelect_; }
    void SetExtendedSelect(bool on);
    // Kept for the form's sake: the box is never shrunk to whole items.
    bool IntegralHeight() const { return integralHeight_; }
    void SetIntegralHeight(bool on) { integralHeight_ = on; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    QColor Color() const;
    void SetColor(const QColor& colour);

signals:
    void OnClick();
    void OnDblClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyCell();
    void applySelectionMode();
    void userSelectionChanged();

    ImageListBoxModel* model_;
    QPointer<const ImageList> images_;
    int columnWidth_ = 24;
    int itemHeight_ = 20;
    bool multiColumn_ = true;
    bool multiSelect_ = false;
    bool extendedSelect_ = true;
    bool integralHeight_ = false;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    bool settingIndex_ = false;
};

class TImageListBox : public TCustomImageListBox {
    Q_OBJECT
public:
    using TCustomImageListBox::TCustomImageListBox;
};

} // namespace qd
