#include "documentcommands.h"

#include "mainwindow.h"

DocumentCommands::DocumentCommands(MainWindow& window) : w_(window) {}

DocumentCommands::~DocumentCommands() = default;
