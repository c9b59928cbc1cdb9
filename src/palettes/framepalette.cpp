#include "framepalette.h"

#include "palettetext.h"

#include "settings/settings.h"
#include "text/cp932.h"

#include <utility>

namespace {

// The window's client area, and the add dialog's.
constexpr int kClientWidth = 234;
constexpr int kClientHeight = 275;
constexpr int kDialogWidth = 176;
constexpr int kDialogHeight = 85;

PaletteDesign frameDesign() {
    return PaletteDesign{
        .objectName = "TPalette",
        .caption = "枠パレット",
        .addItem = "枠デザイン追加",
        .deleteItem = "枠デザイン削除",
        .entryName = "枠デザイン",
        .helpKeyword = "パターンパレット",
        .dialogObjectName = "TAdd_Dis",
        .dialogCaption = "デザイン追加",
        .dialogLabel = "追加するデザイン",
        .dialogClientSize = QSize(kDialogWidth, kDialogHeight),
        .shippedFile = "waku.edt",
        .userFile = "waku.dat",
        .builtIn = FramePalette::builtInDesigns(),
    };
}

} // namespace

const std::vector<std::string>& FramePalette::builtInDesigns() {
    static const std::vector<std::string> designs = [] {
        std::vector<std::string> v;
        for (const char* d : {"-", "/_", "♪", "-*", "-+", "#", "○●", "■□", "◆◇"})
            v.push_back(cp932::encodeKnown(QString::fromUtf8(d)));
        return v;
    }();
    return designs;
}

StoredList FramePalette::unreadList(const PaletteContext& context) {
    return listOf(frameDesign(), context);
}

FramePalette::FramePalette(PaletteContext& context, QWidget* parent)
    : FramePalette(context, unreadList(context), parent) {}

FramePalette::FramePalette(PaletteContext& context, StoredList list, QWidget* parent)
    : EntryPalette(context, frameDesign(), std::move(list), parent) {
    setFixedSize(kClientWidth, kClientHeight);
}

void FramePalette::insertEntry(const std::string& design) {
    // The width is read now: the document's own, as it is at this moment.
    const std::int32_t width = context_.settings.document.lineWidth;
    if (width <= 0) {
        showWarning(context_.dialogs, QStringLiteral("最大文字数が０なので貼り付けられません！"));
        return;
    }
    if (design.empty()) {
        showWarning(context_.dialogs,
                    QStringLiteral("このデザインは空なので枠を作れません。"
                                   "別のデザインを選ぶか、このデザインを削除してください。"));
        return;
    }
    replaceEditorSelection(context_, palettetext::frameLine(design, width));
}
