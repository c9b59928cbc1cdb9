#include "eastasianedit.h"

EastAsianEdit::EastAsianEdit(QWidget* parent)
    : TextEdit(parent), imeColors_(new ImeColors(this)), wordWrap_(new WordWrapOption(this)) {}

EastAsianEdit::~EastAsianEdit() {
    delete wordWrap_;
    delete imeColors_;
}

ImeColors& EastAsianEdit::imeColors() {
    if (!loading_) {
        CompColors c{};
        if (compositionColors(c))
            for (int i = 0; i < 4; ++i)
                imeColors_->set(i).fromCompColor(c[static_cast<std::size_t>(i)]);
    }
    return *imeColors_;
}

WordWrapOption& EastAsianEdit::wordWrapOption() {
    if (!loading_ && isWindowCreated()) {
        const int reply = wrapModeWord();
        if (reply < 0) throw WrapModeRangeError();
        wordWrap_->setModeWordFromControl(static_cast<std::uint32_t>(reply));
    }
    return *wordWrap_;
}

void EastAsianEdit::setCompositionColors(const CompColors& colors) {
    applyCompositionColors(colors);
}

void EastAsianEdit::setWrapModeWordOfControl(std::uint32_t modeWord) {
    if (setWrapModeWord(modeWord) < 0) throw WrapModeRangeError();
}

bool EastAsianEdit::setPunctuationList(int type, const std::string& list) {
    return setPunctuation(type, list);
}

void EastAsianEdit::createWindow() {
    TextEdit::createWindow();
    const bool modified = isModified();
    if (selectionBar_) setOptions(OptionOperation::orBits, kSelectionBarOption);
    setModified(modified);
    // The option object learns the built-in lists of both levels from the
    // control, then the control gets the object's own mode back.
    auto& table = wordWrap_->table();
    for (const PunctuationMode level : {PunctuationMode::level1, PunctuationMode::level2}) {
        setWrapModeWordOfControl(punctuationModeBits(level) | kWrapRuleMask);
        for (int type = punctuationFollowing; type <= punctuationDelimiter; ++type) {
            std::string list;
            punctuationList(type, list);
            table[level][static_cast<std::size_t>(type - 1)] = list;
        }
    }
    setWrapModeWordOfControl(wordWrap_->modeWord());
    imeColors_->sendColors();
}
