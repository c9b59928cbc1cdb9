#include "facepalette.h"

#include <utility>

namespace {

// The window's outer size on the platform the palette was designed on (a
// sizeable frame of 4 pixels and a caption of 19), and the add dialog's
// client area.
constexpr int kOuterWidth = 233;
constexpr int kOuterHeight = 304;
constexpr int kFrameWidth = 4;
constexpr int kCaptionHeight = 19;
constexpr int kDialogWidth = 177;
constexpr int kDialogHeight = 84;

PaletteDesign faceDesign() {
    return PaletteDesign{
        .objectName = "Tface",
        .caption = "顔文字パレット",
        .addItem = "顔文字追加",
        .deleteItem = "顔文字削除",
        .entryName = "顔文字",
        .helpKeyword = "顔文字パレット",
        .dialogObjectName = "TAdd2",
        .dialogCaption = "顔文字追加",
        .dialogLabel = "追加する顔文字",
        .dialogClientSize = QSize(kDialogWidth, kDialogHeight),
        .shippedFile = "face.edt",
        .userFile = "face.dat",
        .builtIn = FacePalette::builtInMarks(),
    };
}

} // namespace

const std::vector<std::string>& FacePalette::builtInMarks() {
    static const std::vector<std::string> marks = {"(^_^)", "(^o^)"};
    return marks;
}

StoredList FacePalette::unreadList(const PaletteContext& context) {
    return listOf(faceDesign(), context);
}

FacePalette::FacePalette(PaletteContext& context, QWidget* parent)
    : FacePalette(context, unreadList(context), parent) {}

FacePalette::FacePalette(PaletteContext& context, StoredList list, QWidget* parent)
    : EntryPalette(context, faceDesign(), std::move(list), parent) {
    // The face-mark palette can be resized.
    resize(kOuterWidth - 2 * kFrameWidth, kOuterHeight - 2 * kFrameWidth - kCaptionHeight);
}

void FacePalette::insertEntry(const std::string& mark) {
    replaceEditorSelection(context_, mark);
}
