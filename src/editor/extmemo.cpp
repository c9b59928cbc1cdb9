#include "extmemo.h"

#include "common/cp932.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

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

TExtMemo::TExtMemo(QWidget* parent)
    : TCustomExtRichEdit(parent), editArea_(new TEditArea(this)), editMarks_(new TEditMarks(this)) {
}

TExtMemo::~TExtMemo() {
    delete editMarks_;
    delete editArea_;
}

void TExtMemo::CreateWnd() {
    TCustomExtRichEdit::CreateWnd();
    // The control's own formatting rectangle gives the margins.
    const WinRect r = WinRect::from(GetRect());
    editArea_->Margin().setFromControl(r.left, r.top, viewport()->height() - r.bottom);
    UpdateCharWidth();
}

void TExtMemo::DestroyWnd() {
    prevSelStart_ = prevSelEnd_ = 0;
    caretLine_ = 0;
    caretLineShown_ = false;
    TCustomExtRichEdit::DestroyWnd();
}

void TExtMemo::UpdateCharWidth() {
    const QFontMetrics fm(Font());
    int w = fm.horizontalAdvance(QChar(0x25A1)); // □
    w = ((w + 1) / 2) * 2;
    SetDefaultCharHeight(w * 1440 / std::max(1, logicalDpiY()));
    editArea_->SetCharWidth(w);
    UpdateEditRect();
}

void TExtMemo::UpdateEditRect() {
    if (!WordWrap() || !editArea_->Enabled()) return;
    HandleNeeded(); // creating the window rewrites the margins
    const TEditMargin& m = editArea_->Margin();
    const int cw = editArea_->CharWidth();
    WinRect r;
    r.left = m.Left();
    r.top = m.Top();
    r.bottom = viewport()->height() - m.Bottom();
    r.right = (editArea_->LineLength() * cw) / 2 + m.Left() + cw;
    if (!(TCustomExtRichEdit::WordWrapOption().WordWrapMode() & wbfOverflow)) r.right += cw;
    SetRect(r.toQRect());
}

void TExtMemo::ReleaseEditRect() {
    if (!HandleAllocated()) return;
    WinRect r = WinRect::from(GetRect());
    r.right = width() - 2;
    SetRect(r.toQRect());
}

void TExtMemo::RepaintWhole() {
    viewport()->update();
}

void TExtMemo::FontChanged() {
    editMarks_->BeginUpdate();
    TCustomExtRichEdit::FontChanged();
    if (!loading_ && HandleAllocated()) UpdateCharWidth();
    editMarks_->EndUpdate();
}

void TExtMemo::resizeEvent(QResizeEvent* e) {
    TCustomExtRichEdit::resizeEvent(e);
    // The frame was repainted: the rectangle follows the client height.
    if (HandleAllocated()) UpdateEditRect();
}

void TExtMemo::SelectAll() {
    if (editMarks_->lmCaret.Enabled()) HideCaretLine();
    TCustomExtRichEdit::SelectAll();
}

// --- the caret-line marker ---------------------------------------------------

int TExtMemo::caretLineRow(int line) const {
    const QPoint p = PosFromChar(LineIndex(line));
    const int cw = editArea_->CharWidth();
    return Font().family() == QStringLiteral("FixedSys") ? p.y() + cw : p.y() + cw - 1;
}

bool TExtMemo::lineVisible(int line) const {
    const WinRect fmt = WinRect::from(GetRect());
    const int last = LineFromChar(CharFromPos(QPoint(fmt.left, fmt.bottom)));
    return line >= GetFirstVisibleLine() && line <= last;
}

int TExtMemo::computeCaretLine() const {
    // The line that holds the caret, or the row on which the caret is shown
    // when it stands at the end of a wrapped line.
    return static_cast<int>(caretLine());
}

void TExtMemo::updateRow(int line) {
    if (line >= 0) updateLines(static_cast<std::size_t>(line), static_cast<std::size_t>(line));
}

void TExtMemo::ShowCaretLine() {
    if (editMarks_->updating() || !editMarks_->lmCaret.Enabled()) return;
    if (SelLength() > 0) {
        if (caretLineShown_) updateRow(caretLine_);
        caretLineShown_ = false;
        return;
    }
    if (hasFocus()) {
        const int line = computeCaretLine();
        if (line != caretLine_) HideCaretLine();
        caretLine_ = line;
    }
    caretLineShown_ = lineVisible(caretLine_);
    if (caretLineShown_) updateRow(caretLine_);
}

void TExtMemo::HideCaretLine() {
    if (!caretLineShown_) return;
    caretLineShown_ = false;
    updateRow(caretLine_);
}

