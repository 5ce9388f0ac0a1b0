#include <gtest/gtest.h>

#include <random>
#include <string>

#include "browse/NameMatch.h"
#include "catalog/Cp932.h"
#include "platform/Text.h"

using namespace qd;

namespace {

std::string sjis(const char* utf8) { return cp932::fromUtf8(utf8).bytes; }

QString form(Cp932Names::Form f, std::string_view name)
{
    std::u16string out;
    Cp932Names::get(f).append(name, out);
    return QString(reinterpret_cast<const QChar*>(out.data()), qsizetype(out.size()));
}

// Names of random bytes, most of them characters of every kind the code page
// has (ASCII, half-width kana with their sound marks, full-width letters,
// symbols, kanji, the NEC and IBM rows), some of them broken.
std::vector<std::string> randomNames(unsigned seed)
{
    std::mt19937 random(seed);
    auto pick = [&](int lo, int hi) { return char(std::uniform_int_distribution<int>(lo, hi)(random)); };
    const char* const leads = "\x81\x82\x83\x84\x87\x88\x8e\x98\x9f\xe0\xea\xed\xee\xfa\xfb\xfc";
    std::vector<std::string> names;
    for (int n = 0; n < 20000; ++n) {
        std::string name;
        const int length = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < length; ++i) {
            switch (std::uniform_int_distribution<int>(0, 9)(random)) {
            case 0: case 1: name += pick(0x20, 0x7E); break;
            case 2: name += pick(char(0xA1), char(0xDF)); break; // half-width kana
            case 3: name += char(0xDE + (random() & 1)); break;  // ﾞ ﾟ after anything
            case 4: name += pick(0, 0xFF); break;                 // any byte, broken pairs too
            default:
                name += leads[random() % 16];
                name += pick(0x40, 0xFC);
            }
        }
        names.push_back(std::move(name));
    }
    return names;
}

} // namespace

// The tables must give what the codec and Qt give for the whole name.
TEST(Cp932Names, DecodeAsTheCodecAndFoldAsQtFoldsTheWholeName)
{
    int composed = 0;
    for (const std::string& name : randomNames(20240501)) {
        const QString decoded = fromAnsi(name);
        ASSERT_EQ(form(Cp932Names::Decoded, name), decoded) << name;
        const QString folded = form(Cp932Names::Folded, name);
        ASSERT_EQ(folded, FoldForSearch(decoded)) << name;
        composed += folded.size() < decoded.size();
    }
    EXPECT_GT(composed, 100) << "sound marks composed with the kana before them";
    EXPECT_EQ(form(Cp932Names::Folded, sjis("ｶﾞｲﾄﾞＲＥＰＯＲＴ㍻")), QString::fromUtf8("ガイドreport平成"));
}

TEST(FoldedTextTest, IgnoresCaseAndWidth)
{
    const struct {
        const char* text;
        const char* name; // UTF-8, stored as code page 932
        bool match;
    } cases[] = {
        {"report", "ＲＥＰＯＲＴ.DOC", true},
        {"report", "My Report.doc", true},
        {"REPORT", "report.txt", true},
        {"ＲＥＰＯＲＴ", "report.txt", true},
        {"report", "rep.doc", false},
        {"report", "写真ｒｅｐｏｒｔ.jpg", true},
        {"ガイド", "ｶﾞｲﾄﾞ.pdf", true},
        {"ｶﾞｲﾄﾞ", "ガイド.pdf", true},
        {"カイト", "ガイド.pdf", false}, // a sound mark is no case
        {"がいど", "ガイド.pdf", false}, // nor is hiragana and katakana
        {"mm", "10㎜.txt", true},
        {"", "anything", false},
    };
    for (const auto& c : cases) {
        FoldedTextTest test(QString::fromUtf8(c.text));
        const std::string name = sjis(c.name);
        EXPECT_EQ(test.passes({name}), c.match) << c.text << " / " << c.name;
    }
}

