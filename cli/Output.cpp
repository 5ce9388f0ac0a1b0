#include "Output.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "catalog/Cp932.h"
#include "catalog/QdLib.h"

namespace qd::cli {

namespace {

// A byte of UTF-8 that a TSV field keeps as it is.
bool plainInTsv(unsigned char c) { return c >= 0x20 && c != 0x7F && c != '\\'; }

// TsvField of UTF-8 text. The bytes of a character beyond ASCII are never
// below 0x80, so the escapes can be made byte by byte.
std::string TsvUtf8(std::string utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(), plainInTsv))
        return utf8;
    std::string out;
    out.reserve(utf8.size() + 8);
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default:
            if (plainInTsv(c)) {
                out += ch;
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            }
        }
    }
    return out;
}

// IsoDateTime as ASCII.
std::string isoDateTime(double value)
{
    // Days from 0001-01-01 to 9999-12-31 on the catalog's scale.
    if (value == 0 || !std::isfinite(value) || value < -693593 || value >= 2958466)
        return {};
    const CivilTime t = DateTimeToCivil(value);
    // "%04d-%02d-%02dT%02d:%02d:%02d", written digit by digit: a search's
    // JSON has three dates a hit, and printf's parsing of its format was
    // most of their cost.
    char text[] = "0000-00-00T00:00:00";
    const auto put = [&](std::size_t at, int width, int value) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            text[at + std::size_t(i)] = char('0' + value % 10);
    };
    put(0, 4, t.year);
    put(5, 2, t.month);
    put(8, 2, t.day);
    put(11, 2, t.hour);
    put(14, 2, t.minute);
    put(17, 2, t.second);
    return std::string(text, sizeof text - 1);
}

// Text that a JSON string holds as it is, in quotes.
bool plainInJson(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
}

std::string inQuotes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    return out.append(1, '"').append(text).append(1, '"');
}

} // namespace

QString TsvField(const QString& text) { return QString::fromStdString(TsvUtf8(text.toStdString())); }

std::string AnsiTsvField(std::string_view cp932)
{
    std::string field;
    AppendAnsiTsvField(field, cp932);
    return field;
}

void AppendAnsiTsvField(std::string& out, std::string_view cp932)
{
    // Printable ASCII without a backslash is its own field, in either code.
    if (std::all_of(cp932.begin(), cp932.end(), [](unsigned char c) { return c < 0x80 && plainInTsv(c); }))
        out.append(cp932);
    else
        out.append(TsvUtf8(cp932::toUtf8(cp932)));
}

QString TsvRow(const QStringList& fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString& f : fields)
        escaped << TsvField(f);
    return escaped.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

QString CsvField(const QString& text)
{
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            QString quoted = text;
            quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
            return u'"' + quoted + u'"';
        }
    }
    return text;
}

QString CsvRow(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << CsvField(f);
    return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
}

QString IsoDateTime(double value) { return QString::fromLatin1(isoDateTime(value)); }

nlohmann::ordered_json JsonDateTime(double value)
{
    std::string text = isoDateTime(value);
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(std::move(text));
}

std::string JsonDateTimeDump(double value)
{
    const std::string text = isoDateTime(value);
    return text.empty() ? std::string("null") : inQuotes(text);
}

std::string JsonStringDump(std::string_view utf8)
{
    return plainInJson(utf8) ? inQuotes(utf8) : JsonDump(std::string(utf8));
}

// Printable ASCII is the same bytes in code page 932 and UTF-8.
std::string JsonTextDump(std::string_view cp932)
{
    return plainInJson(cp932) ? inQuotes(cp932) : JsonDump(JsonText(cp932));
}

nlohmann::ordered_json JsonText(std::string_view cp932)
{
    return cp932::toUtf8(cp932);
}

std::string JsonDump(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void Print(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
}

void WritePiecesOnTwoThreads(std::size_t count, const std::function<void(std::size_t piece, std::string& text)>& make)
{
    std::mutex mutex;
    std::condition_variable turn;
    std::size_t written = 0;         // pieces out so far
    std::exception_ptr failed[2];    // per thread
    bool stopped = false;            // by a piece that failed
    const auto work = [&](std::size_t first) {
        std::string text;
        try {
            for (std::size_t piece = first; piece < count; piece += 2) {
                text.clear();
                make(piece, text);
                std::unique_lock lock(mutex);
                turn.wait(lock, [&] { return written == piece || stopped; });
                if (stopped)
                    return;
                std::fwrite(text.data(), 1, text.size(), stdout);
                ++written;
                turn.notify_all();
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            failed[first] = std::current_exception();
            stopped = true;
            turn.notify_all();
        }
    };
    if (count > 1) {
        std::thread other(work, 1);
        work(0);
        other.join();
    } else {
        work(0);
    }
    for (const std::exception_ptr& e : failed) {
        if (e)
            std::rethrow_exception(e);
    }
}

void Out::flush()
{
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
}

} // namespace qd::cli
