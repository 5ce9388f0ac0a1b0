#include "CatalogSummary.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace qd {
namespace {

constexpr std::size_t kFirstBlock = 4096; // two 16 x 16 icons, a label, a short comment and the root

// The summary out of the file's bytes (all of them, or its first ones of
// fileSize): the head, the root's record, and with countFiles every record.
CatalogSummary summaryOf(std::string_view data, std::size_t fileSize, bool countFiles)
{
    CatalogSummary s;
    CatalogReader r(data, fileSize);
    CatalogHeadFields head;
    s.load = ReadCatalogHeadFields(r, head);
    if (!s.load.ok())
        return s;
    s.serialNo = head.serialNo;
    s.volumeLabel = std::string(head.volumeLabel);
    s.totalSize = head.totalSize;
    s.freeSize = head.freeSize;
    s.folders = head.folders;
    std::uint64_t files = 0;
    for (std::size_t i = 0; i < s.folders; ++i) {
        const FolderRecord folder = ReadFolderRecord(r, i);
        if (i == 0)
            s.scanDate = folder.scanDate;
        if (!countFiles)
            return s;
        files += folder.files;
        for (std::size_t j = 0; j < folder.files; ++j)
            NextFileRecord(r);
    }
    if (countFiles)
        s.files = files;
    return s;
}

} // namespace

CatalogSummary ReadCatalogSummary(const std::filesystem::path& file, bool countFiles, ImageBuffer* buffer)
{
    if (!countFiles) {
        struct stat st {};
        const UniqueFd fd = OpenCatalogIfPresent(file, st);
        if (!fd) {
            CatalogSummary s;
            s.load = MissingCatalog(file);
            return s;
        }
        const std::size_t size = std::size_t(st.st_size);
        char block[kFirstBlock];
        std::size_t got = 0;
        while (got < std::min(size, kFirstBlock)) {
            const ssize_t n = ::pread(fd.get(), block + got, std::min(size, kFirstBlock) - got, off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                FailCatalogErrno(CatalogError::Code::Read, file, "Cannot read", errno);
            if (n == 0)
                break; // shorter than it was a moment ago
            got += std::size_t(n);
        }
        try {
            return summaryOf({block, got}, size, false);
        } catch (const CatalogError& e) {
            // What the first block cuts short may go on beyond it: the whole
            // file then says whether it is damaged.
            if (got == size || e.code() != CatalogError::Code::Damaged)
                throw CatalogError(e.code(), file.native(), e.systemError(), e.offset(), e.what());
        }
    }
    CatalogSummary s;
    const LoadResult load = ReadCatalogFile(
        file,
        [&](std::string_view data) {
            s = summaryOf(data, data.size(), countFiles);
            return s.load;
        },
        buffer);
    s.load = load;
    return s;
}

} // namespace qd
