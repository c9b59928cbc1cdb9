// Fonts named by the program's settings ("ＭＳ ゴシック", "ＭＳ Ｐゴシック",
// "Symbol") resolved to fonts installed here.
#pragma once

#include <QString>

namespace fonts {

extern const char* const kGothic;       // "ＭＳ ゴシック"
extern const char* const kProportional; // "ＭＳ Ｐゴシック"

// Registers the substitutions; call once after the application object exists.
void installSubstitutions();

} // namespace fonts
