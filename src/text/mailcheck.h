// The send check: everything in a newsletter that a mail reader would see as
// garbage or broken lines, found in the code page 932 bytes with its place
// and, where there is one, a replacement that a mail carries safely.
//
// - Machine-dependent characters: NEC special characters (0x8740-0x879C),
//   NEC-selected IBM extensions (0xED40-0xEEFC), IBM extensions
//   (0xFA40-0xFC4B) and user-defined characters (0xF040-0xF9FC).
// - Half-width katakana (0xA1-0xDF); a letter with its voiced mark is one
//   finding.
// - Bytes that are not valid code page 932 (also double-byte codes that code
//   page 932 leaves undefined), control characters (tabs apart, as a
//   warning) and a CR or an LF standing alone.
// - Lines longer than the line width: a line ends only at a line end in a
//   mail, so every line the editor wraps is one a reader sees unwrapped. The
//   finding stands where the text wraps first as it is sent (never inside a
//   web or mail address); a line that is long only because of an address
//   has none.
// - Addresses longer than the line width (a warning): they are sent whole,
//   on a line of their own that runs past the width.
// - A text over the character limit (counted as the document counts).
//
// check() finds them all in one pass over a text; LiveCheck keeps them up to
// date edit by edit for the editing area, at the cost of the edit.
#pragma once

#include "lineview.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class GapBuffer;

namespace mailcheck {

enum class Kind : std::uint8_t {
    necSpecial,     // NEC special characters
    necSelectedIbm, // NEC-selected IBM extensions
    ibmExtension,   // IBM extensions
    userDefined,    // user-defined characters
    halfWidthKana,  // half-width katakana
    invalidByte,    // not valid code page 932
    controlChar,    // NUL and the other control characters but tab, CR and LF
    tab,            // a warning only
    loneLineEnd,    // a CR without LF, or an LF without CR
    longLine,       // a line the editor wraps
    longAddress,    // a web or mail address longer than the line width (a warning)
    overLimit,      // the text is longer than the character limit
};
inline constexpr std::size_t kKindCount = static_cast<std::size_t>(Kind::overLimit) + 1;

// The kind as the user reads it ("機種依存文字(NEC特殊文字)", "半角カナ", ...).
QString kindName(Kind kind);
// A warning tells of something a reader may see differently; every other
// finding is an error.
bool isWarning(Kind kind);
// Kinds found character by character (the rest need the layout or the count).
constexpr bool isCharacterKind(Kind kind) {
    return kind != Kind::longLine && kind != Kind::longAddress && kind != Kind::overLimit;
}

struct Finding {
    std::size_t pos = 0; // byte position
    std::size_t column =
        0; // 1-based, in single-byte columns (a tab reaches the next multiple of 8)
    // A long line or address: its width in columns; over the limit: the
    // character count.
    std::uint64_t extent = 0;
    std::uint32_t line = 0;   // 1-based; a CR LF pair, a lone CR or a lone LF ends a line
    std::uint32_t code = 0;   // the character's bytes, first byte highest
    std::uint32_t length = 0; // bytes of the character (two for a letter and its voiced
                              // mark; the whole address for a long one)
    Kind kind = Kind::invalidByte;

    bool operator==(const Finding&) const = default;
};

struct Options {
    LayoutRules layout;       // the editor's layout (its width is the line width)
    std::size_t maxChars = 0; // the character limit; 0: none
    // Long lines as the text is sent (addresses whole, long ones reported);
    // false: where the editor wraps them on the screen, as LiveCheck marks
    // them (no long addresses then).
    bool asSent = true;
};

// Every finding of the text, in the order of their positions.
std::vector<Finding> check(std::string_view text, const Options& options);

// The number of findings of each kind.
using KindCounts = std::array<std::size_t, kKindCount>;
KindCounts countByKind(const std::vector<Finding>& findings);

// --- showing a finding ---------------------------------------------------------

// The character as shown: itself, or a name for what cannot be seen ("TAB",
// "CR", "LF", "^@" for a control character, U+FFFD for an invalid byte).
QString characterText(std::string_view text, const Finding& f);
// Its code: "0x8740", "0x09", "0xB6 0xDE" for a letter and its voiced mark;
// empty for a long address.
QString codeText(const Finding& f);

// --- replacements --------------------------------------------------------------

// The bytes that replace [f.pos, f.pos + f.length) as suggested, or nothing
// when there is no suggestion (user-defined characters, kanji without a
// standard form, the character limit). Machine-dependent characters and
// half-width katakana take their forms in the replacement table; a control
// character or an invalid byte is removed; a tab becomes the blanks to the
// next tab stop; a lone CR or LF becomes CR LF; a long line gets a line end
// where the text wraps as it is sent. A long address has none (it is sent
// whole).
std::optional<std::string> replacement(std::string_view text, const Finding& f);
// The suggestion as the user reads it: the replacement, or "(削除)",
// "空白4個", "CR LF", "(改行)"; empty when there is none.
QString suggestionText(std::string_view text, const Finding& f);
// The replacement of one character by its code (see replacement); Unicode
// text, empty when the table has none. Machine-dependent characters that
// are the same character as one of JIS X 0208 take that one.
QString tableReplacement(std::uint32_t code);

// The code of a double-byte character in the rows of JIS X 0208 (the
// character set a mail carries): the code itself, for a machine-dependent
// code the code of the same character there (the NEC ≒ is the ≒ of row 2),
// or 0 when there is none (or the code is not defined).
std::uint16_t standardCode(std::uint32_t code);

// One replacement in a text.
struct Edit {
    std::size_t pos = 0, length = 0;
    std::string bytes;
};
// The replacements of the findings that have one, from the last position to
// the first (so that each leaves the positions of the ones after it as they
// were); overlapping findings keep the first.
std::vector<Edit> replacementEdits(std::string_view text, const std::vector<Finding>& findings);
// The text with the edits applied (edits as replacementEdits gives them).
std::string applyEdits(std::string_view text, const std::vector<Edit>& edits);

// --- kept up to date edit by edit ----------------------------------------------

// The findings of a text being edited. Character findings follow the text
// changes; long lines and long addresses follow the line view that lays the
// text out, as check() finds them (as the text is sent: a line whose wraps
// on the screen fall inside an address is laid out again the way it is
// sent). The character findings are kept as blocks of the text that hold
// them, with their counts, and found again in a block's bytes when they are
// asked for. Positions are kept with a lazily applied shift, so an edit
// costs about the bytes it changed, a block or two around them and the
// distance from the previous edit, never the size of the text.
class LiveCheck {
  public:
    LiveCheck();
    ~LiveCheck();
    LiveCheck(const LiveCheck&) = delete;
    LiveCheck& operator=(const LiveCheck&) = delete;

