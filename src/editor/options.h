// The editor control's option objects: IME composition colours, line-breaking
// rules, edit marks, margins and the edit area. Each setter compares, stores
// and tells its owner; values out of range are ignored; copying into an object
// of another class fails with the assignment error.
#pragma once

#include "common/colors.h"

#include <QString>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

// "%s を %s に代入することはできません" (source class, destination class).
class AssignError : public std::runtime_error {
  public:
    AssignError(const char* source, const char* dest);
    const QString& message() const { return message_; }

  private:
    QString message_;
};

class TPersistent {
  public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
    void Assign(const TPersistent& source) { source.AssignTo(*this); }

  protected:
    virtual void AssignTo(TPersistent& dest) const;
};

// Font styles: bits 1, 2, 4, 8.
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = std::uint8_t;

// One composition-colour record of the text control.
struct CompColor {
    std::uint32_t crText = 0;
    std::uint32_t crBackground = 0;
    std::uint32_t dwEffects = 0;
    bool operator==(const CompColor&) const = default;
};
using CompColors = std::array<CompColor, 4>;

// What the option objects tell the editor control.
class ImeColorsOwner {
  public:
    virtual ~ImeColorsOwner() = default;
    virtual void SetImeColorsToControl(const CompColors& colors) = 0;
};

class WordWrapOwner {
  public:
    virtual ~WordWrapOwner() = default;
    virtual void SetWordWrapModeToControl(std::uint32_t modeWord) = 0;
    // Returns false when the control refuses the list.
    virtual bool SetPunctuationToControl(int type, const std::string& list) = 0;
    // True while the control is being written to a stream.
    virtual bool IsWriting() const { return false; }
};

class EditMarksOwner {
  public:
    virtual ~EditMarksOwner() = default;
    virtual void RepaintWhole() = 0;
};

class EditAreaOwner {
  public:
    virtual ~EditAreaOwner() = default;
    virtual void UpdateEditRect() = 0;
    // Edit area switched off: the right edge of the formatting rectangle goes
    // to the control's width minus 2; left, top and bottom stay.
    virtual void ReleaseEditRect() = 0;
};

class TImeColors;

class TImeColor : public TPersistent {
  public:
    explicit TImeColor(TImeColors* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TImeColor"; }

    TColor icText() const { return text_; }
    TColor icBackground() const { return background_; }
    TFontStyles Style() const { return style_; }
    void SeticText(TColor v);
    void SeticBackground(TColor v);
    void SetStyle(TFontStyles v);

    bool operator==(const TImeColor& o) const {
        return text_ == o.text_ && background_ == o.background_ && style_ == o.style_;
    }
    CompColor ToCompColor() const;
    void FromCompColor(const CompColor& c); // no notification

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    void changed();
    TImeColors* owner_;
    TColor text_ = clBlack;
    TColor background_ = clBlack;
    TFontStyles style_ = 0;
};

class TImeColors : public TPersistent {
  public:
    explicit TImeColors(ImeColorsOwner* owner);
    const char* ClassName() const override { return "TImeColors"; }

    TImeColor& Untransfered() { return sets_[0]; }
    TImeColor& WatchingTransfered() { return sets_[1]; }
    TImeColor& Transfered() { return sets_[2]; }
    TImeColor& WatchingUntransfered() { return sets_[3]; }
    const TImeColor& set(int i) const { return sets_[static_cast<std::size_t>(i)]; }
    TImeColor& set(int i) { return sets_[static_cast<std::size_t>(i)]; }
    void SetUntransfered(const TImeColor& v) { setOne(0, v); }
    void SetWatchingTransfered(const TImeColor& v) { setOne(1, v); }
    void SetTransfered(const TImeColor& v) { setOne(2, v); }
    void SetWatchingUntransfered(const TImeColor& v) { setOne(3, v); }

    CompColors ToCompColors() const;
    void SendColors();

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    void setOne(int i, const TImeColor& v);
    ImeColorsOwner* owner_;
    std::array<TImeColor, 4> sets_;
};

enum TPunctuationMode { wbfCustom = 0, wbfLevel1 = 1, wbfLevel2 = 2 };
enum TWordWrapMode : std::uint8_t { wbfWordWrap = 1, wbfWordBreak = 2, wbfOverflow = 4 };
using TWordWrapModes = std::uint8_t;

// Rich-edit word-wrap mode bits.
constexpr std::uint32_t WBF_WORDWRAP = 0x10;
constexpr std::uint32_t WBF_WORDBREAK = 0x20;
constexpr std::uint32_t WBF_OVERFLOW = 0x40;
constexpr std::uint32_t WBF_LEVEL1 = 0x80;
constexpr std::uint32_t WBF_LEVEL2 = 0x100;
constexpr std::uint32_t WBF_CUSTOM = 0x200;

// Punctuation types.
constexpr int PC_FOLLOWING = 1;
constexpr int PC_LEADING = 2;
constexpr int PC_OVERFLOW = 3;
constexpr int PC_DELIMITER = 4;

TPunctuationMode punctuationModeOf(std::uint32_t modeWord);

class TWordWrapOption : public TPersistent {
  public:
    using Table = std::array<std::array<std::string, 4>, 3>; // [mode][type - 1]

