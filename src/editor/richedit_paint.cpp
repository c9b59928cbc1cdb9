// Drawing and printing of the text control.
#include "richedit.h"

#include "common/cp932.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QTextCharFormat>

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

} // namespace

void TRichEdit::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    paintText(p, e->rect());
    paintCaret(p);
}

void TRichEdit::paintText(QPainter& p, const QRect& update) {
    const QColor bg = toQColor(color_);
    const QColor fg = toQColor(fontColor_);
    p.fillRect(update, bg);
    if (!handle_) return;
    const QRect fmt = GetRect();
    const int first = verticalScrollBar()->value();
    const int hs = horizontalScrollBar()->value();
    const int rows = (update.bottom() - fmt.top()) / lineH_ + 1;
    const std::size_t selS = static_cast<std::size_t>(SelStart());
    const std::size_t selE = selS + static_cast<std::size_t>(SelLength());
    const QPalette pal = palette();
    p.setFont(drawFont_);
    p.setClipRect(fmt.intersected(update));

    for (int row = std::max(0, (update.top() - fmt.top()) / lineH_); row < rows; ++row) {
        const std::size_t li = static_cast<std::size_t>(first + row);
        if (li >= view_.count()) break;
        const LaidLine& l = view_.line(li);
        const int y = fmt.top() + row * lineH_;
        if (y > update.bottom()) break;
        const std::string_view v = doc_.view(l.start, l.start + l.length);
        int col = 0;
        // Runs of characters drawn together (same selection state).
        QString run;
        int runX = 0;
        bool runSel = false;
        auto flush = [&] {
            if (run.isEmpty()) return;
            p.setPen(runSel ? pal.color(QPalette::HighlightedText) : fg);
            p.drawText(QPoint(runX, y + ascent_), run);
            run.clear();
        };
        for (std::size_t k = 0; k < v.size();) {
            const std::size_t len = cp932::charLength(v, k);
            const int w = cp932::charColumns(v, k, col);
            const std::size_t pos = l.start + k;
            const bool sel = pos >= selS && pos < selE;
            const int x = fmt.left() + col * colW_ - hs;
            if (sel) p.fillRect(QRect(x, y, w * colW_, lineH_), pal.color(QPalette::Highlight));
            const auto b = static_cast<unsigned char>(v[k]);
            QString glyph;
            if (b >= 0x20 && b != 0x7F) {
                const char16_t u = cp932::toUnicode(v, k);
                if (u == 0)
                    glyph = QString(static_cast<int>(len), QChar(cp932::kInvalidSubstitute));
                else if (u != 0x20 && u != 0x3000)
                    glyph = QString(QChar(u));
            }
            const bool substitute =
                !glyph.isEmpty() && glyph[0].unicode() == cp932::kInvalidSubstitute;
            if (glyph.isEmpty() || substitute || sel != runSel || x != runX + runWidth(run) ||
                !gridFont_)
                flush();
            if (substitute) {
                // Each invalid byte in its own cell, whatever the fallback font's width.
                p.setPen(sel ? pal.color(QPalette::HighlightedText) : fg);
                QFont small = drawFont_;
                small.setPixelSize(std::max(6, colW_));
                p.setFont(small);
                for (int i = 0; i < glyph.size(); ++i)
                    p.drawText(QRect(x + i * colW_, y, colW_, lineH_), Qt::AlignCenter,
                               QString(glyph[i]));
                p.setFont(drawFont_);
            } else if (!glyph.isEmpty()) {
                if (run.isEmpty()) {
                    runX = x;
                    runSel = sel;
                }
                run += glyph;
            }
            col += w;
            k += len;
        }
        flush();
        // A selected line end shows as one highlighted cell.
        if (l.eol && l.start + l.length >= selS && l.start + l.length < selE)
            p.fillRect(QRect(fmt.left() + col * colW_ - hs, y, colW_, lineH_),
                       pal.color(QPalette::Highlight));
    }
    p.setClipping(false);
}

