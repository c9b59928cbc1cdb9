#include "editwindow.h"

#include "app/printing.h"
#include "editor/linerenderer.h"
#include "text/errors.h"

#include <QPainter>
#include <QRegularExpression>

namespace {

bool ink(QRgb c) {
    return qGray(c) < 160;
}

// The rightmost column of ink in rows [top, bottom) of an image; -1 when
// there is none.
int inkRight(const QImage& img, int top, int bottom) {
    int right = -1;
    for (int y = std::max(top, 0); y < std::min(bottom, img.height()); ++y)
        for (int x = img.width() - 1; x > right; --x)
            if (ink(img.pixel(x, y))) {
                right = x;
                break;
            }
    return right;
}

int inkLeft(const QImage& img, int top, int bottom) {
    int left = img.width();
    for (int y = std::max(top, 0); y < std::min(bottom, img.height()); ++y)
        for (int x = 0; x < left; ++x)
            if (ink(img.pixel(x, y))) {
                left = x;
                break;
            }
    return left;
}

QImage page(QSize size, double dpi) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

std::string readFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

int pdfPages(const std::string& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return static_cast<int>(
        QString::fromLatin1(pdf.data(), static_cast<qsizetype>(pdf.size())).count(page));
}

struct PrintingTest : EditWindowTest {
    // A text whose lines the editing area wraps at 20 columns: 20 + 10
    // columns of kana, 3 letters, an empty line, 25 digits (no break
    // allowed: 20 + 5) and two full-width letters.
    void startWithText() {
        start();
        editor().editArea().setLineLength(20);
        editor().setText(sj("あいうえおかきくけこさしすせそ\r\nabc\r\n\r\n"
                            "1234567890123456789012345\r\nＡＢ"));
        ASSERT_EQ(editor().lineView().count(), 7u);
    }
    // Columns of each laid-out line, as the screen has them.
    std::vector<int> screenColumns() {
        std::vector<int> cols;
        const Document& doc = editor().document();
        for (std::size_t i = 0; i < editor().lineView().count(); ++i) {
            const LaidLine& l = editor().lineView().line(i);
            const std::string bytes = doc.text(l.start, l.start + l.length);
            int c = 0;
            for (std::size_t p = 0; p < bytes.size(); p += cp932::charLength(bytes, p))
                c += cp932::charColumns(bytes, p, c);
            cols.push_back(c);
        }
        return cols;
    }
};

} // namespace

TEST_F(PrintingTest, ThePrintedLinesAreTheScreensLines) {
    startWithText();
    const std::vector<int> cols = screenColumns();
    EXPECT_EQ(cols, (std::vector<int>{20, 10, 3, 0, 20, 5, 4}));
    const double dpi = editor().logicalDpiY();
    QImage img = page(QSize(600, 400), dpi);
    const TextGrid g = measureGrid(editor().editorFont(), &img);
    ASSERT_EQ(g.columnWidth, editor().columnWidth()); // the same grid at the same resolution
    int newPages = 0;
    {
        QPainter p(&img);
        EXPECT_EQ(printing::drawPages(editor(), p, &img, img.size(), [&] { ++newPages; }), 1);
    }
    EXPECT_EQ(newPages, 0);
    saveScreenshot(img, "print-page.png");
    for (std::size_t i = 0; i < cols.size(); ++i) {
        const int top = static_cast<int>(i) * g.lineHeight;
        const int right = inkRight(img, top, top + g.lineHeight);
        if (cols[i] == 0) {
            EXPECT_EQ(right, -1) << "line " << i;
            continue;
        }
        // The ink ends inside the line's last cell.
        EXPECT_GT(right, (cols[i] - 1) * g.columnWidth) << "line " << i;
        EXPECT_LE(right, cols[i] * g.columnWidth + 1) << "line " << i;
        EXPECT_LT(inkLeft(img, top, top + g.lineHeight), g.columnWidth) << "line " << i;
    }
    // Nothing below the last line.
    EXPECT_EQ(inkRight(img, static_cast<int>(cols.size()) * g.lineHeight, img.height()), -1);
}

