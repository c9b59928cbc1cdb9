// Colours as the editor's options hold them: 0x00BBGGRR, with the top byte
// 0x80 marking a system colour resolved through the palette.
#pragma once

#include <QColor>

#include <cstdint>

using TColor = std::int32_t;

constexpr TColor rgbColor(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

constexpr TColor clBlack = rgbColor(0, 0, 0);
constexpr TColor clWhite = rgbColor(255, 255, 255);
constexpr TColor clGray = rgbColor(128, 128, 128);
constexpr TColor clSilver = rgbColor(192, 192, 192);
constexpr TColor clTeal = rgbColor(0, 128, 128);
constexpr TColor clAqua = rgbColor(0, 255, 255);

// System colours (top byte 0x80, low byte the system colour index).
constexpr TColor systemColor(int index) {
    return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index));
}
constexpr TColor clWindow = systemColor(5);
constexpr TColor clWindowText = systemColor(8);
constexpr TColor clHighlight = systemColor(13);
constexpr TColor clHighlightText = systemColor(14);
constexpr TColor clBtnFace = systemColor(15);

inline bool isSystemColor(TColor c) {
    return (static_cast<std::uint32_t>(c) >> 24) == 0x80;
}

// The RGB value (0x00BBGGRR) of a colour, system colours resolved.
std::uint32_t colorToRgb(TColor c);

QColor toQColor(TColor c);
TColor fromQColor(const QColor& c);
