#include "options.h"

AssignError::AssignError(const char* source, const char* dest)
    : std::runtime_error(std::string(source) + " -> " + dest),
      message_(QStringLiteral("%1 を %2 に代入することはできません")
                   .arg(QLatin1String(source), QLatin1String(dest))) {}

void TPersistent::AssignTo(TPersistent& dest) const {
    throw AssignError(ClassName(), dest.ClassName());
}

// --- TImeColor ---------------------------------------------------------------

void TImeColor::changed() {
    if (owner_) owner_->SendColors();
}

void TImeColor::SeticText(TColor v) {
    if (v == text_) return;
    text_ = v;
    changed();
}

void TImeColor::SeticBackground(TColor v) {
    if (v == background_) return;
    background_ = v;
    changed();
}

void TImeColor::SetStyle(TFontStyles v) {
    if (v == style_) return;
    style_ = v;
    changed();
}

CompColor TImeColor::ToCompColor() const {
    // The style bits and the effect bits coincide (bold 1, italic 2, underline 4, strike-out 8).
    return {colorToRgb(text_), colorToRgb(background_), static_cast<std::uint32_t>(style_ & 0x0F)};
}

void TImeColor::FromCompColor(const CompColor& c) {
    text_ = static_cast<TColor>(c.crText);
    background_ = static_cast<TColor>(c.crBackground);
    style_ = static_cast<TFontStyles>(c.dwEffects & 0x0F);
}

void TImeColor::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TImeColor*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->text_ = text_;
    d->background_ = background_;
    d->style_ = style_;
    d->changed();
}

// --- TImeColors --------------------------------------------------------------

TImeColors::TImeColors(ImeColorsOwner* owner)
    : owner_(owner), sets_{TImeColor(this), TImeColor(this), TImeColor(this), TImeColor(this)} {}

CompColors TImeColors::ToCompColors() const {
    return {sets_[0].ToCompColor(), sets_[1].ToCompColor(), sets_[2].ToCompColor(),
            sets_[3].ToCompColor()};
}

void TImeColors::SendColors() {
    if (owner_) owner_->SetImeColorsToControl(ToCompColors());
}

void TImeColors::setOne(int i, const TImeColor& v) {
    TImeColor& held = sets_[static_cast<std::size_t>(i)];
    if (held == v) return;
    held.Assign(v);
    SendColors();
}

void TImeColors::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TImeColors*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    for (std::size_t i = 0; i < 4; ++i)
        d->sets_[i].Assign(sets_[i]);
    d->SendColors();
}

// --- TWordWrapOption ---------------------------------------------------------

TPunctuationMode punctuationModeOf(std::uint32_t w) {
    if ((w & 0x380) == 0x200) return wbfCustom;
    if ((w & 0x180) == 0x80) return wbfLevel1;
    return wbfLevel2;
}

namespace {
std::uint32_t modeBits(TPunctuationMode m) {
    switch (m) {
    case wbfCustom:
        return WBF_CUSTOM;
    case wbfLevel1:
        return WBF_LEVEL1;
    case wbfLevel2:
        return WBF_LEVEL2;
    }
    return WBF_LEVEL2;
}
} // namespace

const std::string& TWordWrapOption::punctuation(int type) const {
    const int row = (owner_ && owner_->IsWriting()) ? wbfCustom : PunctuationMode();
    return table_[static_cast<std::size_t>(row)][static_cast<std::size_t>(type - 1)];
}

void TWordWrapOption::SetPunctuationMode(TPunctuationMode m) {
    const std::uint32_t bits = modeBits(m);
    if ((mode_ & 0x380) == bits) return;
    mode_ = (mode_ & ~0x380u) | bits;
    if (owner_) owner_->SetWordWrapModeToControl(mode_);
}

TWordWrapModes TWordWrapOption::WordWrapMode() const {
    TWordWrapModes m = 0;
    if (mode_ & WBF_WORDWRAP) m |= wbfWordWrap;
    if (mode_ & WBF_WORDBREAK) m |= wbfWordBreak;
    if (mode_ & WBF_OVERFLOW) m |= wbfOverflow;
    return m;
}

