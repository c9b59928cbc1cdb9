#include "linerenderer.h"

#include "text/cp932.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QRegion>
#include <QScreen>
#include <QTextLayout>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {
TextGrid measureGridOnce(const QFont& font, QPaintDevice* device);
} // namespace

bool hasJapaneseGlyphs(const QFont& font) {
    // The font file Qt chose for the font itself, not its fallbacks. (Asking
    // for the font of the Japanese script instead makes Qt search the
    // fallbacks of that script, a few milliseconds per font at start.)
    const QRawFont raw = QRawFont::fromFont(font);
    return raw.isValid() && raw.supportsCharacter(QChar(0x3042)) &&
           raw.supportsCharacter(QChar(0x6F22));
}

namespace {

// A font on a device, as drawing takes it: its resolution and pixel ratio
// (without a device, the screen's, as QFontMetrics takes it).
struct FontOnDevice {
    QFont font;
    int dpiX = 0, dpiY = 0;
    qreal ratio = 0;
    FontOnDevice(const QFont& f, const QPaintDevice* device) : font(f) {
        const QScreen* screen = device ? nullptr : QGuiApplication::primaryScreen();
        if (device) {
            dpiX = device->logicalDpiX();
            dpiY = device->logicalDpiY();
            ratio = device->devicePixelRatio();
        } else if (screen) {
            dpiX = qRound(screen->logicalDotsPerInchX());
            dpiY = qRound(screen->logicalDotsPerInchY());
            ratio = screen->devicePixelRatio();
        }
    }
    bool operator==(const FontOnDevice& o) const {
        return dpiX == o.dpiX && dpiY == o.dpiY && ratio == o.ratio && font == o.font;
    }
};

// The last few values made for a font on a device, the last used first.
template <class T> class KeptPerFont {
  public:
    template <class Make> const T& get(const QFont& font, const QPaintDevice* device, Make make) {
        const FontOnDevice key(font, device);
        for (std::size_t i = 0; i < kept_.size(); ++i) {
            if (kept_[i].first == key) {
                std::rotate(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(i),
                            kept_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return kept_.front().second;
            }
        }
        constexpr std::size_t kKept = 8;
        if (kept_.size() == kKept) kept_.pop_back();
        kept_.insert(kept_.begin(), {key, make()});
        return kept_.front().second;
    }

  private:
    std::vector<std::pair<FontOnDevice, T>> kept_;
};

} // namespace

TextGrid measureGrid(const QFont& font, QPaintDevice* device) {
    // The editor asks again for the same font at every step of its set-up.
    static KeptPerFont<TextGrid> kept;
    return kept.get(font, device, [&] { return measureGridOnce(font, device); });
}

namespace {
TextGrid measureGridOnce(const QFont& font, QPaintDevice* device) {
    const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
    TextGrid g;
    if (hasJapaneseGlyphs(font)) {
        // A Japanese font: a double-byte cell is as wide as its "□".
        const int square = fm.horizontalAdvance(QChar(0x25A1));
        g.columnWidth = std::max(1, (square + 1) / 2);
    } else {
        // A font without Japanese glyphs (they come from a Japanese fallback
        // at the same size): the cells hold the fallback's double-byte
        // characters and the font's widest single-byte character.
        int widest = (fm.horizontalAdvance(QChar(0x3042)) + 1) / 2;
        for (char16_t c = 0x21; c < 0x7F; ++c)
            widest = std::max(widest, fm.horizontalAdvance(QChar(c)));
        g.columnWidth = std::max(1, widest);
    }
    g.lineHeight = std::max(1, fm.height());
    g.ascent = fm.ascent();
    const int c = g.columnWidth;
    g.runsFitGrid = fm.horizontalAdvance(QStringLiteral("a")) == c &&
                    fm.horizontalAdvance(QStringLiteral("W")) == c &&
                    fm.horizontalAdvance(QStringLiteral("あ")) == 2 * c &&
                    fm.horizontalAdvance(QStringLiteral("漢")) == 2 * c &&
                    fm.horizontalAdvance(QStringLiteral("ｱ")) == c &&
                    fm.horizontalAdvance(QStringLiteral("aあｱ")) == 4 * c;
    return g;
}
} // namespace

// --- glyphs ---------------------------------------------------------------------

std::shared_ptr<GlyphTable> GlyphTable::of(const QFont& font, const QPaintDevice* device) {
    // A few tables: the editor's font, the marks' fonts, a printer's.
    static KeptPerFont<std::shared_ptr<GlyphTable>> kept;
    return kept.get(font, device,
                    [&] { return std::shared_ptr<GlyphTable>(new GlyphTable(font, device)); });
}

GlyphTable::GlyphTable(const QFont& font, const QPaintDevice* device)
    // The font as a painter on the device uses it (its resolution).
    : font_(device ? QFont(font, device) : font), pages_(256), known_(256) {}

const GlyphTable::Glyph& GlyphTable::glyph(char16_t u) {
    const std::size_t page = u >> 8, at = u & 0xFF;
    if (!pages_[page]) {
        pages_[page] = std::make_unique<Glyph[]>(256);
        known_[page] = std::make_unique<std::uint8_t[]>(256); // zeroed: nothing known
    }
    if (!known_[page][at]) {
        pages_[page][at] = lookUp(u);
        known_[page][at] = 1;
    }
    return pages_[page][at];
}

GlyphTable::Glyph GlyphTable::lookUp(char16_t u) {
    // Laid out as Qt lays out text for drawing, fallback fonts included.
    QTextLayout layout(QString(QChar(u)), font_);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    Glyph g;
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1) return g;
    const QRawFont raw = runs[0].rawFont();
    std::size_t i = 0;
    while (i < fonts_.size() && !(fonts_[i] == raw))
        ++i;
    if (i == fonts_.size()) {
        constexpr std::size_t kMaxFonts = 32;
        if (i == kMaxFonts) return g;
        fonts_.push_back(raw);
    }
    g.font = static_cast<std::int16_t>(i);
    g.index = runs[0].glyphIndexes()[0];
    g.advance = static_cast<float>(line.naturalTextWidth());
    return g;
}

