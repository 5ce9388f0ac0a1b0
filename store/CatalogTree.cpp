#include "CatalogTree.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHash>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QTreeWidgetItemIterator>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include "Application.h"
#include "catalog/CatalogLock.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "platform/BusyCursor.h"
#include "platform/CatalogErrors.h"
#include "platform/CatalogStore.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/Logging.h"
#include "platform/Settings.h"
#include "platform/SysImageList.h"
#include "platform/Text.h"

namespace qd {
namespace {

const QString kNewFolder = QStringLiteral("新しいフォルダ");

// A node of the tree. Its picture comes from the tree's image list by its
// image index and is made into an icon only when the node is first painted; the
// node's own values are plain members, since a refresh makes thousands of nodes.
class TreeNode : public QTreeWidgetItem {
public:
    TreeNode(const QString& text, int image, int state, const QByteArray& file)
        : image_(image), state_(state), file_(file)
    {
        QTreeWidgetItem::setData(0, Qt::DisplayRole, text);
        setFlags(flags() | Qt::ItemIsEditable);
    }

    QVariant data(int column, int role) const override
    {
        if (column == 0) {
            switch (role) {
            case Qt::DecorationRole:
                if (auto* tree = qobject_cast<const TCatalogTree*>(treeWidget()))
                    return tree->nodeIcon(image_);
                return {};
            case TCatalogTree::ImageIndexRole: return image_;
            case TCatalogTree::StateIndexRole: return state_;
            case TCatalogTree::FileNameRole: return file_;
            case TCatalogTree::DamageRole: return damageText();
            default: break;
            }
        }
        return QTreeWidgetItem::data(column, role);
    }

    // Why the catalog head cannot be read; told for the file the node names
    // now, so that a rename of it or of a folder above it is followed.
    void setDamage(const CatalogError& error) { damage_ = std::make_shared<const CatalogError>(error); }

    void setData(int column, int role, const QVariant& value) override
    {
        if (column == 0) {
            switch (role) {
            case TCatalogTree::ImageIndexRole: image_ = value.toInt(); emitDataChanged(); return;
            case TCatalogTree::StateIndexRole: state_ = value.toInt(); emitDataChanged(); return;
            case TCatalogTree::FileNameRole: file_ = value.toByteArray(); return;
            default: break;
            }
        }
        QTreeWidgetItem::setData(column, role, value);
    }

private:
    QString damageText() const
    {
        const auto* tree = qobject_cast<const TCatalogTree*>(treeWidget());
        if (!damage_ || !tree)
            return {};
        const CatalogError& e = *damage_;
        return CatalogErrorText(CatalogError(e.code(), tree->CatalogFile(this).toStdString(), e.systemError(), e.offset(), e.what()));
    }

    int image_;
    int state_;
    QByteArray file_;
    std::shared_ptr<const CatalogError> damage_;
};

// Sorts nodes by text as the store lists them.
void sortNodes(QList<QTreeWidgetItem*>& nodes)
{
    QStringList texts;
    texts.reserve(nodes.size());
    for (QTreeWidgetItem* n : nodes)
        texts << n->text(0);
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(nodes.size());
    for (qsizetype i : StoreSortOrder(texts))
        sorted.append(nodes[i]);
    nodes = std::move(sorted);
}

// True when anything (a folder, a file, a dangling link) has that name.
bool nameTaken(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

} // namespace

TCatalogTree::TCatalogTree(const QString& catalogRoot, QWidget* parent)
    : QTreeWidget(parent), root_(QFile::encodeName(QDir::cleanPath(catalogRoot)))
{
    setObjectName(QStringLiteral("TreeView1"));
    setHeaderHidden(true);
    setColumnCount(1);
    setIndentation(19);
    setRootIsDecorated(false); // no expand button or line at the top level
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setUniformRowHeights(true);

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* n) {
        if (!isDisk(n))
            setImageIndex(n, 1);
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* n) {
        if (!isDisk(n))
            setImageIndex(n, 0);
    });
    connect(this, &QTreeWidget::itemChanged, this, &TCatalogTree::itemEdited);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { keepSelectionInSight_ = false; });
}

TCatalogTree::~TCatalogTree() = default;

QWidget* TCatalogTree::messageOwner() const
{
    return window();
}

QString TCatalogTree::unlisted(const QTreeWidgetItem* node)
{
    return node ? node->data(0, UnlistedRole).toString() : QString();
}

