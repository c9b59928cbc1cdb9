#include "documentcommands.h"

#include "filewatch.h"
#include "mainwindow.h"
#include "previousfilewindow.h"
#include "recovery.h"
#include "settingscommands.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "text/encoding.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/textexport.h"

#include <QFile>
#include <QScreen>

#include <algorithm>
#include <optional>
#include <utility>

namespace {
QString u(const char* s) {
    return QString::fromUtf8(s);
}
} // namespace

DocumentCommands::DocumentCommands(MainWindow& window)
    : w_(window), watch_(std::make_unique<FileWatch>()) {
    // A change seen while the window is in front is told at once; otherwise
    // at the window's next activation.
    QObject::connect(watch_.get(), &FileWatch::touched, &w_, [this] {
        if (w_.isActiveWindow()) checkFileOnDisk();
    });
    const MainWindow::Actions& a = w_.actions();
    w_.setCommand(a.newBlank, [this](int) { newDocument(false); });
    w_.setCommand(a.newFromSettings, [this](int) { newDocument(true); });
    w_.setCommand(a.open, [this](int) { open(); });
    for (const MainWindow::Command& recent : a.recentFile)
        w_.setCommand(recent, [this](int slot) { openRecent(slot); });
    w_.setCommand(a.save, [this](int) { save(); });
    w_.setCommand(a.saveAs, [this](int) { saveAs(); });
    w_.setCommand(a.exportHtml, [this](int) { exportHtml(); });
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
    // The file as it is now is the document's (nothing for a new document).
    watch_->watch(w_.document().filePath());
}

// --- changes made by other programs ----------------------------------------------

void DocumentCommands::checkFileOnDisk() {
    if (checking_) return; // a box of this check brought the window forward
    const FileWatch::State state = watch_->check();
    if (state == FileWatch::State::Unchanged) return;
    checking_ = true;
    const std::string path = watch_->path();
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    if (state == FileWatch::State::Removed) {
        // Nothing to read again: the text is all there is of it now.
        watch_->forget();
        w_.document().setModified(true);
        if (recovery_) recovery_->writeNow();
        w_.showDocumentState(true);
        w_.dialogs().messageBox(
            u(MainWindow::kTitle),
            u("ファイル %1 がほかのプログラムによって削除されました。").arg(name),
            Dialogs::Icon::Warning, Dialogs::Ok);
        checking_ = false;
        return;
    }
    watch_->watch(path); // asked once for this change
    bool reload =
        w_.dialogs().messageBox(
            u(MainWindow::kTitle),
            u("ファイル %1 がほかのプログラムで変更されました。読み直しますか？").arg(name),
            Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No) == Dialogs::Yes;
    if (reload && w_.document().isModified())
        reload = w_.dialogs().messageBox(
                     u(MainWindow::kTitle), u("編集中の文章は失われます。読み直しますか？"),
                     Dialogs::Icon::Warning, Dialogs::Yes | Dialogs::No) == Dialogs::Yes;
    if (reload) {
        EditingArea& editor = *w_.editor();
        const int line = editor.lineOfChar(static_cast<int>(editor.caretPosition()));
        if (runCommand(w_.dialogs(), [&] { loadDocument(path); })) {
            const int start = editor.lineStart(std::min(line, editor.lineCount() - 1));
            const std::size_t at = static_cast<std::size_t>(std::max(start, 0));
            editor.setSelection(at, at);
        }
    }
    checking_ = false;
}

void DocumentCommands::cleanExit() {
    if (recovery_) recovery_->cleanExit();
}

void DocumentCommands::endRecovery() {
    recovery_.reset();
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
    convertedFile_.clear();
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

bool DocumentCommands::offerConversion(const std::string& path, Document::LoadedText& loaded) {
    const std::string_view bytes = loaded.bytes.all();
    const encoding::Kind kind = encoding::detect(bytes);
    if (kind == encoding::Kind::Cp932) return false;
    const QString name = encoding::nameOf(kind);
    const Dialogs::Button answer = w_.dialogs().messageBox(
        u(MainWindow::kTitle),
        u("このファイルは %1 のようです。Shift_JIS (CP932) に変換して開きますか？").arg(name),
        Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No);
    if (answer != Dialogs::Yes) return false;
    encoding::Conversion converted = encoding::toCp932(bytes, kind);
    if (converted.ok() && converted.bytes.size() > kMaxDocumentBytes) {
        w_.dialogs().messageBox(u(MainWindow::kTitle),
                                u("変換するとファイルが大きくなりすぎるため変換できません。"
                                  "変換せずに開きます。"),
                                Dialogs::Icon::Warning, Dialogs::Ok);
        return false;
    }
    if (!converted.ok()) {
        // All or nothing: the file opens as it is.
        constexpr std::size_t kListed = 20;
        const std::size_t count = converted.bad.size();
        if (count > kListed) converted.bad.resize(kListed);
        QString list = encoding::describe(converted.bad);
        if (count > kListed) list += u("ほか %1 文字\n").arg(count - kListed);
        w_.dialogs().messageBox(u(MainWindow::kTitle),
                                u("Shift_JIS (CP932) にない文字が %1 "
                                  "文字あるため変換できません。変換せずに開きます。\n\n")
                                        .arg(count) +
                                    list,
                                Dialogs::Icon::Warning, Dialogs::Ok);
        return false;
    }
    // The text as code page 932 under the file's name, changed: saving
    // writes code page 932 over the file once the user agrees.
    loaded = Document::LoadedText(); // the file's own bytes are not needed now
    documentSaved();                 // the old text was given up on purpose
    w_.editor()->setMaxLength(static_cast<int>(kMaxDocumentBytes));
    w_.editor()->setText(converted.bytes);
    w_.document().clearUndo();
    w_.document().setFilePath(path);
    w_.document().setModified(true);
    watch_->watch(path);
    if (recovery_) recovery_->writeNow();
    w_.showDocumentState(true);
    convertedFile_ = path;
    convertedFrom_ = name;
    return true;
}

bool DocumentCommands::confirmEncodingChange(const std::string& path) {
    if (convertedFile_.empty() || path != convertedFile_) return true;
    const Dialogs::Button answer = w_.dialogs().messageBox(
        u(MainWindow::kTitle),
        u("ファイル %1 を Shift_JIS (CP932) で保存します。元の文字コード (%2) "
          "には戻せません。よろしいですか？")
            .arg(QFile::decodeName(QByteArray::fromStdString(path)), convertedFrom_),
        Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No);
    if (answer != Dialogs::Yes) return false;
    convertedFile_.clear(); // asked once
    return true;
}

void DocumentCommands::loadDocument(const std::string& path) {
    // Read once: the encoding is told from the bytes that become the text.
    std::optional<Document::LoadedText> ahead;
    if (readAhead_) {
        ahead = readAhead_->take(path);
        readAhead_.reset();
    }
    Document::LoadedText loaded = ahead ? std::move(*ahead) : Document::readFile(path);
    ahead.reset();
    if (offerConversion(path, loaded)) return;
    {
        // The file holds these bytes: nothing to keep for recovery.
        const CrashRecovery::Opening opening(recovery_.get());
        w_.editor()->takeLoaded(loaded, path);
    }
    convertedFile_.clear();
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
    // A run killed once the file is in place finds its text there.
    if (recovery_) recovery_->savingTo(path);
    fileio::writeAll(path, w_.document().all());
}

bool DocumentCommands::save() {
    SettingsState& s = w_.settings();
    const std::string current = w_.document().filePath();
    if (!current.empty()) {
        if (!confirmEncodingChange(current)) return false;
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
    if (!confirmEncodingChange(path)) return false;
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
