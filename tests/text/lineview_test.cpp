#include "text/lineview.h"

#include "text/cp932.h"
#include "text/errors.h"

#include "support/layout.h"
#include "support/sjis.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr std::uint32_t kEditor = 0x170; // level 2, word wrap, word break, overflow
constexpr std::uint32_t kLevel1 = 0xF0;  // level 1 with the three wrap rules

std::vector<std::string> layOut(const std::string& text, int width, std::uint32_t mode = kEditor) {
    return testlayout::layOut(text, width, mode);
}

std::vector<std::string> sjv(std::initializer_list<const char*> l) {
    std::vector<std::string> out;
    for (const char* s : l)
        out.push_back(sj(s));
    return out;
}

int columns(std::string_view s) {
    int col = 0;
    for (std::size_t p = 0; p < s.size(); p += cp932::charLength(s, p))
        col += cp932::charColumns(s, p, col);
    return col;
}

} // namespace

TEST(LineLayout, LineEndsAndTheEmptyLastLine) {
    EXPECT_TRUE(layOut("", 10).empty());
    EXPECT_EQ(layOut("a\rb\nc\r\n", 10), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(layOut("\r\n\r\n", 10), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(layOut("a\n\rb", 10), (std::vector<std::string>{"a", "", "b"})); // LF CR is two ends
    // A lead byte before the line end stands alone.
    EXPECT_EQ(layOut("\x81\r\nx", 10), (std::vector<std::string>{"\x81", "x"}));
}

TEST(LineLayout, DoubleByteCharacterAtTheLastColumnGoesDown) {
    EXPECT_EQ(layOut(sj("abcdあ"), 5, 0), sjv({"abcd", "あ"}));
    EXPECT_EQ(layOut(sj("abcdeあ"), 5, 0), sjv({"abcde", "あ"}));
    EXPECT_EQ(layOut(sj("ｱｲｳｴｵｶ"), 5, 0), sjv({"ｱｲｳｴｵ", "ｶ"})); // half-width katakana: 1 column
}

TEST(LineLayout, ProhibitedRunsAtTheEdgeMoveTheBreakEarlier) {
    EXPECT_EQ(layOut(sj("あい「。」」え"), 8), sjv({"あい", "「。」」", "え"}));
    EXPECT_EQ(layOut(sj("あいうえ。」か"), 8), sjv({"あいう", "え。」か"}));
    // A leading bracket never ends a line.
    EXPECT_EQ(layOut(sj("あいう「え"), 8), sjv({"あいう", "「え"}));
    // Dash and leader pairs stay together.
    EXPECT_EQ(layOut(sj("あい――"), 6), sjv({"あい", "――"}));
    EXPECT_EQ(layOut(sj("あい……"), 6), sjv({"あい", "……"}));
}

TEST(LineLayout, HangingPunctuationGivesWidthPlusTwo) {
    const auto lines = layOut(sj("あいう。え"), 6);
    EXPECT_EQ(lines, sjv({"あいう。", "え"}));
    EXPECT_EQ(columns(lines[0]), 8);
    // Without overflow the 。 may not begin a line either, so う goes down with it.
    EXPECT_EQ(layOut(sj("あいう。え"), 6, 0x130), sjv({"あい", "う。え"}));
    // A hanging 。 followed by 」 cannot hang: the break moves back.
    EXPECT_EQ(layOut(sj("あいう。」え"), 6), sjv({"あい", "う。」", "え"}));
}

TEST(LineLayout, LevelOneAllowsSmallKanaAtALineStart) {
    EXPECT_EQ(layOut(sj("あいうぁえ"), 6, kLevel1), sjv({"あいう", "ぁえ"}));
    EXPECT_EQ(layOut(sj("あいうぁえ"), 6, kEditor), sjv({"あい", "うぁえ"}));
    EXPECT_EQ(layOut(sj("あいうーえ"), 6, kEditor), sjv({"あい", "うーえ"}));
}

TEST(LineLayout, WordsStayWholeUnlessLongerThanTheLine) {
    EXPECT_EQ(layOut("ab abcdefgh", 5), (std::vector<std::string>{"ab ", "abcde", "fgh"}));
    EXPECT_EQ(layOut(sj("あword"), 5), sjv({"あ", "word"}));
    EXPECT_EQ(layOut("ab abcdefgh", 5, 0), (std::vector<std::string>{"ab ab", "cdefg", "h"}));
}

TEST(LineLayout, OnlyProhibitedCharactersBreakAtTheWidth) {
    EXPECT_EQ(layOut(sj("」」」」」」"), 4), sjv({"」」", "」」", "」」"}));
    EXPECT_EQ(layOut(sj("あ"), 1), sjv({"あ"})); // wider than the line: still one character a line
    // Blanks never start a wrapped line: tabs wider than the line hang.
    EXPECT_EQ(layOut("\t\t", 4), (std::vector<std::string>{"\t\t"}));
    EXPECT_EQ(layOut("\t\t", 4, 0), (std::vector<std::string>{"\t", "\t"})); // no rules
}

TEST(LineLayout, TabsAdvanceToTheNextMultipleOfEight) {
    EXPECT_EQ(layOut("a\tbcd", 10), (std::vector<std::string>{"a\t", "bcd"}));
    EXPECT_EQ(layOut("a\tbcd", 10, 0), (std::vector<std::string>{"a\tbc", "d"}));
    EXPECT_EQ(layOut("abcdefg\tx", 9, 0), (std::vector<std::string>{"abcdefg\tx"}));
}

TEST(LineLayout, BuiltinListsAreAllCodePage932) {
    for (const char* s :
         {"!%),.:;?]}！％），．：；？］｝’”〕〉》」』】、。・々ゝゞヽヾ゛゜°′″℃‰￠｡｣､･ﾞﾟ",
          "$([\\{＄（［｛‘“〔〈《「『【￥￡｢",
          "ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶーｧｨｩｪｫｬｭｮｯｰ‐～"})
        EXPECT_TRUE(cp932::encode(QString::fromUtf8(s)).ok()) << s;
    EXPECT_EQ(builtinLevel2()[0].substr(0, builtinLevel1()[0].size()), builtinLevel1()[0]);
    EXPECT_EQ(builtinLevel1()[3], sj(" \t　"));
}

using Tot = std::pair<std::int64_t, std::int64_t>;

TEST(TextTotals, StatusBarExamples) {
    auto totals = [](const std::string& t, int width = 80) {
        LineView v;
        v.setRules({width, kEditor, {}});
        v.layoutAll(t);
        return std::pair(v.totals().lines, v.totals().characters);
    };
    EXPECT_EQ(totals(""), Tot(0, 0));
    EXPECT_EQ(totals("abc"), Tot(0, 5));
    EXPECT_EQ(totals(sj("ああ\r\nabc\r\n")), Tot(0, 11));
    EXPECT_EQ(totals("1\r\n2\r\n3\r\n4\r\n5").first, 3);
    // A wrap counts as a line and adds 2; widening the line removes both.
    const std::string line(30, 'x');
    EXPECT_EQ(totals(line + "\r\n" + line + "\r\n" + line, 20), Tot(4, 102));
    EXPECT_EQ(totals(line + "\r\n" + line + "\r\n" + line, 40), Tot(1, 96));
}

namespace {

// Pieces random texts are made of: the characters the rules care about.
const std::vector<std::string>& pieces() {
    static const std::vector<std::string> p = [] {
        std::vector<std::string> v =
            sjv({"あ", "い", "。", "、", "」", "「", "ぁ", "ー", "―", "…", "　", "ｱ", "（"});
        for (const char* s :
             {"a", "b", "1", " ", "\t", "\r", "\n", "\r\n", ".", "(", "\x80", "\xFF", "\x81"})
            v.emplace_back(s);
        v.push_back("\x85\x40"); // undefined double-byte code
        return v;
    }();
    return p;
}

std::string randomText(std::mt19937& rng, int maxPieces) {
    std::string t;
    const int n = static_cast<int>(rng() % static_cast<unsigned>(maxPieces));
    for (int i = 0; i < n; ++i)
        t += pieces()[rng() % pieces().size()];
    return t;
}

// Every byte in exactly one line or line end, in order; widths; no split characters.
void checkView(const std::string& text, const LineView& v, int width, std::uint32_t mode) {
    std::size_t p = 0;
    for (std::size_t i = 0; i < v.count(); ++i) {
        const LaidLine& l = v.line(i);
        ASSERT_EQ(l.start, p) << i;
        const std::string_view s(text.data() + l.start, l.length);
        if (l.eol == 0 && i + 1 < v.count()) {
            ASSERT_GT(l.length, 0u);
            // The next line starts at a character boundary of the logical line.
            ASSERT_EQ(
                cp932::charStartAtOrBefore(std::string_view(text).substr(0, l.start + l.length + 1),
                                           l.start + l.length),
                l.start + l.length);
            // With line-breaking rules, blanks at the end hang past the width
            // and the next line does not begin with one.
            std::string_view counted = s;
            if (mode & kWrapRuleMask) {
                while (!counted.empty()) {
                    const std::size_t last =
                        cp932::charStartAtOrBefore(counted, counted.size() - 1);
                    const std::string_view c = counted.substr(last);
                    if (c != " " && c != "\t" && c != "\x81\x40") break;
                    counted = counted.substr(0, last);
                }
                const std::string_view next = std::string_view(text).substr(l.start + l.length, 2);
                ASSERT_FALSE(next[0] == ' ' || next[0] == '\t' || next == "\x81\x40") << i;
            }
            int cols = columns(counted);
            if (cols > width && !counted.empty()) {
                const std::string_view s = counted;
                const std::size_t last = cp932::charStartAtOrBefore(s, s.size() - 1);
                const bool oneChar = last == 0;
                const bool hang = (mode & wrapOverflow) && cols <= width + 2 &&
                                  builtinLevel2()[2].find(s.substr(last)) != std::string::npos;
                ASSERT_TRUE(oneChar || hang) << i << " " << cols;
            }
        }
        if (l.eol) {
            const std::string_view e(text.data() + l.start + l.length, l.eol);
            ASSERT_TRUE(e == "\r\n" || e == "\r" || e == "\n");
            if (e == "\r") {
                ASSERT_FALSE(l.start + l.length + 1 < text.size() &&
                             text[l.start + l.length + 1] == '\n');
            }
        }
        p = l.start + l.length + l.eol;
    }
    ASSERT_EQ(p, text.size());
    std::uint64_t bytes = 0;
    for (const LaidLine& l : v.lines())
        bytes += l.length;
    ASSERT_EQ(bytes, v.laidBytes());
}

// The incremental layout equals a full layout of an independent copy of the
// text: every line start, length and line end, and the laid bytes.
void expectFullLayout(const LineView& inc, const std::string& text, const LayoutRules& rules) {
    LineView full;
    full.setRules(rules);
    full.layoutAll(text);
    ASSERT_EQ(inc.count(), full.count());
    for (std::size_t i = 0; i < full.count(); ++i) {
        ASSERT_EQ(inc.line(i).start, full.line(i).start)
            << "line " << i << " near "
            << ::testing::PrintToString(
                   text.substr(full.line(i).start > 20 ? full.line(i).start - 20 : 0, 60));
        ASSERT_EQ(inc.line(i).length, full.line(i).length) << "line " << i;
        ASSERT_EQ(inc.line(i).eol, full.line(i).eol) << "line " << i;
    }
    ASSERT_EQ(inc.laidBytes(), full.laidBytes());
}

} // namespace

TEST(LineLayoutProperty, EveryByteOnceAndEveryLineWithinTheWidth) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(rng, 40);
        const int width = 1 + static_cast<int>(rng() % 14);
        const std::uint32_t modes[] = {0, kEditor, kLevel1, 0x110, 0x160, 0x150};
        const std::uint32_t mode = modes[rng() % 6];
        LineView v;
        v.setRules({width, mode, {}});
        v.layoutAll(text);
        ASSERT_NO_FATAL_FAILURE(checkView(text, v, width, mode))
            << round << " width " << width << " mode " << std::hex << mode << " text "
            << ::testing::PrintToString(text);
    }
}

