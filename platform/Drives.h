#pragma once

#include <QChar>
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

// A removable or optical block device (or a partition of a removable disk),
// which gets a letter whether or not a medium is in it.
struct BlockDevice {
    QString name;       // "sr0", "sdb1"
    QString devNumber;  // "major:minor"
    bool optical = false;
};

class DriveTable {
public:
    // Built once, at first use. Labels are read then.
    static const DriveTable& instance();
    // Re-reads the mounts, the devices and the "Drives" settings. References
    // and pointers into the previous table are invalid afterwards.
    static void rebuild();

    const std::vector<Drive>& drives() const { return drives_; } // in letter order
    const Drive* find(QChar letter) const; // any case; nullptr for none

    // The letters alone, from the given system view and mappings: C: for the
    // mount of "/", then the devices in the order given, then other mounted
    // block devices by device name, then network mounts by mount point;
    // mappings last, each replacing a drive of its letter. Labels other than
    // configured ones are left empty.
    static DriveTable build(const std::vector<MountEntry>& mounts, const std::vector<BlockDevice>& devices,
                            const std::vector<settings::DriveMapping>& mappings);

private:
    static DriveTable fromSystem();
    std::vector<Drive> drives_;
};

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

// The real local path of a catalog path such as "D:\A\B\" (code page 932
// bytes): the drive's current root + "/A/B/". nullopt when the letter names
// no drive or the drive has no root.
std::optional<QString> RealPath(std::string_view catalogPath);

// The drive queries, on the drive named by the first character of path.
// false (outputs untouched) for an empty path, no such drive, no medium, an
// unreadable medium. Sizes in bytes; free is what an unprivileged user may use.
bool GetDiskSpace(std::string_view path, std::int64_t& total, std::int64_t& free);
// The volume serial as Windows reports it, and the label in code page 932.
bool GetVolumeInfo(std::string_view path, std::uint32_t& serial, std::string& label);

} // namespace qd
