#include "editor/editingarea.h"

#include "support/paintedregion.h"
#include "support/sjis.h"
#include "text/cp932.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextCharFormat>
#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

int countColor(const QImage& img, const QRect& r, QColor c) {
    int n = 0;
    for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), img.height() - 1); ++y)
        for (int x = std::max(r.left(), 0); x <= std::min(r.right(), img.width() - 1); ++x)
            if (img.pixelColor(x, y) == c) ++n;
    return n;
}

// Pixels of a glyph drawn in colour c on white, anti-aliased edges included:
// at least half way from white to c.
int countInk(const QImage& img, const QRect& r, QColor c) {
    int n = 0;
    for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), img.height() - 1); ++y)
        for (int x = std::max(r.left(), 0); x <= std::min(r.right(), img.width() - 1); ++x) {
            const QColor p = img.pixelColor(x, y);
            const double t = (255.0 - p.red()) / (255.0 - c.red());
            if (t < 0.5) continue;
            const double g = 255.0 - t * (255.0 - c.green()), b = 255.0 - t * (255.0 - c.blue());
            if (std::abs(p.green() - g) < 24 && std::abs(p.blue() - b) < 24) ++n;
        }
    return n;
}

const QColor kTeal(0, 128, 128), kAqua(0, 255, 255), kSilver(192, 192, 192), kWhite(255, 255, 255);

struct MemoTest : ::testing::Test {
    EditingArea memo;
    MemoTest() {
        QFont f(QStringLiteral("IPAGothic"));
        f.setPixelSize(15); // "□" 15 pixels wide: the character width becomes 16
        memo.setEditorFont(f);
        memo.resize(700, 300);
        configureNewsletterEditor(memo);
        memo.editArea().setLineLength(70);
        memo.setBackgroundColor(color::white);
        memo.setTextColor(color::black);
    }
    QImage grab() { return memo.viewport()->grab().toImage(); }
    QRect cell(int pos) {
        const QPoint p = memo.positionOfChar(pos);
        return QRect(p.x(), p.y(), memo.editArea().charWidth(), memo.lineHeight());
    }
};

} // namespace

namespace {
// The right edge of the text area (exclusive).
int textRight(const EditingArea& m) {
    return m.textArea().x() + m.textArea().width();
}
} // namespace

TEST_F(MemoTest, GeometryFollowsLineLengthMarginsAndCharacterWidth) {
    EXPECT_EQ(memo.editArea().charWidth(), 16);
    EXPECT_EQ(memo.charPixelHeight(), 16);
    EXPECT_EQ(memo.editArea().margin().left(), 10); // the view's own left margin
    EXPECT_EQ(memo.editArea().margin().top(), 2);
    EXPECT_EQ(memo.editArea().margin().bottom(), 1);
    EXPECT_EQ(memo.wrapLineX(), 571);
    EXPECT_EQ(textRight(memo), 586);
    EXPECT_EQ(memo.textArea().top(), 2);
    EXPECT_EQ(memo.textArea().bottom(), memo.viewport()->height() - 2);
    EXPECT_EQ(memo.wrapColumns(), 70);
    // Nothing may hang: the room right of the line width grows at once.
    memo.wordWrapOption().setWrapRules(wrapKinsoku | wrapWordBreak);
    EXPECT_EQ(textRight(memo), 602);
    EXPECT_EQ(memo.wrapColumns(), 70);
    memo.editArea().setLineLength(0);
    EXPECT_EQ(memo.wrapLineX(), 11);
    EXPECT_EQ(textRight(memo), 10 + 32);
}

TEST(EditingAreaGeometry, MarginsFromTheStartAndASwitchedOffAreaWrapsAtTheWindow) {
    EditingArea m;
    EXPECT_EQ(m.editArea().margin().left(), 10); // room for the selection bar
    EXPECT_EQ(m.editArea().margin().top(), 0);
    m.editArea().margin().setTop(5);
    EXPECT_EQ(m.editArea().margin().top(), 5);
    EXPECT_EQ(m.textArea().top(), 5);

    // The line length holds whatever the window's width; switched off, the
    // text wraps at the window's width.
    m.editArea().setLineLength(40);
    m.resize(400, 200);
    m.show();
    EXPECT_EQ(m.wrapColumns(), 40);
    m.resize(900, 200);
    EXPECT_EQ(m.wrapColumns(), 40);
    m.editArea().setEnabled(false);
    const int wide = m.wrapColumns();
    m.resize(400, 200);
    EXPECT_LT(m.wrapColumns(), wide);
    EXPECT_GT(wide, 40);
}

TEST_F(MemoTest, WrapLineAndLineEndMarksAreDrawnWhereTheRulesSay) {
    memo.setText(sj("ab\r\ncd\nef"));
    const QImage img = grab();
    // The wrap line: a column of silver at x = 571 below the text.
    EXPECT_GT(countColor(img, QRect(571, 100, 1, 100), kSilver), 90);
    EXPECT_EQ(countColor(img, QRect(572, 100, 1, 100), kSilver), 0);
    // A mark at the CR of CR LF, one at the lone LF, the end-of-text mark after "ef".
    EXPECT_GT(countInk(img, cell(2), kTeal), 3);
    EXPECT_GT(countInk(img, cell(6), kTeal), 3);
    EXPECT_GT(countInk(img, cell(9), kTeal), 3);
    EXPECT_EQ(countInk(img, cell(0), kTeal), 0);
}

TEST_F(MemoTest, DoubleByteSpaceMarkOnlyForARealDoubleByteSpace) {
    memo.setText(sj("ａ") + "@\r\n" + sj("　") + "x \t\x1B");
    const QImage img = grab();
    EXPECT_EQ(countInk(img, cell(0), kTeal), 0);  // 0x82 0x81, then 0x40: no mark
    EXPECT_GT(countInk(img, cell(5), kTeal), 3);  // 0x81 0x40: □
    EXPECT_GT(countInk(img, cell(8), kAqua), 0);  // single-byte space
    EXPECT_GT(countInk(img, cell(9), kAqua), 3);  // tab
    EXPECT_GT(countInk(img, cell(10), kTeal), 3); // ESC shows "["
}

TEST_F(MemoTest, NoMarksInsideTheSelectionAndTheyComeBack) {
    memo.setText("a \r\nb");
    memo.setSelection(0, 5); // everything: no marks, no end-of-text mark
    QImage img = grab();
    EXPECT_EQ(countInk(img, cell(1), kAqua), 0);
    EXPECT_EQ(countInk(img, cell(2), kTeal), 0);
    EXPECT_EQ(countInk(img, cell(5), kTeal), 0);
    memo.setSelectionStart(0);
    img = grab();
    EXPECT_GT(countInk(img, cell(1), kAqua), 0);
    EXPECT_GT(countInk(img, cell(2), kTeal), 3);
    EXPECT_GT(countInk(img, cell(5), kTeal), 3);
}

