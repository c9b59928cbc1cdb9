// The basic settings dialog ("基本設定", TCustom): the newsletter values and
// the two text limits of the document being made. It edits the new
// document's values; its OK ("これで作る") makes them the document's values
// and applies them to the editor. Nothing here reaches the settings file.
#pragma once

#include "settingsdialog.h"

class BasicSettingsDialog : public SettingsDialog {
    Q_OBJECT

  public:
    BasicSettingsDialog(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                        SettingsDialogHost& host, QWidget* parent = nullptr);

    // Fills the controls from the new document's values.
    void fill();
    // これで作る: the controls into the new document's values, those into the
    // document's values, the editor takes them; the dialog hides and the
    // main window shows.
    void confirm();

  private:
    Cp932LineEdit* title_;
    Cp932LineEdit* authorMail_;
    Cp932LineEdit* homeUrl_;
    Cp932LineEdit* authorName_;
    Cp932LineEdit* magazineId_;
    Cp932LineEdit* issueDay_;
    Cp932LineEdit* launchDay_;
    NumberBar lineWidth_;
    NumberBar maxChars_;
};
