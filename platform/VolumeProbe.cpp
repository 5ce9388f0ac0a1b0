#include "VolumeProbe.h"

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <vector>

#include "VolumeSerial.h"
#include "catalog/UniqueFd.h"

namespace qd::volume {

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kSector = 2048;

class Reader {
public:
    explicit Reader(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {}
    bool ok() const { return fd_.valid(); }
    // The bytes at offset, or empty when they cannot all be read.
    Bytes read(std::uint64_t offset, std::size_t size) const
    {
        Bytes b(size);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd_.get(), b.data() + done, size - done, off_t(offset + done));
            if (n <= 0)
                return {};
            done += std::size_t(n);
        }
        return b;
    }

private:
    UniqueFd fd_;
};

std::uint32_t le32(const Bytes& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16
        | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t le16(const Bytes& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

bool hasText(const Bytes& b, std::size_t at, std::string_view text)
{
    return b.size() >= at + text.size() && std::equal(text.begin(), text.end(), b.begin() + at);
}

QString trimmedRight(QString s)
{
    while (!s.isEmpty() && (s.back() == u' ' || s.back() == QChar(0)))
        s.chop(1);
    return s;
}

QString latin1Field(const Bytes& b, std::size_t at, std::size_t size)
{
    return trimmedRight(QString::fromLatin1(reinterpret_cast<const char*>(b.data() + at), qsizetype(size)));
}

QString utf16Field(const Bytes& b, std::size_t at, std::size_t units, bool bigEndian)
{
    QString s;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint8_t x = b[at + 2 * i], y = b[at + 2 * i + 1];
        s.append(QChar(bigEndian ? char16_t(x << 8 | y) : char16_t(y << 8 | x)));
    }
    return trimmedRight(s);
}

// The exFAT label lives in a root-folder entry of type 0x83 (up to 11 UTF-16 units).
QString exfatLabel(const Reader& r, const Bytes& boot)
{
    const std::uint64_t heap = le32(boot, 0x58);
    const std::uint32_t rootCluster = le32(boot, 0x60);
    const unsigned sectorShift = boot[0x6C], clusterShift = boot[0x6D];
    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 || rootCluster < 2)
        return {};
    const std::uint64_t clusterBytes = std::uint64_t(1) << (sectorShift + clusterShift);
    const std::uint64_t at = (heap << sectorShift) + (rootCluster - 2) * clusterBytes;
    const Bytes dir = r.read(at, std::size_t(std::min<std::uint64_t>(clusterBytes, 64 * 1024)));
    for (std::size_t e = 0; e + 32 <= dir.size(); e += 32) {
        if (dir[e] == 0x00)
            break;
        if (dir[e] == 0x83)
            return utf16Field(dir, e + 2, std::min<std::size_t>(dir[e + 1], 11), false).left(dir[e + 1]);
    }
    return {};
}

std::optional<VolumeId> probeBootSector(const Reader& r, const Bytes& boot)
{
    VolumeId id;
    if (const auto s = exfatSerial(boot)) {
        id.fsType = "exfat";
        id.serial = s;
        id.label = exfatLabel(r, boot);
        return id;
    }
    if (const auto s = ntfsSerial(boot)) {
        id.fsType = "ntfs";
        id.serial = s;
        return id;
    }
    // A FAT boot sector: jump instruction, sane bytes per sector, the extended signature.
    const std::uint16_t bytesPerSector = le16(boot, 0x0B);
    if ((boot[0] == 0xEB || boot[0] == 0xE9) && bytesPerSector >= 512 && bytesPerSector <= 4096) {
        if (const auto s = fatSerial(boot)) {
            const bool fat32 = boot[0x16] == 0 && boot[0x17] == 0;
            id.fsType = "vfat";
            id.serial = s;
            const QString label = latin1Field(boot, fat32 ? 0x47 : 0x2B, 11);
            id.label = label == u"NO NAME" ? QString() : label;
            return id;
        }
    }
    return std::nullopt;
}

