#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using encoding::Kind;

namespace {

// One short newsletter in each encoding (LF line ends), and the code page
// 932 bytes with CR LF that each converts to:
// 【もるもる通信】第12号 / 皆さん、こんにちは。今週のお知らせです。 /
// ・新刊のご案内〜春の特集
const std::string kUtf8 = "【もるもる通信】第12号\n"
                          "皆さん、こんにちは。今週のお知らせです。\n"
                          "・新刊のご案内〜春の特集\n";
const std::string kEucJp =
    "\xa1\xda\xa4\xe2\xa4\xeb\xa4\xe2\xa4\xeb\xc4\xcc\xbf\xae\xa1\xdb\xc2\xe8"
    "12\xb9\xe6\x0a\xb3\xa7\xa4\xb5\xa4\xf3\xa1\xa2\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf\xa1\xa3"
    "\xba\xa3\xbd\xb5\xa4\xce\xa4\xaa\xc3\xce\xa4\xe9\xa4\xbb\xa4\xc7\xa4\xb9\xa1\xa3\x0a\xa1\xa6"
    "\xbf\xb7\xb4\xa9\xa4\xce\xa4\xb4\xb0\xc6\xc6\xe2\xa1\xc1\xbd\xd5\xa4\xce\xc6\xc3\xbd\xb8\x0a";
const std::string kIso2022Jp = "\x1b$B!Z$b$k$b$kDL?.![Bh\x1b(B12\x1b$B9f\x1b(B\x0a"
                               "\x1b$B3'$5$s!\x22$3$s$K$A$O!#:#=5$N$*CN$i$;$G$9!#\x1b(B\x0a"
                               "\x1b$B!&?74)$N$40FFb!A=U$NFC=8\x1b(B\x0a";
const std::string kCp932 =
    "\x81y\x82\xe0\x82\xe9\x82\xe0\x82\xe9\x92\xca\x90M\x81z\x91\xe6"
    "12\x8d\x86\x0d\x0a\x8a"
    "F\x82\xb3\x82\xf1\x81"
    "A\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81"
    "B\x8d\xa1\x8fT\x82\xcc\x82\xa8\x92m\x82\xe7\x82\xb9\x82\xc5\x82\xb7\x81"
    "B\x0d\x0a\x81"
    "E\x90V\x8a\xa7\x82\xcc\x82\xb2\x88\xc4\x93\xe0\x81`\x8ft\x82\xcc\x93\xc1\x8fW\x0d\x0a";

// UTF-16 of text that is ASCII and CJK alike, from its UTF-16 units.
std::string utf16(const std::u16string& units, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t u : units) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
}

const std::u16string kUtf16Text = u"【もるもる通信】第12号\n"
                                  u"皆さん、こんにちは。今週のお知らせです。\n"
                                  u"・新刊のご案内〜春の特集\n";

} // namespace

TEST(Encoding, EachEncodingIsToldByItsBytes) {
    struct Case {
        const char* what;
        std::string bytes;
        Kind kind;
    };
    const std::vector<Case> cases = {
        {"UTF-8", kUtf8, Kind::Utf8},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF" + kUtf8, Kind::Utf8Bom},
        {"UTF-16 LE", utf16(kUtf16Text, true), Kind::Utf16Le},
        {"UTF-16 BE", utf16(kUtf16Text, false), Kind::Utf16Be},
        {"EUC-JP", kEucJp, Kind::EucJp},
        {"ISO-2022-JP", kIso2022Jp, Kind::Iso2022Jp},
        {"code page 932", kCp932, Kind::Cp932},
        {"ASCII", "Hello, world.\r\n", Kind::Cp932},
        {"empty", "", Kind::Cp932},
        // Short ones: one character each.
        {"あ in UTF-8", "\xE3\x81\x82", Kind::Utf8},
        {"あ in code page 932", "\x82\xA0", Kind::Cp932},
        {"今日は in code page 932", "\x8d\xa1\x93\xfa\x82\xcd", Kind::Cp932},
        {"あ in EUC-JP, also ､｢", "\xA4\xA2", Kind::Cp932}, // too short to tell
        {"ﾃｽ in code page 932", "\xC3\xBD", Kind::Cp932},
        {"今日は in EUC-JP", "\xba\xa3\xc6\xfc\xa4\xcf", Kind::EucJp},
        {"é in UTF-8", "caf\xC3\xA9", Kind::Cp932}, // also ｶﾌｪ's bytes; nothing to convert
        {"Ж in UTF-8", "\xD0\x96", Kind::Utf8},     // no code page 932 text
        {"お知らせ in EUC-JP", "\xa4\xaa\xc3\xce\xa4\xe9\xa4\xbb", Kind::EucJp},
        {"ｶﾀｶﾅ in code page 932", "\xb6\xc0\xb6\xc5", Kind::Cp932}, // not EUC-JP's kana
        {"ｱｲｳ in code page 932", "\xB1\xB2\xB3", Kind::Cp932},
        {"a BOM alone", "\xEF\xBB\xBF", Kind::Utf8Bom},
        // Bytes that keep no encoding's rules are opened as they are.
        {"damaged", "\x82\xA0\xFF\xFE\x80", Kind::Cp932},
        {"an ESC without a switch", "a\x1b[0mb", Kind::Cp932},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encoding::detect(c.bytes), c.kind) << c.what;
}