void TExtMemo::drawCaretLine(QImage& canvas, const QRect& update) {
    if (editMarks_->updating() || !editMarks_->lmCaret.Enabled() || !caretLineShown_ ||
        SelLength() > 0)
        return;
    if (!lineVisible(caretLine_)) return;
    const int y = caretLineRow(caretLine_);
    if (y < update.top() || y > update.bottom() || y < 0 || y >= canvas.height()) return;
    const WinRect fmt = WinRect::from(GetRect());
    const QRgb bg = toQColor(Color()).rgb();
    const QRgb mark = toQColor(editMarks_->lmCaret.Color()).rgb();
    // Only pixels of the background colour change; text keeps its pixels.
    for (int x = std::max(fmt.left, 0); x <= std::min(fmt.right, canvas.width() - 1); ++x)
        if (canvas.pixel(x, y) == bg) canvas.setPixel(x, y, mark);
}

// --- the wrap line and the marks -----------------------------------------------

int TExtMemo::wrapLineX() const {
    const int cw = editArea_->CharWidth();
    return (editArea_->LineLength() * cw) / 2 + editArea_->Margin().Left() + (cw > 0 ? 1 : 0) -
           horizontalScrollBar()->value();
}

void TExtMemo::PaintWrapLine(QPainter& p) {
    if (editMarks_->updating() || !editMarks_->lmWordWrap.Enabled()) return;
    p.setPen(QPen(toQColor(editMarks_->lmWordWrap.Color()), 1));
    const int x = wrapLineX();
    p.drawLine(x, 0, x, height());
}

void TExtMemo::PaintMarks(QPainter& p, int startPos, int endPos) {
    TEditMarks& m = *editMarks_;
    if (m.updating()) return;
    // The mark font: the control's font at the height of "□" less 2.
    QFont markFont = Font();
    markFont.setPixelSize(std::max(1, QFontMetrics(Font()).horizontalAdvance(QChar(0x25A1)) - 2));
    const WinRect fmt = WinRect::from(GetRect());
    const int len = GetTextLen();
    int last = endPos;
    const int selStart = SelStart();
    const int selEnd = SelStart() + SelLength();
    bool selected = SelLength() > 0;
    const QColor back = toQColor(Color());

    auto draw = [&](const TEditSymbol& sym, const char* family, const QString& glyph, QPoint at) {
        QFont f = markFont;
        f.setFamily(QString::fromUtf8(family));
        p.setFont(f);
        const QColor brush = sym.Reversed() ? toQColor(sym.Color()) : back;
        const QColor pen = sym.Reversed() ? back : toQColor(sym.Color());
        const QFontMetrics fm(f);
        p.fillRect(QRect(at.x(), at.y(), fm.horizontalAdvance(glyph), fm.height()), brush);
        p.setPen(pen);
        p.drawText(QPoint(at.x(), at.y() + fm.ascent()), glyph);
    };

    if (endPos >= len) {
        if (m.esEot.Enabled() && (!selected || selEnd < len)) {
            const QPoint pt = PosFromChar(len);
            if (pt.x() < fmt.right)
                draw(m.esEot, "Symbol", QString(kSymbolLeftArrow), pt + QPoint(2, 0));
        }
        last = len - 1;
    }
    if (last < 0) return;
    if (!m.esCrLf.Enabled() && !m.esCtrl.Enabled() && !m.esDSp.Enabled() && !m.esSSp.Enabled() &&
        !m.esTab.Enabled())
        return;

    // Only the bytes of the pass (and the one after it, for CR LF and
    // double-byte pairs) are looked at.
    const int from = std::max(startPos, 0);
    const std::string_view piece = buffer().view(static_cast<std::size_t>(from),
                                                 static_cast<std::size_t>(std::min(len, last + 2)));
    auto byteAt = [&](int pos) {
        return static_cast<unsigned char>(piece[static_cast<std::size_t>(pos - from)]);
    };
    const char* gothic = "ＭＳ ゴシック";
    int i = from;
    while (i <= last) {
        if (selected && i >= selStart) {
            i = selEnd;
            selected = false;
            continue;
        }
        const unsigned char b = byteAt(i);
        int step = 1;
        if (b == '\r') {
            if (m.esCrLf.Enabled()) {
                draw(m.esCrLf, "Symbol", QString(kSymbolDownArrow), PosFromChar(i) + QPoint(2, 2));
                if (i + 1 < len && byteAt(i + 1) == '\n') step = 2;
            }
        } else if (b == '\n') {
            if (m.esCrLf.Enabled())
                draw(m.esCrLf, "Symbol", QString(kSymbolDownArrow), PosFromChar(i) + QPoint(2, 2));
        } else if (b == '\t') {
            if (m.esTab.Enabled())
                draw(m.esTab, "Symbol", QStringLiteral(">"), PosFromChar(i) + QPoint(1, 1));
        } else if (b == ' ') {
            if (m.esSSp.Enabled())
                draw(m.esSSp, "Symbol", QString(kSymbolSpace), PosFromChar(i) + QPoint(1, 2));
        } else if (cp932::isLeadByte(b)) {
            step = 2;
            if (m.esDSp.Enabled() && b == 0x81 && i + 1 < len && byteAt(i + 1) == 0x40)
                draw(m.esDSp, gothic, QString(QChar(0x25A1)), PosFromChar(i) + QPoint(0, 1));
        } else if (b < 0x20) {
            if (m.esCtrl.Enabled())
                draw(m.esCtrl, gothic, QString(QChar(b + 0x40)), PosFromChar(i) + QPoint(0, 1));
        }
        i += step;
    }

    // The draw pass clears the margin bands and redraws the wrap line.
    const QRect cl = viewport()->rect();
    const WinRect c = WinRect::from(cl);
    if (c.top < fmt.top) p.fillRect(QRect(c.left, c.top, c.right - c.left, fmt.top - c.top), back);
    if (fmt.bottom < c.bottom)
        p.fillRect(QRect(c.left, fmt.bottom, c.right - c.left, c.bottom - fmt.bottom), back);
    if (c.left < fmt.left)
        p.fillRect(QRect(c.left, c.top, fmt.left - c.left, c.bottom - c.top), back);
    if (fmt.right < c.right)
        p.fillRect(QRect(fmt.right, c.top, c.right - fmt.right, c.bottom - c.top), back);
    PaintWrapLine(p);
}