TEST(LineLayoutProperty, NoFollowingCharacterStartsAWrappedLineWhenABreakExisted) {
    // With the editor's rules, a wrapped line starting with a prohibited
    // character is only allowed when that line's predecessor is all prohibited.
    std::mt19937 rng(99);
    const std::string following = builtinLevel2()[0];
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const std::vector<std::string> p = sjv({"あ", "。", "」", "「", "ぁ", "い"});
        for (int i = 0, n = static_cast<int>(rng() % 30); i < n; ++i)
            text += p[rng() % p.size()];
        LineView v;
        v.setRules({8, 0x110, {}}); // level 2 word wrap only
        v.layoutAll(text);
        for (std::size_t i = 1; i < v.count(); ++i) {
            const LaidLine& prev = v.line(i - 1);
            const std::string first = text.substr(v.line(i).start, 2);
            const std::string last = text.substr(prev.start + prev.length - 2, 2);
            const bool badStart = following.find(first) != std::string::npos && first.size() == 2;
            const bool badEnd = last == sj("「");
            if (badStart || badEnd) {
                // Then no allowed break existed in the previous line.
                const std::string pl = text.substr(prev.start, prev.length);
                for (std::size_t b = 2; b < pl.size(); b += 2) {
                    const std::string nx = pl.substr(b, 2), pv = pl.substr(b - 2, 2);
                    ASSERT_TRUE(following.find(nx) != std::string::npos || pv == sj("「"))
                        << round << " line " << i;
                }
            }
        }
    }
}

