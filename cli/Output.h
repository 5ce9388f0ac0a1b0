#pragma once

#include <QString>
#include <QStringList>

namespace qd::cli {

// One field of tab-separated output. Names on disk and in catalogs may hold
// tabs and new lines, which would forge columns and rows: a backslash, tab,
// carriage return and new line are written as \\, \t, \r and \n, any other
// control character as \xHH. Everything else is left as it is.
QString TsvField(const QString& text);

// The fields escaped and joined by tabs, with the new line that ends the row.
QString TsvRow(const QStringList& fields);

} // namespace qd::cli
