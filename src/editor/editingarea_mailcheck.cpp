// The send check in the editing area: kept up to date with the text and its
// layout while it is active, its findings marked in the paint pass.
#include "editingarea.h"

#include "text/cp932.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {
// A whole text larger than this is checked while idle, the rows in sight
// first; the rest in pieces of this many bytes, for at most about a quarter
// of a millisecond at a time (as the idle layout goes).
constexpr std::size_t kCheckAtOnceBytes = 1u << 20;
constexpr std::size_t kCheckChunkBytes = 64u << 10;
constexpr qint64 kCheckSliceNanoseconds = 250'000;
// The rest waits while the idle layout goes on, looking again this often.
constexpr int kCheckWaitMilliseconds = 20;
} // namespace

// --- the send check -----------------------------------------------------------

void EditingArea::setMailCheckActive(bool active) {
    if (active == mailCheckActive_) return;
    mailCheckActive_ = active;
    if (active && document().size() > kCheckAtOnceBytes) {
        live_.clear();
        startMailScan();
        live_.resetLines(document().buffer(), lineView());
    } else if (active) {
        live_.reset(document().buffer());
        live_.resetLines(document().buffer(), lineView());
    } else {
        live_.clear();
        mailScanning_ = false;
        mailScanTimer_.stop();
    }
    overLimitKnown_ = false;
    viewport()->update();
    tellMailFindings();
}

std::optional<std::size_t> EditingArea::overLimitPosition() const {
    const Document& d = document();
    const std::size_t limit = d.characterLimit();
    if (limit == Document::kNoLimit || d.characterCount() <= limit) return std::nullopt;
    if (!overLimitKnown_ || overLimitFor_ != limit) {
        // The first limit characters take at most two bytes each.
        const std::string_view head = d.view(0, std::min(d.size(), 2 * limit + 2));
        overLimit_ = cp932::prefixOfCharacters(head, limit);
        overLimitFor_ = limit;
        overLimitKnown_ = true;
    }
    return overLimit_;
}

std::size_t EditingArea::mailFindingCount() const {
    if (!mailCheckActive_) return 0;
    const Document& d = document();
    const bool over =
        d.characterLimit() != Document::kNoLimit && d.characterCount() > d.characterLimit();
    return live_.total() + (over ? 1 : 0);
}

void EditingArea::tellMailFindings() {
    const std::size_t total = mailFindingCount();
    const bool known = mailFindingsKnown();
    if (total == toldFindings_ && known == toldKnown_) return;
    // While a large text is being checked its count grows slice by slice:
    // told once it is complete.
    if (mailScanning_ && !known && !toldKnown_) return;
    toldFindings_ = total;
    toldKnown_ = known;
    Q_EMIT mailFindingsChanged();
}

