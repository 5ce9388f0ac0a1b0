#include "platform/IconReader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <map>
#include <optional>

#include "platform/ImageList.h"

namespace qd {

namespace {

// Larger images are not icons; refusing them keeps damaged headers from asking for huge allocations.
constexpr int kMaxDim = 1024;

// Little-endian reads over untrusted bytes: every read is checked by has() first.
class Bytes {
public:
    explicit Bytes(QByteArrayView d) : d_(d) {}
    quint64 size() const { return quint64(d_.size()); }
    bool has(quint64 off, quint64 len) const { return off <= size() && len <= size() - off; }
    quint32 u8(quint64 off) const { return quint8(d_[qsizetype(off)]); }
    quint32 u16(quint64 off) const { return u8(off) | u8(off + 1) << 8; }
    quint32 u32(quint64 off) const { return u16(off) | u16(off + 2) << 16; }
    qint32 i32(quint64 off) const { return qint32(u32(off)); }
    QByteArrayView slice(quint64 off, quint64 len) const { return d_.sliced(qsizetype(off), qsizetype(len)); }

private:
    QByteArrayView d_;
};

// One image of an icon as its directory describes it.
struct Entry {
    int width = 0; // 0 in the directory means 256
    int bits = 0;
    QByteArrayView data;
};

// The position of a bit field mask: shift of its lowest bit and its width.
struct Field {
    int shift = 0;
    int width = 0;
    explicit Field(quint32 mask)
    {
        if (!mask)
            return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++width;
        }
    }
    int value(quint32 pixel) const
    {
        if (width == 0)
            return 0;
        const quint32 v = (pixel >> shift) & ((width >= 32 ? 0xffffffffu : (1u << width) - 1));
        return width >= 8 ? int(v >> (width - 8)) : int(v * 255 / ((1u << width) - 1));
    }
};

// An icon image in device-independent bitmap form: the colour (XOR) rows,
// then the one-bit AND mask rows, with the header's height counting both.
QImage decodeDib(Bytes b)
{
    if (!b.has(0, 4))
        return {};
    const quint32 headerSize = b.u32(0);
    qint64 width, height;
    quint32 bits, compression = 0, colorsUsed = 0;
    int paletteEntry = 4;
    if (headerSize == 12) {
        if (!b.has(0, 12))
            return {};
        width = b.u16(4);
        height = qint16(b.u16(6));
        bits = b.u16(10);
        paletteEntry = 3;
    } else if (headerSize >= 40 && headerSize <= 124 && b.has(0, headerSize)) {
        width = b.i32(4);
        height = b.i32(8);
        bits = b.u16(14);
        compression = b.u32(16);
        colorsUsed = b.u32(32);
    } else {
        return {};
    }
    const bool topDown = height < 0;
    const qint64 rows = (topDown ? -height : height) / 2;
    if (width < 1 || width > kMaxDim || rows < 1 || rows > kMaxDim)
        return {};
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return {};
    quint64 pos = headerSize;
    quint32 rMask = 0, gMask = 0, bMask = 0, aMask = 0;
    if (bits == 16) {
        rMask = 0x7c00, gMask = 0x03e0, bMask = 0x001f;
    } else if (bits == 32) {
        rMask = 0xff0000, gMask = 0xff00, bMask = 0xff, aMask = 0xff000000;
    }
    if (compression == 3 && (bits == 16 || bits == 32)) {
        // Bit fields follow a plain info header, or sit inside the larger ones.
        const quint64 at = headerSize == 40 ? headerSize : 40;
        if (!b.has(at, 12))
            return {};
        rMask = b.u32(at), gMask = b.u32(at + 4), bMask = b.u32(at + 8);
        aMask = headerSize >= 56 ? b.u32(52) : (bits == 32 ? ~(rMask | gMask | bMask) : 0);
        if (headerSize == 40)
            pos += 12;
    } else if (compression != 0) {
        return {};
    }
    QVector<QRgb> palette;
    if (bits <= 8) {
        const quint64 n = colorsUsed ? colorsUsed : (1u << bits);
        if (n > 256 || !b.has(pos, n * paletteEntry))
            return {};
        for (quint64 i = 0; i < n; ++i) {
            const quint64 at = pos + i * paletteEntry;
            palette.append(qRgb(int(b.u8(at + 2)), int(b.u8(at + 1)), int(b.u8(at))));
        }
        pos += n * paletteEntry;
    }
    const quint64 stride = (quint64(width) * bits + 31) / 32 * 4;
    if (!b.has(pos, stride * rows))
        return {};
    const quint64 maskStride = (quint64(width) + 31) / 32 * 4;
    const quint64 maskPos = pos + stride * rows;
    const bool hasMask = b.has(maskPos, maskStride * rows);
    const Field r(rMask), g(gMask), bl(bMask), a(aMask);

    QImage image(int(width), int(rows), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    bool anyAlpha = false;
    for (qint64 y = 0; y < rows; ++y) {
        const quint64 src = quint64(topDown ? y : rows - 1 - y);
        const quint64 line = pos + src * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x) {
            QRgb c;
            if (bits <= 8) {
                const quint64 bit = quint64(x) * bits;
                const quint32 byte = b.u8(line + bit / 8);
                const quint32 index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                c = index < quint32(palette.size()) ? palette[index] : qRgb(0, 0, 0);
            } else if (bits == 24) {
                const quint64 at = line + quint64(x) * 3;
                c = qRgb(int(b.u8(at + 2)), int(b.u8(at + 1)), int(b.u8(at)));
            } else {
                const quint32 px = bits == 16 ? b.u16(line + quint64(x) * 2) : b.u32(line + quint64(x) * 4);
                const int alpha = bits == 32 ? a.value(px) : 255;
                anyAlpha = anyAlpha || (bits == 32 && alpha != 0);
                c = qRgba(r.value(px), g.value(px), bl.value(px), alpha);
            }
            out[x] = c;
        }
    }
    // A 32-bit image with an alpha channel carries its own transparency; all
    // others (and 32-bit images whose alpha is all zero) take the AND mask.
    if (bits == 32 && anyAlpha)
        return image;
    for (qint64 y = 0; y < rows; ++y) {
        const quint64 src = quint64(topDown ? y : rows - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x) {
            const bool transparent = hasMask && (b.u8(maskPos + src * maskStride + quint64(x) / 8) >> (7 - x % 8) & 1);
            out[x] = transparent ? qRgba(qRed(out[x]), qGreen(out[x]), qBlue(out[x]), 0) : (out[x] | 0xff000000);
        }
    }
    return image;
}

QImage decodePng(QByteArrayView data)
{
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxDim || size.height() > kMaxDim)
        return {};
    QImage image = reader.read();
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

QImage decodeImage(QByteArrayView data)
{
    static constexpr char kPng[] = "\x89PNG\r\n\x1a\n";
    if (data.size() >= 8 && data.first(8) == QByteArrayView(kPng, 8))
        return decodePng(data);
    return decodeDib(Bytes(data));
}

FileIcon finish(const QImage& native, int size)
{
    MaskedIcon m = MaskFromAlpha(native, size);
    return {std::move(m.image), std::move(m.mask)};
}

// The image of one icon nearest to size: the smallest difference in width,
// then the larger one (shrinking looks better than growing), then the most
// colours. An image that cannot be decoded yields to the next best.
std::optional<FileIcon> pick(std::vector<Entry> entries, int size)
{
    auto key = [size](const Entry& e) {
        const int w = e.width ? e.width : 256;
        return std::tuple(std::abs(w - size), w < size, -e.bits);
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& l, const Entry& r) { return key(l) < key(r); });
    for (const Entry& e : entries) {
        const QImage image = decodeImage(e.data);
        if (!image.isNull())
            return finish(image, size);
    }
    return std::nullopt;
}

