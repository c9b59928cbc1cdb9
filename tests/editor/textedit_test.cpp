#include "editor/editingarea.h"
#include "editor/textedit.h"

#include "support/scripted.h"
#include "support/sjis.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCharFormat>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct EditorTest : ::testing::Test {
    TextEdit edit;
    std::vector<QString> refused; // what the control reported as refused
    EditorTest() {
        edit.setSelectionBar(true);
        QFont f(QStringLiteral("IPAGothic"));
        f.setPixelSize(16);
        edit.setEditorFont(f);
        QObject::connect(&edit, &TextEdit::inputRefused,
                         [this](const QString& m) { refused.push_back(m); });
        edit.resize(500, 300);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(&edit, k, m); }
};

} // namespace

TEST_F(EditorTest, TheWrapOptionKnowsTheBuiltInListsAndTheViewsModeWord) {
    EditingArea e;
    e.setModified(false);
    e.wordWrapOption().setLeading("x"); // a custom list, taken at once
    EXPECT_EQ(e.wordWrapOption().punctuationMode(), PunctuationMode::custom);
    EXPECT_EQ(e.wordWrapOption().table()[PunctuationMode::custom][punctuationLeading - 1], "x");
    EXPECT_FALSE(e.isModified());
    e.wordWrapOption().setPunctuationMode(PunctuationMode::level2);
    EXPECT_EQ(e.wordWrapOption().following(), builtinLevel2()[0]);
    e.wordWrapOption().setPunctuationMode(PunctuationMode::level1);
    EXPECT_EQ(e.wordWrapOption().following(), builtinLevel1()[0]);
    // The getter reads the view's own mode word, also one set directly.
    e.setWrapModeWord(0x130);
    EXPECT_EQ(e.wordWrapOption().modeWord(), 0x130u);
}

TEST_F(EditorTest, InsertWithoutShiftOrCtrlTogglesTheOneModeThatTypingAndThePanelRead) {
    // After each key: the mode the key preview (the status bar) sees, the
    // mode asked afterwards, and what typing "Z" at the start of "abcd" makes.
    struct Step {
        Qt::KeyboardModifiers mods;
        bool inserting;
        const char* typed;
    };
    const Qt::KeyboardModifiers alt = Qt::AltModifier, shift = Qt::ShiftModifier,
                                ctrl = Qt::ControlModifier;
    const Step steps[] = {
        {alt, false, "Zbcd"}, // Alt does not matter
        {Qt::NoModifier, true, "Zabcd"},
        {shift, true, "xZabcd"}, // paste, the mode stays
        {ctrl, true, "Zabcd"},   // copy, the mode stays
        {Qt::NoModifier, false, "Zbcd"},
        {shift, false, "xZbcd"}, // a paste inserts, typing overwrites
        {ctrl | alt, false, "Zbcd"},
        {alt, true, "Zabcd"},
    };
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    std::vector<bool> previewed;
    QObject::connect(&edit, &TextEdit::keyPreview,
                     [&](QKeyEvent*) { previewed.push_back(edit.isInsertMode()); });
    EXPECT_TRUE(edit.isInsertMode());
    for (const Step& s : steps) {
        SCOPED_TRACE(s.typed);
        edit.setText("abcd");
        edit.setSelectionStart(0);
        previewed.clear();
        key(Qt::Key_Insert, s.mods);
        ASSERT_FALSE(previewed.empty()); // the modifiers' own presses come first
        EXPECT_EQ(previewed.back(), s.inserting);
        EXPECT_EQ(edit.isInsertMode(), s.inserting);
        QTest::keyClicks(&edit, QStringLiteral("Z"));
        EXPECT_EQ(edit.text(), s.typed);
    }
}

TEST_F(EditorTest, CanPasteTellsWhetherTheClipboardHoldsText) {
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(edit.canPaste());
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    EXPECT_TRUE(edit.canPaste());
}

TEST_F(EditorTest, BackspaceAndDeleteRemoveWholeCharacters) {
    edit.setText(sj("aあ\r\nb"));
    edit.setSelectionStart(5); // after the CR LF
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), sj("aあb"));
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "ab");
    key(Qt::Key_Left);
    key(Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "b");
    key(Qt::Key_Return);
    EXPECT_EQ(edit.text(), "\r\nb");
    EXPECT_EQ(edit.document().characterCount(), 2u); // a line end counts one
    // The caret never stands inside a double-byte character or a CR LF.
    edit.setText(sj("あい\r\n"));
    edit.setSelectionStart(1);
    EXPECT_EQ(edit.selectionStart(), 0);
    edit.setSelectionStart(5);
    EXPECT_EQ(edit.selectionStart(), 4);
    key(Qt::Key_Right);
    EXPECT_EQ(edit.selectionStart(), 6);
}

