#include "mainwindowtest.h"

#include "app/application.h"
#include "app/splashwindow.h"

#include "platform/fonts.h"

#include "editor/keytable.h"
#include "settings/profile.h"
#include "support/paintedregion.h"
#include "support/screenshots.h"
#include "support/sjis.h"
#include "text/cp932.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct MainTest : MainWindowTest {
    MainTest() { locks.num = true; }
    void start() { startWindow(); }
};

// Waits for the next modal box, lets `look` see it, then closes it, so a
// test that shows a real box never blocks.
void closeNextBox(std::function<void(QWidget*)> look) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, look] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        look(box);
        if (auto* d = qobject_cast<QDialog*>(box))
            d->done(0);
        else
            box->close();
    });
    poll->start();
}

} // namespace

TEST_F(MainTest, FirstStartWritesTheSettingsFileInTheProgramFolderAndReportsAMissingLinkFile) {
    TempDir elsewhere;
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(elsewhere.path()));
    start();
    QDir::setCurrent(cwd);
    EXPECT_TRUE(dir.read("MMEdit.ini").starts_with(";\r\n"));
    EXPECT_EQ(elsewhere.read("MMEdit.ini"), "");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              QString::fromStdString("ファイル " + dir.path() + "link.dat は開けません."));
    EXPECT_TRUE(main->links().empty());
    EXPECT_EQ(main->editor()->editArea().lineLength(), 80);
    EXPECT_EQ(main->editor()->maxLength(), 30000);
    EXPECT_FALSE(main->toolBarArea()->isVisibleTo(main.get()));
    EXPECT_TRUE(main->item(QStringLiteral("NoShow1"))->isChecked());
    EXPECT_FALSE(main->isDocumentModified());
    EXPECT_EQ(main->windowTitle(), QStringLiteral("「もるもる」メールマガジンエディタ"));
}

TEST_F(MainTest, LinkMenuFromPairsOfLines) {
    dir.write("link.dat",
              sj("まぐまぐ\r\nhttps://www.mag2.com/\nメルマ\rhttps://melma.com/\r\nodd line"));
    start();
    EXPECT_TRUE(dialogs.boxes.empty());
    const auto links = main->links();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].first, QStringLiteral("まぐまぐ"));
    EXPECT_EQ(links[1].second, QStringLiteral("https://melma.com/"));
    main->linkMenu()->actions().at(1)->trigger();
    EXPECT_EQ(shell.opened, std::vector<QString>{QStringLiteral("https://www.mag2.com/")});
    EXPECT_FALSE(main->item(QStringLiteral("Dummy"))->isVisible());
    EXPECT_TRUE(dialogs.boxes.empty()); // opened: nothing to tell
}

TEST_F(MainTest, ALinkTheDesktopCannotOpenIsToldWithItsAddress) {
    dir.write("link.dat", sj("まぐまぐ\r\nhttps://www.mag2.com/\r\n"));
    start();
    shell.result = false;
    main->linkMenu()->actions().at(1)->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              QStringLiteral("次のアドレスを開けませんでした:\nhttps://www.mag2.com/"));
    EXPECT_EQ(dialogs.boxes[0].caption, QApplication::applicationName());
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(dialogs.boxes[0].buttons, Dialogs::Ok);
}

TEST_F(MainTest, DeletedLastFileIsReportedAndStartUpGoesOn) {
    dir.write("link.dat", "a\r\nb\r\n");
    dir.write("MMEdit.ini",
              "[Application]\r\nLastFileOpen=1\r\n[FileHistry]\r\nSwitch=1\r\nNumber=1\r\n1=" +
                  dir.file("gone.txt") + "\r\n");
    start();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("gone.txt は開けません")));
    EXPECT_TRUE(main->links().empty()); // the steps after it are skipped
    main->show();
    EXPECT_TRUE(main->isVisible());
}

TEST_F(MainTest, LastFileIsLoadedWithoutNamingTheDocument) {
    dir.write("link.dat", "");
    dir.write("last.txt", sj("前回の号\r\n"));
    dir.write("MMEdit.ini",
              "[Application]\r\nLastFileOpen=1\r\n[String]\r\nMaxString=10\r\n[FileHistry]\r\n1=" +
                  dir.file("last.txt") + "\r\n");
    start();
    EXPECT_EQ(main->editor()->text(), sj("前回の号\r\n"));
    EXPECT_EQ(main->document().filePath(), "");
    EXPECT_TRUE(main->isDocumentModified());
    EXPECT_GT(main->editor()->maxLength(), 30000); // a loaded file is not held to the limit
}

