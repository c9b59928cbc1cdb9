#include "support/sjis.h"
#include "text/addresses.h"
#include "text/cp932.h"
#include "text/textexport.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

LayoutRules width(int w) {
    LayoutRules r;
    r.width = w;
    return r;
}

// The text of every address found in text.
std::vector<std::string> addressTexts(std::string_view text) {
    std::vector<std::string> out;
    for (const addresses::Span& a : addresses::find(text))
        out.emplace_back(text.substr(a.pos, a.length));
    return out;
}

// The text without blanks (space, tab, full-width space) and line ends.
std::string withoutBlanksAndLineEnds(std::string_view text) {
    std::string out;
    for (std::size_t p = 0; p < text.size();) {
        const std::size_t len = cp932::charLength(text, p);
        const std::string_view c = text.substr(p, len);
        if (c != " " && c != "\t" && c != "\r" && c != "\n" && c != "\x81\x40") out.append(c);
        p += len;
    }
    return out;
}

// A web address of 122 columns.
const std::string kLongUrl =
    "https://www.example.co.jp/newsletter/2026/12/articles/" +
    std::string("012345678901234567890123456789012345678901234567890123456789") + "/ab.html";

} // namespace

TEST(TextExport, HtmlPageHasOneLinePerLaidOutLineEscapedUnderAShiftJisHead) {
    // Ten columns: the first line wraps after "<a&b> あい" and the Japanese
    // part keeps its bytes.
    const std::string text = "<a&b> " + sj("あいうえお") + "\r\nx";
    const std::string page = textexport::htmlPage(text, width(10));
    const std::string expected = "<html>\r\n<head>\r\n"
                                 "\t<meta http-equiv=\"Content-Type\" "
                                 "content=\"text/html; charset=Shift_JIS\">\r\n"
                                 "\t</head>\r\n<body><pre>\r\n"
                                 "&lt;a&amp;b&gt; " +
                                 sj("あい\r\nうえお") + "\r\nx\r\n</Pre></body>\r\n</html>\r\n";
    EXPECT_EQ(page, expected);
}

