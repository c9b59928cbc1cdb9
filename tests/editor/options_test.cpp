#include "editor/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the option objects tell their owner.
struct FakeOwner : ImeColorsOwner, WordWrapOwner, EditMarksOwner, EditAreaOwner {
    std::vector<CompColors> colorsSent;
    std::vector<std::uint32_t> modeWords;
    std::vector<std::pair<int, std::string>> punctuation;
    std::string refuse = "\x01"; // a list the control refuses
    int repaints = 0, layouts = 0, releases = 0;

    void SetImeColorsToControl(const CompColors& c) override { colorsSent.push_back(c); }
    void SetWordWrapModeToControl(std::uint32_t w) override { modeWords.push_back(w); }
    bool SetPunctuationToControl(int type, const std::string& list) override {
        punctuation.emplace_back(type, list);
        return list != refuse;
    }
    void RepaintWhole() override { ++repaints; }
    void UpdateEditRect() override { ++layouts; }
    void ReleaseEditRect() override { ++releases; }
};

} // namespace

TEST(ImeColors, SettersSendAllFourSetsAndConvertStyles) {
    FakeOwner o;
    TImeColors c(&o);
    c.Untransfered().SeticBackground(clWhite);
    c.Untransfered().SetStyle(fsUnderline | fsBold);
    c.Untransfered().SetStyle(fsUnderline | fsBold); // unchanged: nothing sent
    c.WatchingUntransfered().SeticText(clWindowText);
    ASSERT_EQ(o.colorsSent.size(), 3u);
    const CompColors& last = o.colorsSent.back();
    EXPECT_EQ(last[0].crBackground, 0xFFFFFFu);
    EXPECT_EQ(last[0].dwEffects, 5u);
    EXPECT_EQ(last[3].crText, colorToRgb(clWindowText)); // system colour resolved

    TImeColor copy(nullptr);
    copy.FromCompColor({0x123456, 0x654321, 0xFF});
    EXPECT_EQ(copy.icText(), 0x123456);
    EXPECT_EQ(copy.Style(), 0x0F); // other bits ignored
    const std::size_t before = o.colorsSent.size();
    c.SetTransfered(c.Transfered()); // equal set: skipped
    EXPECT_EQ(o.colorsSent.size(), before);
    c.SetTransfered(copy);
    EXPECT_EQ(o.colorsSent.size(), before + 2); // the held set's Assign, then the setter
    EXPECT_EQ(c.Transfered().icBackground(), 0x654321);
}

TEST(OptionObjects, AssigningAcrossClassesFailsAndLeavesDestUnchanged) {
    FakeOwner o;
    TEditMarks marks(&o);
    TEditSymbol sym(&marks);
    TLineMarker marker(&marks);
    marker.SetColor(clTeal);
    sym.SetColor(clAqua);
    try {
        marker.Assign(sym);
        FAIL();
    } catch (const AssignError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("TEditSymbol を TLineMarker に代入することはできません"));
    }
    EXPECT_EQ(marker.Color(), clTeal);
    TEditArea area(&o);
    EXPECT_THROW(area.Assign(marks), AssignError);
}

TEST(WordWrapOption, ModeWordEncodingAndDecoding) {
    FakeOwner o;
    TWordWrapOption w(&o);
    EXPECT_EQ(w.PunctuationMode(), wbfLevel2); // mode word 0
    w.SetWordWrapMode(wbfWordWrap);
    EXPECT_EQ(w.modeWord(), 0x210u); // fresh: custom punctuation first
    EXPECT_EQ(w.PunctuationMode(), wbfCustom);

    TWordWrapOption form(&o); // the main window's order
    form.SetPunctuationMode(wbfLevel2);
    EXPECT_EQ(form.modeWord(), 0x100u);
    form.SetWordWrapMode(wbfWordWrap | wbfWordBreak | wbfOverflow);
    EXPECT_EQ(form.modeWord(), 0x170u);
    EXPECT_EQ(form.PunctuationMode(), wbfLevel2);
    EXPECT_EQ(form.WordWrapMode(), wbfWordWrap | wbfWordBreak | wbfOverflow);
    o.modeWords.clear();
    form.SetWordWrapMode(wbfWordWrap | wbfWordBreak | wbfOverflow);
    EXPECT_TRUE(o.modeWords.empty());

    TWordWrapOption x(nullptr);
    x.setModeWordFromControl(0x280);
    EXPECT_EQ(x.PunctuationMode(), wbfLevel1); // both custom and level 1 bits
    x.setModeWordFromControl(0x300);
    EXPECT_EQ(x.PunctuationMode(), wbfLevel2);
}

