#include "editingarea.h"

#include "text/cp932.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int kTwipsPerInch = 1440;
// Far right of any window, and still far from the end of an int.
constexpr std::int64_t kFarRight = 1 << 24;

// The "Symbol" glyphs the marks use, as Unicode.
const QChar kSymbolLeftArrow(0x2190); // byte 0xAC
const QChar kSymbolDownArrow(0x2193); // byte 0xAF
const QChar kSymbolSpace(0x00B7);     // byte 0xA0: the font's own glyph; a middle dot here

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
    : EastAsianEdit(parent), editArea_(new EditArea(this)), editMarks_(new EditMarks(this)) {}

EditingArea::~EditingArea() {
    delete editMarks_;
    delete editArea_;
}

void EditingArea::createWindow() {
    EastAsianEdit::createWindow();
    // The control's own formatting rectangle gives the margins.
    const WinRect r = WinRect::from(formatRect());
    editArea_->margin().setFromControl(r.left, r.top, viewport()->height() - r.bottom);
    updateCharWidth();
}

void EditingArea::tearDownWindow() {
    prevSelStart_ = prevSelEnd_ = 0;
    caretLine_ = 0;
    caretLineShown_ = false;
    EastAsianEdit::tearDownWindow();
}

void EditingArea::updateCharWidth() {
    // The character width is two columns of the font's grid. A Japanese
    // font is drawn at the height of its "□" (its em), rounded to an even
    // width; a font without Japanese glyphs keeps its own size, so its text
    // is not shrunk to the width of a "□" it may not even have.
    const int w = 2 * measureGrid(editorFont()).columnWidth;
    const int height = hasJapaneseGlyphs(editorFont()) ? w : QFontInfo(editorFont()).pixelSize();
    setDefaultCharHeight(height * kTwipsPerInch / std::max(1, logicalDpiY()));
    editArea_->setCharWidth(w);
    updateEditRect();
}

void EditingArea::updateEditRect() {
    if (!wordWrap() || !editArea_->isEnabled()) return;
    ensureWindow(); // creating the window rewrites the margins
    const EditMargin& m = editArea_->margin();
    const int cw = editArea_->charWidth();
    WinRect r;
    r.left = m.left();
    r.top = m.top();
    r.bottom = viewport()->height() - m.bottom();
    std::int64_t right = lineLengthPixels() + m.left() + cw;
    if (!(EastAsianEdit::wordWrapOption().wrapRules() & wrapOverflow)) right += cw;
    r.right = static_cast<int>(std::min<std::int64_t>(right, kFarRight));
    setFormatRect(r.toQRect());
}

void EditingArea::releaseEditRect() {
    if (!isWindowCreated()) return;
    WinRect r = WinRect::from(formatRect());
    r.right = width() - 2;
    setFormatRect(r.toQRect());
}

void EditingArea::repaintMarks() {
    viewport()->update();
}

void EditingArea::fontChanged() {
    editMarks_->beginUpdate();
    EastAsianEdit::fontChanged();
    if (!loading_ && isWindowCreated()) updateCharWidth();
    editMarks_->endUpdate();
}

void EditingArea::resizeEvent(QResizeEvent* e) {
    EastAsianEdit::resizeEvent(e);
    // The frame was repainted: the rectangle follows the client height.
    if (isWindowCreated()) updateEditRect();
}

void EditingArea::selectAll() {
    if (editMarks_->caretLine.isEnabled()) hideCaretLine();
    EastAsianEdit::selectAll();
}

// --- the caret-line marker ---------------------------------------------------

int EditingArea::caretLineRow(int line) const {
    const QPoint p = positionOfChar(lineStart(line));
    const int cw = editArea_->charWidth();
    return editorFont().family() == QStringLiteral("FixedSys") ? p.y() + cw : p.y() + cw - 1;
}

bool EditingArea::lineVisible(int line) const {
    const WinRect fmt = WinRect::from(formatRect());
    const int last = lineOfChar(charAtPoint(QPoint(fmt.left, fmt.bottom)));
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
    if (y < update.top() || y > update.bottom() || y < 0 || y >= canvas.height()) return;
    const WinRect fmt = WinRect::from(formatRect());
    const QRgb bg = toQColor(backgroundColor()).rgb();
    const QRgb mark = toQColor(editMarks_->caretLine.color()).rgb();
    // Only pixels of the background colour change; text keeps its pixels.
    for (int x = std::max(fmt.left, 0); x <= std::min(fmt.right, canvas.width() - 1); ++x)
        if (canvas.pixel(x, y) == bg) canvas.setPixel(x, y, mark);
}

