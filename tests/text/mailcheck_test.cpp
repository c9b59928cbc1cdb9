#include "support/sjis.h"
#include "text/cp932.h"
#include "text/gapbuffer.h"
#include "text/mailcheck.h"
#include "text/textexport.h"

#include <gtest/gtest.h>

#include <random>

using mailcheck::Finding;
using mailcheck::Kind;

namespace {

mailcheck::Options widthOf(int w, std::size_t maxChars = 0) {
    mailcheck::Options o;
    o.layout.width = w;
    o.maxChars = maxChars;
    return o;
}

std::vector<Finding> check(std::string_view text, int width = 80) {
    return mailcheck::check(text, widthOf(width));
}

// Long lines where the editor wraps them on the screen (addresses folded as
// any other text).
mailcheck::Options onScreen(int w) {
    mailcheck::Options o = widthOf(w);
    o.asSent = false;
    return o;
}

// The kinds found, in order.
std::vector<Kind> kinds(std::string_view text) {
    std::vector<Kind> out;
    for (const Finding& f : check(text))
        out.push_back(f.kind);
    return out;
}

// Row starts where a logical line wraps for the first time, by the editor's
// own layout of the whole text (or its layout as sent).
std::vector<std::size_t> firstWraps(std::string_view text, const LayoutRules& rules,
                                    bool asSent = false) {
    LineView v;
    v.setRules(rules);
    v.setKeepAddresses(asSent);
    v.layoutAll(text);
    std::vector<std::size_t> out;
    for (std::size_t j = 1; j < v.count(); ++j)
        if (v.wrapped(j - 1) && (j == 1 || !v.wrapped(j - 2))) out.push_back(v.line(j).start);
    return out;
}

// The live check's marks in [from, to) are the findings of a whole check
// that start there, in order.
void expectMarksOf(const mailcheck::LiveCheck& live, const GapBuffer& buffer,
                   const std::vector<Finding>& whole, std::size_t from, std::size_t to) {
    std::vector<Finding> expected;
    for (const Finding& f : whole)
        if (f.pos >= from && f.pos < to && f.kind != Kind::overLimit) expected.push_back(f);
    const std::vector<mailcheck::LiveCheck::Mark> marks = live.marksIn(buffer, from, to);
    ASSERT_EQ(marks.size(), expected.size()) << from << "-" << to;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        ASSERT_EQ(marks[i].pos, expected[i].pos) << from << "-" << to << " #" << i;
        ASSERT_EQ(marks[i].length, expected[i].length) << from << "-" << to << " #" << i;
        ASSERT_EQ(marks[i].kind, expected[i].kind) << from << "-" << to << " #" << i;
    }
}

// A text with its line view and its live check, edited as the editor does:
// the view laid out again, then the live check told of the change.
struct LiveText {
    GapBuffer buffer;
    LineView view;
    mailcheck::LiveCheck live;

    LiveText(const std::string& text, int width, std::size_t editBudget = 0) : buffer(text) {
        LayoutRules rules;
        rules.width = width;
        view.setRules(rules);
        if (editBudget) view.setEditBudget(editBudget);
        view.layoutAll(buffer);
        live.reset(buffer);
        live.resetLines(buffer, view);
    }
    // The range of the text whose long-line marks may have changed.
    std::pair<std::size_t, std::size_t> edit(std::size_t pos, std::size_t removed,
                                             const std::string& inserted) {
        buffer.erase(pos, removed);
        buffer.insert(pos, inserted);
        view.edited(buffer, pos, removed, inserted.size());
        live.edited(buffer, pos, removed, inserted.size());
        return live.linesEdited(buffer, view, view.lastRelaid(),
                                static_cast<std::int64_t>(inserted.size()) -
                                    static_cast<std::int64_t>(removed));
    }
};

// Every long-line and long-address finding of before (the text before an
// edit of removed bytes at pos by inserted ones) that is not one of after
// once moved with the text (one in the removed bytes is gone), and every
// one of after that is not one of before, lies in [from, to).
void expectChangedMarksIn(const std::vector<Finding>& before, const std::vector<Finding>& after,
                          std::size_t pos, std::size_t removed, std::size_t inserted,
                          std::pair<std::size_t, std::size_t> changed) {
    using Mark = std::tuple<std::size_t, std::size_t, Kind>;
    std::vector<Mark> moved, found;
    // A byte after the edit moves by its difference; the bytes it removed
    // are where it stands now.
    auto place = [&](std::size_t p) {
        return p < pos ? p : p >= pos + removed ? p - removed + inserted : pos;
    };
    std::vector<Mark> gone;
    for (const Finding& f : before) {
        if (f.kind != Kind::longLine && f.kind != Kind::longAddress) continue;
        // (A last byte removed: the mark reaches over the bytes put there.)
        const std::size_t last = f.pos + f.length - 1;
        const std::size_t end =
            last >= pos && last < pos + removed ? pos + inserted : place(last) + 1;
        const std::size_t start = place(f.pos);
        if (f.pos >= pos && f.pos < pos + removed)
            gone.emplace_back(start, end - start, f.kind);
        else
            moved.emplace_back(start, end - start, f.kind);
    }
    for (const Mark& m : gone)
        EXPECT_TRUE(std::get<0>(m) >= changed.first &&
                    std::get<0>(m) + std::get<1>(m) <= changed.second)
            << "removed at " << std::get<0>(m) << ", changed " << changed.first << "-"
            << changed.second;
    for (const Finding& f : after)
        if (f.kind == Kind::longLine || f.kind == Kind::longAddress)
            found.emplace_back(f.pos, f.length, f.kind);
    auto inChanged = [&](const Mark& m) {
        return std::get<0>(m) >= changed.first &&
               std::get<0>(m) + std::get<1>(m) <= std::max(changed.second, std::get<0>(m) + 1);
    };
    for (const Mark& m : moved) {
        if (std::find(found.begin(), found.end(), m) != found.end()) continue;
        EXPECT_TRUE(inChanged(m)) << "given up at " << std::get<0>(m) << ", changed "
                                  << changed.first << "-" << changed.second;
    }
    for (const Mark& m : found) {
        if (std::find(moved.begin(), moved.end(), m) != moved.end()) continue;
        EXPECT_TRUE(inChanged(m)) << "found at " << std::get<0>(m) << ", changed " << changed.first
                                  << "-" << changed.second;
    }
}

