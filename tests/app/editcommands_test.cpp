#include "editwindow.h"

#include "app/aboutbox.h"
#include "app/findreplace.h"
#include "platform/help.h"
#include "settings/profile.h"
#include "text/fileio.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>

#include <sys/stat.h>

namespace {

const char* const kCommandItems[] = {
    "SelectAll1",    "SelectAll2",    "SpeedButton37", "CopyToClip1",   "N29",
    "SpeedButton1",  "Copy1",         "kopi1",         "SpeedButton33", "Cut1",
    "Cut2",          "SpeedButton34", "Delete1",       "Delete2",       "SpeedButton35",
    "Pest1",         "Paste1",        "SpeedButton36", "Find1",         "SpeedButton38",
    "Replace1",      "SpeedButton39", "Print1",        "SpeedButton41", "PrinterSet1",
    "SpeedButton42", "Font1",         "SpeedButton40", "Title1",        "MailAddress",
    "URL1",          "Names",         "Days",          "Days2",         "SpeedButton43",
    "SpeedButton44", "SpeedButton45", "SpeedButton46", "SpeedButton47", "SpeedButton48",
    "Show1",         "NoShow1",       "Help2",         "Help3",         "SpeedButton53",
    "About1",        "About2",        "SpeedButton54"};

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}

} // namespace

