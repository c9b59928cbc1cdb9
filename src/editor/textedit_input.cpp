// Keys, mouse, input method and clipboard of the text view: the input controller.
#include "textedit.h"

#include "platform/dialogs.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCharFormat>

#include <algorithm>

namespace {

QColor rgbToQColor(std::uint32_t rgb) {
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

// Which of the four composition colour sets a pre-edit segment takes: the
// clause under conversion shows with a background, converted text with a
// dotted or dashed underline, the unconverted target clause with a wave; all
// else is text being entered.
int compositionSet(const QTextCharFormat& f) {
    if (f.hasProperty(QTextFormat::BackgroundBrush)) {
        return f.underlineStyle() == QTextCharFormat::WaveUnderline ? 3 : 1;
    }
    switch (f.underlineStyle()) {
    case QTextCharFormat::DotLine:
    case QTextCharFormat::DashUnderline:
        return 2;
    case QTextCharFormat::WaveUnderline:
        return 3;
    default:
        return 0;
    }
}

// The clipboard format that carries the document's own bytes.
constexpr const char* kCp932MimeType = "application/x-mmedit-cp932";

} // namespace

void TextEdit::keyPressEvent(QKeyEvent* e) {
    guarded([&] { keyDown(e); });
}

bool TextEdit::event(QEvent* e) {
    // Qt asks the focus widget before it looks for a window shortcut of the
    // key: keys the editor keeps go straight to its key handling.
    if (e->type() == QEvent::ShortcutOverride && editorKeepsKey(*static_cast<QKeyEvent*>(e))) {
        e->accept();
        return true;
    }
    return QAbstractScrollArea::event(e);
}

void TextEdit::keyReleaseEvent(QKeyEvent* e) {
    guarded([&] { Q_EMIT keyReleased(e); });
    QAbstractScrollArea::keyReleaseEvent(e);
}

namespace {
bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

// Insert switches between inserting and overwriting unless Shift or Ctrl
// makes it paste or copy; Alt does not matter.
bool togglesInsertMode(const QKeyEvent& e) {
    return e.key() == Qt::Key_Insert &&
           !(e.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
}
} // namespace

void TextEdit::keyDown(QKeyEvent* e) {
    // A key the input method lets through while composing (a command) ends
    // the composition where it was typed, before it acts; a modifier alone
    // does not.
    if (!isModifierKey(e->key())) interruptComposition();
    // The mode changes before the key preview, which shows it.
    const bool toggles = togglesInsertMode(*e);
    if (toggles) toggleInsertMode();
    Q_EMIT keyPreview(e);
    if (!toggles) baseKeyPress(e);
}

void TextEdit::toggleInsertMode() {
    overwrite_ = !overwrite_;
    viewport()->update();
    updateMicroFocus(); // the caret's width
}

void TextEdit::baseKeyPress(QKeyEvent* e) {
    if (const std::optional<KeyCommand> c = commandForKey(*e))
        return runCommand(c->command, c->extend);
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (readOnly_ || (mods & (Qt::ControlModifier | Qt::AltModifier))) return;
    const QString text = e->text();
    if (text.isEmpty()) return;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return;
    const cp932::EncodeResult enc = cp932::encode(text);
    if (!enc.ok()) return tellRefused(enc.bad);
    charTyped(enc.bytes);
}

void TextEdit::runEditorCommand(EditorCommand command) {
    guarded([&] {
        interruptComposition();
        runCommand(command, false);
    });
}

void TextEdit::moveVertically(long delta, bool extend) {
    const std::size_t line = caretLine();
    const int x = cursor_.goalColumn >= 0 ? cursor_.goalColumn : columnOf(line, cursor_.caret);
    // The empty line after a final line end can be reached; nothing below it.
    const long lastLine = std::max<long>(
        static_cast<long>(view_.count()) -
            ((view_.count() && cursor_.lineEnd(view_.count() - 1) == doc_.size()) ? 1 : 0),
        0);
    const auto target =
        static_cast<std::size_t>(std::clamp<long>(static_cast<long>(line) + delta, 0, lastLine));
    const std::size_t pos = cursor_.positionAtColumn(target, x);
    const bool atEnd =
        target + 1 < view_.count() && view_.wrapped(target) && pos == cursor_.lineEnd(target);
    moveCaret(pos, extend, atEnd);
    cursor_.goalColumn = x;
}

void TextEdit::runCommand(EditorCommand command, bool extend) {
    using C = EditorCommand;
    if (readOnly_ && changesText(command)) return;
    const std::size_t line = caretLine();
    switch (command) {
    case C::copy:
        return copy();
    case C::cut:
        return cut();
    case C::paste:
        return paste();
    case C::undo:
        return undo();
    case C::redo:
        return redo();
    case C::selectAll:
        return selectAll();
    case C::toggleOverwrite:
        return toggleInsertMode();
    case C::moveLeft:
        cursor_.goalColumn = -1;
        if (!extend && selectionLength() > 0)
            return moveCaret(static_cast<std::size_t>(selectionStart()), false);
        return moveCaret(prevBoundary(cursor_.caret), extend);
    case C::moveWordLeft:
        cursor_.goalColumn = -1;
        return moveCaret(cursor_.wordStart(prevBoundary(cursor_.caret)), extend);
    case C::moveRight:
        cursor_.goalColumn = -1;
        if (!extend && selectionLength() > 0)
            return moveCaret(static_cast<std::size_t>(selectionStart() + selectionLength()), false);
        return moveCaret(nextBoundary(cursor_.caret), extend);
    case C::moveWordRight:
        cursor_.goalColumn = -1;
        return moveCaret(cursor_.wordEnd(cursor_.caret) == cursor_.caret
                             ? nextBoundary(cursor_.caret)
                             : cursor_.wordEnd(cursor_.caret),
                         extend);
    case C::moveUp:
        return moveVertically(-1, extend);
    case C::moveDown:
        return moveVertically(1, extend);
    case C::pageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - visibleLines());
        return moveVertically(-visibleLines(), extend);
    case C::pageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + visibleLines());
        return moveVertically(visibleLines(), extend);
    case C::lineStart:
        cursor_.goalColumn = -1;
        return moveCaret(cursor_.lineStart(line), extend);
    case C::textStart:
        cursor_.goalColumn = -1;
        return moveCaret(0, extend);
    case C::lineEnd: {
        cursor_.goalColumn = -1;
        const bool wrappedLine = line + 1 < view_.count() && view_.wrapped(line);
        return moveCaret(cursor_.lineEnd(line), extend, wrappedLine);
    }
    case C::textEnd:
        cursor_.goalColumn = -1;
        return moveCaret(doc_.size(), extend);
    case C::deleteBackward: {
        if (selectionLength() > 0) return deleteSelection();
        if (cursor_.caret == 0) return;
        const std::size_t from = prevBoundary(cursor_.caret);
        // A refused deletion leaves the caret as it was, not a selection.
        if (refusesStrayByteJoin(from, cursor_.caret - from, {})) return;
        return deleteRange(from, cursor_.caret, {.anchor = cursor_.caret, .caret = from});
    }
    case C::deleteForward: {
        if (selectionLength() > 0) return deleteSelection();
        if (cursor_.caret >= doc_.size()) return;
        const std::size_t to = nextBoundary(cursor_.caret);
        if (refusesStrayByteJoin(cursor_.caret, to - cursor_.caret, {})) return;
        return deleteRange(cursor_.caret, to, {.anchor = cursor_.caret, .caret = to});
    }
    case C::newLine:
        return charTyped("\r\n");
    case C::tab:
        return charTyped("\t");
    }
}

