#include "text/cp932.h"

#include <gtest/gtest.h>

using namespace std::string_view_literals;

TEST(Cp932Bytes, CharacterLengthFollowsLeadAndTrailRanges) {
    EXPECT_EQ(cp932::charLength("\x81\x40"sv, 0), 2u); // trail 0x40
    EXPECT_EQ(cp932::charLength("\x81\x7E"sv, 0), 2u); // trail 0x7E
    EXPECT_EQ(cp932::charLength("\x81\x7F"sv, 0), 1u); // 0x7F is no trail byte
    EXPECT_EQ(cp932::charLength("\x81\x80"sv, 0), 2u);
    EXPECT_EQ(cp932::charLength("\xFC\xFC"sv, 0), 2u);
    EXPECT_EQ(cp932::charLength("\x83\xA1"sv, 0), 2u); // 0xA1 after a lead byte is a trail
    EXPECT_EQ(cp932::charLength("\xA1\x83"sv, 0), 1u); // half-width katakana
    EXPECT_EQ(cp932::charLength("\x81"sv, 0), 1u);     // lone lead byte at the end
    EXPECT_EQ(cp932::charLength("\x81\r\n"sv, 0), 1u); // a lead byte never swallows a CR
    for (unsigned char b : {0x80, 0xA0, 0xFD, 0xFE, 0xFF}) {
        const char s[2] = {static_cast<char>(b), '\x40'};
        EXPECT_EQ(cp932::charLength(std::string_view(s, 2), 0), 1u) << int(b);
    }
}

TEST(Cp932Bytes, BoundaryNeverSplitsACharacterOrCrLf) {
    // a, 0x83 0x41 (ア), 0x83 0x83 (ャ), 0xB1 (ｱ), CR LF, 0x81
    const std::string_view t = "a\x83\x41\x83\x83\xB1\r\n\x81"sv;
    const std::size_t expected[] = {0, 1, 1, 3, 3, 5, 6, 6, 8, 9};
    for (std::size_t pos = 0; pos <= t.size(); ++pos)
        EXPECT_EQ(cp932::boundaryAtOrBefore(t, pos), expected[pos]) << pos;
    // A long run of lead-range bytes is paired from the last byte that cannot lead.
    const std::string_view run = "x\x83\x83\x83\x83\x83\x83"sv;
    EXPECT_EQ(cp932::charStartAtOrBefore(run, 4), 3u);
    EXPECT_EQ(cp932::charStartAtOrBefore(run, 5), 5u);
    // The document's count: a double-byte character and a CR LF pair count one.
    EXPECT_EQ(cp932::countCharacters(t), 6u);
    EXPECT_EQ(cp932::prefixOfCharacters(t, 5), 8u); // up to and with the CR LF
}

TEST(Cp932Bytes, ColumnsCountDoubleByteAsTwoAndTabsToEight) {
    const std::string_view t = "a\x82\xA0\t\xB1"sv;
    EXPECT_EQ(cp932::charColumns(t, 0, 0), 1);
    EXPECT_EQ(cp932::charColumns(t, 1, 1), 2);
    EXPECT_EQ(cp932::charColumns(t, 3, 3), 5);
    EXPECT_EQ(cp932::charColumns(t, 3, 8), 8);
    EXPECT_EQ(cp932::charColumns(t, 4, 8), 1);
}

TEST(Cp932Conversion, MicrosoftMapping) {
    EXPECT_EQ(cp932::decode("\x81\x60"sv), QString(QChar(0xFF5E)));
    EXPECT_EQ(cp932::decode("\x81\x5F"sv), QString(QChar(0xFF3C)));
    EXPECT_EQ(cp932::decode("\x87\x54"sv), QString(QChar(0x2160)));
    EXPECT_EQ(cp932::decode("\xFA\x4A"sv), QString(QChar(0x2160)));
    EXPECT_EQ(cp932::decode("\x87\x40"sv), QString(QChar(0x2460)));
    EXPECT_EQ(cp932::decode("\x5C\x7E"sv), QStringLiteral("\\~"));
    EXPECT_EQ(cp932::encode(QString(QChar(0xFF5E))).bytes, "\x81\x60");
    EXPECT_EQ(cp932::encode(QString(QChar(0x2160))).bytes, "\x87\x54");
    EXPECT_EQ(cp932::encode(QString(QChar(0xFFE2))).bytes, "\x81\xCA");
    EXPECT_EQ(cp932::encode(QStringLiteral("ｱｲ")).bytes, "\xB1\xB2");
}

