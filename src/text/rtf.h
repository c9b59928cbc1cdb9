// Reading rich text (RTF) for display: paragraphs of runs with their
// character formats, ready to be put into a QTextDocument by a window.
//
// The reader takes what a viewer needs (bold, italic, underline, strike-out,
// super- and subscript, hidden text, font size, text and background colour
// from the colour table, font from the font table, paragraph alignment, line
// breaks and tabs) and skips everything else: pictures, document information,
// style sheets, headers and footers, "{\*...}" destinations and unknown
// control words. Bytes given as \'hh are decoded in the code page of the
// current font (its \fcharset or \cpg; the document's \ansicpg for a font
// without one); consecutive bytes are decoded together, so a double-byte
// character written as two escapes comes out whole.
//
// Malformed or truncated input gives what could be read: the reader never
// fails, runs in time linear in the input and keeps at most a bounded number
// of nested groups.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace rtf {

// True when bytes begin as a rich-text file does ("{\rtf").
bool isRichText(std::string_view bytes);

struct Color {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Color&) const = default;
};

enum class Alignment { Left, Center, Right, Justify };
enum class VerticalPosition { Normal, Superscript, Subscript };

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    VerticalPosition position = VerticalPosition::Normal;
    // Font size in half points (24 is 12 points, the size without \fs).
    int halfPoints = 24;
    std::optional<Color> color;      // none: the viewer's text colour
    std::optional<Color> background; // none: no highlight
    QString fontFamily;              // empty: the viewer's font
    bool operator==(const CharFormat&) const = default;
};

// Text of one format. Tabs are '\t', line breaks inside a paragraph
// U+2028 (QChar::LineSeparator); there are no other control characters, no
// noncharacters and no marks that turn the direction of the text (those,
// and anything undecodable or out of place, show as U+FFFD).
struct Run {
    QString text;
    CharFormat format;
};

struct Paragraph {
    Alignment alignment = Alignment::Left;
    std::vector<Run> runs;
};

struct RichText {
    std::vector<Paragraph> paragraphs; // at least one
    // The text of all paragraphs, separated by '\n'.
    QString plainText() const;
};

// The smallest and largest font size kept, in half points; sizes outside are
// held at these.
inline constexpr int kMinHalfPoints = 2;
inline constexpr int kMaxHalfPoints = 1000;
// Groups nested deeper than this share the state of the deepest one kept.
inline constexpr int kMaxGroupDepth = 1000;

RichText read(std::string_view bytes);

} // namespace rtf
