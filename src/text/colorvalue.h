// Colours as the settings file and the editor's options hold them: 0x00BBGGRR,
// with the top byte 0x80 marking a system colour (its low byte the index) that
// is resolved through the palette where it is drawn.
#pragma once

#include <cstdint>

using ColorValue = std::int32_t;

constexpr ColorValue rgbColor(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

// System colours: top byte 0x80, low byte the system colour index.
constexpr ColorValue systemColor(int index) {
    return static_cast<ColorValue>(0x80000000u | static_cast<unsigned>(index));
}

inline bool isSystemColor(ColorValue c) {
    return (static_cast<std::uint32_t>(c) >> 24) == 0x80;
}

// The named colours the program uses.
namespace color {
constexpr ColorValue black = rgbColor(0, 0, 0);
constexpr ColorValue white = rgbColor(255, 255, 255);
constexpr ColorValue gray = rgbColor(128, 128, 128);
constexpr ColorValue silver = rgbColor(192, 192, 192);
constexpr ColorValue teal = rgbColor(0, 128, 128);
constexpr ColorValue aqua = rgbColor(0, 255, 255);
constexpr ColorValue window = systemColor(5);
constexpr ColorValue windowText = systemColor(8);
constexpr ColorValue highlight = systemColor(13);
constexpr ColorValue highlightText = systemColor(14);
constexpr ColorValue buttonFace = systemColor(15);
} // namespace color
