#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include "catalog/DiskFile.h"
#include "registration/IconPicker.h"
#include "registration/Unit_NewDisk.h"
#include "shell/ShCtrls.h"
#include "support/CatalogFixtures.h"
#include "support/QtApp.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"

using namespace qd;
using namespace qd::test;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

class NewDiskTest : public ::testing::Test {
protected:
    NewDiskTest()
    {
        drive.write("A/one.txt", "1");
        drive.write("A/C/two.txt", "22");
        drive.write("B/SETUP.EXE", "MZ");
        catalogFolder = QByteArray::fromStdString(catalogs.path().string()) + '/';
        wizard.ShDriveComboBox1->RefreshItems();
        choose('D');
    }

    void choose(QChar letter) { wizard.ShDriveComboBox1->SelectPath(QString(letter) + ":\\"); }

    // The wizard as the main window starts it, without the modal loop.
    void start()
    {
        wizard.CatalogFolderPath = catalogFolder;
        wizard.CatalogRootPath = QByteArray::fromStdString(catalogs.path().string());
        wizard.FormShow();
    }

    void pickIcon()
    {
        TIconPicker* picker = wizard.IconPicker;
        picker->ComboBox1->setCurrentIndex(3); // the system's small icons
        picker->ComboBox1Change();
        ASSERT_GT(picker->ImageListBox1->Count(), 0);
        picker->ImageListBox1->SetItemIndex(0);
        picker->ImageListBox1Click();
    }

    // Drive page to icon page with the given title.
    void walkAs(const QString& title)
    {
        start();
        wizard.B_Next1Click();
        ASSERT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet2);
        wizard.E_Title->setText(title);
        wizard.B_Next2Click();
    }

    std::filesystem::path catalogFile(const char* title) const { return catalogs / (std::string(title) + ".qd"); }

    bool app = (ensureApp<QApplication>(), true);
    ScriptedDialogs dialogs;
    MappedDrive drive{'D', {.label = "PHOTOS", .serial = 0x1234ABCD}};
    MappedDrive other{'E', {.label = "OTHER", .serial = 0x55667788}};
    MappedDrive noLabel{'F', {.label = QString(), .serial = 0x01020304}};
    MappedDrive empty{'G', QStringLiteral("/nonexistent/qd-no-medium")};
    TempDir catalogs;
    QByteArray catalogFolder;
    TForm_NewDisk wizard;
};

} // namespace

TEST_F(NewDiskTest, WindowAndPages)
{
    EXPECT_EQ(wizard.windowTitle(), u("新規作成：ディスク"));
    EXPECT_EQ(wizard.size(), QSize(372, 213));
    EXPECT_EQ(wizard.PageControl1->count(), 5);
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet1);
    EXPECT_EQ(wizard.B_Next1->text(), u("次へ"));
    EXPECT_EQ(wizard.B_Back0->text(), u("戻る"));
    EXPECT_EQ(wizard.B_Finish->text(), u("完了"));
    EXPECT_TRUE(wizard.B_Next1->isDefault());
}

TEST_F(NewDiskTest, ADriveWithoutADiskShowsTheMessageAndStays)
{
    start();
    choose('G');
    wizard.B_Next1Click();
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("ディスクがありません。(1001)"));
    EXPECT_EQ(dialogs.asked[0].caption, u("エラー"));
    EXPECT_EQ(dialogs.asked[0].icon, DialogIcon::Exclamation);
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet1);
}

TEST_F(NewDiskTest, TheLabelIsProposedAndAnEmptyTitleIsRefused)
{
    start();
    wizard.B_Next1Click();
    EXPECT_EQ(wizard.E_Title->text(), "PHOTOS");
    EXPECT_FALSE(wizard.ST_DiskSize->text().isEmpty());

    wizard.B_Back0Click();
    choose('F');
    wizard.B_Next1Click();
    EXPECT_EQ(wizard.E_Title->text(), "");
    wizard.B_Next2Click();
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("タイトルは必ずつけてください。"));
    EXPECT_EQ(dialogs.asked[0].caption, u("注意"));
    EXPECT_EQ(dialogs.asked[0].icon, DialogIcon::Information);
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet2);
}

