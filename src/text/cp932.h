// Code page 932 (Shift-JIS, Microsoft mapping) byte rules and conversion.
//
// The document is kept as code page 932 bytes everywhere; these helpers are the
// only place that knows where a character starts and ends, how wide it is and
// how it maps to Unicode.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cp932 {

inline bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool isTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// Length (1 or 2) of the character that starts at pos. A lead byte counts as a
// double-byte character only when a valid trail byte follows it; otherwise it
// stands alone (so a lead byte before a CR never swallows the line end).
inline std::size_t charLength(std::string_view text, std::size_t pos) {
    if (pos + 1 < text.size() && isLeadByte(static_cast<unsigned char>(text[pos])) &&
        isTrailByte(static_cast<unsigned char>(text[pos + 1])))
        return 2;
    return 1;
}

// The start of the character that holds the byte at pos (pos itself when it is
// a character boundary). pos == text.size() is a boundary.
std::size_t charStartAtOrBefore(std::string_view text, std::size_t pos);

// Like charStartAtOrBefore, and also never between the CR and the LF of a pair.
std::size_t boundaryAtOrBefore(std::string_view text, std::size_t pos);

// Width in single-byte columns of the character starting at pos, when it would
// stand at column col (a tab advances to the next multiple of 8). Columns
// are 64-bit: a line of tabs may be wider than an int counts.
constexpr int kTabColumns = 8;
inline int charColumns(std::string_view text, std::size_t pos, std::int64_t col) {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b == '\t') return kTabColumns - static_cast<int>(col % kTabColumns);
    return static_cast<int>(charLength(text, pos));
}

// Like boundaryAtOrBefore, the next boundary after pos (text.size() at most).
std::size_t nextBoundary(std::string_view text, std::size_t pos);

// Number of characters as the document's limit counts them: a double-byte
// character and a CR LF pair count one each.
std::size_t countCharacters(std::string_view text);

// The end of the first n characters of text, counted as countCharacters does.
std::size_t prefixOfCharacters(std::string_view text, std::size_t n);

// Unicode of one character: the decoded code point, or 0 when the bytes are not
// a valid code page 932 character.
char16_t toUnicode(std::string_view text, std::size_t pos);

// Substitute shown for a byte that is not valid code page 932.
constexpr char16_t kInvalidSubstitute = 0xFFFD;

// Decodes bytes for display. Each invalid byte becomes kInvalidSubstitute; the
// bytes themselves are never changed.
QString decode(std::string_view bytes);

struct Unrepresentable {
    qsizetype index; // index in the source string (UTF-16 units)
    char32_t ch;     // the character
};

struct EncodeResult {
    std::string bytes;                // the representable characters
    std::vector<Unrepresentable> bad; // characters left out
    bool ok() const { return bad.empty(); }
};

// Unicode forms of code page 932 characters other than the ones decoding
// gives (the JIS mapping's forms): encoding maps them to the same code.
struct UnicodeEquivalent {
    char16_t unicode;
    std::uint16_t code;
};
extern const std::array<UnicodeEquivalent, 7> kUnicodeEquivalents;

// Encodes Unicode text. Characters that code page 932 cannot hold are left out
// and reported, so that callers can refuse them or substitute them visibly.
EncodeResult encode(QStringView text);

// Encodes text that is known to be representable (the program's own texts).
std::string encodeKnown(QStringView text);

} // namespace cp932
