#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class QWidget;

namespace qd {

// File operations of the catalog store. Paths are the file system's bytes
// (see CatalogStore.h: a name need not be UTF-8); the QString forms take
// paths as Qt spells them and encode them as Qt does. None of these functions
// shows a message.

// Creates one folder; its parent must exist. False when it already exists or
// cannot be made.
bool CreateFolder(const QByteArray& path);
inline bool CreateFolder(const QString& path) { return CreateFolder(QFile::encodeName(path)); }

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolderPath(const QString& path);

// Renames or moves a file or folder within one file system. Never replaces:
// when `to` exists (file, folder or link) the rename fails and both stay as
// they were. On failure, *error (when given) receives the system's reason.
bool RenamePath(const QByteArray& from, const QByteArray& to, QString* error = nullptr);
inline bool RenamePath(const QString& from, const QString& to, QString* error = nullptr)
{
    return RenamePath(QFile::encodeName(from), QFile::encodeName(to), error);
}

// True when the path names a folder (a link to a folder counts).
bool DirectoryExists(const QByteArray& path);
inline bool DirectoryExists(const QString& path) { return DirectoryExists(QFile::encodeName(path)); }

// True when the path names something that is not a folder.
bool FileExists(const QByteArray& path);
inline bool FileExists(const QString& path) { return FileExists(QFile::encodeName(path)); }

// The path with every link and "." or ".." resolved (realpath); empty when it
// cannot be resolved (missing, a loop, no permission).
QByteArray ResolvedPath(const QByteArray& path);

// True when path resolves (links followed) to root itself or to something
// inside it; false when either cannot be resolved.
bool InsideFolder(const QByteArray& path, const QByteArray& root);

// Moves a file or a folder with everything inside it to the desktop trash
// (freedesktop layout: the home trash under $XDG_DATA_HOME, made when missing,
// or the trash of the file's own volume), asking nothing. The owner stands for
// the window the operation belongs to. Returns whether the item went to the
// trash; on failure *error (when given) receives the reason and the item is
// left where it was.
bool ShellDelete(QWidget* owner, const QByteArray& path, QString* error = nullptr);
inline bool ShellDelete(QWidget* owner, const QString& path, QString* error = nullptr)
{
    return ShellDelete(owner, QFile::encodeName(path), error);
}

} // namespace qd
