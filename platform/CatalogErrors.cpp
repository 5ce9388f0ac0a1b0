#include "CatalogErrors.h"

#include "catalog/DiskFile.h"

namespace qd {

QString CatalogErrorText(const CatalogError& error)
{
    return QString::fromUtf8(error.what());
}

} // namespace qd