void TExtMemo::paintEvent(QPaintEvent* e) {
    if (editMarks_->updating() || painting_) return TCustomExtRichEdit::paintEvent(e);
    painting_ = true;
    const QRect r = e->rect();
    if (canvas_.size() != viewport()->size())
        canvas_ = QImage(viewport()->size(), QImage::Format_RGB32);
    {
        QPainter p(&canvas_);
        p.setClipRect(r);
        paintText(p, r);
        if (!r.isEmpty()) {
            const int s = CharFromPos(r.topLeft());
            const int end = CharFromPos(r.bottomRight());
            PaintMarks(p, s, end);
            PaintWrapLine(p);
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

void TExtMemo::SelectionChange() {
    TCustomExtRichEdit::SelectionChange();
    if (prevSelEnd_ != prevSelStart_)
        updateLines(static_cast<std::size_t>(LineFromChar(prevSelStart_)),
                    static_cast<std::size_t>(LineFromChar(prevSelEnd_)));
    ShowCaretLine();
    prevSelStart_ = SelStart();
    prevSelEnd_ = SelStart() + SelLength();
}

void TExtMemo::KeyDown(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const int key = e->key();
    if (isNavigationKey(key) && shift) HideCaretLine();
    TCustomExtRichEdit::KeyDown(e);
    if ((isNavigationKey(key) && shift) || (key == Qt::Key_Delete && !shift)) ShowCaretLine();
}

void TExtMemo::mousePressEvent(QMouseEvent* e) {
    HideCaretLine();
    TCustomExtRichEdit::mousePressEvent(e);
    ShowCaretLine();
}

void TExtMemo::mouseDoubleClickEvent(QMouseEvent* e) {
    HideCaretLine();
    TCustomExtRichEdit::mouseDoubleClickEvent(e);
}

void configureNewsletterEditor(TExtMemo& m) {
    m.setLoading(true);
    TImeColors& ime = m.ImeColors();
    ime.Untransfered().SeticBackground(clWhite);
    ime.Untransfered().SetStyle(fsUnderline);
    ime.WatchingTransfered().SeticBackground(clGray);
    ime.Transfered().SeticBackground(clWhite);
    ime.Transfered().SetStyle(fsUnderline);
    ime.WatchingUntransfered().SeticText(clWhite);
    m.WordWrapOption().SetPunctuationMode(wbfLevel2);
    m.WordWrapOption().SetWordWrapMode(wbfWordWrap | wbfWordBreak | wbfOverflow);
    m.EditArea().Margin().SetLeft(10);
    m.EditArea().Margin().SetTop(2);
    m.EditArea().Margin().SetBottom(1);
    TEditMarks& marks = m.EditMarks();
    for (TEditSymbol* s : {&marks.esCrLf, &marks.esCtrl, &marks.esDSp, &marks.esEot}) {
        s->SetEnabled(true);
        s->SetColor(clTeal);
    }
    for (TEditSymbol* s : {&marks.esSSp, &marks.esTab}) {
        s->SetEnabled(true);
        s->SetColor(clAqua);
    }
    marks.lmWordWrap.SetEnabled(true);
    m.setLoading(false);
}
