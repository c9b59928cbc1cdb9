#include "settings/profile.h"
#include "settings/settings.h"

#include "platform/errorbox.h"

#include "support/scripted.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
std::string cp932Text(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

struct SettingsFileFixture : ::testing::Test {
    TempDir dir;
    SettingsState s;
    SettingsFont font;
    SettingsFileFixture() { s.setProgramFolder(dir.path()); }
};
} // namespace

using SettingsFile = SettingsFileFixture;

TEST_F(SettingsFile, DefaultFileIsExactAndLoadsTheFreshStartValues) {
    writeDefaultSettings(s.settingsPath);
    const std::string bytes = dir.read("MMEdit.ini");
    EXPECT_EQ(bytes.find("\n"), bytes.find("\r\n") + 1);
    const auto lines = linelist::parse(bytes);
    ASSERT_EQ(lines.size(), 77u);
    EXPECT_EQ(lines[1], cp932Text(";「もるもる」メールマガジンエディタ設定ファイル"));
    EXPECT_EQ(lines[8], cp932Text("; 0:ﾀｽｸﾄﾚｲに常駐しない 1:ﾀｽｸﾄﾚｲに常駐"));
    EXPECT_NE(lines[13].find("\x81\x40"), std::string::npos); // ideographic space
    EXPECT_EQ(lines[50], cp932Text("Name=ＭＳ ゴシック"));
    EXPECT_EQ(lines[70], "10=");
    const int separators[] = {7, 27, 32, 42, 45, 49, 56, 72};
    const std::size_t hyphens[] = {57, 66, 56, 68, 68, 64, 64, 78};
    for (int i = 0; i < 8; ++i) {
        const std::string& l = lines[static_cast<std::size_t>(separators[i] - 1)];
        EXPECT_EQ(l.size(), 79u) << separators[i];
        EXPECT_EQ(l.size() - l.find_last_not_of('-') - 1, hyphens[i]) << separators[i];
    }
    for (std::size_t i = 72; i < 77; ++i) {
        EXPECT_EQ(lines[i].find('='), std::string::npos);
        EXPECT_NE(lines[i].front(), ';');
        EXPECT_NE(lines[i].front(), '[');
    }
    // The line count and CR LF pairs: 77 lines, each with CR LF.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 77);

    s.load(font);
    s.copyGlobalToDocument();
    s.copyGlobalToNewDocument();
    for (const NewsletterValues* t : {&s.global, &s.newDocument, &s.document}) {
        EXPECT_EQ(t->title, cp932Text("タイトル"));
        EXPECT_EQ(t->authorMail, cp932Text("メールアドレス"));
        EXPECT_EQ(t->homeUrl, cp932Text("ホームページURL"));
        EXPECT_EQ(t->issueDay, cp932Text("日付"));
        EXPECT_EQ(t->saveFolder, "PATH");
        EXPECT_EQ(t->lineWidth, 80);
        EXPECT_EQ(t->maxChars, 30000);
    }
    EXPECT_EQ(s.global.magazineId, cp932Text("マガジンID"));
    EXPECT_EQ(s.document.magazineId, "");
    EXPECT_EQ(s.newDocument.magazineId, "");
    const AppOptions& a = s.options;
    EXPECT_EQ(a.trayResident, 1);
    EXPECT_EQ(a.minimizeToTray, 1);
    EXPECT_EQ(a.trayIconAction, 0);
    EXPECT_EQ(a.openLastFile, 0);
    EXPECT_EQ(a.singleInstance, 1);
    EXPECT_EQ(a.historyShown, 1);
    EXPECT_EQ(a.historyCount, 10);
    EXPECT_EQ(a.history[9], "");
    EXPECT_EQ(s.toolBarShown, 0);
    EXPECT_EQ(font, (SettingsFont{cp932Text("ＭＳ ゴシック"), 9, 0}));
}