TEST_F(NewDiskTest, BackAfterChangingTheDriveReplacesTheTypedTitle)
{
    start();
    wizard.B_Next1Click();
    wizard.E_Title->setText("typed");
    wizard.B_Back0Click();
    choose('E');
    wizard.B_Next1Click();
    EXPECT_EQ(wizard.E_Title->text(), "OTHER");
}

TEST_F(NewDiskTest, ATitleWithAFullStopIsRefused)
{
    walkAs("disk.1");
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("タイトルには次の文字が使用できません。\r\n/ | * < > \\ , . \" ; : ?"));
    EXPECT_EQ(dialogs.asked[0].caption, u("エラー"));
    EXPECT_EQ(dialogs.asked[0].icon, DialogIcon::Stop);
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet2);
    // Characters outside code page 932 are fine in a title.
    wizard.E_Title->setText(u("Café ☕"));
    wizard.B_Next2Click();
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
}

TEST_F(NewDiskTest, RegistersTheDiskFromStartToFinish)
{
    walkAs("Photos 2001");
    ASSERT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
    EXPECT_EQ(wizard.ST_CountFolder->text(), "4"); // root, A, B, A\C
    EXPECT_EQ(TotalFileCount(wizard.Disk), 3);
    EXPECT_EQ(wizard.ST_CountFile->text(), "2"); // shown before the last folder, A\C, was listed
    EXPECT_EQ(wizard.IconPicker->DiskIcons()->count(), 1); // SETUP.EXE

    wizard.BitBtn8Click(); // no icon chosen yet
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("アイコンは必ず選択してください。"));
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
    pickIcon();
    wizard.BitBtn8Click();
    ASSERT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet5);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("Photos 2001")));
    wizard.B_FinishClick();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);

    TDisk saved;
    ASSERT_TRUE(LoadDiskData(catalogFile("Photos 2001"), saved).ok());
    EXPECT_EQ(saved.VolumeLabel, "PHOTOS");
    EXPECT_EQ(saved.SerialNo, 0x1234ABCDu);
    EXPECT_EQ(saved.DirList.size(), 4u);
    EXPECT_EQ(saved.DirList[0].Name, "D:");
    EXPECT_EQ(saved.IconImage, wizard.IconPicker->IconImageBmp());
    EXPECT_FALSE(saved.IconMask.empty());
}

TEST_F(NewDiskTest, AnExistingCatalogIsKeptOnNoAndReplacedOnlyOnFinish)
{
    SaveDiskData(catalogs / "Old", sampleDisk());
    const std::string before = readFile(catalogFile("Old"));
    dialogs.answers.enqueue(DialogAnswer::No);
    walkAs("Old");
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("入力されたタイトルはすでに存在します。\r\n上書きしますか？"));
    EXPECT_EQ(dialogs.asked[0].caption, u("確認"));
    EXPECT_EQ(dialogs.asked[0].buttons, DialogButtons::YesNo);
    EXPECT_EQ(dialogs.asked[0].defaultAnswer, DialogAnswer::No) << "Enter must not overwrite";
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet2);

    dialogs.answers.enqueue(DialogAnswer::Yes);
    wizard.B_Next2Click();
    ASSERT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
    EXPECT_EQ(readFile(catalogFile("Old")), before); // not yet
    pickIcon();
    wizard.BitBtn8Click();
    wizard.B_FinishClick();
    EXPECT_NE(readFile(catalogFile("Old")), before);
}

