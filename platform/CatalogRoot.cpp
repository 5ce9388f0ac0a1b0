#include "CatalogRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace qd {

QString CatalogRootFor(const QString& programFolder)
{
    if (!programFolder.isEmpty() && ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0)
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
