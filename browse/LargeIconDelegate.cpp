#include "LargeIconDelegate.h"

#include <QListView>

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

namespace qd {
namespace {

constexpr int kCellWidth = 75; // the large icon spacing of the list
constexpr int kPad = 2;        // around the icon and the name

} // namespace

QStringList IconNameLines(const QString& name, const QFont& font, int width, int maxLines)
{
    QStringList lines;
    if (name.isEmpty() || maxLines < 1)
        return lines;
    const QFontMetrics metrics(font);
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int n = 0; n < maxLines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const int start = line.textStart();
        const int end = start + line.textLength();
        if (n == maxLines - 1 && end < name.size()) {
            // The rest does not fit: the last line takes what it can of it.
            lines << metrics.elidedText(name.mid(start), Qt::ElideRight, width);
            break;
        }
        QString text = name.mid(start, end - start);
        if (end < name.size()) { // a break at a blank leaves the blank at the end of the line
            while (!text.isEmpty() && text.back().isSpace())
                text.chop(1);
        }
        lines << text;
    }
    layout.endLayout();
    return lines;
}

QSize LargeIconDelegate::cellSize(int iconSize, const QFont& font)
{
    return {kCellWidth, kPad + iconSize + kPad + kNameLines * QFontMetrics(font).lineSpacing() + kPad};
}

QSize LargeIconDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return cellSize(option.decorationSize.height(), option.font);
}

void LargeIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const bool selected = opt.state & QStyle::State_Selected;
    const bool active = opt.state & QStyle::State_Active;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : active                           ? QPalette::Normal
                                                                          : QPalette::Inactive;

    const QRect cell = opt.rect;
    const QSize icon = opt.decorationSize;
    const QRect iconRect(cell.left() + (cell.width() - icon.width()) / 2, cell.top() + kPad, icon.width(),
                         icon.height());
    opt.icon.paint(painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);

    const int textWidth = cell.width() - 2 * kPad;
    const QStringList lines = IconNameLines(opt.text, opt.font, textWidth, kNameLines);
    const QFontMetrics metrics(opt.font);
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    widest = std::min(widest, textWidth);
    const QRect textRect(cell.left() + (cell.width() - widest) / 2, iconRect.bottom() + 1 + kPad, widest,
                         int(lines.size()) * metrics.lineSpacing());

    painter->save();
    painter->setFont(opt.font);
    if (selected) {
        painter->fillRect(textRect.adjusted(-1, 0, 1, 0), opt.palette.brush(group, QPalette::Highlight));
        painter->setPen(opt.palette.color(group, QPalette::HighlightedText));
    } else {
        painter->setPen(opt.palette.color(group, QPalette::Text));
    }
    QRect lineRect(cell.left() + kPad, textRect.top(), textWidth, metrics.lineSpacing());
    for (const QString& line : lines) {
        painter->drawText(lineRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, line);
        lineRect.translate(0, metrics.lineSpacing());
    }
    painter->restore();

    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = textRect.adjusted(-1, 0, 1, 0);
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = opt.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize GridLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // The cell's width less the view's spacing, for every item alike: the view
    // takes one item's size for all, and each name is drawn, and elided only
    // beyond it, within the whole cell.
    if (const auto* view = qobject_cast<const QListView*>(option.widget); view && view->gridSize().isValid())
        size.setWidth(view->gridSize().width() - 2 * view->spacing() - 2);
    return size;
}

} // namespace qd
