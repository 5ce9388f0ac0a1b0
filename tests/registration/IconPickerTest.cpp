#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "catalog/Bmp.h"
#include "platform/ImageList.h"
#include "platform/SysImageList.h"
#include "registration/IconPicker.h"
#include "support/IconFixtures.h"
#include "support/QtApp.h"
#include "support/ScriptedDialogs.h"

using namespace qd;
using namespace qd::test;
using test::IconStore;

namespace {


class IconPicker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        picker.OpenDialog1 = [this](QWidget* owner, const QString& filter) {
            ++dialogsShown;
            shownFilter = filter;
            EXPECT_EQ(owner, &picker);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = writeFileIn(dir, name, bytes);
        EXPECT_FALSE(path.isEmpty()) << name.toStdString();
        return path;
    }

    // What the user does: pick a source in the box, then an item.
    void chooseSource(int source)
    {
        picker.ComboBox1->setCurrentIndex(source);
        emit picker.ComboBox1->activated(source);
    }
    void selectIcon(int i)
    {
        picker.ImageListBox1->SetItemIndex(i);
        picker.ImageListBox1Click();
    }

    // The application comes before the widgets below are made.
    QCoreApplication* app = test::ensureApp<QApplication>();
    QTemporaryDir dir;
    TIconPicker picker;
    QStringList answers; // the file dialog's answers, empty = cancel
    QString shownFilter;
    int dialogsShown = 0;
};

QByteArray threeIconExe()
{
    using test::squareIcon;
    return test::makePe({{{squareIcon(kRed), IconStore::Dib32}}, {{squareIcon(kGreen), IconStore::Dib8}}, {{squareIcon(kBlue, 32), IconStore::Png}}});
}

quint16 bmpBits(const std::string& bmp) { return quint16(quint8(bmp[28]) | quint8(bmp[29]) << 8); }

} // namespace

TEST_F(IconPicker, OffersTheFourSources)
{
    ASSERT_EQ(picker.ComboBox1->count(), 4);
    EXPECT_EQ(picker.ComboBox1->itemText(0), QStringLiteral("ディスクの中にあったアイコン"));
    EXPECT_EQ(picker.ComboBox1->itemText(1), QStringLiteral("Windowsアイコン"));
    EXPECT_EQ(picker.ComboBox1->itemText(2), QStringLiteral("指定ファイルのアイコン"));
    EXPECT_EQ(picker.ComboBox1->itemText(3), QStringLiteral("いろいろ"));
    EXPECT_EQ(picker.ComboBox1->width(), 181);
    EXPECT_EQ(picker.ImageListBox1->size(), QSize(297, 81));
    EXPECT_EQ(picker.ImageListBox1->CellSize(), QSize(24, 20));
    EXPECT_EQ(picker.SourceList(3), GetSysImageList(false));
}

TEST_F(IconPicker, ADiskWithoutIconsGivesAnEmptyFirstSourceAndNextIsRefused)
{
    test::ScriptedDialogs dialogs;
    picker.WalkCompleted();
    EXPECT_EQ(picker.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(picker.ImageListBox1->Images(), picker.DiskIcons());
    EXPECT_EQ(picker.ImageListBox1->Count(), 0);
    EXPECT_GT(picker.SourceList(1)->count(), 0);
    EXPECT_FALSE(picker.IconChosen());

    // A click that selects nothing chooses nothing.
    picker.ImageListBox1Click();
    EXPECT_FALSE(picker.CheckIconChosen());
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("アイコンは必ず選択してください。"));
    EXPECT_EQ(dialogs.asked[0].caption, QStringLiteral("注意"));
    EXPECT_EQ(dialogs.asked[0].icon, DialogIcon::Stop);
    EXPECT_EQ(dialogs.asked[0].buttons, DialogButtons::Ok);
    EXPECT_EQ(dialogs.asked[0].owner, &picker);

    // The user takes another source.
    chooseSource(1);
    selectIcon(0);
    EXPECT_TRUE(picker.CheckIconChosen());
    EXPECT_EQ(dialogs.asked.size(), 1);
}

