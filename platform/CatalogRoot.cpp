#include "CatalogRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace qd {

namespace {

// An installed copy lives in <prefix>/bin beside <prefix>/share; the build
// tree (build/bin) and an unpacked copy have no share/ beside them.
bool installed(const QString& programFolder)
{
    const QDir folder(QDir::cleanPath(programFolder));
    return folder.dirName() == QLatin1String("bin") && QFileInfo(folder.filePath(QStringLiteral("../share"))).isDir();
}

} // namespace

QString CatalogRootFor(const QString& programFolder)
{
    // An installed program keeps the catalogs in the user's data folder even
    // when it runs as root and could write beside itself.
    if (!programFolder.isEmpty() && !installed(programFolder) &&
        ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0)
        return QDir::cleanPath(programFolder + QStringLiteral("/data"));
    // The generic data folder rather than the per-application one: the
    // windows and qdcat carry different application names and must still
    // share one root.
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QStringLiteral("/Qd/data"));
}

QString CatalogRoot()
{
    return CatalogRootFor(QCoreApplication::applicationDirPath());
}

} // namespace qd
