#include "Listing.h"

#include <QFile>

#include "catalog/Cp932.h"
#include "catalog/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace qd {
namespace {

FolderDevice deviceOf(const struct statx& st)
{
    return {st.stx_dev_major, st.stx_dev_minor, st.stx_ino,
            (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (st.stx_attributes & STATX_ATTR_MOUNT_ROOT)};
}

// The folders that tests make out to be mount points.
std::vector<FolderDevice>& pretended()
{
    static std::vector<FolderDevice> folders;
    return folders;
}

} // namespace

bool OnOtherFileSystem(bool otherDevice, bool mountRootMark)
{
    return otherDevice || mountRootMark;
}

bool OnOtherFileSystem(const FolderDevice& base, const FolderDevice& folder)
{
    const auto same = [](const FolderDevice& a, const FolderDevice& b) { return a.major == b.major && a.minor == b.minor; };
    const bool pretend = std::any_of(pretended().begin(), pretended().end(), [&](const FolderDevice& p) {
        return same(p, folder) && p.inode == folder.inode;
    });
    return OnOtherFileSystem(pretend || !same(base, folder), folder.mountRoot);
}

std::optional<FolderDevice> FolderDeviceOf(int fd)
{
    struct statx st;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_INO, &st) != 0)
        return std::nullopt;
    return deviceOf(st);
}

void PretendOtherDevice(const std::vector<std::string>& nativePaths)
{
    pretended().clear();
    for (const std::string& path : nativePaths) {
        struct statx st;
        if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &st) == 0)
            pretended().push_back(deviceOf(st));
    }
}

ListStatus ListStatusFromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return ListStatus::NotFound;
    case ENOTDIR:
        return ListStatus::NotFolder;
    case EACCES:
    case EPERM:
        return ListStatus::Denied;
    default:
        return ListStatus::Failed;
    }
}

std::string EntryName(std::string_view nativeName, NameCounts& counts)
{
    cp932::Encoded encoded = cp932::fromUtf8(nativeName);
    if (encoded.substituted)
        ++counts.substituted;
    if (encoded.bytes.size() > kMaxEntryName) {
        encoded.bytes.resize(cp932::cutToBytes(encoded.bytes, kMaxEntryName).size());
        ++counts.cut;
    }
    return std::move(encoded.bytes);
}

FolderReader::FolderReader(const std::string& nativePath)
{
    // O_NOFOLLOW is not used: the folder handed in may itself be reached
    // through a link (a drive mapped to a link); links below it are never
    // walked because they are not listed as folders.
    UniqueFd owned(::open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!owned) {
        status_ = ListStatusFromErrno(errno);
        return;
    }
    open(std::move(owned));
}

FolderReader::FolderReader(UniqueFd folder)
{
    if (folder)
        open(std::move(folder));
}

void FolderReader::open(UniqueFd owned)
{
    dir_ = ::fdopendir(owned.get());
    if (!dir_) {
        status_ = ListStatusFromErrno(errno);
        return;
    }
    const int fd = owned.release(); // the stream owns it now
    status_ = ListStatus::Ok;
    device_ = FolderDeviceOf(fd);
}

FolderReader::~FolderReader()
{
    if (dir_)
        ::closedir(dir_);
}

bool FolderReader::next(DirEntry& entry)
{
    if (!dir_)
        return false;
    const int fd = ::dirfd(dir_);
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir_);
        if (!d) {
            if (errno != 0)
                status_ = ListStatusFromErrno(errno);
            ::closedir(dir_);
            dir_ = nullptr;
            nativeName_ = {};
            otherFileSystem_ = false;
            return false;
        }
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;

        struct statx st;
        bool examined = true;
        if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                    STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME, &st)
            != 0) {
            if (errno == ENOENT)
                continue; // removed since readdir saw it
            // The name is readable but the entry is not (a folder readable
            // without search permission): keep the entry with what the
            // folder itself says, its kind, rather than lose it.
            examined = false;
            st = {};
            st.stx_mode = d->d_type == DT_DIR ? S_IFDIR | S_IWUSR : d->d_type == DT_REG ? S_IFREG | S_IWUSR : S_IWUSR;
        }

        nativeName_ = name;
        entry.name = EntryName(nativeName_, counts_);

        const mode_t type = st.stx_mode & S_IFMT;
        std::uint32_t attr = 0;
        if (type == S_IFDIR)
            attr |= kAttrDirectory;
        else if (type == S_IFREG)
            attr |= kAttrArchive;
        if (!(st.stx_mode & S_IWUSR))
            attr |= kAttrReadOnly;
        if (name[0] == '.')
            attr |= kAttrHidden;
        entry.attr = attr;
        // The statx of a mount point describes the root of what is mounted
        // there: another device, or the mount-root mark for a bind mount.
        otherFileSystem_ = examined && type == S_IFDIR && device_ && OnOtherFileSystem(*device_, deviceOf(st));
        entry.size = type == S_IFREG ? std::uint32_t(st.stx_size) : 0;
        entry.creationTime = examined && (st.stx_mask & STATX_BTIME)
            ? UnixToFileTime(st.stx_btime.tv_sec, st.stx_btime.tv_nsec)
            : 0;
        entry.lastAccessTime = examined ? UnixToFileTime(st.stx_atime.tv_sec, st.stx_atime.tv_nsec) : 0;
        entry.lastWriteTime = examined ? UnixToFileTime(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec) : 0;
        return true;
    }
}

FolderListing ListFolder(const QString& path)
{
    FolderListing listing;
    FolderReader reader(QFile::encodeName(path).toStdString());
    DirEntry entry;
    while (reader.next(entry)) {
        listing.entries.push_back(entry);
        listing.nativeNames.emplace_back(reader.nativeName());
        listing.otherFileSystem.push_back(reader.onOtherFileSystem());
    }
    listing.status = reader.status();
    listing.counts = reader.counts();
    return listing;
}

} // namespace qd
