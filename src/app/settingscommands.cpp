#include "settingscommands.h"

#include "mainwindow.h"

#include "settingsdialogs/basicsettingsdialog.h"
#include "settingsdialogs/overallsettingsdialog.h"

SettingsCommands::SettingsCommands(MainWindow& window) : w_(window) {
    w_.setCommand(w_.actions().basicSettings, [this](int) { showBasicSettings(false); });
    w_.setCommand(w_.actions().overallSettings, [this](int) { showOverallSettings(); });
}

SettingsCommands::~SettingsCommands() = default;

BasicSettingsDialog& SettingsCommands::basicDialog() {
    if (!basic_)
        basic_ = new BasicSettingsDialog(w_.settings(), w_.dialogs(), w_.shell(), *this, &w_);
    return *basic_;
}

OverallSettingsDialog& SettingsCommands::overallDialog() {
    // Made after the settings have been read: it is filled once, from them.
    if (!overall_)
        overall_ = new OverallSettingsDialog(w_.settings(), w_.dialogs(), w_.shell(), *this, &w_);
    return *overall_;
}

void SettingsCommands::showBasicSettings(bool hideMainWindow) {
    SettingsState& s = w_.settings();
    s.copyGlobalToDocument();
    s.copyGlobalToNewDocument();
    BasicSettingsDialog& dialog = basicDialog();
    dialog.fill();
    if (hideMainWindow) w_.hide();
    dialog.showDialog();
}

void SettingsCommands::showOverallSettings() {
    overallDialog().showDialog();
}

void SettingsCommands::applyDocumentValues() {
    w_.applyFont();
}

void SettingsCommands::updateHistoryMenu() {
    w_.updateHistoryMenu();
}

void SettingsCommands::showMainWindow() {
    const bool hidden = !w_.isVisible();
    w_.show();
    if (hidden) {
        w_.raise();
        w_.activateWindow();
    }
}

SettingsFont SettingsCommands::editorFont() const {
    return w_.settingsFont();
}
