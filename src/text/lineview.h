// The line-layout engine: lays the document's bytes out into lines of at most
// a given number of single-byte columns, with the line-breaking rules of the
// word-wrap mode word, and keeps the result (the line view) up to date after
// each edit by laying out again only the logical lines the edit touched.
#pragma once

#include "gapbuffer.h"
#include "wrapmode.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The built-in punctuation lists (code page 932), indexed by type - 1
// (following, leading, overflow, delimiter).
using PunctuationLists = std::array<std::string, 4>;
const PunctuationLists& builtinLevel1();
const PunctuationLists& builtinLevel2();

struct LayoutRules {
    int width = 80; // single-byte columns; 0 or less: lines end only at line ends
    std::uint32_t modeWord = kNewsletterWrapMode;
    PunctuationLists custom; // the lists of custom punctuation mode

    // The lists in effect for the mode word.
    const PunctuationLists& lists() const;
};

struct LaidLine {
    std::uint32_t start;
    std::uint32_t length : 30; // bytes, without the line end
    std::uint32_t eol : 2;     // bytes of the line end that follows (0 after a wrap)
};

// The two status-bar totals of a line view.
struct TextTotals {
    std::int64_t lines = 0;      // laid-out lines less 2, at least 0
    std::int64_t characters = 0; // bytes of every line plus 2 for each line
};

class LineView {
  public:
    LineView();
    ~LineView();
    LineView(const LineView&) = delete;
    LineView& operator=(const LineView&) = delete;

    void setRules(const LayoutRules& rules);
    const LayoutRules& rules() const { return rules_; }

    // Lays the whole text out.
    void layoutAll(std::string_view text);
    void layoutAll(const GapBuffer& text) { layoutAll(text.all()); }
    // After the buffer changed at pos (removed bytes replaced by inserted
    // bytes): lays out again the logical lines the change touched.
    void edited(const GapBuffer& text, std::size_t pos, std::size_t removed, std::size_t inserted);

    std::size_t count() const { return lines_.size(); }
    const LaidLine& line(std::size_t i) const { return lines_[i]; }
    const std::vector<LaidLine>& lines() const { return lines_; }
    // True when line i ends at a wrap rather than at a line end or the text's end.
    bool wrapped(std::size_t i) const { return lines_[i].eol == 0 && i + 1 < lines_.size(); }
    // The line holding byte pos (a line end belongs to its line; the end of
    // the text belongs to the last line, or to count() after a final line end).
    std::size_t lineOf(std::size_t pos) const;
    std::uint64_t laidBytes() const { return laidBytes_; }
    TextTotals totals() const;

    std::size_t memoryBytes() const { return lines_.capacity() * sizeof(LaidLine); }

  private:
    struct Classes;
    void layoutLogical(const char* base, std::size_t start, std::size_t end, unsigned eol,
                       std::vector<LaidLine>& out);
    // afterBlanks: blanks past the width already hang before fitEnd.
    std::size_t chooseBreak(const char* base, std::size_t pos, std::size_t fitEnd, std::size_t end,
                            bool afterBlanks);
    bool breakAllowed(const char* base, std::size_t prevStart, std::size_t b, std::size_t end,
                      bool wordBreak) const;

    LayoutRules rules_;
    std::unique_ptr<Classes> classes_;
    std::vector<LaidLine> lines_;
    std::vector<std::uint32_t> starts_; // scratch: character starts of the line being laid out
    std::vector<LaidLine> scratch_;
    std::uint64_t laidBytes_ = 0;
};

// The totals of the status bar for a line view: lines less 2 (not below 0),
// and the bytes of all lines plus 2 for each line end.
TextTotals totalsOf(std::size_t lineCount, std::uint64_t laidBytes);
