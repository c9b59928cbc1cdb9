#include "palettecommands.h"

#include "mainwindow.h"

PaletteCommands::PaletteCommands(MainWindow& window) : w_(window) {}

PaletteCommands::~PaletteCommands() = default;
