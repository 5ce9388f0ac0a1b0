#include "Scanner.h"

#include <QFile>

#include <deque>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/ImageList.h"
#include "platform/Logging.h"
#include "platform/SysImageList.h"
#include "platform/Text.h"

namespace qd {

const char* const kNoVolumeMessage = "ディスクがありません。(1001)";
const char* const kNoSpaceMessage = "ディスクがありません。(1002)";
const char* const kStopQuestion = "検索を中止しますか？";
const char* const kStopCaption = "キャンセル";

namespace {

// The letter as a byte, upper case. Only ASCII letters name drives; anything
// else becomes "?", which names none.
char driveLetter(QChar drive)
{
    const std::optional<QChar> letter = ParseDriveLetter(QString(drive));
    return letter ? char(letter->unicode()) : '?';
}

std::string driveRoot(QChar drive)
{
    return std::string{driveLetter(drive), ':', '\\'};
}

// ".exe" or ".ico" at the end of a code page 932 name, in any case. Both
// extensions are ASCII, and the trail byte of a double-byte character is
// never ".", so comparing the last four bytes is exact.
bool isProgramOrIconName(const std::string& name)
{
    if (name.size() < 4 || name[name.size() - 4] != '.')
        return false;
    char ext[3];
    for (int k = 0; k < 3; ++k) {
        const char c = name[name.size() - 3 + k];
        ext[k] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    return (ext[0] == 'e' && ext[1] == 'x' && ext[2] == 'e') || (ext[0] == 'i' && ext[1] == 'c' && ext[2] == 'o');
}

const char* statusText(ListStatus status)
{
    switch (status) {
    case ListStatus::Ok: return "ok";
    case ListStatus::NotFound: return "not found";
    case ListStatus::NotFolder: return "not a folder";
    case ListStatus::Denied: return "permission denied";
    case ListStatus::OtherFileSystem: return "on another file system";
    case ListStatus::Ambiguous: return "ambiguous";
    case ListStatus::Failed: break;
    }
    return "failed";
}

void noDisk(QWidget* owner, const char* message)
{
    dialogs().error(owner, QString::fromUtf8(message), DialogIcon::Exclamation);
}

} // namespace

bool ReadVolume(QWidget* owner, QChar drive, TDisk& disk, const VolumeQueries& queries)
{
    const std::string root = driveRoot(drive);
    std::uint32_t serial = 0;
    std::string label;
    if (!queries.volumeInfo(root, serial, label)) {
        noDisk(owner, kNoVolumeMessage);
        return false;
    }
    disk.VolumeLabel = label;
    disk.SerialNo = serial;
    std::int64_t total = 0, free = 0;
    if (!queries.diskSpace(root, total, free)) {
        noDisk(owner, kNoSpaceMessage);
        return false;
    }
    disk.TotalSize = total;
    disk.FreeSize = free;
    return true;
}

bool ScanControl::confirmStop()
{
    return dialogs().confirm(owner(), QString::fromUtf8(kStopQuestion), QString::fromUtf8(kStopCaption));
}

WalkResult WalkDrive(QChar drive, TDisk& disk, ScanControl& control, ImageList* diskIcons)
{
    const std::optional<QString> root = RealPath(driveRoot(drive));
    return WalkFolder(drive, root.value_or(QString()), disk, control, diskIcons);
}

WalkResult WalkFolder(QChar drive, const QString& rootFolder, TDisk& disk, ScanControl& control,
                      ImageList* diskIcons)
{
    WalkResult result;
    control.clearCancel();
    disk.DirList.clear();
    disk.Comment.clear();
    disk.Reserved = 0;
    if (diskIcons)
        diskIcons->clear();
    const ImageList* systemIcons = diskIcons ? GetSysImageList(false) : nullptr;

    // The folders found but not yet listed, by DirList index: the real path
    // (ending in "/") and the catalog path ("D:\A\B"). The real path is kept
    // beside the record because a recorded name may have lost characters
    // ("?") and could not find its folder again; the catalog path is made from
    // the parent's, so no folder's path is walked up its chain again. A folder
    // leaves the queue when it is listed, so only the walk's frontier is held.
    struct Pending {
        std::string real;
        std::string catalog;
        bool list = true; // false for a folder on another file system: recorded, never entered
    };
    std::deque<Pending> pending; // front() is DirList[i]
    std::string rootPath = rootFolder.isEmpty() ? std::string() : QFile::encodeName(rootFolder).toStdString();
    if (!rootPath.empty() && rootPath.back() != '/')
        rootPath += '/';

    ScanClock clock = ScanClock::current();
    TDir& rootDir = disk.DirList.emplace_back();
    rootDir.Parent = -1;
    rootDir.Name = std::string{driveLetter(drive), ':'};
    rootDir.ScanDate = clock.now;
    pending.push_back({std::move(rootPath), std::string(rootDir.Name.view()), true});

    DirEntry entry;
    std::size_t i = 0;
    for (;;) {
        const Pending current = std::move(pending.front());
        pending.pop_front();
        control.progress(fromAnsi(current.catalog + '\\'), result.files, std::int32_t(disk.DirList.size()));

        if (!current.list) {
            qCDebug(lcWalk) << "folder on another file system, recorded empty:" << fromAnsi(current.catalog);
            ++result.otherFileSystems;
        } else {
            clock = ScanClock::current();
            const std::string& folder = current.real;
            FolderReader reader(folder); // an empty path (no root) fails like a vanished folder
            while (reader.next(entry)) {
                if (entry.attr & kAttrDirectory) {
                    TDir& dir = disk.DirList.emplace_back();
                    SetDirData(entry, std::int32_t(i), dir, clock);
                    Pending& child = pending.emplace_back();
                    child.real.reserve(folder.size() + reader.nativeName().size() + 1);
                    child.real += folder;
                    child.real += reader.nativeName();
                    child.real += '/';
                    child.catalog.reserve(current.catalog.size() + entry.name.size() + 1);
                    child.catalog += current.catalog;
                    child.catalog += '\\';
                    child.catalog += entry.name;
                    child.list = !reader.onOtherFileSystem();
                    continue;
                }
                // The folder's vector may have moved when DirList grew: index it afresh.
                TFile& file = disk.DirList[i].FileList.emplace_back();
                SetFileData(entry, file, clock);
                ++result.files;
                result.bytes += entry.size;
                if (systemIcons && isProgramOrIconName(entry.name)) {
                    const QString real = QFile::decodeName(QByteArray(folder.data(), qsizetype(folder.size()))) +
                        QFile::decodeName(
                            QByteArray(reader.nativeName().data(), qsizetype(reader.nativeName().size())));
                    AddImageFromList(*diskIcons, *systemIcons, GetSysIconIndex(real));
                }
            }
            if (reader.status() != ListStatus::Ok) {
                qCDebug(lcWalk) << "folder cannot be listed, recorded with what was read:"
                                << fromAnsi(current.catalog) << statusText(reader.status());
                ++result.unlistable;
            }
            result.names += reader.counts();
        }

        ++i;
        if (i >= disk.DirList.size())
            break;
        if (control.cancelRequested()) {
            if (control.confirmStop())
                break;
            control.clearCancel();
        }
    }
    // A request still standing here (answered Yes, or raised while the last
    // folder was listed) stops the walk.
    result.completed = !control.cancelRequested();
    return result;
}

} // namespace qd
