// The palettes and the header and footer window, apart from the main window.
#include "palettes/facepalette.h"
#include "palettes/framepalette.h"
#include "palettes/headerfooterwindow.h"
#include "palettes/palettetext.h"
#include "palettes/storedlist.h"
#include "platform/help.h"

#include "editor/textedit.h"
#include "platform/errorbox.h"
#include "settings/settings.h"
#include "support/guards.h"
#include "support/scripted.h"
#include "support/sjis.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"
#include "text/mailcheck.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include <sys/stat.h>

// Texts in failure messages as text, not as UTF-16 units.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using palettetext::firstInvalidByte;
using palettetext::footerInsertion;
using palettetext::frameLine;
using palettetext::headerInsertion;
using palettetext::withCrLfLineEnds;

QString u(const char* s) {
    return QString::fromUtf8(s);
}
std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int k = 0; k < n; ++k)
        out += s;
    return out;
}

// A write that fails for as long as the guard lives.
struct FailingWrites {
    FailingWrites() {
        fileio::testing::setWriteHook([](std::size_t) { return false; });
    }
    HookGuard reset{[] { fileio::testing::setWriteHook({}); }};
};

struct Fixture : ::testing::Test {
    TempDir dir;
    SettingsState settings;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    TextEdit editor;
    PaletteContext context{editor, settings, dialogs, shell};

    Fixture() {
        settings.setProgramFolder(dir.path());
        settings.document.lineWidth = 80;
        editor.resize(400, 300);
    }
    // The editor's text with the caret at pos (nothing selected).
    void text(const std::string& bytes, std::size_t pos) {
        editor.setText(bytes);
        editor.setSelection(pos, pos);
    }
    // Loads a palette's list as start-up does: failures in the error box.
    template <class P> std::unique_ptr<P> palette() {
        auto p = std::make_unique<P>(context);
        runCommand(dialogs, [&] { p->loadList(); });
        return p;
    }
    std::vector<QString> boxTexts() const {
        std::vector<QString> t;
        for (const auto& b : dialogs.boxes)
            t.push_back(b.text);
        return t;
    }
};

} // namespace

// --- the text rules ----------------------------------------------------------------------

TEST(FrameLine, RepeatsTheDesignAsOftenAsItFitsTheWidthInBytesThenEndsTheLine) {
    EXPECT_EQ(frameLine("-", 80), std::string(80, '-') + "\r\n");
    EXPECT_EQ(frameLine(sj("♪"), 80), repeat(sj("♪"), 40) + "\r\n");
    EXPECT_EQ(frameLine(sj("○●"), 80), repeat(sj("○●"), 20) + "\r\n");
    EXPECT_EQ(frameLine(sj("-○"), 80), repeat(sj("-○"), 26) + "\r\n"); // 78 bytes
    EXPECT_EQ(frameLine(sj("○●"), 70), repeat(sj("○●"), 17) + "\r\n"); // 68 bytes
    EXPECT_EQ(frameLine("/_", 70), repeat("/_", 35) + "\r\n");
    EXPECT_EQ(frameLine(std::string(80, '='), 80), std::string(80, '=') + "\r\n");
    EXPECT_EQ(frameLine(std::string(81, '='), 80), "\r\n"); // longer than the line
    EXPECT_EQ(frameLine(sj("○"), 1), "\r\n");               // half a character never
    // A width beyond what the editor lays out gives the widest line.
    EXPECT_EQ(frameLine("-", 100000), std::string(80, '-') + "\r\n");
    EXPECT_EQ(frameLine("-", INT32_MAX), std::string(80, '-') + "\r\n");
}

TEST(FrameLine, NeverExceedsTheWidthAndMissesItByLessThanOneDesign) {
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::string design(1 + rng() % 12, 'x');
        const std::int32_t width = 1 + static_cast<std::int32_t>(rng() % 80);
        const std::string line = frameLine(design, width);
        ASSERT_TRUE(line.ends_with("\r\n"));
        const std::size_t body = line.size() - 2;
        ASSERT_EQ(body % design.size(), 0u);
        ASSERT_LE(body, static_cast<std::size_t>(width));
        ASSERT_GT(body + design.size(), static_cast<std::size_t>(width));
    }
}

TEST(HeaderFooterText, TheHeaderEndsItsLineAndTheFooterStartsOnALineOfItsOwn) {
    EXPECT_EQ(headerInsertion("H"), "H\r\n");
    EXPECT_EQ(headerInsertion("H\r\n"), "H\r\n");
    EXPECT_EQ(headerInsertion("H\n"), "H\n");
    EXPECT_EQ(headerInsertion("H\r\n\r\n"), "H\r\n\r\n");
    EXPECT_EQ(headerInsertion(""), "");
    EXPECT_EQ(footerInsertion("", "F"), "F");
    EXPECT_EQ(footerInsertion("T", "F"), "\r\nF");
    EXPECT_EQ(footerInsertion("T\r\n", "F"), "F");
    EXPECT_EQ(footerInsertion("T\r", "F\r\n"), "F\r\n");
    EXPECT_EQ(footerInsertion("T", ""), "");
    // A lead byte at the end of the document stays alone: the line end
    // comes between it and the footer.
    EXPECT_EQ(footerInsertion("T\x82", sj("あ")), "\r\n" + sj("あ"));
}

