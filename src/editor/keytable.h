// The editor's commands and the keys that run them. The editing area looks a
// key up here; the main window's actions run the same commands.
#pragma once

#include <QKeyCombination>

#include <optional>
#include <vector>

class QKeyEvent;

enum class EditorCommand {
    moveLeft,
    moveRight,
    moveWordLeft,
    moveWordRight,
    moveUp,
    moveDown,
    pageUp,
    pageDown,
    lineStart,
    lineEnd,
    textStart,
    textEnd,
    copy,
    cut,
    paste,
    undo,
    redo,
    selectAll,
    toggleOverwrite,
    deleteBackward,
    deleteForward,
    newLine,
    tab,
};

// A command that moves the caret; with Shift held it extends the selection.
bool isMovement(EditorCommand command);
// A command that changes the text (refused while the control is read-only).
bool changesText(EditorCommand command);

struct KeyBinding {
    QKeyCombination keys;
    EditorCommand command;
};

// Every key of the editor, in the order they are looked up.
const std::vector<KeyBinding>& editorKeyTable();

struct KeyCommand {
    EditorCommand command;
    bool extend = false; // a movement with Shift: the selection grows
};

// The command of a key press, if the key has one.
std::optional<KeyCommand> commandForKey(const QKeyEvent& e);

// Whether the editor keeps a key press for itself before any window
// shortcut is looked at: a key without Ctrl, Alt or Meta that types text or
// runs an editor command. No shortcut of the program uses such a key (its
// shortcuts are Ctrl combinations and function keys), so the lookup of the
// window's shortcuts is skipped for ordinary typing.
bool editorKeepsKey(const QKeyEvent& e);
