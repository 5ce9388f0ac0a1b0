#include <gtest/gtest.h>

#include <utility>

#include "catalog/Cp932.h"

namespace cp = qd::cp932;

TEST(Cp932, UsesTheMicrosoftMappingForBackslashAndTilde)
{
    EXPECT_EQ(cp::toUtf8("a\\b~c"), "a\\b~c");
    EXPECT_EQ(cp::fromUtf8("a\\b~c").bytes, "a\\b~c");
    // The full-width forms that the JIS mapping would use map to their own double-byte codes.
    EXPECT_EQ(cp::fromUtf8("＼").bytes, "\x81\x5F");
    EXPECT_EQ(cp::fromUtf8("～").bytes, "\x81\x60");
}

TEST(Cp932, RoundTripsJapaneseText)
{
    const std::string utf8 = "写真フォルダ／ﾃｽﾄ①";
    const auto enc = cp::fromUtf8(utf8);
    EXPECT_EQ(enc.substituted, 0u);
    EXPECT_EQ(enc.bytes, "\x8e\xca\x90\x5e\x83\x74\x83\x48\x83\x8b\x83\x5f\x81\x5e\xc3\xbd\xc4\x87\x40");
    EXPECT_EQ(cp::toUtf8(enc.bytes), utf8);
}

TEST(Cp932, CharactersWithoutAFormBecomeTheSubstituteAndAreCounted)
{
    const auto enc = cp::fromUtf8("café 😀 ok");
    EXPECT_EQ(enc.bytes, "caf? ? ok");
    EXPECT_EQ(enc.substituted, 2u);
    EXPECT_EQ(cp::fromUtf8("é", '_').bytes, "_");
    // Malformed UTF-8 is substituted too, never passed through.
    EXPECT_EQ(cp::fromUtf8("a\xff" "b").bytes, "a?b");
}

TEST(Cp932, BytesThatDoNotDecodeStillDisplayAndRoundTrip)
{
    for (std::string raw : {std::string("\x80"), std::string("\xa0"), std::string("\xfd"), std::string("\xfe"),
                            std::string("\xff"), std::string("x\x81"), std::string("\x81 y"),
                            std::string("\x82\xa0\xfd\x82\xa0")}) {
        const std::string shown = cp::toUtf8(raw);
        EXPECT_FALSE(shown.empty());
        const auto back = cp::fromUtf8(shown);
        EXPECT_EQ(back.bytes, raw);
        EXPECT_EQ(back.substituted, 0u);
    }
    // A refused byte shows as one private-use character, the rest decodes normally.
    EXPECT_EQ(cp::toUtf8("\x81 y"), "\xEF\x9E\x81 y");
}

TEST(Cp932, LeadBytesAre81To9FAndE0ToFC)
{
    const std::pair<unsigned char, bool> cases[] = {
        {0x7F, false}, {0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
        {0xDF, false}, {0xE0, true},  {0xFC, true}, {0xFD, false}, {0xFF, false},
    };
    for (auto [byte, lead] : cases)
        EXPECT_EQ(cp::isLeadByte(byte), lead) << std::hex << int(byte);
}

TEST(Cp932, CutsOnlyOnCharacterBoundaries)
{
    const std::string s = "ab\x95\x5c" "c"; // a, b, one double-byte character, c
    EXPECT_EQ(cp::cutToBytes(s, 10), s);
    EXPECT_EQ(cp::cutToBytes(s, 4), "ab\x95\x5c");
    EXPECT_EQ(cp::cutToBytes(s, 3), "ab");
    EXPECT_EQ(cp::cutToBytes(s, 0), "");
}