TEST(HeaderFooterText, EveryLineBreakBecomesCrLfAndAZeroByteEndsTheText) {
    EXPECT_EQ(withCrLfLineEnds("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(withCrLfLineEnds("\r\r\n\n"), "\r\n\r\n\r\n");
    EXPECT_EQ(withCrLfLineEnds("\n\r"), "\r\n\r\n"); // LF then CR: two breaks
    EXPECT_EQ(withCrLfLineEnds(std::string_view("ab\0cd\n", 6)), "ab");
    EXPECT_EQ(withCrLfLineEnds("no break"), "no break");
    // Random texts: the same lines as the list reader finds, and only CR LF pairs.
    std::mt19937 rng(11);
    const char alphabet[] = {'a', '\r', '\n', '\0', '\x82', '\xA0'};
    for (int i = 0; i < 3000; ++i) {
        std::string in;
        for (std::size_t n = rng() % 20; n > 0; --n)
            in += alphabet[rng() % sizeof alphabet];
        const std::string out = withCrLfLineEnds(in);
        ASSERT_EQ(linelist::parse(out), linelist::parse(in));
        ASSERT_EQ(out.find('\0'), std::string::npos);
        for (std::size_t p = 0; p < out.size(); ++p) {
            if (out[p] == '\r') {
                ASSERT_TRUE(p + 1 < out.size() && out[p + 1] == '\n');
            }
            if (out[p] == '\n') {
                ASSERT_TRUE(p > 0 && out[p - 1] == '\r');
            }
        }
    }
}

TEST(HeaderFooterText, FindsTheFirstByteThatIsNotCodePage932WithItsLine) {
    EXPECT_FALSE(firstInvalidByte(sj("ヘッダ ①Ⅰ\r\nｶﾅ\t~")).has_value());
    const auto bad = firstInvalidByte("ab\r\ncd\r\nx\x80y");
    ASSERT_TRUE(bad.has_value());
    EXPECT_EQ(bad->offset, 9u);
    EXPECT_EQ(bad->line, 3u);
    EXPECT_EQ(firstInvalidByte("a\x82")->offset, 1u);    // a lead byte at the end
    EXPECT_EQ(firstInvalidByte("\x82\r\n")->offset, 0u); // before a line end
    EXPECT_EQ(firstInvalidByte("\xFD")->offset, 0u);
    EXPECT_EQ(firstInvalidByte("a\rb\xA0")->line, 2u);
    // Random bytes: invalid exactly when decoding shows a substitute.
    std::mt19937 rng(3);
    for (int i = 0; i < 5000; ++i) {
        std::string in;
        for (std::size_t n = rng() % 8; n > 0; --n)
            in += static_cast<char>(1 + rng() % 255);
        ASSERT_EQ(firstInvalidByte(in).has_value(),
                  cp932::decode(in).contains(QChar(cp932::kInvalidSubstitute)))
            << QByteArray::fromStdString(in).toHex().toStdString();
    }
}

// --- the list files -----------------------------------------------------------------------

TEST(StoredListFiles, LineEndsOfEveryKindReadTheSameEntries) {
    TempDir dir;
    const std::vector<std::string> expected = {"-", sj("○●"), "", " # "};
    for (const char* end : {"\r\n", "\n", "\r"}) {
        dir.write("waku.edt", "-" + std::string(end) + sj("○●") + end + end + " # " + end);
        StoredList list({"built-in"}, dir.file("waku.edt"), dir.file("waku.dat"));
        list.load();
        EXPECT_EQ(list.entries(), expected) << "line end " << int(end[std::strlen(end) - 1]);
    }
    // No line end after the last entry; a zero byte ends the list.
    dir.write("waku.edt", std::string("a\r\nb\0c\r\n", 8));
    StoredList list({}, dir.file("waku.edt"), dir.file("waku.dat"));
    list.load();
    EXPECT_EQ(list.entries(), (std::vector<std::string>{"a", "b"}));
}

TEST(StoredListFiles, TheUsersCopyIsReadWhenItExistsAndIsTheOnlyFileWritten) {
    TempDir dir;
    const std::string shipped = "-\r\n/_\r\n";
    dir.write("waku.edt", shipped);
    {
        StoredList list({}, dir.file("waku.edt"), dir.file("waku.dat"));
        list.load();
        list.append(sj("☆★"));
        EXPECT_EQ(dir.read("waku.dat"), "-\r\n/_\r\n" + sj("☆★") + "\r\n");
        list.remove(0);
        EXPECT_EQ(dir.read("waku.dat"), "/_\r\n" + sj("☆★") + "\r\n");
        list.remove(9); // no such entry
        EXPECT_EQ(list.size(), 2u);
    }
    StoredList again({}, dir.file("waku.edt"), dir.file("waku.dat"));
    again.load();
    EXPECT_EQ(again.entries(), (std::vector<std::string>{"/_", sj("☆★")}));
    EXPECT_EQ(dir.read("waku.edt"), shipped);
}

TEST(StoredListFiles, AMissingListKeepsTheBuiltInEntriesAndNamesTheFile) {
    TempDir dir;
    StoredList list({"(^_^)", "(^o^)"}, dir.file("face.edt"), dir.file("face.dat"));
    try {
        list.load();
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), openErrorText(dir.file("face.edt")));
    }
    EXPECT_EQ(list.entries(), (std::vector<std::string>{"(^_^)", "(^o^)"}));
    // A list file that is too large to be a list is refused before reading.
    dir.write("face.edt", "x");
    std::filesystem::resize_file(dir.file("face.edt"), StoredList::kMaxFileBytes + 1);
    EXPECT_THROW(list.load(), FileTooLargeError);
    EXPECT_EQ(list.size(), 2u);
}