// Pieces of random texts: every kind of finding and the characters the
// layout cares about.
std::string randomText(std::mt19937& rng, int pieces) {
    static const std::vector<std::string> kPieces = {"abc ",
                                                     "http://example.jp/a-b/c",
                                                     sj("メールマガジン"),
                                                     sj("、"),
                                                     sj("。"),
                                                     sj("」"),
                                                     "\r\n",
                                                     "\r",
                                                     "\n",
                                                     "\t",
                                                     " ",
                                                     bytes({0x87, 0x40}),
                                                     bytes({0x87, 0x9C}),
                                                     bytes({0xED, 0x40}),
                                                     bytes({0xFA, 0x40}),
                                                     bytes({0xF0, 0x40}),
                                                     bytes({0xB6}),
                                                     bytes({0xDE}),
                                                     bytes({0xCA, 0xDF}),
                                                     bytes({0x80}),
                                                     bytes({0x82}),
                                                     bytes({0x87}),
                                                     bytes({0x00}),
                                                     bytes({0x1B}),
                                                     bytes({0x85, 0x40}),
                                                     sj("漢字かな"),
                                                     bytes({0x88, 0x9F}),
                                                     std::string(30, 'x'),
                                                     sj("あいうえおかきくけこさしすせそ"),
                                                     "user@example.jp",
                                                     " mailto:someone.long@example.co.jp",
                                                     "https://www.example.jp/" +
                                                         std::string(40, 'a') + "/index.html",
                                                     "(www.example.com/x)"};
    std::string t;
    for (int i = 0; i < pieces; ++i)
        t += kPieces[rng() % kPieces.size()];
    return t;
}

} // namespace

TEST(MailCheck, MachineDependentRangesAreFoundToTheirEdgesAndNoFurther) {
    struct Case {
        std::string text;
        std::vector<Kind> expected;
    };
    const std::vector<Case> cases = {
        {bytes({0x87, 0x40}), {Kind::necSpecial}},     // ①
        {bytes({0x87, 0x9C}), {Kind::necSpecial}},     // ∪
        {bytes({0x87, 0x3F}), {Kind::invalidByte}},    // a lead byte alone, then "?"
        {bytes({0x87, 0x9D}), {Kind::invalidByte}},    // undefined
        {bytes({0x86, 0x9E}), {Kind::invalidByte}},    // undefined
        {bytes({0x88, 0x9F}), {}},                     // 亜
        {bytes({0xED, 0x40}), {Kind::necSelectedIbm}}, // 纊
        {bytes({0xEE, 0xFC}), {Kind::necSelectedIbm}}, // ＂
        {bytes({0xEA, 0xA4}), {}},                     // 熙, the last of JIS X 0208
        {bytes({0xFA, 0x40}), {Kind::ibmExtension}},   // ⅰ
        {bytes({0xFC, 0x4B}), {Kind::ibmExtension}},   // 黑
        {bytes({0xFC, 0x4C}), {Kind::invalidByte}},    // undefined
        {bytes({0xF0, 0x40}), {Kind::userDefined}},
        {bytes({0xF9, 0xFC}), {Kind::userDefined}},
        {bytes({0xEF, 0xFC}), {Kind::invalidByte}},
        {bytes({0xA0}), {Kind::invalidByte}},
        {bytes({0xA1}), {Kind::halfWidthKana}},
        {bytes({0xDF}), {Kind::halfWidthKana}},
        {bytes({0xE0, 0x40}), {}}, // 0xE0 leads a kanji (漾)
        {bytes({0xE0}), {Kind::invalidByte}},
        {bytes({0x80}), {Kind::invalidByte}},
        {bytes({0xFD, 0xFE, 0xFF}), {Kind::invalidByte, Kind::invalidByte, Kind::invalidByte}},
    };
    for (const Case& c : cases) {
        const std::vector<Kind> found = kinds(c.text);
        EXPECT_EQ(found, c.expected) << QByteArray::fromStdString(c.text).toHex().toStdString();
    }
    // The whole NEC range is found, nothing else of row 13.
    for (unsigned code = 0x8740; code <= 0x879C; ++code) {
        if ((code & 0xFF) == 0x7F) continue;
        const std::vector<Kind> k = kinds(bytes({code >> 8, code & 0xFF}));
        ASSERT_EQ(k.size(), 1u) << std::hex << code;
        EXPECT_TRUE(k[0] == Kind::necSpecial || k[0] == Kind::invalidByte) << std::hex << code;
        EXPECT_EQ(k[0] == Kind::necSpecial,
                  cp932::toUnicode(bytes({code >> 8, code & 0xFF}), 0) != 0)
            << std::hex << code;
    }
}

TEST(MailCheck, ControlCharactersTabsAndLoneLineEnds) {
    EXPECT_EQ(kinds(bytes({0x00, 0x1F, 0x7F, 0x20})),
              (std::vector<Kind>{Kind::controlChar, Kind::controlChar, Kind::controlChar}));
    EXPECT_EQ(kinds("a\tb"), std::vector<Kind>{Kind::tab});
    EXPECT_TRUE(mailcheck::isWarning(Kind::tab));
    EXPECT_FALSE(mailcheck::isWarning(Kind::controlChar));
    EXPECT_TRUE(kinds("a\r\nb\r\n").empty());
    EXPECT_EQ(kinds("a\rb\nc\n\r"), (std::vector<Kind>{Kind::loneLineEnd, Kind::loneLineEnd,
                                                       Kind::loneLineEnd, Kind::loneLineEnd}));
    EXPECT_EQ(kinds("\r"), std::vector<Kind>{Kind::loneLineEnd});
    // A lead byte never takes the CR of a line end.
    EXPECT_EQ(kinds(bytes({0x82, '\r', '\n'})), std::vector<Kind>{Kind::invalidByte});
}

