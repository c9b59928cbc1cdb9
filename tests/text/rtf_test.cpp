#include "text/rtf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

std::string u8(const QString& s) {
    return s.toStdString();
}

// The text of one paragraph's runs, each as [text] with the marks of its
// format: b(old), i(talic), u(nderline), s(trike-out).
std::string runsOf(const rtf::Paragraph& p) {
    std::string out;
    for (const rtf::Run& r : p.runs) {
        out += '[';
        if (r.format.bold) out += "b:";
        if (r.format.italic) out += "i:";
        if (r.format.underline) out += "u:";
        if (r.format.strikeOut) out += "s:";
        out += u8(r.text) + ']';
    }
    return out;
}

const rtf::Run& runWith(const rtf::RichText& t, const QString& text) {
    for (const auto& p : t.paragraphs)
        for (const auto& r : p.runs)
            if (r.text == text) return r;
    static const rtf::Run none;
    ADD_FAILURE() << "no run " << u8(text);
    return none;
}

// A document as WordPad on a Japanese system writes it: the font table in
// code page 932, the colour table with its automatic first entry, a
// generator destination, paragraph and character formats.
const std::string kWordPadSample =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041{\\fonttbl{"
    "\\f0\\fnil\\fcharset128 "
    "\\'82\\'6c\\'82\\'72 "
    "\\'82\\'6f\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}{\\f1\\fswiss\\fcharset0 "
    "Arial;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
    "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\sa200\\sl276\\slmult1\\lang17"
    "\\f0\\fs22\\'82\\'a0\\'82\\'a2\\'82\\'a4 \\b\\'91\\'be\\'8e\\'9a\\b0  \\i italic\\i0\\par\r\n"
    "\\cf1\\'90\\'d4\\cf2 blue\\cf0  \\ul under\\ulnone\\par\r\n"
    "\\pard\\qc\\f1\\fs32 Centered \\u8364?\\par\r\n"
    "}\r\n";

} // namespace

TEST(RichText, RecognisesTheHeader) {
    EXPECT_TRUE(rtf::isRichText("{\\rtf1\\ansi x}"));
    EXPECT_TRUE(rtf::isRichText("{\\rtf"));
    EXPECT_FALSE(rtf::isRichText("{\\rt"));
    EXPECT_FALSE(rtf::isRichText(" {\\rtf1}"));
    EXPECT_FALSE(rtf::isRichText("{\\RTF1}"));
}

TEST(RichText, ReadsAWordPadDocument) {
    const rtf::RichText t = rtf::read(kWordPadSample);
    ASSERT_EQ(t.paragraphs.size(), 3u);
    EXPECT_EQ(runsOf(t.paragraphs[0]), "[あいう ][b:太字][ ][i:italic]");
    EXPECT_EQ(runsOf(t.paragraphs[1]), "[赤][blue][ ][u:under]");
    EXPECT_EQ(runsOf(t.paragraphs[2]), "[Centered €]");

    const rtf::Run& jp = t.paragraphs[0].runs[0];
    EXPECT_EQ(u8(jp.format.fontFamily), "ＭＳ Ｐゴシック");
    EXPECT_EQ(jp.format.halfPoints, 22);
    EXPECT_FALSE(jp.format.color);
    EXPECT_EQ(t.paragraphs[0].alignment, rtf::Alignment::Left);

    EXPECT_EQ(t.paragraphs[1].runs[0].format.color, (rtf::Color{255, 0, 0}));
    EXPECT_EQ(t.paragraphs[1].runs[1].format.color, (rtf::Color{0, 0, 255}));
    EXPECT_FALSE(t.paragraphs[1].runs[2].format.color); // \cf0: the automatic colour

    const rtf::Run& centred = t.paragraphs[2].runs[0];
    EXPECT_EQ(t.paragraphs[2].alignment, rtf::Alignment::Center);
    EXPECT_EQ(u8(centred.format.fontFamily), "Arial");
    EXPECT_EQ(centred.format.halfPoints, 32);
}

TEST(RichText, UnicodeEscapesSkipTheirFallback) {
    auto text = [](const std::string& body) {
        return u8(rtf::read("{\\rtf1 " + body + "}").plainText());
    };
    EXPECT_EQ(text("caf\\u233?s"), "cafés");
    EXPECT_EQ(text("\\uc2\\u12354\\'82\\'a0x"), "あx");   // a double-byte fallback
    EXPECT_EQ(text("\\u-143?"), "ｱ");                     // negative: 65536 + N
    EXPECT_EQ(text("\\uc0\\u26085\\u26412 x"), "日本x");  // no fallback at all
    EXPECT_EQ(text("\\u-10179?\\u-8704?"), "\U0001F600"); // a surrogate pair
    EXPECT_EQ(text("\\u55357?x"), "\uFFFDx");             // a lone surrogate
    EXPECT_EQ(text("{\\uc5\\u12354 ab}c"), "あc");        // the fallback ends with its group
    EXPECT_EQ(text("\\u65 \\'41B"), "AB");                // an escape is one fallback character
    EXPECT_EQ(text("{\\uc2 {\\u12354 xy}\\u12356 ab}"), "あい"); // \uc belongs to its group
    EXPECT_EQ(text("\\uc99999999999\\u65 abc"), "A");
    EXPECT_EQ(text("\\u99999999999 x"), "\uFFFD");
    EXPECT_EQ(text("\\u x"), "x"); // no number: nothing
}

TEST(RichText, BytesAreDecodedInTheFontsCodePage) {
    const std::string fonts = "{\\fonttbl{\\f0\\fcharset0 Times;}{\\f1\\fcharset128 Gothic;}"
                              "{\\f2\\fcharset0\\cpg932 X;}{\\f3\\fcharset1 Y;}{\\f4 Z;}}";
    auto text = [&](const std::string& head, const std::string& body) {
        return u8(rtf::read("{\\rtf1" + head + fonts + body + "}").plainText());
    };
    EXPECT_EQ(text("\\ansi", "\\f0 \\'e9\\'80\\'81"), "é€\uFFFD");     // Windows-1252
    EXPECT_EQ(text("\\ansi", "\\f1 \\'82\r\n\\'a0\\'95\\\\"), "あ表"); // split, and a \\ trail
    EXPECT_EQ(text("\\ansi", "\\f1 \\'83\\'5c\\'83A"), "ソア");
    EXPECT_EQ(text("\\ansi", "\\f1 \x93\xfa\x8c\xea"), "日語");       // raw bytes
    EXPECT_EQ(text("\\ansi", "\\f1 \\'82 x\\'82"), "\uFFFD x\uFFFD"); // a lone lead byte
    EXPECT_EQ(text("\\ansi", "\\f1 \\'82\\b\\'a0"), "\uFFFD\uFFFD");  // a control word parts them
    EXPECT_EQ(text("\\ansi", "\\f2 \\'82\\'a0"), "あ");               // \cpg wins over \fcharset
    EXPECT_EQ(text("\\ansi\\ansicpg932", "\\f3 \\'82\\'a0\\f4 \\'82\\'a0\\f9 \\'82\\'a0"),
              "あああ");                                                 // the document's code page
    EXPECT_EQ(text("\\ansi\\ansicpg932", "\\f0 \\'82\\'a0"), "‚\u00A0"); // ANSI stays 1252
    EXPECT_EQ(u8(rtf::read("{\\rtf1{\\fonttbl{\\f0\\fcharset204 C;}{\\f1\\fcharset134 S;}}"
                           "\\f0\\'c0\\'e1\\f1\\'c4\\'e3}")
                     .plainText()),
              "Аб你");                          // other code pages through Qt's converters
    EXPECT_EQ(text("\\ansi", "\\f1 \\'8"), ""); // a broken escape
    EXPECT_EQ(text("\\ansi", "\\f1 \\'zz!"), "zz!");
}

TEST(RichText, FontTableForms) {
    const rtf::RichText t = rtf::read(
        "{\\rtf1\\deff1{\\fonttbl\\f0\\froman Tms Rmn;\\f1\\fcharset128{\\*\\panose 0}"
        "\\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;{\\f2\\fcharset128 @\\'82\\'6c\\'82\\'72 "
        "\\'96\\'be\\'92\\'a9;}}"
        "a\\f0 b\\f2 c\\plain d\\f7 e}");
    ASSERT_EQ(t.paragraphs.size(), 1u);
    const auto& runs = t.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(u8(runs[0].format.fontFamily), "ＭＳ 明朝"); // \deff1
    EXPECT_EQ(u8(runs[1].format.fontFamily), "Tms Rmn");
    EXPECT_EQ(u8(runs[2].format.fontFamily), "ＭＳ 明朝"); // vertical form
    EXPECT_EQ(u8(runs[3].format.fontFamily), "ＭＳ 明朝"); // \plain: the default font
    EXPECT_EQ(u8(runs[4].format.fontFamily), "");          // no such font
    EXPECT_EQ(u8(t.plainText()), "abcde");
}

TEST(RichText, ColourTable) {
    const rtf::RichText t =
        rtf::read("{\\rtf1{\\colortbl\\red1\\green2\\blue3;\\red300\\green-5\\blue0;;}"
                  "a\\cf0 b\\cf1 c\\cf2 d\\cf9 e\\cf1\\highlight0 f}");
    ASSERT_EQ(t.paragraphs[0].runs.size(), 6u);
    const auto& r = t.paragraphs[0].runs;
    EXPECT_FALSE(r[0].format.color); // no \cf: the viewer's colour, not entry 0
    EXPECT_EQ(r[1].format.color, (rtf::Color{1, 2, 3}));
    EXPECT_EQ(r[2].format.color, (rtf::Color{255, 0, 0}));
    EXPECT_FALSE(r[3].format.color); // an automatic entry
    EXPECT_FALSE(r[4].format.color); // past the table
    EXPECT_EQ(r[5].format.background, (rtf::Color{1, 2, 3}));
}

TEST(RichText, GroupsAndResets) {
    const rtf::RichText t =
        rtf::read("{\\rtf1 {\\b bold}plain\\i\\ul x\\plain y\\strike s\\strike0 "
                  "{\\super 2}{\\sub 3}\\ulw w\\ul0 n{\\v hidden}\\par"
                  "\\qc centre{\\qr\\par}\\pard left\\par"
                  "\\fs40 a\\fs99999 b\\fs0 c\\fs d}");
    ASSERT_EQ(t.paragraphs.size(), 4u);
    EXPECT_EQ(runsOf(t.paragraphs[0]), "[b:bold][plain][i:u:x][y][s:s][2][3][u:w][n]");
    EXPECT_EQ(runWith(t, "2").format.position, rtf::VerticalPosition::Superscript);
    EXPECT_EQ(runWith(t, "3").format.position, rtf::VerticalPosition::Subscript);
    EXPECT_EQ(t.paragraphs[1].alignment, rtf::Alignment::Right); // the mark's alignment
    EXPECT_EQ(t.paragraphs[2].alignment, rtf::Alignment::Left);
    EXPECT_EQ(u8(t.paragraphs[1].runs[0].text), "centre");
    const auto& sizes = t.paragraphs[3].runs;
    ASSERT_EQ(sizes.size(), 4u);
    EXPECT_EQ(sizes[0].format.halfPoints, 40);
    EXPECT_EQ(sizes[1].format.halfPoints, rtf::kMaxHalfPoints);
    EXPECT_EQ(sizes[2].format.halfPoints, rtf::kMinHalfPoints);
    EXPECT_EQ(sizes[3].format.halfPoints, 24);
}

TEST(RichText, ControlNoncharacterAndDirectionMarksShowAsReplacement) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\u127?", "\uFFFD"},
        {"\\u128?", "\uFFFD"},
        {"\\u159?", "\uFFFD"},
        {"\\u160?", "\u00A0"},
        {"\\u-1?", "\uFFFD"},
        {"\\u-2?", "\uFFFD"},
        {"\\u-560?", "\uFFFD"},
        {"\\u-529?", "\uFFFD"},
        {"\\u-528?", "\uFDF0"},
        {"\\u1564?", "\uFFFD"},
        {"\\u8205?", "\u200D"},
        {"\\u8206?", "\uFFFD"},
        {"\\u8207?", "\uFFFD"},
        {"\\u8234?", "\uFFFD"},
        {"\\u8238?", "\uFFFD"},
        {"\\u8294?", "\uFFFD"},
        {"\\u8297?", "\uFFFD"},
        {"\\u8298?", "\u206A"},
        {"\\u-10177?\\u-8193?", "\uFFFD"}, // U+1FFFF
        {"\\u-10179?\\u-8704?", "\U0001F600"},
    };
    for (const auto& [escapes, shown] : cases)
        EXPECT_EQ(u8(rtf::read(std::string("{\\rtf1 a") + escapes + "b}").plainText()),
                  std::string("a") + shown + "b")
            << escapes;
}

