// The main window's caption and modified mark around saving, the recent-file
// menu's texts and the help key.
#include "app/lockkeys.h"
#include "app/mainwindow.h"
#include "app/previousfilewindow.h"
#include "app/splashwindow.h"
#include "app/statuspanels.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "tray/trayicon.h"

#include "mainwindowtest.h"
#include "support/scripted.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QShortcut>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QWindow>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

struct MainWindowStateTest : MainWindowTest {
    void start() {
        dir.write("link.dat", "");
        dir.write("MMEdit.ini", defaultSettingsBytes());
        startWindow();
        dialogs.boxes.clear();
    }
    QString modifiedPanel() const { return panel(StatusPanels::modifiedMark); }
};

const char kCaption[] = "「もるもる」メールマガジンエディタ1.2";

} // namespace

TEST_F(MainWindowStateTest, SaveSaveAsAndNewShowTheCleanStateAndTheNextChangeMarksIt) {
    start();
    const QString one = QString::fromStdString(dir.file("one.txt"));
    const QString two = QString::fromStdString(dir.file("two.txt"));
    const struct {
        const char* command;
        std::string fileName; // the save dialog's answer
        QString caption;
    } cases[] = {
        {"Save1", dir.file("one.txt"), u(kCaption) + one},   // unnamed: asks for a name
        {"Save1", {}, u(kCaption) + one},                    // named: no dialog
        {"SaveAs1", dir.file("two.txt"), u(kCaption) + two}, //
        {"New2", {}, u(kCaption)},                           // a blank document
    };
    for (const auto& c : cases) {
        type(QStringLiteral("a"));
        EXPECT_EQ(main->windowTitle(),
                  u(kCaption) + QString::fromStdString(main->document().filePath()) + u("(変更)"))
            << c.command;
        EXPECT_EQ(modifiedPanel(), u("変更あり")) << c.command;
        if (!c.fileName.empty()) dialogs.fileNames.push_back(c.fileName);
        if (std::string(c.command) == "New2") dialogs.answers.push_back(Dialogs::No);
        trigger(c.command);
        EXPECT_EQ(main->windowTitle(), c.caption) << c.command;
        EXPECT_EQ(modifiedPanel(), QString()) << c.command;
        EXPECT_FALSE(main->isDocumentModified()) << c.command;
        EXPECT_FALSE(closeAsks()) << c.command;
    }
    EXPECT_EQ(dir.read("two.txt"), "aaa");
}

TEST_F(MainWindowStateTest, AnAmpersandInARecentFileIsShown) {
    start();
    ::mkdir(dir.file("R&D").c_str(), 0777);
    for (const char* name : {"R&D/Q&A.txt", "plain.txt"}) {
        dir.write(name, "x");
        dialogs.fileNames.push_back(dir.file(name));
        trigger("Open1");
    }
    EXPECT_EQ(main->item(QStringLiteral("N17"))->text(),
              QStringLiteral("1:") + QString::fromStdString(dir.path()) + u("plain.txt"));
    EXPECT_EQ(main->item(QStringLiteral("N21"))->text(),
              QStringLiteral("2:") + QString::fromStdString(dir.path()) + u("R&&D/Q&&A.txt"));
}

TEST_F(MainWindowStateTest, F1ShowsHelpAndIsBoundOnce) {
    start();
    ::mkdir(dir.file("help").c_str(), 0777);
    dir.write("help/index.html", "<html><body><p id=\"top\">ヘルプ</p></body></html>");
    int boundToF1 = 0;
    for (const QAction* a : main->findChildren<QAction*>())
        boundToF1 += static_cast<int>(a->shortcuts().count(QKeySequence(Qt::Key_F1)));
    for (const QShortcut* s : main->findChildren<QShortcut*>())
        boundToF1 += s->key() == QKeySequence(Qt::Key_F1) ? 1 : 0;
    EXPECT_EQ(boundToF1, 1);
    main->show();
    QApplication::setActiveWindow(main.get());
    QTest::keyClick(main->editor(), Qt::Key_F1);
    ASSERT_NE(HelpWindow::current(), nullptr);
    EXPECT_TRUE(HelpWindow::current()->isVisible());
    EXPECT_EQ(HelpWindow::current()->browser()->source().toLocalFile(),
              QString::fromStdString(dir.file("help/index.html")));
    EXPECT_TRUE(dialogs.boxes.empty());
}