TEST(MailCheck, PlacesCountLinesAndColumnsAsTheReaderSeesThem) {
    // Line 2 after CR LF, line 3 after a lone LF; a double-byte character is
    // two columns, a tab reaches the next multiple of 8.
    const std::string text = "abc\r\n" + sj("あ") + "\t" + bytes({0x87, 0x40}) + "\nx" +
                             bytes({0xB6, 0xDE}) + "\t\t" + bytes({0x1B});
    const std::vector<Finding> f = check(text);
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0].kind, Kind::tab);
    EXPECT_EQ(f[0].line, 2u);
    EXPECT_EQ(f[0].column, 3u);
    EXPECT_EQ(f[1].kind, Kind::necSpecial);
    EXPECT_EQ(f[1].pos, 8u);
    EXPECT_EQ(f[1].column, 9u);
    EXPECT_EQ(f[1].code, 0x8740u);
    EXPECT_EQ(f[2].kind, Kind::loneLineEnd);
    EXPECT_EQ(f[3].kind, Kind::halfWidthKana); // ｶﾞ as one
    EXPECT_EQ(f[3].length, 2u);
    EXPECT_EQ(f[3].line, 3u);
    EXPECT_EQ(f[3].column, 2u);
    EXPECT_EQ(f[4].column, 4u); // the tab after it
    EXPECT_EQ(f[5].column, 9u);
    EXPECT_EQ(f[6].kind, Kind::controlChar);
    EXPECT_EQ(f[6].column, 17u);
    EXPECT_EQ(mailcheck::characterText(text, f[1]), QStringLiteral("①"));
    EXPECT_EQ(mailcheck::codeText(f[1]), QStringLiteral("0x8740"));
    EXPECT_EQ(mailcheck::characterText(text, f[3]), QStringLiteral("ｶﾞ"));
    EXPECT_EQ(mailcheck::codeText(f[3]), QStringLiteral("0xB6 0xDE"));
    EXPECT_EQ(mailcheck::characterText(text, f[6]), QStringLiteral("^["));
    EXPECT_EQ(mailcheck::codeText(f[6]), QStringLiteral("0x1B"));
    EXPECT_EQ(mailcheck::characterText(text, f[2]), QStringLiteral("LF"));
}

TEST(MailCheck, LongLinesAreFoundWhereTheEditorWrapsThemFirst) {
    // Width 10: "0123456789abc" wraps once; a line of exactly ten columns
    // does not; hanging punctuation does not make a line long.
    EXPECT_TRUE(check("0123456789\r\n", 10).empty());
    EXPECT_TRUE(check(sj("あいうえお。"), 10).empty());
    std::vector<Finding> f = check("xx\r\n0123456789abc def ghi jkl mno\r\n", 10);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, Kind::longLine);
    EXPECT_EQ(f[0].line, 2u);
    EXPECT_EQ(f[0].pos, 14u);
    EXPECT_EQ(f[0].column, 11u);
    EXPECT_EQ(f[0].extent, 29u);
    EXPECT_EQ(mailcheck::suggestionText("xx\r\n0123456789abc def ghi jkl mno\r\n", f[0]),
              QStringLiteral("(改行)"));
    EXPECT_TRUE(check(std::string(500, 'x'), 0).empty()); // no width: no wrap

    // Runs of blanks where the width ends hang past it (as many as the
    // editor lets hang), whatever follows them.
    for (const std::string& blank : {std::string(" "), std::string("\t"), sj("　")})
        for (const std::size_t run : {1u, 127u, 128u, 129u, 300u})
            for (const std::string& after : {std::string("x"), sj("。"), sj("」") + "abc"}) {
                std::string text = std::string(10, 'a');
                for (std::size_t i = 0; i < run; ++i)
                    text += blank;
                text += after + std::string(2000, 'b') + "\r\nnext";
                mailcheck::Options o = onScreen(10);
                std::vector<std::size_t> found;
                for (const Finding& g : mailcheck::check(text, o))
                    if (g.kind == Kind::longLine) found.push_back(g.pos);
                EXPECT_EQ(found, firstWraps(text, o.layout)) << run;
            }

    // Against the editor's layout of whole random texts, and the hard wrap
    // leaves none.
    std::mt19937 rng(20260701);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomText(rng, 40);
        const int w = 4 + static_cast<int>(rng() % 40);
        mailcheck::Options o = onScreen(w);
        std::vector<std::size_t> found;
        for (const Finding& g : mailcheck::check(text, o))
            if (g.kind == Kind::longLine) found.push_back(g.pos);
        ASSERT_EQ(found, firstWraps(text, o.layout)) << round;
        // As sent: the lines do not break inside addresses; the hard wrap
        // leaves no long line.
        o.asSent = true;
        found.clear();
        for (const Finding& g : mailcheck::check(text, o))
            if (g.kind == Kind::longLine) found.push_back(g.pos);
        ASSERT_EQ(found, firstWraps(text, o.layout, true)) << round;
        for (const Finding& g : mailcheck::check(textexport::hardWrapped(text, o.layout), o))
            ASSERT_NE(g.kind, Kind::longLine) << round;
    }
}

TEST(MailCheck, AddressesAreNeverBrokenAndLongOnesAreWarnings) {
    const std::string url = "https://www.example.co.jp/newsletter/2026/12/articles/" +
                            std::string(60, '0') + "/ab.html";
    ASSERT_EQ(url.size(), 122u);
    struct Expected {
        Kind kind;
        std::size_t pos, column;
        std::uint64_t extent;
        std::uint32_t length;
        const char* suggestion;
    };
    struct Case {
        std::string text;
        int width;
        std::vector<Expected> found;
    };
    const Case cases[] = {
        // The break goes before the address, which is too long for any line.
        {sj("今週の特集はこちら：") + url + sj("をご覧ください。"),
         40,
         {{Kind::longAddress, 20, 21, 122, 122, ""}, {Kind::longLine, 20, 21, 158, 1, "(改行)"}}},
        // Alone on its line: nothing to break, only the warning.
        {url + "\r\n", 40, {{Kind::longAddress, 0, 1, 122, 122, ""}}},
        {url + sj("。"), 70, {{Kind::longAddress, 0, 1, 122, 122, ""}}},
        {"Contact: someone.long@example.co.jp today",
         20,
         {{Kind::longAddress, 9, 10, 26, 26, ""}, {Kind::longLine, 9, 10, 41, 1, "(改行)"}}},
        // Long only by the brackets that go with it: sent as it is.
        {sj("「http://example.com/」。"), 20, {}},
        // It fits on the next line: the break goes before it.
        {"see http://example.jp/ab ok", 20, {{Kind::longLine, 4, 5, 27, 1, "(改行)"}}},
        // No width: nothing is long.
        {url, 0, {}},
    };
    for (const Case& c : cases) {
        const std::vector<Finding> found = check(c.text, c.width);
        ASSERT_EQ(found.size(), c.found.size()) << c.text;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const Expected& e = c.found[i];
            EXPECT_EQ(found[i].kind, e.kind) << c.text << " #" << i;
            EXPECT_EQ(found[i].pos, e.pos) << c.text << " #" << i;
            EXPECT_EQ(found[i].column, e.column) << c.text << " #" << i;
            EXPECT_EQ(found[i].extent, e.extent) << c.text << " #" << i;
            EXPECT_EQ(found[i].length, e.length) << c.text << " #" << i;
            EXPECT_EQ(mailcheck::suggestionText(c.text, found[i]), QString::fromUtf8(e.suggestion))
                << c.text << " #" << i;
        }
    }
    // The warning names the address and has no code or replacement.
    const std::vector<Finding> alone = check(url, 40);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(mailcheck::isWarning(Kind::longAddress));
    EXPECT_EQ(mailcheck::kindName(Kind::longAddress), QStringLiteral("長いアドレス"));
    EXPECT_EQ(mailcheck::characterText(url, alone[0]), QString::fromStdString(url));
    EXPECT_EQ(mailcheck::codeText(alone[0]), QString());
    EXPECT_FALSE(mailcheck::replacement(url, alone[0]));
    // On the screen the editor folds it; there is no warning then.
    const std::vector<Finding> shown = mailcheck::check(url, onScreen(40));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, Kind::longLine);
}

