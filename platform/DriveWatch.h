#pragma once

#include <QChar>
#include <QObject>
#include <QString>

#include "Drives.h"

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

namespace qd {

// Follows the drives while the program runs: a volume mounted or unmounted
// (the mount table, MountTablePath(), signals POLLPRI on every change, so
// the watch needs no daemon and never polls), and the folders mapped as
// drives, which have no such event: the nearest existing folder above each
// mapped folder is watched through QFileSystemWatcher, as is the folder of
// the settings, so that a folder made or removed and a mapping added or
// removed (qdcat drives --map) are seen at once. Every change installs a new
// DriveTable, letters kept, before it is told.
class DriveWatcher : public QObject {
    Q_OBJECT
public:
    explicit DriveWatcher(QObject* parent = nullptr);
    ~DriveWatcher() override;

    // Looks at the mount table and the mappings now and tells what changed
    // since the last look. The watch calls it; a test that rewrote a mount
    // table of its own calls it too.
    void check();

signals:
    // A volume appeared on the drive: a medium inserted, a stick plugged
    // in, a mapped folder made. The table already has it.
    void inserted(QChar letter);
    // The drive's volume went.
    void removed(QChar letter);

private:
    void watchMappings();

    int mountFd_ = -1;
    QSocketNotifier* mounts_ = nullptr;
    QFileSystemWatcher* folders_ = nullptr;
    QTimer* settle_ = nullptr;          // a burst of folder events is looked at once
    DriveTable seen_; // the drives at the last look
};

} // namespace qd
