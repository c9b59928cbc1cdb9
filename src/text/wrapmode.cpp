#include "wrapmode.h"

PunctuationMode punctuationModeOf(std::uint32_t modeWord) {
    if ((modeWord & kPunctuationModeMask) == kCustomBits) return PunctuationMode::custom;
    if ((modeWord & (kLevel1Bits | kLevel2Bits)) == kLevel1Bits) return PunctuationMode::level1;
    return PunctuationMode::level2;
}

std::uint32_t punctuationModeBits(PunctuationMode mode) {
    switch (mode) {
    case PunctuationMode::custom:
        return kCustomBits;
    case PunctuationMode::level1:
        return kLevel1Bits;
    case PunctuationMode::level2:
        return kLevel2Bits;
    }
    return kLevel2Bits;
}
