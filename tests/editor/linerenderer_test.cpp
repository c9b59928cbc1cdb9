// The line renderer draws kept glyphs on the grid; these tests hold it to
// what Qt's own text drawing of each character in its cells gives.
#include "editor/linerenderer.h"

#include "support/sjis.h"
#include "text/cp932.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QFont japaneseFont(int pixels) {
    QFont f(QStringLiteral("IPAGothic"));
    f.setPixelSize(pixels);
    return f;
}

QImage blank(int dpi) {
    QImage img(900, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    const int perMeter = static_cast<int>(dpi / 0.0254 + 0.5);
    img.setDotsPerMeterX(perMeter);
    img.setDotsPerMeterY(perMeter);
    return img;
}

const LineRenderer::Colors kColors{Qt::black, Qt::blue, Qt::white};
// As the editor draws: the cells hold the background colour before.
const LineRenderer::Colors kOnWhite{Qt::black, Qt::blue, Qt::white, Qt::white};

// How a line is drawn: where the painter stands and what it clips to.
struct Placing {
    QPoint shift;
    QRect clip; // none when null
    const LineRenderer::Colors* colors = &kColors;
};

void place(QPainter& p, const Placing& at) {
    p.translate(at.shift);
    if (!at.clip.isNull()) p.setClipRect(at.clip);
}

// The line drawn by the renderer.
QImage byRenderer(const QFont& font, const std::string& bytes, int dpi, std::size_t selS = 0,
                  std::size_t selE = 0, const Placing& at = {}) {
    QImage img = blank(dpi);
    QPainter p(&img);
    place(p, at);
    const LineRenderer r(font, measureGrid(font, &img));
    r.drawLine(p, {bytes, 0, 3, 2, selS, selE}, *at.colors);
    return img;
}

// The same line, each character drawn by Qt as text at the left of its cells.
QImage byText(const QFont& font, const std::string& bytes, int dpi, std::size_t selS = 0,
              std::size_t selE = 0, const Placing& at = {}) {
    QImage img = blank(dpi);
    QPainter p(&img);
    place(p, at);
    const TextGrid g = measureGrid(font, &img);
    p.setFont(font);
    // The selected cells' background first, then every character.
    for (const bool characters : {false, true}) {
        std::int64_t col = 0;
        for (std::size_t k = 0; k < bytes.size();) {
            const int w = cp932::charColumns(bytes, k, col);
            const int x = 3 + static_cast<int>(col) * g.columnWidth;
            const bool sel = k >= selS && k < selE;
            const char16_t u = cp932::toUnicode(bytes, k);
            if (!characters && sel)
                p.fillRect(QRect(x, 2, w * g.columnWidth, g.lineHeight),
                           kColors.selectionBackground);
            p.setPen(sel ? kColors.selectionText : kColors.text);
            if (characters && u > 0x20 && u != 0x3000)
                p.drawText(QPoint(x, 2 + g.ascent), QString(QChar(u)));
            col += w;
            k += cp932::charLength(bytes, k);
        }
    }
    return img;
}

TEST(LineRenderer, GlyphsMatchQtTextInTheirCells) {
    // Latin, kana, kanji, half-width kana, symbols, frame lines, a tab, a
    // character only a fallback font may hold, and a selection across them;
    // drawn as glyphs and copied from kept cells (over a known background),
    // in italics too (glyphs that reach out of their cells).
    const std::string line = sj("News ｼﾞｬﾊﾟﾝ「あいう」漢字①\t━━┃■◆♪ (^_^) ～〜 WWW|") + "\x84\x9F";
    QFont italic = japaneseFont(16);
    italic.setItalic(true);
    for (int dpi : {96, 192}) {
        for (const QFont& font : {japaneseFont(16), japaneseFont(13), italic,
                                  QFont(QStringLiteral("DejaVu Sans Mono"), 11)}) {
            for (const LineRenderer::Colors* colors : {&kColors, &kOnWhite}) {
                SCOPED_TRACE(font.key().toStdString() + " dpi " + std::to_string(dpi) +
                             (colors == &kOnWhite ? " cells" : " glyphs"));
                const Placing at{{}, {}, colors};
                EXPECT_EQ(byRenderer(font, line, dpi, 0, 0, at), byText(font, line, dpi, 0, 0, at));
                EXPECT_EQ(byRenderer(font, line, dpi, 5, 20, at),
                          byText(font, line, dpi, 5, 20, at));
            }
        }
    }
}

TEST(LineRenderer, CellsKeepToThePaintersPlaceAndClip) {
    // Moved, and clipped through the middle of characters on every side.
    const std::string line = sj("━━━━あいうえお漢字 abc ｱｲｳ ■■■■■■");
    for (const QRect& clip : {QRect(), QRect(20, 5, 150, 9), QRect(-40, -3, 100, 60)}) {
        const Placing at{QPoint(7, 3), clip, &kOnWhite};
        SCOPED_TRACE(::testing::Message() << clip.x() << "," << clip.y());
        EXPECT_EQ(byRenderer(japaneseFont(16), line, 96, 4, 12, at),
                  byText(japaneseFont(16), line, 96, 4, 12, at));
    }
}

// One renderer draws line after line, as the editor's does from paint to
// paint: over a known background and not, on another image, and after its
// table has let its kept cells go (more cells than it keeps); each line comes
// out as Qt draws its characters.
TEST(LineRenderer, ARendererKeptFromLineToLineDrawsEachAsQtDoes) {
    const QFont font = japaneseFont(16);
    const std::string line = sj("━━あいう漢字 abc ｱｲｳ ■■");
    const Placing glyphs{{}, {}, &kColors};
    const Placing cells{{}, {}, &kOnWhite};
    QImage first = blank(96);
    const LineRenderer kept(font, measureGrid(font, &first));
    auto draw = [&](QImage& img, const std::string& bytes, const Placing& at, std::size_t selS,
                    std::size_t selE) {
        QPainter p(&img);
        kept.drawLine(p, {bytes, 0, 3, 2, selS, selE}, *at.colors);
    };
    draw(first, line, cells, 4, 12);
    EXPECT_EQ(first, byText(font, line, 96, 4, 12, cells));
    QImage second = blank(96);
    draw(second, line, glyphs, 4, 12);
    EXPECT_EQ(second, byText(font, line, 96, 4, 12, glyphs));
    // Every character of the lead bytes 0x88 to 0x9F and 0xE0 to 0xEA, as
    // they are and selected: some thirteen thousand cells.
    std::string chunk;
    for (int lead = 0x88; lead <= 0xEA; lead = lead == 0x9F ? 0xE0 : lead + 1) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            chunk += static_cast<char>(lead);
            chunk += static_cast<char>(trail);
            if (chunk.size() < 100) continue;
            QImage scratch = blank(96);
            draw(scratch, chunk, cells, 0, 0);
            draw(scratch, chunk, cells, 0, chunk.size());
            chunk.clear();
        }
    }
    QImage third = blank(96);
    draw(third, line, cells, 4, 12);
    EXPECT_EQ(third, byText(font, line, 96, 4, 12, cells));
}

