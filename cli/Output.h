#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "catalog/TextBlock.h"

namespace qd::cli {

// One field of tab-separated output. Names on disk and in catalogs may hold
// tabs and new lines, which would forge columns and rows: a backslash, tab,
// carriage return and new line are written as \\, \t, \r and \n, any other
// control character as \xHH. Everything else is left as it is.
QString TsvField(const QString& text);

// The same of code page 932 bytes of a catalog, in UTF-8. Most names are
// ASCII, which is not decoded, and need no escape, which copies nothing more.
std::string AnsiTsvField(std::string_view cp932);
// The same appended to out, which a listing reuses from line to line.
void AppendAnsiTsvField(std::string& out, std::string_view cp932);

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

// A value as compact JSON, without a new line inside it; text that is not
// UTF-8 is replaced rather than refused.
std::string JsonDump(const nlohmann::ordered_json& value);

// The dumps of a UTF-8 text, of JsonText and of JsonDateTime, the same bytes
// as JsonDump gives of them, for output of many lines: a text of printable
// ASCII without quote or backslash, as most names are, is only quoted, and
// a date is formatted without a JSON value.
std::string JsonStringDump(std::string_view utf8);
std::string JsonTextDump(std::string_view cp932);
std::string JsonDateTimeDump(double value);

// Each of texts (a container of code page 932 texts, such as folder paths)
// as convert (AnsiTsvField, JsonTextDump) makes it, in one block: made once
// however many lines show it.
template <typename Texts, typename Convert> TextBlock ConvertedTexts(const Texts& texts, Convert convert)
{
    TextBlock block;
    block.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        block.push_back(convert(texts[i]));
    return block;
}

// Writes text to standard output as UTF-8.
void Print(const QString& text);

// Writes pieces 0 to count - 1 of a long output to standard output in turn,
// each made by make(piece, text) into an empty text: on this thread and one
// more at once, each piece written as soon as the one before it is, for
// output that costs more to make than to write. What make throws is thrown
// here once both threads have stopped.
void WritePiecesOnTwoThreads(std::size_t count, const std::function<void(std::size_t piece, std::string& text)>& make);

// Standard output through a buffer of its own, written out in large pieces,
// so that long output (a catalog printed whole, the hits of a search) is
// never held whole as text.
class Out {
public:
    ~Out() { flush(); }
    // Text as it is (UTF-8).
    Out& text(std::string_view s)
    {
        buffer_ += s;
        if (buffer_.size() >= kChunk)
            flush();
        return *this;
    }
    // Text as UTF-8.
    Out& print(const QString& s)
    {
        const QByteArray bytes = s.toUtf8();
        return text(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    // A value as JSON (JsonDump): doubles with enough digits to read back exactly.
    Out& json(const nlohmann::ordered_json& value) { return text(JsonDump(value)); }
    // One JSON object on a line of its own.
    Out& jsonLine(const nlohmann::ordered_json& object) { return json(object).text("\n"); }
    void flush();

private:
    static constexpr std::size_t kChunk = 1 << 16;
    std::string buffer_;
};

} // namespace qd::cli