void TextEdit::deleteRange(std::size_t from, std::size_t to, Selection shownByUndo) {
    // The deleted character is never shown selected on the screen: the
    // selection it had before is only what undo gives back.
    doc_.breakTypingMerge();
    EditResult r;
    {
        const OwnEdit edit(inEdit_);
        r = replaceRange(doc_, from, to, {}, editRules(), shownByUndo);
    }
    tellEditResult(r);
    if (r.changed()) caretAfterEdit(from);
}

void TextEdit::tellRefused(const std::vector<cp932::Unrepresentable>& bad) {
    const QString chars = cp932::namesOf(bad);
    Q_EMIT inputRefused(
        QStringLiteral("Shift-JIS で表せない文字があるため入力できません: %1").arg(chars));
}

void TextEdit::copy() {
    if (selectionLength() == 0) return;
    const std::string bytes = selectedText();
    QString text = cp932::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Other programs get the Unicode text; this program takes the exact
    // bytes back, invalid ones included.
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kCp932MimeType),
                  QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TextEdit::cut() {
    if (readOnly_ || selectionLength() == 0) return;
    copy();
    deleteSelection();
}

void TextEdit::paste() {
    if (readOnly_) return;
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    if (!m) return;
    if (m->hasFormat(QString::fromLatin1(kCp932MimeType))) {
        const QByteArray raw = m->data(QString::fromLatin1(kCp932MimeType));
        replaceSelection(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())));
        return;
    }
    if (!m->hasText()) return;
    const cp932::EncodeResult enc = documentBytesOf(m->text());
    if (!enc.ok()) return tellRefused(enc.bad);
    replaceSelection(enc.bytes);
}

