#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/Qdcat.h"

namespace qd::test {

// A path as a qdcat argument.
inline QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A catalog root in a fresh folder, and qdcat run over it.
class QdcatStore : public ::testing::Test {
protected:
    std::filesystem::path root() const { return dir.path() / "data"; }

    // Saves disk as root/relative.qd, making the folders on the way.
    void catalog(const std::string& relativeWithoutExtension, const TDisk& disk) const
    {
        const std::filesystem::path p = root() / relativeWithoutExtension;
        std::filesystem::create_directories(p.parent_path());
        SaveDiskData(p, disk);
    }

    QdcatResult onRoot(const QString& command, const QStringList& args = {}) const
    {
        return runQdcat(QStringList{command} + args + QStringList{"--root", q(root())});
    }

    TempDir dir;
};

} // namespace qd::test
