#pragma once

#include <QString>

class QWidget;

namespace qd {

// File operations of the catalog store. Paths are local paths as Qt spells
// them ("/" separators); none of these functions shows a message.

// Creates one folder; its parent must exist. False when it already exists or
// cannot be made.
bool CreateFolder(const QString& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolderPath(const QString& path);

// Renames or moves a file or folder within one file system. Never replaces:
// when `to` exists (file, folder or link) the rename fails and both stay as
// they were. On failure, *error (when given) receives the system's reason.
bool RenamePath(const QString& from, const QString& to, QString* error = nullptr);

// True when the path names a folder (a link to a folder counts).
bool DirectoryExists(const QString& path);

// True when the path names something that is not a folder.
bool FileExists(const QString& path);

// Moves a file or a folder with everything inside it to the desktop trash,
// asking nothing. The owner stands for the window the operation belongs to.
// Returns whether the item went to the trash; on failure *error (when given)
// receives the reason and the item is left where it was.
bool ShellDelete(QWidget* owner, const QString& path, QString* error = nullptr);

} // namespace qd
