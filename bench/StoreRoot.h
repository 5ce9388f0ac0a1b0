#pragma once

// A catalog root of 5,000 catalog files in 50 catalog folders, for the
// benchmarks of what walks the whole store.

#include <QDir>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "catalog/DiskFile.h"
#include "tests/support/CatalogFixtures.h"

namespace qd::bench {

constexpr int kFolders = 50;
constexpr int kPerFolder = 100;

// Each catalog of one root folder, its file then stretched to bodyBytes
// (sparse: no gigabytes of disk needed). serialBase + n is the n-th one's
// serial number. Returns the files.
inline std::vector<std::string> makeRoot(const QString& root, off_t bodyBytes, std::uint32_t serialBase = 0)
{
    std::vector<std::string> files;
    TDisk disk = qd::test::sampleDisk();
    for (int f = 0; f < kFolders; ++f) {
        const QString folder = root + QStringLiteral("/folder %1").arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < kPerFolder; ++i) {
            disk.SerialNo = serialBase + std::uint32_t(f * kPerFolder + i);
            std::string image = qd::BuildDiskData(disk);
            // Icons differ from disk to disk, as real ones do.
            image[40] = char(f * kPerFolder + i);
            const std::string path = QFile::encodeName(folder + QStringLiteral("/disk %1.qd").arg(i)).toStdString();
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::write(fd, image.data(), image.size()) != ssize_t(image.size()) ||
                ::ftruncate(fd, bodyBytes) != 0) {
                std::perror(path.c_str());
                std::exit(1);
            }
            ::close(fd);
            files.push_back(path);
        }
    }
    return files;
}

} // namespace qd::bench
