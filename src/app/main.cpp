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

#include "editor/editingarea.h"
#include "platform/dialogs.h"
#include "settings/filelocations.h"
#include "settings/profile.h"
#include "settings/settings.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
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

// Resident memory of this process in KiB: now (VmRSS) and at most since the
// peak was last reset (VmHWM).
struct Resident {
    long long now = 0, peak = 0;
};
Resident resident() {
    Resident r;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            std::sscanf(line, "VmRSS: %lld", &r.now);
            std::sscanf(line, "VmHWM: %lld", &r.peak);
        }
        std::fclose(f);
    }
    return r;
}
// Starts the peak over at the memory resident now.
void resetPeak() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Measurement hook (MMEDIT_REPORT_STARTUP): tells how long after the
// process started the main window was shown and, with a file, when the
// file's first screen was painted and when its layout was complete; then
// leaves the loop without closing the window (the close prompt of a loaded
// last file must not stop the measurement). With MMEDIT_REPORT_MEMORY also
// the resident memory before the file is opened and when its layout is
// complete, when the send check is through, and the memory a second later
// at rest (with the peak since the opening began).
class StartupReport : public QObject {
  public:
    StartupReport(MainWindow& main, const QElapsedTimer& started, std::vector<std::string> files)
        : main_(main), started_(started), files_(std::move(files)) {}

    void start() {
        QTimer::singleShot(0, this, [this] {
            tell("main window shown", started_.elapsed());
            if (files_.empty()) {
                QCoreApplication::exit(0);
                return;
            }
            EditingArea* editor = main_.editor();
            editor->viewport()->installEventFilter(this);
            if (memory_) {
                // The file read while the windows were made is the opening's
                // memory, not the footprint's.
                const long long ahead =
                    static_cast<long long>(main_.documents().readAheadBytes() / 1024);
                resetPeak();
                tellMemory("before opening", ahead);
            }
            connect(editor, &TextEdit::layoutCompleted, this, [this] { laidOut(); });
            for (const std::string& f : files_)
                main_.documents().openPath(f);
            opened_ = true;
            if (editor->lineView().complete()) laidOut();
            editor->viewport()->update();
        });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (opened_ && shown_ < 0 && event->type() == QEvent::Paint) {
            // Timed once this paint has been done.
            QTimer::singleShot(0, this, [this] {
                if (shown_ >= 0) return;
                shown_ = started_.elapsed();
                tell("file shown", shown_);
                finishWhenDone();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static void tell(const char* what, qint64 ms) {
        std::fprintf(stderr, "%s after %lld ms\n", what, static_cast<long long>(ms));
    }
    // Less the KiB given (memory of the opening already held).
    static void tellMemory(const char* when, long long less = 0) {
        const Resident r = resident();
        std::fprintf(stderr, "memory %s: rss %lld KiB, peak %lld KiB\n", when, r.now - less,
                     r.peak - less);
    }
    void laidOut() {
        if (laidOut_ < 0) laidOut_ = started_.elapsed();
        finishWhenDone();
    }
    void finishWhenDone() {
        if (shown_ < 0 || laidOut_ < 0 || done_) return;
        done_ = true;
        tell("layout complete", laidOut_);
        if (!memory_) {
            QCoreApplication::exit(0);
            return;
        }
        tellMemory("at layout complete");
        restWhenChecked();
    }
    // At rest: a second after the send check has gone through the text.
    void restWhenChecked() {
        if (!main_.editor()->mailFindingsKnown()) {
            QTimer::singleShot(kCheckPollMilliseconds, this, [this] { restWhenChecked(); });
            return;
        }
        tell("send check complete", started_.elapsed());
        QTimer::singleShot(kRestMilliseconds, this, [] {
            tellMemory("at rest");
            QCoreApplication::exit(0);
        });
    }

    static constexpr int kRestMilliseconds = 1000;
    static constexpr int kCheckPollMilliseconds = 10;
    const bool memory_ = qEnvironmentVariableIsSet("MMEDIT_REPORT_MEMORY");

    MainWindow& main_;
    const QElapsedTimer& started_;
    const std::vector<std::string> files_;
    bool opened_ = false;
    bool done_ = false;
    qint64 shown_ = -1, laidOut_ = -1;
};

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
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntry));
    const CommandLine line = parseCommandLine(argumentsOf(argc, argv));
    if (line.action == CommandLine::Action::Error) {
        std::fprintf(stderr, "mmedit: %s (--help で使い方を表示します)\n", line.error.c_str());
        return kUsageStatus;
    }
    std::vector<std::string> files;
    if (!line.file.empty()) files.push_back(absolutePath(line.file, workingFolder()));

    const std::string folder = programFolderOfExecutable();
    std::optional<SingleInstance> single(std::in_place, folder);
    const FileLocations locations(folder);
    if (ProfileFile::load(locations.writableFile(kSettingsFileName))
                .readInt("Application", "OnlyStart", 0) == 1 &&
        single->handOver(files))
        return 0;
    // The file named on the command line is read while the windows are made.
    std::unique_ptr<Document::ReadAhead> readAhead;
    if (files.size() == 1) readAhead = std::make_unique<Document::ReadAhead>(files.front());

    SettingsState settings;
    QtDialogs dialogs;
    std::optional<StartupSplash> splash(std::in_place, dialogs,
                                        [&started] { return started.elapsed(); });
    // Every window without an icon of its own (the main window, the header
    // and footer window, the palettes, the boxes) shows the program's. A box
    // of the start gets it as it comes; otherwise it comes once the main
    // window has been painted: drawing it at every size the desktop asks
    // for would keep the window from the screen.
    const auto giveIcon = [] {
        if (QApplication::windowIcon().isNull())
            QApplication::setWindowIcon(pictures::programIcon());
    };
    splash->setWhenOver(giveIcon);
    splash->begin();
    QtShell shell;
    XkbLockKeys locks;
    MainWindow main(settings, dialogs, shell, locks, folder);
    dialogs.setParent(&main);
    main.documents().setReadAhead(std::move(readAhead));
    splash->reach(SplashWindow::Step::mainWindowMade);
    main.startUp();
    splash->reach(SplashWindow::Step::settingsRead);
    // The palettes read their lists now, so a missing list is told at start;
    // their windows are made when first shown.
    main.palettes().readLists();
    splash->reach(SplashWindow::Step::listsRead);
    splash->setWhenOver({}); // without a box: see settled below
    splash.reset();

    QObject::connect(&main, &MainWindow::closed, &app, &QApplication::quit, Qt::QueuedConnection);
    QObject::connect(&main, &MainWindow::settled, &app, giveIcon);
    single->listen(
        [&main](const std::vector<std::string>& handed) { openFiles(main, handed, true); });
    app.setQuitOnLastWindowClosed(false); // the program ends when the main window closes
    main.show();
    StartupReport report(main, started, files);
    if (qEnvironmentVariableIsSet("MMEDIT_REPORT_STARTUP")) {
        report.start();
    } else {
        openFiles(main, files, false);
    }
    const int status = app.exec();
    // What must reach the disk is written before the end: the settings were
    // saved as the window closed; crash recovery makes its waiting write and
    // gives up its lock now, and the local socket for later starts goes.
    // The windows, the display connection and the memory are the system's
    // to take back, which is quicker than taking them apart one by one.
    // Text this program left on the clipboard passes to the desktop's
    // clipboard manager as the application object ends: then it ends the
    // long way.
    main.documents().endRecovery();
    single.reset();
    if (!QGuiApplication::clipboard()->ownsClipboard()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
