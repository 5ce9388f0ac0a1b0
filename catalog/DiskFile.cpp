#include "DiskFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Bmp.h"
#include "Cp932.h"

namespace qd {

static_assert(std::endian::native == std::endian::little, "the catalog format is little-endian");

namespace {

constexpr std::size_t kFolderFixed = 30; // bytes of a folder record besides name and comment
constexpr std::size_t kFileFixed = 38;   // the same for a file record
constexpr std::size_t kFileFixedTail = 33; // of which after the comment: attributes, three times, size, reserved

const char* const kMissingText = " 指定のファイルは存在しません。(5101)";
const char* const kWrongVersionText = "バージョン違いのファイルが指定されています。(5104)";
const char* const kWrongDataTypeText = "データタイプの指定エラーです。(5105)";

std::string errnoText(int err) { return std::strerror(err); }

std::string displayPath(const std::filesystem::path& p) { return p.string(); }

// Bounds-checked sequential reader over the file image.
class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    std::size_t offset() const { return pos_; }
    std::size_t left() const { return data_.size() - pos_; }

    [[noreturn, gnu::cold, gnu::noinline]] void damaged(std::size_t at, const std::string& what) const
    {
        throw CatalogError("The catalog file is damaged at offset " + std::to_string(at) + ": " + what + ".");
    }

    [[noreturn, gnu::cold, gnu::noinline]] void cutShort(std::size_t n, const char* what) const
    {
        damaged(pos_, std::string(what) + " needs " + std::to_string(n) + " bytes, the file has " +
                          std::to_string(left()) + " left");
    }

    std::string_view bytes(std::size_t n, const char* what)
    {
        if (n > left()) [[unlikely]]
            cutShort(n, what);
        std::string_view s(data_.data() + pos_, n);
        pos_ += n;
        return s;
    }

    template <typename T> T value(const char* what)
    {
        T v;
        std::memcpy(&v, bytes(sizeof(T), what).data(), sizeof(T));
        return v;
    }

    std::string_view string8(const char* what) { return bytes(value<std::uint8_t>(what), what); }
    std::string_view string16(const char* what) { return bytes(value<std::uint16_t>(what), what); }
    std::string_view string32(const char* what)
    {
        const auto n = value<std::int32_t>(what);
        if (n < 0) [[unlikely]]
            damaged(pos_ - 4, std::string(what) + " has the negative length " + std::to_string(n));
        return bytes(std::size_t(n), what);
    }

    // A count of records of at least minSize bytes each: one that the rest of
    // the file cannot hold is damage, so nothing is allocated for it.
    std::size_t count(std::size_t minSize, const char* what)
    {
        const std::size_t at = pos_;
        const auto n = value<std::int32_t>(what);
        if (n < 0 || std::size_t(n) > left() / minSize)
            damaged(at, std::string(what) + " " + std::to_string(n) + " does not fit the file");
        return std::size_t(n);
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

std::string iconBytes(Reader& r, const char* what)
{
    const std::size_t at = r.offset();
    std::string_view image = r.string16(what);
    if (!image.empty()) {
        std::string problem = BmpProblem(image);
        if (!problem.empty())
            throw CatalogError("The " + std::string(what) + " at offset " + std::to_string(at) +
                               " is not a valid BMP: " + problem + ".");
    }
    return std::string(image);
}

// The whole file in memory. A large catalog is mapped rather than read: the
// page cache's pages are mapped in one call instead of being copied into fresh
// memory, which costs far more than parsing them. Qd replaces catalogs by
// renaming a new file over them, so a mapping always sees one whole file.
class FileImage {
public:
    explicit FileImage(const std::filesystem::path& file);
    ~FileImage()
    {
        if (map_)
            ::munmap(map_, size_);
    }
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;
    std::string_view view() const { return {map_ ? static_cast<const char*>(map_) : owned_.get(), size_}; }

private:
    void read(int fd, std::size_t capacity, const std::filesystem::path& file);

    std::unique_ptr<char[]> owned_;
    void* map_ = nullptr;
    std::size_t size_ = 0;
};

FileImage::FileImage(const std::filesystem::path& file)
{
    constexpr std::size_t kMapFrom = 4 << 20;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CatalogError("Cannot open " + displayPath(file) + ": " + errnoText(errno));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && std::size_t(st.st_size) >= kMapFrom) {
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            map_ = p;
            size_ = std::size_t(st.st_size);
            ::close(fd);
            return;
        }
    }
    try {
        read(fd, regular && st.st_size > 0 ? std::size_t(st.st_size) : 0, file);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

// Reads to the end into a buffer that is not zero-filled first.
void FileImage::read(int fd, std::size_t capacity, const std::filesystem::path& file)
{
    owned_ = std::make_unique_for_overwrite<char[]>(capacity + 1);
    for (;;) {
        if (size_ == capacity + 1) { // the file grew, or its size was unknown
            const std::size_t bigger = capacity * 2 + 65536;
            auto grown = std::make_unique_for_overwrite<char[]>(bigger + 1);
            std::memcpy(grown.get(), owned_.get(), size_);
            owned_ = std::move(grown);
            capacity = bigger;
        }
        const ssize_t n = ::read(fd, owned_.get() + size_, capacity + 1 - size_);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw CatalogError("Cannot read " + displayPath(file) + ": " + errnoText(errno));
        }
        if (n == 0)
            return;
        size_ += std::size_t(n);
    }
}

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

[[noreturn]] void refuse(const std::string& what) { throw CatalogError("Cannot save the catalog: " + what + "."); }

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
            throw CatalogError("Cannot write " + displayPath(file) + ": " + errnoText(errno));
        }
        data.remove_prefix(std::size_t(n));
    }
}

} // namespace