TEST_F(MemoTest, RandomTextsHaveEachMarkInItsCell) {
    // Marks are drawn row by row from each row's start: every mark must
    // stand in the cell of its own character, whatever came before it on
    // the row (tabs, double-byte characters, wrapped rows), outside the
    // selection only.
    const std::vector<std::string> pieces = {"a",    "W",  sj("あ"), sj("ｱ"),  " ",   "\t",
                                             "\r\n", "\n", "\r",     sj("　"), "\x1B"};
    std::mt19937 rng(20261209);
    memo.resize(700, 420);
    for (int round = 0; round < 30; ++round) {
        std::string text;
        const int n = 20 + static_cast<int>(rng() % 160);
        for (int i = 0; i < n; ++i)
            text += pieces[rng() % pieces.size()];
        memo.setText(text);
        std::size_t selS = 0, selE = 0;
        if (round % 3 == 0) {
            selS = rng() % text.size();
            selE = std::min(text.size(), selS + rng() % 30);
            memo.setSelection(static_cast<int>(selS), static_cast<int>(selE));
            selS = static_cast<std::size_t>(memo.selectionStart());
            selE = selS + static_cast<std::size_t>(memo.selectionLength());
        } else {
            memo.setSelectionStart(0);
        }
        const QImage img = grab();
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t len = cp932::charLength(text, pos);
            const QRect c = cell(static_cast<int>(pos));
            const bool selected = pos >= selS && pos < selE;
            const unsigned char b = static_cast<unsigned char>(text[pos]);
            const bool secondOfPair = b == '\n' && pos > 0 && text[pos - 1] == '\r' &&
                                      !(pos - 1 >= selS && pos - 1 < selE);
            const bool teal = b == '\r' || (b == '\n' && !secondOfPair) || b == 0x1B ||
                              (b == 0x81 && len == 2 && text[pos + 1] == 0x40);
            const bool aqua = b == ' ' || b == '\t';
            if (c.bottom() < img.height() && c.right() < img.width() && !selected) {
                if (teal) {
                    EXPECT_GT(countInk(img, c, kTeal), 2) << round << " at " << pos;
                }
                if (aqua) {
                    EXPECT_GT(countInk(img, c, kAqua), 0) << round << " at " << pos;
                }
            }
            if (selected && (teal || aqua) && c.bottom() < img.height()) {
                EXPECT_EQ(countInk(img, c, teal ? kTeal : kAqua), 0) << round << " at " << pos;
            }
            pos += len;
        }
    }
}

TEST_F(MemoTest, ReversedMarksAreBlocksOfTheMarkColour) {
    memo.setText("a\r\nb");
    memo.editMarks().lineEnd.setReversed(true);
    const QImage img = grab();
    const QRect c = cell(1);
    EXPECT_GT(countColor(img, c, kTeal), c.width() * c.height() / 3);
    EXPECT_GT(countColor(img, c, kWhite), 3); // the glyph in the background colour
}

TEST_F(MemoTest, CaretLineMarkerFollowsTheShownRowAndLeavesNothingBehind) {
    memo.editMarks().caretLine.setEnabled(true);
    memo.editMarks().caretLine.setColor(rgbColor(255, 0, 0));
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    memo.setText(std::string(80, 'x') + "\r\n" + text); // the first line wraps at 70
    memo.show();
    QApplication::setActiveWindow(&memo);
    memo.setFocus();
    QApplication::processEvents();
    if (!memo.hasFocus()) GTEST_SKIP() << "no keyboard focus on this platform";
    const QColor red(255, 0, 0);
    auto markerRows = [&] {
        const QImage img = grab();
        std::vector<int> rows;
        for (int y = 0; y < img.height(); ++y)
            if (countColor(img, QRect(0, y, img.width(), 1), red) > 0) rows.push_back(y);
        return rows;
    };
    // The caret at the end of the wrapped part: the first row is underlined.
    memo.setSelectionStart(0);
    QTest::keyClick(&memo, Qt::Key_End);
    EXPECT_EQ(memo.caretLineIndex(), 0);
    EXPECT_EQ(markerRows(), std::vector<int>{memo.caretLineRow(0)});
    QTest::keyClick(&memo, Qt::Key_PageDown);
    auto rows = markerRows();
    EXPECT_EQ(rows.size(), 1u);
    QTest::keyClick(&memo, Qt::Key_PageUp);
    rows = markerRows();
    ASSERT_EQ(rows.size(), 1u);
    QTest::keyClick(&memo, Qt::Key_Right, Qt::ShiftModifier); // a selection: no marker
    EXPECT_TRUE(markerRows().empty());
    QTest::keyClick(&memo, Qt::Key_Left);
    EXPECT_EQ(markerRows().size(), 1u);
}

TEST_F(MemoTest, ScreenshotOfATypicalNewsletter) {
    memo.resize(760, 420);
    memo.setText(sj("━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━\r\n"
                    "　週刊もるもる通信　第１２３号　　　　　　　　　2026/12/08\r\n"
                    "━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━\r\n"
                    "\r\n"
                    "こんにちは、編集部です。今週は「年末の大掃除」についてお届けします。"
                    "読者の皆様からいただいたご質問にも、いくつかお答えしますので、最後までお付き合"
                    "いください。\r\n"
                    "\r\n"
                    "■目次\t1. 大掃除の段取り\r\n"
                    "\t2. 読者 Q&A\r\n"
                    "詳しくは http://example.jp/mag/ をご覧ください (^_^)\r\n"));
    memo.setSelectionStart(0);
    const QImage img = grab();
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    img.save(dir + QStringLiteral("/newsletter-marks.png"));
    EXPECT_GT(countColor(img, QRect(571, 0, 1, img.height()), kSilver), 100);
}