int TCatalogTree::imageIndex(const QTreeWidgetItem* node)
{
    return node ? node->data(0, ImageIndexRole).toInt() : -1;
}

int TCatalogTree::stateIndex(const QTreeWidgetItem* node)
{
    return node ? node->data(0, StateIndexRole).toInt() : -1;
}

void TCatalogTree::setImageIndex(QTreeWidgetItem* node, int index)
{
    const QScopedValueRollback applying(applying_, true);
    node->setData(0, ImageIndexRole, index);
}

QByteArray TCatalogTree::NodePath(const QTreeWidgetItem* node) const
{
    if (!node)
        return {};
    if (!node->parent())
        return root_;
    const QByteArray name = node->data(0, FileNameRole).toByteArray();
    return JoinPath(NodePath(node->parent()), isDisk(node) ? CatalogTitle(name) : name);
}

QByteArray TCatalogTree::CatalogFile(const QTreeWidgetItem* node) const
{
    if (!isDisk(node))
        return {};
    return JoinPath(NodePath(node->parent()), node->data(0, FileNameRole).toByteArray());
}

QTreeWidgetItem* TCatalogTree::findCatalog(const QByteArray& file) const
{
    const QByteArray wanted = ResolvedPath(file);
    if (wanted.isEmpty())
        return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<TCatalogTree*>(this)); *it; ++it) {
        if (isDisk(*it) && ResolvedPath(CatalogFile(*it)) == wanted)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem* TCatalogTree::findBySerial(std::uint32_t serialNo) const
{
    for (QTreeWidgetItemIterator it(const_cast<TCatalogTree*>(this)); *it; ++it) {
        const QVariant serial = (*it)->data(0, SerialRole);
        if (isDisk(*it) && serial.isValid() && serial.toUInt() == serialNo)
            return *it;
    }
    return nullptr;
}

QString TCatalogTree::textOnDisk(const QTreeWidgetItem* node) const
{
    if (isTop(node))
        return settings::rootDir();
    const QByteArray name = node->data(0, FileNameRole).toByteArray();
    return DisplayFileName(isDisk(node) ? CatalogTitle(name) : name);
}

void TCatalogTree::refresh()
{
    if (guards_ > 0) {
        refreshPending_ = true;
        return;
    }
    refreshPending_ = false;
    // The first refresh takes what the tree showed when the program last closed.
    const settings::TreeState kept = generation_ == 0 ? settings::treeState() : treeState();
    ++generation_;
    damaged_ = -1;

    setUpdatesEnabled(false);
    ContextNode = nullptr;
    {
        const QScopedValueRollback applying(applying_, true);
        clear();
    }

    images_.clear();
    if (folderPictures_.count() == 0) {
        // The folder pictures never change during the run: copy them once.
        if (ImageList* sys = GetSysImageList(false)) {
            AddImageFromList(folderPictures_, *sys, FolderIconIndex());
            AddImageFromList(folderPictures_, *sys, FolderIconIndex() + 1);
        }
    }
    for (int i = 0; i < 2; ++i)
        images_.addImage(folderPictures_.image(i), folderPictures_.mask(i));

    auto* top = new TreeNode(settings::rootDir(), 0, -1, QByteArray());
    {
        const QScopedValueRollback applying(applying_, true);
        addTopLevelItem(top);
        fill(top, root_);
    }

    setUpdatesEnabled(true);
    top->setExpanded(true);
    restore(kept);
    emit refreshed();
}

settings::TreeState TCatalogTree::treeState() const
{
    settings::TreeState s;
    for (QTreeWidgetItemIterator it(const_cast<TCatalogTree*>(this)); *it; ++it) {
        if (!isDisk(*it) && (*it)->isExpanded())
            s.expanded.append(relativePath(*it));
    }
    if (QTreeWidgetItem* current = currentItem())
        s.selected = relativePath(current);
    return s;
}

QByteArray TCatalogTree::relativePath(const QTreeWidgetItem* node) const
{
    const QByteArray path = isDisk(node) ? CatalogFile(node) : NodePath(node);
    return path.size() > root_.size() ? path.mid(root_.size() + 1) : QByteArray();
}

void TCatalogTree::restore(const settings::TreeState& state)
{
    QHash<QByteArray, QTreeWidgetItem*> byPath;
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        byPath.insert(relativePath(*it), *it);
    for (const QByteArray& path : state.expanded) {
        if (QTreeWidgetItem* node = byPath.value(path); node && !isDisk(node))
            node->setExpanded(true);
    }
    // A selection that is gone falls back to its nearest remaining folder.
    QTreeWidgetItem* selected = nullptr;
    for (QByteArray path = state.selected.value_or(QByteArray()); !selected; path.truncate(qMax(path.lastIndexOf('/'), 0))) {
        selected = byPath.value(path);
        if (path.isEmpty())
            break;
    }
    reveal(selected ? selected : topNode());
    // At start the tree has no size yet to scroll in.
    keepSelectionInSight_ = generation_ == 1;
}

void TCatalogTree::reveal(QTreeWidgetItem* node)
{
    if (!node)
        return;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        up->setExpanded(true);
    setCurrentItem(node);
    scrollToItem(node);
}

int TCatalogTree::damagedPicture()
{
    if (damaged_ < 0) {
        const QIcon icon = QIcon::fromTheme(QStringLiteral("dialog-error"), style()->standardIcon(QStyle::SP_MessageBoxCritical));
        // Its mask from its alpha, as every other picture of the tree has one.
        const MaskedIcon picture = MaskFromAlpha(icon.pixmap(16, 16).toImage(), 16);
        damaged_ = images_.addImage(picture.image, picture.mask);
    }
    return damaged_;
}

void TCatalogTree::fill(QTreeWidgetItem* node, const QByteArray& path)
{
    // A missing or unreadable folder simply has no children.
    const StoreListing listing = ListStoreFolder(path);
    if (!listing.listed)
        qCDebug(lcTree) << "folder cannot be listed, shown empty:" << path;
    if (listing.error)
        node->setData(0, UnlistedRole, QString::fromLocal8Bit(std::strerror(listing.error)));
    RemoveOldLeftovers(path, listing.leftovers);
    QList<QTreeWidgetItem*> children;
    children.reserve(qsizetype(listing.entries.size()));
    for (const StoreEntry& entry : listing.entries) {
        const QByteArray full = JoinPath(path, entry.name);
        if (entry.kind == StoreEntry::Folder) {
            auto* child = new TreeNode(entry.text, 0, -1, entry.name);
            fill(child, full);
            children.append(child);
            continue;
        }
        std::optional<CatalogHead> head;
        try {
            head = ReadCatalogHead(std::filesystem::path(full.toStdString()));
        } catch (const CatalogError& e) {
            // Shown, so that it can be renamed or deleted; its click says why.
            qCDebug(lcTree) << "catalog head cannot be read, shown as damaged:" << full << e.what();
            auto* damaged = new TreeNode(entry.text, damagedPicture(), 0, entry.name);
            damaged->setDamage(e);
            children.append(damaged);
            continue;
        }
        if (!head) {
            qCDebug(lcTree) << "no catalog magic, left out:" << full;
            continue;
        }
        const int index = images_.addBmp(head->image, head->mask);
        auto* disk = new TreeNode(entry.text, index, int(head->dataType), entry.name);
        if (head->serialNo)
            disk->setData(0, SerialRole, uint(*head->serialNo));
        children.append(disk);
    }
    // Already in the tree's order.
    node->addChildren(children);
}

void TCatalogTree::sortNode(QTreeWidgetItem* parent)
{
    if (!parent)
        return;
    QTreeWidgetItem* current = currentItem();
    const QScopedValueRollback applying(applying_, true);
    QList<QTreeWidgetItem*> children = parent->takeChildren();
    sortNodes(children);
    parent->addChildren(children);
    // Taking nodes out of the tree forgets which were open; their image index remembers.
    std::function<void(QTreeWidgetItem*)> reopen = [&](QTreeWidgetItem* n) {
        if (imageIndex(n) != 1)
            return;
        n->setExpanded(true);
        for (int i = 0; i < n->childCount(); ++i)
            reopen(n->child(i));
    };
    for (QTreeWidgetItem* c : children)
        reopen(c);
    if (current)
        setCurrentItem(current);
}

QString TCatalogTree::freeFolderName(const QByteArray& path, int last)
{
    if (!nameTaken(JoinPath(path, NativeFileName(kNewFolder))))
        return kNewFolder;
    for (int n = 2; n <= last; ++n) {
        const QString name = kNewFolder + QStringLiteral("(%1)").arg(n);
        if (!nameTaken(JoinPath(path, NativeFileName(name))))
            return name;
    }
    return {};
}

QTreeWidgetItem* TCatalogTree::newFolder(QTreeWidgetItem* target, QString* error)
{
    if (!target)
        return nullptr;
    if (isDisk(target))
        target = target->parent();
    const QByteArray path = NodePath(target);
    const QString name = freeFolderName(path);
    if (name.isEmpty())
        return nullptr;
    const QByteArray native = NativeFileName(name);
    auto* node = new TreeNode(name, 0, -1, native);
    {
        const QScopedValueRollback applying(applying_, true);
        target->addChild(node);
    }
    const QByteArray folder = JoinPath(path, native);
    // Outside the root nothing is tried, so errno would tell another story.
    const int err = !insideRoot(path) ? EPERM : CreateFolder(folder) ? 0 : errno;
    if (err && error)
        *error = CreateFolderErrorText(folder, QString::fromLocal8Bit(std::strerror(err)));
    return node;
}

namespace {

// The locks a rename or deletion of path holds while it moves catalogs: the
// catalog's own for a disk, those of every catalog folder inside a folder.
std::vector<CatalogLock> lockCatalogs(const QByteArray& path, bool disk)
{
    const std::filesystem::path p(path.toStdString());
    if (!disk)
        return CatalogLock::forTree(p);
    std::vector<CatalogLock> locks;
    locks.push_back(CatalogLock::forCatalog(p));
    return locks;
}

} // namespace

bool TCatalogTree::insideRoot(const QByteArray& path) const
{
    return InsideFolder(path, root_);
}

bool TCatalogTree::renameNode(QTreeWidgetItem* node, const QString& text)
{
    if (!applyRename(node, text))
        return false;
    sortNode(node->parent());
    return true;
}

bool TCatalogTree::applyRename(QTreeWidgetItem* node, const QString& text)
{
    if (!node)
        return false;
    auto setText = [&](const QString& t) {
        const QScopedValueRollback applying(applying_, true);
        node->setText(0, t);
    };
    if (isTop(node)) {
        settings::setRootDir(text);
        setText(text);
        return true;
    }
    if (!CheckTitle(toAnsi(text, '_'))) {
        setText(textOnDisk(node));
        dialogs().error(messageOwner(), QString::fromUtf8(kTitleRefusedMessage));
        return false;
    }
    const QByteArray parentPath = NodePath(node->parent());
    const QByteArray from = JoinPath(parentPath, node->data(0, FileNameRole).toByteArray());
    const QByteArray newName = NativeFileName(isDisk(node) ? CatalogFileName(text) : text);
    const QByteArray to = JoinPath(parentPath, newName);
    // The empty text names the parent folder itself; it can never be a rename.
    bool ok = !text.isEmpty() && insideRoot(from) && !InsideFolder(root_, from) && insideRoot(parentPath);
    if (ok) {
        try {
            const std::vector<CatalogLock> locks = lockCatalogs(from, isDisk(node));
            ok = RenamePath(from, to);
        } catch (const CatalogError& e) {
            setText(textOnDisk(node));
            dialogs().error(messageOwner(), CatalogErrorText(e));
            return false;
        }
    }
    if (!ok) {
        setText(textOnDisk(node));
        dialogs().error(messageOwner(), QStringLiteral("変更できませんでした"));
        return false;
    }
    {
        const QScopedValueRollback applying(applying_, true);
        node->setText(0, text);
        node->setData(0, FileNameRole, newName);
    }
    emit pathRenamed(from, to);
    return true;
}

void TCatalogTree::itemEdited(QTreeWidgetItem* item, int column)
{
    if (applying_ || column != 0)
        return;
    const QString typed = item->text(0);
    if (typed == textOnDisk(item))
        return;
    // The editor is still closing: re-sort, or edit again, once it is gone, not under it.
    if (applyRename(item, typed)) {
        if (item->parent())
            QMetaObject::invokeMethod(
                this, [this, parent = handle(item->parent())] { sortNode(resolve(parent)); }, Qt::QueuedConnection);
        return;
    }
    // Refused or failed: back in the name editor with what was typed, as a
    // desktop file manager does, so that the keys go on where they went.
    QMetaObject::invokeMethod(
        this,
        [this, held = handle(item), typed] {
            QTreeWidgetItem* node = resolve(held);
            if (!node)
                return;
            setCurrentItem(node);
            editItem(node);
            if (auto* editor = qobject_cast<QLineEdit*>(indexWidget(indexFromItem(node)))) {
                editor->setText(typed);
                editor->selectAll();
            }
        },
        Qt::QueuedConnection);
}

bool TCatalogTree::deleteNode(QTreeWidgetItem* node)
{
    if (!node || isTop(node))
        return false;
    // The question lets events run: hold the node by handle across it.
    const NodeHandle held = handle(node);
    if (!dialogs().confirmDestructive(messageOwner(), node->text(0) + QStringLiteral(" を削除しますか。"),
                                      QStringLiteral("削除")))
        return false;
    node = resolve(held);
    if (!node)
        return false;
    const QByteArray target = isDisk(node) ? CatalogFile(node) : NodePath(node);
    bool gone = false;
    QString error, locked;
    {
        const BusyCursor busy;
        if (insideRoot(target) && !InsideFolder(root_, target)) {
            try {
                const std::vector<CatalogLock> locks = lockCatalogs(target, isDisk(node));
                gone = ShellDelete(messageOwner(), target, &error);
            } catch (const CatalogError& e) {
                locked = CatalogErrorText(e);
            }
        }
        refresh();
    }
    if (!locked.isEmpty())
        dialogs().error(messageOwner(), locked);
    // The shell would have shown its own message; the trash gives none, so say why.
    else if (!gone && !error.isEmpty())
        ReportError(messageOwner(), TrashErrorText(target, error));
    return gone;
}

void TCatalogTree::keyPressEvent(QKeyEvent* event)
{
    keepSelectionInSight_ = false;
    QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    if (currentItem() != before)
        emit selectionMovedByKey();
}

void TCatalogTree::wheelEvent(QWheelEvent* event)
{
    keepSelectionInSight_ = false;
    QTreeWidget::wheelEvent(event);
}

void TCatalogTree::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    // Until the user moves the tree himself, the selection kept from the last
    // run stays in sight while the window takes its size, with as much as
    // fits above it: from the top node when it fits the first page, else at
    // the bottom. (Scrolled before the tree had its size, it would stand
    // wherever that size left it.)
    if (keepSelectionInSight_ && currentItem()) {
        scrollToTop();
        scrollToItem(currentItem(), EnsureVisible);
    }
}

