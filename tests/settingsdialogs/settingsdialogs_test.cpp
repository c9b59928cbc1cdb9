#include "platform/help.h"
#include "settingsdialogs/basicsettingsdialog.h"
#include "settingsdialogs/cp932lineedit.h"
#include "settingsdialogs/overallsettingsdialog.h"

#include "support/guards.h"
#include "support/scripted.h"
#include "support/sjis.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/fileio.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}
// The filter's verdicts, checked against what a box must never do.
TEST(FilterEdit, RandomEditsKeepEveryRuleOfTheBox) {
    const QString pool[] = {u("a"),  u("Z"),  u("あ"), u("漢"), u("ｱ"),  u("😀"), u("\n"),
                            u("\r"), u("\t"), u("①"),  u("ß"),  u("～"), u(" ")};
    std::mt19937 rng(1234);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (const LimitUnit unit : {LimitUnit::characters, LimitUnit::bytes}) {
        for (const int limit : {0, 1, 2, 7, 25}) {
            QString text;
            for (int step = 0; step < 3000; ++step) {
                // An edit: a range replaced by a few pieces, the cursor after them.
                const int from = pick(static_cast<int>(text.size()) + 1);
                const int to = from + pick(static_cast<int>(text.size()) - from + 1);
                QString inserted;
                for (int k = pick(4); k > 0; --k)
                    inserted += pool[pick(std::size(pool))];
                // Never cut a pair apart in the model either.
                if ((from > 0 && text[from - 1].isHighSurrogate()) ||
                    (to < text.size() && text[to].isLowSurrogate()))
                    continue;
                const QString after = text.left(from) + inserted + text.mid(to);
                const int cursor = from + static_cast<int>(inserted.size());
                const FilteredEdit r = filterEdit(text, after, cursor, limit, unit);

                ASSERT_GE(r.cursor, 0);
                ASSERT_LE(r.cursor, r.text.size());
                const bool insertsBad = !cp932::encode(inserted).ok();
                const QString oneLine = [&] {
                    QString s;
                    for (QChar c : inserted) {
                        if (c == u'\r' || c == u'\n') break;
                        if (c.unicode() >= 0x20) s += c;
                    }
                    return s;
                }();
                if (insertsBad && !cp932::encode(oneLine).ok()) {
                    // Refused whole, and told.
                    ASSERT_EQ(r.text, text);
                    ASSERT_FALSE(r.refusedChars.empty());
                } else {
                    ASSERT_TRUE(r.refusedChars.empty());
                    // Always representable, never a control character.
                    ASSERT_TRUE(cp932::encode(r.text).ok());
                    for (QChar c : r.text)
                        ASSERT_GE(c.unicode(), 0x20);
                    // The kept part of the insertion is a prefix of it, whole
                    // characters only; what stood around it stays.
                    ASSERT_TRUE(r.text.startsWith(text.left(from)));
                    ASSERT_TRUE(r.text.endsWith(text.mid(to)));
                    const QString kept =
                        r.text.mid(from, r.text.size() - from - (text.size() - to));
                    ASSERT_EQ(oneLine.left(kept.size()), kept)
                        << "'" << text.toStdString() << "' [" << from << "," << to << ") <- "
                        << inserted.toStdString() << " = '" << r.text.toStdString() << "'";
                    ASSERT_EQ(r.cut, kept.size() < oneLine.size());
                    if (limit > 0) {
                        ASSERT_LE(measureText(r.text, unit),
                                  std::max(limit, measureText(text, unit)));
                    }
                    if (r.cut) {
                        // Nothing more would have fitted.
                        const QString more =
                            text.left(from) + oneLine.left(kept.size() + 1) + text.mid(to);
                        ASSERT_GT(measureText(more, unit),
                                  std::max(limit, measureText(text, unit)));
                    }
                }
                text = r.text;
            }
        }
    }
}

TEST(FilterEdit, ByteLimitNeverSplitsADoubleByteCharacter) {
    const QString base(79, QLatin1Char('a'));
    // 79 bytes and a double-byte character would be 81: refused.
    FilteredEdit r = filterEdit(base, base + u("あ"), 80, 80, LimitUnit::bytes);
    EXPECT_EQ(r.text, base);
    EXPECT_TRUE(r.cut);
    // A single-byte one still fits.
    r = filterEdit(base, base + u("bあ"), 81, 80, LimitUnit::bytes);
    EXPECT_EQ(r.text, base + u("b"));
    EXPECT_EQ(r.cursor, 80);
    // Half-width katakana is one byte.
    r = filterEdit(base, base + u("ｱ"), 80, 80, LimitUnit::bytes);
    EXPECT_EQ(r.text, base + u("ｱ"));
    EXPECT_FALSE(r.cut);
}

