#pragma once

#include <QChar>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qd {

// The drive letters of the catalogued system and the local folders behind them.
// C: is the root file system; optical and removable devices follow, then other
// block-device file systems and network mounts; the "Drives" settings map
// further letters to folders and replace an automatic drive of the same letter.

enum class DriveKind { Removable, Fixed, CdRom, Network, Ram };

struct Drive {
    QChar letter;          // upper case
    DriveKind kind = DriveKind::Fixed;
    QString root;          // root folder when the table was built; empty when there was no medium
    QString device;        // block device or mount source; may be empty
    QString fsType;
    QString label;         // volume label for display
    QString mappedFolder;  // the folder of a "Drives" mapping; empty for a device
    std::optional<std::uint32_t> configuredSerial; // a mapping's own serial
    std::optional<QString> configuredLabel;        // a mapping's own label
    QString devNumber;     // "major:minor" of the device or mounted file system; empty for a mapping

    bool present() const { return !root.isEmpty(); }
    bool mapped() const { return !mappedFolder.isEmpty(); }
    // "LABEL (D:)", or the kind's name + " (D:)" without a label.
    QString displayName() const;
    // The freedesktop icon name for the kind.
    QString iconName() const;
    // The drive list text of the main window: "d: [label]", "d:" without label.
    QString menuText() const;
};

namespace settings {
struct DriveMapping;
}

// One line of /proc/self/mountinfo.
struct MountEntry {
    QString devNumber;  // "major:minor"
    QString fsRoot;     // the folder of the file system that is mounted ("/" for all of it)
    QString mountPoint;
    QString fsType;
    QString source;     // block device, remote name or a pseudo name
};
std::vector<MountEntry> parseMountInfo(const QString& text);

// A file system whose files others change from other machines (NFS, SMB,
// sshfs, ...), by its type as the mount table names it.
bool IsNetworkFileSystem(const QString& fsType);

// A removable or optical block device (or a partition of a removable disk),
// which gets a letter whether or not a medium is in it.
struct BlockDevice {
    QString name;       // "sr0", "sdb1"
    QString devNumber;  // "major:minor"
    bool optical = false;
};

// The mount table the drives are read from: /proc/self/mountinfo, or the
// file a test puts in its place.
QString MountTablePath();
void SetMountTablePath(const QString& path);
std::vector<MountEntry> ReadMountTable();

class DriveTable {
public:
    // Built once, at first use. Labels are read then.
    static const DriveTable& instance();
    // Re-reads the mounts, the devices and the "Drives" settings. References
    // and pointers into the previous table are invalid afterwards. A drive
    // keeps its letter for the run (see build's before).
    static void rebuild();
    // Makes table the one instance() gives, its labels read first, and tells
    // DriveTableChanges(). References into the previous table are invalid.
    static void install(DriveTable table);
    // Reads each present drive's label.
    void readLabels();
    // The same drives on the same letters with the same roots (labels aside).
    bool sameDrives(const DriveTable& other) const;

    const std::vector<Drive>& drives() const { return drives_; } // in letter order
    const Drive* find(QChar letter) const; // any case; nullptr for none

    // The letters alone, from the given system view and mappings: C: for the
    // mount of "/", then the devices in the order given, then other mounted
    // block devices by device name, then network mounts by mount point;
    // mappings last, each replacing a drive of its letter. Labels other than
    // configured ones are left empty.
    //
    // Given the table before, a drive that it had keeps its letter, as a
    // letter recorded in the catalogs must go on naming the same drive while
    // the program runs: a drive that went stays as one without a medium, and
    // new drives take the free letters from D: on. Without it the letters
    // follow the order above.
    static DriveTable build(const std::vector<MountEntry>& mounts, const std::vector<BlockDevice>& devices,
                            const std::vector<settings::DriveMapping>& mappings, const DriveTable* before = nullptr);

    // What the system shows now, read from the mount table, the devices and
    // the settings, letters kept from before; labels not read.
    static DriveTable fromSystem(const std::vector<MountEntry>& mounts, const DriveTable* before);

private:
    std::vector<Drive> drives_;
};

// Tells when DriveTable::install has put a new table in place (drives added,
// a medium inserted or taken out, a mapped folder made or removed).
class DriveTableNotice : public QObject {
    Q_OBJECT
signals:
    void changed();
};
DriveTableNotice& DriveTableChanges();

// The drive letter a user names: "D", "d:", "D:\\" or "D:/" (ASCII letters
// only), in upper case; nullopt for anything else.
std::optional<QChar> ParseDriveLetter(const QString& text);

// The drive letter a path starts with, as the drive queries and the drive box
// read it: the first character when it is an ASCII letter, in upper case;
// nullopt for an empty path or any other first character. What follows the
// letter (":", ":\\A\\B") is the caller's to check. The second form reads a
// catalog path's code page 932 bytes.
std::optional<QChar> DriveLetterOfPath(QStringView path);
std::optional<QChar> DriveLetterOfPath(std::string_view catalogPath);

// The drive's root folder now, which the queries below use: a medium
// mounted, changed or taken out, or a mapped folder made or removed, since
// the table was built counts. nullopt for no drive or no medium.
std::optional<QString> CurrentRoot(QChar letter);

// The real local path of a drive path text such as "D:\A\B\" (code page
// 932 bytes): the drive's current root + "/A/B/". nullopt when the letter
// names no drive or the drive has no root. A text is split at every
// backslash, so a catalogued folder (whose names may hold one) is never
// found this way: FindRealFolder (RealFolder.h) finds it from its records.
std::optional<QString> RealPath(std::string_view catalogPath);

// The drive queries, on the drive named by the first character of path.
// false (outputs untouched) for an empty path, no such drive, no medium, an
// unreadable medium. Sizes in bytes; free is what an unprivileged user may use.
bool GetDiskSpace(std::string_view path, std::int64_t& total, std::int64_t& free);
// The volume serial as Windows reports it, and the label in code page 932.
bool GetVolumeInfo(std::string_view path, std::uint32_t& serial, std::string& label);

} // namespace qd