TEST(LineRenderer, AKeptBoxIsItsGlyphDrawnOnItsBackground) {
    // The marks' glyphs in their boxes, as the paint pass copies them:
    // pixel for pixel the box filled and the glyph drawn over it, or no box
    // when the glyph reaches out.
    QFont symbol = japaneseFont(14);
    symbol.setFamily(QStringLiteral("Symbol"));
    QFont italic = japaneseFont(20);
    italic.setItalic(true);
    int kept = 0;
    for (const QFont& font : {symbol, japaneseFont(14), italic}) {
        auto table = GlyphTable::of(font, nullptr);
        const QFontMetrics m(font);
        for (const char16_t u :
             {u'\u2193', u'\u2190', u'\u00B7', u'>', u'\u25A1', u'[', u'W', u'f'}) {
            for (const auto& [pen, brush] : {std::pair{QColor(0, 128, 128), QColor(Qt::white)},
                                             std::pair{QColor(Qt::white), QColor(0, 255, 255)}}) {
                const QSize size(m.horizontalAdvance(QChar(u)), m.height());
                const QImage& box = table->box(u, size, m.ascent(), pen.rgb(), brush.rgb());
                QImage drawn(size.width() + 40, size.height() + 40, QImage::Format_RGB32);
                drawn.fill(Qt::white);
                QPainter p(&drawn);
                p.fillRect(QRect(QPoint(20, 20), size), brush);
                p.setFont(font);
                p.setPen(pen);
                drawCharacter(p, *table, u, QPointF(20, 20 + m.ascent()));
                p.end();
                if (box.isNull()) continue;
                ++kept;
                QImage copied(drawn.size(), QImage::Format_RGB32);
                copied.fill(Qt::white);
                QPainter c(&copied);
                c.drawImage(QPoint(20, 20), box);
                c.end();
                EXPECT_EQ(copied, drawn) << font.key().toStdString() << " " << int(u);
            }
        }
    }
    EXPECT_GT(kept, 20);
}