TEST_F(EditorTest, OverwriteReplacesAWholeDoubleByteCharacterButNotALineEnd) {
    edit.setText(sj("あい\r\nう"));
    edit.setSelectionStart(0);
    key(Qt::Key_Insert);
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.text(), sj("xい\r\nう"));
    QTest::keyClicks(&edit, QStringLiteral("yz"));
    EXPECT_EQ(edit.text(), sj("xyz\r\nう")); // the line end stays
}

TEST_F(EditorTest, PasteConvertsRefusesWhatShiftJisCannotHoldAndStopsAtTheLimit) {
    QGuiApplication::clipboard()->setText(QStringLiteral("絵文字😀です"));
    edit.paste();
    EXPECT_EQ(edit.text(), "");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].contains(QStringLiteral("😀")));

    QGuiApplication::clipboard()->setText(QStringLiteral("一\n二\r\n三"));
    edit.paste();
    EXPECT_EQ(edit.text(), sj("一\r\n二\r\n三"));
    edit.setText("");
    edit.setMaxLength(4);
    edit.paste(); // 一 CRLF 二 CRLF: four characters fit
    EXPECT_EQ(edit.text(), sj("一\r\n二\r\n"));
    QTest::keyClicks(&edit, QStringLiteral("a"));
    EXPECT_EQ(edit.text(), sj("一\r\n二\r\n"));
    // Typing an emoji is refused with a message too.
    edit.setMaxLength(0);
    QKeyEvent emoji(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("😀"));
    QApplication::sendEvent(&edit, &emoji);
    EXPECT_EQ(edit.text(), sj("一\r\n二\r\n"));
    EXPECT_EQ(refused.size(), 2u);
}

TEST_F(EditorTest, UndoAndRedoRestoreTextAndSelection) {
    QSignalSpy changes(&edit, &TextEdit::changed);
    QTest::keyClicks(&edit, QStringLiteral("abc"));
    edit.setSelection(1, 2);
    edit.replaceSelection(sj("ＸＹ"));
    EXPECT_EQ(edit.text(), sj("aＸＹc"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.selectionStart(), 1);
    EXPECT_EQ(edit.selectionLength(), 1);
    key(Qt::Key_Z, Qt::ControlModifier); // the typing, as one step
    EXPECT_EQ(edit.text(), "");
    key(Qt::Key_Y, Qt::ControlModifier); // not redo: the main window's launch date has it
    EXPECT_EQ(edit.text(), "");
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.text(), sj("aＸＹc"));
    EXPECT_EQ(edit.selectionStart(), 5);
    EXPECT_GE(changes.count(), 7);
}

TEST_F(EditorTest, InputMethodCommitsLikeTypingAndShowsThePreedit) {
    QInputMethodEvent pre(QStringLiteral("にほん"), {});
    QApplication::sendEvent(&edit, &pre);
    EXPECT_EQ(edit.text(), "");
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(&edit, &commit);
    EXPECT_EQ(edit.text(), sj("日本"));
    EXPECT_EQ(edit.selectionStart(), 4);
}

TEST_F(EditorTest, PreeditShowsInTheCompositionColours) {
    edit.setBackgroundColor(color::white);
    CompColors c{};
    c[0] = {0x000000, 0x00FFFF, 0}; // text being entered: black on yellow
    c[1] = {0xFFFFFF, 0x800000, 0}; // clause under conversion: white on navy
    edit.applyCompositionColors(c);
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
    const QRect fmt = edit.textArea();
    const int y = fmt.top() + 2;
    EXPECT_EQ(img.pixelColor(fmt.left() + 1, y), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(fmt.left() + 4 * edit.columnWidth() + 1, y), QColor(0, 0, 128));
    EXPECT_EQ(edit.text(), ""); // nothing is in the document until it is committed
}

namespace {
// Dark pixels in a rectangle of an image.
int inkIn(const QImage& img, const QRect& r) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (qGray(img.pixel(x, y)) < 128) ++n;
    return n;
}

QImage printedPage(const TextEdit& edit, int* pages) {
    QImage page(600, 400, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    *pages = 1;
    edit.printPages(p, &page, page.rect(), [&] { ++*pages; });
    return page;
}
} // namespace

