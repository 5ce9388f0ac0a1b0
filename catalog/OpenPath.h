#pragma once

#include <sys/types.h>

namespace qd {

// open(2) for a path of any length. A path longer than the system takes in
// one call (PATH_MAX) is opened a piece at a time, each piece below the
// folder of the one before (openat), which resolves exactly as one open of
// the whole path would: a catalog store nested thousands of folders deep is
// reached like any other. Returns the descriptor, or -1 with errno set.
int OpenPath(const char* path, int flags, mode_t mode = 0);

} // namespace qd
