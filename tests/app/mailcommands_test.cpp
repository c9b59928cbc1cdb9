#include "mainwindowtest.h"

#include "app/findingswindow.h"
#include "app/mailcommands.h"
#include "app/statuspanels.h"

#include "settings/profile.h"
#include "support/newsletterarea.h"
#include "support/screenshots.h"
#include "support/sjis.h"
#include "text/cp932.h"
#include "text/fileio.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTableView>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <gtest/gtest.h>

#include <random>

using mailcheck::Kind;

namespace {

const QColor kRed(255, 0, 0), kOrange(255, 140, 0);

int countColor(const QImage& img, const QRect& r, QColor c) {
    int n = 0;
    for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), img.height() - 1); ++y)
        for (int x = std::max(r.left(), 0); x <= std::min(r.right(), img.width() - 1); ++x)
            if (img.pixelColor(x, y) == c) ++n;
    return n;
}

// The editing area alone, with the design's marks, a known font and colours.
struct AreaTest : ::testing::Test {
    EditingArea area;
    AreaTest() {
        setUpNewsletterArea(area, QSize(700, 300), 40);
        area.show();
        area.setMailCheckActive(true);
        QApplication::processEvents();
    }
    QImage grab() { return area.viewport()->grab().toImage(); }
    // The cells of the characters [pos, pos + length) on one row.
    QRect cells(std::size_t pos, std::size_t length) {
        const QPoint a = area.positionOfChar(static_cast<int>(pos));
        const QPoint b = area.positionOfChar(static_cast<int>(pos + length));
        return QRect(a.x(), a.y(), b.x() - a.x(), area.lineHeight());
    }
};

struct MailTest : MainWindowTest {
    std::optional<mailexport::MailFields> answer;
    std::vector<mailexport::MailFields> asked;

    MailTest() {
        dir.write("link.dat", "a\r\nb\r\n");
        dir.write("MMEdit.ini", "[String]\r\nMaxLength=20\r\n");
        startWindow();
        mail().setFieldsPrompt([this](const mailexport::MailFields& f) {
            asked.push_back(f);
            return answer;
        });
        mail().setClock(
            [] { return QDateTime(QDate(2026, 6, 1), QTime(9, 0), QTimeZone(9 * 3600)); });
    }
    MailCommands& mail() { return main->mail(); }
    Document& doc() { return main->document(); }
    QString panelText() { return mail().panel()->text(); }
    QAction* action(const char* name) {
        for (QMenu* m : {main->menu(QStringLiteral("File1")), main->menu(QStringLiteral("Tool1"))})
            for (QAction* a : m->actions())
                if (a->objectName() == QLatin1String(name)) return a;
        return nullptr;
    }
};

} // namespace

// --- the marks ------------------------------------------------------------------

TEST_F(AreaTest, FindingsAreUnderlinedInTheirColoursAndTheMarksGoWithThem) {
    area.setText("a" + bytes({0x87, 0x40}) + "b\tc" + bytes({0xB6, 0xDE}) + "\r\nok");
    QApplication::processEvents();
    QImage img = grab();
    keepScreenshot(img, "marks.png");
    const QRect circled = cells(1, 2), kana = cells(6, 2), plain = cells(3, 1);
    // A wave under ① and ｶﾞ in red, under the tab in orange, none under "b".
    EXPECT_GT(countColor(img, circled.adjusted(0, circled.height() - 3, 0, 0), kRed), 6);
    EXPECT_GT(countColor(img, kana.adjusted(0, kana.height() - 3, 0, 0), kRed), 6);
    EXPECT_GT(countColor(img, cells(4, 1).adjusted(0, circled.height() - 3, 0, 0), kOrange), 3);
    EXPECT_EQ(countColor(img, plain, kRed), 0);
    EXPECT_EQ(countColor(img, cells(10, 2), kRed), 0); // "ok"

    // Replaced, the marks are gone; the whole picture has no red left.
    area.document().replace(1, 2, "(1)");
    area.document().replace(7, 2, sj("ガ"));
    QApplication::processEvents();
    img = grab();
    EXPECT_EQ(countColor(img, img.rect(), kRed), 0);
    EXPECT_GT(countColor(img, img.rect(), kOrange), 3); // the tab stays a warning
    // Switched off, nothing is marked.
    area.editMarks().mailWarning.setEnabled(false);
    QApplication::processEvents();
    EXPECT_EQ(countColor(grab(), grab().rect(), kOrange), 0);
}

