// Editing of the text view: every change goes through the document, and the
// line view, the caret and the screen follow its change notices.
#include "textedit.h"

#include "text/cp932.h"

#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {
// A whole new text larger than this is laid out a first part at once and the
// rest while idle; lines laid out per idle step.
constexpr std::size_t kLayOutAtOnceBytes = 8u << 20;
constexpr std::size_t kFirstScreenLines = 2000;
// The idle layout goes on in chunks of lines for at most about a quarter of
// a millisecond at a time (the longest a key may wait for it).
constexpr std::size_t kLayoutChunkLines = 100;
constexpr qint64 kLayoutSliceNanoseconds = 250'000;
// The pixels a glyph may ink above or below its row.
constexpr int kInkReach = 2;
} // namespace

// --- editing -------------------------------------------------------------------------

void TextEdit::documentChanged(const TextChange& c) {
    // A commit that comes late no longer knows where its composition stood.
    lateCommit_.reset();
    const std::size_t oldCount = view_.count();
    if (c.pos == 0 && c.inserted == doc_.size() && c.inserted > kLayOutAtOnceBytes) {
        // A whole new text too large to lay out at once: its first screens
        // now, the rest while the program is idle.
        view_.layoutStart(doc_.buffer(), kFirstScreenLines);
    } else {
        view_.edited(doc_.buffer(), c.pos, c.removed, c.inserted);
    }
    textLaidOut(&c);
    if (!view_.complete() && !layoutTimer_.isActive()) layoutTimer_.start();
    // Changed from outside (a command on the document): the selection stays
    // on the same text.
    if (!inEdit_) cursor_.follow(c);
    updateScrollRange();
    // Repaint the lines the change laid out again (never a whole long
    // paragraph); everything below them only when the number of lines
    // changed. (Lines that wait to be laid out again hold the same bytes as
    // before, moved by the change: they look as they did.)
    const LineView::Relaid r = view_.lastRelaid();
    std::size_t lastLine = view_.count();
    bool toBottom = true;
    // The same number of lines: only the lines laid out again, and the row
    // after them when they reach the end of the text (where the end-of-text
    // position may now stand).
    if (view_.count() == oldCount && r.first + r.count < view_.count()) {
        lastLine = r.first + std::max<std::size_t>(r.count, 1) - 1;
    } else if (view_.count() != oldCount && r.first + r.count >= view_.count()) {
        // Lines came or went at the end of the text: no line below them
        // moved, and below the last row of the longer text, and the row of
        // its end after it, the view was blank and stays blank.
        lastLine = std::max(oldCount, view_.count());
        toBottom = false;
    }
    // Lines moved whole inside a run of one repeated character all hold the
    // same bytes: the rows where such a line stood before and stands now
    // are not drawn again, only the rows around them (a key at the start of
    // a paragraph of one character repaints its first rows, not every row
    // of the screen, even when a row comes or goes at the paragraph's end).
    const auto [keepFrom, keepTo] = r.unchangedLines();
    if (keepFrom < keepTo && keepFrom >= r.first && keepTo <= lastLine) {
        if (keepFrom > r.first) updateLines(r.first, keepFrom - 1);
        updateLines(keepTo, lastLine, toBottom);
    } else {
        updateLines(r.first, lastLine, toBottom);
    }
    if (!inEdit_) {
        Q_EMIT changed();
        selectionChange();
        updateMicroFocus();
    }
}

void TextEdit::continueLayout() {
    guarded([&] {
        // Slices of a fraction of a millisecond, so that keys and paints
        // keep their pace while a long stretch waits to be laid out.
        const std::size_t oldCount = view_.count();
        std::size_t first = SIZE_MAX, last = 0;
        QElapsedTimer slice;
        slice.start();
        do {
            view_.continueLayout(doc_.buffer(), kLayoutChunkLines);
            const LineView::Relaid r = view_.lastRelaid();
            first = std::min(first, r.first);
            last = std::max(last, r.first + r.count);
        } while (!view_.complete() && slice.nsecsElapsed() < kLayoutSliceNanoseconds);
        textLaidOut(nullptr);
        updateScrollRange();
        // The lines laid out again, and all below them when lines came or went.
        updateLines(first, view_.count() == oldCount ? last + 1 : view_.count());
        if (view_.complete())
            Q_EMIT layoutCompleted();
        else
            layoutTimer_.start();
    });
}

void TextEdit::updateLines(std::size_t first, std::size_t last, bool toBottom) {
    const QRect fmt = textArea();
    const long top = static_cast<long>(first) - verticalScrollBar()->value();
    const long bottom = static_cast<long>(last) - verticalScrollBar()->value() + 1;
    if (bottom < 0) return;
    const int y0 = fmt.top() + static_cast<int>(std::max<long>(top, 0)) * grid_.lineHeight;
    const int y1 =
        last >= view_.count() && toBottom
            ? viewport()->height()
            : fmt.top() + static_cast<int>(std::min<long>(bottom, 100000)) * grid_.lineHeight;
    if (y0 >= viewport()->height()) return;
    // Glyphs may ink a pixel or two past their rows: the rows around are
    // drawn again that far (clipped), as a paint of the whole view shows them.
    viewport()->update(
        QRect(0, y0 - kInkReach, viewport()->width(), std::max(0, y1 - y0) + 2 * kInkReach));
}

