#include "documentcommands.h"

#include "mainwindow.h"
#include "previousfilewindow.h"
#include "recovery.h"
#include "settingscommands.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/textexport.h"

#include <QFile>
#include <QScreen>

#include <algorithm>

namespace {
QString u(const char* s) {
    return QString::fromUtf8(s);
}
} // namespace

DocumentCommands::DocumentCommands(MainWindow& window) : w_(window) {
    w_.setCommand({"New2", "NormalSet1", "SpeedButton28", "SpeedButton29", "New3"},
                  [this](int tag) {
                      if (tag == 0 || tag == 1) newDocument(tag == 1);
                  });
    w_.setCommand({"Open1", "SpeedButton30", "N15"}, [this](int) { open(); });
    w_.setCommand({"N17", "N21", "N31", "N41", "N51", "N61", "N71", "N81", "N91", "N01"},
                  [this](int tag) { openRecent(tag); });
    w_.setCommand({"Save1", "SpeedButton31", "N12"}, [this](int) { save(); });
    w_.setCommand({"SaveAs1", "SaveAs2"}, [this](int) { saveAs(); });
    w_.setCommand({"HTML1"}, [this](int) { exportHtml(); });
}

DocumentCommands::~DocumentCommands() = default;

PreviousFileWindow& DocumentCommands::previousFileWindow() {
    // Made when first shown: most starts never show it.
    if (!previousWindow_) {
        previousWindow_ = new PreviousFileWindow(&w_);
        previousWindow_->setWindowFlag(Qt::Window);
        QObject::connect(previousWindow_, &PreviousFileWindow::activated, &w_, [this] {
            runCommand(w_.dialogs(), [this] { previousWindowActivated(); });
        });
    }
    return *previousWindow_;
}

// --- crash recovery ------------------------------------------------------------------

void DocumentCommands::startRecovery() {
    recovery_ = std::make_unique<CrashRecovery>(w_.document(), w_.settings().files, w_.dialogs());
    QObject::connect(recovery_.get(), &CrashRecovery::writeFailed, &w_,
                     [this](const QString& message) { w_.showStatusMessage(message); });
    if (recovery_->offerRecovery()) w_.showDocumentState(true);
}

void DocumentCommands::documentSaved() {
    if (recovery_) recovery_->documentSaved();
}

void DocumentCommands::cleanExit() {
    if (recovery_) recovery_->cleanExit();
}

std::string DocumentCommands::backupName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return path + ".bak";
    return path.substr(0, dot) + ".bak";
}

QString DocumentCommands::dialogFolder() const {
    return QString();
}

// --- asking before the text goes ------------------------------------------------

bool DocumentCommands::offerToSave() {
    if (!w_.document().isModified()) return true;
    const Dialogs::Button answer =
        w_.dialogs().messageBox(u(MainWindow::kTitle), u("編集中の文章があります。保存しますか？"),
                                Dialogs::Icon::None, Dialogs::Yes | Dialogs::No | Dialogs::Cancel);
    if (answer == Dialogs::No) return true;
    if (answer == Dialogs::Yes) return save();
    return false;
}

// --- new and open ----------------------------------------------------------------

void DocumentCommands::newDocument(bool fromSettings) {
    if (!offerToSave()) return;
    SettingsState& s = w_.settings();
    previousFilePending_ = true;
    w_.document().setFilePath({});
    w_.editor()->setText({});
    w_.document().clearUndo();
    w_.document().setModified(false);
    documentSaved(); // the old text was given up on purpose
    previousFile_ = s.options.history[0];
    if (fromSettings) {
        // The dialog copies the standing values, shows them and hides this
        // window until it is confirmed or cancelled.
        w_.settingsDialogs().showBasicSettings(true);
        // Until the dialog is confirmed the document has the standing values.
        w_.applyFont();
    } else {
        s.copyGlobalToDocument();
        // The new document takes the standing width and limit, not those of
        // the document (or the loaded file) before it.
        w_.applyFont();
    }
    w_.showDocumentState(false);
}

void DocumentCommands::loadDocument(const std::string& path) {
    w_.editor()->loadFile(path);
    w_.document().setFilePath(path);
    // A file just opened is unchanged until the user edits it.
    w_.document().setModified(false);
    documentSaved();
    w_.showDocumentState(false);
    // A loaded file is never cut at the character limit.
    w_.editor()->setMaxLength(static_cast<int>(kMaxDocumentBytes));
}

void DocumentCommands::open() {
    if (!offerToSave()) return;
    const std::string path =
        w_.dialogs().openFileName(QString(), MainWindow::openFilter(), std::string());
    if (path.empty()) return;
    openPathUnasked(path);
}