TEST_F(AreaTest, ReversedMarksTintTheCellAndALongLineIsMarkedWhereItWraps) {
    area.editMarks().mailCheck.setReversed(true);
    area.setText(std::string(50, 'x'));
    QApplication::processEvents();
    const QImage img = grab();
    // The line wraps after 40 columns: the first character of the second row
    // is marked with the red behind it, the first row is not.
    const QRect wrapped = cells(40, 1);
    ASSERT_EQ(wrapped.top(), cells(0, 1).top() + area.lineHeight());
    int tinted = 0;
    for (int y = wrapped.top(); y <= wrapped.bottom(); ++y)
        for (int x = wrapped.left(); x <= wrapped.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 200 && c.blue() < 200) ++tinted;
        }
    EXPECT_GT(tinted, wrapped.width() * wrapped.height() / 3);
    EXPECT_EQ(area.mailCheck().count(Kind::longLine), 1u);
}

TEST_F(AreaTest, WhatIsOnTheScreenAfterTypingEqualsAFreshPaint) {
    // Typing makes and mends findings one key at a time; the screen then
    // holds exactly what a fresh paint draws: no mark left behind, none
    // missing.
    area.setText(sj("メールマガジン") + "\r\n" + std::string(30, 'x'));
    area.setFocus();
    area.setSelectionStart(3);
    QApplication::processEvents();
    auto key = [&](int k, const QString& text = {}) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(&area, &e);
        QApplication::processEvents();
    };
    const QString keys = QStringLiteral("ｶﾞ①ｱ\tz");
    for (QChar c : keys)
        key(0, QString(c));
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    key(Qt::Key_Left);
    key(Qt::Key_Backspace);
    for (int i = 0; i < 12; ++i)
        key(0, QStringLiteral("y"));
    const QImage screen = area.screen()->grabWindow(area.winId()).toImage();
    const QImage fresh = area.grab().toImage();
    if (screen.size() == fresh.size()) {
        int differing = 0;
        const QImage a = screen.convertToFormat(QImage::Format_RGB32);
        const QImage b = fresh.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0);
    }
    EXPECT_EQ(area.mailFindingCount(), mailcheck::check(area.text(),
                                                        [&] {
                                                            mailcheck::Options o;
                                                            o.layout = area.lineView().rules();
                                                            return o;
                                                        }())
                                           .size());
}

// --- the panel, the list and the commands ----------------------------------------

TEST_F(MailTest, ThePanelCountsAsTheUserTypesAndOpensTheList) {
    EXPECT_EQ(panelText(), QStringLiteral("送信チェック 0"));
    type(QStringLiteral("会議は①から"));
    EXPECT_EQ(panelText(), QStringLiteral("送信チェック 1"));
    type(QStringLiteral("ｶﾀｶﾅ"));
    EXPECT_EQ(panelText(), QStringLiteral("送信チェック 5"));
    // A limit lower than the text: one finding more, once the editor shows it.
    main->show();
    QApplication::processEvents();
    editor().setMaxLength(5);
    editor().viewport()->update();
    QApplication::processEvents();
    EXPECT_EQ(panelText(), QStringLiteral("送信チェック 6"));
    editor().setMaxLength(30000);
    editor().viewport()->update();
    QApplication::processEvents();
    QTest::mouseClick(mail().panel(), Qt::LeftButton);
    FindingsWindow* list = mail().findingsWindow();
    ASSERT_TRUE(list->isVisible());
    EXPECT_LE((list->frameGeometry().center() - main->frameGeometry().center()).manhattanLength(),
              4);
    EXPECT_EQ(list->model().rowCount(), 5);
    EXPECT_EQ(list->model()
                  .data(list->model().index(0, FindingsModel::suggestion), Qt::DisplayRole)
                  .toString(),
              QStringLiteral("(1)"));
    EXPECT_EQ(
        list->model().data(list->model().index(0, FindingsModel::kind), Qt::DisplayRole).toString(),
        QStringLiteral("機種依存文字(NEC特殊文字)"));
    list->resize(640, 240);
    keepScreenshot(list->grab().toImage(), "findings.png");
    main->resize(640, 360);
    keepScreenshot(main->grab().toImage(), "mainwindow.png");
    list->hide();
}

