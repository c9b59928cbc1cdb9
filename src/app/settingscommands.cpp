#include "settingscommands.h"

#include "mainwindow.h"

SettingsCommands::SettingsCommands(MainWindow& window) : w_(window) {}

SettingsCommands::~SettingsCommands() = default;

void SettingsCommands::showBasicSettings(bool hideMainWindow) {
    (void)hideMainWindow;
    (void)w_;
}