TEST_F(MemoTest, WhatIsOnTheScreenAfterEditingEqualsAFreshPaint) {
    // Partial repaints after typing, deleting, selecting, paging and a font
    // change leave exactly what a paint of the whole window shows.
    memo.editMarks().caretLine.setEnabled(true);
    memo.editMarks().caretLine.setColor(rgbColor(255, 0, 0));
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += sj("　行") + std::to_string(i) + " \t" +
                std::string(static_cast<std::size_t>(i % 90), 'x') + "\r\n";
    memo.setText(text);
    memo.show();
    QApplication::setActiveWindow(&memo);
    memo.setFocus();
    QApplication::processEvents();
    const QImage probe = memo.screen()->grabWindow(memo.winId()).toImage();
    if (probe.isNull()) GTEST_SKIP() << "this platform cannot read the screen back";
    auto settle = [] {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    };
    auto sameAsFresh = [&](const char* step) {
        settle();
        const QImage screen =
            memo.screen()->grabWindow(memo.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage fresh = memo.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.size(), fresh.size()) << step;
        int differing = 0;
        for (int y = 0; y < fresh.height(); ++y)
            for (int x = 0; x < fresh.width(); ++x)
                if (screen.pixel(x, y) != fresh.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0) << step;
    };
    QTest::keyClicks(&memo, QStringLiteral("abc def"));
    sameAsFresh("typing");
    QTest::keyClick(&memo, Qt::Key_Backspace);
    QTest::keyClick(&memo, Qt::Key_Return);
    sameAsFresh("backspace and enter");
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&memo, Qt::Key_Down, Qt::ShiftModifier);
    sameAsFresh("selecting");
    QTest::keyClick(&memo, Qt::Key_Right);
    sameAsFresh("selection removed");
    QTest::keyClick(&memo, Qt::Key_PageDown);
    QTest::keyClick(&memo, Qt::Key_End);
    sameAsFresh("paging");
    QTest::keyClick(&memo, Qt::Key_Delete);
    QTest::keyClick(&memo, Qt::Key_Delete);
    sameAsFresh("joining lines");
    QFont f = memo.editorFont();
    f.setPixelSize(19);
    memo.setEditorFont(f);
    sameAsFresh("font change");
    memo.resize(520, 260);
    sameAsFresh("resize");
}

TEST_F(MemoTest, LinesLaidOutWhileIdleAreOnTheScreenAsAFreshPaintShowsThem) {
    // One paragraph of closing brackets (no break falls in step again after
    // a change):
    // a change at its start leaves the lines in sight waiting for the idle
    // layout, which repaints only what it lays out.
    memo.editMarks().caretLine.setEnabled(true);
    std::string text;
    const std::string closing[3] = {sj("」"), sj("）"), sj("』")};
    for (int i = 0; i < 1200 * 35; ++i)
        text += closing[i % 3];
    memo.setText(text + "\r\nend");
    memo.show();
    QApplication::processEvents();
    const QImage probe = memo.screen()->grabWindow(memo.winId()).toImage();
    if (probe.isNull()) GTEST_SKIP() << "this platform cannot read the screen back";
    auto settle = [&] {
        while (!memo.lineView().complete())
            QApplication::processEvents();
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    };
    auto sameAsFresh = [&](const char* step) {
        const QImage screen =
            memo.screen()->grabWindow(memo.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage fresh = memo.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.size(), fresh.size()) << step;
        EXPECT_EQ(screen, fresh) << step;
    };
    settle();
    memo.verticalScrollBar()->setValue(700);
    settle();
    for (const char* change : {"ab", "", "x"}) {
        // Inserted, taken out, one character: every later line moves.
        const std::size_t removed = std::string_view(change).empty() ? 2 : 0;
        memo.document().replace(0, removed, change);
        EXPECT_FALSE(memo.lineView().complete()) << change;
        settle();
        sameAsFresh(change);
    }
    EXPECT_EQ(memo.verticalScrollBar()->value(), 700);
}

namespace {
struct PaintCount : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};
} // namespace

TEST_F(MemoTest, TheScrollBarIsPaintedAgainOnlyWhenItsHandleMoves) {
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "line\r\n";
    memo.setText(text);
    memo.show();
    QApplication::processEvents();
    const QImage probe = memo.screen()->grabWindow(memo.winId()).toImage();
    if (probe.isNull()) GTEST_SKIP() << "this platform cannot read the screen back";
    PaintCount count;
    memo.verticalScrollBar()->installEventFilter(&count);
    auto same = [&] {
        const QImage screen =
            memo.screen()->grabWindow(memo.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        return screen == memo.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    // A line more or less of 5000 moves the handle by no pixel.
    memo.setSelectionStart(12);
    QTest::keyClick(&memo, Qt::Key_Return);
    QApplication::processEvents();
    QTest::keyClick(&memo, Qt::Key_Backspace);
    QApplication::processEvents();
    EXPECT_EQ(count.paints, 0);
    EXPECT_TRUE(same());
    // Nor does a line end typed at the end and taken back: the view moves a
    // row down and back, the handle stays at the bottom.
    QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    count.paints = 0;
    const int bottom = memo.verticalScrollBar()->value();
    QTest::keyClick(&memo, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(memo.verticalScrollBar()->value(), bottom + 1);
    QTest::keyClick(&memo, Qt::Key_Backspace);
    QApplication::processEvents();
    EXPECT_EQ(memo.verticalScrollBar()->value(), bottom);
    EXPECT_EQ(count.paints, 0);
    EXPECT_TRUE(same());
    // A page up does, and so does a text of a few lines.
    QTest::keyClick(&memo, Qt::Key_PageUp);
    QApplication::processEvents();
    EXPECT_GE(count.paints, 1);
    EXPECT_TRUE(same());
    memo.setText("short\r\ntext");
    QApplication::processEvents();
    EXPECT_TRUE(same());
}

TEST_F(MemoTest, AfterTheWindowShrinksCtrlEndShowsTheCaret) {
    std::string text;
    for (int i = 0; i < 120; ++i)
        text += "line\r\n";
    memo.setText(text);
    memo.show();
    memo.resize(memo.width(), 400);
    memo.resize(memo.width(), 150); // smaller: fewer rows visible
    QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
    const QPoint caret = memo.positionOfChar(memo.caretPosition());
    EXPECT_GE(caret.y(), 0);
    EXPECT_LE(caret.y() + memo.lineHeight(), memo.viewport()->height());
    memo.resize(memo.width(), 500); // larger again: the range shrinks with it
    EXPECT_EQ(memo.verticalScrollBar()->maximum(),
              std::max(0, 121 - (memo.textArea().height()) / memo.lineHeight()));
}

TEST_F(MemoTest, BelowATextEndingWithALineEndIsItsEnd) {
    memo.setText("abc\r\n\r\n");
    memo.show();
    const QRect fmt = memo.textArea();
    // A click on the empty last line, and one far below the text.
    for (const int y : {fmt.top() + 2 * memo.lineHeight() + 2, fmt.top() + 8 * memo.lineHeight()}) {
        QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, QPoint(fmt.left() + 40, y));
        EXPECT_EQ(memo.caretPosition(), 7u) << y;
    }
    QTest::keyClicks(&memo, QStringLiteral("X"));
    EXPECT_EQ(memo.text(), "abc\r\n\r\nX");
    // The end-of-text mark shows on the empty last line.
    memo.setText("abc\r\n");
    memo.setSelectionStart(0);
    const QImage img = grab();
    EXPECT_GT(countInk(img, cell(5), kTeal), 3);
}

TEST_F(MemoTest, ACompositionInMidLineIsLaidOutInPlace) {
    const std::string text = sj("今日は良い天気です");
    memo.editArea().setLineLength(20); // "今日はとても良い天気です" needs 24 columns
    memo.setText(text);
    memo.show();
    memo.setFocus();
    memo.setSelectionStart(6); // after 今日は
    ASSERT_EQ(memo.lineView().count(), 1u);
    const QImage before = grab();

    QTextCharFormat entering;
    entering.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    QInputMethodEvent pre(
        QStringLiteral("とても"),
        {QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, 0, 3, entering),
         QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 3, 1)});
    QApplication::sendEvent(&memo, &pre);
    const QImage during = grab();
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    during.save(QDir::currentPath() + QStringLiteral("/screenshots/composition-mid-line.png"));

    EXPECT_EQ(memo.text(), text); // nothing is kept until the commit
    // The following text moved right and wrapped: 良い天気 stays visible.
    EXPECT_EQ(memo.lineView().count(), 2u);
    const int y = memo.positionOfChar(0).y();
    const int colW = memo.columnWidth();
    const int left = memo.positionOfChar(0).x();
    auto cellInk = [&](const QImage& img, int column, int row) {
        return countInk(
            img,
            QRect(left + column * colW, y + row * memo.lineHeight(), 2 * colW, memo.lineHeight()),
            QColor(0, 0, 0));
    };
    // い after とても (the caret stands in front of 良).
    EXPECT_EQ(cellInk(during, 14, 0), cellInk(before, 8, 0));
    EXPECT_GT(cellInk(during, 14, 0), 10);
    // です went down to the next row.
    EXPECT_EQ(cellInk(during, 0, 1), cellInk(before, 14, 0));
    // The composition takes the entering colours (white background,
    // underlined) and the caret follows the input method's cursor (told in
    // the view's coordinates, around the viewport).
    const QRect caret =
        static_cast<QWidget&>(memo).inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_EQ(caret.x(), memo.viewport()->mapTo(&memo, QPoint(left + 12 * colW, 0)).x());

    // Cancelled: everything is back where it was.
    QInputMethodEvent cancel;
    QApplication::sendEvent(&memo, &cancel);
    EXPECT_EQ(memo.lineView().count(), 1u);
    EXPECT_EQ(memo.document().text(), text);
    EXPECT_EQ(memo.caretPosition(), 6u);
    EXPECT_FALSE(memo.document().canUndo() && memo.document().text() != text);
    EXPECT_EQ(grab(), before);

    // Committed: the text is inserted where the composition stood.
    QApplication::sendEvent(&memo, &pre);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("とても"));
    QApplication::sendEvent(&memo, &commit);
    EXPECT_EQ(memo.text(), sj("今日はとても良い天気です"));
    EXPECT_EQ(memo.caretPosition(), 12u);
}