TEST(WordWrapOption, PunctuationStringsSwitchToCustomAndDropRefusedLists) {
    FakeOwner o;
    TWordWrapOption w(&o);
    w.SetPunctuationMode(wbfLevel2);
    w.table()[wbfLevel2][PC_LEADING - 1] = "level2";
    EXPECT_EQ(w.pcLeading(), "level2");
    o.modeWords.clear();
    w.SetpcLeading(""); // unchanged string, but the mode still switches
    EXPECT_EQ(w.PunctuationMode(), wbfCustom);
    EXPECT_EQ(o.modeWords, std::vector<std::uint32_t>{0x200});
    EXPECT_TRUE(o.punctuation.empty());
    w.SetpcFollowing("abc");
    EXPECT_EQ(o.punctuation.back(), (std::pair<int, std::string>{PC_FOLLOWING, "abc"}));
    w.SetpcOverflow(o.refuse);
    EXPECT_EQ(w.pcOverflow(), ""); // refused: cleared

    // Copying sends 0x270, the four custom lists, then the copied mode word.
    FakeOwner o2;
    TWordWrapOption dest(&o2);
    w.table()[wbfCustom][PC_DELIMITER - 1] = o.refuse;
    dest.Assign(w);
    EXPECT_EQ(o2.modeWords, (std::vector<std::uint32_t>{0x270, w.modeWord()}));
    ASSERT_EQ(o2.punctuation.size(), 4u);
    EXPECT_EQ(o2.punctuation[0].second, "abc");
    EXPECT_EQ(dest.table()[wbfCustom][PC_DELIMITER - 1], "");
    EXPECT_EQ(dest.table()[wbfLevel2][PC_LEADING - 1], "level2");
}

TEST(EditMarks, RepaintOnlyOnChangeAndOnceForAWholeCopy) {
    FakeOwner o;
    TEditMarks marks(&o);
    marks.esCrLf.SetColor(clSilver); // the current value
    EXPECT_EQ(o.repaints, 0);
    marks.esCrLf.SetEnabled(true);
    EXPECT_EQ(o.repaints, 1);
    FakeOwner o2;
    TEditMarks other(&o2);
    other.Assign(marks);
    EXPECT_EQ(o2.repaints, 1);
    EXPECT_TRUE(other.esCrLf.Enabled());
    other.BeginUpdate();
    other.BeginUpdate();
    other.esTab.SetEnabled(true);
    other.EndUpdate(); // a flag, not a counter: the inner end ends it
    EXPECT_FALSE(other.updating());
    EXPECT_EQ(o2.repaints, 2);
}

TEST(EditArea, RangesCopyRulesAndSwitching) {
    FakeOwner o;
    TEditArea a(&o);
    a.Margin().SetLeft(9);
    EXPECT_EQ(a.Margin().Left(), 0);
    EXPECT_EQ(o.layouts, 0);
    a.Margin().SetLeft(10);
    EXPECT_EQ(a.Margin().Left(), 10);
    a.Margin().SetTop(-1);
    a.SetLineLength(-1);
    EXPECT_EQ(o.layouts, 1);
    a.SetLineLength(0);
    EXPECT_EQ(a.LineLength(), 0);

    FakeOwner o2;
    TEditArea src(nullptr);
    TEditMargin m(nullptr);
    m.SetLeft(20);
    src.SetMargin(m);
    src.SetLineLength(70);
    src.SetEnabled(false);
    TEditArea dest(&o2);
    dest.Assign(src);
    EXPECT_TRUE(dest.Enabled()); // not copied
    EXPECT_EQ(dest.LineLength(), 70);
    EXPECT_EQ(dest.Margin().Left(), 20);
    EXPECT_GE(o2.layouts, 1);

    // Assign copies any Left, also one below 10 (here the initial 0).
    TEditMargin zero(nullptr);
    TEditMargin copy(nullptr);
    copy.SetLeft(15);
    copy.Assign(zero);
    EXPECT_EQ(copy.Left(), 0);

    a.SetEnabled(false);
    EXPECT_EQ(o.releases, 1);
    a.SetEnabled(false);
    EXPECT_EQ(o.releases, 1);
    const int before = o.layouts;
    a.SetEnabled(true);
    EXPECT_EQ(o.layouts, before + 1);
}
