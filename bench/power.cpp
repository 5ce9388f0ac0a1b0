// qdcat for a large user: 5,000 catalogs in 50 catalog folders, 20 million
// files in all (about 1 GB, every catalog a file of its own), each command
// run as the built program against reading the same files with the system's
// own tools, in the same run, on a warm cache:
//
//   qdcat search TEXT and search -i TEXT   against cat of every catalog   goal <= 1.5
//   qdcat disks (heads only)               against head -c 4096 of each   goal <= 1.2
//   qdcat disks --files                    against cat                     (reads all)
//   qdcat duplicates                       against cat                     goal <= 3
//
// cat reads every catalog once before it is timed, so that the reference
// is the page cache's speed. cat takes a new buffer per file, whose page
// faults may cost more than the reading; so each figure is also given
// against the floor, every catalog read into one buffer that is kept, and
// search -i and duplicates against cat with its buffer kept from file to
// file. Each figure comes with its processor time and the ratio of that
// (user and system time, child against child), which a busy machine's other
// work does not swell.
//
// Then the peak memory of search, disks and duplicates over 500 catalogs (hard
// links to a tenth of the same files) and over all 5,000: search and disks
// must not grow with the collection.
//
// With QD_BENCH_COMPARE naming another build's qdcat, its search -i and
// duplicates are timed too, in the same run, taking turns with this
// build's, and against the same references, and the outputs of
// duplicates and of search -i over the first 100 catalogs, and of
// duplicates over all of them, must be the same, byte for byte, from both: a
// check that a faster qdcat finds what the other did.
//
// Names are camera names that recur on every disk with other sizes, longer
// Japanese names (every fifth) and document names; one catalog in 97 holds
// the search text, in one case or another; each disk holds 40 files of the
// disk before it, with their names and sizes, as a backup would.
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/ChildRun.h"
#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"

using namespace qd;
using namespace qd::bench;

