#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QStandardItemModel>

#include "browse/LargeIconDelegate.h"
#include "support/QtApp.h"

using namespace qd;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

constexpr int kWidth = 71; // a large icon cell less its padding

class IconNameLinesTest : public ::testing::Test {
protected:
    bool app = (qd::test::ensureApp<QApplication>(), true); // before the font is asked for
    QFont font = QApplication::font();
    QFontMetrics metrics{font};
    int width(const QString& s) const { return metrics.horizontalAdvance(s); }
};

} // namespace

// A name with no blank used to be cut to its first letters on one line. Each
// case: how many lines, and whether the last one is elided; every line fits,
// and the lines give the name back (less the blank a break took) up to any
// ellipsis.
TEST_F(IconNameLinesTest, NamesBreakAtABlankOrAnywhereOverTwoLinesElidedOnlyBeyond)
{
    const struct {
        const char* name;
        int lines;
        bool elided;
    } cases[] = {
        {"short.txt", 1, false},
        {"写真", 1, false},
        {"level-one-folder", 2, false},
        {"DSC_0001 copy.JPG", 2, false},
        {"application_settings_backup_of_the_old_machine.txt", 2, true},
        {"a rather long name with words.txt", 2, true},
        {"とても長い日本語のファイル名のテスト文書.txt", 2, true},
    };
    for (const auto& c : cases) {
        const QString name = u(c.name);
        const QStringList lines = IconNameLines(name, font, kWidth);
        ASSERT_EQ(lines.size(), c.lines) << c.name;
        EXPECT_EQ(lines.last().endsWith(u("…")), c.elided) << c.name;
        for (const QString& line : lines)
            EXPECT_LE(width(line), kWidth) << c.name;
        QString shown = lines.join(QString()).remove(' ');
        if (c.elided)
            shown.chop(1);
        EXPECT_TRUE(QString(name).remove(' ').startsWith(shown)) << c.name;
        EXPECT_FALSE(lines[0].endsWith(' ')) << c.name;
        if (!name.contains(' ') && !name.contains('-') && lines.size() > 1) { // broken anywhere: all that fits
            EXPECT_GT(width(name.left(lines[0].size() + 1)), kWidth) << c.name;
        }
    }
    const QString words = "a rather long name with words.txt";
    EXPECT_TRUE(words.startsWith(IconNameLines(words, font, kWidth)[0] + ' ')) << "broken at a blank";
    EXPECT_TRUE(IconNameLines(QString(), font, kWidth).isEmpty());
    EXPECT_EQ(IconNameLines("abcdefghijklmnopqrstuvwxyz", font, kWidth, 1).size(), 1);
}

// The delegate draws both lines: ink in the band of each line under the icon.
TEST_F(IconNameLinesTest, TheDelegatePaintsTheNameOverTwoLines)
{
    QListView view;
    QStandardItemModel model;
    model.appendRow(new QStandardItem("application_settings_backup_of_the_old_machine.txt"));
    view.setModel(&model);
    view.setIconSize(QSize(32, 32));
    LargeIconDelegate delegate;
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.widget = &view;
    option.font = view.font();
    option.decorationSize = QSize(32, 32);
    const QSize cell = delegate.sizeHint(option, model.index(0, 0));
    EXPECT_EQ(cell, LargeIconDelegate::cellSize(32, view.font()));
    option.rect = QRect(QPoint(0, 0), cell);
    QImage image(cell, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0, 0));
    painter.end();

    const int line = QFontMetrics(view.font()).lineSpacing();
    const int textTop = 2 + 32 + 2;
    auto inked = [&](int top, int bottom) {
        for (int y = top; y < bottom && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    return true;
        return false;
    };
    EXPECT_TRUE(inked(textTop, textTop + line)) << "first line";
    EXPECT_TRUE(inked(textTop + line, textTop + 2 * line)) << "second line";
}
