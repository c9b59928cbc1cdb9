// Printing: the editing area's lines as it lays them out (its line width,
// its font, drawn by the shared line renderer) on pages of a printer, a
// preview or a PDF file, under the program's job title.
#pragma once

#include <QSize>
#include <QString>

#include <functional>
#include <string>

class QPageLayout;
class QPainter;
class QPaintDevice;
class QPrinter;
class TextEdit;

namespace printing {

// The print job's title: "「もるもる」メールマガジンエディタ".
QString jobTitle();

// Draws the lines on pages of a device. The painter's origin is the top left
// of the printable area of the given size (device pixels); newPage starts
// the next page. When the line width is wider than the page, the text is
// drawn smaller, with the same lines. Returns the number of pages.
int drawPages(const TextEdit& editor, QPainter& p, QPaintDevice* device, QSize page,
              const std::function<void()>& newPage);

// Prints the lines on a printer under the job title. Throws MMEditError
// when the printer cannot be started.
void print(const TextEdit& editor, QPrinter& printer);

// The PDF file of the lines with the page layout, as bytes.
std::string pdf(const TextEdit& editor, const QPageLayout& layout);

} // namespace printing
