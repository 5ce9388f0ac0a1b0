#include "AnsiString.h"

#include <limits>
#include <stdexcept>

namespace qd {

void AnsiString::assign_heap(std::string_view s)
{
    if (s.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("string too long");
    char* p = new char[s.size()];
    std::memcpy(p, s.data(), s.size());
    raw_.heap.ptr = p;
    raw_.heap.size = std::uint32_t(s.size());
    raw_.bytes[kInline] = char(kHeapTag);
}

void AnsiString::release_heap() noexcept
{
    delete[] raw_.heap.ptr;
    clear_inline();
}

void AnsiString::assign_long(std::string_view s, StringArena& arena)
{
    if (tag() == kHeapTag)
        release_heap();
    if (s.size() <= kInline) {
        set_inline(s);
        return;
    }
    if (s.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("string too long");
    raw_.heap.ptr = const_cast<char*>(arena.store(s));
    raw_.heap.size = std::uint32_t(s.size());
    raw_.bytes[kInline] = char(kBorrowedTag);
}

const char* StringArena::store(std::string_view s)
{
    constexpr std::size_t kChunk = 64 * 1024;
    if (s.size() > left_) {
        const std::size_t size = std::max(kChunk, s.size());
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        next_ = chunks_.back().get();
        left_ = size;
    }
    char* at = next_;
    std::memcpy(at, s.data(), s.size());
    next_ += s.size();
    left_ -= s.size();
    return at;
}

void StringArena::clear() noexcept
{
    chunks_.clear();
    next_ = nullptr;
    left_ = 0;
}

} // namespace qd
