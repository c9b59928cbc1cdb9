// The settings dialogs as the main window opens and uses them.
#include "mainwindowtest.h"

#include "app/settingscommands.h"
#include "platform/help.h"

#include "settings/profile.h"
#include "settingsdialogs/basicsettingsdialog.h"
#include "settingsdialogs/cp932lineedit.h"
#include "settingsdialogs/overallsettingsdialog.h"
#include "support/guards.h"
#include "support/sjis.h"
#include "text/cp932.h"
#include "text/fileio.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}
struct SettingsCommandsTest : MainWindowTest {
    SettingsCommandsTest() { dir.write("link.dat", ""); }

    // Starts the program (again) on the test folder.
    void start() {
        startWindow();
        main->show();
    }
    SettingsState& s() { return settings; }
    SettingsCommands& commands() { return main->settingsDialogs(); }
    QDialog* basic() { return main->findChild<QDialog*>(QStringLiteral("TCustom")); }
    QDialog* overall() { return main->findChild<QDialog*>(QStringLiteral("TAllCustom")); }
    template <class T> T* child(QWidget* w, const char* name) {
        T* c = w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_TRUE(c) << name;
        return c;
    }
    Cp932LineEdit* box(QWidget* w, const char* name) { return child<Cp932LineEdit>(w, name); }
    QScrollBar* bar(QWidget* w, const char* name) { return child<QScrollBar>(w, name); }
    QCheckBox* check(QWidget* w, const char* name) { return child<QCheckBox>(w, name); }
    void click(QWidget* w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    void replaceText(Cp932LineEdit* b, const QString& text) {
        b->setFocus();
        b->selectAll();
        QTest::keyClick(b, Qt::Key_Delete);
        for (const QChar c : text) {
            QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(b, &e);
        }
    }
    std::string file() const { return dir.read("MMEdit.ini"); }
    bool fileHas(const std::string& line) const {
        return file().find("\r\n" + line + "\r\n") != std::string::npos;
    }
    int visibleHistoryItems() const {
        int n = 0;
        for (int k = 0; k < kHistorySlots; ++k)
            n += main->historyItem(k)->isVisible() ? 1 : 0;
        return n;
    }
};

TEST_F(SettingsCommandsTest, MenuItemsAndToolButtonOpenTheDialogsBesideAUsableMainWindow) {
    start();
    for (const char* name : {"NormalSet2", "AllNormalSet", "SpeedButton49"})
        EXPECT_TRUE(main->item(QString::fromLatin1(name))->isEnabled()) << name;

    main->item(QStringLiteral("NormalSet2"))->trigger();
    ASSERT_TRUE(basic());
    EXPECT_TRUE(basic()->isVisible());
    EXPECT_TRUE(main->isVisible()); // the Edit menu's command leaves it shown
    click(basic(), "Button2");
    EXPECT_FALSE(basic()->isVisible());

    main->item(QStringLiteral("AllNormalSet"))->trigger();
    ASSERT_TRUE(overall());
    EXPECT_TRUE(overall()->isVisible());
    overall()->close();
    EXPECT_FALSE(overall()->isVisible());
    main->item(QStringLiteral("SpeedButton49"))->trigger();
    EXPECT_TRUE(overall()->isVisible());

    // Not modal, and above the main window: its window is the dialog's
    // transient parent.
    EXPECT_FALSE(overall()->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_TRUE(overall()->windowHandle());
    EXPECT_EQ(overall()->windowHandle()->transientParent(), main->windowHandle());
    // The main window goes on taking typing meanwhile.
    type(u("本文"));
    EXPECT_EQ(main->document().all(), sj("本文"));
    EXPECT_TRUE(overall()->isVisible());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsCommandsTest, NewDocumentValuesConfirmedReachTheDocumentAndTheEditorOnly) {
    start();
    const NewsletterValues global = s().global;
    const std::string before = file();
    commands().showBasicSettings(true);
    EXPECT_FALSE(main->isVisible());
    ASSERT_TRUE(basic()->isVisible());
    replaceText(box(basic(), "Edit1"), u("創刊準備号"));
    bar(basic(), "ScrollBar1")->setValue(40);
    click(basic(), "Button1");

    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(basic()->isVisible());
    EXPECT_EQ(s().document.title, sj("創刊準備号"));
    EXPECT_EQ(documentField(1, s().document), sj("創刊準備号"));
    EXPECT_EQ(s().document.lineWidth, 40);
    EXPECT_EQ(s().global, global);
    EXPECT_EQ(file(), before);
    // The editor wraps at 40 at once.
    EXPECT_EQ(main->editor()->editArea().lineLength(), 40);
    type(QString(50, QLatin1Char('a')));
    EXPECT_EQ(main->editor()->lineCount(), 2);
    EXPECT_EQ(main->editor()->lineStart(1), 40);
    // And still takes the document's total.
    EXPECT_EQ(main->editor()->maxLength(), s().document.maxChars);
}

TEST_F(SettingsCommandsTest,
       CancelledOrClosedTheDocumentHasTheStandingValuesAndTheWindowComesBack) {
    start();
    commands().showBasicSettings(true);
    replaceText(box(basic(), "Edit1"), u("やめる"));
    replaceText(box(basic(), "Edit5"), u("ID-1"));
    click(basic(), "Button1"); // the document gets its own ID and title
    EXPECT_EQ(s().document.magazineId, "ID-1");

    for (int way = 0; way < 3; ++way) {
        commands().showBasicSettings(true);
        EXPECT_FALSE(main->isVisible());
        replaceText(box(basic(), "Edit1"), u("取り消す"));
        if (way == 0) click(basic(), "Button2");
        if (way == 1) basic()->close();
        if (way == 2) QTest::keyClick(basic(), Qt::Key_Escape);
        EXPECT_TRUE(main->isVisible()) << way;
        EXPECT_FALSE(basic()->isVisible()) << way;
        NewsletterValues expected = s().global;
        expected.magazineId = "ID-1";
        EXPECT_EQ(s().document, expected) << way;
    }
}

TEST_F(SettingsCommandsTest, EachOpeningShowsTheStandingValuesButTheLastConfirmedMagazineId) {
    start();
    main->item(QStringLiteral("NormalSet2"))->trigger();
    EXPECT_EQ(box(basic(), "Edit1")->text(), u("タイトル"));
    EXPECT_EQ(box(basic(), "Edit5")->text(), QString()); // empty until confirmed here
    replaceText(box(basic(), "Edit1"), u("一度目"));
    replaceText(box(basic(), "Edit5"), u("M-77"));
    bar(basic(), "ScrollBar1")->setValue(30);
    click(basic(), "Button1");
    main->item(QStringLiteral("NormalSet2"))->trigger();
    EXPECT_EQ(box(basic(), "Edit1")->text(), u("タイトル"));
    EXPECT_EQ(bar(basic(), "ScrollBar1")->value(), 80);
    EXPECT_EQ(child<QLineEdit>(basic(), "Edit10")->text(), u("80"));
    EXPECT_EQ(box(basic(), "Edit5")->text(), u("M-77"));
}

TEST_F(SettingsCommandsTest, OverallWidthFortyIsWrittenCopiedAndWrapsAtOnce) {
    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    bar(overall(), "ScrollBar1")->setValue(40);
    click(overall(), "Button1");
    EXPECT_FALSE(overall()->isVisible());
    EXPECT_TRUE(fileHas("MaxLength=40"));
    const ProfileFile ini = ProfileFile::load(s().settingsPath);
    EXPECT_EQ(ini.readInt("String", "MaxLength", 0), 40);
    EXPECT_EQ(s().global.lineWidth, 40);
    EXPECT_EQ(s().newDocument.lineWidth, 40);
    EXPECT_EQ(s().document.lineWidth, 40);
    EXPECT_EQ(main->editor()->editArea().lineLength(), 40);
    type(QString(45, QLatin1Char('b')));
    EXPECT_EQ(main->editor()->lineStart(1), 40);
}

TEST_F(SettingsCommandsTest, BackupBoxIsStoredAndShownAgainWithTheInputMethodBoxAsItsOwn) {
    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    // The default file has IMESwitch=1 and BackUp=1.
    EXPECT_TRUE(check(overall(), "CheckBox8")->isChecked());
    check(overall(), "CheckBox10")->setChecked(false);
    check(overall(), "CheckBox8")->setChecked(false);
    click(overall(), "Button1");
    EXPECT_EQ(s().options.makeBackup, 0);
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    check(overall(), "CheckBox10")->setChecked(true);
    click(overall(), "Button1");
    EXPECT_EQ(s().options.makeBackup, 1);
    EXPECT_EQ(s().options.imeOnAtStart, 0);
    EXPECT_TRUE(fileHas("BackUp=1"));
    EXPECT_TRUE(fileHas("IMESwitch=0"));
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    EXPECT_TRUE(check(overall(), "CheckBox10")->isChecked());
    EXPECT_FALSE(check(overall(), "CheckBox8")->isChecked());
}

TEST_F(SettingsCommandsTest, AStoredLineWidthOfTwoHundredShowsUntilOkStoresTheBar) {
    dir.write("MMEdit.ini", "[String]\r\nMaxLength=200\r\n");
    start();
    main->item(QStringLiteral("SpeedButton49"))->trigger();
    EXPECT_EQ(child<QLineEdit>(overall(), "Edit10")->text(), u("200"));
    EXPECT_EQ(bar(overall(), "ScrollBar1")->value(), 80);
    click(overall(), "Button1");
    EXPECT_TRUE(fileHas("MaxLength=80"));
    EXPECT_EQ(s().document.lineWidth, 80);
}

TEST_F(SettingsCommandsTest, CancelKeepsTheTypedTitleForTheNextShowingAndStoresNothing) {
    start();
    const std::string before = file();
    const NewsletterValues global = s().global;
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    replaceText(box(overall(), "Edit1"), u("書きかけ"));
    click(overall(), "Button2");
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(s().global, global);
    EXPECT_EQ(file(), before);
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    EXPECT_EQ(box(overall(), "Edit1")->text(), u("書きかけ"));
}

TEST_F(SettingsCommandsTest, ClearingTheHistoryThenCancelLeavesNoPathForTheNextSave) {
    std::string ini = "[FileHistry]\r\nSwitch=1\r\nNumber=3\r\n";
    for (int k = 1; k <= 3; ++k)
        ini += std::to_string(k) + "=" + dir.file("vol" + std::to_string(k) + ".txt") + "\r\n";
    dir.write("MMEdit.ini", ini);
    start();
    EXPECT_EQ(visibleHistoryItems(), 3);
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    click(overall(), "Button4");
    EXPECT_EQ(visibleHistoryItems(), 0);
    click(overall(), "Button2");
    EXPECT_EQ(s().options.historyCount, 0);
    EXPECT_EQ(visibleHistoryItems(), 0);
    s().save(main->settingsFont()); // the next save, whoever makes it
    EXPECT_TRUE(fileHas("Number=0"));
    EXPECT_EQ(file().find(dir.path()), std::string::npos);
    for (int k = 1; k <= 10; ++k)
        EXPECT_TRUE(fileHas(std::to_string(k) + "=")) << k;
}

TEST_F(SettingsCommandsTest, AfterClearingAFileOnceListedAndANewOneComeBackTheSame) {
    for (const bool wasListed : {true, false}) {
        std::string ini = "[FileHistry]\r\nSwitch=1\r\nNumber=3\r\n";
        for (int k = 1; k <= 3; ++k)
            ini += std::to_string(k) + "=" + dir.file("vol" + std::to_string(k) + ".txt") + "\r\n";
        dir.write("MMEdit.ini", ini);
        start();
        main->item(QStringLiteral("AllNormalSet"))->trigger();
        click(overall(), "Button4");
        click(overall(), "Button1");
        // Opening a file adds it to the list as the document commands do.
        const std::string opened = dir.file(wasListed ? "vol3.txt" : "new.txt");
        s().addToHistory(opened);
        main->updateHistoryMenu();
        EXPECT_EQ(s().options.historyCount, 1) << wasListed;
        EXPECT_EQ(visibleHistoryItems(), 1) << wasListed;
        EXPECT_EQ(main->historyItem(0)->text(), u("1:") + QString::fromStdString(opened));
        EXPECT_EQ(s().options.history[1], "") << wasListed;
    }
}

TEST_F(SettingsCommandsTest, AFailedWriteIsReportedAndTheDialogKeepsWhatWasTyped) {
    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    replaceText(box(overall(), "Edit2"), u("new@example.jp"));
    {
        HookGuard reset([] { fileio::testing::setWriteHook({}); });
        fileio::testing::setWriteHook([](std::size_t) { return false; });
        click(overall(), "Button1");
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.boxes[0].text,
              u("ファイル ") + QString::fromStdString(s().settingsPath) + u(" を作成できません."));
    EXPECT_TRUE(overall()->isVisible());
    EXPECT_EQ(box(overall(), "Edit2")->text(), u("new@example.jp"));
    EXPECT_EQ(s().global.authorMail, sj("メールアドレス"));
}

TEST_F(SettingsCommandsTest, HelpOpensTheSettingsTopic) {
    std::filesystem::create_directory(dir.file("help"));
    dir.write("help/index.html", "<html></html>");
    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    click(overall(), "Button5");
    ASSERT_NE(HelpWindow::current(), nullptr);
    EXPECT_EQ(HelpWindow::current()->browser()->source().fragment(), u("settings"));
    HelpWindow::current()->browser()->setSource(QUrl());
    main->item(QStringLiteral("NormalSet2"))->trigger();
    click(basic(), "Button3");
    EXPECT_EQ(HelpWindow::current()->browser()->source().fragment(), u("settings"));
    EXPECT_EQ(HelpWindow::current()->parentWidget(), main.get());
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(SettingsCommandsTest, EverySettingShownSurvivesOkAndARestart) {
    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    QDialog* d = overall();
    const std::pair<const char*, const char*> texts[] = {
        {"Edit1", "毎週のメルマガ①"}, {"Edit2", "a@b.jp"},  {"Edit3", "https://b.jp/～"},
        {"Edit4", "ｶﾀｶﾅ 名"},         {"Edit5", "/srv/号"}, {"Edit7", "隔週"},
        {"Edit8", "2024年4月1日"},    {"Edit11", "ID:42"}};
    for (const auto& [name, text] : texts)
        replaceText(box(d, name), u(text));
    bar(d, "ScrollBar1")->setValue(36);
    bar(d, "ScrollBar2")->setValue(777);
    bar(d, "ScrollBar3")->setValue(6);
    const char* boxes[] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4",  "CheckBox5",
                           "CheckBox6", "CheckBox7", "CheckBox8", "CheckBox10", "CheckBox11"};
    // Every other box on, the rest off.
    for (std::size_t k = 0; k < std::size(boxes); ++k)
        check(d, boxes[k])->setChecked(k % 2 == 0);
    click(d, "Button1");
    ASSERT_TRUE(dialogs.boxes.empty());

    start();
    main->item(QStringLiteral("AllNormalSet"))->trigger();
    d = overall();
    for (const auto& [name, text] : texts)
        EXPECT_EQ(box(d, name)->text(), u(text)) << name;
    EXPECT_EQ(bar(d, "ScrollBar1")->value(), 36);
    EXPECT_EQ(child<QLineEdit>(d, "Edit10")->text(), u("36"));
    EXPECT_EQ(bar(d, "ScrollBar2")->value(), 777);
    EXPECT_EQ(child<QLineEdit>(d, "Edit9")->text(), u("777"));
    EXPECT_EQ(bar(d, "ScrollBar3")->value(), 6);
    EXPECT_EQ(child<QLineEdit>(d, "Edit6")->text(), u("6"));
    for (std::size_t k = 0; k < std::size(boxes); ++k)
        EXPECT_EQ(check(d, boxes[k])->isChecked(), k % 2 == 0) << boxes[k];
    // And the program runs with them.
    EXPECT_EQ(main->editor()->editArea().lineLength(), 36);
    EXPECT_EQ(main->editor()->maxLength(), 777);
    EXPECT_EQ(s().document.title, sj("毎週のメルマガ①"));
}

} // namespace
