// Keys, mouse, input method and clipboard of the text control.
#include "richedit.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/platform.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

// Character classes for word selection.
int wordClass(unsigned code) {
    if (code == ' ' || code == '\t' || code == 0x8140) return 0;
    if (code < 0x80) {
        const char c = static_cast<char>(code);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
            return 1;
        return code < 0x20 ? 9 : 2;
    }
    if (code >= 0xA1 && code <= 0xDF) return 3;                         // half-width katakana
    if (code >= 0x829F && code <= 0x82F1) return 4;                     // hiragana
    if ((code >= 0x8340 && code <= 0x8396) || code == 0x815B) return 5; // katakana, ー
    if (code >= 0x824F && code <= 0x829A) return 6; // full-width letters and digits
    if (code >= 0x889F) return 7;                   // kanji
    return 8;
}

} // namespace

unsigned TRichEdit::codeAt(std::size_t p) const {
    const std::size_t len = nextBoundary(p) - p;
    const auto b = static_cast<unsigned char>(doc_.at(p));
    return len == 2 ? (b << 8 | static_cast<unsigned char>(doc_.at(p + 1))) : b;
}

std::size_t TRichEdit::wordStart(std::size_t pos) const {
    const std::size_t line = view_.lineOf(pos);
    const std::size_t start = lineStartOf(line);
    if (pos >= lineEndOf(line)) return pos;
    const int cls = wordClass(codeAt(pos));
    std::size_t p = pos;
    while (p > start) {
        const std::size_t q = prevBoundary(p);
        if (wordClass(codeAt(q)) != cls) break;
        p = q;
    }
    return p;
}

std::size_t TRichEdit::wordEnd(std::size_t pos) const {
    const std::size_t line = view_.lineOf(pos);
    const std::size_t end = lineEndOf(line);
    if (pos >= end) return pos;
    const int cls = wordClass(codeAt(pos));
    std::size_t p = pos;
    while (p < end && wordClass(codeAt(p)) == cls)
        p = nextBoundary(p);
    return p;
}

void TRichEdit::keyPressEvent(QKeyEvent* e) {
    KeyDown(e);
}

void TRichEdit::KeyDown(QKeyEvent* e) {
    Q_EMIT keyPreview(e);
    baseKeyPress(e);
}