// The tree ignores the case of ".qd", so a title differing only in case names
// the same disk: the question is asked and that very file is replaced.
TEST_F(NewDiskTest, ATitleDifferingOnlyInCaseAsksAndReplacesThatCatalog)
{
    SaveDiskData(catalogs / "Shelf", sampleDisk());
    std::filesystem::rename(catalogFile("Shelf"), catalogs / "SHELF.QD");
    dialogs.answers.enqueue(DialogAnswer::Yes);
    walkAs("shelf");
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].caption, u("確認"));
    pickIcon();
    wizard.BitBtn8Click();
    wizard.B_FinishClick();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("shelf"))) << "no second disk of that name";
    TDisk saved;
    ASSERT_TRUE(LoadDiskData(catalogs / "SHELF.QD", saved).ok());
    EXPECT_EQ(saved.VolumeLabel, "PHOTOS");
}

// A catalog that appears after the title was checked is never replaced
// unasked: Finish asks the overwrite question, and No keeps it and the page.
TEST_F(NewDiskTest, ACatalogAppearingDuringTheRegistrationIsNotReplacedUnasked)
{
    walkAs("Late");
    ASSERT_TRUE(dialogs.asked.isEmpty());
    pickIcon();
    wizard.BitBtn8Click();
    SaveDiskData(catalogs / "Late", sampleDisk()); // written meanwhile by someone else
    const std::string theirs = readFile(catalogFile("Late"));

    dialogs.answers.enqueue(DialogAnswer::No);
    wizard.B_FinishClick();
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, u("入力されたタイトルはすでに存在します。\r\n上書きしますか？"));
    EXPECT_EQ(readFile(catalogFile("Late")), theirs);
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet5);

    dialogs.answers.enqueue(DialogAnswer::Yes);
    wizard.B_FinishClick();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_NE(readFile(catalogFile("Late")), theirs);
}

TEST_F(NewDiskTest, CancelOnTheLastPagesAsksAndYesWritesNothing)
{
    SaveDiskData(catalogs / "Old", sampleDisk());
    const std::string before = readFile(catalogFile("Old"));
    dialogs.answers.enqueue(DialogAnswer::Yes); // overwrite
    walkAs("Old");
    pickIcon();
    wizard.BitBtn8Click();
    dialogs.answers.enqueue(DialogAnswer::No);
    wizard.AskStop();
    EXPECT_EQ(dialogs.asked.last().text, u("中止しますか？"));
    EXPECT_EQ(dialogs.asked.last().caption, u("キャンセル"));
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet5);
    dialogs.answers.enqueue(DialogAnswer::Yes);
    wizard.AskStop();
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_EQ(readFile(catalogFile("Old")), before);

    walkAs("New");
    dialogs.answers.enqueue(DialogAnswer::Yes);
    wizard.AskStop(); // on the icon page
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("New")));
}

TEST_F(NewDiskTest, StoppingTheWalkClosesWithoutAFile)
{
    dialogs.answers.enqueue(DialogAnswer::Yes); // "検索を中止しますか？"
    QTimer::singleShot(0, &wizard, [this] { wizard.BitBtn6Click(); });
    walkAs("Stopped");
    EXPECT_EQ(dialogs.asked.last().text, u("検索を中止しますか？"));
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_NE(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("Stopped")));
}

TEST_F(NewDiskTest, TheCloseBoxDuringTheWalkTakesEffectWhenItEnds)
{
    QTimer::singleShot(0, &wizard, [this] {
        EXPECT_TRUE(wizard.Walking());
        wizard.close();
        EXPECT_TRUE(wizard.Walking()); // the walk goes on
    });
    wizard.show();
    walkAs("Closed");
    EXPECT_FALSE(wizard.Walking());
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("Closed")));
}

TEST_F(NewDiskTest, EachShowingStartsAfresh)
{
    walkAs("First");
    ASSERT_FALSE(wizard.Disk.DirList.empty());
    pickIcon();
    ASSERT_FALSE(wizard.IconPicker->Image1->pixmap().isNull());
    start();
    EXPECT_EQ(wizard.PageControl1->currentWidget(), wizard.TabSheet1);
    EXPECT_TRUE(wizard.Disk.DirList.empty());
    EXPECT_EQ(wizard.IconPicker->ImageListBox1->Count(), 0);
    choose('E');
    wizard.B_Next1Click();
    wizard.B_Next2Click();
    EXPECT_EQ(wizard.Disk.DirList.size(), 1u); // the empty drive E: only, nothing of D:
    EXPECT_FALSE(wizard.IconPicker->IconChosen());
    EXPECT_TRUE(wizard.IconPicker->Image1->pixmap().isNull()) << "no preview before an icon is chosen";
}

