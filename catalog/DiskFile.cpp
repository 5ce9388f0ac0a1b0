#include "DiskFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "CatalogImage.h"
#include "Cp932.h"
#include "UniqueFd.h"

namespace qd {

static_assert(std::endian::native == std::endian::little, "the catalog format is little-endian");

namespace {

using Code = CatalogError::Code;

template <typename T> void put(std::string& out, T v)
{
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.append(b, sizeof(T));
}

void putString8(std::string& out, std::string_view s)
{
    put<std::uint8_t>(out, std::uint8_t(s.size()));
    out.append(s);
}

void putString32(std::string& out, std::string_view s)
{
    put<std::int32_t>(out, std::int32_t(s.size()));
    out.append(s);
}

[[noreturn]] void refuse(const std::string& what)
{
    throw CatalogError(Code::TooLarge, {}, 0, 0, "Cannot save the catalog: " + what + ".");
}

void checkName(std::string_view name, const TDisk& disk, std::size_t folder, const char* kind)
{
    if (name.size() > 255)
        refuse(std::string("the name of a ") + kind + " in " + cp932::toUtf8(GetDirPath(std::int32_t(folder), disk)) +
               " is " + std::to_string(name.size()) + " bytes long, more than 255");
}

void checkComment(std::string_view comment)
{
    if (comment.size() > std::size_t(std::numeric_limits<std::int32_t>::max()))
        refuse("a comment is longer than 2147483647 bytes");
}

// Checks every limit of the format and returns the exact image size.
std::size_t checkedSize(const TDisk& disk)
{
    if (disk.IconImage.size() > 65535 || disk.IconMask.size() > 65535)
        refuse("an icon image is longer than 65535 bytes");
    if (disk.VolumeLabel.size() > 65535)
        refuse("the volume label is " + std::to_string(disk.VolumeLabel.size()) + " bytes long, more than 65535");
    checkComment(disk.Comment);
    constexpr auto kMaxCount = std::size_t(std::numeric_limits<std::int32_t>::max());
    if (disk.DirList.size() > kMaxCount)
        refuse("too many folders");
    std::size_t size = 41 + disk.IconImage.size() + disk.IconMask.size() + disk.VolumeLabel.size() + disk.Comment.size();
    for (std::size_t i = 0; i < disk.DirList.size(); ++i) {
        const TDir& dir = disk.DirList[i];
        checkName(dir.Name, disk, i, "folder");
        checkComment(dir.Comment);
        if (dir.FileList.size() > kMaxCount)
            refuse("too many files in one folder");
        size += kFolderFixed + dir.Name.size() + dir.Comment.size();
        for (const TFile& f : dir.FileList) {
            checkName(f.Name, disk, i, "file");
            checkComment(f.Comment);
            size += kFileFixed + f.Name.size() + f.Comment.size();
        }
    }
    return size;
}

void writeAll(int fd, std::string_view data, const std::filesystem::path& file)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailCatalogErrno(Code::Write, file, "Cannot write", errno);
        }
        data.remove_prefix(std::size_t(n));
    }
}

constexpr std::string_view kLeftoverPrefix = ".qdtmp.";
constexpr std::size_t kLeftoverRandom = 6; // the XXXXXX of mkstemp

// The temporary file of a save, removed again unless it was put in place.
class TempFile {
public:
    TempFile(const std::filesystem::path& folder, const std::filesystem::path& target)
        : path_(folder / (std::string(kLeftoverPrefix) + std::string(kLeftoverRandom, 'X')))
    {
        std::string name = path_.native();
        fd_.reset(::mkstemp(name.data()));
        if (!fd_)
            FailCatalogErrno(Code::Create, target, "Cannot create a file beside", errno);
        path_ = name;
    }
    ~TempFile()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_.get(); }
    const std::filesystem::path& path() const { return path_; }
    int close() { return fd_.close(); }
    void keep() { path_.clear(); }

private:
    std::filesystem::path path_;
    UniqueFd fd_;
};