TEST(StoredListFiles, AFailedWriteChangesNeitherTheListNorTheFile) {
    TempDir dir;
    dir.write("face.dat", "a\r\nb\r\n");
    StoredList list({}, dir.file("face.edt"), dir.file("face.dat"));
    list.load();
    {
        FailingWrites failing;
        try {
            list.append("c");
            FAIL();
        } catch (const MMEditError& e) {
            EXPECT_EQ(e.message(), writeErrorText());
        }
        EXPECT_THROW(list.remove(0), MMEditError);
    }
    EXPECT_EQ(list.entries(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(dir.read("face.dat"), "a\r\nb\r\n");
    list.append("c");
    EXPECT_EQ(dir.read("face.dat"), "a\r\nb\r\nc\r\n");
}

TEST(StoredListFiles, AUsersCopyThatCannotBeReadIsNeverWrittenOver) {
    TempDir dir;
    dir.write("waku.edt", "-\r\n");
    ASSERT_EQ(::mkdir(dir.file("waku.dat").c_str(), 0755), 0);
    StoredList list({"built-in"}, dir.file("waku.edt"), dir.file("waku.dat"));
    try {
        list.load();
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), openErrorText(dir.file("waku.dat")));
    }
    EXPECT_EQ(list.entries(), std::vector<std::string>{"-"}); // the shipped list meanwhile
    try {
        list.append("+");
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_TRUE(e.message().contains(QString::fromStdString(dir.file("waku.dat"))));
    }
    EXPECT_EQ(list.entries(), std::vector<std::string>{"-"});
    EXPECT_TRUE(fileio::exists(dir.file("waku.dat")));
    EXPECT_FALSE(fileio::isRegularFile(dir.file("waku.dat")));
}

TEST(StoredListFiles, RandomListFilesReadAsTheLineRulesSay) {
    TempDir dir;
    std::mt19937 rng(5);
    const char alphabet[] = {'a', ' ', '\r', '\n', '\0', '\x81', '\x40', '\xFF'};
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        for (std::size_t n = rng() % 40; n > 0; --n)
            bytes += alphabet[rng() % sizeof alphabet];
        dir.write("face.edt", bytes);
        StoredList list({}, dir.file("face.edt"), dir.file("face.dat"));
        list.load();
        ASSERT_EQ(list.entries(), linelist::parse(bytes));
        // Written and read back, the entries are the same.
        if (list.size() > 0 && rng() % 4 == 0) {
            list.append("z");
            StoredList back({}, dir.file("face.edt"), dir.file("face.dat"));
            back.load();
            ASSERT_EQ(back.entries(), list.entries());
            std::filesystem::remove(dir.file("face.dat"));
        }
    }
}

// --- the frame palette ----------------------------------------------------------------------

using FramePaletteTest = Fixture;

TEST_F(FramePaletteTest, WithoutAListFileTheBuiltInDesignsAreListedAndTheFileIsNamed) {
    auto p = palette<FramePalette>();
    EXPECT_EQ(boxTexts(),
              std::vector<QString>{QStringLiteral("ファイル %1 は開けません.")
                                       .arg(QString::fromStdString(dir.file("waku.edt")))});
    EXPECT_EQ(p->list().entries(), FramePalette::builtInDesigns());
    ASSERT_EQ(p->listBox()->count(), 9);
    EXPECT_EQ(p->listBox()->item(6)->text(), u("○●"));
    EXPECT_EQ(p->listBox()->item(8)->text(), u("◆◇"));
}

