// The disk update of a folder whose 100,000 sub-folders (with 100,000 more
// below them) have vanished from the disk, against loading and saving the
// same catalog: the removal must be one pass, not one pass per folder. Once
// all of them have gone, and once with one left, which makes the update look
// its name up among the 100,000 rows.
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "browse/FolderRows.h"
#include "catalog/DiskFile.h"
#include "platform/NameOrder.h"
#include "registration/DiskUpdate.h"

using namespace qd;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kVanished = 100000;

TDisk generate()
{
    TDisk disk;
    disk.VolumeLabel = "BENCH";
    TDir& root = disk.DirList.emplace_back();
    root.Parent = -1;
    root.Name = "D:";
    char name[64];
    for (int i = 0; i < 2 * kVanished; ++i) {
        TDir& d = disk.DirList.emplace_back();
        // The root's folders first, as the walk finds them; then one inside each.
        d.Parent = i < kVanished ? 0 : i - kVanished + 1;
        std::snprintf(name, sizeof name, i < kVanished ? "Folder %06d" : "Inner %06d", i % kVanished);
        d.Name = name;
        d.Attr = kAttrDirectory;
        d.Date = d.ScanDate = 45000.5;
        TFile& f = d.FileList.emplace_back();
        std::snprintf(name, sizeof name, "DSC%05d.JPG", i % 100000);
        f.Name = name;
        f.Size = std::uint32_t(i);
    }
    return disk;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

int main()
{
    QTemporaryDir dir;
    const std::filesystem::path catalog = std::filesystem::path(dir.filePath("bench").toStdString());
    const std::filesystem::path file = std::filesystem::path(dir.filePath("bench.qd").toStdString());
    const std::string emptyFolder = dir.filePath("empty").toStdString();
    const std::string oneLeft = dir.filePath("one").toStdString();
    std::filesystem::create_directory(emptyFolder);
    std::filesystem::create_directories(oneLeft + "/Folder 000000");

    const TDisk generated = generate();
    SaveDiskData(catalog, generated);

    // The rows as the contents view lists them, sorted before the update as
    // it sorts them. Each run loads and saves the catalog, then updates a
    // fresh copy of it; the best of three of each counts.
    const NameOrder order;
    TDisk shown = generated;
    ShownRows rows;
    for (const FolderRow& row : ArrangeFolder(shown, 0, order).rows)
        (row.kind == FolderRow::Folder ? rows.folders : rows.files).push_back(row.index);
    double tLoadSave = 1e9, tAllGone = 1e9, tOneLeft = 1e9;
    bool right = true;
    TDisk disk;
    const auto update = [&](const std::string& real, std::size_t vanished, double& best) {
        TDisk updated = shown;
        FolderReader reader(real);
        const auto start = Clock::now();
        const UpdateResult r = MergeListing(updated, 0, rows, reader, order, ScanClock::current());
        best = std::min(best, seconds(Clock::now() - start));
        right = right && r.removedFolders.size() == vanished && updated.DirList.size() == 1 + 2 * (kVanished - vanished);
    };
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        (void)LoadDiskData(file, disk);
        SaveDiskData(catalog, disk);
        tLoadSave = std::min(tLoadSave, seconds(Clock::now() - start));
        update(emptyFolder, kVanished, tAllGone);
        update(oneLeft, kVanished - 1, tOneLeft);
    }
    std::printf("catalog: %d folders, load and save %.3f s\n", 2 * kVanished + 1, tLoadSave);
    std::printf("update, all %d sub-folders gone     %.3f s   ratio %.2f (goal <= 2)\n", kVanished, tAllGone,
                tAllGone / tLoadSave);
    std::printf("update, all but one of them gone      %.3f s   ratio %.2f (goal <= 2)\n", tOneLeft,
                tOneLeft / tLoadSave);
    if (!right)
        std::fprintf(stderr, "the update did not remove what it should\n");
    return right ? 0 : 1;
}