// Where a save puts its image: the file itself, or the file a symbolic link
// leads to; and what is there now.
struct SaveTarget {
    std::filesystem::path path;
    bool exists = false;
    struct stat st {};
};

SaveTarget resolveTarget(const std::filesystem::path& file, SaveMode mode)
{
    SaveTarget t{file};
    struct stat link {};
    if (::lstat(file.c_str(), &link) != 0) {
        if (errno != ENOENT)
            FailCatalogErrno(Code::Open, file, "Cannot examine", errno);
        if (mode == SaveMode::ReplaceExisting)
            FailCatalogFile(Code::Vanished, file, ENOENT, DisplayPath(file) + " does not exist any more.");
        return t;
    }
    if (mode == SaveMode::CreateNew)
        FailCatalogFile(Code::Exists, file, EEXIST, DisplayPath(file) + " exists already.");
    if (S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(file.c_str(), resolved))
            FailCatalogErrno(mode == SaveMode::ReplaceExisting ? Code::Vanished : Code::Open, file, "Cannot follow", errno);
        t.path = resolved;
    }
    if (::stat(t.path.c_str(), &t.st) != 0)
        FailCatalogErrno(Code::Open, file, "Cannot examine", errno);
    if (!S_ISREG(t.st.st_mode))
        FailCatalogFile(Code::NotRegular, file, 0, DisplayPath(file) + " is not a regular file.");
    // Writing in place would be refused: so is the replacement. The owner's
    // write bit counts as well as access(), which lets root write anything.
    if (!(t.st.st_mode & S_IWUSR) || ::access(t.path.c_str(), W_OK) != 0)
        FailCatalogFile(Code::ReadOnly, file, EACCES, "Cannot replace " + DisplayPath(file) + ": it is read-only.");
    t.exists = true;
    return t;
}

// Puts the finished temporary file in place as mode asks, without a window
// in which another file could be replaced or a missing one created.
void putInPlace(TempFile& tmp, const SaveTarget& target, SaveMode mode, const std::filesystem::path& file)
{
    const char* from = tmp.path().c_str();
    const char* to = target.path.c_str();
    int r = -1;
    if (mode == SaveMode::CreateNew) {
        r = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without RENAME_NOREPLACE: a hard link fails as well
            // when the name is taken; one without hard links leaves only a test.
            r = ::link(from, to);
            if (r == 0) {
                ::unlink(from);
            } else if (errno == EPERM || errno == EOPNOTSUPP) {
                struct stat st {};
                if (::lstat(to, &st) == 0)
                    FailCatalogFile(Code::Exists, file, EEXIST, DisplayPath(file) + " exists already.");
                r = ::rename(from, to);
            }
        }
        if (r != 0 && errno == EEXIST)
            FailCatalogFile(Code::Exists, file, EEXIST, DisplayPath(file) + " exists already.");
    } else if (mode == SaveMode::ReplaceExisting) {
        // Exchanging fails when the catalog has gone; the old image then sits
        // under the temporary name and goes with it.
        r = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            struct stat st {};
            if (::stat(to, &st) != 0)
                FailCatalogFile(Code::Vanished, file, ENOENT, DisplayPath(file) + " does not exist any more.");
            r = ::rename(from, to);
            if (r == 0)
                tmp.keep();
        }
        if (r != 0 && errno == ENOENT)
            FailCatalogFile(Code::Vanished, file, ENOENT, DisplayPath(file) + " does not exist any more.");
        if (r == 0)
            return; // the temporary file now holds the old image and is removed
    } else {
        r = ::rename(from, to);
    }
    if (r != 0)
        FailCatalogErrno(Code::Replace, file, "Cannot replace", errno);
    tmp.keep();
}

FileStamp stampOf(const struct stat& st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
}

// Makes the rename itself durable.
void syncFolder(const std::filesystem::path& folder)
{
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
}

} // namespace

