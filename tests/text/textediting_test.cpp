#include "text/textediting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Outcome = EditResult::Outcome;

// "あ", "い", "う" in code page 932.
const std::string A = "\x82\xA0", I = "\x82\xA2", U = "\x82\xA4";

const EditRules kPlain{};
const EditRules kTyping{.typing = true};
const EditRules kWhole{.wholeOrNothing = true};
const EditRules kReadOnly{.readOnly = true};

struct Case {
    const char* name;
    std::string text;
    std::size_t limit;
    std::size_t from, to;
    std::string bytes;
    EditRules rules;
    Outcome outcome;
    std::size_t inserted;
    bool cut;
    std::string after;
};

class ReplaceRange : public ::testing::TestWithParam<Case> {};

TEST_P(ReplaceRange, FollowsTheRules) {
    const Case& c = GetParam();
    Document doc;
    doc.setText(c.text);
    doc.setCharacterLimit(c.limit);
    const Selection before{c.to, c.from};
    const EditResult r = replaceRange(doc, c.from, c.to, c.bytes, c.rules, before);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.inserted, c.inserted);
    EXPECT_EQ(r.cut, c.cut);
    EXPECT_EQ(doc.text(), c.after);
    if (c.outcome != Outcome::done) {
        EXPECT_FALSE(doc.canUndo()); // a refused edit leaves no step
        return;
    }
    // One undo step gives back the text and the selection before it.
    const std::optional<Selection> undone = doc.undo();
    ASSERT_TRUE(undone.has_value());
    EXPECT_EQ(*undone, before);
    EXPECT_EQ(doc.text(), c.text);
    EXPECT_FALSE(doc.canUndo());
    const std::optional<Selection> redone = doc.redo();
    ASSERT_TRUE(redone.has_value());
    EXPECT_EQ(*redone, (Selection{c.from + c.inserted, c.from + c.inserted}));
    EXPECT_EQ(doc.text(), c.after);
}

const Case kCases[] = {
    {"Insert", "abc", Document::kNoLimit, 1, 1, "XY", kPlain, Outcome::done, 2, false, "aXYbc"},
    {"ReplaceRange", "abc", Document::kNoLimit, 0, 2, A, kPlain, Outcome::done, 2, false, A + "c"},
    {"CutAtDoubleByteCharacter", "abc", 5, 3, 3, A + I + U, kPlain, Outcome::done, 4, true,
     "abc" + A + I},
    {"CutReplacingRange", "abc", 3, 1, 2, A + I, kPlain, Outcome::done, 2, true, "a" + A + "c"},
    {"WholeOrNothingRefused", "abc", 5, 3, 3, A + I + U, kWhole, Outcome::limit, 4, true, "abc"},
    {"WholeFits", "abc", 5, 3, 3, A + I, kWhole, Outcome::done, 4, false, "abc" + A + I},
    {"NothingFitsStillRemoves", "abc", 2, 0, 1, "X", kPlain, Outcome::done, 0, true, "bc"},
    {"NothingFitsTypingKeeps", "abc", 2, 0, 1, "X", kTyping, Outcome::unchanged, 0, true, "abc"},
    {"NothingFitsAtCaret", "abc", 3, 1, 1, "X", kPlain, Outcome::unchanged, 0, true, "abc"},
    {"StrayLeadByteBefore", "ab\x82", Document::kNoLimit, 3, 3, "A", kPlain, Outcome::strayLeadByte,
     1, false, "ab\x82"},
    {"StrayLeadByteInserted", "a1A", Document::kNoLimit, 2, 2, "\x82", kPlain,
     Outcome::strayLeadByte, 1, false, "a1A"},
    {"StrayLeadByteByDeletion",
     "\x82"
     "1A",
     Document::kNoLimit, 1, 2, "", kPlain, Outcome::strayLeadByte, 0, false,
     "\x82"
     "1A"},
    {"ReadOnly", "abc", Document::kNoLimit, 0, 3, "X", kReadOnly, Outcome::readOnly, 0, false,
     "abc"},
    {"Nothing", "abc", Document::kNoLimit, 1, 1, "", kPlain, Outcome::unchanged, 0, false, "abc"},
};

INSTANTIATE_TEST_SUITE_P(Edits, ReplaceRange, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceRange, TypedCharactersJoinOneUndoStep) {
    Document doc;
    doc.setText("ab");
    const EditRules typing{.typing = true, .mergeTyping = true};
    EXPECT_TRUE(replaceRange(doc, 2, 2, "c", typing, Selection{2, 2}).changed());
    EXPECT_TRUE(replaceRange(doc, 3, 3, A, typing, Selection{3, 3}).changed());
    EXPECT_EQ(doc.text(), "abc" + A);
    EXPECT_EQ(doc.undo(), (Selection{2, 2}));
    EXPECT_EQ(doc.text(), "ab");
    EXPECT_FALSE(doc.canUndo());
}

TEST(ReplaceRange, EditsInAGroupAreOneUndoStep) {
    Document doc;
    doc.setText("abc");
    {
        UndoGroup step(doc, Selection{0, 0}, Selection{5, 5});
        replaceRange(doc, 0, 1, "X", kPlain);
        replaceRange(doc, 3, 3, "YZ", kPlain);
    }
    EXPECT_EQ(doc.text(), "XbcYZ");
    EXPECT_EQ(doc.undo(), (Selection{0, 0}));
    EXPECT_EQ(doc.text(), "abc");
    EXPECT_FALSE(doc.canUndo());
}

} // namespace
