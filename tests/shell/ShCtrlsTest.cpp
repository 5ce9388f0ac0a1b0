#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>

#include "platform/Drives.h"
#include "platform/ImageList.h"
#include "platform/SysImageList.h"
#include "shell/ItemIDList.h"
#include "shell/ShCtrls.h"
#include "support/CountingMalloc.h"
#include "support/QtApp.h"
#include "support/TempSettings.h"

using namespace qd;

namespace {

test::MappedDrive::Options cdrom()
{
    test::MappedDrive::Options options;
    options.kind = DriveKind::CdRom;
    return options;
}

test::MappedDrive::Options labelled(const QString& label)
{
    test::MappedDrive::Options options;
    options.label = label;
    return options;
}


// Changes the current directory for its lifetime.
class CurrentDir {
public:
    explicit CurrentDir(const QString& path) : old_(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentDir() { QDir::setCurrent(old_); }

private:
    QString old_;
};

// The drive box with its entry copy open to the tests.
class DriveBox : public TShDriveComboBox {
public:
    using TShDriveComboBox::ShowDriveItems;
    int changes = 0;
    DriveBox() { connect(this, &TShDriveComboBox::OnChange, this, [this] { ++changes; }); }

    int indexOf(QChar letter) const
    {
        for (int i = 0; i < count(); ++i)
            if (PathOfItem(i).startsWith(QString(letter) + u':'))
                return i;
        return -1;
    }
    // What the toolkit does when the user picks an entry from the list.
    void choose(int index)
    {
        setCurrentIndex(index);
        emit activated(index);
    }
    QChar selectedLetter() const
    {
        const QString path = PathOfItem(currentIndex());
        return path.isEmpty() ? QChar() : path[0];
    }
};

// A concrete shell list box: texts from its items, a minimum height that
// follows the icon type, a fixed indent; it records the notices it gets.
class ListBox : public TCustomShListBox {
public:
    QStringList notices;
    void ApplyPath(const QString&) override {}
    QString ItemText(int index) const override { return item(index)->text(); }
    int MinItemHeight() const override { return IconEdge(IconType()) + 2; }
    int ItemIndent(int) const override { return 3; }
    void RefreshItems() override {}

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == ShPathChangedEvent::eventType()) {
            notices.append(static_cast<ShPathChangedEvent*>(e)->path());
            return true;
        }
        return TCustomShListBox::event(e);
    }
};

class DriveBoxTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp<QApplication>(); }

    test::TempSettings settings;
    test::MappedDrive p{u'P', labelled(QStringLiteral("PHOTO"))};
    test::MappedDrive r{u'R', labelled(QStringLiteral("RECORDS"))};
    QTemporaryDir gone;
    test::MappedDrive q{u'Q', gone.path() + QStringLiteral("/no-medium"), cdrom()};
};

} // namespace

// ---- the entries ----

TEST_F(DriveBoxTest, ListsEveryDriveOfTheTableInItsOrderWithIconAndName)
{
    DriveBox box;
    const auto& drives = DriveTable::instance().drives();
    ASSERT_EQ(box.count(), int(drives.size()));
    ASSERT_EQ(box.DriveItems().Count(), box.count());
    for (int i = 0; i < box.count(); ++i) {
        const QString root = QString(drives[std::size_t(i)].letter) + QStringLiteral(":\\");
        EXPECT_EQ(box.PathOfItem(i), root);
        EXPECT_EQ(box.itemText(i), drives[std::size_t(i)].displayName());
        const TItemInfo* info = box.ItemInfo(i);
        ASSERT_EQ(info, box.DriveItems().Objects(i)); // the visible entry refers to the owned object
        EXPECT_EQ(box.DriveItems().Strings(i), info->DisplayName);
        EXPECT_EQ(info->SmallIcon, GetSysIconIndex(root));
        EXPECT_EQ(IconIndexOf(*info, itSmall), info->SmallIcon);
        EXPECT_EQ(IconIndexOf(*info, itLarge), info->LargeIcon);
        EXPECT_EQ(IconIndexOf(*info, TIconType(7)), 0);
        EXPECT_EQ(info->DrawStyle, ILD_TRANSPARENT);
        EXPECT_EQ(info->Data, 0);
    }
    EXPECT_NE(box.indexOf(u'Q'), -1); // listed without a medium
}