TEST(FilterEdit, ATextLongerThanTheLimitMayShrinkButNotGrow) {
    const QString longText(30, QChar(u'あ'));
    // Deleting is allowed.
    EXPECT_EQ(filterEdit(longText, longText.left(29), 29, 25, LimitUnit::characters).text,
              longText.left(29));
    // Typing at the end is not.
    EXPECT_EQ(filterEdit(longText, longText + u("x"), 31, 25, LimitUnit::characters).text,
              longText);
    // Replacing a selection keeps at most the old length.
    const QString replaced = longText.left(10) + u("xyz") + longText.mid(12);
    EXPECT_EQ(filterEdit(longText, replaced, 13, 25, LimitUnit::characters).text,
              longText.left(10) + u("xy") + longText.mid(12));
}

TEST(FilterEdit, RefusedCharactersAreNamedOnce) {
    const FilteredEdit r = filterEdit(u("ab"), u("a😀x😀🍣b"), 6, 0, LimitUnit::bytes);
    EXPECT_EQ(r.text, u("ab"));
    EXPECT_EQ(refusedCharactersMessage(r.refusedChars),
              u("Shift-JIS で表せない文字があるため入力できません: 😀 🍣"));
}

// What the dialogs asked of the main window.
struct FakeHost : SettingsDialogHost {
    int applied = 0, historyShown = 0, mainShown = 0;
    SettingsFont font{sj("ＭＳ ゴシック"), 9, 0};
    void applyDocumentValues() override { ++applied; }
    void updateHistoryMenu() override { ++historyShown; }
    void showMainWindow() override { ++mainShown; }
    SettingsFont editorFont() const override { return font; }
};

struct DialogTest : ::testing::Test {
    TempDir dir;
    SettingsState s;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    FakeHost host;

    DialogTest() {
        s.setProgramFolder(dir.path());
        NewsletterValues v;
        v.title = sj("週刊テスト");
        v.authorMail = "me@example.jp";
        v.homeUrl = "http://example.jp/";
        v.authorName = sj("著者");
        v.issueDay = sj("毎週");
        v.launchDay = sj("2001年");
        v.saveFolder = "/tmp/issues";
        v.lineWidth = 72;
        v.maxChars = 20000;
        v.magazineId = "0001";
        s.global = v;
        s.copyGlobalToDocument();
        s.copyGlobalToNewDocument();
    }
    template <class T> T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(c) << name;
        return c;
    }
    Cp932LineEdit* box(QWidget* w, const char* name) { return child<Cp932LineEdit>(w, name); }
    QScrollBar* bar(QWidget* w, const char* name) { return child<QScrollBar>(w, name); }
    QLineEdit* edit(QWidget* w, const char* name) { return child<QLineEdit>(w, name); }
    void click(QWidget* w, const char* name) {
        QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
    }
    // Types text key by key, as a keyboard with an input method would.
    static void type(QWidget* w, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &e);
        }
    }
    // Commits text through the input method, as an emoji palette would.
    static void commit(QWidget* w, const QString& text) {
        w->setFocus();
        QInputMethodEvent e;
        e.setCommitString(text);
        QApplication::sendEvent(w, &e);
        QApplication::processEvents();
    }
};

// --- the basic settings dialog ------------------------------------------------