TEST_F(EditorTest, PrintingDrawsTheScreensLinesAndNothingElse) {
    int pages = 0;
    edit.setText("");
    EXPECT_EQ(inkIn(printedPage(edit, &pages), QRect(0, 0, 600, 400)), 0);

    edit.setText(sj("印刷のテスト\r\n二行目"));
    const QImage page = printedPage(edit, &pages);
    EXPECT_EQ(pages, 1);
    const int lineH = edit.lineHeight();
    const int first = inkIn(page, QRect(0, 0, 600, lineH));
    const int second = inkIn(page, QRect(0, lineH, 600, lineH));
    EXPECT_GT(first, 100);
    EXPECT_GT(second, 50);
    EXPECT_EQ(inkIn(page, QRect(0, 2 * lineH, 600, 400)), 0); // nothing below the text
    // The same lines on the screen carry about the same ink (same font, grid
    // and renderer).
    edit.setBackgroundColor(color::white);
    edit.setTextColor(color::black);
    edit.show();
    const QImage screen = edit.viewport()->grab().toImage();
    const QRect fmt = edit.textArea();
    const int onScreen = inkIn(screen, QRect(fmt.left(), fmt.top(), 600, lineH));
    EXPECT_NEAR(first, onScreen, onScreen / 10 + 5);

    // More lines than a page holds start new pages.
    std::string many;
    for (int i = 0; i < 60; ++i)
        many += "line\r\n";
    edit.setText(many);
    printedPage(edit, &pages);
    EXPECT_EQ(pages, (60 + 400 / lineH - 1) / (400 / lineH));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir::tempPath() + QStringLiteral("/mmedit-print-test.pdf"));
    edit.print(printer, QStringLiteral("週刊もるもる"));
    EXPECT_EQ(printer.docName(), QStringLiteral("週刊もるもる"));
    QFile::remove(printer.outputFileName());
}

TEST_F(EditorTest, ANewViewAnswersAtOnce) {
    TextEdit e;
    e.setText("abc");
    EXPECT_EQ(e.textLength(), 3);
    EXPECT_EQ(e.lineStart(-1), 0);
    EXPECT_EQ(e.find(0, "c", true), 2);
    EXPECT_EQ(e.find(0, "C", false), 2);
    EXPECT_EQ(e.find(0, "C", true), -1);
    // A search never matches at a trail byte: ア is 0x83 0x41 ('A').
    e.setText(sj("アA"));
    EXPECT_EQ(e.find(0, "A", true), 2);
}

TEST_F(EditorTest, DrawsJapaneseTextOnTheGrid) {
    const QString first = QStringLiteral("「もるもる」メールマガジン　第１号");
    edit.setText(cp932::encodeKnown(first) + sj("\r\nabc 漢字とｶﾀｶﾅ\r\n") + "\x80\x81");
    edit.setBackgroundColor(color::white);
    edit.setTextColor(color::black);
    edit.show();
    const QImage img = edit.viewport()->grab().toImage();
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    img.save(dir + QStringLiteral("/editor-control.png"));
    EXPECT_EQ(edit.columnWidth(), 8);
    // The first row shows exactly the glyphs of the known text, each
    // double-byte character in two columns: compare with the same text drawn
    // by Qt at the same place in the same font.
    const QRect fmt = edit.textArea();
    const int lineH = edit.lineHeight();
    QImage expected(img.size(), img.format());
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.setFont(edit.editorFont());
        QFont f = edit.editorFont();
        f.setPixelSize(16);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QPoint(fmt.left(), fmt.top() + edit.grid().ascent), first);
    }
    const QRect row(fmt.left(), fmt.top(), 17 * 2 * edit.columnWidth(), lineH);
    int differing = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x)
            if (img.pixel(x, y) != expected.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inkIn(img, row), 300);
    // The invalid bytes of the last line are shown, not dropped.
    EXPECT_GT(inkIn(img, QRect(fmt.left(), fmt.top() + 2 * lineH, 2 * edit.columnWidth(), lineH)),
              0);
}

TEST_F(EditorTest, EditsLeaveTheCaretOnACharacterBoundary) {
    // Deleting the tab between CR and LF joins them: the caret may not stay
    // between the two.
    edit.setText("a\r\t\nb");
    edit.setSelectionStart(3);
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "a\r\nb");
    EXPECT_TRUE(edit.document().isBoundary(edit.caretPosition()));
    QTest::keyClicks(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.text(), "ax\r\nb");
    // Replacing with bytes that end in a lead byte pairs it with the next byte.
    edit.setText("AB");
    edit.setSelectionStart(0);
    edit.replaceSelection("\x82");
    EXPECT_TRUE(edit.document().isBoundary(edit.caretPosition()));
}