TEST_F(SettingsFile, EmptyFileGivesTheMissingKeyDefaults) {
    dir.write("MMEdit.ini", "");
    s.load(font);
    EXPECT_EQ(s.options, AppOptions{});
    EXPECT_EQ(s.global.lineWidth, 80);
    EXPECT_EQ(s.global.maxChars, 30000);
    EXPECT_EQ(s.global.title, "");
    EXPECT_EQ(font, (SettingsFont{cp932Text("ＭＳ ゴシック"), 0, 0}));
    EXPECT_EQ(dir.read("MMEdit.ini"), ""); // not replaced
}

TEST_F(SettingsFile, PositionRulesAndUncheckedValues) {
    dir.write("MMEdit.ini",
              "[DefaultPos]\r\nPosition=1\r\nLeft=-4\r\nTop=-4\r\n[String]\r\nMaxLength=200\r\n");
    s.load(font);
    EXPECT_EQ(s.windowLeft, -4);
    EXPECT_EQ(s.windowTop, -4);
    EXPECT_EQ(s.global.lineWidth, 200);
    s.save(font);
    ProfileFile saved(dir.read("MMEdit.ini"));
    EXPECT_EQ(saved.readInt("DefaultPos", "Left", 0), -4);
    EXPECT_EQ(saved.readInt("DefaultPos", "Top", 0), -4);

    SettingsState t;
    t.setProgramFolder(dir.path());
    dir.write("MMEdit.ini", "[DefaultPos]\r\nPosition=0\r\nLeft=300\r\n");
    t.load(font);
    EXPECT_EQ(t.windowLeft, 0);
    t.save(font);
    EXPECT_EQ(ProfileFile(dir.read("MMEdit.ini")).readInt("DefaultPos", "Left", -1), 0);
}

TEST_F(SettingsFile, FirstSaveAddsTheMissingKeysAndASecondSaveChangesNothing) {
    writeDefaultSettings(s.settingsPath);
    s.load(font);
    s.save(font);
    const std::string once = dir.read("MMEdit.ini");
    const auto lines = linelist::parse(once);
    ASSERT_EQ(lines.size(), 80u);
    EXPECT_EQ(lines[26].rfind(cp932Text(";Windowの位置"), 0), 0u);
    EXPECT_EQ(lines[27], "TaskIcon=0");
    EXPECT_EQ(lines[28], "LastFileOpen=0");
    EXPECT_EQ(lines[29], "OldOpen=0");
    EXPECT_EQ(lines[30], "[DefaultPos]");
    s.save(font);
    EXPECT_EQ(dir.read("MMEdit.ini"), once);
    // Everything but the three added lines is as the default file wrote it.
    auto defaults = linelist::parse(defaultSettingsBytes());
    auto without = lines;
    without.erase(without.begin() + 27, without.begin() + 30);
    EXPECT_EQ(without, defaults);
}

TEST_F(SettingsFile, KeyInAnotherCaseIsReplacedInPlace) {
    dir.write("MMEdit.ini", "[editparam]\r\ntitle=old\r\n; keep me\r\nunknown=1\r\n");
    s.load(font);
    EXPECT_EQ(s.global.title, "old");
    s.global.title = cp932Text("週刊もるもる");
    s.save(font);
    const auto lines = linelist::parse(dir.read("MMEdit.ini"));
    EXPECT_EQ(lines[1], "title=" + cp932Text("週刊もるもる"));
    EXPECT_EQ(lines[2], "; keep me");
    EXPECT_EQ(lines[3], "unknown=1");
}

TEST_F(SettingsFile, HandEditedLineEndsStayReadable) {
    dir.write("MMEdit.ini", "[String]\nMaxLength=60\n[EditParam]\rTitle=A\r");
    s.load(font);
    EXPECT_EQ(s.global.lineWidth, 60);
    EXPECT_EQ(s.global.title, "A");
    s.global.title = "B";
    s.save(font);
    SettingsState t;
    t.setProgramFolder(dir.path());
    SettingsFont f2;
    t.load(f2);
    EXPECT_EQ(t.global, s.global);
    EXPECT_EQ(t.options, s.options);
    EXPECT_EQ(f2, font);
    EXPECT_EQ(dir.read("MMEdit.ini").rfind("[String]\nMaxLength=60\n", 0), 0u);
}