void TRichEdit::baseKeyPress(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const int key = e->key();

    // Clipboard, undo and selection keys.
    if ((ctrl && key == Qt::Key_C) || (ctrl && !shift && key == Qt::Key_Insert))
        return CopyToClipboard();
    if ((ctrl && key == Qt::Key_X) || (shift && !ctrl && key == Qt::Key_Delete))
        return CutToClipboard();
    if ((ctrl && key == Qt::Key_V) || (shift && !ctrl && key == Qt::Key_Insert))
        return PasteFromClipboard();
    if (ctrl && shift && key == Qt::Key_Z) return Redo();
    if (ctrl && key == Qt::Key_Z) return Undo();
    if (ctrl && key == Qt::Key_Y) return Redo();
    if (ctrl && key == Qt::Key_A) return SelectAll();
    if (key == Qt::Key_Insert && !shift && !ctrl) {
        overwrite_ = !overwrite_;
        viewport()->update();
        return;
    }

    const std::size_t line = caretLine();
    auto vertical = [&](long delta) {
        const int x = goalX_ >= 0 ? goalX_ : columnOf(line, caret_);
        const long target = std::clamp<long>(
            static_cast<long>(line) + delta, 0,
            std::max<long>(
                static_cast<long>(view_.count()) -
                    ((view_.count() && lineEndOf(view_.count() - 1) == doc_.size()) ? 1 : 0),
                0));
        const std::size_t pos = posAtColumn(static_cast<std::size_t>(target), x);
        const bool atEnd = static_cast<std::size_t>(target) + 1 < view_.count() &&
                           view_.wrapped(static_cast<std::size_t>(target)) &&
                           pos == lineEndOf(static_cast<std::size_t>(target));
        moveCaret(pos, shift, atEnd);
        goalX_ = x;
    };

    switch (key) {
    case Qt::Key_Left:
        goalX_ = -1;
        if (!shift && SelLength() > 0)
            return moveCaret(static_cast<std::size_t>(SelStart()), false);
        if (ctrl) return moveCaret(wordStart(prevBoundary(caret_)), shift);
        return moveCaret(prevBoundary(caret_), shift);
    case Qt::Key_Right:
        goalX_ = -1;
        if (!shift && SelLength() > 0)
            return moveCaret(static_cast<std::size_t>(SelStart() + SelLength()), false);
        if (ctrl)
            return moveCaret(wordEnd(caret_) == caret_ ? nextBoundary(caret_) : wordEnd(caret_),
                             shift);
        return moveCaret(nextBoundary(caret_), shift);
    case Qt::Key_Up:
        return vertical(-1);
    case Qt::Key_Down:
        return vertical(1);
    case Qt::Key_PageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - visibleLines());
        return vertical(-visibleLines());
    case Qt::Key_PageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + visibleLines());
        return vertical(visibleLines());
    case Qt::Key_Home:
        goalX_ = -1;
        if (ctrl) return moveCaret(0, shift);
        return moveCaret(lineStartOf(line), shift);
    case Qt::Key_End: {
        goalX_ = -1;
        if (ctrl) return moveCaret(doc_.size(), shift);
        const bool wrappedLine = line + 1 < view_.count() && view_.wrapped(line);
        return moveCaret(lineEndOf(line), shift, wrappedLine);
    }
    default:
        break;
    }

    if (readOnly_) return;
    switch (key) {
    case Qt::Key_Backspace:
        if (SelLength() > 0) return ClearSelection();
        if (caret_ == 0) return;
        setSelection(caret_, prevBoundary(caret_));
        return ClearSelection();
    case Qt::Key_Delete:
        if (SelLength() > 0) return ClearSelection();
        if (caret_ >= doc_.size()) return;
        setSelection(caret_, nextBoundary(caret_));
        return ClearSelection();
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return CharTyped("\r\n");
    case Qt::Key_Tab:
        return CharTyped("\t");
    default:
        break;
    }

    const QString text = e->text();
    if (text.isEmpty() || ctrl || alt) return;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return;
    const cp932::EncodeResult enc = cp932::encode(text);
    if (!enc.ok()) return tellRefused(enc.bad);
    CharTyped(enc.bytes);
}

void TRichEdit::tellRefused(const std::vector<cp932::Unrepresentable>& bad) {
    QString chars;
    int shown = 0;
    for (const auto& u : bad) {
        const QString c = QString::fromUcs4(&u.ch, 1);
        if (chars.contains(c)) continue;
        if (shown++ == 5) {
            chars += QStringLiteral(" …");
            break;
        }
        if (!chars.isEmpty()) chars += QLatin1Char(' ');
        chars += c;
    }
    const QString text =
        QStringLiteral("Shift-JIS で表せない文字があるため入力できません: %1").arg(chars);
    QtDialogs fallback(this);
    Dialogs& d = dialogs_ ? *dialogs_ : static_cast<Dialogs&>(fallback);
    d.messageBox(QApplication::applicationName(), text, Dialogs::Icon::Warning, Dialogs::Ok);
}

void TRichEdit::CopyToClipboard() {
    if (SelLength() == 0) return;
    QString text = cp932::decode(SelText());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QGuiApplication::clipboard()->setText(text);
}

void TRichEdit::CutToClipboard() {
    if (readOnly_ || SelLength() == 0) return;
    CopyToClipboard();
    ClearSelection();
}

