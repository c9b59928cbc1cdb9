#include "textedit.h"

#include "platform/dialogs.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <optional>

namespace {
// The left margin: room for the selection bar, or one pixel.
constexpr int kSelectionBarWidth = 10;
constexpr int kPlainLeftEdge = 1;
// Far right of any window, and still far from the end of an int.
constexpr std::int64_t kFarRight = 1 << 24;
// A whole new text larger than this is laid out a first part at once and the
// rest while idle; lines laid out per idle step.
constexpr std::size_t kLayOutAtOnceBytes = 8u << 20;
constexpr std::size_t kFirstScreenLines = 2000;
// The idle layout goes on in chunks of lines for at most about a quarter of
// a millisecond at a time (the longest a key may wait for it).
constexpr std::size_t kLayoutChunkLines = 100;
constexpr qint64 kLayoutSliceNanoseconds = 250'000;
// The fewest lines an edit lays out at once.
constexpr int kLeastEditBudget = 100;
// A scroll bar that is painted again only when what it shows changes: a
// range that grows by a line of a long text moves its handle by no pixel.
class QuietScrollBar : public QScrollBar {
  public:
    explicit QuietScrollBar(Qt::Orientation o) : QScrollBar(o) {}

  protected:
    void sliderChange(SliderChange change) override {
        const Look now = look();
        if (shown_ && now == *shown_) return;
        shown_ = now;
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* e) override {
        shown_ = look();
        QScrollBar::paintEvent(e);
    }

  private:
    struct Look {
        QRect handle;
        bool atMinimum, atMaximum, empty;
        bool operator==(const Look&) const = default;
    };
    Look look() const {
        QStyleOptionSlider o;
        initStyleOption(&o);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &o, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum(), minimum() == maximum()};
    }
    std::optional<Look> shown_;
};

} // namespace

TextEdit::TextEdit(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new QuietScrollBar(Qt::Horizontal));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    // The paint pass covers every pixel it is asked for: nothing under the
    // viewport (the frame, a background) is painted first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&doc_, &Document::changed, this, &TextEdit::documentChanged);
    layoutTimer_.setSingleShot(true);
    layoutTimer_.setInterval(0);
    connect(&layoutTimer_, &QTimer::timeout, this, &TextEdit::continueLayout);
    // The fixed-pitch Gothic the program starts with, so that the editor's
    // first measurement is the one the program's font needs.
    font_ = QFont(QStringLiteral("ＭＳ ゴシック"), 9);
    font_.setFixedPitch(true);
    font_.setStyleHint(QFont::TypeWriter);
    computeMetrics();
    applyRules();
}

TextEdit::~TextEdit() = default;

// --- metrics and layout ----------------------------------------------------------

void TextEdit::computeMetrics() {
    drawFont_ = font_;
    if (charPixels_ > 0) drawFont_.setPixelSize(charPixels_);
    grid_ = measureGrid(drawFont_);
}

void TextEdit::fontChanged() {
    computeMetrics();
    applyRules();
    viewport()->update();
}

void TextEdit::setEditorFont(const QFont& f) {
    font_ = f;
    fontChanged();
}

void TextEdit::setTextColor(ColorValue c) {
    fontColor_ = c;
    viewport()->update();
}

void TextEdit::setBackgroundColor(ColorValue c) {
    color_ = c;
    viewport()->update();
}

void TextEdit::setWordWrap(bool w) {
    wordWrap_ = w;
    applyRules();
}

void TextEdit::setTextMargins(const Margins& m) {
    if (m == margins_) return;
    margins_ = m;
    geometryChanged();
}

void TextEdit::setLineWidth(int columns) {
    columns = std::max(columns, 0);
    if (columns == lineWidth_) return;
    lineWidth_ = columns;
    geometryChanged();
}

void TextEdit::wrapAtWindowWidth() {
    if (lineWidth_ < 0) return;
    lineWidth_ = -1;
    geometryChanged();
}

void TextEdit::setSelectionBar(bool on) {
    selectionBar_ = on;
    Margins m = margins_;
    m.left = on ? kSelectionBarWidth : kPlainLeftEdge;
    setTextMargins(m);
}

void TextEdit::geometryChanged() {
    applyRules();
    // The visible rows follow the margins even when the layout stays.
    updateScrollBars();
    viewport()->update();
}