TEST(EditingAreaFonts, ALatinFontKeepsTheGridAndTheLineLength) {
    for (const char* family : {"DejaVu Sans Mono", "DejaVu Sans"}) {
        EditingArea memo;
        QFont f(QString::fromLatin1(family));
        f.setPixelSize(16);
        if (!QFontInfo(f).family().startsWith(QStringLiteral("DejaVu")))
            GTEST_SKIP() << "DejaVu fonts are not installed";
        memo.setEditorFont(f);
        memo.resize(1400, 300);
        configureNewsletterEditor(memo);
        memo.editArea().setLineLength(70);
        memo.setBackgroundColor(color::white);
        memo.setTextColor(color::black);
        memo.setText(std::string(100, 'x') + "\r\n" + sj("あいうえおかきくけこ"));
        // The line length holds, whatever the font.
        EXPECT_EQ(memo.wrapColumns(), 70) << family;
        ASSERT_GE(memo.lineView().count(), 2u);
        EXPECT_EQ(memo.lineView().line(0).length, 70u) << family;
        // The text keeps its own size: every single-byte glyph fits a column.
        const QFontMetrics fm(memo.editorFont());
        EXPECT_GE(memo.columnWidth(), fm.horizontalAdvance(QLatin1Char('W'))) << family;
        EXPECT_GE(QFontInfo(memo.editorFont()).pixelSize(), 15) << family;
        // Japanese characters come from a fallback font, each in its own two
        // columns.
        memo.show();
        const QImage img = memo.viewport()->grab().toImage();
        QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
        img.save(QDir::currentPath() + QStringLiteral("/screenshots/editor-font-") +
                 QString::fromLatin1(family).replace(QLatin1Char(' '), QLatin1Char('-')) +
                 QStringLiteral(".png"));
        const QPoint a = memo.positionOfChar(103); // あ
        const QPoint i = memo.positionOfChar(105); // い
        EXPECT_EQ(i.x() - a.x(), 2 * memo.columnWidth());
        EXPECT_GT(countInk(img, QRect(a.x(), a.y(), 2 * memo.columnWidth(), memo.lineHeight()),
                           QColor(0, 0, 0)),
                  10)
            << family;
    }
}

TEST_F(MemoTest, AnyLineLengthAndMarginKeepTheArithmeticInRange) {
    // Values as a damaged settings file may hold them (the sanitizer run
    // checks that nothing overflows).
    memo.setText(sj("あいうえお") + "abc");
    memo.editArea().setLineLength(300000000);
    memo.show();
    EXPECT_GT(memo.wrapColumns(), 80);
    EXPECT_EQ(memo.lineView().count(), 1u);
    memo.editArea().setLineLength(2147483647);
    EXPECT_EQ(memo.lineView().count(), 1u);
    (void)memo.wrapLineX();
    (void)grab();
    memo.editArea().margin().setLeft(2000000000);
    EXPECT_GT(memo.wrapColumns(), 0);
    (void)memo.wrapLineX();
    (void)grab();
}

