// Refresh of the catalog tree over 5,000 catalog files in 50 catalog folders,
// against opening each of the same files and reading 1 KB of it. The tree
// reads only each catalog's head, so its time must not grow with the catalog
// bodies: the run is repeated with two body sizes (sparse files, so that the
// benchmark needs no gigabytes of disk). Goal: refresh within 2x the reference.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "catalog/DiskFile.h"
#include "store/CatalogTree.h"
#include "bench/StoreRoot.h"

namespace {

constexpr int kRuns = 7;

double readEach(const std::vector<std::string>& files)
{
    QElapsedTimer t;
    t.start();
    char buffer[1024];
    long total = 0;
    for (const std::string& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        total += ::read(fd, buffer, sizeof buffer);
        ::close(fd);
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (total <= 0)
        std::exit(1);
    return ms;
}

double refresh(qd::TCatalogTree& tree, int expectedDisks)
{
    QElapsedTimer t;
    t.start();
    tree.refresh();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (tree.ImageList_Tree().count() < expectedDisks) {
        std::fprintf(stderr, "the tree lacks disks\n");
        std::exit(1);
    }
    return ms;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::printf("%-10s %12s %12s %8s\n", "body", "read 1 KB", "refresh", "ratio");
    for (const off_t body : {off_t(1) << 20, off_t(16) << 20}) {
        QTemporaryDir dir;
        const QString root = dir.path() + QStringLiteral("/data");
        const std::vector<std::string> files = qd::bench::makeRoot(root, body);
        qd::TCatalogTree tree(root);
        readEach(files); // warm the caches for both
        tree.refresh();
        std::vector<double> reference, refreshes;
        for (int run = 0; run < kRuns; ++run) {
            reference.push_back(readEach(files));
            refreshes.push_back(refresh(tree, int(files.size())));
        }
        const double r = median(reference), f = median(refreshes);
        std::printf("%-10s %9.1f ms %9.1f ms %7.2fx\n", (std::to_string(body >> 20) + " MB").c_str(), r, f, f / r);
    }
    return 0;
}