TEST(Encoding, StrictChecksRefuseBrokenSequences) {
    struct Case {
        std::string bytes;
        bool utf8, cp932, eucJp;
    };
    const std::vector<Case> cases = {
        {"abc", true, true, true},
        {"\xE3\x81\x82", true, false, false},      // あ in UTF-8
        {"\xE3\x81", false, true, false},          // cut short
        {"\xC0\xAF", false, true, true},           // an overlong /
        {"\xED\xA0\x80", false, false, false},     // a surrogate
        {"\xF4\x90\x80\x80", false, false, false}, // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", true, false, false},  // 😀
        {"\xA4\xA2", false, true, true},           // あ in EUC-JP
        {"\x8E\xB1", false, true, true},           // ｱ in EUC-JP
        {"\x8E\x41", false, true, false},          // not a katakana
        {"\x8F\xB0\xA1\x41", false, true, true},   // JIS X 0212, then A
        {"\x82\xA0\x82", false, false, false},     // a lone lead byte at the end
        {"\x85\x40", false, false, false},         // a code without a character
        {"\xA0", false, false, false},
        // Long 7-bit runs (read eight bytes at a time) around the others.
        {"abcdefgh\x82\xA0ijklmnop\xB1", false, true, false},
        {"abcdefghijklmnop\x80", false, false, false},
        {std::string("\0abcdefgh\xEA\xA4", 11), false, true, true}, // the last JIS kanji
        {"abcdefghijklmnop\xEB\x40", false, false, false},          // no character
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encoding::isUtf8(c.bytes), c.utf8) << testing::PrintToString(c.bytes);
        EXPECT_EQ(encoding::isCp932(c.bytes), c.cp932) << testing::PrintToString(c.bytes);
        EXPECT_EQ(encoding::isEucJp(c.bytes), c.eucJp) << testing::PrintToString(c.bytes);
    }
}

TEST(Encoding, EveryEncodingConvertsToTheSameCodePage932Text) {
    struct Case {
        const char* what;
        std::string bytes;
        Kind from;
    };
    std::string crlfUtf8 = kUtf8;
    for (std::size_t at = 0; (at = crlfUtf8.find('\n', at)) != std::string::npos; at += 2)
        crlfUtf8.insert(at, "\r");
    const std::vector<Case> cases = {
        {"UTF-8", kUtf8, Kind::Utf8},
        {"UTF-8 with CR LF", crlfUtf8, Kind::Utf8},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF" + kUtf8, Kind::Utf8Bom},
        {"UTF-16 LE", utf16(kUtf16Text, true), Kind::Utf16Le},
        {"UTF-16 BE", utf16(kUtf16Text, false), Kind::Utf16Be},
        {"EUC-JP", kEucJp, Kind::EucJp},
        {"ISO-2022-JP", kIso2022Jp, Kind::Iso2022Jp},
    };
    for (const Case& c : cases) {
        const encoding::Conversion r = encoding::toCp932(c.bytes, c.from);
        EXPECT_TRUE(r.ok()) << c.what;
        EXPECT_EQ(r.bytes, kCp932) << c.what;
    }
}

