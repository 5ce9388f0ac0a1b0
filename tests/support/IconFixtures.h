#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QImage>
#include <QList>
#include <QVector>
#include <QtEndian>

namespace qd::test {

// Writes bytes to the named file in dir and returns its path.
inline QString writeFileIn(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Opaque colours the icon tests paint and look for.
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kBlack = 0xff000000;

// Icon and PE files made in code, for the readers of icons.

// How one image of an icon is stored.
enum class IconStore { Dib32, Dib24, Dib8, Dib4, Dib1, Png };

struct IconPart {
    QImage image; // ARGB32; alpha below 128 becomes transparent in the AND mask
    IconStore store = IconStore::Dib32;
};

namespace detail {

inline void put16(QByteArray& b, int v) { b.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); }
inline void put32(QByteArray& b, quint32 v)
{
    put16(b, int(v & 0xffff));
    put16(b, int(v >> 16));
}
inline void set32(QByteArray& b, int at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }
inline void set16(QByteArray& b, int at, quint16 v) { qToLittleEndian<quint16>(v, b.data() + at); }
inline void pad4(QByteArray& b)
{
    while (b.size() % 4)
        b.append('\0');
}

inline int bitsOf(IconStore s)
{
    switch (s) {
    case IconStore::Dib32: return 32;
    case IconStore::Dib24: return 24;
    case IconStore::Dib8: return 8;
    case IconStore::Dib4: return 4;
    case IconStore::Dib1: return 1;
    case IconStore::Png: return 32;
    }
    return 32;
}

} // namespace detail

// The stored form of one image: a PNG, or a DIB (info header, palette,
// colour rows bottom-up, AND mask rows bottom-up). Paletted forms take the
// image's opaque colours in order of first appearance; the image must have
// few enough of them.
inline QByteArray iconImageData(const IconPart& part)
{
    using namespace detail;
    const QImage img = part.image.convertToFormat(QImage::Format_ARGB32);
    if (part.store == IconStore::Png) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "PNG");
        return png;
    }
    const int w = img.width(), h = img.height(), bits = bitsOf(part.store);
    QVector<QRgb> palette;
    if (bits <= 8) {
        palette.append(qRgb(0, 0, 0)); // transparent pixels take index 0
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = img.pixel(x, y) | 0xff000000;
                if (qAlpha(img.pixel(x, y)) >= 128 && !palette.contains(c))
                    palette.append(c);
            }
        palette.resize(1 << bits, qRgb(0, 0, 0));
    }
    QByteArray b;
    put32(b, 40);
    put32(b, quint32(w));
    put32(b, quint32(h * 2));
    put16(b, 1);
    put16(b, bits);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    for (QRgb c : palette)
        put32(b, c & 0xffffff); // B, G, R, 0 in file order
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row;
        if (bits <= 8) {
            row.fill('\0', (w * bits + 7) / 8);
            for (int x = 0; x < w; ++x) {
                const QRgb px = img.pixel(x, y);
                const int index = qAlpha(px) >= 128 ? int(palette.indexOf(px | 0xff000000)) : 0;
                const int bit = x * bits;
                row[bit / 8] = char(uchar(row[bit / 8]) | (index << (8 - bits - bit % 8)));
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const QRgb px = img.pixel(x, y);
                row.append(char(qBlue(px))).append(char(qGreen(px))).append(char(qRed(px)));
                if (bits == 32)
                    row.append(char(qAlpha(px)));
            }
        }
        b.append(row);
        pad4(b);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row((w + 7) / 8, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(img.pixel(x, y)) < 128)
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        b.append(row);
        pad4(b);
    }
    return b;
}

// An ".ico" file with the given images of one icon.
inline QByteArray makeIco(const QList<IconPart>& parts)
{
    using namespace detail;
    QByteArray b;
    put16(b, 0);
    put16(b, 1);
    put16(b, int(parts.size()));
    QList<QByteArray> data;
    for (const IconPart& p : parts)
        data.append(iconImageData(p));
    quint32 offset = quint32(6 + 16 * parts.size());
    for (int i = 0; i < parts.size(); ++i) {
        const QImage& img = parts[i].image;
        b.append(char(img.width() >= 256 ? 0 : img.width()));
        b.append(char(img.height() >= 256 ? 0 : img.height()));
        b.append(char(0)).append(char(0));
        put16(b, 1);
        put16(b, bitsOf(parts[i].store));
        put32(b, quint32(data[i].size()));
        put32(b, offset);
        offset += quint32(data[i].size());
    }
    for (const QByteArray& d : data)
        b.append(d);
    return b;
}