TEST_F(EditWindowTest, EveryItemOfTheCommandsIsEnabled) {
    start();
    for (const char* name : kCommandItems) {
        QAction* a = main->item(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_TRUE(a->isEnabled()) << name;
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(EditWindowTest, TransferSelectsAllCopiesAndTheNextKeyReplacesIt) {
    start();
    for (const char* name : {"CopyToClip1", "N29", "SpeedButton1"}) {
        editor().setText(sj("本日のメールマガジン\r\n第１号"));
        editor().setSelectionStart(3);
        QGuiApplication::clipboard()->clear();
        trigger(name);
        EXPECT_EQ(clipboardText(), QStringLiteral("本日のメールマガジン\n第１号")) << name;
        EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, text().size())) << name;
        type(QStringLiteral("x"));
        EXPECT_EQ(text(), "x") << name;
    }
    EXPECT_EQ(main->item(QStringLiteral("CopyToClip1"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_L));
}

TEST_F(EditWindowTest, CopyCutPasteAndDeleteActAsTheEditorsKeys) {
    start();
    const std::string original = sj("あいう") + "abc";
    for (auto [copy, cut, paste, del] :
         {std::tuple{"Copy1", "Cut1", "Pest1", "Delete1"},
          std::tuple{"kopi1", "Cut2", "Paste1", "Delete2"},
          std::tuple{"SpeedButton33", "SpeedButton34", "SpeedButton36", "SpeedButton35"}}) {
        editor().setText(original);
        select(2, 4); // い
        trigger(copy);
        EXPECT_EQ(clipboardText(), QStringLiteral("い")) << copy;
        EXPECT_EQ(text(), original);
        trigger(cut);
        EXPECT_EQ(text(), sj("あう") + "abc") << cut;
        editor().setSelectionStart(static_cast<int>(text().size()));
        trigger(paste);
        EXPECT_EQ(text(), sj("あう") + "abc" + sj("い")) << paste;
        // Delete: the selection, else the character after the caret (a
        // double-byte character whole), nothing at the end.
        select(4, 6);
        trigger(del);
        EXPECT_EQ(text(), sj("あう") + "c" + sj("い")) << del;
        editor().setSelectionStart(2);
        trigger(del);
        EXPECT_EQ(text(), sj("あ") + "c" + sj("い")) << del;
        editor().setSelectionStart(static_cast<int>(text().size()));
        trigger(del);
        EXPECT_EQ(text(), sj("あ") + "c" + sj("い")) << del;
        // One undo step per command, as with the keys.
        editor().runEditorCommand(EditorCommand::undo);
        EXPECT_EQ(text(), sj("あう") + "c" + sj("い")) << del;
    }
    // Ctrl+D, named in the Delete item's caption, deletes.
    main->show();
    QApplication::setActiveWindow(main.get());
    editor().setFocus();
    editor().setText("xyz");
    editor().setSelectionStart(0);
    QTest::keyClick(&editor(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(text(), "yz");
    // Select all from its three places.
    for (const char* name : {"SelectAll1", "SelectAll2", "SpeedButton37"}) {
        editor().setSelectionStart(1);
        trigger(name);
        EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{2})) << name;
    }
}

TEST_F(EditWindowTest, StoredValuesReplaceTheSelectionOrGoInAtTheCaret) {
    start();
    settings.document.title = sj("週刊もるもる通信");
    settings.document.authorMail = "mag@example.jp";
    settings.document.homeUrl = "https://example.jp/";
    settings.document.authorName = sj("山田");
    settings.document.issueDay = sj("毎週月曜");
    settings.document.launchDay = sj("2001年4月1日");
    const std::pair<const char*, std::string> items[] = {{"Title1", settings.document.title},
                                                         {"MailAddress", "mag@example.jp"},
                                                         {"URL1", "https://example.jp/"},
                                                         {"Names", sj("山田")},
                                                         {"Days", sj("毎週月曜")},
                                                         {"Days2", sj("2001年4月1日")},
                                                         {"SpeedButton43", settings.document.title},
                                                         {"SpeedButton44", "mag@example.jp"},
                                                         {"SpeedButton45", "https://example.jp/"},
                                                         {"SpeedButton46", sj("山田")},
                                                         {"SpeedButton47", sj("2001年4月1日")},
                                                         {"SpeedButton48", sj("毎週月曜")}};
    for (const auto& [name, value] : items) {
        // At the caret.
        editor().setText("[]");
        editor().setSelectionStart(1);
        trigger(name);
        EXPECT_EQ(text(), "[" + value + "]") << name;
        EXPECT_EQ(editor().caretPosition(), 1 + value.size()) << name;
        // In place of the selection.
        editor().setText("[old]");
        select(1, 4);
        trigger(name);
        EXPECT_EQ(text(), "[" + value + "]") << name;
    }
    // An empty value removes the selection.
    settings.document.title.clear();
    editor().setText("[old]");
    select(1, 4);
    trigger("Title1");
    EXPECT_EQ(text(), "[]");
    // The values come from the document's record, not the standing ones.
    settings.global.authorName = sj("全体");
    editor().setSelectionStart(1);
    trigger("Names");
    EXPECT_EQ(text(), "[" + sj("山田") + "]");
}

TEST_F(EditWindowTest, TheToolBarChoiceIsSavedAtOnceAndHoldsAfterARestart) {
    start();
    EXPECT_FALSE(main->toolBarArea()->isVisibleTo(main.get())); // ToolBar=0 by default
    trigger("Show1");
    EXPECT_TRUE(main->toolBarArea()->isVisibleTo(main.get()));
    EXPECT_TRUE(main->toolBarArea()->isEnabled());
    EXPECT_TRUE(main->item(QStringLiteral("Show1"))->isChecked());
    EXPECT_FALSE(main->item(QStringLiteral("NoShow1"))->isChecked());
    EXPECT_EQ(ProfileFile::load(dir.file("MMEdit.ini")).readInt("Application", "ToolBar", -1), 1);

    start();
    EXPECT_TRUE(main->toolBarArea()->isVisibleTo(main.get()));
    trigger("NoShow1");
    EXPECT_FALSE(main->toolBarArea()->isVisibleTo(main.get()));
    EXPECT_FALSE(main->toolBarArea()->isEnabled());
    EXPECT_FALSE(main->item(QStringLiteral("Show1"))->isChecked());
    EXPECT_TRUE(main->item(QStringLiteral("NoShow1"))->isChecked());

    start();
    EXPECT_FALSE(main->toolBarArea()->isVisibleTo(main.get()));
    EXPECT_TRUE(main->item(QStringLiteral("NoShow1"))->isChecked());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(EditWindowTest, TheFontIsChosenSavedAndAppliedAndFixedPitchOnlyUnlessAsked) {
    start();
    // Cancelled: nothing changes, nothing is written.
    const std::string before = dir.read("MMEdit.ini");
    trigger("Font1");
    ASSERT_EQ(common->fixedPitchOnly.size(), 1u);
    EXPECT_TRUE(common->fixedPitchOnly[0]);
    EXPECT_EQ(dir.read("MMEdit.ini"), before);

    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPointSize(14);
    common->fonts.push_back(mono);
    const QString initial = main->fontDialogFont().family();
    trigger("SpeedButton40");
    EXPECT_EQ(common->initialFont.family(), initial);
    EXPECT_EQ(editor().editorFont().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(editor().editorFont().pointSize(), 14);
    const ProfileFile ini = ProfileFile::load(dir.file("MMEdit.ini"));
    EXPECT_EQ(ini.readString("FontParam", "Name", ""), "DejaVu Sans Mono");
    EXPECT_EQ(ini.readInt("FontParam", "Size", 0), 14);

    // A font without Japanese glyphs: Japanese text still stands on the
    // grid, a double-byte character in two columns, drawn by a fallback.
    editor().editArea().setLineLength(40);
    editor().setText(sj("あいう") + "ab");
    editor().setSelectionStart(static_cast<int>(text().size()));
    main->resize(700, 300);
    main->show();
    editor().horizontalScrollBar()->setValue(0);
    const int cw = editor().columnWidth();
    const QPoint a = editor().positionOfChar(0), b = editor().positionOfChar(2),
                 x = editor().positionOfChar(6), y = editor().positionOfChar(7);
    EXPECT_EQ(b.x() - a.x(), 2 * cw);
    EXPECT_EQ(x.x() - a.x(), 6 * cw);
    EXPECT_EQ(y.x() - x.x(), cw);
    const QImage shot = editor().viewport()->grab().toImage();
    saveScreenshot(shot, "font-fallback.png");
    for (int k = 0; k < 3; ++k) {
        // Ink inside each Japanese character's two columns.
        int inkPixels = 0;
        for (int px = a.x() + 2 * k * cw; px < a.x() + 2 * (k + 1) * cw; ++px)
            for (int py = a.y(); py < a.y() + editor().lineHeight(); ++py)
                if (qGray(shot.pixel(px, py)) < 128) ++inkPixels;
        EXPECT_GT(inkPixels, 8) << "character " << k;
    }

    // AnyPitchFont=1: every font is offered.
    ProfileFile file = ProfileFile::load(dir.file("MMEdit.ini"));
    file.writeInt("FontParam", "Pich", 1);
    dir.write("MMEdit.ini", file.bytes());
    start();
    EXPECT_EQ(editor().editorFont().family(), QStringLiteral("DejaVu Sans Mono"));
    trigger("Font1");
    EXPECT_FALSE(common->fixedPitchOnly.back());
}

TEST_F(EditWindowTest, LinkMenuOfFiveLinesHasTwoItemsAndOfOneLineNone) {
    dir.write("link.dat", sj("まぐまぐ\r\nhttps://www.mag2.com/\r\nメルマ\r\nhttps://melma.com/\r\n"
                             "余り"));
    start();
    EXPECT_EQ(main->links().size(), 2u);
    dir.write("link.dat", "https://example.jp/");
    start();
    EXPECT_TRUE(main->links().empty());
    EXPECT_TRUE(dialogs.boxes.empty());
}

// --- help --------------------------------------------------------------------------

namespace {

std::string helpPage() {
    return fileio::readAll(std::string(MMEDIT_DATA_DIR) + "/help/index.html");
}

// Every caption of a menu and its submenus.
void captions(const QMenu* menu, QStringList& out) {
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        if (a->menu()) captions(a->menu(), out);
        out << a->text();
    }
}

// A caption as the page writes it: without the access key mark and the key
// named in the caption itself.
QString plain(QString caption) {
    static const QRegularExpression key(QStringLiteral("\\s*Ctrl\\+[A-Z]$"));
    caption.remove(QStringLiteral("&"));
    caption.remove(key);
    return caption.trimmed();
}

} // namespace

TEST_F(EditWindowTest, HelpOpensTheHelpPageFromItsThreePlaces) {
    start();
    trigger("Help2");
    ASSERT_EQ(dialogs.boxes.size(), 1u); // no page in this folder yet
    EXPECT_EQ(dialogs.boxes[0].text,
              QString::fromStdString("ファイル " + dir.path() + "help/index.html は開けません."));
    ::mkdir(dir.file("help").c_str(), 0777);
    dir.write("help/index.html", helpPage());
    for (const char* name : {"Help2", "Help3", "SpeedButton53"}) {
        trigger(name);
        ASSERT_NE(HelpWindow::current(), nullptr) << name;
        EXPECT_TRUE(HelpWindow::current()->isVisible());
        EXPECT_EQ(HelpWindow::current()->browser()->source(),
                  QUrl::fromLocalFile(QString::fromStdString(dir.file("help/index.html"))));
        HelpWindow::current()->close();
    }
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(EditWindowTest, TheHelpPageExplainsEveryCommandAndHasTheAnchorsOfTheHelpButtons) {
    start();
    const std::string bytes = helpPage();
    ASSERT_FALSE(bytes.empty());
    const QString html = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    EXPECT_TRUE(html.contains(QStringLiteral("charset=\"utf-8\"")) ||
                html.contains(QStringLiteral("charset=utf-8")));
    QTextDocument doc;
    doc.setHtml(html);
    const QString page = doc.toPlainText();

    QStringList all;
    for (QAction* a : main->menuBar()->actions()) {
        all << a->text();
        captions(a->menu(), all);
    }
    captions(main->editorMenu(), all);
    captions(main->trayMenu(), all);
    for (QToolBar* bar : main->findChildren<QToolBar*>())
        for (QAction* a : bar->actions())
            if (!a->isSeparator()) all << a->property("Hint").toString();
    ASSERT_GT(all.size(), 80);
    for (const QString& caption : all) {
        const QString c = plain(caption);
        if (c.isEmpty() || c == QStringLiteral("ダミー") ||
            QRegularExpression(QStringLiteral("^[0-9]:$")).match(c).hasMatch())
            continue;
        EXPECT_TRUE(page.contains(c)) << c.toStdString();
    }

    // The anchors the HELP! buttons open.
    for (const char* keyword : {"基本設定と全体基本設定", "パターンパレット", "顔文字パレット"}) {
        const QString anchor = helpAnchor(QString::fromUtf8(keyword));
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor))) << keyword;
    }
    // Every link inside the page leads to an anchor it has.
    static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    int links = 0;
    for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(target))) << target.toStdString();
    }
    EXPECT_GT(links, 10); // a table of contents

    // The rest of the program: files, windows and the command-line tool.
    for (const char* text : {"MMEdit.ini",
                             "link.dat",
                             "waku.edt",
                             "waku.dat",
                             "face.edt",
                             "face.dat",
                             "mmedit-cli",
                             "view",
                             "count",
                             "check",
                             "wrap",
                             "html",
                             "eml",
                             "送信チェック",
                             "送信用に整形",
                             "メールとして書き出す",
                             "前回、保存されていない文章が残っています。復元しますか？",
                             "前回のファイル",
                             "全体基本設定",
                             "いつもこれで！",
                             "これで作る",
                             "枠パレット",
                             "デザイン追加",
                             "顔文字パレット",
                             "顔文字追加",
                             "ヘッダ、フッダウインドウ",
                             "総行数",
                             "総文字数=",
                             "変更あり",
                             "CapsOn",
                             "挿入",
                             "上書き",
                             "NumOn",
                             "StayOnTask",
                             "HideOnTask",
                             "TaskIcon",
                             "LastFileOpen",
                             "OldOpen",
                             "OnlyStart",
                             "IMESwitch",
                             "BackUp",
                             "ToolBar",
                             "Position",
                             "MaxString",
                             "MaxLength",
                             "Pich",
                             "Switch",
                             "Number",
                             "DefaultPath",
                             "Emaile",
                             "Day1",
                             "Day2",
                             "すべて検索しました",
                             "すべて置き換えました",
                             "個置き換えました",
                             "通知領域",
                             "バックアップ"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(text))) << text;
}