cp932::EncodeResult TextEdit::documentBytesOf(QString text) {
    // Every line end becomes CR LF, the document's own.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return cp932::encode(text);
}

// --- mouse ------------------------------------------------------------------------------

std::size_t TextEdit::nearestPosition(QPoint pt, bool* atLineEnd) const {
    // The character under the point, or the boundary after it when the point
    // is over its right half.
    std::size_t pos = static_cast<std::size_t>(charAtPoint(pt));
    *atLineEnd = false;
    if (view_.count() == 0) return pos;
    const std::size_t line = view_.lineOf(pos);
    if (pos < cursor_.lineEnd(line)) {
        const QPoint cell = positionOfChar(static_cast<int>(pos));
        const int w = static_cast<int>(nextBoundary(pos) - pos) * grid_.columnWidth;
        if (pt.x() > cell.x() + w / 2) pos = nextBoundary(pos);
    }
    *atLineEnd = line + 1 < view_.count() && view_.wrapped(line) && pos == cursor_.lineEnd(line);
    return pos;
}

void TextEdit::mousePressEvent(QMouseEvent* e) {
    guarded([&] {
        // The composition is committed where it was typed before the caret
        // moves.
        interruptComposition();
        if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(e);
        setFocus(Qt::MouseFocusReason);
        const QPoint pt = e->position().toPoint();
        const QRect fmt = textArea();
        const bool shift = e->modifiers() & Qt::ShiftModifier;
        cursor_.goalColumn = -1;
        if (selectionBar_ && pt.x() < fmt.left() && view_.count()) {
            // The selection bar: the whole line.
            const int line = lineOfChar(charAtPoint(QPoint(fmt.left(), pt.y())));
            const std::size_t l = static_cast<std::size_t>(line);
            const std::size_t end =
                l < view_.count() ? cursor_.lineEnd(l) + view_.line(l).eol : doc_.size();
            setSelection(cursor_.lineStart(l), end);
            ensureCaretVisible();
            return;
        }
        bool atEnd = false;
        const std::size_t pos = nearestPosition(pt, &atEnd);
        dragging_ = true;
        moveCaret(pos, shift, atEnd);
    });
}

void TextEdit::mouseMoveEvent(QMouseEvent* e) {
    guarded([&] {
        if (!dragging_) return;
        bool atEnd = false;
        const std::size_t pos = nearestPosition(e->position().toPoint(), &atEnd);
        if (pos != cursor_.caret) moveCaret(pos, true, atEnd);
    });
}

void TextEdit::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void TextEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    guarded([&] {
        if (e->button() != Qt::LeftButton) return;
        const std::size_t pos = static_cast<std::size_t>(charAtPoint(e->position().toPoint()));
        setSelection(cursor_.wordStart(pos), cursor_.wordEnd(pos));
        ensureCaretVisible();
    });
}

void TextEdit::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
    updateMicroFocus();
}

void TextEdit::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

// --- input method -----------------------------------------------------------------------

namespace {
// The text the input method may read around the caret: so many bytes either
// side at most (a paragraph may be megabytes long).
constexpr std::size_t kSurroundingBytes = 1024;

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}
} // namespace

