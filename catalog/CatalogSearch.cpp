#include "CatalogSearch.h"

#include <cstring>

#include "Cp932.h"

namespace qd {

bool MatchFileName(std::string_view name, std::string_view text)
{
    if (text.empty())
        return false;
    std::size_t boundary = 0; // the first character boundary at or after the bytes passed
    for (std::size_t at = name.find(text); at != std::string_view::npos; at = name.find(text, boundary)) {
        while (boundary < at)
            boundary += cp932::isLeadByte((unsigned char)name[boundary]) ? 2 : 1;
        if (boundary == at)
            return true;
        // The run begins on the second byte of a character: look again from the next one.
    }
    return false;
}

CatalogSearchResult CatalogSearch::search(const std::filesystem::path& file, std::string_view text,
                                          const SearchYield& yield)
{
    CatalogSearchResult result;
    result.load = ReadCatalogFile(
        file,
        [&](std::string_view data) {
            result = searchData(data, text, yield);
            return result.load;
        },
        &buffer_);
    return result;
}

namespace {

// The name of the next file record, its record skipped. One test of the
// record's lengths instead of one per field; a record that does not fit
// goes through the reader's checks, which say where and why.
inline std::string_view nextFileName(CatalogReader& r)
{
    const char* p = r.here();
    const std::size_t left = r.left();
    if (left >= 5) [[likely]] {
        const std::size_t n = (unsigned char)p[0];
        if (left >= 5 + n) [[likely]] {
            std::int32_t c;
            std::memcpy(&c, p + 1 + n, 4);
            if (c >= 0 && std::size_t(c) + kFileFixedTail <= left - 5 - n) [[likely]] {
                r.skip(5 + n + std::size_t(c) + kFileFixedTail, "a file record");
                return {p + 1, n};
            }
        }
    }
    return ReadFileRecord(r).name;
}

// True when the byte b stands in name at or before position last. A name is
// followed by at least the 37 bytes of its record's comment length and fixed
// fields, so it is read eight bytes at a time without leaving the image.
inline bool holdsByte(std::string_view name, std::size_t last, unsigned char b)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t pattern = kOnes * b;
    for (std::size_t i = 0; i <= last; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + i, 8);
        word ^= pattern; // a zero byte where b stands
        if (last - i < 7)
            word |= ~std::uint64_t(0) << (8 * (last - i + 1)); // bytes past `last` never count
        if ((word - kOnes) & ~word & kHighs)
            return true;
    }
    return false;
}

} // namespace

CatalogSearchResult CatalogSearch::searchData(std::string_view data, std::string_view text, const SearchYield& yield)
{
    CatalogSearchResult result;
    CatalogReader r(data);
    CatalogHeadFields head;
    result.load = ReadCatalogHeadFields(r, head);
    if (!result.load.ok())
        return result;

    folders_.clear();
    lastPathFolder_ = -1;
    CatalogHits& found = result.found;
    const unsigned char first = text.empty() ? 0 : (unsigned char)text[0];
    for (std::size_t i = 0; i < head.folders; ++i) {
        const FolderRecord folder = ReadFolderRecord(r, i);
        folders_.push_back({folder.parent, folder.name});
        for (std::size_t j = 0; j < folder.files; ++j) {
            const std::string_view name = nextFileName(r);
            // Most names hold not even the text's first byte where a run of
            // it could begin: that test alone is far cheaper than a search.
            if (name.size() >= text.size() && !text.empty() && holdsByte(name, name.size() - text.size(), first) &&
                MatchFileName(name, text))
                found.hits.push_back({std::int32_t(i), pathOf(std::int32_t(i), found), AnsiString(name)});
            if ((j & 0x3E8) != 0 && yield && !yield()) {
                // Not read to its end, so not known to be sound: nothing of it counts.
                result.stopped = true;
                result.found = {};
                return result;
            }
        }
    }
    return result;
}

std::uint32_t CatalogSearch::pathOf(std::int32_t folder, CatalogHits& found)
{
    // The files of one folder come together: its path is made once, from
    // the parent links (each smaller than its folder's own index, as the
    // reader has checked), in time linear in the path's length.
    if (folder != lastPathFolder_) {
        chain_.clear();
        std::size_t length = 0;
        for (std::int32_t f = folder; f >= 0; f = folders_[std::size_t(f)].parent) {
            chain_.push_back(f);
            length += folders_[std::size_t(f)].name.size() + 1;
        }
        std::string path;
        path.reserve(length);
        for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
            if (it != chain_.rbegin())
                path += '\\';
            path += folders_[std::size_t(*it)].name;
        }
        found.paths.push_back(std::move(path));
        lastPathFolder_ = folder;
    }
    return std::uint32_t(found.paths.size() - 1);
}

} // namespace qd
