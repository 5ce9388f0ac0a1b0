// The main window follows the world: a disk put into a drive is told in the
// status bar, and catalogs another program writes show up in the tree.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "browse/DiskContents.h"
#include "platform/StoreWatch.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"
#include "support/OtherProcess.h"

using namespace qd;
using namespace qd::test;

namespace {

constexpr std::uint32_t kSerial = 0x5EED0002;

class MainWindowWatchTest : public StoreFixture {
protected:
    TForm_Main& open()
    {
        window = std::make_unique<TForm_Main>(root());
        window->show();
        return *window;
    }
    // A catalog of the sample disk, written by another process.
    void writeElsewhere(const QString& relative, std::uint32_t serial = 0, const char* comment = "")
    {
        ASSERT_TRUE(InAnotherProcess([&] {
            TDisk d = sampleDisk();
            d.SerialNo = serial;
            d.Comment = comment;
            SaveDiskData(rootPath(relative), d);
        }));
    }
    QTreeWidgetItem* top() const { return window->TreeView1->topNode(); }
    bool noticeSays(const QString& text) const
    {
        return window->DriveNotice->isVisible() && window->DriveNoticeText->text() == text;
    }

    std::unique_ptr<TForm_Main> window;
};

} // namespace

TEST_F(MainWindowWatchTest, ACatalogWrittenByAnotherProcessShowsWithExpansionSelectionAndFolderKept)
{
    catalog("F/Alpha");
    catalog("F/Beta");
    TForm_Main& w = open();
    QTreeWidgetItem* beta = child(child(top(), "F"), "Beta");
    w.TreeView1->reveal(beta);
    w.TreeView1Click();
    TDiskContents& view = *w.DiskContents;
    ASSERT_GT(view.ShownDisk.DirList.size(), 1u);
    view.CurrentFolder = 1;
    view.ShowFolder();

    writeElsewhere("F/Gamma");
    ASSERT_TRUE(QTest::qWaitFor([&] { return child(child(top(), "F"), "Gamma") != nullptr; }, 5000));
    EXPECT_EQ(w.TreeView1->currentItem(), child(child(top(), "F"), "Beta"));
    EXPECT_TRUE(child(top(), "F")->isExpanded());
    EXPECT_EQ(view.CurrentFolder, 1) << "Beta itself was not rewritten: not reloaded";

    // Beta rewritten: reloaded, in the folder that was on show.
    writeElsewhere("F/Beta", 0, "from elsewhere");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.RichEdit_Comment->toPlainText() == "from elsewhere"; }, 5000));
    EXPECT_EQ(view.CurrentFolder, 1);

    // An edit pending: nothing is reloaded, and nothing is asked.
    view.RichEdit_Comment->setPlainText(QStringLiteral("mine"));
    const std::uint64_t generation = w.TreeView1->generation();
    writeElsewhere("F/Beta", 0, "again");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.TreeView1->generation() != generation; }, 5000));
    EXPECT_EQ(view.RichEdit_Comment->toPlainText(), "mine");
    EXPECT_TRUE(view.commentEdited());
    EXPECT_TRUE(dialogs_.asked.empty());
}

TEST_F(MainWindowWatchTest, NoRefreshWhileANodeIsBeingRenamed)
{
    catalog("Alpha");
    TForm_Main& w = open();
    QSignalSpy looked(w.StoreWatcher1, &StoreWatcher::changed);
    w.TreeView1->setCurrentItem(child(top(), "Alpha"));
    w.TreeView1->editItem(child(top(), "Alpha"));
    writeElsewhere("Beta");
    ASSERT_TRUE(QTest::qWaitFor([&] { return looked.count() == 1; }, 5000));
    EXPECT_EQ(child(top(), "Beta"), nullptr) << "put off: the editor would lose its node";
    auto* editor = w.TreeView1->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return child(top(), "Beta") != nullptr; }, 5000));
}

TEST_F(MainWindowWatchTest, ADiskPutInIsToldAndItsButtonShowsItOrStartsTheWizard)
{
    catalog("F/Other");
    TDisk known = sampleDisk();
    known.SerialNo = kSerial;
    SaveDiskData(rootPath("F/Known"), known);
    const QString known_at = folder() + QStringLiteral("/in X"), unknown_at = folder() + QStringLiteral("/in Y");
    const MappedDrive x(QChar('X'), known_at, {.serial = kSerial});
    const MappedDrive y(QChar('Y'), unknown_at, {.serial = 0x0BADF00D});
    TForm_Main& w = open();
    QChar wizardDrive;
    w.setNewDiskWizard([&](const QByteArray&, const QByteArray&, const QPoint&, QChar drive) {
        wizardDrive = drive;
        return QByteArray();
    });
    EXPECT_TRUE(w.InsertionNotice1->isChecked()) << "on by default";

    ASSERT_TRUE(QDir().mkpath(known_at));
    ASSERT_TRUE(QTest::qWaitFor([&] { return noticeSays(QStringLiteral("ドライブ X: のディスク: Known")); }, 5000));
    EXPECT_EQ(w.TreeView1->currentItem(), top()) << "nothing moves by itself";
    EXPECT_TRUE(dialogs_.asked.empty());
    w.DriveNoticeButton->click();
    EXPECT_EQ(w.TreeView1->currentItem(), child(child(top(), "F"), "Known"));
    EXPECT_TRUE(w.DiskContents->diskShown());

    // Taken out: the notice about it goes.
    const QString unknownText = QStringLiteral("ドライブ Y: のディスクは登録されていません");
    ASSERT_TRUE(QDir().mkpath(unknown_at));
    ASSERT_TRUE(QTest::qWaitFor([&] { return noticeSays(unknownText); }, 5000));
    ASSERT_TRUE(QDir(unknown_at).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.DriveNotice->isVisible(); }, 5000));
    ASSERT_TRUE(QDir().mkpath(unknown_at));
    ASSERT_TRUE(QTest::qWaitFor([&] { return noticeSays(unknownText); }, 5000));
    w.DriveNoticeButton->click();
    EXPECT_EQ(wizardDrive, QChar('Y'));

    // A letter mapped meanwhile joins the drive menu at its end; with the
    // notice turned off nothing is told.
    const QStringList before = [&] {
        QStringList t;
        for (QAction* a : w.PM_SearchDisk->actions())
            t << a->text();
        return t;
    }();
    w.InsertionNotice1->trigger();
    EXPECT_FALSE(settings::insertionNotice());
    // As qdcat drives --map does it: the settings alone, the table is the watch's to rebuild.
    ASSERT_TRUE(settings::mapDrive({QChar('Z'), folder(), QStringLiteral("ZED"), std::nullopt, DriveKind::Fixed}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.PM_SearchDisk->actions().size() == before.size() + 1; }, 5000));
    settings::unmapDrive(QChar('Z'));
    EXPECT_EQ(w.PM_SearchDisk->actions().last()->text(), "z: [zed]");
    for (int i = 0; i < before.size(); ++i)
        EXPECT_EQ(w.PM_SearchDisk->actions()[i]->text(), before[i]);
    EXPECT_FALSE(w.DriveNotice->isVisible());
}
