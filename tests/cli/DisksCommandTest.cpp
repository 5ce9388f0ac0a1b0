#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

class QdcatDisks : public QdcatStore {
protected:
    QdcatResult disks(QStringList args = {}) const
    {
        return onRoot("disks", args);
    }
    static std::vector<QStringList> rows(const QdcatResult& r)
    {
        std::vector<QStringList> out;
        for (const QString& l : QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts))
            out.push_back(l.split('\t'));
        return out;
    }
};

// sampleDisk with the given serial and one more file per extra.
TDisk disk(std::uint32_t serial, int extraFiles = 0)
{
    TDisk d = sampleDisk();
    d.SerialNo = serial;
    d.DirList[0].ScanDate = CivilToDateTime({2024, 5, 1, 13, 45, 30});
    for (int i = 0; i < extraFiles; ++i)
        d.DirList[2].FileList.push_back(sampleFile("x" + std::to_string(i), 1));
    return d;
}

} // namespace

TEST_F(QdcatDisks, ListsEveryDiskInTheTreesOrderFromItsHead)
{
    catalog("Zeta", disk(0x00000001));
    catalog("Shelf/写真", disk(0xABCD1234, 2));
    catalog("Alpha", disk(0xFFFFFFFF));
    TDisk labelled = disk(7);
    labelled.VolumeLabel = cp932::fromUtf8("バックアップ\t1").bytes;
    catalog("Shelf/Deep/b", labelled);

    const auto r = disks();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    const auto table = rows(r);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], (QStringList{"", "Alpha", "SAMPLE", "FFFF-FFFF", "734003200", "12345", "4", "2024-05-01T13:45:30", ""}));
    EXPECT_EQ(table[1][0] + '|' + table[1][1] + '|' + table[1][2], QString::fromUtf8("Shelf/Deep|b|バックアップ\\t1"));
    EXPECT_EQ(table[2][0] + '|' + table[2][1] + '|' + table[2][3], QString::fromUtf8("Shelf|写真|ABCD-1234"));
    EXPECT_EQ(table[3][1], "Zeta");

    const auto counted = rows(disks({"--files"}));
    ASSERT_EQ(counted.size(), 4u);
    EXPECT_EQ(counted[0], (QStringList{"", "Alpha", "SAMPLE", "FFFF-FFFF", "734003200", "12345", "4", "4", "2024-05-01T13:45:30", ""}));
    EXPECT_EQ(counted[2][7], "6");
}

TEST_F(QdcatDisks, DamagedCatalogsAndThoseWithoutTheMagicAreListedWithTheirReason)
{
    catalog("a", disk(1));
    const std::string whole = BuildDiskData(disk(2, 200));
    writeFile(root() / "b head cut.qd", whole.substr(0, 100));
    writeFile(root() / "c body cut.qd", whole.substr(0, whole.size() - 10));
    std::string typed = whole;
    typed[5 + 2 + disk(2).IconImage.size() + 2 + disk(2).IconMask.size()] = 2;
    writeFile(root() / "d typed.qd", typed);
    writeFile(root() / "e notes.qd", "plain text");

    const auto heads = rows(disks());
    ASSERT_EQ(heads.size(), 5u);
    for (const QStringList& row : heads)
        ASSERT_EQ(row.size(), 9) << row.join('|').toStdString();
    EXPECT_EQ(heads[0][8], "");
    EXPECT_EQ(heads[1].mid(2, 6), QStringList(6, QString())) << "no half-read values";
    EXPECT_TRUE(heads[1][8].contains("damaged at offset")) << heads[1][8].toStdString();
    EXPECT_EQ(heads[2][1] + '|' + heads[2][8], "c body cut|") << "the head alone is sound";
    EXPECT_EQ(heads[3][8], QString::fromUtf8("データタイプの指定エラーです。(5105)"));
    EXPECT_EQ(heads[4][1] + '|' + heads[4][8], QString::fromUtf8("e notes|バージョン違いのファイルが指定されています。(5104)"));

    const auto whole2 = rows(disks({"--files"}));
    ASSERT_EQ(whole2.size(), 5u);
    EXPECT_TRUE(whole2[2][9].contains("damaged at offset")) << "reading it whole finds the damage";

    const auto json = disks({"--json"});
    const QList<QByteArray> lines = json.out.split('\n');
    ASSERT_EQ(lines.size(), 6);
    const QJsonObject cut = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(cut["title"].toString(), "b head cut");
    EXPECT_EQ(cut["catalog"].toString(), q(root() / "b head cut.qd"));
    EXPECT_TRUE(cut["error"].toString().contains("damaged")) << lines[1].toStdString();
    EXPECT_FALSE(cut.contains("serial"));
}

TEST_F(QdcatDisks, AHeadLongerThanAFirstReadIsReadOn)
{
    TDisk d = disk(5);
    d.Comment = std::string(10000, 'c');
    d.DirList[0].Comment = std::string(5000, 'r');
    d.DirList[0].ScanDate = CivilToDateTime({2001, 2, 3, 4, 5, 6});
    catalog("long", d);
    const auto table = rows(disks());
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0], (QStringList{"", "long", "SAMPLE", "0000-0005", "734003200", "12345", "4", "2001-02-03T04:05:06", ""}));
}

TEST_F(QdcatDisks, JsonGivesTheSameAndTheRootMustBeReadable)
{
    catalog("Shelf/one", disk(0x12345678, 1));
    const auto r = disks({"--json", "--files"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o["folder"].toString(), "Shelf");
    EXPECT_EQ(o["title"].toString(), "one");
    EXPECT_EQ(o["label"].toString(), "SAMPLE");
    EXPECT_EQ(o["serial"].toString(), "1234-5678");
    EXPECT_EQ(o["totalSize"].toInteger(), 734003200);
    EXPECT_EQ(o["freeSize"].toInteger(), 12345);
    EXPECT_EQ(o["folders"].toInteger(), 4);
    EXPECT_EQ(o["files"].toInteger(), 5);
    EXPECT_EQ(o["scanDate"].toString(), "2024-05-01T13:45:30");
    EXPECT_FALSE(QJsonDocument::fromJson(disks({"--json"}).out).object().contains("files"));

    EXPECT_EQ(runQdcat({"disks", "--root", q(dir / "missing")}).exitCode, 2);
    EXPECT_EQ(runQdcat({"disks", "extra", "--root", q(root())}).exitCode, 1);
}
