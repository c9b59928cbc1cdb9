#include "settings/profile.h"
#include "settings/settings.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/fileio.h"
#include "common/linelist.h"
#include "support/scripted.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

struct Fixture : ::testing::Test {
    TempDir dir;
    SettingsState s;
    SettingsFont font;
    Fixture() { s.setProgramFolder(dir.path()); }
};
} // namespace

using SettingsFile = Fixture;

TEST_F(SettingsFile, DefaultFileIsExactAndLoadsTheFreshStartValues) {
    WriteDefaultSettings(s.SettingsPath);
    const std::string bytes = dir.read("MMEdit.ini");
    EXPECT_EQ(bytes.find("\n"), bytes.find("\r\n") + 1);
    const auto lines = linelist::parse(bytes);
    ASSERT_EQ(lines.size(), 77u);
    EXPECT_EQ(lines[1], sj(";「もるもる」メールマガジンエディタ設定ファイル"));
    EXPECT_EQ(lines[8], sj("; 0:ﾀｽｸﾄﾚｲに常駐しない 1:ﾀｽｸﾄﾚｲに常駐"));
    EXPECT_NE(lines[13].find("\x81\x40"), std::string::npos); // ideographic space
    EXPECT_EQ(lines[50], sj("Name=ＭＳ ゴシック"));
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

    s.LoadSettings(font);
    s.CopyGlobalToDoc();
    s.CopyGlobalToNewDoc();
    for (const TSetting* t : {&s.GlobalParams, &s.NewDocParams, &s.DocParams}) {
        EXPECT_EQ(t->MagTitle, sj("タイトル"));
        EXPECT_EQ(t->AuthorMail, sj("メールアドレス"));
        EXPECT_EQ(t->HomeUrl, sj("ホームページURL"));
        EXPECT_EQ(t->IssueDay, sj("日付"));
        EXPECT_EQ(t->SaveFolder, "PATH");
        EXPECT_EQ(t->LineWidth, 80);
        EXPECT_EQ(t->MaxChars, 30000);
    }
    EXPECT_EQ(s.GlobalParams.MagazineId, sj("マガジンID"));
    EXPECT_EQ(s.DocParams.MagazineId, "");
    EXPECT_EQ(s.NewDocParams.MagazineId, "");
    const TApliSet& a = s.AppOptions;
    EXPECT_EQ(a.TrayResident, 1);
    EXPECT_EQ(a.MinimizeToTray, 1);
    EXPECT_EQ(a.TrayIconAction, 0);
    EXPECT_EQ(a.OpenLastFile, 0);
    EXPECT_EQ(a.SingleInstance, 1);
    EXPECT_EQ(a.HistoryShown, 1);
    EXPECT_EQ(a.HistoryCount, 10);
    EXPECT_EQ(a.History[9], "");
    EXPECT_EQ(s.ToolBarShown, 0);
    EXPECT_EQ(font, (SettingsFont{sj("ＭＳ ゴシック"), 9, 0}));
}

TEST_F(SettingsFile, EmptyFileGivesTheMissingKeyDefaults) {
    dir.write("MMEdit.ini", "");
    s.LoadSettings(font);
    EXPECT_EQ(s.AppOptions, TApliSet{});
    EXPECT_EQ(s.GlobalParams.LineWidth, 80);
    EXPECT_EQ(s.GlobalParams.MaxChars, 30000);
    EXPECT_EQ(s.GlobalParams.MagTitle, "");
    EXPECT_EQ(font, (SettingsFont{sj("ＭＳ ゴシック"), 0, 0}));
    EXPECT_EQ(dir.read("MMEdit.ini"), ""); // not replaced
}

TEST_F(SettingsFile, PositionRulesAndUncheckedValues) {
    dir.write("MMEdit.ini",
              "[DefaultPos]\r\nPosition=1\r\nLeft=-4\r\nTop=-4\r\n[String]\r\nMaxLength=200\r\n");
    s.LoadSettings(font);
    EXPECT_EQ(s.WindowLeft, -4);
    EXPECT_EQ(s.WindowTop, -4);
    EXPECT_EQ(s.GlobalParams.LineWidth, 200);
    s.SaveSettings(font);
    ProfileFile saved(dir.read("MMEdit.ini"));
    EXPECT_EQ(saved.readInt("DefaultPos", "Left", 0), -4);
    EXPECT_EQ(saved.readInt("DefaultPos", "Top", 0), -4);

    SettingsState t;
    t.setProgramFolder(dir.path());
    dir.write("MMEdit.ini", "[DefaultPos]\r\nPosition=0\r\nLeft=300\r\n");
    t.LoadSettings(font);
    EXPECT_EQ(t.WindowLeft, 0);
    t.SaveSettings(font);
    EXPECT_EQ(ProfileFile(dir.read("MMEdit.ini")).readInt("DefaultPos", "Left", -1), 0);
}