namespace {
void commit(TextEdit& edit, const QString& text) {
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(&edit, &e);
}
} // namespace

TEST_F(EditorTest, EachCommitAndEachLineEndIsAnUndoStep) {
    QTest::keyClicks(&edit, QStringLiteral("ab")); // typed one by one: one step
    commit(edit, QStringLiteral("日本"));
    key(Qt::Key_Return);
    commit(edit, QStringLiteral("語"));
    EXPECT_EQ(edit.text(), sj("ab日本\r\n語"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), sj("ab日本\r\n"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), sj("ab日本"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "ab");
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "");
}

TEST_F(EditorTest, AStrayLeadByteIsNeverJoinedWithWhatIsTypedOrPasted) {
    const std::string tail = sj("末尾") + "\x81"; // a lead byte without its trail byte
    for (const QString& typed : {QStringLiteral("A"), QStringLiteral("@"), QStringLiteral("あ")}) {
        edit.setText(tail);
        edit.setSelectionStart(static_cast<int>(tail.size()));
        refused.clear();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QApplication::sendEvent(&edit, &press);
        EXPECT_EQ(edit.text(), tail) << typed.toStdString();
        EXPECT_EQ(refused.size(), 1u);
        commit(edit, typed); // an input-method commit the same way
        EXPECT_EQ(edit.text(), tail);
        QApplication::clipboard()->setText(typed);
        key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit.text(), tail);
    }
    // A line end does not pair with it.
    key(Qt::Key_Return);
    EXPECT_EQ(edit.text(), tail + "\r\n");
    // Deleting the line end between "x" 0x81 and "@y" would make "x　y".
    edit.setText("x\x81\r\n@y");
    edit.setSelectionStart(2);
    key(Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "x\x81\r\n@y");
    edit.setSelectionStart(4);
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "x\x81\r\n@y");
    // Deleting the stray byte itself is fine, and then typing is too.
    edit.setSelectionStart(2);
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "x\r\n@y");
}

TEST_F(EditorTest, CopyAndPasteInsideTheEditorKeepInvalidBytes) {
    const std::string text = "a\x80" + sj("漢") + "\xFD\r\nb";
    edit.setText(text);
    edit.selectAll();
    key(Qt::Key_C, Qt::ControlModifier);
    // Other programs see Unicode text with line ends of their own.
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("a\uFFFD漢\uFFFD\nb"));
    edit.setText("");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), text);
    EXPECT_TRUE(refused.empty());
}

TEST_F(EditorTest, ADragAndAClickRoundToTheSameBoundary) {
    edit.setText(sj("あいう"));
    const QPoint first = edit.positionOfChar(0);
    const int cell = 2 * edit.columnWidth();
    const QPoint rightHalfOfI(first.x() + cell + cell * 3 / 4, first.y() + 2);
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, rightHalfOfI);
    EXPECT_EQ(edit.caretPosition(), 4u); // after い
    QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, QPoint(first.x() + 1, first.y() + 2));
    QTest::mouseMove(edit.viewport(), rightHalfOfI);
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, rightHalfOfI);
    EXPECT_EQ(edit.selectionLength(), 4); // あい, as the click would place the caret
}

TEST_F(EditorTest, OverwriteCaretAndWordSelectionFollowTheCharacters) {
    edit.setText(sj("漢ｶﾀｶﾅ｡x"));
    edit.setFocus();
    key(Qt::Key_Insert); // overwrite
    edit.setSelectionStart(0);
    EXPECT_EQ(static_cast<QWidget&>(edit).inputMethodQuery(Qt::ImCursorRectangle).toRect().width(),
              2 * edit.columnWidth());
    // Double-clicking the katakana selects the word without the ｡ after it.
    const QPoint p = edit.positionOfChar(3);
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, {}, p + QPoint(2, 2));
    EXPECT_EQ(edit.selectedText(), sj("ｶﾀｶﾅ"));
}

TEST_F(EditorTest, APasteCutAtTheLimitIsTold) {
    QSignalSpy limit(&edit, &TextEdit::limitReached);
    edit.setMaxLength(3);
    QApplication::clipboard()->setText(QStringLiteral("abcdef"));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(limit.count(), 1);
}

