// The main window: its layout, actions and menus, its start-up and
// shut-down, the live totals in the status bar, and the application of the
// settings to itself, the editing area and the notification-area icon.
#pragma once

#include "statuspanels.h"

#include "editor/editingarea.h"
#include "settings/settings.h"
#include "tray/trayicon.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Dialogs;
class Shell;
class LockKeys;
class DocumentCommands;
class QMimeData;
class EditCommands;
class MailCommands;
class PaletteCommands;
class SettingsCommands;

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The items that give one command: its menu item first, then, where the
    // window has them, its pop-up or notification-area item and its tool
    // button. Each item keeps its design name as its object name and its
    // Tag property.
    struct Command {
        std::vector<QAction*> items;
        QAction* menuItem() const { return items.front(); }
    };
    // Every command of the window, each made once with its items.
    struct Actions {
        // ファイル (and the notification-area menu)
        Command newBlank;        // 白紙
        Command newFromSettings; // 新規作成 → 基本設定
        Command open;
        Command save;
        Command saveAs;
        Command exportHtml;
        Command pageSetup;
        Command print;
        Command exit;
        std::array<Command, kHistorySlots> recentFile; // [0] is slot 1, the newest
        // 編集 (and the editor's pop-up menu)
        Command basicSettings;
        Command transferToClipboard;
        Command copy;
        Command cut;
        Command paste;
        Command deleteForward;
        Command selectAll;
        // 検索
        Command find;
        Command replace;
        // ツール: the stored values
        Command insertTitle;
        Command insertMailAddress;
        Command insertUrl;
        Command insertName;
        Command insertIssueDate;
        Command insertLaunchDate;
        QAction* linkPlaceholder = nullptr; // stands in the link menu until links come
        // ウインドウ (and the editor's pop-up menu)
        Command framePalette;
        Command facePalette;
        Command headerFooter;
        // オプション
        Command overallSettings;
        Command font;
        Command showToolBar;
        Command hideToolBar;
        // ヘルプ
        Command about;
        Command help;
        // サイズ変更 of the notification-area menu
        Command maximize;
        Command minimize;
        Command restore;
    };
    // The menus of the menu bar and the sub-menus.
    struct Menus {
        QMenu* file = nullptr;
        QMenu* newDocument = nullptr;
        QMenu* edit = nullptr;
        QMenu* search = nullptr;
        QMenu* tool = nullptr;
        QMenu* window = nullptr;
        QMenu* options = nullptr;
        QMenu* toolBar = nullptr;
        QMenu* help = nullptr;
        QMenu* size = nullptr;
    };

    static const char* const kTitle;        // "「もるもる」メールマガジンエディタ"
    static const char* const kVersionTitle; // "「もるもる」メールマガジンエディタ1.2"

    // programFolder stands for the folder of the program file (tests pass a
    // temporary folder).
    MainWindow(SettingsState& settings, Dialogs& dialogs, Shell& shell, const LockKeys& locks,
               const std::string& programFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- start-up and shut-down -------------------------------------------
    // Finds the settings (writing the defaults when there are none), applies
    // them, may load the last file and builds the link menu. A failing step is
    // reported and the later steps are skipped.
    void startUp();
    // The window was minimized or restored: it may hide in the notification area.
    void windowStateChanged();
    void exit() { close(); }

    // --- status bar and caption --------------------------------------------
    // After every change of the text: totals, modified mark, caption.
    void textChanged();
    // Every key pressed in the window or the editor, before it acts.
    void previewKey(QKeyEvent* e);
    // Every key released in the window or the editor. A lock key's new state
    // can be read only now: X switches a lock off when its key is released.
    void keyReleased(QKeyEvent* e);
    void activated();
    // The caption and the modified panel: marked (after a change) or clean.
    void showDocumentState(bool modified);
    // The totals panels: the totals, or that they are being counted.
    void showTotals();
    // A passing message in the status bar.
    void showStatusMessage(const QString& message);

    // --- settings ------------------------------------------------------------
    void applyEditorSettings();
    void applyFont();
    void applyWindowSettings();
    // Fixed or any pitch, as the settings say, on the editing font.
    void applyFontPitch();
    void updateHistoryMenu();

    // The editing font (the font dialog's font) and its colour.
    const QFont& fontDialogFont() const { return fontDialogFont_; }
    void setFontDialogFont(const QFont& font) { fontDialogFont_ = font; }
    SettingsFont settingsFont() const;

    // Loads a file into the editor as a document file is loaded.
    void loadIntoEditor(const std::string& path);

    // The size commands of the notification-area menu.
    enum class SizeCommand { maximize = 0, minimize = 1, restore = 2 };
    void applySizeCommand(SizeCommand command);

    // --- what the window holds ------------------------------------------------
    Document& document() { return editor_->document(); }
    bool isDocumentModified() const { return editor_->document().isModified(); }
    EditingArea* editor() const { return editor_; }
    QWidget* toolBarArea() const { return toolBarArea_; }
    const StatusPanels& statusPanels() const { return *statusPanels_; }
    QMenu* editorMenu() const { return editorMenu_; }
    QMenu* trayMenu() const { return trayMenu_; }
    QMenu* linkMenu() const { return linkMenu_; }
    // The recent-file item of a slot (0 is slot 1, the newest).
    QAction* historyItem(int slot) const {
        return actions_.recentFile[static_cast<std::size_t>(slot)].menuItem();
    }
    TrayIcon* trayIcon() const { return trayIcon_; }

    // The commands' items and the menus, made once by the window.
    const Actions& actions() const { return actions_; }
    const Menus& menus() const { return menus_; }
    // Every menu item, pop-up item and tool button by its object name.
    QAction* item(const QString& name) const;
    // A menu of the menu bar by the object name of its item: "File1",
    // "Edit1", "Search1", "Tool1", "Window1", "Option1", "Help1".
    QMenu* menu(const QString& name) const;

    // --- for the window's collaborators ------------------------------------------
    SettingsState& settings() { return s_; }
    Dialogs& dialogs() { return dialogs_; }
    Shell& shell() { return shell_; }
    // Enables the items of a command (menu item, pop-up item, tool button)
    // and runs run with the chosen item's tag (-1 without one). A failure
    // (MMEditError or any exception) is reported in the error box.
    void setCommand(const Command& command, std::function<void(int tag)> run);
    DocumentCommands& documents() { return *documents_; }
    // What a drop at a point of the window does (see dropEvent); false when
    // the data is neither a local file nor text.
    bool takeDrop(const QMimeData* data, QPoint at);
    EditCommands& editing() { return *editing_; }
    PaletteCommands& palettes() { return *palettes_; }
    SettingsCommands& settingsDialogs() { return *settingsDialogs_; }
    MailCommands& mail() { return *mail_; }
    // The link items built from link.dat (caption and address).
    std::vector<std::pair<QString, QString>> links() const;

    // The filters of the file dialogs.
    static QString openFilter();
    static QString saveFilter();
    static QString htmlFilter();

  Q_SIGNALS:
    // The window has decided to close: the program ends.
    void closed();
    // Start-up has settled: the window has been painted for the first time
    // (or was not shown at start). What would only slow the first picture
    // (drawing the program's icon at every size the desktop asks for,
    // reaching the notification area) waits for this; sent once.
    void settled();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    // A file dropped on the window opens (after the save question); text
    // dropped on the editing area goes in where it is dropped.
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildMenus();
    void buildToolBars(QWidget* central);
    void buildStatusBar();
    void buildTray();
    // The window's first picture is up: the notification-area icon, held
    // while the window was set up, goes in, and settled is sent.
    void settle();
    // Makes an item, disabled until its command is set.
    QAction* makeItem(QMenu* menu, const char* name, const char* caption,
                      const QKeySequence& key = {}, int tag = -1);
    // Makes one item of command.
    QAction* addItem(QMenu* menu, Command& command, const char* name, const char* caption,
                     const QKeySequence& key = {}, int tag = -1);
    void buildLinkMenu();
    void openLink(QAction* item);
    // The close prompt's Yes: save under a chosen name; false keeps the window open.
    bool saveBeforeClose();
    bool trayShown() const;
    void showEditorMessage(const QString& message);
    // Typed or pasted text was cut at the character limit.
    void tellLimitReached();
    // Whether the title bar of the window at pos would be on a screen, where
    // it can be taken hold of.
    bool titleBarOnAScreen(QPoint pos) const;

    SettingsState& s_;
    Dialogs& dialogs_;
    Shell& shell_;
    const LockKeys& locks_;
    std::string programFolder_;
    QFont fontDialogFont_;
    ColorValue fontColor_ = 0;
    Actions actions_;
    Menus menus_;
    std::vector<QAction*> items_; // every item of actions_, in the order made

    EditingArea* editor_ = nullptr;
    QWidget* toolBarArea_ = nullptr;
    std::array<QToolBar*, 5> toolBars_{};
    std::unique_ptr<StatusPanels> statusPanels_;
    // What the caption was last made of (the file's path and the mark), so
    // that a key in a text already changed leaves it alone.
    struct CaptionState {
        std::string path;
        bool modified = false;
        bool shown = false;
    };
    CaptionState caption_;
    QMenu* editorMenu_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QMenu* linkMenu_ = nullptr;
    TrayIcon* trayIcon_ = nullptr;

    // The collaborators, made last, in this order.
    std::unique_ptr<SettingsCommands> settingsDialogs_;
    std::unique_ptr<DocumentCommands> documents_;
    std::unique_ptr<EditCommands> editing_;
    std::unique_ptr<PaletteCommands> palettes_;
    std::unique_ptr<MailCommands> mail_;
};
