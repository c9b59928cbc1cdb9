// The program's own pictures, drawn at run time: the program icon, the tool
// button glyphs and the splash picture.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace pictures {
QIcon programIcon();
// A 24 by 24 button glyph showing a short label.
QIcon buttonGlyph(const QString& label, const QColor& color);
// The 303 by 150 picture of the splash and version windows.
QPixmap splashPicture();
} // namespace pictures
