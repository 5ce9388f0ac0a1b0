#include "CatalogLock.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

#include "CatalogImage.h"

namespace qd {
namespace {

using Code = CatalogError::Code;
using Clock = std::chrono::steady_clock;

// The folder a save of file writes into: that of the link's target for a link.
std::filesystem::path folderOf(const std::filesystem::path& file)
{
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(file.c_str(), resolved))
            return std::filesystem::path(resolved).parent_path();
    }
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// Whether fcntl's error says that another holds the lock, rather than that
// the file system keeps no locks.
bool heldByAnother(int err) { return err == EAGAIN || err == EACCES; }

// Takes the lock on fd; subject names the catalog (or folder) in the message.
void lock(int fd, CatalogLock::Wait wait, const std::filesystem::path& subject)
{
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from the start to the end, whatever the size
    const bool forever = wait < CatalogLock::Wait::zero();
    const Clock::time_point until = Clock::now() + (forever ? CatalogLock::Wait::zero() : wait);
    auto pause = std::chrono::milliseconds(5);
    for (;;) {
        if (::fcntl(fd, forever ? F_OFD_SETLKW : F_OFD_SETLK, &whole) == 0)
            return;
        const int err = errno;
        if (err == EINTR)
            continue;
        if (!heldByAnother(err))
            return; // no locks here (ENOLCK, EINVAL, EOPNOTSUPP): go on without
        if (Clock::now() >= until)
            FailCatalogFile(Code::Busy, subject, err, DisplayPath(subject) + " is in use by another program.");
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

UniqueFd openLockFile(const std::filesystem::path& folder)
{
    const std::filesystem::path file = folder / kLockFileName;
    // The lock file is shared by every writer of the folder: the usual mode,
    // as a new catalog gets, so that whoever may write catalogs may lock it.
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666));
    if (!fd)
        FailCatalogErrno(Code::Create, file, "Cannot create", errno);
    return fd;
}

} // namespace

CatalogLock CatalogLock::forCatalog(const std::filesystem::path& file, Wait wait)
{
    UniqueFd fd = openLockFile(folderOf(file));
    lock(fd.get(), wait, file);
    return CatalogLock(std::move(fd));
}

CatalogLock CatalogLock::forFolder(const std::filesystem::path& folder, Wait wait)
{
    UniqueFd fd = openLockFile(folder);
    lock(fd.get(), wait, folder);
    return CatalogLock(std::move(fd));
}

std::vector<CatalogLock> CatalogLock::forTree(const std::filesystem::path& folder, Wait wait)
{
    std::vector<CatalogLock> locks;
    const auto take = [&](const std::filesystem::path& f) {
        try {
            locks.push_back(forFolder(f, wait));
        } catch (const CatalogError& e) {
            // Only a folder nobody may write in is passed over: one left
            // without its lock for want of descriptors or room would be
            // moved or removed while a writer saves in it.
            const int err = e.systemError();
            if (e.code() != Code::Create || (err != EACCES && err != EPERM && err != EROFS))
                throw;
        }
    };
    take(folder);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             folder, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code entry; // an entry that cannot be examined does not end the walk
        if (!it->is_symlink(entry) && it->is_directory(entry))
            take(it->path());
    }
    // A walk cut short would leave the folders after it unguarded.
    if (ec)
        FailCatalogErrno(Code::Open, folder, "Cannot list", ec.value());
    return locks;
}

} // namespace qd