TEST_F(MainTest, TotalsAndCaptionFollowEveryChange) {
    dir.write("link.dat", "");
    start();
    EXPECT_EQ(panel(StatusPanels::lineTotal), QStringLiteral("１行の文字数"));
    EXPECT_EQ(panel(StatusPanels::insertMode),
              QStringLiteral("挿入")); // the real mode before the first activation
    type(QStringLiteral("abc"));
    EXPECT_EQ(panel(StatusPanels::lineTotal), QStringLiteral("総行数0"));
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=5"));
    EXPECT_EQ(panel(StatusPanels::modifiedMark), QStringLiteral("変更あり"));
    EXPECT_EQ(main->windowTitle(), QStringLiteral("「もるもる」メールマガジンエディタ1.2(変更)"));
    main->editor()->setText(sj("ああ\r\nabc\r\n"));
    EXPECT_EQ(panel(StatusPanels::lineTotal), QStringLiteral("総行数0"));
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=11"));
    main->editor()->setText("1\r\n2\r\n3\r\n4\r\n5");
    EXPECT_EQ(panel(StatusPanels::lineTotal), QStringLiteral("総行数3"));
    // A wrapped line counts twice; a wider line length takes it back.
    main->editor()->setText(std::string(100, 'x'));
    EXPECT_EQ(panel(StatusPanels::lineTotal), QStringLiteral("総行数0"));
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=104"));
    main->document().setFilePath("/mag/vol1.txt");
    type(QStringLiteral("y"));
    EXPECT_EQ(main->windowTitle(),
              QStringLiteral("「もるもる」メールマガジンエディタ1.2/mag/vol1.txt(変更)"));
    main->showDocumentState(false);
    EXPECT_EQ(panel(StatusPanels::modifiedMark), QString());
}

TEST_F(MainTest, TypingStopsAtTheDocumentLimit) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[String]\r\nMaxString=12\r\nMaxLength=40\r\n");
    start();
    EXPECT_EQ(main->editor()->wrapColumns(), 40);
    type(QStringLiteral("あいうえおかきくけこさしすせそ"));
    EXPECT_EQ(main->editor()->document().characterCount(), 12u);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainTest, APasteCutAtTheLimitIsToldInTheStatusBar) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[String]\r\nMaxString=12\r\n");
    start();
    main->show();
    EXPECT_TRUE(main->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(main->editor()->replaceSelection(sj("あいうえお")));
    EXPECT_TRUE(main->statusBar()->currentMessage().isEmpty()); // it fitted
    EXPECT_TRUE(main->editor()->replaceSelection(sj("かきくけこさしすせそ")));
    EXPECT_EQ(main->editor()->document().characterCount(), 12u);
    EXPECT_EQ(main->statusBar()->currentMessage(),
              QStringLiteral("文字数の上限に達したため、入りきらない部分は入力されませんでした"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainTest, ACommitWithACharacterShiftJisCannotHoldIsToldInTheStatusBar) {
    dir.write("link.dat", "");
    start();
    main->show();
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("今日の€"));
    QApplication::sendEvent(main->editor(), &commit);
    EXPECT_EQ(main->editor()->text(), sj("今日の"));
    EXPECT_EQ(main->statusBar()->currentMessage(),
              QStringLiteral("Shift-JIS で表せない文字 € は入力されませんでした"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainTest, LineWidthsOutsideTheRangeAreHeldToIt) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[String]\r\nMaxString=300000000\r\nMaxLength=300000000\r\n");
    start();
    EXPECT_EQ(main->editor()->editArea().lineLength(), 80);
    EXPECT_EQ(main->editor()->maxLength(), 30000);
    main->editor()->setText(std::string(100, 'x'));
    EXPECT_EQ(main->editor()->wrapColumns(), 80);
}

TEST_F(MainTest, NegativeLineWidthsAreHeldToTheNarrowest) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[String]\r\nMaxString=-5\r\nMaxLength=-5\r\n");
    start();
    EXPECT_EQ(main->editor()->editArea().lineLength(), 10);
    EXPECT_EQ(main->editor()->maxLength(), 10);
    EXPECT_EQ(main->editor()->wrapColumns(), 10);
}

TEST_F(MainTest, KeyboardStatePanels) {
    dir.write("link.dat", "");
    start();
    main->activated();
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOff"));
    EXPECT_EQ(panel(StatusPanels::insertMode), QStringLiteral("挿入"));
    EXPECT_EQ(panel(StatusPanels::numLock), QStringLiteral("NumOn"));
    QTest::keyClick(main->editor(), Qt::Key_Insert);
    EXPECT_EQ(panel(StatusPanels::insertMode), QStringLiteral("上書き"));
    QTest::keyClick(main->editor(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(panel(StatusPanels::insertMode), QStringLiteral("上書き"));
    QTest::keyClick(main->editor(), Qt::Key_Insert);
    EXPECT_EQ(panel(StatusPanels::insertMode), QStringLiteral("挿入"));
    locks.caps = true;
    QTest::keyClick(main->editor(), Qt::Key_CapsLock);
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
    QTest::keyClick(main->editor(), Qt::Key_A); // other keys change nothing
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
}

TEST_F(MainTest, LockPanelsFollowALockSwitchedOffOnRelease) {
    dir.write("link.dat", "");
    locks.caps = true;
    locks.num = true;
    start();
    main->activated();
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
    // X clears a lock when its key is released: on the press it still reads on.
    QTest::keyPress(main->editor(), Qt::Key_CapsLock);
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
    locks.caps = false;
    QTest::keyRelease(main->editor(), Qt::Key_CapsLock);
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOff"));
    QTest::keyPress(main->editor(), Qt::Key_NumLock);
    EXPECT_EQ(panel(StatusPanels::numLock), QStringLiteral("NumOn"));
    locks.num = false;
    QTest::keyRelease(main->editor(), Qt::Key_NumLock);
    EXPECT_EQ(panel(StatusPanels::numLock), QStringLiteral("NumOff"));
    // Switched on again: the press already shows it.
    locks.caps = true;
    QTest::keyPress(main->editor(), Qt::Key_CapsLock);
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
    QTest::keyRelease(main->editor(), Qt::Key_CapsLock);
    EXPECT_EQ(panel(StatusPanels::capsLock), QStringLiteral("CapsOn"));
    // Releases of other keys change nothing.
    locks.num = true;
    QTest::keyRelease(main->editor(), Qt::Key_A);
    EXPECT_EQ(panel(StatusPanels::numLock), QStringLiteral("NumOff"));
}

TEST_F(MainTest, HistoryMenuCaptionsAndVisibility) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[FileHistry]\r\nSwitch=1\r\nNumber=3\r\n1=/a/one.txt\r\n2=/a/"
                            "two.txt\r\n4=/a/four.txt\r\n10=/a/ten.txt\r\n");
    start();
    EXPECT_EQ(main->historyItem(0)->text(), QStringLiteral("1:/a/one.txt"));
    EXPECT_EQ(main->historyItem(9)->text(), QStringLiteral("0:/a/ten.txt"));
    EXPECT_EQ(main->historyItem(2)->text(), QStringLiteral("3:"));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(main->historyItem(i)->isVisible(), i < 3) << i;
    settings.options.historyShown = 0;
    main->updateHistoryMenu();
    for (int slot = 0; slot < kHistorySlots; ++slot)
        EXPECT_FALSE(main->historyItem(slot)->isVisible());
    EXPECT_EQ(main->historyItem(3)->text(), QStringLiteral("4:/a/four.txt"));
}

TEST_F(MainTest, CloseWithoutChangesSavesNothing) {
    dir.write("link.dat", "");
    start();
    const std::string before = dir.read("MMEdit.ini");
    settings.windowLeft = 77;
    EXPECT_TRUE(main->close());
    EXPECT_EQ(dir.read("MMEdit.ini"), before);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainTest, ClosePromptBranches) {
    dir.write("link.dat", "");
    start();
    type(QStringLiteral("週刊"));
    const std::string before = dir.read("MMEdit.ini");
    // Cancel: stays open, nothing saved.
    dialogs.answers = {Dialogs::Cancel};
    EXPECT_FALSE(main->close());
    EXPECT_EQ(dialogs.boxes.back().caption, QStringLiteral("終了時の警告"));
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("編集中の文章があります。保存しますか？"));
    EXPECT_EQ(dialogs.boxes.back().buttons, Dialogs::Yes | Dialogs::No | Dialogs::Cancel);
    EXPECT_EQ(dialogs.boxes.back().icon, Dialogs::Icon::None);
    EXPECT_EQ(dir.read("MMEdit.ini"), before);
    // Yes, then the save dialog cancelled: the window stays with its text.
    dialogs.answers = {Dialogs::Yes};
    EXPECT_FALSE(main->close());
    EXPECT_EQ(main->editor()->text(), sj("週刊"));
    EXPECT_EQ(dir.read("MMEdit.ini"), before);
    // Yes with a name that cannot be written: reported, still open.
    dialogs.answers = {Dialogs::Yes};
    dialogs.fileNames = {dir.file("no/such/folder/x.txt")};
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(dialogs.boxes.back().text.contains(QStringLiteral("を作成できません")));
    // Yes with a name: written, recorded under that name, settings saved.
    dialogs.answers = {Dialogs::Yes};
    dialogs.fileNames = {dir.file("vol1.txt")};
    EXPECT_TRUE(main->close());
    EXPECT_EQ(dir.read("vol1.txt"), sj("週刊"));
    EXPECT_EQ(ProfileFile(dir.read("MMEdit.ini")).readString("FileHistry", "1", ""),
              dir.file("vol1.txt"));
}