int TextEdit::hangingColumns() const {
    return (modeWord_ & wrapOverflow) ? 2 : 4;
}

QRect TextEdit::textArea() const {
    const int left = margins_.left, top = margins_.top;
    const int bottom = viewport()->height() - margins_.bottom; // exclusive
    std::int64_t right = viewport()->width();                  // exclusive
    if (wordWrap_ && lineWidth_ >= 0)
        right = std::min<std::int64_t>(
            left + (static_cast<std::int64_t>(lineWidth_) + hangingColumns()) * grid_.columnWidth,
            kFarRight);
    return QRect(left, top, static_cast<int>(right - left), bottom - top);
}

void TextEdit::applyRules() {
    LayoutRules r;
    r.modeWord = modeWord_;
    r.custom = custom_;
    int width = 0;
    if (wordWrap_ && lineWidth_ >= 0)
        width = std::max(1, lineWidth_);
    else if (wordWrap_) // the window's width, less the room of the hanging marks
        width = std::max(1, (viewport()->width() - margins_.left) / grid_.columnWidth -
                                hangingColumns());
    r.width = width;
    const bool same =
        r.width == rules_.width && r.modeWord == rules_.modeWord &&
        (punctuationModeOf(r.modeWord) != PunctuationMode::custom || r.custom == rules_.custom);
    rules_ = r;
    if (same && view_.count() > 0) return;
    view_.setRules(rules_);
    relayoutAll();
}

void TextEdit::relayoutAll() {
    // The caret's line keeps its row on the screen when it is in sight; else
    // the text at the top stays at the top.
    const int row = static_cast<int>(caretLine()) - verticalScrollBar()->value();
    const bool inSight = row >= 0 && row < visibleLines();
    const std::size_t top =
        cursor_.lineStart(static_cast<std::size_t>(verticalScrollBar()->value()));
    view_.layoutAll(doc_.buffer());
    textLaidOut(nullptr);
    updateScrollBars();
    if (inSight) {
        verticalScrollBar()->setValue(static_cast<int>(caretLine()) - row);
        ensureCaretVisible();
    } else {
        verticalScrollBar()->setValue(static_cast<int>(view_.lineOf(top)));
    }
    viewport()->update();
    // Every line is laid out again: the totals are final.
    if (view_.complete()) Q_EMIT layoutCompleted();
}

int TextEdit::visibleLines() const {
    const QRect fmt = textArea();
    return std::max(1, (fmt.bottom() - fmt.top() + 1) / grid_.lineHeight);
}

void TextEdit::setRangeQuietly(QScrollBar* bar, Qt::ScrollBarPolicy policy, int maximum) {
    if (policy != Qt::ScrollBarAlwaysOn) {
        bar->setRange(0, maximum);
        return;
    }
    // A bar always shown has nothing to show, hide or lay out again when its
    // range changes (the scroll area would lay out and paint both bars again
    // for every line the text gains); a value the new range moves still
    // scrolls the view.
    const int before = bar->value();
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(0, maximum);
    }
    if (bar->value() != before) viewport()->update();
}

void TextEdit::updateScrollBars() {
    const int lines =
        static_cast<int>(view_.count()) +
        ((doc_.empty() ||
          (doc_.size() && (doc_.at(doc_.size() - 1) == '\n' || doc_.at(doc_.size() - 1) == '\r')))
             ? 1
             : 0);
    const int page = visibleLines();
    // An edit lays out at once the lines a screen shows after it (a window
    // as tall as the screen, and some); lines past them wait for the idle
    // layout, looking as they did.
    view_.setEditBudget(static_cast<std::size_t>(std::max(2 * page, kLeastEditBudget)));
    setRangeQuietly(verticalScrollBar(), verticalScrollBarPolicy(), std::max(0, lines - page));
    rangeLines_ = view_.count();
    rangeSet_.start();
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const QRect fmt = textArea();
    const int contentRight = rules_.width > 0 ? fmt.right() + grid_.columnWidth * 2 : fmt.right();
    setRangeQuietly(horizontalScrollBar(), horizontalScrollBarPolicy(),
                    std::max(0, contentRight - viewport()->width() + 1));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
    horizontalScrollBar()->setSingleStep(grid_.columnWidth * 2);
}