LoadResult ParseDiskData(std::string_view data, TDisk& disk)
{
    disk.CountFolder = 0;
    // The records of the last load are taken aside and refilled in place: a
    // reload then reuses their storage instead of freeing and faulting in
    // tens of megabytes again. Their long names borrowed from the arena that
    // is cleared here; they are only ever overwritten, never read.
    std::vector<TDir> dirs = std::move(disk.DirList);
    disk.DirList.clear();
    disk.Strings.clear();

    Reader r(data);
    if (data.size() < kCatalogMagic.size() || data.substr(0, kCatalogMagic.size()) != kCatalogMagic)
        return {LoadStatus::WrongVersion, kWrongVersionText};
    r.bytes(kCatalogMagic.size(), "the magic");

    std::string image = iconBytes(r, "icon image");
    std::string mask = iconBytes(r, "icon mask");
    disk.IconImage = std::move(image);
    disk.IconMask = std::move(mask);
    if (r.value<std::uint8_t>("the data type") != 1)
        return {LoadStatus::WrongDataType, kWrongDataTypeText};

    disk.SerialNo = r.value<std::uint32_t>("the serial number");
    disk.VolumeLabel = std::string(r.string16("the volume label"));
    disk.TotalSize = r.value<std::int64_t>("the total size");
    disk.FreeSize = r.value<std::int64_t>("the free size");
    disk.Comment = std::string(r.string32("the disk comment"));
    disk.Reserved = r.value<std::uint8_t>("the reserved byte");
    const std::size_t folders = r.count(kFolderFixed, "the folder count");

    if (dirs.size() > folders)
        dirs.resize(folders);
    dirs.reserve(folders);
    for (std::size_t i = 0; i < folders; ++i) {
        TDir& dir = i < dirs.size() ? dirs[i] : dirs.emplace_back();
        dir.Name.assign(r.string8("a folder name"), disk.Strings);
        dir.Comment.assign(r.string32("a folder comment"), disk.Strings);
        const std::size_t parentAt = r.offset();
        dir.Parent = r.value<std::int32_t>("a folder's parent");
        if (i == 0 ? dir.Parent != -1 : (dir.Parent < 0 || std::size_t(dir.Parent) >= i))
            r.damaged(parentAt, "folder " + std::to_string(i) + " names the parent " + std::to_string(dir.Parent));
        dir.Attr = r.value<std::uint8_t>("a folder's attributes");
        dir.Date = r.value<double>("a folder's date");
        dir.ScanDate = r.value<double>("a folder's scan date");
        dir.Found = 0;
        const std::size_t files = r.count(kFileFixed, "a file count");
        dir.CountFile = std::int32_t(files);
        std::vector<TFile>& list = dir.FileList;
        if (list.size() > files)
            list.resize(files);
        list.reserve(files);
        for (std::size_t k = 0; k < files; ++k) {
            TFile& f = k < list.size() ? list[k] : list.emplace_back();
            f.Name.assign(r.string8("a file name"), disk.Strings);
            f.Comment.assign(r.string32("a file comment"), disk.Strings);
            // The fixed fields after the comment, checked once: the hot loop of a load.
            const char* fixed = r.bytes(kFileFixedTail, "a file's attributes, times and size").data();
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

LoadResult LoadDiskData(const std::filesystem::path& file, TDisk& disk)
{
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return {LoadStatus::Missing, std::string(kMissingText) + "\r\n" + displayPath(file)};
    const FileImage image(file);
    try {
        return ParseDiskData(image.view(), disk);
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

void SaveDiskData(const std::filesystem::path& pathWithoutExtension, const TDisk& disk)
{
    std::filesystem::path target = pathWithoutExtension;
    target += std::string(kCatalogExtension);
    SaveDiskFile(target, disk);
}

void SaveDiskFile(const std::filesystem::path& target, const TDisk& disk)
{
    const std::string data = BuildDiskData(disk);

    std::string tmpl = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw CatalogError("Cannot create " + displayPath(target) + ": " + errnoText(errno));
    try {
        // mkstemp makes the file private; a catalog gets the usual mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        writeAll(fd, data, target);
        if (::fsync(fd) != 0)
            throw CatalogError("Cannot write " + displayPath(target) + ": " + errnoText(errno));
        if (::close(fd) != 0)
            throw CatalogError("Cannot write " + displayPath(target) + ": " + errnoText(errno));
    } catch (...) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        throw;
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        throw CatalogError("Cannot replace " + displayPath(target) + ": " + errnoText(err));
    }
}

std::optional<CatalogHead> ReadCatalogHead(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CatalogError("Cannot open " + displayPath(file) + ": " + errnoText(errno));
    // A head with two 16 x 16 icons fits in the first block; read more only when
    // the icons are larger.
    std::string data;
    std::size_t got = 0;
    auto need = [&](std::size_t n) {
        while (got < n) {
            if (data.size() < n)
                data.resize(std::max<std::size_t>(n, 4096));
            const ssize_t r = ::read(fd, data.data() + got, data.size() - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                const int err = errno;
                ::close(fd);
                throw CatalogError("Cannot read " + displayPath(file) + ": " + errnoText(err));
            }
            if (r == 0)
                return false;
            got += std::size_t(r);
        }
        return true;
    };
    auto cut = [&](std::size_t at) {
        ::close(fd);
        throw CatalogError("The catalog file " + displayPath(file) + " ends inside its head at offset " +
                           std::to_string(at) + ".");
    };
    const std::size_t m = kCatalogMagic.size();
    if (!need(m) || std::string_view(data).substr(0, m) != kCatalogMagic) {
        ::close(fd);
        return std::nullopt;
    }
    CatalogHead head;
    std::size_t pos = m;
    for (std::string* icon : {&head.image, &head.mask}) {
        if (!need(pos + 2))
            cut(pos);
        const std::size_t n = (unsigned char)data[pos] | (unsigned char)data[pos + 1] << 8;
        pos += 2;
        if (!need(pos + n))
            cut(pos);
        icon->assign(data, pos, n);
        pos += n;
    }
    if (!need(pos + 1))
        cut(pos);
    head.dataType = (unsigned char)data[pos];
    ::close(fd);
    return head;
}

bool HasCatalogExtension(std::string_view name)
{
    if (name.size() < kCatalogExtension.size())
        return false;
    std::string_view ext = name.substr(name.size() - kCatalogExtension.size());
    return ext[0] == '.' && (ext[1] | 0x20) == 'q' && (ext[2] | 0x20) == 'd';
}

} // namespace qd
