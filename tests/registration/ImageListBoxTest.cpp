#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <memory>

#include "platform/ImageList.h"
#include "registration/ImageListBox.h"
#include "support/IconFixtures.h"
#include "support/QtApp.h"

using namespace qd;
using namespace qd::test;

namespace {


class ImageListBox : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp<QApplication>(); }

    // n opaque blue icons, each with a red pixel at its top-left corner.
    static void fill(ImageList& list, int n)
    {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(kBlue);
        img.setPixel(0, 0, kRed);
        for (int i = 0; i < n; ++i)
            list.addIcon(img);
    }

    static QImage shot(TCustomImageListBox& box)
    {
        QCoreApplication::processEvents();
        return box.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    static void click(QWidget* w, QPoint at, QEvent::Type type = QEvent::MouseButtonPress)
    {
        QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
        if (type == QEvent::MouseButtonPress) {
            QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(w, &up);
        }
    }
};

// Records the keys that reach it.
class KeyParent : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.append(e->key()); }
};

} // namespace

TEST_F(ImageListBox, StartsAsTheFormDescribes)
{
    TImageListBox box;
    EXPECT_EQ(box.Images(), nullptr);
    EXPECT_EQ(box.ColumnWidth(), 24);
    EXPECT_EQ(box.ItemHeight(), 20);
    EXPECT_TRUE(box.MultiColumn());
    EXPECT_FALSE(box.MultiSelect());
    EXPECT_TRUE(box.ExtendedSelect());
    EXPECT_FALSE(box.IntegralHeight());
    EXPECT_EQ(box.BorderStyle(), TCustomImageListBox::TBorderStyle::bsSingle);
    EXPECT_EQ(box.size(), QSize(121, 97));
    EXPECT_EQ(box.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(box.Count(), 0);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.selectionMode(), QAbstractItemView::SingleSelection);
    box.SetMultiSelect(true);
    EXPECT_EQ(box.selectionMode(), QAbstractItemView::ExtendedSelection);
    box.SetExtendedSelect(false);
    EXPECT_EQ(box.selectionMode(), QAbstractItemView::MultiSelection);
}

TEST_F(ImageListBox, CountFollowsTheAttachedList)
{
    TImageListBox box;
    auto list = std::make_unique<ImageList>();
    fill(*list, 3);
    box.SetImages(list.get());
    EXPECT_EQ(box.Count(), 3);
    fill(*list, 2);
    EXPECT_EQ(box.Count(), 5);

    // Growth keeps the selection; a cleared list has none.
    box.SetItemIndex(1);
    fill(*list, 1);
    EXPECT_EQ(box.ItemIndex(), 1);
    list->clear();
    EXPECT_EQ(box.Count(), 0);
    EXPECT_EQ(box.ItemIndex(), -1);

    // A list attached before no longer counts.
    ImageList other;
    fill(other, 7);
    box.SetImages(&other);
    EXPECT_EQ(box.Count(), 7);
    fill(*list, 4);
    EXPECT_EQ(box.Count(), 7);

    box.SetImages(list.get());
    EXPECT_EQ(box.Count(), 4);
    box.show();
    list.reset();
    EXPECT_EQ(box.Images(), nullptr);
    EXPECT_EQ(box.Count(), 0);
    shot(box); // paints without the list
    box.SetImages(nullptr);
    EXPECT_EQ(box.Count(), 0);
}

TEST_F(ImageListBox, CellSizesFallBackToTheImagesThenTheFont)
{
    TImageListBox box;
    const int font = box.fontMetrics().height();
    EXPECT_EQ(box.CellSize(), QSize(24, 20));
    box.SetColumnWidth(0);
    box.SetItemHeight(-5);
    EXPECT_EQ(box.ColumnWidth(), 0);
    EXPECT_EQ(box.ItemHeight(), 0);
    EXPECT_EQ(box.CellSize(), QSize(font, font));
    ImageList large(32);
    box.SetImages(&large);
    EXPECT_EQ(box.CellSize(), QSize(32, 32));
    box.SetColumnWidth(40);
    EXPECT_EQ(box.CellSize(), QSize(40, 32));
}