void EditingArea::textLaidOut(const TextChange* change) {
    TextEdit::textLaidOut(change);
    if (!mailCheckActive_) return;
    const GapBuffer& text = document().buffer();
    if (change && change->pos == 0 && change->inserted == text.size() &&
        change->inserted > kCheckAtOnceBytes) {
        // A whole new text: checked while idle, what is in sight first.
        live_.clear();
        startMailScan();
        live_.linesEdited(text, lineView(), lineView().lastRelaid(), 0);
        viewport()->update();
    } else if (change) {
        const auto [from, to] = live_.edited(text, change->pos, change->removed, change->inserted);
        if (mailScanning_ && change->pos < mailScanned_) {
            // The part checked so far moves with the change; a change across
            // its end was checked just now and the check goes on after it.
            if (change->pos + change->removed <= mailScanned_)
                mailScanned_ = mailScanned_ - change->removed + change->inserted;
            else
                mailScanned_ = change->pos;
        }
        const bool linesKnown = live_.linesKnown();
        // The rows laid out again are drawn again after this (at least
        // those, whatever else the change moved), except rows moved whole
        // inside a run of one character, which may be left as they are:
        // marks that changed only in the rows drawn need nothing more.
        // The rows' bytes, the last row's line end included.
        const LineView& view = lineView();
        const LineView::Relaid r = view.lastRelaid();
        const auto startOf = [&](std::size_t line) {
            return line < view.count() ? view.line(line).start : text.size() + 1;
        };
        std::size_t relaidFrom = 0, relaidTo = 0, runFrom = 0, runTo = 0;
        if (r.first < view.count()) {
            relaidFrom = startOf(r.first);
            relaidTo = startOf(r.first + std::max<std::size_t>(r.count, 1));
        }
        if (const auto [keepFrom, keepTo] = r.unchangedLines(); keepFrom < keepTo) {
            runFrom = startOf(keepFrom);
            runTo = startOf(keepTo);
        }
        const auto drawn = [&](std::size_t a, std::size_t b) {
            if (a < relaidFrom || b > relaidTo) return false;
            return b <= runFrom || a >= runTo;
        };
        // The ranges end before their last byte's row ends: that row is the
        // last drawn.
        auto drawAgain = [&](std::size_t a, std::size_t b) {
            if (b <= a || drawn(a, b)) return;
            updateLines(view.lineOf(a), view.lineOf(b - 1));
        };
        // A logical line's long-line marks may change in rows that were not
        // laid out again (an address sent whole): they are drawn again too
        // (those that only moved with the text are as they were).
        live_.linesEdited(text, view, r,
                          static_cast<std::int64_t>(change->inserted) -
                              static_cast<std::int64_t>(change->removed));
        const auto [linesFrom, linesTo] = live_.linesChanged();
        drawAgain(linesFrom, linesTo);
        // The long lines' findings wait for the layout: gone from sight.
        if (linesKnown && !live_.linesKnown()) viewport()->update();
        // Findings may change past the lines laid out again (a byte that
        // pairs differently now): their rows are drawn again too.
        drawAgain(from, to);
        // The character past the limit moves with a change before it.
        if (overLimitKnown_ && (!overLimit_ || change->pos <= *overLimit_ + 1)) {
            if (overLimit_)
                updateLines(lineView().lineOf(*overLimit_), lineView().lineOf(*overLimit_));
            overLimitKnown_ = false;
            if (const std::optional<std::size_t> p = overLimitPosition())
                updateLines(lineView().lineOf(*p), lineView().lineOf(*p));
        }
    } else {
        // The long lines' findings are known again (or not yet) anywhere in
        // sight. While the idle layout goes on they stay unknown, and the
        // screen stays as it is.
        const bool known = live_.linesKnown();
        live_.resetLines(text, lineView());
        if (known || live_.linesKnown()) viewport()->update();
    }
    tellMailFindings();
}

void EditingArea::startMailScan() {
    const GapBuffer& text = document().buffer();
    const LineView& view = lineView();
    if (view.count() > 0) {
        // The rows in sight, checked as if their bytes had just been typed.
        const std::size_t top = std::min(
            static_cast<std::size_t>(std::max(verticalScrollBar()->value(), 0)), view.count() - 1);
        const std::size_t bottom = top + static_cast<std::size_t>(visibleLines()) + 1;
        const std::size_t from = view.line(top).start;
        const std::size_t to = bottom < view.count() ? view.line(bottom).start : text.size();
        if (to > from) live_.edited(text, from, to - from, to - from);
    }
    mailScanned_ = 0;
    mailScanning_ = true;
    mailScanTimer_.start(0);
}