TEST(RichText, SpecialCharactersAndBreaks) {
    const rtf::RichText t = rtf::read("{\\rtf1 a\\line b\\tab c\\~d\\emdash\\{\\}\\\\e\\-f\\_\r\n"
                                      "g\\\r\nh\\par\\par i\\cell j\\row\x01\\'0d}");
    EXPECT_EQ(u8(t.plainText()), "a\u2028b\tc\u00A0d—{}\\ef\u2011g\nh\n\ni\tj\n\uFFFD\uFFFD");
}

TEST(RichText, SkipsWhatIsNotText) {
    auto text = [](const std::string& body) {
        return u8(rtf::read("{\\rtf1 " + body + "}").plainText());
    };
    EXPECT_EQ(text("{\\*\\unknown secret}a"), "a");
    EXPECT_EQ(text("{\\info{\\title T}{\\author A}}a"), "a");
    EXPECT_EQ(text("{\\pict\\pngblip 89504e47}a"), "a");
    EXPECT_EQ(text("{\\stylesheet{\\s0 Normal;}}a"), "a");
    EXPECT_EQ(text("{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}"), "link");
    EXPECT_EQ(text("\\foobar12 a\\zz-3 b"), "ab");
    EXPECT_EQ(text("{\\*\\foo {\\b inner}{\\fonttbl x} more}a"), "a");
    EXPECT_EQ(text("{\\pict\\bin6 }{\\}{}}a"), "a"); // binary data may hold braces
    EXPECT_EQ(text("a\\bin99999999999 }}}b"), "a");
    EXPECT_EQ(text("{\\header h}{\\footer f}{\\footnote n}body"), "body");
}

