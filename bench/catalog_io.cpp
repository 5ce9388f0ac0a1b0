// Load and save of a catalog of 1,000,000 files in 20,000 folders, against one
// read() and one write() of the same number of bytes, and the memory of the
// loaded TDisk (the resident memory it adds) against the file size. A first
// load, into a new TDisk of a process that has not loaded before, is measured
// in forked children against a first read into a new buffer: in the
// benchmark's own process the memory of earlier loads would be reused.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/ChildRun.h"
#include "catalog/DiskFile.h"

using namespace qd;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFolders = 20000;
constexpr int kFilesPerFolder = 50;

TDisk generate()
{
    TDisk disk;
    disk.VolumeLabel = "BENCH";
    disk.DirList.reserve(kFolders);
    char name[64];
    for (int i = 0; i < kFolders; ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Parent = i == 0 ? -1 : (i - 1) / 8;
        std::snprintf(name, sizeof name, i == 0 ? "D:" : "Folder %05d", i);
        d.Name = name;
        d.Attr = kAttrDirectory;
        d.Date = d.ScanDate = 45000.5;
        d.FileList.reserve(kFilesPerFolder);
        for (int k = 0; k < kFilesPerFolder; ++k) {
            TFile& f = d.FileList.emplace_back();
            // Mostly 8.3 camera names, every fourth a longer name.
            if (k % 4 == 3)
                std::snprintf(name, sizeof name, "holiday photo %06d.jpeg", i * kFilesPerFolder + k);
            else
                std::snprintf(name, sizeof name, "DSC%05d.JPG", (i * kFilesPerFolder + k) % 100000);
            f.Name = name;
            f.Attr = kAttrArchive;
            f.Size = std::uint32_t(k * 4099 + i);
            f.CreationTime = f.LastWriteTime = f.LastAccessTime = 45000.25 + k;
        }
    }
    return disk;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F> double best(int runs, F f)
{
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        t = std::min(t, seconds(Clock::now() - start));
    }
    return t;
}

// The process's resident memory in bytes.
double resident()
{
    long pages = 0, residentPages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &residentPages) != 2)
            residentPages = 0;
        std::fclose(f);
    }
    return double(residentPages) * double(::sysconf(_SC_PAGESIZE));
}

} // namespace

int main()
{
    const auto dir = std::filesystem::temp_directory_path() / "qd-bench-catalog";
    std::filesystem::create_directories(dir);
    const auto file = dir / "bench.qd";
    const auto raw = dir / "raw.bin";

    TDisk disk = generate();
    SaveDiskData(dir / "bench", disk);
    const std::string image = BuildDiskData(disk);
    const double fileSize = double(image.size());

    std::string buffer(image.size(), '\0');
    const double tRead = best(7, [&] {
        const int fd = ::open(file.c_str(), O_RDONLY);
        if (::read(fd, buffer.data(), buffer.size()) != ssize_t(buffer.size()))
            std::perror("read");
        ::close(fd);
    });
    // The first load of a run: every record's memory is new. Its reference
    // is a first read, into a new buffer of a process that has not read
    // before, whose pages are new too.
    double tFirst = 1e9, tFirstRead = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double r = qd::bench::measureForked([&] {
            const auto start = Clock::now();
            std::string fresh(image.size(), '\0');
            const int fd = ::open(file.c_str(), O_RDONLY);
            const bool whole = ::read(fd, fresh.data(), fresh.size()) == ssize_t(fresh.size());
            ::close(fd);
            return whole ? seconds(Clock::now() - start) : -1.0;
        });
        if (r >= 0)
            tFirstRead = std::min(tFirstRead, r);
        const double t = qd::bench::measureForked([&] {
            TDisk fresh;
            const auto start = Clock::now();
            (void)LoadDiskData(file, fresh);
            return seconds(Clock::now() - start);
        });
        if (t >= 0)
            tFirst = std::min(tFirst, t);
    }
    TDisk loaded; // a disk reloaded in place, as the contents view and the search do
    const double tLoad = best(7, [&] { (void)LoadDiskData(file, loaded); });
    const double tSave = best(3, [&] { SaveDiskData(dir / "bench", disk); });
    const double tBuild = best(3, [&] { (void)BuildDiskData(disk); });
    auto rawWrite = [&](bool sync) {
        const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, image.data(), image.size()) != ssize_t(image.size()))
            std::perror("write");
        if (sync)
            ::fsync(fd);
        ::close(fd);
    };
    const double tWrite = best(3, [&] { rawWrite(false); });
    const double tWriteSync = best(3, [&] { rawWrite(true); });


    const double memory = qd::bench::measureForked([&] {
        const double before = resident();
        TDisk measured;
        (void)LoadDiskData(file, measured);
        return resident() - before;
    });
    {
        std::printf("catalog: %d folders, %d files, %.1f MB\n", kFolders, kFolders * kFilesPerFolder, fileSize / 1e6);
        std::printf("load  %.3f s   raw read %.3f s   ratio %.2f (goal <= 5)\n", tLoad, tRead, tLoad / tRead);
        std::printf("first load into a new TDisk %.3f s   first read into a new buffer %.3f s   ratio %.2f (goal <= 3)\n",
                    tFirst, tFirstRead, tFirst / tFirstRead);
        std::printf("save  %.3f s   raw write %.3f s   ratio %.2f; with fsync both: raw %.3f s ratio %.2f\n", tSave,
                    tWrite, tSave / tWrite, tWriteSync, tSave / tWriteSync);
        std::printf("      (building the image in memory alone: %.3f s)\n", tBuild);
        std::printf("memory of the loaded TDisk %.1f MB   ratio to file size %.2f (goal <= 2)\n", memory / 1e6,
                    memory / fileSize);
    }
    if (!getenv("QD_BENCH_KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
