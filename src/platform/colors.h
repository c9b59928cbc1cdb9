// Colour values turned into Qt colours, system colours resolved through the
// application's palette.
#pragma once

#include "text/colorvalue.h"

#include <QColor>

#include <cstdint>

// The RGB value (0x00BBGGRR) of a colour, system colours resolved.
std::uint32_t colorToRgb(ColorValue c);

QColor toQColor(ColorValue c);
ColorValue fromQColor(const QColor& c);
