// The disk update of a folder whose 100,000 sub-folders (with 100,000 more
// below them) have all vanished from the disk, against loading and saving the
// same catalog: the removal must be one pass, not one pass per folder.
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
    std::filesystem::create_directory(emptyFolder);

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
    double tLoadSave = 1e9, tUpdate = 1e9;
    std::size_t left = 0;
    TDisk disk;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        (void)LoadDiskData(file, disk);
        SaveDiskData(catalog, disk);
        tLoadSave = std::min(tLoadSave, seconds(Clock::now() - start));

        TDisk updated = shown;
        FolderReader reader(emptyFolder);
        start = Clock::now();
        const UpdateResult r = MergeListing(updated, 0, rows, reader, order, ScanClock::current());
        tUpdate = std::min(tUpdate, seconds(Clock::now() - start));
        left = r.removedFolders.size() == std::size_t(kVanished) ? updated.DirList.size() : 0;
    }
    std::printf("catalog: %d folders, %zu left after the update\n", 2 * kVanished + 1, left);
    std::printf("update removing %d vanished folders %.3f s   load and save %.3f s   ratio %.2f (goal <= 2)\n",
                kVanished, tUpdate, tLoadSave, tUpdate / tLoadSave);
    return left == 1 ? 0 : 1;
}
