#include "platform/ImageList.h"

#include <QBuffer>
#include <QPainter>

namespace qd {

namespace {

constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kBlack = 0xff000000;

QImage fitted(const QImage& image, int size, Qt::TransformationMode how)
{
    if (image.width() == size && image.height() == size)
        return image;
    return image.scaled(size, size, Qt::IgnoreAspectRatio, how);
}

std::string bmpFile(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes.toStdString();
}

} // namespace

MaskedIcon MaskFromAlpha(const QImage& icon, int size)
{
    QImage image = icon.width() == size && icon.height() == size
                       ? icon.convertToFormat(QImage::Format_ARGB32)
                       : icon.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                             .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    QImage mask = BlankMask(size, size);
    for (int y = 0; y < size; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size; ++x) {
            if (qAlpha(line[x]) < 128)
                line[x] &= 0x00ffffff;
            else
                mask.setPixel(x, y, 1);
        }
    }
    return {image, mask};
}

QImage BlankMask(int width, int height)
{
    QImage m(width, height, QImage::Format_Mono);
    m.setColorCount(2);
    m.setColor(0, kWhite);
    m.setColor(1, kBlack);
    m.fill(0);
    return m;
}

ImageList::ImageList(int size, QObject* parent) : QObject(parent), size_(size > 0 ? size : 16) {}

int ImageList::imageSize() const { return size_; }

int ImageList::count() const { return int(images_.size()); }

int ImageList::add(const QImage& image, const QImage& mask)
{
    if (image.isNull())
        return -1;
    QImage argb = fitted(image, size_, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
    // The mask is scaled without smoothing so that it stays two-valued.
    const QImage m = mask.isNull() ? QImage() : fitted(mask, size_, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
    QImage bits = BlankMask(size_, size_);
    for (int y = 0; y < size_; ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        const auto* mline = m.isNull() ? nullptr : reinterpret_cast<const QRgb*>(m.constScanLine(y));
        for (int x = 0; x < size_; ++x) {
            const bool transparent = mline && qGray(mline[x]) >= 128;
            line[x] = transparent ? (line[x] & 0x00ffffff) : (line[x] | 0xff000000);
            if (!transparent)
                bits.setPixel(x, y, 1);
        }
    }
    return append(std::move(argb), std::move(bits));
}

int ImageList::addIcon(const QImage& icon)
{
    if (icon.isNull())
        return -1;
    MaskedIcon m = MaskFromAlpha(icon, size_);
    return append(std::move(m.image), std::move(m.mask));
}

int ImageList::append(QImage argb, QImage mask)
{
    images_.append(std::move(argb));
    masks_.append(std::move(mask));
    emit changed();
    return count() - 1;
}

void ImageList::clear()
{
    images_.clear();
    masks_.clear();
    emit changed();
}

QImage ImageList::image(int i) const { return i >= 0 && i < count() ? images_[i] : QImage(); }

QImage ImageList::mask(int i) const { return i >= 0 && i < count() ? masks_[i] : QImage(); }

void ImageList::draw(QPainter& p, int i, int x, int y, DrawMode mode) const
{
    if (i < 0 || i >= count())
        return;
    if (mode == DrawMode::Mask) {
        // The transparent colour of the mask becomes see-through, so only the black part lands.
        QImage m = masks_[i];
        m.setColor(0, qRgba(0, 0, 0, 0));
        p.drawImage(x, y, m);
        return;
    }
    p.drawImage(x, y, images_[i]);
}

QImage ImageList::imageOnWhite(int i) const
{
    if (i < 0 || i >= count())
        return {};
    QImage out(size_, size_, QImage::Format_RGB32);
    out.fill(kWhite);
    QPainter p(&out);
    draw(p, i, 0, 0, DrawMode::Normal);
    return out;
}

QPixmap ImageList::pixmap(int i) const
{
    if (i < 0 || i >= count())
        return {};
    QPixmap out(size_, size_);
    out.fill(Qt::transparent);
    QPainter p(&out);
    draw(p, i, 0, 0, DrawMode::Transparent);
    return out;
}

std::string ColourBmp(const QImage& image)
{
    return bmpFile(image.convertToFormat(QImage::Format_RGB888));
}

std::string MaskBmp(const QImage& mask)
{
    const QImage grey = mask.convertToFormat(QImage::Format_RGB32);
    QImage mono(mask.width(), mask.height(), QImage::Format_Mono);
    mono.setColorCount(2);
    mono.setColor(0, kBlack);
    mono.setColor(1, kWhite);
    mono.fill(0); // also the rows' padding, which the file would otherwise take from the heap
    for (int y = 0; y < mono.height(); ++y)
        for (int x = 0; x < mono.width(); ++x)
            mono.setPixel(x, y, qGray(grey.pixel(x, y)) >= 128 ? 1 : 0);
    return bmpFile(mono);
}

} // namespace qd
