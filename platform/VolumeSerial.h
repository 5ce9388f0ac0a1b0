#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qd::volume {

// Volume serial numbers as Windows reports them, each derived from the
// on-disk structure that defines it. Pure functions over the bytes; every one
// answers nullopt when the bytes are not the structure it reads.

// FAT12/16: the 32-bit little-endian value at 0x27 of the boot sector, FAT32
// at 0x43; either only when the extended boot signature (0x28 or 0x29) is
// present. FAT32 is told apart by a zero 16-bit FAT size at 0x16.
std::optional<std::uint32_t> fatSerial(std::span<const std::uint8_t> bootSector);

// exFAT: the volume serial number at 0x64 of the boot sector ("EXFAT   " at 3).
std::optional<std::uint32_t> exfatSerial(std::span<const std::uint8_t> bootSector);

// NTFS: the low 32 bits of the 64-bit serial at 0x48 ("NTFS    " at 3).
std::optional<std::uint32_t> ntfsSerial(std::span<const std::uint8_t> bootSector);

// ISO 9660: the 2048 bytes of a volume descriptor added into four wrapping
// 8-bit sums by offset mod 4; sum 0 is the most significant byte. The caller
// chooses the descriptor (the Joliet one when there is one, else the primary).
std::optional<std::uint32_t> isoSerial(std::span<const std::uint8_t> descriptor);

// True for a Joliet supplementary volume descriptor: type 2 with the escape
// sequence %/@, %/C or %/E at bytes 88 to 90.
bool isJolietDescriptor(std::span<const std::uint8_t> descriptor);

// UDF: the same four sums over the 2048 bytes of the File Set Descriptor,
// combined the other way round (sum 3 most significant).
std::optional<std::uint32_t> udfSerial(std::span<const std::uint8_t> fileSetDescriptor);

// The serial from the file system UUID that udev or blkid publish, for when
// the structure itself cannot be read. FAT and exFAT print the serial itself
// as "XXXX-YYYY"; NTFS prints the 64-bit serial as 16 hex digits, whose last
// 8 are the serial. Every other UUID (and one in neither form) gives the
// 32-bit FNV-1a hash of its lower-case text: stable, though no Windows value.
// nullopt for an empty UUID.
std::optional<std::uint32_t> serialFromUuid(std::string_view uuid, std::string_view fsType);

// The 32-bit FNV-1a hash of the bytes, the stable fallback above.
std::uint32_t stableHash(std::string_view text);

} // namespace qd::volume
