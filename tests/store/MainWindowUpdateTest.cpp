// The disk update from "データの更新": check, list, save and show again.
#include <QDir>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>

#include "browse/DiskContents.h"
#include "browse/FolderModel.h"
#include "registration/Scanner.h"
#include "store/MainWindow.h"
#include "StoreFixture.h"

using namespace qd;
using namespace qd::test;

namespace {

constexpr std::uint32_t kSerial = 0x0DDBA11;

class MainWindowUpdateTest : public StoreFixture {
protected:
    MainWindowUpdateTest()
    {
        drive.write("a.txt", "a");
        drive.write("PHOTO/x.jpg", "x");
    }
    // Catalogues drive D as "Disk", with a comment on a.txt, and shows it.
    void registerAndShow()
    {
        TDisk disk;
        ScanControl control;
        ASSERT_TRUE(WalkDrive(QChar('D'), disk, control, nullptr).completed);
        disk.SerialNo = kSerial;
        disk.IconImage = smallBmp(24, 0x80);
        disk.IconMask = smallBmp(1, 0x00);
        for (TFile& f : disk.DirList[0].FileList)
            f.Comment = "comment of " + std::string(f.Name.view());
        QDir().mkpath(root());
        SaveDiskData(rootPath("Disk"), disk);
        window = std::make_unique<TForm_Main>(root());
        window->show();
        window->TreeView1->setCurrentItem(child(window->TreeView1->topNode(), "Disk"));
        window->TreeView1Click();
        ASSERT_TRUE(window->TB_ReLoad->isEnabled());
    }
    QStringList rows() const
    {
        QStringList out;
        const auto* model = window->DiskContents->ListView1Details->model();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, FolderModel::Name).data().toString();
        return out;
    }
    TDisk saved() const
    {
        TDisk disk;
        EXPECT_TRUE(LoadDiskData(rootPath("Disk.qd"), disk).ok());
        return disk;
    }
    void expectTold(const QString& text) const
    {
        ASSERT_EQ(dialogs_.asked.size(), 1);
        EXPECT_EQ(dialogs_.asked[0].text, text);
        EXPECT_EQ(dialogs_.asked[0].caption, QString::fromUtf8("ディスクの更新"));
        EXPECT_EQ(dialogs_.asked[0].icon, DialogIcon::Information);
        EXPECT_EQ(dialogs_.asked[0].buttons, DialogButtons::Ok);
    }

    MappedDrive drive{QChar('D'), {.label = QStringLiteral("DATA"), .serial = kSerial}};
    std::unique_ptr<TForm_Main> window;
};

} // namespace

TEST_F(MainWindowUpdateTest, AFileAddedToTheShownFolderIsSavedAndListed)
{
    registerAndShow();
    drive.write("b.txt", "new");
    ASSERT_TRUE(QFile::remove(drive.path("PHOTO/x.jpg")));

    window->TB_ReLoad->click();
    EXPECT_TRUE(dialogs_.asked.isEmpty());
    EXPECT_EQ(rows(), QStringList({"PHOTO", "a.txt", "b.txt"}));
    const TDisk disk = saved();
    ASSERT_EQ(disk.DirList[0].FileList.size(), 2u);
    EXPECT_EQ(disk.DirList[0].FileList[0].Comment.view(), "comment of a.txt");
    EXPECT_EQ(disk.DirList[0].FileList[1].Name.view(), "b.txt");
    EXPECT_EQ(disk.DirList[0].FileList[1].Comment.view(), "");
    EXPECT_EQ(disk.DirList[1].FileList.size(), 1u) << "only the folder shown is updated";
    // The new file gets its own icon when the list shows it.
    window->DiskContents->ListView1Details->model()->index(2, FolderModel::Name).data(Qt::DecorationRole);
    EXPECT_GE(window->DiskContents->ShownDisk.DirList[0].FileList[1].IconIndex, 0);
}

TEST_F(MainWindowUpdateTest, UpdatingASubFolderShowsThatFolderAgain)
{
    registerAndShow();
    window->DiskContents->CurrentFolder = 1;
    window->DiskContents->ShowFolder();
    drive.write("PHOTO/y.jpg", "y");

    window->TB_ReLoad->click();
    EXPECT_EQ(window->DiskContents->CurrentFolder, 1);
    EXPECT_EQ(window->DiskContents->P_FolderName->text(), "D:\\PHOTO");
    EXPECT_EQ(rows(), QStringList({"x.jpg", "y.jpg"}));
    EXPECT_TRUE(window->TB_Updir->isEnabled());
    EXPECT_EQ(saved().DirList[1].FileList.size(), 2u);
}

TEST_F(MainWindowUpdateTest, AnotherDiskInTheDriveIsToldAndNothingChanges)
{
    registerAndShow();
    const std::string before = readFile(rootPath("Disk.qd"));
    drive.write("b.txt");
    const MappedDrive other(QChar('D'), drive.root(), {.serial = kSerial + 1});

    window->TB_ReLoad->click();
    expectTold(QString::fromUtf8("指定ドライブのディスクは入っていないか、もしくは違うディスクです。"));
    EXPECT_EQ(readFile(rootPath("Disk.qd")), before);
    EXPECT_EQ(rows(), QStringList({"PHOTO", "a.txt"}));
}

TEST_F(MainWindowUpdateTest, AFolderThatCannotBeListedIsToldAndNothingChanges)
{
    registerAndShow();
    window->DiskContents->CurrentFolder = 1;
    window->DiskContents->ShowFolder();
    const std::string before = readFile(rootPath("Disk.qd"));
    ASSERT_TRUE(QDir(drive.path("PHOTO")).removeRecursively());
    drive.write("PHOTO", "a file now");

    window->TB_ReLoad->click();
    expectTold(QString::fromUtf8("フォルダの内容を読み込めませんでした。カタログは変更していません。\r\nD:\\PHOTO\\"));
    EXPECT_EQ(readFile(rootPath("Disk.qd")), before);
    EXPECT_EQ(rows(), QStringList({"x.jpg"}));
}