TEST(MailCheck, OverTheLimitIsFoundAtTheFirstCharacterPastIt) {
    // Five characters with the limit at four: CR LF and あ count one each.
    const std::string text = "a\r\n" + sj("あ") + "bc";
    EXPECT_TRUE(mailcheck::check(text, widthOf(80, 5)).empty());
    const std::vector<Finding> f = mailcheck::check(text, widthOf(80, 4));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, Kind::overLimit);
    EXPECT_EQ(f[0].pos, 6u);
    EXPECT_EQ(f[0].line, 2u);
    EXPECT_EQ(f[0].column, 4u);
    EXPECT_EQ(f[0].extent, 5u);
    EXPECT_FALSE(mailcheck::replacement(text, f[0]));
}

TEST(MailCheck, SuggestionsComeFromTheTableAndAreSafeThemselves) {
    auto suggested = [](const std::string& text) {
        const std::vector<Finding> f = check(text);
        EXPECT_EQ(f.size(), 1u);
        return f.empty() ? QString() : mailcheck::suggestionText(text, f[0]);
    };
    EXPECT_EQ(suggested(bytes({0x87, 0x40})), QStringLiteral("(1)"));
    EXPECT_EQ(suggested(bytes({0x87, 0x53})), QStringLiteral("(20)"));
    EXPECT_EQ(suggested(bytes({0x87, 0x54})), QStringLiteral("I"));
    EXPECT_EQ(suggested(bytes({0xFA, 0x4A})), QStringLiteral("I")); // IBM's Ⅰ
    EXPECT_EQ(suggested(bytes({0x87, 0x8A})), QStringLiteral("(株)"));
    EXPECT_EQ(suggested(bytes({0x87, 0x5F})), QStringLiteral("ミリ"));
    EXPECT_EQ(suggested(bytes({0x87, 0x90})), QStringLiteral("≒")); // written as JIS X 0208's
    EXPECT_EQ(*mailcheck::replacement(bytes({0x87, 0x90}), check(bytes({0x87, 0x90}))[0]),
              bytes({0x81, 0xE0}));
    EXPECT_EQ(suggested(bytes({0xEE, 0xE0})), QStringLiteral("高"));
    EXPECT_EQ(suggested(bytes({0xB6, 0xDE})), QStringLiteral("ガ"));
    EXPECT_EQ(suggested(bytes({0xCA, 0xDF})), QStringLiteral("パ"));
    EXPECT_EQ(suggested(bytes({0xB3, 0xDE})), QStringLiteral("ヴ"));
    EXPECT_EQ(suggested(bytes({0xA1})), QStringLiteral("。"));
    EXPECT_EQ(suggested(bytes({0x00})), QStringLiteral("(削除)"));
    EXPECT_EQ(suggested("\r"), QStringLiteral("CR LF"));
    EXPECT_EQ(suggested("abc\t"), QStringLiteral("空白5個"));
    EXPECT_EQ(suggested(bytes({0xF0, 0x40})), QString()); // a user-defined character
    EXPECT_EQ(suggested(bytes({0xED, 0x40})), QString()); // 纊 has no standard form
    // ﾜﾞ has no joined form: two findings, each replaced on its own.
    EXPECT_EQ(kinds(bytes({0xDC, 0xDE})),
              (std::vector<Kind>{Kind::halfWidthKana, Kind::halfWidthKana}));

    // Every replacement of every machine-dependent code and half-width
    // letter (alone and with each voiced mark) is clean text itself.
    std::vector<std::string> texts;
    for (unsigned lead : {0x87u, 0xEDu, 0xEEu, 0xFAu, 0xFBu, 0xFCu})
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) texts.push_back(bytes({lead, trail}));
    for (unsigned b = 0xA1; b <= 0xDF; ++b) {
        texts.push_back(bytes({b}));
        texts.push_back(bytes({b, 0xDE}));
        texts.push_back(bytes({b, 0xDF}));
    }
    std::size_t withSuggestion = 0;
    for (const std::string& t : texts) {
        for (const Finding& f : check(t)) {
            const std::optional<std::string> r = mailcheck::replacement(t, f);
            if (!r) continue;
            ++withSuggestion;
            EXPECT_TRUE(check(*r).empty()) << QByteArray::fromStdString(t).toHex().toStdString();
            if (f.kind != Kind::invalidByte) {
                EXPECT_FALSE(r->empty());
            }
        }
    }
    EXPECT_GT(withSuggestion, 250u);
}

TEST(MailCheck, AllSuggestionsAppliedLeaveOnlyWhatHasNone) {
    std::mt19937 rng(31337);
    for (int round = 0; round < 200; ++round) {
        const std::string text = randomText(rng, 30);
        const std::vector<Finding> before = check(text, 0);
        const std::string fixed =
            mailcheck::applyEdits(text, mailcheck::replacementEdits(text, before));
        for (const Finding& f : check(fixed, 0)) {
            // Left: what has no suggestion, or a voiced mark that became a
            // letter's neighbour only now (ｶ, removed byte, ﾞ).
            const bool none = !mailcheck::replacement(fixed, f);
            ASSERT_TRUE(none || f.kind == Kind::halfWidthKana)
                << round << " " << mailcheck::kindName(f.kind).toStdString();
        }
    }
}

