#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>

namespace qd {

// The lines a name takes under its icon in the large icon view, as a desktop
// file manager shows them: broken at a word boundary where there is one and
// anywhere else where there is not, at most maxLines lines of at most width
// pixels, the last one elided only when the name does not fit in them.
QStringList IconNameLines(const QString& name, const QFont& font, int width, int maxLines = 2);

// Draws the items of the large icon view: the icon centred at the top of the
// cell and the name below it in IconNameLines, highlighted when selected.
class LargeIconDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kNameLines = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    // The cell of one item for an icon of iconSize pixels and the view's font.
    static QSize cellSize(int iconSize, const QFont& font);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Draws the items of the small icon and list views on one line, each as wide as
// the view's grid cell and elided only at its edge, so that a long name never
// runs over the name beside it.
class GridLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace qd
