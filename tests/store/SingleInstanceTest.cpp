// One Qd per user and catalog root, between real processes: a second qd hands
// its file to the one running and ends; with none running, qd opens its
// window, also over a socket that a killed Qd left behind.
#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "StoreFixture.h"
#include "browse/DiskContents.h"
#include "platform/CatalogRoot.h"
#include "store/MainWindow.h"
#include "store/MessageBoxDialogs.h"
#include "store/SingleInstance.h"

namespace qd::test {
namespace {

class SingleInstanceTest : public StoreFixture {
protected:
    // The test's own runtime folder, so that no Qd the user runs is met; the
    // socket is where the built qd looks for the Qd running over its catalogs.
    SingleInstanceTest() : previous_(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        socket = InstanceSocketName(QFile::encodeName(CatalogRootFor(QFileInfo(QStringLiteral(QD_PATH)).absolutePath())));
    }
    ~SingleInstanceTest() override { qputenv("XDG_RUNTIME_DIR", previous_); }

    static bool ended(const QProcess& p) { return p.state() == QProcess::NotRunning; }

    QTemporaryDir runtime_;
    QByteArray previous_;
    QString socket;
};

// The running window asks about its edited comment first, in a real message
// box that lets events run while the second start ends.
TEST_F(SingleInstanceTest, ASecondQdHandsItsFileToTheRunningOneWhichShowsThatDisk)
{
    catalog("Shelf/Alpha");
    catalog("Beta");
    TForm_Main running(root());
    running.show();
    running.TreeView1->setCurrentItem(child(running.TreeView1->topNode(), "Beta"));
    running.TreeView1Click();
    running.DiskContents->RichEdit_Comment->setPlainText("edited");
    running.showMinimized();
    TInstanceServer server;
    ASSERT_TRUE(server.listen(socket));
    QObject::connect(&server, &TInstanceServer::handed, &running, &TForm_Main::OpenHandedFile);
    MessageBoxDialogs boxes;
    Dialogs* scripted = setDialogs(&boxes);

    QProcess second;
    second.setWorkingDirectory(root() + QStringLiteral("/Shelf")); // a name relative to where it was started
    second.start(QStringLiteral(QD_PATH), {QStringLiteral("Alpha.qd")});
    QTimer answer; // いいえ, once the second start has ended
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && ended(second))
            box->button(QMessageBox::No)->click();
    });
    answer.start(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended(second) && running.DiskContents->shownFile() == rootPath("Shelf/Alpha.qd"); },
                                30000)) << "a second window would keep it running";
    setDialogs(scripted);
    EXPECT_TRUE(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
    EXPECT_FALSE(running.isMinimized()) << "brought to the front";
}

TEST_F(SingleInstanceTest, WithNoneRunningQdOpensItsWindowAlsoOverASocketLeftBehind)
{
    EXPECT_EQ(HandToRunningQd(socket, {}), HandOff::NoneRunning);
    for (int run = 1; run <= 2; ++run) {
        QProcess first;
        first.start(QStringLiteral(QD_PATH), {});
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended(first) || HandToRunningQd(socket, {}, 1000) == HandOff::Handed; }, 30000));
        EXPECT_FALSE(ended(first)) << run;
        first.kill(); // no chance to close its socket: the second run takes it over
        first.waitForFinished();
    }
    EXPECT_TRUE(QFileInfo::exists(socket)) << "left behind";
    EXPECT_EQ(HandToRunningQd(socket, {}), HandOff::NoneRunning);
}

} // namespace
} // namespace qd::test