TEST_F(MailTest, RowsJumpAndReplaceOneOrAllOfAKindAsOneUndoStep) {
    editor().setText("x" + bytes({0x87, 0x40}) + "y" + bytes({0x87, 0x41}) + bytes({0xB1}) +
                     bytes({0x87, 0x42}) + "\r\n");
    mail().showFindings();
    FindingsWindow& list = *mail().findingsWindow();
    ASSERT_EQ(list.model().rowCount(), 4);
    list.jumpTo(1); // ②
    EXPECT_EQ(editor().selectionStart(), 4);
    EXPECT_EQ(editor().selectionLength(), 2);

    list.replaceRow(1);
    EXPECT_EQ(editor().text(),
              "x" + bytes({0x87, 0x40}) + "y(2)" + bytes({0xB1}) + bytes({0x87, 0x42}) + "\r\n");
    EXPECT_EQ(list.model().rowCount(), 3);
    list.replaceKind(0); // every NEC special character
    EXPECT_EQ(editor().text(), "x(1)y(2)" + bytes({0xB1}) + "(3)\r\n");
    ASSERT_EQ(list.model().rowCount(), 1);
    EXPECT_EQ(list.model().findings()[0].kind, Kind::halfWidthKana);
    editor().undo();
    EXPECT_EQ(editor().text(),
              "x" + bytes({0x87, 0x40}) + "y(2)" + bytes({0xB1}) + bytes({0x87, 0x42}) + "\r\n");
    // A row without a suggestion cannot be replaced; a text that changed
    // since the list was made is checked again first.
    editor().setText(bytes({0xF0, 0x40}));
    list.refresh();
    list.selectRow(0);
    EXPECT_FALSE(list.findChild<QPushButton*>(QStringLiteral("ReplaceOne"))->isEnabled());
    doc().replace(0, 0, bytes({0x87, 0x40}));
    list.replaceRow(0); // stale: nothing replaced, the list is made again
    EXPECT_EQ(editor().text(), bytes({0x87, 0x40, 0xF0, 0x40}));
    EXPECT_EQ(list.model().rowCount(), 2);
    // Taking the NUL away would pair the lone lead byte before it with the
    // byte after it: refused and told, nothing changed.
    editor().setText(bytes({0x82, 0x00, 0x40}));
    list.refresh();
    ASSERT_EQ(list.model().rowCount(), 2);
    EXPECT_EQ(list.model().findings()[1].kind, Kind::controlChar);
    list.replaceRow(1);
    EXPECT_EQ(editor().text(), bytes({0x82, 0x00, 0x40}));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("結び付いて")));
    // With the lone lead byte taken away first, the NUL may go too.
    list.replaceKind(0);
    list.replaceKind(0);
    EXPECT_EQ(editor().text(), "@");
    list.hide();
}

TEST_F(MailTest, HardWrapMakesTheLaidOutLinesRealLinesInOneUndoStep) {
    // Width 20 from the settings file.
    const std::string text =
        sj("あいうえおかきくけこさしすせそたちつてと") + "\r\n" + std::string(45, 'z');
    editor().setText(text);
    editor().setSelectionStart(static_cast<int>(text.size()));
    EXPECT_EQ(editor().mailCheck().count(Kind::longLine), 2u);
    action("HardWrap1")->trigger();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(editor().text(), sj("あいうえおかきくけこ") + "\r\n" + sj("さしすせそたちつてと") +
                                   "\r\n" + std::string(20, 'z') + "\r\n" + std::string(20, 'z') +
                                   "\r\n" + std::string(5, 'z'));
    EXPECT_EQ(editor().caretPosition(), editor().text().size()); // the caret stays at the end
    EXPECT_EQ(editor().mailFindingCount(), 0u);
    EXPECT_EQ(panelText(), QStringLiteral("送信チェック 0"));
    editor().undo();
    EXPECT_EQ(editor().text(), text);
    // The blanks that hang at a break make way for the line end; an address
    // goes to the next line whole.
    editor().setText("word" + std::string(30, ' ') + "next http://example.jp/abcdef");
    action("HardWrap1")->trigger();
    EXPECT_EQ(editor().text(), "word\r\nnext\r\nhttp://example.jp/abcdef");
    // Nothing wraps: nothing changes.
    editor().setText("short\r\n");
    action("HardWrap1")->trigger();
    EXPECT_EQ(editor().text(), "short\r\n");
    EXPECT_FALSE(editor().canUndo());
}

