#include "richedit.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/platform.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>

#include <algorithm>

TRichEdit::TRichEdit(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    font_ = QFont(QStringLiteral("ＭＳ ゴシック"), 9);
    computeMetrics();
    applyRules();
}

TRichEdit::~TRichEdit() = default;

// --- window life cycle ---------------------------------------------------------

void TRichEdit::HandleNeeded() {
    if (handle_) return;
    CreateWnd();
}

void TRichEdit::CreateWnd() {
    handle_ = true;
    applyRules();
}

void TRichEdit::DestroyWnd() {
    handle_ = false;
}

void TRichEdit::DestroyHandle() {
    if (handle_) DestroyWnd();
}

void TRichEdit::RecreateWnd() {
    DestroyHandle();
    HandleNeeded();
}

void TRichEdit::showEvent(QShowEvent* e) {
    HandleNeeded();
    QAbstractScrollArea::showEvent(e);
}

// --- metrics and layout ----------------------------------------------------------

void TRichEdit::computeMetrics() {
    drawFont_ = font_;
    if (charHeightTwips_ > 0) {
        const int px = std::max(1, charHeightTwips_ * logicalDpiY() / 1440);
        drawFont_.setPixelSize(px);
    }
    const QFontMetrics fm(drawFont_);
    const int square = fm.horizontalAdvance(QChar(0x25A1)); // □
    colW_ = std::max(1, (square + 1) / 2);
    lineH_ = std::max(1, fm.height());
    ascent_ = fm.ascent();
    gridFont_ = fm.horizontalAdvance(QStringLiteral("a")) == colW_ &&
                fm.horizontalAdvance(QStringLiteral("W")) == colW_ &&
                fm.horizontalAdvance(QStringLiteral("あ")) == 2 * colW_ &&
                fm.horizontalAdvance(QStringLiteral("漢")) == 2 * colW_ &&
                fm.horizontalAdvance(QStringLiteral("ｱ")) == colW_ &&
                fm.horizontalAdvance(QStringLiteral("aあｱ")) == 4 * colW_;
}

void TRichEdit::FontChanged() {
    computeMetrics();
    applyRules();
    viewport()->update();
}

void TRichEdit::SetFont(const QFont& f) {
    font_ = f;
    FontChanged();
}

void TRichEdit::SetFontColor(TColor c) {
    fontColor_ = c;
    viewport()->update();
}

void TRichEdit::SetColor(TColor c) {
    color_ = c;
    viewport()->update();
}

void TRichEdit::SetWordWrap(bool w) {
    wordWrap_ = w;
    applyRules();
}

QRect TRichEdit::GetRect() const {
    if (!handle_) return {};
    if (fmtSet_) return fmt_;
    // The control's own rectangle: the client area, with room for the
    // selection bar when that option is on.
    const QRect cl = viewport()->rect();
    const int left = (options_ & ECO_SELECTIONBAR) ? 10 : 1;
    return QRect(QPoint(left, 0), QPoint(cl.right(), cl.bottom()));
}

void TRichEdit::SetRect(const QRect& r) {
    if (!handle_) return;
    fmt_ = r;
    fmtSet_ = true;
    applyRules();
    viewport()->update();
}

void TRichEdit::applyRules() {
    LayoutRules r;
    r.modeWord = modeWord_;
    r.custom = custom_;
    int width = 0;
    if (wordWrap_) {
        const QRect fmt = handle_ ? GetRect() : viewport()->rect();
        // The rectangle keeps one double-byte character for a hanging
        // punctuation mark, two when nothing may hang.
        const int reserve = (modeWord_ & WBF_OVERFLOW) ? 2 : 4;
        width = std::max(1, (fmt.right() - fmt.left() + 1) / colW_ - reserve);
    }
    r.width = width;
    const bool same = r.width == rules_.width && r.modeWord == rules_.modeWord &&
                      (punctuationModeOf(r.modeWord) != wbfCustom || r.custom == rules_.custom);
    rules_ = r;
    if (same && view_.count() > 0) return;
    view_.setRules(rules_);
    relayoutAll();
}

void TRichEdit::relayoutAll() {
    view_.layoutAll(doc_);
    updateScrollBars();
    viewport()->update();
}

