#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <tuple>
#include <unordered_map>

#include "browse/StoreDuplicates.h"
#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

// A disk of (folder, UTF-8 name, size) files; folder "" is the root D:.
TDisk diskOf(std::initializer_list<std::tuple<const char*, const char*, std::uint32_t>> files)
{
    TDisk disk;
    disk.DirList.emplace_back().Name = "D:";
    disk.DirList[0].Parent = -1;
    for (const auto& [folder, name, size] : files) {
        std::size_t at = 0;
        if (*folder) {
            while (at < disk.DirList.size() && disk.DirList[at].Name != folder)
                ++at;
            if (at == disk.DirList.size()) {
                TDir& d = disk.DirList.emplace_back();
                d.Name = folder;
                d.Parent = 0;
            }
        }
        disk.DirList[at].FileList.push_back(sampleFile(cp932::fromUtf8(name).bytes, size));
    }
    return disk;
}

class QdcatDuplicates : public QdcatStore {
protected:
    QdcatResult duplicates(QStringList args = {}) const
    {
        return onRoot("duplicates", args);
    }
};

} // namespace

TEST_F(QdcatDuplicates, GroupsSameNameAndSizeAcrossDisksLargestFirst)
{
    catalog("A/CD1", diskOf({{"", "photo.jpg", 2000},
                             {"", "notes.txt", 10},
                             {"BACKUP", "photo.jpg", 2000}, // twice here, once on CD2
                             {"", "写真.png", 5000},
                             {"", "same size.txt", 300},
                             {"", "only here.txt", 7},
                             {"", "twice here.txt", 8},
                             {"X", "twice here.txt", 8}}));
    catalog("CD2", diskOf({{"DCIM", "photo.jpg", 2000},
                           {"", "notes.txt", 11},         // same name, another size
                           {"", "写真.png", 5000},
                           {"", "other size.txt", 300},   // same size, another name
                           {"", "PHOTO.JPG", 2000}}));    // case counts
    const auto r = duplicates();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QString::fromUtf8("5000\t写真.png\tCD1\tD:\n"
                                                          "5000\t写真.png\tCD2\tD:\n"
                                                          "\n"
                                                          "2000\tphoto.jpg\tCD1\tD:\n"
                                                          "2000\tphoto.jpg\tCD1\tD:\\\\BACKUP\n"
                                                          "2000\tphoto.jpg\tCD2\tD:\\\\DCIM\n"));
    EXPECT_EQ(r.err, "2 groups of 5 files found\n");
}

