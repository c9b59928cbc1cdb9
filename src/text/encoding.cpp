#include "encoding.h"

#include "cp932.h"

#include <QStringDecoder>

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace encoding {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
// The detector reads this much of a file: enough for its statistics.
constexpr std::size_t kDetectorBytes = 64 * 1024;
constexpr char16_t kReplacement = 0xFFFD;
constexpr int32_t kNoOpinion = 10;

unsigned char byteAt(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

bool inRange(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

// Skips 7-bit bytes eight at a time: returns the first byte at or after p
// that has its high bit set, or end.
const unsigned char* skipSevenBit(const unsigned char* p, const unsigned char* end) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & kHighBits) break;
        p += 8;
    }
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

const unsigned char* bytesOf(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

bool isSevenBit(std::string_view bytes) {
    return skipSevenBit(bytesOf(bytes), bytesOf(bytes) + bytes.size()) ==
           bytesOf(bytes) + bytes.size();
}

// The double-byte codes that code page 932 defines, one bit each (made on
// first use from the conversion table).
using CodeBits = std::array<std::uint64_t, 0x10000 / 64>;
const CodeBits& definedCodes() {
    static const CodeBits bits = [] {
        CodeBits b{};
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!cp932::isLeadByte(static_cast<unsigned char>(lead))) continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                if (!cp932::isTrailByte(static_cast<unsigned char>(trail))) continue;
                const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (cp932::toUnicode(std::string_view(two, 2), 0) == 0) continue;
                const unsigned code = lead << 8 | trail;
                b[code / 64] |= std::uint64_t{1} << (code % 64);
            }
        }
        return b;
    }();
    return bits;
}

// ISO-2022-JP's switches to JIS X 0208 (ESC $ @, ESC $ B) and to the
// half-width katakana set (ESC ( I).
bool hasIso2022JpEscapes(std::string_view bytes) {
    return bytes.find("\x1b$B") != std::string_view::npos ||
           bytes.find("\x1b$@") != std::string_view::npos ||
           bytes.find("\x1b(I") != std::string_view::npos;
}

// The encodings ICU's detector names that we can tell apart.
bool detectorNames(const char* name, Kind kind) {
    const std::string_view n = name ? name : "";
    switch (kind) {
    case Kind::Cp932:
        return n == "Shift_JIS";
    case Kind::Utf8:
        return n == "UTF-8";
    case Kind::EucJp:
        return n == "EUC-JP";
    default:
        return false;
    }
}

// Asks ICU's detector which of the candidates the bytes most likely are.
// Returns the first candidate when the detector has no opinion among them
// (short texts).
Kind askDetector(std::string_view bytes, const std::vector<Kind>& candidates) {
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> det(ucsdet_open(&err),
                                                                   &ucsdet_close);
    if (U_FAILURE(err)) return candidates.front();
    const std::string_view head = bytes.substr(0, kDetectorBytes);
    ucsdet_setText(det.get(), head.data(), static_cast<int32_t>(head.size()), &err);
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(det.get(), &count, &err);
    if (U_FAILURE(err) || !matches) return candidates.front();
    for (int32_t i = 0; i < count; ++i) {
        const char* name = ucsdet_getName(matches[i], &err);
        if (U_FAILURE(err)) break;
        // 10 is what the detector gives every multi-byte encoding whose
        // rules the bytes keep: no opinion.
        if (ucsdet_getConfidence(matches[i], &err) <= kNoOpinion) break;
        for (Kind k : candidates)
            if (detectorNames(name, k)) return k;
    }
    return candidates.front();
}

// Decodes with one of ICU's converters. A byte sequence the converter cannot
// decode becomes U+FFFD, and decoding goes on after it.
QString decodeWithIcu(std::string_view bytes, const char* converter) {
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> cnv(ucnv_open(converter, &err), &ucnv_close);
    if (U_FAILURE(err)) return QString(bytes.empty() ? 0 : 1, QChar(kReplacement));
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    // No encoding here gives more UTF-16 units than it has bytes.
    std::u16string out(bytes.size() + 16, u'\0');
    const char* source = bytes.data();
    const char* const sourceEnd = bytes.data() + bytes.size();
    char16_t* target = out.data();
    while (true) {
        err = U_ZERO_ERROR;
        char16_t* const targetEnd = out.data() + out.size();
        ucnv_toUnicode(cnv.get(), &target, targetEnd, &source, sourceEnd, nullptr, true, &err);
        if (err == U_BUFFER_OVERFLOW_ERROR ||
            (U_FAILURE(err) && target == targetEnd)) { // room for the replacement too
            const std::size_t used = static_cast<std::size_t>(target - out.data());
            out.resize(out.size() * 2);
            target = out.data() + used;
            if (err == U_BUFFER_OVERFLOW_ERROR) continue;
        }
        if (err == U_INVALID_CHAR_FOUND || err == U_ILLEGAL_CHAR_FOUND ||
            err == U_TRUNCATED_CHAR_FOUND || err == U_ILLEGAL_ESCAPE_SEQUENCE ||
            err == U_UNSUPPORTED_ESCAPE_SEQUENCE) {
            *target++ = kReplacement;
            if (source < sourceEnd || err == U_TRUNCATED_CHAR_FOUND) {
                if (source >= sourceEnd) break;
                continue;
            }
            break;
        }
        break; // done (or a failure that decoding cannot go past)
    }
    out.resize(static_cast<std::size_t>(target - out.data()));
    return QString::fromStdU16String(out);
}

