#include "eastasianedit.h"

EastAsianEdit::EastAsianEdit(QWidget* parent)
    : TextEdit(parent), imeColors_(new ImeColors(this)), wordWrap_(new WordWrapOption(this)) {
    setSelectionBar(true);
    // The option object knows the built-in lists of both levels; the view
    // takes the object's own mode.
    auto& table = wordWrap_->table();
    for (const PunctuationMode level : {PunctuationMode::level1, PunctuationMode::level2}) {
        LayoutRules rules;
        rules.modeWord = punctuationModeBits(level) | kWrapRuleMask;
        const PunctuationLists lists = rules.lists();
        for (std::size_t i = 0; i < lists.size(); ++i)
            table[level][i] = lists[i];
    }
    setWrapModeWordOfControl(wordWrap_->modeWord());
    imeColors_->sendColors();
}

EastAsianEdit::~EastAsianEdit() {
    delete wordWrap_;
    delete imeColors_;
}

ImeColors& EastAsianEdit::imeColors() {
    if (!loading_)
        for (int i = 0; i < 4; ++i)
            imeColors_->set(i).fromCompColor(compositionColors()[static_cast<std::size_t>(i)]);
    return *imeColors_;
}

WordWrapOption& EastAsianEdit::wordWrapOption() {
    if (!loading_) wordWrap_->setModeWordFromControl(wrapModeWord());
    return *wordWrap_;
}

void EastAsianEdit::setCompositionColors(const CompColors& colors) {
    applyCompositionColors(colors);
}

void EastAsianEdit::setWrapModeWordOfControl(std::uint32_t modeWord) {
    setWrapModeWord(modeWord);
}

bool EastAsianEdit::setPunctuationList(int type, const std::string& list) {
    return setPunctuation(type, list);
}
