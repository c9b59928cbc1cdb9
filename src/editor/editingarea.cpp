#include "editingarea.h"

#include "linerenderer.h"

#include "text/cp932.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <array>
#include <cmath>
#include <unordered_map>

namespace {

// Far right of any window, and still far from the end of an int.
constexpr std::int64_t kFarRight = 1 << 24;

// The "Symbol" glyphs the marks use, as Unicode.
const QChar kSymbolLeftArrow(0x2190); // byte 0xAC
const QChar kSymbolDownArrow(0x2193); // byte 0xAF
const QChar kSymbolSpace(0x00B7);     // byte 0xA0: the font's own glyph; a middle dot here

// The send check's marks: red for what a reader sees broken, orange for a
// warning.
constexpr ColorValue kMailCheckColor = rgbColor(255, 0, 0);
constexpr ColorValue kMailWarningColor = rgbColor(255, 140, 0);

bool isNavigationKey(int key) {
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

} // namespace

EditingArea::EditingArea(QWidget* parent)
    : TextEdit(parent), imeColors_(new ImeColors(this)), wordWrap_(new WordWrapOption(this)),
      editArea_(new EditArea(this)), editMarks_(new EditMarks(this)) {
    setSelectionBar(true);
    takeBuiltInPunctuation();
    setWrapModeWordOfControl(wordWrap_->modeWord());
    imeColors_->sendColors();
    // The margins start as the view's own: the selection bar left of the text.
    editArea_->margin().setFromControl(textMargins().left, 0, 0);
    updateCharWidth();
    mailScanTimer_.setSingleShot(true);
    connect(&mailScanTimer_, &QTimer::timeout, this, &EditingArea::continueMailScan);
}

EditingArea::~EditingArea() {
    delete editMarks_;
    delete editArea_;
    delete wordWrap_;
    delete imeColors_;
}

void EditingArea::updateCharWidth() {
    // The character width is two columns of the font's grid. A Japanese
    // font is drawn at the height of its "□" (its em), rounded to an even
    // width; a font without Japanese glyphs keeps its own size, so its text
    // is not shrunk to the width of a "□" it may not even have.
    const int w = 2 * measureGrid(editorFont()).columnWidth;
    const int height = hasJapaneseGlyphs(editorFont()) ? w : QFontInfo(editorFont()).pixelSize();
    setCharPixelHeight(height);
    editArea_->setCharWidth(w);
    editAreaChanged();
}

void EditingArea::editAreaChanged() {
    // The line width in columns; the text area, the wrap line and the marks
    // stand on the same grid of columns. Switched off, the text wraps at the
    // window's width.
    const EditMargin& m = editArea_->margin();
    setTextMargins({m.left(), m.top(), m.bottom()});
    if (editArea_->isEnabled())
        setLineWidth(editArea_->lineLength());
    else
        wrapAtWindowWidth();
}

void EditingArea::repaintMarks() {
    viewport()->update();
}

void EditingArea::fontChanged() {
    editMarks_->beginUpdate();
    TextEdit::fontChanged();
    if (!loading_) updateCharWidth();
    editMarks_->endUpdate();
}

void EditingArea::selectAll() {
    if (editMarks_->caretLine.isEnabled()) hideCaretLine();
    TextEdit::selectAll();
}

// --- the caret-line marker ---------------------------------------------------

int EditingArea::caretLineRow(int line) const {
    const QPoint p = positionOfChar(lineStart(line));
    const int cw = editArea_->charWidth();
    return editorFont().family() == QStringLiteral("FixedSys") ? p.y() + cw : p.y() + cw - 1;
}

bool EditingArea::lineVisible(int line) const {
    const QRect area = textArea();
    const int last = lineOfChar(charAtPoint(QPoint(area.left(), area.bottom() + 1)));
    return line >= firstVisibleLine() && line <= last;
}

int EditingArea::computeCaretLine() const {
    // The line that holds the caret, or the row on which the caret is shown
    // when it stands at the end of a wrapped line.
    return static_cast<int>(caretLine());
}

void EditingArea::updateRow(int line) {
    if (line >= 0) updateLines(static_cast<std::size_t>(line), static_cast<std::size_t>(line));
}

void EditingArea::showCaretLine() {
    if (editMarks_->updating() || !editMarks_->caretLine.isEnabled()) return;
    if (selectionLength() > 0) {
        if (caretLineShown_) updateRow(caretLine_);
        caretLineShown_ = false;
        return;
    }
    if (hasFocus()) {
        const int line = computeCaretLine();
        if (line != caretLine_) hideCaretLine();
        caretLine_ = line;
    }
    caretLineShown_ = lineVisible(caretLine_);
    if (caretLineShown_) updateRow(caretLine_);
}

void EditingArea::hideCaretLine() {
    if (!caretLineShown_) return;
    caretLineShown_ = false;
    updateRow(caretLine_);
}

void EditingArea::drawCaretLine(QImage& canvas, const QRect& update) {
    if (editMarks_->updating() || !editMarks_->caretLine.isEnabled() || !caretLineShown_ ||
        selectionLength() > 0)
        return;
    if (!lineVisible(caretLine_)) return;
    const int y = caretLineRow(caretLine_);
    const QSize logical = canvas.deviceIndependentSize().toSize();
    if (y < update.top() || y > update.bottom() || y < 0 || y >= logical.height()) return;
    const QRect area = textArea();
    const QRgb bg = toQColor(backgroundColor()).rgb();
    const QRgb mark = toQColor(editMarks_->caretLine.color()).rgb();
    // Only pixels of the background colour change; text keeps its pixels.
    // One pixel of the window is a block of the canvas's pixels.
    const qreal d = canvas.devicePixelRatio();
    const int x0 = static_cast<int>(std::floor(std::max(area.left(), 0) * d));
    const int x1 = std::min(static_cast<int>(std::floor((area.right() + 2) * d)), canvas.width());
    const int y1 = std::min(static_cast<int>(std::floor((y + 1) * d)), canvas.height());
    for (int row = static_cast<int>(std::floor(y * d)); row < y1; ++row) {
        auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(row));
        for (int x = x0; x < x1; ++x)
            if (line[x] == (bg | 0xFF000000u)) line[x] = mark | 0xFF000000u;
    }
}