int bitsOf(quint32 bitCount, quint32 colorCount)
{
    if (bitCount)
        return int(bitCount);
    int bits = 0;
    while (colorCount > 1 && bits < 8) {
        colorCount >>= 1;
        ++bits;
    }
    return bits;
}

std::vector<FileIcon> readIco(Bytes b, int size)
{
    std::vector<FileIcon> icons;
    if (!b.has(0, 6) || b.u16(0) != 0 || (b.u16(2) != 1 && b.u16(2) != 2))
        return icons;
    const bool cursor = b.u16(2) == 2;
    std::vector<Entry> entries;
    for (quint32 i = 0, n = b.u16(4); i < n; ++i) {
        const quint64 at = 6 + quint64(i) * 16;
        if (!b.has(at, 16))
            break;
        const quint64 offset = b.u32(at + 12), length = b.u32(at + 8);
        if (!b.has(offset, length))
            continue; // this image lies outside the file; others may still be whole
        entries.push_back({int(b.u8(at)), cursor ? 0 : bitsOf(b.u16(at + 6), b.u8(at + 2)), b.slice(offset, length)});
    }
    if (auto icon = pick(std::move(entries), size))
        icons.push_back(std::move(*icon));
    return icons;
}

// The resource section of a PE file: three directory levels (type, name,
// language) below the root, leaves pointing at data by relative virtual address.
class PeResources {
public:
    explicit PeResources(Bytes b) : b_(b) { valid_ = locate(); }
    bool valid() const { return valid_; }

