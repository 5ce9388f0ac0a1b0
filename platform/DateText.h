#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

class QDateTime;
class QFontMetrics;

namespace qd {

// How dates and times read in the windows: the locale's short date and long
// time (without a time zone). Japanese, and no locale (C), read
// "2001/02/03 13:04:06", as a Japanese desktop shows them, not Qt's
// "13時04分06秒". The contents list, its columns and the properties window
// all take their dates from here.

// The forms of one value, longest first: date and time, without seconds, the
// date alone, a short date ("01/02/03" in Japanese).
enum class DateForm { Seconds, Minutes, Date, ShortDate };

// A local date and time in the form asked for; a time of exactly midnight is
// left out, whatever the form. Empty for an invalid date.
QString DateTimeText(const QDate& date, const QTime& time, DateForm form, const QLocale& locale = QLocale());
// The same for a local time stamp of the file system; empty when invalid.
QString DateTimeText(const QDateTime& local, DateForm form = DateForm::Seconds, const QLocale& locale = QLocale());
// A catalog's date-time value (days since 1899-12-30, local time); empty for 0.
QString DateTimeText(double value, DateForm form, const QLocale& locale = QLocale());
QString DateTimeText(double value, const QLocale& locale = QLocale());

// Every form of a value, longest first, without repeats. Empty for 0.
QStringList DateTimeForms(double value, const QLocale& locale = QLocale());

// The width no value's text in form exceeds with metrics: the widest of the
// form's longest values (every month, a two-digit hour before and after noon),
// each digit counted as the font's widest digit.
int DateFormWidth(const QFontMetrics& metrics, DateForm form, const QLocale& locale = QLocale());
// The longest form whose every value fits room pixels; the short date when none does.
DateForm FittingDateForm(const QFontMetrics& metrics, int room, const QLocale& locale = QLocale());

} // namespace qd