TEST(MailCheck, LiveCheckFollowsEditsAsTheWholeCheckFindsThem) {
    // Random edits of a text, its line view laid out again after each as
    // the editor does: the live findings are those of a whole check.
    std::mt19937 rng(4242);
    for (int round = 0; round < 80; ++round) {
        const int width = 6 + static_cast<int>(rng() % 30);
        LiveText t(randomText(rng, 30), width);
        auto& [buffer, view, live] = t;
        std::vector<Finding> before = mailcheck::check(buffer.str(), widthOf(width));
        for (int step = 0; step < 60; ++step) {
            const std::size_t n = buffer.size();
            // A quarter of the edits at the very end, where lines go.
            const std::size_t pos =
                n ? (rng() % 4 == 0 ? n - std::min<std::size_t>(n, rng() % 3) : rng() % (n + 1))
                  : 0;
            const std::size_t removed = std::min<std::size_t>(n - pos, rng() % 4);
            const std::string inserted = rng() % 3 == 0 ? std::string() : randomText(rng, 2);
            t.edit(pos, removed, inserted);
            ASSERT_TRUE(live.linesKnown());

            const std::string text = buffer.str();
            const std::vector<Finding> whole = mailcheck::check(text, widthOf(width));
            const std::vector<mailcheck::LiveCheck::Mark> marks =
                live.marksIn(buffer, 0, text.size() + 1);
            if (marks.size() != whole.size()) {
                std::string d = QByteArray::fromStdString(text).toHex(' ').toStdString() +
                                "\npos " + std::to_string(pos) + " rm " + std::to_string(removed) +
                                " ins " +
                                QByteArray::fromStdString(inserted).toHex().toStdString() + "\n";
                for (const auto& m : marks)
                    d += std::to_string(m.pos) + ":" + std::to_string(int(m.kind)) + " ";
                d += "\n";
                for (const auto& w : whole)
                    d += std::to_string(w.pos) + ":" + std::to_string(int(w.kind)) + " ";
                FAIL() << d;
            }
            for (std::size_t i = 0; i < whole.size(); ++i) {
                ASSERT_EQ(marks[i].pos, whole[i].pos) << round << "/" << step << " #" << i;
                ASSERT_EQ(marks[i].kind, whole[i].kind) << round << "/" << step << " #" << i;
                ASSERT_EQ(marks[i].length, whole[i].length) << round << "/" << step;
            }
            const mailcheck::KindCounts counts = mailcheck::countByKind(whole);
            for (std::size_t k = 0; k < mailcheck::kKindCount; ++k)
                ASSERT_EQ(live.count(static_cast<Kind>(k)), counts[k]);
            ASSERT_EQ(live.total(), whole.size());
            // The long-line marks that changed are those to be drawn again.
            SCOPED_TRACE(std::to_string(round) + "/" + std::to_string(step));
            expectChangedMarksIn(before, whole, pos, removed, inserted.size(), live.linesChanged());
            before = whole;
        }
    }
}

TEST(MailCheck, LiveLinesWaitForALayoutThatIsNotComplete) {
    // A long paragraph of 」 after a half-width letter is laid out past the
    // edit budget: the long lines are unknown until the rest is laid out.
    std::string text = "a" + std::string();
    for (int i = 0; i < 3000; ++i)
        text += sj("」");
    LiveText t(text, 10, 5);
    auto& [buffer, view, live] = t;
    EXPECT_TRUE(live.linesKnown());
    EXPECT_EQ(live.count(Kind::longLine), 1u);
    t.edit(0, 1, "");
    if (!view.complete()) {
        EXPECT_FALSE(live.linesKnown());
        while (!view.complete())
            view.continueLayout(buffer, 100);
        live.resetLines(buffer, view);
    }
    EXPECT_TRUE(live.linesKnown());
    EXPECT_EQ(live.count(Kind::longLine), 1u);
}

TEST(MailCheck, LiveCheckMarksALongAddressAndTheBreakBeforeItAsTheTextIsSent) {
    // The screen folds the address at column 40; the live check marks what
    // is sent: the address whole (a warning) and the break before it.
    const std::string url = "https://www.example.co.jp/newsletter/2026/12/articles/" +
                            std::string(60, '0') + "/ab.html";
    LiveText t(sj("今週の特集はこちら：") + url + sj("をご覧ください。"), 40);
    auto& [buffer, view, live] = t;
    auto edit = [&](std::size_t pos, std::size_t removed, const std::string& inserted) {
        t.edit(pos, removed, inserted);
    };
    struct Expected {
        std::size_t pos, length;
        Kind kind;
    };
    auto expectMarks = [&](const std::vector<Expected>& expected, const char* what) {
        const std::vector<mailcheck::LiveCheck::Mark> marks =
            live.marksIn(buffer, 0, buffer.size() + 1);
        ASSERT_EQ(marks.size(), expected.size()) << what;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            EXPECT_EQ(marks[i].pos, expected[i].pos) << what << " #" << i;
            EXPECT_EQ(marks[i].length, expected[i].length) << what << " #" << i;
            EXPECT_EQ(marks[i].kind, expected[i].kind) << what << " #" << i;
        }
        EXPECT_EQ(live.total(), expected.size()) << what;
    };
    using Range = std::pair<std::size_t, std::size_t>;
    expectMarks({{20, 122, Kind::longAddress}, {20, 1, Kind::longLine}}, "whole");
    EXPECT_EQ(live.count(Kind::longAddress), 1u);
    EXPECT_EQ(live.count(Kind::longLine), 1u);
    // Four bytes before it move both: no mark changed.
    edit(0, 0, "abc ");
    expectMarks({{24, 122, Kind::longAddress}, {24, 1, Kind::longLine}}, "moved");
    EXPECT_EQ(live.linesChanged(), Range(0, 0));
    // A byte in the address lengthens it: the mark only moved with the
    // text (its new byte is in the rows laid out again).
    edit(84, 0, "x");
    expectMarks({{24, 123, Kind::longAddress}, {24, 1, Kind::longLine}}, "longer");
    EXPECT_EQ(live.linesChanged(), Range(0, 0));
    edit(84, 1, "");
    EXPECT_EQ(live.linesChanged(), Range(0, 0));
    // A blank in it cuts it: the mark of the whole is given up.
    edit(84, 0, " ");
    expectMarks({{24, 60, Kind::longAddress}, {24, 1, Kind::longLine}}, "cut");
    EXPECT_EQ(live.linesChanged(), Range(24, 24 + 123));
    edit(84, 1, "");
    expectMarks({{24, 122, Kind::longAddress}, {24, 1, Kind::longLine}}, "whole again");
    EXPECT_EQ(live.linesChanged(), Range(24, 24 + 122));
    // Cut to 22 bytes it fits a line: only the break before it is left (the
    // 22 bytes of the address are drawn again).
    edit(24 + 22, 100, "");
    expectMarks({{24, 1, Kind::longLine}}, "short");
    EXPECT_EQ(live.count(Kind::longAddress), 0u);
    EXPECT_EQ(live.linesChanged(), Range(24, 46));
    // A line end before it: nothing is long any more; the break stood where
    // the row after the line end starts now.
    edit(24, 0, "\r\n");
    expectMarks({}, "own line");
    EXPECT_EQ(live.linesChanged(), Range(26, 27));
}

