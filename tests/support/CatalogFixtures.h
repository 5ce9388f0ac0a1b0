#pragma once

// Builders for catalogs in tests: small valid BMP icons, a byte writer that
// follows the file layout field by field (independent of the catalog writer),
// sample disks and temporary folders. Standard library only.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalog/Disk.h"

namespace qd::test {

// Appends little-endian fields, for catalogs made by hand.
class Bytes {
public:
    template <typename T> Bytes& put(T v)
    {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        data.append(b, sizeof(T));
        return *this;
    }
    Bytes& raw(std::string_view s)
    {
        data.append(s);
        return *this;
    }
    Bytes& str8(std::string_view s) { return put<std::uint8_t>(std::uint8_t(s.size())).raw(s); }
    Bytes& str16(std::string_view s) { return put<std::uint16_t>(std::uint16_t(s.size())).raw(s); }
    Bytes& str32(std::string_view s) { return put<std::int32_t>(std::int32_t(s.size())).raw(s); }
    std::string data;
};

// A 16 x 16 BMP file image of the given depth (24 or 1), every pixel byte set to fill.
inline std::string smallBmp(int bits, unsigned char fill)
{
    const int stride = ((16 * bits + 31) / 32) * 4;
    const int palette = bits == 1 ? 8 : 0;
    const int offset = 14 + 40 + palette;
    const int size = offset + stride * 16;
    Bytes b;
    b.raw("BM").put<std::uint32_t>(std::uint32_t(size)).put<std::uint32_t>(0).put<std::uint32_t>(std::uint32_t(offset));
    b.put<std::uint32_t>(40).put<std::int32_t>(16).put<std::int32_t>(16).put<std::uint16_t>(1).put<std::uint16_t>(
        std::uint16_t(bits));
    b.put<std::uint32_t>(0).put<std::uint32_t>(std::uint32_t(stride * 16)).put<std::int32_t>(2835).put<std::int32_t>(2835);
    b.put<std::uint32_t>(bits == 1 ? 2 : 0).put<std::uint32_t>(0);
    if (bits == 1)
        b.put<std::uint32_t>(0x00000000).put<std::uint32_t>(0x00FFFFFF);
    b.raw(std::string(std::size_t(stride * 16), char(fill)));
    return b.data;
}

inline TFile sampleFile(std::string_view name, std::uint32_t size)
{
    TFile f;
    f.Name = name;
    f.Size = size;
    f.Attr = kAttrArchive;
    f.CreationTime = 36526.5;
    f.LastWriteTime = 36527.25;
    f.LastAccessTime = 36528;
    return f;
}

// A small disk: D: with folders PHOTO (files) and PHOTO\2001, and DOCS.
inline TDisk sampleDisk()
{
    TDisk disk;
    disk.VolumeLabel = "SAMPLE";
    disk.SerialNo = 0x1234ABCD;
    disk.TotalSize = 700LL * 1024 * 1024;
    disk.FreeSize = 12345;
    disk.Comment = "first line\r\nsecond line";
    disk.IconImage = smallBmp(24, 0x80);
    disk.IconMask = smallBmp(1, 0x00);
    auto dir = [&](std::string_view name, std::int32_t parent) -> TDir& {
        TDir& d = disk.DirList.emplace_back();
        d.Name = name;
        d.Parent = parent;
        d.Attr = parent < 0 ? 0 : kAttrDirectory;
        d.Date = parent < 0 ? 0 : 37000.5;
        d.ScanDate = 46000.75;
        return d;
    };
    dir("D:", -1).FileList.push_back(sampleFile("README.TXT", 1234));
    TDir& photo = dir("PHOTO", 0);
    photo.FileList.push_back(sampleFile("b.jpg", 2000));
    photo.FileList.push_back(sampleFile("A.jpg", 3000000));
    photo.Comment = "photos";
    dir("DOCS", 0);
    dir("2001", 1).FileList.push_back(sampleFile("new year.png", 77));
    return disk;
}

// A fresh temporary folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qd-test-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, std::string_view data)
{
    std::ofstream out(p, std::ios::binary);
    out.write(data.data(), std::streamsize(data.size()));
}

} // namespace qd::test
