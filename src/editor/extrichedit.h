// TCustomExtRichEdit: the text control with the East Asian settings: the
// colours of input-method composition text, the line-breaking rules, and the
// insert/overwrite state of the keyboard.
#pragma once

#include "options.h"
#include "richedit.h"

class TCustomExtRichEdit : public TRichEdit, public ImeColorsOwner, public WordWrapOwner {
    Q_OBJECT

  public:
    explicit TCustomExtRichEdit(QWidget* parent = nullptr);
    ~TCustomExtRichEdit() override;

    bool InsertMode() const { return insertMode_; }

    // The getters refresh the objects from the control unless it is loading.
    TImeColors& ImeColors();
    void SetImeColors(const TImeColors& c) { imeColors_->Assign(c); }
    TWordWrapOption& WordWrapOption();
    void SetWordWrapOption(const TWordWrapOption& w) { wordWrap_->Assign(w); }

    // While stored properties are applied (the form's values), the getters
    // read nothing back from the control.
    void setLoading(bool loading) { loading_ = loading; }

    // ImeColorsOwner, WordWrapOwner
    void SetImeColorsToControl(const CompColors& colors) override;
    void SetWordWrapModeToControl(std::uint32_t modeWord) override;
    bool SetPunctuationToControl(int type, const std::string& list) override;

  protected:
    void CreateWnd() override;
    void KeyDown(QKeyEvent* e) override;

  private:
    bool insertMode_ = true;
    bool selectionBar_ = true;
    TImeColors* imeColors_;
    TWordWrapOption* wordWrap_;
};

// A negative reply to the word-wrap mode messages.
class ERangeError : public std::range_error {
  public:
    ERangeError() : std::range_error("word-wrap mode out of range") {}
};
