// The main window's layout and command map.
#include "mainwindow.h"

#include "pictures.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

const char* const MainWindow::kTitle = "「もるもる」メールマガジンエディタ";
const char* const MainWindow::kVersionTitle = "「もるもる」メールマガジンエディタ1.2";

namespace {
// The face-mark palette's button keeps its hint but shows no tip; the frame
// palette's button starts a group of its own.
constexpr const char* kButtonWithoutTip = "SpeedButton51";
constexpr const char* kButtonAfterSeparator = "SpeedButton50";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// A band of the tool bar: its design width when the window has room, down to
// the width of its buttons when it has less, and narrower still in a narrow
// window (the buttons that do not fit move behind the band's extension
// button). The tool bar area asks for no width of its own, so the bands never
// make the window wider than it is.
class Band : public QToolBar {
  public:
    Band(int designWidth, QWidget* parent) : QToolBar(parent), designWidth_(designWidth) {}
    QSize sizeHint() const override {
        const QSize buttons = QToolBar::sizeHint();
        return {std::max(designWidth_, buttons.width()), buttons.height()};
    }
    QSize minimumSizeHint() const override { return QToolBar::sizeHint(); }

  private:
    int designWidth_;
};
} // namespace

QString MainWindow::openFilter() {
    return u("*.txt(テキストファイル) (*.txt);;*.rtf(リッチテキストファイル) "
             "(*.rtf);;*.*(全てのファイル) (*)");
}
QString MainWindow::saveFilter() {
    return u("*.txt(テキストファイル) (*.txt);;*.rtf(リッチテキストファイル) "
             "(*.rtf);;*.*(すべて表示) (*)");
}
QString MainWindow::htmlFilter() {
    return u("*.html (*.html);;*.htm (*.htm)");
}

