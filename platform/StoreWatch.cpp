#include "StoreWatch.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSet>
#include <QStorageInfo>
#include <QTimer>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "CatalogStore.h"
#include "Drives.h"
#include "Logging.h"
#include "catalog/DiskFile.h"
#include "catalog/UniqueFd.h"

namespace qd {
namespace {

// FNV-1a, 64 bits.
std::uint64_t mix(std::uint64_t h, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

template <typename T>
std::uint64_t mixValue(std::uint64_t h, const T& value)
{
    return mix(h, &value, sizeof value);
}

QString text(const QByteArray& path) { return QFile::decodeName(path); }

} // namespace

FolderLook LookAtFolder(const QByteArray& folder)
{
    FolderLook look;
    UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = fd ? ::fdopendir(fd.get()) : nullptr;
    if (!dir)
        return look;
    fd.release();
    // Entries are summed, not chained: the order readdir gives them in does not count.
    const std::uint64_t seed = mix(0xcbf29ce484222325ull, folder.constData(), std::size_t(folder.size()));
    while (const dirent* d = ::readdir(dir)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const bool catalog = HasCatalogExtension(name);
        if (d->d_type != DT_DIR && d->d_type != DT_UNKNOWN && !(d->d_type == DT_REG && catalog))
            continue; // a save's temporary file, a link, anything else: not the store's
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        std::uint64_t h = mix(seed, name, std::strlen(name));
        if (S_ISDIR(st.st_mode)) {
            look.folders.push_back(JoinPath(folder, QByteArray(name)));
            h = mixValue(h, 'd');
        } else if (S_ISREG(st.st_mode) && catalog) {
            look.catalogs.push_back(JoinPath(folder, QByteArray(name)));
            h = mixValue(mixValue(mixValue(mixValue(h, st.st_size), st.st_mtim.tv_sec), st.st_mtim.tv_nsec), st.st_ino);
        } else {
            continue;
        }
        look.signature += h;
    }
    ::closedir(dir);
    return look;
}

std::uint64_t StoreSignature(const QByteArray& root)
{
    std::uint64_t sum = 0;
    std::vector<QByteArray> stack = {root}; // explicit: a store may nest deeply
    while (!stack.empty()) {
        FolderLook look = LookAtFolder(stack.back());
        stack.pop_back();
        sum += look.signature;
        stack.insert(stack.end(), look.folders.begin(), look.folders.end());
    }
    return sum;
}

StoreWatcher::StoreWatcher(const QByteArray& root, Mode mode, QObject* parent) : QObject(parent), root_(root)
{
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, &StoreWatcher::settled);
    poll_ = new QTimer(this);
    poll_->setInterval(kSliceMs);
    connect(poll_, &QTimer::timeout, this, &StoreWatcher::slice);

    if (mode == Mode::Automatic) {
        // Changes made on another machine never reach this one's inotify.
        const QString type = QString::fromLatin1(QStorageInfo(text(root)).fileSystemType());
        mode = IsNetworkFileSystem(type) ? Mode::Poll : Mode::Notify;
        qCDebug(lcCatalog) << "catalog root on" << type << (mode == Mode::Poll ? "is looked at while active" : "is watched");
    }
    polling_ = mode == Mode::Poll;
    if (!polling_) {
        watcher_ = new QFileSystemWatcher(this);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
            dirty_.insert(QFile::encodeName(path));
            settle_->start();
        });
        connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString& path) {
            // A catalog replaced by a rename takes its watch along: set anew
            // when its folder is looked at.
            watched_.remove(path);
            watcher_->removePath(path);
            dirty_.insert(QFile::encodeName(QFileInfo(path).path()));
            settle_->start();
        });
    }
    relook(root_);
}

StoreWatcher::~StoreWatcher() = default;

void StoreWatcher::setActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    if (!polling_)
        return;
    if (active) {
        look();
        poll_->start();
    } else {
        poll_->stop();
    }
}

void StoreWatcher::look()
{
    std::vector<QByteArray> all;
    for (const auto& [folder, look] : known_)
        all.push_back(folder);
    bool differs = false;
    for (const QByteArray& folder : all) {
        if (known_.count(folder)) // a folder above may have let it go
            differs |= relook(folder);
    }
    sweep_.clear();
    sweepStarted_.start();
    if (differs)
        emit changed();
}