TEST_F(PrintingTest, LinesGoOnToTheNextPageAndAWideLineIsDrawnSmaller) {
    startWithText();
    const double dpi = editor().logicalDpiY();
    QImage probe = page(QSize(10, 10), dpi);
    const TextGrid g = measureGrid(editor().editorFont(), &probe);
    // Three lines a page: the seven lines take three pages.
    const QSize size(30 * g.columnWidth, 3 * g.lineHeight + g.lineHeight / 2);
    // The pages one under the other in one picture: a new page moves down.
    QImage sheet = page(QSize(size.width(), 4 * size.height()), dpi);
    {
        QPainter p(&sheet);
        const int n =
            printing::drawPages(editor(), p, &sheet, size, [&] { p.translate(0, size.height()); });
        EXPECT_EQ(n, 3);
    }
    saveScreenshot(sheet, "print-pages.png");
    auto rows = [&](int pageIndex, int line) {
        const int top = pageIndex * size.height() + line * g.lineHeight;
        return std::make_pair(top, top + g.lineHeight);
    };
    auto right = [&](int pageIndex, int line) {
        const auto [top, bottom] = rows(pageIndex, line);
        return inkRight(sheet, top, bottom);
    };
    // Page 2 begins with the empty line, then the 20 digits and the 5.
    EXPECT_GT(right(0, 2), 2 * g.columnWidth); // abc ends page 1
    EXPECT_EQ(right(1, 0), -1);
    EXPECT_GT(right(1, 1), 19 * g.columnWidth);
    EXPECT_LT(right(1, 2), 5 * g.columnWidth + 2);
    EXPECT_GT(right(2, 0), 3 * g.columnWidth);
    EXPECT_EQ(inkRight(sheet, 2 * size.height() + g.lineHeight, sheet.height()), -1);

    // A page narrower than the line width: the same lines, smaller.
    const QSize narrow(11 * g.columnWidth, 20 * g.lineHeight);
    QImage small = page(narrow, dpi);
    {
        QPainter p(&small);
        EXPECT_EQ(printing::drawPages(editor(), p, &small, narrow, [] {}), 1);
    }
    saveScreenshot(small, "print-narrow.png");
    EXPECT_LE(inkRight(small, 0, small.height()), narrow.width());
    EXPECT_GT(inkRight(small, 0, g.lineHeight / 2), narrow.width() * 3 / 4); // the first line
}

TEST_F(PrintingTest, PrintAPreviewAndAPdfFileUnderTheJobTitle) {
    startWithText();
    // Cancelled: nothing is printed.
    trigger("Print1");
    EXPECT_EQ(common->printAsked, 1);
    EXPECT_EQ(main->item(QStringLiteral("Print1"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));

    common->printTo = dir.file("printed.pdf");
    trigger("SpeedButton41");
    EXPECT_EQ(main->editing().printer().docName(),
              QStringLiteral("「もるもる」メールマガジンエディタ"));
    const std::string printed = readFile(dir.file("printed.pdf"));
    EXPECT_TRUE(printed.starts_with("%PDF"));
    EXPECT_NE(printed.find("FontFile"), std::string::npos); // text was drawn
    EXPECT_EQ(pdfPages(printed), 1);

    // Page set-up is kept for the next print.
    common->orientation = QPageLayout::Landscape;
    trigger("PrinterSet1");
    trigger("SpeedButton42");
    EXPECT_EQ(common->pageSetupAsked, 2);
    EXPECT_EQ(main->editing().printer().pageLayout().orientation(), QPageLayout::Landscape);

    // The preview and the PDF file follow 印刷 in the File menu.
    QMenu* file = main->menu(QStringLiteral("File1"));
    const QList<QAction*> items = file->actions();
    const qsizetype at = items.indexOf(main->item(QStringLiteral("Print1")));
    ASSERT_GE(at, 0);
    ASSERT_LT(at + 2, items.size());
    EXPECT_EQ(items[at + 1]->text(), QStringLiteral("印刷プレビュー"));
    EXPECT_EQ(items[at + 2]->text(), QStringLiteral("PDFに書き出す"));

    common->previewTo = dir.file("preview.pdf");
    items[at + 1]->trigger();
    EXPECT_EQ(common->previewAsked, 1);
    EXPECT_NE(readFile(dir.file("preview.pdf")).find("FontFile"), std::string::npos);

    dialogs.fileNames.push_back(dir.file("issue.pdf"));
    items[at + 2]->trigger();
    const std::string pdf = readFile(dir.file("issue.pdf"));
    EXPECT_TRUE(pdf.starts_with("%PDF"));
    EXPECT_NE(pdf.find("FontFile"), std::string::npos);
    EXPECT_EQ(pdfPages(pdf), 1);
    EXPECT_TRUE(dialogs.boxes.empty());

    // A file that cannot be written is told; cancelling writes nothing.
    dialogs.fileNames.push_back(dir.file("no/such/folder/x.pdf"));
    items[at + 2]->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(QStringLiteral("を作成できません")));
    items[at + 2]->trigger();
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(PrintingTest, ALongTextPrintsOnManyPages) {
    start();
    std::string t;
    for (int i = 0; i < 300; ++i)
        t += sj("メールマガジンの本文の行です。") + std::to_string(i) + "\r\n";
    editor().setText(t);
    const std::string pdf = printing::pdf(editor(), main->editing().printer().pageLayout());
    EXPECT_GT(pdfPages(pdf), 3);
}