void EditingArea::continueMailScan() {
    if (!mailScanning_ || !mailCheckActive_) return;
    if (!lineView().complete()) {
        // The layout first: the screen is usable sooner, and the long lines
        // are known only then anyway.
        mailScanTimer_.start(kCheckWaitMilliseconds);
        return;
    }
    const GapBuffer& text = document().buffer();
    const std::size_t from = mailScanned_;
    QElapsedTimer slice;
    slice.start();
    // Each piece is checked as if its bytes had just been put in place of
    // themselves: the findings in it and at its edges are found again, the
    // others stay.
    while (mailScanned_ < text.size()) {
        const std::size_t end = std::min(text.size(), mailScanned_ + kCheckChunkBytes);
        live_.edited(text, mailScanned_, end - mailScanned_, end - mailScanned_);
        mailScanned_ = end;
        if (slice.nsecsElapsed() >= kCheckSliceNanoseconds) break;
    }
    if (mailScanned_ >= text.size())
        mailScanning_ = false;
    else
        mailScanTimer_.start(0);
    // Rows in sight that the user scrolled to before the check reached them.
    if (mailScanned_ > from) updateLines(lineView().lineOf(from), lineView().lineOf(mailScanned_));
    tellMailFindings();
}

namespace {
// One period of the wavy underline: the row of each of its four columns,
// counted up from the bottom row of the character's cell.
constexpr int kWaveRows[4] = {0, 1, 2, 1};
} // namespace

void EditingArea::paintMailMarks(QPainter& p, int startPos, int endPos) {
    waves_.clear();
    const EditMarks& m = *editMarks_;
    if (!mailCheckActive_ || m.updating()) return;
    if (!m.mailCheck.isEnabled() && !m.mailWarning.isEnabled()) return;
    const std::size_t from = static_cast<std::size_t>(std::max(startPos - 1, 0));
    const std::size_t to = static_cast<std::size_t>(std::max(endPos, 0)) + 1;
    std::vector<mailcheck::LiveCheck::Mark>& marks = marks_;
    live_.marksIn(document().buffer(), from, to, marks);
    const Document& d = document();
    if (const std::optional<std::size_t> over = overLimitPosition();
        over && *over >= from && *over < to) {
        const auto at =
            std::find_if(marks.begin(), marks.end(), [&](const auto& k) { return k.pos > *over; });
        marks.insert(at, {*over, d.nextBoundary(*over) - *over, mailcheck::Kind::overLimit});
    }
    if (marks.empty()) return;
    const LineView& view = lineView();
    const int lineH = lineHeight();
    const int cw = std::max(1, columnWidth());
    const int rightEdge = viewport()->width();
    // The two looks of a mark, worked out once for the pass.
    struct Look {
        bool enabled, reversed;
        QRgb wave;
        QColor behind;
    };
    auto lookOf = [](const EditSymbol& sym) {
        QColor behind = toQColor(sym.color());
        const QRgb wave = behind.rgb();
        behind.setAlpha(96);
        return Look{sym.isEnabled(), sym.isReversed(), wave, behind};
    };
    const Look errorLook = lookOf(m.mailCheck), warningLook = lookOf(m.mailWarning);
    // The marks come in order: the columns of a row are counted once, from
    // its start (where positionOfChar puts it) to each mark in turn. Once a
    // mark of a row starts past the right edge, so do the rest of the row's
    // (a row of hanging blanks may run far past it).
    std::size_t rowStart = 0, rowEnd = 0; // the row's bytes, its line end included
    std::size_t walked = 0;               // counted up to here
    std::int64_t column = 0;              // the column of walked
    QPoint origin;                        // where the row's column 0 stands
    bool haveRow = false;
    bool pastEdge = false;   // the rest of the row lies past the right edge
    std::size_t current = 0; // the row
    const std::size_t size = d.size();
    for (const mailcheck::LiveCheck::Mark& mark : marks) {
        const Look& look = mailcheck::isWarning(mark.kind) ? warningLook : errorLook;
        if (!look.enabled) continue;
        // Each character of the finding on its own row (a letter and its
        // voiced mark may stand on two).
        const std::size_t markEnd = mark.pos + std::max<std::size_t>(mark.length, 1);
        for (std::size_t q = mark.pos; q < markEnd && q < size;) {
            if (pastEdge && q >= rowStart && q < rowEnd) {
                q = std::min(markEnd, rowEnd);
                continue;
            }
            if (!haveRow || q < rowStart || q >= rowEnd) {
                // Most often the next row, else found by its position.
                const bool nextRow = haveRow && q >= rowEnd && current + 1 < view.count() &&
                                     q < view.line(current + 1).start +
                                             view.line(current + 1).length +
                                             view.line(current + 1).eol;
                const std::size_t row = nextRow ? current + 1 : view.lineOf(q);
                if (row >= view.count()) break;
                current = row;
                const LaidLine l = view.line(row);
                rowStart = walked = l.start;
                rowEnd = l.start + l.length + l.eol;
                column = 0;
                origin = positionOfChar(static_cast<int>(rowStart));
                haveRow = true;
                pastEdge = false;
            }
            if (q > walked) {
                const std::string_view v = d.view(walked, q);
                for (std::size_t k = 0; k < v.size(); k += cp932::charLength(v, k))
                    column += cp932::charColumns(v, k, column);
                walked = q;
            }
            // q stands at a character's start (a finding's or the next one
            // of it).
            const std::string_view two = d.view(q, std::min(size, q + 2));
            const std::size_t next = std::min(q + cp932::nextBoundary(two, 0), markEnd);
            const std::string_view c = two.substr(0, next - q);
            // A line end takes two columns.
            const int columns = c[0] == '\r' || c[0] == '\n' ? 2 : cp932::charColumns(c, 0, column);
            q = next;
            const std::int64_t x = origin.x() + column * cw;
            if (x > rightEdge) {
                pastEdge = true;
                continue;
            }
            const int w = columns * cw;
            if (look.reversed)
                p.fillRect(QRect(static_cast<int>(x), origin.y(), w, lineH), look.behind);
            else
                waves_.push_back({static_cast<int>(x), origin.y() + lineH - 1, w, look.wave});
        }
    }
}

