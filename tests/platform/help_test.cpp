#include "platform/help.h"
#include "support/screenshots.h"
#include "support/scripted.h"
#include "support/tempdir.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A page long enough that each topic lies below the first screen.
std::string longPage() {
    std::string html =
        "<html><head><title>テスト ヘルプ</title></head><body>"
        "<p><a href=\"#face-palette\">face</a> <a href=\"https://example.jp/a b\">web</a></p>";
    for (const char* id : {"settings", "frame-palette", "face-palette"}) {
        for (int i = 0; i < 120; ++i)
            html += "<p>line</p>";
        html += std::string("<h2 id=\"") + id + "\">" + id + "</h2>";
    }
    for (int i = 0; i < 120; ++i)
        html += "<p>end</p>";
    return html + "</body></html>";
}

struct HelpTest : ::testing::Test {
    TempDir dir;
    RecordingShell shell;
    ScriptedDialogs dialogs;
    QWidget host;
    QWidget* inner = new QWidget(&host, Qt::Window); // a dialog of the host window

    std::string page() { return dir.file("help/index.html"); }
    void writePage(const std::string& html) {
        ::mkdir(dir.file("help").c_str(), 0777);
        dir.write("help/index.html", html);
    }
    static QTextBrowser* browser() { return HelpWindow::current()->browser(); }
    static int scrolled() { return browser()->verticalScrollBar()->value(); }
};

} // namespace

TEST_F(HelpTest, MissingPageIsAnErrorAndOpensNoWindow) {
    EXPECT_THROW(showHelp(shell, dialogs, page(), {}, &host), MMEditError);
    EXPECT_EQ(HelpWindow::current(), nullptr);
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(HelpTest, EachKeywordOpensTheWindowAtItsAnchor) {
    writePage(longPage());
    const struct {
        const char* keyword;
        const char* anchor;
    } cases[] = {
        {"基本設定と全体基本設定", "settings"},
        {"パターンパレット", "frame-palette"},
        {"顔文字パレット", "face-palette"},
    };
    int previous = 0;
    for (const auto& c : cases) {
        showHelp(shell, dialogs, page(), QString::fromUtf8(c.keyword), inner);
        ASSERT_NE(HelpWindow::current(), nullptr);
        EXPECT_TRUE(HelpWindow::current()->isVisible());
        EXPECT_EQ(browser()->source().fragment(), QString::fromLatin1(c.anchor));
        EXPECT_EQ(browser()->source().toLocalFile(), QString::fromStdString(page()));
        EXPECT_GT(scrolled(), previous) << c.anchor; // each topic lies further down
        previous = scrolled();
    }
    // One window, a window of the outermost window, titled by the page.
    EXPECT_EQ(host.findChildren<HelpWindow*>().size(), 1);
    EXPECT_EQ(HelpWindow::current()->parentWidget(), &host);
    EXPECT_TRUE(HelpWindow::current()->isWindow());
    EXPECT_EQ(HelpWindow::current()->windowTitle(), QStringLiteral("テスト ヘルプ"));
    // No keyword: the top of the page.
    showHelp(shell, dialogs, page(), {}, &host);
    EXPECT_TRUE(browser()->source().fragment().isEmpty());
    EXPECT_EQ(scrolled(), 0);
    EXPECT_TRUE(shell.opened.empty());
}

// The window opens over the middle of the window it belongs to, not in a
// corner of the screen.
TEST_F(HelpTest, TheWindowOpensOverTheMiddleOfItsOwner) {
    writePage(longPage());
    host.setGeometry(300, 200, 400, 300);
    host.show();
    showHelp(shell, dialogs, page(), {}, &host);
    const QRect help = HelpWindow::current()->frameGeometry();
    EXPECT_NEAR(help.center().x(), host.frameGeometry().center().x(), 2);
    EXPECT_GE(help.top(), 0);
}

TEST_F(HelpTest, LinksWithinThePageStayAndLinksOutGoToTheShell) {
    writePage(longPage());
    showHelp(shell, dialogs, page(), {}, &host);
    emit browser()->anchorClicked(QUrl(QStringLiteral("#face-palette")));
    EXPECT_EQ(browser()->source().fragment(), QStringLiteral("face-palette"));
    EXPECT_GT(scrolled(), 0);
    EXPECT_TRUE(shell.opened.empty());
    emit browser()->anchorClicked(QUrl(QStringLiteral("https://example.jp/a b")));
    EXPECT_EQ(shell.opened, (std::vector<QString>{QStringLiteral("https://example.jp/a%20b")}));
    EXPECT_EQ(browser()->source().fragment(), QStringLiteral("face-palette"));
    EXPECT_TRUE(dialogs.boxes.empty());
    // Nothing on the desktop opens it: the address is shown to be copied.
    shell.result = false;
    emit browser()->anchorClicked(QUrl(QStringLiteral("mailto:mag@example.jp")));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              QStringLiteral("次のアドレスを開けませんでした:\nmailto:mag@example.jp"));
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(browser()->source().fragment(), QStringLiteral("face-palette"));
}

TEST_F(HelpTest, TheShippedPageAtTheSettingsTopic) {
    const std::string shipped = fileio::readAll(std::string(MMEDIT_DATA_DIR) + "/help/index.html");
    ASSERT_FALSE(shipped.empty());
    writePage(shipped);
    showHelp(shell, dialogs, page(), QStringLiteral("基本設定と全体基本設定"), &host);
    EXPECT_EQ(browser()->source().fragment(), QStringLiteral("settings"));
    EXPECT_GT(scrolled(), 0);
    EXPECT_EQ(HelpWindow::current()->windowTitle(),
              QStringLiteral("「もるもる」メールマガジンエディタ ヘルプ"));
    keepScreenshot(HelpWindow::current()->grab().toImage(), "help-window.png");
}
