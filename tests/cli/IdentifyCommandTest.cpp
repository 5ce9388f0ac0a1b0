#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/Qdcat.h"

using namespace qd;
using namespace qd::test;

namespace {

constexpr std::uint32_t kSerial = 0x1234ABCD;

class QdcatIdentify : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("config"));
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        root = tmp.filePath("catalogs");
        ASSERT_TRUE(QDir().mkpath(tmp.filePath("disk")));
        map("S=" + tmp.filePath("disk"), "1234-ABCD");
        map("T=" + tmp.filePath("not inserted"), "1234-ABCD");
    }
    void map(const QString& mapping, const QString& serial)
    {
        const auto r = runQdcat({"drives", "--map", mapping, "--serial", serial}, env);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    std::filesystem::path path(const QString& relative) const
    {
        return QFile::encodeName(root + '/' + relative).toStdString();
    }
    void disk(const QString& relativeWithoutExtension, std::uint32_t serial) const
    {
        TDisk d = sampleDisk();
        d.SerialNo = serial;
        std::filesystem::create_directories(path(relativeWithoutExtension).parent_path());
        SaveDiskData(path(relativeWithoutExtension), d);
    }
    QdcatResult identify(const QString& drive) const { return runQdcat({"identify", drive, "--root", root}, env); }

    QTemporaryDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString root;
};

TEST_F(QdcatIdentify, PrintsTheFirstCatalogInTreeOrderThatRecordsTheSerial)
{
    disk("Beta", kSerial);
    disk("Alpha/Twice", kSerial);
    disk("Alpha/Other", kSerial + 1);
    const QdcatResult r = identify("s:");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), "Twice\t" + root + "/Alpha/Twice.qd\n");
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(QdcatIdentify, ADamagedCatalogIsNamedAndPassedOver)
{
    disk("A", kSerial);
    const std::string bytes = readFile(path("A.qd"));
    writeFile(path("A.qd"), bytes.substr(0, bytes.size() - 10));
    disk("B", kSerial);
    const QdcatResult r = identify("S");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(r.out), "B\t" + root + "/B.qd\n");
    EXPECT_TRUE(r.err.contains(QFile::encodeName(root + "/A.qd"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("damaged")) << r.err.toStdString();
}

TEST_F(QdcatIdentify, ExitStatusSaysWhatWasFound)
{
    disk("Other", kSerial + 1);
    const QdcatResult none = identify("S:");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.contains("1234-ABCD")) << none.err.toStdString();
    EXPECT_EQ(identify("T:").exitCode, 3);
    EXPECT_EQ(identify("nonsense").exitCode, 1);
    // A root that cannot be read is no "not found".
    const QdcatResult unreadable = runQdcat({"identify", "S:", "--root", tmp.filePath("missing")}, env);
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_TRUE(unreadable.err.contains("cannot read the catalog root")) << unreadable.err.toStdString();
}

} // namespace