int TRichEdit::visibleLines() const {
    const QRect fmt = handle_ ? GetRect() : viewport()->rect();
    return std::max(1, (fmt.bottom() - fmt.top() + 1) / lineH_);
}

void TRichEdit::updateScrollBars() {
    const int lines =
        static_cast<int>(view_.count()) +
        ((doc_.empty() ||
          (doc_.size() && (doc_.at(doc_.size() - 1) == '\n' || doc_.at(doc_.size() - 1) == '\r')))
             ? 1
             : 0);
    const int page = visibleLines();
    verticalScrollBar()->setRange(0, std::max(0, lines - page));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const QRect fmt = handle_ ? GetRect() : viewport()->rect();
    const int contentRight = rules_.width > 0 ? fmt.right() + colW_ * 2 : fmt.right();
    horizontalScrollBar()->setRange(0, std::max(0, contentRight - viewport()->width() + 1));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
    horizontalScrollBar()->setSingleStep(colW_ * 2);
}

void TRichEdit::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    if (!fmtSet_) applyRules();
    updateScrollBars();
}

void TRichEdit::scrollContentsBy(int, int) {
    viewport()->update();
}

// --- character positions -------------------------------------------------------------

std::size_t TRichEdit::boundary(std::size_t pos) const {
    const std::size_t n = doc_.size();
    if (pos >= n) return n;
    std::size_t runStart = pos;
    while (runStart > 0 && cp932::isLeadByte(static_cast<unsigned char>(doc_.at(runStart - 1))))
        --runStart;
    std::size_t p = runStart;
    while (true) {
        std::size_t len = 1;
        if (p + 1 < n && cp932::isLeadByte(static_cast<unsigned char>(doc_.at(p))) &&
            cp932::isTrailByte(static_cast<unsigned char>(doc_.at(p + 1))))
            len = 2;
        if (p + len > pos) break;
        p += len;
    }
    if (p > 0 && doc_.at(p) == '\n' && doc_.at(p - 1) == '\r') --p;
    return p;
}

std::size_t TRichEdit::nextBoundary(std::size_t pos) const {
    const std::size_t n = doc_.size();
    if (pos >= n) return n;
    if (doc_.at(pos) == '\r' && pos + 1 < n && doc_.at(pos + 1) == '\n') return pos + 2;
    if (pos + 1 < n && cp932::isLeadByte(static_cast<unsigned char>(doc_.at(pos))) &&
        cp932::isTrailByte(static_cast<unsigned char>(doc_.at(pos + 1))))
        return pos + 2;
    return pos + 1;
}

std::size_t TRichEdit::prevBoundary(std::size_t pos) const {
    if (pos == 0) return 0;
    return boundary(pos - 1);
}

std::size_t TRichEdit::lineStartOf(std::size_t line) const {
    if (line < view_.count()) return view_.line(line).start;
    return doc_.size();
}

std::size_t TRichEdit::lineEndOf(std::size_t line) const {
    if (line < view_.count()) return view_.line(line).start + view_.line(line).length;
    return doc_.size();
}

int TRichEdit::columnOf(std::size_t line, std::size_t pos) const {
    const std::size_t start = lineStartOf(line);
    pos = std::min(pos, lineEndOf(line));
    if (pos <= start) return 0;
    const std::string_view v = doc_.view(start, pos);
    int col = 0;
    for (std::size_t p = 0; p < v.size();) {
        col += cp932::charColumns(v, p, col);
        p += cp932::charLength(v, p);
    }
    return col;
}

std::size_t TRichEdit::posAtColumn(std::size_t line, int targetCol) const {
    const std::size_t start = lineStartOf(line), end = lineEndOf(line);
    const std::string_view v = doc_.view(start, end);
    int col = 0;
    for (std::size_t p = 0; p < v.size();) {
        const int w = cp932::charColumns(v, p, col);
        if (targetCol < col + (w + 1) / 2) return start + p;
        col += w;
        p += cp932::charLength(v, p);
    }
    return end;
}

