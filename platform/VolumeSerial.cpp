#include "VolumeSerial.h"

#include <array>
#include <cctype>
#include <string>

namespace qd::volume {

namespace {

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16
        | std::uint32_t(b[at + 3]) << 24;
}

bool hasText(std::span<const std::uint8_t> b, std::size_t at, std::string_view text)
{
    if (b.size() < at + text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (b[at + i] != std::uint8_t(text[i]))
            return false;
    }
    return true;
}

std::array<std::uint8_t, 4> fourSums(std::span<const std::uint8_t> block)
{
    std::array<std::uint8_t, 4> sums{};
    for (std::size_t i = 0; i < 2048; ++i)
        sums[i % 4] = std::uint8_t(sums[i % 4] + block[i]);
    return sums;
}

bool isExtendedBootSignature(std::uint8_t b) { return b == 0x28 || b == 0x29; }

std::optional<std::uint32_t> parseHex(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v << 4 | std::uint32_t(d);
    }
    return v;
}

} // namespace

std::optional<std::uint32_t> fatSerial(std::span<const std::uint8_t> bootSector)
{
    if (bootSector.size() < 512 || bootSector[510] != 0x55 || bootSector[511] != 0xAA)
        return std::nullopt;
    // exFAT and NTFS carry the same end marker but zero or foreign BPBs.
    if (hasText(bootSector, 3, "EXFAT   ") || hasText(bootSector, 3, "NTFS    "))
        return std::nullopt;
    const bool fat32 = bootSector[0x16] == 0 && bootSector[0x17] == 0;
    const std::size_t sig = fat32 ? 0x42 : 0x26;
    if (!isExtendedBootSignature(bootSector[sig]))
        return std::nullopt;
    return le32(bootSector, sig + 1);
}

std::optional<std::uint32_t> exfatSerial(std::span<const std::uint8_t> bootSector)
{
    if (bootSector.size() < 0x68 || !hasText(bootSector, 3, "EXFAT   "))
        return std::nullopt;
    return le32(bootSector, 0x64);
}

std::optional<std::uint32_t> ntfsSerial(std::span<const std::uint8_t> bootSector)
{
    if (bootSector.size() < 0x50 || !hasText(bootSector, 3, "NTFS    "))
        return std::nullopt;
    return le32(bootSector, 0x48);
}

std::optional<std::uint32_t> isoSerial(std::span<const std::uint8_t> descriptor)
{
    if (descriptor.size() < 2048 || !hasText(descriptor, 1, "CD001"))
        return std::nullopt;
    const auto s = fourSums(descriptor);
    return std::uint32_t(s[0]) << 24 | std::uint32_t(s[1]) << 16 | std::uint32_t(s[2]) << 8 | s[3];
}

bool isJolietDescriptor(std::span<const std::uint8_t> descriptor)
{
    if (descriptor.size() < 2048 || descriptor[0] != 2 || !hasText(descriptor, 1, "CD001"))
        return false;
    return hasText(descriptor, 88, "%/@") || hasText(descriptor, 88, "%/C") || hasText(descriptor, 88, "%/E");
}

std::optional<std::uint32_t> udfSerial(std::span<const std::uint8_t> fileSetDescriptor)
{
    // A File Set Descriptor starts with a descriptor tag whose identifier is 256.
    if (fileSetDescriptor.size() < 2048 || fileSetDescriptor[0] != 0x00 || fileSetDescriptor[1] != 0x01)
        return std::nullopt;
    const auto s = fourSums(fileSetDescriptor);
    return std::uint32_t(s[3]) << 24 | std::uint32_t(s[2]) << 16 | std::uint32_t(s[1]) << 8 | s[0];
}

std::uint32_t stableHash(std::string_view text)
{
    std::uint32_t h = 2166136261u;
    for (char c : text) {
        h ^= std::uint8_t(c);
        h *= 16777619u;
    }
    return h;
}

std::optional<std::uint32_t> serialFromUuid(std::string_view uuid, std::string_view fsType)
{
    if (uuid.empty())
        return std::nullopt;
    const bool fat = fsType == "vfat" || fsType == "msdos" || fsType == "fat" || fsType == "exfat";
    if (fat && uuid.size() == 9 && uuid[4] == '-') {
        const auto high = parseHex(uuid.substr(0, 4));
        const auto low = parseHex(uuid.substr(5, 4));
        if (high && low)
            return *high << 16 | *low;
    }
    const bool ntfs = fsType == "ntfs" || fsType == "ntfs3" || fsType == "ntfs-3g";
    if (ntfs && uuid.size() == 16 && parseHex(uuid.substr(0, 8))) {
        if (const auto low = parseHex(uuid.substr(8, 8)))
            return low;
    }
    std::string lower(uuid);
    for (char& c : lower)
        c = char(std::tolower(std::uint8_t(c)));
    return stableHash(lower);
}

} // namespace qd::volume
