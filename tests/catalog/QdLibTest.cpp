#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <utility>

#include "catalog/QdLib.h"

using namespace qd;

namespace {
constexpr std::int64_t KB = 1024, MB = 1024 * KB, GB = 1024 * MB;
}

TEST(SizeToStr, WorkedValues)
{
    EXPECT_EQ(SizeToStr(0), "0 B");
    EXPECT_EQ(SizeToStr(999), "999 B");
    EXPECT_EQ(SizeToStr(1000), "0.97 KB");
    EXPECT_EQ(SizeToStr(1024), "1 KB");
    EXPECT_EQ(SizeToStr(1536), "1.5 KB");
    EXPECT_EQ(SizeToStr(100 * KB), "100 KB");
    EXPECT_EQ(SizeToStr(500 * KB), "0.48 MB");
    EXPECT_EQ(SizeToStr(MB), "1 MB");
    EXPECT_EQ(SizeToStr(650 * MB), "650 MB");
    EXPECT_EQ(SizeToStr(999 * MB + MB / 2), "1000 MB"); // the half rounds to the even 1000
    EXPECT_EQ(SizeToStr(1000 * MB), "0.97 GB");
    EXPECT_EQ(SizeToStr(GB), "1 GB");
}

TEST(SizeToStr, EveryThresholdFromBothSides)
{
    EXPECT_EQ(SizeToStr(100 * KB - 1), "99.9 KB");
    EXPECT_EQ(SizeToStr(500 * KB - 1), "499 KB");
    EXPECT_EQ(SizeToStr(100 * MB - 1), "99.9 MB");
    EXPECT_EQ(SizeToStr(100 * MB), "100 MB");
    EXPECT_EQ(SizeToStr(999 * MB + MB / 2 - 1), "999 MB");
    EXPECT_EQ(SizeToStr(1000 * MB - 1), "1000 MB");
    EXPECT_EQ(SizeToStr(102400 * MB - 1), "99.9 GB");
}

TEST(SizeToStr, NegativeAndVeryLargeCounts)
{
    EXPECT_EQ(SizeToStr(-5), "-5 B");
    // From 100 GB on: whole GB, halves to even.
    EXPECT_EQ(SizeToStr(100 * GB), "100 GB");
    EXPECT_EQ(SizeToStr(2048 * GB), "2048 GB");
    EXPECT_EQ(SizeToStr(100 * GB + GB / 2), "100 GB");
    EXPECT_EQ(SizeToStr(101 * GB + GB / 2), "102 GB");
    EXPECT_EQ(SizeToStr(INT64_MAX), "8589934592 GB");
}

TEST(CheckTitle, RefusesEachOfTheTwelveCharacters)
{
    for (char c : std::string_view("/|*<>\\,.\";:?")) {
        EXPECT_FALSE(CheckTitle(std::string("disk") + c + "1")) << c;
        EXPECT_FALSE(CheckTitle(std::string(1, c))) << c;
    }
    EXPECT_TRUE(CheckTitle(""));
    EXPECT_TRUE(CheckTitle("My Disk (2) - backup_1 [x] & 'y'"));
}

TEST(CheckTitle, JudgesWholeDoubleByteCharacters)
{
    // 表 = 95 5C and ソ = 83 5C end in the backslash byte, ポ = 83 7C in the bar byte.
    EXPECT_TRUE(CheckTitle("\x95\x5c\x83\x5c\x83\x7c"));
    EXPECT_TRUE(CheckTitle("ab\x83\x5c" "cd"));
    EXPECT_FALSE(CheckTitle("\x95\x5c" "."));
    // A half-width katakana is one byte and never a lead byte: the next byte counts on its own.
    EXPECT_FALSE(CheckTitle("\xb1\\"));
}

TEST(CheckTitle, ABackslashTrailByteBelongsToACharacterOnlyAfterALeadByte)
{
    // Lead bytes are 0x81-0x9F and 0xE0-0xFC: 9F 5C is 歃, E0 5C is 濬. Outside
    // those ranges the byte stands alone and the 0x5C after it is a backslash.
    const std::pair<std::string_view, bool> cases[] = {
        {"\x81\x5c", true},  {"\x9f\x5c", true},  {"\xe0\x5c", true},  {"\xfc\x5c", true},
        {"\x80\x5c", false}, {"\xa0\x5c", false}, {"\xdf\x5c", false}, {"\xfd\x5c", false},
    };
    for (auto [title, accepted] : cases)
        EXPECT_EQ(CheckTitle(title), accepted) << std::hex << int((unsigned char)title[0]);
}

TEST(TimeConversion, DosPrecisionAndRange)
{
    const std::int64_t offset = 0;
    // 2001-02-03 04:05:07.9 UTC: the odd second and the fraction are dropped.
    const FileTime t = UnixToFileTime(981173107, 900'000'000);
    EXPECT_EQ(FileTimeToDateTime(t, offset), CivilToDateTime({2001, 2, 3, 4, 5, 6}));
    EXPECT_EQ(CivilToDateTime({2000, 1, 1, 0, 0, 0}), 36526.0);
    EXPECT_EQ(CivilToDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);

    EXPECT_EQ(FileTimeToDateTime(0, offset), 0.0);                          // unknown
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(315532799, 0), offset), 0.0); // 1979-12-31 23:59:59
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(315532800, 0), offset), CivilToDateTime({1980, 1, 1, 0, 0, 0}));
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(4354819199, 0), offset), CivilToDateTime({2107, 12, 31, 23, 59, 58}));
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(4354819200, 0), offset), 0.0); // 2108
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(-86400, 0), offset), 0.0);
}

TEST(TimeConversion, AppliesTheGivenOffsetAcrossDayAndRangeEdges)
{
    // 2001-02-03 20:00:00 UTC at +9 hours is the next day, 05:00 local.
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(981230400, 0), 9 * 3600), CivilToDateTime({2001, 2, 4, 5, 0, 0}));
    // 1980-01-01 03:00 UTC at -5 hours falls before the DOS range.
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(315543600, 0), -5 * 3600), 0.0);
    EXPECT_EQ(FileTimeToDateTime(UnixToFileTime(315543600, 0), 0), CivilToDateTime({1980, 1, 1, 3, 0, 0}));
}

TEST(TimeConversion, CivilPartsRoundTrip)
{
    for (CivilTime t : {CivilTime{1980, 1, 1, 0, 0, 0}, CivilTime{2000, 2, 29, 23, 59, 58}, CivilTime{2024, 12, 31, 12, 34, 56},
                        CivilTime{2107, 12, 31, 23, 59, 58}}) {
        const CivilTime back = DateTimeToCivil(CivilToDateTime(t));
        EXPECT_EQ(back.year, t.year);
        EXPECT_EQ(back.month, t.month);
        EXPECT_EQ(back.day, t.day);
        EXPECT_EQ(back.hour, t.hour);
        EXPECT_EQ(back.minute, t.minute);
        EXPECT_EQ(back.second, t.second);
    }
}
