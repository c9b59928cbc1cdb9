#include "editwindow.h"

#include "app/findreplace.h"
#include "text/errors.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <chrono>
#include <random>

namespace {

// --- a plain model of the search -------------------------------------------------

bool isWordByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
char folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Every character boundary of a text, found by walking it from the start.
std::vector<bool> boundaries(const std::string& t) {
    std::vector<bool> b(t.size() + 1, false);
    for (std::size_t p = 0; p < t.size(); p = cp932::nextBoundary(t, p))
        b[p] = true;
    b[t.size()] = true;
    return b;
}

// The boundary before p (p > 0).
std::size_t boundaryBefore(const std::vector<bool>& b, std::size_t p) {
    do
        --p;
    while (!b[p]);
    return p;
}

bool modelMatch(const std::string& t, const std::vector<bool>& b, std::size_t p,
                const std::string& what, const FindOptions& o) {
    const std::size_t end = p + what.size();
    if (end > t.size() || !b[p] || !b[end]) return false;
    for (std::size_t i = 0; i < what.size();) {
        const std::size_t len = cp932::charLength(what, i);
        for (std::size_t k = 0; k < len; ++k) {
            const char x = t[p + i + k], y = what[i + k];
            if (len == 1 && !o.matchCase ? folded(x) != folded(y) : x != y) return false;
        }
        i += len;
    }
    if (o.wholeWord) {
        auto singleWordChar = [&](std::size_t q, std::size_t next) {
            return next - q == 1 && isWordByte(t[q]);
        };
        const bool firstWord = singleWordChar(p, cp932::nextBoundary(t, p));
        const std::size_t last = boundaryBefore(b, end);
        const bool lastWord = singleWordChar(last, end);
        if (p > 0 && firstWord && singleWordChar(boundaryBefore(b, p), p)) return false;
        if (end < t.size() && lastWord && singleWordChar(end, cp932::nextBoundary(t, end)))
            return false;
    }
    return true;
}

std::optional<std::size_t> modelFind(const std::string& t, const std::string& what,
                                     std::size_t from, const FindOptions& o) {
    if (what.empty()) return std::nullopt;
    const auto b = boundaries(t);
    if (!o.backward) {
        for (std::size_t p = from; p + what.size() <= t.size(); ++p)
            if (modelMatch(t, b, p, what, o)) return p;
        return std::nullopt;
    }
    from = std::min(from, t.size());
    if (from < what.size()) return std::nullopt;
    for (std::size_t p = from - what.size() + 1; p-- > 0;)
        if (modelMatch(t, b, p, what, o)) return p;
    return std::nullopt;
}

std::pair<std::string, std::size_t> modelReplaceAll(const std::string& t, const std::string& what,
                                                    const std::string& with, const FindOptions& o,
                                                    std::size_t from, std::size_t to) {
    const auto b = boundaries(t);
    auto lead = [](char c) { return cp932::isLeadByte(static_cast<unsigned char>(c)); };
    auto trail = [](char c) { return cp932::isTrailByte(static_cast<unsigned char>(c)); };
    // Replacing [p, end) would give a lone lead byte a partner: the one
    // before it, or one the replacement leaves at its end.
    auto joins = [&](std::size_t p, std::size_t end) {
        const bool loneBefore =
            p > 0 && lead(t[p - 1]) && b[p - 1] && cp932::charLength(t, p - 1) == 1;
        const bool nextTrails = !with.empty() ? trail(with[0]) : end < t.size() && trail(t[end]);
        if (loneBefore && nextTrails) return true;
        const bool withEndsAlone =
            !with.empty() && lead(with.back()) &&
            cp932::boundaryAtOrBefore(with, with.size() - 1) == with.size() - 1;
        return withEndsAlone && end < t.size() && trail(t[end]);
    };
    std::string out = t.substr(0, from);
    std::size_t count = 0, p = from;
    while (p + what.size() <= to) {
        if (modelMatch(t, b, p, what, o) && !joins(p, p + what.size())) {
            out += with;
            p += what.size();
            ++count;
        } else {
            out += t[p++];
        }
    }
    out += t.substr(p);
    return {out, count};
}

// Text of pieces that test the rules: letters in both cases, "_", digits,
// line ends, double-byte characters whose trail byte is a letter (ア 83 41,
// ヂ 83 61), one of lead-range bytes only (亜 88 9F), a lone lead byte,
// bytes that are not code page 932 and half-width katakana.
std::string randomText(std::mt19937& rng, std::size_t pieces) {
    static const std::vector<std::string> parts = {
        "a",        "A",        "b",        "B",    "_",    "1",  " ",  "\r\n", "\r",      "\n",
        "\x83\x41", "\x83\x61", "\x88\x9f", "\x81", "\xff", "ab", "AB", "\xb1", "\x82\xa0"};
    std::string t;
    for (std::size_t i = 0; i < pieces; ++i)
        t += parts[rng() % parts.size()];
    return t;
}

} // namespace