QAction* MainWindow::makeItem(QMenu* menu, const char* name, const char* caption,
                              const QKeySequence& key, int tag) {
    auto* a = new QAction(u(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    if (tag >= 0) a->setProperty("Tag", tag);
    // Commands arrive with their own parts of the program; until then the
    // item is shown but cannot be chosen.
    a->setEnabled(false);
    if (menu) menu->addAction(a);
    items_.push_back(a);
    return a;
}

QAction* MainWindow::addItem(QMenu* menu, Command& command, const char* name, const char* caption,
                             const QKeySequence& key, int tag) {
    QAction* a = makeItem(menu, name, caption, key, tag);
    command.items.push_back(a);
    return a;
}

QMenu* MainWindow::menu(const QString& name) const {
    for (QAction* a : menuBar()->actions())
        if (a->objectName() == name) return a->menu();
    return nullptr;
}

QAction* MainWindow::item(const QString& name) const {
    for (QAction* a : items_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void MainWindow::buildMenus() {
    Actions& a = actions_;
    Menus& m = menus_;
    QMenuBar* bar = menuBar();
    m.file = bar->addMenu(u("ファイル(&F)"));
    m.file->menuAction()->setObjectName(QStringLiteral("File1"));
    m.newDocument = m.file->addMenu(u("新規作成"));
    m.newDocument->menuAction()->setObjectName(QStringLiteral("New1"));
    addItem(m.newDocument, a.newFromSettings, "NormalSet1", "基本設定", {}, 1);
    addItem(m.newDocument, a.newBlank, "New2", "白紙", {}, 0);
    addItem(m.file, a.open, "Open1", "ファイル読み込み", Qt::Key_F2);
    addItem(m.file, a.save, "Save1", "ファイルの保存", Qt::Key_F3);
    addItem(m.file, a.saveAs, "SaveAs1", "ファイルに名前を付けて保存", Qt::Key_F4);
    addItem(m.file, a.exportHtml, "HTML1", "HTMLで保存");
    m.file->addSeparator();
    addItem(m.file, a.pageSetup, "PrinterSet1", "プリンタの設定");
    addItem(m.file, a.print, "Print1", "印刷", QKeySequence(Qt::CTRL | Qt::Key_P));
    m.file->addSeparator();
    addItem(m.file, a.exit, "Exit1", "&Exit", Qt::Key_F10);
    m.file->addSeparator()->setObjectName(QStringLiteral("N18"));
    const char* names[kHistorySlots] = {"N17", "N21", "N31", "N41", "N51",
                                        "N61", "N71", "N81", "N91", "N01"};
    for (int i = 0; i < kHistorySlots; ++i) {
        const QString caption = QString::number((i + 1) % 10) + QLatin1Char(':');
        addItem(m.file, a.recentFile[static_cast<std::size_t>(i)], names[i],
                caption.toUtf8().constData(), {}, i)
            ->setVisible(false);
    }

    m.edit = bar->addMenu(u("編集(&E)"));
    m.edit->menuAction()->setObjectName(QStringLiteral("Edit1"));
    addItem(m.edit, a.basicSettings, "NormalSet2", "基本設定");
    addItem(m.edit, a.transferToClipboard, "CopyToClip1", "クリップボードへ転送",
            QKeySequence(Qt::CTRL | Qt::Key_L));
    m.edit->addSeparator();
    addItem(m.edit, a.copy, "Copy1", "コピー\tCtrl+C");
    addItem(m.edit, a.cut, "Cut1", "切り取り\tCtrl+X");
    addItem(m.edit, a.paste, "Pest1", "貼り付け\tCtrl+V");
    addItem(m.edit, a.deleteForward, "Delete1", "削除\tCtrl+D");
    m.edit->addSeparator();
    addItem(m.edit, a.selectAll, "SelectAll1", "すべて選択", QKeySequence(Qt::CTRL | Qt::Key_A));

    m.search = bar->addMenu(u("検索(&S)"));
    m.search->menuAction()->setObjectName(QStringLiteral("Search1"));
    addItem(m.search, a.find, "Find1", "検索", QKeySequence(Qt::CTRL | Qt::Key_F));
    addItem(m.search, a.replace, "Replace1", "置換", QKeySequence(Qt::CTRL | Qt::Key_R));

    m.tool = bar->addMenu(u("ツール(&T)"));
    m.tool->menuAction()->setObjectName(QStringLiteral("Tool1"));
    addItem(m.tool, a.insertTitle, "Title1", "メールマガジンタイトル",
            QKeySequence(Qt::CTRL | Qt::Key_T), 0);
    addItem(m.tool, a.insertMailAddress, "MailAddress", "メールアドレス",
            QKeySequence(Qt::CTRL | Qt::Key_E), 1);
    addItem(m.tool, a.insertUrl, "URL1", "&URL", QKeySequence(Qt::CTRL | Qt::Key_U), 2);
    addItem(m.tool, a.insertName, "Names", "あなたの名前", QKeySequence(Qt::CTRL | Qt::Key_N), 3);
    addItem(m.tool, a.insertIssueDate, "Days", "発行日", QKeySequence(Qt::CTRL | Qt::Key_B), 4);
    addItem(m.tool, a.insertLaunchDate, "Days2", "創刊日", QKeySequence(Qt::CTRL | Qt::Key_Y), 5);
    m.tool->addSeparator()->setObjectName(QStringLiteral("N9"));
    linkMenu_ = m.tool->addMenu(u("メルマガ発行サイト(&M)"));
    linkMenu_->menuAction()->setObjectName(QStringLiteral("LinkMenu"));
    a.linkPlaceholder = makeItem(linkMenu_, "Dummy", "ダミー");
    a.linkPlaceholder->setVisible(false);

    m.window = bar->addMenu(u("ウインドウ(&W)"));
    m.window->menuAction()->setObjectName(QStringLiteral("Window1"));
    addItem(m.window, a.framePalette, "Palette1", "枠パレット表示",
            QKeySequence(Qt::CTRL | Qt::Key_W), 0);
    addItem(m.window, a.facePalette, "face1", "顔文字パレット表示",
            QKeySequence(Qt::CTRL | Qt::Key_K), 1);
    addItem(m.window, a.headerFooter, "N27", "ヘッダ、フッダウインドウ",
            QKeySequence(Qt::CTRL | Qt::Key_H), 2);

    m.options = bar->addMenu(u("オプション(&O)"));
    m.options->menuAction()->setObjectName(QStringLiteral("Option1"));
    addItem(m.options, a.overallSettings, "AllNormalSet", "全体基本設定");
    addItem(m.options, a.font, "Font1", "Fontの設定");
    m.toolBar = m.options->addMenu(u("ツールバーの表示／非表示"));
    m.toolBar->menuAction()->setObjectName(QStringLiteral("ToolSw"));
    addItem(m.toolBar, a.showToolBar, "Show1", "表示", {}, 0)->setCheckable(true);
    addItem(m.toolBar, a.hideToolBar, "NoShow1", "非表示", {}, 1)->setCheckable(true);

    m.help = bar->addMenu(u("ヘルプ(&H)"));
    m.help->menuAction()->setObjectName(QStringLiteral("Help1"));
    addItem(m.help, a.about, "About1", "バージョン情報");
    addItem(m.help, a.help, "Help2", "ヘルプ(&H)", Qt::Key_F1);

    // The editor's pop-up menu.
    editorMenu_ = new QMenu(this);
    addItem(editorMenu_, a.cut, "Cut2", "切り取り\tCtrl+X");
    addItem(editorMenu_, a.deleteForward, "Delete2", "削除\tCtrl+D");
    addItem(editorMenu_, a.copy, "kopi1", "コピー\tCtrl+C");
    addItem(editorMenu_, a.paste, "Paste1", "貼り付け\tCtrl+V");
    addItem(editorMenu_, a.selectAll, "SelectAll2", "すべて選択",
            QKeySequence(Qt::CTRL | Qt::Key_A))
        ->setShortcutContext(Qt::WidgetShortcut);
    editorMenu_->addSeparator();
    addItem(editorMenu_, a.framePalette, "N3", "枠パターン選択");
    addItem(editorMenu_, a.facePalette, "N7", "顔文字選択");
    addItem(editorMenu_, a.transferToClipboard, "N29", "クリップボードに転送",
            QKeySequence(Qt::CTRL | Qt::Key_L))
        ->setShortcutContext(Qt::WidgetShortcut);

    // The menu of the notification-area icon.
    trayMenu_ = new QMenu(this);
    addItem(trayMenu_, a.newBlank, "New3", "新規作成", {}, 0);
    addItem(trayMenu_, a.save, "N12", "保存");
    addItem(trayMenu_, a.saveAs, "SaveAs2", "名前を付けて保存");
    addItem(trayMenu_, a.open, "N15", "読み込み");
    trayMenu_->addSeparator();
    m.size = trayMenu_->addMenu(u("サイズ変更"));
    m.size->menuAction()->setObjectName(QStringLiteral("N6"));
    addItem(m.size, a.maximize, "N8", "最大化", {}, 0);
    addItem(m.size, a.minimize, "N11", "最小化", {}, 1);
    addItem(m.size, a.restore, "N13", "元のサイズに戻す", {}, 2);
    addItem(trayMenu_, a.about, "About2", "バージョン情報");
    addItem(trayMenu_, a.help, "Help3", "Help");
    trayMenu_->addSeparator();
    addItem(trayMenu_, a.exit, "Exit2", "終了");

    // The window's own commands: closing and the window's size.
    for (QAction* item : a.exit.items) {
        item->setEnabled(true);
        connect(item, &QAction::triggered, this, [this] { exit(); });
    }
    for (auto [command, size] : {std::pair{&a.maximize, SizeCommand::maximize},
                                 std::pair{&a.minimize, SizeCommand::minimize},
                                 std::pair{&a.restore, SizeCommand::restore}}) {
        QAction* item = command->menuItem();
        item->setEnabled(true);
        connect(item, &QAction::triggered, this, [this, size = size] { applySizeCommand(size); });
    }
}

void MainWindow::buildToolBars(QWidget* central) {
    toolBarArea_ = new QWidget(central);
    toolBarArea_->setObjectName(QStringLiteral("CoolBar2"));
    toolBarArea_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* rows = new QVBoxLayout(toolBarArea_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    auto makeRow = [&] {
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        rows->addLayout(row);
        return row;
    };
    auto makeBar = [&](QHBoxLayout* row, const char* name, int width) {
        auto* bar = new Band(width, toolBarArea_);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setIconSize(QSize(24, 24));
        bar->setMovable(false);
        bar->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        row->addWidget(bar);
        return bar;
    };
    QHBoxLayout* first = makeRow();
    QToolBar* const bar2 = makeBar(first, "ToolBar2", 110);
    QToolBar* const bar5 = makeBar(first, "ToolBar5", 188);
    QToolBar* const bar4 = makeBar(first, "ToolBar4", 228);
    first->addStretch();
    QHBoxLayout* second = makeRow();
    QToolBar* const bar3 = makeBar(second, "ToolBar3", 232);
    QToolBar* const bar1 = makeBar(second, "ToolBar1", 296);
    second->addStretch();

    struct Button {
        QToolBar* bar;
        Command Actions::*command;
        const char* name;
        const char* hint;
        const char* icon; // the drawing in src/app/icons/
        int tag;
    };
    const Button buttons[] = {
        {bar2, &Actions::newBlank, "SpeedButton28", "新規作成（白紙）", "new-blank", 0},
        {bar2, &Actions::newFromSettings, "SpeedButton29", "新規作成（基本設定）", "new-template",
         1},
        {bar2, &Actions::open, "SpeedButton30", "読み込み", "open", -1},
        {bar2, &Actions::save, "SpeedButton31", "保存（テキスト形式）", "save", -1},
        {bar5, &Actions::copy, "SpeedButton33", "コピー", "copy", -1},
        {bar5, &Actions::cut, "SpeedButton34", "切り取り", "cut", -1},
        {bar5, &Actions::deleteForward, "SpeedButton35", "削除", "delete", -1},
        {bar5, &Actions::paste, "SpeedButton36", "貼り付け", "paste", -1},
        {bar5, &Actions::selectAll, "SpeedButton37", "すべて選択", "select-all", -1},
        {bar5, &Actions::find, "SpeedButton38", "検索", "find", -1},
        {bar5, &Actions::replace, "SpeedButton39", "置換", "replace", -1},
        {bar4, &Actions::print, "SpeedButton41", "印刷", "print", -1},
        {bar4, &Actions::pageSetup, "SpeedButton42", "印刷の設定", "print-setup", -1},
        {bar3, &Actions::insertTitle, "SpeedButton43", "メールマガジンタイトル", "title", 0},
        {bar3, &Actions::insertMailAddress, "SpeedButton44", "電子メールアドレス", "mail", 1},
        {bar3, &Actions::insertUrl, "SpeedButton45", "ホームページのURL", "url", 2},
        {bar3, &Actions::insertName, "SpeedButton46", "あなたの名前", "name", 3},
        {bar3, &Actions::insertLaunchDate, "SpeedButton47", "創刊日", "launch-date", 5},
        {bar3, &Actions::insertIssueDate, "SpeedButton48", "発行日", "issue-date", 4},
        {bar3, &Actions::framePalette, "SpeedButton50", "枠パレット", "frame-palette", 0},
        {bar3, &Actions::facePalette, "SpeedButton51", "顔文字パレット", "face-palette", 1},
        {bar3, &Actions::transferToClipboard, "SpeedButton1", "クリップボードへ転送",
         "to-clipboard", -1},
        {bar1, &Actions::font, "SpeedButton40", "フォントの設定", "font", -1},
        {bar1, &Actions::overallSettings, "SpeedButton49", "全体基本設定", "settings", -1},
        {bar1, &Actions::help, "SpeedButton53", "ヘルプ", "help", -1},
        {bar1, &Actions::about, "SpeedButton54", "バージョン情報", "about", -1},
    };
    for (const Button& b : buttons) {
        QAction* a = addItem(nullptr, actions_.*b.command, b.name, b.hint, {}, b.tag);
        a->setIcon(pictures::toolIcon(QString::fromLatin1(b.icon)));
        a->setProperty("Hint", u(b.hint));
        a->setToolTip(u(b.hint));
        // The face-mark palette's button keeps its hint but shows no tip.
        const bool showHint = QString::fromLatin1(b.name) != QLatin1String(kButtonWithoutTip);
        a->setProperty("ShowHint", showHint);
        if (QString::fromLatin1(b.name) == QLatin1String(kButtonAfterSeparator))
            b.bar->addSeparator();
        b.bar->addAction(a);
        if (!showHint) b.bar->widgetForAction(a)->installEventFilter(this);
    }
    toolBars_ = {bar1, bar2, bar3, bar4, bar5};
    // Icons of 24 by 24 pixels, close together, as the design has them. (Set
    // once the buttons are there: one pass over them, not one per button.)
    toolBarArea_->setStyleSheet(
        QStringLiteral("QToolBar { spacing: 0px; padding: 1px; border: none; }"
                       "QToolButton { padding: 0px; margin: 0px; }"));
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    statusPanels_ = std::make_unique<StatusPanels>(bar);
}

void MainWindow::buildTray() {
    trayIcon_ = new TrayIcon(this);
    // The icon goes into the notification area once the window is up: the
    // settings read at start-up may take it away again, and reaching the
    // area is a slow part of the start.
    trayIcon_->holdUntilLoaded();
    trayIcon_->setLeftMenu(trayMenu_);
    trayIcon_->setRightMenu(trayMenu_);
    trayIcon_->setTip(cp932::encodeKnown(u(kTitle)));
    const QIcon icon = pictures::programIcon();
    trayIcon_->setIcon(&icon);
    if (trayIcon_->iconId() != 1) {
        try {
            trayIcon_->setIconId(1);
        } catch (const MMEditError&) {
            // Another instance in this program holds 1: keep the one given.
        }
    }
    // isRegistered when the window is loaded; the settings decide later.
    runCommand(dialogs_, [this] { trayIcon_->setRegistered(true); });
    // Reaching the area takes a while (the desktop's bus, the X selection of
    // the tray): a window that is being shown is painted first.
    QTimer::singleShot(0, this, [this] {
        QWindow* shown = isVisible() ? windowHandle() : nullptr;
        if (shown && !shown->isExposed())
            shown->installEventFilter(this); // settled after the first expose
        else
            settle();
    });
}

void MainWindow::settle() {
    if (trayIcon_->isHeld()) runCommand(dialogs_, [this] { trayIcon_->loaded(); });
    Q_EMIT settled();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == windowHandle() && e->type() == QEvent::Expose) {
        // The window paints as it handles the expose: the icons come after.
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] { settle(); });
        return false;
    }
    if (editor_ && watched == editor_->viewport()) {
        if (e->type() == QEvent::ContextMenu) {
            editorMenu_->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
            return true;
        }
        return false;
    }
    // Tool buttons whose hint is not shown as a tip.
    if (e->type() == QEvent::ToolTip) return true;
    return QMainWindow::eventFilter(watched, e);
}