void StoreWatcher::settled()
{
    bool differs = false;
    for (const QByteArray& folder : std::exchange(dirty_, {})) {
        // An event of a folder the store no longer has (its parent's look let it go) is over.
        if (folder == root_ || known_.count(folder))
            differs |= relook(folder);
    }
    if (differs)
        emit changed();
}

void StoreWatcher::lookAt(const QByteArray& folder)
{
    if ((folder == root_ || known_.count(folder)) && relook(folder))
        emit changed();
}

void StoreWatcher::slice()
{
    if (sweep_.empty()) {
        if (sweepStarted_.isValid() && sweepStarted_.elapsed() < kPollMs)
            return;
        for (const auto& [folder, look] : known_)
            sweep_.push_back(folder);
        std::reverse(sweep_.begin(), sweep_.end()); // taken from the back
        sweepStarted_.start();
    }
    bool differs = false;
    std::size_t entries = 0;
    while (!sweep_.empty() && entries < std::size_t(kSliceEntries)) {
        const QByteArray folder = std::move(sweep_.back());
        sweep_.pop_back();
        if (!known_.count(folder))
            continue;
        differs |= relook(folder);
        const FolderLook& now = known_[folder];
        entries += now.folders.size() + now.catalogs.size() + 1;
    }
    if (differs)
        emit changed();
}

bool StoreWatcher::relook(const QByteArray& folder)
{
    FolderLook now = LookAtFolder(folder);
    const auto known = known_.find(folder);
    const bool isNew = known == known_.end();
    if (!isNew && known->second.signature == now.signature) {
        if (watcher_) // a catalog's watch may have gone with a rename over it
            watchPaths(now.catalogs);
        return false;
    }
    const FolderLook was = isNew ? FolderLook{} : std::move(known->second);
    // A folder may hold thousands of catalogs: one set, not a search per path.
    auto missing = [](const std::vector<QByteArray>& from, const std::vector<QByteArray>& in) {
        const QSet<QByteArray> present(in.begin(), in.end());
        std::vector<QByteArray> out;
        for (const QByteArray& p : from)
            if (!present.contains(p))
                out.push_back(p);
        return out;
    };
    const std::vector<QByteArray> goneFolders = missing(was.folders, now.folders);
    const std::vector<QByteArray> newFolders = missing(now.folders, was.folders);
    if (watcher_) {
        if (isNew)
            watchPaths({folder});
        unwatchPaths(missing(was.catalogs, now.catalogs));
        watchPaths(now.catalogs);
    }
    known_[folder] = std::move(now);
    for (const QByteArray& gone : goneFolders)
        forget(gone);
    for (const QByteArray& added : newFolders)
        relook(added);
    return true;
}

void StoreWatcher::forget(const QByteArray& folder)
{
    const auto known = known_.find(folder);
    if (known == known_.end())
        return;
    const FolderLook was = std::move(known->second);
    known_.erase(known);
    if (watcher_) {
        unwatchPaths(was.catalogs);
        unwatchPaths({folder});
    }
    for (const QByteArray& sub : was.folders)
        forget(sub);
}

void StoreWatcher::watchPaths(const std::vector<QByteArray>& paths)
{
    QStringList added;
    for (const QByteArray& p : paths) {
        const QString path = text(p);
        if (!watched_.contains(path))
            added << path;
    }
    if (added.isEmpty())
        return;
    const QStringList failed = watcher_->addPaths(added);
    for (const QString& path : added) {
        if (!failed.contains(path))
            watched_.insert(path);
    }
    // A path gone in the meantime fails too; only a live one means the
    // watches ran out, and then looking is the only way left.
    for (const QString& path : failed) {
        if (QFileInfo::exists(path)) {
            givesOut();
            return;
        }
    }
}

void StoreWatcher::unwatchPaths(const std::vector<QByteArray>& paths)
{
    QStringList gone;
    for (const QByteArray& p : paths) {
        if (watched_.remove(text(p)))
            gone << text(p);
    }
    if (!gone.isEmpty())
        watcher_->removePaths(gone);
}

void StoreWatcher::givesOut()
{
    qCWarning(lcCatalog) << "no more inotify watches; the catalog root is looked at while the window is active";
    watcher_->deleteLater();
    watcher_ = nullptr;
    watched_.clear();
    polling_ = true;
    if (active_)
        poll_->start();
}

} // namespace qd
