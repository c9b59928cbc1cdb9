#include "text/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

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

namespace {

// The converter's reading of one double-byte code: its character, or 0 when
// it gives its substitute (or more than one character).
char16_t converterDecodes(QStringDecoder& dec, unsigned code) {
    const char b[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    dec.resetState();
    const QString s = dec.decode(QByteArrayView(b, 2));
    if (s.size() != 1 || s[0].unicode() == 0x1A || s[0].unicode() == 0xFFFD) return 0;
    return s[0].unicode();
}

std::string codeBytes(unsigned code) {
    if (code < 0x100) return std::string(1, static_cast<char>(code));
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

} // namespace

// The tables are made when the program is built; here they are checked
// against the converter they were made from, code by code.
TEST(Cp932Tables, EveryCodeAgreesWithTheConverter) {
    QStringDecoder dec("Shift_JIS", QStringConverter::Flag::Stateless);
    QStringEncoder enc("Shift_JIS", QStringConverter::Flag::Stateless);
    ASSERT_TRUE(dec.isValid());
    ASSERT_TRUE(enc.isValid());

    // Decoding: every lead byte with every trail byte.
    std::map<char16_t, std::vector<unsigned>> codesOf; // ascending codes per character
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!cp932::isLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!cp932::isTrailByte(static_cast<unsigned char>(trail))) continue;
            const unsigned code = lead << 8 | trail;
            const char16_t u = converterDecodes(dec, code);
            ASSERT_EQ(cp932::toUnicode(codeBytes(code), 0), u) << std::hex << code;
            if (u) codesOf[u].push_back(code);
        }
    }

    // Encoding: every UTF-16 code unit on its own.
    int encodable = 0;
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const char16_t u = static_cast<char16_t>(unit);
        unsigned expected = 0;
        if (u < 0x80) {
            expected = u;
        } else if (u >= 0xFF61 && u <= 0xFF9F) {
            expected = 0xA1 + (u - 0xFF61);
        } else if (const auto it = codesOf.find(u); it != codesOf.end()) {
            // The converter's own code when it decodes back, else the first
            // code that decodes to the character.
            enc.resetState();
            const QByteArray b = enc.encode(QStringView(&u, 1));
            if (b.size() == 2) {
                const unsigned own =
                    static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]);
                const auto& codes = it->second;
                expected =
                    std::find(codes.begin(), codes.end(), own) != codes.end() ? own : codes.front();
            }
        }
        if (expected == 0 && u != 0)
            for (const cp932::UnicodeEquivalent& e : cp932::kUnicodeEquivalents)
                if (e.unicode == u) expected = e.code;

        const QChar ch(u);
        const cp932::EncodeResult r = cp932::encode(QStringView(&ch, 1));
        if (expected == 0 && u != 0) {
            ASSERT_FALSE(r.ok()) << std::hex << unit;
            ASSERT_TRUE(r.bytes.empty()) << std::hex << unit;
        } else {
            ASSERT_TRUE(r.ok()) << std::hex << unit;
            ASSERT_EQ(r.bytes, codeBytes(expected)) << std::hex << unit;
            ++encodable;
        }
    }
    EXPECT_GT(encodable, 7000);
}

namespace {

// The document's count written out again: a CR LF pair and a lead byte with
// a trail byte count one each, every other byte one.
std::size_t countByWalking(std::string_view t) {
    auto lead = [](unsigned char b) {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    };
    auto trail = [](unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; };
    std::size_t n = 0;
    for (std::size_t p = 0; p < t.size(); ++n) {
        const auto b = static_cast<unsigned char>(t[p]);
        const bool pair =
            p + 1 < t.size() && ((b == '\r' && t[p + 1] == '\n') ||
                                 (lead(b) && trail(static_cast<unsigned char>(t[p + 1]))));
        p += pair ? 2 : 1;
    }
    return n;
}

std::string randomCp932Bytes(std::mt19937& rng, std::size_t n) {
    static const unsigned char bytes[] = {'a',  '\r', '\n', '\0', 0x40, 0x7E, 0x7F, 0x80,
                                          0x81, 0x82, 0x9F, 0xA0, 0xB1, 0xE0, 0xFC, 0xFD};
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() % 3 ? bytes[rng() % sizeof bytes] : rng() % 256);
    return s;
}

} // namespace

TEST(Cp932Bytes, CountingInPiecesGivesTheCountOfTheWhole) {
    std::mt19937 rng(20260610);
    for (int round = 0; round < 2000; ++round) {
        // Runs of lead bytes, short and long, across blocks of any length.
        std::string t = randomCp932Bytes(rng, rng() % 1000);
        for (int k = rng() % 4; k > 0 && !t.empty(); --k) {
            const std::size_t at = rng() % t.size();
            const std::size_t n = std::min<std::size_t>(rng() % 150, t.size() - at);
            std::fill_n(t.begin() + static_cast<std::ptrdiff_t>(at), n,
                        rng() % 2 ? '\x82' : '\xE0');
        }
        const std::size_t expected = countByWalking(t);
        ASSERT_EQ(cp932::countCharacters(t), expected) << round;
        // Cut anywhere: between a lead and a trail byte, between CR and LF.
        cp932::CharacterCounter counter;
        const std::size_t longest = round % 2 ? 4 : 200;
        for (std::size_t p = 0; p < t.size();) {
            const std::size_t n = std::min<std::size_t>(rng() % longest, t.size() - p);
            counter.add(std::string_view(t).substr(p, n));
            p += n;
        }
        ASSERT_EQ(counter.total(), expected) << round;
    }
    cp932::CharacterCounter counter;
    EXPECT_EQ(counter.total(), 0u);
    for (const char* piece : {"\x82", "\xA0", "\r", "\n", "\x82", "\r", "\n", "\x82"})
        counter.add(piece);
    EXPECT_EQ(counter.total(), 5u); // あ, CR LF, 0x82 alone, CR LF, 0x82 alone
}

TEST(Cp932Conversion, Utf8OutputIsTheDecodedText) {
    // Every pair of bytes, so every double-byte code, every single byte and
    // every invalid byte.
    for (unsigned first = 0; first < 0x100; ++first) {
        std::string all;
        for (unsigned second = 0; second < 0x100; ++second) {
            const std::string pair{static_cast<char>(first), static_cast<char>(second)};
            std::string out = "^";
            cp932::appendUtf8(out, pair);
            ASSERT_EQ(out, "^" + cp932::decode(pair).toStdString()) << first << " " << second;
            all += pair;
        }
        std::string out;
        cp932::appendUtf8(out, all);
        ASSERT_EQ(out, cp932::decode(all).toStdString()) << first;
    }
    std::mt19937 rng(20260611);
    for (int round = 0; round < 200; ++round) {
        const std::string t = randomCp932Bytes(rng, rng() % 100);
        std::string out;
        cp932::appendUtf8(out, t);
        ASSERT_EQ(out, cp932::decode(t).toStdString()) << round;
    }
}