// --- the wrap line and the marks -----------------------------------------------

std::int64_t EditingArea::lineLengthPixels() const {
    // 64-bit: the line length and the margins come from settings and may be
    // anything an int holds.
    return static_cast<std::int64_t>(editArea_->lineLength()) * editArea_->charWidth() / 2;
}

int EditingArea::wrapLineX() const {
    const int cw = editArea_->charWidth();
    const std::int64_t x = lineLengthPixels() + editArea_->margin().left() + (cw > 0 ? 1 : 0) -
                           horizontalScrollBar()->value();
    return static_cast<int>(std::clamp<std::int64_t>(x, -kFarRight, kFarRight));
}

void EditingArea::paintWrapLine(QPainter& p) {
    if (editMarks_->updating() || !editMarks_->wrapLine.isEnabled()) return;
    p.setPen(QPen(toQColor(editMarks_->wrapLine.color()), 1));
    const int x = wrapLineX();
    p.drawLine(x, 0, x, height());
}

void EditingArea::paintMarks(QPainter& p, int startPos, int endPos) {
    EditMarks& m = *editMarks_;
    if (m.updating()) return;
    // The mark font: the control's font at the height of "□" less 2.
    QFont markFont = editorFont();
    markFont.setPixelSize(
        std::max(1, QFontMetrics(editorFont()).horizontalAdvance(QChar(0x25A1)) - 2));
    const WinRect fmt = WinRect::from(formatRect());
    const int len = textLength();
    int last = endPos;
    const int selStart = selectionStart();
    const int selEnd = selectionStart() + selectionLength();
    bool selected = selectionLength() > 0;
    const QColor back = toQColor(backgroundColor());

    // The two mark fonts, made once for the pass.
    struct MarkFont {
        QFont font;
        QFontMetrics metrics;
        explicit MarkFont(const QFont& f) : font(f), metrics(f) {}
    };
    auto withFamily = [&](const char* family) {
        QFont f = markFont;
        f.setFamily(QString::fromUtf8(family));
        return f;
    };
    const MarkFont symbolFont(withFamily("Symbol"));
    const MarkFont gothicFont(withFamily("ＭＳ ゴシック"));

    auto draw = [&](const EditSymbol& sym, const MarkFont& mf, const QString& glyph, QPoint at) {
        p.setFont(mf.font);
        const QColor brush = sym.isReversed() ? toQColor(sym.color()) : back;
        const QColor pen = sym.isReversed() ? back : toQColor(sym.color());
        p.fillRect(QRect(at.x(), at.y(), mf.metrics.horizontalAdvance(glyph), mf.metrics.height()),
                   brush);
        p.setPen(pen);
        p.drawText(QPoint(at.x(), at.y() + mf.metrics.ascent()), glyph);
    };

    if (endPos >= len) {
        if (m.endOfText.isEnabled() && (!selected || selEnd < len)) {
            const QPoint pt = positionOfChar(len);
            if (pt.x() < fmt.right)
                draw(m.endOfText, symbolFont, QString(kSymbolLeftArrow), pt + QPoint(2, 0));
        }
        last = len - 1;
    }
    if (last < 0) return;
    if (!m.lineEnd.isEnabled() && !m.controlChar.isEnabled() && !m.doubleByteSpace.isEnabled() &&
        !m.space.isEnabled() && !m.tab.isEnabled())
        return;

    // Only the bytes of the pass (and the one after it, for CR LF and
    // double-byte pairs) are looked at.
    const int from = std::max(startPos, 0);
    const std::string_view piece = document().view(
        static_cast<std::size_t>(from), static_cast<std::size_t>(std::min(len, last + 2)));
    auto byteAt = [&](int pos) {
        return static_cast<unsigned char>(piece[static_cast<std::size_t>(pos - from)]);
    };
    const int rightEdge = viewport()->width();
    int i = from;
    while (i <= last) {
        if (selected && i >= selStart) {
            i = selEnd;
            selected = false;
            continue;
        }
        const unsigned char b = byteAt(i);
        int step = 1;
        if (positionOfChar(i).x() > rightEdge) {
            // The rest of this row is out of sight (blanks may hang far past
            // the width): go on with the next row.
            const std::size_t row = lineView().lineOf(static_cast<std::size_t>(i));
            if (row + 1 >= lineView().count()) break;
            i = std::max(i + 1, static_cast<int>(lineView().line(row + 1).start));
            continue;
        }
        if (b == '\r') {
            if (m.lineEnd.isEnabled()) {
                draw(m.lineEnd, symbolFont, QString(kSymbolDownArrow),
                     positionOfChar(i) + QPoint(2, 2));
                if (i + 1 < len && byteAt(i + 1) == '\n') step = 2;
            }
        } else if (b == '\n') {
            if (m.lineEnd.isEnabled())
                draw(m.lineEnd, symbolFont, QString(kSymbolDownArrow),
                     positionOfChar(i) + QPoint(2, 2));
        } else if (b == '\t') {
            if (m.tab.isEnabled())
                draw(m.tab, symbolFont, QStringLiteral(">"), positionOfChar(i) + QPoint(1, 1));
        } else if (b == ' ') {
            if (m.space.isEnabled())
                draw(m.space, symbolFont, QString(kSymbolSpace), positionOfChar(i) + QPoint(1, 2));
        } else if (cp932::isLeadByte(b)) {
            step = 2;
            if (m.doubleByteSpace.isEnabled() && b == 0x81 && i + 1 < len && byteAt(i + 1) == 0x40)
                draw(m.doubleByteSpace, gothicFont, QString(QChar(0x25A1)),
                     positionOfChar(i) + QPoint(0, 1));
        } else if (b < 0x20) {
            if (m.controlChar.isEnabled())
                draw(m.controlChar, gothicFont, QString(QChar(b + 0x40)),
                     positionOfChar(i) + QPoint(0, 1));
        }
        i += step;
    }
}

