// The disk walk over a tree of 200,000 files in 10,000 folders, against
// find(1) printing size and two times of every entry, both on a warm cache in
// the same run. Goal: the walk within 1.2 times find.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "registration/Scanner.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTop = 100;            // folders in the root
constexpr int kSub = 99;             // folders in each of those
constexpr int kFilesPerFolder = 20;  // in every folder but the root: 10,000 x 20 = 200,000

// Mostly ASCII names, every tenth Japanese, as on a photo or software disc.
void generate(const std::string& root)
{
    char name[256];
    auto files = [&](const std::string& dir) {
        for (int k = 0; k < kFilesPerFolder; ++k) {
            if (k % 10 == 9)
                std::snprintf(name, sizeof name, "%s/写真 %03d.jpg", dir.c_str(), k);
            else
                std::snprintf(name, sizeof name, "%s/IMG_%05d.JPG", dir.c_str(), k);
            const int fd = ::open(name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0 || ::ftruncate(fd, k * 137) != 0) {
                std::perror(name);
                std::exit(1);
            }
            ::close(fd);
        }
    };
    for (int t = 0; t < kTop; ++t) {
        const std::string top = root + "/Folder " + std::to_string(t);
        ::mkdir(top.c_str(), 0755);
        files(top);
        for (int s = 0; s < kSub; ++s) {
            const std::string sub = top + "/Sub " + std::to_string(s);
            ::mkdir(sub.c_str(), 0755);
            files(sub);
        }
    }
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double timeFind(const std::string& root)
{
    const std::string cmd = "find '" + root + "' -printf '%s %T@ %A@\\n' > /dev/null";
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "find failed\n");
        std::exit(1);
    }
    return seconds(Clock::now() - start);
}

double timeWalk(const QString& root, qd::TDisk& disk, qd::WalkResult& result)
{
    qd::ScanControl control;
    const auto start = Clock::now();
    result = qd::WalkFolder(QChar('D'), root, disk, control, nullptr);
    return seconds(Clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/qd-walk-XXXXXX"));
    if (!tmp.isValid())
        return 1;
    const std::string root = tmp.path().toStdString();
    std::printf("generating %d files in %d folders under %s\n", kTop * (kSub + 1) * kFilesPerFolder,
                kTop * (kSub + 1), root.c_str());
    generate(root);

    qd::TDisk disk;
    qd::WalkResult result;
    timeFind(root); // warm the cache
    timeWalk(tmp.path(), disk, result);

    double bestFind = 1e9, bestWalk = 1e9;
    for (int round = 0; round < 5; ++round) {
        bestFind = std::min(bestFind, timeFind(root));
        bestWalk = std::min(bestWalk, timeWalk(tmp.path(), disk, result));
    }
    std::printf("walk: %zu folders, %d files, %lld bytes, %zu names substituted\n", disk.DirList.size(), result.files,
                static_cast<long long>(result.bytes), result.names.substituted);
    std::printf("find  %.3f s (best of 5)\n", bestFind);
    std::printf("walk  %.3f s (best of 5)\n", bestWalk);
    std::printf("ratio walk/find %.2f (goal <= 1.20)\n", bestWalk / bestFind);
    return result.files == kTop * (kSub + 1) * kFilesPerFolder ? 0 : 1;
}
