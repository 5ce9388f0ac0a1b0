#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog/CatalogSearch.h"

namespace re2 {
class RE2;
}

namespace qd {

// Tests of names beyond the windows' plain text, for qdcat search: a
// case-blind text, a wildcard pattern and a regular expression (RecordTest,
// see CatalogSearch.h). They see the code page 932 names straight out of the
// catalog and turn them into text by table, one look-up per character, as
// they are asked of millions of names.

// The folding of the case-blind search: NFKC, case folding, NFKC again. Full-
// and half-width forms (ＲＥＰＯＲＴ, ｶﾞ) and upper and lower case become
// one, as the contents view's sort (NameOrder) takes them; hiragana and
// katakana stay apart.
QString FoldForSearch(const QString& text);

// Code page 932 names as UTF-16: decoded as fromAnsi decodes them, or folded
// as FoldForSearch folds that text.
class Cp932Names {
public:
    enum Form { Decoded, Folded };
    // Made once per process on first use.
    static const Cp932Names& get(Form form);

    // Appends the form of name to out.
    void append(std::string_view name, std::u16string& out) const;

    // The characters that can put unit into the form of a name: those whose
    // own form holds it, and those whose form holds a unit that a mark after
    // it turns into it (ｶ for ガ: ｶﾞ becomes ガ). A name with none of them
    // cannot hold the unit in its form, which its bytes tell without turning
    // it into text.
    CharSet sourcesOf(char16_t unit) const;

private:
    explicit Cp932Names(Form form);
    // A character's form: one unit inline, or `length` units in pool_ from
    // the unit given; kMark when it starts with a combining mark, which may
    // compose with the unit before it. 0 for a pair that is no character.
    using Entry = std::uint32_t;
    static constexpr Entry kMark = 1u << 24;
    void put(Entry e, std::u16string& out) const;
    std::array<Entry, 256> single_{};
    std::array<std::int16_t, 256> lead_{}; // a lead byte's row in pairs_, -1 for none
    std::vector<Entry> pairs_;             // rows of 192 second bytes, 0x40 to 0xFF
    std::u16string pool_;
    std::unordered_map<std::uint32_t, char16_t> compose_; // unit << 16 | mark -> the one unit they make
};

// The case-blind text: names whose folded form holds the folded text. An
// empty text matches nothing, as the plain one.
class FoldedTextTest final : public RecordTest {
public:
    explicit FoldedTextTest(const QString& text);
    bool passes(const RecordView& record) override;
    const CharSet* required() const override { return &first_; }

private:
    const Cp932Names& names_;
    std::u16string text_;
    std::string asciiText_; // the text when ASCII, which alone can be in an ASCII name
    bool ascii_ = false;
    CharSet first_; // the sources of the text's first unit
};

// A wildcard pattern over the whole name: "*" stands for any run of
// characters, "?" for any one; everything else for itself, exactly or, case
// blind, as FoldForSearch folds it.
class GlobTest final : public RecordTest {
public:
    GlobTest(const QString& pattern, bool caseBlind);
    bool passes(const RecordView& record) override;

private:
    static constexpr std::int32_t kAny = -1, kOne = -2;
    const Cp932Names& names_;
    std::vector<std::int32_t> pattern_; // units, kAny and kOne
};

// A regular expression in RE2's syntax found anywhere in the decoded name
// (UTF-8); case-blind as RE2 folds case. RE2 runs in time linear in the name
// for every pattern, so a name is never left undecided, as a backtracking
// engine leaves it when a pattern explodes.
class RegexTest final : public RecordTest {
public:
    RegexTest(const QString& pattern, bool caseBlind);
    ~RegexTest() override;
    // Empty when the pattern is sound, else what is wrong with it.
    QString error() const;
    bool passes(const RecordView& record) override;

private:
    std::unique_ptr<re2::RE2> regex_;
};

} // namespace qd
