#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <cstdint>
#include <utility>

#include "platform/ImageList.h"
#include "platform/Settings.h"
#include "store/TreeImageList.h"

namespace qd {

// The catalog tree (TreeView1): one top node for the catalog root, below it one
// node per catalog folder and per catalog file (a ".qd" file, any case, that
// starts with the magic), nested as on disk and sorted by text with the
// locale's collation, folders and disks mixed.
//
// Node kinds go by the image index, as everywhere in the program: 0 (collapsed)
// or 1 (expanded) is a folder or the top node, 2 and above a disk, whose state
// index is the data type byte of its catalog file. ImageList_Tree holds the
// closed and open folder pictures at 0 and 1 and one picture per disk after
// them, rebuilt with the nodes.
//
// Ownership and re-entrancy. This widget is the one owner of every node; refresh()
// deletes them all and builds new ones. Code that keeps a node across anything
// that lets events run (a modal dialog, processEvents) must not keep a raw
// pointer: take a NodeHandle and resolve it afterwards (nullptr once the node is
// gone), or compare generation() before and after. Work that walks the nodes
// while letting events run holds a UseGuard: a refresh asked for meanwhile is
// postponed until the last guard ends, so no node is freed under the walk.
//
// Renames and deletions act only on paths that resolve inside the catalog root.
// Paths are the file system's bytes (see platform/CatalogStore.h): every node
// keeps its name as listed, so it names exactly its own file even when that
// name is not UTF-8; the node's text is only for display.
class TCatalogTree : public QTreeWidget {
    Q_OBJECT
public:
    // Item data roles of a node.
    enum Role {
        ImageIndexRole = Qt::UserRole + 1, // int: 0/1 folder, 2+ disk
        StateIndexRole,                    // int: data type byte of a disk, -1 for folders
        FileNameRole,                      // QByteArray: the name on disk (a disk's with its extension)
        DamageRole,                        // QString: why a disk's catalog head cannot be read; empty if it can
        SerialRole,                        // uint: the serial number a disk's head records; none for others
        UnlistedRole,                      // QString: why a folder could not be listed (wholly); empty if it could
    };

    // catalogRoot: the folder the top node stands for (it need not exist).
    explicit TCatalogTree(const QString& catalogRoot, QWidget* parent = nullptr);
    ~TCatalogTree() override;

    const QByteArray& catalogRoot() const { return root_; }

    // Rebuilds every node and ImageList_Tree from the catalog root; clears
    // ContextNode. The top node is expanded; the folders that were expanded
    // stay so, and the node that was selected stays selected (its nearest
    // remaining folder when it is gone, the top node at the last); the first
    // refresh takes both from the settings and keeps that selection scrolled
    // into sight as the tree takes its size, until the user moves the tree. A
    // catalog whose head cannot be read is shown as a damaged disk (a picture
    // of its own, data type 0, the reason, naming the file the node names now,
    // in DamageRole) rather than reported at every refresh, so it can be
    // renamed or deleted. Temporary files that killed saves left behind more
    // than a day ago are removed on the way. Postponed while a UseGuard is held.
    void refresh();

    // The expanded folders and the selected node, for the settings.
    settings::TreeState treeState() const;
    // The path of a node relative to the catalog root, as TreeState keeps it.
    QByteArray relativePath(const QTreeWidgetItem* node) const;
    // Expands every folder above node and selects it.
    void reveal(QTreeWidgetItem* node);

    // The top node, nullptr only before the first refresh.
    QTreeWidgetItem* topNode() const { return topLevelItemCount() ? topLevelItem(0) : nullptr; }
    // The node under the last right-button press; nullptr after a refresh.
    QTreeWidgetItem* ContextNode = nullptr;
    // Whether a right-button press came since the last call: the context
    // menu about to open was asked for with the mouse, not the keyboard.
    bool takeRightPress() { return std::exchange(rightPress_, false); }

    // Empty for nullptr; the catalog root for the top node; else the parent's
    // path, "/" and the node's name on disk (without a disk's extension).
    QByteArray NodePath(const QTreeWidgetItem* node) const;
    // A disk node's catalog file (its folder's path, "/" and its file name as
    // on disk, extension included); empty for any other node.
    QByteArray CatalogFile(const QTreeWidgetItem* node) const;

    // The disk node whose catalog file is file (compared after resolving links
    // and "."/".."), or nullptr.
    QTreeWidgetItem* findCatalog(const QByteArray& file) const;

    // The first disk node in the tree's order (top to bottom, all expanded)
    // whose head, as read by the last refresh, records serialNo; nullptr for
    // none. No file is read: the quick look at a disk put in.
    QTreeWidgetItem* findBySerial(std::uint32_t serialNo) const;

