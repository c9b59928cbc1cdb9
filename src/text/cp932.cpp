#include "cp932.h"

#include "cp932tables.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Byte classes for counting: bit 0 a lead byte, bit 1 a trail byte.
constexpr std::array<unsigned char, 256> kCountClasses = [] {
    std::array<unsigned char, 256> c{};
    for (unsigned b = 0; b < 256; ++b)
        c[b] = static_cast<unsigned char>((isLeadByte(static_cast<unsigned char>(b)) ? 1 : 0) |
                                          (isTrailByte(static_cast<unsigned char>(b)) ? 2 : 0));
    return c;
}();

#if defined(__SSE2__)
// 64 bytes at a time, one bit a byte.
constexpr std::size_t kBlock = 64;
constexpr std::uint64_t kEvenBits = 0x5555555555555555;
constexpr std::uint64_t kOddBits = ~kEvenBits;

struct BlockBits {
    std::uint64_t lead = 0, trail = 0, cr = 0, lf = 0;
};

// lo <= b <= hi, bytes taken unsigned.
inline __m128i inRange(__m128i b, unsigned char lo, unsigned char hi) {
    const __m128i low = _mm_set1_epi8(static_cast<char>(lo));
    const __m128i high = _mm_set1_epi8(static_cast<char>(hi));
    return _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(b, low), high), b);
}

inline std::uint64_t bitsOf(__m128i mask, int shift) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask))) << shift;
}

// The set bits of x (std::popcount is a library call on processors
// without a popcount instruction).
inline std::size_t bitCount(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555);
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<std::size_t>((x * 0x0101010101010101) >> 56);
}

inline BlockBits blockBits(const unsigned char* p) {
    BlockBits bits;
    for (int k = 0; k < 4; ++k) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i lead = _mm_or_si128(inRange(b, 0x81, 0x9F), inRange(b, 0xE0, 0xFC));
        const __m128i trail =
            _mm_andnot_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8(0x7F)), inRange(b, 0x40, 0xFC));
        bits.lead |= bitsOf(lead, 16 * k);
        bits.trail |= bitsOf(trail, 16 * k);
        bits.cr |= bitsOf(_mm_cmpeq_epi8(b, _mm_set1_epi8('\r')), 16 * k);
        bits.lf |= bitsOf(_mm_cmpeq_epi8(b, _mm_set1_epi8('\n')), 16 * k);
    }
    return bits;
}
#endif
} // namespace

void CharacterCounter::add(std::string_view piece) {
    // A lead byte that starts a character takes the next byte when that is
    // a trail byte; every lead byte is also a trail byte, so the byte after
    // a taken one, or after any byte but a starting lead byte, starts a
    // character again. The pairing thus needs one bit carried from byte to
    // byte, and a CR LF pair one more.
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t n = piece.size();
    unsigned open = leadOpen_ ? 1 : 0;
    unsigned cr = crOpen_ ? 1 : 0;
    std::size_t joined = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // The same a block at a time. In a run of lead bytes the ones at even
    // distances from the run's start start characters (each takes the next
    // byte, which is a trail byte whether it leads or not). Adding the first
    // bit of each run that starts at an even place carries through that run
    // and clears it, which tells those runs from the others.
    for (; i + kBlock <= n; i += kBlock) {
        const BlockBits b = blockBits(p + i);
        const std::uint64_t crlf = b.lf & (b.cr << 1 | cr);
        cr = static_cast<unsigned>(b.cr >> 63);
        // A lead byte left open before the block takes the first byte.
        const std::uint64_t taken = open & b.trail & 1;
        const std::uint64_t leads = b.lead & ~static_cast<std::uint64_t>(open);
        const std::uint64_t runStarts = leads & ~(leads << 1);
        const std::uint64_t evenRuns = leads & ~(leads + (runStarts & kEvenBits));
        const std::uint64_t starting = (evenRuns & kEvenBits) | (leads & ~evenRuns & kOddBits);
        // An LF is never a trail byte: the two kinds of joined bytes never
        // share a bit.
        joined += taken + bitCount(crlf | ((starting << 1) & b.trail));
        open = static_cast<unsigned>(starting >> 63);
    }
#endif
    for (; i < n; ++i) {
        const unsigned b = p[i];
        const unsigned k = kCountClasses[b];
        joined += (open & (k >> 1)) | (cr & (b == '\n' ? 1u : 0u));
        open = (open ^ 1u) & k;
        cr = b == '\r' ? 1u : 0u;
    }
    bytes_ += n;
    joined_ += joined;
    leadOpen_ = (open & 1) != 0;
    crOpen_ = cr != 0;
}

