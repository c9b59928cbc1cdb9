#include "documentcommands.h"

#include "mainwindow.h"

DocumentCommands::DocumentCommands(MainWindow& window) : w_(window) {}

DocumentCommands::~DocumentCommands() = default;

void DocumentCommands::openPath(const std::string& path) {
    (void)path;
    (void)w_;
}
