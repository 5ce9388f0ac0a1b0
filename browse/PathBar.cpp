#include "PathBar.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace qd {

TPathBar::TPathBar(QWidget* parent) : QLabel(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
    // A deep folder's path must neither widen the window nor keep it from shrinking.
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

QRect TPathBar::textRect() const
{
    // The indent a framed label gives its text.
    const int room = indent() >= 0 ? indent() : frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    return contentsRect().adjusted(margin() + room, margin(), -margin() - room, -margin());
}

QString TPathBar::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideLeft, textRect().width());
}

void TPathBar::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    style()->drawItemText(&painter, textRect(), int(alignment()), palette(), isEnabled(), shownText(), foregroundRole());
}

bool TPathBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        if (text().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace qd