std::size_t TRichEdit::caretLine() const {
    std::size_t i = view_.lineOf(caret_);
    if (caretAtEnd_ && i > 0 && i < view_.count() && view_.line(i).start == caret_ &&
        view_.wrapped(i - 1))
        return i - 1;
    return i;
}

int TRichEdit::GetTextLen() const {
    return handle_ ? static_cast<int>(doc_.size()) : 0;
}

int TRichEdit::GetFirstVisibleLine() const {
    return handle_ ? verticalScrollBar()->value() : 0;
}

QPoint TRichEdit::PosFromChar(int pos) const {
    if (!handle_ || pos < 0) return {};
    const auto p = std::min<std::size_t>(static_cast<std::size_t>(pos), doc_.size());
    const std::size_t line = view_.lineOf(p);
    const QRect fmt = GetRect();
    const int x = fmt.left() + columnOf(line, p) * colW_ - horizontalScrollBar()->value();
    const int y = fmt.top() + (static_cast<int>(line) - verticalScrollBar()->value()) * lineH_;
    return {x, y};
}

int TRichEdit::CharFromPos(QPoint pt) const {
    if (!handle_) return 0;
    const QRect fmt = GetRect();
    if (view_.count() == 0) return 0;
    int row = (pt.y() - fmt.top());
    row = row < 0 ? -1 : row / lineH_;
    const long line = std::clamp<long>(verticalScrollBar()->value() + row, 0,
                                       static_cast<long>(view_.count()) - 1);
    const int x = pt.x() - fmt.left() + horizontalScrollBar()->value();
    const std::size_t start = lineStartOf(static_cast<std::size_t>(line));
    const std::size_t end = lineEndOf(static_cast<std::size_t>(line));
    const std::string_view v = doc_.view(start, end);
    int col = 0;
    for (std::size_t p = 0; p < v.size();) {
        const int w = cp932::charColumns(v, p, col);
        if (x < (col + w) * colW_) return static_cast<int>(start + p);
        col += w;
        p += cp932::charLength(v, p);
    }
    return static_cast<int>(end);
}

int TRichEdit::LineFromChar(int pos) const {
    if (!handle_) return 0;
    return static_cast<int>(view_.lineOf(static_cast<std::size_t>(std::max(pos, 0))));
}

int TRichEdit::LineIndex(int line) const {
    if (!handle_) return 0;
    const std::size_t l = line < 0 ? caretLine() : static_cast<std::size_t>(line);
    if (l < view_.count()) return static_cast<int>(view_.line(l).start);
    if (l == view_.count()) return static_cast<int>(doc_.size());
    return -1;
}

// --- the East Asian messages -----------------------------------------------------------

bool TRichEdit::SetPunctuation(int type, const std::string& list) {
    if (!handle_ || type < 1 || type > 4) return false;
    custom_[static_cast<std::size_t>(type - 1)] = list;
    if (punctuationModeOf(modeWord_) == wbfCustom) applyRules();
    return true;
}

bool TRichEdit::GetPunctuation(int type, std::string& list) const {
    if (!handle_ || type < 1 || type > 4) return false;
    LayoutRules r;
    r.modeWord = modeWord_;
    r.custom = custom_;
    list = r.lists()[static_cast<std::size_t>(type - 1)];
    return true;
}

int TRichEdit::SetWordWrapModeMsg(std::uint32_t mode) {
    if (!handle_) return 0;
    const std::uint32_t old = modeWord_;
    modeWord_ = mode & 0x3F0;
    applyRules();
    return static_cast<int>(old);
}

int TRichEdit::GetWordWrapModeMsg() const {
    return handle_ ? static_cast<int>(modeWord_) : 0;
}

void TRichEdit::SetImeColorMsg(const CompColors& c) {
    if (!handle_) return;
    imeColors_ = c;
    viewport()->update();
}

bool TRichEdit::GetImeColorMsg(CompColors& c) const {
    if (!handle_) return false;
    c = imeColors_;
    return true;
}

void TRichEdit::SetOptions(std::uint32_t op, std::uint32_t bits) {
    if (!handle_) return;
    switch (op) {
    case 1:
        options_ = bits;
        break; // ECOOP_SET
    case ECOOP_OR:
        options_ |= bits;
        break;
    case 3:
        options_ &= bits;
        break; // ECOOP_AND
    case 4:
        options_ ^= bits;
        break; // ECOOP_XOR
    default:
        break;
    }
    if (!fmtSet_) applyRules();
}