// --- the version window --------------------------------------------------------------

TEST_F(EditWindowTest, TheVersionWindowShowsTheVersionAndIsOnlyHidden) {
    start();
    AboutBox* about = main->editing().aboutBox();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->objectName(), QStringLiteral("TAboutBox"));
    EXPECT_FALSE(about->isVisible());
    for (const char* name : {"About1", "About2", "SpeedButton54"}) {
        trigger(name);
        ASSERT_TRUE(about->isVisible()) << name;
        EXPECT_FALSE(about->isModal());
        EXPECT_EQ(about->windowTitle(), QStringLiteral("バージョン情報"));
        EXPECT_EQ(about->versionLabel()->text(), QStringLiteral("1.2"));
        EXPECT_EQ(about->size(), QSize(309, 229));
        EXPECT_FALSE(about->windowFlags() & Qt::WindowCloseButtonHint);
        about->closeButton()->click();
        EXPECT_FALSE(about->isVisible());
        EXPECT_EQ(main->findChild<AboutBox*>(QStringLiteral("TAboutBox")), about);
    }
    trigger("About1");
    saveScreenshot(about->grab().toImage(), "version-window.png");
    // The version stands on the picture, in white, where the design has it.
    const QImage shot = about->grab().toImage();
    const QRect label =
        about->versionLabel()->geometry().translated(about->versionLabel()->parentWidget()->pos());
    int white = 0;
    for (int x = label.left(); x <= label.right(); ++x)
        for (int y = label.top(); y <= label.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) > 230) ++white;
    EXPECT_GT(white, 20);
    about->homePageButton()->click();
    EXPECT_EQ(shell.opened, std::vector<QString>{QString::fromLatin1(AboutBox::kHomePage)});
    EXPECT_FALSE(about->isVisible());
}
