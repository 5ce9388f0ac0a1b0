#pragma once

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QVector>
#include <string>

class QPainter;

namespace qd {

// A list of equal-size square images, each with a one-bit mask, in the manner
// of the Windows image list. Images of another size are scaled on the way in.
//
// Each entry keeps a colour image (ARGB32) and a mask (Format_Mono, white =
// transparent, black = opaque). The colour image's alpha is 0 wherever the
// mask is white; where the mask is black it keeps the alpha of an icon added
// with addIcon (soft edges), and is 255 for images added with add.
class ImageList : public QObject {
    Q_OBJECT
public:
    explicit ImageList(int size = 16, QObject* parent = nullptr);

    int imageSize() const;
    int count() const;

    // mask: white = transparent, black = opaque (any pixel lighter than mid
    // grey counts as white); a null mask makes the image wholly opaque.
    // Returns the new image's index, or -1 for a null image (nothing added).
    int add(const QImage& image, const QImage& mask);
    // The mask comes from the alpha channel: alpha below 128 is transparent.
    // Returns the new image's index, or -1 for a null image (nothing added).
    int addIcon(const QImage& argb);
    void clear();

    // The colour image and the mask at i, as described above; null images
    // for an index out of range.
    QImage image(int i) const;
    QImage mask(int i) const;

    // Normal and Transparent draw the colour image where the mask is black
    // (ILD_NORMAL, ILD_TRANSPARENT); Mask paints black where the mask is
    // black and leaves the other pixels as they were, so on a white ground it
    // reproduces the mask (ILD_MASK). An index out of range draws nothing.
    enum class DrawMode { Normal, Transparent, Mask };
    void draw(QPainter& p, int i, int x, int y, DrawMode mode) const;

    // The image at i drawn onto white (RGB32, the list's size): the colour
    // half of a copy, whose mask is mask(i). Null for an index out of range.
    QImage imageOnWhite(int i) const;
    // The image at i on a transparent ground, for an icon or a label. Null
    // for an index out of range.
    QPixmap pixmap(int i) const;

signals:
    // After every add and clear; destruction is QObject::destroyed.
    void changed();

private:
    int append(QImage argb, QImage mask);

    int size_;
    QVector<QImage> images_;
    QVector<QImage> masks_;
};

// A one-bit mask of the given size, all transparent (white).
QImage BlankMask(int width, int height);

// An icon at size x size (scaled premultiplied, so that transparent pixels do
// not bleed their colour into the edges) as an ARGB32 image and its one-bit
// mask taken from the alpha channel: alpha below 128 is transparent.
struct MaskedIcon {
    QImage image;
    QImage mask;
};
MaskedIcon MaskFromAlpha(const QImage& icon, int size);

// A disk icon's pictures as the BMP file images a catalog keeps (TDisk::IconImage
// and TDisk::IconMask). The colour in 24 bits; the mask (white, or any pixel
// lighter than mid grey, is transparent) in 1 bit the Windows way: colour 0
// black (opaque), colour 1 white (transparent).
std::string ColourBmp(const QImage& image);
std::string MaskBmp(const QImage& mask);

} // namespace qd