TEST_F(DialogTest, BasicDialogShowsTheNewDocumentValuesAndConfirmsThemIntoTheDocument) {
    s.newDocument.magazineId = "ID-NEW";
    BasicSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(d.objectName(), u("TCustom"));
    EXPECT_EQ(d.windowTitle(), u("基本設定"));
    EXPECT_EQ(box(&d, "Edit1")->text(), u("週刊テスト"));
    EXPECT_EQ(box(&d, "Edit2")->text(), u("me@example.jp"));
    EXPECT_EQ(box(&d, "Edit3")->text(), u("http://example.jp/"));
    EXPECT_EQ(box(&d, "Edit4")->text(), u("著者"));
    EXPECT_EQ(box(&d, "Edit5")->text(), u("ID-NEW"));
    EXPECT_EQ(box(&d, "Edit7")->text(), u("毎週"));
    EXPECT_EQ(box(&d, "Edit8")->text(), u("2001年"));
    EXPECT_EQ(edit(&d, "Edit10")->text(), u("72"));
    EXPECT_EQ(bar(&d, "ScrollBar1")->value(), 72);
    EXPECT_EQ(edit(&d, "Edit9")->text(), u("20000"));
    EXPECT_EQ(bar(&d, "ScrollBar2")->value(), 20000);

    d.showDialog();
    box(&d, "Edit1")->setFocus();
    box(&d, "Edit1")->selectAll();
    type(box(&d, "Edit1"), u("新しい号"));
    bar(&d, "ScrollBar1")->setValue(40);
    EXPECT_EQ(edit(&d, "Edit10")->text(), u("40"));
    s.document.saveFolder = "/doc/own";
    const NewsletterValues global = s.global;
    click(&d, "Button1");

    EXPECT_EQ(s.newDocument.title, sj("新しい号"));
    EXPECT_EQ(s.newDocument.lineWidth, 40);
    EXPECT_EQ(s.document.title, sj("新しい号"));
    EXPECT_EQ(s.document.lineWidth, 40);
    EXPECT_EQ(s.document.maxChars, 20000);
    EXPECT_EQ(s.document.magazineId, "ID-NEW");
    EXPECT_EQ(s.document.saveFolder, "/doc/own"); // the document keeps its folder
    EXPECT_EQ(s.global, global);
    EXPECT_EQ(host.applied, 1);
    EXPECT_EQ(host.mainShown, 1);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(fileio::exists(s.settingsPath)); // nothing is written
}

TEST_F(DialogTest, BasicDialogCancelCloseAndEscapeOnlyShowTheMainWindow) {
    BasicSettingsDialog d(s, dialogs, shell, host);
    const NewsletterValues doc = s.document, newDoc = s.newDocument;
    d.showDialog();
    box(&d, "Edit1")->setText(u("変えた"));
    click(&d, "Button2");
    EXPECT_FALSE(d.isVisible());
    d.showDialog();
    d.close();
    EXPECT_FALSE(d.isVisible());
    d.showDialog();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(host.mainShown, 3);
    EXPECT_EQ(host.applied, 0);
    EXPECT_EQ(s.document, doc);
    EXPECT_EQ(s.newDocument, newDoc);
}

TEST_F(DialogTest, BasicTitleTakesTwentyFiveCharactersFromTypingButShowsALongerStoredOne) {
    BasicSettingsDialog d(s, dialogs, shell, host);
    Cp932LineEdit* title = box(&d, "Edit1");
    d.showDialog();
    title->setFocus();
    title->clear();
    type(title, QString(26, QChar(u'あ')));
    EXPECT_EQ(title->text(), QString(25, QChar(u'あ')));
    // Characters, not bytes: 25 single-byte ones as well.
    title->clear();
    type(title, QString(30, QLatin1Char('x')));
    EXPECT_EQ(title->text().size(), 25);

    // A standing title of 40 characters is shown and confirmed whole.
    s.newDocument.title =
        sj("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十");
    d.fill();
    EXPECT_EQ(title->text().size(), 40);
    title->end(false);
    type(title, u("x"));
    EXPECT_EQ(title->text().size(), 40);
    click(&d, "Button1");
    EXPECT_EQ(s.document.title, s.newDocument.title);
    EXPECT_EQ(cp932::decode(s.document.title).size(), 40);
}

TEST_F(DialogTest, BarsHoldTheirRangesWhileTheNumberShowsTheStoredValueUntilTheBarMoves) {
    s.newDocument.lineWidth = 200;
    s.newDocument.maxChars = 5;
    BasicSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(edit(&d, "Edit10")->text(), u("200"));
    EXPECT_EQ(bar(&d, "ScrollBar1")->value(), 80);
    // 5 is below the range: the bar moves to 10 and shows it.
    EXPECT_EQ(bar(&d, "ScrollBar2")->value(), 10);
    EXPECT_EQ(edit(&d, "Edit9")->text(), u("10"));
    EXPECT_TRUE(edit(&d, "Edit10")->isReadOnly());
    d.showDialog();
    click(&d, "Button1");
    EXPECT_EQ(s.document.lineWidth, 80);
    EXPECT_EQ(s.document.maxChars, 10);
}