void TextEdit::inputMethodEvent(QInputMethodEvent* e) {
    guarded([&] {
        if (readOnly_) {
            e->ignore();
            return;
        }
        // A new pre-edit text of the composition replaces the old one in
        // place (the selection it stands for stays out of the text); a
        // commit, a replacement or a selection acts on the text without it.
        const bool preeditOnly =
            composing() && e->commitString().isEmpty() && e->replacementLength() == 0 &&
            !e->preeditString().isEmpty() &&
            std::none_of(e->attributes().begin(), e->attributes().end(),
                         [](const auto& a) { return a.type == QInputMethodEvent::Selection; });
        if (!preeditOnly) {
            endComposition();
            commitInput(*e);
        }
        if (!e->preeditString().isEmpty()) showComposition(e->preeditString(), e->attributes());
        viewport()->update();
        updateMicroFocus();
        e->accept();
    });
}

void TextEdit::commitInput(const QInputMethodEvent& e) {
    const bool hasCommit = !e.commitString().isEmpty();
    if (committedAtOnce_ && hasCommit) *committedAtOnce_ += e.commitString();
    bool late = lateCommit_ && hasCommit;
    if (late && !lateCommit_->committed.isEmpty()) {
        const bool again = e.commitString() == lateCommit_->committed;
        lateCommit_.reset();
        if (again) return;
        late = false;
    }
    std::size_t from = static_cast<std::size_t>(selectionStart());
    std::size_t to = from + static_cast<std::size_t>(selectionLength());
    if (late) {
        // The composition was interrupted before the input method committed
        // it: its text goes where it was typed, and the caret stays on the
        // text it was moved to.
        from = std::min(lateCommit_->pos, doc_.size());
        to = std::min(from + lateCommit_->length, doc_.size());
        lateCommit_.reset();
    } else if (e.replacementLength() > 0) {
        // Surrounding text the input method takes back (a re-conversion),
        // counted in UTF-16 units from the caret.
        const Surrounding around = surrounding();
        const qsizetype first =
            std::clamp<qsizetype>(around.caretUnits + e.replacementStart(), 0, around.text.size());
        const qsizetype last =
            std::clamp<qsizetype>(first + e.replacementLength(), first, around.text.size());
        from = positionAtUnits(around.from, around.to, first);
        to = positionAtUnits(around.from, around.to, last);
    }
    // Without a commit string only a replacement changes the text (the
    // selection stays for the composition to stand in place of).
    if (hasCommit || e.replacementLength() > 0) {
        const cp932::EncodeResult enc = cp932::encode(e.commitString());
        if (!enc.ok())
            Q_EMIT charactersLeftOut(
                QStringLiteral("Shift-JIS で表せない文字 %1 は入力されませんでした")
                    .arg(cp932::namesOf(enc.bad)));
        if (!late) {
            // Committed text is inserted, also in overwrite mode; each
            // commit is an undo step of its own.
            if (to > from) setSelection(from, to);
            if (!enc.bytes.empty())
                typeBytes(enc.bytes, false, false);
            else if (to > from)
                deleteSelection();
        } else if (!enc.bytes.empty() || to > from) {
            // An edit from outside the caret: the selection follows the text.
            EditRules rules = editRules();
            rules.typing = !enc.bytes.empty();
            tellEditResult(replaceRange(doc_, from, to, enc.bytes, rules, cursor_.selection()));
            ensureCaretVisible();
        }
    }
    const Surrounding around = surrounding();
    for (const QInputMethodEvent::Attribute& a : e.attributes()) {
        if (a.type != QInputMethodEvent::Selection) continue;
        // In the surrounding text as the input method reads it.
        setSelection(positionAtUnits(around.from, around.to, a.start),
                     positionAtUnits(around.from, around.to, a.start + a.length));
        ensureCaretVisible();
    }
}

