#include "NameOrder.h"

#include <QLocale>

namespace qd {
namespace {

QLocale collationLocale()
{
    QLocale locale = QLocale::system();
    // The C locale collates by code point, which would sort "Z" before "a" even
    // when case is to be ignored; a user without a locale gets a plain Latin order.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

} // namespace

NameOrder::NameOrder() : collator_(collationLocale())
{
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

} // namespace qd
