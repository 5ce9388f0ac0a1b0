#include "DateText.h"

#include <QDateTime>
#include <QFontMetrics>

#include "catalog/QdLib.h"

namespace qd {
namespace {

bool japaneseForms(const QLocale& locale)
{
    return locale.language() == QLocale::Japanese || locale.language() == QLocale::C;
}

QString timeFormatWithoutZone(const QLocale& locale)
{
    QString f = locale.timeFormat(QLocale::LongFormat);
    // Catalog times are local times without a zone: drop the zone field.
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

QString dateText(const QDate& date, bool shortened, const QLocale& locale)
{
    if (japaneseForms(locale))
        return date.toString(shortened ? QStringLiteral("yy/MM/dd") : QStringLiteral("yyyy/MM/dd"));
    return locale.toString(date, shortened ? QLocale::NarrowFormat : QLocale::ShortFormat);
}

QString timeText(const QTime& time, bool seconds, const QLocale& locale)
{
    if (japaneseForms(locale))
        return time.toString(seconds ? QStringLiteral("H:mm:ss") : QStringLiteral("H:mm"));
    return seconds ? locale.toString(time, timeFormatWithoutZone(locale)) : locale.toString(time, QLocale::ShortFormat);
}

} // namespace

QString DateTimeText(const QDate& date, const QTime& time, DateForm form, const QLocale& locale)
{
    if (!date.isValid())
        return {};
    const QString day = dateText(date, form == DateForm::ShortDate, locale);
    const bool midnight = time == QTime(0, 0);
    if (midnight || form == DateForm::Date || form == DateForm::ShortDate)
        return day;
    return day + QLatin1Char(' ') + timeText(time, form == DateForm::Seconds, locale);
}

QString DateTimeText(const QDateTime& local, DateForm form, const QLocale& locale)
{
    if (!local.isValid())
        return {};
    // Seconds only: the milliseconds would keep a time stamp off midnight.
    const QTime time = local.time();
    return DateTimeText(local.date(), QTime(time.hour(), time.minute(), time.second()), form, locale);
}

QString DateTimeText(double value, DateForm form, const QLocale& locale)
{
    if (value == 0)
        return {};
    const CivilTime t = DateTimeToCivil(value);
    return DateTimeText(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), form, locale);
}

QString DateTimeText(double value, const QLocale& locale)
{
    return DateTimeText(value, DateForm::Seconds, locale);
}

QStringList DateTimeForms(double value, const QLocale& locale)
{
    QStringList forms;
    for (DateForm form : {DateForm::Seconds, DateForm::Minutes, DateForm::Date, DateForm::ShortDate}) {
        const QString text = DateTimeText(value, form, locale);
        if (!text.isEmpty())
            forms << text;
    }
    forms.removeDuplicates();
    return forms;
}

int DateFormWidth(const QFontMetrics& metrics, DateForm form, const QLocale& locale)
{
    QChar widestDigit = QLatin1Char('0');
    for (char c = '1'; c <= '9'; ++c)
        if (metrics.horizontalAdvance(QLatin1Char(c)) > metrics.horizontalAdvance(widestDigit))
            widestDigit = QLatin1Char(c);
    int widest = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int hour : {10, 22}) {
            QString text = DateTimeText(QDate(2000, month, 28), QTime(hour, 58, 58), form, locale);
            for (QChar& c : text)
                if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                    c = widestDigit;
            widest = std::max(widest, metrics.horizontalAdvance(text));
        }
    }
    return widest;
}

DateForm FittingDateForm(const QFontMetrics& metrics, int room, const QLocale& locale)
{
    for (DateForm form : {DateForm::Seconds, DateForm::Minutes, DateForm::Date})
        if (DateFormWidth(metrics, form, locale) <= room)
            return form;
    return DateForm::ShortDate;
}

} // namespace qd
