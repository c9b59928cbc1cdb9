// The editing view's option objects: IME composition colours, line-breaking
// rules, edit marks, margins and the edit area. Each setter compares, stores
// and tells its owner; values out of range are ignored.
#pragma once

#include "platform/colors.h"
#include "text/wrapmode.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Font styles: bits 1, 2, 4, 8.
enum FontStyle : std::uint8_t {
    styleBold = 1,
    styleItalic = 2,
    styleUnderline = 4,
    styleStrikeOut = 8
};
using FontStyles = std::uint8_t;

// One composition-colour record of the text view.
struct CompColor {
    std::uint32_t text = 0;
    std::uint32_t background = 0;
    std::uint32_t effects = 0;
    bool operator==(const CompColor&) const = default;
};
using CompColors = std::array<CompColor, 4>;

// What the option objects tell the editing view.
class ImeColorsOwner {
  public:
    virtual ~ImeColorsOwner() = default;
    virtual void setCompositionColors(const CompColors& colors) = 0;
};

class WordWrapOwner {
  public:
    virtual ~WordWrapOwner() = default;
    virtual void setWrapModeWordOfControl(std::uint32_t modeWord) = 0;
    // Returns false when the view refuses the list.
    virtual bool setPunctuationList(int type, const std::string& list) = 0;
};

class EditMarksOwner {
  public:
    virtual ~EditMarksOwner() = default;
    virtual void repaintMarks() = 0;
};

class EditAreaOwner {
  public:
    virtual ~EditAreaOwner() = default;
    // The margins, the line length or the switch changed.
    virtual void editAreaChanged() = 0;
};

class ImeColors;

class ImeColor {
  public:
    explicit ImeColor(ImeColors* owner) : owner_(owner) {}

    ColorValue textColor() const { return text_; }
    ColorValue backgroundColor() const { return background_; }
    FontStyles style() const { return style_; }
    void setTextColor(ColorValue v);
    void setBackgroundColor(ColorValue v);
    void setStyle(FontStyles v);

    bool operator==(const ImeColor& o) const {
        return text_ == o.text_ && background_ == o.background_ && style_ == o.style_;
    }
    CompColor toCompColor() const;
    void fromCompColor(const CompColor& c); // no notification

  public:
    void assign(const ImeColor& source);

  private:
    void changed();
    ImeColors* owner_;
    ColorValue text_ = color::black;
    ColorValue background_ = color::black;
    FontStyles style_ = 0;
};

class ImeColors {
  public:
    explicit ImeColors(ImeColorsOwner* owner);

    ImeColor& input() { return sets_[0]; }
    ImeColor& selectedConverted() { return sets_[1]; }
    ImeColor& converted() { return sets_[2]; }
    ImeColor& selectedUnconverted() { return sets_[3]; }
    const ImeColor& set(int i) const { return sets_[static_cast<std::size_t>(i)]; }
    ImeColor& set(int i) { return sets_[static_cast<std::size_t>(i)]; }
    void setInput(const ImeColor& v) { setOne(0, v); }
    void setSelectedConverted(const ImeColor& v) { setOne(1, v); }
    void setConverted(const ImeColor& v) { setOne(2, v); }
    void setSelectedUnconverted(const ImeColor& v) { setOne(3, v); }

    CompColors toCompColors() const;
    void sendColors();

  public:
    void assign(const ImeColors& source);

  private:
    void setOne(int i, const ImeColor& v);
    ImeColorsOwner* owner_;
    std::array<ImeColor, 4> sets_;
};

class WordWrapOption {
  public:
    // The punctuation lists of each mode, by type - 1.
    struct Table {
        std::array<std::array<std::string, 4>, 3> rows;
        std::array<std::string, 4>& operator[](PunctuationMode m) {
            return rows[static_cast<std::size_t>(m)];
        }
        const std::array<std::string, 4>& operator[](PunctuationMode m) const {
            return rows[static_cast<std::size_t>(m)];
        }
        bool operator==(const Table&) const = default;
    };

    explicit WordWrapOption(WordWrapOwner* owner) : owner_(owner) {}

    const std::string& following() const { return punctuation(punctuationFollowing); }
    const std::string& leading() const { return punctuation(punctuationLeading); }
    const std::string& overflowMarks() const { return punctuation(punctuationOverflow); }
    const std::string& delimiters() const { return punctuation(punctuationDelimiter); }
    void setFollowing(const std::string& v) { setPunctuation(punctuationFollowing, v); }
    void setLeading(const std::string& v) { setPunctuation(punctuationLeading, v); }
    void setOverflowMarks(const std::string& v) { setPunctuation(punctuationOverflow, v); }
    void setDelimiters(const std::string& v) { setPunctuation(punctuationDelimiter, v); }
    const std::string& punctuation(int type) const;
    void setPunctuation(int type, const std::string& v);

