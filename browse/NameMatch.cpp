#include "NameMatch.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <re2/re2.h>

#include "catalog/Cp932.h"
#include "platform/Text.h"

namespace qd {
namespace {

constexpr std::uint32_t kValid = 1u << 25;
constexpr int kFirstTrail = 0x40; // second bytes below it never make a pair
constexpr int kTrails = 256 - kFirstTrail;

std::u16string units(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

} // namespace

QString FoldForSearch(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded().normalized(QString::NormalizationForm_KC);
}

const Cp932Names& Cp932Names::get(Form form)
{
    // Each built on its first use only: a search needs one or the other.
    if (form == Decoded) {
        static const Cp932Names decoded(Decoded);
        return decoded;
    }
    static const Cp932Names folded(Folded);
    return folded;
}

Cp932Names::Cp932Names(Form form)
{
    lead_.fill(-1);
    // Every single byte and every pair of a lead byte and a second byte,
    // each ended by a NUL, decoded (and folded) in one go: one call of the
    // codec instead of thousands. A pair that the codec does not read as one
    // character is none: the lead byte then stands alone, as in the codec.
    std::string bytes;
    std::vector<int> pairCodes;
    for (int b = 1; b < 256; ++b) {
        bytes += char(b);
        bytes += '\0';
    }
    for (int b = 0x80; b < 256; ++b) {
        if (!cp932::isLeadByte((unsigned char)b))
            continue;
        lead_[std::size_t(b)] = std::int16_t(pairCodes.size() / kTrails);
        for (int t = kFirstTrail; t < 256; ++t) {
            bytes += char(b);
            bytes += char(t);
            bytes += '\0';
            pairCodes.push_back(b << 8 | t);
        }
    }
    QStringList chars = fromAnsi(bytes).split(QChar(0));
    chars.removeLast(); // after the last NUL
    chars.prepend(QString(QChar(0)));
    Q_ASSERT(qsizetype(chars.size()) == 256 + qsizetype(pairCodes.size()));
    std::vector<bool> valid(std::size_t(chars.size()), true);
    for (qsizetype i = 256; i < chars.size(); ++i) {
        const QString& c = chars[i];
        valid[std::size_t(i)] = c.size() == 1 && !(c[0].unicode() >= 0xF780 && c[0].unicode() <= 0xF7FF);
    }

    QStringList forms = chars;
    if (form == Folded) {
        QStringList folded = FoldForSearch(chars.join(QChar(0))).split(QChar(0));
        if (folded.size() == chars.size()) {
            forms = folded;
        } else { // a NUL that folding moved: fold one by one
            for (QString& f : forms)
                f = FoldForSearch(f);
        }
    }

    std::vector<char16_t> marks;
    auto entry = [&](const QString& f) -> Entry {
        Entry e = kValid | Entry(f.size()) << 16;
        if (!f.isEmpty() && f[0].isMark()) {
            e |= kMark;
            marks.push_back(char16_t(f[0].unicode()));
        }
        if (f.size() == 1)
            return e | f[0].unicode();
        e |= Entry(pool_.size());
        pool_ += units(f);
        return e;
    };
    for (std::size_t b = 0; b < 256; ++b)
        single_[b] = entry(forms[qsizetype(b)]);
    pairs_.assign(pairCodes.size(), 0);
    for (std::size_t i = 0; i < pairCodes.size(); ++i) {
        if (valid[256 + i])
            pairs_[i] = entry(forms[qsizetype(256 + i)]);
    }
    Q_ASSERT(pool_.size() < 0x10000);

    // A folded mark composes with the unit before it, as folding the whole
    // name would (ｶﾞ is ガ): every canonical pair that ends in such a mark.
    if (form == Folded && !marks.empty()) {
        std::sort(marks.begin(), marks.end());
        for (char32_t x = 0; x < 0x10000; ++x) {
            const QChar c{char16_t(x)};
            if (c.decompositionTag() != QChar::Canonical)
                continue;
            const QString d = c.decomposition();
            if (d.size() != 2 || !std::binary_search(marks.begin(), marks.end(), char16_t(d[1].unicode())))
                continue;
            const QString made = FoldForSearch(QString(c));
            if (made.size() == 1)
                compose_[std::uint32_t(d[0].unicode()) << 16 | d[1].unicode()] = char16_t(made[0].unicode());
        }
    }
}

void Cp932Names::put(Entry e, std::u16string& out) const
{
    const std::size_t length = (e >> 16) & 0xFF;
    const char16_t* from = length == 1 ? nullptr : pool_.data() + (e & 0xFFFF);
    const char16_t unit = length == 1 ? char16_t(e & 0xFFFF) : from[0];
    const auto rest = [&] {
        if (length > 1)
            out.append(from + 1, length - 1);
    };
    if (!(e & kMark) || out.empty()) {
        if (length == 1)
            out += unit;
        else
            out.append(from, length);
        return;
    }
    // A mark, as normalising the whole name treats it: it goes before the
    // marks of a higher class that end the text so far, and composes with
    // the starter before them unless a mark of its own class stands between.
    const int mine = QChar::combiningClass(char32_t(unit));
    std::size_t at = out.size();
    while (at > 0 && QChar::combiningClass(char32_t(out[at - 1])) > mine)
        --at;
    for (std::size_t s = at; s > 0; --s) {
        const int before = QChar::combiningClass(char32_t(out[s - 1]));
        if (before == 0) {
            const auto it = compose_.find(std::uint32_t(out[s - 1]) << 16 | unit);
            if (it != compose_.end()) {
                out[s - 1] = it->second;
                rest();
                return;
            }
            break;
        }
        if (before >= mine)
            break;
    }
    out.insert(at, 1, unit);
    rest();
}

void Cp932Names::append(std::string_view name, std::u16string& out) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) { // ASCII: always one unit
            out += char16_t(single_[b] & 0xFFFF);
            ++i;
            continue;
        }
        const std::int16_t row = lead_[b];
        if (row >= 0 && i + 1 < n && p[i + 1] >= kFirstTrail) {
            const Entry e = pairs_[std::size_t(row) * kTrails + (p[i + 1] - kFirstTrail)];
            if (e & kValid) {
                put(e, out);
                i += 2;
                continue;
            }
        }
        put(single_[b], out);
        ++i;
    }
}