TEST_F(DialogTest, BytesThatAreNotCodePage932SurviveAnUnchangedBox) {
    s.newDocument.authorName = std::string("ab\x80\xff", 4);
    BasicSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(box(&d, "Edit4")->text(), u("ab\uFFFD\uFFFD"));
    d.showDialog();
    click(&d, "Button1");
    EXPECT_EQ(s.document.authorName, std::string("ab\x80\xff", 4));
}

TEST_F(DialogTest, TextCodePage932CannotHoldIsRefusedAndToldInBothDialogs) {
    BasicSettingsDialog basic(s, dialogs, shell, host);
    OverallSettingsDialog overall(s, dialogs, shell, host);
    for (QWidget* d : {static_cast<QWidget*>(&basic), static_cast<QWidget*>(&overall)}) {
        dialogs.boxes.clear();
        static_cast<SettingsDialog*>(d)->showDialog();
        Cp932LineEdit* name = box(d, "Edit4");
        name->end(false);
        commit(name, u("😀"));
        EXPECT_EQ(name->text(), u("著者"));
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text, u("Shift-JIS で表せない文字があるため入力できません: 😀"));
        EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
        // What code page 932 holds still goes in, and the box takes the next
        // edit as well.
        commit(name, u("①～"));
        EXPECT_EQ(name->text(), u("著者①～"));
        commit(name, u("a🍣"));
        EXPECT_EQ(name->text(), u("著者①～"));
        EXPECT_EQ(dialogs.boxes.size(), 2u);
    }
}

TEST_F(DialogTest, APastedTextKeepsItsFirstLine) {
    BasicSettingsDialog d(s, dialogs, shell, host);
    d.showDialog();
    Cp932LineEdit* mail = box(&d, "Edit2");
    mail->clear();
    QGuiApplication::clipboard()->setText(u("a@b.jp\r\n[Application]\r\nStayOnTask=0"));
    mail->setFocus();
    mail->paste();
    EXPECT_EQ(mail->text(), u("a@b.jp"));
}

// --- the overall settings dialog ------------------------------------------------

TEST_F(DialogTest, OverallDialogIsFilledAtCreationInEveryControl) {
    s.options.trayResident = 1;
    s.options.minimizeToTray = 0;
    s.options.restorePosition = 1;
    s.options.openLastFile = 2; // only 1 is on
    s.options.openPreviousInWindow = 1;
    s.options.singleInstance = 0;
    s.options.imeOnAtStart = 1;
    s.options.makeBackup = 0;
    s.options.anyPitchFont = 1;
    s.options.historyShown = 1;
    s.options.historyCount = 7;
    s.global.homeUrl.clear();
    OverallSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(d.objectName(), u("TAllCustom"));
    EXPECT_EQ(d.windowTitle(), u("全体基本設定"));
    EXPECT_EQ(box(&d, "Edit1")->text(), u("週刊テスト"));
    EXPECT_EQ(box(&d, "Edit3")->text(), QString()); // empty replaces "http://"
    EXPECT_EQ(box(&d, "Edit5")->text(), u("/tmp/issues"));
    EXPECT_EQ(box(&d, "Edit11")->text(), u("0001"));
    EXPECT_EQ(edit(&d, "Edit10")->text(), u("72"));
    EXPECT_EQ(edit(&d, "Edit9")->text(), u("20000"));
    EXPECT_EQ(edit(&d, "Edit6")->text(), u("7"));
    EXPECT_EQ(bar(&d, "ScrollBar3")->value(), 7);
    const std::pair<const char*, bool> checks[] = {
        {"CheckBox2", true},  {"CheckBox3", false}, {"CheckBox1", true}, {"CheckBox4", false},
        {"CheckBox5", true},  {"CheckBox6", false}, {"CheckBox8", true}, {"CheckBox10", false},
        {"CheckBox11", true}, {"CheckBox7", true}};
    for (const auto& [name, on] : checks)
        EXPECT_EQ(child<QCheckBox>(&d, name)->isChecked(), on) << name;
    EXPECT_EQ(child<QCheckBox>(&d, "CheckBox6")->text(), u("多重起動の禁止"));
    EXPECT_EQ(child<QLabel>(&d, "Label5")->text(), u("文字数制限がOFFになります"));
}

