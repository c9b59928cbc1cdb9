// EastAsianEdit: the text control with the East Asian settings: the
// colours of input-method composition text and the line-breaking rules.
#pragma once

#include "options.h"
#include "textedit.h"

class EastAsianEdit : public TextEdit, public ImeColorsOwner, public WordWrapOwner {
    Q_OBJECT

  public:
    explicit EastAsianEdit(QWidget* parent = nullptr);
    ~EastAsianEdit() override;

    // The getters refresh the objects from the control unless it is loading.
    ImeColors& imeColors();
    void setImeColors(const ImeColors& c) { imeColors_->assign(c); }
    WordWrapOption& wordWrapOption();
    void setWordWrapOption(const WordWrapOption& w) { wordWrap_->assign(w); }

    // While stored properties are applied (the form's values), the getters
    // read nothing back from the control.
    void setLoading(bool loading) { loading_ = loading; }

    // ImeColorsOwner, WordWrapOwner
    void setCompositionColors(const CompColors& colors) override;
    void setWrapModeWordOfControl(std::uint32_t modeWord) override;
    bool setPunctuationList(int type, const std::string& list) override;

  protected:
    void createWindow() override;

  private:
    bool selectionBar_ = true;
    ImeColors* imeColors_;
    WordWrapOption* wordWrap_;
};

// A negative reply to the word-wrap mode messages.
class WrapModeRangeError : public std::range_error {
  public:
    WrapModeRangeError() : std::range_error("word-wrap mode out of range") {}
};
