#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace qd::volume {

// What a volume says about itself when its device (or an image file of it)
// can be read: FAT12/16/32, exFAT, NTFS, ISO 9660 (with Joliet), UDF and
// ext2/3/4 are recognised.
struct VolumeId {
    std::string fsType;                 // blkid's names: vfat, exfat, ntfs, iso9660, udf, ext4
    std::optional<QString> label;       // nullopt where the probe does not read the label (NTFS)
    std::optional<std::uint32_t> serial;
    std::string uuid;                   // where the file system has one the probe reads (ext)
};

// nullopt when the device cannot be opened or read, or holds none of the
// recognised file systems. Never writes.
std::optional<VolumeId> probeVolume(const QString& deviceOrImage);

// What udev publishes of a block device's file system in its world-readable
// database file (/run/udev/data/b<major>:<minor>, lines "E:KEY=value").
struct UdevVolume {
    QString uuid;   // ID_FS_UUID
    QString label;  // ID_FS_LABEL_ENC decoded (\xNN escapes), else ID_FS_LABEL
    QString fsType; // ID_FS_TYPE
};
UdevVolume parseUdevData(const QByteArray& text);

// Undoes udev's \xNN escapes (labels, /dev/disk/by-label names); the bytes are UTF-8.
QString unescapeUdev(const QString& text);

} // namespace qd::volume