    explicit TWordWrapOption(WordWrapOwner* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TWordWrapOption"; }

    const std::string& pcFollowing() const { return punctuation(PC_FOLLOWING); }
    const std::string& pcLeading() const { return punctuation(PC_LEADING); }
    const std::string& pcOverflow() const { return punctuation(PC_OVERFLOW); }
    const std::string& pcDelimiter() const { return punctuation(PC_DELIMITER); }
    void SetpcFollowing(const std::string& v) { setPunctuation(PC_FOLLOWING, v); }
    void SetpcLeading(const std::string& v) { setPunctuation(PC_LEADING, v); }
    void SetpcOverflow(const std::string& v) { setPunctuation(PC_OVERFLOW, v); }
    void SetpcDelimiter(const std::string& v) { setPunctuation(PC_DELIMITER, v); }
    const std::string& punctuation(int type) const;
    void setPunctuation(int type, const std::string& v);

    TPunctuationMode PunctuationMode() const { return punctuationModeOf(mode_); }
    void SetPunctuationMode(TPunctuationMode m);
    TWordWrapModes WordWrapMode() const;
    void SetWordWrapMode(TWordWrapModes m);

    std::uint32_t modeWord() const { return mode_; }
    // The control's own mode word, read back without notification.
    void setModeWordFromControl(std::uint32_t w) { mode_ = w; }
    Table& table() { return table_; }
    const Table& table() const { return table_; }

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    WordWrapOwner* owner_;
    Table table_;
    std::uint32_t mode_ = 0;
};

class TEditMarks;

class TEditSymbol : public TPersistent {
  public:
    explicit TEditSymbol(TEditMarks* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TEditSymbol"; }
    bool Enabled() const { return enabled_; }
    TColor Color() const { return color_; }
    bool Reversed() const { return reversed_; }
    void SetEnabled(bool v);
    void SetColor(TColor v);
    void SetReversed(bool v);

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    TEditMarks* owner_;
    bool enabled_ = false;
    TColor color_ = clSilver;
    bool reversed_ = false;
};

class TLineMarker : public TPersistent {
  public:
    explicit TLineMarker(TEditMarks* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TLineMarker"; }
    bool Enabled() const { return enabled_; }
    TColor Color() const { return color_; }
    void SetEnabled(bool v);
    void SetColor(TColor v);

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    TEditMarks* owner_;
    bool enabled_ = false;
    TColor color_ = clSilver;
};

class TEditMarks : public TPersistent {
  public:
    explicit TEditMarks(EditMarksOwner* owner)
        : owner_(owner), esCrLf(this), esCtrl(this), esDSp(this), esSSp(this), esTab(this),
          esEot(this), lmCaret(this), lmWordWrap(this) {}
    const char* ClassName() const override { return "TEditMarks"; }

    void BeginUpdate() { updating_ = true; }
    void EndUpdate();
    bool updating() const { return updating_; }
    void Changed();

  private:
    EditMarksOwner* owner_;
    bool updating_ = false;

  public:
    TEditSymbol esCrLf, esCtrl, esDSp, esSSp, esTab, esEot;
    TLineMarker lmCaret, lmWordWrap;

  protected:
    void AssignTo(TPersistent& dest) const override;
};

class TEditArea;

class TEditMargin : public TPersistent {
  public:
    explicit TEditMargin(TEditArea* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TEditMargin"; }
    std::int32_t Left() const { return left_; }
    std::int32_t Top() const { return top_; }
    std::int32_t Bottom() const { return bottom_; }
    void SetLeft(std::int32_t v);
    void SetTop(std::int32_t v);
    void SetBottom(std::int32_t v);
    // The control's own margins, written straight into the fields (no limits,
    // no notification).
    void setFromControl(std::int32_t left, std::int32_t top, std::int32_t bottom) {
        left_ = left;
        top_ = top;
        bottom_ = bottom;
    }

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    void changed();
    TEditArea* owner_;
    std::int32_t left_ = 0, top_ = 0, bottom_ = 0;
};

class TEditArea : public TPersistent {
  public:
    explicit TEditArea(EditAreaOwner* owner) : owner_(owner), margin_(this) {}
    const char* ClassName() const override { return "TEditArea"; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    TEditMargin& Margin() { return margin_; }
    const TEditMargin& Margin() const { return margin_; }
    void SetMargin(const TEditMargin& m) { margin_.Assign(m); }
    std::int32_t LineLength() const { return lineLength_; }
    void SetLineLength(std::int32_t v);
    std::int32_t CharWidth() const { return charWidth_; }
    void SetCharWidth(std::int32_t v) { charWidth_ = v; } // computed by the control
    void Changed();

  protected:
    void AssignTo(TPersistent& dest) const override;

  private:
    EditAreaOwner* owner_;
    bool enabled_ = true;
    TEditMargin margin_;
    std::int32_t charWidth_ = 0;
    std::int32_t lineLength_ = 80;
};