TEST_F(SettingsFile, FailedSaveIsReportedAndTheOldFileStays) {
    writeDefaultSettings(s.settingsPath);
    s.load(font);
    const std::string before = dir.read("MMEdit.ini");
    s.global.title = "changed";
    fileio::testing::setWriteHook([](std::size_t) { return false; });
    ScriptedDialogs d;
    EXPECT_FALSE(runCommand(d, [&] { s.save(font); }));
    fileio::testing::setWriteHook({});
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text,
              QString::fromStdString("ファイル " + s.settingsPath + " を作成できません."));
    EXPECT_EQ(dir.read("MMEdit.ini"), before);
    EXPECT_EQ(s.global.title, "changed");

    // A folder where the settings file should be.
    SettingsState t;
    ::mkdir(dir.file("sub").c_str(), 0777); // a program folder that keeps its files
    t.setProgramFolder(dir.file("sub"));
    ASSERT_EQ(t.settingsPath, dir.file("sub/MMEdit.ini"));
    ::mkdir(t.settingsPath.c_str(), 0777);
    EXPECT_THROW(t.save(font), MMEditError);
    EXPECT_THROW(writeDefaultSettings(t.settingsPath), MMEditError);
}

TEST_F(SettingsFile, PathsKeepTheirOwnBytes) {
    writeDefaultSettings(s.settingsPath);
    s.load(font);
    const std::string path = dir.file("café 😀 週刊.txt");
    s.addToHistory(path);
    s.save(font);
    SettingsState t;
    t.setProgramFolder(dir.path());
    t.load(font);
    EXPECT_EQ(t.options.history[0], path);
}

TEST(History, MovesAndCounts) {
    SettingsState s;
    auto& h = s.options.history;
    h = {"F1", "F2", "F3"};
    s.options.historyCount = 3;
    s.addToHistory("F3");
    EXPECT_EQ(h, (std::array<std::string, 10>{"F3", "F1", "F2"}));
    EXPECT_EQ(s.options.historyCount, 3);
    s.addToHistory("F4");
    EXPECT_EQ(h, (std::array<std::string, 10>{"F4", "F3", "F1", "F2"}));
    EXPECT_EQ(s.options.historyCount, 4);
    s.addToHistory("f4"); // letter case counts
    EXPECT_EQ(h[0], "f4");
    EXPECT_EQ(h[1], "F4");

    // Full list, the name in slot 10.
    h = {"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10"};
    s.options.historyCount = 8;
    s.addToHistory("A10");
    EXPECT_EQ(h, (std::array<std::string, 10>{"A10", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8",
                                              "A9"}));
    EXPECT_EQ(s.options.historyCount, 9);

    // Slot 5 with the count at 3.
    h = {"A1", "A2", "A3", "A4", "A5"};
    s.options.historyCount = 3;
    s.addToHistory("A5");
    EXPECT_EQ(h, (std::array<std::string, 10>{"A5", "A1", "A2", "A3", "A4"}));
    EXPECT_EQ(s.options.historyCount, 3);

    // A count above 10 stays until a new name brings it back to 10.
    s.options.historyCount = 50;
    s.addToHistory("A1");
    EXPECT_EQ(s.options.historyCount, 50);
    s.addToHistory("new");
    EXPECT_EQ(s.options.historyCount, 10);

    // A path handed over from the list itself.
    h = {"B1", "B2", "B3"};
    s.addToHistory(h[2]);
    EXPECT_EQ(h, (std::array<std::string, 10>{"B3", "B1", "B2"}));
}