void TextEdit::updateScrollRange() {
    // While lines wait to be laid out their number may go up and down by one
    // with every key and every slice of the idle layout (old lines not yet
    // laid out again are still counted): the range follows that a few times
    // a second, and at once any larger change and the end of the layout.
    const std::size_t count = view_.count();
    const std::size_t apart = count > rangeLines_ ? count - rangeLines_ : rangeLines_ - count;
    if (!view_.complete() && apart <= 1 && rangeSet_.isValid() && rangeSet_.elapsed() < 200) return;
    updateScrollBars();
}

void TextEdit::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    if (lineWidth_ < 0) applyRules();
    updateScrollBars();
}

void TextEdit::scrollContentsBy(int, int) {
    viewport()->update();
}

// --- character positions -------------------------------------------------------------

int TextEdit::columnOf(std::size_t line, std::size_t pos) const {
    return cursor_.columnOf(line, pos);
}

std::size_t TextEdit::caretLine() const {
    return cursor_.line();
}

int TextEdit::textLength() const {
    return static_cast<int>(doc_.size());
}

int TextEdit::firstVisibleLine() const {
    return verticalScrollBar()->value();
}

QPoint TextEdit::positionOfChar(int pos) const {
    if (pos < 0) return {};
    const auto p = std::min<std::size_t>(static_cast<std::size_t>(pos), doc_.size());
    const std::size_t line = view_.lineOf(p);
    const QRect fmt = textArea();
    const int x =
        fmt.left() + columnOf(line, p) * grid_.columnWidth - horizontalScrollBar()->value();
    const int y =
        fmt.top() + (static_cast<int>(line) - verticalScrollBar()->value()) * grid_.lineHeight;
    return {x, y};
}

int TextEdit::charAtPoint(QPoint pt) const {
    const QRect fmt = textArea();
    if (view_.count() == 0) return 0;
    int row = (pt.y() - fmt.top());
    row = row < 0 ? -1 : row / grid_.lineHeight;
    const long wanted = static_cast<long>(verticalScrollBar()->value()) + row;
    // After a final line end the text has an empty last line of its own: a
    // point on it or below it is the end of the text.
    const LaidLine& lastLine = view_.line(view_.count() - 1);
    if (wanted >= static_cast<long>(view_.count()) && lastLine.eol > 0 &&
        lastLine.start + lastLine.length + lastLine.eol == doc_.size())
        return static_cast<int>(doc_.size());
    const long line = std::clamp<long>(wanted, 0, static_cast<long>(view_.count()) - 1);
    const int x = pt.x() - fmt.left() + horizontalScrollBar()->value();
    const std::size_t start = cursor_.lineStart(static_cast<std::size_t>(line));
    const std::size_t end = cursor_.lineEnd(static_cast<std::size_t>(line));
    const std::string_view v = doc_.view(start, end);
    std::int64_t col = 0;
    for (std::size_t p = 0; p < v.size();) {
        const int w = cp932::charColumns(v, p, col);
        if (x < (col + w) * grid_.columnWidth) return static_cast<int>(start + p);
        col += w;
        p += cp932::charLength(v, p);
    }
    return static_cast<int>(end);
}

int TextEdit::lineOfChar(int pos) const {
    return static_cast<int>(view_.lineOf(static_cast<std::size_t>(std::max(pos, 0))));
}

int TextEdit::lineStart(int line) const {
    const std::size_t l = line < 0 ? caretLine() : static_cast<std::size_t>(line);
    if (l < view_.count()) return static_cast<int>(view_.line(l).start);
    if (l == view_.count()) return static_cast<int>(doc_.size());
    return -1;
}

// --- line breaking and composition colours ---------------------------------------------

bool TextEdit::setPunctuation(int type, const std::string& list) {
    if (type < 1 || type > 4) return false;
    custom_[static_cast<std::size_t>(type - 1)] = list;
    if (punctuationModeOf(modeWord_) == PunctuationMode::custom) applyRules();
    return true;
}

void TextEdit::setWrapModeWord(std::uint32_t mode) {
    modeWord_ = mode & kModeWordMask;
    geometryChanged(); // the room of the hanging marks may change too
}