TEST(LineLayoutProperty, IncrementalLayoutEqualsFullLayout) {
    std::mt19937 rng(42);
    for (int round = 0; round < 400; ++round) {
        const int width = 1 + static_cast<int>(rng() % 12);
        const std::uint32_t mode = (round % 2) ? kEditor : 0;
        // The incremental layout reads the gap buffer; the full layout reads a
        // plain string that gets the same edits, so that a fault of the buffer
        // shows as well as one of the layout.
        std::string text = randomText(rng, 60);
        GapBuffer buf(text);
        LineView inc;
        inc.setRules({width, mode, {}});
        inc.layoutAll(buf);
        for (int edit = 0; edit < 30; ++edit) {
            const std::size_t pos = text.size() ? rng() % (text.size() + 1) : 0;
            const std::size_t removed =
                (rng() % 3 == 0) ? std::min<std::size_t>(rng() % 6, text.size() - pos) : 0;
            const std::string ins = (rng() % 4 == 0) ? std::string() : randomText(rng, 4);
            SCOPED_TRACE(::testing::Message()
                         << "width " << width << " mode " << std::hex << mode << std::dec
                         << " before " << ::testing::PrintToString(text) << " at " << pos
                         << " removed " << removed << " inserted "
                         << ::testing::PrintToString(ins));
            const std::vector<LaidLine> before = inc.lines();
            buf.erase(pos, removed);
            buf.insert(pos, ins);
            text.replace(pos, removed, ins);
            inc.edited(buf, pos, removed, ins.size());
            ASSERT_NO_FATAL_FAILURE(expectFullLayout(inc, text, {width, mode, {}}))
                << round << "/" << edit;
            // What the view says it laid out again covers every line that
            // changed: the lines before it are the old ones, those after it
            // the old ones moved by the change.
            const LineView::Relaid r = inc.lastRelaid();
            const std::vector<LaidLine> after = inc.lines();
            ASSERT_LE(r.first + r.count, after.size());
            const std::size_t tail = after.size() - r.first - r.count;
            ASSERT_LE(r.first + tail, before.size());
            for (std::size_t i = 0; i < r.first; ++i)
                ASSERT_TRUE(after[i].start == before[i].start &&
                            after[i].length == before[i].length && after[i].eol == before[i].eol)
                    << "line " << i << " before the lines laid out again";
            // ... and hold none of the changed bytes.
            if (r.first > 0 && (removed > 0 || !ins.empty())) {
                ASSERT_LE(after[r.first - 1].start + after[r.first - 1].length +
                              after[r.first - 1].eol,
                          pos);
            }
            for (std::size_t k = 0; k < tail; ++k) {
                const LaidLine& a = after[after.size() - 1 - k];
                const LaidLine& b = before[before.size() - 1 - k];
                ASSERT_TRUE(a.start == b.start - removed + ins.size() && a.length == b.length &&
                            a.eol == b.eol)
                    << "line " << after.size() - 1 - k << " after the lines laid out again";
            }
        }
    }
}

