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

void AnsiString::assign_long(std::string_view s, RecordArena& arena)
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

} // namespace qd
