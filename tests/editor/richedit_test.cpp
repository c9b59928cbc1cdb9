#include "editor/extrichedit.h"

#include "common/cp932.h"
#include "support/scripted.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <QTextCharFormat>
#include <gtest/gtest.h>

namespace {

std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

struct EditorTest : ::testing::Test {
    TCustomExtRichEdit edit;
    ScriptedDialogs dialogs;
    EditorTest() {
        QFont f(QStringLiteral("IPAGothic"));
        f.setPixelSize(16);
        edit.SetFont(f);
        edit.setDialogs(&dialogs);
        edit.resize(500, 300);
        edit.HandleNeeded();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(&edit, k, m); }
};

} // namespace

TEST_F(EditorTest, WindowCreationReadsTheBuiltInListsAndKeepsTheModifiedFlag) {
    TCustomExtRichEdit e;
    e.SetModified(false);
    e.WordWrapOption().SetPunctuationMode(wbfLevel2);
    e.WordWrapOption().SetpcLeading("x"); // before the window: refused and dropped
    EXPECT_EQ(e.WordWrapOption().PunctuationMode(), wbfCustom);
    EXPECT_EQ(e.WordWrapOption().table()[wbfCustom][PC_LEADING - 1], "");
    e.WordWrapOption().SetPunctuationMode(wbfLevel2);
    e.HandleNeeded();
    EXPECT_FALSE(e.Modified());
    EXPECT_TRUE(e.Options() & ECO_SELECTIONBAR);
    EXPECT_EQ(e.WordWrapOption().pcFollowing(), builtinLevel2()[0]);
    e.WordWrapOption().SetPunctuationMode(wbfLevel1);
    EXPECT_EQ(e.WordWrapOption().pcFollowing(), builtinLevel1()[0]);
    // The getter reads the control's own mode word, also one sent directly.
    e.SetWordWrapModeMsg(0x130);
    EXPECT_EQ(e.WordWrapOption().modeWord(), 0x130u);
    // Destroyed and created again: the rows are read again, the modified flag stays.
    e.SetModified(true);
    e.RecreateWnd();
    EXPECT_TRUE(e.Modified());
    EXPECT_EQ(e.WordWrapOption().table()[wbfLevel2][PC_OVERFLOW - 1], builtinLevel2()[2]);
}

TEST_F(EditorTest, InsertAloneTogglesTheInsertMode) {
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    EXPECT_TRUE(edit.InsertMode());
    key(Qt::Key_Insert);
    EXPECT_FALSE(edit.InsertMode());
    EXPECT_TRUE(edit.controlOverwrite());
    key(Qt::Key_Insert, Qt::ShiftModifier);   // paste
    key(Qt::Key_Insert, Qt::ControlModifier); // copy
    EXPECT_FALSE(edit.InsertMode());
    EXPECT_EQ(edit.Text(), "x");
    key(Qt::Key_Insert);
    EXPECT_TRUE(edit.InsertMode());
}

TEST_F(EditorTest, BackspaceAndDeleteRemoveWholeCharacters) {
    edit.SetText(sj("aあ\r\nb"));
    edit.SetSelStart(5); // after the CR LF
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), sj("aあb"));
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "ab");
    key(Qt::Key_Left);
    key(Qt::Key_Delete);
    EXPECT_EQ(edit.Text(), "b");
    key(Qt::Key_Return);
    EXPECT_EQ(edit.Text(), "\r\nb");
    EXPECT_EQ(edit.charCount(), 2u); // a line end counts one
    // The caret never stands inside a double-byte character or a CR LF.
    edit.SetText(sj("あい\r\n"));
    edit.SetSelStart(1);
    EXPECT_EQ(edit.SelStart(), 0);
    edit.SetSelStart(5);
    EXPECT_EQ(edit.SelStart(), 4);
    key(Qt::Key_Right);
    EXPECT_EQ(edit.SelStart(), 6);
}

TEST_F(EditorTest, OverwriteReplacesAWholeDoubleByteCharacterButNotALineEnd) {
    edit.SetText(sj("あい\r\nう"));
    edit.SetSelStart(0);
    key(Qt::Key_Insert);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.Text(), sj("xい\r\nう"));
    QTest::keyClicks(&edit, QStringLiteral("yz"));
    EXPECT_EQ(edit.Text(), sj("xyz\r\nう")); // the line end stays
}

