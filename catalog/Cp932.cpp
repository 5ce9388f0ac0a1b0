#include "Cp932.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace qd::cp932 {
namespace {

constexpr char32_t kEscapeBase = 0xF700; // undecodable byte b -> U+F700 + b

// One converter per direction and thread, opened once: iconv_open is far
// costlier than a conversion and names are converted one by one.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == iconv_t(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; on return `in` points at the first byte it
    // refused (errno says why) or at the end.
    std::size_t run(const char*& in, std::size_t& inLeft, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        for (;;) {
            std::size_t used = out.size();
            out.resize(used + inLeft * 3 + 16);
            char* o = out.data() + used;
            std::size_t oLeft = out.size() - used;
            char* inPtr = const_cast<char*>(in);
            std::size_t r = iconv(cd_, &inPtr, &inLeft, &o, &oLeft);
            int err = errno;
            in = inPtr;
            out.resize(std::size_t(o - out.data()));
            if (r != std::size_t(-1))
                return r;
            if (err != E2BIG) {
                errno = err;
                return r;
            }
        }
    }

private:
    iconv_t cd_;
};

Converter& decoder()
{
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

Converter& encoder()
{
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Reads one UTF-8 character; returns its length (at least 1) and the code point,
// or U+FFFD for a malformed sequence.
std::size_t readUtf8(const char* p, std::size_t left, char32_t& cp)
{
    auto b = (unsigned char)p[0];
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || len > left) {
        cp = 0xFFFD;
        return 1;
    }
    cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t i = 1; i < len; ++i) {
        auto c = (unsigned char)p[i];
        if ((c & 0xC0) != 0x80) {
            cp = 0xFFFD;
            return 1;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    return len;
}

} // namespace

bool isAscii(std::string_view s)
{
    // Eight bytes at a time: names are converted one by one, for every row shown.
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull)
            return false;
    }
    for (; i < s.size(); ++i) {
        if ((unsigned char)s[i] >= 0x80)
            return false;
    }
    return true;
}

std::string toUtf8(std::string_view s)
{
    if (isAscii(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size() * 3 / 2 + 4);
    const char* in = s.data();
    std::size_t left = s.size();
    while (left > 0) {
        if (decoder().run(in, left, out) != std::size_t(-1))
            break;
        // Refused (EILSEQ) or cut short at the end (EINVAL): keep the byte visibly.
        appendUtf8(out, kEscapeBase + (unsigned char)*in);
        ++in;
        --left;
    }
    return out;
}

Encoded fromUtf8(std::string_view s, char substitute)
{
    Encoded result;
    if (isAscii(s)) {
        result.bytes.assign(s);
        return result;
    }
    result.bytes.reserve(s.size());
    const char* in = s.data();
    std::size_t left = s.size();
    while (left > 0) {
        if (encoder().run(in, left, result.bytes) != std::size_t(-1))
            break;
        char32_t cp;
        std::size_t len = readUtf8(in, left, cp);
        if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
            result.bytes += char(cp - kEscapeBase);
        } else {
            result.bytes += substitute;
            ++result.substituted;
        }
        in += len;
        left -= len;
    }
    return result;
}

std::string_view cutToBytes(std::string_view s, std::size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len = isLeadByte((unsigned char)s[i]) && i + 1 < s.size() ? 2 : 1;
        if (i + len > maxBytes)
            break;
        i += len;
    }
    return s.substr(0, i);
}

} // namespace qd::cp932
