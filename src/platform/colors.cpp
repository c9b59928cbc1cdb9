#include "colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
QColor systemQColor(int index) {
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 5:
        return pal.color(QPalette::Base); // window background
    case 8:
        return pal.color(QPalette::Text); // window text
    case 13:
        return pal.color(QPalette::Highlight);
    case 14:
        return pal.color(QPalette::HighlightedText);
    case 15:
        return pal.color(QPalette::Button); // button face
    case 18:
        return pal.color(QPalette::ButtonText);
    case 4:
        return pal.color(QPalette::Window); // menu
    case 7:
        return pal.color(QPalette::WindowText); // menu text
    default:
        return pal.color(QPalette::Window);
    }
}
} // namespace

QColor toQColor(ColorValue c) {
    if (isSystemColor(c)) return systemQColor(c & 0xFF);
    const auto u = static_cast<std::uint32_t>(c);
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                  static_cast<int>((u >> 16) & 0xFF));
}

std::uint32_t colorToRgb(ColorValue c) {
    if (!isSystemColor(c)) return static_cast<std::uint32_t>(c) & 0xFFFFFF;
    return static_cast<std::uint32_t>(fromQColor(systemQColor(c & 0xFF)));
}

ColorValue fromQColor(const QColor& c) {
    return rgbColor(c.red(), c.green(), c.blue());
}