TEST(LineRenderer, KeepsTheGlyphsOfEachFontApart) {
    // The same characters in one font and then another, and back: each
    // drawing takes the glyphs of its own font.
    const std::string line = sj("あア亜 abc");
    const QFont a = japaneseFont(16);
    QFont b = japaneseFont(16);
    b.setBold(true);
    const QImage first = byRenderer(a, line, 96);
    EXPECT_EQ(byRenderer(b, line, 96), byText(b, line, 96));
    EXPECT_NE(byRenderer(b, line, 96), first);
    EXPECT_EQ(byRenderer(a, line, 96), first);
}

TEST(LineRenderer, TellsAJapaneseFontFromOneThatBorrowsItsJapanese) {
    // Its own kana and kanji, in any size and weight.
    for (const char* family : {"IPAGothic", "IPAPGothic", "IPAMincho"}) {
        QFont f{QString::fromUtf8(family)};
        f.setPixelSize(13);
        EXPECT_TRUE(hasJapaneseGlyphs(f)) << family;
        f.setBold(true);
        EXPECT_TRUE(hasJapaneseGlyphs(f)) << family;
    }
    // Latin fonts draw Japanese from a fallback: their grid holds their own
    // widest letter, so "W" fits its cell.
    for (const char* family : {"DejaVu Sans", "DejaVu Serif"}) {
        QFont f{QString::fromUtf8(family)};
        f.setPixelSize(16);
        EXPECT_FALSE(hasJapaneseGlyphs(f)) << family;
        EXPECT_GE(measureGrid(f).columnWidth, QFontMetrics(f).horizontalAdvance(QChar(u'W')))
            << family;
    }
}

TEST(LineRenderer, TableKnowsEachCharacterOnce) {
    auto t = GlyphTable::of(japaneseFont(16), nullptr);
    EXPECT_EQ(GlyphTable::of(japaneseFont(16), nullptr), t);
    const GlyphTable::Glyph& g = t->glyph(0x3042);
    ASSERT_GE(g.font, 0);
    EXPECT_GT(g.advance, 0);
    EXPECT_EQ(&t->glyph(0x3042), &g);
    // Every character of the code page has a glyph of one of a few fonts.
    std::string pair(2, '\0');
    for (int lead = 0x81; lead <= 0xFC; ++lead)
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            pair[0] = static_cast<char>(lead);
            pair[1] = static_cast<char>(trail);
            const char16_t u = cp932::toUnicode(pair, 0);
            if (u == 0) continue;
            const GlyphTable::Glyph& c = t->glyph(u);
            EXPECT_GE(c.font, 0) << std::hex << lead << trail;
            EXPECT_LT(c.font, 4);
        }
}

} // namespace