    // Finds the character findings of the whole text.
    void reset(const GapBuffer& text);
    // Forgets every finding.
    void clear();
    // After the text changed at pos (removed bytes replaced by inserted
    // bytes). Returns the bytes whose findings were found again (they may
    // reach past the change: marks there are to be drawn again), less a
    // CR LF before the change, which no change after it alters.
    std::pair<std::size_t, std::size_t> edited(const GapBuffer& text, std::size_t pos,
                                               std::size_t removed, std::size_t inserted);

    // Finds the long lines (and addresses) of the whole line view of the text (after a full
    // layout, or once the lines that waited are laid out).
    void resetLines(const GapBuffer& text, const LineView& view);
    // After the line view laid out lines [r.first, r.first + r.count) again
    // for a change of the text by delta bytes (inserted less removed). A
    // view that is not complete leaves the long lines unknown until
    // resetLines. Returns the bytes whose long lines were found again (whole
    // logical lines: marks there are to be drawn again).
    std::pair<std::size_t, std::size_t> linesEdited(const GapBuffer& text, const LineView& view,
                                                    LineView::Relaid r, std::int64_t delta);
    // False while the long lines are unknown.
    bool linesKnown() const { return linesKnown_; }
    // The bytes whose long-line and long-address marks the last linesEdited
    // changed (after edited for the same change): marks that only moved
    // with the text are left out. Empty when none changed.
    std::pair<std::size_t, std::size_t> linesChanged() const {
        return {linesChanged_.first, linesChanged_.second};
    }

    // The number of findings of a kind (overLimit is the caller's).
    std::size_t count(Kind kind) const { return counts_[static_cast<std::size_t>(kind)]; }
    std::size_t total() const;

    // A finding as the marks need it.
    struct Mark {
        std::size_t pos;
        std::size_t length;
        Kind kind;
    };
    // The findings that start in [from, to), in order (text: the text as
    // the last change left it).
    std::vector<Mark> marksIn(const GapBuffer& text, std::size_t from, std::size_t to) const;
    void marksIn(const GapBuffer& text, std::size_t from, std::size_t to,
                 std::vector<Mark>& out) const;

    // The bytes the findings take in memory: they grow with the blocks of
    // text that hold findings and with the long lines, not with the
    // findings' number.
    std::size_t memoryBytes() const;

  private:
    // Findings by position; Info holds a finding's kind and length.
    template <class Info> class Index;
    // The characters' findings by blocks of the text that hold them.
    class Blocks;
    std::unique_ptr<Blocks> characters_;
    // The first break of each wrapped logical line, by the line's start.
    class Breaks;
    std::unique_ptr<Breaks> breaks_;
    std::unique_ptr<Index<std::uint32_t>> addresses_; // long addresses
    std::unique_ptr<LineView> sent_;                  // lays out lines as they are sent

    // Forgets the long lines and addresses (unknown until resetLines).
    void forgetLines();

    KindCounts counts_{};
    bool linesKnown_ = false;
    // The last change edited was told of, for linesChanged.
    // (Positions fit 32 bits, as the line starts they follow.)
    std::uint32_t editPos_ = 0, editRemoved_ = 0, editInserted_ = 0;
    std::pair<std::uint32_t, std::uint32_t> linesChanged_{0, 0};
    // The long-line marks an edit gave up, then those it found again.
    std::vector<std::pair<std::size_t, std::size_t>> lineMarks_;
};

} // namespace mailcheck