TEST_F(FramePaletteTest, WindowsHaveTheirCaptionsSizesAndControls) {
    auto p = palette<FramePalette>();
    EXPECT_EQ(p->objectName(), QStringLiteral("TPalette"));
    EXPECT_EQ(p->windowTitle(), u("枠パレット"));
    EXPECT_EQ(p->size(), QSize(234, 275));
    EXPECT_EQ(p->minimumSize(), p->maximumSize()); // fixed border
    EXPECT_TRUE(p->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(p->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(p->chooseButton()->text(), u("選択"));
    EXPECT_EQ(p->closeButton()->text(), u("閉じる"));
    EXPECT_EQ(p->helpButton()->text(), u("HELP!"));
    EXPECT_EQ(p->addAction()->text(), u("枠デザイン追加"));
    EXPECT_EQ(p->deleteAction()->text(), u("枠デザイン削除"));
    AddEntryDialog* d = p->addDialog();
    EXPECT_EQ(d->objectName(), QStringLiteral("TAdd_Dis"));
    EXPECT_EQ(d->windowTitle(), u("デザイン追加"));
    EXPECT_EQ(d->size(), QSize(176, 85));
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->okButton()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(d->cancelButton()->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(d->helpButton()->text(), QStringLiteral("&Help!"));
    p->show();
    p->closeButton()->click();
    EXPECT_FALSE(p->isVisible());
}

TEST_F(FramePaletteTest, ChoosingInsertsTheLineExactlyAtTheCaretAsOneUndoStep) {
    dir.write("waku.edt", sj("-\r\n♪\r\n○●\r\n/_\r\n-○\r\n"));
    auto p = palette<FramePalette>();
    text("ab\r\ncd", 5); // inside the second line
    p->selectRow(0);
    p->chooseButton()->click();
    EXPECT_EQ(editor.text(), "ab\r\nc" + std::string(80, '-') + "\r\nd");
    EXPECT_EQ(editor.caretPosition(), 5u + 82u);
    editor.undo();
    EXPECT_EQ(editor.text(), "ab\r\ncd");
    EXPECT_EQ(editor.caretPosition(), 5u);

    const std::pair<int, std::string> cases[] = {
        {1, repeat(sj("♪"), 40)}, {2, repeat(sj("○●"), 20)}, {4, repeat(sj("-○"), 26)}};
    for (const auto& [row, line] : cases) {
        text("", 0);
        p->selectRow(row);
        p->choose();
        EXPECT_EQ(editor.text(), line + "\r\n") << row;
    }
    // The width is the document's as it is when the line is made.
    settings.document.lineWidth = 70;
    text("", 0);
    p->selectRow(2);
    p->choose();
    EXPECT_EQ(editor.text(), repeat(sj("○●"), 17) + "\r\n");
    text("", 0);
    p->selectRow(3);
    QTest::keyClick(p->listBox(), Qt::Key_Return);
    EXPECT_EQ(editor.text(), repeat("/_", 35) + "\r\n");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FramePaletteTest, ASelectionIsReplacedAndNoRowChosenDoesNothing) {
    auto p = palette<FramePalette>();
    dialogs.boxes.clear();
    editor.setText("one two three");
    editor.setSelection(4, 7);
    p->selectRow(-1);
    p->choose();
    EXPECT_EQ(editor.text(), "one two three");
    p->selectRow(5); // "#"
    p->choose();
    EXPECT_EQ(editor.text(), "one " + std::string(80, '#') + "\r\n three");
    editor.undo();
    EXPECT_EQ(editor.text(), "one two three");
    EXPECT_EQ(editor.selectedText(), "two");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FramePaletteTest, AWidthNotAboveZeroIsWarnedAndInsertsNothing) {
    auto p = palette<FramePalette>();
    dialogs.boxes.clear();
    text("x", 1);
    p->selectRow(0);
    for (std::int32_t width : {0, -5, INT32_MIN}) {
        settings.document.lineWidth = width;
        p->choose();
    }
    EXPECT_EQ(editor.text(), "x");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[0].caption, u("警告"));
    EXPECT_EQ(dialogs.boxes[0].text, u("最大文字数が０なので貼り付けられません！"));
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(dialogs.boxes[0].buttons, Dialogs::Ok);
}

TEST_F(FramePaletteTest, AnEmptyDesignFromTheFileIsKeptButChoosingItSaysWhy) {
    dir.write("waku.edt", "-\r\n\r\n+\r\n");
    auto p = palette<FramePalette>();
    EXPECT_EQ(p->list().entries(), (std::vector<std::string>{"-", "", "+"}));
    text("x", 1);
    p->selectRow(1);
    p->choose();
    EXPECT_EQ(editor.text(), "x");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, u("警告"));
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("空")));
    EXPECT_FALSE(dialogs.boxes[0].text.contains(u("除算")));
}

TEST_F(FramePaletteTest, ALineThatDoesNotFitTheCharacterLimitIsRefusedWhole) {
    auto p = palette<FramePalette>();
    dialogs.boxes.clear();
    editor.setMaxLength(50);
    text("abc", 3);
    p->selectRow(0);
    p->choose();
    EXPECT_EQ(editor.text(), "abc");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("50")));
    settings.document.lineWidth = 40; // 40 hyphens and CR LF: 41 characters
    p->choose();
    EXPECT_EQ(editor.text(), "abc" + std::string(40, '-') + "\r\n");
}

TEST_F(FramePaletteTest, TheAddDialogWritesFirstAndHidesOnlyAfterASuccessfulWrite) {
    dir.write("waku.edt", "-\r\n+\r\n");
    auto p = palette<FramePalette>();
    p->show();
    p->addAction()->trigger();
    AddEntryDialog* d = p->addDialog();
    ASSERT_TRUE(d->isVisible());
    EXPECT_FALSE(d->okButton()->isEnabled()); // no empty design
    d->field()->setText(u("☆★"));
    EXPECT_TRUE(d->okButton()->isEnabled());
    {
        FailingWrites failing;
        d->okButton()->click();
    }
    EXPECT_TRUE(d->isVisible());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u("ストリームへの書き込みエラー."));
    EXPECT_EQ(p->list().size(), 2u);
    EXPECT_FALSE(fileio::exists(dir.file("waku.dat")));
    // Again, and it is written once.
    d->okButton()->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(dir.read("waku.dat"), "-\r\n+\r\n" + sj("☆★") + "\r\n");
    EXPECT_EQ(dir.read("waku.edt"), "-\r\n+\r\n");
    EXPECT_EQ(p->listBox()->count(), 3);
    EXPECT_EQ(p->selectedRow(), 2);
    // The field keeps its text; Cancel adds nothing.
    p->showAddDialog();
    EXPECT_EQ(d->field()->text(), u("☆★"));
    d->cancelButton()->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(p->list().size(), 3u);
    // Return in the field is OK; an empty field is not.
    p->showAddDialog();
    d->field()->clear();
    QTest::keyClick(d->field(), Qt::Key_Return);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(p->list().size(), 3u);
}

