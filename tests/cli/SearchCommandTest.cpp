#include <gtest/gtest.h>

#include <filesystem>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/Qdcat.h"

using namespace qd;
using namespace qd::test;

namespace {

QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A disk whose root folder holds the given files, and whose folder a\b holds
// "deep <first name>".
TDisk diskWith(std::initializer_list<const char*> names)
{
    TDisk disk;
    TDir& root = disk.DirList.emplace_back();
    root.Name = "D:";
    root.Parent = -1;
    for (const char* n : names)
        root.FileList.push_back(sampleFile(cp932::fromUtf8(n).bytes, 1));
    TDir& a = disk.DirList.emplace_back();
    a.Name = "a";
    a.Parent = 0;
    TDir& b = disk.DirList.emplace_back();
    b.Name = "b";
    b.Parent = 1;
    b.FileList.push_back(sampleFile(std::string("deep ") + *names.begin(), 1));
    return disk;
}

class QdcatSearch : public ::testing::Test {
protected:
    std::filesystem::path root() const { return dir.path() / "data"; }
    void catalog(const std::string& relativeWithoutExtension, const TDisk& disk) const
    {
        const std::filesystem::path p = root() / relativeWithoutExtension;
        std::filesystem::create_directories(p.parent_path());
        SaveDiskData(p, disk);
    }
    QdcatResult search(QStringList args) const { return runQdcat(QStringList{"search"} + args + QStringList{"--root", q(root())}); }
    static QStringList lines(const QdcatResult& r) { return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts); }

    TempDir dir;
};

} // namespace

TEST_F(QdcatSearch, PrintsDiskFileAndFolderOfEveryHitInTheTreesOrder)
{
    // The tree lists A (with d2) before d1 and Z: their hits come in that order.
    catalog("d1", diskWith({"report.doc", "Report.doc", "myreport.txt"}));
    catalog("A/d2", diskWith({"report.txt"}));
    catalog("Z", diskWith({"nothing"}));
    const auto r = search({"report"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r), (QStringList{"d2\treport.txt\tD:", "d2\tdeep report.txt\tD:\\\\a\\\\b", "d1\treport.doc\tD:",
                                     "d1\tmyreport.txt\tD:", "d1\tdeep report.doc\tD:\\\\a\\\\b"}));
    EXPECT_EQ(r.err, "5 files found\n");
}

TEST_F(QdcatSearch, InNamesACatalogFolderOrOneCatalog)
{
    catalog("d1", diskWith({"x.jpg"}));
    catalog("A/d2", diskWith({"y.jpg"}));
    catalog("A/B/d3", diskWith({"z.jpg"}));
    const struct {
        QString in;
        QStringList disks;
    } cases[] = {
        {"A", {"d3", "d3", "d2", "d2"}},
        {"A/B/d3.qd", {"d3", "d3"}},
        {q(root() / "A" / "B"), {"d3", "d3"}},
        {"", {"d3", "d3", "d2", "d2", "d1", "d1"}},
    };
    for (const auto& c : cases) {
        const auto r = c.in.isEmpty() ? search({".jpg"}) : search({".jpg", "--in", c.in});
        ASSERT_EQ(r.exitCode, 0) << c.in.toStdString() << r.err.toStdString();
        QStringList disks;
        for (const QString& l : lines(r))
            disks << l.section('\t', 0, 0);
        EXPECT_EQ(disks, c.disks) << c.in.toStdString();
    }
}

TEST_F(QdcatSearch, NothingFoundIsNoError)
{
    catalog("d1", diskWith({"a.txt"}));
    for (const QString& text : {QString("zzz"), QString(), QString::fromUtf8("😀")}) {
        const auto r = search({"--", text});
        EXPECT_EQ(r.exitCode, 0) << text.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err, "0 files found\n");
    }
}

TEST_F(QdcatSearch, BadCatalogsAreReportedAndPassedOverAndOthersWithoutTheMagicIgnored)
{
    catalog("a", diskWith({"hit.txt"}));
    catalog("c", diskWith({"hit.doc"}));
    std::string damaged = BuildDiskData(diskWith({"hit.bad"}));
    damaged.resize(damaged.size() - 1);
    writeFile(root() / "b.qd", damaged);
    writeFile(root() / "not a disk.qd", "plain text");
    const auto r = search({"hit"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(lines(r), (QStringList{"a\thit.txt\tD:", "a\tdeep hit.txt\tD:\\\\a\\\\b", "c\thit.doc\tD:",
                                     "c\tdeep hit.doc\tD:\\\\a\\\\b"}));
    const QString err = QString::fromUtf8(r.err);
    EXPECT_TRUE(err.contains("b.qd: The catalog file is damaged at offset")) << err.toStdString();
    EXPECT_FALSE(err.contains("not a disk")) << err.toStdString();
    EXPECT_TRUE(err.endsWith("4 files found\n"));
}

TEST_F(QdcatSearch, ControlCharactersInNamesCannotForgeColumns)
{
    catalog("d1", diskWith({"a\tb\nc.txt"}));
    const auto r = search({"c.txt"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(lines(r), (QStringList{"d1\ta\\tb\\nc.txt\tD:", "d1\tdeep a\\tb\\nc.txt\tD:\\\\a\\\\b"}));
}

TEST_F(QdcatSearch, ExitStatusTellsUsageFromUnreadable)
{
    catalog("d1", diskWith({"a.txt"}));
    std::filesystem::create_directories(dir.path() / "elsewhere");
    writeFile(dir.path() / "elsewhere" / "x.qd", "qd410");
    writeFile(root() / "notes.qd", "no magic");
    const struct {
        QStringList args;
        int exit;
    } cases[] = {
        {{"search"}, 1},
        {{"search", "a", "b"}, 1},
        {{"search", "a", "--bogus"}, 1},
        {{"search", "a", "--root", q(dir.path() / "missing")}, 2},
        {{"search", "a", "--root", q(root()), "--in", "missing"}, 2},
        {{"search", "a", "--root", q(root()), "--in", q(dir.path() / "elsewhere")}, 1},
        {{"search", "a", "--root", q(root()), "--in", "../elsewhere/x.qd"}, 1},
        {{"search", "a", "--root", q(root()), "--in", "notes.qd"}, 2},
        {{"search", "a", "--root", q(root()), "--in", "d1.qd"}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runQdcat(c.args).exitCode, c.exit) << c.args.join(' ').toStdString();
}
