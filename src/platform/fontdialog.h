// The font dialog. Where only fixed-pitch fonts are wanted it offers the
// fonts that Qt calls fixed pitch and the Japanese fonts whose half-width
// characters share one advance and whose full-width characters take two of
// them (fontconfig calls them "dual"-spaced: IPAGothic, IPAMincho), which
// Qt's own fixed-pitch filter leaves out.
#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QFontDialog;
class QWidget;

namespace fonts {

// Whether the family is offered as a fixed-pitch font.
bool isFixedPitchFamily(const QString& family);

// The family a font really is drawn with ("ＭＳ ゴシック" is drawn with IPAGothic).
QString familyInUse(const QFont& font);

// Sets the dialog up to show inUse, with Japanese sample text and, with
// fixedPitchOnly, only the fixed-pitch families in its list.
void prepareFontDialog(QFontDialog& dialog, const QFont& inUse, bool fixedPitchOnly);

// The font the dialog holds, under the name inUse has when its family was
// left as it was (the settings keep "ＭＳ ゴシック", not IPAGothic).
QFont fontChosen(const QFontDialog& dialog, const QFont& inUse);

// Shows the dialog; nothing when it is cancelled.
std::optional<QFont> chooseFont(const QFont& inUse, bool fixedPitchOnly, QWidget* parent,
                                const QString& title);

} // namespace fonts
