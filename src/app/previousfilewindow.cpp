#include "previousfilewindow.h"

PreviousFileWindow::PreviousFileWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TForm10"));
}

void PreviousFileWindow::load(const std::string& path) {
    (void)path;
}