TEST_F(DialogTest, OverallOkStoresEveryControlWritesTheFileAndCopiesToTheDocument) {
    s.options.trayIconAction = 2; // no control: kept
    s.document.magazineId = "DOC-ID";
    OverallSettingsDialog d(s, dialogs, shell, host);
    d.showDialog();
    box(&d, "Edit1")->setText(u("全体のタイトル"));
    box(&d, "Edit2")->setText(u("x@y.jp"));
    box(&d, "Edit3")->setText(u("http://y.jp/"));
    box(&d, "Edit4")->setText(u("名前"));
    box(&d, "Edit5")->setText(u("/home/issues"));
    box(&d, "Edit7")->setText(u("月刊"));
    box(&d, "Edit8")->setText(u("今日"));
    box(&d, "Edit11")->setText(u("ID9"));
    bar(&d, "ScrollBar1")->setValue(40);
    bar(&d, "ScrollBar2")->setValue(12345);
    bar(&d, "ScrollBar3")->setValue(4);
    for (const char* name : {"CheckBox2", "CheckBox10", "CheckBox7"})
        child<QCheckBox>(&d, name)->setChecked(true);
    click(&d, "Button1");

    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(s.global.title, sj("全体のタイトル"));
    EXPECT_EQ(s.global.saveFolder, "/home/issues");
    EXPECT_EQ(s.global.lineWidth, 40);
    EXPECT_EQ(s.global.maxChars, 12345);
    EXPECT_EQ(s.global.magazineId, "ID9");
    EXPECT_EQ(s.options.trayResident, 1);
    EXPECT_EQ(s.options.makeBackup, 1);
    EXPECT_EQ(s.options.historyShown, 1);
    EXPECT_EQ(s.options.minimizeToTray, 0);
    EXPECT_EQ(s.options.historyCount, 4);
    EXPECT_EQ(s.options.trayIconAction, 2);
    // The document's and the new document's values follow, each keeping its ID.
    EXPECT_EQ(s.document.title, s.global.title);
    EXPECT_EQ(s.document.lineWidth, 40);
    EXPECT_EQ(s.document.magazineId, "DOC-ID");
    EXPECT_EQ(s.newDocument.lineWidth, 40);
    EXPECT_EQ(host.applied, 1);
    EXPECT_EQ(host.mainShown, 1);

    // The file holds what a fresh load reads back.
    SettingsState again;
    again.setProgramFolder(dir.path());
    SettingsFont font;
    again.load(font);
    EXPECT_EQ(again.global, s.global);
    EXPECT_EQ(again.options, s.options);
    EXPECT_EQ(font, host.font);
}

TEST_F(DialogTest, OverallTitleTakesEightyBytes) {
    OverallSettingsDialog d(s, dialogs, shell, host);
    d.showDialog();
    Cp932LineEdit* title = box(&d, "Edit1");
    title->setFocus();
    title->clear();
    type(title, QString(41, QChar(u'あ')));
    EXPECT_EQ(title->text(), QString(40, QChar(u'あ')));
    title->clear();
    type(title, QString(79, QLatin1Char('a')) + u("あb"));
    EXPECT_EQ(title->text(), QString(79, QLatin1Char('a')) + u("b"));
    click(&d, "Button1");
    EXPECT_EQ(s.global.title.size(), 80u);
}

TEST_F(DialogTest, OverallCountBoxAlwaysShowsTheBar) {
    s.options.historyCount = 50;
    OverallSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(edit(&d, "Edit6")->text(), u("10"));
    d.showDialog();
    QLineEdit* count = edit(&d, "Edit6");
    count->setFocus();
    type(count, u("3"));
    EXPECT_EQ(count->text(), u("10"));
    bar(&d, "ScrollBar3")->setValue(2);
    EXPECT_EQ(count->text(), u("2"));
    click(&d, "Button1");
    EXPECT_EQ(s.options.historyCount, 2);
}

