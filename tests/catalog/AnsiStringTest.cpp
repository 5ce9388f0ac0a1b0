#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "catalog/AnsiString.h"

using qd::AnsiString;

TEST(AnsiString, HoldsBytesOfEveryLengthAroundTheInlineLimit)
{
    for (std::size_t n : {0u, 1u, 14u, 15u, 16u, 17u, 255u, 70000u}) {
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = char(i * 7 + 1); // includes zero and high bytes
        AnsiString s(bytes);
        EXPECT_EQ(s.size(), n);
        EXPECT_EQ(s.view(), bytes) << "length " << n;
        EXPECT_EQ(s.empty(), n == 0);
    }
}

TEST(AnsiString, CopiesAndMovesKeepTheBytesAndLeaveTheSourceUsable)
{
    const std::string longText(40, 'x');
    AnsiString a(longText), b("short");
    AnsiString c = a; // heap copy
    EXPECT_EQ(c, a);
    EXPECT_NE(c.data(), a.data());
    AnsiString d = std::move(a);
    EXPECT_EQ(d.view(), longText);
    EXPECT_TRUE(a.empty());
    a = b; // reuse after move
    EXPECT_EQ(a.view(), "short");
    c = c; // self-assignment keeps the bytes
    EXPECT_EQ(c.view(), longText);
    b = std::string_view(longText);
    EXPECT_EQ(b.view(), longText);
    d = "x";
    EXPECT_EQ(d.view(), "x");
}

TEST(AnsiString, SurvivesVectorGrowthAndOrdersByBytes)
{
    std::vector<AnsiString> v;
    for (int i = 0; i < 100; ++i)
        v.emplace_back(std::string(std::size_t(i % 30), char('a' + i % 26)));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(v[std::size_t(i)].view(), std::string(std::size_t(i % 30), char('a' + i % 26)));
    EXPECT_LT(AnsiString("AB"), AnsiString("AC"));
    EXPECT_LT(AnsiString("A"), AnsiString(std::string(20, 'A')));
}
