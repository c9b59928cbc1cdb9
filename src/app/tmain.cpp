// The main window: start-up, shut-down, status bar and settings.
#include "tmain.h"

#include "lockkeys.h"
#include "pictures.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/fileio.h"
#include "common/linelist.h"
#include "common/platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace {
QString u(const char* s) {
    return QString::fromUtf8(s);
}
QString path(const std::string& p) {
    return QFile::decodeName(p.c_str());
}

} // namespace

TMain::TMain(SettingsState& settings, Dialogs& dialogs, Shell& shell, const LockKeys& locks,
             const std::string& programFolder, QWidget* parent)
    : QMainWindow(parent), s_(settings), dialogs_(dialogs), shell_(shell), locks_(locks),
      programFolder_(programFolder) {
    setObjectName(QStringLiteral("TMain"));
    setWindowTitle(u(kTitle));
    setWindowIcon(pictures::programIcon());
    QFont f(u("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    resize(542, 493);

    // The font dialog's initial font: fixed pitch, 12 pixels.
    fontDialogFont_ = QFont(u("ＭＳ Ｐゴシック"));
    fontDialogFont_.setPixelSize(12);
    fontDialogFont_.setFixedPitch(true);

    buildMenus();
    buildToolBars();
    buildStatusBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(CoolBar2);
    ExtMemo1 = new TExtMemo(central);
    ExtMemo1->setObjectName(QStringLiteral("ExtMemo1"));
    ExtMemo1->setDialogs(&dialogs_);
    ExtMemo1->viewport()->installEventFilter(this); // its pop-up menu
    configureNewsletterEditor(*ExtMemo1);
    layout->addWidget(ExtMemo1, 1);
    setCentralWidget(central);
    connect(ExtMemo1, &TRichEdit::changed, this, [this] { RichEdit1Change(); });
    connect(ExtMemo1, &TRichEdit::keyPreview, this, [this](QKeyEvent* e) { FormKeyDown(e); });

    buildTray();
}

TMain::~TMain() = default;

SettingsFont TMain::settingsFont() const {
    SettingsFont f;
    f.Name = cp932::encode(fontDialogFont_.family()).bytes;
    f.Size = fontDialogFont_.pointSize() > 0 ? fontDialogFont_.pointSize() : 0;
    f.Color = fontColor_;
    return f;
}

// --- start-up ------------------------------------------------------------------

void TMain::FormCreate() {
    runCommand(dialogs_, [this] {
        // 1. The editor holds plain text only (it has no other mode).
        DocumentModified = false;               // 2
        s_.setProgramFolder(programFolder_);    // 3
        if (!fileio::exists(s_.SettingsPath)) { // 4
            // A default file that cannot be written is reported; start-up
            // goes on with the defaults of missing keys.
            runCommand(dialogs_, [this] { WriteDefaultSettings(s_.SettingsPath); });
        }
        SettingsFont font; // 5
        s_.LoadSettings(font);
        fontDialogFont_.setFamily(cp932::decode(font.Name));
        if (font.Size > 0) fontDialogFont_.setPointSize(font.Size);
        fontColor_ = font.Color;
        ExtMemo1->SelectAll(); // 6
        ExtMemo1->SetFont(fontDialogFont_);
        ExtMemo1->SetFontColor(fontColor_);
        ExtMemo1->SetSelStart(ExtMemo1->SelStart() + ExtMemo1->SelLength());
        const bool shown = s_.ToolBarShown == 1; // 7
        CoolBar2->setEnabled(shown);
        CoolBar2->setVisible(shown);
        Show1->setChecked(shown);
        NoShow1->setChecked(!shown);
        UpdateHistoryMenu();  // 8
        s_.CopyGlobalToDoc(); // 9
        s_.CopyGlobalToNewDoc();
        ApplyEditorSettings();                              // 10
        ApplyWindowSettings();                              // 11
        const std::string& last = s_.AppOptions.History[0]; // 12
        if (s_.AppOptions.OpenLastFile == 1 && !last.empty()) LoadIntoEditor(last);
        // 13: the previous-file window arrives with the document commands.
        BuildLinkMenu(); // 14
    });
}

void TMain::LoadIntoEditor(const std::string& file) {
    const std::string bytes = fileio::readAll(file);
    // The editor holds at most 2147483632 characters, as its positions are int.
    if (bytes.size() > 2147483632u)
        throw MMEditError(u("ファイル %1 は大きすぎて開けません").arg(path(file)));
    ExtMemo1->SetText(bytes);
    // A loaded file is never cut at the character limit.
    ExtMemo1->SetMaxLength(2147483632);
}

void TMain::BuildLinkMenu() {
    const std::vector<std::string> lines =
        linelist::parse(fileio::readAll(s_.ProgramFolder + "link.dat"));
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2) {
        auto* a = new QAction(cp932::decode(lines[k]), this);
        a->setObjectName(QStringLiteral("Link%1").arg(k / 2));
        a->setProperty("Hint", cp932::decode(lines[k + 1]));
        a->setStatusTip(cp932::decode(lines[k + 1]));
        connect(a, &QAction::triggered, this, [this, a] { DummyClick(a); });
        LinkMenu->addAction(a);
    }
}

std::vector<std::pair<QString, QString>> TMain::links() const {
    std::vector<std::pair<QString, QString>> out;
    for (QAction* a : LinkMenu->actions())
        if (a != Dummy) out.emplace_back(a->text(), a->property("Hint").toString());
    return out;
}

void TMain::DummyClick(QAction* a) {
    shell_.open(a->property("Hint").toString());
}

// --- settings --------------------------------------------------------------------

void TMain::ApplyEditorSettings() {
    ExtMemo1->SetFont(fontDialogFont_);
    ExtMemo1->SetFontColor(fontColor_);
    ExtMemo1->SetMaxLength(s_.DocParams.MaxChars);
    ExtMemo1->EditArea().SetLineLength(s_.DocParams.LineWidth);
}

void TMain::SetFont() {
    ApplyEditorSettings();
}

void TMain::ApplyWindowSettings() {
    // 1. The pitch of the font read from the settings file.
    if (s_.AppOptions.AnyPitchFont == 1) {
        fontDialogFont_.setFixedPitch(false);
        fontDialogFont_.setStyleHint(QFont::AnyStyle);
    } else {
        fontDialogFont_.setFixedPitch(true);
        fontDialogFont_.setStyleHint(QFont::TypeWriter);
    }
    ExtMemo1->SetFont(fontDialogFont_);
    // 2. The input method: the editor always takes input-method text; Qt
    //    cannot switch the input method on by itself (ImeOnAtStart is kept).
    // 3. The window position.
    if (s_.AppOptions.RestorePosition == 1) {
        move(s_.WindowLeft, s_.WindowTop);
    } else if (const QScreen* sc = QGuiApplication::primaryScreen()) {
        move(sc->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    // 4. The notification-area icon.
    TaskTray1->SetRegistered(s_.AppOptions.TrayResident == 1);
}

void TMain::UpdateHistoryMenu() {
    for (int k = 0; k < kHistorySlots; ++k) {
        QAction* a = HistoryItems[static_cast<std::size_t>(k)];
        const QString caption = QString::number((k + 1) % 10) + QLatin1Char(':') +
                                path(s_.AppOptions.History[static_cast<std::size_t>(k)]);
        a->setText(caption);
        a->setVisible(false);
    }
    if (s_.AppOptions.HistoryShown == 1)
        for (int k = 0; k < kHistorySlots && s_.AppOptions.HistoryCount >= k + 1; ++k)
            HistoryItems[static_cast<std::size_t>(k)]->setVisible(true);
}

// --- status bar and caption --------------------------------------------------------

void TMain::ShowDocumentState(bool modified) {
    setWindowTitle(u(kVersionTitle) + path(s_.CurrentFile) + (modified ? u("(変更)") : QString()));
    StatusPanels[5]->setText(modified ? u("変更あり") : QString());
}

void TMain::RichEdit1Change() {
    DocumentModified = true;
    const TextTotals t = ExtMemo1->totals();
    StatusPanels[3]->setText(u("総行数") + QString::number(t.lines));
    StatusPanels[4]->setText(u("総文字数=") + QString::number(t.characters));
    ShowDocumentState(true);
    s_.WindowLeft = x();
    s_.WindowTop = y();
}

void TMain::FormKeyDown(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_CapsLock:
        StatusPanels[0]->setText(locks_.capsLock().value_or(false) ? u("CapsOn") : u("CapsOff"));
        break;
    case Qt::Key_Insert:
        StatusPanels[1]->setText(ExtMemo1->InsertMode() ? u("挿入") : u("上書き"));
        break;
    case Qt::Key_NumLock:
        StatusPanels[2]->setText(locks_.numLock().value_or(false) ? u("NumOn") : u("NumOff"));
        break;
    default:
        break;
    }
}

void TMain::FormActivate() {
    StatusPanels[0]->setText(locks_.capsLock().value_or(false) ? u("CapsOn") : u("CapsOff"));
    StatusPanels[1]->setText(ExtMemo1->InsertMode() ? u("挿入") : u("上書き"));
    StatusPanels[2]->setText(locks_.numLock().value_or(false) ? u("NumOn") : u("NumOff"));
}

void TMain::keyPressEvent(QKeyEvent* e) {
    FormKeyDown(e);
    QMainWindow::keyPressEvent(e);
}

// --- resizing and the icon ----------------------------------------------------------

bool TMain::trayShown() const {
    return TaskTray1 && TaskTray1->IconShown();
}

void TMain::FormResize() {
    if (s_.AppOptions.MinimizeToTray != 1) return;
    const bool minimized = isMinimized();
    runCommand(dialogs_, [&] { TaskTray1->SetRegistered(minimized); });
    // Hidden to the notification area only when the icon is really there;
    // otherwise the window stays on the task bar, reachable.
    if (minimized && trayShown()) hide();
}

void TMain::N8Click(int tag) {
    switch (tag) {
    case 0:
        showMaximized();
        break;
    case 1:
        showMinimized();
        break;
    case 2:
        showNormal();
        break;
    default:
        return;
    }
    if (tag != 1) {
        raise();
        activateWindow();
    }
}

void TMain::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) FormResize();
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

// --- closing ---------------------------------------------------------------------------

bool TMain::saveBeforeClose() {
    const std::string suggested = s_.CurrentFile.empty() ? std::string("*.txt") : s_.CurrentFile;
    const std::string name = dialogs_.saveFileName(QString(), SaveDialog1Filter(), suggested);
    if (name.empty()) return false; // cancelled: the text stays where it is
    if (!runCommand(dialogs_, [&] { fileio::writeAll(name, ExtMemo1->buffer().all()); }))
        return false;
    s_.CurrentFile = name;
    DocumentModified = false;
    s_.AddToHistory();
    UpdateHistoryMenu();
    return true;
}

void TMain::closeEvent(QCloseEvent* e) {
    if (!DocumentModified) {
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
    runCommand(dialogs_, [this] { s_.SaveSettings(settingsFont()); });
    e->accept();
    Q_EMIT closed();
}
