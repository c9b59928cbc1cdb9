#include "editcommands.h"

#include "aboutbox.h"
#include "findreplace.h"
#include "mainwindow.h"
#include "printing.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/fontdialog.h"
#include "platform/help.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QFile>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QShortcut>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

// --- Qt's dialogs ----------------------------------------------------------------------

bool QtCommonDialogs::print(QPrinter& printer, QWidget* parent) {
    QPrintDialog d(&printer, parent);
    d.setWindowTitle(u("印刷"));
    return d.exec() == QDialog::Accepted;
}

bool QtCommonDialogs::pageSetup(QPrinter& printer, QWidget* parent) {
    QPageSetupDialog d(&printer, parent);
    d.setWindowTitle(u("プリンタの設定"));
    return d.exec() == QDialog::Accepted;
}

void QtCommonDialogs::preview(QPrinter& printer, QWidget* parent,
                              const std::function<void(QPrinter*)>& paint) {
    QPrintPreviewDialog d(&printer, parent);
    d.setWindowTitle(u("印刷プレビュー"));
    QObject::connect(&d, &QPrintPreviewDialog::paintRequested, &d, [&](QPrinter* p) { paint(p); });
    if (parent) d.resize(parent->size().expandedTo(QSize(640, 600)));
    d.exec();
}

std::optional<QFont> QtCommonDialogs::font(const QFont& initial, bool fixedPitchOnly,
                                           QWidget* parent) {
    return fonts::chooseFont(initial, fixedPitchOnly, parent, u("フォントの設定"));
}

// --- the commands ----------------------------------------------------------------------

QPrinter& EditCommands::printer() {
    // Made when printing is first asked for: a printer asks the printing
    // system for its default printer, which may take a while.
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

EditCommands::EditCommands(MainWindow& window)
    : w_(window), dialogs_(std::make_unique<QtCommonDialogs>()),
      findReplace_(std::make_unique<FindReplace>(*window.editor(), window.dialogs(), &window)) {
    const MainWindow::Actions& a = w_.actions();
    w_.setCommand(a.selectAll, [this](int) { selectAll(); });
    w_.setCommand(a.transferToClipboard, [this](int) { transferToClipboard(); });
    w_.setCommand(a.copy, [this](int) { copy(); });
    w_.setCommand(a.cut, [this](int) { cut(); });
    w_.setCommand(a.deleteForward, [this](int) { deleteForward(); });
    w_.setCommand(a.paste, [this](int) { paste(); });
    w_.setCommand(a.find, [this](int) { showFind(); });
    w_.setCommand(a.replace, [this](int) { showReplace(); });
    w_.setCommand(a.print, [this](int) { print(); });
    w_.setCommand(a.pageSetup, [this](int) { pageSetup(); });
    w_.setCommand(a.font, [this](int) { chooseFont(); });
    // The item's tag is the stored value's field.
    for (const MainWindow::Command* insert :
         {&a.insertTitle, &a.insertMailAddress, &a.insertUrl, &a.insertName, &a.insertIssueDate,
          &a.insertLaunchDate})
        w_.setCommand(*insert, [this](int tag) { insertStoredValue(tag); });
    w_.setCommand(a.showToolBar, [this](int tag) { showToolBar(tag); });
    w_.setCommand(a.hideToolBar, [this](int tag) { showToolBar(tag); });
    w_.setCommand(a.help, [this](int) { showHelp(); });
    w_.setCommand(a.about, [this](int) { showAbout(); });

    // The Edit menu's Delete names Ctrl+D in its caption: the key deletes.
    auto* deleteKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &w_);
    QObject::connect(deleteKey, &QShortcut::activated, &w_,
                     [this] { w_.actions().deleteForward.menuItem()->trigger(); });

    // Print preview and PDF export follow "印刷" in the File menu.
    if (QMenu* file = w_.menus().file) {
        QAction* print1 = w_.actions().print.menuItem();
        const QList<QAction*> items = file->actions();
        const qsizetype at = items.indexOf(print1);
        QAction* before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;
        auto add = [&](const char* name, const char* caption, std::function<void()> command) {
            auto* a = new QAction(u(caption), &w_);
            a->setObjectName(QString::fromLatin1(name));
            QObject::connect(a, &QAction::triggered, &w_,
                             [this, command] { runCommand(w_.dialogs(), command); });
            file->insertAction(before, a);
            return a;
        };
        preview_ = add("PrintPreview1", "印刷プレビュー", [this] { printPreview(); });
        pdf_ = add("PdfExport1", "PDFに書き出す", [this] { exportPdf(); });
    }
}

