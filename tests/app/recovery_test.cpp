#include "app/recovery.h"

#include "settings/filelocations.h"
#include "support/guards.h"
#include "support/scripted.h"
#include "support/tempdir.h"
#include "text/document.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Bytes a document may hold that no text conversion would keep: a lone lead
// byte, bytes that are not code page 932, a lone CR, a CR LF pair, a NUL.
const std::string kAwkwardText =
    std::string("\x82\xa0\x8c\xea\r\n\x82\rline\x80\xa0\xfd\xff\r\x82") + '\0' + "end\n\x81";

const QString kOfferText =
    QStringLiteral("前回、保存されていない文章が残っています。復元しますか？");

bool startsWith(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}
bool endsWith(const std::string& s, const std::string& p) {
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

class RecoveryTest : public ::testing::Test {
  protected:
    TempDir dir;
    FileLocations locations{dir.path()};
    ScriptedDialogs dialogs;
    Document doc;

    // Files of the folder whose names begin with prefix and end with suffix.
    std::vector<std::string> files(const std::string& prefix, const std::string& suffix) const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (startsWith(name, prefix) && endsWith(name, suffix)) out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::string> recoveryFiles() const { return files("MMEdit-recovery-", ".dat"); }
    std::vector<std::string> keptFiles() const { return files("recovered-", ".txt"); }

    std::optional<CrashRecovery::Contents> contentsOf(const std::string& path) const {
        if (!fileio::exists(path)) return std::nullopt;
        return CrashRecovery::parse(fileio::readAll(path));
    }

    // A run that wrote its recovery file and ended without a clean exit;
    // returns the file it left.
    std::string leaveRecoveryFile(const std::string& text, const std::string& path) {
        Document d;
        d.setFilePath(path);
        CrashRecovery r(d, locations, dialogs);
        d.setText(text);
        r.waitForWrites();
        return r.filePath();
    }
};

} // namespace

TEST(RecoveryFile, FormatReadsBackAndRefusesDamage) {
    const std::string path = "/news/vol\n1.txt"; // a line end in a name is bytes like any other
    const std::string bytes = CrashRecovery::format(path, kAwkwardText);
    const auto back = CrashRecovery::parse(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->path, path);
    EXPECT_EQ(back->text, kAwkwardText);
    EXPECT_TRUE(CrashRecovery::parse(CrashRecovery::format("", "")));

    // Cut short, or grown: not taken as a recovery file.
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(CrashRecovery::parse(bytes.substr(0, n))) << n;
    EXPECT_FALSE(CrashRecovery::parse(bytes + "x"));
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = bytes;
        damaged[random() % damaged.size()] = static_cast<char>(random());
        if (const auto c = CrashRecovery::parse(damaged)) {
            EXPECT_EQ(c->path.size() + c->text.size(), path.size() + kAwkwardText.size());
        }
    }
}

TEST_F(RecoveryTest, AChangeIsWrittenAtOnceThenAtTheInterval) {
    CrashRecovery recovery(doc, locations, dialogs, {50ms, 1h});
    EXPECT_TRUE(recoveryFiles().empty()) << "nothing to keep before a change";
    doc.setFilePath(dir.file("vol1.txt"));
    doc.replace(0, 0, "abc");
    recovery.waitForWrites();
    auto c = contentsOf(recovery.filePath());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->text, "abc");
    EXPECT_EQ(c->path, dir.file("vol1.txt"));
    EXPECT_EQ(fileio::folderOf(recovery.filePath()), dir.path()); // beside the settings file

    doc.replace(3, 0, "d"); // within the interval: waits for it
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "abc");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            recovery.waitForWrites();
            return contentsOf(recovery.filePath())->text == "abcd";
        },
        5000));
}

TEST_F(RecoveryTest, TheFirstChangeAfterAnIdleSpellIsWrittenAtOnce) {
    std::chrono::steady_clock::time_point now{};
    CrashRecovery recovery(doc, locations, dialogs, {1h, 100ms, [&] { return now; }});
    doc.replace(0, 0, "a");
    recovery.waitForWrites();
    now += 99ms; // not yet idle: waits for the interval
    doc.replace(1, 0, "b");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "a");
    now += 1ms; // 100 ms since the last write
    doc.replace(2, 0, "c");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "abc");
    now += 50ms; // the write just made starts the spell again
    doc.replace(3, 0, "d");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "abc");
}

