#include "Bmp.h"

#include <cstdint>
#include <cstdlib>

namespace qd {
namespace {

std::uint32_t u32(std::string_view s, std::size_t at)
{
    auto b = [&](std::size_t i) { return std::uint32_t((unsigned char)s[at + i]); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

std::uint16_t u16(std::string_view s, std::size_t at)
{
    return std::uint16_t((unsigned char)s[at] | (unsigned char)s[at + 1] << 8);
}

} // namespace

std::string BmpProblem(std::string_view s)
{
    constexpr std::size_t kFileHeader = 14;
    if (s.size() < kFileHeader + 12 || s[0] != 'B' || s[1] != 'M')
        return "no BMP file header";
    const std::uint32_t pixelOffset = u32(s, 10);
    const std::uint32_t infoSize = u32(s, 14);
    std::int64_t width, height;
    std::uint16_t planes, bits;
    std::uint32_t compression = 0;
    if (infoSize == 12) { // OS/2 core header
        width = u16(s, 18);
        height = std::int16_t(u16(s, 20));
        planes = u16(s, 22);
        bits = u16(s, 24);
    } else if (infoSize >= 40 && infoSize <= 124) {
        if (s.size() < kFileHeader + 40)
            return "info header cut short";
        width = std::int32_t(u32(s, 18));
        height = std::int32_t(u32(s, 22));
        planes = u16(s, 26);
        bits = u16(s, 28);
        compression = u32(s, 30);
    } else {
        return "unknown info header size " + std::to_string(infoSize);
    }
    if (kFileHeader + infoSize > s.size())
        return "info header cut short";
    if (width <= 0 || height == 0 || width > 0x10000 || std::llabs(height) > 0x10000)
        return "bad image size";
    if (planes != 1)
        return "bad plane count";
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return "bad bit depth " + std::to_string(bits);
    if (pixelOffset < kFileHeader + infoSize || pixelOffset > s.size())
        return "pixel data outside the image";
    // Run-length encoded images (1, 2) have no fixed size; their data must merely start inside.
    if (compression == 0 || compression == 3 || compression == 6) {
        const std::uint64_t stride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
        const std::uint64_t need = stride * std::uint64_t(std::llabs(height));
        if (pixelOffset + need > s.size())
            return "pixel data cut short";
    } else if (compression != 1 && compression != 2) {
        return "unknown compression " + std::to_string(compression);
    }
    return {};
}

} // namespace qd