TEST_F(FramePaletteTest, ReturnWritesOnceAndTellsAFailureOnce) {
    dir.write("waku.edt", "-\r\n");
    auto p = palette<FramePalette>();
    p->show();
    p->showAddDialog();
    AddEntryDialog* d = p->addDialog();
    d->field()->setText(u("☆"));
    int writes = 0;
    {
        fileio::testing::setWriteHook([&](std::size_t) {
            ++writes;
            return false;
        });
        HookGuard reset{[] { fileio::testing::setWriteHook({}); }};
        QTest::keyClick(d->field(), Qt::Key_Return);
    }
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(d->isVisible());
    QTest::keyClick(d->field(), Qt::Key_Enter);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(dir.read("waku.dat"), "-\r\n" + sj("☆") + "\r\n");
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(FramePaletteTest, CancelAndEscapeForgetTheText) {
    auto p = palette<FramePalette>();
    p->show();
    AddEntryDialog* d = p->addDialog();
    const std::size_t entries = p->list().size();
    const std::function<void()> ways[] = {[&] { d->cancelButton()->click(); },
                                          [&] { QTest::keyClick(d->field(), Qt::Key_Escape); },
                                          [&] { d->close(); }};
    for (const auto& leave : ways) {
        p->showAddDialog();
        d->field()->setText(u("途中"));
        leave();
        EXPECT_FALSE(d->isVisible());
        p->showAddDialog();
        EXPECT_EQ(d->field()->text(), QString());
        EXPECT_FALSE(d->okButton()->isEnabled());
    }
    EXPECT_EQ(p->list().size(), entries);
}

TEST_F(FramePaletteTest, TextThatCannotBeAnEntryIsToldAndTheDialogStays) {
    auto p = palette<FramePalette>();
    dialogs.boxes.clear();
    p->showAddDialog();
    AddEntryDialog* d = p->addDialog();
    d->field()->setText(QString::fromUtf8("\xF0\x9F\x98\x80-"));
    d->okButton()->click();
    EXPECT_TRUE(d->isVisible());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("Shift-JIS")));
    EXPECT_FALSE(p->addEntry(QStringLiteral("a\nb")));
    EXPECT_EQ(p->list().size(), 9u);
    EXPECT_FALSE(fileio::exists(dir.file("waku.dat")));
}

TEST_F(FramePaletteTest, AnAdditionAndADeletionSurviveARestart) {
    dir.write("waku.edt", "-\r\n+\r\n#\r\n");
    {
        auto p = palette<FramePalette>();
        ASSERT_TRUE(p->addEntry(u("♪♪")));
        p->selectRow(0);
        dialogs.answers = {Dialogs::No};
        p->deleteAction()->trigger();
        EXPECT_EQ(p->list().size(), 4u);
        dialogs.answers = {Dialogs::Yes};
        p->deleteAction()->trigger();
        ASSERT_EQ(dialogs.boxes.size(), 2u);
        EXPECT_EQ(dialogs.boxes[1].text, u("枠デザイン「-」を削除しますか？"));
        EXPECT_EQ(dialogs.boxes[1].buttons, Dialogs::Yes | Dialogs::No);
        EXPECT_EQ(p->selectedRow(), 0); // the row that took its place
        EXPECT_TRUE(p->deleteAction()->isEnabled());
        p->selectRow(-1);
        EXPECT_FALSE(p->deleteAction()->isEnabled());
    }
    auto again = palette<FramePalette>();
    EXPECT_EQ(again->list().entries(), (std::vector<std::string>{"+", "#", sj("♪♪")}));
    EXPECT_EQ(dir.read("waku.edt"), "-\r\n+\r\n#\r\n");
    EXPECT_EQ(dialogs.boxes.size(), 2u); // nothing more to tell
}

TEST_F(FramePaletteTest, HelpOpensThePageAtTheFramePaletteOrTellsItIsMissing) {
    auto p = palette<FramePalette>();
    dialogs.boxes.clear();
    p->helpButton()->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("help/index.html")));
    std::filesystem::create_directory(dir.file("help"));
    dir.write("help/index.html", "<html></html>");
    for (QPushButton* help : {p->helpButton(), p->addDialog()->helpButton()}) {
        help->click();
        ASSERT_NE(HelpWindow::current(), nullptr);
        EXPECT_TRUE(HelpWindow::current()->isVisible());
        EXPECT_EQ(HelpWindow::current()->browser()->source().fragment(),
                  QStringLiteral("frame-palette"));
        HelpWindow::current()->close();
    }
    EXPECT_TRUE(shell.opened.empty());
}

// --- the face-mark palette ------------------------------------------------------------------

using FacePaletteTest = Fixture;

