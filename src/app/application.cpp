#include "application.h"

#include "mainwindow.h"

#include "platform/fonts.h"
#include "platform/translations.h"

#include <QGuiApplication>

void setUpApplication() {
    QGuiApplication::setApplicationName(QString::fromUtf8(MainWindow::kTitle));
    // Unset, the display name would be the application name; an empty one
    // keeps window titles as they are.
    QGuiApplication::setApplicationDisplayName(QStringLiteral(""));
    fonts::installSubstitutions();
    installQtTranslations();
}
