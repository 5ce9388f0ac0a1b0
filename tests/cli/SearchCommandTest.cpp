#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <tuple>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

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

class QdcatSearch : public QdcatStore {
protected:
    QdcatResult search(QStringList args) const { return onRoot("search", args); }
    static QStringList lines(const QdcatResult& r) { return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts); }
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

// --- filters ----------------------------------------------------------------------

namespace {

// A disk of the given files (UTF-8 name, size, last-write time) in its root
// and a folder PHOTO holding the first of them again.
TDisk filesDisk(std::initializer_list<std::tuple<const char*, std::uint32_t, double>> files)
{
    TDisk disk;
    TDir& root = disk.DirList.emplace_back();
    root.Name = "D:";
    root.Parent = -1;
    for (const auto& [name, size, time] : files) {
        TFile f = sampleFile(cp932::fromUtf8(name).bytes, size);
        f.LastWriteTime = time;
        root.FileList.push_back(f);
    }
    TDir& photo = disk.DirList.emplace_back();
    photo.Name = "PHOTO";
    photo.Parent = 0;
    photo.Date = 37000;
    photo.FileList.push_back(disk.DirList[0].FileList.front());
    return disk;
}

QStringList column(const QdcatResult& r, int n)
{
    QStringList out;
    for (const QString& l : QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts))
        out << l.section('\t', n, n);
    return out;
}

} // namespace

TEST_F(QdcatSearch, FiltersNarrowTheSearchAllAtOnce)
{
    catalog("d1", filesDisk({{"ＲＥＰＯＲＴ.DOC", 100, 36000},
                             {"report.txt", 99, 36001.5},
                             {"Report 2001.pdf", 101, 36002},
                             {"photo.JPG", 1 << 20, 36003},
                             {"photo.jpeg", (1 << 20) + 1, 0}}));
    const struct {
        QStringList args;
        QStringList names;
    } cases[] = {
        {{"report"}, {"report.txt"}},
        {{"-i", "report"}, {"ＲＥＰＯＲＴ.DOC", "report.txt", "Report 2001.pdf", "ＲＥＰＯＲＴ.DOC"}},
        {{"--ignore-case", "ｒｅｐｏｒｔ", "--in", "d1.qd"}, {"ＲＥＰＯＲＴ.DOC", "report.txt", "Report 2001.pdf", "ＲＥＰＯＲＴ.DOC"}},
        {{"--glob", "report"}, {}},                     // the whole name, not a part of it
        {{"--glob", "*.jpg"}, {}},                      // exact case
        {{"--glob", "*.jpg", "-i"}, {"photo.JPG"}},
        {{"--glob", "r*.???"}, {"report.txt"}},
        {{"--regex", "^[Rr]eport\\b"}, {"report.txt", "Report 2001.pdf"}},
        {{"--regex", "\\d{4}", "-i", "--glob", "*.PDF"}, {"Report 2001.pdf"}},
        {{"--min-size", "100"}, {"ＲＥＰＯＲＴ.DOC", "Report 2001.pdf", "photo.JPG", "photo.jpeg", "ＲＥＰＯＲＴ.DOC"}},
        {{"--max-size", "100", "-i", "REPORT"}, {"ＲＥＰＯＲＴ.DOC", "report.txt", "ＲＥＰＯＲＴ.DOC"}},
        {{"--min-size", "1M", "--max-size", "1m"}, {"photo.JPG"}},
        {{"--min-size", "1025K"}, {}},
        {{"--after", "1998-07-25", "--before", "1998-07-26"}, {"report.txt"}},
        {{"--after", "1998-07-25T12:00:01", "--before", "1998-07-26T00:00"}, {}},
        {{"--after", "1998-07-26 00:00:00", "photo"}, {"photo.JPG"}}, // not the unknown time
        {{"", "--min-size", "0"}, {}},                                 // an empty text finds nothing
    };
    for (const auto& c : cases) {
        const auto r = search(c.args);
        ASSERT_EQ(r.exitCode, 0) << c.args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_EQ(column(r, 1), c.names) << c.args.join(' ').toStdString();
    }
}