namespace {
// A plain model of code page 932 for the tests below: a lead byte followed by
// a trail byte is one character, every other byte one of its own.
bool leads(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool trails(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
// Whether the last byte of t is a lead byte standing alone.
bool endsInStrayLead(std::string_view t) {
    std::size_t i = 0, last = 0;
    while (i < t.size()) {
        last = i;
        i += leads(t[i]) && i + 1 < t.size() && trails(t[i + 1]) ? 2 : 1;
    }
    return !t.empty() && last == t.size() - 1 && leads(t.back());
}
// Whether inserting bytes at pos (a character boundary) of text would pair a
// stray lead byte with a trail byte: one before pos with the first new byte,
// or one at the end of the new bytes with the byte after pos.
bool joinsAStrayByte(const std::string& text, std::size_t pos, std::string_view bytes) {
    const std::string_view head(text.data(), pos);
    if (!bytes.empty() && endsInStrayLead(head) && trails(bytes.front())) return true;
    return pos < text.size() && trails(text[pos]) && endsInStrayLead(bytes);
}
} // namespace

TEST_F(MemoTest, BytesThatWouldPairWithAStrayByteAreRefusedAndTheTextStaysAsItWas) {
    struct Case {
        std::string text;
        std::size_t pos;
        std::string inserted;
        std::string after; // the text afterwards
    };
    const Case cases[] = {
        {"`", 0, "\x82", "`"},                     // would make "Ａ" (82 60)
        {"ab", 1, "\x82", "ab"},                   // would make 82 62
        {"x\x81", 2, "A", "x\x81"},                // would make 81 41
        {"\x81", 1, sj("あ"), "\x81"},             // 82 is a trail byte too
        {"x\x81", 2, "\r\n", "x\x81\r\n"},         // a line end pairs with nothing
        {"a\r\n", 1, "\x82", "a\x82\r\n"},         // nor does a CR
        {sj("あ") + "@", 2, "A", sj("あ") + "A@"}, // A0 ends あ, it leads nothing
        {"\x82\x60", 2, "\x82", "\x82\x60\x82"},   // at the end nothing follows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " + " + c.inserted);
        memo.setText(c.text);
        memo.setSelection(c.pos, c.pos);
        const bool inserted = memo.replaceSelection(c.inserted);
        EXPECT_EQ(memo.text(), c.after);
        EXPECT_EQ(inserted, c.after != c.text);
        EXPECT_EQ(joinsAStrayByte(c.text, c.pos, c.inserted), c.after == c.text); // the model too
    }
}

TEST_F(MemoTest, RandomKeysKeepTheTextAndTheCaretSound) {
    // Typing, deleting and moving at random, checked against a plain copy of
    // the text: the caret always stands on a character boundary, and what the
    // keys did is what a plain model of them does.
    std::mt19937 rng(20261208);
    memo.setText("a\r\t\nb" + sj("漢字") + "\x82 A\r\n\x81");
    memo.show();
    memo.setFocus();
    std::string model = memo.text();
    const std::vector<QString> typed = {QStringLiteral("x"), QStringLiteral("あ"),
                                        QStringLiteral(" "), QStringLiteral("ｶ")};
    int lastAction = -1;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(::testing::Message() << "after action " << lastAction << " at step " << step);
        const std::size_t caret = memo.caretPosition();
        ASSERT_TRUE(memo.document().isBoundary(caret)) << step;
        ASSERT_EQ(memo.text(), model) << step;
        const int action = static_cast<int>(rng() % 11);
        lastAction = action;
        ASSERT_EQ(memo.selectionLength(), 0) << step; // no key here selects
        const std::size_t before = memo.caretPosition();
        switch (action) {
        case 0:
        case 1: {
            const QString t = typed[rng() % typed.size()];
            const std::string bytes = cp932::encodeKnown(t);
            const bool refused = joinsAStrayByte(model, before, bytes);
            QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, t);
            QApplication::sendEvent(&memo, &e);
            if (!refused) model.insert(before, bytes);
            break;
        }
        case 2: {
            QTest::keyClick(&memo, Qt::Key_Backspace);
            if (before > 0) {
                const std::size_t from = memo.document().text().size() == model.size()
                                             ? before
                                             : cp932::boundaryAtOrBefore(model, before - 1);
                model.erase(from, before - from);
            }
            break;
        }
        case 3: {
            QTest::keyClick(&memo, Qt::Key_Delete);
            if (before < model.size() && memo.text().size() != model.size()) {
                const std::size_t to = cp932::nextBoundary(model, before);
                model.erase(before, to - before);
            }
            break;
        }
        case 4:
            QTest::keyClick(&memo, Qt::Key_Return);
            if (!joinsAStrayByte(model, before, "\r\n")) model.insert(before, "\r\n");
            break;
        case 5:
            QTest::keyClick(&memo, Qt::Key_Left);
            break;
        case 6:
            QTest::keyClick(&memo, Qt::Key_Right);
            break;
        case 7:
            QTest::keyClick(&memo, rng() % 2 ? Qt::Key_Up : Qt::Key_Down);
            break;
        case 8:
            QTest::keyClick(&memo, rng() % 2 ? Qt::Key_Home : Qt::Key_End);
            break;
        default: {
            // Bytes as a command inserts them: line-end halves, tabs, a lead
            // byte, a letter.
            static const char* const raw[] = {"\r", "\n", "\t", "\x82", "A", "@"};
            const std::string bytes = raw[rng() % 6];
            const bool refused = joinsAStrayByte(model, before, bytes);
            memo.replaceSelection(bytes);
            if (!refused) model.insert(before, bytes);
            break;
        }
        }
    }
    ASSERT_EQ(memo.text(), model);
}

TEST_F(MemoTest, AWidthChangeTellsTheNewTotalsAtOnceAndKeepsTheCaretsRow) {
    // 200 lines of 60 letters, the last without a line end: one laid-out line
    // each at 80 columns, two at 40.
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += std::string(60, 'a') + (i < 199 ? "\r\n" : "");
    memo.editArea().setLineLength(80);
    memo.setText(text);
    memo.show();
    memo.setSelectionStart(150 * 62 + 10); // in the 151st line
    std::vector<std::pair<std::int64_t, std::int64_t>> told;
    QObject::connect(&memo, &TextEdit::layoutCompleted,
                     [&] { told.emplace_back(memo.totals().lines, memo.totals().characters); });
    struct Step {
        int width;
        std::int64_t lines, characters;
    };
    for (const Step& s : {Step{40, 398, 12800}, Step{80, 198, 12400}, Step{40, 398, 12800}}) {
        SCOPED_TRACE(s.width);
        const int row = memo.positionOfChar(static_cast<int>(memo.caretPosition())).y();
        ASSERT_GE(row, 0);
        told.clear();
        memo.editArea().setLineLength(s.width);
        ASSERT_FALSE(told.empty());
        EXPECT_EQ(told.back().first, s.lines);
        EXPECT_EQ(told.back().second, s.characters);
        EXPECT_EQ(memo.positionOfChar(static_cast<int>(memo.caretPosition())).y(), row);
    }
}

