#include "extrichedit.h"

#include <QKeyEvent>

TCustomExtRichEdit::TCustomExtRichEdit(QWidget* parent)
    : TRichEdit(parent), imeColors_(new TImeColors(this)), wordWrap_(new TWordWrapOption(this)) {}

TCustomExtRichEdit::~TCustomExtRichEdit() {
    delete wordWrap_;
    delete imeColors_;
}

TImeColors& TCustomExtRichEdit::ImeColors() {
    if (!loading_) {
        CompColors c{};
        if (GetImeColorMsg(c))
            for (int i = 0; i < 4; ++i)
                imeColors_->set(i).FromCompColor(c[static_cast<std::size_t>(i)]);
    }
    return *imeColors_;
}

TWordWrapOption& TCustomExtRichEdit::WordWrapOption() {
    if (!loading_ && HandleAllocated()) {
        const int reply = GetWordWrapModeMsg();
        if (reply < 0) throw ERangeError();
        wordWrap_->setModeWordFromControl(static_cast<std::uint32_t>(reply));
    }
    return *wordWrap_;
}

void TCustomExtRichEdit::SetImeColorsToControl(const CompColors& colors) {
    SetImeColorMsg(colors);
}

void TCustomExtRichEdit::SetWordWrapModeToControl(std::uint32_t modeWord) {
    if (SetWordWrapModeMsg(modeWord) < 0) throw ERangeError();
}

bool TCustomExtRichEdit::SetPunctuationToControl(int type, const std::string& list) {
    return SetPunctuation(type, list);
}

void TCustomExtRichEdit::CreateWnd() {
    TRichEdit::CreateWnd();
    const bool modified = Modified();
    if (selectionBar_) SetOptions(ECOOP_OR, ECO_SELECTIONBAR);
    SetModified(modified);
    auto& table = wordWrap_->table();
    SetWordWrapModeToControl(0xF0);
    for (int type = 1; type <= 4; ++type) {
        std::string list;
        GetPunctuation(type, list);
        table[wbfLevel1][static_cast<std::size_t>(type - 1)] = list;
    }
    SetWordWrapModeToControl(0x170);
    for (int type = 1; type <= 4; ++type) {
        std::string list;
        GetPunctuation(type, list);
        table[wbfLevel2][static_cast<std::size_t>(type - 1)] = list;
    }
    SetWordWrapModeToControl(wordWrap_->modeWord());
    imeColors_->SendColors();
}

void TCustomExtRichEdit::KeyDown(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (e->key() == Qt::Key_Insert && !shift && !ctrl) insertMode_ = !insertMode_;
    TRichEdit::KeyDown(e);
}
