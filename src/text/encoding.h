// Text files in other encodings: which encoding a file's bytes are in, and
// their conversion to the document's code page 932 with CR LF line ends.
//
// Detection takes the exact checks first (a byte order mark, 7-bit bytes
// with ISO-2022-JP's escape sequences, strict validity as UTF-8, code page
// 932 and EUC-JP) and asks ICU's charset detector only among the encodings
// whose rules the bytes keep. Conversion is all or nothing: when a
// character has no code page 932 code, nothing is converted and every such
// character is listed with its line and column.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace encoding {

enum class Kind {
    Cp932, // also plain ASCII: the document's own bytes
    Utf8,
    Utf8Bom,
    Utf16Le, // with a byte order mark
    Utf16Be, // with a byte order mark
    EucJp,
    Iso2022Jp,
};

// The encoding the bytes are most likely in. Bytes that keep no encoding's
// rules count as code page 932 (they are opened as they are).
Kind detect(std::string_view bytes);

// The encoding's name for messages ("UTF-8", "EUC-JP", ...).
QString nameOf(Kind kind);

// Strict checks of the bytes against one encoding's rules.
bool isUtf8(std::string_view bytes);
bool isCp932(std::string_view bytes);
bool isEucJp(std::string_view bytes);

// A character code page 932 cannot hold, where it stands: line and column
// (in characters) counted from 1.
struct Unconvertible {
    std::size_t line = 0;
    std::size_t column = 0;
    char32_t ch = 0;
    bool operator==(const Unconvertible&) const = default;
};

struct Conversion {
    std::string bytes;              // empty when anything was unconvertible
    std::vector<Unconvertible> bad; // every character that has no code
    bool ok() const { return bad.empty(); }
};

// Converts bytes in the encoding from to code page 932; every line end
// (CR LF, LF, CR) becomes CR LF. Code page 932 bytes come back unchanged.
// The JIS forms of characters (U+301C WAVE DASH, U+2016, U+2212, ...) take
// the code page 932 codes typing them gives. Bytes the encoding cannot
// decode are unconvertible characters (U+FFFD) at their place.
Conversion toCp932(std::string_view bytes, Kind from);

// One line per character for a message or the terminal:
// "3 行 12 桁: 😀 (U+1F600)".
QString describe(const std::vector<Unconvertible>& bad);

} // namespace encoding
