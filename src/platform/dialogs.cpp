#include "dialogs.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

Dialogs::Button QtDialogs::messageBox(const QString& caption, const QString& text, Icon icon,
                                      int buttons) {
    QMessageBox box(parent_);
    box.setWindowTitle(caption);
    box.setText(text);
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
    const QString name =
        QFileDialog::getOpenFileName(parent_, caption, QFile::decodeName(folder.c_str()), filter);
    return QFile::encodeName(name).toStdString();
}

std::string QtDialogs::saveFileName(const QString& caption, const QString& filter,
                                    const std::string& suggested) {
    const QString name = QFileDialog::getSaveFileName(parent_, caption,
                                                      QFile::decodeName(suggested.c_str()), filter);
    return QFile::encodeName(name).toStdString();
}

bool QtShell::open(const QString& address) {
    const QUrl url = QUrl::fromUserInput(address);
    return QDesktopServices::openUrl(url);
}
