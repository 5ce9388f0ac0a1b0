#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qd::cp932 {

// The one codec between the code page 932 bytes of catalogs and the UTF-8 of
// Linux file names and of the display, over glibc iconv "CP932" (the Microsoft
// mapping: 0x5C is the backslash, 0x7E the tilde).
//
// Decoding never fails: a byte that code page 932 does not define (a single
// 0x80, 0xA0, 0xFD-0xFF, the lead byte of a broken pair) becomes the private-use
// character U+F700 + byte, which encoding turns back into that byte. So any
// stored name can be shown and written back unchanged.

// Result of encoding: the bytes, and how many characters had no code page 932
// form and became the substitute.
struct Encoded {
    std::string bytes;
    std::size_t substituted = 0;
};

std::string toUtf8(std::string_view cp932);
// True when every byte is below 0x80: the same text in code page 932 and UTF-8.
bool isAscii(std::string_view s);
Encoded fromUtf8(std::string_view utf8, char substitute = '?');

// True for a byte that starts a double-byte character.
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The longest prefix of s of at most maxBytes bytes that does not split a
// double-byte character.
std::string_view cutToBytes(std::string_view s, std::size_t maxBytes);

} // namespace qd::cp932
