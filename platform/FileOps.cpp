#include "FileOps.h"

#include <QDir>

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qd {

namespace {

bool statPath(const QByteArray& path, struct stat& st)
{
    if (path.isEmpty())
        return false;
    return ::stat(path.constData(), &st) == 0;
}


void setError(QString* error, int err)
{
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

bool CreateFolder(const QByteArray& path)
{
    if (path.isEmpty())
        return false;
    return ::mkdir(path.constData(), 0777) == 0;
}

bool CreateFolderPath(const QString& path)
{
    if (path.isEmpty())
        return false;
    return QDir().mkpath(path) && DirectoryExists(path);
}

bool RenamePath(const QByteArray& src, const QByteArray& dst, QString* error)
{
    if (src.isEmpty() || dst.isEmpty()) {
        setError(error, ENOENT);
        return false;
    }
    // RENAME_NOREPLACE makes the "target exists" test and the rename one step,
    // so nothing that appears meanwhile is overwritten.
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS) {
        setError(error, err);
        return false;
    }
    // A file system without RENAME_NOREPLACE: test, then rename.
    struct stat st;
    if (::lstat(dst.constData(), &st) == 0) {
        setError(error, EEXIST);
        return false;
    }
    if (::rename(src.constData(), dst.constData()) != 0) {
        setError(error, errno);
        return false;
    }
    return true;
}

bool DirectoryExists(const QByteArray& path)
{
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool FileExists(const QByteArray& path)
{
    struct stat st;
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

QByteArray ResolvedPath(const QByteArray& path)
{
    char buffer[PATH_MAX];
    if (path.isEmpty() || !::realpath(path.constData(), buffer))
        return {};
    return QByteArray(buffer);
}

bool InsideFolder(const QByteArray& path, const QByteArray& root)
{
    const QByteArray r = ResolvedPath(root);
    const QByteArray p = ResolvedPath(path);
    if (r.isEmpty() || p.isEmpty())
        return false;
    return p == r || p.startsWith(r.endsWith('/') ? r : r + '/');
}

bool ShellDelete(QWidget* /*owner*/, const QByteArray& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, ENOENT);
        return false;
    }
    // GIO names the file by its bytes (Qt's trash takes text, which cannot
    // name a file whose name is not UTF-8) and makes the home trash when it is
    // missing, instead of falling back to a relative folder.
    GFile* file = g_file_new_for_path(path.constData());
    GError* failure = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &failure);
    if (!trashed && error)
        *error = failure ? QString::fromUtf8(failure->message) : QString::fromLocal8Bit(std::strerror(EIO));
    if (failure)
        g_error_free(failure);
    g_object_unref(file);
    return trashed;
}

} // namespace qd