TEST(LineView, LineOfAPosition) {
    LineView v;
    v.setRules({4, 0, {}});
    const std::string t = "abcdef\r\nx\r\n";
    v.layoutAll(t); // "abcd" "ef" "x"
    EXPECT_EQ(v.lineOf(0), 0u);
    EXPECT_EQ(v.lineOf(4), 1u);
    EXPECT_EQ(v.lineOf(7), 1u); // the LF of the line end
    EXPECT_EQ(v.lineOf(8), 2u);
    EXPECT_EQ(v.lineOf(11), 3u); // after the final line end
    EXPECT_TRUE(v.wrapped(0));
    EXPECT_FALSE(v.wrapped(1));
}

TEST(LineLayout, BlanksStayAtTheEndOfTheLineBeforeABreak) {
    EXPECT_EQ(layOut("index.html for past issues", 10),
              (std::vector<std::string>{"index.html ", "for past ", "issues"}));
    EXPECT_EQ(layOut(sj("ことばの庭」　第１２８号"), 12), sjv({"ことばの庭」　", "第１２８号"}));
    // A run of blanks is never split across lines.
    EXPECT_EQ(layOut("abcdefgh     xyz", 8), (std::vector<std::string>{"abcdefgh     ", "xyz"}));
    // Without line-breaking rules the width alone decides, as before.
    EXPECT_EQ(layOut("abcdefgh xyz", 8, 0), (std::vector<std::string>{"abcdefgh", " xyz"}));
}

TEST(LineLayout, LongAddressesAndHyphenatedWordsWrapAtTheirJoints) {
    EXPECT_EQ(
        layOut("https://www.example.jp/mag/backnumber/index.html", 20),
        (std::vector<std::string>{"https://", "www.example.jp/mag/", "backnumber/", "index.html"}));
    EXPECT_EQ(layOut("very-long-English-word", 12),
              (std::vector<std::string>{"very-long-", "English-word"}));
    // A face mark stays whole; a run without a joint still breaks at the width.
    EXPECT_EQ(layOut("abc (^_^)", 7), (std::vector<std::string>{"abc ", "(^_^)"}));
    EXPECT_EQ(layOut("supercalifragilistic", 8),
              (std::vector<std::string>{"supercal", "ifragili", "stic"}));
}

TEST(LineLayout, HugeWidthsAndRunsOfTabsDoNotOverflow) {
    LineView v;
    v.setRules({2147483647, kEditor, {}});
    const std::string tabs(1 << 20, '\t'); // 8 Mi columns
    v.layoutAll(tabs + "x");
    ASSERT_EQ(v.count(), 1u);
    EXPECT_EQ(v.line(0).length, tabs.size() + 1);
    EXPECT_EQ(v.totals().characters, static_cast<std::int64_t>(tabs.size()) + 1 + 2);
}

