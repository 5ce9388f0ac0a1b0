// What following the world costs per event on a root of 5,000 catalogs in
// 50 folders: the look at one folder after its inotify event (a catalog of
// it rewritten), one slice of a poll of a share (and the whole sweep the
// slices add up to, every three seconds), the look at the drives after a
// mount event that changed none of them, and qdcat watch's heads-only
// lookup of a disk put in that no catalog records (every head read; the
// window takes the serial numbers its tree has read instead). Each against
// the tree's refresh (最新の情報に更新) in the same run, which an event that
// did change the store adds once. Goal: a few milliseconds per event.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "bench/StoreRoot.h"
#include "browse/DiskIdentify.h"
#include "platform/DriveWatch.h"
#include "platform/StoreWatch.h"
#include "store/CatalogTree.h"

namespace {

constexpr int kRuns = 9;

double median(const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/data");
    const std::vector<std::string> names = qd::bench::makeRoot(root, off_t(1) << 20, 0x10000000);
    const QByteArray nativeRoot = QFile::encodeName(root);
    std::vector<std::filesystem::path> files(names.begin(), names.end());

    qd::TCatalogTree tree(root);
    tree.refresh();
    const double refresh = median([&] { tree.refresh(); });

    // An event of one folder, a catalog of it rewritten each time.
    qd::StoreWatcher notify(nativeRoot, qd::StoreWatcher::Mode::Notify);
    const QByteArray folder = nativeRoot + "/folder 25";
    int changes = 0;
    QObject::connect(&notify, &qd::StoreWatcher::changed, [&] { ++changes; });
    int run = 0;
    const double inotifyLook = median([&] {
        const timespec when[2] = {{0, UTIME_OMIT}, {1000000000 + ++run, 0}};
        ::utimensat(AT_FDCWD, (folder + "/disk 7.qd").constData(), when, 0);
        notify.lookAt(folder);
    });
    qd::StoreWatcher poll(nativeRoot, qd::StoreWatcher::Mode::Poll);
    const double pollSlice = median([&] { poll.slice(); });
    const double pollWhole = median([&] { poll.look(); });
    qd::DriveWatcher drives;
    const double driveLook = median([&] { drives.check(); });
    std::size_t found = 0;
    const double lookup = median([&] {
        found += qd::FindCatalogBySerial(0xFFFFFFFF, files, [](const qd::SkippedCatalog&) {}).has_value();
    });
    const double treeLookup = median([&] { found += tree.findBySerial(0xFFFFFFFF) != nullptr; });
    if (found || notify.polling() || changes != kRuns || !tree.findBySerial(0x10000000 + 4999)) {
        std::fprintf(stderr, "the benchmark did not measure what it should\n");
        return 1;
    }

    std::printf("%-36s %9s %9s\n", "per event, 5,000 catalogs", "ms", "refresh");
    const struct {
        const char* what;
        double ms;
    } rows[] = {{"tree refresh (the reference)", refresh},
                {"store look after an inotify event", inotifyLook},
                {"store look of a poll's slice", pollSlice},
                {"store look of a whole poll sweep", pollWhole},
                {"drive look, no drive changed", driveLook},
                {"window: lookup of an unknown disk", treeLookup},
                {"qdcat watch: lookup of an unknown disk", lookup}};
    for (const auto& row : rows)
        std::printf("%-36s %9.2f %8.3fx\n", row.what, row.ms, row.ms / refresh);
    return 0;
}
