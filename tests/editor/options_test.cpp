#include "editor/options.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

// Records what the option objects tell their owner.
struct FakeOwner : ImeColorsOwner, WordWrapOwner, EditMarksOwner, EditAreaOwner {
    std::vector<CompColors> colorsSent;
    std::vector<std::uint32_t> modeWords;
    std::vector<std::pair<int, std::string>> punctuation;
    std::string refuse = "\x01"; // a list the control refuses
    int repaints = 0, layouts = 0;

    void setCompositionColors(const CompColors& c) override { colorsSent.push_back(c); }
    void setWrapModeWordOfControl(std::uint32_t w) override { modeWords.push_back(w); }
    bool setPunctuationList(int type, const std::string& list) override {
        punctuation.emplace_back(type, list);
        return list != refuse;
    }
    void repaintMarks() override { ++repaints; }
    void editAreaChanged() override { ++layouts; }
};

} // namespace

TEST(ImeColors, SettersSendAllFourSetsAndConvertStyles) {
    FakeOwner o;
    ImeColors c(&o);
    c.input().setBackgroundColor(color::white);
    c.input().setStyle(styleUnderline | styleBold);
    c.input().setStyle(styleUnderline | styleBold); // unchanged: nothing sent
    c.selectedUnconverted().setTextColor(color::windowText);
    ASSERT_EQ(o.colorsSent.size(), 3u);
    const CompColors& last = o.colorsSent.back();
    EXPECT_EQ(last[0].background, 0xFFFFFFu);
    EXPECT_EQ(last[0].effects, 5u);
    EXPECT_EQ(last[3].text, colorToRgb(color::windowText)); // system colour resolved

    ImeColor copy(nullptr);
    copy.fromCompColor({0x123456, 0x654321, 0xFF});
    EXPECT_EQ(copy.textColor(), 0x123456);
    EXPECT_EQ(copy.style(), 0x0F); // other bits ignored
    const std::size_t before = o.colorsSent.size();
    c.setConverted(c.converted()); // equal set: skipped
    EXPECT_EQ(o.colorsSent.size(), before);
    c.setConverted(copy);
    EXPECT_EQ(o.colorsSent.size(), before + 2); // the held set's assign, then the setter
    EXPECT_EQ(c.converted().backgroundColor(), 0x654321);
}

TEST(WordWrapOption, ModeWordEncodingAndDecoding) {
    FakeOwner o;
    WordWrapOption w(&o);
    EXPECT_EQ(w.punctuationMode(), PunctuationMode::level2); // mode word 0
    w.setWrapRules(wrapKinsoku);
    EXPECT_EQ(w.modeWord(), 0x210u); // fresh: custom punctuation first
    EXPECT_EQ(w.punctuationMode(), PunctuationMode::custom);

    WordWrapOption form(&o); // the main window's order
    form.setPunctuationMode(PunctuationMode::level2);
    EXPECT_EQ(form.modeWord(), 0x100u);
    form.setWrapRules(wrapKinsoku | wrapWordBreak | wrapOverflow);
    EXPECT_EQ(form.modeWord(), 0x170u);
    EXPECT_EQ(form.punctuationMode(), PunctuationMode::level2);
    EXPECT_EQ(form.wrapRules(), wrapKinsoku | wrapWordBreak | wrapOverflow);
    o.modeWords.clear();
    form.setWrapRules(wrapKinsoku | wrapWordBreak | wrapOverflow);
    EXPECT_TRUE(o.modeWords.empty());

    WordWrapOption x(nullptr);
    x.setModeWordFromControl(0x280);
    EXPECT_EQ(x.punctuationMode(), PunctuationMode::level1); // both custom and level 1 bits
    x.setModeWordFromControl(0x300);
    EXPECT_EQ(x.punctuationMode(), PunctuationMode::level2);
}