void DocumentCommands::openPath(const std::string& path) {
    if (!offerToSave()) return;
    runCommand(w_.dialogs(), [&] { openPathUnasked(path); });
}

void DocumentCommands::openPathUnasked(const std::string& path) {
    // The document's name changes only once the file has been read: a failed
    // read leaves the text and its name as they were.
    loadDocument(path);
    SettingsState& s = w_.settings();
    previousFilePending_ = true;
    previousFile_ = s.options.history[0];
    s.addToHistory(path);
    w_.updateHistoryMenu();
    if (s.options.openPreviousInWindow == 1 && !previousFile_.empty()) {
        placePreviousWindow();
        PreviousFileWindow& window = previousFileWindow();
        window.show();
        window.raise();
        window.activateWindow();
    }
}

void DocumentCommands::openRecent(int slot) {
    if (slot < 0 || slot >= kHistorySlots) return;
    const std::string path = w_.settings().options.history[static_cast<std::size_t>(slot)];
    if (path.empty()) return;
    if (!offerToSave()) return;
    loadDocument(path);
}

// --- saving ------------------------------------------------------------------------

void DocumentCommands::writeDocument(const std::string& path, bool backup) {
    // The backup is a second name for the file as it is (never replacing a
    // backup that exists); the safe write then puts the new text in place,
    // so a failed write leaves the document file as it was.
    if (backup) fileio::copyNoReplace(path, backupName(path));
    fileio::writeAll(path, w_.document().all());
}

bool DocumentCommands::save() {
    SettingsState& s = w_.settings();
    const std::string current = w_.document().filePath();
    if (!current.empty()) {
        if (!runCommand(w_.dialogs(), [&] { writeDocument(current, s.options.makeBackup == 1); }))
            return false;
        s.addToHistory(current);
        w_.updateHistoryMenu();
        w_.document().setModified(false);
        documentSaved();
        w_.showDocumentState(false);
        return true;
    }
    const std::string path =
        w_.dialogs().saveFileName(QString(), MainWindow::saveFilter(), "*.txt");
    if (path.empty()) return false;
    if (!runCommand(w_.dialogs(), [&] { writeDocument(path, false); })) return false;
    w_.document().setFilePath(path);
    w_.document().setModified(false);
    documentSaved();
    w_.showDocumentState(false);
    return true;
}

bool DocumentCommands::saveAs() {
    const std::string current = w_.document().filePath();
    const std::string path = w_.dialogs().saveFileName(QString(), MainWindow::saveFilter(),
                                                       current.empty() ? "*.txt" : current);
    if (path.empty()) return false;
    if (!runCommand(w_.dialogs(), [&] { writeDocument(path, false); })) return false;
    w_.document().setFilePath(path);
    w_.settings().addToHistory(path);
    w_.updateHistoryMenu();
    // The text is on disk: closing has nothing to ask about.
    w_.document().setModified(false);
    documentSaved();
    w_.showDocumentState(false);
    return true;
}

void DocumentCommands::exportHtml() {
    const std::string path =
        w_.dialogs().saveFileName(QString(), MainWindow::htmlFilter(), "*.html");
    if (path.empty()) return;
    // An export: the document keeps its file, its state and the recent files.
    runCommand(w_.dialogs(), [&] {
        const std::string doc(w_.document().all());
        fileio::writeAll(path, textexport::htmlPage(doc, w_.editor()->lineView().rules()));
    });
}

// --- the previous-file window ------------------------------------------------------

void DocumentCommands::placePreviousWindow() {
    // At its first showing the window goes beside the main window, on the
    // side with room for it on the main window's screen; without room it
    // keeps its place in the middle of the screen.
    if (previousWindowPlaced_) return;
    previousWindowPlaced_ = true;
    const QScreen* screen = w_.screen();
    if (!screen || !w_.isVisible()) return;
    const QRect room = screen->availableGeometry();
    const QRect main = w_.frameGeometry();
    PreviousFileWindow& window = previousFileWindow();
    const QSize size = window.frameGeometry().size();
    const int y =
        std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() - size.height()));
    if (main.right() + 1 + size.width() <= room.right() + 1)
        window.move(main.right() + 1, y);
    else if (main.left() - size.width() >= room.left())
        window.move(main.left() - size.width(), y);
}

void DocumentCommands::setPreviousFile(const std::string& path) {
    previousFile_ = path;
    previousFilePending_ = true;
}

void DocumentCommands::previousWindowActivated() {
    const bool load = w_.settings().options.openPreviousInWindow == 1 && previousFilePending_ &&
                      !previousFile_.empty();
    previousFilePending_ = false;
    if (load) previousFileWindow().load(previousFile_);
}
