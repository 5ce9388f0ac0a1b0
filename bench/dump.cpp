// qdcat dump of a catalog whose 20,000 folders each sit in the previous one,
// against the same 20,000 folders all in the root (same names, same bytes),
// both run as the built program in the same run: goal, the chain within 2
// times the flat catalog. Then the peak memory of qdcat dump and qdcat ls of
// a catalog of about 50 MB against its file size (goal <= 3), and qdcat ls of
// the chain's deepest folder against ls of the flat catalog's last one.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <vector>

#include "bench/ChildRun.h"
#include "catalog/DiskFile.h"

using namespace qd;
using namespace qd::bench;

namespace {

constexpr int kChain = 20000;

// 20,000 folders named "a" to "z" in turn: a chain (each in the previous one)
// or flat (all in the root). The two files differ only in the Parent fields.
TDisk folders(bool chain)
{
    TDisk disk;
    disk.VolumeLabel = "BENCH";
    disk.DirList.reserve(kChain);
    for (int i = 0; i < kChain; ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Parent = i == 0 ? -1 : chain ? i - 1 : 0;
        d.Name = i == 0 ? std::string("D:") : std::string(1, char('a' + i % 26));
        d.Attr = kAttrDirectory;
        d.Date = d.ScanDate = 45000.5;
    }
    return disk;
}

// About 50 MB: 1,000,000 files in 20,000 folders, as the catalog I/O bench.
TDisk large()
{
    TDisk disk;
    disk.VolumeLabel = "BENCH";
    char name[64];
    for (int i = 0; i < 20000; ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Parent = i == 0 ? -1 : (i - 1) / 8;
        std::snprintf(name, sizeof name, i == 0 ? "D:" : "Folder %05d", i);
        d.Name = name;
        d.Attr = kAttrDirectory;
        d.Date = d.ScanDate = 45000.5;
        for (int k = 0; k < 50; ++k) {
            TFile& f = d.FileList.emplace_back();
            if (k % 4 == 3)
                std::snprintf(name, sizeof name, "holiday photo %06d.jpeg", i * 50 + k);
            else
                std::snprintf(name, sizeof name, "DSC%05d.JPG", (i * 50 + k) % 100000);
            f.Name = name;
            f.Attr = kAttrArchive;
            f.Size = std::uint32_t(k * 4099 + i);
            f.CreationTime = f.LastWriteTime = f.LastAccessTime = 45000.25 + k;
        }
    }
    return disk;
}

// qdcat with arguments args, as the fastest of runs runs.
ChildRun best(int runs, std::vector<std::string> args)
{
    args.insert(args.begin(), QD_PROGRAM_DIR "/qdcat");
    return bestOf(runs, args);
}

} // namespace

int main()
{
    const auto dir = std::filesystem::temp_directory_path() / "qd-bench-dump";
    std::filesystem::create_directories(dir);
    SaveDiskData(dir / "chain", folders(true));
    SaveDiskData(dir / "flat", folders(false));
    SaveDiskData(dir / "large", large());
    // A child starts with the pages of its parent, which count in its peak
    // until it runs qdcat: give the generated catalogs' memory back first.
    malloc_trim(0);
    const std::string chain = (dir / "chain.qd").string();
    const std::string flat = (dir / "flat.qd").string();
    const std::string big = (dir / "large.qd").string();
    const double chainBytes = double(std::filesystem::file_size(chain));
    const double bigBytes = double(std::filesystem::file_size(big));

    // Paths of the deepest folder of the chain and of the flat catalog's last one.
    std::string deepest = "D:";
    for (int i = 1; i < kChain; ++i)
        deepest += std::string("\\") + char('a' + i % 26);
    const std::string last = std::string("D:\\") + char('a' + (kChain - 1) % 26);

    const ChildRun dumpChain = best(5, {"dump", chain});
    const ChildRun dumpFlat = best(5, {"dump", flat});
    const ChildRun lsChain = best(5, {"ls", chain, deepest});
    const ChildRun lsFlat = best(5, {"ls", flat, last});
    const ChildRun dumpBig = best(3, {"dump", big});
    const ChildRun lsBig = best(3, {"ls", big});

    std::printf("catalogs: %d folders in a chain and flat, %.0f KB each; a large one of %.1f MB\n", kChain,
                chainBytes / 1e3, bigBytes / 1e6);
    std::printf("dump chain %.3f s   flat %.3f s   ratio %.2f (goal <= 2)\n", dumpChain.seconds, dumpFlat.seconds,
                dumpChain.seconds / dumpFlat.seconds);
    std::printf("     peak memory chain %.1f MB   flat %.1f MB\n", dumpChain.maxRssKb / 1e3, dumpFlat.maxRssKb / 1e3);
    std::printf("ls of the deepest folder %.3f s   of the flat one %.3f s   ratio %.2f (goal <= 2)\n",
                lsChain.seconds, lsFlat.seconds, lsChain.seconds / lsFlat.seconds);
    std::printf("dump of %.1f MB: %.3f s, peak memory %.1f MB, ratio to file size %.2f (goal <= 3)\n", bigBytes / 1e6,
                dumpBig.seconds, dumpBig.maxRssKb / 1e3, dumpBig.maxRssKb * 1e3 / bigBytes);
    // The program's own footprint, libraries and all, is that of the small catalogs.
    std::printf("     above the %.1f MB of a %.0f KB catalog: %.1f MB, ratio to file size %.2f\n",
                dumpFlat.maxRssKb / 1e3, chainBytes / 1e3, (dumpBig.maxRssKb - dumpFlat.maxRssKb) / 1e3,
                (dumpBig.maxRssKb - dumpFlat.maxRssKb) * 1e3 / bigBytes);
    std::printf("ls   of %.1f MB: %.3f s, peak memory %.1f MB, ratio to file size %.2f\n", bigBytes / 1e6,
                lsBig.seconds, lsBig.maxRssKb / 1e3, lsBig.maxRssKb * 1e3 / bigBytes);
    if (!getenv("QD_BENCH_KEEP"))
        std::filesystem::remove_all(dir);
    return 0;
}
