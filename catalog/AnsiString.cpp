#include "AnsiString.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace qd {

void AnsiString::assign(std::string_view s)
{
    if (s.size() <= kInline) {
        if (!s.empty())
            std::memcpy(raw_.bytes, s.data(), s.size());
        raw_.bytes[kInline] = char(kInline - s.size());
        return;
    }
    if (s.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("string too long");
    char* p = new char[s.size()];
    std::memcpy(p, s.data(), s.size());
    raw_.heap.ptr = p;
    raw_.heap.size = std::uint32_t(s.size());
    raw_.bytes[kInline] = char(kHeapTag);
}

void AnsiString::release() noexcept
{
    if (is_heap())
        delete[] raw_.heap.ptr;
    clear_inline();
}

} // namespace qd
