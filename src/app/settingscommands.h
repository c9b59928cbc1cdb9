// The settings dialogs of the main window: the basic settings of a new
// document and the overall settings.
#pragma once

class MainWindow;

class SettingsCommands {
  public:
    explicit SettingsCommands(MainWindow& window);
    ~SettingsCommands();

    // Copies the standing values into the document's and the new document's
    // values, fills the basic settings dialog from them and shows it (not
    // modal). With hideMainWindow the main window is hidden until the dialog
    // is confirmed, cancelled or closed.
    void showBasicSettings(bool hideMainWindow);

  private:
    MainWindow& w_;
};