const QImage& GlyphTable::cell(char16_t u, int columns, QRgb text, QRgb background,
                               const TextGrid& grid) {
    return box(u, QSize(columns * grid.columnWidth, grid.lineHeight), grid.ascent, text,
               background);
}

const QImage& GlyphTable::box(char16_t u, QSize size, int ascent, QRgb text, QRgb background) {
    // A screen of text holds a few hundred different cells; a text of many
    // different characters starts the collection again now and then.
    constexpr std::size_t kMostCells = 8192;
    const auto part = [](int v) { return static_cast<std::uint64_t>(v & 0xFFFF); };
    const CellKey key{std::uint64_t{u} | part(size.width()) << 16 | part(size.height()) << 32 |
                          part(ascent) << 48,
                      text, background};
    Recent& recent = recent_[(CellHash{}(key) >> 7) & (kRecentCells - 1)];
    if (recent.cell && recent.key == key) return *recent.cell;
    if (cells_.size() >= kMostCells) {
        cells_.clear();
        ++generation_;
        std::fill(recent_.begin(), recent_.end(), Recent{});
    }
    const auto [at, added] = cells_.try_emplace(key);
    recent = {key, &at->second};
    if (!added) return at->second;
    // Drawn with room all round: a glyph that inks any pixel out of its box
    // is not kept.
    const int w = size.width(), h = size.height(), room = std::max(h, 8);
    if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF || ascent < 0 || ascent > 0xFFFF)
        return at->second;
    QImage drawn(w + 2 * room, h + 2 * room, QImage::Format_RGB32);
    drawn.fill(background);
    {
        QPainter q(&drawn);
        q.setFont(font_);
        q.setPen(QColor::fromRgb(text));
        drawCharacter(q, *this, u, QPointF(room, room + ascent));
    }
    const QRect inside(room, room, w, h);
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x)
            if (row[x] != (background | 0xFF000000u) && !inside.contains(x, y))
                return at->second; // null: drawn where it stands
    }
    at->second = drawn.copy(inside);
    return at->second;
}

void drawCharacter(QPainter& p, GlyphTable& glyphs, char16_t u, QPointF baseline) {
    const GlyphTable::Glyph& g = glyphs.glyph(u);
    if (g.font < 0) {
        p.drawText(baseline, QString(QChar(u)));
        return;
    }
    const quint32 index = g.index;
    const QPointF at = baseline;
    QGlyphRun run;
    run.setRawFont(glyphs.rawFont(g.font));
    run.setRawData(&index, &at, 1);
    p.drawGlyphRun(QPointF(0, 0), run);
}

// --- lines -----------------------------------------------------------------------