bool TextEdit::replaceSelection(std::string_view bytes) {
    interruptComposition();
    const std::size_t s = static_cast<std::size_t>(selectionStart());
    const std::size_t l = static_cast<std::size_t>(selectionLength());
    EditResult r;
    {
        const OwnEdit edit(inEdit_);
        r = replaceRange(doc_, s, s + l, bytes, editRules(), cursor_.selection());
    }
    tellEditResult(r);
    if (!r.changed()) return false;
    caretAfterEdit(s + r.inserted);
    return r.inserted > 0;
}

bool TextEdit::tellEditResult(const EditResult& r) {
    if (r.cut && r.outcome != EditResult::Outcome::limit) Q_EMIT limitReached();
    if (r.outcome != EditResult::Outcome::strayLeadByte) return false;
    tellStrayByteJoin();
    return true;
}

bool TextEdit::refusesStrayByteJoin(std::size_t pos, std::size_t length, std::string_view bytes) {
    if (!doc_.joinsStrayByte(pos, length, bytes)) return false;
    tellStrayByteJoin();
    return true;
}

void TextEdit::tellStrayByteJoin() {
    Q_EMIT inputRefused(QStringLiteral(
        "カーソルの前に Shift-JIS の文字ではないバイトがあるため、このままでは入力した文字と"
        "結び付いて別の文字になってしまいます。先にそのバイトを削除してください。"));
}

void TextEdit::caretAfterEdit(std::size_t pos) {
    // The caret stands on a character boundary of the text as it now is (an
    // edit can leave pos between a CR and its LF, or after a lead byte that
    // now pairs with the byte after it).
    cursor_.anchor = cursor_.caret = boundary(pos);
    cursor_.atLineEnd = false;
    cursor_.goalColumn = -1;
    ensureCaretVisible();
    updateCaret();
    Q_EMIT changed();
    selectionChange(); // also when the selection only moved with the text
    updateMicroFocus();
}

void TextEdit::typeBytes(const std::string& bytes, bool joinsTyping, bool overwrites) {
    if (readOnly_ || bytes.empty()) return;
    std::size_t s = static_cast<std::size_t>(selectionStart());
    std::size_t l = static_cast<std::size_t>(selectionLength());
    // Overwrite: the typed characters take the place of as many characters,
    // never of a line end.
    if (overwrite_ && overwrites && l == 0 && bytes != "\r\n") {
        const std::size_t chars = cp932::countCharacters(bytes);
        std::size_t e = s;
        for (std::size_t k = 0; k < chars && e < doc_.size(); ++k) {
            const char c = doc_.at(e);
            if (c == '\r' || c == '\n') break;
            e = nextBoundary(e);
        }
        l = e - s;
    }
    EditRules rules = editRules();
    rules.typing = true;
    rules.mergeTyping = joinsTyping;
    EditResult r;
    {
        const OwnEdit edit(inEdit_);
        r = replaceRange(doc_, s, s + l, bytes, rules, cursor_.selection());
    }
    tellEditResult(r);
    if (r.changed()) caretAfterEdit(s + r.inserted);
}

void TextEdit::charTyped(const std::string& bytes) {
    // Characters typed one by one join one undo step; a line end is a step of
    // its own.
    typeBytes(bytes, bytes != "\r\n" && cp932::countCharacters(bytes) == 1);
}

void TextEdit::setText(std::string_view bytes) {
    replaceWholeText([&] { doc_.setText(bytes); });
}

void TextEdit::loadFile(const std::string& path) {
    replaceWholeText([&] { doc_.loadFile(path); });
}

void TextEdit::takeLoaded(Document::LoadedText& loaded, const std::string& path) {
    replaceWholeText([&] { doc_.takeLoaded(loaded, path); });
}

void TextEdit::replaceWholeText(const std::function<void()>& replace) {
    interruptComposition();
    {
        const OwnEdit edit(inEdit_); // a failure leaves the document unchanged
        replace();
    }
    cursor_.anchor = cursor_.caret = 0;
    cursor_.atLineEnd = false;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    Q_EMIT changed();
    selectionChange(); // also when the selection only moved with the text
    updateMicroFocus();
}

void TextEdit::deleteSelection() {
    if (selectionLength() > 0) replaceSelection({});
}

std::string TextEdit::text() const {
    if (!composing()) return doc_.text();
    return doc_.text(0, composition_.start) + composition_.hidden +
           doc_.text(composition_.start + composition_.length, doc_.size());
}

std::string TextEdit::selectedText() const {
    const std::size_t s = static_cast<std::size_t>(selectionStart());
    return doc_.text(s, s + static_cast<std::size_t>(selectionLength()));
}

void TextEdit::undo() {
    interruptComposition();
    if (readOnly_) return;
    std::optional<Selection> shown;
    {
        const OwnEdit edit(inEdit_);
        shown = doc_.undo();
    }
    showUndoneSelection(shown);
}

void TextEdit::redo() {
    interruptComposition();
    if (readOnly_) return;
    std::optional<Selection> shown;
    {
        const OwnEdit edit(inEdit_);
        shown = doc_.redo();
    }
    showUndoneSelection(shown);
}

void TextEdit::showUndoneSelection(const std::optional<Selection>& shown) {
    if (!shown) return;
    cursor_.place(shown->anchor, shown->caret);
    ensureCaretVisible();
    viewport()->update();
    Q_EMIT changed();
    selectionChange(); // also when the selection only moved with the text
    updateMicroFocus();
}

void TextEdit::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::bad_alloc&) {
        Q_EMIT failed(QStringLiteral("メモリが不足しています"));
    } catch (const std::exception& e) {
        Q_EMIT failed(QString::fromLocal8Bit(e.what()));
    }
}