TEST(SearchModel, FindAndReplaceAllAgreeWithAPlainModel) {
    std::mt19937 rng(20240611);
    Document doc;
    for (int round = 0; round < 400; ++round) {
        const std::string t = randomText(rng, 1 + rng() % 40);
        doc.setText(t);
        for (int q = 0; q < 25; ++q) {
            std::string what;
            if (rng() % 2) {
                // A piece of the text, wherever it starts (also on a trail byte).
                const std::size_t at = rng() % t.size();
                what = t.substr(at, 1 + rng() % 4);
            } else {
                what = randomText(rng, 1 + rng() % 2);
            }
            FindOptions o;
            o.matchCase = rng() % 2;
            o.wholeWord = rng() % 3 == 0;
            o.backward = rng() % 2;
            const std::size_t from = rng() % (t.size() + 2);
            ASSERT_EQ(doc.find(what, from, o), modelFind(t, what, from, o))
                << "text " << testing::PrintToString(t) << " what " << testing::PrintToString(what)
                << " from " << from << " case " << o.matchCase << " word " << o.wholeWord
                << " back " << o.backward;
        }
        // Replace All inside a range, as one undo step.
        const std::size_t at = rng() % t.size();
        const std::string what = t.substr(at, 1 + rng() % 3);
        const std::string with = randomText(rng, rng() % 3);
        FindOptions o;
        o.matchCase = rng() % 2;
        o.wholeWord = rng() % 3 == 0;
        std::size_t from = rng() % (t.size() + 1), to = rng() % (t.size() + 1);
        if (from > to) std::swap(from, to);
        const auto [expected, count] = modelReplaceAll(t, what, with, o, from, to);
        doc.clearUndo();
        ASSERT_EQ(doc.replaceAll(what, with, o, Selection{1, 2}, from, to), count)
            << testing::PrintToString(t) << " " << testing::PrintToString(what);
        ASSERT_EQ(doc.text(), expected);
        ASSERT_EQ(doc.characterCount(), cp932::countCharacters(expected));
        if (count > 0) {
            ASSERT_EQ(doc.undo(), (Selection{1, 2}));
            ASSERT_EQ(doc.text(), t);
            ASSERT_FALSE(doc.canUndo());
        } else {
            ASSERT_FALSE(doc.canUndo());
        }
    }
}

TEST(SearchModel, ReplaceAllLeavesAMatchThatWouldPairWithALoneLeadByte) {
    // 81 stands alone before a blank; an "A" after it would make one
    // character of the two, changing a byte nobody replaced.
    Document doc;
    doc.setText("\x81 x \x81 y");
    EXPECT_EQ(doc.replaceAll(" ", "A", {}), 1u);
    EXPECT_EQ(doc.text(), "\x81 xA\x81 y");
    // A blank, which pairs with nothing, goes in everywhere.
    doc.setText("\x81 x \x81 y");
    EXPECT_EQ(doc.replaceAll(" ", "\t", {}), 3u);
}

TEST(SearchModel, LongRunsOfLeadRangeBytesAreReadOnce) {
    // 亜 is 88 9F: every byte could lead, so the pairing of a byte is known
    // only from the start of the run. Each search must still read the text
    // a bounded number of times.
    std::string t;
    for (int i = 0; i < 500000; ++i)
        t += "\x88\x9f";
    Document doc;
    doc.setText(t);
    FindOptions back;
    back.backward = true;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(doc.find("\x9f\x88", 0), std::nullopt); // only ever on the wrong byte
    EXPECT_EQ(doc.find("\x9f\x88", t.size(), back), std::nullopt);
    EXPECT_EQ(doc.find("\x88\x9f", 1), 2u);
    EXPECT_EQ(doc.find("\x88\x9f", t.size() - 1, back), t.size() - 4);
    EXPECT_EQ(doc.replaceAll("\x88\x9f", "x", {}), 500000u);
    EXPECT_EQ(doc.text(), std::string(500000, 'x'));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    // Reading the run again for every match would take hours; once, well
    // under a second (a minute leaves room for sanitizers and a busy machine).
    EXPECT_LT(seconds, 60.0);
}