void EditingArea::paintMarginBands(QPainter& p) {
    // The bands outside the formatting rectangle stay clear of text.
    const WinRect fmt = WinRect::from(formatRect());
    const QColor back = toQColor(backgroundColor());
    const QRect cl = viewport()->rect();
    const WinRect c = WinRect::from(cl);
    if (c.top < fmt.top) p.fillRect(QRect(c.left, c.top, c.right - c.left, fmt.top - c.top), back);
    if (fmt.bottom < c.bottom)
        p.fillRect(QRect(c.left, fmt.bottom, c.right - c.left, c.bottom - fmt.bottom), back);
    if (c.left < fmt.left)
        p.fillRect(QRect(c.left, c.top, fmt.left - c.left, c.bottom - c.top), back);
    if (fmt.right < c.right)
        p.fillRect(QRect(fmt.right, c.top, c.right - fmt.right, c.bottom - c.top), back);
}

void EditingArea::paintEvent(QPaintEvent* e) {
    if (editMarks_->updating() || painting_) return EastAsianEdit::paintEvent(e);
    painting_ = true;
    const QRect r = e->rect();
    if (canvas_.size() != viewport()->size())
        canvas_ = QImage(viewport()->size(), QImage::Format_RGB32);
    {
        QPainter p(&canvas_);
        p.setClipRect(r);
        paintText(p, r);
        if (!r.isEmpty()) {
            const int s = charAtPoint(r.topLeft());
            const int end = charAtPoint(r.bottomRight());
            paintMarks(p, s, end);
            paintMarginBands(p);
            paintWrapLine(p);
        }
    }
    drawCaretLine(canvas_, r);
    {
        QPainter p(&canvas_);
        p.setClipRect(r);
        paintCaret(p);
    }
    QPainter w(viewport());
    w.drawImage(r, canvas_, r);
    painting_ = false;
}

// --- selection, keys and mouse -------------------------------------------------

void EditingArea::selectionChange() {
    EastAsianEdit::selectionChange();
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
    EastAsianEdit::keyDown(e);
    if ((isNavigationKey(key) && shift) || (key == Qt::Key_Delete && !shift)) showCaretLine();
}

void EditingArea::mousePressEvent(QMouseEvent* e) {
    hideCaretLine();
    EastAsianEdit::mousePressEvent(e);
    showCaretLine();
}

void EditingArea::mouseDoubleClickEvent(QMouseEvent* e) {
    hideCaretLine();
    EastAsianEdit::mouseDoubleClickEvent(e);
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
    m.setLoading(false);
}
