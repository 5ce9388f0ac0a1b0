#include "TreeImageList.h"

#include <QPainter>

namespace qd {
namespace {

// A picture that draws nothing, as its own mask: white is transparent.
QImage blank(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

void TreeImageList::clear()
{
    entries_.clear();
    bytes_.clear();
    decoded_.clear();
}

int TreeImageList::addImage(const QImage& image, const QImage& mask)
{
    Entry e;
    e.slot = decoded_.add(image, mask);
    if (e.slot < 0) {
        // Keep the numbering: a missing picture draws blank.
        const QImage nothing = blank(decoded_.imageSize());
        e.slot = decoded_.add(nothing, nothing);
    }
    entries_.push_back(std::move(e));
    return count() - 1;
}

int TreeImageList::addBmp(std::string_view image, std::string_view mask)
{
    Entry e;
    e.at = bytes_.size();
    e.imageSize = image.size();
    e.maskSize = mask.size();
    bytes_.append(image).append(mask);
    entries_.push_back(std::move(e));
    return count() - 1;
}

int TreeImageList::decode(int index) const
{
    if (index < 0 || index >= count())
        return -1;
    Entry& e = entries_[std::size_t(index)];
    if (e.slot >= 0)
        return e.slot;
    auto bmp = [&](std::size_t at, std::size_t size) {
        return QImage::fromData(reinterpret_cast<const uchar*>(bytes_.data() + at), int(size), "BMP");
    };
    QImage image = bmp(e.at, e.imageSize);
    QImage mask = bmp(e.at + e.imageSize, e.maskSize);
    if (image.isNull())
        mask = image = blank(decoded_.imageSize());
    e.slot = decoded_.add(image, mask);
    return e.slot;
}

QImage TreeImageList::image(int index) const
{
    const int slot = decode(index);
    return slot < 0 ? QImage() : decoded_.image(slot);
}

QImage TreeImageList::mask(int index) const
{
    const int slot = decode(index);
    return slot < 0 ? QImage() : decoded_.mask(slot);
}

void TreeImageList::draw(QPainter& p, int index, int x, int y) const
{
    const int slot = decode(index);
    if (slot >= 0)
        decoded_.draw(p, slot, x, y, ImageList::DrawMode::Transparent);
}

QIcon TreeImageList::icon(int index) const
{
    if (index < 0 || index >= count())
        return {};
    Entry& e = entries_[std::size_t(index)];
    if (e.icon.isNull())
        e.icon = QIcon(decoded_.pixmap(decode(index)));
    return e.icon;
}

} // namespace qd
