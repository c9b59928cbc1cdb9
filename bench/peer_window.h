// The window of the benchmark peers: a plain Qt main window with a
// QPlainTextEdit in the editor's font and size, a status bar and, where it
// is asked for, a File menu like the editor's first items.
#pragma once

#include <QFont>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QString>

inline QPlainTextEdit* setUpPeerWindow(QMainWindow& window, const QString& title,
                                       const QString& status, bool withMenu) {
    window.setWindowTitle(title);
    if (withMenu) {
        QMenu* file = window.menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
        file->addAction(QStringLiteral("開く(&O)..."));
        file->addAction(QStringLiteral("上書き保存(&S)"));
    }
    auto* editor = new QPlainTextEdit;
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(12);
    editor->setFont(font);
    window.setCentralWidget(editor);
    window.statusBar()->showMessage(status);
    window.resize(542, 493);
    return editor;
}