// A PE file (PE32, or PE32+ when wide) whose only section is a resource
// section holding the given icons, each one RT_GROUP_ICON (IDs 1, 2, ...)
// over its images as RT_ICON resources (IDs 1, 2, ... across all groups).
// With no icons the file has a resource section without icon resources.
inline QByteArray makePe(const QList<QList<IconPart>>& icons, bool wide = false)
{
    using namespace detail;
    constexpr quint32 kSectionRva = 0x1000, kSectionFile = 0x200;
    QList<QByteArray> images, groups;
    int nextIcon = 1;
    for (const auto& parts : icons) {
        QByteArray g;
        put16(g, 0);
        put16(g, 1);
        put16(g, int(parts.size()));
        for (const IconPart& p : parts) {
            images.append(iconImageData(p));
            g.append(char(p.image.width() >= 256 ? 0 : p.image.width()));
            g.append(char(p.image.height() >= 256 ? 0 : p.image.height()));
            g.append(char(0)).append(char(0));
            put16(g, 1);
            put16(g, bitsOf(p.store));
            put32(g, quint32(images.last().size()));
            put16(g, nextIcon++);
        }
        groups.append(g);
    }
    // Layout: root, two type directories, one language directory per
    // resource, one data entry per resource, then the data.
    const int types = icons.isEmpty() ? 0 : 2;
    const int resources = int(images.size() + groups.size());
    const int rootSize = 16 + types * 8;
    const int iconDir = rootSize, groupDir = iconDir + 16 + int(images.size()) * 8;
    const int langDirs = types ? groupDir + 16 + int(groups.size()) * 8 : rootSize;
    const int entries = langDirs + resources * 24;
    int dataAt = entries + resources * 16;
    QByteArray r(dataAt, '\0');
    auto dir = [&](int at, int ids) { set16(r, at + 14, quint16(ids)); };
    dir(0, types);
    if (types) {
        set32(r, 16, 3);
        set32(r, 20, 0x80000000u | quint32(iconDir));
        set32(r, 24, 14);
        set32(r, 28, 0x80000000u | quint32(groupDir));
    }
    if (types) {
        dir(iconDir, int(images.size()));
        dir(groupDir, int(groups.size()));
    }
    QList<QByteArray> blobs = images + groups;
    for (int i = 0; i < resources; ++i) {
        const bool isIcon = i < images.size();
        const int typeDir = isIcon ? iconDir : groupDir;
        const int k = isIcon ? i : i - int(images.size());
        const int lang = langDirs + i * 24, entry = entries + i * 16;
        set32(r, typeDir + 16 + k * 8, quint32(k + 1));
        set32(r, typeDir + 20 + k * 8, 0x80000000u | quint32(lang));
        dir(lang, 1);
        set32(r, lang + 16, 0x409);
        set32(r, lang + 20, quint32(entry));
        pad4(r);
        set32(r, entry, kSectionRva + quint32(r.size()));
        set32(r, entry + 4, quint32(blobs[i].size()));
        r.append(blobs[i]);
    }
    pad4(r);

    QByteArray b(0x40, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    set32(b, 0x3c, 0x40);
    b.append("PE\0\0", 4);
    const int optSize = wide ? 240 : 224;
    put16(b, wide ? 0x8664 : 0x14c);
    put16(b, 1);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put16(b, optSize);
    put16(b, 0x2102);
    const int opt = int(b.size());
    b.append(QByteArray(optSize, '\0'));
    set16(b, opt, wide ? 0x20b : 0x10b);
    const int countAt = wide ? 108 : 92, dirs = wide ? 112 : 96;
    set32(b, opt + countAt, 16);
    set32(b, opt + dirs + 16, kSectionRva);
    set32(b, opt + dirs + 20, quint32(r.size()));
    b.append(".rsrc\0\0\0", 8);
    put32(b, quint32(r.size()));
    put32(b, kSectionRva);
    put32(b, quint32(r.size()));
    put32(b, kSectionFile);
    put32(b, 0);
    put32(b, 0);
    put16(b, 0);
    put16(b, 0);
    put32(b, 0x40000040);
    b.append(QByteArray(int(kSectionFile) - b.size(), '\0'));
    b.append(r);
    return b;
}

// A 16 x 16 (or size) test icon: a transparent border of two pixels around
// a square of colour, with a one-pixel mark of accent at (2, 2).
inline QImage squareIcon(QRgb colour, int size = 16, QRgb accent = 0xff000000)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 2; y < size - 2; ++y)
        for (int x = 2; x < size - 2; ++x)
            img.setPixel(x, y, colour);
    img.setPixel(2, 2, accent);
    return img;
}

} // namespace qd::test