TEST(MailCheck, AnyBytesGiveOrderedFindingsInTheirPlacesAndTheLiveCheckAgrees) {
    // Random bytes, with the bytes that matter more often: every finding lies
    // in the text, character findings never overlap, lines and columns are
    // those of a plain walk, and the live check follows random edits.
    std::mt19937 rng(2718);
    const unsigned char often[] = {'\r', '\n', '\t', 0x00, 0x1B, 0x81, 0x87, 0x40, 0x9F,
                                   0xA0, 0xB6, 0xDE, 0xDF, 0xED, 0xF0, 0xFA, 0xFC, 0xFD};
    auto randomBytes = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            s.push_back(
                static_cast<char>(rng() % 3 ? often[rng() % std::size(often)] : rng() % 256));
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        const std::string text = randomBytes(rng() % 200);
        const std::vector<Finding> found = check(text, 12);
        std::size_t charEnd = 0;
        for (const Finding& f : found) {
            ASSERT_LE(f.pos + f.length, text.size());
            ASSERT_GE(f.length, 1u);
            if (mailcheck::isCharacterKind(f.kind)) {
                ASSERT_GE(f.pos, charEnd) << round;
                charEnd = f.pos + f.length;
            }
            // The place by a plain walk.
            std::size_t line = 1, col = 0;
            for (std::size_t p = 0; p < f.pos;) {
                const char c = text[p];
                if (c == '\r' && p + 1 < text.size() && text[p + 1] == '\n') {
                    ++line, col = 0, p += 2;
                } else if (c == '\r' || c == '\n') {
                    ++line, col = 0, ++p;
                } else {
                    col += c == '\t' ? 8 - col % 8 : 1;
                    ++p;
                }
            }
            ASSERT_EQ(f.line, line) << round;
            ASSERT_EQ(f.column, col + 1) << round;
        }

        LiveText t(text, 12);
        auto& [buffer, view, live] = t;
        for (int step = 0; step < 10; ++step) {
            const std::size_t n = buffer.size();
            const std::size_t pos = n ? rng() % (n + 1) : 0;
            const std::size_t removed = std::min<std::size_t>(n - pos, rng() % 3);
            t.edit(pos, removed, randomBytes(rng() % 3));
            const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(12));
            ASSERT_EQ(live.total(), whole.size()) << round << "/" << step;
            expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
        }
    }
}

TEST(MailCheck, LiveCheckOfTextsOfManyBlocksFollowsEditsAsTheWholeCheckFindsThem) {
    // Texts of tens of kilobytes thick with findings, in paragraphs of a few
    // kilobytes with addresses, edited here and there (across the blocks the
    // live check keeps, far into paragraphs): the live marks, in the whole
    // text and in ranges of it, and the counts are those of a whole check.
    std::mt19937 rng(1618);
    const std::vector<std::string> pieces = {"\xB6",
                                             "\xDE",
                                             "\xB6\xDE",
                                             "\xCA\xDF",
                                             "\t",
                                             "\x87\x40",
                                             "\x81",
                                             "\x82\xA0",
                                             "ab",
                                             "\n",
                                             "\x01",
                                             "\xF0\x40",
                                             "\xA0",
                                             " ",
                                             "http://example.jp/a-b/c",
                                             "www.example.jp/",
                                             "a@b.jp",
                                             sj("。"),
                                             sj("」"),
                                             sj("メール")};
    auto randomPieces = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            s += rng() % 400 == 0 ? std::string("\r\n") : pieces[rng() % pieces.size()];
        return s;
    };
    // The later rounds edit near the edit before, as keys do (the block a
    // key went into keeps its findings for the next key).
    for (int round = 0; round < 10; ++round) {
        const bool keys = round >= 6;
        const std::string text = randomPieces(4000 + rng() % 4000);
        const int width = 16 + static_cast<int>(rng() % 40);
        LiveText t(text, width);
        auto& [buffer, view, live] = t;
        std::size_t last = rng() % (buffer.size() + 1);
        for (int step = 0; step < 40; ++step) {
            const std::size_t n = buffer.size();
            std::size_t pos = rng() % (n + 1);
            if (keys && rng() % 8 != 0)
                pos = std::min(n, last + rng() % 7 - std::min<std::size_t>(last, 3));
            last = pos;
            const std::size_t removed =
                std::min<std::size_t>(n - pos, rng() % 5000 < 50 ? 3000 : rng() % 4);
            t.edit(pos, removed, randomPieces(rng() % 20 == 0 ? 1500 : rng() % 3));
            // A large edit may leave the layout to be completed (as while
            // idle), the long lines unknown until then.
            if (!view.complete()) {
                ASSERT_FALSE(live.linesKnown());
                while (!view.complete())
                    view.continueLayout(buffer, 1000);
                live.resetLines(buffer, view);
            }
            const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(width));
            const mailcheck::KindCounts counts = mailcheck::countByKind(whole);
            for (std::size_t k = 0; k < mailcheck::kKindCount; ++k)
                ASSERT_EQ(live.count(static_cast<Kind>(k)), counts[k])
                    << round << "/" << step << " kind " << k;
            expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
            const std::size_t from = rng() % (buffer.size() + 1);
            expectMarksOf(live, buffer, whole, from, from + rng() % 3000);
            // The rows around the edit, as a paint asks for them.
            const std::size_t near = pos - std::min<std::size_t>(pos, rng() % 40);
            expectMarksOf(live, buffer, whole, near, near + rng() % 100);
        }
    }
}

