// qdcat watch: a line for a disk put in and one for a disk taken out, read
// as a script reads them, while the watch runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "catalog/DiskFile.h"
#include "support/CatalogFixtures.h"
#include "support/Qdcat.h"
#include "support/QtApp.h"

using namespace qd;
using namespace qd::test;

TEST(QdcatWatch, PrintsAnInsertionWithItsCatalogAndARemovalUntilCtrlC)
{
    ensureApp<QCoreApplication>();
    QTemporaryDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
    const QString root = tmp.filePath("catalogs"), stick = tmp.filePath("media/stick");
    ASSERT_EQ(runQdcat({"drives", "--map", "S=" + stick, "--serial", "1234-ABCD"}, env).exitCode, 0);
    TDisk d = sampleDisk();
    d.SerialNo = 0x1234ABCD;
    std::filesystem::create_directories(QFile::encodeName(root + "/Shelf").toStdString());
    SaveDiskData(QFile::encodeName(root + "/Shelf/Holiday").toStdString(), d);

    QProcess watch;
    watch.setProcessEnvironment(env);
    watch.start(QStringLiteral(QDCAT_PATH), {"watch", "--root", root});
    QByteArray out, err;
    const auto until = [&](const QByteArray& wanted, const QByteArray& from) {
        return QTest::qWaitFor([&] {
            out += watch.readAllStandardOutput();
            err += watch.readAllStandardError();
            return from.contains(wanted);
        }, 10000);
    };
    ASSERT_TRUE(until("watching", err)) << err.toStdString();
    ASSERT_TRUE(QDir().mkpath(stick));
    ASSERT_TRUE(until("\n", out));
    EXPECT_EQ(out, "inserted\tS:\t1234-ABCD\tHoliday\t" + QFile::encodeName(root) + "/Shelf/Holiday.qd\n");
    ASSERT_TRUE(QDir(stick).removeRecursively());
    ASSERT_TRUE(until("removed", out));
    EXPECT_TRUE(out.endsWith("\nremoved\tS:\n")) << out.toStdString();

    ::kill(pid_t(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}