EditCommands::~EditCommands() = default;

void EditCommands::setCommonDialogs(std::unique_ptr<CommonDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
}

void EditCommands::selectAll() {
    w_.editor()->selectAll();
    w_.editor()->setFocus();
}

void EditCommands::transferToClipboard() {
    EditingArea* e = w_.editor();
    e->selectAll();
    e->copy();
    e->setFocus();
}

void EditCommands::copy() {
    w_.editor()->runEditorCommand(EditorCommand::copy);
}

void EditCommands::cut() {
    w_.editor()->runEditorCommand(EditorCommand::cut);
    w_.editor()->setFocus();
}

void EditCommands::paste() {
    w_.editor()->runEditorCommand(EditorCommand::paste);
    w_.editor()->setFocus();
}

void EditCommands::deleteForward() {
    w_.editor()->runEditorCommand(EditorCommand::deleteForward);
    w_.editor()->setFocus();
}

void EditCommands::showFind() {
    findReplace_->showFind();
}

void EditCommands::showReplace() {
    findReplace_->showReplace();
}

void EditCommands::print() {
    if (!dialogs_->print(printer(), &w_)) return;
    printing::print(*w_.editor(), printer());
}

void EditCommands::pageSetup() {
    dialogs_->pageSetup(printer(), &w_);
}

void EditCommands::printPreview() {
    dialogs_->preview(printer(), &w_, [this](QPrinter* p) {
        runCommand(w_.dialogs(), [&] { printing::print(*w_.editor(), *p); });
    });
}

void EditCommands::exportPdf() {
    // Beside the document, with its name, when it has one.
    std::string suggested = "*.pdf";
    const std::string& file = w_.document().filePath();
    if (!file.empty()) {
        const std::size_t slash = file.rfind('/');
        const std::size_t dot = file.rfind('.');
        suggested = (dot != std::string::npos && (slash == std::string::npos || dot > slash)
                         ? file.substr(0, dot)
                         : file) +
                    ".pdf";
    }
    const std::string name =
        w_.dialogs().saveFileName(u("PDFに書き出す"), u("PDF (*.pdf)"), suggested);
    if (name.empty()) return;
    fileio::writeAll(name, printing::pdf(*w_.editor(), printer().pageLayout()));
}

void EditCommands::chooseFont() {
    const bool fixedPitchOnly = w_.settings().options.anyPitchFont != 1;
    const std::optional<QFont> chosen = dialogs_->font(w_.fontDialogFont(), fixedPitchOnly, &w_);
    if (!chosen) return;
    // The font dialog's font is the window's editing font: the settings file
    // keeps it and the editor copies it.
    w_.setFontDialogFont(*chosen);
    // A font that cannot be saved is still used.
    runCommand(w_.dialogs(), [this] { w_.settings().save(w_.settingsFont()); });
    w_.applyEditorSettings();
}

void EditCommands::insertStoredValue(int tag) {
    EditingArea* e = w_.editor();
    e->replaceSelection(documentField(tag + 1, w_.settings().document));
    e->setFocus();
}

void EditCommands::showToolBar(int tag) {
    if (tag != 0 && tag != 1) return;
    const bool shown = tag == 0;
    QWidget* band = w_.toolBarArea();
    band->setEnabled(shown);
    band->setVisible(shown);
    w_.actions().showToolBar.menuItem()->setChecked(shown);
    w_.actions().hideToolBar.menuItem()->setChecked(!shown);
    w_.settings().toolBarShown = shown ? 1 : 0;
    w_.settings().save(w_.settingsFont());
}

void EditCommands::showHelp() {
    // The help page lies among the data files the program ships.
    ::showHelp(w_.shell(), w_.dialogs(), w_.settings().files.dataFile("help/index.html"), {}, &w_);
}

AboutBox* EditCommands::aboutBox() {
    // Made when first shown.
    if (!about_) about_ = new AboutBox(w_.shell(), &w_);
    return about_;
}

void EditCommands::showAbout() {
    aboutBox()->present();
}
