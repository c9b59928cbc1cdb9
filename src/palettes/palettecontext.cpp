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
    if (from == to && bytes.empty()) return false;
    EditRules rules = editor.editRules();
    rules.wholeOrNothing = true;
    // A command of its own: never joins the typing before it. The edit is
    // one undo step that gives back the editor's selection.
    editor.document().breakTypingMerge();
    const EditResult result =
        replaceRange(editor.document(), from, to, bytes, rules, editor.selection());
    if (result.outcome == EditResult::Outcome::limit)
        showWarning(context.dialogs,
                    QStringLiteral("文字数の上限 (%1 文字) を超えるので貼り付けられません")
                        .arg(editor.maxLength()));
    editor.tellEditResult(result);
    if (!result.changed()) return false;
    editor.caretAfterEdit(from + result.inserted);
    return true;
}

bool replaceEditorSelection(PaletteContext& context, std::string_view bytes) {
    context.editor.prepareOutsideEdit();
    const std::size_t start = static_cast<std::size_t>(context.editor.selectionStart());
    return insertWhole(context, start,
                       start + static_cast<std::size_t>(context.editor.selectionLength()), bytes);
}

void showPaletteHelp(PaletteContext& context, const char* keyword) {
    runCommand(context.dialogs, [&] {
        showHelp(context.shell, context.dialogs, context.settings.files.dataFile("help/index.html"),
                 QString::fromUtf8(keyword), &context.editor);
    });
}