QString decode(std::string_view bytes, Kind from) {
    switch (from) {
    case Kind::Cp932:
        return cp932::decode(bytes);
    case Kind::Utf8:
    case Kind::Utf8Bom: {
        if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
        QStringDecoder d(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return d(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    case Kind::Utf16Le:
    case Kind::Utf16Be: {
        const bool le = from == Kind::Utf16Le;
        if (bytes.starts_with(le ? kUtf16LeBom : kUtf16BeBom)) bytes.remove_prefix(2);
        QStringDecoder d(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                         QStringDecoder::Flag::Stateless);
        return d(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    case Kind::EucJp:
        return decodeWithIcu(bytes, "EUC-JP");
    case Kind::Iso2022Jp:
        return decodeWithIcu(bytes, "ISO-2022-JP");
    }
    return {};
}

// Every line end (CR LF, LF, CR) as CR LF.
QString withCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

// True when the bytes, read as code page 932, are mostly half-width
// katakana: what EUC-JP's kana and kanji look like in code page 932 (every
// byte A1-FE), and what a Japanese text in code page 932 seldom is, since
// half-width katakana do not travel well in mail. Too few characters tell
// nothing.
bool mostlyHalfWidthKatakana(std::string_view bytes) {
    constexpr std::size_t kFewest = 4;
    std::size_t katakana = 0, wide = 0;
    for (std::size_t i = 0; i < bytes.size(); i += cp932::charLength(bytes, i)) {
        const unsigned char b = byteAt(bytes, i);
        if (inRange(b, 0xA1, 0xDF))
            ++katakana;
        else if (b >= 0x80)
            ++wide;
    }
    return katakana + wide >= kFewest && katakana > wide;
}

// True when the bytes, read as EUC-JP, hold a character of the rows almost
// every Japanese text uses: punctuation (row 1), hiragana and katakana
// (rows 4 and 5).
bool hasEucKanaOrPunctuation(std::string_view bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size();) {
        const unsigned char b = byteAt(bytes, i);
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b == 0xA1 || b == 0xA4 || b == 0xA5) return true;
        i += b == 0x8F ? 3 : 2;
    }
    return false;
}

} // namespace

bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = byteAt(s, i);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = 0;
        unsigned char lo = 0x80, hi = 0xBF; // the second byte's range
        if (inRange(b, 0xC2, 0xDF)) {
            n = 1;
        } else if (inRange(b, 0xE0, 0xEF)) {
            n = 2;
            if (b == 0xE0) lo = 0xA0; // no overlong forms
            if (b == 0xED) hi = 0x9F; // no surrogates
        } else if (inRange(b, 0xF0, 0xF4)) {
            n = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F; // nothing beyond U+10FFFF
        } else {
            return false;
        }
        if (i + n >= s.size()) return false; // cut short
        if (!inRange(byteAt(s, i + 1), lo, hi)) return false;
        for (std::size_t k = 2; k <= n; ++k)
            if (!inRange(byteAt(s, i + k), 0x80, 0xBF)) return false;
        i += n + 1;
    }
    return true;
}

bool isCp932(std::string_view s) {
    // Every 7-bit byte is valid, as is a half-width katakana; a byte from
    // 0x80 up otherwise only as the lead byte of a defined double-byte code.
    const CodeBits& defined = definedCodes();
    const unsigned char* p = bytesOf(s);
    const unsigned char* const end = p + s.size();
    while ((p = skipSevenBit(p, end)) < end) {
        const unsigned char b = *p;
        if (b >= 0xA1 && b <= 0xDF) {
            ++p;
            continue;
        }
        if (end - p < 2 || !cp932::isLeadByte(b) || !cp932::isTrailByte(p[1])) return false;
        const unsigned code = static_cast<unsigned>(b) << 8 | p[1];
        if (!(defined[code / 64] >> (code % 64) & 1)) return false;
        p += 2;
    }
    return true;
}