// --- the commands in the window ---------------------------------------------------

struct FindReplaceTest : EditWindowTest {
    TextSearch& search() { return main->editing().findReplace().search(); }
    SearchRequest request(const std::string& what, const std::string& with = {}) {
        SearchRequest r;
        r.what = what;
        r.with = with;
        return r;
    }
};

TEST_F(FindReplaceTest, FindStartsAtTheCaretAndAfterTheSelection) {
    start();
    editor().setText("abc abc abc");
    editor().setSelectionStart(5); // inside the second abc
    EXPECT_TRUE(search().findNext(request("abc")));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{8}, std::size_t{11}));
    EXPECT_TRUE(dialogs.boxes.empty());
    // Nothing after the selection: told, the selection stays.
    EXPECT_FALSE(search().findNext(request("abc")));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, QStringLiteral("エラー"));
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("すべて検索しました"));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{8}, std::size_t{11}));

    // Up: from the selection's start back.
    SearchRequest up = request("abc");
    up.options.backward = true;
    EXPECT_TRUE(search().findNext(up));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{4}, std::size_t{7}));
    EXPECT_TRUE(search().findNext(up));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{3}));
    EXPECT_FALSE(search().findNext(up));
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(FindReplaceTest, TextOnlyBeforeTheSelectionIsNotFoundDownward) {
    start();
    editor().setText(sj("あいう abc えお"));
    select(11, 15); // "えお"
    EXPECT_FALSE(search().findNext(request("abc")));
    EXPECT_EQ(boxTexts(), std::vector<QString>{QStringLiteral("すべて検索しました")});
    EXPECT_EQ(selection(), std::make_pair(std::size_t{11}, std::size_t{15}));
}

TEST_F(FindReplaceTest, LetterCaseCountsOnlyWhenAskedAndOnlyForHalfWidthLetters) {
    start();
    editor().setText("xx ABC " + sj("ＡＢＣ"));
    SearchRequest r = request("abc");
    EXPECT_TRUE(search().findNext(r)); // ABC, letter case aside
    EXPECT_EQ(selection(), std::make_pair(std::size_t{3}, std::size_t{6}));
    editor().setSelectionStart(0);
    r.options.matchCase = true;
    EXPECT_FALSE(search().findNext(r));
    EXPECT_EQ(boxTexts(), std::vector<QString>{QStringLiteral("すべて検索しました")});
    // Full-width letters have no case to fold: ａｂｃ does not find ＡＢＣ.
    editor().setSelectionStart(0);
    EXPECT_FALSE(search().findNext(request(sj("ａｂｃ"))));
    EXPECT_TRUE(search().findNext(request(sj("ＡＢＣ"))));

    // Whole words: not next to a half-width letter or digit.
    editor().setText("cat concat cat1 " + sj("猫") + "cat" + sj("犬"));
    SearchRequest word = request("cat");
    word.options.wholeWord = true;
    editor().setSelectionStart(1);
    EXPECT_TRUE(search().findNext(word));
    EXPECT_EQ(selection().first, 18u); // between 猫 and 犬
}

TEST_F(FindReplaceTest, ReplaceAllReplacesEveryMatchAsOneUndoStepAndSaysHowMany) {
    start();
    editor().setText(sj("たぬき、たぬき、きつね、たぬき"));
    editor().setSelectionStart(0);
    SearchRequest r = request(sj("たぬき"), sj("タヌキ"));
    EXPECT_EQ(search().replaceAll(r), 3u);
    EXPECT_EQ(text(), sj("タヌキ、タヌキ、きつね、タヌキ"));
    EXPECT_EQ(boxTexts(), std::vector<QString>{QStringLiteral("3 個置き換えました")});
    EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{0}));
    EXPECT_TRUE(main->isDocumentModified());
    // One undo step gives the text back.
    editor().runEditorCommand(EditorCommand::undo);
    EXPECT_EQ(text(), sj("たぬき、たぬき、きつね、たぬき"));
    EXPECT_FALSE(editor().canUndo());
    editor().runEditorCommand(EditorCommand::redo);
    EXPECT_EQ(text(), sj("タヌキ、タヌキ、きつね、タヌキ"));

    // Inside the selection only, when asked; the selection keeps covering it.
    editor().setText("a-a-a-a");
    select(2, 5); // "a-a"
    SearchRequest inside = request("a", "bb");
    inside.inSelection = true;
    EXPECT_EQ(search().replaceAll(inside), 2u);
    EXPECT_EQ(text(), "a-bb-bb-a");
    EXPECT_EQ(selection(), std::make_pair(std::size_t{2}, std::size_t{7}));
    // Without a selection the box means the whole text.
    editor().setSelectionStart(0);
    EXPECT_EQ(search().replaceAll(inside), 2u);
    EXPECT_EQ(text(), "bb-bb-bb-bb");
    EXPECT_EQ(search().replaceAll(request("zzz", "y")), 0u);
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("0 個置き換えました"));
}