TEST_F(EditorTest, PasteConvertsRefusesWhatShiftJisCannotHoldAndStopsAtTheLimit) {
    QGuiApplication::clipboard()->setText(QStringLiteral("絵文字😀です"));
    edit.PasteFromClipboard();
    EXPECT_EQ(edit.Text(), "");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("😀")));

    QGuiApplication::clipboard()->setText(QStringLiteral("一\n二\r\n三"));
    edit.PasteFromClipboard();
    EXPECT_EQ(edit.Text(), sj("一\r\n二\r\n三"));
    edit.SetText("");
    edit.SetMaxLength(4);
    edit.PasteFromClipboard(); // 一 CRLF 二 CRLF: four characters fit
    EXPECT_EQ(edit.Text(), sj("一\r\n二\r\n"));
    QTest::keyClicks(&edit, QStringLiteral("a"));
    EXPECT_EQ(edit.Text(), sj("一\r\n二\r\n"));
    // Typing an emoji is refused with a message too.
    edit.SetMaxLength(0);
    QKeyEvent emoji(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("😀"));
    QApplication::sendEvent(&edit, &emoji);
    EXPECT_EQ(edit.Text(), sj("一\r\n二\r\n"));
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(EditorTest, UndoAndRedoRestoreTextAndSelection) {
    QSignalSpy changes(&edit, &TRichEdit::changed);
    QTest::keyClicks(&edit, QStringLiteral("abc"));
    edit.setSelection(1, 2);
    edit.ReplaceSel(sj("ＸＹ"));
    EXPECT_EQ(edit.Text(), sj("aＸＹc"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "abc");
    EXPECT_EQ(edit.SelStart(), 1);
    EXPECT_EQ(edit.SelLength(), 1);
    key(Qt::Key_Z, Qt::ControlModifier); // the typing, as one step
    EXPECT_EQ(edit.Text(), "");
    key(Qt::Key_Y, Qt::ControlModifier);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), sj("aＸＹc"));
    EXPECT_EQ(edit.SelStart(), 5);
    EXPECT_GE(changes.count(), 7);
}

TEST_F(EditorTest, InputMethodCommitsLikeTypingAndShowsThePreedit) {
    QInputMethodEvent pre(QStringLiteral("にほん"), {});
    QApplication::sendEvent(&edit, &pre);
    EXPECT_EQ(edit.Text(), "");
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(&edit, &commit);
    EXPECT_EQ(edit.Text(), sj("日本"));
    EXPECT_EQ(edit.SelStart(), 4);
}

TEST_F(EditorTest, PreeditShowsInTheCompositionColours) {
    edit.SetColor(clWhite);
    CompColors c{};
    c[0] = {0x000000, 0x00FFFF, 0}; // text being entered: black on yellow
    c[1] = {0xFFFFFF, 0x800000, 0}; // clause under conversion: white on navy
    edit.SetImeColorMsg(c);
    QTextCharFormat plain;
    plain.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    QTextCharFormat target;
    target.setBackground(Qt::gray);
    QInputMethodEvent pre(
        QStringLiteral("にほんご"),
        {QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, 0, 2, plain),
         QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, 2, 2, target)});
    QApplication::sendEvent(&edit, &pre);
    const QImage img = edit.viewport()->grab().toImage();
    const QRect fmt = edit.GetRect();
    const int y = fmt.top() + 2;
    EXPECT_EQ(img.pixelColor(fmt.left() + 1, y), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(fmt.left() + 4 * edit.columnWidth() + 1, y), QColor(0, 0, 128));
    EXPECT_EQ(edit.Text(), ""); // nothing is in the document until it is committed
}

TEST_F(EditorTest, PrintsTheLineViewToAPrinter) {
    edit.SetText(sj("印刷のテスト\r\n二行目"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString file = QDir::tempPath() + QStringLiteral("/mmedit-print-test.pdf");
    printer.setOutputFileName(file);
    edit.Print(printer, QStringLiteral("週刊もるもる"));
    EXPECT_EQ(printer.docName(), QStringLiteral("週刊もるもる"));
    QFile f(file);
    EXPECT_GT(f.size(), 500);
    f.remove();
}

TEST_F(EditorTest, MessagesAnswerZeroWithoutAWindow) {
    TCustomExtRichEdit e;
    e.SetText("abc");
    EXPECT_EQ(e.GetTextLen(), 0);
    EXPECT_EQ(e.GetRect(), QRect());
    std::string l;
    EXPECT_FALSE(e.GetPunctuation(1, l));
    e.HandleNeeded();
    EXPECT_EQ(e.GetTextLen(), 3);
    EXPECT_EQ(e.LineIndex(-1), 0);
    EXPECT_EQ(e.FindText(0, "c", true), 2);
    EXPECT_EQ(e.FindText(0, "C", false), 2);
    EXPECT_EQ(e.FindText(0, "C", true), -1);
    // A search never matches at a trail byte: ア is 0x83 0x41 ('A').
    e.SetText(sj("アA"));
    EXPECT_EQ(e.FindText(0, "A", true), 2);
}

TEST_F(EditorTest, DrawsJapaneseTextOnTheGrid) {
    edit.SetText(sj("「もるもる」メールマガジン　第１号\r\nabc 漢字とｶﾀｶﾅ\r\n") + "\x80\x81");
    edit.SetColor(clWhite);
    edit.SetFontColor(clBlack);
    edit.show();
    const QImage img = edit.viewport()->grab().toImage();
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    img.save(dir + QStringLiteral("/editor-control.png"));
    // Something dark is drawn on the first row of the text.
    const QRect fmt = edit.GetRect();
    int dark = 0;
    for (int x = fmt.left(); x < fmt.left() + 200; ++x)
        for (int y = fmt.top(); y < fmt.top() + edit.lineHeight(); ++y)
            if (qGray(img.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 50);
    EXPECT_EQ(edit.columnWidth(), 8);
}
