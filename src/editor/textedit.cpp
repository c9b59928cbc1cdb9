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
#include <cstdlib>
#include <optional>

namespace {
// The left margin: room for the selection bar, or one pixel.
constexpr int kSelectionBarWidth = 10;
constexpr int kPlainLeftEdge = 1;
// Far right of any window, and still far from the end of an int.
constexpr std::int64_t kFarRight = 1 << 24;
// The pixels a glyph may ink above or below its row.
constexpr int kInkReach = 2;
// The fewest lines an edit lays out at once.
constexpr int kLeastEditBudget = 100;
// A scroll bar that is painted again only when what it shows changes: a
// range that grows by a line of a long text moves its handle by no pixel.
// What it shows is compared once the changes of a step are through (before
// the paint, which comes at a lower priority): a key at the end of the text
// takes the bar off its maximum and puts it back (the range grows by a
// line, then the view scrolls to it), which ends where it was painted.
class QuietScrollBar : public QScrollBar {
  public:
    explicit QuietScrollBar(Qt::Orientation o) : QScrollBar(o) {}

  protected:
    void sliderChange(SliderChange change) override {
        if (!shown_) return QScrollBar::sliderChange(change);
        if (checkPosted_) return;
        checkPosted_ = true;
        QCoreApplication::postEvent(this, new QEvent(kCheck));
    }
    bool event(QEvent* e) override {
        if (e->type() != kCheck) return QScrollBar::event(e);
        checkPosted_ = false;
        if (shown_ && look() != *shown_) QScrollBar::sliderChange(SliderValueChange);
        return true;
    }
    void paintEvent(QPaintEvent* e) override {
        shown_ = look();
        QScrollBar::paintEvent(e);
    }

  private:
    static constexpr QEvent::Type kCheck = QEvent::User;
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
    std::optional<Look> shown_; // as last painted
    bool checkPosted_ = false;
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
    updateMicroFocus(); // the caret's size and the font the input method shows
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
    updateMicroFocus();
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
    const TextTotals before = view_.totals();
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
    updateMicroFocus();
    // Every line is laid out again: the totals are final, and told when they
    // changed (a new line width or font).
    const TextTotals after = view_.totals();
    if (view_.complete() && (after.lines != before.lines || after.characters != before.characters))
        Q_EMIT layoutCompleted();
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
    if (bar->value() == before) return;
    if (bar == verticalScrollBar())
        followScroll(false);
    else
        viewport()->update();
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
    updateMicroFocus();
}

void TextEdit::scrollContentsBy(int dx, int) {
    followScroll(dx != 0);
    updateMicroFocus(); // the caret moved on the screen
}

void TextEdit::followScroll(bool sideways) {
    // The distance is taken from the row the screen shows, not from the
    // scroll area's own count (a range set quietly moves the value unseen).
    const int top = verticalScrollBar()->value();
    const int rows = top - shownTop_;
    shownTop_ = top;
    const QRect area = textArea() & viewport()->rect();
    const int lineH = grid_.lineHeight;
    if (sideways || std::abs(rows) >= visibleLines() || area.isEmpty()) {
        viewport()->update();
        return;
    }
    if (rows == 0) return;
    // A scroll by fewer rows than the view shows moves the pixels of the
    // text area (the margin bands stay where they are; what waits to be
    // painted there moves with them) and paints the rows that come into
    // sight, the rows at the area's edges (glyphs ink a pixel or two past
    // their rows, and a row cut off by an edge is whole after the move) and
    // the caret where it was drawn.
    const int dy = -rows * lineH;
    viewport()->scroll(0, dy, area);
    const int w = viewport()->width();
    const int edge = lineH + 2 * kInkReach;
    viewport()->update(QRect(0, area.top() - kInkReach, w, edge));
    viewport()->update(QRect(0, area.bottom() + 1 - lineH - kInkReach, w, edge));
    if (!paintedCaret_.isEmpty()) {
        viewport()->update(paintedCaret_);
        viewport()->update(paintedCaret_.translated(0, dy));
    }
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

// --- selection ---------------------------------------------------------------------------

void TextEdit::setSelection(std::size_t anchor, std::size_t caret) {
    const std::size_t oldA = cursor_.anchor, oldC = cursor_.caret;
    cursor_.place(anchor, caret);
    doc_.breakTypingMerge();
    updateSelectionRows(oldA, oldC);
    if (oldA != cursor_.anchor || oldC != cursor_.caret) selectionChange();
    updateMicroFocus();
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
    updateMicroFocus();
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
    // A caret past the right end of the range (in blanks that hang far past
    // the width) cannot be brought into view: the view stays where it is
    // rather than jumping to the end of the range and back with each key.
    const int right = x - viewport()->width() + grid_.columnWidth * 2;
    if (x - h->value() < 0)
        h->setValue(std::max(0, x - fmt.left()));
    else if (right > h->value() && x < h->maximum() + viewport()->width())
        h->setValue(right);
}