TEST(MailCheck, KeysTypedTakenBackAndUndoneInOnePlaceAreCheckedAsTheWholeCheckFindsThem) {
    // Keys at one place after another (the block a key goes into keeps its
    // findings, and the next key there changes them by its own bytes), near
    // findings, at the edges of the blocks the text is kept in (about every
    // 2 KB of a text thick with findings), at the ends of the text, that
    // join and split double-byte characters, CR LF pairs and letters with
    // their voiced marks, and deletions across blocks taken back: after
    // every key the counts and the marks, in the whole text and in the rows
    // around the key, are those of a whole check.
    std::string unit = "ab" + sj("メール") + "\xB6\xDE" + "\t" + "\x87\x40" + "\r\n" + "x\xB6" +
                       sj("漢字") + "\x01" + "\xDF" + "\x81" + "cd" + "\r" + "\xF0\x40";
    std::string text;
    while (text.size() < 9000)
        text += unit;
    // A key: bytes typed at the caret, or bytes taken back before it
    // (backspace) or after it (delete); undo puts back what the last of
    // them took, or takes back what it typed.
    struct Key {
        enum { type, back, del, undo } what;
        std::string bytes; // typed
        std::size_t count; // taken back
    };
    const std::vector<std::vector<Key>> scripts = {
        {{Key::type, "a", 0}, {Key::back, "", 1}, {Key::type, "a", 0}, {Key::back, "", 1}},
        {{Key::type, "\xB6", 0},
         {Key::type, "\xDE", 0},
         {Key::back, "", 1},
         {Key::type, "\xDF", 0},
         {Key::back, "", 2}},
        {{Key::type, "\x87", 0}, {Key::type, "\x40", 0}, {Key::back, "", 1}, {Key::back, "", 1}},
        {{Key::type, "\r", 0}, {Key::type, "\n", 0}, {Key::back, "", 1}, {Key::back, "", 1}},
        {{Key::type, sj("あ"), 0}, {Key::back, "", 1}, {Key::type, "\x40", 0}, {Key::back, "", 2}},
        {{Key::del, "", 1}, {Key::undo, "", 0}, {Key::back, "", 1}, {Key::undo, "", 0}},
        {{Key::type, "\xDE", 0}, {Key::back, "", 1}, {Key::type, "\t\x01", 0}, {Key::back, "", 2}},
        {{Key::del, "", 3000}, {Key::type, "z", 0}, {Key::back, "", 1}, {Key::undo, "", 0}},
        {{Key::back, "", 2500}, {Key::undo, "", 0}, {Key::type, "a", 0}, {Key::back, "", 1}},
        {{Key::type, "\x82", 0}, {Key::back, "", 1}, {Key::del, "", 2}, {Key::undo, "", 0}},
    };
    const std::size_t places[] = {0,    1,    7,    2045, 2046, 2047, 2048, 2049, 2050,
                                  4094, 4095, 4096, 4097, 4098, 6150, 8999, 9005};
    constexpr int kWidth = 30;
    for (const std::size_t place : places) {
        LiveText t(text, kWidth);
        auto& [buffer, view, live] = t;
        std::size_t caret = std::min(place, buffer.size());
        for (std::size_t s = 0; s < scripts.size(); ++s) {
            std::string taken;       // what the last backspace or delete took
            std::size_t takenAt = 0; // and where
            std::size_t typed = 0;   // or what the last key typed
            for (std::size_t k = 0; k < scripts[s].size(); ++k) {
                const Key& key = scripts[s][k];
                switch (key.what) {
                case Key::type:
                    t.edit(caret, 0, key.bytes);
                    caret += key.bytes.size();
                    typed = key.bytes.size();
                    taken.clear();
                    break;
                case Key::back: {
                    const std::size_t c = std::min(key.count, caret);
                    taken = buffer.str(caret - c, caret);
                    takenAt = caret - c;
                    t.edit(caret - c, c, "");
                    caret -= c;
                    typed = 0;
                    break;
                }
                case Key::del: {
                    const std::size_t c = std::min(key.count, buffer.size() - caret);
                    taken = buffer.str(caret, caret + c);
                    takenAt = caret;
                    t.edit(caret, c, "");
                    typed = 0;
                    break;
                }
                case Key::undo:
                    if (!taken.empty()) {
                        t.edit(takenAt, 0, taken);
                        caret = takenAt + taken.size();
                        taken.clear();
                    } else if (typed > 0) {
                        t.edit(caret - typed, typed, "");
                        caret -= typed;
                        typed = 0;
                    }
                    break;
                }
                const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(kWidth));
                const mailcheck::KindCounts counts = mailcheck::countByKind(whole);
                for (std::size_t c = 0; c < mailcheck::kKindCount; ++c)
                    ASSERT_EQ(live.count(static_cast<Kind>(c)), counts[c])
                        << "at " << place << " script " << s << " key " << k << " kind " << c;
                SCOPED_TRACE("at " + std::to_string(place) + " script " + std::to_string(s) +
                             " key " + std::to_string(k));
                expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
                // The rows around the caret, from every byte before it.
                for (std::size_t back = 0; back < 4 && back <= caret; ++back)
                    expectMarksOf(live, buffer, whole, caret - back, caret + kWidth);
            }
        }
    }
}