// --- the wrap line and the marks -----------------------------------------------

std::int64_t EditingArea::lineLengthPixels() const {
    // The columns of the text's own grid. 64-bit: the line length and the
    // margins come from settings and may be anything an int holds.
    return static_cast<std::int64_t>(editArea_->lineLength()) * columnWidth();
}

int EditingArea::wrapLineX() const {
    const std::int64_t x =
        lineLengthPixels() + textMargins().left + 1 - horizontalScrollBar()->value();
    return static_cast<int>(std::clamp<std::int64_t>(x, -kFarRight, kFarRight));
}

void EditingArea::paintWrapLine(QPainter& p) {
    if (editMarks_->updating() || !editMarks_->wrapLine.isEnabled()) return;
    const QColor color = toQColor(editMarks_->wrapLine.color());
    const int x = wrapLineX();
    // On whole pixels the line is the column of pixels at x, filled (the
    // rasterizer's line costs more); scaled, the pen places it.
    if (p.deviceTransform().type() <= QTransform::TxTranslate) {
        p.fillRect(QRect(x, 0, 1, height() + 1), color);
        return;
    }
    p.setPen(QPen(color, 1));
    p.drawLine(x, 0, x, height());
}

// The two fonts the marks are drawn in, with what drawing a mark needs of
// them; made again only when the editor's font changes.
struct EditingArea::MarkFonts {
    struct Face {
        QFont font;
        QFontMetrics metrics;
        int height, ascent; // of the metrics, read once
        std::shared_ptr<GlyphTable> glyphs;
        std::unordered_map<char16_t, int> advances;
        Face(const QFont& f, const QPaintDevice* device)
            : font(f), metrics(f), height(metrics.height()), ascent(metrics.ascent()),
              glyphs(GlyphTable::of(f, device)) {}
        int advance(char16_t u) {
            const auto [at, added] = advances.try_emplace(u, 0);
            if (added) at->second = metrics.horizontalAdvance(QChar(u));
            return at->second;
        }
    };
    QFont editorFont;
    Face symbol, gothic;
    MarkFonts(const QFont& editorFont, const QPaintDevice* device)
        : editorFont(editorFont), symbol(withFamily(editorFont, "Symbol"), device),
          gothic(withFamily(editorFont, "ＭＳ ゴシック"), device) {}

