#include "Drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <memory>
#include <set>

#include "Logging.h"
#include "Settings.h"
#include "Text.h"
#include "VolumeProbe.h"
#include "VolumeSerial.h"

namespace qd {

namespace {

// The names a Japanese desktop gives a drive of each kind that has no label.
QString kindWord(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Removable: return QString::fromUtf8("リムーバブル ディスク");
    case DriveKind::Fixed: return QString::fromUtf8("ローカル ディスク");
    case DriveKind::CdRom: return QString::fromUtf8("CD ドライブ");
    case DriveKind::Network: return QString::fromUtf8("ネットワーク ドライブ");
    case DriveKind::Ram: return QString::fromUtf8("RAM ディスク");
    }
    return QString();
}

// mountinfo writes blanks, tabs, new lines and backslashes as \ooo.
QString unescapeOctal(const QString& field)
{
    QByteArray in = field.toUtf8(), out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && std::all_of(in.begin() + i + 1, in.begin() + i + 4,
                                                                  [](char c) { return c >= '0' && c <= '7'; })) {
            out.append(char((in[i + 1] - '0') * 64 + (in[i + 2] - '0') * 8 + (in[i + 3] - '0')));
            i += 3;
        } else {
            out.append(in[i]);
        }
    }
    return QString::fromUtf8(out);
}

bool isBlockSource(const MountEntry& m)
{
    // squashfs images are packages (snaps), and the boot and EFI partitions
    // belong to the system: none is a volume of the user's, as Windows gives
    // its system partitions no letter either.
    const bool boot = m.mountPoint == QLatin1String("/boot") || m.mountPoint.startsWith(QLatin1String("/boot/"));
    return m.source.startsWith(QLatin1String("/dev/")) && m.fsType != QLatin1String("squashfs") && !boot;
}

DriveKind kindOfMount(const MountEntry& m)
{
    if (m.fsType == QLatin1String("iso9660") || m.fsType == QLatin1String("udf"))
        return DriveKind::CdRom;
    const QString dev = m.source.mid(5);
    if (dev.startsWith(QLatin1String("ram")) || dev.startsWith(QLatin1String("zram")))
        return DriveKind::Ram;
    return DriveKind::Fixed;
}

// The whole-file-system mount of a device with the shortest mount point.
const MountEntry* mountOf(const std::vector<MountEntry>& mounts, const QString& devNumber)
{
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        if (m.devNumber == devNumber && m.fsRoot == QLatin1String("/")
            && (!best || m.mountPoint.size() < best->mountPoint.size()))
            best = &m;
    }
    return best;
}

QString readSmallFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(1 << 16)).trimmed();
}

volume::UdevVolume udevFacts(dev_t dev)
{
    QFile file(QStringLiteral("/run/udev/data/b%1:%2").arg(major(dev)).arg(minor(dev)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return volume::parseUdevData(file.read(1 << 20));
}

// The name of the /dev/disk/by-* link that leads to the device, or empty.
QString linkNameFor(const QString& folder, const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir dir(folder);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == target)
            return volume::unescapeUdev(link.fileName());
    }
    return QString();
}

struct VolumeFacts {
    QString label;
    std::uint32_t serial = 0;
};