LoadResult ParseDiskData(std::string_view data, TDisk& disk)
{
    disk.CountFolder = 0;
    // The records of the last load are taken aside and refilled in place: a
    // reload then reuses their memory instead of taking and faulting in tens
    // of megabytes again. Their long names lived in Strings, which starts
    // afresh here; they are only ever overwritten, never read. A list that
    // must grow leaves its old memory unused in Records; once half of Records
    // is unused, or the records were not made by a load, they are dropped and
    // Records starts afresh too.
    RecordArena& records = disk.Records.get();
    RecordArena& strings = disk.Strings.get();
    TDirList dirs = std::move(disk.DirList);
    disk.DirList.clear();
    strings.reset();
    if (dirs.get_allocator().arena() != &records || records.unused() * 2 > records.handedOut()) {
        dirs = TDirList(RecordAllocator<TDir>(&records)); // the old records go before their memory does
        records.reset();
    }

    // Every name and comment of a record read whole is followed by at least
    // 16 bytes of it (a folder's comment by its parent, attributes, dates and
    // file count), as assignFromImage needs.
    static_assert(kFolderFixed - 1 - 4 >= 16 && kFileFixedTail >= 16);
    CatalogReader r(data);
    CatalogHeadFields head;
    const LoadResult status = ReadCatalogHeadFields(r, head);
    if (status.status == LoadStatus::WrongVersion)
        return status;
    disk.IconImage = std::string(head.image);
    disk.IconMask = std::string(head.mask);
    if (!status.ok())
        return status;

    disk.SerialNo = head.serialNo;
    disk.VolumeLabel = std::string(head.volumeLabel);
    disk.TotalSize = head.totalSize;
    disk.FreeSize = head.freeSize;
    disk.Comment = std::string(head.comment);
    disk.Reserved = head.reserved;
    const std::size_t folders = head.folders;

    if (dirs.size() > folders)
        dirs.resize(folders);
    dirs.reserve(folders);
    for (std::size_t i = 0; i < folders; ++i) {
        TDir& dir = i < dirs.size() ? dirs[i] : dirs.emplace_back();
        const FolderRecord record = ReadFolderRecord(r, i);
        dir.Name.assignFromImage(record.name, strings);
        dir.Comment.assignFromImage(record.comment, strings);
        dir.Parent = record.parent;
        dir.Attr = record.attr;
        dir.Date = record.date;
        dir.ScanDate = record.scanDate;
        dir.Found = 0;
        const std::size_t files = record.files;
        dir.CountFile = std::int32_t(files);
        TFileList& list = dir.FileList;
        if (list.get_allocator().arena() != &records) // a folder new to these records
            list = TFileList(RecordAllocator<TFile>(&records));
        if (list.size() > files)
            list.resize(files);
        list.reserve(files);
        for (std::size_t k = 0; k < files; ++k) {
            TFile& f = k < list.size() ? list[k] : list.emplace_back();
            // The hot loop of a load: the fixed fields after the comment are checked once.
            const FileRecord record = ReadFileRecord(r);
            f.Name.assignFromImage(record.name, strings);
            f.Comment.assignFromImage(record.comment, strings);
            const char* fixed = record.fixed;
            f.Attr = std::uint8_t(fixed[0]);
            std::memcpy(&f.CreationTime, fixed + 1, 8);
            std::memcpy(&f.LastWriteTime, fixed + 9, 8);
            std::memcpy(&f.LastAccessTime, fixed + 17, 8);
            std::memcpy(&f.Size, fixed + 25, 4);
            std::memcpy(&f.Reserved, fixed + 29, 4);
            f.IconIndex = -1;
            f.Found = 0;
        }
    }
    disk.CountFolder = std::int32_t(folders);
    disk.DirList = std::move(dirs);
    return {};
}

