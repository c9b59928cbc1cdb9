#include "editcommands.h"

#include "mainwindow.h"

EditCommands::EditCommands(MainWindow& window) : w_(window) {}

EditCommands::~EditCommands() = default;
