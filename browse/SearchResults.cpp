#include "SearchResults.h"

#include "platform/Text.h"

namespace qd {

TSearchResults::TSearchResults(QObject* parent) : QAbstractTableModel(parent) {}

void TSearchResults::beginDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon)
{
    disks_.push_back({catalogFile, title, icon, {}});
}

void TSearchResults::take(CatalogHits& found)
{
    if (disks_.empty())
        return;
    Disk& disk = disks_.back();
    std::vector<std::string>& paths = disk.hits.paths;
    paths.insert(paths.end(), found.paths.begin() + qsizetype(paths.size()), found.paths.end());
    const auto index = std::uint32_t(disks_.size() - 1);
    std::vector<FileHit>& hits = disk.hits.hits;
    for (FileHit& h : found.hits) {
        rows_.push_back({index, std::uint32_t(hits.size())});
        hits.push_back(std::move(h));
    }
    found.hits.clear();
    found.details.clear();
}

void TSearchResults::publish()
{
    if (!unpublished())
        return;
    beginInsertRows({}, int(shown_), int(rows_.size()) - 1);
    shown_ = rows_.size();
    endInsertRows();
}

void TSearchResults::clear()
{
    beginResetModel();
    rows_.clear();
    disks_.clear();
    shown_ = 0;
    endResetModel();
}

std::optional<TSearchResults::Place> TSearchResults::placeOf(int row) const
{
    if (row < 0 || std::size_t(row) >= shown_)
        return std::nullopt;
    const Row& r = rows_[std::size_t(row)];
    return Place{disks_[r.disk].file, hit(r).folder, hit(r).name};
}

int TSearchResults::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(shown_); }

int TSearchResults::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TSearchResults::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= shown_)
        return {};
    const Row& row = rows_[std::size_t(index.row())];
    const Disk& disk = disks_[row.disk];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case DiskName: return disk.title;
        case FileName: return fromAnsi(hit(row).name);
        case FolderName: return fromAnsi(disk.hits.paths[hit(row).path]);
        default: return {};
        }
    }
    if (role == Qt::DecorationRole) {
        if (index.column() == DiskName)
            return disk.icon;
        if (index.column() == FolderName)
            return folderIcon_;
    }
    return {};
}

QVariant TSearchResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case DiskName: return QStringLiteral("ディスク名");
    case FileName: return QStringLiteral("ファイル名");
    case FolderName: return QStringLiteral("フォルダ名");
    default: return {};
    }
}

} // namespace qd
