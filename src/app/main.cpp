// Program entry: the arguments, the splash window, the windows in their
// order, the loop.
#include "application.h"
#include "commandline.h"
#include "documentcommands.h"
#include "lockkeys.h"
#include "mainwindow.h"
#include "palettecommands.h"
#include "pictures.h"
#include "singleinstance.h"
#include "splashwindow.h"

#include "platform/dialogs.h"
#include "settings/filelocations.h"
#include "settings/profile.h"
#include "settings/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Exit status of a usage error.
constexpr int kUsageStatus = 2;
// The name of the installed desktop entry (packaging/), by which the desktop
// finds the program's icon and name for its windows.
constexpr char kDesktopEntry[] = "org.mmedit.MMEdit";

std::vector<std::string> argumentsOf(int argc, char* argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// Brings the window to the front and opens the files, after the event that
// brought them has ended (opening may ask about unsaved text).
void openFiles(MainWindow& main, const std::vector<std::string>& files, bool toFront) {
    QTimer::singleShot(0, &main, [&main, files, toFront] {
        if (toFront) {
            main.showNormal();
            main.raise();
            main.activateWindow();
        }
        for (const std::string& f : files) {
            // Test hook: tells which file goes to the window.
            if (qEnvironmentVariableIsSet("MMEDIT_REPORT_OPEN"))
                std::fprintf(stderr, "open: %s\n", f.c_str());
            main.documents().openPath(f);
        }
    });
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer started;
    started.start();
    // --help and --version answer in the terminal, also where no display is.
    if (const auto answer = helpOrVersionText(argumentsOf(argc, argv))) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv); // takes Qt's own options out of argv
    setUpApplication();
    // Every window without an icon of its own (the header and footer window,
    // the palettes, the boxes) shows the program's.
    QApplication::setWindowIcon(pictures::programIcon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntry));
    const CommandLine line = parseCommandLine(argumentsOf(argc, argv));
    if (line.action == CommandLine::Action::Error) {
        std::fprintf(stderr, "mmedit: %s (--help で使い方を表示します)\n", line.error.c_str());
        return kUsageStatus;
    }
    std::vector<std::string> files;
    if (!line.file.empty()) files.push_back(absolutePath(line.file, workingFolder()));

    const std::string folder = programFolderOfExecutable();
    SingleInstance single(folder);
    const FileLocations locations(folder);
    if (ProfileFile::load(locations.writableFile(kSettingsFileName))
                .readInt("Application", "OnlyStart", 0) == 1 &&
        single.handOver(files))
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
    splash->reach(SplashWindow::Step::mainWindowMade);
    main.startUp();
    splash->reach(SplashWindow::Step::settingsRead);
    // The palettes read their lists now, so a missing list is told at start.
    main.palettes().createWindows();
    splash->reach(SplashWindow::Step::listsRead);
    dialogs.setBeforeShowing({});
    delete splash;

    QObject::connect(&main, &MainWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    single.listen(
        [&main](const std::vector<std::string>& handed) { openFiles(main, handed, true); });
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
    } else {
        openFiles(main, files, false);
    }
    return app.exec();
}
