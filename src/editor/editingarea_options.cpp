// The editing area's option objects for input-method composition colours and
// line breaking: each applies what is set to the view at once and reads the
// view's own state back when asked (not while stored values are loading).
#include "editingarea.h"

void EditingArea::takeBuiltInPunctuation() {
    // The lists of both levels as the line view knows them.
    auto& table = wordWrap_->table();
    for (const PunctuationMode level : {PunctuationMode::level1, PunctuationMode::level2}) {
        LayoutRules rules;
        rules.modeWord = punctuationModeBits(level) | kWrapRuleMask;
        const PunctuationLists lists = rules.lists();
        for (std::size_t i = 0; i < lists.size(); ++i)
            table[level][i] = lists[i];
    }
}

ImeColors& EditingArea::imeColors() {
    if (!loading_)
        for (int i = 0; i < 4; ++i)
            imeColors_->set(i).fromCompColor(compositionColors()[static_cast<std::size_t>(i)]);
    return *imeColors_;
}

WordWrapOption& EditingArea::wordWrapOption() {
    if (!loading_) wordWrap_->setModeWordFromControl(wrapModeWord());
    return *wordWrap_;
}

void EditingArea::setCompositionColors(const CompColors& colors) {
    applyCompositionColors(colors);
}

void EditingArea::setWrapModeWordOfControl(std::uint32_t modeWord) {
    setWrapModeWord(modeWord);
}

bool EditingArea::setPunctuationList(int type, const std::string& list) {
    return setPunctuation(type, list);
}
