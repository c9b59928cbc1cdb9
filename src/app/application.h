// What the program sets up on its application object before any window.
#pragma once

// The application's name (the title of the program's message boxes), no
// display name (on X11 Qt would append it to every window title, and the
// captions are exactly the program's own), the font substitutions and Qt's
// Japanese translations.
void setUpApplication();
