#include "linerenderer.h"

#include "text/cp932.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Half-width forms take one column on the grid, everything else two.
bool isHalfWidth(char16_t u) {
    return u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F) || u == cp932::kInvalidSubstitute;
}

} // namespace

bool hasJapaneseGlyphs(const QFont& font) {
    // The font file Qt chose for the font itself, not its fallbacks.
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Japanese);
    return raw.isValid() && raw.familyName() == QRawFont::fromFont(font).familyName() &&
           raw.supportsCharacter(QChar(0x3042)) && raw.supportsCharacter(QChar(0x6F22));
}

TextGrid measureGrid(const QFont& font, QPaintDevice* device) {
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

int LineRenderer::runWidth(const QString& run) const {
    int w = 0;
    for (const QChar ch : run)
        w += isHalfWidth(ch.unicode()) ? grid_.columnWidth : grid_.columnWidth * 2;
    return w;
}

const LineRenderer::StyledRange* LineRenderer::styleAt(std::size_t pos) const {
    for (const StyledRange& r : styled_)
        if (pos >= r.from && pos < r.to) return &r;
    return nullptr;
}

int LineRenderer::drawLine(QPainter& p, std::string_view v, std::size_t linePos, int x0, int y,
                           std::size_t selS, std::size_t selE, bool lineEndSelected,
                           const Colors& colors) const {
    const int colW = grid_.columnWidth;
    const int lineH = grid_.lineHeight;
    p.setFont(font_);
    const QFontMetrics fm(font_, p.device());
    // Nothing is drawn right of the device (a line of hanging blanks may be
    // far wider than any window or page), in the painter's coordinates (a
    // page drawn smaller reaches further).
    std::int64_t right = 1 << 20;
    if (p.device()) {
        bool invertible = false;
        const QTransform back = p.combinedTransform().inverted(&invertible);
        const QRectF device(0, 0, p.device()->width(), p.device()->height());
        right = invertible ? static_cast<std::int64_t>(std::ceil(back.mapRect(device).right()))
                           : p.device()->width();
    }
    std::int64_t col = 0;
    // Runs of characters drawn together (same selection state).
    QString run;
    int runX = 0;
    bool runSel = false;
    auto flush = [&] {
        if (run.isEmpty()) return;
        p.setPen(runSel ? colors.selectionText : colors.text);
        p.drawText(QPoint(runX, y + grid_.ascent), run);
        run.clear();
    };
    for (std::size_t k = 0; k < v.size();) {
        const std::size_t len = cp932::charLength(v, k);
        const int w = cp932::charColumns(v, k, col);
        if (x0 + col * colW > right) break;
        const std::size_t pos = linePos + k;
        const bool sel = pos >= selS && pos < selE;
        const int x = x0 + static_cast<int>(col) * colW;
        if (sel) p.fillRect(QRect(x, y, w * colW, lineH), colors.selectionBackground);
        const auto b = static_cast<unsigned char>(v[k]);
        QString glyph;
        if (b >= 0x20 && b != 0x7F) {
            const char16_t u = cp932::toUnicode(v, k);
            if (u == 0)
                glyph = QString(static_cast<int>(len), QChar(cp932::kInvalidSubstitute));
            else if (u != 0x20 && u != 0x3000)
                glyph = QString(QChar(u));
        }
        const bool substitute = !glyph.isEmpty() && glyph[0].unicode() == cp932::kInvalidSubstitute;
        const StyledRange* style = styled_.empty() ? nullptr : styleAt(pos);
        if (glyph.isEmpty() || substitute || style || sel != runSel || x != runX + runWidth(run) ||
            !grid_.runsFitGrid)
            flush();
        if (style) {
            // Its own background over its cells, its own colour and style.
            p.fillRect(QRect(x, y, w * colW, lineH), style->background);
            QFont f = font_;
            f.setBold(style->bold);
            f.setItalic(style->italic);
            f.setUnderline(style->underline);
            f.setStrikeOut(style->strikeOut);
            p.setFont(f);
            p.setPen(style->text);
            if (!glyph.isEmpty()) p.drawText(QPoint(x, y + grid_.ascent), glyph);
            p.setFont(font_);
        } else if (substitute) {
            // Each invalid byte in its own cell, whatever the fallback font's width.
            p.setPen(sel ? colors.selectionText : colors.text);
            QFont small = font_;
            small.setPixelSize(std::max(6, colW));
            p.setFont(small);
            for (int i = 0; i < glyph.size(); ++i)
                p.drawText(QRect(x + i * colW, y, colW, lineH), Qt::AlignCenter, QString(glyph[i]));
            p.setFont(font_);
        } else if (!glyph.isEmpty()) {
            if (run.isEmpty()) {
                runX = x;
                runSel = sel;
            }
            run += glyph;
        }
        col += w;
        k += len;
    }
    flush();
    // A selected line end shows as one highlighted cell.
    if (lineEndSelected && x0 + col * colW <= right)
        p.fillRect(QRect(x0 + static_cast<int>(col) * colW, y, colW, lineH),
                   colors.selectionBackground);
    return static_cast<int>(std::min<std::int64_t>(col, right));
}
