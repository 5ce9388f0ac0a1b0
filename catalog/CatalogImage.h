#pragma once

// The reading side of the catalog file that the loader and the file search
// share: the file's bytes in memory, a bounds-checked reader over them, and
// the head and record layouts. Internal to catalog/.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "DiskFile.h"
#include "UniqueFd.h"

struct stat;

namespace qd {

inline constexpr std::size_t kFolderFixed = 30;   // bytes of a folder record besides name and comment
inline constexpr std::size_t kFileFixed = 38;     // the same for a file record
inline constexpr std::size_t kFileFixedTail = 33; // of which after the comment: attributes, three times, size, reserved

// Bounds-checked sequential reader over a catalog image. Anything that does
// not fit throws CatalogError (Damaged) with the offset; the caller names the
// file (see ReadCatalogFile).
class CatalogReader {
public:
    explicit CatalogReader(std::string_view data) : data_(data), size_(data.size()) {}
    // Over the first bytes of a file of fileSize bytes, for a reader of its
    // head alone: counts are held against the whole file, while reading past
    // the bytes given is still refused as damage (so a caller that got fewer
    // bytes than the file has reads on).
    CatalogReader(std::string_view prefix, std::size_t fileSize) : data_(prefix), size_(fileSize) {}

    std::size_t offset() const { return pos_; }
    std::size_t left() const { return data_.size() - pos_; }
    // The next unread byte, for a caller that checks the bounds itself and
    // then skips what it has read.
    const char* here() const { return data_.data() + pos_; }
    void skip(std::size_t n, const char* what)
    {
        if (n > left()) [[unlikely]]
            cutShort(n, what);
        pos_ += n;
    }

    [[noreturn, gnu::cold, gnu::noinline]] void damaged(std::size_t at, const std::string& what) const;
    [[noreturn, gnu::cold, gnu::noinline]] void cutShort(std::size_t n, const char* what) const;

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
        if (n < 0 || std::size_t(n) > (size_ - pos_) / minSize)
            damaged(at, std::string(what) + " " + std::to_string(n) + " does not fit the file");
        return std::size_t(n);
    }

private:
    std::string_view data_;
    std::size_t size_; // of the whole file
    std::size_t pos_ = 0;
};

// The head up to the folder count. The strings point into the image.
struct CatalogHeadFields {
    std::string_view image;
    std::string_view mask;
    std::uint32_t serialNo = 0;
    std::string_view volumeLabel;
    std::int64_t totalSize = 0;
    std::int64_t freeSize = 0;
    std::string_view comment;
    std::uint8_t reserved = 0;
    std::size_t folders = 0;
};

// The three numbered outcomes, with the texts the user is shown.
LoadResult MissingCatalog(const std::filesystem::path& file); // 5101, naming the file
LoadResult WrongVersionCatalog();                             // 5104
LoadResult WrongDataTypeCatalog();                            // 5105

// Reads the head: 5104 without the magic (nothing filled), 5105 for another
// data type (the two icons filled, already checked as BMP images), else Ok
// with every field. Throws CatalogError for an icon that is no valid BMP and
// for damage.
LoadResult ReadCatalogHeadFields(CatalogReader& r, CatalogHeadFields& head);

// The fields of a folder record before its file records. `index` is the
// folder's place in DirList: a Parent that is not smaller (or not -1 for the
// root) is damage.
struct FolderRecord {
    std::string_view name;
    std::string_view comment;
    std::int32_t parent = -1;
    std::uint8_t attr = 0;
    double date = 0;
    double scanDate = 0;
    std::size_t files = 0;
};
FolderRecord ReadFolderRecord(CatalogReader& r, std::size_t index);

// One file record; `fixed` points at its last kFileFixedTail bytes.
struct FileRecord {
    std::string_view name;
    std::string_view comment;
    const char* fixed = nullptr;
};
inline FileRecord ReadFileRecord(CatalogReader& r)
{
    FileRecord f;
    f.name = r.string8("a file name");
    f.comment = r.string32("a file comment");
    f.fixed = r.bytes(kFileFixedTail, "a file's attributes, times and size").data();
    return f;
}