TEST(LineLayoutProperty, IncrementalLayoutEqualsFullLayoutInLongLines) {
    // Long logical lines (no line ends, or few), runs of blanks longer than
    // any line, and narrow and wide widths: the incremental layout reads only
    // a window of the text around each line and stops where the new breaks
    // fall in step with the old ones.
    const std::vector<std::string> longPieces = {sj("あいうえお"),
                                                 sj("」」」"),
                                                 sj("、。"),
                                                 "abc-def/ghi",
                                                 std::string(40, ' '),
                                                 std::string(300, ' '),
                                                 std::string(20, '\t'),
                                                 sj("　　　"),
                                                 "\x81",
                                                 "\x82\xA0",
                                                 "(^_^)",
                                                 sj("「"),
                                                 "\r\n"};
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        const int width =
            (round % 3 == 0) ? 1 + static_cast<int>(rng() % 4) : 10 + static_cast<int>(rng() % 70);
        const std::uint32_t mode = (round % 4 == 3) ? kLevel1 : kEditor;
        std::string text;
        const int pieces = 50 + static_cast<int>(rng() % 250);
        for (int i = 0; i < pieces; ++i) {
            const std::string& piece = longPieces[rng() % longPieces.size()];
            if (piece == "\r\n" && rng() % 4 != 0) continue; // mostly long lines
            text += piece;
        }
        GapBuffer buf(text);
        LineView inc;
        inc.setRules({width, mode, {}});
        inc.layoutAll(buf);
        for (int edit = 0; edit < 40; ++edit) {
            const std::size_t pos = text.size() ? rng() % (text.size() + 1) : 0;
            const std::size_t removed =
                (rng() % 3 == 0) ? std::min<std::size_t>(rng() % 400, text.size() - pos) : 0;
            const std::string ins =
                (rng() % 4 == 0) ? std::string() : longPieces[rng() % longPieces.size()];
            buf.erase(pos, removed);
            buf.insert(pos, ins);
            text.replace(pos, removed, ins);
            inc.edited(buf, pos, removed, ins.size());
            ASSERT_NO_FATAL_FAILURE(expectFullLayout(inc, text, {width, mode, {}}))
                << round << "/" << edit << " width " << width << " pos " << pos << " removed "
                << removed << " inserted " << ins.size();
            ASSERT_EQ(inc.totals().characters,
                      LineView::measure(text, {width, mode, {}}).characters);
        }
    }
}

TEST(LineLayoutProperty, LinesThatWaitAreLaidOutLaterToTheSameResult) {
    // A tiny edit budget: most edits leave lines waiting; edits also land in
    // the waiting lines. Once continued to the end, the layout equals a
    // full layout; the totals say whether they are final.
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + static_cast<int>(rng() % 12);
        const std::uint32_t mode = (round % 2) ? kEditor : 0;
        std::string text = randomText(rng, 80);
        GapBuffer buf(text);
        LineView inc;
        inc.setRules({width, mode, {}});
        inc.setEditBudget(1 + rng() % 4);
        inc.layoutStart(buf, 1 + rng() % 3);
        for (int edit = 0; edit < 30; ++edit) {
            const std::size_t pos = text.size() ? rng() % (text.size() + 1) : 0;
            const std::size_t removed =
                (rng() % 3 == 0) ? std::min<std::size_t>(rng() % 6, text.size() - pos) : 0;
            const std::string ins = (rng() % 4 == 0) ? std::string() : randomText(rng, 4);
            buf.erase(pos, removed);
            buf.insert(pos, ins);
            text.replace(pos, removed, ins);
            inc.edited(buf, pos, removed, ins.size());
            if (rng() % 3 == 0) inc.continueLayout(buf, 1 + rng() % 3);
            if (rng() % 4 != 0) continue; // sometimes check, after finishing
            for (int step = 0; !inc.complete() && step < 10000; ++step)
                inc.continueLayout(buf, 1 + rng() % 5);
            ASSERT_TRUE(inc.complete());
            ASSERT_NO_FATAL_FAILURE(expectFullLayout(inc, text, {width, mode, {}}))
                << round << "/" << edit;
        }
    }
}

TEST(LineLayout, LineEndsAreFoundAcrossLongStretchesOfText) {
    // Line ends just before, on and after the boundaries of the pieces the
    // search reads, and lone CRs far from any LF.
    for (const std::size_t first : {4094u, 4095u, 4096u, 4097u, 8191u}) {
        const std::string text = std::string(first, 'a') + "\r\n" + std::string(5000, 'b') + "\r" +
                                 std::string(9000, 'c') + "\n" + std::string(10, 'd');
        LineView v;
        v.setRules({0, kEditor, {}}); // no wrapping: one line per logical line
        v.layoutAll(text);
        ASSERT_EQ(v.count(), 4u) << first;
        EXPECT_EQ(v.line(0).length, first);
        EXPECT_EQ(v.line(0).eol, 2u);
        EXPECT_EQ(v.line(1).length, 5000u);
        EXPECT_EQ(v.line(1).eol, 1u);
        EXPECT_EQ(v.line(2).length, 9000u);
        EXPECT_EQ(v.line(3).length, 10u);
        EXPECT_EQ(LineView::measure(text, {0, kEditor, {}}).characters, v.totals().characters);
    }
}

