// The main window: start-up, shut-down, status bar and settings.
#include "mainwindow.h"

#include "documentcommands.h"
#include "editcommands.h"
#include "lockkeys.h"
#include "mailcommands.h"
#include "palettecommands.h"
#include "pictures.h"
#include "settingscommands.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/fonts.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// A restored window keeps its place when this much of its title bar is on
// a screen: the height of a title bar, and a width to take hold of.
constexpr int kTitleBarHeight = 24;
constexpr int kTitleBarHold = 40;
// How long the status bar tells that text was cut at the character limit.
constexpr int kLimitMessageMs = 4000;

QString u(const char* s) {
    return QString::fromUtf8(s);
}
QString path(const std::string& p) {
    return QFile::decodeName(p.c_str());
}

} // namespace

MainWindow::MainWindow(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                       const LockKeys& locks, const std::string& programFolder, QWidget* parent)
    : QMainWindow(parent), s_(settings), dialogs_(dialogs), shell_(shell), locks_(locks),
      programFolder_(programFolder) {
    setObjectName(QStringLiteral("TMain"));
    setWindowTitle(u(kTitle));
    // No icon of its own: the window shows the program's (the application's
    // icon), given once the window has been painted (see settled).
    setAcceptDrops(true);
    QFont f(fonts::installedFamily(u(fonts::kProportional)));
    f.setPixelSize(12);
    setFont(f);
    resize(542, 493);

    // The font dialog's initial font: fixed pitch, 12 pixels.
    fontDialogFont_ = QFont(u("ＭＳ Ｐゴシック"));
    fontDialogFont_.setPixelSize(12);
    fontDialogFont_.setFixedPitch(true);

    buildMenus();
    // The tool bars are made in their place: moving styled widgets to
    // another parent styles them all again.
    auto* central = new QWidget(this);
    buildToolBars(central);
    buildStatusBar();

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBarArea_);
    editor_ = new EditingArea(central);
    editor_->setObjectName(QStringLiteral("ExtMemo1"));
    connect(editor_, &TextEdit::inputRefused, this, &MainWindow::showEditorMessage);
    connect(editor_, &TextEdit::layoutCompleted, this, [this] { showTotals(); });
    connect(editor_, &TextEdit::failed, this,
            [this](const QString& m) { showErrorBox(dialogs_, m); });
    editor_->viewport()->installEventFilter(this); // its pop-up menu
    configureNewsletterEditor(*editor_);
    layout->addWidget(editor_, 1);
    setCentralWidget(central);
    connect(editor_, &TextEdit::changed, this, [this] { textChanged(); });
    connect(editor_, &TextEdit::keyPreview, this, [this](QKeyEvent* e) { previewKey(e); });
    connect(editor_, &TextEdit::keyReleased, this, [this](QKeyEvent* e) { keyReleased(e); });
    connect(editor_, &TextEdit::limitReached, this, &MainWindow::tellLimitReached);
    connect(editor_, &TextEdit::charactersLeftOut, this, [this](const QString& m) {
        showStatusMessage(m);
        QApplication::beep();
    });
    // The insert mode is known from the start; the lock keys once the window
    // is activated.
    statusPanels_->showInsertMode(editor_->isInsertMode());

    buildTray();

    settingsDialogs_ = std::make_unique<SettingsCommands>(*this);
    documents_ = std::make_unique<DocumentCommands>(*this);
    editing_ = std::make_unique<EditCommands>(*this);
    palettes_ = std::make_unique<PaletteCommands>(*this);
    mail_ = std::make_unique<MailCommands>(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::setCommand(const Command& command, std::function<void(int tag)> run) {
    auto shared = std::make_shared<std::function<void(int)>>(std::move(run));
    for (QAction* a : command.items) {
        a->setEnabled(true);
        const int tag = a->property("Tag").isValid() ? a->property("Tag").toInt() : -1;
        connect(a, &QAction::triggered, this,
                [this, shared, tag] { runCommand(dialogs_, [&] { (*shared)(tag); }); });
    }
}

SettingsFont MainWindow::settingsFont() const {
    SettingsFont f;
    f.name = cp932::encode(fontDialogFont_.family()).bytes;
    f.size = fontDialogFont_.pointSize() > 0 ? fontDialogFont_.pointSize() : 0;
    f.color = fontColor_;
    return f;
}

// --- start-up ------------------------------------------------------------------

void MainWindow::startUp() {
    runCommand(dialogs_, [this] {
        // The editor holds plain text only; a new window starts unchanged.
        document().setModified(false);
        s_.setProgramFolder(programFolder_);
        if (!fileio::exists(s_.settingsPath)) {
            // A default file that cannot be written is reported; start-up
            // goes on with the defaults of missing keys.
            runCommand(dialogs_, [this] { writeDefaultSettings(s_.settingsPath); });
        }
        SettingsFont font;
        s_.load(font);
        fontDialogFont_.setFamily(cp932::decode(font.name));
        if (font.size > 0) fontDialogFont_.setPointSize(font.size);
        fontColor_ = font.color;
        // The font takes its pitch before the editor first gets it, so the
        // editor measures one font at start, not two.
        applyFontPitch();
        // The whole text takes the font; the caret goes after it.
        editor_->selectAll();
        editor_->setEditorFont(fontDialogFont_);
        editor_->setTextColor(fontColor_);
        editor_->setSelectionStart(editor_->selectionStart() + editor_->selectionLength());
        const bool shown = s_.toolBarShown == 1;
        toolBarArea_->setEnabled(shown);
        toolBarArea_->setVisible(shown);
        actions_.showToolBar.menuItem()->setChecked(shown);
        actions_.hideToolBar.menuItem()->setChecked(!shown);
        updateHistoryMenu();
        s_.copyGlobalToDocument();
        s_.copyGlobalToNewDocument();
        applyEditorSettings();
        applyWindowSettings();
        const std::string& last = s_.options.history[0];
        if (s_.options.openLastFile == 1 && !last.empty()) loadIntoEditor(last);
        // The file before the last one waits for the previous-file window.
        const std::string& before = s_.options.history[1];
        if (s_.options.openPreviousInWindow == 1 && !before.empty())
            documents_->setPreviousFile(before);
        // A missing link file is reported and skips only the link menu.
        runCommand(dialogs_, [this] { buildLinkMenu(); });
    });
    runCommand(dialogs_, [this] { documents_->startRecovery(); });
}

void MainWindow::loadIntoEditor(const std::string& file) {
    // Only a regular file, and never more than a document holds, is read,
    // straight into the document.
    const std::string name = document().filePath();
    editor_->loadFile(file);
    // The last file comes back as text only: the document keeps the name it
    // had (none at start-up), so saving asks for one.
    document().setFilePath(name);
    showDocumentState(document().isModified());
    // A loaded file is never cut at the character limit.
    editor_->setMaxLength(static_cast<int>(kMaxDocumentBytes));
}

void MainWindow::buildLinkMenu() {
    const std::vector<std::string> lines =
        linelist::parse(fileio::readAll(s_.files.dataFile("link.dat")));
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2) {
        auto* a = new QAction(cp932::decode(lines[k]), this);
        a->setObjectName(QStringLiteral("Link%1").arg(k / 2));
        a->setProperty("Hint", cp932::decode(lines[k + 1]));
        a->setStatusTip(cp932::decode(lines[k + 1]));
        connect(a, &QAction::triggered, this, [this, a] { openLink(a); });
        linkMenu_->addAction(a);
    }
}

