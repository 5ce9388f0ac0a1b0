#include "Logging.h"

namespace qd {

// Info and above by default, so that debug lines stay off until asked for.
Q_LOGGING_CATEGORY(lcCatalog, "qd.catalog", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDrives, "qd.drives", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWalk, "qd.walk", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTree, "qd.tree", QtInfoMsg)

} // namespace qd
