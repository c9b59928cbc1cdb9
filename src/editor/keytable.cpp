#include "keytable.h"

#include <QKeyEvent>

bool isMovement(EditorCommand c) {
    switch (c) {
    case EditorCommand::moveLeft:
    case EditorCommand::moveRight:
    case EditorCommand::moveWordLeft:
    case EditorCommand::moveWordRight:
    case EditorCommand::moveUp:
    case EditorCommand::moveDown:
    case EditorCommand::pageUp:
    case EditorCommand::pageDown:
    case EditorCommand::lineStart:
    case EditorCommand::lineEnd:
    case EditorCommand::textStart:
    case EditorCommand::textEnd:
        return true;
    default:
        return false;
    }
}

bool changesText(EditorCommand c) {
    switch (c) {
    case EditorCommand::cut:
    case EditorCommand::paste:
    case EditorCommand::undo:
    case EditorCommand::redo:
    case EditorCommand::deleteBackward:
    case EditorCommand::deleteForward:
    case EditorCommand::newLine:
    case EditorCommand::tab:
        return true;
    default:
        return false;
    }
}

const std::vector<KeyBinding>& editorKeyTable() {
    using C = EditorCommand;
    constexpr auto ctrl = Qt::ControlModifier;
    constexpr auto shift = Qt::ShiftModifier;
    static const std::vector<KeyBinding> table = {
        {ctrl | Qt::Key_C, C::copy},
        {ctrl | Qt::Key_Insert, C::copy},
        {ctrl | Qt::Key_X, C::cut},
        {shift | Qt::Key_Delete, C::cut},
        {ctrl | Qt::Key_V, C::paste},
        {shift | Qt::Key_Insert, C::paste},
        {ctrl | Qt::Key_Z, C::undo},
        // Ctrl+Y is not redo: the main window inserts the launch date with it.
        {ctrl | shift | Qt::Key_Z, C::redo},
        {ctrl | Qt::Key_A, C::selectAll},
        {QKeyCombination(Qt::Key_Insert), C::toggleOverwrite},
        {QKeyCombination(Qt::Key_Left), C::moveLeft},
        {QKeyCombination(Qt::Key_Right), C::moveRight},
        {ctrl | Qt::Key_Left, C::moveWordLeft},
        {ctrl | Qt::Key_Right, C::moveWordRight},
        {QKeyCombination(Qt::Key_Up), C::moveUp},
        {QKeyCombination(Qt::Key_Down), C::moveDown},
        {QKeyCombination(Qt::Key_PageUp), C::pageUp},
        {QKeyCombination(Qt::Key_PageDown), C::pageDown},
        {QKeyCombination(Qt::Key_Home), C::lineStart},
        {QKeyCombination(Qt::Key_End), C::lineEnd},
        {ctrl | Qt::Key_Home, C::textStart},
        {ctrl | Qt::Key_End, C::textEnd},
        {QKeyCombination(Qt::Key_Backspace), C::deleteBackward},
        {shift | Qt::Key_Backspace, C::deleteBackward},
        {QKeyCombination(Qt::Key_Delete), C::deleteForward},
        {QKeyCombination(Qt::Key_Return), C::newLine},
        {QKeyCombination(Qt::Key_Enter), C::newLine},
        {shift | Qt::Key_Return, C::newLine},
        {QKeyCombination(Qt::Key_Tab), C::tab},
    };
    return table;
}

std::optional<KeyCommand> commandForKey(const QKeyEvent& e) {
    const Qt::KeyboardModifiers mods =
        e.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const auto key = static_cast<Qt::Key>(e.key());
    const QKeyCombination exact(mods, key);
    for (const KeyBinding& b : editorKeyTable())
        if (b.keys == exact) return KeyCommand{b.command, false};
    // A movement key with Shift extends the selection.
    if (mods & Qt::ShiftModifier) {
        const QKeyCombination unshifted(mods & ~Qt::ShiftModifier, key);
        for (const KeyBinding& b : editorKeyTable())
            if (b.keys == unshifted && isMovement(b.command)) return KeyCommand{b.command, true};
    }
    return std::nullopt;
}

bool editorKeepsKey(const QKeyEvent& e) {
    if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (commandForKey(e)) return true;
    const QString text = e.text();
    if (text.isEmpty()) return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    return true;
}