// A notification area that shows every icon it is given.
struct ShowingArea : NotificationArea {
    int icons = 0;
    Result add(const TrayIconRequest&) override {
        ++icons;
        return Result::done;
    }
    Result modify(const TrayIconRequest&) override { return Result::done; }
    void remove(const TrayIconRequest&) override { --icons; }
    bool isShown(std::uint32_t) const override { return icons > 0; }
};

// The icon goes into the notification area after start-up, once the loop
// runs, not while the window is being set up.
TEST_F(MainWindowStateTest, TheIconGoesIntoTheAreaOnceTheLoopRuns) {
    ShowingArea area;
    const ScopedNotificationArea inPlace(area);
    start(); // default settings: StayOnTask 1
    EXPECT_TRUE(main->trayIcon()->isRegistered());
    EXPECT_EQ(area.icons, 0);
    QApplication::processEvents();
    EXPECT_EQ(area.icons, 1);
    EXPECT_TRUE(main->trayIcon()->isIconShown());
}

// A window being shown is on the screen before its icon goes into the area
// (reaching the area takes a while).
TEST_F(MainWindowStateTest, AShownWindowIsExposedBeforeItsIconGoesIn) {
    struct WatchingArea : ShowingArea {
        QWidget* window = nullptr;
        bool exposedAtAdd = false;
        Result add(const TrayIconRequest& r) override {
            exposedAtAdd = window->windowHandle() && window->windowHandle()->isExposed();
            return ShowingArea::add(r);
        }
    } area;
    const ScopedNotificationArea inPlace(area);
    start();
    area.window = main.get();
    main->show();
    for (int turn = 0; turn < 5 && area.icons == 0; ++turn)
        QApplication::processEvents();
    EXPECT_EQ(area.icons, 1);
    EXPECT_TRUE(area.exposedAtAdd);
}

// Minimized, the window hides behind its icon (also when the icon's menu
// minimizes it, which shows it again after minimizing it); the icon's menu
// brings it back maximized or at its size, and the icon goes.
TEST_F(MainWindowStateTest, HiddenBehindTheIconAndBackByItsMenu) {
    ShowingArea area;
    const ScopedNotificationArea inPlace(area);
    start();
    main->show();
    const struct {
        const char* command;
        Qt::WindowStates state;
    } cases[] = {{"N8", Qt::WindowMaximized}, {"N13", Qt::WindowNoState}};
    for (const auto& c : cases) {
        trigger("N11");
        QApplication::processEvents();
        EXPECT_FALSE(main->isVisible()) << c.command;
        EXPECT_TRUE(main->trayIcon()->isRegistered());
        EXPECT_EQ(area.icons, 1);
        trigger(c.command);
        EXPECT_TRUE(main->isVisible()) << c.command;
        EXPECT_EQ(main->windowState(), c.state) << c.command;
        EXPECT_FALSE(main->trayIcon()->isRegistered());
        EXPECT_EQ(area.icons, 0);
    }
}

TEST(SplashWindowBar, StartUpStepsFillTheBarToItsEnd) {
    SplashWindow splash;
    EXPECT_EQ(splash.progress(), 0);
    const std::pair<SplashWindow::Step, int> steps[] = {{SplashWindow::Step::mainWindowMade, 30},
                                                        {SplashWindow::Step::settingsRead, 70},
                                                        {SplashWindow::Step::listsRead, 100}};
    for (const auto& [step, value] : steps) {
        splash.reach(step);
        EXPECT_EQ(splash.progress(), value);
    }
    EXPECT_EQ(SplashWindow::kFullBar, 100);
}