TEST(Encoding, CodePage932BytesComeBackUnchanged) {
    // LF line ends and bytes no character has stay as they are.
    const std::string bytes = "a\nb\r\x82\xA0\xFF\x85\x40";
    const encoding::Conversion r = encoding::toCp932(bytes, Kind::Cp932);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, bytes);
}

TEST(Encoding, LineEndsAndJisFormsTakeTheTypedCodes) {
    struct Case {
        std::string bytes;
        Kind from;
        std::string cp932;
    };
    const std::vector<Case> cases = {
        // − ‖ 〜 (U+2212, U+2016, U+301C) and their EUC-JP codes.
        {"\xE2\x88\x92\xE2\x80\x96\xE3\x80\x9C", Kind::Utf8,
         "\x81|\x81"
         "a\x81`"},
        {"\xa1\xdd\xa1\xc2\xa1\xc1", Kind::EucJp,
         "\x81|\x81"
         "a\x81`"},
        // Half-width katakana ｱ in EUC-JP and in ISO-2022-JP's katakana set.
        {"\x8E\xB1", Kind::EucJp, "\xB1"},
        {"\x1b(I1\x1b(B", Kind::Iso2022Jp, "\xB1"},
        // LF, CR and CR LF all become CR LF; a last line without an end stays so.
        {"a\nb\rc\r\nd", Kind::Utf8, "a\r\nb\r\nc\r\nd"},
        {"\r\r\n\n", Kind::Utf8, "\r\n\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const encoding::Conversion r = encoding::toCp932(c.bytes, c.from);
        EXPECT_TRUE(r.ok()) << testing::PrintToString(c.bytes);
        EXPECT_EQ(r.bytes, c.cp932) << testing::PrintToString(c.bytes);
    }
}

TEST(Encoding, CharactersWithoutACodeRefuseTheWholeConversion) {
    // 1 行: "Café ok" (é has no code), 2 行: "😀x🍣" after a CR LF, 3 行:
    // a broken byte (U+FFFD), after a lone LF.
    const std::string utf8 = "Caf\xC3\xA9 ok\r\n\xF0\x9F\x98\x80x\xF0\x9F\x8D\xA3\nab";
    encoding::Conversion r = encoding::toCp932(utf8, Kind::Utf8);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.bytes, "");
    const std::vector<encoding::Unconvertible> expected = {
        {1, 4, 0xE9}, {2, 1, 0x1F600}, {2, 3, 0x1F363}};
    EXPECT_EQ(r.bad, expected);
    EXPECT_EQ(encoding::describe(r.bad), QStringLiteral("1 行 4 桁: é (U+00E9)\n"
                                                        "2 行 1 桁: 😀 (U+1F600)\n"
                                                        "2 行 3 桁: 🍣 (U+1F363)\n"));

    // A byte EUC-JP cannot decode is reported where it stands.
    r = encoding::toCp932("ab\n\xA4\xA2\xFF", Kind::EucJp);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.bad, (std::vector<encoding::Unconvertible>{{2, 2, 0xFFFD}}));
}

TEST(Encoding, NamesForTheQuestion) {
    EXPECT_EQ(encoding::nameOf(Kind::Utf8), QStringLiteral("UTF-8"));
    EXPECT_EQ(encoding::nameOf(Kind::Utf8Bom), QStringLiteral("UTF-8 (BOM 付き)"));
    EXPECT_EQ(encoding::nameOf(Kind::Utf16Le), QStringLiteral("UTF-16"));
    EXPECT_EQ(encoding::nameOf(Kind::EucJp), QStringLiteral("EUC-JP"));
    EXPECT_EQ(encoding::nameOf(Kind::Iso2022Jp), QStringLiteral("ISO-2022-JP"));
    EXPECT_EQ(encoding::nameOf(Kind::Cp932), QStringLiteral("Shift_JIS (CP932)"));
}