// Label and serial of the file system that holds root: the structure itself
// when the device is readable, else what udev and /dev/disk publish, else a
// stable value from the device's name so that a mounted volume always answers.
std::optional<VolumeFacts> volumeFacts(const QString& root)
{
    struct stat st {};
    if (::stat(QFile::encodeName(root).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    const QStorageInfo storage(root);
    const QString device = QString::fromLocal8Bit(storage.device());
    const QString fsType = QString::fromLatin1(storage.fileSystemType());
    std::optional<volume::VolumeId> probed;
    if (device.startsWith(QLatin1String("/dev/"))) {
        probed = volume::probeVolume(device);
        if (!probed)
            qCDebug(lcDrives) << "volume probe failed, label and serial from udev:" << device << "at" << root;
    }
    const volume::UdevVolume udev = udevFacts(st.st_dev);

    VolumeFacts facts;
    if (!udev.label.isEmpty())
        facts.label = udev.label;
    else if (!storage.name().isEmpty())
        facts.label = storage.name();
    else if (probed && probed->label)
        facts.label = *probed->label;

    std::optional<std::uint32_t> serial;
    if (probed)
        serial = probed->serial;
    if (!serial) {
        QString uuid = udev.uuid;
        if (uuid.isEmpty() && device.startsWith(QLatin1String("/dev/")))
            uuid = linkNameFor(QStringLiteral("/dev/disk/by-uuid"), device);
        const QString type = udev.fsType.isEmpty() ? fsType : udev.fsType;
        serial = volume::serialFromUuid(uuid.toStdString(), type.toStdString());
    }
    // Without a device of its own (tmpfs, overlay, a share) the mount point
    // tells file systems of one type apart.
    QString identity = device + u'|' + fsType;
    if (!device.startsWith(QLatin1String("/dev/")))
        identity += u'|' + storage.rootPath();
    facts.serial = serial.value_or(volume::stableHash(identity.toStdString()));
    return facts;
}

QString devNumberOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QString();
    return QStringLiteral("%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
}

QString& mountTablePath()
{
    static QString path = QStringLiteral("/proc/self/mountinfo");
    return path;
}

// What names an automatic drive from one table to the next: its device, or
// for a share (which has none to follow) its remote name.
QString identityOf(const Drive& d)
{
    return d.devNumber.isEmpty() ? QStringLiteral("net|") + d.device : d.devNumber;
}

std::optional<QString> rootNow(const Drive& d)
{
    if (d.mapped()) {
        const QFileInfo folder(d.mappedFolder);
        if (!folder.isDir())
            return std::nullopt;
        return QDir::cleanPath(folder.absoluteFilePath());
    }
    if (d.devNumber.isEmpty())
        return d.present() ? std::optional(d.root) : std::nullopt;
    // One stat tells that the medium seen at start is still mounted there;
    // only otherwise are the mounts read again.
    if (d.present() && devNumberOf(d.root) == d.devNumber)
        return d.root;
    const std::vector<MountEntry> mounts = ReadMountTable();
    if (const MountEntry* m = mountOf(mounts, d.devNumber))
        return m->mountPoint;
    return std::nullopt;
}

std::optional<VolumeFacts> driveFacts(const Drive& d)
{
    const auto root = rootNow(d);
    if (!root)
        return std::nullopt;
    auto facts = volumeFacts(*root);
    if (!facts)
        return std::nullopt;
    if (d.configuredLabel)
        facts->label = *d.configuredLabel;
    if (d.configuredSerial)
        facts->serial = *d.configuredSerial;
    return facts;
}

// Removable and optical devices in name order: a letter per partition of a
// removable disk that has partitions, else one for the disk.
std::vector<BlockDevice> removableDevices()
{
    std::vector<BlockDevice> out;
    const QDir sys(QStringLiteral("/sys/block"));
    QStringList names = sys.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const bool optical = name.startsWith(QLatin1String("sr"));
        const bool removable = readSmallFile(sys.filePath(name + QStringLiteral("/removable"))) == u"1";
        if (!optical && !removable)
            continue;
        QStringList partitions;
        const QDir disk(sys.filePath(name));
        for (const QString& sub : disk.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (QFileInfo::exists(disk.filePath(sub + QStringLiteral("/partition"))))
                partitions << sub;
        }
        if (partitions.isEmpty() || optical)
            out.push_back({name, readSmallFile(disk.filePath(QStringLiteral("dev"))), optical});
        else
            for (const QString& p : partitions)
                out.push_back({p, readSmallFile(disk.filePath(p + QStringLiteral("/dev"))), false});
    }
    return out;
}

std::unique_ptr<DriveTable>& current()
{
    static std::unique_ptr<DriveTable> table;
    return table;
}

std::optional<QChar> asciiLetter(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        c = char16_t(c - u'a' + u'A');
    if (c < u'A' || c > u'Z')
        return std::nullopt;
    return QChar(c);
}

} // namespace