TEST_F(DialogTest, OverallLineWidthFromTheFileShownUntilTheBarMovesAndStoredAsTheBar) {
    s.global.lineWidth = 200;
    OverallSettingsDialog d(s, dialogs, shell, host);
    EXPECT_EQ(edit(&d, "Edit10")->text(), u("200"));
    EXPECT_EQ(bar(&d, "ScrollBar1")->value(), 80);
    d.showDialog();
    click(&d, "Button1");
    EXPECT_EQ(s.global.lineWidth, 80);
    EXPECT_NE(dir.read("MMEdit.ini").find("MaxLength=80\r\n"), std::string::npos);
}

TEST_F(DialogTest, OverallCancelKeepsWhatWasTypedForTheNextShowing) {
    OverallSettingsDialog d(s, dialogs, shell, host);
    const NewsletterValues global = s.global;
    d.showDialog();
    box(&d, "Edit1")->setText(u("途中のタイトル"));
    child<QCheckBox>(&d, "CheckBox10")->setChecked(true);
    click(&d, "Button2");
    EXPECT_FALSE(d.isVisible());
    d.showDialog();
    d.close(); // the close box is Cancel too
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(host.mainShown, 2);
    EXPECT_EQ(s.global, global);
    EXPECT_EQ(s.options.makeBackup, 0);
    EXPECT_FALSE(fileio::exists(s.settingsPath));
    d.showDialog();
    EXPECT_EQ(box(&d, "Edit1")->text(), u("途中のタイトル"));
    EXPECT_TRUE(child<QCheckBox>(&d, "CheckBox10")->isChecked());
}

TEST_F(DialogTest, OverallFirstShowingOnTheBehaviourPageLaterOnTheLastOneCentredOnce) {
    OverallSettingsDialog d(s, dialogs, shell, host);
    auto* pages = child<QTabWidget>(&d, "PageControl1");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), u("メールマガジン共通設定"));
    EXPECT_EQ(pages->tabText(1), u("動作設定"));
    d.showDialog();
    EXPECT_EQ(pages->currentIndex(), 1);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((d.geometry().center() - screen.center()).manhattanLength(), 4);
    pages->setCurrentIndex(0);
    d.move(d.pos() + QPoint(30, 20));
    const QPoint moved = d.pos();
    d.cancel();
    d.showDialog();
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(d.pos(), moved);
    EXPECT_FALSE(d.isModal());
}

TEST_F(DialogTest, ClearingTheHistoryEmptiesEverySlotAndTheCountAtOnce) {
    for (int k = 0; k < kHistorySlots; ++k)
        s.options.history[static_cast<std::size_t>(k)] = "/f" + std::to_string(k);
    s.options.historyCount = 10;
    OverallSettingsDialog d(s, dialogs, shell, host);
    d.showDialog();
    click(&d, "Button4");
    EXPECT_EQ(host.historyShown, 1);
    EXPECT_EQ(s.options.historyCount, 0);
    for (const std::string& slot : s.options.history)
        EXPECT_EQ(slot, "");
    EXPECT_EQ(bar(&d, "ScrollBar3")->value(), 0);
    EXPECT_EQ(edit(&d, "Edit6")->text(), u("0"));
}

TEST_F(DialogTest, AFailedWriteIsReportedAndKeepsTheDialogOpenWithNothingHalfStored) {
    fileio::writeAll(s.settingsPath, "[EditParam]\r\nTitle=old\r\n");
    const std::string before = dir.read("MMEdit.ini");
    OverallSettingsDialog d(s, dialogs, shell, host);
    const NewsletterValues global = s.global, doc = s.document;
    const AppOptions options = s.options;
    d.showDialog();
    box(&d, "Edit1")->setText(u("書けないタイトル"));
    child<QCheckBox>(&d, "CheckBox10")->setChecked(true);
    {
        HookGuard reset([] { fileio::testing::setWriteHook({}); });
        fileio::testing::setWriteHook([](std::size_t) { return false; });
        click(&d, "Button1");
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Error);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("を作成できません")));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(box(&d, "Edit1")->text(), u("書けないタイトル"));
    EXPECT_EQ(s.global, global);
    EXPECT_EQ(s.options, options);
    EXPECT_EQ(s.document, doc);
    EXPECT_EQ(host.applied, 0);
    EXPECT_EQ(dir.read("MMEdit.ini"), before);

    // Once the file can be written, OK stores what was typed.
    click(&d, "Button1");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(s.global.title, sj("書けないタイトル"));
    EXPECT_EQ(s.options.makeBackup, 1);
}

