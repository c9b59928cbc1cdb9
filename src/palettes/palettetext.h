// The text rules of the palettes and the header and footer window, apart from
// any window: the frame line built from a design, the header and footer as
// they are put into a document, and the text of a header or footer file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace palettetext {

inline constexpr std::string_view kCrLf = "\r\n";

// The widest frame line: the editor never lays out a wider line, so a larger
// width from a hand-edited settings file gives a line of this many bytes.
inline constexpr std::int32_t kWidestFrameLine = 80;

// The frame line of a design for a line width in bytes: the design repeated
// as often as it fits whole into width bytes (the rest of the width stays
// empty), then CR LF. The width is held to kWidestFrameLine. The design must
// not be empty and width must be above zero.
std::string frameLine(std::string_view design, std::int32_t width);

// Whether text ends with a line end (CR or LF).
bool endsWithLineEnd(std::string_view text);

// What a header puts at the start of a document: the header, and a line end
// after it when it does not end with one (nothing for an empty header).
std::string headerInsertion(std::string_view header);
// What a footer puts at the end of a document: a line end first when the
// document has text that does not end with one, then the footer (nothing for
// an empty footer).
std::string footerInsertion(std::string_view document, std::string_view footer);

// The text of a header or footer file: it ends at a zero byte, and every line
// break (CR LF, a lone CR, a lone LF) becomes CR LF.
std::string withCrLfLineEnds(std::string_view bytes);

// Where a byte that is not valid code page 932 stands (its line, counted from
// 1, and its offset); nullopt when every byte is valid.
struct InvalidByte {
    std::size_t offset = 0;
    std::size_t line = 0;
};
std::optional<InvalidByte> firstInvalidByte(std::string_view bytes);

} // namespace palettetext