TEST_F(FindReplaceTest, ReplaceReplacesTheSelectedMatchThenSelectsTheNextOne) {
    start();
    editor().setText("a b a");
    editor().setSelectionStart(0);
    const SearchRequest r = request("a", "aa");
    // Nothing selected: the first press only selects the next match.
    EXPECT_TRUE(search().replaceNext(r));
    EXPECT_EQ(text(), "a b a");
    EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{1}));
    // Each press replaces the selection and moves on; the new "a" that the
    // replacement holds is not met again.
    EXPECT_TRUE(search().replaceNext(r));
    EXPECT_EQ(text(), "aa b a");
    EXPECT_EQ(selection(), std::make_pair(std::size_t{5}, std::size_t{6}));
    EXPECT_FALSE(search().replaceNext(r));
    EXPECT_EQ(text(), "aa b aa");
    EXPECT_EQ(boxTexts(), std::vector<QString>{QStringLiteral("すべて置き換えました")});
    // Each replacement is an undo step of its own.
    editor().runEditorCommand(EditorCommand::undo);
    EXPECT_EQ(text(), "aa b a");
}

TEST_F(FindReplaceTest, AReplacementPastTheCharacterLimitIsRefusedWhole) {
    start();
    editor().setMaxLength(12);
    editor().setText("ab ab ab");
    editor().setSelectionStart(0);
    EXPECT_THROW(search().replaceAll(request("ab", "abcd")), MMEditError);
    EXPECT_EQ(text(), "ab ab ab");
    select(0, 2);
    EXPECT_THROW(search().replaceNext(request("ab", std::string(20, 'x'))), MMEditError);
    EXPECT_EQ(text(), "ab ab ab");
    EXPECT_EQ(search().replaceAll(request("ab", "abc")), 3u); // 11 characters fit
}

TEST_F(FindReplaceTest, TheDialogsRunFromTheirItemsButtonsAndKeysAndStayOpenWhileTheUserTypes) {
    start();
    main->show();
    editor().setText(sj("メールマガジン第１号\r\nメールの書き方\r\n"));
    editor().setSelectionStart(0);

    trigger("Find1");
    FindDialog* find = main->editing().findReplace().findDialog();
    ASSERT_TRUE(find->isVisible());
    EXPECT_EQ(find->objectName(), QStringLiteral("FindDialog1"));
    EXPECT_FALSE(find->isModal());
    EXPECT_FALSE(find->findNextButton()->isEnabled()); // nothing to find yet
    find->findEdit()->setText(QStringLiteral("メール"));
    find->findNextButton()->click();
    EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{6}));
    // The user types in the editor: the dialog stays, and the next press
    // works on the text as it is then.
    editor().setSelectionStart(0);
    type(QStringLiteral("【"));
    EXPECT_TRUE(find->isVisible());
    find->findNextButton()->click();
    EXPECT_EQ(selection(), std::make_pair(std::size_t{2}, std::size_t{8}));
    find->findNextButton()->click();
    EXPECT_EQ(selection(), std::make_pair(std::size_t{24}, std::size_t{30}));
    find->upButton()->setChecked(true);
    find->findNextButton()->click();
    EXPECT_EQ(selection(), std::make_pair(std::size_t{2}, std::size_t{8}));
    saveScreenshot(find->grab().toImage(), "find-dialog.png");
    find->reject();
    EXPECT_FALSE(find->isVisible());

    // The tool button and Ctrl+F show it again, the same window, with the
    // selection as the text to find.
    select(10, 16); // "ガジン"
    trigger("SpeedButton38");
    EXPECT_EQ(main->editing().findReplace().findDialog(), find);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->findEdit()->text(), QStringLiteral("ガジン"));

    // Ctrl+R is replace, from the menu item and the tool button.
    trigger("Replace1");
    ReplaceDialog* replace = main->editing().findReplace().replaceDialog();
    ASSERT_TRUE(replace->isVisible());
    EXPECT_EQ(replace->objectName(), QStringLiteral("ReplaceDialog1"));
    EXPECT_EQ(main->item(QStringLiteral("Replace1"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_R));
    replace->findEdit()->setText(QStringLiteral("メール"));
    replace->replaceEdit()->setText(QStringLiteral("ＭＡＩＬ"));
    select(24, 30); // a match selected: after Replace All only the caret stays
    replace->replaceAllButton()->click();
    EXPECT_EQ(text(), sj("【ＭＡＩＬマガジン第１号\r\nＭＡＩＬの書き方\r\n"));
    EXPECT_EQ(editor().selectionLength(), 0);
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("2 個置き換えました"));
    saveScreenshot(replace->grab().toImage(), "replace-dialog.png");
    replace->reject();
    trigger("SpeedButton39");
    EXPECT_TRUE(replace->isVisible());

    // The Find Next button of the replace dialog finds.
    editor().setSelectionStart(0);
    replace->findEdit()->setText(QStringLiteral("書き方"));
    replace->findNextButton()->click();
    EXPECT_EQ(editor().selectedText(), sj("書き方"));
    replace->replaceEdit()->setText(QStringLiteral("送り方"));
    replace->replaceButton()->click();
    EXPECT_EQ(text(), sj("【ＭＡＩＬマガジン第１号\r\nＭＡＩＬの送り方\r\n"));
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("すべて置き換えました"));
}