TEST_F(DialogTest, BrowsePutsTheChosenFileIntoTheFolderBox) {
    OverallSettingsDialog d(s, dialogs, shell, host);
    d.showDialog();
    dialogs.fileNames.push_back(dir.file("号/vol1.txt"));
    click(&d, "Button3");
    EXPECT_EQ(box(&d, "Edit5")->text(), QString::fromStdString(dir.file("号/vol1.txt")));
    click(&d, "Button3"); // cancelled
    EXPECT_EQ(box(&d, "Edit5")->text(), QString::fromStdString(dir.file("号/vol1.txt")));
    // A name code page 932 cannot hold is told, not stored as question marks.
    dialogs.fileNames.push_back(dir.file("🍣/vol2.txt"));
    click(&d, "Button3");
    EXPECT_EQ(box(&d, "Edit5")->text(), QString::fromStdString(dir.file("号/vol1.txt")));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("🍣")));
    click(&d, "Button1");
    EXPECT_EQ(s.global.saveFolder,
              cp932::encodeKnown(QString::fromStdString(dir.file("号/vol1.txt"))));
}

TEST_F(DialogTest, HelpOpensTheSettingsTopicOrSaysThePageIsMissing) {
    BasicSettingsDialog basic(s, dialogs, shell, host);
    OverallSettingsDialog overall(s, dialogs, shell, host);
    click(&basic, "Button3");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("は開けません")));
    EXPECT_TRUE(shell.opened.empty());
    std::filesystem::create_directory(dir.file("help"));
    dir.write("help/index.html", "<html></html>");
    for (auto [dialog, button] : {std::pair<QDialog*, const char*>{&basic, "Button3"},
                                  std::pair<QDialog*, const char*>{&overall, "Button5"}}) {
        click(dialog, button);
        ASSERT_NE(HelpWindow::current(), nullptr);
        const QUrl shown = HelpWindow::current()->browser()->source();
        EXPECT_EQ(shown.toLocalFile(), QString::fromStdString(dir.file("help/index.html")));
        EXPECT_EQ(shown.fragment(), u("settings"));
        HelpWindow::current()->close();
    }
    EXPECT_TRUE(shell.opened.empty());
}

// --- how the dialogs look ----------------------------------------------------------

// Every caption fits its control, and the window keeps its design size.
void expectNothingClipped(QWidget* d, QSize design) {
    EXPECT_EQ(d->size(), design) << d->objectName().toStdString();
    for (QLabel* l : d->findChildren<QLabel*>()) {
        if (!l->isVisibleTo(d)) continue;
        EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
        EXPECT_GE(l->height(), l->sizeHint().height()) << l->text().toStdString();
    }
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(d) || b->text().isEmpty()) continue;
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
    for (QGroupBox* g : d->findChildren<QGroupBox*>()) {
        if (!g->isVisibleTo(d)) continue;
        EXPECT_GE(g->width(), g->fontMetrics().horizontalAdvance(g->title()) + 16)
            << g->title().toStdString();
        EXPECT_GE(g->height(), g->minimumSizeHint().height()) << g->title().toStdString();
    }
}

// Grabs the window to a PNG in MMEDIT_SCREENSHOTS when it is set.
void keepScreenshot(QWidget* d, const char* name) {
    const QByteArray folder = qgetenv("MMEDIT_SCREENSHOTS");
    if (folder.isEmpty()) return;
    d->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QString::fromLatin1(name));
}

TEST_F(DialogTest, DialogsHaveTheirDesignSizesAndNoClippedCaptions) {
    BasicSettingsDialog basic(s, dialogs, shell, host);
    basic.showDialog();
    QApplication::processEvents();
    expectNothingClipped(&basic, QSize(493, 391));
    keepScreenshot(&basic, "TCustom.png");

    OverallSettingsDialog overall(s, dialogs, shell, host);
    overall.showDialog();
    auto* pages = child<QTabWidget>(&overall, "PageControl1");
    for (int page : {1, 0}) {
        pages->setCurrentIndex(page);
        QApplication::processEvents();
        expectNothingClipped(&overall, QSize(503, 450));
        keepScreenshot(&overall, page == 0 ? "TAllCustom-1.png" : "TAllCustom-2.png");
    }
}

} // namespace