TEST_F(FacePaletteTest, MarksGoInUnchangedAtTheCaretOrOverTheSelection) {
    dir.write("face.edt", sj("(^_^)\n\n(´・ω・`)\n"));
    auto p = palette<FacePalette>();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(p->objectName(), QStringLiteral("Tface"));
    EXPECT_EQ(p->windowTitle(), u("顔文字パレット"));
    EXPECT_NE(p->minimumSize(), p->maximumSize()); // it may be resized
    EXPECT_EQ(p->size(), QSize(225, 277));         // 233 x 304 with its frame
    EXPECT_EQ(p->addDialog()->objectName(), QStringLiteral("TAdd2"));
    EXPECT_EQ(p->addDialog()->size(), QSize(177, 84));
    EXPECT_EQ(p->addAction()->text(), u("顔文字追加"));
    EXPECT_EQ(p->deleteAction()->text(), u("顔文字削除"));

    p->show();
    QApplication::processEvents(); // the list lays its rows out
    text("ab", 1);
    p->selectRow(2);
    p->choose();
    EXPECT_EQ(editor.text(), "a" + sj("(´・ω・`)") + "b");
    editor.setSelection(0, 1);
    p->selectRow(0);
    const QPoint row0 = p->listBox()->visualItemRect(p->listBox()->item(0)).center();
    QTest::mouseClick(p->listBox()->viewport(), Qt::LeftButton, {}, row0);
    QTest::mouseDClick(p->listBox()->viewport(), Qt::LeftButton, {}, row0);
    EXPECT_EQ(editor.text(), "(^_^)" + sj("(´・ω・`)") + "b");
    // An empty mark takes the selection away and inserts nothing.
    editor.setSelection(0, 5);
    p->selectRow(1);
    p->choose();
    EXPECT_EQ(editor.text(), sj("(´・ω・`)") + "b");
    editor.undo();
    EXPECT_EQ(editor.text(), "(^_^)" + sj("(´・ω・`)") + "b");
    p->selectRow(-1);
    p->choose();
    EXPECT_EQ(editor.text(), "(^_^)" + sj("(´・ω・`)") + "b");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FacePaletteTest, WithoutAListTheTwoBuiltInMarksAndAnAdditionIsKeptInFaceDat) {
    auto p = palette<FacePalette>();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QString::fromStdString(dir.file("face.edt"))));
    EXPECT_EQ(p->list().entries(), (std::vector<std::string>{"(^_^)", "(^o^)"}));
    p->showAddDialog();
    p->addDialog()->field()->setText(u("m(_ _)m"));
    p->addDialog()->okButton()->click();
    EXPECT_FALSE(p->addDialog()->isVisible());
    EXPECT_EQ(dir.read("face.dat"), "(^_^)\r\n(^o^)\r\nm(_ _)m\r\n");
    EXPECT_FALSE(fileio::exists(dir.file("face.edt")));
    auto again = palette<FacePalette>();
    EXPECT_EQ(again->list().size(), 3u);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST(ShippedLists, HoldManyValidEntriesInCodePage932WithCrLf) {
    for (const auto& [name, least] : {std::pair{"waku.edt", 30u}, std::pair{"face.edt", 50u}}) {
        const std::string bytes = fileio::readAll(std::string(MMEDIT_DATA_DIR "/") + name);
        const std::vector<std::string> entries = linelist::parse(bytes);
        EXPECT_GE(entries.size(), least) << name;
        EXPECT_EQ(linelist::format(entries), bytes) << name; // CR LF after every entry
        for (const std::string& e : entries) {
            EXPECT_FALSE(e.empty()) << name;
            EXPECT_FALSE(firstInvalidByte(e).has_value()) << name << ": " << e;
        }
    }
}

// What the palettes put into a newsletter passes its send check: no
// machine-dependent character, no half-width katakana, nothing to warn of.
TEST(ShippedLists, EveryEntryPassesTheSendCheck) {
    for (const char* name : {"waku.edt", "face.edt"}) {
        const std::string bytes = fileio::readAll(std::string(MMEDIT_DATA_DIR "/") + name);
        for (const std::string& e : linelist::parse(bytes)) {
            const std::vector<mailcheck::Finding> found = mailcheck::check(e, {});
            EXPECT_TRUE(found.empty()) << name << ": " << cp932::decode(e).toStdString() << " has "
                                       << mailcheck::kindName(found.front().kind).toStdString();
        }
    }
}

// --- the header and footer window -----------------------------------------------------------

struct HeaderFooterTest : Fixture {
    HeaderFooterWindow window{context};
    TextEdit& header() { return *window.box(HeaderFooterWindow::Part::header); }
    TextEdit& footer() { return *window.box(HeaderFooterWindow::Part::footer); }
};

