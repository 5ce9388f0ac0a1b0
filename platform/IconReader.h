#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <vector>

namespace qd {

class ImageList;

// One icon taken out of a file, at the size asked for.
struct FileIcon {
    QImage image; // ARGB32; alpha 0 where transparent
    QImage mask;  // Format_Mono; white = transparent (alpha below 128), black = opaque
};

// Every icon of an icon file (".ico", ".cur": one icon) or of the icon
// resources of a PE file (".exe", ".dll": one per RT_GROUP_ICON, in resource
// order), the file kind told by its content. Of each icon the image nearest
// to size x size is taken and scaled to that size; transparency comes from
// the AND mask or, for 32-bit images, the alpha channel; PNG-compressed
// images are read through QImage. A file without icons, unreadable or
// damaged gives none, or only the icons that could be read whole; nothing in
// the file is trusted (every offset and size is checked). At most maxIcons
// (and never more than kMaxFileIcons) icons are read from one file: the first ones.
inline constexpr int kMaxFileIcons = 4096;
std::vector<FileIcon> ReadFileIcons(const QString& path, int size = 16, int maxIcons = kMaxFileIcons);
std::vector<FileIcon> ReadIconsFromData(QByteArrayView data, int size = 16, int maxIcons = kMaxFileIcons);

// Empties list, then adds every icon of the file, in order (ReadFileIcons at
// the list's size). Returns the number added.
int LoadFileIcons(ImageList& list, const QString& path);

} // namespace qd