// The window as it shows: a black box around it, the picture from (4, 4)
// to (306, 153), the grey window under the bar and the bar filled from the
// left up to the step reached (the style's highlight on the white groove).
TEST(SplashWindowLooks, BoxPictureAndBar) {
    const QColor black(0, 0, 0), teal(0, 128, 128), lightTeal(0, 200, 200), white(255, 255, 255),
        grey(239, 239, 239), highlight(52, 153, 217);
    const struct {
        SplashWindow::Step step;
        QColor barMiddle; // the bar at half its width
    } cases[] = {{SplashWindow::Step::mainWindowMade, white},
                 {SplashWindow::Step::settingsRead, highlight}};
    for (const auto& c : cases) {
        SplashWindow splash;
        splash.reach(c.step);
        const QImage shown = splash.grab().toImage();
        ASSERT_EQ(shown.size(), QSize(311, 196));
        const struct {
            QPoint at;
            QColor colour;
        } pixels[] = {{{0, 0}, black},         {{310, 195}, black}, {{4, 4}, teal},
                      {{306, 153}, lightTeal}, {{2, 178}, grey},    {{155, 187}, c.barMiddle}};
        for (const auto& px : pixels)
            EXPECT_EQ(shown.pixelColor(px.at), px.colour)
                << px.at.x() << "," << px.at.y() << " at " << static_cast<int>(c.step);
    }
}

TEST(PreviousFileWindowFont, IsTheEditorsFixedPitchJapaneseFont) {
    PreviousFileWindow window;
    const QFontInfo shown(window.viewer()->font());
    EXPECT_EQ(shown.family(), QStringLiteral("IPAGothic"));
    EXPECT_EQ(shown.pixelSize(), 12);
    // Two half-width letters take the room of one full-width character.
    const QFontMetrics m(window.viewer()->font());
    EXPECT_EQ(m.horizontalAdvance(QStringLiteral("ii")), m.horizontalAdvance(u("あ")));
    EXPECT_EQ(m.horizontalAdvance(QStringLiteral("W")), m.horizontalAdvance(QStringLiteral("i")));
}

// The splash window comes only once the start has run long enough, at the
// step reached then, and fills its bar from there; a quick start shows none.
TEST(StartupSplashTest, TheProgramShowsItFromTheStart) {
    QtDialogs dialogs;
    StartupSplash splash(dialogs, [] { return qint64{0}; });
    splash.begin();
    ASSERT_NE(splash.window(), nullptr);
    EXPECT_TRUE(splash.window()->isVisible());
    EXPECT_EQ(splash.window()->progress(), 0);
}

// The splash window's time is over once, when the start is done: then the
// program gives the application its icon (the splash window shows none).
TEST(StartupSplashTest, ItsTimeIsOverOnceWhenTheStartIsDone) {
    for (const qint64 elapsed : {qint64{0}, qint64{100}}) { // shown, not shown
        QtDialogs dialogs;
        int over = 0;
        {
            StartupSplash splash(
                dialogs, [elapsed] { return elapsed; }, 50);
            splash.setWhenOver([&over] { ++over; });
            splash.begin();
            splash.reach(SplashWindow::Step::listsRead);
            EXPECT_EQ(over, 0) << elapsed;
            if (splash.window()) {
                EXPECT_TRUE(splash.window()->windowIcon().isNull());
            }
        }
        EXPECT_EQ(over, 1) << elapsed;
    }
}

TEST(StartupSplashTest, ShownOnlyWhenTheStartTakesLong) {
    using Step = SplashWindow::Step;
    const struct {
        qint64 elapsed[4]; // at begin() and at each of the three steps
        int shownFrom;     // 0 begin, 1..3 the steps, 4 never
    } cases[] = {
        {{10, 40, 60, 80}, 4},    {{10, 249, 249, 249}, 4},  {{10, 250, 260, 270}, 1},
        {{10, 100, 300, 310}, 2}, {{300, 310, 320, 330}, 0},
    };
    const Step steps[] = {Step::mainWindowMade, Step::settingsRead, Step::listsRead};
    const int bar[] = {0, 30, 70, 100};
    for (const auto& c : cases) {
        QtDialogs dialogs;
        int at = 0;
        StartupSplash splash(
            dialogs, [&] { return c.elapsed[at]; }, 250);
        for (at = 0; at < 4; ++at) {
            if (at == 0)
                splash.begin();
            else
                splash.reach(steps[at - 1]);
            const bool shown = at >= c.shownFrom;
            ASSERT_EQ(splash.window() != nullptr, shown) << c.shownFrom << " at " << at;
            if (!shown) continue;
            EXPECT_TRUE(splash.window()->isVisible());
            EXPECT_EQ(splash.window()->progress(), bar[at]);
        }
    }
}
