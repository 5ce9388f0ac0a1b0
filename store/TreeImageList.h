#pragma once

#include <QIcon>
#include <QImage>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ImageList.h"

class QPainter;

namespace qd {

// ImageList_Tree: the pictures of the catalog tree by image index, 16 x 16.
// Entries 0 and 1 are the closed and open folder, then one entry per disk in
// fill order. A disk's entry is kept as the two BMP images of its catalog head
// and decoded only when it is first drawn or asked for, so that a refresh costs
// no more than reading the heads; decoded pictures live in an ImageList.
class TreeImageList {
public:
    int count() const { return int(entries_.size()); }
    void clear();

    // Appends a decoded picture (mask: white = transparent); returns its index.
    // A null image draws blank.
    int addImage(const QImage& image, const QImage& mask);
    // Appends a disk's icon as BMP file images (colour, and mask with white =
    // transparent); returns its index. Pictures that cannot be decoded draw blank.
    int addBmp(std::string_view image, std::string_view mask);

    // The colour image and the mask at index (null for an index out of range).
    QImage image(int index) const;
    QImage mask(int index) const;
    // The picture as an icon; made once.
    QIcon icon(int index) const;
    void draw(QPainter& p, int index, int x, int y) const;

private:
    struct Entry {
        // The BMP images in bytes_, until decoded.
        std::size_t at = 0;
        std::size_t imageSize = 0, maskSize = 0;
        int slot = -1; // index in decoded_, -1 until decoded
        QIcon icon;
    };
    int decode(int index) const; // slot of the entry, decoding it first if need be

    mutable std::vector<Entry> entries_;
    // The undecoded images of every disk, one after another: one buffer
    // instead of thousands of small ones.
    std::string bytes_;
    mutable ImageList decoded_{16};
};

} // namespace qd
