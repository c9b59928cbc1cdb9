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

constexpr bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool isTrailByte(unsigned char b) {
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

// Counts characters as countCharacters does over a text handed in pieces (a
// file as it is read): the count is the same wherever the pieces are cut.
class CharacterCounter {
  public:
    void add(std::string_view piece);
    // The characters of everything added so far.
    std::size_t total() const { return bytes_ - joined_; }

  private:
    std::size_t bytes_ = 0;
    // Bytes that count with the byte before them: the second byte of a
    // double-byte character, the LF of a CR LF pair.
    std::size_t joined_ = 0;
    bool leadOpen_ = false; // the last byte is a lead byte that starts a character
    bool crOpen_ = false;   // the last byte is a CR
};

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

// Appends bytes decoded as decode() decodes them, in UTF-8 (for terminal
// output): the same as decode(bytes).toStdString(), without the QString.
void appendUtf8(std::string& out, std::string_view bytes);

struct Unrepresentable {
    qsizetype index; // index in the source string (UTF-16 units)
    char32_t ch;     // the character
};

struct EncodeResult {
    std::string bytes;                // the representable characters
    std::vector<Unrepresentable> bad; // characters left out
    bool ok() const { return bad.empty(); }
};

// The characters left out, for a message: each once, separated by blanks,
// the first five and " …" when there are more.
QString namesOf(const std::vector<Unrepresentable>& bad);

// Unicode forms of code page 932 characters other than the ones decoding
// gives (the JIS mapping's forms): encoding maps them to the same code.
struct UnicodeEquivalent {
    char16_t unicode;
    std::uint16_t code;
};
inline constexpr std::array<UnicodeEquivalent, 7> kUnicodeEquivalents = {{
    {0x301C, 0x8160}, // 〜 WAVE DASH (Microsoft: U+FF5E)
    {0x2016, 0x8161}, // ‖ DOUBLE VERTICAL LINE (Microsoft: U+2225)
    {0x2212, 0x817C}, // − MINUS SIGN (Microsoft: U+FF0D)
    {0x2014, 0x815C}, // — EM DASH (Microsoft: U+2015)
    {0x00A2, 0x8191}, // ¢ (Microsoft: U+FFE0)
    {0x00A3, 0x8192}, // £ (Microsoft: U+FFE1)
    {0x00AC, 0x81CA}, // ¬ (Microsoft: U+FFE2)
}};

// Encodes Unicode text. Characters that code page 932 cannot hold are left out
// and reported, so that callers can refuse them or substitute them visibly.
EncodeResult encode(QStringView text);

// Encodes text that is known to be representable (the program's own texts).
std::string encodeKnown(QStringView text);

} // namespace cp932
