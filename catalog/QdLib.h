#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qd {

// A date-time value: days since 1899-12-30 00:00, the fraction being the time of
// day, in local time. 0 means unknown.
using DateTime = double;

// A file time as the file system gives it: 100-nanosecond ticks since
// 1601-01-01 00:00 UTC. 0 means unknown.
using FileTime = std::int64_t;

// The size text of a byte count: "999 B", "0.97 KB", "650 MB", "1 GB" ...
// From 100 GB on, a whole number of GB ("2048 GB").
std::string SizeToStr(std::int64_t bytes);

// The twelve characters a title may not hold, and the message that names them.
inline constexpr std::string_view kRefusedTitleChars = "/|*<>\\,.\";:?";
extern const char* const kTitleRefusedMessage; // UTF-8, two lines joined by CR LF

// True when the code page 932 text holds none of the refused characters. Works
// on whole characters: the second byte of a double-byte character is never
// taken for one of them. The empty text is accepted.
bool CheckTitle(std::string_view cp932);

// The local time zone's offset from UTC now, in seconds. File times are turned
// into local time with the offset in force now, not the one at that date.
std::int64_t LocalUtcOffsetNow();

// The current local date and time.
DateTime LocalNow();

// A file time, shifted by utcOffset, at DOS precision (two seconds, years
// 1980-2107) as a date-time value; 0 when unknown or outside that range.
DateTime FileTimeToDateTime(FileTime utc, std::int64_t utcOffset);

// Unix time (seconds and nanoseconds since 1970 UTC) as a file time.
FileTime UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds);

// Calendar parts of a date-time value, for display.
struct CivilTime {
    int year, month, day, hour, minute, second;
};
CivilTime DateTimeToCivil(DateTime value);
DateTime CivilToDateTime(const CivilTime& t);

} // namespace qd