CharSet Cp932Names::sourcesOf(char16_t unit) const
{
    // The unit, and every unit that composes with a mark into one of them.
    std::vector<char16_t> units{unit};
    for (std::size_t done = 0; done < units.size(); ++done) {
        for (const auto& [pair, made] : compose_) {
            const auto base = char16_t(pair >> 16);
            if (made == units[done] && std::find(units.begin(), units.end(), base) == units.end())
                units.push_back(base);
        }
    }
    auto yields = [&](Entry e) {
        std::u16string form;
        put(e & ~kMark, form); // the units alone, as nothing stands before them
        return std::any_of(form.begin(), form.end(),
                           [&](char16_t u) { return std::find(units.begin(), units.end(), u) != units.end(); });
    };
    CharSet set;
    for (int b = 0; b < 256; ++b) {
        if (yields(single_[std::size_t(b)]))
            set.addSingle((unsigned char)b);
        if (lead_[std::size_t(b)] < 0)
            continue;
        for (int t = kFirstTrail; t < 256; ++t) {
            const Entry e = pairs_[std::size_t(lead_[std::size_t(b)]) * kTrails + std::size_t(t - kFirstTrail)];
            if (e & kValid)
                set.addPair((unsigned char)b, (unsigned char)t, yields(e));
        }
    }
    return set;
}