TEST_F(FindReplaceTest, CtrlFFindsCtrlRReplacesAndCtrlHIsNotReplace) {
    start();
    main->show();
    QApplication::setActiveWindow(main.get());
    editor().setFocus();
    QTest::keyClick(&editor(), Qt::Key_H, Qt::ControlModifier);
    const auto* replace = main->findChild<ReplaceDialog*>();
    EXPECT_TRUE(replace == nullptr || !replace->isVisible());
    QTest::keyClick(&editor(), Qt::Key_R, Qt::ControlModifier);
    replace = main->findChild<ReplaceDialog*>();
    ASSERT_NE(replace, nullptr);
    EXPECT_TRUE(replace->isVisible());
    QApplication::setActiveWindow(main.get());
    editor().setFocus();
    QTest::keyClick(&editor(), Qt::Key_F, Qt::ControlModifier);
    const auto* find = main->findChild<FindDialog*>();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
}

TEST_F(FindReplaceTest, TheFindDialogMovesOffTheMatchItWouldCover) {
    start();
    main->resize(542, 493);
    main->move(100, 100);
    main->show();
    std::string t;
    for (int i = 0; i < 10; ++i)
        t += sj("行の文章です。") + "\r\n";
    editor().setText(t + sj("ここに目的の言葉があります。"));
    editor().setSelectionStart(0);
    trigger("Find1");
    FindDialog* find = main->editing().findReplace().findDialog();
    // Over the lines where the match stands.
    const QPoint row =
        editor().viewport()->mapToGlobal(editor().positionOfChar(static_cast<int>(t.size())));
    find->move(find->x(), row.y() - 20);
    find->findEdit()->setText(QStringLiteral("目的"));
    find->findNextButton()->click();
    ASSERT_EQ(editor().selectedText(), sj("目的"));
    const QPoint at =
        editor().viewport()->mapToGlobal(editor().positionOfChar(editor().selectionStart()));
    const QRect match(at, QSize(4 * editor().columnWidth(), editor().lineHeight()));
    EXPECT_FALSE(find->frameGeometry().intersects(match));
    EXPECT_TRUE(find->isVisible());
}

TEST_F(FindReplaceTest, ACharacterThatShiftJisCannotHoldIsToldAndNothingIsSearched) {
    start();
    editor().setText("abc");
    editor().setSelectionStart(0);
    trigger("Find1");
    FindDialog* find = main->editing().findReplace().findDialog();
    find->findEdit()->setText(QString::fromUtf8("a\xF0\x9F\x98\x80"));
    find->findNextButton()->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith(QStringLiteral("Shift-JIS で表せない文字")));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{0}, std::size_t{0}));
}
