// A palette: a small window that lists entries (frame designs, face marks)
// kept in a list file, inserts the chosen one into the editing area, and
// adds and deletes entries through its context menu. The frame palette and
// the face-mark palette are its two kinds.
#pragma once

#include "palettecontext.h"
#include "storedlist.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QAction;

// What tells one kind of palette from the other: names, captions, files.
struct PaletteDesign {
    const char* objectName; // the window's object name
    const char* caption;    // the window's caption
    const char* addItem;    // the context menu's entries
    const char* deleteItem;
    const char* entryName;        // what an entry is called in messages
    const char* helpKeyword;      // the help keyword of both windows
    const char* dialogObjectName; // the add dialog's object name
    const char* dialogCaption;
    const char* dialogLabel;
    QSize dialogClientSize;
    const char* shippedFile; // the list the program ships (read only)
    const char* userFile;    // the user's copy of the list
    std::vector<std::string> builtIn;
};

// The dialog that adds an entry: a label, a one-line field and the buttons
// "&OK", "&Cancel" and "&Help!". It is modeless and only hidden when closed,
// so the field keeps the last text. OK is enabled while the field holds text.
class AddEntryDialog : public QDialog {
    Q_OBJECT

  public:
    // add: called with the field's text on OK; the dialog hides only when it
    // returns true. help: the Help button.
    AddEntryDialog(const PaletteDesign& design, std::function<bool(const QString&)> add,
                   std::function<void()> help, QWidget* parent);

    QLineEdit* field() const { return field_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* helpButton() const { return help_; }

    void reject() override;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void confirm();

    std::function<bool(const QString&)> add_;
    QLineEdit* field_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* help_;
    bool placed_ = false;
};

class EntryPalette : public QWidget {
    Q_OBJECT

  public:
    ~EntryPalette() override;

    // Reads the list files (the user's copy when it exists, else the shipped
    // list). Throws MMEditError when a file cannot be read; the list then
    // keeps what it held (at first the built-in entries).
    void loadList();

    // Choose: inserts the selected entry into the editing area; nothing when
    // no row is selected. Failures are reported.
    void choose();
    // Shows the add dialog (modeless).
    void showAddDialog();
    // Asks, then removes the selected entry and writes the user's copy.
    void deleteSelected();
    // Adds an entry and writes the user's copy; false (after telling why)
    // when the text cannot be an entry or the file cannot be written, and
    // the list is then unchanged.
    bool addEntry(const QString& text);

    const StoredList& list() const { return list_; }
    int selectedRow() const;
    void selectRow(int row); // -1: none
    QListWidget* listBox() const { return listBox_; }
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* helpButton() const { return help_; }
    QMenu* contextMenu() const { return menu_; }
    QAction* addAction() const { return addAction_; }
    QAction* deleteAction() const { return deleteAction_; }
    // The dialog that adds an entry (made on first use).
    AddEntryDialog* addDialog();

  protected:
    // list: the palette's list (see listOf), read or not.
    EntryPalette(PaletteContext& context, PaletteDesign design, StoredList list, QWidget* parent);
    // The list of a design as its files are named in the settings' folders,
    // holding the built-in entries until it is read.
    static StoredList listOf(const PaletteDesign& design, const PaletteContext& context);

    // Inserts an entry into the editing area.
    virtual void insertEntry(const std::string& entry) = 0;

    void showEvent(QShowEvent* e) override;

    PaletteContext& context_;

  private:
    void refill();
    void showContextMenu(const QPoint& pos);

    PaletteDesign design_;
    StoredList list_;
    QListWidget* listBox_;
    QPushButton* choose_;
    QPushButton* close_;
    QPushButton* help_;
    QMenu* menu_;
    QAction* addAction_;
    QAction* deleteAction_;
    AddEntryDialog* dialog_ = nullptr;
    bool placed_ = false;
};

// Moves a window to the middle of the primary screen.
void centreOnScreen(QWidget* window);