TEST(MailCheck, ManyKeysInOnePlaceGrowTheirBlockAndStayCheckedAsTheWholeCheckFindsThem) {
    // Thousands of keys typed in one place of a text thick with findings
    // grow the block they go into past its size, and it is split again:
    // the findings stay those of a whole check, and the store stays small.
    std::string text;
    while (text.size() < 6000)
        text += "a\xB6"
                "b\t";
    LiveText t(text, 20);
    auto& [buffer, view, live] = t;
    // A letter and a tab every four bytes.
    ASSERT_EQ(live.count(Kind::halfWidthKana), 1500u);
    ASSERT_EQ(live.count(Kind::tab), 1500u);
    // A letter and a voiced mark, neither joining the byte beside it.
    const std::string keys[] = {"x", "\xB1", "y", "\xDE"};
    std::size_t caret = 3001;
    for (int k = 0; k < 5000; ++k) {
        t.edit(caret, 0, keys[k % 4]);
        ++caret;
        if (k % 500 == 499) {
            const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(20));
            ASSERT_EQ(live.total(), whole.size()) << k;
            expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
            expectMarksOf(live, buffer, whole, caret - 10, caret + 10);
        }
    }
    // Every key a letter or a voiced mark alone: 2500 findings more.
    EXPECT_EQ(live.count(Kind::halfWidthKana), 1500u + 2500u);
    EXPECT_LE(live.memoryBytes(), 24u << 10);
}

TEST(MailCheck, TheLiveCheckStoresBlocksOfTextNotFindings) {
    // A megabyte of one character: the findings are counted one by one,
    // and the store keeps a few bytes for each 2 KB of text that holds
    // findings, none for text without them. An edit in the middle is
    // counted and marked in its place.
    constexpr std::size_t kMegabyte = std::size_t{1} << 20;
    struct Case {
        const char* name;
        std::string unit;
        Kind kind;
        std::size_t findings; // of the megabyte
        std::size_t maxBytes; // of the store
    } cases[] = {
        {"kana", "\xB1", Kind::halfWidthKana, kMegabyte, 16 << 10},
        {"voiced kana", "\xB6\xDE", Kind::halfWidthKana, kMegabyte / 2, 16 << 10},
        {"tabs", "\t", Kind::tab, kMegabyte, 16 << 10},
        {"NEC specials", "\x87\x40", Kind::necSpecial, kMegabyte / 2, 16 << 10},
        {"plain", "a", Kind::tab, 0, 512},
    };
    for (const Case& c : cases) {
        std::string text;
        while (text.size() < kMegabyte)
            text += c.unit;
        GapBuffer buffer(text);
        mailcheck::LiveCheck live;
        live.reset(buffer);
        EXPECT_EQ(live.count(c.kind), c.findings) << c.name;
        EXPECT_EQ(live.total(), c.findings) << c.name;
        EXPECT_LE(live.memoryBytes(), c.maxBytes) << c.name;
        // A control character in the middle.
        const std::size_t mid = kMegabyte / 2;
        buffer.insert(mid, "\x01");
        live.edited(buffer, mid, 0, 1);
        EXPECT_EQ(live.count(Kind::controlChar), 1u) << c.name;
        EXPECT_EQ(live.total(), c.findings + 1) << c.name;
        const std::vector<mailcheck::LiveCheck::Mark> marks = live.marksIn(buffer, mid, mid + 1);
        ASSERT_EQ(marks.size(), 1u) << c.name;
        EXPECT_EQ(marks[0].pos, mid) << c.name;
        EXPECT_EQ(marks[0].kind, Kind::controlChar) << c.name;
        // (With room to grow.)
        EXPECT_LE(live.memoryBytes(), 2 * c.maxBytes + 2048) << c.name;
    }
}

TEST(MailCheck, AKeyFarIntoALongParagraphFindsTheLongLinesAgainNearIt) {
    // A paragraph of about 100 KB with short and long addresses: a key in
    // its middle finds the long lines again in a few kilobytes around it,
    // and they stay those of a whole check.
    const std::string url =
        "http://example.jp/newsletter/2026/12/" + std::string(50, 'a') + ".html";
    std::string text;
    for (int i = 0; text.size() < 100000; ++i)
        text +=
            sj("今週のメールマガジンでは、") + (i % 7 == 0 ? url : "mag@example.jp ") + sj("。");
    LiveText t(text, 40);
    auto& [buffer, view, live] = t;
    struct Key {
        std::size_t pos;
        const char* bytes;
    } keys[] = {{50000, "x"}, {50000, " "}, {70001, "\x82\xA0"}, {text.size() / 2 + 3, "/"}};
    std::vector<Finding> before = mailcheck::check(buffer.str(), widthOf(40));
    for (const Key& k : keys) {
        const std::string bytes = k.bytes;
        const auto [from, to] = t.edit(k.pos, 0, bytes);
        EXPECT_LE(from, k.pos) << k.pos;
        EXPECT_GE(to, k.pos + bytes.size()) << k.pos;
        EXPECT_LT(to - from, 4096u) << k.pos;
        const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(40));
        EXPECT_EQ(live.total(), whole.size()) << k.pos;
        expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
        // Of the marks, only those the key changed are to be drawn again.
        expectChangedMarksIn(before, whole, k.pos, 0, bytes.size(), live.linesChanged());
        EXPECT_LE(live.linesChanged().second - live.linesChanged().first, 4096u) << k.pos;
        before = whole;
    }
}

TEST(MailCheck, LinesMovedWholeInARunAreCheckedAsTheWholeCheckFindsThem) {
    // Paragraphs of thousands of 」 or tabs beside long addresses: an edit
    // before a run moves its lines whole, and the live check, which looks
    // only at the text on either side of them, agrees with a whole check.
    const std::string url = "http://example.jp/" + std::string(40, 'a') + "/";
    bool moved = false;
    for (const std::string& unit : {sj("」"), std::string("\t"), std::string("a")}) {
        std::string run;
        for (int i = 0; i < 3000; ++i)
            run += unit;
        const std::string text = run + " " + url + run + "\r\n" + run + url;
        for (const int width : {10, 40}) {
            LiveText t(text, width);
            auto& [buffer, view, live] = t;
            for (const auto& [pos, removed, inserted] :
                 std::vector<std::tuple<std::size_t, std::size_t, std::string>>{
                     {0, 0, "x"},
                     {0, 0, sj("あ")},
                     {0, 1, ""},
                     {run.size() + 1, 0, "y"},
                     {run.size() + 2, 3, ""}}) {
                t.edit(pos, removed, inserted);
                moved = moved || view.lastRelaid().runCount > 0;
                const std::vector<Finding> whole = mailcheck::check(buffer.str(), widthOf(width));
                ASSERT_EQ(live.total(), whole.size()) << width << " at " << pos;
                expectMarksOf(live, buffer, whole, 0, buffer.size() + 1);
            }
        }
    }
    EXPECT_TRUE(moved);
}