TEST(RichText, MalformedInputShowsWhatCouldBeRead) {
    auto text = [](const std::string& all) { return u8(rtf::read(all).plainText()); };
    EXPECT_EQ(text("{\\rtf1 a} b"), "a");         // the document ends with its group
    EXPECT_EQ(text("{\\rtf1 {\\b bold"), "bold"); // never closed
    EXPECT_EQ(text("{\\rtf1 a}}}"), "a");
    EXPECT_EQ(text("}}{\\rtf1 a"), "a");
    EXPECT_EQ(text("{\\rtf1 a\\"), "a");
    EXPECT_EQ(text("{\\rtf1 a\\b"), "a");
    EXPECT_EQ(text("{\\rtf1 a\\u-"), "a-");
    EXPECT_EQ(text(""), "");
    EXPECT_EQ(text("plain words"), "plain words");
    EXPECT_EQ(rtf::read("").paragraphs.size(), 1u);

    // Every beginning of a real document reads without failing, and what
    // it shows is a beginning of what the whole shows.
    const QString whole = rtf::read(kWordPadSample).plainText();
    for (std::size_t n = 0; n <= kWordPadSample.size(); ++n) {
        const QString part = rtf::read(std::string_view(kWordPadSample).substr(0, n)).plainText();
        // (Its last character may differ: a lead byte cut from its trail
        // byte, a number cut short.)
        EXPECT_TRUE(whole.startsWith(part.left(part.size() - 1))) << n << ": " << u8(part);
        EXPECT_LE(part.size(), static_cast<qsizetype>(n));
    }
}