TEST_F(MailTest, ExportWritesADraftAndRemembersTheFields) {
    settings.document.authorMail = "mag@example.jp";
    settings.document.authorName = sj("もるもる");
    settings.document.title = sj("週刊もるもる");
    editor().setText(sj("こんにちは。今週のお知らせです。よろしく") + "\r\n");
    answer = mailexport::MailFields{QStringLiteral("もるもる <mag@example.jp>"),
                                    QStringLiteral("reader@example.jp"),
                                    QStringLiteral("週刊もるもる 第1号")};
    dialogs.fileNames.push_back(dir.file("issue1"));
    action("MailExport1")->trigger();
    ASSERT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text.toStdString();
    // First time: From and Subject come from the newsletter values.
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].from, QStringLiteral("もるもる <mag@example.jp>"));
    EXPECT_EQ(asked[0].subject, QStringLiteral("週刊もるもる"));
    const std::string eml = dir.read("issue1.eml");
    EXPECT_EQ(eml.rfind("Date: Mon, 01 Jun 2026 09:00:00 +0900\r\n", 0), 0u);
    EXPECT_NE(eml.find("\r\nX-Unsent: 1\r\n"), std::string::npos);
    const std::string body = eml.substr(eml.find("\r\n\r\n") + 4);
    QStringDecoder jis("ISO-2022-JP");
    EXPECT_EQ(QString(jis.decode(QByteArray::fromStdString(body))),
              QStringLiteral("こんにちは。今週のお\r\n知らせです。よろしく\r\n"));
    // Remembered in the settings file, offered the next time.
    const ProfileFile ini = ProfileFile::load(dir.file("MMEdit.ini"));
    EXPECT_EQ(ini.readString("Mail", "To", ""), "reader@example.jp");
    EXPECT_EQ(ini.readString("Mail", "Subject", ""), sj("週刊もるもる 第1号"));
    EXPECT_EQ(ini.readInt("String", "MaxLength", 0), 20); // the rest stays
    answer.reset();
    action("MailExport1")->trigger();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].to, QStringLiteral("reader@example.jp"));
    EXPECT_EQ(asked[1].subject, QStringLiteral("週刊もるもる 第1号"));
}

TEST_F(MailTest, ExportListsWhatCannotBeSentAndReplacesItOnlyWhenAsked) {
    const std::string text = "a" + bytes({0x87, 0x40}) + bytes({0xB6}) + "\r\n";
    editor().setText(text);
    answer = mailexport::MailFields{QStringLiteral("a@example.jp"), QStringLiteral("b@example.jp"),
                                    QStringLiteral("第①号")};
    // No: nothing is written, nothing changed, the list is shown.
    dialogs.answers.push_back(Dialogs::No);
    dialogs.fileNames.push_back(dir.file("m.eml"));
    action("MailExport1")->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(
        dialogs.boxes[0].text.contains(QStringLiteral("1行2桁 機種依存文字(NEC特殊文字) ① → (1)")))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_TRUE(
        dialogs.boxes[0].text.contains(QStringLiteral("件名 機種依存文字(NEC特殊文字) ① → (1)")));
    EXPECT_EQ(dialogs.boxes[0].buttons, Dialogs::Yes | Dialogs::No);
    EXPECT_FALSE(fileio::exists(dir.file("m.eml")));
    EXPECT_EQ(editor().text(), text);
    EXPECT_TRUE(mail().findingsWindow()->isVisible());
    mail().findingsWindow()->hide();

    // Yes: the suggestions go into the text (one undo step) and the subject.
    dialogs.answers.push_back(Dialogs::Yes);
    action("MailExport1")->trigger();
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(editor().text(), "a(1)" + sj("カ") + "\r\n");
    const std::string eml = dir.read("m.eml");
    EXPECT_NE(eml.find("\r\n\r\na(1)\x1b$B%+\x1b(B\r\n"), std::string::npos);
    EXPECT_EQ(ProfileFile::load(dir.file("MMEdit.ini")).readString("Mail", "Subject", ""),
              sj("第(1)号"));
    editor().undo();
    EXPECT_EQ(editor().text(), text);

    // What has no suggestion is refused with the list, whatever the answer.
    editor().setText(bytes({0xF0, 0x40}) + "\r\n");
    answer->subject = QStringLiteral("s");
    dialogs.boxes.clear();
    action("MailExport1")->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("外字")));
    mail().findingsWindow()->hide();
}