TEST_F(QdcatDuplicates, MinimumSizeLeavesOutEmptyFilesUnlessAskedAndIncludesItsEnd)
{
    catalog("d1", diskOf({{"", "empty", 0}, {"", "small", 99}, {"", "edge", 100}}));
    catalog("d2", diskOf({{"", "empty", 0}, {"", "small", 99}, {"", "edge", 100}}));
    const struct {
        QStringList args;
        QStringList names;
    } cases[] = {
        {{}, {"edge", "small"}},
        {{"--min-size", "0"}, {"edge", "small", "empty"}},
        {{"--min-size", "100"}, {"edge"}},
        {{"--min-size", "101"}, {}},
    };
    for (const auto& c : cases) {
        const auto r = duplicates(c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        QStringList names;
        for (const QString& l : QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts))
            if (!names.contains(l.section('\t', 1, 1)))
                names << l.section('\t', 1, 1);
        EXPECT_EQ(names, c.names) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(duplicates({"--min-size", "1X"}).exitCode, 1);
}

TEST_F(QdcatDuplicates, JsonAndDamagedCatalogsReportedOnceAndPassedOver)
{
    catalog("a", diskOf({{"PICS", "x.jpg", 123}}));
    catalog("c", diskOf({{"", "x.jpg", 123}}));
    std::string damaged = BuildDiskData(diskOf({{"", "x.jpg", 123}}));
    writeFile(root() / "b.qd", damaged.substr(0, damaged.size() - 2));
    const auto r = duplicates({"--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject group = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(group["name"].toString(), "x.jpg");
    EXPECT_EQ(group["size"].toInteger(), 123);
    const QJsonArray files = group["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject()["title"].toString(), "a");
    EXPECT_EQ(files[0].toObject()["catalog"].toString(), q(root() / "a.qd"));
    EXPECT_EQ(files[0].toObject()["folder"].toString(), "D:\\PICS");
    EXPECT_EQ(files[1].toObject()["title"].toString(), "c");
    EXPECT_EQ(r.err.count("b.qd: The catalog file is damaged"), 1) << r.err.toStdString();
    EXPECT_EQ(runQdcat({"duplicates", "--root", q(dir / "missing")}).exitCode, 2);
}

TEST_F(QdcatDuplicates, JsonLinesKeepQuotesBackslashesAndControlCharactersOfNamesAndFolders)
{
    catalog("a", diskOf({{"say \"so\"\t\x01", "a\"b\\c.txt", 5}, {"", "\"quoted\"", 3}}));
    catalog("b", diskOf({{"", "a\"b\\c.txt", 5}, {"", "\"quoted\"", 3}}));
    const auto r = duplicates({"--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 3); // two groups, then the end of the last line
    EXPECT_TRUE(lines[2].isEmpty());
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["name"].toString(), "a\"b\\c.txt");
    const QJsonArray files = first["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject()["folder"].toString(), "D:\\say \"so\"\t\x01");
    EXPECT_EQ(files[1].toObject()["folder"].toString(), "D:");
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(second["name"].toString(), "\"quoted\""); // nothing but quotes to escape
    EXPECT_EQ(second["files"].toArray().size(), 2);
}

TEST_F(QdcatDuplicates, ManyGroupsComeOutWholeInOrderAcrossThePiecesOfTheListing)
{
    // More groups than two pieces of the listing hold: both of its threads
    // write, and the blank line between groups falls at each piece's start.
    constexpr int kGroups = 9000;
    TDisk one, two;
    for (TDisk* disk : {&one, &two}) {
        disk->DirList.emplace_back().Name = "D:";
        disk->DirList[0].Parent = -1;
        for (int i = 0; i < kGroups; ++i)
            disk->DirList[0].FileList.push_back(sampleFile("f" + std::to_string(i), std::uint32_t(kGroups - i)));
    }
    catalog("one", one);
    catalog("two", two);
    std::string expected;
    for (int i = 0; i < kGroups; ++i) {
        const std::string head = (i ? "\n" : "") + std::to_string(kGroups - i) + "\tf" + std::to_string(i) + "\t";
        expected += head + "one\tD:\n" + head.substr(i ? 1 : 0) + "two\tD:\n";
    }
    const auto r = duplicates();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), expected);
    EXPECT_EQ(r.err, "9000 groups of 18000 files found\n");
}

TEST_F(QdcatDuplicates, AFolderWhoseFilesOnlyShareAHashIsNotListed)
{
    // Two names of one size whose hashes meet: each is a candidate of the
    // second pass, in a folder of its own, and neither makes a group.
    std::unordered_map<std::uint32_t, std::string> seen;
    std::string a, b;
    for (int i = 0; b.empty(); ++i) {
        const std::string name = "IMG_" + std::to_string(i) + ".JPG";
        const auto [at, isNew] = seen.emplace(DuplicateKey(name, 100), name);
        if (!isNew)
            std::tie(a, b) = std::tie(at->second, name);
    }
    catalog("CD1", diskOf({{"ONLY A", a.c_str(), 100}, {"", "same.txt", 7}}));
    catalog("CD2", diskOf({{"ONLY B", b.c_str(), 100}, {"", "same.txt", 7}}));
    const auto r = duplicates();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "7\tsame.txt\tCD1\tD:\n7\tsame.txt\tCD2\tD:\n");
}
