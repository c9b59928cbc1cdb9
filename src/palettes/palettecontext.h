// What the palettes and the header and footer window work with: the editing
// area they write into, the settings (the document's line width, where the
// files are kept), the message boxes and file dialogs, and the shell (help).
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

class Dialogs;
class Shell;
class TextEdit;
struct SettingsState;

struct PaletteContext {
    TextEdit& editor;
    SettingsState& settings;
    Dialogs& dialogs;
    Shell& shell;
};

// The caption of the palettes' warnings.
inline constexpr char kWarningCaption[] = "警告";

// A warning box: caption "警告", no icon, one OK button.
void showWarning(Dialogs& dialogs, const QString& text);

// Puts bytes in place of [from, to) of the editor's text as one change (one
// undo step, which gives back the selection the editor had); the caret ends
// after them. Text that does not fit whole under the editor's character
// limit is refused with a warning, so no half of it is ever inserted; a
// change the editor itself refuses leaves its selection as it was. Returns
// whether the text was changed. The positions are taken after the editor's
// prepareOutsideEdit (a composition in progress moves them).
bool insertWhole(PaletteContext& context, std::size_t from, std::size_t to, std::string_view bytes);

// The same over the editor's selection (at the caret when nothing is selected).
bool replaceEditorSelection(PaletteContext& context, std::string_view bytes);

// Opens the help page at a keyword; a missing page is reported.
void showPaletteHelp(PaletteContext& context, const char* keyword);