    // Why the folder of a folder node (or the top node) could not be listed,
    // or not to its end, at the last refresh: the disks in it that were not
    // listed are missing from the tree. Empty when it was listed whole.
    static QString unlisted(const QTreeWidgetItem* node);
    static int imageIndex(const QTreeWidgetItem* node);
    static int stateIndex(const QTreeWidgetItem* node);
    static bool isDisk(const QTreeWidgetItem* node) { return node && imageIndex(node) >= 2; }
    bool isTop(const QTreeWidgetItem* node) const { return node && node == topNode(); }

    const TreeImageList& ImageList_Tree() const { return images_; }
    // The picture at index of ImageList_Tree as an icon.
    QIcon nodeIcon(int index) const { return images_.icon(index); }

    // New folder under target (a disk node stands for its parent): the first
    // free name of "新しいフォルダ", "新しいフォルダ(2)" ... "新しいフォルダ(10000)".
    // Adds the node after its siblings, creates the folder and returns the node;
    // nullptr when every name is taken. When the folder cannot be created the
    // node stays until the next refresh and *error (when given) says why.
    QTreeWidgetItem* newFolder(QTreeWidgetItem* target, QString* error = nullptr);
    // The name newFolder would give in the folder at path, trying the numbers up
    // to last; empty when all are taken.
    static QString freeFolderName(const QByteArray& path, int last = 10000);

    // Applies a new text to a node: the top node's goes to "RootDir"; a folder
    // or disk is renamed on disk after the title check. On refusal or failure the
    // node keeps its text and the user has been told; a rename typed in the
    // tree's editor then opens the editor again with the text typed. True when
    // applied. A damaged disk is renamed like any other: not read, not told again.
    bool renameNode(QTreeWidgetItem* node, const QString& text);

    // Sends a folder (with everything inside) or a disk's catalog file to the
    // trash and refreshes. The top node is never deleted. False when nothing went.
    bool deleteNode(QTreeWidgetItem* node);

    // True while a node's name editor is open (a rename or a new folder's name).
    bool editing() const { return state() == EditingState; }

    // Re-sorts the children of parent by text.
    void sortNode(QTreeWidgetItem* parent);

    // True when path resolves (links followed) to the catalog root or inside it.
    bool insideRoot(const QByteArray& path) const;

    // How many refreshes have run; a node taken before is gone once it changes.
    std::uint64_t generation() const { return generation_; }

    // A node reference that survives a refresh as "gone" instead of dangling.
    using NodeHandle = QPersistentModelIndex;
    NodeHandle handle(QTreeWidgetItem* node) const;
    QTreeWidgetItem* resolve(const NodeHandle& h) const;

    // Holds refreshes off while it lives (see the class comment).
    class UseGuard {
    public:
        explicit UseGuard(TCatalogTree& tree);
        ~UseGuard();
        UseGuard(const UseGuard&) = delete;
        UseGuard& operator=(const UseGuard&) = delete;

    private:
        QPointer<TCatalogTree> tree_;
    };
    bool refreshPending() const { return refreshPending_; }
    // True while a UseGuard lives.
    bool held() const { return guards_ > 0; }

    // The owner of the message boxes of rename and delete.
    QWidget* messageOwner() const;

signals:
    // After every completed refresh.
    void refreshed();
    // After a folder or a disk was renamed on disk: what was at `from` (a
    // catalog file, or a folder with everything below it) is now at `to`.
    void pathRenamed(const QByteArray& from, const QByteArray& to);
    // A key (an arrow, Page Down, type-ahead) moved the selection to another node.
    void selectionMovedByKey();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void fill(QTreeWidgetItem* node, const QByteArray& path);
    void restore(const settings::TreeState& state);
    int damagedPicture(); // the index of the damaged disk's picture, added once per refresh
    QString textOnDisk(const QTreeWidgetItem* node) const; // the text its name on disk gives
    void itemEdited(QTreeWidgetItem* item, int column);
    bool applyRename(QTreeWidgetItem* node, const QString& text); // renameNode without the re-sort
    void setImageIndex(QTreeWidgetItem* node, int index);

    QByteArray root_;
    TreeImageList images_;
    ImageList folderPictures_{16}; // closed and open folder, copied at the first refresh
    std::uint64_t generation_ = 0;
    int guards_ = 0;
    bool refreshPending_ = false;
    bool applying_ = false; // setting a node's text ourselves, not an edit
    int damaged_ = -1;      // index of the damaged disk's picture in this refresh
    bool rightPress_ = false;
    bool keepSelectionInSight_ = false; // the start's selection, until the user moves the tree
};

} // namespace qd
