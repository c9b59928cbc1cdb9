#include "palettecontext.h"

#include "editor/textedit.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/help.h"
#include "settings/settings.h"

void showWarning(Dialogs& dialogs, const QString& text) {
    dialogs.messageBox(QString::fromUtf8(kWarningCaption), text, Dialogs::Icon::None, Dialogs::Ok);
}

bool insertWhole(PaletteContext& context, std::size_t from, std::size_t to,
                 std::string_view bytes) {
    TextEdit& editor = context.editor;
    Document& doc = editor.document();
    if (editor.isReadOnly() || (from == to && bytes.empty())) return false;
    if (doc.fittingPrefix(bytes, from, to) < bytes.size()) {
        showWarning(context.dialogs,
                    QStringLiteral("文字数の上限 (%1 文字) を超えるので貼り付けられません")
                        .arg(editor.maxLength()));
        return false;
    }
    const std::size_t start = static_cast<std::size_t>(editor.selectionStart());
    const std::size_t length = static_cast<std::size_t>(editor.selectionLength());
    const std::size_t caret = editor.caretPosition();
    const Selection before{caret == start ? start + length : start, caret};
    const std::size_t end = from + bytes.size();
    const std::size_t sizeBefore = doc.size();
    bool changed = false;
    {
        UndoGroup step(doc, before, Selection{end, end});
        editor.setSelection(from, to);
        changed = editor.replaceSelection(bytes) || doc.size() != sizeBefore;
    }
    if (!changed) editor.setSelection(before.anchor, before.caret);
    return changed;
}

bool replaceEditorSelection(PaletteContext& context, std::string_view bytes) {
    const std::size_t start = static_cast<std::size_t>(context.editor.selectionStart());
    return insertWhole(context, start,
                       start + static_cast<std::size_t>(context.editor.selectionLength()), bytes);
}

void showPaletteHelp(PaletteContext& context, const char* keyword) {
    runCommand(context.dialogs, [&] {
        showHelp(context.shell, context.settings.files.dataFile("help/index.html"),
                 QString::fromUtf8(keyword), &context.editor);
    });
}