TEST_F(DriveBoxTest, BuildingFreesEveryListItMadeAndFailureKeepsTheEntries)
{
    test::CountingMalloc heap;
    {
        DriveBox box;
        const int entries = box.count();
        EXPECT_GT(heap.calls, entries); // the computer folder, each child, each absolute list
        EXPECT_EQ(heap.live(), 0u);
        heap.refuse = true;
        box.BuildDriveList();
        heap.refuse = false;
        EXPECT_EQ(box.count(), entries);
        EXPECT_EQ(box.PathOfItem(0), QString(DriveTable::instance().drives().front().letter) + QStringLiteral(":\\"));
    }
    EXPECT_EQ(heap.live(), 0u);
    EXPECT_EQ(heap.foreignFrees, 0);
}

// ---- the drive at creation ----

TEST_F(DriveBoxTest, CreationSelectsTheDriveThatHoldsTheCurrentDirectory)
{
    test::MappedDrive nested(u'S', p.mkdir(QStringLiteral("inner")));
    {
        CurrentDir cd(p.mkdir(QStringLiteral("A/B")));
        DriveBox box;
        EXPECT_EQ(box.Drive(), QChar(u'P'));
        EXPECT_EQ(box.selectedLetter(), QChar(u'P'));
    }
    {
        CurrentDir cd(p.mkdir(QStringLiteral("inner/deeper")));
        DriveBox box;
        EXPECT_EQ(box.Drive(), QChar(u'S')); // the longest root wins over P:
    }
}

TEST_F(DriveBoxTest, CurrentDirectoryOnNoDriveLeavesNoSelection)
{
    test::MappedDrive elsewhere(u'C', p.path(QStringLiteral("not-there")));
    for (const qd::Drive& d : DriveTable::instance().drives()) {
        if (d.present() && !d.mapped())
            GTEST_SKIP() << "this machine has mounted drives besides the root file system";
    }
    QTemporaryDir outside;
    CurrentDir cd(outside.path());
    DriveBox box;
    EXPECT_GT(box.count(), 0);
    EXPECT_EQ(box.Drive(), QChar());
    EXPECT_EQ(box.currentIndex(), -1);
    EXPECT_EQ(box.changes, 0);
}

// ---- selecting ----

TEST_F(DriveBoxTest, SelectPathTakesTheFirstEntryOfTheLetter)
{
    DriveBox box;
    // A folder of P: listed before the drive itself, as a shell may show one.
    const ItemIDListPtr folder(itemidlist::PathToItemIDList(p.mkdir(QStringLiteral("Shared"))));
    ASSERT_TRUE(folder);
    auto* info = new TItemInfo(folder.get(), 0, ILD_TRANSPARENT, 0);
    box.DriveItems().InsertObject(0, info->DisplayName, info);
    box.ShowDriveItems();

    box.SelectPath(QStringLiteral("p:\\anything"));
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(box.PathOfItem(0), QStringLiteral("P:\\Shared"));
    EXPECT_EQ(box.Drive(), QChar(u'P'));

    box.SelectPath(QStringLiteral("r:\\"));
    EXPECT_EQ(box.Drive(), QChar(u'R'));
    // A letter that no entry has changes nothing.
    const int before = box.currentIndex();
    box.SelectPath(QStringLiteral("Y:\\"));
    EXPECT_EQ(box.currentIndex(), before);
    EXPECT_EQ(box.Drive(), QChar(u'R'));
    EXPECT_EQ(box.changes, 0); // SelectPath alone never announces
}

TEST_F(DriveBoxTest, ChoosingTheCurrentDriveFiresNoChange)
{
    DriveBox box;
    box.ApplyPath(QStringLiteral("P:\\"));
    ASSERT_EQ(box.Drive(), QChar(u'P'));
    box.changes = 0;
    box.choose(box.indexOf(u'P'));
    EXPECT_EQ(box.changes, 0);
    box.choose(box.indexOf(u'R'));
    EXPECT_EQ(box.changes, 1);
    EXPECT_EQ(box.Drive(), QChar(u'R'));
}

TEST_F(DriveBoxTest, EmptyDriveIsAcceptedInGroupZero)
{
    DriveBox box;
    box.ApplyPath(QStringLiteral("P:\\"));
    box.changes = 0;
    box.choose(box.indexOf(u'Q'));
    EXPECT_EQ(box.Drive(), QChar(u'Q'));
    EXPECT_EQ(box.selectedLetter(), QChar(u'Q'));
    EXPECT_EQ(box.changes, 1);
}

TEST_F(DriveBoxTest, EmptyDriveIsRefusedInAGroupAndTheSelectionGoesBack)
{
    DriveBox box;
    box.SetGroupIndex(3);
    box.ApplyPath(QStringLiteral("P:\\"));
    box.changes = 0;
    box.choose(box.indexOf(u'Q'));
    EXPECT_EQ(box.Drive(), QChar(u'P'));
    EXPECT_EQ(box.selectedLetter(), QChar(u'P'));
    EXPECT_EQ(box.changes, 0);
    // A drive with a medium is still taken.
    box.choose(box.indexOf(u'R'));
    EXPECT_EQ(box.Drive(), QChar(u'R'));
    EXPECT_EQ(box.changes, 1);
}

