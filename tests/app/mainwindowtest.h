// The main window as the window tests start it: a temporary program folder,
// scripted dialogs, a recording shell and lock keys the test sets.
#pragma once

#include "app/documentcommands.h"
#include "app/lockkeys.h"
#include "app/mainwindow.h"

#include "support/scripted.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

// Caps Lock and Num Lock as the test sets them.
struct FakeLocks : LockKeys {
    bool caps = false;
    bool num = false;
    std::optional<bool> capsLock() const override { return caps; }
    std::optional<bool> numLock() const override { return num; }
};

struct MainWindowTest : ::testing::Test {
    TempDir dir;
    SettingsState settings;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    FakeLocks locks;
    std::unique_ptr<MainWindow> main;

    // Starts the program (again) on the test folder, as its entry does: the
    // window before goes first, the settings start from nothing and are read
    // by the start-up.
    void startWindow() {
        main.reset();
        settings = SettingsState();
        main = std::make_unique<MainWindow>(settings, dialogs, shell, locks, dir.path());
        main->startUp();
    }

    EditingArea& editor() { return *main->editor(); }
    QAction* item(const char* name) const { return main->item(QString::fromLatin1(name)); }
    // Chooses an item as a user can: it must be there and enabled.
    void trigger(const char* name) {
        QAction* a = item(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }
    // Types text into the editing area, a key for each character.
    void type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(main->editor(), &e);
        }
    }
    QString panel(StatusPanels::Panel p) const { return main->statusPanels().text(p); }
    DocumentCommands& docs() { return main->documents(); }
    std::string text() { return main->document().text(); }
    // Opens a file through the menu, the dialog answering with its name.
    void open(const std::string& path) {
        dialogs.fileNames.push_back(path);
        trigger("Open1");
    }
    // Whether closing the window now would ask about saving (the question
    // is answered Cancel, so the window stays).
    bool closeAsks() {
        const std::size_t before = dialogs.boxes.size();
        dialogs.answers.push_back(Dialogs::Cancel);
        QCloseEvent e;
        QApplication::sendEvent(main.get(), &e);
        const bool asked = dialogs.boxes.size() > before;
        if (!asked) dialogs.answers.clear();
        return asked;
    }
};
