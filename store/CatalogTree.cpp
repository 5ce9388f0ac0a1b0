#include "CatalogTree.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "Application.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "platform/Dialogs.h"
#include "platform/FileOps.h"
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
    TreeNode(const QString& text, int image, int state, const QString& file)
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
            default: break;
            }
        }
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant& value) override
    {
        if (column == 0) {
            switch (role) {
            case TCatalogTree::ImageIndexRole: image_ = value.toInt(); emitDataChanged(); return;
            case TCatalogTree::StateIndexRole: state_ = value.toInt(); emitDataChanged(); return;
            case TCatalogTree::FileNameRole: file_ = value.toString(); return;
            default: break;
            }
        }
        QTreeWidgetItem::setData(column, role, value);
    }

private:
    int image_;
    int state_;
    QString file_;
};

// Sorts nodes by text with the locale's collation, as the tree shows them.
void sortNodes(QList<QTreeWidgetItem*>& nodes)
{
    QCollator collator;
    collator.setNumericMode(false);
    if (nodes.size() < 64) {
        std::sort(nodes.begin(), nodes.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
            return collator.compare(a->text(0), b->text(0)) < 0;
        });
        return;
    }
    // Large folders: one key per node instead of collating on every comparison.
    std::vector<std::pair<QCollatorSortKey, QTreeWidgetItem*>> keyed;
    keyed.reserve(std::size_t(nodes.size()));
    for (QTreeWidgetItem* n : nodes)
        keyed.emplace_back(collator.sortKey(n->text(0)), n);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    for (qsizetype i = 0; i < nodes.size(); ++i)
        nodes[i] = keyed[std::size_t(i)].second;
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

TCatalogTree::TCatalogTree(const QString& catalogRoot, QWidget* parent)
    : QTreeWidget(parent), root_(QDir::cleanPath(catalogRoot))
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
}

TCatalogTree::~TCatalogTree() = default;

QWidget* TCatalogTree::messageOwner() const
{
    return window();
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
    const bool was = applying_;
    applying_ = true;
    node->setData(0, ImageIndexRole, index);
    applying_ = was;
}

QString TCatalogTree::NodePath(const QTreeWidgetItem* node) const
{
    if (!node)
        return {};
    if (!node->parent())
        return root_;
    return NodePath(node->parent()) + QLatin1Char('/') + node->text(0);
}

QString TCatalogTree::CatalogFile(const QTreeWidgetItem* node) const
{
    if (!isDisk(node))
        return {};
    return NodePath(node->parent()) + QLatin1Char('/') + node->data(0, FileNameRole).toString();
}

void TCatalogTree::refresh()
{
    if (guards_ > 0) {
        refreshPending_ = true;
        return;
    }
    refreshPending_ = false;
    ++generation_;

    setUpdatesEnabled(false);
    ContextNode = nullptr;
    {
        const bool was = applying_;
        applying_ = true;
        clear();
        applying_ = was;
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

    QStringList problems;
    const bool was = applying_;
    applying_ = true;
    auto* top = new TreeNode(settings::rootDir(), 0, -1, QString());
    addTopLevelItem(top);
    fill(top, root_, problems);
    applying_ = was;

    setUpdatesEnabled(true);
    top->setExpanded(true);
    setCurrentItem(top);
    emit refreshed();

    if (!problems.isEmpty())
        ReportError(messageOwner(), problems.join(QStringLiteral("\n")));
}

void TCatalogTree::fill(QTreeWidgetItem* node, const QString& path, QStringList& problems)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(QFile::encodeName(path).toStdString(), ec);
    if (ec)
        return; // a missing or unreadable folder simply has no children
    QList<QTreeWidgetItem*> children;
    // A listing that fails half-way keeps what it found so far.
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        // Links are left out: the tree never loops and never leads outside the root.
        if (entry.is_symlink(typeError))
            continue;
        const std::string raw = entry.path().filename().native();
        const QString name = QFile::decodeName(QByteArray::fromStdString(raw));
        if (entry.is_directory(typeError)) {
            auto* child = new TreeNode(name, 0, -1, name);
            fill(child, path + QLatin1Char('/') + name, problems);
            children.append(child);
            continue;
        }
        if (!HasCatalogExtension(raw))
            continue;
        std::optional<CatalogHead> head;
        try {
            head = ReadCatalogHead(entry.path());
        } catch (const std::exception& e) {
            problems.append(QString::fromUtf8(e.what()));
            continue;
        }
        if (!head)
            continue;
        const int index = images_.addBmp(head->image, head->mask);
        auto* child = new TreeNode(name.left(name.size() - 3), index, int(head->dataType), name);
        children.append(child);
    }
    sortNodes(children);
    node->addChildren(children);
}

void TCatalogTree::sortNode(QTreeWidgetItem* parent)
{
    if (!parent)
        return;
    QTreeWidgetItem* current = currentItem();
    const bool was = applying_;
    applying_ = true;
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
    applying_ = was;
    if (current)
        setCurrentItem(current);
}