namespace {

constexpr int kShelves = 50;
constexpr int kPerShelf = 100;      // 5,000 catalogs
constexpr int kFolders = 40;        // per catalog: the root and 39 folders below it
constexpr int kFilesPerFolder = 100; // 4,000 files per catalog
constexpr int kBackedUp = 40;       // files of the disk before, per disk
constexpr int kHitEvery = 97;

std::uint32_t mix(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return std::uint32_t(x);
}

// The name and size of file k of disk c, as its own or as a backup of disk c - 1.
void fileOf(int c, int k, const std::string& japanese, std::string& name, std::uint32_t& size)
{
    char buffer[128];
    switch (k % 5) {
    case 0: std::snprintf(buffer, sizeof buffer, "DSC%05d.JPG", k); break;
    case 1: std::snprintf(buffer, sizeof buffer, "IMG_%04d.jpg", k); break;
    case 2: std::snprintf(buffer, sizeof buffer, "%s %05d.jpg", japanese.c_str(), k); break;
    case 3: std::snprintf(buffer, sizeof buffer, "report-%d-%d.doc", c, k); break;
    default: std::snprintf(buffer, sizeof buffer, "track%02d disc%d.mp3", k % 99, c); break;
    }
    name = buffer;
    size = mix(std::uint64_t(c) << 32 | std::uint32_t(k)) % (8u << 20) + 1;
}

TDisk makeDisk(int c, const std::string& japanese)
{
    TDisk disk;
    disk.VolumeLabel = "POWER" + std::to_string(c);
    disk.SerialNo = mix(std::uint64_t(c) + 99);
    disk.TotalSize = 700LL << 20;
    disk.FreeSize = 1234;
    std::string name;
    std::uint32_t size;
    for (int i = 0; i < kFolders; ++i) {
        TDir& d = disk.DirList.emplace_back();
        d.Parent = i == 0 ? -1 : i < 8 ? 0 : 1 + (i - 8) % 7;
        d.Name = i == 0 ? std::string("D:") : "Folder " + std::to_string(i);
        d.Attr = kAttrDirectory;
        d.Date = d.ScanDate = 45000.5 + c;
        for (int j = 0; j < kFilesPerFolder; ++j) {
            const int k = i * kFilesPerFolder + j;
            // The first files of the last folder are the backup of the disk before.
            const bool backup = c > 0 && i == kFolders - 1 && j < kBackedUp;
            fileOf(backup ? c - 1 : c, backup ? k - kFilesPerFolder : k, japanese, name, size);
            TFile& f = d.FileList.emplace_back();
            f.Name = name;
            f.Size = size;
            f.Attr = kAttrArchive;
            f.CreationTime = f.LastWriteTime = f.LastAccessTime = 45000.25 + j;
        }
    }
    if (c % kHitEvery == 0)
        disk.DirList[std::size_t(c % kFolders)].FileList[7].Name = c % 2 ? "Needle.txt" : "NEEDLE.TXT";
    if (c % kHitEvery == 1)
        disk.DirList[std::size_t(c % kFolders)].FileList[7].Name = cp932::fromUtf8("ｎｅｅｄｌｅ.txt").bytes;
    return disk;
}

struct Store {
    std::filesystem::path root, small, hundred;
    std::vector<std::string> files;      // in the tree's order
    std::vector<std::string> smallFiles; // the first 500
    double bytes = 0;
};

Store generate(const std::filesystem::path& dir)
{
    Store s;
    s.root = dir / "all";
    s.small = dir / "some";
    s.hundred = dir / "hundred";
    const std::string japanese = cp932::fromUtf8("家族旅行の写真").bytes;
    for (int shelf = 0; shelf < kShelves; ++shelf) {
        char shelfName[32];
        std::snprintf(shelfName, sizeof shelfName, "Shelf %02d", shelf);
        std::filesystem::create_directories(s.root / shelfName);
        if (shelf < kShelves / 10)
            std::filesystem::create_directories(s.small / shelfName);
        for (int i = 0; i < kPerShelf; ++i) {
            const int c = shelf * kPerShelf + i;
            char diskName[32];
            std::snprintf(diskName, sizeof diskName, "CD%04d.qd", c);
            const std::filesystem::path file = s.root / shelfName / diskName;
            const std::string image = BuildDiskData(makeDisk(c, japanese));
            std::ofstream(file, std::ios::binary).write(image.data(), std::streamsize(image.size()));
            s.files.push_back(file.string());
            s.bytes += double(image.size());
            if (shelf < kShelves / 10) {
                std::filesystem::create_hard_link(file, s.small / shelfName / diskName);
                s.smallFiles.push_back(file.string());
            }
            if (shelf == 0) {
                std::filesystem::create_directories(s.hundred / shelfName);
                std::filesystem::create_hard_link(file, s.hundred / shelfName / diskName);
            }
        }
    }
    return s;
}

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& files)
{
    head.insert(head.end(), files.begin(), files.end());
    return head;
}

std::string output(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

// Whether this qdcat and the other give the same output (standard output
// and error) for each of the commands over root, and for duplicates over
// whole, whose parts fill many blocks where root's fill few; says which
// differ.
bool sameOutputs(const std::string& qdcat, const std::string& other, const std::string& root, const std::string& whole)
{
    const std::vector<std::string> commands = {
        "duplicates",           "duplicates --json",       "duplicates --min-size 4M", "search -i needle",
        "search -i ＮＥＥＤＬＥ", "search -i 写真",           "search -i .jpg --json",    "search -i ｶﾞ",
        "search -i 'track0' --folders",
    };
    bool same = true;
    for (const std::string& c : commands) {
        const std::string tail = " " + c + " --root '" + root + "' 2>&1";
        if (output(qdcat + tail) != output(other + tail)) {
            std::printf("outputs differ: qdcat %s\n", c.c_str());
            same = false;
        }
    }
    const std::string tail = " duplicates --root '" + whole + "' 2>&1";
    if (output(qdcat + tail) != output(other + tail)) {
        std::printf("outputs differ: qdcat duplicates over every catalog\n");
        same = false;
    }
    return same;
}

// Reads every file into one buffer, as the floor of what reading them costs.
int readEvery(const std::vector<std::string>& files)
{
    static char buffer[1 << 20];
    for (const std::string& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 1;
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    }
    return 0;
}

} // namespace