void TextEdit::showComposition(const QString& preedit,
                               const QList<QInputMethodEvent::Attribute>& attrs) {
    // The bytes of each character; what code page 932 cannot hold shows as
    // "？" until the commit leaves it out.
    std::string bytes;
    std::vector<std::size_t> offset; // byte offset of each UTF-16 unit
    for (qsizetype i = 0; i < preedit.size(); ++i) {
        offset.push_back(bytes.size());
        const qsizetype n = preedit[i].isHighSurrogate() && i + 1 < preedit.size() ? 2 : 1;
        const cp932::EncodeResult enc = cp932::encode(QStringView(preedit).mid(i, n));
        bytes += enc.ok() ? enc.bytes : std::string("\x81\x48");
        if (n == 2) {
            offset.push_back(bytes.size());
            ++i;
        }
    }
    offset.push_back(bytes.size());
    auto byteAt = [&](qsizetype index) {
        return offset[static_cast<std::size_t>(std::clamp<qsizetype>(index, 0, preedit.size()))];
    };

    lateCommit_.reset(); // a new composition: whatever came before is over
    const bool shown = composing();
    if (!shown) {
        composition_.selectionBefore = cursor_.selection();
        composition_.start = static_cast<std::size_t>(selectionStart());
        composition_.hidden = selectedText();
    }
    const std::size_t start = composition_.start;
    const std::size_t replaced = shown ? composition_.length : composition_.hidden.size();
    composition_.length = bytes.size();
    composition_.styles.clear();
    std::vector<int> set(bytes.size(), 0);
    std::size_t cursor = bytes.size();
    for (const QInputMethodEvent::Attribute& a : attrs) {
        if (a.type == QInputMethodEvent::Cursor) cursor = byteAt(a.start);
        if (a.type != QInputMethodEvent::TextFormat) continue;
        const QTextCharFormat f = a.value.value<QTextFormat>().toCharFormat();
        for (std::size_t b = byteAt(a.start); b < byteAt(a.start + a.length); ++b)
            set[b] = compositionSet(f);
    }
    for (std::size_t b = 0; b < bytes.size();) {
        std::size_t e = b;
        while (e < bytes.size() && set[e] == set[b])
            ++e;
        const CompColor& cc = imeColors_[static_cast<std::size_t>(set[b])];
        LineRenderer::StyledRange r;
        r.from = start + b;
        r.to = start + e;
        r.text = rgbToQColor(cc.text);
        r.background = rgbToQColor(cc.background);
        r.bold = cc.effects & styleBold;
        r.italic = cc.effects & styleItalic;
        r.underline = cc.effects & styleUnderline;
        r.strikeOut = cc.effects & styleStrikeOut;
        composition_.styles.push_back(r);
        b = e;
    }
    {
        // The composition stands in place of the selected text, which the
        // commit replaces; a cancelled composition gives it back.
        const OwnEdit edit(inEdit_);
        doc_.replaceUnrecorded(start, replaced, bytes);
    }
    cursor_.anchor = cursor_.caret = start + cursor;
    cursor_.atLineEnd = false;
    ensureCaretVisible();
}

void TextEdit::endComposition() {
    if (!composing()) return;
    const Composition c = composition_;
    composition_ = {};
    {
        const OwnEdit edit(inEdit_);
        doc_.replaceUnrecorded(c.start, c.length, c.hidden);
    }
    cursor_.anchor = c.selectionBefore.anchor;
    cursor_.caret = c.selectionBefore.caret;
    cursor_.atLineEnd = false;
}

void TextEdit::interruptComposition() {
    if (!composing()) return;
    LateCommit place{composition_.start, composition_.hidden.size(), {}};
    // The input method commits its text at once (or drops it) while the
    // composition still stands where it was typed.
    committedAtOnce_ = QString();
    if (QInputMethod* im = QGuiApplication::inputMethod()) im->commit();
    place.committed = *committedAtOnce_;
    committedAtOnce_.reset();
    if (!composing()) {
        if (!place.committed.isEmpty()) lateCommit_ = place;
        return;
    }
    endComposition();
    lateCommit_ = place;
    viewport()->update();
    updateMicroFocus();
}