TEST(Cp932Conversion, EveryDefinedCodeRoundTripsExceptDocumentedDuplicates) {
    int defined = 0;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!cp932::isLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!cp932::isTrailByte(static_cast<unsigned char>(trail))) continue;
            const char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const char16_t u = cp932::toUnicode(std::string_view(b, 2), 0);
            if (u == 0) continue;
            ++defined;
            const auto e = cp932::encode(QStringView(&u, 1));
            ASSERT_TRUE(e.ok()) << std::hex << lead << trail;
            ASSERT_EQ(e.bytes.size(), 2u);
            const unsigned code = lead << 8 | trail;
            const unsigned back = static_cast<unsigned char>(e.bytes[0]) << 8 |
                                  static_cast<unsigned char>(e.bytes[1]);
            EXPECT_EQ(cp932::toUnicode(e.bytes, 0), u);
            if (back != code) {
                const bool duplicate = lead == 0xED || lead == 0xEE ||
                                       (code >= 0x8790 && code <= 0x879C) ||
                                       (code >= 0xFA4A && code <= 0xFA5B);
                EXPECT_TRUE(duplicate) << std::hex << code << " -> " << back;
            }
        }
    }
    // JIS X 0208 with the NEC and IBM extensions and the user-defined area.
    EXPECT_GT(defined, 7900);
}

TEST(Cp932Conversion, InvalidBytesShowASubstituteEach) {
    const QString s = cp932::decode("a\x80\xA0\xFD\xFE\xFF\x85\x40\x81"sv);
    const QChar sub(cp932::kInvalidSubstitute);
    EXPECT_EQ(s, QString("a") + QString(8, sub));
    EXPECT_EQ(cp932::decode(std::string_view("\0x", 2)), QString(QChar(0)) + "x");
}

TEST(Cp932Conversion, EncodingReportsWhatItCannotHold) {
    const QString text = QStringLiteral("あ😀é\u00A5い");
    const auto e = cp932::encode(text);
    EXPECT_EQ(e.bytes, "\x82\xA0\x82\xA2");
    ASSERT_EQ(e.bad.size(), 3u);
    EXPECT_EQ(e.bad[0].ch, U'\U0001F600');
    EXPECT_EQ(e.bad[0].index, 1);
    EXPECT_EQ(e.bad[1].ch, U'é');
    EXPECT_EQ(e.bad[2].ch, U'\u00A5');
    // A lone surrogate is not representable either.
    EXPECT_FALSE(cp932::encode(QString(QChar(0xD800))).ok());
}

TEST(Cp932Conversion, OtherUnicodeFormsEncodeToTheirCodesAndDecodeToTheMicrosoftForms) {
    // 「10時〜12時」 as a web page writes it (U+301C WAVE DASH).
    const cp932::EncodeResult r = cp932::encode(QStringLiteral("10時\u301C12時"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, "10\x8E\x9E\x81\x60"
                       "12\x8E\x9E");
    for (const cp932::UnicodeEquivalent& e : cp932::kUnicodeEquivalents) {
        const QChar other(e.unicode);
        const cp932::EncodeResult enc = cp932::encode(QStringView(&other, 1));
        ASSERT_TRUE(enc.ok()) << std::hex << int(e.unicode);
        const std::string code{static_cast<char>(e.code >> 8), static_cast<char>(e.code & 0xFF)};
        EXPECT_EQ(enc.bytes, code) << std::hex << int(e.unicode);
        // Decoding gives the Microsoft form, which encodes back to the same code.
        const QString decoded = cp932::decode(code);
        EXPECT_NE(decoded, QString(other));
        EXPECT_EQ(cp932::encode(decoded).bytes, code);
    }
}