int main()
{
    const auto dir = std::filesystem::temp_directory_path() / "qd-bench-power";
    std::filesystem::remove_all(dir);
    std::printf("generating %d catalogs of %d files\n", kShelves * kPerShelf, kFolders * kFilesPerFolder);
    std::fflush(stdout);
    const Store store = generate(dir);
    malloc_trim(0);
    const std::string qdcat = QD_PROGRAM_DIR "/qdcat";
    const std::string root = store.root.string(), small = store.small.string();
    std::printf("%zu catalogs, %.0f MB, under %s\n", store.files.size(), store.bytes / 1e6, root.c_str());

    // What the commands find, once, so that a fast wrong answer shows.
    const std::string found = output(qdcat + " search Needle --root '" + root + "' 2>&1 >/dev/null");
    const std::string foundI = output(qdcat + " search -i needle --root '" + root + "' 2>&1 >/dev/null");
    const std::string dups = output(qdcat + " duplicates --root '" + root + "' 2>&1 >/dev/null");
    const std::string disks = output(qdcat + " disks --files --root '" + root + "' | wc -l");
    std::printf("search Needle: %s", found.c_str());
    std::printf("search -i needle: %s", foundI.c_str());
    std::printf("duplicates: %s", dups.c_str());
    std::printf("disks --files: %s lines\n", disks.substr(0, disks.find('\n')).c_str());

    (void)runChild(with({"cat"}, store.files)); // the timed reads find every catalog in the cache
    const ChildRun cat = bestOf(5, with({"cat"}, store.files));
    // cat maps a new buffer for every file it reads and unmaps it after, so
    // on a machine where page faults are dear it measures faults more than
    // reading: the floor is every catalog read into one buffer, kept.
    const ChildRun read = bestOfForked(5, [&] { return readEvery(store.files); }, "read of every catalog");
    // The same cat with its buffer kept on the heap from file to file, as
    // glibc's tunables can tell it: cat as fast as it reads here.
    const std::vector<std::string> keptCat = {
        "env", "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=4194304:glibc.malloc.trim_threshold=67108864", "cat"};
    const ChildRun catKept = bestOf(5, with(keptCat, store.files));
    const ChildRun heads = bestOf(5, with({"head", "-q", "-c", "4096"}, store.files));
    const ChildRun search = bestOf(5, {qdcat, "search", "Needle", "--root", root});
    // With another build to compare, the two take turns run by run, so that
    // both meet the machine in the same state: its figures go to theirs.
    const char* other = std::getenv("QD_BENCH_COMPARE");
    const auto turns = [&](int runs, const std::vector<std::string>& argv, ChildRun& theirs) {
        std::vector<std::string> otherArgv = argv;
        otherArgv[0] = other ? other : "";
        ChildRun mine = bestOf(1, argv);
        if (other)
            theirs = bestOf(1, otherArgv);
        for (int i = 1; i < runs; ++i) {
            keepBest(mine, bestOf(1, argv));
            if (other)
                keepBest(theirs, bestOf(1, otherArgv));
        }
        return mine;
    };
    ChildRun otherI, otherDuplicates;
    const ChildRun searchI = turns(5, {qdcat, "search", "-i", "needle", "--root", root}, otherI);
    const ChildRun start = bestOf(5, {qdcat, "--version"});
    const ChildRun disksHeads = bestOf(5, {qdcat, "disks", "--root", root});
    const ChildRun disksFiles = bestOf(5, {qdcat, "disks", "--files", "--root", root});
    const ChildRun duplicates = turns(5, {qdcat, "duplicates", "--root", root}, otherDuplicates);

    // A figure, its processor time, and both as ratios to the reference's.
    const auto line = [](const char* what, const ChildRun& r, const ChildRun& ref, const char* refName, const char* goal) {
        std::printf("%-25s %.3f s (cpu %.3f s)   ratio to %-5s %.2f (cpu %.2f)%s\n", what, r.seconds, r.cpuSeconds, refName,
                    r.seconds / ref.seconds, r.cpuSeconds / ref.cpuSeconds, goal);
    };
    std::printf("cat of every catalog      %.3f s (cpu %.3f s)   %.2f GB/s\n", cat.seconds, cat.cpuSeconds,
                store.bytes / cat.seconds / 1e9);
    std::printf("read of every catalog     %.3f s (cpu %.3f s)   %.2f GB/s, one buffer for all\n", read.seconds,
                read.cpuSeconds, store.bytes / read.seconds / 1e9);
    std::printf("cat, its buffer kept      %.3f s (cpu %.3f s)   %.2f GB/s\n", catKept.seconds, catKept.cpuSeconds,
                store.bytes / catKept.seconds / 1e9);
    std::printf("head -c 4096 of each      %.3f s (cpu %.3f s)\n", heads.seconds, heads.cpuSeconds);
    line("search Needle", search, cat, "cat", " (goal <= 1.5)");
    line("search -i needle", searchI, cat, "cat", " (goal <= 1.5)");
    line("disks", disksHeads, heads, "heads", " (goal <= 1.2)");
    // qdcat's start (Qt Core and Gui, GIO, all bound at load) is a fixed
    // cost that head does not pay: what the catalogs themselves cost.
    std::printf("qdcat --version           %.3f s   disks less it: ratio to heads %.2f\n", start.seconds,
                (disksHeads.seconds - start.seconds) / heads.seconds);
    line("disks --files", disksFiles, cat, "cat", "");
    line("duplicates", duplicates, cat, "cat", " (goal <= 3)");
    line("search Needle", search, read, "read", "");
    line("search -i needle", searchI, read, "read", "");
    line("duplicates", duplicates, read, "read", "");
    line("search -i needle", searchI, catKept, "kept", "");
    line("duplicates", duplicates, catKept, "kept", "");
    // What the catalogs cost, as the reference pays no start of its own.
    const auto lessStart = [&](const char* what, const ChildRun& r) {
        std::printf("%-25s less qdcat's start: ratio to read %.2f\n", what, (r.seconds - start.seconds) / read.seconds);
    };
    lessStart("search Needle", search);
    lessStart("search -i needle", searchI);
    lessStart("duplicates", duplicates);
    // The other build's figures in this same run, against the same references.
    if (other) {
        line("other's search -i", otherI, cat, "cat", "");
        line("other's duplicates", otherDuplicates, cat, "cat", "");
        line("other's search -i", otherI, read, "read", "");
        line("other's duplicates", otherDuplicates, read, "read", "");
        line("other's search -i", otherI, catKept, "kept", "");
        line("other's duplicates", otherDuplicates, catKept, "kept", "");
        lessStart("other's search -i", otherI);
        lessStart("other's duplicates", otherDuplicates);
    }

    // Peak memory over a tenth of the catalogs and over all of them.
    const auto memory = [&](const char* what, std::vector<std::string> args) {
        args.insert(args.begin(), qdcat);
        args.push_back("--root");
        args.push_back(small);
        const long few = runChild(args).maxRssKb;
        args.back() = root;
        const long all = runChild(args).maxRssKb;
        std::printf("peak memory %-14s %6.1f MB over %zu catalogs, %6.1f MB over %zu, ratio %.2f\n", what, few / 1e3,
                    store.smallFiles.size(), all / 1e3, store.files.size(), double(all) / double(few));
    };
    memory("search", {"search", "Needle"});
    memory("search -i", {"search", "-i", "needle"});
    memory("disks", {"disks"});
    memory("disks --files", {"disks", "--files"});
    memory("duplicates", {"duplicates"});
    // Last, so that the outputs it holds swell no child's peak above.
    int status = 0;
    if (other) {
        if (sameOutputs(qdcat, other, store.hundred.string(), root))
            std::printf("duplicates and search -i over 100 catalogs, duplicates over all: the same output as %s\n",
                        other);
        else
            status = 1;
    }
    if (!std::getenv("QD_BENCH_KEEP"))
        std::filesystem::remove_all(dir);
    return status;
}
