// The settings dialogs of the main window: the basic settings of a new
// document and the overall settings.
#pragma once

#include "settingsdialogs/settingsdialog.h"

#include <memory>

class MainWindow;
class BasicSettingsDialog;
class OverallSettingsDialog;

class SettingsCommands : public SettingsDialogHost {
  public:
    // Wires the Edit menu's basic settings, the overall settings item and
    // its tool button.
    explicit SettingsCommands(MainWindow& window);
    ~SettingsCommands() override;

    // Copies the standing values into the document's and the new document's
    // values, fills the basic settings dialog from them and shows it (not
    // modal). With hideMainWindow the main window is hidden until the dialog
    // is confirmed, cancelled or closed.
    void showBasicSettings(bool hideMainWindow);
    // Shows the overall settings dialog (not modal), made and filled from
    // the settings the first time.
    void showOverallSettings();

    // The dialogs, made at their first use.
    BasicSettingsDialog& basicDialog();
    OverallSettingsDialog& overallDialog();

    // What the dialogs ask of the main window.
    void applyDocumentValues() override;
    void updateHistoryMenu() override;
    void showMainWindow() override;
    SettingsFont editorFont() const override;

  private:
    MainWindow& w_;
    // Children of the main window: they stay above it and go with it.
    BasicSettingsDialog* basic_ = nullptr;
    OverallSettingsDialog* overall_ = nullptr;
};