TEST_F(MailTest, AWrongAddressOrAFailedWriteIsReportedAndKeepsTheOldFile) {
    editor().setText("hello\r\n");
    dir.write("m.eml", "old");
    answer = mailexport::MailFields{QStringLiteral("not an address"),
                                    QStringLiteral("b@example.jp"), QStringLiteral("s")};
    dialogs.fileNames.push_back(dir.file("m.eml"));
    action("MailExport1")->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(
        dialogs.boxes[0].text.startsWith(QStringLiteral("差出人のアドレスが正しくありません")))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_EQ(dialogs.fileNames.size(), 1u); // no file was asked for
    answer->from = QStringLiteral("a@example.jp");
    fileio::testing::setWriteHook([](std::size_t) { return false; });
    action("MailExport1")->trigger();
    fileio::testing::setWriteHook({});
    // Remembering the fields and writing the mail both failed and were told.
    ASSERT_GE(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("ストリームへの書き込みエラー."));
    EXPECT_EQ(dir.read("m.eml"), "old");
}

TEST_F(MailTest, TheLiveCountIsTheListsCountAfterRandomTyping) {
    std::mt19937 rng(9);
    const QStringList pieces = {QStringLiteral("ｶ"),          QStringLiteral("ﾞ"),
                                QStringLiteral("①"),          QStringLiteral("\t"),
                                QStringLiteral("あいうえお"), QStringLiteral("abc "),
                                QStringLiteral("㈱")};
    for (int i = 0; i < 80; ++i) {
        if (rng() % 5 == 0) {
            QKeyEvent e(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
            QApplication::sendEvent(&editor(), &e);
        } else if (rng() % 7 == 0) {
            QKeyEvent e(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            QApplication::sendEvent(&editor(), &e);
        } else {
            type(pieces[static_cast<qsizetype>(rng() % pieces.size())]);
        }
        if (i % 10 == 9) {
            mail().findingsWindow()->refresh();
            ASSERT_EQ(static_cast<std::size_t>(mail().findingsWindow()->model().rowCount()),
                      editor().mailFindingCount())
                << i;
            EXPECT_EQ(panelText(),
                      QStringLiteral("送信チェック %1").arg(editor().mailFindingCount()));
        }
    }
}

TEST_F(MailTest, TheFieldsDialogShowsTheRememberedFieldsAndCancelsWithoutWriting) {
    // The real dialog: looked at, then cancelled (a timer closes it).
    mailexport::MailFields initial{QStringLiteral("もるもる <mag@example.jp>"),
                                   QStringLiteral("reader@example.jp"),
                                   QStringLiteral("週刊もるもる 第12号")};
    QString seenSubject;
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        poll->stop();
        keepScreenshot(box->grab().toImage(), "fields.png");
        if (auto* subject = box->findChild<QLineEdit*>(QStringLiteral("MailSubject")))
            seenSubject = subject->text();
        static_cast<QDialog*>(box)->reject();
    });
    poll->start();
    EXPECT_FALSE(askMailFields(main.get(), initial));
    delete poll;
    EXPECT_EQ(seenSubject, initial.subject);
}

TEST_F(MailTest, ScreenshotOfAnIssueWithFindings) {
    editor().setText(sj("【週刊もるもる】第12号") + "\r\n" +
                     sj("今週は㈱もるもるの新商品①と②をご紹介します。") + "\r\n" + sj("ｾｰﾙ") +
                     "\t" + sj("１０％オフ") + "\r\n");
    main->resize(640, 300);
    main->show();
    QApplication::processEvents();
    keepScreenshot(main->grab().toImage(), "issue.png");
    mail().showFindings();
    mail().findingsWindow()->resize(640, 260);
    QApplication::processEvents();
    keepScreenshot(mail().findingsWindow()->grab().toImage(), "issue-findings.png");
    EXPECT_EQ(static_cast<std::size_t>(mail().findingsWindow()->model().rowCount()),
              editor().mailFindingCount());
    mail().findingsWindow()->hide();
}

TEST_F(MailTest, ScreenshotOfALongAddressInTheList) {
    // Width 20: the address is a warning with no suggestion; the line before
    // it gets its break before the address.
    const std::string text =
        sj("詳しくは") + "http://example.jp/newsletter/2026/12/" + sj("へ") + "\r\n";
    editor().setText(text);
    mail().showFindings();
    mail().findingsWindow()->resize(640, 200);
    QApplication::processEvents();
    keepScreenshot(mail().findingsWindow()->grab().toImage(), "long-address-findings.png");
    const auto& rows = mail().findingsWindow()->model().findings();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].kind, Kind::longAddress);
    EXPECT_EQ(rows[1].kind, Kind::longLine);
    EXPECT_EQ(rows[1].pos, 8u);
    mail().findingsWindow()->hide();
}