    struct DirEntry {
        bool named;
        quint32 id;
        bool subdir;
        quint32 offset;
    };
    std::vector<DirEntry> dir(quint32 offset) const
    {
        std::vector<DirEntry> out;
        const quint64 at = root_ + offset;
        if (!b_.has(at, 16))
            return out;
        const quint64 n = quint64(b_.u16(at + 12)) + b_.u16(at + 14);
        for (quint64 i = 0; i < n && b_.has(at + 16 + i * 8, 8); ++i) {
            const quint32 name = b_.u32(at + 16 + i * 8), target = b_.u32(at + 20 + i * 8);
            out.push_back({bool(name >> 31), name & 0x7fffffff, bool(target >> 31), target & 0x7fffffff});
        }
        return out;
    }
    // The data of a name-level entry: its first language that is a leaf.
    std::optional<QByteArrayView> data(const DirEntry& e) const
    {
        if (!e.subdir)
            return leaf(e.offset);
        for (const DirEntry& lang : dir(e.offset))
            if (!lang.subdir)
                return leaf(lang.offset);
        return std::nullopt;
    }

private:
    std::optional<QByteArrayView> leaf(quint32 offset) const
    {
        const quint64 at = root_ + offset;
        if (!b_.has(at, 16))
            return std::nullopt;
        const quint32 rva = b_.u32(at), length = b_.u32(at + 4);
        const auto off = fileOffset(rva, length);
        if (!off)
            return std::nullopt;
        return b_.slice(*off, length);
    }
    std::optional<quint64> fileOffset(quint32 rva, quint64 length) const
    {
        for (quint32 i = 0; i < sections_; ++i) {
            const quint64 s = sectionTable_ + quint64(i) * 40;
            const quint32 va = b_.u32(s + 12), raw = b_.u32(s + 16), ptr = b_.u32(s + 20);
            if (rva >= va && rva - va < raw) {
                const quint64 off = quint64(ptr) + (rva - va);
                if (b_.has(off, length))
                    return off;
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    bool locate()
    {
        if (!b_.has(0, 0x40) || b_.u16(0) != 0x5a4d)
            return false;
        const quint64 pe = b_.u32(0x3c);
        if (!b_.has(pe, 24) || b_.u32(pe) != 0x00004550)
            return false;
        const quint32 sections = b_.u16(pe + 6), optSize = b_.u16(pe + 20);
        const quint64 opt = pe + 24;
        if (!b_.has(opt, optSize) || optSize < 2)
            return false;
        quint64 countAt, dirs;
        switch (b_.u16(opt)) {
        case 0x10b: countAt = 92, dirs = 96; break;
        case 0x20b: countAt = 108, dirs = 112; break;
        default: return false;
        }
        // The resource table is data directory 2.
        if (dirs + 3 * 8 > optSize || b_.u32(opt + countAt) < 3)
            return false;
        const quint32 rva = b_.u32(opt + dirs + 16);
        sectionTable_ = opt + optSize;
        if (!rva || !b_.has(sectionTable_, quint64(sections) * 40))
            return false;
        sections_ = sections;
        const auto off = fileOffset(rva, 16);
        if (!off)
            return false;
        root_ = *off;
        return true;
    }

    Bytes b_;
    bool valid_ = false;
    quint64 root_ = 0;
    quint64 sectionTable_ = 0;
    quint32 sections_ = 0;
};

std::vector<FileIcon> readPe(Bytes b, int size, int maxIcons)
{
    std::vector<FileIcon> icons;
    const PeResources res(b);
    if (!res.valid())
        return icons;
    constexpr quint32 kIcon = 3, kGroupIcon = 14;
    std::map<quint32, QByteArrayView> images;
    std::vector<PeResources::DirEntry> groups;
    for (const auto& type : res.dir(0)) {
        if (type.named || !type.subdir)
            continue;
        if (type.id == kIcon) {
            for (const auto& e : res.dir(type.offset))
                if (!e.named && !images.count(e.id))
                    if (auto d = res.data(e))
                        images.emplace(e.id, *d);
        } else if (type.id == kGroupIcon && groups.empty()) {
            groups = res.dir(type.offset);
        }
    }
    for (const auto& group : groups) {
        if (int(icons.size()) >= maxIcons)
            break;
        const auto d = res.data(group);
        if (!d)
            continue;
        const Bytes g(*d);
        if (!g.has(0, 6) || g.u16(2) != 1)
            continue;
        std::vector<Entry> entries;
        for (quint32 i = 0, n = g.u16(4); i < n && g.has(6 + quint64(i) * 14, 14); ++i) {
            const quint64 at = 6 + quint64(i) * 14;
            const auto image = images.find(g.u16(at + 12));
            if (image != images.end())
                entries.push_back({int(g.u8(at)), bitsOf(g.u16(at + 6), g.u8(at + 2)), image->second});
        }
        if (auto icon = pick(std::move(entries), size))
            icons.push_back(std::move(*icon));
    }
    return icons;
}

} // namespace

std::vector<FileIcon> ReadIconsFromData(QByteArrayView data, int size, int maxIcons)
{
    maxIcons = std::min(maxIcons, kMaxFileIcons);
    if (size < 1 || size > kMaxDim || maxIcons < 1)
        return {};
    const Bytes b(data);
    if (b.has(0, 2) && b.u16(0) == 0x5a4d)
        return readPe(b, size, maxIcons);
    return readIco(b, size);
}

std::vector<FileIcon> ReadFileIcons(const QString& path, int size, int maxIcons)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return {};
    // Mapping reads only the pages that the resource walk touches.
    if (const uchar* p = file.map(0, file.size()))
        return ReadIconsFromData(QByteArrayView(p, file.size()), size, maxIcons);
    constexpr qint64 kMaxRead = qint64(256) << 20;
    if (file.size() > kMaxRead)
        return {};
    const QByteArray all = file.readAll();
    return ReadIconsFromData(all, size, maxIcons);
}

int LoadFileIcons(ImageList& list, const QString& path)
{
    list.clear();
    int added = 0;
    for (const FileIcon& icon : ReadFileIcons(path, list.imageSize()))
        added += list.addIcon(icon.image) >= 0;
    return added;
}

} // namespace qd
