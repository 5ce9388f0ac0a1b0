#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qd {

// A byte string in code page 932, as stored in a catalog.
//
// Catalogs hold millions of names, most of them short, and nearly every comment
// is empty. std::string costs 32 bytes even when empty; this type costs 16:
// up to 15 bytes live inline, longer strings in one exact-size heap block.
// It holds bytes only: no encoding is implied or checked.
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
    ~AnsiString() { release(); }

    AnsiString& operator=(const AnsiString& o)
    {
        if (this != &o) {
            AnsiString copy(o);
            swap(copy);
        }
        return *this;
    }
    AnsiString& operator=(AnsiString&& o) noexcept
    {
        if (this != &o) {
            release();
            raw_ = o.raw_;
            o.clear_inline();
        }
        return *this;
    }
    AnsiString& operator=(std::string_view s)
    {
        AnsiString copy(s);
        swap(copy);
        return *this;
    }
    AnsiString& operator=(const char* s) { return *this = std::string_view(s); }

    void swap(AnsiString& o) noexcept { std::swap(raw_, o.raw_); }

    const char* data() const noexcept { return is_heap() ? raw_.heap.ptr : raw_.bytes; }
    std::size_t size() const noexcept
    {
        return is_heap() ? raw_.heap.size : std::size_t(kInline - std::uint8_t(raw_.bytes[kInline]));
    }
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
    static constexpr std::uint8_t kHeapTag = 0xFF;

    void assign(std::string_view s);
    void release() noexcept;
    bool is_heap() const noexcept { return std::uint8_t(raw_.bytes[kInline]) == kHeapTag; }
    void clear_inline() noexcept
    {
        raw_.bytes[0] = 0;
        raw_.bytes[kInline] = char(kInline); // tag byte = kInline - size
    }

    // Inline: bytes[0..size), then the tag byte at [15] holds 15 - size
    // (so a 15-byte string has a zero there). Heap: pointer and size, tag 0xFF.
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
