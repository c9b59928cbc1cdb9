// The line-layout engine: lays the document's bytes out into lines of at most
// a given number of single-byte columns, with the line-breaking rules of the
// word-wrap mode word, and keeps the result (the line view) up to date after
// each edit by laying out again only the lines the edit touched: from the
// line before the edit until a new line starts where an old one started.
// Each laid line depends only on where it starts and the text after it, so
// from there on the old lines hold; they only shift, lazily.
#pragma once

#include "addresses.h"
#include "gapbuffer.h"
#include "linestarts.h"
#include "wrapmode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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

    // Lays the text out as it is sent rather than as it is shown: a line
    // never breaks inside a web or mail address (addresses.h). One that does
    // not fit where it starts begins the next line, the rules deciding what
    // goes with it (a leading bracket does); one longer than the width stands
    // on a line of its own, left long, with the marks that may not start a
    // line after it. Off by default. Meant for whole layouts (layoutAll,
    // measure): an edit then lays out whole logical lines again.
    void setKeepAddresses(bool keep) { keepAddresses_ = keep; }

    // Lays the whole text out.
    void layoutAll(std::string_view text);
    void layoutAll(const GapBuffer& text) { layoutAll(text.all()); }
    // Lays out only the first lines of the text (at most maxLines); the rest
    // waits for continueLayout (a huge file shows its first screen at once).
    void layoutStart(const GapBuffer& text, std::size_t maxLines);
    // After the buffer changed at pos (removed bytes replaced by inserted
    // bytes): lays out again the lines the change touched, at most the edit
    // budget of them; lines past those that did not fall in step with the
    // old ones wait for continueLayout.
    void edited(const GapBuffer& text, std::size_t pos, std::size_t removed, std::size_t inserted);
    // Lays out about maxLines more of the lines that wait, and at least one
    // for good.
    void continueLayout(const GapBuffer& text, std::size_t maxLines);
    // The lines the last layout laid out again: from line first, count lines
    // (leading lines that came out as they were before the change are left
    // out; every line that changed, or now holds changed bytes, is in).
    struct Relaid {
        std::size_t first = 0;
        std::size_t count = 0;
        // Of those, the lines moved whole inside a run of one repeated
        // character (no line end among them): [runFirst, runFirst + runCount).
        // Before the change they were the lines from runWas on (the lines
        // before them may have grown or shrunk by some).
        std::size_t runFirst = 0;
        std::size_t runCount = 0;
        std::size_t runWas = 0;
        // The lines where such a moved line stood before the change and
        // stands after it: [first, second), empty when none. Their rows look
        // as they did.
        std::pair<std::size_t, std::size_t> unchangedLines() const {
            const std::size_t from = std::max(runFirst, runWas);
            const std::size_t to = std::min(runFirst, runWas) + runCount;
            return from < to ? std::pair{from, to} : std::pair{to, to};
        }
    };
    Relaid lastRelaid() const { return relaid_; }
    // True when every line is laid out (the totals are final).
    bool complete() const { return staleFrom_ == kComplete; }
    // The most lines an edit lays out before the rest waits.
    void setEditBudget(std::size_t lines) { editBudget_ = std::max<std::size_t>(lines, 1); }

    std::size_t count() const { return lines_.size(); }
    LaidLine line(std::size_t i) const {
        std::uint32_t start = 0, next = 0;
        unsigned eol = 0;
        lines_.get(i, static_cast<std::uint32_t>(textSize_), &start, &next, &eol);
        return {start, next - start - eol, eol};
    }
    // Every line, in order (a copy).
    std::vector<LaidLine> lines() const;
    // True when line i ends at a wrap rather than at a line end or the text's end.
    bool wrapped(std::size_t i) const { return lines_.eol(i) == 0 && i + 1 < count(); }
    // The line holding byte pos (a line end belongs to its line; the end of
    // the text belongs to the last line, or to count() after a final line end).
    std::size_t lineOf(std::size_t pos) const;
    std::uint64_t laidBytes() const { return textSize_ - eolBytes_; }
    TextTotals totals() const;

    // The totals of a text laid out with the rules, without keeping lines.
    static TextTotals measure(std::string_view text, const LayoutRules& rules);
    // The same for a whole file, read in blocks of about blockBytes that end
    // after a line end (a longer paragraph is held whole): never the whole
    // file in memory. Throws what fileio::readAll throws for the file.
    static TextTotals measureFile(const std::string& path, const LayoutRules& rules,
                                  std::size_t blockBytes = std::size_t{4} << 20);

    std::size_t memoryBytes() const { return lines_.memoryBytes(); }

  private:
    struct Classes;
    // Where the line starting at pos breaks, in a logical line that ends at
    // end (lineEnds: end is where the logical line ends, else only where the
    // bytes at hand end). Returns end when the rest fits, or kNeedMoreText
    // when the bytes at hand end before the break is certain.
    std::size_t breakOf(const char* base, std::size_t pos, std::size_t end, bool lineEnds);
    // afterBlanks: blanks past the width already hang before fitEnd.
    std::size_t chooseBreak(const char* base, std::size_t pos, std::size_t fitEnd, std::size_t end,
                            bool afterBlanks);
    bool breakAllowed(const char* base, std::size_t prevStart, std::size_t b, std::size_t end,
                      bool wordBreak) const;
    // With addresses kept whole: the break instead of b when b falls inside
    // an address (b itself otherwise).
    std::size_t breakAroundAddress(const char* base, std::size_t pos, std::size_t b,
                                   std::size_t end);
    // Calls add(start, length, eol) for every laid line of text.
    template <class Add> void layOut(std::string_view text, Add&& add);
    // Lays out again from line i0 after a change at pos, at most budget lines.
    void relayout(const GapBuffer& text, std::size_t i0, std::size_t pos, std::size_t removed,
                  std::size_t inserted, std::size_t budget);
    // Where relayoutStep stopped inside a run: line goes on being laid out
    // (kComplete: nothing to go on with) with what is left of the budget.
    struct Resume {
        std::size_t line = kComplete;
        std::size_t budget = 0;
    };
    Resume relayoutStep(const GapBuffer& text, std::size_t i0, std::size_t pos, std::size_t removed,
                        std::size_t inserted, std::size_t budget);
    // When the new line [lineStart, next) lies in a run of one character:
    // the number of old lines from j on (j, the first old line after next;
    // laidEnd, the end of those laid out; delta, how far the change moved
    // them) that only move by a constant, plus the one after them; else 0.
    std::size_t linesInRun(const GapBuffer& text, std::size_t lineStart, std::size_t next,
                           std::size_t editEnd, std::size_t j, std::size_t laidEnd,
                           std::uint32_t delta);
    // The end of the repetitions of unit from `from` (the last run found is
    // remembered, and moved by edits before it).
    std::size_t runEnd(const GapBuffer& text, std::size_t from, std::string_view unit);
    void noteEditInRun(std::size_t pos, std::size_t removed, std::size_t inserted);

    static constexpr std::size_t kComplete = static_cast<std::size_t>(-1);
    static constexpr std::size_t kDefaultEditBudget = 400;

    static constexpr std::size_t kNeedMoreText = static_cast<std::size_t>(-1);
    // The fewest lines of a run worth moving rather than laying out again.
    static constexpr std::size_t kMinRunLines = 8;

    LayoutRules rules_;
    std::unique_ptr<Classes> classes_;
    LineStore lines_;
    std::size_t textSize_ = 0;
    std::uint64_t eolBytes_ = 0;
    std::size_t staleFrom_ = kComplete; // first line that waits to be laid out
    std::size_t editBudget_ = kDefaultEditBudget;
    Relaid relaid_;
    std::vector<std::uint32_t> charStarts_; // scratch: character starts of the line being laid out
    struct NewLine {
        std::size_t start;
        std::uint8_t eol;
    };
    std::vector<NewLine> scratch_;
    // The bytes [from, to) are unit (one character) repeated.
    struct Run {
        std::size_t from = 0, to = 0;
        std::string unit;
    };
    Run run_;
    // The addresses of the logical line being laid out, from addressesFrom_
    // up to addressesEnd_ of the text at addressesBase_.
    bool keepAddresses_ = false;
    std::vector<addresses::Span> addresses_;
    const char* addressesBase_ = nullptr;
    std::size_t addressesFrom_ = 0, addressesEnd_ = 0;
};

// The totals of the status bar for a line view: lines less 2 (not below 0),
// and the bytes of all lines plus 2 for each line end.
TextTotals totalsOf(std::size_t lineCount, std::uint64_t laidBytes);
