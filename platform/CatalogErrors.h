#pragma once

#include <QString>

namespace qd {

class CatalogError;

// The text a window shows for a catalog file that cannot be read or written:
// what went wrong, the file, the byte offset of damage and the system's reason.
QString CatalogErrorText(const CatalogError& error);

} // namespace qd