std::vector<std::pair<QString, QString>> MainWindow::links() const {
    std::vector<std::pair<QString, QString>> out;
    for (QAction* a : linkMenu_->actions())
        if (a != actions_.linkPlaceholder)
            out.emplace_back(a->text(), a->property("Hint").toString());
    return out;
}

void MainWindow::openLink(QAction* a) {
    openOrShowAddress(shell_, dialogs_, a->property("Hint").toString());
}

// --- settings --------------------------------------------------------------------

void MainWindow::applyEditorSettings() {
    editor_->setEditorFont(fontDialogFont_);
    editor_->setTextColor(fontColor_);
    // The settings file may hold any number; the editor takes the limits in force.
    const EffectiveLimits limits = effectiveLimits(s_.document);
    editor_->setMaxLength(limits.maxChars);
    editor_->editArea().setLineLength(limits.lineWidth);
}

void MainWindow::showEditorMessage(const QString& message) {
    dialogs_.messageBox(QApplication::applicationName(), message, Dialogs::Icon::Warning,
                        Dialogs::Ok);
}

void MainWindow::showStatusMessage(const QString& message) {
    statusBar()->showMessage(message, kLimitMessageMs);
}

void MainWindow::tellLimitReached() {
    statusBar()->showMessage(u("文字数の上限に達したため、入りきらない部分は入力されませんでした"),
                             kLimitMessageMs);
    QApplication::beep();
}