TEST(TextTotals, AFileReadInBlocksHasTheTotalsOfTheWholeText) {
    // Blocks end after an LF (alone or after a CR); a paragraph longer than
    // a block is held whole. Random texts with every kind of line end, lone
    // CRs at block edges, blanks that hang, and blocks of 1 to 64 bytes.
    std::mt19937 rng(77);
    TempDir dir;
    for (int round = 0; round < 400; ++round) {
        std::string text = randomText(rng, 80);
        if (round % 5 == 0) text += "\r";
        if (round % 7 == 0) text = "\n" + text + "\r\n";
        const LayoutRules rules{1 + static_cast<int>(rng() % 20), round % 2 ? kEditor : 0u, {}};
        dir.write("t.txt", text);
        const TextTotals whole = LineView::measure(text, rules);
        const std::size_t block = 1 + rng() % 64;
        const TextTotals read = LineView::measureFile(dir.file("t.txt"), rules, block);
        ASSERT_EQ(read.lines, whole.lines) << round << " block " << block;
        ASSERT_EQ(read.characters, whole.characters) << round << " block " << block;
    }
    // A missing file and a folder are refused as the editor refuses them.
    EXPECT_THROW(LineView::measureFile(dir.file("missing.txt"), {}), MMEditError);
    EXPECT_THROW(LineView::measureFile(dir.path(), {}), MMEditError);
}

TEST(LineView, ABudgetOfOneLineMakesProgress) {
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += sj("あいうえおかきくけこさしすせそ") + "\r\na b c\r\n"; // 3 + 1 lines at 10
    const LayoutRules rules{10, kEditor, {}};
    GapBuffer buf(text);
    LineView v;
    v.setRules(rules);
    v.setEditBudget(1);
    v.layoutStart(buf, 1);
    for (int round = 0; round < 2; ++round) {
        int steps = 0; // every call lays out at least one of the 160 lines for good
        for (; !v.complete() && steps <= 160; ++steps)
            v.continueLayout(buf, 1);
        EXPECT_LE(steps, 160);
        ASSERT_NO_FATAL_FAILURE(expectFullLayout(v, text, rules));
        // Then an edit, laid out one line at a time.
        buf.insert(0, "xy");
        text.insert(0, "xy");
        v.edited(buf, 0, 0, 2);
    }
}

TEST(LineLayoutProperty, LongRunsOfOneCharacterEqualTheFullLayoutAfterEveryEdit) {
    // A paragraph that is mostly one character repeated: an edit before the
    // run moves every break inside it by the same amount. Runs of double- and
    // single-byte characters and of blanks, ending mid-line and with a
    // character the rules keep at a line's end or start; edits before, in and
    // after the run, some of them the run's own character.
    const std::vector<std::string> units = {sj("」"), sj("あ"), sj("ー"), sj("　"),
                                            "\t",     " ",      "a",      "\x81\x81"};
    const std::vector<std::string> endings = {sj("。"), sj("」"), sj("「"), "a b",
                                              "\r\n",   sj("あ"), ""};
    const std::vector<std::string> inserts = {"a",    sj("」"), sj("あ"), "\t",  " ",
                                              "\r\n", "",       sj("「"), "\x81"};
    const int widths[] = {10, 70, 80, 0, 3};
    const std::uint32_t modes[] = {kEditor, kLevel1, 0};
    std::mt19937 rng(2026);
    for (int round = 0; round < 90; ++round) {
        const int width = widths[round % 5];
        const std::uint32_t mode = modes[(round / 5) % 3];
        const std::string& unit = units[rng() % units.size()];
        std::string text = randomText(rng, 6);
        std::size_t runFrom = text.size();
        for (int i = 0, n = 600 + static_cast<int>(rng() % 2500); i < n; ++i)
            text += unit;
        std::size_t runTo = text.size();
        text += endings[rng() % endings.size()] + randomText(rng, 6);
        if (rng() % 3 == 0) { // a second run of another character
            const std::string& other = units[rng() % units.size()];
            for (int i = 0, n = 300 + static_cast<int>(rng() % 900); i < n; ++i)
                text += other;
        }
        GapBuffer buf(text);
        LineView inc;
        const LayoutRules rules{width, mode, {}};
        inc.setRules(rules);
        inc.layoutAll(buf);
        for (int edit = 0; edit < 25; ++edit) {
            std::size_t pos = 0;
            switch (rng() % 4) {
            case 0:
                pos = rng() % (runFrom + 1);
                break; // before the run
            case 1:
                pos = runFrom + rng() % (runTo - runFrom + 1);
                break; // in it
            case 2:
                pos = rng() % (text.size() + 1);
                break;
            case 3:
                pos = 0;
                break;
            }
            const std::size_t removed =
                (rng() % 3 == 0) ? std::min<std::size_t>(rng() % 5, text.size() - pos) : 0;
            const std::string ins = inserts[rng() % inserts.size()];
            SCOPED_TRACE(::testing::Message()
                         << round << "/" << edit << " width " << width << " mode " << std::hex
                         << mode << std::dec << " unit " << ::testing::PrintToString(unit) << " at "
                         << pos << " removed " << removed << " inserted "
                         << ::testing::PrintToString(ins));
            buf.erase(pos, removed);
            buf.insert(pos, ins);
            text.replace(pos, removed, ins);
            inc.edited(buf, pos, removed, ins.size());
            if (pos + removed <= runFrom) {
                runFrom = runFrom - removed + ins.size();
                runTo = runTo - removed + ins.size();
            } else if (pos < runTo) {
                runTo = std::max(runFrom, std::min(runTo, pos));
            }
            for (int step = 0; !inc.complete() && step < 100000; ++step)
                inc.continueLayout(buf, 50);
            ASSERT_NO_FATAL_FAILURE(expectFullLayout(inc, text, rules));
        }
    }
}

