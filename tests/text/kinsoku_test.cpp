// The line-breaking lists of the newsletter layout, written down here
// character by character, and the layout checked against each character.
#include "support/layout.h"
#include "support/sjis.h"
#include "text/cp932.h"
#include "text/lineview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// May not start a line, in both levels.
const char16_t kFollowingBoth[] =
    u"!%),.:;?]}！％），．：；？］｝’”〕〉》」』】、。・々ゝゞヽヾ゛゜°′″℃‰￠｡｣､･ﾞﾟ";
// May not start a line in level 2 only: small kana and the long vowel mark.
const char16_t kFollowingLevel2Only[] =
    u"ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶーｧｨｩｪｫｬｭｮｯｰ‐～";
// May not end a line.
const char16_t kLeading[] = u"$([\\{＄（［｛‘“〔〈《「『【￥￡｢";
// May hang past the width.
const char16_t kOverflow[] = u"、。，．､｡,.";

// The lists' places in PunctuationLists.
constexpr std::size_t kFollowing = punctuationFollowing - 1;
constexpr std::size_t kLeadingList = punctuationLeading - 1;
constexpr std::size_t kOverflowList = punctuationOverflow - 1;

constexpr std::uint32_t kLevel1Mode = kLevel1Bits | kWrapRuleMask;
constexpr std::uint32_t kLevel2Mode = kLevel2Bits | kWrapRuleMask;

std::string bytes(const std::u16string& s) {
    return cp932::encodeKnown(QString::fromStdU16String(s));
}
std::string bytes(QChar c) {
    return cp932::encodeKnown(QString(c));
}

using testlayout::layOut;

bool contains(const char16_t* list, QChar c) {
    return QString::fromUtf16(list).contains(c);
}

} // namespace

TEST(KinsokuLists, HoldTheWrittenDownCharacters) {
    const std::u16string both(kFollowingBoth), level2(kFollowingLevel2Only);
    EXPECT_EQ(builtinLevel1()[kFollowing], bytes(both));
    EXPECT_EQ(builtinLevel2()[kFollowing], bytes(both + level2));
    for (const PunctuationLists* lists : {&builtinLevel1(), &builtinLevel2()}) {
        EXPECT_EQ((*lists)[kLeadingList], bytes(kLeading));
        EXPECT_EQ((*lists)[kOverflowList], bytes(kOverflow));
    }
    // Where each of these belongs.
    EXPECT_TRUE(contains(kFollowingLevel2Only, u'っ'));
    EXPECT_FALSE(contains(kFollowingBoth, u'っ'));
    EXPECT_TRUE(contains(kFollowingBoth, u'）'));
    EXPECT_TRUE(contains(kFollowingBoth, u'，'));
    EXPECT_TRUE(contains(kOverflow, u'，'));
    EXPECT_TRUE(contains(kLeading, u'（'));
}

// At width 6 "あいう" fills the line: the character after it starts the next
// one unless it may not, then う goes with it; a mark that may hang stays.
TEST(KinsokuLayout, NoFollowingMarkStartsALineAndOverflowMarksHang) {
    const std::string a = sj("あい"), u3 = sj("う"), e = sj("え");
    const struct {
        const char16_t* list;
        std::uint32_t mode;
    } cases[] = {{kFollowingBoth, kLevel1Mode},
                 {kFollowingBoth, kLevel2Mode},
                 {kFollowingLevel2Only, kLevel2Mode}};
    for (const auto& c : cases)
        for (const QChar ch : QString::fromUtf16(c.list)) {
            const std::string m = bytes(ch);
            const std::vector<std::string> expected = contains(kOverflow, ch)
                                                          ? std::vector<std::string>{a + u3 + m, e}
                                                          : std::vector<std::string>{a, u3 + m + e};
            EXPECT_EQ(layOut(a + u3 + m + e, 6, c.mode), expected)
                << QString(ch).toStdString() << " mode " << c.mode;
        }
    // Level 1 lets the small kana and the long vowel mark start a line.
    for (const QChar ch : QString::fromUtf16(kFollowingLevel2Only)) {
        const std::string m = bytes(ch);
        EXPECT_EQ(layOut(a + u3 + m + e, 6, kLevel1Mode), (std::vector<std::string>{a + u3, m + e}))
            << QString(ch).toStdString();
    }
    // A character in no list starts the line.
    EXPECT_EQ(layOut(sj("あいうかえ"), 6, kLevel2Mode),
              (std::vector<std::string>{a + u3, sj("かえ")}));
}

// At width 6 "あい" and a leading mark fit, the next character does not: the
// mark goes to the next line with it.
TEST(KinsokuLayout, NoLeadingMarkEndsALine) {
    const std::string a = sj("あい"), u3 = sj("う");
    for (const std::uint32_t mode : {kLevel1Mode, kLevel2Mode})
        for (const QChar ch : QString::fromUtf16(kLeading)) {
            const std::string m = bytes(ch);
            EXPECT_EQ(layOut(a + m + u3, 6, mode), (std::vector<std::string>{a, m + u3}))
                << QString(ch).toStdString() << " mode " << mode;
        }
    EXPECT_EQ(layOut(sj("あいかう"), 6, kLevel2Mode), (std::vector<std::string>{sj("あいか"), u3}));
}
