#include "DriveWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSet>
#include <utility>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

#include "Drives.h"
#include "Logging.h"
#include "Settings.h"

namespace qd {
namespace {

// The folder itself when it exists, else the nearest folder above it that does.
QString nearestFolder(QString path)
{
    path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(path).isDir() && path != u"/")
        path = QFileInfo(path).path();
    return path;
}

} // namespace

DriveWatcher::DriveWatcher(QObject* parent) : QObject(parent)
{
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(50);
    connect(settle_, &QTimer::timeout, this, &DriveWatcher::check);

    mountFd_ = ::open(QFile::encodeName(MountTablePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (mountFd_ >= 0) {
        // The kernel marks the mount table exceptional once per change.
        mounts_ = new QSocketNotifier(mountFd_, QSocketNotifier::Exception, this);
        connect(mounts_, &QSocketNotifier::activated, this, &DriveWatcher::check);
    } else {
        qCDebug(lcDrives) << "mount table cannot be watched:" << MountTablePath();
    }
    folders_ = new QFileSystemWatcher(this);
    connect(folders_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));

    seen_ = DriveTable::instance();
    watchMappings();
}

DriveWatcher::~DriveWatcher()
{
    delete mounts_;
    if (mountFd_ >= 0)
        ::close(mountFd_);
}

void DriveWatcher::watchMappings()
{
    // A folder made while this runs is seen by the look after it, since the
    // look comes after the watch is set.
    QSet<QString> wanted;
    const QString settingsFile = settings::open()->fileName();
    wanted.insert(nearestFolder(QFileInfo(settingsFile).path()));
    for (const settings::DriveMapping& m : settings::driveMappings()) {
        // The mapped folder's parent tells when it is made or removed.
        wanted.insert(nearestFolder(QFileInfo(QDir::cleanPath(QFileInfo(m.path).absoluteFilePath())).path()));
    }
    const QStringList watched = folders_->directories();
    const QSet<QString> have(watched.begin(), watched.end());
    for (const QString& gone : have - wanted)
        folders_->removePath(gone);
    const QSet<QString> added = wanted - have;
    if (!added.isEmpty())
        folders_->addPaths(QStringList(added.begin(), added.end()));
}

void DriveWatcher::check()
{
    watchMappings();
    DriveTable now = DriveTable::fromSystem(ReadMountTable(), &DriveTable::instance());
    if (now.sameDrives(seen_))
        return; // another file system's mount, a settings write: nothing of the drives
    DriveTable::install(std::move(now));
    const DriveTable was = std::exchange(seen_, DriveTable::instance());

    for (const Drive& old : was.drives()) {
        const Drive* d = seen_.find(old.letter);
        if (old.present() && !(d && d->present()))
            emit removed(old.letter);
    }
    for (const Drive& d : seen_.drives()) {
        const Drive* old = was.find(d.letter);
        if (d.present() && !(old && old->root == d.root))
            emit inserted(d.letter);
    }
}

} // namespace qd
