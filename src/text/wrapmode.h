// The line-breaking mode word of the editing area: which wrap rules apply and
// which punctuation lists they use. The bit values are those the mode word
// keeps in memory and the option objects hand over.
#pragma once

#include <cstdint>

// The wrap rules, as bits of the mode word.
enum WrapRule : std::uint32_t {
    wrapKinsoku = 0x10,   // no line starts with a following mark or ends with a leading one
    wrapWordBreak = 0x20, // runs of printable single-byte characters stay whole
    wrapOverflow = 0x40,  // an overflow mark may hang past the width
};
using WrapRules = std::uint32_t;
constexpr std::uint32_t kWrapRuleMask = wrapKinsoku | wrapWordBreak | wrapOverflow;

// Which punctuation lists apply.
enum class PunctuationMode { custom, level1, level2 };
constexpr std::uint32_t kLevel1Bits = 0x80;
constexpr std::uint32_t kLevel2Bits = 0x100;
constexpr std::uint32_t kCustomBits = 0x200;
constexpr std::uint32_t kPunctuationModeMask = 0x380;
// The bits of a mode word the editing area keeps.
constexpr std::uint32_t kModeWordMask = 0x3F0;

// The newsletter mode: level 2 lists with all three wrap rules.
constexpr std::uint32_t kNewsletterWrapMode = kLevel2Bits | kWrapRuleMask;

PunctuationMode punctuationModeOf(std::uint32_t modeWord);
std::uint32_t punctuationModeBits(PunctuationMode mode);

// The four punctuation lists, by type.
enum PunctuationType : int {
    punctuationFollowing = 1, // may not start a line
    punctuationLeading = 2,   // may not end a line
    punctuationOverflow = 3,  // may hang past the width
    punctuationDelimiter = 4, // word delimiters
};
