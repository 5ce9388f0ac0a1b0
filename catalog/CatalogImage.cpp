#include "CatalogImage.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Bmp.h"
#include "OpenPath.h"

namespace qd {
namespace {

const char* const kMissingText = " 指定のファイルは存在しません。(5101)";
const char* const kWrongVersionText = "バージョン違いのファイルが指定されています。(5104)";
const char* const kWrongDataTypeText = "データタイプの指定エラーです。(5105)";

using Code = CatalogError::Code;

std::string_view iconBytes(CatalogReader& r, const char* what)
{
    const std::size_t at = r.offset();
    std::string_view image = r.string16(what);
    if (!image.empty()) {
        std::string problem = BmpProblem(image);
        if (!problem.empty())
            throw CatalogError(Code::BadIcon, {}, 0, at,
                               "The " + std::string(what) + " at offset " + std::to_string(at) +
                                   " is not a valid BMP: " + problem + ".");
    }
    return image;
}

// The whole file in memory. A large catalog is mapped rather than read: the
// page cache's pages are mapped in one call instead of being copied into fresh
// memory, which costs far more than parsing them. Qd replaces catalogs by
// renaming a new file over them, so a mapping always sees one whole file.
class FileImage {
public:
    // fd is an open catalog (OpenCatalogFile) and st its status.
    FileImage(int fd, const struct stat& st, const std::filesystem::path& file, ImageBuffer& buffer);
    ~FileImage()
    {
        if (map_)
            ::munmap(map_, size_);
    }
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;
    std::string_view view() const { return {map_ ? static_cast<const char*>(map_) : buffer_.data.get(), size_}; }

private:
    void read(int fd, std::size_t expected, const std::filesystem::path& file);

    ImageBuffer& buffer_;
    void* map_ = nullptr;
    std::size_t size_ = 0;
};

FileImage::FileImage(int fd, const struct stat& st, const std::filesystem::path& file, ImageBuffer& buffer)
    : buffer_(buffer)
{
    constexpr std::size_t kMapFrom = 4 << 20;
    if (std::size_t(st.st_size) >= kMapFrom) {
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            map_ = p;
            size_ = std::size_t(st.st_size);
            return;
        }
    }
    read(fd, st.st_size > 0 ? std::size_t(st.st_size) : 0, file);
}

// Reads to the end into the buffer, which is not zero-filled first and grows
// only when the file does not fit.
void FileImage::read(int fd, std::size_t expected, const std::filesystem::path& file)
{
    auto grow = [&](std::size_t capacity) {
        auto grown = std::make_unique_for_overwrite<char[]>(capacity + 1);
        if (size_)
            std::memcpy(grown.get(), buffer_.data.get(), size_);
        buffer_.data = std::move(grown);
        buffer_.capacity = capacity;
    };
    if (!buffer_.data || buffer_.capacity < expected)
        grow(expected);
    for (;;) {
        if (size_ == buffer_.capacity + 1) // the file grew, or its size was unknown
            grow(buffer_.capacity * 2 + 65536);
        const std::size_t asked = buffer_.capacity + 1 - size_;
        const ssize_t n = ::read(fd, buffer_.data.get() + size_, asked);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailCatalogErrno(Code::Read, file, "Cannot read", errno);
        }
        if (n == 0)
            return;
        size_ += std::size_t(n);
        // Less than asked, ending where the file's size said: the end, with
        // no second read to hear it (one call per file, of thousands).
        if (std::size_t(n) < asked && size_ == expected && expected > 0)
            return;
    }
}

} // namespace

LoadResult MissingCatalog(const std::filesystem::path& file)
{
    return {LoadStatus::Missing, std::string(kMissingText) + "\r\n" + DisplayPath(file)};
}

LoadResult WrongVersionCatalog() { return {LoadStatus::WrongVersion, kWrongVersionText}; }

LoadResult WrongDataTypeCatalog() { return {LoadStatus::WrongDataType, kWrongDataTypeText}; }

void CatalogReader::damaged(std::size_t at, const std::string& what) const
{
    throw CatalogError(Code::Damaged, {}, 0, at,
                       "The catalog file is damaged at offset " + std::to_string(at) + ": " + what + ".");
}

void CatalogReader::cutShort(std::size_t n, const char* what) const
{
    damaged(pos_, std::string(what) + " needs " + std::to_string(n) + " bytes, the file has " + std::to_string(left()) +
                      " left");
}

LoadResult ReadCatalogHeadFields(CatalogReader& r, CatalogHeadFields& head)
{
    if (r.left() < kCatalogMagic.size() || r.bytes(kCatalogMagic.size(), "the magic") != kCatalogMagic)
        return WrongVersionCatalog();
    head.image = iconBytes(r, "icon image");
    head.mask = iconBytes(r, "icon mask");
    if (r.value<std::uint8_t>("the data type") != 1)
        return WrongDataTypeCatalog();
    head.serialNo = r.value<std::uint32_t>("the serial number");
    head.volumeLabel = r.string16("the volume label");
    head.totalSize = r.value<std::int64_t>("the total size");
    head.freeSize = r.value<std::int64_t>("the free size");
    head.comment = r.string32("the disk comment");
    head.reserved = r.value<std::uint8_t>("the reserved byte");
    head.folders = r.count(kFolderFixed, "the folder count");
    return {};
}

