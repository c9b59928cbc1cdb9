// The one place that draws laid-out lines of code page 932 text on the grid:
// a single-byte column is half as wide as a double-byte character, a tab
// reaches the next multiple of 8 columns. The editing area and printing both
// draw with it, each with the grid of its own device.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
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
    bool operator==(const TextGrid&) const = default;
};

// Whether the font has Japanese glyphs of its own (else a fallback font
// draws them).
bool hasJapaneseGlyphs(const QFont& font);

// Measures the grid of a font on a device (nullptr: the screen): the one
// measurement that layout, drawing, caret and marks all use.
TextGrid measureGrid(const QFont& font, QPaintDevice* device = nullptr);

// The glyph that Qt's own text drawing gives each character of a font on a
// device (the font itself or a fallback), looked up once and kept, so that
// lines are drawn as glyphs placed on the grid without shaping them again.
class GlyphTable {
  public:
    struct Glyph {
        std::int16_t font = -1; // index of the raw font; -1: not one glyph
        std::uint32_t index = 0;
        float advance = 0; // the font's own advance, in pixels of the device
    };

    // The table of a font at the resolution of a device (nullptr: the
    // screen), shared by every painter of that font and resolution.
    static std::shared_ptr<GlyphTable> of(const QFont& font, const QPaintDevice* device);

    // The glyph of a character: font -1 when Qt draws it as more or fewer
    // than one glyph (then it is drawn as text).
    const Glyph& glyph(char16_t u);
    const QRawFont& rawFont(int i) const { return fonts_[static_cast<std::size_t>(i)]; }

    // A character drawn in its cells of the grid (columns wide) in one colour
    // on another, as an image of the format of 32-bit RGB images; null when
    // its glyph reaches out of the cells (then it is drawn where it stands).
    const QImage& cell(char16_t u, int columns, QRgb text, QRgb background, const TextGrid& grid);
    // The same for a box of any size with the baseline ascent pixels below
    // its top.
    const QImage& box(char16_t u, QSize size, int ascent, QRgb text, QRgb background);
    // Counts the times the kept cells were let go (a cell handed out before
    // stays valid while the count stays).
    std::uint64_t generation() const { return generation_; }

  private:
    GlyphTable(const QFont& font, const QPaintDevice* device);
    Glyph lookUp(char16_t u);

    QFont font_;
    int dpiX_ = 96, dpiY_ = 96;
    std::vector<QRawFont> fonts_;
    // Pages of 256 characters, made when a character of the page is first asked for.
    std::vector<std::unique_ptr<Glyph[]>> pages_;
    std::vector<std::unique_ptr<std::uint8_t[]>> known_;
    struct CellKey {
        std::uint64_t shape; // the character, the box's width, height and ascent
        QRgb text, background;
        bool operator==(const CellKey&) const = default;
    };
    struct CellHash {
        std::size_t operator()(const CellKey& k) const {
            return (std::size_t{k.shape} * 0x9E3779B97F4A7C15ull) ^ (std::size_t{k.text} << 21) ^
                   k.background;
        }
    };
    std::unordered_map<CellKey, QImage, CellHash> cells_;
    std::uint64_t generation_ = 0;
    // The cells asked for last, by a part of their hash: most cells of a
    // line are found here without a lookup in the map (its nodes keep their
    // place until it is cleared).
    struct Recent {
        CellKey key{};
        const QImage* cell = nullptr;
    };
    static constexpr std::size_t kRecentCells = 1024; // a power of two
    std::vector<Recent> recent_ = std::vector<Recent>(kRecentCells);
};

// Draws one character with the left end of its baseline at a point, in the
// painter's pen: its kept glyph, else as text in the painter's font.
void drawCharacter(QPainter& p, GlyphTable& glyphs, char16_t u, QPointF baseline);

class LineRenderer {
  public:
    struct Colors {
        QColor text;
        QColor selectionBackground;
        QColor selectionText;
        // The colour the line's cells hold before it is drawn, when the
        // caller filled them with one (then characters drawn on an image
        // are copied from kept cells instead of being blended again).
        QColor background = QColor();
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

    // One laid-out line as it is drawn.
    struct Line {
        std::string_view bytes; // without its line end
        std::size_t start = 0;  // the document position of its first byte
        int x = 0, y = 0;       // its left edge and top
        // Bytes at document positions [selectionStart, selectionEnd) are
        // shown selected; lineEndSelected shows the line end after them as
        // one selected cell.
        std::size_t selectionStart = 0, selectionEnd = 0;
        bool lineEndSelected = false;
    };

    // Draws a line; returns the column after its last character.
    int drawLine(QPainter& p, const Line& line, const Colors& colors) const;

    const TextGrid& grid() const { return grid_; }
    const QFont& font() const { return font_; }

  private:
    const StyledRange* styleAt(std::size_t pos) const;
    // What one character of a line is drawn as: its cells and its glyph.
    struct Cell {
        int x, y, columns;
        std::size_t bytes; // its bytes in the line
        char16_t u;        // 0: nothing drawn in the cells
        bool invalid;      // not code page 932: a substitute for each byte
        bool selected;
    };
    class CellCopier;
    void drawStyled(QPainter& p, const Cell& c, const StyledRange& style) const;
    void drawInvalid(QPainter& p, const Cell& c, const Colors& colors) const;
    // Gathers a glyph for its run, or draws it as text when it is not one glyph.
    void placeGlyph(QPainter& p, const Cell& c, const Colors& colors) const;
    void drawRuns(QPainter& p, const Colors& colors) const;

    QFont font_;
    TextGrid grid_;
    std::vector<StyledRange> styled_;
    // The glyphs of the font on the device of the line being drawn, and the glyphs of
    // one line gathered per raw font, unselected and selected (kept to reuse
    // their memory).
    struct Run {
        std::vector<quint32> glyphs;
        std::vector<QPointF> positions;
        void clear() {
            glyphs.clear();
            positions.clear();
        }
    };
    mutable std::shared_ptr<GlyphTable> glyphs_;
    mutable const QPaintDevice* glyphsDevice_ = nullptr; // the device glyphs_ is for
    mutable qreal glyphsRatio_ = 0;                      // and its pixel ratio then
    mutable std::vector<Run> runs_;
    // The kept cells the lines of this renderer copied last, looked up by
    // character without the table's key: valid for one table, one
    // generation of its cells and one set of colours.
    struct KeptCell {
        const QImage* cell = nullptr;
        char16_t u = 0;
        int columns = 0;
        bool selected = false;
    };
    static constexpr std::size_t kKeptCells = 256; // a power of two
    mutable std::vector<KeptCell> keptCells_;
    mutable const GlyphTable* keptTable_ = nullptr;
    mutable std::uint64_t keptGeneration_ = 0;
    mutable QRgb keptColors_[4] = {};
};