    PunctuationMode punctuationMode() const { return punctuationModeOf(mode_); }
    void setPunctuationMode(PunctuationMode m);
    WrapRules wrapRules() const;
    void setWrapRules(WrapRules m);

    std::uint32_t modeWord() const { return mode_; }
    // The view's own mode word, read back without notification.
    void setModeWordFromControl(std::uint32_t w) { mode_ = w; }
    Table& table() { return table_; }
    const Table& table() const { return table_; }

  public:
    void assign(const WordWrapOption& source);

  private:
    WordWrapOwner* owner_;
    Table table_;
    std::uint32_t mode_ = 0;
};

class EditMarks;

class EditSymbol {
  public:
    explicit EditSymbol(EditMarks* owner) : owner_(owner) {}
    bool isEnabled() const { return enabled_; }
    ColorValue color() const { return color_; }
    bool isReversed() const { return reversed_; }
    void setEnabled(bool v);
    void setColor(ColorValue v);
    void setReversed(bool v);

  public:
    void assign(const EditSymbol& source);

  private:
    EditMarks* owner_;
    bool enabled_ = false;
    ColorValue color_ = color::silver;
    bool reversed_ = false;
};

class LineMarker {
  public:
    explicit LineMarker(EditMarks* owner) : owner_(owner) {}
    bool isEnabled() const { return enabled_; }
    ColorValue color() const { return color_; }
    void setEnabled(bool v);
    void setColor(ColorValue v);

  public:
    void assign(const LineMarker& source);

  private:
    EditMarks* owner_;
    bool enabled_ = false;
    ColorValue color_ = color::silver;
};

class EditMarks {
  public:
    explicit EditMarks(EditMarksOwner* owner)
        : owner_(owner), lineEnd(this), controlChar(this), doubleByteSpace(this), space(this),
          tab(this), endOfText(this), mailCheck(this), mailWarning(this), caretLine(this),
          wrapLine(this) {}

    void beginUpdate() { updating_ = true; }
    void endUpdate();
    bool updating() const { return updating_; }
    void changed();

  private:
    EditMarksOwner* owner_;
    bool updating_ = false;

  public:
    EditSymbol lineEnd, controlChar, doubleByteSpace, space, tab, endOfText;
    // The findings of the send check: errors and warnings, each a wavy
    // underline in its colour, or with Reversed the colour behind them.
    EditSymbol mailCheck, mailWarning;
    LineMarker caretLine, wrapLine;

  public:
    void assign(const EditMarks& source);
};

class EditArea;

class EditMargin {
  public:
    explicit EditMargin(EditArea* owner) : owner_(owner) {}
    std::int32_t left() const { return left_; }
    std::int32_t top() const { return top_; }
    std::int32_t bottom() const { return bottom_; }
    void setLeft(std::int32_t v);
    void setTop(std::int32_t v);
    void setBottom(std::int32_t v);
    // The view's own margins, written straight into the fields (no limits,
    // no notification).
    void setFromControl(std::int32_t left, std::int32_t top, std::int32_t bottom) {
        left_ = left;
        top_ = top;
        bottom_ = bottom;
    }

  public:
    void assign(const EditMargin& source);

  private:
    void changed();
    EditArea* owner_;
    std::int32_t left_ = 0, top_ = 0, bottom_ = 0;
};

class EditArea {
  public:
    explicit EditArea(EditAreaOwner* owner) : owner_(owner), margin_(this) {}

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool v);
    EditMargin& margin() { return margin_; }
    const EditMargin& margin() const { return margin_; }
    void setMargin(const EditMargin& m) { margin_.assign(m); }
    std::int32_t lineLength() const { return lineLength_; }
    void setLineLength(std::int32_t v);
    std::int32_t charWidth() const { return charWidth_; }
    void setCharWidth(std::int32_t v) { charWidth_ = v; } // computed by the view
    void changed();

  public:
    void assign(const EditArea& source);

  private:
    EditAreaOwner* owner_;
    bool enabled_ = true;
    EditMargin margin_;
    std::int32_t charWidth_ = 0;
    std::int32_t lineLength_ = 80;
};
