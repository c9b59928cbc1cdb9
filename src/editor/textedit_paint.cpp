// Drawing and printing of the text view.
#include "textedit.h"

#include "text/cp932.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QTextCharFormat>

void TextEdit::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    paintText(p, e->rect());
    paintCaret(p);
}

void TextEdit::paintText(QPainter& p, const QRect& update) {
    p.fillRect(update, toQColor(color_));
    const QRect fmt = textArea();
    const int first = verticalScrollBar()->value();
    const int hs = horizontalScrollBar()->value();
    const int lineH = grid_.lineHeight;
    const int rows = (update.bottom() - fmt.top()) / lineH + 1;
    const std::size_t selS = static_cast<std::size_t>(selectionStart());
    const std::size_t selE = selS + static_cast<std::size_t>(selectionLength());
    const QPalette pal = palette();
    // One renderer for the paints of a font: it keeps what it looked up.
    if (!renderer_ || renderer_->font() != drawFont_ || !(renderer_->grid() == grid_))
        renderer_.emplace(drawFont_, grid_);
    LineRenderer& renderer = *renderer_;
    renderer.setStyledRanges(composing() ? composition_.styles
                                         : std::vector<LineRenderer::StyledRange>());
    const LineRenderer::Colors colors{toQColor(fontColor_), pal.color(QPalette::Highlight),
                                      pal.color(QPalette::HighlightedText), toQColor(color_)};
    // Text only inside the text area; the caller's clip comes back after.
    p.save();
    p.setClipRect(fmt.intersected(update), Qt::IntersectClip);
    for (int row = std::max(0, (update.top() - fmt.top()) / lineH); row < rows; ++row) {
        const std::size_t li = static_cast<std::size_t>(first + row);
        if (li >= view_.count()) break;
        const LaidLine& l = view_.line(li);
        const int y = fmt.top() + row * lineH;
        if (y > update.bottom()) break;
        const std::size_t end = l.start + l.length;
        const bool eolSelected = l.eol && end >= selS && end < selE;
        renderer.drawLine(
            p, {doc_.view(l.start, end), l.start, fmt.left() - hs, y, selS, selE, eolSelected},
            colors);
    }
    p.restore();
}

void TextEdit::paintCaret(QPainter& p) {
    // The composition text is part of the laid-out text; the caret shows
    // where the input method puts it.
    paintedCaret_ = QRect();
    if ((hasFocus() || composing()) && selectionLength() == 0) {
        paintedCaret_ = caretRect();
        p.fillRect(paintedCaret_,
                   overwrite_ && !composing() ? QColor(0, 0, 0, 96) : toQColor(fontColor_));
    }
}

void TextEdit::updateCaret() {
    if (!paintedCaret_.isEmpty()) viewport()->update(paintedCaret_);
    viewport()->update(caretRect());
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
        renderer.drawLine(p, {doc_.view(l.start, l.start + l.length), l.start, 0, y}, colors);
    }
}
