#include "app/previousfilewindow.h"

#include "support/tempdir.h"
#include "text/errors.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string u8(const QString& s) {
    return s.toStdString();
}

struct Fragment {
    QString text;
    QTextCharFormat format;
    Qt::Alignment alignment;
};

std::vector<Fragment> fragmentsOf(const QTextDocument* doc) {
    std::vector<Fragment> out;
    for (QTextBlock b = doc->begin(); b != doc->end(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            out.push_back(
                {it.fragment().text(), it.fragment().charFormat(), b.blockFormat().alignment()});
    return out;
}

Fragment fragmentWith(const QTextDocument* doc, const QString& text) {
    for (const Fragment& f : fragmentsOf(doc))
        if (f.text == text) return f;
    ADD_FAILURE() << "no fragment " << u8(text);
    return {};
}

// A letter as WordPad on a Japanese system saves it: a Japanese font in the
// font table, a bold title, a red word, a centred closing line.
const std::string kLetter =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041{\\fonttbl{"
    "\\f0\\fnil\\fcharset128 "
    "\\'82\\'6c\\'82\\'72 \\'82\\'6f\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
    "\\viewkind4\\uc1\\pard\\lang1041\\f0\\fs24\\b\\'8f\\'54\\'8a\\'a7\\'82\\'e0\\'82\\'e9\\'82\\'"
    "e0"
    "\\'82\\'e9\\'92\\'ca\\'90\\'4d\\b0\\par\r\n"
    "\\'8d\\'a1\\'8f\\'54\\'82\\'cd\\cf1\\'91\\'e5\\'91\\'7c\\'8f\\'9c\\cf0\\'82\\'cc\\'98\\'62"
    "\\'82\\'c5\\'82\\'b7\\'81\\'42\\par\r\n"
    "\\pard\\qc\\fs20 --- \\u12354?\\u12356? ---\\par\r\n}\r\n";

class PreviousFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    PreviousFileWindow window;

    QString shown() const { return window.viewer()->toPlainText(); }
};

} // namespace

TEST_F(PreviousFileTest, IsAReadOnlyViewerThatFillsTheWindow) {
    EXPECT_EQ(window.objectName(), QStringLiteral("TForm10"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("前回のファイル"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.size(), QSize(315, 351));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 2);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTextEdit* viewer = window.viewer();
    EXPECT_EQ(viewer->objectName(), QStringLiteral("RichEdit1"));
    EXPECT_TRUE(viewer->isReadOnly());
    EXPECT_EQ(viewer->geometry(), window.rect());
    EXPECT_TRUE(viewer->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(viewer->verticalScrollBar()->isVisible()); // also with nothing to scroll
}

TEST_F(PreviousFileTest, RichTextIsShownFormatted) {
    dir.write("letter.rtf", kLetter);
    window.load(dir.file("letter.rtf"));
    EXPECT_EQ(u8(shown()), "週刊もるもる通信\n今週は大掃除の話です。\n--- あい ---");

    const QTextDocument* doc = window.viewer()->document();
    const Fragment title = fragmentWith(doc, QStringLiteral("週刊もるもる通信"));
    EXPECT_EQ(title.format.fontWeight(), QFont::Bold);
    EXPECT_EQ(title.format.fontFamilies().toStringList(),
              QStringList{QStringLiteral("ＭＳ Ｐゴシック")});
    EXPECT_DOUBLE_EQ(title.format.fontPointSize(), 12.0);
    const Fragment red = fragmentWith(doc, QStringLiteral("大掃除"));
    EXPECT_EQ(red.format.foreground().color(), QColor(255, 0, 0));
    EXPECT_NE(red.format.fontWeight(), QFont::Bold);
    EXPECT_NE(fragmentWith(doc, QStringLiteral("今週は")).format.foreground().color(),
              QColor(255, 0, 0));
    const Fragment closing = fragmentWith(doc, QStringLiteral("--- あい ---"));
    EXPECT_TRUE(closing.alignment & Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(closing.format.fontPointSize(), 10.0);
}

TEST_F(PreviousFileTest, OtherFilesAreCodePage932PlainText) {
    // Line ends of every kind, a byte that is not code page 932, markup that
    // does not open the file.
    dir.write("issue.txt", "\x93\xfa\x96\x7b\x8c\xea\r\nabc\rdef\nx\x82\xff {\\rtf1 \\b y}");
    dir.write("letter.rtf", kLetter);
    window.load(dir.file("letter.rtf"));
    window.load(dir.file("issue.txt"));
    EXPECT_EQ(u8(shown()), "日本語\nabc\ndef\nx\uFFFD\uFFFD {\\rtf1 \\b y}");
    // Nothing of the rich text before stays.
    for (const Fragment& f : fragmentsOf(window.viewer()->document())) {
        EXPECT_NE(f.format.fontWeight(), QFont::Bold) << u8(f.text);
        EXPECT_FALSE(f.format.hasProperty(QTextFormat::ForegroundBrush)) << u8(f.text);
    }
    EXPECT_EQ(window.viewer()->document()->blockCount(), 4);

    // A rich-text file is known by its content, not its name.
    dir.write("letter.txt", kLetter);
    for (const char* name : {"letter.txt", "letter.rtf"}) {
        window.load(dir.file(name));
        EXPECT_EQ(fragmentWith(window.viewer()->document(), QStringLiteral("週刊もるもる通信"))
                      .format.fontWeight(),
                  QFont::Bold);
    }
}

TEST_F(PreviousFileTest, ALongFileIsShownFromItsBeginning) {
    std::string plain, rich = "{\\rtf1\\ansi ";
    for (int i = 0; i < 400; ++i) {
        plain += "line " + std::to_string(i) + "\r\n";
        rich += "line " + std::to_string(i) + "\\par\r\n";
    }
    rich += "}";
    dir.write("long.txt", plain);
    dir.write("long.rtf", rich);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const char* name : {"long.txt", "long.rtf", "long.txt"}) {
        window.viewer()->verticalScrollBar()->setValue(
            window.viewer()->verticalScrollBar()->maximum());
        window.load(dir.file(name));
        QApplication::processEvents();
        EXPECT_EQ(window.viewer()->textCursor().position(), 0) << name;
        EXPECT_EQ(window.viewer()->verticalScrollBar()->value(), 0) << name;
        EXPECT_GT(window.viewer()->verticalScrollBar()->maximum(), 0) << name;
    }
}

TEST_F(PreviousFileTest, AFileThatCannotBeReadKeepsWhatWasShown) {
    dir.write("issue.txt", "\x91\xe6\x82\x50\x8d\x86"); // 第１号
    window.load(dir.file("issue.txt"));
    ASSERT_EQ(u8(shown()), "第１号");

    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ::mkdir(dir.file("folder").c_str(), 0700);
    for (const char* name : {"missing.txt", "fifo", "folder"}) {
        const std::string path = dir.file(name);
        try {
            window.load(path);
            ADD_FAILURE() << name << " was shown";
        } catch (const MMEditError& e) {
            EXPECT_EQ(u8(e.message()), "ファイル " + path + " は開けません");
        }
        EXPECT_EQ(u8(shown()), "第１号") << name;
    }

    // Too large for the viewer: refused before it is read.
    const std::string big = dir.file("big.txt");
    dir.write("big.txt", "");
    ASSERT_EQ(::truncate(big.c_str(), PreviousFileWindow::kMaxShownBytes + 1), 0);
    try {
        window.load(big);
        ADD_FAILURE() << "a too large file was shown";
    } catch (const MMEditError& e) {
        EXPECT_EQ(u8(e.message()), "ファイル " + big + " は大きすぎて開けません");
    }
    EXPECT_EQ(u8(shown()), "第１号");
}

TEST_F(PreviousFileTest, ActivationIsSignalledAndClosingOnlyHides) {
    QSignalSpy activated(&window, &PreviousFileWindow::activated);
    dir.write("issue.txt", "abc");
    window.load(dir.file("issue.txt"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_GE(activated.count(), 1);

    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(u8(shown()), "abc");
    window.show();
    EXPECT_TRUE(window.isVisible());
}

// The window as the user sees it, saved to screenshots/previous-file.png;
// the red word is drawn in red and the bold title darker than plain text.
TEST_F(PreviousFileTest, Screenshot) {
    dir.write("letter.rtf", kLetter);
    window.load(dir.file("letter.rtf"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
    const QImage image = window.grab().toImage();
    const QString shots = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(shots);
    image.save(shots + QStringLiteral("/previous-file.png"));

    int reddish = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 80 && c.blue() < 80) ++reddish;
        }
    EXPECT_GT(reddish, 10);

    // Plain text with a byte that is not code page 932, and a line longer
    // than the window.
    dir.write("issue.txt",
              "\x8f\x54\x8a\xa7\x82\xe0\x82\xe9\x82\xe0\x82\xe9\x92\xca\x90\x4d"
              "\r\n\x91\xe6\x82\x50\x8d\x86 \xff\r\n"
              "http://example.com/a/very/long/address/that/does/not/fit/the/window\r\n");
    window.load(dir.file("issue.txt"));
    QApplication::processEvents();
    window.grab().save(shots + QStringLiteral("/previous-file-plain.png"));
}