void EditingArea::drawMailWaves(QImage& canvas, const QRect& update) {
    // Pixel by pixel, like the caret-line marker: a few pixels a mark (each
    // a block of the canvas's pixels). Never in the margins above, below and
    // left of the text: a wave of a row scrolled out of sight stays there.
    const QRect text = textArea();
    const QRect inside(text.left(), text.top(), viewport()->width() - text.left(), text.height());
    const QRect area = update.intersected(QRect(QPoint(), canvas.deviceIndependentSize().toSize()))
                           .intersected(inside);
    const qreal d = canvas.devicePixelRatio();
    if (waves_.empty()) return;
    // The pixels are reached from the image's start (scanLine checks whether
    // the image is shared at every call).
    uchar* const bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    auto pixels = [&](int row) { return reinterpret_cast<QRgb*>(bits + row * stride); };
    auto put = [&](int x, int y, QRgb color) {
        const int xe = std::min(static_cast<int>(std::floor((x + 1) * d)), canvas.width());
        const int ye = std::min(static_cast<int>(std::floor((y + 1) * d)), canvas.height());
        for (int row = static_cast<int>(std::floor(y * d)); row < ye; ++row)
            for (int col = static_cast<int>(std::floor(x * d)); col < xe; ++col)
                pixels(row)[col] = color;
    };
    for (const Wave& w : waves_) {
        // A wave's pixels stand on its bottom row and the two above it.
        if (w.bottom < area.top() || w.bottom - 2 > area.bottom()) continue;
        const int x0 = std::max(w.x, area.left());
        const int x1 = std::min(w.x + w.width - 1, area.right());
        for (int x = x0; x <= x1; ++x) {
            const int y = w.bottom - kWaveRows[(x - w.x) % 4];
            if (y < area.top() || y > area.bottom()) continue;
            if (d == 1)
                pixels(y)[x] = w.color;
            else
                put(x, y, w.color);
        }
    }
    waves_.clear();
}