TEST_F(MemoTest, NoWaveOfARowAboveTheViewInTheTopMargin) {
    // Half-width katakana on every line: each row has its wavy underline at
    // its bottom pixel row, the row above the view's just above the text.
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += sj("ｱｲｳ abc") + "\r\n";
    memo.setText(text);
    memo.setMailCheckActive(true);
    memo.show();
    memo.verticalScrollBar()->setValue(10);
    QApplication::processEvents();
    const QImage img = grab();
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    img.save(QDir::currentPath() + QStringLiteral("/screenshots/mailcheck-scrolled.png"));
    const QColor red(255, 0, 0), orange(255, 140, 0);
    const QRect inside(0, 2, img.width(), img.height() - 2);
    EXPECT_GT(countColor(img, inside, red) + countColor(img, inside, orange), 0);
    const QRect topMargin(0, 0, img.width(), 2); // the margin of 2 pixels
    EXPECT_EQ(countColor(img, topMargin, red) + countColor(img, topMargin, orange), 0);
    const QRect leftOfWrapLine(0, 0, memo.wrapLineX(), 2);
    EXPECT_EQ(countColor(img, leftOfWrapLine, kWhite), memo.wrapLineX() * 2);
}

// Rows of tabs hanging far past the right edge: their marks there are not
// drawn, the findings on the rows after them are.
TEST_F(MemoTest, FindingsAfterARowOfTabsPastTheEdgeHaveTheirWaves) {
    // Row 0: 136 tabs; row 1: ｱ and 150 tabs (two rows); then ｲ after a
    // line end.
    const std::string text =
        std::string(136, '\t') + sj("ｱ") + std::string(150, '\t') + "\r\n" + sj("ｲ");
    memo.setText(text);
    memo.setMailCheckActive(true);
    memo.show();
    QApplication::processEvents();
    ASSERT_EQ(memo.lineCount(), 4);
    const QImage img = grab();
    const QColor red(255, 0, 0), orange(255, 140, 0);
    EXPECT_GT(countColor(img, cell(0), orange), 0);                              // a tab: a warning
    EXPECT_GT(countColor(img, cell(136), red), 0);                               // ｱ: an error
    EXPECT_GT(countColor(img, cell(137), orange), 0);                            // the tab after it
    EXPECT_GT(countColor(img, cell(static_cast<int>(text.size()) - 1), red), 0); // ｲ
}

// A web address longer than the line width is folded on the screen; its
// marks are those of the text as sent: a warning wave under the whole
// address, the long line's mark at the break before it.
TEST_F(MemoTest, ALongAddressHasAWarningWaveAndTheBreakBeforeItAMark) {
    const std::string url = "https://www.example.co.jp/newsletter/2026/12/articles/" +
                            std::string(60, '0') + "/ab.html";
    memo.editArea().setLineLength(40);
    memo.setText(sj("今週の特集はこちら：") + url + sj("をご覧ください。"));
    memo.setMailCheckActive(true);
    memo.show();
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return memo.mailFindingsKnown(); }, 5000));
    EXPECT_EQ(memo.mailFindingCount(), 2u);
    const QImage img = grab();
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    img.save(QDir::currentPath() + QStringLiteral("/screenshots/mailcheck-long-address.png"));
    const QColor red(255, 0, 0), orange(255, 140, 0);
    EXPECT_GT(countColor(img, cell(20), red), 0);    // the break: an error
    EXPECT_GT(countColor(img, cell(80), orange), 0); // inside the address: a warning
    EXPECT_EQ(countColor(img, cell(80), red), 0);
    EXPECT_GT(countColor(img, cell(141), orange), 0); // its last character
    EXPECT_EQ(countColor(img, cell(142), orange), 0); // を, after it
}

namespace {
// A text of 60000 lines of 20 bytes (1.2 MB) with a half-width katakana at
// the start of every 1000th line and a tab in the last line.
constexpr std::size_t kLineBytes = 20;
constexpr std::size_t kLines = 60000;
std::string largeCheckedText() {
    std::string text;
    text.reserve(kLines * kLineBytes);
    for (std::size_t i = 0; i < kLines; ++i) {
        std::string line = "line of text 12345\r\n";
        if (i % 1000 == 0) line[0] = '\xB1'; // ｱ
        if (i == kLines - 1) line[5] = '\t';
        text += line;
    }
    return text;
}
} // namespace

// A large new text is checked while idle: the rows in sight at once, the
// rest in slices, and an edit made meanwhile is followed. The count is told
// once it is complete.
TEST_F(MemoTest, ALargeTextIsCheckedInSightFirstAndTheRestWhileIdle) {
    memo.setMailCheckActive(true);
    memo.show();
    int told = 0;
    QObject::connect(&memo, &EditingArea::mailFindingsChanged, [&] { ++told; });
    memo.setText(largeCheckedText());
    EXPECT_FALSE(memo.mailFindingsKnown());
    // In sight: the katakana at the start.
    const auto inSight = memo.mailCheck().marksIn(memo.document().buffer(), 0, 10 * kLineBytes);
    ASSERT_EQ(inSight.size(), 1u);
    EXPECT_EQ(inSight[0].pos, 0u);
    EXPECT_EQ(inSight[0].kind, mailcheck::Kind::halfWidthKana);
    // A change at the start before the check is through: everything after
    // it moves by one byte.
    memo.document().replace(5, 0, "\xB2"); // ｲ
    ASSERT_TRUE(QTest::qWaitFor([&] { return memo.mailFindingsKnown(); }, 60000));
    EXPECT_EQ(memo.mailFindingCount(), 62u);
    const auto all = memo.mailCheck().marksIn(memo.document().buffer(), 0, memo.document().size());
    ASSERT_EQ(all.size(), 62u);
    EXPECT_EQ(all[0].pos, 0u);
    EXPECT_EQ(all[1].pos, 5u);
    EXPECT_EQ(all[2].pos, 1000 * kLineBytes + 1);
    EXPECT_EQ(all[60].pos, 59000 * kLineBytes + 1);
    EXPECT_EQ(all[61].pos, (kLines - 1) * kLineBytes + 6);
    EXPECT_EQ(all[61].kind, mailcheck::Kind::tab);
    // Told: the count unknown once, then the complete count.
    EXPECT_LE(told, 3);
}