void TRichEdit::paintCaret(QPainter& p) {
    const QColor fg = toQColor(fontColor_);
    // The caret and the input method's pre-edit text.
    if (hasFocus() || !preedit_.isEmpty()) {
        const QRect c = caretRect();
        if (!preedit_.isEmpty()) {
            int x = c.left();
            const int n = static_cast<int>(preedit_.size());
            std::vector<int> set(static_cast<std::size_t>(n), 0);
            for (const auto& a : preeditAttrs_) {
                if (a.type != QInputMethodEvent::TextFormat) continue;
                const QTextCharFormat f = a.value.value<QTextFormat>().toCharFormat();
                for (int i = std::max(0, a.start); i < std::min(n, a.start + a.length); ++i)
                    set[static_cast<std::size_t>(i)] = compositionSet(f);
            }
            for (int i = 0; i < n; ++i) {
                const QChar ch = preedit_[i];
                const CompColor& cc =
                    imeColors_[static_cast<std::size_t>(set[static_cast<std::size_t>(i)])];
                const int w =
                    (ch.unicode() < 0x80 || (ch.unicode() >= 0xFF61 && ch.unicode() <= 0xFF9F))
                        ? colW_
                        : colW_ * 2;
                p.fillRect(QRect(x, c.top(), w, lineH_), rgbToQColor(cc.crBackground));
                QFont f = drawFont_;
                f.setBold(cc.dwEffects & 1);
                f.setItalic(cc.dwEffects & 2);
                f.setUnderline(cc.dwEffects & 4);
                f.setStrikeOut(cc.dwEffects & 8);
                p.setFont(f);
                p.setPen(rgbToQColor(cc.crText));
                p.drawText(QPoint(x, c.top() + ascent_), QString(ch));
                x += w;
            }
            p.setFont(drawFont_);
        } else if (SelLength() == 0) {
            p.fillRect(c, overwrite_ ? QColor(0, 0, 0, 96) : fg);
        }
    }
}

int TRichEdit::runWidth(const QString& run) const {
    int w = 0;
    for (const QChar ch : run) {
        const char16_t u = ch.unicode();
        w += (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F) || u == cp932::kInvalidSubstitute)
                 ? colW_
                 : colW_ * 2;
    }
    return w;
}

void TRichEdit::Print(QPrinter& printer, const QString& title) {
    printer.setDocName(title);
    QPainter p;
    if (!p.begin(&printer)) return;
    QFont f = drawFont_;
    f.setPointSizeF(drawFont_.pixelSize() > 0 ? drawFont_.pixelSize() * 72.0 / logicalDpiY()
                                              : drawFont_.pointSizeF());
    p.setFont(f);
    const QFontMetrics fm(f, &printer);
    const int colW = std::max(1, (fm.horizontalAdvance(QChar(0x25A1)) + 1) / 2);
    const int lineH = std::max(1, fm.height());
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int perPage = std::max(1, page.height() / lineH);
    p.setPen(Qt::black);
    for (std::size_t i = 0; i < view_.count(); ++i) {
        if (i > 0 && i % static_cast<std::size_t>(perPage) == 0) printer.newPage();
        const LaidLine& l = view_.line(i);
        const std::string_view v = doc_.view(l.start, l.start + l.length);
        const int y = static_cast<int>(i % static_cast<std::size_t>(perPage)) * lineH;
        int col = 0;
        for (std::size_t k = 0; k < v.size();) {
            const std::size_t len = cp932::charLength(v, k);
            const int w = cp932::charColumns(v, k, col);
            const auto b = static_cast<unsigned char>(v[k]);
            if (b > 0x20 && b != 0x7F) {
                const char16_t u = cp932::toUnicode(v, k);
                p.drawText(QPoint(col * colW, y + fm.ascent()),
                           QString(QChar(u ? u : cp932::kInvalidSubstitute)));
            }
            col += w;
            k += len;
        }
    }
    p.end();
}