TEST_F(SettingsFile, FirstSaveAddsTheMissingKeysAndASecondSaveChangesNothing) {
    WriteDefaultSettings(s.SettingsPath);
    s.LoadSettings(font);
    s.SaveSettings(font);
    const std::string once = dir.read("MMEdit.ini");
    const auto lines = linelist::parse(once);
    ASSERT_EQ(lines.size(), 80u);
    EXPECT_EQ(lines[26].rfind(sj(";Windowの位置"), 0), 0u);
    EXPECT_EQ(lines[27], "TaskIcon=0");
    EXPECT_EQ(lines[28], "LastFileOpen=0");
    EXPECT_EQ(lines[29], "OldOpen=0");
    EXPECT_EQ(lines[30], "[DefaultPos]");
    s.SaveSettings(font);
    EXPECT_EQ(dir.read("MMEdit.ini"), once);
    // Everything but the three added lines is as the default file wrote it.
    auto defaults = linelist::parse(defaultSettingsBytes());
    auto without = lines;
    without.erase(without.begin() + 27, without.begin() + 30);
    EXPECT_EQ(without, defaults);
}

TEST_F(SettingsFile, KeyInAnotherCaseIsReplacedInPlace) {
    dir.write("MMEdit.ini", "[editparam]\r\ntitle=old\r\n; keep me\r\nunknown=1\r\n");
    s.LoadSettings(font);
    EXPECT_EQ(s.GlobalParams.MagTitle, "old");
    s.GlobalParams.MagTitle = sj("週刊もるもる");
    s.SaveSettings(font);
    const auto lines = linelist::parse(dir.read("MMEdit.ini"));
    EXPECT_EQ(lines[1], "title=" + sj("週刊もるもる"));
    EXPECT_EQ(lines[2], "; keep me");
    EXPECT_EQ(lines[3], "unknown=1");
}

TEST_F(SettingsFile, HandEditedLineEndsStayReadable) {
    dir.write("MMEdit.ini", "[String]\nMaxLength=60\n[EditParam]\rTitle=A\r");
    s.LoadSettings(font);
    EXPECT_EQ(s.GlobalParams.LineWidth, 60);
    EXPECT_EQ(s.GlobalParams.MagTitle, "A");
    s.GlobalParams.MagTitle = "B";
    s.SaveSettings(font);
    SettingsState t;
    t.setProgramFolder(dir.path());
    SettingsFont f2;
    t.LoadSettings(f2);
    EXPECT_EQ(t.GlobalParams, s.GlobalParams);
    EXPECT_EQ(t.AppOptions, s.AppOptions);
    EXPECT_EQ(f2, font);
    EXPECT_EQ(dir.read("MMEdit.ini").rfind("[String]\nMaxLength=60\n", 0), 0u);
}

TEST_F(SettingsFile, FailedSaveIsReportedAndTheOldFileStays) {
    WriteDefaultSettings(s.SettingsPath);
    s.LoadSettings(font);
    const std::string before = dir.read("MMEdit.ini");
    s.GlobalParams.MagTitle = "changed";
    fileio::testing::setWriteHook([](std::size_t) { return false; });
    ScriptedDialogs d;
    EXPECT_FALSE(runCommand(d, [&] { s.SaveSettings(font); }));
    fileio::testing::setWriteHook({});
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text,
              QString::fromStdString("ファイル " + s.SettingsPath + " を作成できません."));
    EXPECT_EQ(dir.read("MMEdit.ini"), before);
    EXPECT_EQ(s.GlobalParams.MagTitle, "changed");

    // A folder where the settings file should be.
    SettingsState t;
    t.setProgramFolder(dir.file("sub"));
    ::mkdir(dir.file("sub").c_str(), 0777);
    ::mkdir(t.SettingsPath.c_str(), 0777);
    EXPECT_THROW(t.SaveSettings(font), MMEditError);
    EXPECT_THROW(WriteDefaultSettings(t.SettingsPath), MMEditError);
}