void TRichEdit::SetDefaultCharHeight(int twips) {
    if (!handle_) return;
    charHeightTwips_ = twips;
    computeMetrics();
    applyRules();
    updateScrollBars();
    viewport()->update();
}

bool TRichEdit::CanPasteText() const {
    if (!handle_) return false;
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasText();
}

int TRichEdit::FindText(int start, std::string_view what, bool matchCase) const {
    if (what.empty() || start < 0) return -1;
    const std::string_view text = doc_.all();
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    std::size_t p = boundary(static_cast<std::size_t>(start));
    if (p < static_cast<std::size_t>(start)) p = nextBoundary(p);
    while (p + what.size() <= text.size()) {
        bool hit = true;
        // Compare character by character so that ASCII case folding never
        // touches a trail byte.
        for (std::size_t i = 0; i < what.size() && hit;) {
            const std::size_t len = cp932::charLength(what, i);
            for (std::size_t k = 0; k < len; ++k) {
                const char a = text[p + i + k], b = what[i + k];
                if (len == 1 && !matchCase ? lower(a) != lower(b) : a != b) {
                    hit = false;
                    break;
                }
            }
            i += len;
        }
        if (hit && (p + what.size() == text.size() || boundary(p + what.size()) == p + what.size()))
            return static_cast<int>(p);
        p = nextBoundary(p);
    }
    return -1;
}

// --- editing -------------------------------------------------------------------------

std::size_t TRichEdit::countCharsIn(std::size_t from, std::size_t to) const {
    const std::string_view v = doc_.view(from, to);
    std::size_t n = 0;
    for (std::size_t p = 0; p < v.size(); ++n) {
        if (v[p] == '\r' && p + 1 < v.size() && v[p + 1] == '\n')
            p += 2;
        else
            p += cp932::charLength(v, p);
    }
    return n;
}

std::string TRichEdit::fitToMaxLength(std::string_view bytes, std::size_t replacedChars) const {
    if (maxLength_ <= 0) return std::string(bytes);
    const std::size_t others = charCount_ - std::min(charCount_, replacedChars);
    const std::size_t limit = static_cast<std::size_t>(maxLength_);
    if (others >= limit) return {};
    std::size_t allowed = limit - others;
    std::size_t p = 0;
    while (p < bytes.size() && allowed > 0) {
        if (bytes[p] == '\r' && p + 1 < bytes.size() && bytes[p + 1] == '\n')
            p += 2;
        else
            p += cp932::charLength(bytes, p);
        --allowed;
    }
    return std::string(bytes.substr(0, p));
}

void TRichEdit::replaceRange(std::size_t pos, std::size_t len, std::string_view bytes,
                             bool undoable, bool merge) {
    const std::size_t n = doc_.size();
    pos = std::min(pos, n);
    len = std::min(len, n - pos);
    // The region whose character count can change: the logical lines around
    // the change, with one byte on each side (a CR and an LF may pair up).
    std::size_t a = 0, b = n;
    std::size_t firstLine = 0;
    const std::size_t oldCount = view_.count();
    if (view_.count()) {
        std::size_t i = std::min(view_.lineOf(pos), view_.count() - 1);
        while (i > 0 && view_.wrapped(i - 1))
            --i;
        a = view_.line(i).start;
        firstLine = i;
        std::size_t j = std::min(view_.lineOf(pos + len), view_.count() - 1);
        while (j + 1 < view_.count() && view_.wrapped(j))
            ++j;
        b = std::max<std::size_t>(view_.line(j).start + view_.line(j).length + view_.line(j).eol,
                                  pos + len);
    }
    a = a > 0 ? a - 1 : 0;
    b = std::min(b + 1, n);
    const std::size_t before = countCharsIn(a, b);
    std::string removed = doc_.str(pos, pos + len);

    doc_.erase(pos, len);
    doc_.insert(pos, bytes);
    const std::size_t after = countCharsIn(a, b - len + bytes.size());
    charCount_ = charCount_ - before + after;
    view_.edited(doc_, pos, len, bytes.size());

    if (undoable) {
        redo_.clear();
        Edit* last = undo_.empty() ? nullptr : &undo_.back();
        if (merge && mergeTyping_ && last && last->removed.empty() && removed.empty() &&
            last->pos + last->inserted.size() == pos) {
            last->inserted += bytes;
        } else {
            undo_.push_back({pos, std::move(removed), std::string(bytes), anchor_, caret_, 0, 0});
        }
        mergeTyping_ = merge;
    }
    modified_ = true;
    updateScrollBars();
    // Repaint the lines the change laid out again; everything below them
    // only when the number of lines changed.
    std::size_t lastLine = view_.count();
    if (view_.count() == oldCount && view_.count()) {
        lastLine = std::min(view_.lineOf(pos + bytes.size()), view_.count() - 1);
        while (lastLine + 1 < view_.count() && view_.wrapped(lastLine))
            ++lastLine;
        ++lastLine; // the end-of-text or line-end position just after it
    }
    updateLines(firstLine, lastLine);
}