TEST_F(EditorTest, LoadingAFileReplacesTheTextAsSetTextDoes) {
    TempDir dir;
    const std::string bytes = sj("前回の号\r\nabc") + "\x80" + std::string(200, 'x');
    dir.write("vol1.txt", bytes);
    edit.setText("old text");
    edit.setSelection(2, 5);
    edit.replaceSelection("X");
    QSignalSpy changed(&edit, &TextEdit::changed);
    edit.loadFile(dir.file("vol1.txt"));
    EXPECT_EQ(edit.text(), bytes);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(edit.selectionStart(), 0);
    EXPECT_EQ(edit.selectionLength(), 0);
    EXPECT_FALSE(edit.canUndo());
    EXPECT_EQ(edit.document().filePath(), dir.file("vol1.txt"));
    EXPECT_EQ(edit.document().characterCount(), 4u + 1 + 3 + 1 + 200);
    // The line view follows: the same lines as the same text set directly.
    const int lines = edit.lineCount();
    const TextTotals totals = edit.totals();
    EXPECT_GT(lines, 2);
    edit.setText(bytes);
    EXPECT_EQ(edit.lineCount(), lines);
    EXPECT_EQ(edit.totals().lines, totals.lines);
    EXPECT_EQ(edit.totals().characters, totals.characters);
    edit.loadFile(dir.file("vol1.txt"));

    // A file that cannot be read changes nothing.
    edit.setSelection(2, 6); // 回の
    changed.clear();
    EXPECT_THROW(edit.loadFile(dir.file("missing.txt")), MMEditError);
    EXPECT_THROW(edit.loadFile(dir.path()), MMEditError);
    EXPECT_EQ(edit.text(), bytes);
    EXPECT_EQ(edit.selectionStart(), 2);
    EXPECT_EQ(edit.selectionLength(), 4);
    EXPECT_EQ(edit.document().filePath(), dir.file("vol1.txt"));
    EXPECT_EQ(changed.count(), 0);
    // And the control still edits.
    edit.replaceSelection("y");
    EXPECT_EQ(edit.text(), bytes.substr(0, 2) + "y" + bytes.substr(6));
}

// --- the input method -------------------------------------------------------------------

namespace {

// A shown view with the keyboard focus: Qt's input method asks it where its
// caret is and what text surrounds it.
struct InputMethodTest : EditorTest {
    using Attribute = QInputMethodEvent::Attribute;
    QInputMethod* im = QGuiApplication::inputMethod();
    std::vector<QString> leftOut; // the messages of characters left out
    InputMethodTest() {
        QObject::connect(&edit, &TextEdit::charactersLeftOut,
                         [this](const QString& m) { leftOut.push_back(m); });
    }
    bool focus() {
        edit.show();
        QApplication::setActiveWindow(&edit);
        edit.setFocus();
        QApplication::processEvents();
        return QApplication::focusWidget() == &edit;
    }
    void preedit(const QString& text) {
        QInputMethodEvent e(text, {Attribute(QInputMethodEvent::Cursor, text.size(), 1)});
        QApplication::sendEvent(&edit, &e);
    }
    void commit(const QString& text, int from = 0, int length = 0) {
        QInputMethodEvent e;
        e.setCommitString(text, from, length);
        QApplication::sendEvent(&edit, &e);
    }
    QVariant query(Qt::InputMethodQuery q) {
        return static_cast<QWidget&>(edit).inputMethodQuery(q);
    }
    // The top left of a row and column of the grid in the window.
    QPoint cell(int row, int column) const {
        return edit.viewport()->mapTo(
            &edit,
            QPoint(edit.textMargins().left + column * edit.columnWidth(), row * edit.lineHeight()));
    }
};

} // namespace

