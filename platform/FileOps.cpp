#include "FileOps.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qd {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool statPath(const QString& path, struct stat& st)
{
    if (path.isEmpty())
        return false;
    return ::stat(native(path).constData(), &st) == 0;
}

void setError(QString* error, int err)
{
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

bool CreateFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    return ::mkdir(native(path).constData(), 0777) == 0;
}

bool CreateFolderPath(const QString& path)
{
    if (path.isEmpty())
        return false;
    return QDir().mkpath(path) && DirectoryExists(path);
}

bool RenamePath(const QString& from, const QString& to, QString* error)
{
    if (from.isEmpty() || to.isEmpty()) {
        setError(error, ENOENT);
        return false;
    }
    const QByteArray src = native(from);
    const QByteArray dst = native(to);
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

bool DirectoryExists(const QString& path)
{
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool FileExists(const QString& path)
{
    struct stat st;
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

bool ShellDelete(QWidget* /*owner*/, const QString& path, QString* error)
{
    if (path.isEmpty()) {
        setError(error, ENOENT);
        return false;
    }
    QFile item(path);
    if (item.moveToTrash())
        return true;
    if (error)
        *error = item.errorString();
    return false;
}

} // namespace qd