void TRichEdit::updateLines(std::size_t first, std::size_t last) {
    const QRect fmt = handle_ ? GetRect() : viewport()->rect();
    const long top = static_cast<long>(first) - verticalScrollBar()->value();
    const long bottom = static_cast<long>(last) - verticalScrollBar()->value() + 1;
    if (bottom < 0) return;
    const int y0 = fmt.top() + static_cast<int>(std::max<long>(top, 0)) * lineH_;
    const int y1 = last >= view_.count()
                       ? viewport()->height()
                       : fmt.top() + static_cast<int>(std::min<long>(bottom, 100000)) * lineH_;
    if (y0 >= viewport()->height()) return;
    viewport()->update(QRect(0, y0, viewport()->width(), std::max(0, y1 - y0)));
}

bool TRichEdit::ReplaceSel(std::string_view bytes) {
    if (readOnly_) return false;
    const std::size_t s = static_cast<std::size_t>(SelStart());
    const std::size_t l = static_cast<std::size_t>(SelLength());
    const std::string fitted = fitToMaxLength(bytes, l ? countCharsIn(s, s + l) : 0);
    if (fitted.empty() && l == 0) return false;
    replaceRange(s, l, fitted, true, false);
    caretAfterEdit(s + fitted.size());
    return !fitted.empty();
}

void TRichEdit::caretAfterEdit(std::size_t pos) {
    anchor_ = caret_ = pos;
    caretAtEnd_ = false;
    goalX_ = -1;
    if (!undo_.empty()) {
        undo_.back().anchorAfter = anchor_;
        undo_.back().caretAfter = caret_;
    }
    ensureCaretVisible();
    Q_EMIT changed();
    SelectionChange(); // also when the selection only moved with the text
}

void TRichEdit::typeBytes(const std::string& bytes) {
    if (readOnly_ || bytes.empty()) return;
    std::size_t s = static_cast<std::size_t>(SelStart());
    std::size_t l = static_cast<std::size_t>(SelLength());
    // Overwrite: the typed characters take the place of as many characters,
    // never of a line end.
    if (overwrite_ && l == 0 && bytes != "\r\n") {
        const std::size_t chars = cp932::countChars(bytes);
        std::size_t e = s;
        for (std::size_t k = 0; k < chars && e < doc_.size(); ++k) {
            const char c = doc_.at(e);
            if (c == '\r' || c == '\n') break;
            e = nextBoundary(e);
        }
        l = e - s;
    }
    const std::string fitted = fitToMaxLength(bytes, l ? countCharsIn(s, s + l) : 0);
    if (fitted.empty()) return;
    replaceRange(s, l, fitted, true, l == 0);
    caretAfterEdit(s + fitted.size());
}

void TRichEdit::CharTyped(const std::string& bytes) {
    typeBytes(bytes);
}

void TRichEdit::SetText(std::string_view bytes) {
    doc_.assign(bytes);
    charCount_ = countCharsIn(0, doc_.size());
    view_.layoutAll(doc_);
    undo_.clear();
    redo_.clear();
    anchor_ = caret_ = 0;
    caretAtEnd_ = false;
    modified_ = true;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    Q_EMIT changed();
    SelectionChange(); // also when the selection only moved with the text
}

