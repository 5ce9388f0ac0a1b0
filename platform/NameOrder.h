#pragma once

#include <QCollator>
#include <QString>

namespace qd {

// The order of names everywhere a list of a catalog is sorted: the user's
// locale, ignoring case. One comparison for the rows of the contents view and
// for every lookup that relies on their order.
class NameOrder {
public:
    NameOrder();
    int compare(const QString& a, const QString& b) const { return collator_.compare(a, b); }
    bool operator()(const QString& a, const QString& b) const { return compare(a, b) < 0; }
    // A key whose comparison gives the same order, for sorting many names.
    QCollatorSortKey key(const QString& s) const { return collator_.sortKey(s); }

private:
    QCollator collator_;
};

} // namespace qd