TEST_F(DriveBoxTest, RefreshKeepsTheDriveAndItsSelection)
{
    DriveBox box;
    box.ApplyPath(QStringLiteral("R:\\"));
    box.changes = 0;
    box.RefreshItems();
    EXPECT_EQ(box.Drive(), QChar(u'R'));
    EXPECT_EQ(box.selectedLetter(), QChar(u'R'));
    EXPECT_EQ(box.changes, 0);
}

TEST_F(DriveBoxTest, FontChangeRebuildsOnlyWhileNoDriveIsSelected)
{
    CurrentDir cd(p.root());
    DriveBox box;
    ASSERT_EQ(box.Drive(), QChar(u'P'));
    const ItemIDListPtr folder(itemidlist::PathToItemIDList(p.mkdir(QStringLiteral("Extra"))));
    ASSERT_TRUE(folder);
    auto* info = new TItemInfo(folder.get(), 0, ILD_TRANSPARENT, 0);
    box.DriveItems().AddObject(info->DisplayName, info);
    box.ShowDriveItems();
    const int entries = box.count();
    QFont font = box.font();
    font.setPixelSize(font.pixelSize() > 0 ? font.pixelSize() + 3 : 20);
    box.setFont(font);
    EXPECT_EQ(box.count(), entries); // a drive is selected: the entries are kept
    EXPECT_EQ(box.PathOfItem(entries - 1), QStringLiteral("P:\\Extra"));
}

// ---- groups ----

TEST_F(DriveBoxTest, GroupNoticeReachesEveryMemberOfTheGroupAndNoOther)
{
    DriveBox a, b, other;
    ListBox list, otherList;
    a.SetGroupIndex(7);
    b.SetGroupIndex(7);
    list.SetGroupIndex(7);
    other.SetGroupIndex(8);
    otherList.SetGroupIndex(8);
    for (DriveBox* box : {&a, &b, &other}) {
        box->ApplyPath(QStringLiteral("P:\\"));
        box->changes = 0;
    }

    a.choose(a.indexOf(u'R'));
    // Every member has reacted by the time the choice returns.
    EXPECT_EQ(a.Drive(), QChar(u'R'));
    EXPECT_EQ(b.Drive(), QChar(u'R'));
    EXPECT_EQ(b.selectedLetter(), QChar(u'R'));
    EXPECT_EQ(a.changes, 1);
    EXPECT_EQ(b.changes, 1);
    EXPECT_EQ(list.notices, QStringList{QStringLiteral("R:\\")});
    EXPECT_EQ(other.Drive(), QChar(u'P'));
    EXPECT_EQ(other.changes, 0);
    EXPECT_TRUE(otherList.notices.isEmpty());
}

TEST_F(DriveBoxTest, GroupZeroAnnouncesOnlyToItself)
{
    DriveBox a, b;
    ListBox list;
    a.ApplyPath(QStringLiteral("P:\\"));
    b.ApplyPath(QStringLiteral("P:\\"));
    b.changes = 0;
    a.choose(a.indexOf(u'R'));
    EXPECT_EQ(a.Drive(), QChar(u'R'));
    EXPECT_EQ(b.Drive(), QChar(u'P'));
    EXPECT_EQ(b.changes, 0);
    EXPECT_TRUE(list.notices.isEmpty());
}

TEST_F(DriveBoxTest, ControlsLeaveTheGroupListWhenDestroyed)
{
    const qsizetype before = shctrls::ShellControls().size();
    {
        DriveBox box;
        ListBox list;
        EXPECT_EQ(shctrls::ShellControls().size(), before + 2);
    }
    EXPECT_EQ(shctrls::ShellControls().size(), before);
}

// ---- drawing ----

TEST_F(DriveBoxTest, EntryHeightFollowsTheFontButNeverDropsBelow18)
{
    DriveBox box;
    for (int pixels : {1, 6, 12, 16, 40}) {
        QFont font = box.font();
        font.setPixelSize(pixels);
        box.setFont(font);
        const int expected = std::max(18, QFontMetrics(font).height());
        EXPECT_EQ(box.ItemHeight(), expected) << pixels;
        EXPECT_GE(box.ItemHeight(), 18);
        EXPECT_EQ(box.view()->sizeHintForRow(0), expected) << pixels;
    }
}

