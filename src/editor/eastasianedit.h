// EastAsianEdit: the text view with the East Asian settings: the colours of
// input-method composition text and the line-breaking rules, each held in its
// option object and applied to the view as it is set.
#pragma once

#include "options.h"
#include "textedit.h"

class EastAsianEdit : public TextEdit, public ImeColorsOwner, public WordWrapOwner {
    Q_OBJECT

  public:
    explicit EastAsianEdit(QWidget* parent = nullptr);
    ~EastAsianEdit() override;

    // The getters refresh the objects from the view unless it is loading.
    ImeColors& imeColors();
    void setImeColors(const ImeColors& c) { imeColors_->assign(c); }
    WordWrapOption& wordWrapOption();
    void setWordWrapOption(const WordWrapOption& w) { wordWrap_->assign(w); }

    // While stored properties are applied (the form's values), the getters
    // read nothing back from the view.
    void setLoading(bool loading) { loading_ = loading; }

    // ImeColorsOwner, WordWrapOwner
    void setCompositionColors(const CompColors& colors) override;
    void setWrapModeWordOfControl(std::uint32_t modeWord) override;
    bool setPunctuationList(int type, const std::string& list) override;

  private:
    ImeColors* imeColors_;
    WordWrapOption* wordWrap_;
};
