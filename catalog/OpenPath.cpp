#include "OpenPath.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>

#include "UniqueFd.h"

namespace qd {

int OpenPath(const char* path, int flags, mode_t mode)
{
    std::size_t length = std::strlen(path);
    if (length < PATH_MAX)
        return ::open(path, flags, mode);
    UniqueFd at;
    std::string piece;
    const char* rest = path;
    while (length >= PATH_MAX) {
        // The longest run of whole names that one call takes; a single name
        // longer than that is no name the file system holds.
        std::size_t cut = PATH_MAX - 1;
        while (cut > 0 && rest[cut] != '/')
            --cut;
        if (cut == 0) {
            errno = ENAMETOOLONG;
            return -1;
        }
        piece.assign(rest, cut);
        const int dir = ::openat(at ? at.get() : AT_FDCWD, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return -1;
        at.reset(dir);
        while (rest[cut] == '/')
            ++cut;
        rest += cut;
        length -= cut;
    }
    return ::openat(at.get(), length ? rest : ".", flags, mode);
}

} // namespace qd