// Opening a file ends in documentSaved (nothing of the old text is kept); the
// first edit of the opened file is kept at once, not an interval later.
TEST_F(RecoveryTest, TheFirstChangeAfterOpeningAFileIsWrittenAtOnce) {
    std::chrono::steady_clock::time_point now{};
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h, [&] { return now; }});
    doc.replace(0, 0, "old");
    recovery.waitForWrites();
    ASSERT_EQ(contentsOf(recovery.filePath())->text, "old");
    now += 1ms;
    doc.setText("opened");
    doc.setFilePath(dir.file("vol2.txt"));
    doc.setModified(false);
    recovery.documentSaved();
    recovery.waitForWrites();
    EXPECT_FALSE(fileio::exists(recovery.filePath()));
    now += 1ms;
    doc.replace(0, 0, "x");
    recovery.waitForWrites();
    const auto c = contentsOf(recovery.filePath());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->text, "xopened");
    EXPECT_EQ(c->path, dir.file("vol2.txt"));
    now += 1ms; // the spell starts again with that write
    doc.replace(0, 0, "y");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "xopened");
}

// The text of a file being opened is the file's: nothing is written for it,
// and the recovery file of the text before stays until the open ends in
// documentSaved. The first change after it is written at once, with every
// byte of the opened text.
TEST_F(RecoveryTest, OpeningAFileWritesNothing) {
    CrashRecovery recovery(doc, locations, dialogs, {1h, 0ms});
    doc.replace(0, 0, "old");
    recovery.waitForWrites();
    ASSERT_EQ(contentsOf(recovery.filePath())->text, "old");
    {
        const CrashRecovery::Opening opening(&recovery);
        doc.setText(kAwkwardText);
        doc.setFilePath(dir.file("vol3.txt"));
        recovery.waitForWrites();
        EXPECT_EQ(contentsOf(recovery.filePath())->text, "old");
    }
    doc.setModified(false);
    recovery.documentSaved();
    recovery.waitForWrites();
    EXPECT_FALSE(fileio::exists(recovery.filePath()));
    doc.replace(0, 0, "x");
    recovery.waitForWrites();
    const auto c = contentsOf(recovery.filePath());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->text, "x" + kAwkwardText);
    EXPECT_EQ(c->path, dir.file("vol3.txt"));
    // No Opening at all (a null recovery) changes nothing either.
    const CrashRecovery::Opening none(nullptr);
}

// A run that died in the middle of writing its recovery file left the new
// file's temporary; the next start removes it, and only it.
TEST_F(RecoveryTest, TemporariesOfDeadRunsAreRemovedAtStart) {
    Document other;
    CrashRecovery running(other, locations, dialogs);
    const std::string runningName = std::filesystem::path(running.filePath()).filename().string();
    struct Case {
        std::string name;
        bool stays;
    };
    const std::vector<Case> cases = {
        {".MMEdit-recovery-4242-0badc0de.dat.mmedit-save.Ab12Cd", false},
        {".MMEdit-recovery-1-00000001.dat.mmedit-save.zzzzzz", false},
        {"." + runningName + ".mmedit-save.Xy34Zw", true}, // its run still goes
        {".vol1.txt.mmedit-save.Ab12Cd", true},            // a document's, not ours
        {"MMEdit-recovery-4242-0badc0de.dat.mmedit-save.Ab12Cd", true},
        {".MMEdit-recovery-4242-0badc0de.txt", true},
    };
    for (const Case& c : cases)
        fileio::writeAll(dir.file(c.name), "half a write");

    CrashRecovery recovery(doc, locations, dialogs);
    for (const Case& c : cases)
        EXPECT_EQ(fileio::exists(dir.file(c.name)), c.stays) << c.name;
    EXPECT_TRUE(files("MMEdit-recovery-4242", ".lock").empty()) << "no lock is left behind";
}

TEST_F(RecoveryTest, SavingOrACleanExitRemovesTheFile) {
    CrashRecovery recovery(doc, locations, dialogs, {50ms, 1h});
    const std::string file = recovery.filePath();
    doc.replace(0, 0, "abc");
    recovery.waitForWrites();
    ASSERT_TRUE(fileio::exists(file));
    recovery.documentSaved();
    recovery.waitForWrites();
    EXPECT_FALSE(fileio::exists(file));

    auto waitUntil = [&](bool present) {
        return QTest::qWaitFor(
            [&] {
                recovery.waitForWrites();
                return fileio::exists(file) == present;
            },
            5000);
    };
    doc.replace(0, 0, "x"); // at the interval
    EXPECT_TRUE(waitUntil(true));

    // Saved without a word to the recovery: at the interval nothing is kept.
    doc.replace(0, 0, "y");
    doc.setModified(false);
    EXPECT_TRUE(waitUntil(false));

    doc.replace(0, 0, "z");
    EXPECT_TRUE(waitUntil(true));
    EXPECT_TRUE(fileio::exists(file + ".lock"));
    recovery.cleanExit();
    EXPECT_FALSE(fileio::exists(file));
    EXPECT_FALSE(fileio::exists(file + ".lock"));
    doc.replace(0, 0, "after the end");
    QTest::qWait(100);
    EXPECT_TRUE(recoveryFiles().empty());
    EXPECT_TRUE(files("MMEdit-recovery-", "").empty());
}

