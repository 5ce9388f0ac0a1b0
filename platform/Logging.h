#pragma once

#include <QLoggingCategory>

namespace qd {

// Traces of what the program passes over on purpose, where it goes on
// without a word to the user. Off by default; on with the usual rules, e.g.
// QT_LOGGING_RULES="qd.walk.debug=true" or "qd.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcCatalog) // qd.catalog: catalog files and the catalog store
Q_DECLARE_LOGGING_CATEGORY(lcDrives)  // qd.drives: the drive table and volume probes
Q_DECLARE_LOGGING_CATEGORY(lcWalk)    // qd.walk: the scanner's walk of a drive
Q_DECLARE_LOGGING_CATEGORY(lcTree)    // qd.tree: the catalog tree

} // namespace qd