TEST_F(SettingsFile, PathsKeepTheirOwnBytes) {
    WriteDefaultSettings(s.SettingsPath);
    s.LoadSettings(font);
    s.CurrentFile = dir.file("café 😀 週刊.txt");
    s.AddToHistory();
    s.SaveSettings(font);
    SettingsState t;
    t.setProgramFolder(dir.path());
    t.LoadSettings(font);
    EXPECT_EQ(t.AppOptions.History[0], s.CurrentFile);
}

TEST(History, MovesAndCounts) {
    SettingsState s;
    auto& h = s.AppOptions.History;
    h = {"F1", "F2", "F3"};
    s.AppOptions.HistoryCount = 3;
    s.CurrentFile = "F3";
    s.AddToHistory();
    EXPECT_EQ(h, (std::array<std::string, 10>{"F3", "F1", "F2"}));
    EXPECT_EQ(s.AppOptions.HistoryCount, 3);
    s.CurrentFile = "F4";
    s.AddToHistory();
    EXPECT_EQ(h, (std::array<std::string, 10>{"F4", "F3", "F1", "F2"}));
    EXPECT_EQ(s.AppOptions.HistoryCount, 4);
    s.CurrentFile = "f4"; // letter case counts
    s.AddToHistory();
    EXPECT_EQ(h[0], "f4");
    EXPECT_EQ(h[1], "F4");

    // Full list, the name in slot 10.
    h = {"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10"};
    s.AppOptions.HistoryCount = 8;
    s.CurrentFile = "A10";
    s.AddToHistory();
    EXPECT_EQ(h, (std::array<std::string, 10>{"A10", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8",
                                              "A9"}));
    EXPECT_EQ(s.AppOptions.HistoryCount, 9);

    // Slot 5 with the count at 3.
    h = {"A1", "A2", "A3", "A4", "A5"};
    s.AppOptions.HistoryCount = 3;
    s.CurrentFile = "A5";
    s.AddToHistory();
    EXPECT_EQ(h, (std::array<std::string, 10>{"A5", "A1", "A2", "A3", "A4"}));
    EXPECT_EQ(s.AppOptions.HistoryCount, 3);

    // A count above 10 stays until a new name brings it back to 10.
    s.AppOptions.HistoryCount = 50;
    s.CurrentFile = "A1";
    s.AddToHistory();
    EXPECT_EQ(s.AppOptions.HistoryCount, 50);
    s.CurrentFile = "new";
    s.AddToHistory();
    EXPECT_EQ(s.AppOptions.HistoryCount, 10);
}

TEST(SettingsCopies, WhichFieldsTravel) {
    SettingsState s;
    s.GlobalParams = {"t", "m", "u", "n", "d1", "d2", "folder", 70, 2000, "gid"};
    s.DocParams.MagazineId = "doc-id";
    s.NewDocParams.MagazineId = "new-id";
    s.CopyGlobalToDoc();
    s.CopyGlobalToNewDoc();
    EXPECT_EQ(s.DocParams.MagazineId, "doc-id");
    EXPECT_EQ(s.NewDocParams.MagazineId, "new-id");
    EXPECT_EQ(s.DocParams.SaveFolder, "folder");
    s.NewDocParams.LineWidth = 40;
    s.NewDocParams.SaveFolder = "elsewhere";
    s.CopyNewDocToDoc();
    EXPECT_EQ(s.DocParams.LineWidth, 40);
    EXPECT_EQ(s.DocParams.MagazineId, "new-id");
    EXPECT_EQ(s.DocParams.SaveFolder, "folder");
    EXPECT_EQ(DocField(1, s.DocParams), "t");
    EXPECT_EQ(DocField(6, s.DocParams), "d2");
    EXPECT_EQ(DocField(7, s.DocParams), "");
    EXPECT_EQ(DocField(0, s.DocParams), "");
    EXPECT_EQ(clampLineWidth(200), 80);
    EXPECT_EQ(clampMaxChars(31000), 30000);
    EXPECT_EQ(clampMaxChars(100), 100);
}

TEST(Help, OpensThePageAtTheKeywordsAnchor) {
    TempDir dir;
    RecordingShell shell;
    EXPECT_THROW(ShowHelp(shell, dir.path()), MMEditError); // no help page yet
    ::mkdir(dir.file("help").c_str(), 0777);
    dir.write("help/index.html", "<html></html>");
    ShowHelp(shell, dir.path());
    ShowHelp(shell, dir.path(), QStringLiteral("顔文字パレット"));
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0], QString::fromStdString("file://" + dir.path() + "help/index.html"));
    EXPECT_EQ(shell.opened[1],
              QString::fromStdString("file://" + dir.path() + "help/index.html#face-palette"));
}
