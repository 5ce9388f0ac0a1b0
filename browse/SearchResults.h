#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/CatalogSearch.h"

namespace qd {

// The rows of the search results pane (ListView_SearchFile): disk, file name
// and folder path of every hit, in the order found. A row keeps its disk's
// catalog file (the file system's bytes) and its folder's index in DirList,
// never a tree node, so it stays meaningful after the tree has been rebuilt.
// Texts are made when a view asks for a row.
class TSearchResults : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DiskName, FileName, FolderName, ColumnCount };

    explicit TSearchResults(QObject* parent = nullptr);

    // The picture of the folder column (the tree's image 0).
    void setFolderIcon(const QIcon& icon) { folderIcon_ = icon; }

    // Starts the rows of one more disk: its catalog file, its title and
    // picture as the tree shows them.
    void beginDisk(const QByteArray& catalogFile, const QString& title, const QIcon& icon);
    // Appends the hits that found holds, as rows of the disk begun last,
    // taking them out of it; found keeps its paths, of which the new ones are
    // copied, so that it can go on collecting (see SearchYield). The rows are
    // held back until publish(): a view lays out all its rows anew for every
    // insertion, so rows are better shown in batches.
    void take(CatalogHits& found);
    // Shows the rows taken since the last publish, as one insertion.
    void publish();
    // Rows taken and not yet published.
    bool unpublished() const { return shown_ < rows_.size(); }
    void clear();

    // Where the hit of a row lies; nullopt outside the rows.
    struct Place {
        QByteArray catalogFile;
        std::int32_t folder;
        AnsiString name; // the file's
    };
    std::optional<Place> placeOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Disk {
        QByteArray file;
        QString title;
        QIcon icon;
        CatalogHits hits;
    };
    struct Row {
        std::uint32_t disk; // in disks_
        std::uint32_t hit;  // in that disk's hits
    };
    const FileHit& hit(const Row& row) const { return disks_[row.disk].hits.hits[row.hit]; }

    std::vector<Disk> disks_;
    std::vector<Row> rows_;
    std::size_t shown_ = 0; // the rows published: the model's rows
    QIcon folderIcon_;
};

} // namespace qd