// The look at a name's bytes that spares most names their folding (and the
// quicker look of a set with few members) must never pass over one whose
// folded form holds the text: against folding the
// whole name, for texts that begin with each kind of character (a letter in
// either width, a kana that a sound mark makes, the mark alone, what a
// compatibility character folds to, a backslash, punctuation).
TEST(FoldedTextTest, FindsWhatFoldingTheWholeNameFinds)
{
    std::vector<std::string> names = randomNames(19);
    // And ASCII names as long as those, which the look reads a word at a time.
    std::mt19937 random(23);
    for (int n = 0; n < 5000; ++n) {
        std::string name(std::uniform_int_distribution<std::size_t>(0, 24)(random), ' ');
        for (char& c : name)
            c = char(std::uniform_int_distribution<int>(0x20, 0x7E)(random));
        names.push_back(std::move(name));
    }
    for (const char* text : {"n", "Ｎ", "ガ", "ｶﾞ", "ﾞ", "1", "平成", ".", "あ", "ー", "~", "\\"}) {
        FoldedTextTest test(QString::fromUtf8(text));
        const QString folded = FoldForSearch(QString::fromUtf8(text));
        int found = 0;
        for (const std::string& name : names) {
            const bool holds = FoldForSearch(fromAnsi(name)).contains(folded);
            // As the search asks: the bytes' look first, then the test.
            ASSERT_EQ(test.required()->inName(name) && test.passes({name}), holds) << text << " / " << name;
            found += holds;
        }
        EXPECT_GT(found, 0) << text;
    }
}

TEST(GlobTest, MatchesTheWholeNameExactlyOrCaseBlind)
{
    const struct {
        const char* pattern;
        bool caseBlind;
        const char* name;
        bool match;
    } cases[] = {
        {"*.jpg", false, "a.jpg", true},
        {"*.jpg", false, "a.jpg.txt", false},
        {"report", false, "report.doc", false}, // the whole name, not a part
        {"report*", false, "report.doc", true},
        {"*port*", false, "report.doc", true},
        {"a?c", false, "abc", true},
        {"a?c", false, "abbc", false},
        {"a?c", false, "ac", false},
        {"?.txt", false, "写.txt", true}, // one character, two bytes
        {"*", false, "", true},
        {"", false, "a", false},
        {"a**b", false, "ab", true},
        {"*a*a*a*b", false, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"*.JPG", false, "a.jpg", false},
        {"*.JPG", true, "a.jpg", true},
        {"*.jpg", true, "Ａ．ＪＰＧ", true},
        {"a＊b", true, "a*b", true}, // a full-width star is a plain character
        {"a＊b", true, "axxb", false},
    };
    for (const auto& c : cases) {
        GlobTest test(QString::fromUtf8(c.pattern), c.caseBlind);
        const std::string name = sjis(c.name);
        EXPECT_EQ(test.passes({name}), c.match) << c.pattern << (c.caseBlind ? " -i / " : " / ") << c.name;
    }
}

TEST(RegexTest, SearchesTheDecodedNameAndTellsAWrongPattern)
{
    const struct {
        const char* pattern;
        bool caseBlind;
        const char* name;
        bool match;
    } cases[] = {
        {"^IMG_\\d{4}\\.JPG$", false, "IMG_0001.JPG", true},
        {"^IMG_\\d{4}\\.JPG$", false, "IMG_01.JPG", false},
        {"img", false, "IMG_0001.JPG", false},
        {"img", true, "IMG_0001.JPG", true},
        {"^写真\\p{Han}+$", false, "写真旅行", true},
        // A backtracking engine gives up on the run of a's at the start and
        // never gets to the match behind it.
        {"(a+)+b", false, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa-ab", true},
        {"ﾃﾞ", false, "ﾃﾞｰﾀ.txt", true}, // the name as decoded, not folded
        {"デ", false, "ﾃﾞｰﾀ.txt", false},
    };
    for (const auto& c : cases) {
        RegexTest test(QString::fromUtf8(c.pattern), c.caseBlind);
        ASSERT_EQ(test.error(), "") << c.pattern;
        const std::string name = sjis(c.name);
        EXPECT_EQ(test.passes({name}), c.match) << c.pattern << " / " << c.name;
    }
    const RegexTest wrong(QStringLiteral("a(b"), false);
    EXPECT_TRUE(wrong.error().contains("missing )")) << wrong.error().toStdString();
}