TEST(LineView, AKeyBeforeAParagraphOfClosingBracketsLaysItOutAtOnce) {
    // 2,000 lines of 」 whose breaks all move when one column is typed before
    // them: the view is complete after the edit, with every line in the
    // range it reports as laid out again.
    std::string text;
    for (int i = 0; i < 80000; ++i)
        text += sj("」");
    text += sj("。") + "\r\nabc";
    const LayoutRules rules{80, kEditor, {}};
    GapBuffer buf(text);
    LineView v;
    v.setRules(rules);
    v.layoutAll(buf);
    ASSERT_EQ(v.count(), 2001u); // 。 hangs at the end of the last line of 」
    // "a" and BackSpace move every break; a double-byte character moves none.
    const struct {
        std::string inserted;
        std::size_t removed;
        bool allMove;
    } edits[] = {
        {"a", 0, true}, {"", 1, true}, {sj("」"), 0, false}, {"", 2, false}, {"a", 0, true}};
    for (const auto& e : edits) {
        buf.erase(0, e.removed);
        buf.insert(0, e.inserted);
        text.replace(0, e.removed, e.inserted);
        v.edited(buf, 0, e.removed, e.inserted.size());
        EXPECT_TRUE(v.complete());
        ASSERT_NO_FATAL_FAILURE(expectFullLayout(v, text, rules));
        EXPECT_EQ(v.lastRelaid().first, 0u);
        EXPECT_GE(v.lastRelaid().count, e.allMove ? 2000u : 1u);
    }
    EXPECT_EQ(v.line(0).length, 79u);
    EXPECT_EQ(v.line(1).start, 79u);
    ASSERT_EQ(v.count(), 2002u);
    EXPECT_EQ(v.line(2000).start, 159999u); // the last 」 and 。 on a line of their own
}

TEST(LineStore, EveryOperationAgreesWithAPlainList) {
    // Random insertions, removals and shifts, with gaps between starts from
    // one byte to far more than a block spans and more lines than a block
    // holds, against a plain list of (start, line end).
    struct Entry {
        std::uint32_t start;
        unsigned eol;
    };
    std::mt19937 rng(5150);
    for (int round = 0; round < 40; ++round) {
        LineStore store;
        std::vector<Entry> model;
        // How far line i may move back (or line i - 1 ahead) and stay in order.
        auto gapAfter = [&](std::size_t i) -> std::int64_t {
            const std::int64_t prev = i == 0 ? 0 : std::int64_t{model[i - 1].start} + 1;
            const std::int64_t next = i < model.size() ? model[i].start : prev + 40000;
            return next - prev;
        };
        auto randomGap = [&]() -> std::uint32_t {
            switch (round % 2 ? 0 : rng() % 4) { // odd rounds: blocks full of lines
            case 0:
                return 1 + rng() % 3;
            case 1:
                return 1 + rng() % 200;
            case 2:
                return 1 + rng() % 20000;
            default:
                return 80;
            }
        };
        if (round % 2) { // blocks full of lines to begin with
            for (std::uint32_t k = 0; k < 3000; ++k) {
                store.push_back(2 * k, k % 3);
                model.push_back({2 * k, k % 3});
            }
        }
        for (int op = 0; op < 3000; ++op) {
            const unsigned kind = model.empty() ? 0 : rng() % 10;
            const std::size_t i = model.empty() ? 0 : rng() % (model.size() + 1);
            if (kind <= 4) { // insert, mostly at the end as a layout does
                const std::size_t at = (kind <= 2) ? model.size() : i;
                const auto gap = static_cast<std::uint32_t>(gapAfter(at));
                if (at < model.size() && gap < 2) continue;
                const std::uint32_t prev = at == 0 ? 0 : model[at - 1].start + 1;
                const std::uint32_t start =
                    at == model.size() ? prev + randomGap() - 1 : prev + rng() % (gap - 1);
                const unsigned eol = rng() % 3;
                store.insert(at, start, eol);
                model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), {start, eol});
            } else if (kind == 5) { // erase
                const std::size_t n =
                    std::min<std::size_t>(model.size() - std::min(i, model.size()),
                                          (rng() % 8 || round % 2) ? rng() % 4 : rng() % 3000);
                const std::size_t at = std::min(i, model.size());
                store.erase(at, n);
                model.erase(model.begin() + static_cast<std::ptrdiff_t>(at),
                            model.begin() + static_cast<std::ptrdiff_t>(at + n));
            } else if (kind <= 7) { // shift the rest, forward or back within the room
                if (i == model.size()) continue;
                const auto room = static_cast<std::uint64_t>(gapAfter(i));
                const std::int64_t delta = (rng() % 2)
                                               ? static_cast<std::int64_t>(randomGap())
                                               : -static_cast<std::int64_t>(rng() % (room + 1));
                store.shiftFrom(i, static_cast<std::uint32_t>(delta));
                for (std::size_t k = i; k < model.size(); ++k)
                    model[k].start = static_cast<std::uint32_t>(model[k].start + delta);
            } else { // shift a range within the room on both sides
                const std::size_t to = i + rng() % (model.size() - i + 1);
                if (to == i) continue;
                const std::int64_t back = gapAfter(i);
                const std::int64_t ahead = to < model.size() ? gapAfter(to) : 50000;
                const std::int64_t delta =
                    static_cast<std::int64_t>(rng() %
                                              static_cast<std::uint64_t>(back + ahead + 1)) -
                    back;
                store.shiftRange(i, to, static_cast<std::uint32_t>(delta));
                for (std::size_t k = i; k < to; ++k)
                    model[k].start = static_cast<std::uint32_t>(model[k].start + delta);
            }
            if (op % 50 != 49) continue;
            ASSERT_EQ(store.size(), model.size()) << round << "/" << op;
            const std::uint32_t end = model.empty() ? 0 : model.back().start + 7;
            for (std::size_t k = 0; k < model.size(); ++k) {
                std::uint32_t start = 0, next = 0;
                unsigned eol = 0;
                store.get(k, end, &start, &next, &eol);
                ASSERT_EQ(start, model[k].start) << round << "/" << op << " line " << k;
                ASSERT_EQ(eol, model[k].eol) << round << "/" << op << " line " << k;
                ASSERT_EQ(next, k + 1 < model.size() ? model[k + 1].start : end);
            }
            for (int probe = 0; probe < 50 && !model.empty(); ++probe) {
                const std::uint32_t pos = static_cast<std::uint32_t>(rng() % (end + 1));
                const auto it =
                    std::upper_bound(model.begin(), model.end(), pos,
                                     [](std::uint32_t p, const Entry& e) { return p < e.start; });
                const std::size_t want =
                    it == model.begin() ? 0 : static_cast<std::size_t>(it - model.begin()) - 1;
                ASSERT_EQ(store.lastAtOrBefore(pos), want) << round << "/" << op << " at " << pos;
            }
        }
    }
}

