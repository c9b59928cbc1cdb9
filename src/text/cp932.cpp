#include "cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

namespace cp932 {

std::size_t charStartAtOrBefore(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return text.size();
    // A byte outside the lead-byte range always ends a character. From the last
    // such byte before pos, the bytes up to pos are all lead-range bytes and
    // pair up two by two.
    std::size_t runStart = pos;
    while (runStart > 0 && isLeadByte(static_cast<unsigned char>(text[runStart - 1])))
        --runStart;
    // Walk forward from the known boundary with the real character rule.
    std::size_t p = runStart;
    while (true) {
        const std::size_t len = charLength(text, p);
        if (p + len > pos) return p;
        p += len;
    }
}

std::size_t boundaryAtOrBefore(std::string_view text, std::size_t pos) {
    std::size_t p = charStartAtOrBefore(text, pos);
    if (p > 0 && p < text.size() && text[p] == '\n' && text[p - 1] == '\r') --p;
    return p;
}

std::size_t nextBoundary(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return text.size();
    if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') return pos + 2;
    return pos + charLength(text, pos);
}

namespace {
// One character of the document's count: a CR LF pair, a double-byte
// character or a single byte.
inline std::size_t countedLength(std::string_view text, std::size_t p) {
    if (text[p] == '\r' && p + 1 < text.size() && text[p + 1] == '\n') return 2;
    return charLength(text, p);
}
} // namespace

std::size_t countCharacters(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t p = 0; p < text.size(); p += countedLength(text, p))
        ++n;
    return n;
}

std::size_t prefixOfCharacters(std::string_view text, std::size_t n) {
    std::size_t p = 0;
    for (; p < text.size() && n > 0; --n)
        p += countedLength(text, p);
    return p;
}

namespace {

struct Tables {
    // Double-byte codes: index (lead << 8 | trail) - 0x8100.
    std::vector<char16_t> dbcs;
    // Unicode (BMP) -> code page 932 code; 0 means not representable.
    std::vector<std::uint16_t> fromUnicode;
};

} // namespace

const std::array<UnicodeEquivalent, 7> kUnicodeEquivalents = {{
    {0x301C, 0x8160}, // 〜 WAVE DASH (Microsoft: U+FF5E)
    {0x2016, 0x8161}, // ‖ DOUBLE VERTICAL LINE (Microsoft: U+2225)
    {0x2212, 0x817C}, // − MINUS SIGN (Microsoft: U+FF0D)
    {0x2014, 0x815C}, // — EM DASH (Microsoft: U+2015)
    {0x00A2, 0x8191}, // ¢ (Microsoft: U+FFE0)
    {0x00A3, 0x8192}, // £ (Microsoft: U+FFE1)
    {0x00AC, 0x81CA}, // ¬ (Microsoft: U+FFE2)
}};

namespace {

bool isSubstitute(QStringView s) {
    return s.size() != 1 || s[0].unicode() == 0x1A || s[0].unicode() == 0xFFFD;
}

const Tables& tables() {
    static const std::unique_ptr<Tables> t = [] {
        auto tb = std::make_unique<Tables>();
        tb->dbcs.assign(0x10000 - 0x8100, 0);
        tb->fromUnicode.assign(0x10000, 0);
        for (unsigned c = 0; c < 0x80; ++c)
            tb->fromUnicode[c] = static_cast<std::uint16_t>(c);
        for (unsigned c = 0xA1; c <= 0xDF; ++c)
            tb->fromUnicode[0xFF61 + (c - 0xA1)] = static_cast<std::uint16_t>(c);

        QStringDecoder dec("Shift_JIS", QStringConverter::Flag::Stateless);
        QStringEncoder enc("Shift_JIS", QStringConverter::Flag::Stateless);
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead))) continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(static_cast<unsigned char>(trail))) continue;
                const char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                dec.resetState();
                const QString s = dec.decode(QByteArrayView(b, 2));
                if (isSubstitute(s)) continue;
                tb->dbcs[(lead << 8 | trail) - 0x8100] = s[0].unicode();
            }
        }
        // The reverse direction: the converter's own choice among duplicates
        // (NEC and IBM extensions), kept only when it decodes back.
        for (unsigned code = 0x8100; code <= 0xFCFF; ++code) {
            const char16_t u = tb->dbcs[code - 0x8100];
            if (u == 0 || tb->fromUnicode[u] != 0) continue;
            enc.resetState();
            const QByteArray b = enc.encode(QStringView(&u, 1));
            if (b.size() != 2) continue;
            const unsigned c =
                static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]);
            if (c >= 0x8100 && tb->dbcs[c - 0x8100] == u)
                tb->fromUnicode[u] = static_cast<std::uint16_t>(c);
            else
                tb->fromUnicode[u] = static_cast<std::uint16_t>(code);
        }
        // Other Unicode forms of characters that code page 932 has (as
        // other converters and web pages write them) encode to the same code;
        // decoding keeps the Microsoft forms.
        for (const UnicodeEquivalent& e : kUnicodeEquivalents)
            if (tb->fromUnicode[e.unicode] == 0) tb->fromUnicode[e.unicode] = e.code;
        return tb;
    }();
    return *t;
}

} // namespace

char16_t toUnicode(std::string_view text, std::size_t pos) {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) return b;
    if (b >= 0xA1 && b <= 0xDF) return static_cast<char16_t>(0xFF61 + (b - 0xA1));
    if (charLength(text, pos) == 2) {
        const unsigned code = b << 8 | static_cast<unsigned char>(text[pos + 1]);
        return tables().dbcs[code - 0x8100];
    }
    return 0;
}

QString decode(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t p = 0; p < bytes.size();) {
        const std::size_t len = charLength(bytes, p);
        const char16_t u = toUnicode(bytes, p);
        if (u == 0 && bytes[p] != '\0') {
            // An invalid double-byte code shows one substitute per byte.
            for (std::size_t i = 0; i < len; ++i)
                out.append(QChar(kInvalidSubstitute));
        } else {
            out.append(QChar(u));
        }
        p += len;
    }
    return out;
}

EncodeResult encode(QStringView text) {
    const Tables& t = tables();
    EncodeResult r;
    r.bytes.reserve(static_cast<std::size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            r.bad.push_back({i, QChar::surrogateToUcs4(u, text[i + 1].unicode())});
            ++i;
            continue;
        }
        const std::uint16_t c = t.fromUnicode[u];
        if (c == 0 && u != 0) {
            r.bad.push_back({i, u});
            continue;
        }
        if (c > 0xFF) r.bytes.push_back(static_cast<char>(c >> 8));
        r.bytes.push_back(static_cast<char>(c & 0xFF));
    }
    return r;
}

std::string encodeKnown(QStringView text) {
    return encode(text).bytes;
}

} // namespace cp932
