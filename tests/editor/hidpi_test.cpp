// The editing area on a screen scaled by 2: text drawn with the screen's
// pixels, marks and partial repaints in place.
#include "editor/editingarea.h"

#include "support/newsletterarea.h"
#include "support/sjis.h"
#include "text/cp932.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Before the application starts: every screen scaled by 2.
[[maybe_unused]] const bool scaled = qputenv("QT_SCALE_FACTOR", "2");

struct ScaledMemo : ::testing::Test {
    EditingArea memo;
    ScaledMemo() { setUpNewsletterArea(memo, QSize(600, 240), 60); }
};

} // namespace

TEST_F(ScaledMemo, TextIsDrawnWithTheScreensPixels) {
    memo.setText(sj("週刊もるもる通信　第１２３号 Newsletter\r\n漢字とかなと ABC abc\r\n"));
    memo.show();
    QApplication::processEvents();
    if (memo.devicePixelRatioF() != 2.0) GTEST_SKIP() << "the screen is not scaled";
    const QImage img = memo.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(img.width(), 2 * memo.viewport()->width());
    // An enlarged picture repeats each pixel in a 2 by 2 block; sharp text
    // does not.
    int mixed = 0;
    const QRect text(2 * memo.textArea().left(), 2 * memo.textArea().top(), 600,
                     4 * memo.lineHeight());
    for (int y = text.top(); y + 1 < text.bottom() && y + 1 < img.height(); y += 2)
        for (int x = text.left(); x + 1 < text.right() && x + 1 < img.width(); x += 2) {
            const QRgb a = img.pixel(x, y);
            if (img.pixel(x + 1, y) != a || img.pixel(x, y + 1) != a ||
                img.pixel(x + 1, y + 1) != a)
                ++mixed;
        }
    EXPECT_GT(mixed, 200);
}

TEST_F(ScaledMemo, APartOfTheWindowPaintsAsTheWholeWindowDoes) {
    // Parts cut through characters, marks and the caret-line marker paint
    // the same pixels as a paint of the whole window.
    memo.editMarks().caretLine.setEnabled(true);
    memo.editMarks().caretLine.setColor(rgbColor(255, 0, 0));
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += sj("　行") + std::to_string(i) + " \t" +
                std::string(static_cast<std::size_t>(i % 50), 'x') + "\r\n";
    memo.setText(text);
    memo.show();
    QApplication::setActiveWindow(&memo);
    memo.setFocus();
    QTest::keyClick(&memo, Qt::Key_Down);
    QTest::keyClick(&memo, Qt::Key_Down);
    QApplication::processEvents();
    if (memo.devicePixelRatioF() != 2.0) GTEST_SKIP() << "the screen is not scaled";
    QWidget* v = memo.viewport();
    auto paint = [&](const QRect& part) {
        QImage img(v->size() * 2, QImage::Format_RGB32);
        img.setDevicePixelRatio(2);
        img.fill(Qt::magenta);
        v->render(&img, part.topLeft(), QRegion(part));
        return img;
    };
    const QImage whole = paint(v->rect());
    // The caret-line marker: rows of the screen's pixels in its colour.
    int red = 0;
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x)
            if (whole.pixel(x, y) == qRgb(255, 0, 0)) ++red;
    EXPECT_GT(red, 2 * 100);
    for (const QRect& part :
         {QRect(37, 23, 200, 50), QRect(0, 0, 90, 17), QRect(301, 41, 120, 3)}) {
        const QImage piece = paint(part);
        int differing = 0;
        for (int y = 2 * part.top(); y < 2 * (part.bottom() + 1); ++y)
            for (int x = 2 * part.left(); x < 2 * (part.right() + 1); ++x)
                if (piece.pixel(x, y) != whole.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0) << part.x() << "," << part.y();
    }
}
