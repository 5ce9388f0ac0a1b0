#pragma once

#include <QGuiApplication>

namespace qd {

// The busy cursor for the life of a scope: the hourglass for work that lets
// no events run, the arrow with hourglass (Background) for work that does.
class BusyCursor {
public:
    enum Kind { Wait, Background };
    explicit BusyCursor(Kind kind = Wait)
    {
        QGuiApplication::setOverrideCursor(kind == Wait ? Qt::WaitCursor : Qt::BusyCursor);
    }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace qd