TEST_F(HeaderFooterTest, TheWindowHasItsCaptionLayoutAndMenu) {
    EXPECT_EQ(window.objectName(), QStringLiteral("TForm11"));
    EXPECT_EQ(window.windowTitle(), u("ヘッダ、フッダウインドウ"));
    EXPECT_EQ(window.centralWidget()->size(), QSize(420, 307));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(header().height(), 89);
    EXPECT_EQ(footer().height(), 90);
    EXPECT_EQ(window.pasteButton(HeaderFooterWindow::Part::header)->text(), u("張り付け"));
    EXPECT_EQ(window.pasteButton(HeaderFooterWindow::Part::footer)->property("Tag").toInt(), 1);
    EXPECT_EQ(window.okButton()->text(), QStringLiteral("OK"));
    const QList<QAction*> menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), u("ファイル"));
    QStringList items;
    for (QAction* a : menus[0]->menu()->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{u("ヘッダの保存"), u("ヘッダの読み込み"), "-", u("フッダの保存"),
                                  u("フッダの読み込み"), "-", u("閉じる")}));
    window.show();
    window.okButton()->click();
    EXPECT_FALSE(window.isVisible());
    window.show();
    window.closeItem()->trigger();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(HeaderFooterTest, TheHeaderGoesAtTheStartEndingItsLineWithoutTheClipboard) {
    QApplication::clipboard()->setText(QStringLiteral("the user's copy"));
    header().setText(sj("■ヘッダ"));
    window.pasteButton(HeaderFooterWindow::Part::header)->click();
    EXPECT_EQ(editor.text(), sj("■ヘッダ") + "\r\n"); // into an empty document
    EXPECT_EQ(editor.caretPosition(), editor.text().size());
    text("T", 1);
    window.paste(0);
    EXPECT_EQ(editor.text(), sj("■ヘッダ") + "\r\nT");
    EXPECT_EQ(editor.caretPosition(), 10u);
    editor.undo(); // one step, and the caret where it was
    EXPECT_EQ(editor.text(), "T");
    EXPECT_EQ(editor.caretPosition(), 1u);
    // A header with its own line end gets no other; twice gives two copies.
    header().setText("H\r\n");
    window.paste(0);
    window.paste(0);
    EXPECT_EQ(editor.text(), "H\r\nH\r\nT");
    // Other numbers and an empty header change nothing.
    window.paste(2);
    window.paste(-1);
    header().setText("");
    window.paste(0);
    EXPECT_EQ(editor.text(), "H\r\nH\r\nT");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("the user's copy"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(HeaderFooterTest, TheFooterGoesAtTheEndOnALineOfItsOwnWithNothingAfterIt) {
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    footer().setText(sj("発行：もるもる"));
    text("T", 0);
    window.pasteButton(HeaderFooterWindow::Part::footer)->click();
    EXPECT_EQ(editor.text(), "T\r\n" + sj("発行：もるもる"));
    EXPECT_EQ(editor.caretPosition(), editor.text().size());
    editor.undo();
    EXPECT_EQ(editor.text(), "T");
    EXPECT_EQ(editor.caretPosition(), 0u);
    text("T\r\n", 0); // after a final line end
    window.paste(1);
    EXPECT_EQ(editor.text(), "T\r\n" + sj("発行：もるもる"));
    text("", 0);
    footer().setText("F\r\n");
    window.paste(1);
    EXPECT_EQ(editor.text(), "F\r\n");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
}

// A composition in progress stands in the editor's document without an undo
// step; an insertion made beside the editor takes it out first, so it never
// becomes part of the inserted change or lands at a shifted position.
TEST_F(HeaderFooterTest, ACompositionInProgressNeverBecomesPartOfAnInsertion) {
    auto compose = [&] {
        QInputMethodEvent pre(QStringLiteral("とても"),
                              {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 3, 1)});
        QApplication::sendEvent(&editor, &pre);
        ASSERT_EQ(editor.document().text(), "a" + sj("とても") + "b");
    };
    footer().setText("F");
    header().setText("H");
    text("ab", 1);
    compose();
    window.paste(1);
    EXPECT_EQ(editor.document().text(), "ab\r\nF");
    editor.undo();
    EXPECT_EQ(editor.document().text(), "ab");
    text("ab", 1);
    compose();
    window.paste(0);
    EXPECT_EQ(editor.document().text(), "H\r\nab");
    editor.undo();
    EXPECT_EQ(editor.document().text(), "ab");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(HeaderFooterTest, PastesThatDoNotFitTheLimitAreRefusedWhole) {
    editor.setMaxLength(5);
    text("abc", 0);
    header().setText("HEADER");
    window.paste(0);
    footer().setText("FOOTER");
    window.paste(1);
    EXPECT_EQ(editor.text(), "abc");
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    editor.setReadOnly(true);
    header().setText("H");
    window.paste(0);
    EXPECT_EQ(editor.text(), "abc");
}

TEST_F(HeaderFooterTest, AHeaderSavedWithoutAFinalLineBreakLoadsBackTheSame) {
    using Part = HeaderFooterWindow::Part;
    const std::string text = sj("１行目\r\n２行目") + "\x80\xFD"; // invalid bytes kept
    header().setText(text);
    dialogs.fileNames = {dir.file("head")};
    window.saveItem(Part::header)->trigger();
    EXPECT_EQ(dir.read("head.txt"), text); // ".txt" added, byte for byte
    header().setText("other");
    dialogs.fileNames = {dir.file("head.txt")};
    // The file holds invalid bytes: it is refused and the box keeps its text.
    window.loadItem(Part::header)->trigger();
    EXPECT_EQ(header().text(), "other");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(u("2 行目")));
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QString::fromStdString(dir.file("head.txt"))));

    const std::string valid = sj("１行目\r\n２行目");
    header().setText(valid);
    window.saveTo(Part::header, dir.file("valid.txt"));
    EXPECT_EQ(dir.read("valid.txt"), valid);
    header().setText("");
    dialogs.fileNames = {dir.file("valid")}; // the name with ".txt" is there
    window.loadItem(Part::header)->trigger();
    EXPECT_EQ(header().text(), valid);
    EXPECT_EQ(dialogs.fileCaptions, (std::vector<QString>{u("ヘッダの保存"), u("ヘッダの読み込み"),
                                                          u("ヘッダの読み込み")}));
    dialogs.fileNames.clear(); // cancelled: nothing happens
    window.load(Part::footer);
    window.save(Part::footer);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(HeaderFooterTest, LoadingMakesEveryLineBreakCrLfAndAZeroByteEndsTheText) {
    using Part = HeaderFooterWindow::Part;
    dir.write("lf.txt", "a\nb\rc\r\n\n");
    window.loadFrom(Part::footer, dir.file("lf.txt"));
    EXPECT_EQ(footer().text(), "a\r\nb\r\nc\r\n\r\n");
    window.saveTo(Part::footer, dir.file("crlf.txt"));
    EXPECT_EQ(dir.read("crlf.txt"), "a\r\nb\r\nc\r\n\r\n");
    dir.write("nul.txt", std::string("x\ny\0\x80z", 6));
    window.loadFrom(Part::footer, dir.file("nul.txt"));
    EXPECT_EQ(footer().text(), "x\r\ny");
}