void MainWindow::applyFont() {
    applyEditorSettings();
}

void MainWindow::applyFontPitch() {
    // The pitch of the font read from the settings file.
    if (s_.options.anyPitchFont == 1) {
        fontDialogFont_.setFixedPitch(false);
        fontDialogFont_.setStyleHint(QFont::AnyStyle);
    } else {
        fontDialogFont_.setFixedPitch(true);
        fontDialogFont_.setStyleHint(QFont::TypeWriter);
    }
}

void MainWindow::applyWindowSettings() {
    applyFontPitch();
    editor_->setEditorFont(fontDialogFont_);
    // The input method: the editor always takes input-method text; Qt cannot
    // switch the input method on by itself (imeOnAtStart is kept).
    // A saved place off every screen (a screen since removed, a file edited
    // by hand) would leave the window out of reach: it opens centred instead.
    const QPoint saved(s_.windowLeft, s_.windowTop);
    if (s_.options.restorePosition == 1 && titleBarOnAScreen(saved)) {
        move(saved);
    } else if (const QScreen* sc = QGuiApplication::primaryScreen()) {
        move(sc->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    trayIcon_->setRegistered(s_.options.trayResident == 1);
}

bool MainWindow::titleBarOnAScreen(QPoint pos) const {
    const QRect titleBar(pos, QSize(width(), kTitleBarHeight));
    for (const QScreen* sc : QGuiApplication::screens()) {
        const QRect shown = titleBar & sc->availableGeometry();
        if (shown.width() >= kTitleBarHold && shown.height() >= kTitleBarHeight / 2) return true;
    }
    return false;
}

void MainWindow::updateHistoryMenu() {
    for (int k = 0; k < kHistorySlots; ++k) {
        QAction* a = historyItem(k);
        // An "&" in a file name is shown, not taken as an access key.
        QString name = path(s_.options.history[static_cast<std::size_t>(k)]);
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        const QString caption = QString::number((k + 1) % 10) + QLatin1Char(':') + name;
        a->setText(caption);
        a->setVisible(false);
    }
    if (s_.options.historyShown == 1)
        for (int k = 0; k < kHistorySlots && s_.options.historyCount >= k + 1; ++k)
            historyItem(k)->setVisible(true);
}

// --- status bar and caption --------------------------------------------------------

void MainWindow::showDocumentState(bool modified) {
    const std::string& file = document().filePath();
    if (!caption_.shown || caption_.modified != modified || caption_.path != file) {
        setWindowTitle(u(kVersionTitle) + path(file) + (modified ? u("(変更)") : QString()));
        caption_ = {file, modified, true};
    }
    statusPanels_->showModified(modified);
}

void MainWindow::textChanged() {
    document().setModified(true);
    showTotals();
    showDocumentState(true);
    s_.windowLeft = x();
    s_.windowTop = y();
}

void MainWindow::showTotals() {
    if (editor_->totalsFinal())
        statusPanels_->showTotals(editor_->totals());
    else
        statusPanels_->showCounting();
}

void MainWindow::previewKey(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_CapsLock:
        statusPanels_->showCapsLock(locks_.capsLock().value_or(false));
        break;
    case Qt::Key_Insert:
        statusPanels_->showInsertMode(editor_->isInsertMode());
        break;
    case Qt::Key_NumLock:
        statusPanels_->showNumLock(locks_.numLock().value_or(false));
        break;
    default:
        break;
    }
}

void MainWindow::keyReleased(QKeyEvent* e) {
    // X switches a lock off only on release: read the locks again then.
    if (e->key() == Qt::Key_CapsLock || e->key() == Qt::Key_NumLock) previewKey(e);
}

void MainWindow::activated() {
    statusPanels_->showCapsLock(locks_.capsLock().value_or(false));
    statusPanels_->showInsertMode(editor_->isInsertMode());
    statusPanels_->showNumLock(locks_.numLock().value_or(false));
    if (documents_) documents_->checkFileOnDisk();
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    previewKey(e);
    QMainWindow::keyPressEvent(e);
}

void MainWindow::keyReleaseEvent(QKeyEvent* e) {
    keyReleased(e);
    QMainWindow::keyReleaseEvent(e);
}

// --- resizing and the icon ----------------------------------------------------------

bool MainWindow::trayShown() const {
    return trayIcon_ && trayIcon_->isIconShown();
}

void MainWindow::windowStateChanged() {
    if (s_.options.minimizeToTray != 1) return;
    const bool minimized = isMinimized();
    runCommand(dialogs_, [&] {
        // The window is up and used: an icon still held goes in now.
        if (trayIcon_->isHeld()) trayIcon_->loaded();
        trayIcon_->setRegistered(minimized);
    });
    // Hidden to the notification area only when the icon is really there;
    // otherwise the window stays on the task bar, reachable. Hidden once the
    // change is over: showMinimized shows the window after minimizing it.
    if (minimized && trayShown())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized() && trayShown()) hide();
            },
            Qt::QueuedConnection);
}

