#include "options.h"

// --- ImeColor ---------------------------------------------------------------

void ImeColor::changed() {
    if (owner_) owner_->sendColors();
}

void ImeColor::setTextColor(ColorValue v) {
    if (v == text_) return;
    text_ = v;
    changed();
}

void ImeColor::setBackgroundColor(ColorValue v) {
    if (v == background_) return;
    background_ = v;
    changed();
}

void ImeColor::setStyle(FontStyles v) {
    if (v == style_) return;
    style_ = v;
    changed();
}

CompColor ImeColor::toCompColor() const {
    // The style bits and the effect bits coincide (bold 1, italic 2, underline 4, strike-out 8).
    return {colorToRgb(text_), colorToRgb(background_), static_cast<std::uint32_t>(style_ & 0x0F)};
}

void ImeColor::fromCompColor(const CompColor& c) {
    text_ = static_cast<ColorValue>(c.text);
    background_ = static_cast<ColorValue>(c.background);
    style_ = static_cast<FontStyles>(c.effects & 0x0F);
}

void ImeColor::assign(const ImeColor& source) {
    text_ = source.text_;
    background_ = source.background_;
    style_ = source.style_;
    changed();
}

// --- imeColors --------------------------------------------------------------

ImeColors::ImeColors(ImeColorsOwner* owner)
    : owner_(owner), sets_{ImeColor(this), ImeColor(this), ImeColor(this), ImeColor(this)} {}

CompColors ImeColors::toCompColors() const {
    return {sets_[0].toCompColor(), sets_[1].toCompColor(), sets_[2].toCompColor(),
            sets_[3].toCompColor()};
}

void ImeColors::sendColors() {
    if (owner_) owner_->setCompositionColors(toCompColors());
}

void ImeColors::setOne(int i, const ImeColor& v) {
    ImeColor& held = sets_[static_cast<std::size_t>(i)];
    if (held == v) return;
    held.assign(v);
    sendColors();
}

void ImeColors::assign(const ImeColors& source) {
    for (std::size_t i = 0; i < 4; ++i)
        sets_[i].assign(source.sets_[i]);
    sendColors();
}

// --- wordWrapOption ---------------------------------------------------------

const std::string& WordWrapOption::punctuation(int type) const {
    return table_[punctuationMode()][static_cast<std::size_t>(type - 1)];
}

void WordWrapOption::setPunctuationMode(PunctuationMode m) {
    const std::uint32_t bits = punctuationModeBits(m);
    if ((mode_ & kPunctuationModeMask) == bits) return;
    mode_ = (mode_ & ~kPunctuationModeMask) | bits;
    if (owner_) owner_->setWrapModeWordOfControl(mode_);
}

WrapRules WordWrapOption::wrapRules() const {
    return mode_ & kWrapRuleMask;
}

void WordWrapOption::setWrapRules(WrapRules m) {
    const std::uint32_t bits = m & kWrapRuleMask;
    if ((mode_ & kWrapRuleMask) == bits) return;
    // A fresh mode word starts with the custom lists.
    if (mode_ == 0) mode_ = kCustomBits;
    mode_ = (mode_ & ~kWrapRuleMask) | bits;
    if (owner_) owner_->setWrapModeWordOfControl(mode_);
}

void WordWrapOption::setPunctuation(int type, const std::string& v) {
    if (type < punctuationFollowing || type > punctuationDelimiter) return;
    setPunctuationMode(PunctuationMode::custom);
    std::string& held = table_[PunctuationMode::custom][static_cast<std::size_t>(type - 1)];
    if (held == v) return;
    held = v;
    if (owner_ && !owner_->setPunctuationList(type, v)) held.clear();
}

void WordWrapOption::assign(const WordWrapOption& source) {
    table_ = source.table_;
    mode_ = source.mode_;
    if (!owner_) return;
    owner_->setWrapModeWordOfControl(kCustomBits | wrapKinsoku | wrapWordBreak | wrapOverflow);
    for (int type = punctuationFollowing; type <= punctuationDelimiter; ++type) {
        std::string& s = table_[PunctuationMode::custom][static_cast<std::size_t>(type - 1)];
        if (!owner_->setPunctuationList(type, s)) s.clear();
    }
    owner_->setWrapModeWordOfControl(mode_);
}

// --- EditSymbol, LineMarker, editMarks ------------------------------------

void EditSymbol::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    owner_->changed();
}

void EditSymbol::setColor(ColorValue v) {
    if (v == color_) return;
    color_ = v;
    owner_->changed();
}

void EditSymbol::setReversed(bool v) {
    if (v == reversed_) return;
    reversed_ = v;
    owner_->changed();
}

void EditSymbol::assign(const EditSymbol& source) {
    color_ = source.color_;
    reversed_ = source.reversed_;
    enabled_ = source.enabled_;
    owner_->changed();
}

void LineMarker::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    owner_->changed();
}

void LineMarker::setColor(ColorValue v) {
    if (v == color_) return;
    color_ = v;
    owner_->changed();
}

void LineMarker::assign(const LineMarker& source) {
    enabled_ = source.enabled_;
    color_ = source.color_;
    owner_->changed();
}

void EditMarks::changed() {
    if (!updating_ && owner_) owner_->repaintMarks();
}

void EditMarks::endUpdate() {
    updating_ = false;
    if (owner_) owner_->repaintMarks();
}

void EditMarks::assign(const EditMarks& source) {
    beginUpdate();
    lineEnd.assign(source.lineEnd);
    controlChar.assign(source.controlChar);
    doubleByteSpace.assign(source.doubleByteSpace);
    space.assign(source.space);
    tab.assign(source.tab);
    endOfText.assign(source.endOfText);
    mailCheck.assign(source.mailCheck);
    mailWarning.assign(source.mailWarning);
    caretLine.assign(source.caretLine);
    wrapLine.assign(source.wrapLine);
    endUpdate();
}

// --- EditMargin, editArea --------------------------------------------------

void EditMargin::changed() {
    if (owner_) owner_->changed();
}

void EditMargin::setLeft(std::int32_t v) {
    if (v == left_ || v < 10) return;
    left_ = v;
    changed();
}

void EditMargin::setTop(std::int32_t v) {
    if (v == top_ || v < 0) return;
    top_ = v;
    changed();
}

void EditMargin::setBottom(std::int32_t v) {
    if (v == bottom_ || v < 0) return;
    bottom_ = v;
    changed();
}

void EditMargin::assign(const EditMargin& source) {
    left_ = source.left_;
    top_ = source.top_;
    bottom_ = source.bottom_;
    changed();
}

void EditArea::changed() {
    if (owner_) owner_->editAreaChanged();
}

void EditArea::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    if (owner_) owner_->editAreaChanged();
}

void EditArea::setLineLength(std::int32_t v) {
    if (v == lineLength_ || v < 0) return;
    lineLength_ = v;
    changed();
}

void EditArea::assign(const EditArea& source) {
    margin_.assign(source.margin_);
    lineLength_ = source.lineLength_;
    charWidth_ = source.charWidth_;
    changed();
}
