#include "FolderModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <algorithm>
#include <string>

#include "catalog/Cp932.h"
#include "catalog/QdLib.h"
#include "platform/ImageList.h"
#include "platform/SysImageList.h"
#include "platform/Text.h"

namespace qd {

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent), folderIcon_(FolderIconIndex()) {}

void FolderModel::reset(TDisk* disk, std::int32_t folder, std::vector<FolderRow> rows)
{
    beginResetModel();
    disk_ = disk;
    folder_ = folder;
    rows_ = std::move(rows);
    widestName_ = -1;
    endResetModel();
}

void FolderModel::clear() { reset(nullptr, -1, {}); }

void FolderModel::setLargeIcons(bool large)
{
    if (large == large_)
        return;
    large_ = large;
    pixmaps_.clear();
    if (!rows_.empty())
        emit dataChanged(index(0, Name), index(int(rows_.size()) - 1, Name), {Qt::DecorationRole});
}

const FolderRow* FolderModel::rowAt(int row) const
{
    return row >= 0 && std::size_t(row) < rows_.size() ? &rows_[std::size_t(row)] : nullptr;
}

int FolderModel::widestName(const QFont& font) const
{
    if (widestName_ >= 0 && widestFont_ == font)
        return widestName_;
    const QFontMetrics metrics(font);
    // Measuring every name as text costs far more than the fill of a large
    // folder: each name's width is first reckoned from its stored bytes
    // (a single byte by its character's advance, a double-byte character as
    // wide as "あ"), and only the widest by that reckoning are measured.
    // The advances depend on the font alone: made once for it, not per folder.
    if (advances_.empty() || widestFont_ != font) {
        advances_.resize(257);
        for (int b = 0; b < 256; ++b)
            advances_[std::size_t(b)] = metrics.horizontalAdvance(fromAnsi(std::string(1, char(b))));
        advances_[256] = metrics.horizontalAdvance(QChar(0x3042));
    }
    widestFont_ = font;
    const int* single = advances_.data();
    const int wide = advances_[256];
    std::vector<std::pair<int, const AnsiString*>> reckoned;
    reckoned.reserve(rows_.size());
    for (const FolderRow& row : rows_) {
        const AnsiString& name = row.kind == FolderRow::Folder
                                     ? disk_->DirList[std::size_t(row.index)].Name
                                     : disk_->DirList[std::size_t(folder_)].FileList[std::size_t(row.index)].Name;
        const std::string_view bytes = name.view();
        int width = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (cp932::isLeadByte(b) && i + 1 < bytes.size()) {
                width += wide;
                ++i;
            } else {
                width += single[b];
            }
        }
        reckoned.emplace_back(width, &name);
    }
    constexpr std::size_t kMeasured = 64;
    const auto last = reckoned.begin() + std::ptrdiff_t(std::min(kMeasured, reckoned.size()));
    std::partial_sort(reckoned.begin(), last, reckoned.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    widestName_ = 0;
    for (auto it = reckoned.begin(); it != last; ++it)
        widestName_ = std::max(widestName_, metrics.horizontalAdvance(fromAnsi(it->second->view())));
    return widestName_;
}

int FolderModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int FolderModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

int FolderModel::iconIndex(const FolderRow& row) const
{
    if (row.kind == FolderRow::Folder)
        return folderIcon_;
    TFile& f = disk_->DirList[std::size_t(folder_)].FileList[std::size_t(row.index)];
    if (f.IconIndex < 0)
        f.IconIndex = GetSysIconIndexForName(fromAnsi(f.Name));
    return f.IconIndex;
}

QPixmap FolderModel::pixmap(int icon) const
{
    auto it = pixmaps_.find(icon);
    if (it == pixmaps_.end())
        it = pixmaps_.insert(icon, QPixmap::fromImage(GetSysImageList(large_)->image(icon)));
    return *it;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const
{
    const FolderRow* row = index.isValid() ? rowAt(index.row()) : nullptr;
    if (!row || !disk_)
        return {};
    if (role == KindRole)
        return int(row->kind);
    if (role == IndexRole)
        return row->index;
    if (role == Qt::DecorationRole)
        return index.column() == Name ? QVariant(pixmap(iconIndex(*row))) : QVariant();
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == DateValueRole) {
        if (row->kind == FolderRow::Folder)
            return index.column() == Created ? disk_->DirList[std::size_t(row->index)].Date : QVariant();
        const TFile& f = disk_->DirList[std::size_t(folder_)].FileList[std::size_t(row->index)];
        switch (index.column()) {
        case Created: return f.CreationTime;
        case Modified: return f.LastWriteTime;
        case Accessed: return f.LastAccessTime;
        default: return {};
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};

    if (row->kind == FolderRow::Folder) {
        const TDir& d = disk_->DirList[std::size_t(row->index)];
        switch (index.column()) {
        case Name: return fromAnsi(d.Name);
        case Created: return DateTimeText(d.Date);
        case Comment: return FirstLine(d.Comment);
        default: return QString();
        }
    }
    const TFile& f = disk_->DirList[std::size_t(folder_)].FileList[std::size_t(row->index)];
    switch (index.column()) {
    case Name: return fromAnsi(f.Name);
    case Size: return QString::fromStdString(SizeToStr(std::int64_t(f.Size)));
    case Created: return DateTimeText(f.CreationTime);
    case Modified: return DateTimeText(f.LastWriteTime);
    case Accessed: return DateTimeText(f.LastAccessTime);
    case Comment: return FirstLine(f.Comment);
    default: return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kCaptions[ColumnCount] = {"ファイル名", "サイズ", "作成日時", "更新日時", "アクセス日", "コメント"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromUtf8(kCaptions[section]);
    return {};
}

int DateFittingDelegate::textMargin(const QWidget* view)
{
    const QStyle* style = view ? view->style() : QApplication::style();
    return 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
}

void DateFittingDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant value = index.data(FolderModel::DateValueRole);
    if (!value.isValid() || option->rect.width() <= 0)
        return;
    if (option->font != font_ || QLocale() != locale_) {
        forms_.clear();
        font_ = option->font;
        locale_ = QLocale();
    }
    const int room = option->rect.width() - textMargin(option->widget);
    auto form = forms_.constFind(room);
    if (form == forms_.constEnd())
        form = forms_.insert(room, FittingDateForm(option->fontMetrics, room));
    if (*form != DateForm::Seconds) // the model's own text is the seconds form
        option->text = DateTimeText(value.toDouble(), *form);
}

} // namespace qd