std::size_t countCharacters(std::string_view text) {
    CharacterCounter counter;
    counter.add(text);
    return counter.total();
}

std::size_t prefixOfCharacters(std::string_view text, std::size_t n) {
    std::size_t p = 0;
    for (; p < text.size() && n > 0; --n)
        p += countedLength(text, p);
    return p;
}

char16_t toUnicode(std::string_view text, std::size_t pos) {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) return b;
    if (b >= 0xA1 && b <= 0xDF) return static_cast<char16_t>(0xFF61 + (b - 0xA1));
    if (charLength(text, pos) == 2) {
        const unsigned code = b << 8 | static_cast<unsigned char>(text[pos + 1]);
        return tables::kToUnicode[code - tables::kFirstCode];
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

void appendUtf8(std::string& out, std::string_view bytes) {
    // Each byte gives at most three (a single byte that is not valid, or a
    // half-width katakana); a double-byte character at most three as well.
    const std::size_t start = out.size();
    out.resize(start + 3 * bytes.size());
    char* to = out.data() + start;
    auto put = [&to](char16_t u) {
        if (u < 0x800) {
            *to++ = static_cast<char>(0xC0 | u >> 6);
            *to++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *to++ = static_cast<char>(0xE0 | u >> 12);
            *to++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *to++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned b = p[i];
        if (b < 0x80) {
            *to++ = static_cast<char>(b);
            ++i;
        } else if (b >= 0xA1 && b <= 0xDF) {
            put(static_cast<char16_t>(0xFF61 + (b - 0xA1)));
            ++i;
        } else if (i + 1 < n && isLeadByte(static_cast<unsigned char>(b)) &&
                   isTrailByte(p[i + 1])) {
            const char16_t u = tables::kToUnicode[(b << 8 | p[i + 1]) - tables::kFirstCode];
            if (u == 0) {
                // An invalid double-byte code shows one substitute per byte.
                put(kInvalidSubstitute);
                put(kInvalidSubstitute);
            } else if (QChar::isSurrogate(u)) {
                const std::string qt = QString(QChar(u)).toStdString(); // as Qt writes it
                to = std::copy(qt.begin(), qt.end(), to);
            } else {
                put(u);
            }
            i += 2;
        } else {
            put(kInvalidSubstitute);
            ++i;
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

EncodeResult encode(QStringView text) {
    EncodeResult r;
    r.bytes.reserve(static_cast<std::size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            r.bad.push_back({i, QChar::surrogateToUcs4(u, text[i + 1].unicode())});
            ++i;
            continue;
        }
        const std::uint16_t c = tables::kFromUnicode[u];
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

QString namesOf(const std::vector<Unrepresentable>& bad) {
    constexpr int kNamed = 5;
    QString names;
    int named = 0;
    for (const Unrepresentable& u : bad) {
        const QString c = QString::fromUcs4(&u.ch, 1);
        if (names.contains(c)) continue;
        if (named++ == kNamed) {
            names += QStringLiteral(" …");
            break;
        }
        if (!names.isEmpty()) names += QLatin1Char(' ');
        names += c;
    }
    return names;
}

} // namespace cp932
