// The disk identification from the drive button and its menu.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>
#include <sys/stat.h>

#include "browse/DiskContents.h"
#include "platform/CatalogErrors.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"
#include "support/Unprivileged.h"

using namespace qd;
using namespace qd::test;

namespace {

constexpr std::uint32_t kSerial = 0x5EED0001;

class MainWindowIdentifyTest : public StoreFixture {
protected:
    // A catalog (relative path without ".qd") recording the serial number.
    void disk(const QString& relative, std::uint32_t serial)
    {
        TDisk d = sampleDisk();
        d.SerialNo = serial;
        std::filesystem::create_directories(rootPath(relative).parent_path());
        SaveDiskData(rootPath(relative), d);
    }
    TForm_Main& open()
    {
        window = std::make_unique<TForm_Main>(root());
        window->show();
        return *window;
    }
    QAction* item(char letter) const
    {
        for (QAction* a : window->PM_SearchDisk->actions())
            if (a->text().startsWith(QChar(letter)))
                return a;
        ADD_FAILURE() << "no menu item for " << letter;
        return nullptr;
    }
    QTreeWidgetItem* top() const { return window->TreeView1->topNode(); }
    QTreeWidgetItem* selected() const { return window->TreeView1->currentItem(); }
    bool nothingShown() const
    {
        return selected() == top() && !window->DiskContents->diskShown() && !window->DiskContents->ListView1->isVisible();
    }
    // One information box of the identification with that text.
    void expectTold(int at, const char* text) const
    {
        ASSERT_GT(dialogs_.asked.size(), at);
        const DialogRequest& r = dialogs_.asked[at];
        EXPECT_EQ(r.text, QString::fromUtf8(text));
        EXPECT_EQ(r.caption, QString::fromUtf8("ディスクの検索"));
        EXPECT_EQ(r.icon, DialogIcon::Information);
        EXPECT_EQ(r.buttons, DialogButtons::Ok);
        EXPECT_EQ(r.owner, window.get());
    }

    std::unique_ptr<TForm_Main> window;
};

} // namespace

TEST_F(MainWindowIdentifyTest, AnEmptyDriveSaysSoAndLeavesTheRootSelected)
{
    disk("Alpha", kSerial);
    const MappedDrive empty(QChar('D'), folder() + QStringLiteral("/not inserted"));
    open();
    window->TreeView1->setCurrentItem(child(top(), "Alpha"));
    window->TreeView1Click();
    ASSERT_TRUE(window->DiskContents->diskShown());

    item('d')->trigger();
    ASSERT_EQ(dialogs_.asked.size(), 1);
    expectTold(0, "ディスクが入っていません。");
    EXPECT_TRUE(nothingShown());
    EXPECT_TRUE(item('d')->isChecked());
}

TEST_F(MainWindowIdentifyTest, ADiskNeverRegisteredIsNotFound)
{
    disk("Alpha", kSerial);
    disk("Shelf/Beta", kSerial + 1);
    const MappedDrive drive(QChar('D'), {.serial = kSerial + 2});
    open();

    item('d')->trigger();
    ASSERT_EQ(dialogs_.asked.size(), 1);
    expectTold(0, "見つかりませんでした。");
    EXPECT_TRUE(nothingShown());
}

TEST_F(MainWindowIdentifyTest, NotFoundSaysSoWhenAFolderCouldNotBeListed)
{
    disk("Locked/Alpha", kSerial);
    disk("Beta", kSerial + 1);
    const MappedDrive drive(QChar('D'), {.serial = kSerial});
    open();
    ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(rootPath("Locked").c_str(), 0), 0);
    {
        const Unprivileged nobody;
        if (!nobody.ok())
            GTEST_SKIP() << "running as root and cannot take an unprivileged user's rights here";
        window->Refresh1Click();
    }
    ::chmod(rootPath("Locked").c_str(), 0755);

    item('d')->trigger();
    ASSERT_EQ(dialogs_.asked.size(), 1);
    expectTold(0, "見つかりませんでした。\r\n読み込めなかったフォルダがあるため、その中のディスクは調べていません。");
    EXPECT_TRUE(nothingShown());
}

