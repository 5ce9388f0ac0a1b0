#include "platform/ImageList.h"

#include <QPainter>

namespace qd {

ImageList::ImageList(int size, QObject* parent) : QObject(parent), size_(size > 0 ? size : 16) {}
int ImageList::imageSize() const { return size_; }
int ImageList::count() const { return int(images_.size()); }
int ImageList::add(const QImage&, const QImage&) { return -1; }
int ImageList::addIcon(const QImage&) { return -1; }
void ImageList::clear() {}
QImage ImageList::image(int) const { return {}; }
QImage ImageList::mask(int) const { return {}; }
void ImageList::draw(QPainter&, int, int, int, DrawMode) const {}

} // namespace qd