// While a large text is laid out in idle slices the text in sight is not
// painted again slice by slice.
TEST_F(MemoTest, TheIdleLayoutDoesNotRepaintWhatIsInSight) {
    memo.setMailCheckActive(true);
    memo.show();
    QApplication::processEvents();
    PaintCount count;
    memo.viewport()->installEventFilter(&count);
    std::string text;
    for (int i = 0; i < 1'450'000; ++i)
        text += "abcd\r\n"; // 8.7 MB: laid out a first part at once
    memo.setText(text);
    ASSERT_FALSE(memo.lineView().complete());
    int slices = 0;
    while (!memo.lineView().complete()) {
        QApplication::processEvents();
        ++slices;
    }
    QApplication::processEvents();
    EXPECT_GT(slices, 5);
    EXPECT_LE(count.paints, 4);
}

namespace {
// Rows: 0 "first line", 1 marks, 2-3 one paragraph wrapped at 70, 4 a wave
// under the half-width katakana, 5 "line five", 6-15 short lines, 16 "end"
// (the end of the text).
std::string repaintTestText() {
    std::string text = "first line\r\n" + sj("　全角 と\tタブ") + "\r\n" + std::string(100, 'x') +
                       "\r\n" + sj("ｱｲｳ abc") + "\r\nline five\r\n";
    for (int i = 6; i < 16; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text + "end";
}

struct RepaintTest : MemoTest, ::testing::WithParamInterface<bool> {
    PaintedRegion region;
    bool ready = false;
    RepaintTest() {
        memo.resize(700, 420);
        memo.setText(repaintTestText());
        memo.setMailCheckActive(GetParam());
        memo.show();
        QApplication::setActiveWindow(&memo);
        memo.setFocus();
        QApplication::processEvents();
        ready = memo.hasFocus() &&
                QTest::qWaitFor([&] { return !GetParam() || memo.mailFindingsKnown(); }, 5000);
        memo.viewport()->installEventFilter(&region);
    }
    // The view's rows first to last (-1: to its bottom), and the two pixels
    // of the rows around them that glyphs may ink.
    QRect rowsRect(int first, int last) {
        const int top = memo.textArea().top(), rowH = memo.lineHeight();
        const int y0 = top + first * rowH;
        const int y1 = last < 0 ? memo.viewport()->height() : top + (last + 1) * rowH;
        return QRect(0, y0 - 2, memo.viewport()->width(), y1 - y0 + 4) & memo.viewport()->rect();
    }
    bool screenIsFresh() {
        const QImage screen =
            memo.screen()->grabWindow(memo.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        return screen == memo.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};
} // namespace

// A key repaints the rows it changed and the caret's cell, and what is then
// on the screen is what a paint of the whole view shows: marks, a wrapped
// paragraph, a finding's wave and the end of the text included. (The send
// check repaints the rows of the findings a change may move, on its own.)
TEST_P(RepaintTest, AKeyRepaintsOnlyItsRowsAndTheScreenEqualsAFreshPaint) {
    if (!ready) GTEST_SKIP() << "no keyboard focus on this platform";
    ASSERT_EQ(memo.lineCount(), 17);
    const int line5 = memo.lineStart(5), wrapped = memo.lineStart(2);
    const int end = memo.lineStart(16) + 3;
    struct Case {
        const char* what;
        int caret; // -1: where the key before left it
        Qt::Key key;
        int firstRow, lastRow;      // -1: to the bottom of the view
        bool sameWithCheck = false; // the send check draws no other row again
    };
    const Case cases[] = {
        {"typing", line5, Qt::Key_A, 5, 5},
        {"backspace", -1, Qt::Key_Backspace, 5, 5},
        {"delete", -1, Qt::Key_Delete, 5, 5},
        {"typing after the wave", memo.lineStart(4) + 3, Qt::Key_B, 4, 4},
        {"typing in a wrapped paragraph", wrapped + 2, Qt::Key_C, 2, 3},
        {"backspace across the wrap", wrapped + 71, Qt::Key_Backspace, 2, 3},
        {"typing among the marks", memo.lineStart(1) + 2, Qt::Key_Space, 1, 1},
        {"typing at the end", end, Qt::Key_D, 16, -1},
        {"backspace at the end", -1, Qt::Key_Backspace, 16, -1},
        // A line comes or goes at the end: the rows down to the end-of-text
        // row of the longer text, not the blank view below.
        {"a line end at the end", -1, Qt::Key_Return, 16, 18},
        // The line before, ended by its line end, looks as it did.
        {"typing after a final line end", -1, Qt::Key_F, 17, -1, true},
        {"backspace after a final line end", -1, Qt::Key_Backspace, 17, -1, true},
        {"backspace of the final line end", -1, Qt::Key_Backspace, 16, 18},
    };
    for (const Case& c : cases) {
        if (c.caret >= 0) {
            memo.setSelectionStart(c.caret);
            QApplication::processEvents();
        }
        region.painted = QRegion();
        QTest::keyClick(&memo, c.key);
        QApplication::processEvents();
        const QRect painted = region.painted.boundingRect();
        const QRect rows = rowsRect(c.firstRow, c.lastRow);
        if (GetParam() && !c.sameWithCheck)
            EXPECT_TRUE(painted.contains(rows)) << c.what;
        else
            EXPECT_EQ(painted, rows) << c.what << ": " << painted.y() << "+" << painted.height();
        EXPECT_TRUE(screenIsFresh()) << c.what;
    }
    EXPECT_EQ(memo.lineCount(), 17);
    // A selection typed over: the rows it covered, and all below as the
    // lines move up.
    memo.setSelection(memo.lineStart(0) + 2, memo.lineStart(1) + 4);
    QApplication::processEvents();
    region.painted = QRegion();
    QTest::keyClick(&memo, Qt::Key_E);
    QApplication::processEvents();
    EXPECT_EQ(region.painted.boundingRect(), rowsRect(0, -1));
    EXPECT_TRUE(screenIsFresh());
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    memo.grab().save(QDir::currentPath() +
                     QStringLiteral("/screenshots/keys-partial-repaints.png"));
}

// A key at the start of a paragraph of one character repeated moves every
// row after the first by a byte: those rows show the same characters as
// before and are not drawn again.
TEST_P(RepaintTest, AKeyBeforeARunOfOneCharacterRepaintsItsFirstRowOnly) {
    if (!ready) GTEST_SKIP() << "no keyboard focus on this platform";
    std::string run;
    for (int i = 0; i < 3000; ++i)
        run += "\x81\x76"; // 」
    memo.setText(run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !GetParam() || memo.mailFindingsKnown(); }, 5000));
    memo.setSelectionStart(0);
    QApplication::processEvents();
    // A character typed makes the first row one byte longer, and the row
    // after it starts one byte later; taken back, the two rows laid out
    // again.
    struct Step {
        Qt::Key key;
        int lastRow;
    };
    const Step steps[] = {
        {Qt::Key_A, 1}, {Qt::Key_Backspace, 1}, {Qt::Key_B, 1}, {Qt::Key_Backspace, 1}};
    for (const Step& step : steps) {
        region.painted = QRegion();
        QTest::keyClick(&memo, step.key);
        QApplication::processEvents();
        if (!GetParam()) {
            EXPECT_EQ(region.painted.boundingRect(), rowsRect(0, step.lastRow)) << step.key;
        }
        EXPECT_TRUE(screenIsFresh()) << step.key;
    }
    EXPECT_EQ(memo.text(), run);

    // Rows all full: a character typed adds a row at the paragraph's end
    // (out of sight) and BackSpace takes it away; the rows in sight between
    // stay as they were.
    const int rowBytes = memo.lineStart(1);
    ASSERT_EQ(memo.lineStart(2), 2 * rowBytes);
    std::string full;
    for (int i = 0; i < rowBytes / 2 * 60; ++i)
        full += "\x81\x76";
    memo.setText(full);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !GetParam() || memo.mailFindingsKnown(); }, 5000));
    ASSERT_EQ(memo.lineCount(), 60);
    memo.setSelectionStart(0);
    QApplication::processEvents();
    for (const Step& step : steps) {
        region.painted = QRegion();
        QTest::keyClick(&memo, step.key);
        QApplication::processEvents();
        EXPECT_EQ(memo.lineCount(), step.key == Qt::Key_Backspace ? 60 : 61);
        if (!GetParam()) {
            EXPECT_EQ(region.painted.boundingRect(), rowsRect(0, step.lastRow)) << step.key;
        }
        EXPECT_TRUE(screenIsFresh()) << step.key;
    }
    // Changes made without the view, with a selection in the run that
    // moves with the text, and with a line end taken away before the run
    // (a row fewer before it): what is on the screen is a fresh paint.
    memo.setText("ab\r\n" + full);
    QApplication::processEvents();
    memo.setSelection(rowBytes * 3 + 5, rowBytes * 4 + 9);
    memo.document().replace(4, 0, "x");
    QApplication::processEvents();
    EXPECT_TRUE(screenIsFresh()) << "with a selection";
    memo.setSelectionStart(4);
    QApplication::processEvents();
    QTest::keyClick(&memo, Qt::Key_Backspace);
    QApplication::processEvents();
    EXPECT_EQ(memo.text(), "abx" + full);
    EXPECT_TRUE(screenIsFresh()) << "a line end taken away";
}