TEST(TextExport, HardWrapKeepsAddressesWholeAndDropsBlanksAtItsBreaks) {
    ASSERT_EQ(kLongUrl.size(), 122u);
    const std::string para = sj("今週の特集はこちら：") + kLongUrl +
                             sj("をご覧ください。来週は年末特別号をお届けします。");
    struct Case {
        std::string text;
        int width;
        std::string wrapped;
    };
    const Case cases[] = {
        // The address that does not fit goes to a line of its own, left long.
        {para, 40,
         sj("今週の特集はこちら：\r\n") + kLongUrl +
             sj("\r\nをご覧ください。来週は年末特別号をお届け\r\nします。")},
        {para, 70,
         sj("今週の特集はこちら：\r\n") + kLongUrl +
             sj("\r\nをご覧ください。来週は年末特別号をお届けします。")},
        // The opening bracket goes with the address, the closing one and
        // the full stop stay after it.
        {sj("詳しくは（http://example.com/）まで。"), 20,
         sj("詳しくは\r\n（http://example.com/）\r\nまで。")},
        {sj("「http://example.com/」。"), 20, sj("「http://example.com/」。")},
        {sj("見本：http://example.com/。次"), 20, sj("見本：\r\nhttp://example.com/。\r\n次")},
        {"(see http://example.com/a_(b)), then", 20, "(see\r\nhttp://example.com/a_(b)),\r\nthen"},
        // Mail addresses, with and without mailto:.
        {"Contact: someone.long@example.co.jp today", 20,
         "Contact:\r\nsomeone.long@example.co.jp\r\ntoday"},
        {"write to mailto:mag@example.jp.", 20, "write to\r\nmailto:mag@example.jp."},
        {"www.example.jp/abcdefghijklmnopq/", 20, "www.example.jp/abcdefghijklmnopq/"},
        // Exactly the width: it fits; one more column: left long.
        {"see http://example.jp/ab ok", 20, "see\r\nhttp://example.jp/ab\r\nok"},
        {"http://example.jp/abc", 20, "http://example.jp/abc"},
        // Not addresses: they wrap at their joints as the screen does.
        {"xhttp://example.jp/abcdefgh", 20, "xhttp://example.jp/\r\nabcdefgh"},
        // Blanks at a break go; blanks before the writer's line end stay.
        {"word" + std::string(67, ' ') + "next", 40, "word\r\nnext"},
        {sj("あいう") + std::string(15, ' ') + sj("　　　えお"), 10, sj("あいう\r\nえお")},
        {"abcdefghij\tk", 10, "abcdefghij\r\nk"},
        {"abc" + std::string(120, ' ') + "def", 10, "abc\r\ndef"},
        {"abc   \r\ndef", 10, "abc   \r\ndef"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textexport::hardWrapped(c.text, width(c.width)), c.wrapped)
            << c.text << " at " << c.width;
}

TEST(TextExport, HardWrapBreaksReplaceTheHangingBlanks) {
    using B = textexport::WrapBreak;
    auto breaks = [](const std::string& text, int w) {
        std::vector<std::tuple<std::size_t, std::size_t, bool>> out;
        for (const B& b : textexport::hardWrapBreaks(text, width(w)))
            out.emplace_back(b.pos, b.length, b.lineEnd);
        return out;
    };
    using T = std::vector<std::tuple<std::size_t, std::size_t, bool>>;
    EXPECT_EQ(breaks("word" + std::string(67, ' ') + "next", 40), (T{{4, 67, true}}));
    EXPECT_EQ(breaks(sj("あいうえおかきくけこさし"), 10), (T{{10, 0, true}, {20, 0, true}}));
    // Blanks that begin a logical line and fill its first line go, with no
    // line end in their place.
    EXPECT_EQ(breaks("x\r\n" + std::string(60, ' ') + "abc", 10), (T{{3, 60, false}}));
    EXPECT_EQ(textexport::hardWrapped("x\r\n" + std::string(60, ' ') + "abc", width(10)),
              "x\r\nabc");
    EXPECT_EQ(breaks("short\r\n", 10), T{});
}

TEST(TextExport, HardWrapKeepsEveryByteButBlanksAndIsStableUnderItself) {
    // Random texts of ASCII words, double-byte characters, blanks, closing
    // brackets, addresses and every kind of line end, at random widths.
    std::mt19937 rng(20261209);
    const std::vector<std::string> pieces = {"a",
                                             "word ",
                                             " ",
                                             sj("あ"),
                                             sj("」"),
                                             sj("。"),
                                             "\r\n",
                                             "\n",
                                             "\r",
                                             "\t",
                                             "http://example.jp/a-b",
                                             "mail@example.jp",
                                             sj("（"),
                                             "\x82",
                                             sj("　")};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i)
            text += pieces[rng() % pieces.size()];
        const LayoutRules rules = width(10 + static_cast<int>(rng() % 30));
        const std::string wrapped = textexport::hardWrapped(text, rules);

        // Wrapping again inserts nothing.
        ASSERT_EQ(textexport::hardWrapped(wrapped, rules), wrapped) << "round " << round;
        // Every address comes out whole.
        ASSERT_EQ(addressTexts(wrapped), addressTexts(text)) << "round " << round;
        // Only line ends were added and blanks left out.
        ASSERT_EQ(withoutBlanksAndLineEnds(wrapped), withoutBlanksAndLineEnds(text))
            << "round " << round;
        // The writer's own line ends are all there.
        auto lineEnds = [](std::string_view t) {
            std::size_t k = 0;
            for (std::size_t i = 0; i < t.size(); ++i)
                if (t[i] == '\n' || (t[i] == '\r' && (i + 1 >= t.size() || t[i + 1] != '\n'))) ++k;
            return k;
        };
        ASSERT_GE(lineEnds(wrapped), lineEnds(text)) << "round " << round;
    }
}

TEST(TextExport, AddressesEndWhereASentenceGoesOn) {
    struct Case {
        std::string text;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {sj("（http://example.com/）"), {"http://example.com/"}},
        {sj("http://example.com/。"), {"http://example.com/"}},
        {"(http://example.com/).", {"http://example.com/"}},
        {"http://example.com/wiki/A_(b), x", {"http://example.com/wiki/A_(b)"}},
        {"[https://example.com/a?b=1&c=2#d]", {"https://example.com/a?b=1&c=2#d"}},
        {"FTP://Example.com/x;", {"FTP://Example.com/x"}},
        {"go www.example.jp. or a.b-c@mail.example.jp.",
         {"www.example.jp", "a.b-c@mail.example.jp"}},
        {"mailto:a@example.jp?subject=x!", {"mailto:a@example.jp?subject=x"}},
        {"<http://example.com/>\"x\"", {"http://example.com/"}},
        {sj("連絡先：") + "info@example.jp" + sj("まで"), {"info@example.jp"}},
        // Not addresses: a prefix alone, one glued to a word, a lone @, a
        // trail byte that looks like @.
        {"http:// www. xhttp://a.jp @ a@ @b", {}},
        {sj("ー") + "abc", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(addressTexts(c.text), c.found) << c.text;
}