    // The editor's font at the height of "□" less 2, in a family of its own.
    static QFont withFamily(const QFont& editorFont, const char* family) {
        QFont f = editorFont;
        f.setPixelSize(std::max(1, QFontMetrics(editorFont).horizontalAdvance(QChar(0x25A1)) - 2));
        f.setFamily(QString::fromUtf8(family));
        return f;
    }
};

void EditingArea::paintMarks(QPainter& p, int startPos, int endPos) {
    static const QImage kNoBox;
    EditMarks& m = *editMarks_;
    if (m.updating()) return;
    if (!markFonts_ || markFonts_->editorFont != editorFont())
        markFonts_ = std::make_unique<MarkFonts>(editorFont(), p.device());
    const QRect area = textArea();
    const int len = textLength();
    int last = endPos;
    const int selStart = selectionStart();
    const int selEnd = selectionStart() + selectionLength();
    const bool selected = selectionLength() > 0;
    const QColor back = toQColor(backgroundColor());

    // The colours of each kind of mark, worked out at its first mark.
    struct Look {
        const EditSymbol* symbol = nullptr;
        QColor pen, brush;
    };
    std::array<Look, 6> looks;
    auto lookOf = [&](const EditSymbol& sym) -> const Look& {
        std::size_t i = 0;
        while (i + 1 < looks.size() && looks[i].symbol && looks[i].symbol != &sym)
            ++i;
        Look& l = looks[i];
        if (l.symbol != &sym) {
            const QColor own = toQColor(sym.color());
            l = {&sym, sym.isReversed() ? back : own, sym.isReversed() ? own : back};
        }
        return l;
    };
    auto draw = [&](const EditSymbol& sym, MarkFonts::Face& face, char16_t glyph, QPoint at) {
        const Look& look = lookOf(sym);
        const QColor& brush = look.brush;
        const QColor& pen = look.pen;
        const QSize box(face.advance(glyph), face.height);
        // The mark drawn once in its colours and copied; drawn in place
        // when its glyph reaches out of its box.
        const QImage& kept = p.device() && p.device()->devicePixelRatio() == 1.0
                                 ? face.glyphs->box(glyph, box, face.ascent, pen.rgb(), brush.rgb())
                                 : kNoBox;
        if (!kept.isNull()) {
            p.drawImage(at, kept);
            return;
        }
        p.setFont(face.font);
        p.fillRect(QRect(at, box), brush);
        p.setPen(pen);
        drawCharacter(p, *face.glyphs, glyph, QPointF(at.x(), at.y() + face.ascent));
    };

    if (endPos >= len) {
        if (m.endOfText.isEnabled() && (!selected || selEnd < len)) {
            const QPoint pt = positionOfChar(len);
            if (pt.x() <= area.right())
                draw(m.endOfText, markFonts_->symbol, kSymbolLeftArrow.unicode(),
                     pt + QPoint(2, 0));
        }
        last = len - 1;
    }
    if (last < 0) return;
    if (!m.lineEnd.isEnabled() && !m.controlChar.isEnabled() && !m.doubleByteSpace.isEnabled() &&
        !m.space.isEnabled() && !m.tab.isEnabled())
        return;

    // Row by row, the columns counted once from each row's start; only the
    // bytes of the pass (and the one after it, for CR LF) are marked, none
    // of the selection's.
    const int from = std::max(startPos, 0);
    const LineView& view = lineView();
    const Document& d = document();
    const int rightEdge = viewport()->width();
    const int colW = columnWidth();
    const int lineH = lineHeight();
    const int hs = horizontalScrollBar()->value();
    const int firstRow = verticalScrollBar()->value();
    for (std::size_t row = view.lineOf(static_cast<std::size_t>(from)); row < view.count(); ++row) {
        const LaidLine& l = view.line(row);
        if (l.start > static_cast<std::size_t>(last)) break;
        const std::size_t textEnd = l.start + l.length;
        const std::size_t rowEnd =
            std::min<std::size_t>(textEnd + l.eol, static_cast<std::size_t>(len));
        const std::string_view bytes = d.view(l.start, rowEnd);
        const int y = area.top() + (static_cast<int>(row) - firstRow) * lineH;
        std::int64_t col = 0;
        for (std::size_t k = 0; k < bytes.size();) {
            const std::size_t pos = l.start + k;
            const std::size_t charLen = pos < textEnd ? cp932::charLength(bytes, k) : 1;
            const int w = pos < textEnd ? cp932::charColumns(bytes, k, col) : 0;
            const std::int64_t x = area.left() + col * colW - hs;
            // The rest of the row is out of sight (blanks may hang far
            // past the width).
            if (x > rightEdge || pos > static_cast<std::size_t>(last)) break;
            const bool inPass =
                pos >= static_cast<std::size_t>(from) &&
                !(selected && static_cast<int>(pos) >= selStart && static_cast<int>(pos) < selEnd);
            if (inPass) {
                const QPoint at(static_cast<int>(x), y);
                const unsigned char b = static_cast<unsigned char>(bytes[k]);
                if (b == '\r' || b == '\n') {
                    // A CR LF pair is one line end, marked once.
                    const bool pairedLf = b == '\n' && k > 0 && bytes[k - 1] == '\r' &&
                                          pos - 1 >= static_cast<std::size_t>(from) &&
                                          !(selected && static_cast<int>(pos) - 1 >= selStart &&
                                            static_cast<int>(pos) - 1 < selEnd);
                    if (m.lineEnd.isEnabled() && !pairedLf)
                        draw(m.lineEnd, markFonts_->symbol, kSymbolDownArrow.unicode(),
                             at + QPoint(2, 2));
                } else if (b == '\t') {
                    if (m.tab.isEnabled()) draw(m.tab, markFonts_->symbol, u'>', at + QPoint(1, 1));
                } else if (b == ' ') {
                    if (m.space.isEnabled())
                        draw(m.space, markFonts_->symbol, kSymbolSpace.unicode(),
                             at + QPoint(1, 2));
                } else if (cp932::isLeadByte(b)) {
                    if (m.doubleByteSpace.isEnabled() && b == 0x81 && k + 1 < bytes.size() &&
                        static_cast<unsigned char>(bytes[k + 1]) == 0x40)
                        draw(m.doubleByteSpace, markFonts_->gothic, u'□', at + QPoint(0, 1));
                } else if (b < 0x20) {
                    if (m.controlChar.isEnabled())
                        draw(m.controlChar, markFonts_->gothic, static_cast<char16_t>(b + 0x40),
                             at + QPoint(0, 1));
                }
            }
            col += w;
            k += charLen;
        }
    }
}