TEST(SettingsCopies, WhichFieldsTravel) {
    SettingsState s;
    s.global = {"t", "m", "u", "n", "d1", "d2", "folder", 70, 2000, "gid"};
    s.document.magazineId = "doc-id";
    s.newDocument.magazineId = "new-id";
    s.copyGlobalToDocument();
    s.copyGlobalToNewDocument();
    EXPECT_EQ(s.document.magazineId, "doc-id");
    EXPECT_EQ(s.newDocument.magazineId, "new-id");
    EXPECT_EQ(s.document.saveFolder, "folder");
    s.newDocument.lineWidth = 40;
    s.newDocument.saveFolder = "elsewhere";
    s.copyNewDocumentToDocument();
    EXPECT_EQ(s.document.lineWidth, 40);
    EXPECT_EQ(s.document.magazineId, "new-id");
    EXPECT_EQ(s.document.saveFolder, "folder");
    EXPECT_EQ(documentField(1, s.document), "t");
    EXPECT_EQ(documentField(6, s.document), "d2");
    EXPECT_EQ(documentField(7, s.document), "");
    EXPECT_EQ(documentField(0, s.document), "");
}

TEST(EffectiveLimits, StoredValuesAreHeldToTheEditorsRange) {
    const struct {
        std::int32_t stored, width, chars;
    } cases[] = {{-5, 10, 10}, {5, 10, 10},    {10, 10, 10},
                 {80, 80, 80}, {200, 80, 200}, {30001, 80, 30000}};
    for (const auto& c : cases) {
        NewsletterValues v;
        v.lineWidth = v.maxChars = c.stored;
        const EffectiveLimits limits = effectiveLimits(v);
        EXPECT_EQ(limits.maxChars, c.chars) << c.stored;
        const LayoutRules rules = limits.layoutRules();
        EXPECT_EQ(rules.width, c.width) << c.stored;
        EXPECT_EQ(rules.modeWord, 0x170u) << c.stored; // level 2 lists, all three wrap rules
    }
}

TEST_F(SettingsFile, EveryKeyReachesItsOwnValueAndBack) {
    const std::string ini =
        "[Application]\r\nStayOnTask=11\r\nHideOnTask=12\r\nTaskIcon=13\r\n"
        "LastFileOpen=14\r\nOldOpen=15\r\nOnlyStart=16\r\nIMESwitch=17\r\n"
        "BackUp=18\r\nToolBar=19\r\n[DefaultPos]\r\nPosition=1\r\nLeft=-21\r\n"
        "Top=22\r\n[EditParam]\r\nTitle=T\r\nEmaile=M\r\nURL=U\r\nName=N\r\n"
        "Day1=D1\r\nDay2=D2\r\nID=I\r\n[Path]\r\nDefaultPath=P\r\n[String]\r\n"
        "MaxString=31\r\nMaxLength=32\r\n[FontParam]\r\nName=F\r\nSize=33\r\n"
        "Color=34\r\nPich=35\r\n[FileHistry]\r\nSwitch=36\r\nNumber=37\r\n1=h1\r\n"
        "2=\r\n3=\r\n4=\r\n5=h5\r\n6=\r\n7=\r\n8=\r\n9=\r\n10=h10\r\n";
    dir.write("MMEdit.ini", ini);
    s.load(font);
    const AppOptions& o = s.options;
    EXPECT_EQ((std::vector{o.trayResident, o.minimizeToTray, o.trayIconAction, o.openLastFile,
                           o.openPreviousInWindow, o.singleInstance, o.imeOnAtStart, o.makeBackup,
                           s.toolBarShown, o.restorePosition, s.windowLeft, s.windowTop,
                           o.anyPitchFont, o.historyShown, o.historyCount}),
              (std::vector{11, 12, 13, 14, 15, 16, 17, 18, 19, 1, -21, 22, 35, 36, 37}));
    EXPECT_EQ(s.global, (NewsletterValues{"T", "M", "U", "N", "D1", "D2", "P", 32, 31, "I"}));
    EXPECT_EQ(font, (SettingsFont{"F", 33, 34}));
    EXPECT_EQ(o.history,
              (std::array<std::string, 10>{"h1", "", "", "", "h5", "", "", "", "", "h10"}));
    s.save(font); // every key written where it stands, with its own value
    EXPECT_EQ(dir.read("MMEdit.ini"), ini);
}
