#include "Output.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "catalog/Cp932.h"
#include "catalog/QdLib.h"
#include "platform/Text.h"

namespace qd::cli {

QString TsvField(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

std::string AnsiTsvField(std::string_view cp932)
{
    if (std::all_of(cp932.begin(), cp932.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }))
        return std::string(cp932);
    return TsvField(fromAnsi(cp932)).toStdString();
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

QString IsoDateTime(double value)
{
    // Days from 0001-01-01 to 9999-12-31 on the catalog's scale.
    if (value == 0 || !std::isfinite(value) || value < -693593 || value >= 2958466)
        return {};
    const CivilTime t = DateTimeToCivil(value);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

nlohmann::ordered_json JsonDateTime(double value)
{
    const QString text = IsoDateTime(value);
    return text.isEmpty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text.toStdString());
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

void Out::flush()
{
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
}

} // namespace qd::cli