TEST_F(RecoveryTest, YesBringsTheTextBackAsAModifiedDocument) {
    const std::string left = leaveRecoveryFile(kAwkwardText, "/news/第1号.txt");
    ASSERT_TRUE(fileio::exists(left));

    dialogs.answers = {Dialogs::Yes};
    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_TRUE(recovery.offerRecovery());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, kOfferText);
    EXPECT_EQ(dialogs.boxes[0].caption, QCoreApplication::applicationName());
    EXPECT_EQ(dialogs.boxes[0].buttons, Dialogs::Yes | Dialogs::No);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Question);

    EXPECT_EQ(doc.text(), kAwkwardText);
    EXPECT_EQ(doc.filePath(), "/news/第1号.txt");
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.canUndo());
    // The text now lives in this run's file, and the old one is gone.
    EXPECT_FALSE(fileio::exists(left));
    EXPECT_EQ(contentsOf(recovery.filePath())->text, kAwkwardText);
    EXPECT_TRUE(keptFiles().empty());

    dialogs.boxes.clear();
    EXPECT_FALSE(recovery.offerRecovery());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(RecoveryTest, NoKeepsTheTextBesideTheSettingsFile) {
    const std::string left = leaveRecoveryFile(kAwkwardText, "");
    dialogs.answers = {Dialogs::No};
    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_FALSE(recovery.offerRecovery());
    EXPECT_TRUE(doc.empty());
    EXPECT_FALSE(doc.isModified());
    EXPECT_FALSE(fileio::exists(left));
    const auto kept = keptFiles();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(dir.read(kept[0]), kAwkwardText); // opens as a document
    EXPECT_EQ(kept[0].size(), std::string("recovered-2024-01-31-235959.txt").size());

    dialogs.boxes.clear();
    EXPECT_FALSE(recovery.offerRecovery());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(RecoveryTest, ClosingTheBoxLeavesTheFileForTheNextStart) {
    const std::string left = leaveRecoveryFile("text", "");
    dialogs.answers = {Dialogs::Cancel};
    {
        CrashRecovery recovery(doc, locations, dialogs);
        EXPECT_FALSE(recovery.offerRecovery());
        recovery.cleanExit();
    }
    EXPECT_TRUE(fileio::exists(left));
    EXPECT_TRUE(keptFiles().empty());
    dialogs.answers = {Dialogs::Yes};
    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_TRUE(recovery.offerRecovery());
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(doc.text(), "text");
}

TEST_F(RecoveryTest, OfSeveralLeftFilesTheNewestIsOfferedAndNoneIsLost) {
    const std::string older = leaveRecoveryFile("older", "/a.txt");
    const std::string newer = leaveRecoveryFile("newer", "/b.txt");
    namespace fs = std::filesystem;
    fs::last_write_time(older, fs::last_write_time(newer) - 1h);
    dir.write("MMEdit-recovery-1-deadbeef.dat", "not a recovery file");

    dialogs.answers = {Dialogs::Yes};
    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_TRUE(recovery.offerRecovery());
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(doc.text(), "newer");
    EXPECT_EQ(doc.filePath(), "/b.txt");

    std::vector<std::string> kept;
    for (const std::string& name : keptFiles())
        kept.push_back(dir.read(name));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"not a recovery file", "older"}));
    EXPECT_EQ(recoveryFiles(),
              std::vector<std::string>{fs::path(recovery.filePath()).filename().string()});
}

TEST_F(RecoveryTest, TheFileOfARunningCopyIsNotOffered) {
    Document other;
    auto running = std::make_unique<CrashRecovery>(other, locations, dialogs);
    other.setText("typed in the other copy");
    running->waitForWrites();

    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_NE(recovery.filePath(), running->filePath());
    EXPECT_FALSE(recovery.offerRecovery());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(fileio::exists(running->filePath()));

    running.reset(); // that copy ends without a clean exit
    dialogs.answers = {Dialogs::Yes};
    EXPECT_TRUE(recovery.offerRecovery());
    EXPECT_EQ(doc.text(), "typed in the other copy");
}