const LineRenderer::StyledRange* LineRenderer::styleAt(std::size_t pos) const {
    for (const StyledRange& r : styled_)
        if (pos >= r.from && pos < r.to) return &r;
    return nullptr;
}

namespace {
// The right edge of the device in the painter's coordinates (a page drawn
// smaller reaches further): nothing is drawn right of it, as a line of
// hanging blanks may be far wider than any window or page.
std::int64_t rightEdgeOf(const QPainter& p) {
    if (!p.device()) return 1 << 20;
    bool invertible = false;
    const QTransform back = p.combinedTransform().inverted(&invertible);
    const QRectF device(0, 0, p.device()->width(), p.device()->height());
    return invertible ? static_cast<std::int64_t>(std::ceil(back.mapRect(device).right()))
                      : p.device()->width();
}
} // namespace

namespace {
// The rows of a cell N pixels wide, each copied as a block of known size (a
// few moves, no call per row): cells are a few columns wide.
template <int N>
void copyRows(uchar* to, qsizetype toStride, const uchar* from, qsizetype fromStride, int rows) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(to, from, static_cast<std::size_t>(N) * 4);
        to += toStride;
        from += fromStride;
    }
}
using RowCopy = void (*)(uchar*, qsizetype, const uchar*, qsizetype, int);
template <std::size_t... N>
constexpr std::array<RowCopy, sizeof...(N)> rowCopies(std::index_sequence<N...>) {
    return {&copyRows<static_cast<int>(N)>...};
}
constexpr std::array<RowCopy, 33> kRowCopies = rowCopies(std::make_index_sequence<33>{});
} // namespace

// Characters copied from kept cells: onto a 32-bit RGB image drawn at whole
// pixels, inside one clip rectangle, over cells of a known colour.
class LineRenderer::CellCopier {
  public:
    CellCopier(QPainter& p, const LineRenderer& renderer, const Colors& colors)
        : renderer_(renderer), glyphs_(*renderer.glyphs_), grid_(renderer.grid_),
          text_(colors.text.rgb()), selectedText_(colors.selectionText.rgb()),
          back_(colors.background.rgb()), selectedBack_(colors.selectionBackground.rgb()) {
        const QFont& font = renderer.font_;
        if (!colors.background.isValid() || !p.device() ||
            p.device()->devType() != QInternal::Image || font.underline() || font.strikeOut() ||
            font.overline())
            return;
        auto* img = static_cast<QImage*>(p.device());
        const QTransform t = p.deviceTransform();
        if (img->format() != QImage::Format_RGB32 || img->devicePixelRatio() != 1.0 ||
            t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) ||
            t.dy() != std::floor(t.dy()))
            return;
        shift_ = QPoint(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
        target_ = img->rect();
        if (p.hasClipping()) {
            const QRegion clip = p.clipRegion();
            if (clip.rectCount() > 1) return;
            target_ &= clip.boundingRect().translated(shift_);
        }
        bits_ = img->bits();
        stride_ = img->bytesPerLine();
        // The renderer's list holds cells of this table and these colours.
        const QRgb kinds[4] = {text_, back_, selectedText_, selectedBack_};
        if (renderer.keptTable_ != &glyphs_ || renderer.keptGeneration_ != glyphs_.generation() ||
            !std::equal(kinds, kinds + 4, renderer.keptColors_) || renderer.keptCells_.empty()) {
            renderer.keptCells_.assign(kKeptCells, KeptCell{});
            renderer.keptTable_ = &glyphs_;
            renderer.keptGeneration_ = glyphs_.generation();
            std::copy(kinds, kinds + 4, renderer.keptColors_);
        }
        targetLeft_ = target_.left();
        targetTop_ = target_.top();
        targetRight_ = target_.right() + 1;
        targetBottom_ = target_.bottom() + 1;
    }
    bool active() const { return bits_ != nullptr; }