void TRichEdit::PasteFromClipboard() {
    if (readOnly_) return;
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    if (!m || !m->hasText()) return;
    QString text = m->text();
    // Every line end becomes CR LF, the document's own.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const cp932::EncodeResult enc = cp932::encode(text);
    if (!enc.ok()) return tellRefused(enc.bad);
    ReplaceSel(enc.bytes);
}

// --- mouse ------------------------------------------------------------------------------

void TRichEdit::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(e);
    setFocus(Qt::MouseFocusReason);
    const QPoint pt = e->position().toPoint();
    const QRect fmt = GetRect();
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    goalX_ = -1;
    if ((options_ & ECO_SELECTIONBAR) && pt.x() < fmt.left() && view_.count()) {
        // The selection bar: the whole line.
        const int line = LineFromChar(CharFromPos(QPoint(fmt.left(), pt.y())));
        const std::size_t l = static_cast<std::size_t>(line);
        const std::size_t end = l < view_.count() ? lineEndOf(l) + view_.line(l).eol : doc_.size();
        setSelection(lineStartOf(l), end);
        ensureCaretVisible();
        return;
    }
    // The nearest character boundary.
    std::size_t pos = static_cast<std::size_t>(CharFromPos(pt));
    bool atEnd = false;
    if (view_.count()) {
        const std::size_t line = view_.lineOf(pos);
        if (pos < lineEndOf(line)) {
            const QPoint cell = PosFromChar(static_cast<int>(pos));
            const int w = static_cast<int>(nextBoundary(pos) - pos) * colW_;
            if (pt.x() > cell.x() + w / 2) pos = nextBoundary(pos);
        }
        atEnd = line + 1 < view_.count() && view_.wrapped(line) && pos == lineEndOf(line);
    }
    dragging_ = true;
    moveCaret(pos, shift, atEnd);
}

void TRichEdit::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return;
    const std::size_t pos = static_cast<std::size_t>(CharFromPos(e->position().toPoint()));
    if (pos != caret_) moveCaret(pos, true);
}

void TRichEdit::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void TRichEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const std::size_t pos = static_cast<std::size_t>(CharFromPos(e->position().toPoint()));
    setSelection(wordStart(pos), wordEnd(pos));
    ensureCaretVisible();
}

void TRichEdit::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void TRichEdit::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

// --- input method -----------------------------------------------------------------------

void TRichEdit::inputMethodEvent(QInputMethodEvent* e) {
    if (readOnly_) {
        e->ignore();
        return;
    }
    if (!e->commitString().isEmpty()) {
        const cp932::EncodeResult enc = cp932::encode(e->commitString());
        preedit_.clear();
        preeditAttrs_.clear();
        if (!enc.ok())
            tellRefused(enc.bad);
        else
            CharTyped(enc.bytes);
    }
    preedit_ = e->preeditString();
    preeditAttrs_ = e->attributes();
    viewport()->update();
    e->accept();
}

QVariant TRichEdit::inputMethodQuery(Qt::InputMethodQuery q) const {
    switch (q) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return caretRect();
    case Qt::ImFont:
        return drawFont_;
    case Qt::ImCursorPosition: {
        const std::size_t line = caretLine();
        return cp932::decode(doc_.view(lineStartOf(line), caret_)).size();
    }
    case Qt::ImSurroundingText: {
        const std::size_t line = caretLine();
        return cp932::decode(doc_.view(lineStartOf(line), lineEndOf(line)));
    }
    case Qt::ImAnchorPosition:
        return inputMethodQuery(Qt::ImCursorPosition);
    default:
        return QAbstractScrollArea::inputMethodQuery(q);
    }
}

QRect TRichEdit::caretRect() const {
    const QRect fmt = GetRect();
    const std::size_t line = caretLine();
    const int x = fmt.left() + columnOf(line, caret_) * colW_ - horizontalScrollBar()->value();
    const int y = fmt.top() + (static_cast<int>(line) - verticalScrollBar()->value()) * lineH_;
    return QRect(x, y, overwrite_ ? colW_ : 2, lineH_);
}
