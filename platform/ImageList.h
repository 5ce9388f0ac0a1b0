#pragma once

#include <QImage>
#include <QObject>
#include <QVector>

class QPainter;

namespace qd {

// A list of equal-size square images, each with a one-bit mask, in the manner
// of the Windows image list. Every image is stored at imageSize() square:
// larger or smaller images are scaled on the way in.
class ImageList : public QObject {
    Q_OBJECT
public:
    explicit ImageList(int size = 16, QObject* parent = nullptr);

    int imageSize() const;
    int count() const;

    // mask: white = transparent, black = opaque; a null mask makes the image
    // wholly opaque. Returns the new image's index, or -1 for a null image.
    int add(const QImage& image, const QImage& mask);
    // The mask comes from the alpha channel (alpha below half = transparent).
    // Returns the new image's index, or -1 for a null image.
    int addIcon(const QImage& argb);
    void clear();

    // The colour image (RGB32) and the mask (white = transparent) at i;
    // null images for an index out of range.
    QImage image(int i) const;
    QImage mask(int i) const;

    // Normal: the image where the mask is black (ILD_NORMAL / ILD_TRANSPARENT);
    // Transparent: the same; Mask: black where the mask is black and white
    // where it is white (ILD_MASK). An index out of range draws nothing.
    enum class DrawMode { Normal, Transparent, Mask };
    void draw(QPainter& p, int i, int x, int y, DrawMode mode) const;

signals:
    // After every add and clear; destruction is QObject::destroyed.
    void changed();

private:
    int size_;
    QVector<QImage> images_;
    QVector<QImage> masks_;
};

} // namespace qd