std::optional<FileStamp> CurrentStamp(const std::filesystem::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

LoadResult LoadDiskData(const std::filesystem::path& file, TDisk& disk, FileStamp* loaded)
{
    try {
        struct stat st {};
        const LoadResult r =
            ReadCatalogFile(file, [&disk](std::string_view data) { return ParseDiskData(data, disk); }, nullptr, &st);
        if (loaded && r.ok())
            *loaded = stampOf(st);
        return r;
    } catch (...) {
        disk.CountFolder = 0;
        disk.DirList.clear();
        throw;
    }
}

std::string BuildDiskData(const TDisk& disk)
{
    std::string out;
    out.reserve(checkedSize(disk));
    out.append(kCatalogMagic);
    put<std::uint16_t>(out, std::uint16_t(disk.IconImage.size()));
    out.append(disk.IconImage);
    put<std::uint16_t>(out, std::uint16_t(disk.IconMask.size()));
    out.append(disk.IconMask);
    put<std::uint8_t>(out, 1);
    put<std::uint32_t>(out, disk.SerialNo);
    put<std::uint16_t>(out, std::uint16_t(disk.VolumeLabel.size()));
    out.append(disk.VolumeLabel);
    put<std::int64_t>(out, disk.TotalSize);
    put<std::int64_t>(out, disk.FreeSize);
    putString32(out, disk.Comment);
    put<std::uint8_t>(out, disk.Reserved);
    put<std::int32_t>(out, std::int32_t(disk.DirList.size()));
    for (const TDir& dir : disk.DirList) {
        putString8(out, dir.Name);
        putString32(out, dir.Comment);
        put<std::int32_t>(out, dir.Parent);
        put<std::uint8_t>(out, dir.Attr);
        put<double>(out, dir.Date);
        put<double>(out, dir.ScanDate);
        put<std::int32_t>(out, std::int32_t(dir.FileList.size()));
        for (const TFile& f : dir.FileList) {
            putString8(out, f.Name);
            putString32(out, f.Comment);
            put<std::uint8_t>(out, f.Attr);
            put<double>(out, f.CreationTime);
            put<double>(out, f.LastWriteTime);
            put<double>(out, f.LastAccessTime);
            put<std::uint32_t>(out, f.Size);
            put<std::uint32_t>(out, f.Reserved);
        }
    }
    return out;
}

void SaveDiskData(const std::filesystem::path& pathWithoutExtension, const TDisk& disk, SaveMode mode)
{
    std::filesystem::path target = pathWithoutExtension;
    target += std::string(kCatalogExtension);
    SaveDiskFile(target, disk, mode);
}

FileStamp SaveDiskFile(const std::filesystem::path& file, const TDisk& disk, SaveMode mode)
{
    const std::string data = BuildDiskData(disk);
    const SaveTarget target = resolveTarget(file, mode);
    const std::filesystem::path folder = target.path.has_parent_path() ? target.path.parent_path() : ".";

    TempFile tmp(folder, file);
    if (target.exists) {
        ::fchmod(tmp.fd(), target.st.st_mode & 07777);
        // Only a privileged process may give a file away; a group it belongs
        // to is still worth keeping when the owner cannot be.
        if (::fchown(tmp.fd(), target.st.st_uid, target.st.st_gid) != 0)
            (void)::fchown(tmp.fd(), uid_t(-1), target.st.st_gid);
    } else {
        // mkstemp makes the file private; a new catalog gets the usual mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(tmp.fd(), 0666 & ~mask);
    }
    writeAll(tmp.fd(), data, file);
    struct stat written {};
    if (::fsync(tmp.fd()) != 0 || ::fstat(tmp.fd(), &written) != 0 || tmp.close() != 0)
        FailCatalogErrno(Code::Write, file, "Cannot write", errno);
    putInPlace(tmp, target, mode, file);
    syncFolder(folder);
    return stampOf(written); // the rename keeps the inode, its size and its time
}

bool IsSaveLeftover(std::string_view name)
{
    return name.size() == kLeftoverPrefix.size() + kLeftoverRandom && name.substr(0, kLeftoverPrefix.size()) == kLeftoverPrefix;
}

namespace {

// Reads a catalog's head from its start: the icons (kept only when asked for),
// the data type byte and, for data type 1 when asked for, the serial number.
// A head with two 16 x 16 icons fits in the first block; more is read only
// when the icons are larger. nullopt when the file lacks the magic.
struct HeadRead {
    CatalogHead head;
    std::optional<std::uint32_t> serialNo;
};
// Whether the serial number is read: not at all, as part of the head (a head
// that ends before it is damaged), or when the file holds it.
enum class HeadSerial { Skip, Required, IfPresent };

std::optional<HeadRead> readHead(const UniqueFd& fd, const std::filesystem::path& file, bool keepIcons, HeadSerial toSerial)
{
    std::string data;
    std::size_t got = 0;
    auto need = [&](std::size_t n) {
        while (got < n) {
            if (data.size() < n)
                data.resize(std::max<std::size_t>(n, 4096));
            const ssize_t r = ::read(fd.get(), data.data() + got, data.size() - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                FailCatalogErrno(Code::Read, file, "Cannot read", errno);
            if (r == 0)
                return false;
            got += std::size_t(r);
        }
        return true;
    };
    auto cut = [&](std::size_t at) {
        throw CatalogError(Code::Damaged, file.native(), 0, at,
                           "The catalog file " + DisplayPath(file) + " ends inside its head at offset " +
                               std::to_string(at) + ".");
    };
    const std::size_t m = kCatalogMagic.size();
    if (!need(m) || std::string_view(data).substr(0, m) != kCatalogMagic)
        return std::nullopt;
    HeadRead read;
    std::size_t pos = m;
    for (std::string* icon : {&read.head.image, &read.head.mask}) {
        if (!need(pos + 2))
            cut(pos);
        const std::size_t n = (unsigned char)data[pos] | (unsigned char)data[pos + 1] << 8;
        pos += 2;
        if (!need(pos + n))
            cut(pos);
        if (keepIcons)
            icon->assign(data, pos, n);
        pos += n;
    }
    if (!need(pos + 1))
        cut(pos);
    read.head.dataType = (unsigned char)data[pos++];
    if (toSerial != HeadSerial::Skip && read.head.dataType == 1) {
        if (!need(pos + 4)) {
            if (toSerial == HeadSerial::IfPresent)
                return read;
            cut(pos);
        }
        std::uint32_t serial;
        std::memcpy(&serial, data.data() + pos, 4);
        read.serialNo = serial;
    }
    return read;
}

} // namespace

std::optional<CatalogHead> ReadCatalogHead(const std::filesystem::path& file)
{
    struct stat st {};
    const UniqueFd fd = OpenCatalogFile(file, st);
    // The serial number lies in the same block: the tree keeps it for the
    // quick look at a disk put in, at no cost.
    std::optional<HeadRead> read = readHead(fd, file, true, HeadSerial::IfPresent);
    if (!read)
        return std::nullopt;
    read->head.serialNo = read->serialNo;
    return std::move(read->head);
}

CatalogSerial ReadCatalogSerial(const std::filesystem::path& file)
{
    CatalogSerial out;
    struct stat st {};
    const UniqueFd fd = OpenCatalogIfPresent(file, st);
    if (!fd) {
        out.load = MissingCatalog(file);
        return out;
    }
    const std::optional<HeadRead> read = readHead(fd, file, false, HeadSerial::Required);
    if (!read) {
        out.load = WrongVersionCatalog();
        return out;
    }
    out.dataType = read->head.dataType;
    if (!read->serialNo) {
        out.load = WrongDataTypeCatalog();
        return out;
    }
    out.serialNo = *read->serialNo;
    return out;
}

bool HasCatalogExtension(std::string_view name)
{
    if (name.size() < kCatalogExtension.size())
        return false;
    std::string_view ext = name.substr(name.size() - kCatalogExtension.size());
    return ext[0] == '.' && (ext[1] | 0x20) == 'q' && (ext[2] | 0x20) == 'd';
}

std::string_view CatalogTitle(std::string_view name)
{
    return HasCatalogExtension(name) ? name.substr(0, name.size() - kCatalogExtension.size()) : name;
}

std::string CatalogFileName(std::string_view title)
{
    return std::string(title) + std::string(kCatalogExtension);
}

} // namespace qd