void EditingArea::paintMarginBands(QPainter& p) {
    // The bands outside the text area stay clear of text (edges exclusive).
    const QRect area = textArea();
    const int left = area.left(), top = area.top();
    const int right = area.right() + 1, bottom = area.bottom() + 1;
    const QColor back = toQColor(backgroundColor());
    const int w = viewport()->width(), h = viewport()->height();
    if (0 < top) p.fillRect(QRect(0, 0, w, top), back);
    if (bottom < h) p.fillRect(QRect(0, bottom, w, h - bottom), back);
    if (0 < left) p.fillRect(QRect(0, 0, left, h), back);
    if (right < w) p.fillRect(QRect(right, 0, w - right, h), back);
}

void EditingArea::paintEvent(QPaintEvent* e) {
    if (editMarks_->updating() || painting_) return TextEdit::paintEvent(e);
    painting_ = true;
    // The canvas has the screen's pixels (twice as many each way on a screen
    // scaled by 2), so text is drawn sharp, not enlarged.
    const qreal dpr = viewport()->devicePixelRatioF();
    const QSize pixels = (QSizeF(viewport()->size()) * dpr).toSize();
    if (canvas_.size() != pixels || canvas_.devicePixelRatio() != dpr) {
        canvas_ = QImage(pixels, QImage::Format_RGB32);
        canvas_.setDevicePixelRatio(dpr);
    }
    // Strips far apart (the rows a scroll brings into sight and the rows at
    // the other edge of the view) are painted each on its own, not with
    // everything between them.
    const QRegion& region = e->region();
    const QRect bounds = e->rect();
    qint64 area = 0;
    for (const QRect& r : region)
        area += qint64{r.width()} * r.height();
    const bool apart =
        region.rectCount() > 1 && 2 * area < qint64{bounds.width()} * bounds.height();
    if (apart) {
        for (const QRect& r : region)
            paintCanvas(r);
    } else {
        paintCanvas(bounds);
    }
    // The count also follows what changes without a change of the text (the
    // character limit): told when it differs, once a paint.
    if (!e->rect().isEmpty()) tellMailFindings();
    QPainter w(viewport());
    auto show = [&](const QRect& r) {
        w.drawImage(QRectF(r), canvas_, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
    };
    if (apart) {
        for (const QRect& r : region)
            show(r);
    } else {
        show(bounds);
    }
    painting_ = false;
}

void EditingArea::paintCanvas(const QRect& r) {
    // One painter for the whole pass: the raster engine draws at once,
    // so the waves and the caret-line marker can set pixels in between.
    QPainter p(&canvas_);
    p.setClipRect(r);
    paintText(p, r);
    if (!r.isEmpty()) {
        const int s = charAtPoint(r.topLeft());
        const int end = charAtPoint(r.bottomRight());
        // A mark's box may reach down into the row below its own: the
        // marks of the row above are drawn again too (clipped).
        paintMarks(p, charAtPoint(r.topLeft() - QPoint(0, lineHeight())), end);
        paintMailMarks(p, s, end);
        paintMarginBands(p);
        paintWrapLine(p);
    }
    drawMailWaves(canvas_, r);
    drawCaretLine(canvas_, r);
    paintCaret(p);
}

// --- selection, keys and mouse -------------------------------------------------

void EditingArea::selectionChange() {
    TextEdit::selectionChange();
    if (prevSelEnd_ != prevSelStart_)
        updateLines(static_cast<std::size_t>(lineOfChar(prevSelStart_)),
                    static_cast<std::size_t>(lineOfChar(prevSelEnd_)));
    showCaretLine();
    prevSelStart_ = selectionStart();
    prevSelEnd_ = selectionStart() + selectionLength();
}

void EditingArea::keyDown(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const int key = e->key();
    if (isNavigationKey(key) && shift) hideCaretLine();
    TextEdit::keyDown(e);
    if ((isNavigationKey(key) && shift) || (key == Qt::Key_Delete && !shift)) showCaretLine();
}

void EditingArea::mousePressEvent(QMouseEvent* e) {
    hideCaretLine();
    TextEdit::mousePressEvent(e);
    showCaretLine();
}

void EditingArea::mouseDoubleClickEvent(QMouseEvent* e) {
    hideCaretLine();
    TextEdit::mouseDoubleClickEvent(e);
}

void configureNewsletterEditor(EditingArea& m) {
    m.setLoading(true);
    ImeColors& ime = m.imeColors();
    ime.input().setBackgroundColor(color::white);
    ime.input().setStyle(styleUnderline);
    ime.selectedConverted().setBackgroundColor(color::gray);
    ime.converted().setBackgroundColor(color::white);
    ime.converted().setStyle(styleUnderline);
    ime.selectedUnconverted().setTextColor(color::white);
    m.wordWrapOption().setPunctuationMode(PunctuationMode::level2);
    m.wordWrapOption().setWrapRules(wrapKinsoku | wrapWordBreak | wrapOverflow);
    m.editArea().margin().setLeft(10);
    m.editArea().margin().setTop(2);
    m.editArea().margin().setBottom(1);
    EditMarks& marks = m.editMarks();
    for (EditSymbol* s :
         {&marks.lineEnd, &marks.controlChar, &marks.doubleByteSpace, &marks.endOfText}) {
        s->setEnabled(true);
        s->setColor(color::teal);
    }
    for (EditSymbol* s : {&marks.space, &marks.tab}) {
        s->setEnabled(true);
        s->setColor(color::aqua);
    }
    marks.wrapLine.setEnabled(true);
    marks.mailCheck.setEnabled(true);
    marks.mailCheck.setColor(kMailCheckColor);
    marks.mailWarning.setEnabled(true);
    marks.mailWarning.setColor(kMailWarningColor);
    m.setLoading(false);
}
