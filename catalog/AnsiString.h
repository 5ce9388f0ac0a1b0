#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "RecordArena.h"

namespace qd {

// A byte string in code page 932, as stored in a catalog.
//
// Catalogs hold millions of names, most of them short, and nearly every comment
// is empty. std::string costs 32 bytes even when empty; this type costs 16:
// up to 15 bytes live inline; longer strings live in their own heap block or,
// for a loaded catalog, in the arena of the TDisk that holds them
// (borrowed: freed with the arena, not with the string). A copy always owns its
// bytes. It holds bytes only: no encoding is implied or checked.
class AnsiString {
public:
    AnsiString() noexcept { clear_inline(); }
    explicit AnsiString(std::string_view s) { assign(s); }
    explicit AnsiString(const char* s) : AnsiString(std::string_view(s)) {}
    AnsiString(const AnsiString& o) { assign(o.view()); }
    AnsiString(AnsiString&& o) noexcept
    {
        raw_ = o.raw_;
        o.clear_inline();
    }
    ~AnsiString()
    {
        if (tag() == kHeapTag)
            release_heap();
    }

    AnsiString& operator=(const AnsiString& o)
    {
        if (this != &o)
            *this = o.view();
        return *this;
    }
    AnsiString& operator=(AnsiString&& o) noexcept
    {
        if (this != &o) {
            if (tag() == kHeapTag)
                release_heap();
            raw_ = o.raw_;
            o.clear_inline();
        }
        return *this;
    }
    AnsiString& operator=(std::string_view s)
    {
        if (tag() != kHeapTag && s.size() <= kInline) { // the common case: no allocation either side
            set_inline(s);
            return *this;
        }
        AnsiString copy(s);
        swap(copy);
        return *this;
    }
    AnsiString& operator=(const char* s) { return *this = std::string_view(s); }

    // Stores s, a string of a catalog image, inline when it fits, else in
    // the arena. In an image every string is followed by fixed fields, so
    // that at least 16 bytes can be read from s.data(): a short string is
    // copied as one block of 16 (the bytes past its end are never read).
    // The arena must outlive this string; the TDisk that owns the arena
    // guarantees it for its records.
    void assignFromImage(std::string_view s, RecordArena& arena)
    {
        if (tag() != kHeapTag && s.size() <= kInline) {
            std::memcpy(raw_.bytes, s.data(), kInline + 1);
            raw_.bytes[kInline] = char(kInline - s.size());
        } else {
            assign_long(s, arena);
        }
    }

    void swap(AnsiString& o) noexcept { std::swap(raw_, o.raw_); }

    const char* data() const noexcept { return is_inline() ? raw_.bytes : raw_.heap.ptr; }
    std::size_t size() const noexcept { return is_inline() ? std::size_t(kInline - tag()) : raw_.heap.size; }
    bool empty() const noexcept { return size() == 0; }
    std::string_view view() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }

    friend bool operator==(const AnsiString& a, const AnsiString& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const AnsiString& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const AnsiString& a, const char* b) noexcept { return a.view() == b; }
    friend std::strong_ordering operator<=>(const AnsiString& a, const AnsiString& b) noexcept
    {
        return a.view() <=> b.view();
    }

private:
    static constexpr std::size_t kInline = 15;
    static constexpr std::uint8_t kHeapTag = 0xFF;     // owns its heap block
    static constexpr std::uint8_t kBorrowedTag = 0xFE; // lives in an arena

    std::uint8_t tag() const noexcept { return std::uint8_t(raw_.bytes[kInline]); }
    bool is_inline() const noexcept { return tag() <= kInline; }
    void assign(std::string_view s)
    {
        if (s.size() <= kInline)
            set_inline(s);
        else
            assign_heap(s);
    }
    void set_inline(std::string_view s) noexcept
    {
        if (!s.empty())
            std::memcpy(raw_.bytes, s.data(), s.size());
        raw_.bytes[kInline] = char(kInline - s.size());
    }
    void assign_heap(std::string_view s);
    void assign_long(std::string_view s, RecordArena& arena);
    void release_heap() noexcept;
    void clear_inline() noexcept
    {
        raw_.bytes[0] = 0;
        raw_.bytes[kInline] = char(kInline); // tag byte = kInline - size
    }

    // Inline: bytes[0..size), then the tag byte at [15] holds 15 - size (so a
    // 15-byte string has a zero there). Otherwise pointer and size, and the tag
    // says whether the block is owned.
    union Raw {
        char bytes[kInline + 1];
        struct {
            char* ptr;
            std::uint32_t size;
        } heap;
    } raw_;
};

static_assert(sizeof(AnsiString) == 16);

} // namespace qd
