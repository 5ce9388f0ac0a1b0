#include "platform/SysImageList.h"

#include "platform/ImageList.h"

namespace qd {

ImageList* GetSysImageList(bool) { return nullptr; }
int GetSysIconIndex(const QString&) { return -1; }
int GetSysIconIndexForName(const QString&) { return -1; }
int FolderIconIndex() { return 0; }
int AddImageFromList(ImageList&, const ImageList&, int) { return -1; }
QString GetSystemDir() { return {}; }
int AddSystemIcons(ImageList&) { return 0; }

} // namespace qd