FoldedTextTest::FoldedTextTest(const QString& text)
    : names_(Cp932Names::get(Cp932Names::Folded)), text_(units(FoldForSearch(text)))
{
    ascii_ = std::all_of(text_.begin(), text_.end(), [](char16_t u) { return u < 0x80; });
    if (ascii_)
        asciiText_.assign(text_.begin(), text_.end());
    if (!text_.empty())
        first_ = names_.sourcesOf(text_[0]);
}

bool FoldedTextTest::passes(const RecordView& record)
{
    if (text_.empty())
        return false;
    // The search has passed over every name whose bytes hold none of the
    // text's first character (required()): a name that is asked comes here.
    const std::string_view name = record.name;
    if (cp932::isAscii(name)) {
        // Folding ASCII is lowering its letters, and only an ASCII text can be in it.
        if (!ascii_ || name.size() < asciiText_.size())
            return false;
        thread_local std::string lowered; // scratch: the test is asked from two threads at once
        lowered.assign(name);
        for (char& c : lowered) {
            if (c >= 'A' && c <= 'Z')
                c = char(c + ('a' - 'A'));
        }
        return lowered.find(asciiText_) != std::string::npos;
    }
    thread_local std::u16string folded;
    folded.clear();
    names_.append(name, folded);
    return std::u16string_view(folded).find(text_) != std::u16string_view::npos;
}

GlobTest::GlobTest(const QString& pattern, bool caseBlind)
    : names_(Cp932Names::get(caseBlind ? Cp932Names::Folded : Cp932Names::Decoded))
{
    // The literal runs are folded apart from the wildcards, so that a folded
    // character (＊ is *) never becomes one.
    QString literal;
    auto flush = [&] {
        for (const QChar c : caseBlind ? FoldForSearch(literal) : literal)
            pattern_.push_back(c.unicode());
        literal.clear();
    };
    for (const QChar c : pattern) {
        if (c == u'*' || c == u'?') {
            flush();
            if (c == u'?')
                pattern_.push_back(kOne);
            else if (pattern_.empty() || pattern_.back() != kAny)
                pattern_.push_back(kAny);
        } else {
            literal += c;
        }
    }
    flush();
}

bool GlobTest::passes(const RecordView& record)
{
    thread_local std::u16string buffer; // scratch: the test is asked from two threads at once
    buffer.clear();
    names_.append(record.name, buffer);
    // Left to right; on a mismatch, the last "*" takes one more character.
    const std::size_t n = buffer.size(), m = pattern_.size();
    std::size_t p = 0, s = 0, star = m, starAt = 0;
    while (s < n) {
        if (p < m && (pattern_[p] == kOne || pattern_[p] == std::int32_t(buffer[s]))) {
            ++p;
            ++s;
        } else if (p < m && pattern_[p] == kAny) {
            star = p++;
            starAt = s;
        } else if (star < m) {
            p = star + 1;
            s = ++starAt;
        } else {
            return false;
        }
    }
    while (p < m && pattern_[p] == kAny)
        ++p;
    return p == m;
}

RegexTest::RegexTest(const QString& pattern, bool caseBlind)
{
    RE2::Options options;
    options.set_case_sensitive(!caseBlind);
    options.set_log_errors(false);
    const QByteArray utf8 = pattern.toUtf8();
    regex_ = std::make_unique<RE2>(re2::StringPiece(utf8.constData(), std::size_t(utf8.size())), options);
}

RegexTest::~RegexTest() = default;

QString RegexTest::error() const
{
    return regex_->ok() ? QString() : QString::fromStdString(regex_->error());
}

bool RegexTest::passes(const RecordView& record)
{
    // An ASCII name is its own UTF-8.
    const std::string_view name = record.name;
    if (cp932::isAscii(name))
        return RE2::PartialMatch(re2::StringPiece(name.data(), name.size()), *regex_);
    const std::string decoded = cp932::toUtf8(name);
    return RE2::PartialMatch(re2::StringPiece(decoded.data(), decoded.size()), *regex_);
}

} // namespace qd
