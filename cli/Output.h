#pragma once

#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace qd::cli {

// One field of tab-separated output. Names on disk and in catalogs may hold
// tabs and new lines, which would forge columns and rows: a backslash, tab,
// carriage return and new line are written as \\, \t, \r and \n, any other
// control character as \xHH. Everything else is left as it is.
QString TsvField(const QString& text);

// The fields escaped and joined by tabs, with the new line that ends the row.
QString TsvRow(const QStringList& fields);

// One field of CSV as RFC 4180 has it: in quotes, its quotes doubled, when
// it holds a comma, a quote, a carriage return or a new line.
QString CsvField(const QString& text);

// The fields joined by commas, with the CR LF that ends the record.
QString CsvRow(const QStringList& fields);

// A catalog's date-time value (local time, no zone) in ISO 8601,
// "2001-02-03T04:05:06"; empty when unknown (0) or not a date of years 1 to
// 9999 (a damaged field).
QString IsoDateTime(double value);

// The same for JSON: null instead of empty.
nlohmann::ordered_json JsonDateTime(double value);

// Code page 932 bytes of a catalog as JSON text (UTF-8).
nlohmann::ordered_json JsonText(std::string_view cp932);

// One JSON object on a line of its own, without a new line inside it;
// text that is not UTF-8 is replaced rather than refused.
std::string JsonLine(const nlohmann::ordered_json& object);

// Writes text to standard output as UTF-8.
void Print(const QString& text);

} // namespace qd::cli