DriveTable DriveTable::fromSystem(const std::vector<MountEntry>& mounts, const DriveTable* before)
{
    return DriveTable::build(mounts, removableDevices(), settings::driveMappings(), before);
}

void DriveTable::readLabels()
{
    for (Drive& d : drives_) {
        if (auto facts = driveFacts(d))
            d.label = facts->label;
        else
            qCDebug(lcDrives) << "no volume in drive, listed without a label:" << d.letter;
    }
}

bool DriveTable::sameDrives(const DriveTable& other) const
{
    return std::equal(drives_.begin(), drives_.end(), other.drives_.begin(), other.drives_.end(),
                      [](const Drive& a, const Drive& b) {
                          return a.letter == b.letter && a.kind == b.kind && a.root == b.root && a.device == b.device &&
                                 a.devNumber == b.devNumber && a.mappedFolder == b.mappedFolder;
                      });
}

DriveTableNotice& DriveTableChanges()
{
    static DriveTableNotice notice;
    return notice;
}

QString Drive::displayName() const
{
    const QString tail = QStringLiteral(" (%1:)").arg(letter);
    return (label.isEmpty() ? kindWord(kind) : label) + tail;
}

QString Drive::iconName() const
{
    switch (kind) {
    case DriveKind::Removable: return QStringLiteral("drive-removable-media");
    case DriveKind::CdRom: return QStringLiteral("media-optical");
    case DriveKind::Network: return QStringLiteral("folder-remote");
    case DriveKind::Fixed:
    case DriveKind::Ram: break;
    }
    return QStringLiteral("drive-harddisk");
}

QString Drive::menuText() const
{
    const QString head = QString(letter.toLower()) + u':';
    switch (kind) {
    case DriveKind::Removable: return head;
    case DriveKind::Network:
        if (!device.isEmpty())
            return head + u' ' + device.toLower();
        break;
    case DriveKind::Fixed:
    case DriveKind::CdRom:
    case DriveKind::Ram: break;
    }
    return head + QStringLiteral(" [") + label.toLower() + u']';
}

bool IsNetworkFileSystem(const QString& fsType)
{
    static const QStringList kinds = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "glusterfs",
                                      "9p", "virtiofs", "fuse.sshfs", "fuse.rclone", "davfs", "fuse.davfs2"};
    return kinds.contains(fsType);
}

std::vector<MountEntry> parseMountInfo(const QString& text)
{
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::vector<MountEntry> out;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        const qsizetype dash = f.indexOf(QStringLiteral("-"), 6);
        if (f.size() < 6 || dash < 0 || dash + 2 >= f.size())
            continue;
        out.push_back({f[2], unescapeOctal(f[3]), unescapeOctal(f[4]), f[dash + 1], unescapeOctal(f[dash + 2])});
    }
    return out;
}

