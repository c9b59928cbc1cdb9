// Program entry: the splash window, the windows in their order, the loop.
#include "application.h"
#include "lockkeys.h"
#include "mainwindow.h"
#include "singleinstance.h"
#include "splashwindow.h"

#include "platform/dialogs.h"
#include "settings/profile.h"
#include "settings/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    setUpApplication();

    const std::string folder = programFolderOfExecutable();
    SingleInstance single(folder);
    if (ProfileFile::load(folder + "MMEdit.ini").readInt("Application", "OnlyStart", 0) == 1 &&
        single.handOver())
        return 0;

    SplashWindow* splash = new SplashWindow;
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    SettingsState settings;
    QtDialogs dialogs;
    splash->giveWayTo(dialogs); // a start-up error box must not be hidden behind it
    QtShell shell;
    XkbLockKeys locks;
    MainWindow main(settings, dialogs, shell, locks, folder);
    dialogs.setParent(&main);
    main.startUp();
    splash->advance(10);
    // The other windows join here as they are built, each advancing by 10.
    dialogs.setBeforeShowing({});
    delete splash;

    QObject::connect(&main, &MainWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    single.listen([&main] {
        main.showNormal();
        main.raise();
        main.activateWindow();
    });
    app.setQuitOnLastWindowClosed(false); // the program ends when the main window closes
    main.show();
    if (qEnvironmentVariableIsSet("MMEDIT_REPORT_STARTUP")) {
        // Measurement hook: the time from process start to the main window shown.
        QTimer::singleShot(0, [&] {
            std::fprintf(stderr, "main window shown after %lld ms\n",
                         static_cast<long long>(started.elapsed()));
            // Leave the loop without closing the window: the close prompt
            // of a loaded last file must not stop the measurement.
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