TEST(RichText, DeepNestingIsBounded) {
    const std::size_t deep = 100000;
    const std::string nested =
        "{\\rtf1 " + std::string(deep, '{') + "\\b x" + std::string(deep, '}') + " y}";
    const rtf::RichText t = rtf::read(nested);
    EXPECT_EQ(runsOf(t.paragraphs[0]), "[b:x][ y]");

    // Below the bound a group's format ends with it; past the bound groups
    // share the deepest kept group's state, so it outlives them.
    auto innerGroup = [](std::size_t depth) {
        const std::string open(depth, '{'), close(depth, '}');
        return runsOf(rtf::read("{\\rtf1 " + open + "{\\b x}y" + close + "}").paragraphs[0]);
    };
    EXPECT_EQ(innerGroup(500), "[b:x][y]");
    EXPECT_EQ(innerGroup(2000), "[b:xy]");

    // Groups past the limit inside a skipped destination stay skipped, and
    // the text after the destination shows.
    const std::string skipped =
        "{\\rtf1 {\\*\\x " + std::string(5000, '{') + "hidden" + std::string(5000, '}') + "}shown}";
    EXPECT_EQ(u8(rtf::read(skipped).plainText()), "shown");
}

TEST(RichText, TimeGrowsLinearlyWithTheInput) {
    auto repeat = [](const std::string& piece, std::size_t bytes) {
        std::string out = "{\\rtf1{\\fonttbl{\\f0\\fcharset128 G;}}\\f0 ";
        while (out.size() < bytes)
            out += piece;
        return out;
    };
    const std::size_t bytes = 200'000;
    const std::vector<std::string> inputs = {
        repeat("\\'82\\'a0", bytes),
        repeat("\x82", bytes), // one long run of lone lead bytes
        std::string(bytes, '{'),
        repeat("{\\b a}{\\i b}", bytes), // a run per character
        repeat("\\u12354?", bytes),
        repeat("\\par ", bytes),
        "{\\rtf1\\" + std::string(bytes, 'a') + "1",
        "{\\rtf1\\fs" + std::string(bytes, '9') + " x",
        repeat("{\\*\\x {{}}}", bytes),
        repeat("{\\colortbl;;;;;;}", bytes),
    };
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& in : inputs) {
        const rtf::RichText t = rtf::read(in);
        EXPECT_LE(t.plainText().size(), static_cast<qsizetype>(in.size()));
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0); // quadratic work would take hours
}