// Tree order is the order of the nodes with every folder expanded: a disk in a
// collapsed folder sorted above comes before one at the top level below it.
TEST_F(MainWindowIdentifyTest, OfTwoCatalogsOfOneSerialTheOneHigherInTheTreeIsShownFromItsRoot)
{
    disk("Beta", kSerial);
    disk("Alpha/Twice", kSerial);
    disk("Alpha/Other", kSerial + 1);
    const MappedDrive drive(QChar('D'), {.serial = kSerial});
    open();
    QTreeWidgetItem* alpha = child(top(), "Alpha");
    ASSERT_FALSE(alpha->isExpanded());
    // Another disk shown in a sub-folder beforehand.
    window->TreeView1->setCurrentItem(child(top(), "Beta"));
    window->TreeView1Click();
    window->DiskContents->CurrentFolder = 1;
    window->DiskContents->ShowFolder();

    item('d')->trigger();
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    EXPECT_EQ(selected(), child(alpha, "Twice"));
    EXPECT_TRUE(window->DiskContents->diskShown());
    EXPECT_EQ(window->DiskContents->shownFile(), rootPath("Alpha/Twice.qd"));
    EXPECT_EQ(window->DiskContents->CurrentFolder, 0);
    EXPECT_EQ(window->DiskContents->P_FolderName->text(), "D:");
    EXPECT_TRUE(window->DiskContents->ListView1->isVisible());
    EXPECT_TRUE(window->TB_ReLoad->isEnabled());
}

TEST_F(MainWindowIdentifyTest, FailingCatalogsEarlierInTheTreeAreToldAndPassedOver)
{
    // A catalog whose head records the serial but whose body is cut short.
    disk("A damaged", kSerial);
    const std::string bytes = readFile(rootPath("A damaged.qd"));
    writeFile(rootPath("A damaged.qd"), bytes.substr(0, bytes.size() - 10));
    catalogFile("B odd.qd", 2); // data type 2 reaches the loader, which refuses it
    catalogFile("C skipped.qd", 3);
    disk("D good", kSerial);
    const MappedDrive drive(QChar('D'), {.serial = kSerial});
    open();

    item('d')->trigger();
    ASSERT_EQ(dialogs_.asked.size(), 2);
    EXPECT_EQ(dialogs_.asked[0].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Stop);
    QString damage; // what the contents view says of the same catalog
    try {
        TDisk d;
        LoadDiskData(rootPath("A damaged.qd"), d);
    } catch (const CatalogError& e) {
        damage = CatalogErrorText(e);
    }
    EXPECT_FALSE(damage.isEmpty());
    EXPECT_EQ(dialogs_.asked[0].text, damage);
    EXPECT_EQ(dialogs_.asked[1].text, QString::fromUtf8("データタイプの指定エラーです。(5105)"));
    EXPECT_EQ(dialogs_.asked[1].caption, QString::fromUtf8("エラー"));
    EXPECT_EQ(dialogs_.asked[1].icon, DialogIcon::None);
    EXPECT_EQ(selected(), child(top(), "D good"));
    EXPECT_TRUE(window->DiskContents->diskShown());
}

TEST_F(MainWindowIdentifyTest, TheButtonLooksAtTheDriveChosenLastFromTheMenu)
{
    disk("On D", kSerial);
    disk("On E", kSerial + 1);
    const MappedDrive d(QChar('D'), {.serial = kSerial});
    const MappedDrive e(QChar('E'), {.serial = kSerial + 1});
    open();
    EXPECT_TRUE(window->PM_SearchDisk->actions().first()->isChecked());

    item('d')->trigger();
    EXPECT_EQ(selected(), child(top(), "On D"));
    window->TreeView1->setCurrentItem(top());
    window->TreeView1Click();

    window->TB_SearchDisk->click();
    EXPECT_EQ(selected(), child(top(), "On D"));
    EXPECT_TRUE(item('d')->isChecked());
    EXPECT_FALSE(item('e')->isChecked());

    item('e')->trigger();
    window->TB_SearchDisk->click();
    EXPECT_EQ(selected(), child(top(), "On E"));
    EXPECT_FALSE(item('d')->isChecked());
    EXPECT_TRUE(dialogs_.asked.isEmpty());
}