TEST_F(InputMethodTest, TheInputMethodIsToldWhereTheCaretStandsAfterEveryMove) {
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += i == 6 ? "line06" + std::string(34, 'x') + "\r\n"
                       : "line " + std::to_string(i) + "\r\n";
    edit.setText(text);
    if (!focus()) GTEST_SKIP() << "no keyboard focus on this platform";
    QSignalSpy told(im, &QInputMethod::cursorRectangleChanged);
    struct Step {
        const char* what;
        std::function<void()> act;
        int row, column; // where the caret shows
    };
    const Step steps[] = {
        {"keys",
         [&] {
             key(Qt::Key_Home, Qt::ControlModifier);
             for (int i = 0; i < 3; ++i)
                 key(Qt::Key_Down);
             for (int i = 0; i < 5; ++i)
                 key(Qt::Key_Right);
         },
         3, 5},
        {"click",
         [&] {
             QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                               edit.viewport()->mapFrom(&edit, cell(6, 30) + QPoint(1, 2)));
         },
         6, 30},
        {"scroll", [&] { edit.verticalScrollBar()->setValue(2); }, 4, 30},
        // Narrower: line 6 wraps, its caret's row stays in sight.
        {"resize", [&] { edit.resize(220, 300); }, 4, -1},
    };
    for (const Step& s : steps) {
        const qsizetype before = told.size();
        s.act();
        QApplication::processEvents();
        EXPECT_GT(told.size(), before) << s.what;
        const QRect r = im->cursorRectangle().toRect();
        EXPECT_EQ(r.top(), cell(s.row, 0).y()) << s.what;
        EXPECT_EQ(r.size(), QSize(2, edit.lineHeight())) << s.what;
        if (s.column >= 0) {
            EXPECT_EQ(r.left(), cell(s.row, s.column).x()) << s.what;
        }
    }
    // After the resize the caret stands where line 6 wrapped.
    ASSERT_GT(edit.wrapColumns(), 8);
    ASSERT_LT(edit.wrapColumns(), 30);
    EXPECT_EQ(im->cursorRectangle().toRect().left(), cell(4, 30 - edit.wrapColumns()).x());
    // A composition: the caret where the input method puts it in the preedit.
    QInputMethodEvent pre(QStringLiteral("かなかな"), {Attribute(QInputMethodEvent::Cursor, 1, 1)});
    QApplication::sendEvent(&edit, &pre);
    EXPECT_EQ(im->cursorRectangle().toRect().left(), cell(4, 32 - edit.wrapColumns()).x());
    EXPECT_EQ(im->anchorRectangle(), im->cursorRectangle());
}

TEST_F(InputMethodTest, AnInterruptedCompositionIsCommittedWhereItWasTyped) {
    // The input method sends its commit after the click or command that
    // interrupted the composition (as ibus does after a reset).
    struct Case {
        const char* what;
        std::function<void()> interrupt;
        std::size_t caret; // after the commit
    };
    const Case cases[] = {
        {"click after def",
         [&] {
             const QPoint p = edit.viewport()->mapFrom(&edit, cell(1, 6) + QPoint(1, 2));
             QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, p);
         },
         12},
        {"Ctrl+End", [&] { key(Qt::Key_End, Qt::ControlModifier); }, 17},
        {"menu command", [&] { edit.runEditorCommand(EditorCommand::textEnd); }, 17},
        {"edit beside the view",
         [&] {
             edit.prepareOutsideEdit();
             edit.setSelectionStart(0);
         },
         0},
    };
    for (const Case& c : cases) {
        edit.setText("abc\r\ndef\r\nghi");
        edit.setSelectionStart(1);
        preedit(QStringLiteral("かな"));
        c.interrupt();
        commit(QStringLiteral("仮名"));
        EXPECT_EQ(edit.text(), sj("a仮名bc\r\ndef\r\nghi")) << c.what;
        EXPECT_EQ(edit.caretPosition(), c.caret) << c.what;
        edit.undo(); // the commit is an undo step of its own
        EXPECT_EQ(edit.text(), "abc\r\ndef\r\nghi") << c.what;
    }
    // Once the text changed otherwise, a commit goes to the caret.
    edit.setText("abc");
    edit.setSelectionStart(1);
    preedit(QStringLiteral("かな"));
    key(Qt::Key_End);
    QTest::keyClicks(&edit, QStringLiteral("Z"));
    commit(QStringLiteral("仮名"));
    EXPECT_EQ(edit.text(), sj("abcZ仮名"));
}

TEST_F(InputMethodTest, WhatShiftJisCannotHoldIsLeftOutAndNamed) {
    edit.setText("ab");
    edit.setSelectionStart(1);
    preedit(QStringLiteral("今日の€"));
    EXPECT_EQ(edit.document().text(), "a" + sj("今日の？") + "b");
    commit(QStringLiteral("今日の€"));
    EXPECT_EQ(edit.text(), "a" + sj("今日の") + "b");
    EXPECT_EQ(edit.caretPosition(), 7u);
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_TRUE(leftOut[0].contains(QStringLiteral("€"))) << leftOut[0].toStdString();
    commit(QStringLiteral("€"));
    EXPECT_EQ(edit.text(), "a" + sj("今日の") + "b");
    EXPECT_EQ(leftOut.size(), 2u);
    EXPECT_TRUE(refused.empty());
}