    // Copies the kept cell of a character; false when its glyph is drawn
    // otherwise. The last cell copied is kept for runs of one character
    // (frame lines).
    bool copy(const Cell& c) {
        if (!last_ || c.u != lastCharacter_ || c.columns != lastColumns_ ||
            c.selected != lastSelected_) {
            last_ = &cellOf(c);
            lastCharacter_ = c.u;
            lastColumns_ = c.columns;
            lastSelected_ = c.selected;
            lastBits_ = last_->isNull() ? nullptr : last_->constBits();
            lastWidth_ = last_->width();
            lastHeight_ = last_->height();
            lastStride_ = last_->bytesPerLine();
        }
        if (!lastBits_) return false;
        // The part of the cell inside the target, in the image's pixels.
        const int left = c.x + shift_.x(), top = c.y + shift_.y();
        const int x0 = std::max(left, targetLeft_), x1 = std::min(left + lastWidth_, targetRight_);
        const int y0 = std::max(top, targetTop_), y1 = std::min(top + lastHeight_, targetBottom_);
        if (x0 >= x1 || y0 >= y1) return true;
        const int width = x1 - x0;
        const uchar* from = lastBits_ + (y0 - top) * lastStride_ + (x0 - left) * 4;
        uchar* to = bits_ + y0 * stride_ + x0 * 4;
        if (width < static_cast<int>(kRowCopies.size())) {
            kRowCopies[static_cast<std::size_t>(width)](to, stride_, from, lastStride_, y1 - y0);
            return true;
        }
        for (int row = y0; row < y1; ++row) {
            std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
            from += lastStride_;
            to += stride_;
        }
        return true;
    }

  private:
    const QImage& cellOf(const Cell& c) {
        // The renderer's own short list first (most characters of a screen
        // are in it), then the table.
        const LineRenderer& r = renderer_;
        KeptCell& kept = r.keptCells_[(c.u ^ (static_cast<unsigned>(c.columns) << 7) ^
                                       (c.selected ? 0x55u : 0u)) &
                                      (kKeptCells - 1)];
        if (kept.cell && kept.u == c.u && kept.columns == c.columns && kept.selected == c.selected)
            return *kept.cell;
        const QImage& cell = glyphs_.cell(c.u, c.columns, c.selected ? selectedText_ : text_,
                                          c.selected ? selectedBack_ : back_, grid_);
        // The table may have let its cells go to make this one.
        if (r.keptGeneration_ != glyphs_.generation()) {
            r.keptCells_.assign(kKeptCells, KeptCell{});
            r.keptGeneration_ = glyphs_.generation();
        }
        kept = {&cell, c.u, c.columns, c.selected};
        return cell;
    }

    const LineRenderer& renderer_;
    GlyphTable& glyphs_;
    const TextGrid& grid_;
    QRgb text_, selectedText_, back_, selectedBack_;
    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    QRect target_; // where cells may be copied, in the image's pixels
    QPoint shift_; // from the painter's coordinates to the image's
    const QImage* last_ = nullptr;
    // What copying needs of the last cell, read once.
    const uchar* lastBits_ = nullptr;
    int lastWidth_ = 0, lastHeight_ = 0;
    qsizetype lastStride_ = 0;
    int targetLeft_ = 0, targetTop_ = 0, targetRight_ = 0, targetBottom_ = 0; // right, bottom: past

    char16_t lastCharacter_ = 0;
    int lastColumns_ = 0;
    bool lastSelected_ = false;
};

int LineRenderer::drawLine(QPainter& p, const Line& line, const Colors& colors) const {
    const int colW = grid_.columnWidth;
    p.setFont(font_);
    // The table of the device, looked up again only for another device.
    const qreal ratio = p.device() ? p.device()->devicePixelRatio() : 0;
    if (!glyphs_ || p.device() != glyphsDevice_ || ratio != glyphsRatio_) {
        glyphs_ = GlyphTable::of(font_, p.device());
        glyphsDevice_ = p.device();
        glyphsRatio_ = ratio;
    }
    const std::int64_t right = rightEdgeOf(p);
    CellCopier copier(p, *this, colors);
    // Glyphs placed on the grid, gathered per font and selection state and
    // drawn after every cell's background (a glyph reaching into the next
    // cell keeps its ink there).
    for (auto& r : runs_)
        r.clear();
    const std::string_view v = line.bytes;
    std::int64_t col = 0;
    for (std::size_t k = 0; k < v.size();) {
        Cell c{};
        c.bytes = cp932::charLength(v, k);
        c.columns = cp932::charColumns(v, k, col);
        if (line.x + col * colW > right) break;
        const std::size_t pos = line.start + k;
        c.selected = pos >= line.selectionStart && pos < line.selectionEnd;
        c.x = line.x + static_cast<int>(col) * colW;
        c.y = line.y;
        const auto b = static_cast<unsigned char>(v[k]);
        if (b >= 0x20 && b != 0x7F) {
            c.u = cp932::toUnicode(v, k);
            c.invalid = c.u == 0;
            if (c.u == 0x20 || c.u == 0x3000) c.u = 0;
        }
        col += c.columns;
        k += c.bytes;
        const StyledRange* style = styled_.empty() ? nullptr : styleAt(pos);
        if (copier.active() && c.u != 0 && !style && copier.copy(c)) continue;
        const QRect cells(c.x, c.y, c.columns * colW, grid_.lineHeight);
        if (c.selected) p.fillRect(cells, colors.selectionBackground);
        if (style)
            drawStyled(p, c, *style);
        else if (c.invalid)
            drawInvalid(p, c, colors);
        else if (c.u != 0)
            placeGlyph(p, c, colors);
    }
    drawRuns(p, colors);
    // A selected line end shows as one highlighted cell.
    if (line.lineEndSelected && line.x + col * colW <= right)
        p.fillRect(QRect(line.x + static_cast<int>(col) * colW, line.y, colW, grid_.lineHeight),
                   colors.selectionBackground);
    return static_cast<int>(std::min<std::int64_t>(col, right));
}

