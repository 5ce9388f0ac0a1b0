#pragma once

#include <QString>

namespace qd {

class ImageList;

// The one shared system image list of the run, in a small (16) and a large
// (32) form. Both forms always hold the same number of images and an index
// means the same icon in both; indexes never change during the run. There is
// one index per distinct icon: types whose icons come down to the same theme
// icon, and files with equal icons of their own, share it. Icons come from
// the icon theme (Adwaita when the session has none that knows folders and
// file types), else from plain drawn shapes. GUI thread only; needs a
// QGuiApplication.
ImageList* GetSysImageList(bool large);

// The index of the icon of a real local file or folder, or of a drive root
// ("D:\"). Other files go by their name as GetSysIconIndexForName does;
// ".exe" and ".ico" files that hold an icon get their own (read from the file
// each time; equal icons share an index). A path that does not exist goes by
// its name. Never -1.
int GetSysIconIndex(const QString& path);

// The index of the icon for a file of that name, without touching any file:
// for files that exist only in a catalog. As on Windows, only the extension
// counts (from the last dot, any case; none for a name without a dot): its
// MIME type (Qd's own types first) gives the theme icon. Cached per extension.
int GetSysIconIndexForName(const QString& fileName);

// The MIME type name that the icons go by for a file of that name: Qd's own
// types first (catalogs: "application/x-qd-catalog"), then the system's.
QString MimeTypeForName(const QString& fileName);

// The closed folder; FolderIconIndex() + 1 is the open folder.
int FolderIconIndex();

// Copies image index of src into dst and returns the new index in dst (-1 if
// index is out of range): the colour is the image drawn onto white, the mask
// is the image's mask, both at dst's size.
int AddImageFromList(ImageList& dst, const ImageList& src, int index);

// The folder that stands in for the Windows system folder: the folder of the
// icon theme in use, which the "system" icon source below draws from. Empty
// when no theme folder is found.
QString GetSystemDir();

// Fills list with the standard icons of the system (devices, places, file
// types, by freedesktop names), always the same ones in the same order, at
// the list's size: the stand-in for the icons of SHELL32.DLL. Names the
// theme lacks are left out. Returns how many were added.
int AddSystemIcons(ImageList& list);

} // namespace qd
