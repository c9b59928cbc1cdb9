// The program's own pictures: the program icon and the tool button icons
// (drawings of ours compiled in from SVG, rendered at whatever size and
// device pixel ratio they are shown at, so they stay sharp on HiDPI screens)
// and the splash picture.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace pictures {
QIcon programIcon();
// The icon of a tool button by its drawing's name ("save", "find", ...).
// An unknown name gives a null icon.
QIcon toolIcon(const QString& name);
// The 303 by 150 picture of the splash and version windows.
QPixmap splashPicture();
} // namespace pictures