// A key that moves the view by a row (a row of its own after hanging tabs,
// taken back again) or a scroll by a few rows moves the pixels
// on the screen and paints only the rows at the view's edges; what is on the
// screen is then what a paint of the whole view shows.
TEST_P(RepaintTest, AScrollByARowPaintsOnlyTheRowsAtTheEdges) {
    if (!ready) GTEST_SKIP() << "no keyboard focus on this platform";
    // 40 lines of a number and 100 tabs (most of them hanging past the
    // width), each a row that shows its number, and a last row of 16 tabs.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += std::to_string(i) + std::string(100, '\t') + "\r\n";
    memo.setText(text + std::string(16, '\t'));
    ASSERT_EQ(memo.lineCount(), 41);
    QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_TRUE(screenIsFresh());
    const int rows = memo.verticalScrollBar()->pageStep(),
              bottom = memo.verticalScrollBar()->value();
    ASSERT_EQ(bottom, 41 - rows);
    struct Step {
        const char* what;
        std::function<void()> act;
        int top; // the first row in sight after it
    };
    const Step steps[] = {
        {"a letter on a row of its own", [&] { QTest::keyClick(&memo, Qt::Key_B); }, bottom + 1},
        {"taken back", [&] { QTest::keyClick(&memo, Qt::Key_Backspace); }, bottom},
        {"two rows up", [&] { memo.verticalScrollBar()->setValue(bottom - 2); }, bottom - 2},
        {"a row down", [&] { memo.verticalScrollBar()->setValue(bottom - 1); }, bottom - 1},
    };
    for (const Step& s : steps) {
        region.painted = QRegion();
        s.act();
        QApplication::processEvents();
        EXPECT_EQ(memo.verticalScrollBar()->value(), s.top) << s.what;
        // Nothing in the middle of the view is painted.
        EXPECT_FALSE(region.painted.intersects(rowsRect(rows / 2 - 1, rows / 2))) << s.what;
        EXPECT_TRUE(screenIsFresh()) << s.what;
    }
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    memo.grab().save(QDir::currentPath() + QStringLiteral("/screenshots/scrolled-by-a-row.png"));
}

// A long address cut short by a character no address holds, typed on the
// row after the one it starts on: its warning wave goes from every row, and
// what is on the screen is what a paint of the whole view shows.
TEST_P(RepaintTest, AnAddressCutShortLosesItsWaveInEveryRow) {
    if (!ready) GTEST_SKIP() << "no keyboard focus on this platform";
    const std::string url = "https://www.example.co.jp/newsletter/2026/12/articles/" +
                            std::string(60, '0') + "/ab.html";
    memo.editArea().setLineLength(40);
    memo.setText(sj("今週の特集はこちら：") + url + sj("をご覧ください。"));
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !GetParam() || memo.mailFindingsKnown(); }, 5000));
    ASSERT_TRUE(screenIsFresh());
    // The address from byte 20 on, its scheme on the first row.
    const int row1 = memo.lineStart(1);
    ASSERT_GT(row1, 20);
    ASSERT_LT(row1, 39);
    const QColor red(255, 0, 0), orange(255, 140, 0);
    auto onScreen = [&] {
        return memo.screen()
            ->grabWindow(memo.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    auto inView = [&](int pos) {
        return cell(pos).translated(memo.viewport()->mapTo(&memo, QPoint(0, 0)));
    };
    if (GetParam()) {
        const QImage before = onScreen();
        EXPECT_GT(countColor(before, inView(20), red), 0); // the break before it
        for (const int pos : {30, 70, 110})
            EXPECT_GT(countColor(before, inView(pos), orange), 0) << pos;
    }
    // At byte 39: 19 bytes of the address are left before it.
    memo.setSelectionStart(39);
    QApplication::processEvents();
    QTest::keyClicks(&memo, QStringLiteral("|"));
    QApplication::processEvents();
    EXPECT_EQ(memo.lineStart(1), row1);
    EXPECT_TRUE(screenIsFresh());
    if (GetParam()) {
        const QImage after = onScreen();
        for (const int pos : {30, 70, 110})
            EXPECT_EQ(countColor(after, inView(pos), orange), 0) << pos;
    }
}

INSTANTIATE_TEST_SUITE_P(SendCheck, RepaintTest, ::testing::Bool());
