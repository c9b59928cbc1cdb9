// Drawing and printing of the text control.
#include "textedit.h"

#include "text/cp932.h"

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

void TextEdit::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    paintText(p, e->rect());
    paintCaret(p);
}

void TextEdit::paintText(QPainter& p, const QRect& update) {
    p.fillRect(update, toQColor(color_));
    if (!handle_) return;
    const QRect fmt = formatRect();
    const int first = verticalScrollBar()->value();
    const int hs = horizontalScrollBar()->value();
    const int lineH = grid_.lineHeight;
    const int rows = (update.bottom() - fmt.top()) / lineH + 1;
    const std::size_t selS = static_cast<std::size_t>(selectionStart());
    const std::size_t selE = selS + static_cast<std::size_t>(selectionLength());
    const QPalette pal = palette();
    const LineRenderer renderer(drawFont_, grid_);
    const LineRenderer::Colors colors{toQColor(fontColor_), pal.color(QPalette::Highlight),
                                      pal.color(QPalette::HighlightedText)};
    p.setClipRect(fmt.intersected(update));
    for (int row = std::max(0, (update.top() - fmt.top()) / lineH); row < rows; ++row) {
        const std::size_t li = static_cast<std::size_t>(first + row);
        if (li >= view_.count()) break;
        const LaidLine& l = view_.line(li);
        const int y = fmt.top() + row * lineH;
        if (y > update.bottom()) break;
        const std::size_t end = l.start + l.length;
        const bool eolSelected = l.eol && end >= selS && end < selE;
        renderer.drawLine(p, doc_.view(l.start, end), l.start, fmt.left() - hs, y, selS, selE,
                          eolSelected, colors);
    }
    p.setClipping(false);
}

void TextEdit::paintCaret(QPainter& p) {
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
                        ? grid_.columnWidth
                        : grid_.columnWidth * 2;
                p.fillRect(QRect(x, c.top(), w, grid_.lineHeight), rgbToQColor(cc.background));
                QFont f = drawFont_;
                f.setBold(cc.effects & 1);
                f.setItalic(cc.effects & 2);
                f.setUnderline(cc.effects & 4);
                f.setStrikeOut(cc.effects & 8);
                p.setFont(f);
                p.setPen(rgbToQColor(cc.text));
                p.drawText(QPoint(x, c.top() + grid_.ascent), QString(ch));
                x += w;
            }
            p.setFont(drawFont_);
        } else if (selectionLength() == 0) {
            p.fillRect(c, overwrite_ ? QColor(0, 0, 0, 96) : fg);
        }
    }
}

void TextEdit::print(QPrinter& printer, const QString& title) {
    printer.setDocName(title);
    QPainter p;
    if (!p.begin(&printer)) return;
    printPages(p, &printer, printer.pageLayout().paintRectPixels(printer.resolution()),
               [&] { printer.newPage(); });
    p.end();
}

void TextEdit::printPages(QPainter& p, QPaintDevice* device, const QRect& page,
                          const std::function<void()>& newPage) const {
    // The editor's font at the same size on paper; the lines as the editor
    // lays them out, drawn by the same renderer without marks.
    QFont f = drawFont_;
    f.setPointSizeF(drawFont_.pixelSize() > 0 ? drawFont_.pixelSize() * 72.0 / logicalDpiY()
                                              : drawFont_.pointSizeF());
    const TextGrid grid = measureGrid(f, device);
    const LineRenderer renderer(f, grid);
    const LineRenderer::Colors colors{Qt::black, Qt::white, Qt::black};
    const std::size_t perPage =
        static_cast<std::size_t>(std::max(1, page.height() / grid.lineHeight));
    for (std::size_t i = 0; i < view_.count(); ++i) {
        if (i > 0 && i % perPage == 0) newPage();
        const LaidLine& l = view_.line(i);
        const int y = static_cast<int>(i % perPage) * grid.lineHeight;
        renderer.drawLine(p, doc_.view(l.start, l.start + l.length), l.start, 0, y, 0, 0, false,
                          colors);
    }
}