void TCatalogTree::mousePressEvent(QMouseEvent* event)
{
    keepSelectionInSight_ = false;
    if (event->button() == Qt::RightButton) {
        rightPress_ = true;
        // A press outside any node keeps the remembered one; a press on one selects it.
        if (QTreeWidgetItem* node = itemAt(event->position().toPoint())) {
            ContextNode = node;
            setCurrentItem(node);
        }
    }
    QTreeWidget::mousePressEvent(event);
}

bool TCatalogTree::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // The whole name of a node the narrow tree cuts off, and why a damaged
        // disk cannot be shown.
        auto* help = static_cast<QHelpEvent*>(event);
        QTreeWidgetItem* node = itemAt(help->pos());
        QString tip;
        if (node) {
            const QRect rect = visualItemRect(node);
            const int textRight = rect.left() + iconSize().width() + 8 + fontMetrics().horizontalAdvance(node->text(0));
            if (textRight > viewport()->width())
                tip = node->text(0);
            const QString damage = node->data(0, DamageRole).toString();
            if (!damage.isEmpty())
                tip = tip.isEmpty() ? damage : tip + QStringLiteral("\n") + damage;
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

TCatalogTree::NodeHandle TCatalogTree::handle(QTreeWidgetItem* node) const
{
    return node ? QPersistentModelIndex(indexFromItem(node)) : QPersistentModelIndex();
}

QTreeWidgetItem* TCatalogTree::resolve(const NodeHandle& h) const
{
    return h.isValid() ? itemFromIndex(h) : nullptr;
}

TCatalogTree::UseGuard::UseGuard(TCatalogTree& tree) : tree_(&tree)
{
    ++tree.guards_;
}

TCatalogTree::UseGuard::~UseGuard()
{
    if (!tree_)
        return;
    if (--tree_->guards_ == 0 && tree_->refreshPending_)
        tree_->refresh();
}

} // namespace qd
