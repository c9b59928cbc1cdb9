// An editing area set up as the program sets up its editor (the design's
// marks, wrapping and rules), with a known font and black on white, for
// tests that look at its pixels.
#pragma once

#include "editor/editingarea.h"

#include <QFont>
#include <QSize>

inline void setUpNewsletterArea(EditingArea& area, QSize size, int lineLength) {
    QFont f(QStringLiteral("IPAGothic"));
    f.setPixelSize(15);
    area.setEditorFont(f);
    area.resize(size);
    configureNewsletterEditor(area);
    area.editArea().setLineLength(lineLength);
    area.setBackgroundColor(color::white);
    area.setTextColor(color::black);
}
