#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace qd {

// One look at a folder of the catalog store: its sub-folders and catalog
// files (regular files named *.qd, any case, as the store lists them) with
// their sizes, times and inodes, folded into one number that changes when
// anything there is added, removed, renamed or rewritten. A folder that
// cannot be listed looks empty.
struct FolderLook {
    std::uint64_t signature = 0;
    std::vector<QByteArray> folders; // full paths
    std::vector<QByteArray> catalogs;
};
FolderLook LookAtFolder(const QByteArray& folder);
// The signatures of every folder below root (root included), summed.
std::uint64_t StoreSignature(const QByteArray& root);

// Tells when other programs (qdcat in a terminal, a second user of a shared
// root, a sync tool) change the catalog store. Where the root's file system
// reports changes, through inotify (QFileSystemWatcher on every folder and
// catalog): an event has only its own folder looked at again. Elsewhere, as
// on network shares, where changes made on other machines are never
// reported, the whole store is looked at every few seconds while active, a
// slice of it at a time so that no look costs more than a few milliseconds.
// changed() comes once a look finds the store other than it was.
class StoreWatcher : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        Automatic, // by the root's file system; polls when inotify runs out of watches
        Notify,
        Poll,
    };
    explicit StoreWatcher(const QByteArray& root, Mode mode = Mode::Automatic, QObject* parent = nullptr);
    ~StoreWatcher() override;

    bool polling() const { return polling_; }
    // Polls only while active; becoming active looks at the whole store at
    // once (someone may have changed it while the window was behind others).
    void setActive(bool active);
    // Looks at the whole store now.
    void look();
    // Looks at one folder again, as an event of it has it looked at.
    void lookAt(const QByteArray& folder);
    // The next slice of a poll's sweep, as the poll's timer has it looked at.
    void slice();

    static constexpr int kSettleMs = 300;   // a burst of events ends in one look
    static constexpr int kPollMs = 3000;    // a whole store is looked at this often
    static constexpr int kSliceMs = 250;    // ... in slices this far apart
    static constexpr int kSliceEntries = 500; // of about this many entries

signals:
    void changed();

private:
    // Looks at folder again; true when it differs. New sub-folders are
    // looked at too, gone ones forgotten with everything below them.
    bool relook(const QByteArray& folder);
    void forget(const QByteArray& folder);
    void watchPaths(const std::vector<QByteArray>& paths);
    void unwatchPaths(const std::vector<QByteArray>& paths);
    void settled();
    void givesOut(); // inotify has no watches left: poll from now on

    QByteArray root_;
    bool polling_ = false;
    bool active_ = false;
    std::map<QByteArray, FolderLook> known_;
    QFileSystemWatcher* watcher_ = nullptr;
    QSet<QString> watched_;
    QSet<QByteArray> dirty_; // folders with an event since the last look
    QTimer* settle_ = nullptr;
    QTimer* poll_ = nullptr;
    std::vector<QByteArray> sweep_; // the folders the running sweep still has to look at
    QElapsedTimer sweepStarted_;
};

} // namespace qd
