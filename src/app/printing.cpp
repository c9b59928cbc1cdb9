#include "printing.h"

#include "editor/textedit.h"
#include "text/errors.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

namespace {
// Columns a laid-out line may take beyond the wrap width: a hanging
// double-byte character.
constexpr int kHangingColumns = 2;
// The resolution of PDF files.
constexpr int kPdfResolution = 600;
} // namespace

namespace printing {

QString jobTitle() {
    return QStringLiteral("「もるもる」メールマガジンエディタ");
}

int drawPages(const TextEdit& editor, QPainter& p, QPaintDevice* device, QSize page,
              const std::function<void()>& newPage) {
    // The widest line on the device: the editor's columns at the device's
    // resolution (the font keeps its size in points).
    const double perColumn = static_cast<double>(editor.columnWidth()) * device->logicalDpiX() /
                             std::max(1, editor.logicalDpiX());
    const double needed = perColumn * (editor.wrapColumns() + kHangingColumns);
    const double scale = needed > page.width() ? page.width() / needed : 1.0;
    int pages = 1;
    p.save();
    p.scale(scale, scale);
    const QRect area(0, 0, static_cast<int>(page.width() / scale),
                     static_cast<int>(page.height() / scale));
    editor.printPages(p, device, area, [&] {
        newPage();
        ++pages;
    });
    p.restore();
    return pages;
}

void print(const TextEdit& editor, QPrinter& printer) {
    printer.setDocName(jobTitle());
    QPainter p;
    if (!p.begin(&printer)) throw MMEditError(QStringLiteral("印刷を始められませんでした"));
    drawPages(editor, p, &printer,
              printer.pageLayout().paintRectPixels(printer.resolution()).size(),
              [&] { printer.newPage(); });
    p.end();
}

std::string pdf(const TextEdit& editor, const QPageLayout& layout) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(jobTitle());
        writer.setCreator(jobTitle());
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(layout);
        QPainter p(&writer);
        drawPages(editor, p, &writer, writer.pageLayout().paintRectPixels(kPdfResolution).size(),
                  [&] { writer.newPage(); });
    }
    const QByteArray& bytes = buffer.data();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace printing