TEST_F(HeaderFooterTest, AFileTooLargeOrMissingIsToldAndTheBoxKeepsItsText) {
    using Part = HeaderFooterWindow::Part;
    header().setText("kept");
    const auto loadFails = [&](const std::string& name) {
        dialogs.boxes.clear();
        dialogs.fileNames = {dir.file(name)};
        window.load(Part::header);
        EXPECT_EQ(header().text(), "kept") << name;
        return dialogs.boxes.size() == 1 ? dialogs.boxes[0].text : QString();
    };
    const QString tooLarge = u("文字列の大きさが メモ の制限を越えました.");
    // One character more than the box holds (a CR LF pair counts one).
    dir.write("full.txt", repeat(sj("あ"), 29999) + "\n");
    window.loadFrom(Part::footer, dir.file("full.txt"));
    EXPECT_EQ(footer().text().size(), 29999u * 2 + 2);
    dir.write("over.txt", repeat(sj("あ"), 29999) + "\n\n");
    EXPECT_EQ(loadFails("over.txt"), tooLarge);
    dir.write("huge.txt", "x");
    std::filesystem::resize_file(dir.file("huge.txt"), 2 << 20);
    EXPECT_EQ(loadFails("huge.txt"), tooLarge);
    EXPECT_EQ(loadFails("missing.txt"), openErrorText(dir.file("missing.txt")) + ".");
    std::filesystem::create_directory(dir.file("folder.txt"));
    EXPECT_EQ(loadFails("folder.txt"), openErrorText(dir.file("folder.txt")) + ".");
    dir.write("utf8.txt", "\xE3\x83\x98\xE3\x83\x83\xE3\x83\x80");
    EXPECT_TRUE(loadFails("utf8.txt").contains(u("Shift-JIS")));
}

TEST_F(HeaderFooterTest, RandomFilesLoadWithTheirLinesOrAreRefusedWithTheBoxKept) {
    using Part = HeaderFooterWindow::Part;
    std::mt19937 rng(17);
    const char alphabet[] = {'a', '\r', '\n', '\0', '\x81', '\x40', '\x82', '\xA0', '\xFF', '\xB1'};
    for (int i = 0; i < 400; ++i) {
        std::string bytes;
        for (std::size_t n = rng() % 24; n > 0; --n)
            bytes += alphabet[rng() % sizeof alphabet];
        dir.write("random.txt", bytes);
        header().setText("before");
        try {
            window.loadFrom(Part::header, dir.file("random.txt"));
            ASSERT_EQ(header().text(), withCrLfLineEnds(bytes));
            ASSERT_FALSE(firstInvalidByte(header().text()).has_value());
        } catch (const MMEditError&) {
            ASSERT_EQ(header().text(), "before");
            ASSERT_TRUE(firstInvalidByte(withCrLfLineEnds(bytes)).has_value());
        }
    }
}

TEST_F(HeaderFooterTest, AFailedSaveIsToldAndLeavesTheOldFile) {
    dir.write("foot.txt", "old");
    footer().setText("new");
    dialogs.fileNames = {dir.file("foot.txt")};
    {
        FailingWrites failing;
        window.save(HeaderFooterWindow::Part::footer);
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u("ストリームへの書き込みエラー."));
    EXPECT_EQ(dir.read("foot.txt"), "old");
}

// Each file dialog starts at its own last file name.
TEST_F(HeaderFooterTest, EachFileDialogKeepsItsOwnLastName) {
    struct Recording : ScriptedDialogs {
        std::vector<std::string> starts;
        std::vector<QString> filters;
        std::string openFileName(const QString& c, const QString& f,
                                 const std::string& start) override {
            starts.push_back(start);
            filters.push_back(f);
            return ScriptedDialogs::openFileName(c, f, start);
        }
    } recording;
    PaletteContext own{editor, settings, recording, shell};
    HeaderFooterWindow w(own);
    using Part = HeaderFooterWindow::Part;
    recording.fileNames = {dir.file("h.txt"), dir.file("f.txt"), "", ""};
    w.save(Part::header);
    w.save(Part::footer);
    w.save(Part::header);
    w.load(Part::header);
    EXPECT_EQ(recording.starts, (std::vector<std::string>{"", "", dir.file("h.txt"), ""}));
    EXPECT_EQ(recording.filters[0], u("テキストファイル (*.txt)"));
}

// Pictures of the three windows with Japanese text, written when
// MMEDIT_SCREENSHOTS names a folder.
TEST_F(Fixture, Screenshots) {
    const QByteArray folder = qgetenv("MMEDIT_SCREENSHOTS");
    if (folder.isEmpty()) GTEST_SKIP() << "MMEDIT_SCREENSHOTS not set";
    dir.write("waku.edt", fileio::readAll(MMEDIT_DATA_DIR "/waku.edt"));
    dir.write("face.edt", fileio::readAll(MMEDIT_DATA_DIR "/face.edt"));
    auto frame = palette<FramePalette>();
    auto face = palette<FacePalette>();
    frame->selectRow(6);
    face->selectRow(3);
    HeaderFooterWindow window(context);
    window.box(HeaderFooterWindow::Part::header)
        ->setText(sj("☆★☆ 週刊もるもる通信 第１２号 ☆★☆\r\n発行：もるもる編集部"));
    window.box(HeaderFooterWindow::Part::footer)
        ->setText(sj("配信の解除はこちらから\r\nhttps://example.jp/stop\r\n(c) もるもる"));
    frame->addDialog()->field()->setText(u("♪♭"));
    for (QWidget* w : std::initializer_list<QWidget*>{frame.get(), face.get(), &window,
                                                      frame->addDialog(), face->addDialog()}) {
        w->show();
        QApplication::processEvents();
        ASSERT_TRUE(
            w->grab().save(QString::fromLocal8Bit(folder) + "/" + w->objectName() + ".png"));
    }
}
