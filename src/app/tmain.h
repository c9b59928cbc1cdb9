// TMain: the main window. Its layout and command map, its start-up and
// shut-down, the live totals of the status bar, and the application of the
// settings to itself, the editor and the notification-area icon.
#pragma once

#include "editor/extmemo.h"
#include "settings/settings.h"
#include "tray/tasktray.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include <array>
#include <string>
#include <vector>

class Dialogs;
class Shell;
class LockKeys;

class TMain : public QMainWindow {
    Q_OBJECT

  public:
    static const char* const kTitle;        // "「もるもる」メールマガジンエディタ"
    static const char* const kVersionTitle; // "「もるもる」メールマガジンエディタ1.2"

    // programFolder stands for the folder of the program file (tests pass a
    // temporary folder).
    TMain(SettingsState& settings, Dialogs& dialogs, Shell& shell, const LockKeys& locks,
          const std::string& programFolder, QWidget* parent = nullptr);
    ~TMain() override;

    // --- start-up and shut-down -------------------------------------------
    void FormCreate();
    void FormResize();
    void Exit1Click() { close(); }

    // --- status bar and caption --------------------------------------------
    void RichEdit1Change();
    void FormKeyDown(QKeyEvent* e);
    void FormActivate();
    // The caption and panel 5: marked (after a change) or clean.
    void ShowDocumentState(bool modified);

    // --- settings ------------------------------------------------------------
    void ApplyEditorSettings();
    void SetFont();
    void ApplyWindowSettings();
    void UpdateHistoryMenu();

    // The editing font (the font dialog's font) and its colour.
    const QFont& FontDialogFont() const { return fontDialogFont_; }
    SettingsFont settingsFont() const;

    // Loads a file into the editor as a document file is loaded.
    void LoadIntoEditor(const std::string& path);

    // Tray menu size commands: tag 0 maximize, 1 minimize, 2 restore.
    void N8Click(int tag);

    bool DocumentModified = false;

    // Controls, named as the window's design names them.
    TExtMemo* ExtMemo1 = nullptr;
    QWidget* CoolBar2 = nullptr;
    QToolBar *ToolBar1 = nullptr, *ToolBar2 = nullptr, *ToolBar3 = nullptr, *ToolBar4 = nullptr,
             *ToolBar5 = nullptr;
    std::array<QLabel*, 6> StatusPanels{};
    QMenu* PopupMenu1 = nullptr;
    QMenu* TaskMenu2 = nullptr;
    QMenu* LinkMenu = nullptr;
    QAction* Dummy = nullptr;
    QAction *Show1 = nullptr, *NoShow1 = nullptr;
    std::array<QAction*, 10> HistoryItems{}; // N17, N21, ..., N91, N01
    TTaskTray* TaskTray1 = nullptr;

    // Every menu item, pop-up item and tool button by its design name.
    QAction* item(const QString& name) const;
    // The link items built from link.dat (caption and address).
    std::vector<std::pair<QString, QString>> links() const;

    // The filters of the common dialogs, in the dialogs' own form.
    static QString OpenDialog1Filter();
    static QString SaveDialog1Filter();
    static QString SaveDialog2Filter();

  Q_SIGNALS:
    // The window has decided to close: the program ends.
    void closed();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildMenus();
    void buildToolBars();
    void buildStatusBar();
    void buildTray();
    QAction* addItem(QMenu* menu, const char* name, const char* caption,
                     const QKeySequence& key = {}, int tag = -1);
    void BuildLinkMenu();
    void DummyClick(QAction* item);
    // The close prompt's Yes: save under a chosen name; false keeps the window open.
    bool saveBeforeClose();
    bool trayShown() const;

    SettingsState& s_;
    Dialogs& dialogs_;
    Shell& shell_;
    const LockKeys& locks_;
    std::string programFolder_;
    QFont fontDialogFont_;
    TColor fontColor_ = 0;
    std::vector<QAction*> items_;
};
