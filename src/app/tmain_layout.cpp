// The main window's layout and command map.
#include "tmain.h"

#include "pictures.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/platform.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

const char* const TMain::kTitle = "「もるもる」メールマガジンエディタ";
const char* const TMain::kVersionTitle = "「もるもる」メールマガジンエディタ1.2";

namespace {
QString u(const char* s) {
    return QString::fromUtf8(s);
}
} // namespace

QString TMain::OpenDialog1Filter() {
    return u("*.txt(テキストファイル) (*.txt);;*.rtf(リッチテキストファイル) "
             "(*.rtf);;*.*(全てのファイル) (*)");
}
QString TMain::SaveDialog1Filter() {
    return u("*.txt(テキストファイル) (*.txt);;*.rtf(リッチテキストファイル) "
             "(*.rtf);;*.*(すべて表示) (*)");
}
QString TMain::SaveDialog2Filter() {
    return u("*.html (*.html);;*.htm (*.htm)");
}

QAction* TMain::addItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& key,
                        int tag) {
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

QAction* TMain::item(const QString& name) const {
    for (QAction* a : items_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TMain::buildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(u("ファイル(&F)"));
    QMenu* newMenu = file->addMenu(u("新規作成"));
    newMenu->menuAction()->setObjectName(QStringLiteral("New1"));
    newMenu->menuAction()->setShortcut(QKeySequence(Qt::Key_F1));
    addItem(newMenu, "NormalSet1", "基本設定", {}, 1);
    addItem(newMenu, "New2", "白紙", {}, 0);
    addItem(file, "Open1", "ファイル読み込み", Qt::Key_F2);
    addItem(file, "Save1", "ファイルの保存", Qt::Key_F3);
    addItem(file, "SaveAs1", "ファイルに名前を付けて保存", Qt::Key_F4);
    addItem(file, "HTML1", "HTMLで保存");
    file->addSeparator();
    addItem(file, "PrinterSet1", "プリンタの設定");
    addItem(file, "Print1", "印刷", QKeySequence(Qt::CTRL | Qt::Key_P));
    file->addSeparator();
    QAction* exit1 = addItem(file, "Exit1", "&Exit", Qt::Key_F10);
    exit1->setEnabled(true);
    connect(exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    file->addSeparator()->setObjectName(QStringLiteral("N18"));
    const char* names[10] = {"N17", "N21", "N31", "N41", "N51", "N61", "N71", "N81", "N91", "N01"};
    for (int i = 0; i < 10; ++i) {
        const QString caption = QString::number((i + 1) % 10) + QLatin1Char(':');
        HistoryItems[static_cast<std::size_t>(i)] =
            addItem(file, names[i], caption.toUtf8().constData(), {}, i);
        HistoryItems[static_cast<std::size_t>(i)]->setVisible(false);
    }

    QMenu* edit = bar->addMenu(u("編集(&E)"));
    addItem(edit, "NormalSet2", "基本設定");
    addItem(edit, "CopyToClip1", "クリップボードへ転送", QKeySequence(Qt::CTRL | Qt::Key_L));
    edit->addSeparator();
    addItem(edit, "Copy1", "コピー       Ctrl+C");
    addItem(edit, "Cut1", "切り取り    Ctrl+X");
    addItem(edit, "Pest1", "貼り付け    Ctrl+V");
    addItem(edit, "Delete1", "削除         Ctrl+D");
    edit->addSeparator();
    addItem(edit, "SelectAll1", "すべて選択", QKeySequence(Qt::CTRL | Qt::Key_A));

    QMenu* search = bar->addMenu(u("検索(&S)"));
    addItem(search, "Find1", "検索", QKeySequence(Qt::CTRL | Qt::Key_F));
    addItem(search, "Replace1", "置換", QKeySequence(Qt::CTRL | Qt::Key_R));

    QMenu* tool = bar->addMenu(u("ツール(&T)"));
    tool->menuAction()->setObjectName(QStringLiteral("Tool1"));
    addItem(tool, "Title1", "メールマガジンタイトル", QKeySequence(Qt::CTRL | Qt::Key_T), 0);
    addItem(tool, "MailAddress", "メールアドレス", QKeySequence(Qt::CTRL | Qt::Key_E), 1);
    addItem(tool, "URL1", "&URL", QKeySequence(Qt::CTRL | Qt::Key_U), 2);
    addItem(tool, "Names", "あなたの名前", QKeySequence(Qt::CTRL | Qt::Key_N), 3);
    addItem(tool, "Days", "発行日", QKeySequence(Qt::CTRL | Qt::Key_B), 4);
    addItem(tool, "Days2", "創刊日", QKeySequence(Qt::CTRL | Qt::Key_Y), 5);
    tool->addSeparator()->setObjectName(QStringLiteral("N9"));
    LinkMenu = tool->addMenu(u("メルマガ発行サイト(&M)"));
    LinkMenu->menuAction()->setObjectName(QStringLiteral("LinkMenu"));
    Dummy = addItem(LinkMenu, "Dummy", "ダミー");
    Dummy->setVisible(false);

    QMenu* window = bar->addMenu(u("ウインドウ(&W)"));
    addItem(window, "Palette1", "枠パレット表示", QKeySequence(Qt::CTRL | Qt::Key_W), 0);
    addItem(window, "face1", "顔文字パレット表示", QKeySequence(Qt::CTRL | Qt::Key_K), 1);
    addItem(window, "N27", "ヘッダ、フッダウインドウ", QKeySequence(Qt::CTRL | Qt::Key_H), 2);

    QMenu* options = bar->addMenu(u("オプション(&O)"));
    addItem(options, "AllNormalSet", "全体基本設定");
    addItem(options, "Font1", "Fontの設定");
    QMenu* toolSw = options->addMenu(u("ツールバーの表示／非表示"));
    toolSw->menuAction()->setObjectName(QStringLiteral("ToolSw"));
    Show1 = addItem(toolSw, "Show1", "表示", {}, 0);
    NoShow1 = addItem(toolSw, "NoShow1", "非表示", {}, 1);
    Show1->setCheckable(true);
    NoShow1->setCheckable(true);

    QMenu* help = bar->addMenu(u("ヘルプ(&H)"));
    addItem(help, "About1", "バージョン情報");
    addItem(help, "Help2", "ヘルプ(&H)");

    // The editor's pop-up menu.
    PopupMenu1 = new QMenu(this);
    addItem(PopupMenu1, "Cut2", "切り取り  Ctrl+X");
    addItem(PopupMenu1, "Delete2", "削除      Ctrl+D");
    addItem(PopupMenu1, "kopi1", "コピー    Ctrl+C");
    addItem(PopupMenu1, "Paste1", "貼り付け Ctrl+V");
    addItem(PopupMenu1, "SelectAll2", "すべて選択", QKeySequence(Qt::CTRL | Qt::Key_A))
        ->setShortcutContext(Qt::WidgetShortcut);
    PopupMenu1->addSeparator();
    addItem(PopupMenu1, "N3", "枠パターン選択");
    addItem(PopupMenu1, "N7", "顔文字選択");
    addItem(PopupMenu1, "N29", "クリップボードに転送", QKeySequence(Qt::CTRL | Qt::Key_L))
        ->setShortcutContext(Qt::WidgetShortcut);

    // The menu of the notification-area icon.
    TaskMenu2 = new QMenu(this);
    addItem(TaskMenu2, "New3", "新規作成", {}, 0);
    addItem(TaskMenu2, "N12", "保存");
    addItem(TaskMenu2, "SaveAs2", "名前を付けて保存");
    addItem(TaskMenu2, "N15", "読み込み");
    TaskMenu2->addSeparator();
    QMenu* size = TaskMenu2->addMenu(u("サイズ変更"));
    size->menuAction()->setObjectName(QStringLiteral("N6"));
    for (auto [name, caption, tag] : {std::tuple{"N8", "最大化", 0}, std::tuple{"N11", "最小化", 1},
                                      std::tuple{"N13", "元のサイズに戻す", 2}}) {
        QAction* a = addItem(size, name, caption, {}, tag);
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, [this, tag = tag] { N8Click(tag); });
    }
    addItem(TaskMenu2, "About2", "バージョン情報");
    addItem(TaskMenu2, "Help3", "Help");
    TaskMenu2->addSeparator();
    QAction* exit2 = addItem(TaskMenu2, "Exit2", "終了");
    exit2->setEnabled(true);
    connect(exit2, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TMain::buildToolBars() {
    CoolBar2 = new QWidget(this);
    CoolBar2->setObjectName(QStringLiteral("CoolBar2"));
    // Buttons of 24 by 24 pixels, close together, as the design has them.
    CoolBar2->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 1px; border: none; }"
                                           "QToolButton { padding: 0px; margin: 0px; }"));
    auto* rows = new QVBoxLayout(CoolBar2);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    auto makeRow = [&] {
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        rows->addLayout(row);
        return row;
    };
    auto makeBar = [&](QHBoxLayout* row, const char* name, int width) {
        auto* bar = new QToolBar(CoolBar2);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setIconSize(QSize(24, 24));
        bar->setMinimumWidth(width);
        bar->setMovable(false);
        row->addWidget(bar);
        return bar;
    };
    QHBoxLayout* first = makeRow();
    ToolBar2 = makeBar(first, "ToolBar2", 110);
    ToolBar5 = makeBar(first, "ToolBar5", 188);
    ToolBar4 = makeBar(first, "ToolBar4", 228);
    first->addStretch();
    QHBoxLayout* second = makeRow();
    ToolBar3 = makeBar(second, "ToolBar3", 232);
    ToolBar1 = makeBar(second, "ToolBar1", 296);
    second->addStretch();

    struct Button {
        QToolBar* bar;
        const char* name;
        const char* hint;
        const char* glyph;
        int tag;
    };
    const QColor teal(0, 128, 128), blue(40, 80, 200), red(180, 60, 60), green(40, 140, 40);
    const Button buttons[] = {
        {ToolBar2, "SpeedButton28", "新規作成（白紙）", "白", 0},
        {ToolBar2, "SpeedButton29", "新規作成（基本設定）", "基", 1},
        {ToolBar2, "SpeedButton30", "読み込み", "開", -1},
        {ToolBar2, "SpeedButton31", "保存（テキスト形式）", "保", -1},
        {ToolBar5, "SpeedButton33", "コピー", "写", -1},
        {ToolBar5, "SpeedButton34", "切り取り", "切", -1},
        {ToolBar5, "SpeedButton35", "削除", "削", -1},
        {ToolBar5, "SpeedButton36", "貼り付け", "貼", -1},
        {ToolBar5, "SpeedButton37", "すべて選択", "全", -1},
        {ToolBar5, "SpeedButton38", "検索", "検", -1},
        {ToolBar5, "SpeedButton39", "置換", "置", -1},
        {ToolBar4, "SpeedButton41", "印刷", "印", -1},
        {ToolBar4, "SpeedButton42", "印刷の設定", "設", -1},
        {ToolBar3, "SpeedButton43", "メールマガジンタイトル", "題", 0},
        {ToolBar3, "SpeedButton44", "電子メールアドレス", "@", 1},
        {ToolBar3, "SpeedButton45", "ホームページのURL", "URL", 2},
        {ToolBar3, "SpeedButton46", "あなたの名前", "名", 3},
        {ToolBar3, "SpeedButton47", "創刊日", "創", 5},
        {ToolBar3, "SpeedButton48", "発行日", "発", 4},
        {ToolBar3, "SpeedButton50", "枠パレット", "枠", 0},
        {ToolBar3, "SpeedButton51", "顔文字パレット", "顔", 1},
        {ToolBar3, "SpeedButton1", "クリップボードへ転送", "転", -1},
        {ToolBar1, "SpeedButton40", "フォントの設定", "字", -1},
        {ToolBar1, "SpeedButton49", "全体基本設定", "全", -1},
        {ToolBar1, "SpeedButton53", "ヘルプ", "?", -1},
        {ToolBar1, "SpeedButton54", "バージョン情報", "i", -1},
    };
    for (const Button& b : buttons) {
        const QColor color = b.bar == ToolBar2   ? teal
                             : b.bar == ToolBar5 ? blue
                             : b.bar == ToolBar4 ? green
                                                 : red;
        QAction* a = addItem(nullptr, b.name, b.hint, {}, b.tag);
        a->setIcon(pictures::buttonGlyph(u(b.glyph), color));
        a->setProperty("Hint", u(b.hint));
        a->setToolTip(u(b.hint));
        // The face-mark palette's button keeps its hint but shows no tip.
        const bool showHint = QString::fromLatin1(b.name) != QLatin1String("SpeedButton51");
        a->setProperty("ShowHint", showHint);
        if (QString::fromLatin1(b.name) == QLatin1String("SpeedButton50")) b.bar->addSeparator();
        b.bar->addAction(a);
        if (!showHint) b.bar->widgetForAction(a)->installEventFilter(this);
    }
    // Each band is as wide as its buttons (never less than its design width).
    for (QToolBar* bar : {ToolBar1, ToolBar2, ToolBar3, ToolBar4, ToolBar5}) {
        bar->adjustSize();
        bar->setMinimumWidth(std::max(bar->minimumWidth(), bar->sizeHint().width()));
        bar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
}

void TMain::buildStatusBar() {
    const int widths[6] = {50, 50, 50, 80, 100, 50};
    const char* texts[6] = {"Caps", "上書き", "Num", "１行の文字数", "文字数", "変更"};
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 6; ++i) {
        auto* l = new QLabel(u(texts[i]), bar);
        l->setObjectName(QStringLiteral("Panel%1").arg(i));
        l->setFixedWidth(widths[i]);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(l);
        StatusPanels[static_cast<std::size_t>(i)] = l;
    }
}

void TMain::buildTray() {
    TaskTray1 = new TTaskTray(this);
    TaskTray1->SetPopupMenuL(TaskMenu2);
    TaskTray1->SetPopupMenuR(TaskMenu2);
    TaskTray1->SetTipString(cp932::encodeKnown(u(kTitle)));
    const QIcon icon = pictures::programIcon();
    TaskTray1->SetIcon(&icon);
    if (TaskTray1->IconID() != 1) {
        try {
            TaskTray1->SetIconID(1);
        } catch (const MMEditError&) {
            // Another instance in this program holds 1: keep the one given.
        }
    }
    // Registered when the window is loaded; the settings decide later.
    runCommand(dialogs_, [this] {
        TaskTray1->SetRegistered(true);
        TaskTray1->Loaded();
    });
}

bool TMain::eventFilter(QObject* watched, QEvent* e) {
    if (ExtMemo1 && watched == ExtMemo1->viewport()) {
        if (e->type() == QEvent::ContextMenu) {
            PopupMenu1->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
            return true;
        }
        return false;
    }
    // Tool buttons whose hint is not shown as a tip.
    if (e->type() == QEvent::ToolTip) return true;
    return QMainWindow::eventFilter(watched, e);
}
