#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "catalog/Cp932.h"
#include "catalog/DiskFile.h"
#include "catalog/QdLib.h"
#include "support/CatalogFixtures.h"
#include "support/QdcatStore.h"

using namespace qd;
using namespace qd::test;

namespace {

std::string sjis(const char* utf8) { return cp932::fromUtf8(utf8).bytes; }

// Root: a file whose name and comment hold every character CSV must quote;
// 写真\2001: a Japanese file with a multi-line Japanese comment.
TDisk awkwardDisk()
{
    TDisk disk = sampleDisk();
    TFile& top = disk.DirList[0].FileList[0];
    top.Name = "a, \"b\".txt";
    top.Comment = "line one, \"quoted\"\r\nline two\r\n";
    top.Size = 4294967295u;
    top.CreationTime = 0;
    top.LastWriteTime = CivilToDateTime({2001, 2, 3, 4, 5, 6});
    disk.DirList[1].Name = sjis("写真");
    TFile& deep = disk.DirList[3].FileList[0];
    deep.Name = sjis("年賀状.png");
    deep.Comment = sjis("家族\r\n友人");
    return disk;
}

// The rows of a CSV file as Python's csv module reads them, strictly.
QJsonArray readByPython(const std::filesystem::path& file)
{
    QProcess python;
    python.start("python3", {"-c",
                             "import csv, json, sys\n"
                             "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                             "    print(json.dumps(list(csv.reader(f, strict=True))))\n",
                             q(file)});
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

} // namespace

TEST(QdcatExport, CsvReadsBackWithPythonsCsvModuleFieldForField)
{
    TempDir dir;
    SaveDiskData(dir / "disk", awkwardDisk());
    for (const bool bom : {false, true}) {
        QStringList args{"export", q(dir / "disk.qd"), "--csv"};
        if (bom)
            args << "--bom";
        const auto r = runQdcat(args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.startsWith("\xEF\xBB\xBF"), bom);
        EXPECT_TRUE(r.out.endsWith("\r\n"));
        writeFile(dir / "out.csv", r.out.toStdString());
        const QJsonArray rows = readByPython(dir / "out.csv");
        ASSERT_EQ(rows.size(), 5) << r.out.toStdString(); // the header and four files
        EXPECT_EQ(rows[0].toArray().toVariantList(),
                  QVariantList({"path", "size", "created", "modified", "accessed", "comment"}));
        EXPECT_EQ(rows[1].toArray().toVariantList(),
                  QVariantList({"D:\\a, \"b\".txt", "4294967295", "", "2001-02-03T04:05:06", "2000-01-03T00:00:00",
                                "line one, \"quoted\"\r\nline two\r\n"}));
        EXPECT_EQ(rows[2].toArray()[0].toString(), QString::fromUtf8("D:\\写真\\b.jpg"));
        const QJsonArray deep = rows[4].toArray();
        EXPECT_EQ(deep[0].toString(), QString::fromUtf8("D:\\写真\\2001\\年賀状.png"));
        EXPECT_EQ(deep[5].toString(), QString::fromUtf8("家族\r\n友人"));
    }
}

TEST(QdcatExport, TabSeparatedByDefaultAndJsonOnAsk)
{
    TempDir dir;
    SaveDiskData(dir / "disk", awkwardDisk());
    const auto tsv = runQdcat({"export", q(dir / "disk.qd")});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err.toStdString();
    const QStringList lines = QString::fromUtf8(tsv.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "D:\\\\a, \"b\".txt\t4294967295\t\t2001-02-03T04:05:06\t2000-01-03T00:00:00\t"
                        "line one, \"quoted\"\\r\\nline two\\r\\n");

    const auto json = runQdcat({"export", "--json", q(dir / "disk.qd")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QList<QByteArray> objects = json.out.split('\n');
    ASSERT_EQ(objects.size(), 5);
    const QJsonObject first = QJsonDocument::fromJson(objects[0]).object();
    EXPECT_EQ(first.keys(), QStringList({"accessed", "comment", "created", "modified", "path", "size"}));
    EXPECT_EQ(first["path"].toString(), "D:\\a, \"b\".txt");
    EXPECT_EQ(first["size"].toInteger(), 4294967295LL);
    EXPECT_TRUE(first["created"].isNull());
    EXPECT_EQ(first["modified"].toString(), "2001-02-03T04:05:06");
    EXPECT_EQ(first["accessed"].toString(), "2000-01-03T00:00:00");
    EXPECT_EQ(QJsonDocument::fromJson(objects[3]).object()["comment"].toString(), QString::fromUtf8("家族\r\n友人"));
}

TEST(QdcatExport, ExitStatus)
{
    TempDir dir;
    SaveDiskData(dir / "disk", sampleDisk());
    const QString file = q(dir / "disk.qd");
    EXPECT_EQ(runQdcat({"export", file, "--csv", "--json"}).exitCode, 1);
    EXPECT_EQ(runQdcat({"export", file, "--json", "--bom"}).exitCode, 1);
    EXPECT_EQ(runQdcat({"export"}).exitCode, 1);
    EXPECT_EQ(runQdcat({"export", q(dir / "none.qd")}).exitCode, 2);
    writeFile(dir / "cut.qd", BuildDiskData(sampleDisk()).substr(0, 200));
    const auto cut = runQdcat({"export", q(dir / "cut.qd"), "--csv"});
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_TRUE(cut.out.isEmpty()) << "nothing of a damaged catalog";
}