// Mutated documents from a fixed seed: every one reads without failing, in
// bounded time, and gives text a viewer can show.
TEST(RichText, FuzzedInputNeverFails) {
    const std::vector<std::string> seeds = {
        kWordPadSample,
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset134 S;}{\\f2\\fcharset204 "
        "C;}}\\f0 caf\\'e9 \\f1\\'c4\\'e3\\f2\\'c0 \\uc2\\u12354\\'82\\'a0\\line\\tab x}",
        "{\\rtf1{\\colortbl;\\red9\\green9\\blue9;}{\\*\\x{\\b y}}{\\pict\\bin3 "
        "{}}\\cf1\\highlight1"
        "{\\field{\\*\\fldinst A}{\\fldrslt B}}\\qc\\par\\pard\\v h\\v0\\\r\n}",
    };
    const std::vector<std::string> pieces = {"{",
                                             "}",
                                             "\\",
                                             "\\'",
                                             "\\'8",
                                             "\\'82",
                                             "\\u",
                                             "\\u-",
                                             "\\uc",
                                             "\\bin",
                                             "\\bin2 ",
                                             "\\*",
                                             "\\par",
                                             "\\f",
                                             "\\f1",
                                             "\\fs",
                                             "\\cf",
                                             "\\fonttbl",
                                             "\\colortbl",
                                             "\\plain",
                                             "\\pard",
                                             ";",
                                             "\r\n",
                                             "\x82",
                                             "\xa0",
                                             "\\uc0",
                                             "\\u65535",
                                             "\\u-1",
                                             "9999999999",
                                             "-",
                                             "\\fcharset128",
                                             "\\cpg932",
                                             "\\red",
                                             "\\line",
                                             "\\'"};
    std::mt19937 random(20240607);
    auto below = [&](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 2500; ++round) {
        std::string in = seeds[below(seeds.size())];
        const std::size_t mutations = 1 + below(8);
        for (std::size_t m = 0; m < mutations; ++m) {
            const std::size_t at = below(in.size() + 1);
            switch (below(7)) {
            case 0: // flip a byte
                if (!in.empty()) in[below(in.size())] = static_cast<char>(below(256));
                break;
            case 1: // cut the end
                in.resize(at);
                break;
            case 2: // take a piece out
                in.erase(at, below(16));
                break;
            case 3: // put a piece of syntax in
                in.insert(at, pieces[below(pieces.size())]);
                break;
            case 4: // repeat a piece of the document
                in.insert(at, in.substr(below(in.size() + 1), below(24)));
                break;
            case 5: // deep nesting
                in.insert(at, std::string(below(3000), below(2) ? '{' : '}'));
                break;
            default: // a brace or backslash
                in.insert(at, 1, "{}\\"[below(3)]);
                break;
            }
        }
        const rtf::RichText t = rtf::read(in);
        ASSERT_FALSE(t.paragraphs.empty());
        ASSERT_LE(t.plainText().size(), static_cast<qsizetype>(in.size()));
        for (const rtf::Paragraph& p : t.paragraphs) {
            for (const rtf::Run& r : p.runs) {
                ASSERT_GE(r.format.halfPoints, rtf::kMinHalfPoints);
                ASSERT_LE(r.format.halfPoints, rtf::kMaxHalfPoints);
                for (qsizetype i = 0; i < r.text.size(); ++i) {
                    const QChar c = r.text.at(i);
                    ASSERT_FALSE(c.unicode() < 0x20 && c != QLatin1Char('\t')) << round;
                    if (c.isHighSurrogate()) {
                        ASSERT_TRUE(i + 1 < r.text.size() && r.text.at(i + 1).isLowSurrogate());
                        ++i;
                    } else {
                        ASSERT_FALSE(c.isSurrogate()) << round;
                    }
                }
            }
        }
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 30.0);
}