TEST_F(DriveBoxTest, EntryShowsTheSmallIconAtLeftPlusTwoAndTheNameFrom22)
{
    DriveBox box;
    const int index = box.indexOf(u'P');
    const TItemInfo* info = box.ItemInfo(index);
    ASSERT_TRUE(info);
    ImageList* images = shctrls::SmallSystemImages();
    ASSERT_TRUE(images);
    ASSERT_FALSE(images->image(info->SmallIcon).isNull());

    const int height = box.ItemHeight() + 5;
    const QRect rect(10, 3, 300, height);
    QImage drawn(320, height + 6, QImage::Format_RGB32);
    drawn.fill(Qt::magenta);
    {
        QPainter painter(&drawn);
        box.DrawItem(painter, index, rect, false);
    }
    QImage expected(drawn.size(), QImage::Format_RGB32);
    expected.fill(Qt::magenta);
    {
        QPainter painter(&expected);
        painter.fillRect(rect, box.palette().base());
        images->draw(painter, info->SmallIcon, rect.left() + 2, rect.top() + (height - 16) / 2,
                     ImageList::DrawMode::Transparent);
    }
    QImage plain(drawn.size(), QImage::Format_RGB32);
    plain.fill(Qt::magenta);
    QPainter(&plain).fillRect(rect, box.palette().base());
    ASSERT_NE(expected, plain) << "the drive icon has no opaque pixel to look for";
    // Left of the text: exactly the filled entry and the icon.
    EXPECT_EQ(drawn.copy(0, 0, rect.left() + 22, drawn.height()), expected.copy(0, 0, rect.left() + 22, drawn.height()));
    // Outside the rectangle nothing is touched; inside, after 22, the name is drawn.
    EXPECT_EQ(drawn.copy(rect.right() + 1, 0, drawn.width() - rect.right() - 1, drawn.height()),
              expected.copy(rect.right() + 1, 0, drawn.width() - rect.right() - 1, drawn.height()));
    const QImage textArea = drawn.copy(rect.left() + 22, rect.top(), rect.width() - 22, rect.height());
    const QRgb base = box.palette().base().color().rgb();
    bool inked = false;
    for (int y = 0; y < textArea.height() && !inked; ++y)
        for (int x = 0; x < textArea.width() && !inked; ++x)
            inked = textArea.pixel(x, y) != base;
    EXPECT_TRUE(inked);
}

// ---- the list box base ----

TEST(ShellListBox, EntryHeightIsTheLargerOfMinimumAndFontAndFollowsTheIconType)
{
    test::ensureApp<QApplication>();
    ListBox list;
    QFont font = list.font();
    font.setPixelSize(8);
    list.setFont(font);
    EXPECT_EQ(list.ItemHeight(), std::max(18, QFontMetrics(font).height()));
    list.SetIconType(itLarge);
    EXPECT_EQ(list.ItemHeight(), 34);
    font.setPixelSize(50);
    list.setFont(font);
    EXPECT_EQ(list.ItemHeight(), QFontMetrics(font).height());
    EXPECT_GT(list.ItemHeight(), 34);
}

TEST(ShellListBox, AutoScrollTracksTheWidestEntryAndResets)
{
    test::ensureApp<QApplication>();
    ListBox list;
    list.resize(120, 100);
    list.show();
    list.addItem(QStringLiteral("short"));
    list.grab();
    EXPECT_EQ(list.WidestItem(), 0); // off: nothing is measured

    list.SetAutoScroll(true);
    list.grab();
    const int shortWidth = list.WidestItem();
    EXPECT_GT(shortWidth, 3 + 16 + 4);
    EXPECT_LE(shortWidth, list.width());
    EXPECT_EQ(list.HorizontalExtent(), 0); // fits: no extent

    list.addItem(QStringLiteral("a much longer entry that cannot fit in the box at all"));
    list.grab();
    EXPECT_GT(list.WidestItem(), list.width());
    EXPECT_EQ(list.HorizontalExtent(), list.WidestItem());
    for (int i = 0; i < 100 && list.horizontalScrollBar()->maximum() == 0; ++i)
        QCoreApplication::processEvents();
    EXPECT_GT(list.horizontalScrollBar()->maximum(), 0);

    list.clear();
    EXPECT_EQ(list.WidestItem(), 0);
    EXPECT_EQ(list.HorizontalExtent(), 0);

    list.addItem(QStringLiteral("a much longer entry that cannot fit in the box at all"));
    list.grab();
    ASSERT_GT(list.HorizontalExtent(), 0);
    list.SetAutoScroll(false);
    EXPECT_EQ(list.WidestItem(), 0);
    EXPECT_EQ(list.HorizontalExtent(), 0);
}
