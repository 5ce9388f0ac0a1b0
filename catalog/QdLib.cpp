#include "QdLib.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "Cp932.h"

namespace qd {

const char* const kTitleRefusedMessage =
    "タイトルには次の文字が使用できません。\r\n/ | * < > \\ , . \" ; : ?";

namespace {

// The shortest general decimal form with up to 15 significant digits.
std::string doubleText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string cut(double v, std::size_t chars, const char* unit)
{
    return doubleText(v).substr(0, chars) + unit;
}

std::string rounded(double v, const char* unit)
{
    return doubleText(std::nearbyint(v)) + unit; // the default rounding mode sends halves to even
}

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000; // 1970-01-01 in ticks since 1601
constexpr std::int64_t kDaysFrom1970To18991230 = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(std::int64_t(yoe) + era * 400 + (m <= 2));
}

} // namespace

std::string SizeToStr(std::int64_t v)
{
    if (v < 1000)
        return std::to_string(v) + " B";
    const double k = double(v) / 1024;
    if (k < 100)
        return cut(k, 4, " KB");
    if (k < 500)
        return cut(k, 3, " KB");
    const double m = k / 1024;
    if (m < 100)
        return cut(m, 4, " MB");
    if (m < 1000)
        return rounded(m, " MB");
    const double g = m / 1024;
    if (g < 100)
        return cut(g, 4, " GB");
    return rounded(g, " GB");
}

bool CheckTitle(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = (unsigned char)s[i];
        if (cp932::isLeadByte(b)) {
            ++i; // the trail byte belongs to this character
            continue;
        }
        if (kRefusedTitleChars.find(char(b)) != std::string_view::npos)
            return false;
    }
    return true;
}

std::int64_t LocalUtcOffsetNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

DateTime LocalNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    const std::int64_t days = daysFromCivil(local.tm_year + 1900, unsigned(local.tm_mon + 1), unsigned(local.tm_mday));
    const double ms = local.tm_hour * 3600000.0 + local.tm_min * 60000.0 + local.tm_sec * 1000.0 +
                      double(ts.tv_nsec / 1000000);
    return double(days - kDaysFrom1970To18991230) + ms / 86400000.0;
}

FileTime UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds)
{
    return kUnixEpochTicks + seconds * kTicksPerSecond + nanoseconds / 100;
}

DateTime FileTimeToDateTime(FileTime utc, std::int64_t utcOffset)
{
    if (utc <= 0)
        return 0;
    const std::int64_t local = utc / kTicksPerSecond + utcOffset - kUnixEpochTicks / kTicksPerSecond;
    std::int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const std::int64_t secs = local - days * 86400;
    int y, m, d;
    civilFromDays(days, y, m, d);
    if (y < 1980 || y > 2107)
        return 0;
    return CivilToDateTime({y, m, d, int(secs / 3600), int(secs / 60 % 60), int(secs % 60 / 2 * 2)});
}

DateTime CivilToDateTime(const CivilTime& t)
{
    const std::int64_t days = daysFromCivil(t.year, unsigned(t.month), unsigned(t.day)) - kDaysFrom1970To18991230;
    const double ms = t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0;
    return double(days) + ms / 86400000.0;
}

CivilTime DateTimeToCivil(DateTime value)
{
    double whole = std::floor(value);
    std::int64_t ms = std::llround((value - whole) * 86400000.0);
    std::int64_t days = std::int64_t(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    CivilTime t{};
    civilFromDays(days + kDaysFrom1970To18991230, t.year, t.month, t.day);
    const std::int64_t s = ms / 1000;
    t.hour = int(s / 3600);
    t.minute = int(s / 60 % 60);
    t.second = int(s % 60);
    return t;
}

} // namespace qd