bool isEucJp(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = byteAt(s, i);
        if (b < 0x80) {
            ++i;
        } else if (b == 0x8E) { // half-width katakana
            if (i + 1 >= s.size() || !inRange(byteAt(s, i + 1), 0xA1, 0xDF)) return false;
            i += 2;
        } else if (b == 0x8F) { // JIS X 0212
            if (i + 2 >= s.size() || !inRange(byteAt(s, i + 1), 0xA1, 0xFE) ||
                !inRange(byteAt(s, i + 2), 0xA1, 0xFE))
                return false;
            i += 3;
        } else if (inRange(b, 0xA1, 0xFE)) {
            if (i + 1 >= s.size() || !inRange(byteAt(s, i + 1), 0xA1, 0xFE)) return false;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

Kind detect(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return Kind::Utf8Bom;
    if (bytes.starts_with(kUtf16LeBom)) return Kind::Utf16Le;
    if (bytes.starts_with(kUtf16BeBom)) return Kind::Utf16Be;
    if (isSevenBit(bytes)) return hasIso2022JpEscapes(bytes) ? Kind::Iso2022Jp : Kind::Cp932;

    // Bytes that are neither UTF-8 nor EUC-JP are opened as code page 932
    // whether or not they keep its rules: its own (full) check is not needed
    // then. Those checks fail at the first double-byte character of a code
    // page 932 text.
    const bool utf8 = isUtf8(bytes);
    const bool eucJp = isEucJp(bytes);
    if (!utf8 && !eucJp) return Kind::Cp932;
    // Code page 932 first: it is the document's own encoding and wins when
    // the detector cannot tell.
    std::vector<Kind> candidates;
    if (isCp932(bytes)) candidates.push_back(Kind::Cp932);
    // UTF-8 of two-byte sequences only (Latin, Greek, Cyrillic letters) has
    // almost nothing code page 932 could hold, and the same bytes are often
    // half-width katakana: such bytes count as UTF-8 only when they can be
    // nothing else.
    const bool wide = std::any_of(bytes.begin(), bytes.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0xE0; });
    if (utf8 && (wide || candidates.empty())) candidates.push_back(Kind::Utf8);
    if (eucJp) candidates.push_back(Kind::EucJp);
    if (candidates.empty()) return Kind::Cp932;
    if (candidates.size() == 1) return candidates.front();
    const Kind guess = askDetector(bytes, candidates);
    if (guess == Kind::Cp932 && eucJp && mostlyHalfWidthKatakana(bytes) &&
        hasEucKanaOrPunctuation(bytes))
        return Kind::EucJp;
    return guess;
}

QString nameOf(Kind kind) {
    switch (kind) {
    case Kind::Cp932:
        return QStringLiteral("Shift_JIS (CP932)");
    case Kind::Utf8:
        return QStringLiteral("UTF-8");
    case Kind::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM 付き)");
    case Kind::Utf16Le:
    case Kind::Utf16Be:
        return QStringLiteral("UTF-16");
    case Kind::EucJp:
        return QStringLiteral("EUC-JP");
    case Kind::Iso2022Jp:
        return QStringLiteral("ISO-2022-JP");
    }
    return {};
}

Conversion toCp932(std::string_view bytes, Kind from) {
    Conversion out;
    if (from == Kind::Cp932) {
        out.bytes = bytes;
        return out;
    }
    const QString text = withCrLf(decode(bytes, from));
    cp932::EncodeResult r = cp932::encode(text);
    // U+FFFD stands for bytes that could not be decoded: code page 932 has
    // no code for it either, so it is reported where it stands.
    if (r.ok()) {
        out.bytes = std::move(r.bytes);
        return out;
    }
    // Line and column of each character left out, in one pass.
    std::size_t line = 1, column = 1;
    qsizetype at = 0;
    for (const cp932::Unrepresentable& u : r.bad) {
        while (at < u.index) {
            const QChar c = text[at];
            if (c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') {
                ++line;
                column = 1;
                at += 2;
                continue;
            }
            if (!(c.isLowSurrogate() && at > 0 && text[at - 1].isHighSurrogate())) ++column;
            ++at;
        }
        out.bad.push_back({line, column, u.ch});
    }
    return out;
}

QString describe(const std::vector<Unconvertible>& bad) {
    QString out;
    for (const Unconvertible& u : bad) {
        const char32_t ch = u.ch;
        const QString code =
            QStringLiteral("%1").arg(static_cast<uint>(ch), 4, 16, QLatin1Char('0')).toUpper();
        out += QStringLiteral("%1 行 %2 桁: %3 (U+%4)\n")
                   .arg(u.line)
                   .arg(u.column)
                   .arg(QString::fromUcs4(&ch, 1), code);
    }
    return out;
}

} // namespace encoding