TEST_F(InputMethodTest, TheSelectionAndItsLineAreToldAndAReconversionReplacesIt) {
    edit.setText(sj("今日は晴れ\r\n明日は雨"));
    edit.setSelection(6, 10); // 晴れ
    struct Answer {
        Qt::InputMethodQuery q;
        QVariant value;
    };
    const Answer answers[] = {
        {Qt::ImCurrentSelection, QStringLiteral("晴れ")},
        {Qt::ImSurroundingText, QStringLiteral("今日は晴れ")},
        {Qt::ImCursorPosition, 5},
        {Qt::ImAnchorPosition, 3},
        {Qt::ImTextBeforeCursor, QStringLiteral("今日は晴れ")},
        {Qt::ImTextAfterCursor, QString()},
        {Qt::ImHints, static_cast<int>(Qt::ImhMultiLine)},
        {Qt::ImEnabled, true},
        {Qt::ImMaximumTextLength, QVariant()},
    };
    for (const Answer& a : answers)
        EXPECT_EQ(query(a.q), a.value) << a.q;
    // The input method takes the selected text back and composes it anew.
    commit(QString(), -2, 2);
    EXPECT_EQ(edit.text(), sj("今日は\r\n明日は雨"));
    preedit(QStringLiteral("はれ"));
    EXPECT_EQ(query(Qt::ImSurroundingText), QStringLiteral("今日は"));
    EXPECT_EQ(query(Qt::ImCursorPosition), 3);
    commit(QStringLiteral("腫れ"));
    EXPECT_EQ(edit.text(), sj("今日は腫れ\r\n明日は雨"));
    commit(QStringLiteral("張れ"), -2, 2); // in one event
    EXPECT_EQ(edit.text(), sj("今日は張れ\r\n明日は雨"));
    EXPECT_EQ(edit.caretPosition(), 10u);
    // A selection the input method sets, in the caret's line.
    edit.setSelectionStart(14); // after 明
    EXPECT_EQ(query(Qt::ImSurroundingText), QStringLiteral("明日は雨"));
    EXPECT_EQ(query(Qt::ImCursorPosition), 1);
    QInputMethodEvent select(QString(), {Attribute(QInputMethodEvent::Selection, 1, 2)});
    QApplication::sendEvent(&edit, &select);
    EXPECT_EQ(edit.selectedText(), sj("日は"));
    // The room the character limit leaves; nothing for a read-only text.
    edit.setText("abc");
    edit.setMaxLength(10);
    EXPECT_EQ(query(Qt::ImMaximumTextLength), 7);
    edit.setReadOnly(true);
    EXPECT_EQ(query(Qt::ImEnabled), false);
}

TEST_F(InputMethodTest, ACompositionStandsInPlaceOfTheSelectionAndInsertsInOverwriteMode) {
    CompColors c{};
    c[0] = {0x000000, 0x00FFFF, 0}; // text being entered: black on yellow
    edit.applyCompositionColors(c);
    edit.setText("abcdef");
    edit.setSelection(2, 4);
    const QImage before = edit.viewport()->grab().toImage();
    preedit(QStringLiteral("か"));
    EXPECT_EQ(edit.document().text(), "ab" + sj("か") + "ef");
    preedit(QStringLiteral("かな")); // in place of the first pre-edit text
    EXPECT_EQ(edit.document().text(), "ab" + sj("かな") + "ef");
    EXPECT_EQ(edit.text(), "abcdef");
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    edit.viewport()->grab().save(QDir::currentPath() +
                                 QStringLiteral("/screenshots/composition-over-selection.png"));
    // Cancelled (Escape): the selection is back as it was.
    QInputMethodEvent cancel;
    QApplication::sendEvent(&edit, &cancel);
    EXPECT_EQ(edit.document().text(), "abcdef");
    EXPECT_EQ(edit.selection().anchor, 2u);
    EXPECT_EQ(edit.selection().caret, 4u);
    EXPECT_EQ(edit.viewport()->grab().toImage(), before);
    preedit(QStringLiteral("かな"));
    commit(QStringLiteral("仮名"));
    EXPECT_EQ(edit.text(), "ab" + sj("仮名") + "ef");
    // Overwrite mode: a composition is inserted, its caret a bar.
    QTest::keyClick(&edit, Qt::Key_Insert);
    ASSERT_FALSE(edit.isInsertMode());
    edit.setSelectionStart(1);
    preedit(QStringLiteral("か"));
    EXPECT_EQ(query(Qt::ImCursorRectangle).toRect().width(), 2);
    commit(QStringLiteral("火"));
    EXPECT_EQ(edit.text(), "a" + sj("火") + "b" + sj("仮名") + "ef");
}

