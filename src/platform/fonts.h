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

// The installed family a font of this name shows in: the name itself when
// it is installed, else the first installed family it is substituted by
// (the name when none is). A font that names this family directly is found
// at once, where a name that is not installed first has fontconfig list its
// fallbacks (milliseconds for each new font). For the program's own window
// fonts; a font the user chose keeps its name.
QString installedFamily(const QString& name);

} // namespace fonts