TEST_F(QdcatSearch, FoldersOnRequestWithABackslashAfterTheirNames)
{
    catalog("d1", filesDisk({{"photo.txt", 1, 36000}}));
    const auto r = search({"--folders", "-i", "photo"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r), (QStringList{"d1\tphoto.txt\tD:", "d1\tPHOTO\\\\\tD:", "d1\tphoto.txt\tD:\\\\PHOTO"}));
    EXPECT_EQ(r.err, "2 files and 1 folder found\n");
    EXPECT_EQ(column(search({"--folders", "--min-size", "0", "-i", "photo"}), 1), (QStringList{"photo.txt", "photo.txt"}))
        << "a folder has no size";
}

TEST_F(QdcatSearch, JsonGivesEveryFieldOfEachHit)
{
    TDisk disk = filesDisk({{"写真.jpg", 4000000000u, CivilToDateTime({2001, 2, 3, 4, 5, 6})}});
    TFile& f = disk.DirList[0].FileList[0];
    f.Comment = cp932::fromUtf8("旅行\r\n\"二日目\"").bytes;
    f.CreationTime = 0;
    f.LastAccessTime = CivilToDateTime({9, 8, 7, 6, 5, 4}); // every field padded
    catalog("A/ディスク", disk);
    const auto r = search({"--json", "--folders", "--glob", "*"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> rows = r.out.split('\n');
    ASSERT_EQ(rows.size(), 4) << r.out.toStdString(); // three objects and the end
    const QJsonObject first = QJsonDocument::fromJson(rows[0]).object();
    EXPECT_EQ(first.keys().size(), 10);
    EXPECT_EQ(first["title"].toString(), QString::fromUtf8("ディスク"));
    EXPECT_EQ(first["catalog"].toString(), q(root() / "A") + QString::fromUtf8("/ディスク.qd"));
    EXPECT_EQ(first["folder"].toString(), "D:");
    EXPECT_EQ(first["name"].toString(), QString::fromUtf8("写真.jpg"));
    EXPECT_EQ(first["kind"].toString(), "file");
    EXPECT_EQ(first["size"].toInteger(), 4000000000LL);
    EXPECT_TRUE(first["created"].isNull());
    EXPECT_EQ(first["modified"].toString(), "2001-02-03T04:05:06");
    EXPECT_EQ(first["accessed"].toString(), "0009-08-07T06:05:04");
    EXPECT_EQ(first["comment"].toString(), QString::fromUtf8("旅行\r\n\"二日目\""));
    const QJsonObject folder = QJsonDocument::fromJson(rows[1]).object();
    EXPECT_EQ(folder["kind"].toString(), "folder");
    EXPECT_EQ(folder["name"].toString(), "PHOTO");
    EXPECT_TRUE(folder["size"].isNull());
    EXPECT_EQ(folder["modified"].toString(), "2001-04-19T00:00:00");
    EXPECT_EQ(QJsonDocument::fromJson(rows[2]).object()["folder"].toString(), "D:\\PHOTO");
}

TEST_F(QdcatSearch, WrongFiltersAreUsageErrors)
{
    catalog("d1", filesDisk({{"a.txt", 1, 36000}}));
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {{"--regex", "a(b"}, "the regular expression a(b is wrong: missing ): a(b"},
        {{"a", "--min-size", "12KB"}, "\"12KB\" is no size"},
        {{"a", "--max-size", "-1"}, "\"-1\" is no size"},
        {{"a", "--min-size", "99999999999999999999"}, "is no size"},
        {{"a", "--after", "2024-02-30"}, "\"2024-02-30\" is no date"},
        {{"a", "--before", "2024-01-01T10:00+09:00"}, "is no date"},
        {{"-i"}, "name the text to search for"},
        {{"--folders", "--json"}, "name the text to search for"},
    };
    for (const auto& c : cases) {
        const auto r = search(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}