TEST_F(IconPicker, TheWalkFillsTheFirstSourceAtOnceAndEndsWithoutAChangeEvent)
{
    answers << write(QStringLiteral("a.exe"), threeIconExe());
    chooseSource(2);
    EXPECT_EQ(dialogsShown, 1);
    selectIcon(0);
    ASSERT_TRUE(picker.IconChosen());

    bool madeCurrent = false;
    picker.WalkCompleted([&] {
        madeCurrent = true;
        // The page is shown before the system icons are filled.
        EXPECT_EQ(picker.SourceList(1)->count(), 0);
    });
    EXPECT_TRUE(madeCurrent);
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(picker.ComboBox1->currentIndex(), 0);
    EXPECT_FALSE(picker.IconChosen());

    // The walk's icons appear as they are added.
    picker.DiskIcons()->addIcon(test::squareIcon(kRed));
    picker.DiskIcons()->addIcon(test::squareIcon(kBlue));
    EXPECT_EQ(picker.ImageListBox1->Count(), 2);
    selectIcon(1);
    EXPECT_EQ(picker.IconImage().pixel(8, 8), kBlue);

    // A second walk refills the system icons rather than adding to them.
    const int windowsIcons = picker.SourceList(1)->count();
    picker.WalkCompleted();
    EXPECT_EQ(picker.SourceList(1)->count(), windowsIcons);
}

TEST_F(IconPicker, ACancelledFileChoiceShowsTheEarlierFileOrNothing)
{
    chooseSource(2);
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(shownFilter, QStringLiteral("アイコンファイル（*.exe *.ico） |*.exe;*.ico|DLLファイル（*.dll）|*.dll|全てのファイル（*.*）|*.*"));
    EXPECT_EQ(picker.ImageListBox1->Images(), picker.SourceList(2));
    EXPECT_EQ(picker.ImageListBox1->Count(), 0);

    answers << write(QStringLiteral("TOOL.EXE"), threeIconExe());
    chooseSource(0);
    chooseSource(2);
    EXPECT_EQ(picker.ImageListBox1->Count(), 3);

    chooseSource(1);
    chooseSource(2); // cancelled
    EXPECT_EQ(dialogsShown, 3);
    EXPECT_EQ(picker.ImageListBox1->Count(), 3);
    EXPECT_EQ(picker.SourceList(2)->image(1).pixel(8, 8), kGreen);

    // A file without icons leaves the list empty.
    answers << write(QStringLiteral("readme.txt"), "no icons here");
    chooseSource(2);
    EXPECT_EQ(picker.ImageListBox1->Count(), 0);
}

TEST_F(IconPicker, IconsOfARealPeFileAndIcoFileAppearInTheBox)
{
    answers << write(QStringLiteral("TOOL.EXE"), threeIconExe());
    chooseSource(2);
    ASSERT_EQ(picker.ImageListBox1->Count(), 3);
    picker.show();
    QCoreApplication::processEvents();
    QImage s = picker.ImageListBox1->viewport()->grab().toImage();
    // Cells of 24 x 20 in one column: each image starts at (4, 2) in its cell.
    EXPECT_EQ(s.pixel(4 + 8, 2 + 8), kRed);
    EXPECT_EQ(s.pixel(4 + 8, 22 + 8), kGreen);
    EXPECT_EQ(s.pixel(4 + 8, 42 + 8), kBlue);

    answers << write(QStringLiteral("Disk.ico"), test::makeIco({{test::squareIcon(kGreen, 32), IconStore::Dib24}, {test::squareIcon(kBlue), IconStore::Dib4}}));
    chooseSource(2);
    ASSERT_EQ(picker.ImageListBox1->Count(), 1);
    QCoreApplication::processEvents();
    s = picker.ImageListBox1->viewport()->grab().toImage();
    EXPECT_EQ(s.pixel(4 + 8, 2 + 8), kBlue);
    EXPECT_EQ(s.pixel(4 + 8, 22 + 8), picker.ImageListBox1->Color().rgb());
}