// A run killed outright leaves its file, which the next run offers with every
// byte; while that run still lives its file is not offered.
TEST_F(RecoveryTest, AKilledRunsTextComesBack) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        ::alarm(30); // never outlives a failed test
        Document d;
        d.setFilePath("/news/vol 9.txt");
        ScriptedDialogs none;
        CrashRecovery r(d, locations, none, {1h, 0ms});
        d.setText(kAwkwardText);
        r.waitForWrites();
        if (::write(ready[1], "w", 1) != 1) ::_exit(1);
        while (true)
            ::pause();
    }
    ::close(ready[1]);
    HookGuard reap([pid] {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    });
    pollfd p{ready[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 20000), 1);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);

    {
        CrashRecovery meanwhile(doc, locations, dialogs);
        EXPECT_FALSE(meanwhile.offerRecovery());
        EXPECT_TRUE(dialogs.boxes.empty());
        meanwhile.cleanExit();
    }

    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    dialogs.answers = {Dialogs::Yes};
    CrashRecovery next(doc, locations, dialogs);
    EXPECT_TRUE(next.offerRecovery());
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(doc.text(), kAwkwardText);
    EXPECT_EQ(doc.filePath(), "/news/vol 9.txt");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(recoveryFiles().size(), 1u); // this run's own only
}

// A failed write keeps the file written before it and is reported once; the
// next good write takes over again.
TEST_F(RecoveryTest, AFailedWriteKeepsTheLastGoodFile) {
    CrashRecovery recovery(doc, locations, dialogs, {1h, 0ms});
    QSignalSpy failed(&recovery, &CrashRecovery::writeFailed);
    doc.replace(0, 0, "good");
    recovery.waitForWrites();
    HookGuard reset([] { fileio::testing::setWriteHook({}); });
    fileio::testing::setWriteHook([](std::size_t written) { return written == 0 ? false : true; });
    doc.replace(4, 0, " lost");
    recovery.waitForWrites();
    doc.replace(0, 0, "more ");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "good");
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), QStringLiteral("ストリームへの書き込みエラー"));
    EXPECT_TRUE(files(".MMEdit-recovery-", "").empty()) << "no half-written file is left";

    fileio::testing::setWriteHook({});
    doc.replace(0, 0, "!");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "!more good lost");
}

// The copy for a write is taken while the user types; the write itself runs
// beside. (How long the copy takes is measured by bench_recovery.)
TEST_F(RecoveryTest, AWriteAfterTypingInALargeDocumentKeepsEveryByte) {
    std::string text(10u << 20, 'a');
    for (std::size_t i = 0; i < text.size(); i += 97)
        text[i] = '\n';
    doc.setText(text);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h});
    recovery.writeNow();
    recovery.waitForWrites();

    for (int round = 0; round < 5; ++round) {
        const std::size_t at = text.size() / 2 + static_cast<std::size_t>(round) * 1000;
        doc.replace(at, 0, "x"); // typing moves the buffer's gap here
        text.insert(at, "x");
        recovery.writeNow();
        recovery.waitForWrites();
        EXPECT_EQ(contentsOf(recovery.filePath())->text, text) << round;
    }
}

// A folder that cannot be written keeps nothing and says so once.
TEST_F(RecoveryTest, AFolderThatCannotBeWrittenIsReported) {
    // A program folder that keeps the files but is gone.
    FileLocations::Surroundings gone;
    gone.programFolder = dir.file("no such folder/");
    gone.userFolder = dir.file("no such user folder/");
    const FileLocations missing(gone);
    CrashRecovery recovery(doc, missing, dialogs, {1h, 0ms});
    QSignalSpy failed(&recovery, &CrashRecovery::writeFailed);
    doc.replace(0, 0, "abc");
    recovery.waitForWrites();
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, 5000));
    EXPECT_EQ(failed.at(0).at(0).toString().toStdString(),
              "ファイル " + recovery.filePath() + " を作成できません");
    EXPECT_FALSE(recovery.offerRecovery());
    EXPECT_TRUE(dialogs.boxes.empty());
    recovery.documentSaved();
    recovery.cleanExit();
    EXPECT_EQ(failed.count(), 1);
}
