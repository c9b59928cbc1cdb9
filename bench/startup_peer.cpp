// The start-up peer: a plain Qt main window with a menu, a text editor in
// the editor's font and a status bar, shown as MMEdit shows its window. It
// prints the time from process start to the window shown in the words of
// MMEdit's MMEDIT_REPORT_STARTUP hook, then quits.
#include "peer_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    QMainWindow window;
    setUpPeerWindow(window, QStringLiteral("メールマガジンエディタ"),
                    QStringLiteral("0 行  0 文字"), true);
    window.show();
    QTimer::singleShot(0, [&] {
        std::fprintf(stderr, "main window shown after %lld ms\n",
                     static_cast<long long>(started.elapsed()));
        QCoreApplication::exit(0);
    });
    return app.exec();
}
