#include "support/sjis.h"
#include "text/cp932.h"
#include "text/textexport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

LayoutRules width(int w) {
    LayoutRules r;
    r.width = w;
    return r;
}

// Removes the CR LF pairs that the hard wrap inserted: the lines it wrapped
// are those of the original text's line view that end without a line end.
std::vector<std::string> laidLines(std::string_view text, const LayoutRules& rules) {
    LineView v;
    v.setRules(rules);
    v.layoutAll(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < v.count(); ++i) {
        const LaidLine l = v.line(i);
        out.emplace_back(text.substr(l.start, l.length));
    }
    return out;
}

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

TEST(TextExport, HardWrapKeepsEveryByteAndIsStableUnderItself) {
    // Random texts of ASCII words, double-byte characters, blanks, closing
    // brackets and every kind of line end, at random widths.
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
                                             "\x82",
                                             sj("　")};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i)
            text += pieces[rng() % pieces.size()];
        const LayoutRules rules = width(10 + static_cast<int>(rng() % 30));
        const std::string wrapped = textexport::hardWrapped(text, rules);

        // The laid-out lines of the original are the lines of the result.
        const std::vector<std::string> before = laidLines(text, rules);
        const std::vector<std::string> after = laidLines(wrapped, rules);
        ASSERT_EQ(before, after) << "round " << round;
        // Wrapping again inserts nothing.
        ASSERT_EQ(textexport::hardWrapped(wrapped, rules), wrapped) << "round " << round;
        // Only line ends were added.
        std::string stripped;
        std::size_t j = 0;
        for (std::size_t i = 0; i < wrapped.size(); ++i) {
            if (j < text.size() && wrapped[i] == text[j]) {
                stripped += wrapped[i];
                ++j;
            } else {
                ASSERT_TRUE(wrapped.compare(i, 2, "\r\n") == 0) << "round " << round;
                ++i;
            }
        }
        ASSERT_EQ(stripped, text) << "round " << round;
    }
}