FolderRecord ReadFolderRecord(CatalogReader& r, std::size_t index)
{
    FolderRecord d;
    d.name = r.string8("a folder name");
    d.comment = r.string32("a folder comment");
    const std::size_t parentAt = r.offset();
    d.parent = r.value<std::int32_t>("a folder's parent");
    if (index == 0 ? d.parent != -1 : (d.parent < 0 || std::size_t(d.parent) >= index))
        r.damaged(parentAt, "folder " + std::to_string(index) + " names the parent " + std::to_string(d.parent));
    d.attr = r.value<std::uint8_t>("a folder's attributes");
    d.date = r.value<double>("a folder's date");
    d.scanDate = r.value<double>("a folder's scan date");
    d.files = r.count(kFileFixed, "a file count");
    return d;
}

void FailCatalogFile(Code code, const std::filesystem::path& file, int err, const std::string& english)
{
    throw CatalogError(code, file.native(), err, 0, english);
}

void FailCatalogErrno(Code code, const std::filesystem::path& file, const char* verb, int err)
{
    FailCatalogFile(code, file, err, std::string(verb) + " " + DisplayPath(file) + ": " + std::strerror(err));
}

UniqueFd OpenCatalogFile(const std::filesystem::path& file, struct stat& st)
{
    UniqueFd fd = OpenCatalogIfPresent(file, st);
    if (!fd)
        FailCatalogErrno(Code::Open, file, "Cannot open", errno);
    return fd;
}

UniqueFd OpenCatalogIfPresent(const std::filesystem::path& file, struct stat& st)
{
    UniqueFd fd(OpenPath(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR)
            return fd;
        FailCatalogErrno(Code::Open, file, "Cannot open", errno);
    }
    if (::fstat(fd.get(), &st) != 0)
        FailCatalogErrno(Code::Open, file, "Cannot examine", errno);
    if (!S_ISREG(st.st_mode))
        FailCatalogFile(Code::NotRegular, file, 0, DisplayPath(file) + " is not a regular file.");
    return fd;
}

LoadResult ReadCatalogFile(const std::filesystem::path& file, const std::function<LoadResult(std::string_view)>& parse,
                           ImageBuffer* buffer, struct stat* examined)
{
    struct stat st {};
    const UniqueFd fd = OpenCatalogIfPresent(file, st);
    if (!fd)
        return MissingCatalog(file);
    if (examined)
        *examined = st;
    ImageBuffer own;
    try {
        const FileImage image(fd.get(), st, file, buffer ? *buffer : own);
        return parse(image.view());
    } catch (const CatalogError& e) {
        if (!e.file().empty())
            throw;
        // Damage is found in the image: name the file it came from.
        throw CatalogError(e.code(), file.native(), e.systemError(), e.offset(), e.what());
    }
}

CatalogLanes::CatalogLanes(Work work) : work_(std::move(work)), helper_([this] { helper(); }) {}

CatalogLanes::~CatalogLanes()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_one();
    helper_.join();
}

std::size_t CatalogLanes::start(const std::filesystem::path& file)
{
    std::size_t slot = 0;
    {
        const std::lock_guard lock(mutex_);
        if (jobs_.size() == kSlots) [[unlikely]]
            throw std::logic_error("CatalogLanes: more files started than it has slots");
        while (std::any_of(jobs_.begin(), jobs_.end(), [&](const Job& j) { return j.slot == slot; }))
            ++slot;
        Job& job = jobs_.emplace_back();
        job.file = file;
        job.slot = slot;
    }
    queued_.notify_one();
    return slot;
}

LoadResult CatalogLanes::finish()
{
    std::unique_lock lock(mutex_);
    if (jobs_.empty()) [[unlikely]]
        throw std::logic_error("CatalogLanes: nothing started");
    // Rather than wait, work on a file nobody has taken.
    while (jobs_.front().state != State::Done) {
        if (!runQueued(lock, 0))
            done_.wait(lock);
    }
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    if (job.error)
        std::rethrow_exception(job.error);
    return job.load;
}

std::deque<CatalogLanes::Job>::iterator CatalogLanes::firstQueued()
{
    return std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.state == State::Queued; });
}

bool CatalogLanes::runQueued(std::unique_lock<std::mutex>& lock, int lane)
{
    const auto queued = firstQueued();
    if (queued == jobs_.end())
        return false;
    Job& job = *queued; // a deque keeps it in place while others come and go
    job.state = State::Taken;
    lock.unlock();
    try {
        job.load = ReadCatalogFile(
            job.file, [&](std::string_view image) { return work_(lane, job.slot, image); }, &buffers_[lane]);
    } catch (...) {
        job.error = std::current_exception();
    }
    lock.lock();
    job.state = State::Done;
    return true;
}

void CatalogLanes::helper()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return stopping_ || firstQueued() != jobs_.end(); });
        if (stopping_)
            return;
        runQueued(lock, 1);
        done_.notify_one();
    }
}

} // namespace qd