TEST_F(EditorTest, UndoOfADeleteKeyShowsTheDeletedCharacterSelected) {
    // Backspace and Delete each an undo step of their own, after which the
    // deleted character comes back selected, the anchor where the caret was.
    edit.setText(sj("abあc"));
    edit.setSelectionStart(4); // after あ
    key(Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.selectionStart(), 2);
    EXPECT_EQ(edit.selectionLength(), 0);
    key(Qt::Key_Left);
    key(Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "ac");
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.selection(), (Selection{.anchor = 1, .caret = 2}));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), sj("abあc"));
    EXPECT_EQ(edit.selection(), (Selection{.anchor = 4, .caret = 2}));
    // Typing after a deletion is a step of its own.
    edit.setSelectionStart(2);
    QTest::keyClicks(&edit, QStringLiteral("xy"));
    key(Qt::Key_Backspace);
    QTest::keyClicks(&edit, QStringLiteral("z"));
    EXPECT_EQ(edit.text(), sj("abxzあc"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), sj("abxあc"));
}

TEST(EditorKeys, TheEditorKeepsTypingAndItsOwnKeysFromTheWindowsShortcuts) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* text;
        bool kept;
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::NoModifier, "a", true},
        {Qt::Key_A, Qt::ShiftModifier, "A", true},
        {Qt::Key_Space, Qt::NoModifier, " ", true},
        {Qt::Key_5, Qt::KeypadModifier, "5", true},
        {Qt::Key_Backspace, Qt::NoModifier, "\b", true},
        {Qt::Key_Delete, Qt::NoModifier, "\x7f", true},
        {Qt::Key_Delete, Qt::ShiftModifier, "", true},
        {Qt::Key_Return, Qt::NoModifier, "\r", true},
        {Qt::Key_Tab, Qt::NoModifier, "\t", true},
        {Qt::Key_Left, Qt::ShiftModifier, "", true},
        {Qt::Key_Insert, Qt::NoModifier, "", true},
        {Qt::Key_A, Qt::ControlModifier, "\x01", false},
        {Qt::Key_N, Qt::ControlModifier, "\x0e", false},
        {Qt::Key_Home, Qt::ControlModifier, "", false},
        {Qt::Key_F, Qt::AltModifier, "f", false},
        {Qt::Key_F2, Qt::NoModifier, "", false},
        {Qt::Key_F10, Qt::NoModifier, "", false},
        {Qt::Key_Escape, Qt::NoModifier, "\x1b", false},
    };
    for (const Case& c : cases) {
        const QKeyEvent e(QEvent::ShortcutOverride, c.key, c.mods, QString::fromLatin1(c.text));
        EXPECT_EQ(editorKeepsKey(e), c.kept) << c.key << " " << c.mods.toInt();
    }
}

TEST(EditorKeys, WindowShortcutsStillRunWhileTheEditorHasTheFocus) {
    QWidget window;
    auto* edit = new TextEdit(&window);
    int opened = 0, named = 0;
    auto* open = new QAction(&window);
    open->setShortcut(Qt::Key_F2);
    QObject::connect(open, &QAction::triggered, [&] { ++opened; });
    auto* name = new QAction(&window);
    name->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QObject::connect(name, &QAction::triggered, [&] { ++named; });
    window.addActions({open, name});
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    QApplication::processEvents();
    if (!edit->hasFocus()) GTEST_SKIP() << "no keyboard focus on this platform";
    QTest::keyClicks(edit, QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_F2);
    QTest::keyClick(edit, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "a");
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(named, 1);
}

TEST_F(EditorTest, TheViewScrollsSidewaysOnlyToACaretItCanShow) {
    // 80 columns in a window narrower than that: the view scrolls to a caret
    // near the width, but not for one far out in blanks that hang past it
    // (no scroll position shows it), so "a" and BackSpace there keep it still.
    edit.setWordWrap(true);
    edit.setLineWidth(80);
    edit.setWrapModeWord(0x170);
    edit.setText(std::string(79, 'x') + "\r\n" + std::string(200, '\t'));
    QScrollBar* h = edit.horizontalScrollBar();
    ASSERT_GT(h->maximum(), 0);
    edit.setSelectionStart(79); // the end of the first line
    EXPECT_GT(h->value(), 0);
    key(Qt::Key_Home);
    EXPECT_EQ(h->value(), 0);
    key(Qt::Key_End, Qt::ControlModifier); // after 62 tabs that hang: column 496
    EXPECT_EQ(h->value(), 0);
    QTest::keyClicks(&edit, "a"); // on a line of its own
    EXPECT_EQ(h->value(), 0);
    key(Qt::Key_Backspace);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(edit.text(), std::string(79, 'x') + "\r\n" + std::string(200, '\t'));
}