TEST_F(MainTest, CloseWithNoSavesTheSettingsOnly) {
    dir.write("link.dat", "");
    start();
    type(QStringLiteral("x"));
    dialogs.answers = {Dialogs::No};
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(
        ProfileFile(dir.read("MMEdit.ini")).hasKey("Application", "TaskIcon")); // a save happened
    EXPECT_TRUE(dialogs.fileCaptions.empty());
}

TEST_F(MainTest, MinimizingNeverHidesTheWindowBehindAMissingIcon) {
    dir.write("link.dat", "");
    start();                            // default settings: HideOnTask 1, StayOnTask 1
    EXPECT_TRUE(dialogs.boxes.empty()); // no notification area here: no error box
    main->show();
    main->showMinimized();
    QApplication::processEvents();
    main->windowStateChanged();
    EXPECT_FALSE(main->isHidden());
    EXPECT_TRUE(main->trayIcon()->isRegistered());
    EXPECT_FALSE(main->trayIcon()->isIconShown());
}

TEST_F(MainTest, MenusShortcutsAndTags) {
    dir.write("link.dat", "");
    start();
    EXPECT_EQ(main->item(QStringLiteral("Replace1"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(main->item(QStringLiteral("N27"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    EXPECT_EQ(main->item(QStringLiteral("SpeedButton47"))->property("Tag").toInt(), 5);
    EXPECT_EQ(main->item(QStringLiteral("SpeedButton47"))->toolTip(), QStringLiteral("創刊日"));
    EXPECT_EQ(main->item(QStringLiteral("SpeedButton48"))->property("Tag").toInt(), 4);
    EXPECT_FALSE(main->item(QStringLiteral("SpeedButton51"))->property("ShowHint").toBool());
    EXPECT_TRUE(main->item(QStringLiteral("SpeedButton50"))->property("ShowHint").toBool());
    EXPECT_TRUE(main->item(QStringLiteral("Exit1"))->isEnabled());
    EXPECT_TRUE(main->item(QStringLiteral("Open1"))->isEnabled());
    EXPECT_EQ(main->menuBar()->actions().size(), 7);
}

TEST_F(MainTest, ShortcutsAndMenuItemsRunTheirCommands) {
    dir.write("link.dat", "");
    start();
    main->show();
    QApplication::setActiveWindow(main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    // The tray menu's size commands.
    main->item(QStringLiteral("N8"))->trigger();
    EXPECT_TRUE(main->isMaximized());
    main->item(QStringLiteral("N13"))->trigger();
    EXPECT_FALSE(main->isMaximized());
    // The editor's keys run its commands: Ctrl+A selects everything.
    main->editor()->setText("abc");
    main->editor()->setFocus();
    QTest::keyClick(main->editor(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(main->editor()->selectionLength(), 3);
    // F10 is the shortcut of Exit: the window closes.
    main->document().setModified(false);
    QSignalSpy closed(main.get(), &MainWindow::closed);
    QTest::keyClick(main.get(), Qt::Key_F10);
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainTest, RightClickInTheEditorOpensItsPopUpMenu) {
    dir.write("link.dat", "");
    start();
    main->show();
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(20, 20),
                        main->editor()->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(main->editor()->viewport(), &e);
    EXPECT_TRUE(main->editorMenu()->isVisible());
    main->editorMenu()->hide();
}

TEST_F(MainTest, ScreenshotAfterTypingJapanese) {
    dir.write("link.dat", "");
    dir.write(
        "MMEdit.ini",
        "[Application]\r\nToolBar=1\r\n[String]\r\nMaxLength=40\r\n[FontParam]\r\nSize=12\r\n");
    start();
    main->show();
    main->activated();
    type(QStringLiteral("週刊もるもる通信　第１号"));
    QTest::keyClick(main->editor(), Qt::Key_Return);
    type(QStringLiteral("こんにちは。今週は「年末の大掃除」についてお届けします。読者の皆様からのご"
                        "質問にもお答えします。"));
    QApplication::processEvents();
    const QString shots = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(shots);
    main->grab().save(shots + QStringLiteral("/main-window.png"));
    EXPECT_TRUE(main->toolBarArea()->isVisible());
    EXPECT_EQ(panel(StatusPanels::lineTotal),
              QStringLiteral("総行数2")); // 1 line, then 3 wrapped at 40
}

TEST_F(MainTest, UnwritableDefaultSettingsAreReportedAndStartUpGoesOnWithDefaults) {
    dir.write("link.dat", "");
    fileio::testing::setWriteHook([](std::size_t) { return false; }); // the folder refuses writes
    start();
    fileio::testing::setWriteHook({});
    ASSERT_GE(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("MMEdit.ini を作成できません")));
    EXPECT_EQ(settings.global.lineWidth, 80);
    EXPECT_EQ(main->editor()->editArea().lineLength(), 80);
    EXPECT_EQ(dialogs.boxes.size(), 1u); // the later steps ran: link.dat was read
}

namespace {
// Whether the label's text fits inside its frame.
::testing::AssertionResult shownWhole(const StatusPanel* l) {
    const QMargins frame = l->contentsMargins();
    const int needed = l->fontMetrics().horizontalAdvance(l->text()) + frame.left() + frame.right();
    if (l->width() >= needed) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << l->text().toStdString() << ": " << l->width() << " px wide, needs " << needed;
}
} // namespace

TEST_F(MainTest, LargeTotalsAreShownWhole) {
    dir.write("link.dat", "");
    start();
    main->show();
    std::string big;
    for (int i = 0; i < 12000; ++i)
        big += "0123456789\r\n"; // 12,000 lines, 144,000 characters
    main->editor()->setText(big);
    QApplication::processEvents();
    for (const auto panel : {StatusPanels::lineTotal, StatusPanels::characterTotal})
        EXPECT_TRUE(shownWhole(main->statusPanels().label(panel)));
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=144000"));
}

TEST_F(MainTest, SevenDigitTotalsAreShownWhole) {
    dir.write("link.dat", "");
    start();
    main->show();
    QApplication::processEvents();
    std::string big;
    big.reserve(3600000);
    for (int i = 0; i < 1200000; ++i)
        big += "0\r\n"; // 1,200,000 lines, 3,600,000 characters
    main->editor()->setText(big);
    QApplication::processEvents();
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=3600000"));
    EXPECT_EQ(panel(StatusPanels::lineTotal).size(), 10); // 総行数 and seven digits
    for (int p = 0; p < StatusPanels::kPanelCount; ++p)
        EXPECT_TRUE(shownWhole(main->statusPanels().label(static_cast<StatusPanels::Panel>(p))));
    EXPECT_GE(main->width(), 542);
}

TEST_F(MainTest, StatusPanelsNeverOverlapInANarrowWindow) {
    dir.write("link.dat", "");
    start();
    // A window manager may make the window narrower than it asks for.
    main->setMinimumSize(1, 1);
    main->show();
    main->editor()->setText(std::string(200000, 'x'));
    main->resize(120, 300);
    QApplication::processEvents();
    ASSERT_LT(main->width(), 200);
    for (int p = 0; p + 1 < StatusPanels::kPanelCount; ++p) {
        const QRect a = main->statusPanels().label(static_cast<StatusPanels::Panel>(p))->geometry();
        const QRect b =
            main->statusPanels().label(static_cast<StatusPanels::Panel>(p + 1))->geometry();
        EXPECT_FALSE(a.intersects(b)) << p;
        EXPECT_LE(a.right(), b.left()) << p;
    }
}

namespace {
// Counts the layout requests a widget receives.
struct LayoutRequests : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};
} // namespace

TEST_F(MainTest, ACountWithAsManyDigitsRepaintsItsPanelWithoutANewLayout) {
    dir.write("link.dat", "");
    start();
    main->show();
    type(QStringLiteral("abc"));
    for (int i = 0; i < 3; ++i) // the layouts the first show asked for
        QApplication::processEvents();
    ASSERT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=5"));
    LayoutRequests bar, window;
    main->statusBar()->installEventFilter(&bar);
    main->installEventFilter(&window);
    const int width = main->statusPanels().label(StatusPanels::characterTotal)->width();
    type(QStringLiteral("de"));
    QApplication::processEvents();
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=7"));
    EXPECT_EQ(bar.count, 0);
    EXPECT_EQ(window.count, 0);
    EXPECT_EQ(main->statusPanels().label(StatusPanels::characterTotal)->width(), width);
    main->statusBar()->removeEventFilter(&bar);
    main->removeEventFilter(&window);
}

// The status bar on the screen after keys (its panels repainted alone) is
// the bar as a full paint shows it.
TEST_F(MainTest, PanelsRepaintedAloneLookAsAFullPaintOfTheBar) {
    dir.write("link.dat", "");
    start();
    main->show();
    QApplication::processEvents();
    const char* keys[] = {"a", "bc", "d", "ef"};
    for (const char* k : keys) {
        type(QString::fromUtf8(k));
        QApplication::processEvents();
        const QRect bar(main->statusBar()->mapTo(main.get(), QPoint(0, 0)),
                        main->statusBar()->size());
        const QImage screen = main->screen()
                                  ->grabWindow(main->winId())
                                  .toImage()
                                  .copy(bar)
                                  .convertToFormat(QImage::Format_RGB32);
        const QImage full = main->grab(bar).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(screen, full) << k;
    }
    EXPECT_EQ(panel(StatusPanels::characterTotal), QStringLiteral("総文字数=8"));
}

TEST(StatusPanel, SizesAndDrawsItsTextAsAFramedLabel) {
    // A count of as many digits keeps its measured size; fewer digits do not.
    // In the program's default font and in the main window's (digits after
    // Japanese text are drawn in the font the whole text takes them from).
    const char* texts[] = {"総行数0", "総文字数=3600000",     "総文字数=3600001", "総文字数=12",
                           "",        "送信チェック(計算中)", "送信チェック 61",  "送信チェック 0",
                           "CapsOff"};
    QFont window(fonts::installedFamily(QString::fromUtf8(fonts::kProportional)));
    window.setPixelSize(12);
    for (const QFont& font : {QApplication::font(), window}) {
        StatusPanel panel(0, nullptr);
        QLabel label;
        panel.setFont(font);
        label.setFont(font);
        label.setFrameStyle(QFrame::Panel | QFrame::Sunken);
        for (const char* t : texts) {
            panel.setText(QString::fromUtf8(t));
            label.setText(QString::fromUtf8(t));
            EXPECT_EQ(panel.sizeHint(), label.sizeHint()) << t;
            panel.resize(label.sizeHint() + QSize(10, 4));
            label.resize(panel.size());
            EXPECT_EQ(panel.grab().toImage(), label.grab().toImage())
                << t << " in " << font.family().toStdString();
        }
    }
    // Never narrower than its design width; wider for a longer text.
    StatusPanel narrow(100, nullptr);
    narrow.setText(QStringLiteral("0"));
    EXPECT_EQ(narrow.sizeHint().width(), 100);
    narrow.setText(QString(60, QLatin1Char('0')));
    QLabel label;
    label.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label.setText(narrow.text());
    EXPECT_EQ(narrow.sizeHint().width(), label.sizeHint().width());
    EXPECT_GT(narrow.sizeHint().width(), 100);
}

// A new count repaints the panel from the first piece that changed (a
// count one up: its last digits), and the panel then looks as a fresh paint.
TEST(StatusPanel, ANewCountRepaintsFromItsFirstChangedPiece) {
    StatusPanel panel(0, nullptr);
    panel.setText(QStringLiteral("総文字数=1234567"));
    panel.resize(panel.sizeHint() + QSize(10, 4));
    panel.show();
    QApplication::processEvents();
    PaintedRegion region;
    panel.installEventFilter(&region);
    // Where the repaint starts: at the text's start, after the unchanged
    // "総文字数=", or in the right half (the last digits).
    enum From { start, afterPrefix, rightHalf };
    struct Case {
        const char* text;
        From from;
    };
    const Case cases[] = {
        {"総文字数=1234568", rightHalf}, {"総文字数=1234570", rightHalf},
        {"総文字数=123457", rightHalf},  {"総行数(計算中)", start},
        {"総文字数=8", start},           {"総文字数=9", afterPrefix},
    };
    const int prefix = QFontMetrics(panel.font()).horizontalAdvance(QStringLiteral("総文字数="));
    for (const Case& c : cases) {
        region.painted = QRegion();
        panel.setText(QString::fromUtf8(c.text));
        QApplication::processEvents();
        const QRect painted = region.painted.boundingRect();
        EXPECT_FALSE(painted.isEmpty()) << c.text;
        const int least[] = {panel.contentsRect().left(), prefix / 2, panel.width() / 2};
        if (c.from == start)
            EXPECT_EQ(painted.left(), least[start]) << c.text;
        else
            EXPECT_GT(painted.left(), least[c.from]) << c.text;
        const QImage screen = panel.screen()
                                  ->grabWindow(panel.winId())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(screen, panel.grab().toImage().convertToFormat(QImage::Format_RGB32)) << c.text;
    }
}

// The totals and the send check's count show what they were last told,
// also the same figures again after "being counted".
TEST(StatusPanel, TotalsAndFindingsShowTheirLastFigures) {
    QStatusBar bar;
    StatusPanels panels(&bar);
    MailCheckPanel findings(&bar);
    enum Told { totals, counting, found, foundCounting };
    struct Step {
        Told told;
        std::int64_t a, b; // the lines and characters, or the findings
        const char *lines, *characters, *mail;
    };
    const Step steps[] = {
        {totals, 3, 40, "総行数3", "総文字数=40", "送信チェック 0"},
        {totals, 3, 41, "総行数3", "総文字数=41", "送信チェック 0"},
        {counting, 0, 0, "総行数(計算中)", "総文字数=(計算中)", "送信チェック 0"},
        {totals, 3, 41, "総行数3", "総文字数=41", "送信チェック 0"},
        {totals, 4, 41, "総行数4", "総文字数=41", "送信チェック 0"},
        {found, 2, 0, "総行数4", "総文字数=41", "送信チェック 2"},
        {foundCounting, 2, 0, "総行数4", "総文字数=41", "送信チェック(計算中)"},
        {found, 2, 0, "総行数4", "総文字数=41", "送信チェック 2"},
        {found, 0, 0, "総行数4", "総文字数=41", "送信チェック 0"},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        if (s.told == totals) panels.showTotals({s.a, s.b});
        if (s.told == counting) panels.showCounting();
        if (s.told == found || s.told == foundCounting)
            findings.showFindings(static_cast<std::size_t>(s.a), s.told == found);
        EXPECT_EQ(panels.text(StatusPanels::lineTotal), QString::fromUtf8(s.lines)) << i;
        EXPECT_EQ(panels.text(StatusPanels::characterTotal), QString::fromUtf8(s.characters)) << i;
        EXPECT_EQ(findings.text(), QString::fromUtf8(s.mail)) << i;
        EXPECT_EQ(findings.toolTip(),
                  findings.text() + QStringLiteral(" (クリックすると一覧を開きます)"))
            << i;
    }
}

TEST_F(MainTest, APanelWidensWhenItsCountGainsDigits) {
    dir.write("link.dat", "");
    start();
    main->show();
    QApplication::processEvents();
    StatusPanel* p = main->statusPanels().label(StatusPanels::characterTotal);
    const int before = p->width();
    main->editor()->setText(std::string(3000000, 'x'));
    QApplication::processEvents();
    EXPECT_TRUE(shownWhole(p));
    EXPECT_GT(p->width(), before);
}

TEST_F(MainTest, WindowOpensAtItsDesignSizeWithTheToolBar) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[Application]\r\nToolBar=1\r\n");
    start();
    main->show();
    QApplication::processEvents();
    EXPECT_TRUE(main->toolBarArea()->isVisible());
    EXPECT_EQ(main->size(), QSize(542, 493));
    EXPECT_LE(main->minimumSizeHint().width(), 542);
    // At the design size every button is on its band.
    const auto bands = main->toolBarArea()->findChildren<QToolBar*>();
    EXPECT_EQ(bands.size(), 5);
    for (const QToolBar* band : bands)
        for (QAction* a : band->actions())
            if (!a->isSeparator()) {
                EXPECT_TRUE(band->widgetForAction(a)->isVisible()) << a->objectName().toStdString();
            }
    // Icons of 24 by 24 pixels in buttons of one size (the style's frame
    // around the icon, no padding), side by side, one pixel in from the
    // band's edge; the bands of a row are two pixels apart.
    const QSize button = bands[0]->widgetForAction(bands[0]->actions()[0])->size();
    EXPECT_EQ(button, QSize(29, 29));
    for (const QToolBar* band : bands) {
        EXPECT_EQ(band->iconSize(), QSize(24, 24));
        EXPECT_EQ(band->height(), button.height() + 2) << band->objectName().toStdString();
        int x = 1;
        for (QAction* a : band->actions()) {
            const QWidget* w = band->widgetForAction(a);
            if (a->isSeparator()) {
                x = w->geometry().right() + 1;
                continue;
            }
            EXPECT_EQ(w->geometry(), QRect(QPoint(x, 1), button)) << a->objectName().toStdString();
            x += button.width();
        }
    }
    const QToolBar* first = main->toolBarArea()->findChild<QToolBar*>(QStringLiteral("ToolBar2"));
    const QToolBar* second = main->toolBarArea()->findChild<QToolBar*>(QStringLiteral("ToolBar5"));
    EXPECT_EQ(second->x(), first->geometry().right() + 1 + 2);
    keepScreenshot(main->toolBarArea()->grab().toImage(), "toolbars.png");
    // A narrow window cuts the bands; they never overlap.
    main->resize(200, 493);
    QApplication::processEvents();
    EXPECT_LT(main->width(), 542);
    for (const QToolBar* a : bands)
        for (const QToolBar* b : bands)
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()));
            }
}

TEST_F(MainTest, APositionOffEveryScreenIsBroughtBackOntoThePrimaryScreen) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[DefaultPos]\r\nPosition=1\r\nLeft=5000\r\nTop=5000\r\n");
    start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(main->pos(), screen.center() - QPoint(main->width() / 2, main->height() / 2));
    main->show();
    QApplication::processEvents();
    EXPECT_TRUE(screen.intersects(main->frameGeometry()));
}

TEST_F(MainTest, APositionWithTheTitleBarOnAScreenIsKept) {
    dir.write("link.dat", "");
    dir.write("MMEdit.ini", "[DefaultPos]\r\nPosition=1\r\nLeft=40\r\nTop=30\r\n");
    start();
    EXPECT_EQ(main->pos(), QPoint(40, 30));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Hanging off the right and the bottom, with part of the title bar on the screen.
    dir.write("MMEdit.ini",
              "[DefaultPos]\r\nPosition=1\r\nLeft=" + std::to_string(screen.right() - 100) +
                  "\r\nTop=" + std::to_string(screen.bottom() - 40) + "\r\n");
    start();
    EXPECT_EQ(main->pos(), QPoint(screen.right() - 100, screen.bottom() - 40));
    // Above the top: the title bar cannot be reached.
    dir.write("MMEdit.ini", "[DefaultPos]\r\nPosition=1\r\nLeft=40\r\nTop=-300\r\n");
    start();
    EXPECT_EQ(main->pos(), screen.center() - QPoint(main->width() / 2, main->height() / 2));
}

TEST_F(MainTest, StartUpBoxesAreNotHiddenBehindTheSplashWindow) {
    dir.write("MMEdit.ini", "");
    SplashWindow* splash = new SplashWindow;
    splash->show();
    QApplication::processEvents();
    QtDialogs boxes;
    splash->giveWayTo(boxes);
    bool boxShown = false, splashShown = true;
    closeNextBox([&](QWidget* box) {
        boxShown = box->isVisible();
        splashShown = splash->isVisible();
    });
    // No link.dat: start-up reports it in a real box.
    MainWindow window(settings, boxes, shell, locks, dir.path());
    boxes.setParent(&window);
    window.startUp();
    EXPECT_TRUE(boxShown);
    EXPECT_FALSE(splashShown);
    delete splash;
    // The splash window is gone: later boxes show as before.
    closeNextBox([&](QWidget* box) { boxShown = box->isVisible(); });
    boxShown = false;
    boxes.messageBox(QStringLiteral("t"), QStringLiteral("x"), Dialogs::Icon::Error, Dialogs::Ok);
    EXPECT_TRUE(boxShown);
}

// Once a start-up box has shown, the splash window stays away: hidden when
// it was up, never made when it was not yet.
TEST(StartupSplashBoxTest, AfterABoxTheSplashWindowStaysAway) {
    const struct {
        qint64 atBegin;
        bool shownBeforeBox;
    } cases[] = {{300, true}, {0, false}};
    for (const auto& c : cases) {
        QtDialogs boxes;
        qint64 now = c.atBegin;
        int over = 0; // the splash window's time ends with the box, once
        std::optional<StartupSplash> splash(
            std::in_place, boxes, [&now] { return now; }, 250);
        splash->setWhenOver([&over] { ++over; });
        splash->begin();
        ASSERT_EQ(splash->window() != nullptr, c.shownBeforeBox);
        bool splashShown = true;
        int overAtBox = -1;
        closeNextBox([&](QWidget*) {
            splashShown = splash->window() && splash->window()->isVisible();
            overAtBox = over;
        });
        boxes.messageBox(QStringLiteral("t"), QStringLiteral("x"), Dialogs::Icon::Error,
                         Dialogs::Ok);
        EXPECT_FALSE(splashShown);
        EXPECT_EQ(overAtBox, 1);
        now = 1000;
        splash->reach(SplashWindow::Step::settingsRead);
        EXPECT_FALSE(splash->window() && splash->window()->isVisible());
        splash.reset();
        EXPECT_EQ(over, 1);
    }
}

TEST(QtDialogsTest, ABoxWithoutAVisibleParentIsCentredOnThePrimaryScreen) {
    QWidget hidden;
    hidden.resize(200, 100);
    QtDialogs boxes(&hidden);
    QRect shown;
    closeNextBox([&](QWidget* box) { shown = box->geometry(); });
    boxes.messageBox(QStringLiteral("MMEdit"), QStringLiteral("MMEdit.ini を作成できません."),
                     Dialogs::Icon::Error, Dialogs::Ok);
    ASSERT_TRUE(shown.isValid());
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((shown.center() - centre).manhattanLength(), 4)
        << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
    // Without any parent as well.
    QtDialogs orphan;
    shown = {};
    closeNextBox([&](QWidget* box) { shown = box->geometry(); });
    orphan.messageBox(QStringLiteral("MMEdit"), QStringLiteral("x"), Dialogs::Icon::None,
                      Dialogs::Ok);
    EXPECT_LE((shown.center() - centre).manhattanLength(), 4);
}

TEST(QtDialogsTest, BoxTextCanBeSelectedForCopying) {
    QtDialogs boxes;
    Qt::TextInteractionFlags flags;
    closeNextBox([&](QWidget* box) {
        if (auto* m = qobject_cast<QMessageBox*>(box)) flags = m->textInteractionFlags();
    });
    boxes.messageBox(QStringLiteral("MMEdit"), QStringLiteral("https://www.mag2.com/"),
                     Dialogs::Icon::Warning, Dialogs::Ok);
    EXPECT_TRUE(flags & Qt::TextSelectableByMouse);
}

TEST(Application, WindowTitlesAreExactlyTheProgramsOwn) {
    const QString name = QCoreApplication::applicationName();
    setUpApplication();
    EXPECT_EQ(QCoreApplication::applicationName(),
              QStringLiteral("「もるもる」メールマガジンエディタ"));
    // The platform appends a non-empty display name to every window title.
    EXPECT_TRUE(QGuiApplication::applicationDisplayName().isEmpty());
    QCoreApplication::setApplicationName(name);
}

TEST_F(MainTest, NoMenuItemOrToolButtonIsLeftWithoutACommand) {
    dir.write("link.dat", "");
    start();
    int items = 0;
    for (QAction* a : main->findChildren<QAction*>()) {
        if (a->objectName().isEmpty() || a->menu() || a->isSeparator()) continue;
        if (a->objectName() == QLatin1String("Dummy")) continue; // hidden, never chosen
        ++items;
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_GE(items, 85); // menus, pop-up and icon menus, tool buttons
}

// Every key does one thing. The window's keys (its items' shortcuts, a pop-up
// item only repeating its menu item's key, and its own shortcuts) are bound
// once each; the editor's key table binds each of its keys once and takes
// none of the window's but Ctrl+A, which selects all in both.
TEST_F(MainTest, EveryKeyIsBoundOnce) {
    dir.write("link.dat", "");
    start();
    std::set<QAction*> actions;
    for (QAction* a : main->findChildren<QAction*>())
        actions.insert(a);
    std::vector<QMenu*> menus{main->editorMenu(), main->trayMenu()};
    for (QAction* a : main->menuBar()->actions())
        menus.push_back(a->menu());
    while (!menus.empty()) {
        QMenu* m = menus.back();
        menus.pop_back();
        for (QAction* a : m->actions()) {
            actions.insert(a);
            if (a->menu()) menus.push_back(a->menu());
        }
    }
    auto text = [](const QKeySequence& k) {
        return k.toString(QKeySequence::PortableText).toStdString();
    };
    std::map<std::string, std::vector<std::string>> window;
    for (QAction* a : actions)
        if (a->shortcutContext() != Qt::WidgetShortcut)
            for (const QKeySequence& k : a->shortcuts())
                window[text(k)].push_back(a->objectName().toStdString());
    for (QShortcut* s : main->findChildren<QShortcut*>())
        for (const QKeySequence& k : s->keys())
            window[text(k)].push_back("(shortcut)");
    const std::map<std::string, std::vector<std::string>> expected = {
        {"F1", {"Help2"}},           {"F2", {"Open1"}},          {"F3", {"Save1"}},
        {"F4", {"SaveAs1"}},         {"F10", {"Exit1"}},         {"Ctrl+P", {"Print1"}},
        {"Ctrl+L", {"CopyToClip1"}}, {"Ctrl+D", {"(shortcut)"}}, {"Ctrl+A", {"SelectAll1"}},
        {"Ctrl+F", {"Find1"}},       {"Ctrl+R", {"Replace1"}},   {"Ctrl+T", {"Title1"}},
        {"Ctrl+E", {"MailAddress"}}, {"Ctrl+U", {"URL1"}},       {"Ctrl+N", {"Names"}},
        {"Ctrl+B", {"Days"}},        {"Ctrl+Y", {"Days2"}},      {"Ctrl+W", {"Palette1"}},
        {"Ctrl+K", {"face1"}},       {"Ctrl+H", {"N27"}},
    };
    EXPECT_EQ(window, expected);

    std::map<std::string, std::vector<EditorCommand>> table;
    for (const KeyBinding& b : editorKeyTable())
        table[text(QKeySequence(b.keys))].push_back(b.command);
    for (const auto& [key, commands] : table) {
        EXPECT_EQ(commands.size(), 1u) << key;
        if (window.count(key)) {
            EXPECT_EQ(key, "Ctrl+A");
        }
    }
    EXPECT_EQ(table.count("Ctrl+Y"), 0u);
    EXPECT_EQ(table["Ctrl+Shift+Z"], std::vector{EditorCommand::redo});
    EXPECT_EQ(table["Ctrl+Z"], std::vector{EditorCommand::undo});
}

TEST_F(MainTest, CtrlYInsertsTheLaunchDateAndCtrlShiftZRedoes) {
    dir.write("link.dat", "");
    start();
    settings.document.launchDay = sj("2001年4月1日");
    main->show();
    QApplication::setActiveWindow(main.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    EditingArea* e = main->editor();
    e->setFocus();
    e->setText("ab");
    e->setSelectionStart(1);
    QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(e->text(), sj("a2001年4月1日b"));
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->text(), "ab");
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(e->text(), sj("a2001年4月1日b"));
}