// The next file record, skipped, as a walk over every record wants it: one
// test of the record's lengths instead of one per field; a record that does
// not fit goes through the reader's checks, which say where and why.
inline FileRecord NextFileRecord(CatalogReader& r)
{
    const char* p = r.here();
    const std::size_t left = r.left();
    if (left >= 5) [[likely]] {
        const std::size_t n = (unsigned char)p[0];
        if (left >= 5 + n) [[likely]] {
            std::int32_t c;
            std::memcpy(&c, p + 1 + n, 4);
            // Files seldom have a comment. Tested apart, so that where the
            // next record begins waits on the name's length alone: the
            // processor goes on as if the test held while the comment's
            // length is still being read.
            if (c == 0 && kFileFixedTail <= left - 5 - n) [[likely]] {
                r.skip(5 + n + kFileFixedTail, "a file record");
                return {{p + 1, n}, {p + 5 + n, 0}, p + 5 + n};
            }
            if (c >= 0 && std::size_t(c) + kFileFixedTail <= left - 5 - n) [[likely]] {
                r.skip(5 + n + std::size_t(c) + kFileFixedTail, "a file record");
                return {{p + 1, n}, {p + 5 + n, std::size_t(c)}, p + 5 + n + std::size_t(c)};
            }
        }
    }
    return ReadFileRecord(r);
}

// A file's path as the messages of catalog errors name it.
inline std::string DisplayPath(const std::filesystem::path& p) { return p.string(); }

// Throws CatalogError naming the file: with the English text, or with the
// system's reason after the verb ("Cannot open", "Cannot read").
[[noreturn]] void FailCatalogFile(CatalogError::Code code, const std::filesystem::path& file, int err,
                                  const std::string& english);
[[noreturn]] void FailCatalogErrno(CatalogError::Code code, const std::filesystem::path& file, const char* verb, int err);

// Opens a catalog for reading: never waits (a FIFO under a catalog's name
// would block the window forever) and takes regular files only. Fills st.
UniqueFd OpenCatalogFile(const std::filesystem::path& file, struct stat& st);
// The same, but an empty descriptor when no file of that name exists
// (ENOENT, ENOTDIR): the caller reports MissingCatalog without a stat of its
// own, which a walk over thousands of catalogs would pay once per file.
UniqueFd OpenCatalogIfPresent(const std::filesystem::path& file, struct stat& st);

// Storage for file images that one reader reuses from file to file, so that
// reading many catalogs one after another does not allocate each time.
struct ImageBuffer {
    std::unique_ptr<char[]> data;
    std::size_t capacity = 0;
};

// Reads file whole and hands its bytes to parse. A file that does not exist
// gives 5101 (and parse is not run); one that exists but cannot be opened,
// examined or read, or is not a regular file (opened without blocking, so a
// FIFO never hangs), throws CatalogError, as does parse; the error then names
// the file. buffer, when given, is used and kept for the next file; examined,
// when given, receives the status of the file that was read.
LoadResult ReadCatalogFile(const std::filesystem::path& file, const std::function<LoadResult(std::string_view)>& parse,
                           ImageBuffer* buffer = nullptr, struct stat* examined = nullptr);

// Reads catalog files and works on them on two threads, the caller's and
// one of its own: each file started is taken by whichever is free first,
// read into that thread's buffer (which stays in its cache for the work)
// and handed to work there; the files are finished in the order they were
// started, on the caller's thread. So a pass over many catalogs takes about
// half of reading and working on them one after the other. work must keep
// what it changes per lane (0: the caller's thread, 1: the other) or per
// slot, never shared.
class CatalogLanes {
public:
    static constexpr std::size_t kSlots = 8; // files started and not yet finished, at most
    // What ReadCatalogFile's parse does, told on which lane it runs and the
    // slot of the file (see start).
    using Work = std::function<LoadResult(int lane, std::size_t slot, std::string_view image)>;

    explicit CatalogLanes(Work work);
    ~CatalogLanes();
    CatalogLanes(const CatalogLanes&) = delete;
    CatalogLanes& operator=(const CatalogLanes&) = delete;

    // Queues file and gives its slot, in [0, kSlots), free again once it is
    // finished. At most kSlots started and not finished.
    std::size_t start(const std::filesystem::path& file);
    // For the file started first and not finished: what ReadCatalogFile
    // gives (5101, a CatalogError naming the file, or work's outcome). The
    // caller works on queued files while it waits.
    LoadResult finish();

private:
    enum class State { Queued, Taken, Done };
    struct Job {
        std::filesystem::path file;
        std::size_t slot = 0;
        State state = State::Queued;
        LoadResult load;
        std::exception_ptr error;
    };
    std::deque<Job>::iterator firstQueued();
    // Takes the first queued file and works on it on lane, without the lock
    // meanwhile; false when none is queued.
    bool runQueued(std::unique_lock<std::mutex>& lock, int lane);
    void helper();

    Work work_;
    std::mutex mutex_;
    std::condition_variable queued_; // the helper's: a file to take, or stop
    std::condition_variable done_;   // the caller's: a file finished by the helper
    std::deque<Job> jobs_;           // started and not finished, in order; elements stay in place
    bool stopping_ = false;
    ImageBuffer buffers_[2];         // per lane
    std::thread helper_;             // last: it starts once the rest is made
};

} // namespace qd