void MainWindow::applySizeCommand(SizeCommand command) {
    switch (command) {
    case SizeCommand::maximize:
        // Hidden behind the icon, the window comes back at its size first:
        // shown maximized straight from minimized, the window manager would
        // minimize it again as it reappears (and the window would hide once
        // more, its icon gone).
        if (isHidden()) showNormal();
        showMaximized();
        break;
    case SizeCommand::minimize:
        showMinimized();
        return; // a minimized window is not brought forward
    case SizeCommand::restore:
        showNormal();
        break;
    }
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) windowStateChanged();
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) activated();
}

// --- drag and drop -------------------------------------------------------------------

namespace {
// The first local file of a drop, as the file system's bytes.
std::string droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return QFile::encodeName(url.toLocalFile()).toStdString();
    return {};
}
bool takesDrop(const QMimeData* data) {
    return !droppedFile(data).empty() || (data && data->hasText());
}
} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (takesDrop(e->mimeData())) e->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* e) {
    if (takesDrop(e->mimeData())) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    if (takeDrop(e->mimeData(), e->position().toPoint())) e->acceptProposedAction();
}

bool MainWindow::takeDrop(const QMimeData* data, QPoint at) {
    if (const std::string file = droppedFile(data); !file.empty()) {
        // After the drop has ended: the save question is a box of its own.
        QTimer::singleShot(0, this, [this, file] { documents_->openPath(file); });
        return true;
    }
    if (!data || !data->hasText()) return false;
    const cp932::EncodeResult bytes = TextEdit::documentBytesOf(data->text());
    if (!bytes.ok()) {
        showErrorBox(dialogs_, u("Shift_JIS (CP932) にない文字があるため挿入できません: ") +
                                   cp932::namesOf(bytes.bad));
        return true;
    }
    QWidget* area = editor_->viewport();
    const int pos = editor_->charAtPoint(area->mapFrom(this, at));
    const std::size_t where = static_cast<std::size_t>(std::max(pos, 0));
    editor_->setSelection(where, where);
    editor_->replaceSelection(bytes.bytes);
    editor_->setFocus();
    return true;
}

// --- closing ---------------------------------------------------------------------------

bool MainWindow::saveBeforeClose() {
    // As Save As: a name asked for, the encoding question for a converted
    // file, the write; cancelled or failed, the text stays where it is.
    return documents_->saveAs();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!isDocumentModified()) {
        documents_->cleanExit();
        e->accept();
        Q_EMIT closed();
        return;
    }
    const Dialogs::Button answer =
        dialogs_.messageBox(u("終了時の警告"), u("編集中の文章があります。保存しますか？"),
                            Dialogs::Icon::None, Dialogs::Yes | Dialogs::No | Dialogs::Cancel);
    if (answer == Dialogs::Cancel || (answer == Dialogs::Yes && !saveBeforeClose())) {
        e->ignore();
        return;
    }
    runCommand(dialogs_, [this] { s_.save(settingsFont()); });
    documents_->cleanExit();
    e->accept();
    Q_EMIT closed();
}
