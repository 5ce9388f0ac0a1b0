#include "RealFolder.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unordered_map>

#include "Drives.h"
#include "catalog/Cp932.h"

namespace qd {
namespace {

// The real entries of one folder that have a given record name, by kind,
// and the name the record stands for exactly (its bytes decoded).
struct Matches {
    std::string exact;
    std::vector<std::string> folders;
    std::vector<std::string> others; // files, links and anything else
};

// The one real name of the kind that the record stands for; nullopt when
// none or several have its record name, or the one that has it is not the
// record decoded: a name whose record lost characters ("?" for an emoji, a
// cut, ¥ kept as a backslash) might as well be another that came since.
std::optional<std::string> exactly(const Matches& m, const std::vector<std::string>& kind)
{
    if (kind.size() != 1 || kind[0] != m.exact)
        return std::nullopt;
    return kind[0];
}

bool isFolder(int fd, const dirent& d)
{
    if (d.d_type != DT_UNKNOWN)
        return d.d_type == DT_DIR;
    struct stat st {};
    return ::fstatat(fd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// One listing of the folder open at fd (which stays open and unread): the
// entries whose record names are among records. status tells a folder that
// cannot be listed (or not to its end).
std::unordered_map<std::string, Matches> matchEntries(int fd, const std::vector<std::string_view>& records,
                                                      ListStatus& status)
{
    std::unordered_map<std::string, Matches> found;
    for (std::string_view r : records)
        found.try_emplace(std::string(r), Matches{cp932::toUtf8(r), {}, {}});
    UniqueFd own(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = own ? ::fdopendir(own.get()) : nullptr;
    if (!dir) {
        status = ListStatusFromErrno(errno);
        return {};
    }
    own.release(); // the stream owns it now
    NameCounts counts;
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (!d)
            break;
        const std::string_view name = d->d_name;
        if (name == "." || name == "..")
            continue;
        const auto it = found.find(EntryName(name, counts));
        if (it == found.end())
            continue;
        (isFolder(fd, *d) ? it->second.folders : it->second.others).emplace_back(name);
    }
    status = errno != 0 ? ListStatusFromErrno(errno) : ListStatus::Ok;
    ::closedir(dir);
    return found;
}

} // namespace

RealFolder FindRealFolder(const TDisk& disk, std::int32_t folder)
{
    RealFolder real;
    // The records from the folder up to the root; a chain longer than the
    // list has a loop, and one that does not end at the root is damaged.
    const std::size_t count = disk.DirList.size();
    std::vector<std::int32_t> chain;
    for (std::int32_t i = folder; i >= 0 && std::size_t(i) < count && chain.size() <= count;
         i = disk.DirList[std::size_t(i)].Parent)
        chain.push_back(i);
    if (chain.empty() || chain.size() > count || chain.back() != 0 || disk.DirList[0].Parent != -1)
        return real;
    const std::string_view drive = disk.DirList[0].Name.view();
    const std::optional<QChar> letter = DriveLetterOfPath(drive);
    if (!letter || drive.size() != 2 || drive[1] != ':')
        return real;
    real.letter = *letter;
    const std::optional<QString> root = CurrentRoot(*letter);
    if (!root)
        return real;
    // The root itself may be reached through a link (a drive mapped to one).
    UniqueFd fd(::open(QFile::encodeName(*root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::optional<FolderDevice> base = fd ? FolderDeviceOf(fd.get()) : std::nullopt;
    if (!base) {
        real.status = ListStatusFromErrno(errno);
        return real;
    }
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
        const std::string_view record = disk.DirList[std::size_t(*it)].Name.view();
        ListStatus listed = ListStatus::Ok;
        const Matches matches = matchEntries(fd.get(), {record}, listed)[std::string(record)];
        if (listed != ListStatus::Ok) {
            real.status = listed;
            return real;
        }
        const std::optional<std::string> name = exactly(matches, matches.folders);
        if (!name) {
            real.status = matches.folders.size() > 1 ? ListStatus::Ambiguous
                          : matches.folders.empty() && !matches.others.empty() ? ListStatus::NotFolder
                                                                                : ListStatus::NotFound;
            return real;
        }
        // Replaced by a link since it was listed: still no folder.
        UniqueFd next(::openat(fd.get(), name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            real.status = errno == ELOOP ? ListStatus::NotFolder : ListStatusFromErrno(errno);
            return real;
        }
        const std::optional<FolderDevice> device = FolderDeviceOf(next.get());
        if (!device) {
            real.status = ListStatusFromErrno(errno);
            return real;
        }
        if (OnOtherFileSystem(*base, *device)) {
            real.status = ListStatus::OtherFileSystem;
            return real;
        }
        real.names.push_back(*name);
        fd = std::move(next);
    }
    real.fd = std::move(fd);
    real.status = ListStatus::Ok;
    return real;
}

std::vector<std::optional<std::string>> FindRealEntries(int fd, const std::vector<EntryQuery>& queries)
{
    std::vector<std::string_view> records;
    records.reserve(queries.size());
    for (const EntryQuery& q : queries)
        records.push_back(q.record);
    ListStatus listed = ListStatus::Ok;
    const std::unordered_map<std::string, Matches> found = matchEntries(fd, records, listed);
    std::vector<std::optional<std::string>> names(queries.size());
    if (listed != ListStatus::Ok)
        return names;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const Matches& m = found.at(std::string(queries[i].record));
        names[i] = exactly(m, queries[i].folder ? m.folders : m.others);
    }
    return names;
}

} // namespace qd
