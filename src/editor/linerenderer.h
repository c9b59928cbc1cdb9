// The one place that draws laid-out lines of code page 932 text on the grid:
// a single-byte column is half as wide as a double-byte character, a tab
// reaches the next multiple of 8 columns. The editing area and printing both
// draw with it, each with the grid of its own device.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <cstddef>
#include <string_view>
#include <vector>

class QPainter;
class QPaintDevice;

// The grid of a font on a device.
struct TextGrid {
    int columnWidth = 8; // pixels of one single-byte column
    int lineHeight = 16;
    int ascent = 12;
    // The font's own advances fit the grid, so runs of characters can be
    // drawn at once; otherwise each character is drawn in its own cells.
    bool runsFitGrid = false;
};

// Whether the font has Japanese glyphs of its own (else a fallback font
// draws them).
bool hasJapaneseGlyphs(const QFont& font);

// Measures the grid of a font on a device (nullptr: the screen): the one
// measurement that layout, drawing, caret and marks all use.
TextGrid measureGrid(const QFont& font, QPaintDevice* device = nullptr);

class LineRenderer {
  public:
    struct Colors {
        QColor text;
        QColor selectionBackground;
        QColor selectionText;
    };

    // A range of document positions drawn in colours and a style of its own
    // (the input method's composition text).
    struct StyledRange {
        std::size_t from = 0, to = 0;
        QColor text, background;
        bool bold = false, italic = false, underline = false, strikeOut = false;
    };

    LineRenderer(const QFont& font, const TextGrid& grid) : font_(font), grid_(grid) {}

    void setStyledRanges(std::vector<StyledRange> ranges) { styled_ = std::move(ranges); }

    // Draws the bytes of one laid-out line with its left edge at x and its top
    // at y. Bytes at document positions [selectionStart, selectionEnd) are
    // shown selected; lineEndSelected shows the line end after them as one
    // selected cell. Returns the column after the last character.
    int drawLine(QPainter& p, std::string_view bytes, std::size_t linePos, int x, int y,
                 std::size_t selectionStart, std::size_t selectionEnd, bool lineEndSelected,
                 const Colors& colors) const;

    const TextGrid& grid() const { return grid_; }

  private:
    int runWidth(const QString& run) const;

    const StyledRange* styleAt(std::size_t pos) const;

    QFont font_;
    TextGrid grid_;
    std::vector<StyledRange> styled_;
};
