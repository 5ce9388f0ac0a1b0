#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QStyledItemDelegate>
#include <QHash>
#include <QPixmap>
#include <vector>

#include "FolderRows.h"
#include "catalog/Disk.h"

namespace qd {

// The rows of one folder of a disk, for the list's views: sub-folders, then
// files. Texts and icons are made when a view asks for a row, so a view that
// shows a few rows of a huge folder touches only those. A file's icon is
// looked up once and cached in its TFile::IconIndex.
class FolderModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Size, Created, Modified, Accessed, Comment, ColumnCount };
    // The row's kind (FolderRow::Kind) and its record index.
    static constexpr int KindRole = Qt::UserRole + 1;
    static constexpr int IndexRole = Qt::UserRole + 2;
    // For the date columns: the catalog's date-time value (0 for none).
    static constexpr int DateValueRole = Qt::UserRole + 3;

    explicit FolderModel(QObject* parent = nullptr);

    // Shows the rows of folder of disk; the disk must stay alive and unchanged
    // until the next reset or clear.
    void reset(TDisk* disk, std::int32_t folder, std::vector<FolderRow> rows);
    void clear();

    // Icons in 32 pixels (large icon view) or 16 (every other view).
    void setLargeIcons(bool large);

    const FolderRow* rowAt(int row) const;
    // The width of the widest name of the rows in font, found once per reset
    // and font, and only when asked: the widest few by their characters'
    // advances are measured as text.
    int widestName(const QFont& font) const;
    std::int32_t folder() const { return folder_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int iconIndex(const FolderRow& row) const;
    QPixmap pixmap(int iconIndex) const;

    TDisk* disk_ = nullptr;
    std::int32_t folder_ = -1;
    std::vector<FolderRow> rows_;
    bool large_ = true;
    int folderIcon_;
    mutable QHash<int, QPixmap> pixmaps_;
    mutable int widestName_ = -1; // -1: not measured since the reset
    mutable QFont widestFont_;
    mutable std::vector<int> advances_; // in widestFont_: of each single byte, then of a double-byte character
};

// Draws the dates of a column of the details view in one form for every row:
// the longest form that every value fits in at the column's width, so that a
// narrow column drops the time (or shortens the date) for all rows alike
// rather than cutting a date or leaving the time out of some rows only. The
// tooltip still gives the whole value.
class DateFittingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text margin the style's item view draws on either side, together.
    static int textMargin(const QWidget* view);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    mutable QHash<int, DateForm> forms_; // by room in pixels, for the view's font and the locale of the last call
    mutable QFont font_;
    mutable QLocale locale_;
};

} // namespace qd