TEST(WordWrapOption, PunctuationStringsSwitchToCustomAndDropRefusedLists) {
    FakeOwner o;
    WordWrapOption w(&o);
    w.setPunctuationMode(PunctuationMode::level2);
    w.table()[PunctuationMode::level2][punctuationLeading - 1] = "level2";
    EXPECT_EQ(w.leading(), "level2");
    o.modeWords.clear();
    w.setLeading(""); // unchanged string, but the mode still switches
    EXPECT_EQ(w.punctuationMode(), PunctuationMode::custom);
    EXPECT_EQ(o.modeWords, std::vector<std::uint32_t>{0x200});
    EXPECT_TRUE(o.punctuation.empty());
    w.setFollowing("abc");
    EXPECT_EQ(o.punctuation.back(), (std::pair<int, std::string>{punctuationFollowing, "abc"}));
    w.setOverflowMarks(o.refuse);
    EXPECT_EQ(w.overflowMarks(), ""); // refused: cleared

    // Copying sends 0x270, the four custom lists, then the copied mode word.
    FakeOwner o2;
    WordWrapOption dest(&o2);
    w.table()[PunctuationMode::custom][punctuationDelimiter - 1] = o.refuse;
    dest.assign(w);
    EXPECT_EQ(o2.modeWords, (std::vector<std::uint32_t>{0x270, w.modeWord()}));
    ASSERT_EQ(o2.punctuation.size(), 4u);
    EXPECT_EQ(o2.punctuation[0].second, "abc");
    EXPECT_EQ(dest.table()[PunctuationMode::custom][punctuationDelimiter - 1], "");
    EXPECT_EQ(dest.table()[PunctuationMode::level2][punctuationLeading - 1], "level2");
}

TEST(EditMarks, RepaintOnlyOnChangeAndOnceForAWholeCopy) {
    FakeOwner o;
    EditMarks marks(&o);
    marks.lineEnd.setColor(color::silver); // the current value
    EXPECT_EQ(o.repaints, 0);
    marks.lineEnd.setEnabled(true);
    EXPECT_EQ(o.repaints, 1);
    FakeOwner o2;
    EditMarks other(&o2);
    other.assign(marks);
    EXPECT_EQ(o2.repaints, 1);
    EXPECT_TRUE(other.lineEnd.isEnabled());
    other.beginUpdate();
    other.beginUpdate();
    other.tab.setEnabled(true);
    other.endUpdate(); // a flag, not a counter: the inner end ends it
    EXPECT_FALSE(other.updating());
    EXPECT_EQ(o2.repaints, 2);
}

TEST(EditArea, RangesCopyRulesAndSwitching) {
    FakeOwner o;
    EditArea a(&o);
    a.margin().setLeft(9);
    EXPECT_EQ(a.margin().left(), 0);
    EXPECT_EQ(o.layouts, 0);
    a.margin().setLeft(10);
    EXPECT_EQ(a.margin().left(), 10);
    a.margin().setTop(-1);
    a.setLineLength(-1);
    EXPECT_EQ(o.layouts, 1);
    a.setLineLength(0);
    EXPECT_EQ(a.lineLength(), 0);

    FakeOwner o2;
    EditArea src(nullptr);
    EditMargin m(nullptr);
    m.setLeft(20);
    src.setMargin(m);
    src.setLineLength(70);
    src.setEnabled(false);
    EditArea dest(&o2);
    dest.assign(src);
    EXPECT_TRUE(dest.isEnabled()); // not copied
    EXPECT_EQ(dest.lineLength(), 70);
    EXPECT_EQ(dest.margin().left(), 20);
    EXPECT_GE(o2.layouts, 1);

    // assign copies any Left, also one below 10 (here the initial 0).
    EditMargin zero(nullptr);
    EditMargin copy(nullptr);
    copy.setLeft(15);
    copy.assign(zero);
    EXPECT_EQ(copy.left(), 0);

    // Switching tells the owner once, switching to the same state not at all.
    const int before = o.layouts;
    a.setEnabled(false);
    EXPECT_EQ(o.layouts, before + 1);
    a.setEnabled(false);
    EXPECT_EQ(o.layouts, before + 1);
    a.setEnabled(true);
    EXPECT_EQ(o.layouts, before + 2);
}