TextEdit::Surrounding TextEdit::surrounding() const {
    // While composing, the composition's start stands for the caret and its
    // text is left out (the input method has it), and so is the selection
    // it stands in place of.
    Surrounding s;
    const std::size_t before = composing() ? composition_.start : cursor_.caret;
    const std::size_t after = before + (composing() ? composition_.length : 0);
    // The logical line, or a character boundary so many bytes away.
    std::size_t from = before;
    const std::size_t lowest = before > kSurroundingBytes ? before - kSurroundingBytes : 0;
    while (from > lowest && !isLineEnd(doc_.at(from - 1)))
        --from;
    if (boundary(from) != from) from = std::min(nextBoundary(from), before);
    std::size_t to = after;
    const std::size_t highest = std::min(doc_.size(), after + kSurroundingBytes);
    while (to < highest && !isLineEnd(doc_.at(to)))
        ++to;
    to = std::max(boundary(to), after);
    s.from = from;
    s.to = to;
    s.caret = before;
    const QString head = cp932::decode(doc_.view(from, before));
    s.text = head + cp932::decode(doc_.view(after, to));
    s.caretUnits = head.size();
    s.anchor = composing() ? before : std::clamp(cursor_.anchor, from, to);
    s.anchorUnits = cp932::decode(doc_.view(from, s.anchor)).size();
    if (composing()) s.anchorUnits = s.caretUnits;
    return s;
}

std::size_t TextEdit::positionAtUnits(std::size_t from, std::size_t to, qsizetype units) const {
    std::size_t pos = from;
    qsizetype counted = 0;
    while (pos < to && counted < units) {
        const std::size_t next = nextBoundary(pos);
        counted += cp932::decode(doc_.view(pos, next)).size();
        pos = next;
    }
    return pos;
}

QVariant TextEdit::inputMethodQuery(Qt::InputMethodQuery q) const {
    switch (q) {
    case Qt::ImEnabled:
        return isEnabled() && !readOnly_;
    case Qt::ImReadOnly:
        return readOnly_;
    case Qt::ImHints:
        return static_cast<int>(Qt::ImhMultiLine); // plain text, nothing sensitive
    case Qt::ImCursorRectangle:
        return toWidget(caretRect());
    case Qt::ImAnchorRectangle:
        return toWidget(composing() || selectionLength() == 0
                            ? caretRect()
                            : cellRect(cursor_.anchor, false, false));
    case Qt::ImFont:
        return drawFont_;
    case Qt::ImCursorPosition:
        return surrounding().caretUnits;
    case Qt::ImAnchorPosition:
        return surrounding().anchorUnits;
    case Qt::ImSurroundingText:
        return surrounding().text;
    case Qt::ImTextBeforeCursor: {
        const Surrounding s = surrounding();
        return s.text.left(s.caretUnits);
    }
    case Qt::ImTextAfterCursor: {
        const Surrounding s = surrounding();
        return s.text.mid(s.caretUnits);
    }
    case Qt::ImCurrentSelection:
        // Not a selection longer than a re-conversion could take (the whole
        // of a long text, selected).
        if (composing() || selectionLength() > static_cast<int>(kSurroundingBytes) * 4)
            return QString();
        return cp932::decode(selectedText());
    case Qt::ImMaximumTextLength: {
        // The room the character limit leaves (what a commit may add).
        if (doc_.characterLimit() == Document::kNoLimit) return QVariant();
        const std::size_t used =
            doc_.characterCount() -
            (composing() ? cp932::countCharacters(doc_.view(
                               composition_.start, composition_.start + composition_.length))
                         : 0);
        return static_cast<int>(std::min<std::size_t>(
            doc_.characterLimit() > used ? doc_.characterLimit() - used : 0, INT_MAX));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(q);
    }
}

QRect TextEdit::caretRect() const {
    // The composition's caret is a bar: the composition is inserted, also in
    // overwrite mode.
    return cellRect(cursor_.caret, cursor_.atLineEnd, overwrite_ && !composing());
}

QRect TextEdit::cellRect(std::size_t pos, bool atLineEnd, bool wide) const {
    const QRect fmt = textArea();
    std::size_t line = view_.lineOf(pos);
    if (atLineEnd && line > 0 && line < view_.count() && view_.line(line).start == pos &&
        view_.wrapped(line - 1))
        --line;
    const int x =
        fmt.left() + columnOf(line, pos) * grid_.columnWidth - horizontalScrollBar()->value();
    const int y =
        fmt.top() + (static_cast<int>(line) - verticalScrollBar()->value()) * grid_.lineHeight;
    // The overwrite caret covers the character it would replace.
    const int columns = pos < doc_.size() && !isLineEnd(doc_.at(pos))
                            ? static_cast<int>(nextBoundary(pos) - pos)
                            : 1;
    return QRect(x, y, wide ? grid_.columnWidth * columns : 2, grid_.lineHeight);
}