TEST_F(NewDiskTest, TheTitlePageTakesTheTyping)
{
    start();
    wizard.show();
    QApplication::setActiveWindow(&wizard);
    wizard.B_Next1Click();
    EXPECT_EQ(QApplication::focusWidget(), wizard.E_Title);
    EXPECT_EQ(wizard.E_Title->selectedText(), "PHOTOS") << "typing replaces the proposed label";
}

// Escape and the close box are each page's Cancel: they close the first two
// pages at once, ask "中止しますか？" on the icon and finish pages (a finished
// walk is not lost to one key or click), and Escape during the walk acts as
// the close box.
TEST_F(NewDiskTest, EscapeAndTheCloseBoxAreTheCancelOfEachPage)
{
    auto escape = [](QWidget* focus) {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(focus, &e); // unhandled keys go up to the wizard, as typed ones do
    };
    auto toPage = [&](int page) {
        start();
        wizard.show();
        if (page >= 2)
            wizard.B_Next1Click();
        if (page >= 4) {
            wizard.E_Title->setText("Escaped");
            wizard.B_Next2Click();
            pickIcon();
        }
        if (page == 5)
            wizard.BitBtn8Click();
        ASSERT_EQ(wizard.PageControl1->currentIndex(), page - 1);
    };
    const struct {
        int page;
        QWidget* focus;
        bool asks;
    } cases[] = {
        {1, wizard.ShDriveComboBox1, false},
        {2, wizard.E_Title, false},
        {4, wizard.IconPicker->ImageListBox1, true},
        {5, wizard.B_Finish, true},
    };
    for (const bool closeBox : {false, true})
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "page " << c.page << (closeBox ? ", close box" : ", Escape"));
        const auto cancel = [&] { closeBox ? void(wizard.close()) : escape(c.focus); };
        toPage(c.page);
        dialogs.asked.clear();
        if (c.asks) {
            dialogs.answers.enqueue(DialogAnswer::No);
            cancel();
            ASSERT_EQ(dialogs.asked.size(), 1);
            EXPECT_EQ(dialogs.asked[0].text, u("中止しますか？"));
            EXPECT_EQ(dialogs.asked[0].caption, u("キャンセル"));
            EXPECT_EQ(dialogs.asked[0].buttons, DialogButtons::YesNo);
            EXPECT_TRUE(wizard.isVisible()) << "No stays";
            EXPECT_EQ(wizard.PageControl1->currentIndex(), c.page - 1);
            dialogs.answers.enqueue(DialogAnswer::Yes);
        }
        cancel();
        EXPECT_EQ(dialogs.asked.size(), c.asks ? 2 : 0);
        EXPECT_FALSE(wizard.isVisible());
        EXPECT_EQ(wizard.result(), QDialog::Rejected);
    }
    EXPECT_FALSE(std::filesystem::exists(catalogFile("Escaped")));

    // During the walk: noted, and the wizard closes when the walk has ended.
    dialogs.asked.clear();
    QTimer::singleShot(0, &wizard, [&] {
        escape(wizard.BitBtn6);
        EXPECT_TRUE(wizard.Walking());
        EXPECT_TRUE(wizard.isVisible());
    });
    start();
    wizard.show();
    wizard.B_Next1Click();
    wizard.E_Title->setText("Escaped");
    wizard.B_Next2Click();
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_NE(wizard.PageControl1->currentWidget(), wizard.TabSheet4);
    EXPECT_FALSE(std::filesystem::exists(catalogFile("Escaped")));
}