std::optional<VolumeId> probeExt(const Reader& r)
{
    const Bytes sb = r.read(1024, 1024);
    if (sb.empty() || le16(sb, 0x38) != 0xEF53)
        return std::nullopt;
    VolumeId id;
    id.fsType = "ext4";
    char uuid[37];
    const auto* u = sb.data() + 0x68;
    std::snprintf(uuid, sizeof uuid, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[0], u[1],
                  u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
    id.uuid = uuid;
    id.serial = serialFromUuid(id.uuid, id.fsType);
    id.label = QString::fromUtf8(reinterpret_cast<const char*>(sb.data() + 0x78), 16);
    id.label = id.label->left(id.label->indexOf(QChar(0)) < 0 ? 16 : id.label->indexOf(QChar(0)));
    return id;
}

// The File Set Descriptor of a UDF volume: anchor at sector 256, the main
// volume descriptor sequence it names, the partition start and the logical
// volume's pointer to the file set. Fills the label from the logical volume.
std::optional<Bytes> udfFileSet(const Reader& r, QString& label)
{
    const Bytes anchor = r.read(256 * kSector, kSector);
    if (anchor.empty() || le16(anchor, 0) != 2)
        return std::nullopt;
    const std::uint32_t seqLength = le32(anchor, 16), seqStart = le32(anchor, 20);
    std::optional<std::uint32_t> partitionStart, fsdBlock;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(seqLength / kSector, 64); ++i) {
        const Bytes d = r.read(std::uint64_t(seqStart + i) * kSector, kSector);
        if (d.empty())
            return std::nullopt;
        const std::uint16_t tag = le16(d, 0);
        if (tag == 5)
            partitionStart = le32(d, 188);
        else if (tag == 6) {
            fsdBlock = le32(d, 252);
            // dstring: compression id 8 or 16, characters, length in the last byte.
            const std::size_t len = std::min<std::size_t>(d[84 + 127], 127);
            if (len > 1 && d[84] == 8)
                label = QString::fromLatin1(reinterpret_cast<const char*>(d.data() + 85), qsizetype(len - 1));
            else if (len > 1 && d[84] == 16)
                label = utf16Field(d, 85, (len - 1) / 2, true);
        } else if (tag == 8)
            break;
    }
    if (!partitionStart || !fsdBlock)
        return std::nullopt;
    Bytes fsd = r.read(std::uint64_t(*partitionStart + *fsdBlock) * kSector, kSector);
    if (fsd.empty() || le16(fsd, 0) != 256)
        return std::nullopt;
    return fsd;
}

std::optional<VolumeId> probeOptical(const Reader& r)
{
    std::optional<Bytes> primary, joliet;
    bool udf = false;
    for (std::uint32_t sector = 16; sector < 32; ++sector) {
        const Bytes d = r.read(std::uint64_t(sector) * kSector, kSector);
        if (d.empty())
            break;
        if (hasText(d, 1, "BEA01"))
            udf = true;
        if (hasText(d, 1, "CD001")) {
            if (d[0] == 1 && !primary)
                primary = d;
            else if (isJolietDescriptor(d) && !joliet)
                joliet = d;
        }
    }
    VolumeId id;
    if (udf) {
        QString label;
        if (auto fsd = udfFileSet(r, label)) {
            id.fsType = "udf";
            id.serial = udfSerial(*fsd);
            id.label = label;
            return id;
        }
    }
    if (!primary)
        return std::nullopt;
    id.fsType = "iso9660";
    const Bytes& chosen = joliet ? *joliet : *primary;
    id.serial = isoSerial(chosen);
    id.label = joliet ? utf16Field(chosen, 40, 16, true) : latin1Field(chosen, 40, 32);
    return id;
}

} // namespace

std::optional<VolumeId> probeVolume(const QString& deviceOrImage)
{
    const Reader r(deviceOrImage);
    if (!r.ok())
        return std::nullopt;
    const Bytes boot = r.read(0, 512);
    if (boot.empty())
        return std::nullopt;
    if (boot[510] == 0x55 && boot[511] == 0xAA) {
        if (auto id = probeBootSector(r, boot))
            return id;
    }
    if (auto id = probeExt(r))
        return id;
    return probeOptical(r);
}

QString unescapeUdev(const QString& text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int v = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

UdevVolume parseUdevData(const QByteArray& text)
{
    UdevVolume v;
    QString plainLabel;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1String("E:ID_FS_UUID=")))
            v.uuid = line.mid(13);
        else if (line.startsWith(QLatin1String("E:ID_FS_LABEL_ENC=")))
            v.label = unescapeUdev(line.mid(18));
        else if (line.startsWith(QLatin1String("E:ID_FS_LABEL=")))
            plainLabel = line.mid(14);
        else if (line.startsWith(QLatin1String("E:ID_FS_TYPE=")))
            v.fsType = line.mid(13);
    }
    if (v.label.isEmpty())
        v.label = plainLabel;
    return v;
}

} // namespace qd::volume
