// Fonts named by the program's settings ("ＭＳ ゴシック", "ＭＳ Ｐゴシック",
// "ＭＳ 明朝", "ＭＳ Ｐ明朝", "Symbol") resolved to fonts installed here: the
// Gothic names to IPA Gothic, the Mincho names to IPA Mincho, then to Noto.
#pragma once

#include <QString>

namespace fonts {

extern const char* const kGothic;       // "ＭＳ ゴシック"
extern const char* const kProportional; // "ＭＳ Ｐゴシック"

// Registers the substitutions; call once after the application object exists.
void installSubstitutions();

} // namespace fonts