DriveTable DriveTable::build(const std::vector<MountEntry>& mounts, const std::vector<BlockDevice>& devices,
                             const std::vector<settings::DriveMapping>& mappings, const DriveTable* before)
{
    DriveTable t;
    std::set<QString> taken; // device numbers that have a letter
    std::vector<Drive> found; // the automatic drives after C:, in the order they take letters
    auto add = [&](DriveKind kind, QString root, QString device, QString fsType, QString devNumber) {
        Drive d;
        d.kind = kind;
        d.root = std::move(root);
        d.device = std::move(device);
        d.fsType = std::move(fsType);
        d.devNumber = std::move(devNumber);
        found.push_back(std::move(d));
    };

    for (const MountEntry& m : mounts) {
        if (m.mountPoint == QLatin1String("/")) {
            Drive c;
            c.letter = QChar('C');
            c.root = m.mountPoint;
            c.device = m.source;
            c.fsType = m.fsType;
            c.devNumber = m.devNumber;
            t.drives_.push_back(std::move(c));
            taken.insert(m.devNumber);
            break;
        }
    }
    for (const BlockDevice& b : devices) {
        if (taken.count(b.devNumber))
            continue;
        taken.insert(b.devNumber);
        const MountEntry* m = mountOf(mounts, b.devNumber);
        add(b.optical ? DriveKind::CdRom : DriveKind::Removable, m ? m->mountPoint : QString(),
            QStringLiteral("/dev/") + b.name, m ? m->fsType : QString(), b.devNumber);
    }
    std::vector<const MountEntry*> fixed, network;
    for (const MountEntry& m : mounts) {
        if (isBlockSource(m) && !taken.count(m.devNumber) && mountOf(mounts, m.devNumber) == &m) {
            fixed.push_back(&m);
            taken.insert(m.devNumber);
        } else if (IsNetworkFileSystem(m.fsType) && m.mountPoint != QLatin1String("/")) {
            network.push_back(&m);
        }
    }
    std::stable_sort(fixed.begin(), fixed.end(), [](auto a, auto b) { return a->source < b->source; });
    std::stable_sort(network.begin(), network.end(), [](auto a, auto b) { return a->mountPoint < b->mountPoint; });
    for (const MountEntry* m : fixed)
        add(kindOfMount(*m), m->mountPoint, m->source, m->fsType, m->devNumber);
    for (const MountEntry* m : network)
        add(DriveKind::Network, m->mountPoint, m->source, m->fsType, QString()); // no device to follow

    // Letters: a drive of before keeps its own, the others take the free ones
    // in order; the drives of before that went keep theirs, without a medium.
    std::set<QChar> used = {QChar('C')};
    std::vector<const Drive*> gone;
    if (before) {
        for (const Drive& old : before->drives_) {
            if (old.mapped() || old.letter == QChar('C'))
                continue;
            used.insert(old.letter);
            gone.push_back(&old);
        }
    }
    std::vector<Drive*> fresh;
    for (Drive& d : found) {
        const auto same = std::find_if(gone.begin(), gone.end(), [&](const Drive* old) { return identityOf(*old) == identityOf(d); });
        if (same == gone.end()) {
            fresh.push_back(&d);
            continue;
        }
        d.letter = (*same)->letter;
        gone.erase(same);
    }
    char next = 'D';
    for (Drive* d : fresh) {
        while (next <= 'Z' && used.count(QChar(next)))
            ++next;
        if (next > 'Z')
            break;
        d->letter = QChar(next);
        used.insert(d->letter);
    }
    for (Drive& d : found) {
        if (!d.letter.isNull())
            t.drives_.push_back(std::move(d));
    }
    for (const Drive* old : gone) {
        Drive empty = *old;
        empty.root.clear();
        empty.label.clear();
        t.drives_.push_back(std::move(empty));
    }

    for (const settings::DriveMapping& map : mappings) {
        Drive d;
        d.letter = map.letter.toUpper();
        d.kind = map.kind;
        d.mappedFolder = map.path;
        d.root = QFileInfo(map.path).isDir() ? QDir::cleanPath(QFileInfo(map.path).absoluteFilePath()) : QString();
        d.configuredLabel = map.label;
        d.configuredSerial = map.serial;
        d.label = map.label.value_or(QString());
        if (d.present())
            d.fsType = QString::fromLatin1(QStorageInfo(d.root).fileSystemType());
        std::erase_if(t.drives_, [&](const Drive& x) { return x.letter == d.letter; });
        t.drives_.push_back(std::move(d));
    }
    std::sort(t.drives_.begin(), t.drives_.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return t;
}

const DriveTable& DriveTable::instance()
{
    auto& table = current();
    if (!table) {
        table = std::make_unique<DriveTable>(fromSystem(ReadMountTable(), nullptr));
        table->readLabels();
    }
    return *table;
}

void DriveTable::rebuild()
{
    DriveTable table = fromSystem(ReadMountTable(), current().get());
    table.readLabels();
    current() = std::make_unique<DriveTable>(std::move(table));
}

void DriveTable::install(DriveTable table)
{
    table.readLabels();
    current() = std::make_unique<DriveTable>(std::move(table));
    emit DriveTableChanges().changed();
}

QString MountTablePath()
{
    return mountTablePath();
}

void SetMountTablePath(const QString& path)
{
    mountTablePath() = path;
}

std::vector<MountEntry> ReadMountTable()
{
    QFile f(mountTablePath());
    return parseMountInfo(f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString());
}

std::optional<QChar> ParseDriveLetter(const QString& text)
{
    QStringView s(text);
    if (s.size() == 3 && (s[2] == u'\\' || s[2] == u'/'))
        s.chop(1);
    if (s.size() == 2 && s[1] == u':')
        s.chop(1);
    if (s.size() != 1)
        return std::nullopt;
    return DriveLetterOfPath(s);
}

std::optional<QChar> DriveLetterOfPath(QStringView path)
{
    return path.isEmpty() ? std::nullopt : asciiLetter(path[0].unicode());
}

std::optional<QChar> DriveLetterOfPath(std::string_view catalogPath)
{
    return catalogPath.empty() ? std::nullopt : asciiLetter(char16_t(static_cast<unsigned char>(catalogPath[0])));
}

const Drive* DriveTable::find(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives_) {
        if (d.letter == upper)
            return &d;
    }
    return nullptr;
}