void TextEdit::applyCompositionColors(const CompColors& c) {
    imeColors_ = c;
    viewport()->update();
}

void TextEdit::setCharPixelHeight(int pixels) {
    charPixels_ = std::max(pixels, 0);
    computeMetrics();
    geometryChanged();
}

bool TextEdit::canPaste() const {
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasText();
}

int TextEdit::find(int start, std::string_view what, bool matchCase) const {
    if (what.empty() || start < 0) return -1;
    FindOptions o;
    o.matchCase = matchCase;
    const std::optional<std::size_t> hit = doc_.find(what, static_cast<std::size_t>(start), o);
    return hit ? static_cast<int>(*hit) : -1;
}

// --- editing -------------------------------------------------------------------------

void TextEdit::documentChanged(const TextChange& c) {
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
    if (view_.count() == oldCount)
        lastLine = r.first + r.count + 1; // and the end-of-text or line-end position after them
    updateLines(r.first, lastLine);
    if (!inEdit_) {
        Q_EMIT changed();
        selectionChange();
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

void TextEdit::updateLines(std::size_t first, std::size_t last) {
    const QRect fmt = textArea();
    const long top = static_cast<long>(first) - verticalScrollBar()->value();
    const long bottom = static_cast<long>(last) - verticalScrollBar()->value() + 1;
    if (bottom < 0) return;
    const int y0 = fmt.top() + static_cast<int>(std::max<long>(top, 0)) * grid_.lineHeight;
    const int y1 =
        last >= view_.count()
            ? viewport()->height()
            : fmt.top() + static_cast<int>(std::min<long>(bottom, 100000)) * grid_.lineHeight;
    if (y0 >= viewport()->height()) return;
    viewport()->update(QRect(0, y0, viewport()->width(), std::max(0, y1 - y0)));
}

bool TextEdit::replaceSelection(std::string_view bytes) {
    endComposition();
    if (readOnly_) return false;
    const std::size_t s = static_cast<std::size_t>(selectionStart());
    const std::size_t l = static_cast<std::size_t>(selectionLength());
    const std::size_t fitted = doc_.fittingPrefix(bytes, s, s + l);
    if (fitted < bytes.size()) Q_EMIT limitReached();
    if (fitted == 0 && l == 0) return false;
    if (refusesStrayByteJoin(s, l, bytes.substr(0, fitted))) return false;
    const Selection before = cursor_.selection();
    {
        const OwnEdit edit(inEdit_);
        doc_.replace(s, l, bytes.substr(0, fitted), before, Selection{s + fitted, s + fitted});
    }
    caretAfterEdit(s + fitted);
    return fitted > 0;
}

bool TextEdit::refusesStrayByteJoin(std::size_t pos, std::size_t length, std::string_view bytes) {
    if (!doc_.joinsStrayByte(pos, length, bytes)) return false;
    Q_EMIT inputRefused(QStringLiteral(
        "カーソルの前に Shift-JIS の文字ではないバイトがあるため、このままでは入力した文字と"
        "結び付いて別の文字になってしまいます。先にそのバイトを削除してください。"));
    return true;
}

void TextEdit::caretAfterEdit(std::size_t pos) {
    // The caret stands on a character boundary of the text as it now is (an
    // edit can leave pos between a CR and its LF, or after a lead byte that
    // now pairs with the byte after it).
    cursor_.anchor = cursor_.caret = boundary(pos);
    cursor_.atLineEnd = false;
    cursor_.goalColumn = -1;
    ensureCaretVisible();
    Q_EMIT changed();
    selectionChange(); // also when the selection only moved with the text
}

void TextEdit::typeBytes(const std::string& bytes, bool joinsTyping) {
    if (readOnly_ || bytes.empty()) return;
    std::size_t s = static_cast<std::size_t>(selectionStart());
    std::size_t l = static_cast<std::size_t>(selectionLength());
    // Overwrite: the typed characters take the place of as many characters,
    // never of a line end.
    if (overwrite_ && l == 0 && bytes != "\r\n") {
        const std::size_t chars = cp932::countCharacters(bytes);
        std::size_t e = s;
        for (std::size_t k = 0; k < chars && e < doc_.size(); ++k) {
            const char c = doc_.at(e);
            if (c == '\r' || c == '\n') break;
            e = nextBoundary(e);
        }
        l = e - s;
    }
    const std::size_t fitted = doc_.fittingPrefix(bytes, s, s + l);
    if (fitted < bytes.size()) Q_EMIT limitReached();
    if (fitted == 0) return;
    const std::string_view typed = std::string_view(bytes).substr(0, fitted);
    if (refusesStrayByteJoin(s, l, typed)) return;
    const Selection before = cursor_.selection();
    {
        const OwnEdit edit(inEdit_);
        doc_.replace(s, l, typed, before, Selection{s + fitted, s + fitted}, joinsTyping && l == 0);
    }
    caretAfterEdit(s + fitted);
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

void TextEdit::replaceWholeText(const std::function<void()>& replace) {
    endComposition();
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
}

void TextEdit::deleteSelection() {
    if (selectionLength() > 0) replaceSelection({});
}

std::string TextEdit::text() const {
    if (!composing()) return doc_.text();
    return doc_.text(0, composition_.start) +
           doc_.text(composition_.start + composition_.length, doc_.size());
}

std::string TextEdit::selectedText() const {
    const std::size_t s = static_cast<std::size_t>(selectionStart());
    return doc_.text(s, s + static_cast<std::size_t>(selectionLength()));
}

void TextEdit::undo() {
    endComposition();
    if (readOnly_) return;
    std::optional<Selection> shown;
    {
        const OwnEdit edit(inEdit_);
        shown = doc_.undo();
    }
    showUndoneSelection(shown);
}

void TextEdit::redo() {
    endComposition();
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

// --- selection ---------------------------------------------------------------------------

void TextEdit::setSelection(std::size_t anchor, std::size_t caret) {
    const std::size_t oldA = cursor_.anchor, oldC = cursor_.caret;
    cursor_.place(anchor, caret);
    doc_.breakTypingMerge();
    updateSelectionRows(oldA, oldC);
    if (oldA != cursor_.anchor || oldC != cursor_.caret) selectionChange();
}

void TextEdit::updateSelectionRows(std::size_t oldAnchor, std::size_t oldCaret) {
    const std::size_t lo = std::min({oldAnchor, oldCaret, cursor_.anchor, cursor_.caret});
    const std::size_t hi = std::max({oldAnchor, oldCaret, cursor_.anchor, cursor_.caret});
    const std::size_t first = view_.lineOf(lo);
    updateLines(first > 0 ? first - 1 : 0, view_.lineOf(hi) + 1);
}

void TextEdit::setSelectionStart(int pos) {
    const auto p = static_cast<std::size_t>(std::max(pos, 0));
    setSelection(p, p);
    ensureCaretVisible();
}

void TextEdit::setSelectionLength(int len) {
    const std::size_t s = static_cast<std::size_t>(selectionStart());
    setSelection(s, s + static_cast<std::size_t>(std::max(len, 0)));
}

void TextEdit::selectAll() {
    setSelection(0, doc_.size());
}

void TextEdit::moveCaret(std::size_t pos, bool extend, bool atLineEnd) {
    const std::size_t oldA = cursor_.anchor, oldC = cursor_.caret;
    cursor_.caret = std::min(pos, doc_.size());
    if (!extend) cursor_.anchor = cursor_.caret;
    cursor_.atLineEnd = atLineEnd;
    doc_.breakTypingMerge();
    ensureCaretVisible();
    updateSelectionRows(oldA, oldC);
    if (oldA != cursor_.anchor || oldC != cursor_.caret || atLineEnd) selectionChange();
}

void TextEdit::ensureCaretVisible() {
    const int line = static_cast<int>(caretLine());
    QScrollBar* v = verticalScrollBar();
    const int page = visibleLines();
    if (line < v->value())
        v->setValue(line);
    else if (line >= v->value() + page)
        v->setValue(line - page + 1);
    QScrollBar* h = horizontalScrollBar();
    const QRect fmt = textArea();
    const int x = fmt.left() + columnOf(caretLine(), cursor_.caret) * grid_.columnWidth;
    if (x - h->value() < 0)
        h->setValue(std::max(0, x - fmt.left()));
    else if (x - h->value() > viewport()->width() - grid_.columnWidth * 2)
        h->setValue(x - viewport()->width() + grid_.columnWidth * 2);
}
