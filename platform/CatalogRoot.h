#pragma once

#include <QString>

namespace qd {

// The catalog root: the folder "data" beside the program file (the build tree,
// an unpacked copy); for an installed copy (in <prefix>/bin beside
// <prefix>/share), or a program folder that cannot be written, "Qd/data"
// under the user's data folder instead. The windows and qdcat both call this, so both
// find the same catalogs. The folder is not created here. No trailing "/".
QString CatalogRoot();

// The same rule for a program living in programFolder.
QString CatalogRootFor(const QString& programFolder);

} // namespace qd