void LineRenderer::drawStyled(QPainter& p, const Cell& c, const StyledRange& style) const {
    // Its own background over its cells, its own colour and style.
    p.fillRect(QRect(c.x, c.y, c.columns * grid_.columnWidth, grid_.lineHeight), style.background);
    QFont f = font_;
    f.setBold(style.bold);
    f.setItalic(style.italic);
    f.setUnderline(style.underline);
    f.setStrikeOut(style.strikeOut);
    p.setFont(f);
    p.setPen(style.text);
    const QPoint baseline(c.x, c.y + grid_.ascent);
    if (c.invalid)
        p.drawText(baseline, QString(static_cast<int>(c.bytes), QChar(cp932::kInvalidSubstitute)));
    else if (c.u != 0)
        p.drawText(baseline, QString(QChar(c.u)));
    p.setFont(font_);
}

void LineRenderer::drawInvalid(QPainter& p, const Cell& c, const Colors& colors) const {
    // Each invalid byte in its own cell, whatever the fallback font's width.
    const int colW = grid_.columnWidth;
    p.setPen(c.selected ? colors.selectionText : colors.text);
    QFont small = font_;
    small.setPixelSize(std::max(6, colW));
    p.setFont(small);
    for (std::size_t i = 0; i < c.bytes; ++i)
        p.drawText(QRect(c.x + static_cast<int>(i) * colW, c.y, colW, grid_.lineHeight),
                   Qt::AlignCenter, QString(QChar(cp932::kInvalidSubstitute)));
    p.setFont(font_);
}

void LineRenderer::placeGlyph(QPainter& p, const Cell& c, const Colors& colors) const {
    const GlyphTable::Glyph& g = glyphs_->glyph(c.u);
    if (g.font < 0) {
        // Not one glyph: drawn as text in its cells.
        p.setPen(c.selected ? colors.selectionText : colors.text);
        p.drawText(QPoint(c.x, c.y + grid_.ascent), QString(QChar(c.u)));
        return;
    }
    const std::size_t r = 2 * static_cast<std::size_t>(g.font) + (c.selected ? 1 : 0);
    if (runs_.size() <= r) runs_.resize(2 * (static_cast<std::size_t>(g.font) + 1));
    runs_[r].glyphs.push_back(g.index);
    runs_[r].positions.emplace_back(c.x, c.y + grid_.ascent);
}

void LineRenderer::drawRuns(QPainter& p, const Colors& colors) const {
    for (const bool sel : {false, true}) {
        bool penSet = false;
        for (std::size_t f = 0; 2 * f + 1 < runs_.size(); ++f) {
            Run& r = runs_[2 * f + (sel ? 1 : 0)];
            if (r.glyphs.empty()) continue;
            if (!penSet) p.setPen(sel ? colors.selectionText : colors.text);
            penSet = true;
            QGlyphRun run;
            run.setRawFont(glyphs_->rawFont(static_cast<int>(f)));
            run.setRawData(r.glyphs.data(), r.positions.data(), static_cast<int>(r.glyphs.size()));
            run.setUnderline(font_.underline());
            run.setStrikeOut(font_.strikeOut());
            run.setOverline(font_.overline());
            p.drawGlyphRun(QPointF(0, 0), run);
        }
    }
}
