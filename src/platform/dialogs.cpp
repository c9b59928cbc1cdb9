#include "dialogs.h"

#include "filedialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <utility>

namespace {

// A message box. Without a parent (none was given, or it is not shown yet:
// Qt would centre the box on that window's unset place, near the top-left
// corner) it shows in the middle of the primary screen.
class Box : public QMessageBox {
  public:
    explicit Box(QWidget* parent) : QMessageBox(parent) {}

  protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e); // takes its final size here
        if (parentWidget()) return;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
};

// Shows the dialog (its columns in Japanese); the chosen file, empty when
// it was cancelled.
std::string chosenFile(QFileDialog& d) {
    prepareFileDialog(d);
    if (d.exec() != QDialog::Accepted) return {};
    const QStringList files = d.selectedFiles();
    return files.isEmpty() ? std::string() : QFile::encodeName(files.front()).toStdString();
}

} // namespace

QWidget* QtDialogs::dialogParent() const {
    if (!parent_) return nullptr;
    // A dialog shown over the window that opened it stays in front of it
    // afterwards; over the parent it would leave that window behind.
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible()) return active;
    return parent_->isVisible() ? parent_ : nullptr;
}

QWidget* QtDialogs::prepare() {
    if (beforeShowing_) beforeShowing_();
    return dialogParent();
}

Dialogs::Button QtDialogs::messageBox(const QString& caption, const QString& text, Icon icon,
                                      int buttons) {
    Box box(prepare());
    box.setWindowTitle(caption);
    box.setText(text);
    // Addresses and file names in a box can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    struct Map {
        Button ours;
        QMessageBox::StandardButton qt;
        const char* text;
    };
    const Map map[] = {{Yes, QMessageBox::Yes, "はい(&Y)"},
                       {No, QMessageBox::No, "いいえ(&N)"},
                       {Ok, QMessageBox::Ok, "OK"},
                       {Cancel, QMessageBox::Cancel, "キャンセル"}};
    for (const Map& m : map) {
        if (!(buttons & m.ours)) continue;
        box.addButton(m.qt)->setText(QString::fromUtf8(m.text));
    }
    const int r = box.exec();
    for (const Map& m : map)
        if (r == m.qt) return m.ours;
    return (buttons & Cancel) ? Cancel : (buttons & No) ? No : Ok;
}

std::string QtDialogs::openFileName(const QString& caption, const QString& filter,
                                    const std::string& folder) {
    QFileDialog d(prepare(), caption, QFile::decodeName(folder.c_str()), filter);
    d.setFileMode(QFileDialog::ExistingFile);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    return chosenFile(d);
}

std::string QtDialogs::saveFileName(const QString& caption, const QString& filter,
                                    const std::string& suggested) {
    QFileDialog d(prepare(), caption, QFile::decodeName(suggested.c_str()), filter);
    d.setFileMode(QFileDialog::AnyFile);
    d.setAcceptMode(QFileDialog::AcceptSave);
    return chosenFile(d);
}

bool QtShell::open(const QString& address) {
    const QUrl url = QUrl::fromUserInput(address);
    return QDesktopServices::openUrl(url);
}

bool openOrShowAddress(Shell& shell, Dialogs& dialogs, const QString& address) {
    if (shell.open(address)) return true;
    dialogs.messageBox(QApplication::applicationName(),
                       QStringLiteral("次のアドレスを開けませんでした:\n%1").arg(address),
                       Dialogs::Icon::Warning, Dialogs::Ok);
    return false;
}
