#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

TDisk japaneseDisk()
{
    TDisk disk = sampleDisk();
    disk.VolumeLabel = "\x83\x66\x83\x42\x83\x58\x83\x4e"; // ディスク
    disk.DirList[1].FileList[0].Comment = "one\r\ntwo";
    disk.DirList[1].FileList[0].CreationTime = 36526.123456789012;
    disk.DirList[1].Name = "\x8e\xca\x90\x5e"; // 写真
    return disk;
}

} // namespace

TEST(QdcatDump, PrintsEveryFieldDecodedWithExactNumbers)
{
    TempDir dir;
    SaveDiskData(dir / "disk", japaneseDisk());
    const auto r = runQdcat({"dump", q(dir / "disk.qd")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o["volumeLabel"].toString(), QString::fromUtf8("ディスク"));
    EXPECT_EQ(o["serialNo"].toInteger(), 0x1234ABCD);
    EXPECT_EQ(o["totalSize"].toInteger(), 700LL * 1024 * 1024);
    EXPECT_EQ(o["comment"].toString(), "first line\r\nsecond line");
    const QStringList keys = o.keys();
    for (const char* k : {"volumeLabel", "serialNo", "totalSize", "freeSize", "comment", "reserved", "folders"})
        EXPECT_TRUE(keys.contains(k)) << k;
    const QJsonArray folders = o["folders"].toArray();
    ASSERT_EQ(folders.size(), 4);
    const QJsonObject photo = folders[1].toObject();
    EXPECT_EQ(photo["name"].toString(), QString::fromUtf8("写真"));
    EXPECT_EQ(photo["parent"].toInt(), 0);
    EXPECT_EQ(folders[3].toObject()["parent"].toInt(), 1);
    EXPECT_FALSE(photo.contains("path")) << "full paths only with --paths";
    const QJsonObject b = photo["files"].toArray()[0].toObject();
    EXPECT_EQ(b["name"].toString(), "b.jpg");
    EXPECT_EQ(b["comment"].toString(), "one\r\ntwo");
    // The stored double reads back bit for bit.
    const double stored = 36526.123456789012;
    const double printed = b["creationTime"].toDouble();
    EXPECT_EQ(std::memcmp(&stored, &printed, sizeof stored), 0);
    for (const char* k : {"name", "attr", "size", "creationTime", "lastWriteTime", "lastAccessTime", "reserved", "comment"})
        EXPECT_TRUE(b.contains(k)) << k;
}

// --paths gives each folder its full path, made from its parent's as the
// folders come; a parent's path must live until its last sub-folder, which in
// breadth-first order comes long after it.
TEST(QdcatDump, PathsAgreeWithGetDirPathInEveryFolder)
{
    TempDir dir;
    TDisk disk = japaneseDisk();
    // Two more levels under PHOTO and DOCS, interleaved as a walk finds them.
    for (auto [name, parent] : std::initializer_list<std::pair<const char*, int>>{
             {"a", 2}, {"b", 3}, {"c", 1}, {"d", 4}, {"e", 5}, {"f", 4}, {"g", 9}, {"h", 6}}) {
        TDir& d = disk.DirList.emplace_back();
        d.Name = name;
        d.Parent = parent;
    }
    SaveDiskData(dir / "disk", disk);
    const auto r = runQdcat({"dump", "--paths", q(dir / "disk.qd")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray folders = QJsonDocument::fromJson(r.out).object()["folders"].toArray();
    ASSERT_EQ(folders.size(), qsizetype(disk.DirList.size()));
    for (qsizetype i = 0; i < folders.size(); ++i)
        EXPECT_EQ(folders[i].toObject()["path"].toString(),
                  QString::fromStdString(cp932::toUtf8(GetDirPath(std::int32_t(i), disk)))) << i;
    EXPECT_EQ(folders[8].toObject()["path"].toString(), QString::fromUtf8("D:\\写真\\2001\\b\\e"));
    EXPECT_EQ(folders[10].toObject()["path"].toString(), "D:\\DOCS\\a\\f\\g");
    EXPECT_EQ(runQdcat({"dump", q(dir / "disk.qd"), "--paths"}).out, r.out) << "the option may stand anywhere";
}

TEST(QdcatLs, ListsFoldersThenFilesEachByNameIgnoringCase)
{
    TempDir dir;
    TDisk disk = sampleDisk();
    TDir& root = disk.DirList[0];
    root.FileList.clear();
    for (const char* n : {"b", "A", "c"})
        root.FileList.push_back(sampleFile(n, 2048));
    disk.DirList[1].Name = "Z";
    disk.DirList[2].Name = "a";
    disk.DirList[2].Comment = "first\r\nsecond";
    SaveDiskData(dir / "disk", disk);

    const auto r = runQdcat({"ls", q(dir / "disk.qd")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    QStringList names;
    for (const QString& l : lines)
        names << l.section('\t', 0, 0);
    EXPECT_EQ(names, QStringList({"a", "Z", "A", "b", "c"}));
    EXPECT_EQ(lines[0].split('\t').value(5), "first");
    EXPECT_EQ(lines[0].split('\t').value(1), "");
    EXPECT_EQ(lines[2].split('\t').value(1), "2 KB");

    const auto sub = runQdcat({"ls", q(dir / "disk.qd"), "D:\\Z\\2001"});
    ASSERT_EQ(sub.exitCode, 0) << sub.err.toStdString();
    EXPECT_TRUE(sub.out.startsWith("new year.png\t77 B\t"));
    EXPECT_EQ(runQdcat({"ls", q(dir / "disk.qd"), "d:\\Z\\2001"}).out, sub.out); // the letter in either case, as update
    EXPECT_EQ(runQdcat({"ls", q(dir / "disk.qd"), "D:\\NOPE"}).exitCode, 1);
}

TEST(Qdcat, ErrorsAndExitStatus)
{
    TempDir dir;
    const auto missing = runQdcat({"dump", q(dir / "none.qd")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(missing.err).contains(QString::fromUtf8("指定のファイルは存在しません。(5101)")));

    writeFile(dir / "old.qd", "qd400 and more");
    const auto version = runQdcat({"ls", q(dir / "old.qd")});
    EXPECT_EQ(version.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(version.err).contains(QString::fromUtf8("(5104)")));

    std::string data = BuildDiskData(sampleDisk());
    data.resize(data.size() - 3);
    writeFile(dir / "cut.qd", data);
    const auto cut = runQdcat({"dump", q(dir / "cut.qd")});
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_TRUE(cut.err.contains("offset"));

    EXPECT_EQ(runQdcat({"dump"}).exitCode, 1);
    EXPECT_EQ(runQdcat({"frobnicate"}).exitCode, 1);
    const auto help = runQdcat({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("qdcat dump [--paths] FILE.qd"));
    EXPECT_TRUE(help.out.contains("qdcat ls FILE.qd [FOLDER]"));
}

// Names on disk may hold tabs, new lines and backslashes: in tab-separated
// output they are escaped, so every entry stays one row of fixed columns.
TEST(QdcatLs, EscapesControlCharactersSoNamesCannotForgeRowsOrColumns)
{
    TempDir dir;
    TDisk disk = sampleDisk();
    TDir& root = disk.DirList[0];
    root.FileList.clear();
    root.FileList.push_back(sampleFile("a\tb\nc\\d\x01\x1b\x7f", 10));
    root.FileList.back().Comment = "x\ty";
    disk.DirList.resize(1);
    SaveDiskData(dir / "disk", disk);

    const auto r = runQdcat({"ls", q(dir / "disk.qd")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    const QStringList cols = lines[0].split('\t');
    ASSERT_EQ(cols.size(), 6);
    EXPECT_EQ(cols[0], "a\\tb\\nc\\\\d\\x01\\x1b\\x7f");
    EXPECT_EQ(cols[5], "x\\ty");
}