QString TCatalogTree::freeFolderName(const QString& path, int last)
{
    if (!DirectoryExists(path + QLatin1Char('/') + kNewFolder) && !FileExists(path + QLatin1Char('/') + kNewFolder))
        return kNewFolder;
    for (int n = 2; n <= last; ++n) {
        const QString name = kNewFolder + QStringLiteral("(%1)").arg(n);
        const QString candidate = path + QLatin1Char('/') + name;
        if (!DirectoryExists(candidate) && !FileExists(candidate))
            return name;
    }
    return {};
}

QTreeWidgetItem* TCatalogTree::newFolder(QTreeWidgetItem* target)
{
    if (!target)
        return nullptr;
    if (isDisk(target))
        target = target->parent();
    const QString path = NodePath(target);
    const QString name = freeFolderName(path);
    if (name.isEmpty())
        return nullptr;
    auto* node = new TreeNode(name, 0, -1, name);
    {
        const bool was = applying_;
        applying_ = true;
        target->addChild(node);
        applying_ = was;
    }
    const QString folder = path + QLatin1Char('/') + name;
    if (!insideRoot(path) || !CreateFolder(folder))
        throw std::runtime_error(QStringLiteral("Cannot create the folder %1.").arg(folder).toStdString());
    return node;
}

bool TCatalogTree::insideRoot(const QString& path) const
{
    const QString root = canonical(root_);
    const QString target = canonical(path);
    if (root.isEmpty() || target.isEmpty())
        return false;
    return target == root || target.startsWith(root + QLatin1Char('/'));
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
    const QString old = node->data(0, FileNameRole).toString();
    auto keepOld = [&] {
        const bool was = applying_;
        applying_ = true;
        node->setText(0, isTop(node) ? settings::rootDir() : (isDisk(node) ? old.left(old.size() - 3) : old));
        applying_ = was;
    };
    if (isTop(node)) {
        settings::setRootDir(text);
        const bool was = applying_;
        applying_ = true;
        node->setText(0, text);
        applying_ = was;
        return true;
    }
    if (!CheckTitle(toAnsi(text, '_'))) {
        keepOld();
        dialogs().tell(messageOwner(), QString::fromUtf8(kTitleRefusedMessage), QStringLiteral("エラー"), DialogIcon::Stop);
        return false;
    }
    const QString parentPath = NodePath(node->parent());
    const QString from = parentPath + QLatin1Char('/') + old;
    const QString newName = isDisk(node) ? text + QString::fromLatin1(kCatalogExtension.data()) : text;
    const QString to = parentPath + QLatin1Char('/') + newName;
    // The empty text names the parent folder itself; it can never be a rename.
    const bool ok = !text.isEmpty() && insideRoot(from) && canonical(from) != canonical(root_) &&
                    insideRoot(parentPath) && RenamePath(from, to);
    if (!ok) {
        keepOld();
        dialogs().tell(messageOwner(), QStringLiteral("変更できませんでした"), QStringLiteral("エラー"), DialogIcon::Stop);
        return false;
    }
    const bool was = applying_;
    applying_ = true;
    node->setText(0, text);
    node->setData(0, FileNameRole, newName);
    applying_ = was;
    return true;
}

void TCatalogTree::itemEdited(QTreeWidgetItem* item, int column)
{
    if (applying_ || column != 0)
        return;
    const QString text = item->text(0);
    const QString shown = isTop(item) ? settings::rootDir() : [&] {
        const QString file = item->data(0, FileNameRole).toString();
        return isDisk(item) ? file.left(file.size() - 3) : file;
    }();
    if (text == shown)
        return;
    // The editor is still closing: re-sort once it is gone, not under it.
    if (applyRename(item, text) && item->parent())
        QMetaObject::invokeMethod(
            this, [this, parent = handle(item->parent())] { sortNode(resolve(parent)); }, Qt::QueuedConnection);
}

bool TCatalogTree::deleteNode(QTreeWidgetItem* node)
{
    if (!node || isTop(node))
        return false;
    // The question lets events run: hold the node by handle across it.
    const NodeHandle held = handle(node);
    if (!dialogs().confirm(messageOwner(), node->text(0) + QStringLiteral(" を削除しますか。"), QStringLiteral("削除")))
        return false;
    node = resolve(held);
    if (!node)
        return false;
    const QString target = isDisk(node) ? CatalogFile(node) : NodePath(node);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    bool gone = false;
    QString error;
    if (insideRoot(target) && canonical(target) != canonical(root_))
        gone = ShellDelete(messageOwner(), target, &error);
    refresh();
    QGuiApplication::restoreOverrideCursor();
    // The shell would have shown its own message; the trash gives none, so say why.
    if (!gone && !error.isEmpty())
        ReportError(messageOwner(), error);
    return gone;
}

void TCatalogTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // A press outside any node keeps the remembered one; a press on one selects it.
        if (QTreeWidgetItem* node = itemAt(event->position().toPoint())) {
            ContextNode = node;
            setCurrentItem(node);
        }
    }
    QTreeWidget::mousePressEvent(event);
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