TEST(LineStore, TwoBytesALineAndALittleMore) {
    LineStore store;
    for (std::uint32_t i = 0; i < 1'000'000; ++i)
        store.push_back(i * 80, 0);
    EXPECT_LT(store.memoryBytes(), 2'400'000u);
    // Lines longer than a block spans still take their place.
    store.clear();
    for (std::uint32_t i = 0; i < 1000; ++i)
        store.push_back(i * 100'000, 2);
    ASSERT_EQ(store.size(), 1000u);
    EXPECT_EQ(store.start(999), 99'900'000u);
    EXPECT_EQ(store.eol(999), 2u);
    EXPECT_EQ(store.lastAtOrBefore(99'899'999), 998u);
}

TEST(LineLayoutProperty, LargeTextsEqualTheFullLayoutAfterEveryEdit) {
    // Texts of many blocks of lines: thousands of short lines, lines longer
    // than a block spans (unwrapped, or one run of blanks), and long
    // paragraphs; edits anywhere, the waiting lines laid out to the end.
    const std::vector<std::string> parts = {"\r\n",
                                            "a\r\n",
                                            sj("あいうえお、かきくけこ。") + "\r\n",
                                            std::string(20000, 'x'),
                                            std::string(5000, '\t'),
                                            sj("」」」」") + "\r\n",
                                            "\n",
                                            "\r"};
    const std::vector<std::string> inserts = {"a", "\r\n", sj("」"),
                                              "",  "\t",   std::string(300, 'y')};
    const int widths[] = {0, 10, 80};
    std::mt19937 rng(31337);
    for (int round = 0; round < 6; ++round) {
        const int width = widths[round % 3];
        const LayoutRules rules{width, kEditor, {}};
        std::string text;
        while (text.size() < 100000)
            text += parts[rng() % 3 == 0 ? rng() % parts.size() : rng() % 3];
        GapBuffer buf(text);
        LineView inc;
        inc.setRules(rules);
        inc.layoutStart(buf, 100);
        for (int edit = 0; edit < 8; ++edit) {
            const std::size_t pos = rng() % (text.size() + 1);
            const std::size_t removed = std::min<std::size_t>(
                (rng() % 3 == 0) ? rng() % 40000 : rng() % 3, text.size() - pos);
            const std::string& ins = inserts[rng() % inserts.size()];
            buf.erase(pos, removed);
            buf.insert(pos, ins);
            text.replace(pos, removed, ins);
            inc.edited(buf, pos, removed, ins.size());
            for (int step = 0; !inc.complete() && step < 1000000; ++step)
                inc.continueLayout(buf, 1000);
            ASSERT_NO_FATAL_FAILURE(expectFullLayout(inc, text, rules))
                << round << "/" << edit << " width " << width << " at " << pos << " removed "
                << removed << " inserted " << ins.size();
            for (std::size_t probe = 0; probe < 200; ++probe) {
                const std::size_t p = rng() % (text.size() + 1);
                const std::size_t i = inc.lineOf(p);
                ASSERT_TRUE(
                    i == inc.count() ||
                    (inc.line(i).start <= p && (i + 1 == inc.count() || p < inc.line(i + 1).start)))
                    << p;
            }
        }
    }
}