TEST_F(ImageListBox, LaysOutColumnsTopToBottomAndScrollsSideways)
{
    TImageListBox box;
    ImageList list;
    fill(list, 200);
    box.SetImages(&list);
    box.show();
    QCoreApplication::processEvents();
    const int perColumn = box.viewport()->height() / 20;
    ASSERT_GT(perColumn, 1);
    EXPECT_EQ(box.visualRect(box.model()->index(0, 0)), QRect(0, 0, 24, 20));
    EXPECT_EQ(box.visualRect(box.model()->index(1, 0)), QRect(0, 20, 24, 20));
    EXPECT_EQ(box.visualRect(box.model()->index(perColumn, 0)).topLeft(), QPoint(24, 0));
    EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(box.verticalScrollBar()->maximum(), 0);

    box.SetMultiColumn(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(box.visualRect(box.model()->index(perColumn, 0)).topLeft(), QPoint(0, 20 * perColumn));
}

TEST_F(ImageListBox, DrawsEachImageCentredInItsCell)
{
    TImageListBox box;
    box.SetColumnWidth(25);
    box.SetItemHeight(21);
    ImageList list;
    fill(list, 2);
    QImage holed = test::squareIcon(kBlue); // transparent border
    list.addIcon(holed);
    box.SetImages(&list);
    box.show();
    const QColor base = box.Color();

    QImage s = shot(box);
    // Cell 1 spans y 21..41: (0 + 25 - 16) / 2 = 4 and (21 + 42 - 16) / 2 = 23.
    EXPECT_EQ(s.pixel(4, 23), kRed);
    EXPECT_EQ(s.pixel(5, 23), kBlue);
    EXPECT_EQ(s.pixel(3, 23), base.rgb());
    EXPECT_EQ(s.pixel(4, 22), base.rgb());
    EXPECT_EQ(s.pixel(4, 2), kRed);
    // The icon's transparent border shows the box's colour, or the highlight when selected.
    EXPECT_EQ(s.pixel(4 + 1, 44 + 1), base.rgb());
    box.SetItemIndex(2);
    s = shot(box);
    EXPECT_EQ(s.pixel(4 + 1, 44 + 1), box.palette().color(QPalette::Highlight).rgb());
    EXPECT_EQ(s.pixel(4 + 8, 44 + 8), kBlue);

    // The item with the focus gets an outline; the others none.
    QApplication::setActiveWindow(&box);
    box.setFocus();
    ASSERT_TRUE(box.hasFocus());
    s = shot(box);
    int outlined = 0, plain = 0;
    for (int x = 0; x < 25; ++x) {
        outlined += s.pixel(x, 42) != box.palette().color(QPalette::Highlight).rgb();
        plain += s.pixel(x, 21) != base.rgb();
    }
    EXPECT_GT(outlined, 5);
    EXPECT_EQ(plain, 0);
}

TEST_F(ImageListBox, UserSelectionRaisesClickButSettingTheIndexDoesNot)
{
    TImageListBox box;
    ImageList list;
    fill(list, 6);
    box.SetImages(&list);
    box.show();
    QCoreApplication::processEvents();
    int clicks = 0, doubles = 0;
    QObject::connect(&box, &TImageListBox::OnClick, [&] { ++clicks; });
    QObject::connect(&box, &TImageListBox::OnDblClick, [&] { ++doubles; });

    box.SetItemIndex(2);
    EXPECT_EQ(box.ItemIndex(), 2);
    box.SetItemIndex(99);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(clicks, 0);

    click(box.viewport(), QPoint(12, 30));
    EXPECT_EQ(box.ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&box, &down);
    EXPECT_EQ(box.ItemIndex(), 2);
    EXPECT_EQ(clicks, 2);

    click(box.viewport(), QPoint(12, 30), QEvent::MouseButtonDblClick);
    EXPECT_EQ(doubles, 1);
}

TEST_F(ImageListBox, EnterGoesToTheParent)
{
    KeyParent parent;
    auto* box = new TImageListBox(&parent);
    ImageList list;
    fill(list, 3);
    box->SetImages(&list);
    box->SetItemIndex(0);
    int clicks = 0, activations = 0;
    QObject::connect(box, &TImageListBox::OnClick, [&] { ++clicks; });
    // The list box would otherwise take Enter as activating its current item.
    QObject::connect(box, &QAbstractItemView::activated, [&] { ++activations; });
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &e);
    }
    EXPECT_EQ(parent.keys, (QList<int>{Qt::Key_Return, Qt::Key_Enter}));
    EXPECT_EQ(box->ItemIndex(), 0);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(activations, 0);
}
