#pragma once

#include <QChar>
#include <QString>

#include <csignal>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/Disk.h"
#include "platform/Drives.h"
#include "platform/Listing.h"

class QWidget;

namespace qd {

class ImageList;

// The disk scanner: reads a drive's volume into a disk record and walks the
// drive into its folder and file records. No widgets; the wizard and qdcat
// show progress and raise the cancel request through ScanControl.

// The errors of the volume step (with the exclamation icon).
extern const char* const kNoVolumeMessage;   // "ディスクがありません。(1001)"
extern const char* const kNoSpaceMessage;    // "ディスクがありません。(1002)"
// The question asked before a requested stop (caption kStopCaption).
extern const char* const kStopQuestion;      // "検索を中止しますか？"
extern const char* const kStopCaption;       // "キャンセル"

// The two drive queries of the volume step; the platform's by default.
struct VolumeQueries {
    bool (*volumeInfo)(std::string_view path, std::uint32_t& serial, std::string& label) = GetVolumeInfo;
    bool (*diskSpace)(std::string_view path, std::int64_t& total, std::int64_t& free) = GetDiskSpace;
};

// Volume step for the drive letter: fills VolumeLabel and SerialNo, then
// TotalSize and FreeSize. On failure shows the numbered "no disk" message
// owned by owner through dialogs() and returns false; fields read before the
// failure keep their new values, the others are untouched.
bool ReadVolume(QWidget* owner, QChar drive, TDisk& disk, const VolumeQueries& queries = {});

// What a walk reports to its caller and asks of it.
class ScanControl {
public:
    virtual ~ScanControl() = default;

    // Once per folder, before it is listed: the folder's catalog path with a
    // trailing backslash ("D:\A\B\"), the files recorded so far and the
    // folders found so far (root included, visited or not). The wizard shows
    // them and lets pending events run here.
    virtual void progress(const QString& folderPath, std::int32_t files, std::int32_t folders) {}

    // Asked between folders while a stop is requested; true stops the walk.
    // The default asks kStopQuestion (Yes/No) through dialogs().
    virtual bool confirmStop();

    // The window that owns the question; none by default.
    virtual QWidget* owner() const { return nullptr; }

    // The cancel request. Setting it is safe from a signal handler.
    void requestCancel() { cancel_ = 1; }
    bool cancelRequested() const { return cancel_ != 0; }
    void clearCancel() { cancel_ = 0; }

private:
    volatile std::sig_atomic_t cancel_ = 0;
};

struct WalkResult {
    bool completed = false;        // false: stopped on request; the disk is then to be thrown away
    std::int32_t files = 0;        // file records made
    std::int64_t bytes = 0;        // sum of the recorded (low 32-bit) sizes
    std::int64_t unlistable = 0;   // folders recorded empty because they could not be listed
    std::int64_t otherFileSystems = 0; // folders recorded empty because they are on another file system
    NameCounts names;              // names changed to fit a record
};

// Walks the drive whose letter is given (upper case is recorded) into
// disk.DirList, breadth-first: the root "D:" is folder 0, folders are
// numbered in the order they are found, files keep the listing order.
// DirList starts empty whatever it held, Comment is emptied and Reserved set
// to 0; the volume fields and the icon are left alone. A drive without a
// root folder walks as a root that cannot be listed.
//
// diskIcons (may be null): emptied first, then receives one image per ".exe"
// or ".ico" file (extension in any case), the file's small system icon.
//
// The walk stays on the file system of the drive's root, as a drive letter
// names one volume: a folder on another file system (a mount point below the
// root) is recorded, with no entries, and never entered. Symbolic links are
// recorded as entries and never followed, so no loop can form; a folder that
// cannot be listed is recorded with no entries.
WalkResult WalkDrive(QChar drive, TDisk& disk, ScanControl& control, ImageList* diskIcons);

// The same walk over a real local folder standing for the drive's root.
WalkResult WalkFolder(QChar drive, const QString& rootFolder, TDisk& disk, ScanControl& control,
                      ImageList* diskIcons);

} // namespace qd
