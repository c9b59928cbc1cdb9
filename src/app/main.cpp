// Program entry.
#include "common/fonts.h"

#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QStatusBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("「もるもる」メールマガジンエディタ"));
    fonts::installSubstitutions();

    // The main window with its editing area. Menus, settings and the byte-string
    // editor control join it as they are built.
    QMainWindow main;
    main.setWindowTitle(QApplication::applicationName());
    auto* edit = new QPlainTextEdit(&main);
    edit->setFont(QFont(QString::fromUtf8(fonts::kGothic), 11));
    main.setCentralWidget(edit);
    main.statusBar()->showMessage(QStringLiteral("保存機能はまだありません"));
    main.resize(720, 520);
    main.show();
    return app.exec();
}