TEST_F(IconPicker, AnIconKeepsItsTransparencyInImageAndMask)
{
    answers << write(QStringLiteral("TOOL.EXE"), threeIconExe());
    chooseSource(2);
    selectIcon(0);
    const QImage image = picker.IconImage(), mask = picker.IconMask();
    ASSERT_EQ(image.size(), QSize(16, 16));
    ASSERT_EQ(mask.size(), QSize(16, 16));
    EXPECT_EQ(mask.pixel(0, 0) | kBlack, kWhite);
    EXPECT_EQ(mask.pixel(8, 8) | kBlack, kBlack);
    EXPECT_EQ(image.pixel(8, 8) | kBlack, kRed);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if ((mask.pixel(x, y) | kBlack) == kWhite) {
                ASSERT_EQ(image.pixel(x, y) | kBlack, kWhite) << x << "," << y;
            }
    // The preview shows the same icon.
    const QImage preview = picker.Image1->pixmap().toImage();
    EXPECT_EQ(preview.size(), QSize(16, 16));
    EXPECT_EQ(preview.pixel(8, 8), kRed);

    // As BMP files: a 24-bit image and a 1-bit mask that the catalog accepts and that read back the same.
    const std::string imageBmp = picker.IconImageBmp(), maskBmp = picker.IconMaskBmp();
    EXPECT_EQ(BmpProblem(imageBmp), "");
    EXPECT_EQ(BmpProblem(maskBmp), "");
    EXPECT_EQ(bmpBits(imageBmp), 24);
    EXPECT_EQ(bmpBits(maskBmp), 1);
    const QImage imageBack = QImage::fromData(QByteArray::fromStdString(imageBmp), "BMP");
    const QImage maskBack = QImage::fromData(QByteArray::fromStdString(maskBmp), "BMP");
    EXPECT_EQ(imageBack.pixel(8, 8) | kBlack, kRed);
    EXPECT_EQ(imageBack.pixel(0, 0) | kBlack, kWhite);
    EXPECT_EQ(maskBack.pixel(0, 0) | kBlack, kWhite);
    EXPECT_EQ(maskBack.pixel(8, 8) | kBlack, kBlack);
    // Stored as Windows monochrome bitmaps are: colour 0 black, colour 1 white,
    // rows bottom-up, so the top row comes last and its first bit is (0, 0).
    const quint32 pixels = quint8(maskBmp[10]) | quint8(maskBmp[11]) << 8;
    ASSERT_EQ(pixels, 14u + 40u + 8u);
    EXPECT_EQ(maskBmp.substr(54, 8), std::string("\0\0\0\0\xff\xff\xff\0", 8));
    const quint8 topLeft = quint8(maskBmp[pixels + 15 * 4]);
    const quint8 middle = quint8(maskBmp[pixels + 7 * 4 + 1]); // row 8, pixels 8 to 15
    EXPECT_EQ(topLeft >> 7, 1);
    EXPECT_EQ(middle >> 7, 0);
}

TEST_F(IconPicker, ASwitchOfSourceKeepsTheIconChosenBefore)
{
    picker.WalkCompleted();
    chooseSource(1);
    ASSERT_GT(picker.ImageListBox1->Count(), 1);
    selectIcon(1);
    const QImage chosen = picker.IconImage();
    const QImage chosenMask = picker.IconMask();
    EXPECT_NE(chosen.pixel(8, 8) | kBlack, kWhite);

    chooseSource(3);
    EXPECT_EQ(picker.ImageListBox1->Images(), GetSysImageList(false));
    EXPECT_EQ(picker.ImageListBox1->ItemIndex(), -1);
    picker.ImageListBox1Click(); // nothing selected in the new source
    test::ScriptedDialogs dialogs;
    EXPECT_TRUE(picker.CheckIconChosen());
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(picker.IconImage(), chosen);
    EXPECT_EQ(picker.IconMask(), chosenMask);
}

TEST_F(IconPicker, TheUsersClickInTheBoxChoosesTheIcon)
{
    picker.DiskIcons()->addIcon(test::squareIcon(kRed));
    picker.DiskIcons()->addIcon(test::squareIcon(kGreen));
    picker.WalkCompleted();
    picker.resize(400, 140);
    picker.show();
    QCoreApplication::processEvents();
    QWidget* vp = picker.ImageListBox1->viewport();
    const QPoint at(12, 30);
    QMouseEvent press(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QApplication::sendEvent(vp, &release);
    EXPECT_TRUE(picker.IconChosen());
    EXPECT_EQ(picker.IconImage().pixel(8, 8), kGreen);

    // A look at the page, when asked for.
    const QString shots = qEnvironmentVariable("QD_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        picker.grab().save(QDir(shots).filePath(QStringLiteral("icon-page.png")));
}