void TRichEdit::ClearSelection() {
    if (SelLength() > 0) ReplaceSel({});
}

std::string TRichEdit::SelText() const {
    const std::size_t s = static_cast<std::size_t>(SelStart());
    return doc_.str(s, s + static_cast<std::size_t>(SelLength()));
}

void TRichEdit::Undo() {
    replay(undo_, redo_, true);
}

void TRichEdit::Redo() {
    replay(redo_, undo_, false);
}

void TRichEdit::replay(std::vector<Edit>& from, std::vector<Edit>& to, bool backwards) {
    if (from.empty() || readOnly_) return;
    Edit e = std::move(from.back());
    from.pop_back();
    if (backwards) {
        replaceRange(e.pos, e.inserted.size(), e.removed, false, false);
        anchor_ = e.anchorBefore;
        caret_ = e.caretBefore;
    } else {
        replaceRange(e.pos, e.removed.size(), e.inserted, false, false);
        anchor_ = e.anchorAfter;
        caret_ = e.caretAfter;
    }
    caretAtEnd_ = false;
    to.push_back(std::move(e));
    mergeTyping_ = false;
    ensureCaretVisible();
    Q_EMIT changed();
    SelectionChange(); // also when the selection only moved with the text
}

// --- selection ---------------------------------------------------------------------------

void TRichEdit::setSelection(std::size_t anchor, std::size_t caret) {
    const std::size_t oldA = anchor_, oldC = caret_;
    anchor_ = boundary(std::min(anchor, doc_.size()));
    caret_ = boundary(std::min(caret, doc_.size()));
    caretAtEnd_ = false;
    mergeTyping_ = false;
    updateSelectionRows(oldA, oldC);
    if (oldA != anchor_ || oldC != caret_) SelectionChange();
}

void TRichEdit::updateSelectionRows(std::size_t oldAnchor, std::size_t oldCaret) {
    const std::size_t lo = std::min({oldAnchor, oldCaret, anchor_, caret_});
    const std::size_t hi = std::max({oldAnchor, oldCaret, anchor_, caret_});
    const std::size_t first = view_.lineOf(lo);
    updateLines(first > 0 ? first - 1 : 0, view_.lineOf(hi) + 1);
}

void TRichEdit::SetSelStart(int pos) {
    const auto p = static_cast<std::size_t>(std::max(pos, 0));
    setSelection(p, p);
    ensureCaretVisible();
}

void TRichEdit::SetSelLength(int len) {
    const std::size_t s = static_cast<std::size_t>(SelStart());
    setSelection(s, s + static_cast<std::size_t>(std::max(len, 0)));
}

void TRichEdit::SelectAll() {
    setSelection(0, doc_.size());
}

void TRichEdit::moveCaret(std::size_t pos, bool extend, bool atLineEnd) {
    const std::size_t oldA = anchor_, oldC = caret_;
    caret_ = std::min(pos, doc_.size());
    if (!extend) anchor_ = caret_;
    caretAtEnd_ = atLineEnd;
    mergeTyping_ = false;
    ensureCaretVisible();
    updateSelectionRows(oldA, oldC);
    if (oldA != anchor_ || oldC != caret_ || atLineEnd) SelectionChange();
}

void TRichEdit::ensureCaretVisible() {
    const int line = static_cast<int>(caretLine());
    QScrollBar* v = verticalScrollBar();
    const int page = visibleLines();
    if (line < v->value())
        v->setValue(line);
    else if (line >= v->value() + page)
        v->setValue(line - page + 1);
    QScrollBar* h = horizontalScrollBar();
    const QRect fmt = handle_ ? GetRect() : viewport()->rect();
    const int x = fmt.left() + columnOf(caretLine(), caret_) * colW_;
    if (x - h->value() < 0)
        h->setValue(std::max(0, x - fmt.left()));
    else if (x - h->value() > viewport()->width() - colW_ * 2)
        h->setValue(x - viewport()->width() + colW_ * 2);
}
