// Disk identification over 5,000 catalogs of 2 MB each in 50 catalog folders,
// the match last in tree order, against reading the 5,000 heads alone (the
// tree's refresh reads as much). Identification reads each head on to its
// serial number and loads only the candidate whole, so its time must stay
// near the heads' whatever the bodies weigh. Goal: within 2x the reference.
// For scale, one pass that loads every catalog whole, as a walk without the
// head test would, is timed once.
//
// The 4,999 catalogs that do not match are hard links to one body, so the
// run needs 4 MB of disk rather than 10 GB; the match is a file of its own.
// The caches are warm.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "browse/DiskIdentify.h"
#include "catalog/DiskFile.h"
#include "platform/CatalogStore.h"
#include "tests/support/CatalogFixtures.h"

namespace {

constexpr int kFolders = 50;
constexpr int kPerFolder = 100;
constexpr int kRuns = 7;
constexpr std::uint32_t kOtherSerial = 0x11111111;
constexpr std::uint32_t kMatchSerial = 0x22222222;

// A catalog of about 2 MB: 100 folders of 400 files each.
qd::TDisk twoMegabytes(std::uint32_t serial)
{
    qd::TDisk disk = qd::test::sampleDisk();
    disk.SerialNo = serial;
    disk.DirList.resize(1);
    disk.DirList[0].FileList.clear();
    for (int f = 0; f < 100; ++f) {
        qd::TDir& dir = disk.DirList.emplace_back();
        dir.Name = "folder " + std::to_string(f);
        dir.Parent = 0;
        dir.Attr = qd::kAttrDirectory;
        for (int i = 0; i < 400; ++i)
            dir.FileList.push_back(qd::test::sampleFile("IMG_" + std::to_string(10000 + i) + ".JPG", 123456));
    }
    return disk;
}

void fail(const std::string& what)
{
    std::perror(what.c_str());
    std::exit(1);
}

// The store: folders "shelf 00" to "shelf 49" of "disk 000.qd" to "disk 099.qd";
// the very last disk is the match. Returns the files in tree order.
std::vector<std::filesystem::path> makeStore(const QString& root, std::size_t& catalogBytes)
{
    const std::string body = QFile::encodeName(root + QStringLiteral("/body")).toStdString();
    const std::string other = qd::BuildDiskData(twoMegabytes(kOtherSerial));
    catalogBytes = other.size();
    qd::test::writeFile(body, other);
    std::vector<std::filesystem::path> files;
    for (int f = 0; f < kFolders; ++f) {
        const QString folder = root + QStringLiteral("/data/shelf %1").arg(f, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int i = 0; i < kPerFolder; ++i) {
            const std::string path =
                QFile::encodeName(folder + QStringLiteral("/disk %1.qd").arg(i, 3, 10, QLatin1Char('0'))).toStdString();
            if (f == kFolders - 1 && i == kPerFolder - 1)
                qd::test::writeFile(path, qd::BuildDiskData(twoMegabytes(kMatchSerial)));
            else if (::link(body.c_str(), path.c_str()) != 0)
                fail(path);
            files.emplace_back(path);
        }
    }
    ::unlink(body.c_str());
    return files;
}

double heads(const std::vector<std::filesystem::path>& files)
{
    QElapsedTimer t;
    t.start();
    std::size_t seen = 0;
    for (const auto& f : files)
        seen += qd::ReadCatalogHead(f) ? 1 : 0;
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (seen != files.size())
        fail("a head was not read");
    return ms;
}

double identify(const std::vector<std::filesystem::path>& files, qd::TDisk& disk)
{
    QElapsedTimer t;
    t.start();
    const auto match = qd::FindDiskBySerial(kMatchSerial, files, disk, [](const qd::SkippedCatalog&) {
        fail("a catalog was skipped");
    });
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (match != files.size() - 1)
        fail("the match was not found");
    return ms;
}

// What qdcat identify does: the store walked, then the same lookup.
double walkAndIdentify(const QByteArray& root, qd::TDisk& disk, std::size_t expected)
{
    QElapsedTimer t;
    t.start();
    std::vector<std::filesystem::path> files;
    qd::ForEachCatalog(root, [&](const QByteArray& file, const qd::StoreEntry&) {
        files.emplace_back(file.toStdString());
        return true;
    });
    const auto match = qd::FindDiskBySerial(kMatchSerial, files, disk, [](const qd::SkippedCatalog&) {});
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (files.size() != expected || match != expected - 1)
        fail("the walk did not find the match last");
    return ms;
}

double loadEveryCatalog(const std::vector<std::filesystem::path>& files, qd::TDisk& disk)
{
    QElapsedTimer t;
    t.start();
    std::size_t matches = 0;
    for (const auto& f : files)
        if (qd::LoadDiskData(f, disk).ok() && disk.SerialNo == kMatchSerial)
            ++matches;
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (matches != 1)
        fail("whole loads did not find the match");
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
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::size_t catalogBytes = 0;
    const std::vector<std::filesystem::path> files = makeStore(dir.path(), catalogBytes);
    const QByteArray root = QFile::encodeName(dir.path() + QStringLiteral("/data"));
    qd::TDisk disk;
    heads(files); // warm the caches for all
    identify(files, disk);

    std::vector<double> reference, lookups, walks;
    for (int run = 0; run < kRuns; ++run) {
        reference.push_back(heads(files));
        lookups.push_back(identify(files, disk));
        walks.push_back(walkAndIdentify(root, disk, files.size()));
    }
    const double r = median(reference), i = median(lookups), w = median(walks);
    const double whole = loadEveryCatalog(files, disk);
    std::printf("%zu catalogs of %.1f MB, the match last\n", files.size(), double(catalogBytes) / (1 << 20));
    std::printf("%-34s %9.1f ms\n", "reading the heads (reference)", r);
    std::printf("%-34s %9.1f ms %7.2fx\n", "identification", i, i / r);
    std::printf("%-34s %9.1f ms %7.2fx\n", "store walk and identification", w, w / r);
    std::printf("%-34s %9.1f ms %7.2fx\n", "loading every catalog whole (once)", whole, whole / r);
    return 0;
}