void TWordWrapOption::SetWordWrapMode(TWordWrapModes m) {
    std::uint32_t bits = 0;
    if (m & wbfWordWrap) bits |= WBF_WORDWRAP;
    if (m & wbfWordBreak) bits |= WBF_WORDBREAK;
    if (m & wbfOverflow) bits |= WBF_OVERFLOW;
    if ((mode_ & 0x70) == bits) return;
    if (mode_ == 0) mode_ = WBF_CUSTOM;
    mode_ = (mode_ & ~0x70u) | bits;
    if (owner_) owner_->SetWordWrapModeToControl(mode_);
}

void TWordWrapOption::setPunctuation(int type, const std::string& v) {
    if (type < PC_FOLLOWING || type > PC_DELIMITER) return;
    SetPunctuationMode(wbfCustom);
    std::string& held = table_[wbfCustom][static_cast<std::size_t>(type - 1)];
    if (held == v) return;
    held = v;
    if (owner_ && !owner_->SetPunctuationToControl(type, v)) held.clear();
}

void TWordWrapOption::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TWordWrapOption*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->table_ = table_;
    d->mode_ = mode_;
    if (!d->owner_) return;
    d->owner_->SetWordWrapModeToControl(WBF_CUSTOM | WBF_WORDWRAP | WBF_WORDBREAK | WBF_OVERFLOW);
    for (int type = PC_FOLLOWING; type <= PC_DELIMITER; ++type) {
        std::string& s = d->table_[wbfCustom][static_cast<std::size_t>(type - 1)];
        if (!d->owner_->SetPunctuationToControl(type, s)) s.clear();
    }
    d->owner_->SetWordWrapModeToControl(d->mode_);
}

// --- TEditSymbol, TLineMarker, TEditMarks ------------------------------------

void TEditSymbol::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    owner_->Changed();
}

void TEditSymbol::SetColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    owner_->Changed();
}

void TEditSymbol::SetReversed(bool v) {
    if (v == reversed_) return;
    reversed_ = v;
    owner_->Changed();
}

void TEditSymbol::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TEditSymbol*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->color_ = color_;
    d->reversed_ = reversed_;
    d->enabled_ = enabled_;
    d->owner_->Changed();
}

void TLineMarker::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    owner_->Changed();
}

void TLineMarker::SetColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    owner_->Changed();
}

void TLineMarker::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TLineMarker*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->enabled_ = enabled_;
    d->color_ = color_;
    d->owner_->Changed();
}

void TEditMarks::Changed() {
    if (!updating_ && owner_) owner_->RepaintWhole();
}

void TEditMarks::EndUpdate() {
    updating_ = false;
    if (owner_) owner_->RepaintWhole();
}

void TEditMarks::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TEditMarks*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->BeginUpdate();
    d->esCrLf.Assign(esCrLf);
    d->esCtrl.Assign(esCtrl);
    d->esDSp.Assign(esDSp);
    d->esSSp.Assign(esSSp);
    d->esTab.Assign(esTab);
    d->esEot.Assign(esEot);
    d->lmCaret.Assign(lmCaret);
    d->lmWordWrap.Assign(lmWordWrap);
    d->EndUpdate();
}

// --- TEditMargin, TEditArea --------------------------------------------------

void TEditMargin::changed() {
    if (owner_) owner_->Changed();
}

void TEditMargin::SetLeft(std::int32_t v) {
    if (v == left_ || v < 10) return;
    left_ = v;
    changed();
}

void TEditMargin::SetTop(std::int32_t v) {
    if (v == top_ || v < 0) return;
    top_ = v;
    changed();
}

void TEditMargin::SetBottom(std::int32_t v) {
    if (v == bottom_ || v < 0) return;
    bottom_ = v;
    changed();
}

void TEditMargin::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TEditMargin*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->left_ = left_;
    d->top_ = top_;
    d->bottom_ = bottom_;
    d->changed();
}

void TEditArea::Changed() {
    if (owner_) owner_->UpdateEditRect();
}

void TEditArea::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    if (!owner_) return;
    if (v)
        owner_->UpdateEditRect();
    else
        owner_->ReleaseEditRect();
}

void TEditArea::SetLineLength(std::int32_t v) {
    if (v == lineLength_ || v < 0) return;
    lineLength_ = v;
    Changed();
}

void TEditArea::AssignTo(TPersistent& dest) const {
    auto* d = dynamic_cast<TEditArea*>(&dest);
    if (!d) return TPersistent::AssignTo(dest);
    d->margin_.Assign(margin_);
    d->lineLength_ = lineLength_;
    d->charWidth_ = charWidth_;
    d->Changed();
}
