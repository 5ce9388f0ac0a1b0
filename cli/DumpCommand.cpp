#include "Commands.h"
namespace qd::cli {
int runDump(const QStringList&) { return kUsage; }
int runLs(const QStringList&) { return kUsage; }
}