std::optional<QString> CurrentRoot(QChar letter)
{
    const Drive* d = DriveTable::instance().find(letter);
    return d ? rootNow(*d) : std::nullopt;
}

std::optional<QString> RealPath(std::string_view catalogPath)
{
    const std::optional<QChar> letter = DriveLetterOfPath(catalogPath);
    if (!letter || (catalogPath.size() > 1 && catalogPath[1] != ':'))
        return std::nullopt;
    const auto current = CurrentRoot(*letter);
    if (!current)
        return std::nullopt;
    const QString rest = fromAnsi(catalogPath.substr(std::min<std::size_t>(2, catalogPath.size())));
    // A catalog file is outside input: a name may not climb out of the drive
    // or smuggle in a separator of its own.
    const QStringList parts = rest.split(u'\\');
    for (const QString& part : parts) {
        if (part == u"." || part == u".." || part.contains(u'/') || part.contains(QChar(0)))
            return std::nullopt;
    }
    QString root = *current;
    if (root.endsWith(u'/'))
        root.chop(1);
    QString tail = parts.join(u'/');
    if (!tail.startsWith(u'/'))
        tail.prepend(u'/');
    return root + tail;
}

bool GetDiskSpace(std::string_view path, std::int64_t& total, std::int64_t& free)
{
    const std::optional<QChar> letter = DriveLetterOfPath(path);
    if (!letter)
        return false;
    const auto root = CurrentRoot(*letter);
    if (!root)
        return false;
    struct statvfs vfs {};
    if (::statvfs(QFile::encodeName(*root).constData(), &vfs) != 0)
        return false;
    total = std::int64_t(vfs.f_blocks) * std::int64_t(vfs.f_frsize);
    free = std::int64_t(vfs.f_bavail) * std::int64_t(vfs.f_frsize);
    return true;
}

bool GetVolumeInfo(std::string_view path, std::uint32_t& serial, std::string& label)
{
    const std::optional<QChar> letter = DriveLetterOfPath(path);
    if (!letter)
        return false;
    const Drive* d = DriveTable::instance().find(*letter);
    if (!d)
        return false;
    const auto facts = driveFacts(*d);
    if (!facts)
        return false;
    serial = facts->serial;
    label = toAnsi(facts->label);
    return true;
}

} // namespace qd
