#include "app/recovery.h"

#include "settings/filelocations.h"
#include "support/guards.h"
#include "support/scripted.h"
#include "support/tempdir.h"
#include "text/document.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <thread>
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

    struct Contents {
        std::string path, text;
    };
    static std::optional<Contents> contentsOf(const std::string& path) {
        CrashRecovery::Recovered r = CrashRecovery::read(path);
        if (r.status != CrashRecovery::Recovered::Status::Recovered) return std::nullopt;
        return Contents{r.contents.path, r.contents.text.str()};
    }

    // A run that ended without a clean exit once it had written what edits
    // did: on the file base when given (opened, unchanged), else on a new
    // document. Returns the recovery file it left.
    std::string leaveJournal(const std::string& base,
                             const std::function<void(Document&, CrashRecovery&)>& edits,
                             RecoveryTiming timing = {1h, 0ms}) {
        Document d;
        if (!base.empty()) {
            d.loadFile(base);
            d.setModified(false);
        }
        CrashRecovery r(d, locations, dialogs, timing);
        edits(d, r);
        r.writeNow();
        r.waitForWrites();
        return r.filePath();
    }
    std::string leaveRecoveryFile(const std::string& text, const std::string& path) {
        return leaveJournal("", [&](Document& d, CrashRecovery&) {
            d.setFilePath(path);
            d.setText(text);
        });
    }

    // The next start, with answer to its question; what offerRecovery says.
    std::unique_ptr<CrashRecovery> next;
    bool startAgain(Dialogs::Button answer = Dialogs::Yes) {
        dialogs.boxes.clear();
        dialogs.answers = {answer};
        next = std::make_unique<CrashRecovery>(doc, locations, dialogs);
        return next->offerRecovery();
    }
};

} // namespace

// The single file earlier versions wrote is still read, and refused when it
// is cut short or grown.
TEST_F(RecoveryTest, TheFileOfEarlierVersionsIsRead) {
    const std::string path = "/news/vol\n1.txt"; // a line end in a name is bytes like any other
    const std::string bytes = "MMEdit recovery 1\npath 15\n" + path + "\ntext 24\n" + kAwkwardText;
    const std::string file = dir.file("MMEdit-recovery-7-00c0ffee.dat");
    dir.write("MMEdit-recovery-7-00c0ffee.dat", bytes);
    const auto back = contentsOf(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->path, path);
    EXPECT_EQ(back->text, kAwkwardText);

    for (const std::size_t n :
         {std::size_t{0}, std::size_t{10}, std::size_t{30}, bytes.size() - 1}) {
        dir.write("cut.dat", bytes.substr(0, n));
        EXPECT_EQ(CrashRecovery::read(dir.file("cut.dat")).status,
                  CrashRecovery::Recovered::Status::NotOurs)
            << n;
    }
    dir.write("cut.dat", bytes + "x");
    EXPECT_FALSE(contentsOf(dir.file("cut.dat")));
    ::unlink(dir.file("cut.dat").c_str());

    dialogs.answers = {Dialogs::Yes};
    CrashRecovery recovery(doc, locations, dialogs);
    EXPECT_TRUE(recovery.offerRecovery());
    EXPECT_EQ(doc.text(), kAwkwardText);
    EXPECT_EQ(doc.filePath(), path);
    EXPECT_FALSE(fileio::exists(file));
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
    running.waitForWrites(); // a run writes nothing before it holds its lock
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

// The lock of this run's file is taken beside the start, not in its way; it
// is held before anything is written, and while nothing is.
TEST_F(RecoveryTest, TheRunHoldsTheLockOfItsFile) {
    CrashRecovery recovery(doc, locations, dialogs);
    recovery.waitForWrites();
    QLockFile other(QString::fromStdString(recovery.filePath() + ".lock"));
    other.setStaleLockTime(0);
    EXPECT_FALSE(other.tryLock(0));
    EXPECT_TRUE(recoveryFiles().empty());
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

    EXPECT_TRUE(startAgain());
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
    EXPECT_EQ(contentsOf(next->filePath())->text, kAwkwardText);
    EXPECT_TRUE(keptFiles().empty());

    dialogs.boxes.clear();
    EXPECT_FALSE(next->offerRecovery());
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

    EXPECT_TRUE(startAgain());
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(doc.text(), "newer");
    EXPECT_EQ(doc.filePath(), "/b.txt");

    std::vector<std::string> kept;
    for (const std::string& name : keptFiles())
        kept.push_back(dir.read(name));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"not a recovery file", "older"}));
    EXPECT_EQ(recoveryFiles(),
              std::vector<std::string>{fs::path(next->filePath()).filename().string()});
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

    EXPECT_TRUE(startAgain());
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(doc.text(), kAwkwardText);
    EXPECT_EQ(doc.filePath(), "/news/vol 9.txt");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(recoveryFiles().size(), 1u); // this run's own only
}

// A failed start of the file keeps the file written before it and is
// reported once; the next good write takes over again.
TEST_F(RecoveryTest, AFailedWriteKeepsTheLastGoodFile) {
    CrashRecovery recovery(doc, locations, dialogs, {1h, 0ms});
    QSignalSpy failed(&recovery, &CrashRecovery::writeFailed);
    doc.replace(0, 0, "good");
    recovery.waitForWrites();
    HookGuard reset([] {
        fileio::testing::setWriteHook({});
        CrashRecovery::setAppendHook({});
    });
    // Appends fail, and so does the snapshot that would repair them.
    CrashRecovery::setAppendHook([](std::size_t) { return std::size_t{0}; });
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
    CrashRecovery::setAppendHook({});
    doc.replace(0, 0, "!");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "!more good lost");
}

// An append cut short (a full disk) is reported once; the file reads back
// as it was before it, and the next write keeps the whole text again.
TEST_F(RecoveryTest, AShortAppendIsReportedAndRepairedByASnapshot) {
    const std::string base = dir.file("vol5.txt");
    dir.write("vol5.txt", "0123456789");
    doc.loadFile(base);
    doc.setModified(false);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 0ms});
    QSignalSpy failed(&recovery, &CrashRecovery::writeFailed);
    doc.replace(0, 0, "a");
    recovery.waitForWrites();
    HookGuard reset([] { CrashRecovery::setAppendHook({}); });
    CrashRecovery::setAppendHook([](std::size_t size) { return size / 2; });
    doc.replace(1, 0, "b");
    recovery.waitForWrites();
    // The torn record is left out.
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "a0123456789");
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, 5000));

    CrashRecovery::setAppendHook({});
    doc.replace(1, 0, "c");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "acb0123456789");
    dir.write("vol5.txt", "changed!!!"); // the file no longer matters: the snapshot holds it all
    doc.replace(0, 0, "f");
    recovery.waitForWrites();
    EXPECT_EQ(contentsOf(recovery.filePath())->text, "facb0123456789");
    QTest::qWait(20);
    EXPECT_EQ(failed.count(), 1);
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

namespace {

// Changes of a seeded script, made the same way to a document (in a run that
// is killed) and to a plain string, the model the test checks against.
struct EditScript {
    enum class Kind { Replace, Undo, Redo, Save };
    struct Step {
        Kind kind = Kind::Replace;
        std::size_t pos = 0, removed = 0;
        std::string bytes;
    };

    explicit EditScript(unsigned seed) : random(seed) {}

    // The next step, already made to text.
    Step next() {
        Step s;
        const unsigned pick = random() % 16;
        if (pick == 0 && !undo.empty()) {
            s.kind = Kind::Undo;
            redo.push_back(text);
            text = undo.back();
            undo.pop_back();
        } else if (pick == 1 && !redo.empty()) {
            s.kind = Kind::Redo;
            undo.push_back(text);
            text = redo.back();
            redo.pop_back();
        } else if (pick == 2) {
            s.kind = Kind::Save;
        } else {
            s.pos = random() % (text.size() + 1);
            if (random() % 3 == 0)
                s.removed = std::min<std::size_t>(random() % 9, text.size() - s.pos);
            const std::size_t n = random() % 4 == 0 ? 0 : 1 + random() % 16;
            for (std::size_t i = 0; i < n; ++i)
                s.bytes += static_cast<char>(random());
            if (s.bytes.empty() && s.removed == 0) s.bytes = "\x82\xa0";
            undo.push_back(text);
            redo.clear();
            text.replace(s.pos, s.removed, s.bytes);
        }
        return s;
    }

    std::mt19937 random;
    std::string text;
    std::vector<std::string> undo, redo;
};

} // namespace

// A run killed at any moment of a script of edits, undos, redos and saves
// leaves what was written last, byte for byte: the text after the last step
// it had written, or after the one it was writing. Without a recovery file
// (killed after a save) the saved file holds that text.
TEST_F(RecoveryTest, AKillAtAnyMomentLeavesTheLastWrittenText) {
    constexpr int kSteps = 160;
    const std::string saved = dir.file("model.txt");
    // Every third seed kills at a step of the first save after killAfter
    // instead: as its file is written, before the rename, after it.
    using fileio::testing::WriteStep;
    const std::optional<WriteStep> kSaveSteps[] = {std::nullopt, WriteStep::write,
                                                   WriteStep::rename};
    for (unsigned seed = 1; seed <= 10; ++seed) {
        std::mt19937 when(seed * 7919);
        const int killAfter = 1 + static_cast<int>(when() % kSteps);
        const bool inASave = seed % 3 == 0;
        const std::optional<WriteStep> saveStep = kSaveSteps[seed / 3 % 3];
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(acks[0]);
            ::alarm(60); // never outlives a failed test
            Document d;
            d.setFilePath(saved);
            ScriptedDialogs none;
            CrashRecovery r(d, locations, none, {1h, 0ms});
            EditScript script(seed);
            for (int i = 1; i <= kSteps; ++i) {
                const EditScript::Step s = script.next();
                switch (s.kind) {
                case EditScript::Kind::Replace:
                    d.replace(s.pos, s.removed, s.bytes);
                    break;
                case EditScript::Kind::Undo:
                    d.undo();
                    break;
                case EditScript::Kind::Redo:
                    d.redo();
                    break;
                case EditScript::Kind::Save: {
                    const bool kill = inASave && i > killAfter;
                    const auto self = std::this_thread::get_id();
                    if (kill && saveStep)
                        fileio::testing::setStepHook([&](WriteStep step, std::size_t) {
                            if (step == *saveStep && std::this_thread::get_id() == self)
                                ::raise(SIGKILL);
                            return true;
                        });
                    r.savingTo(saved);
                    fileio::writeAll(saved, d.all());
                    if (kill) ::raise(SIGKILL);
                    d.setModified(false);
                    r.documentSaved();
                    break;
                }
                }
                r.writeNow();
                r.waitForWrites();
                if (::write(acks[1], &i, sizeof i) != sizeof i) ::_exit(1);
            }
            while (true)
                ::pause();
        }
        ::close(acks[1]);
        HookGuard reap([pid] {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        });
        int last = 0;
        while (last < (inASave ? kSteps : killAfter)) {
            pollfd p{acks[0], POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 30000), 1) << seed;
            int ack = 0;
            if (::read(acks[0], &ack, sizeof ack) != static_cast<ssize_t>(sizeof ack)) {
                ASSERT_TRUE(inASave) << seed; // only a save's kill ends the run early
                break;
            }
            last = ack;
        }
        // Somewhere within the steps that follow.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(when() % 3000);
        while (!inASave && std::chrono::steady_clock::now() < until) {
        }
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
        int ack = 0;
        while (::read(acks[0], &ack, sizeof ack) == static_cast<ssize_t>(sizeof ack))
            last = ack;
        ::close(acks[0]);

        EditScript model(seed);
        std::vector<std::string> states{model.text};
        for (int i = 1; i <= kSteps; ++i) {
            model.next();
            states.push_back(model.text);
        }
        const std::string& done = states[static_cast<std::size_t>(last)];
        const std::string& doing = states[static_cast<std::size_t>(std::min(last + 1, kSteps))];
        const auto left = recoveryFiles();
        ASSERT_LE(left.size(), 1u) << seed;
        const auto status = left.empty() ? CrashRecovery::Recovered::Status::Saved
                                         : CrashRecovery::read(dir.file(left[0])).status;
        // A run killed in the middle of a save never looks like one whose
        // edits are lost.
        EXPECT_NE(status, CrashRecovery::Recovered::Status::BaseChanged) << seed;
        if (status != CrashRecovery::Recovered::Status::Recovered) {
            // No recovery file, or one whose text a save put in the file.
            ASSERT_TRUE(fileio::exists(saved)) << seed << " killed after " << last;
            const std::string text = fileio::readAll(saved);
            EXPECT_TRUE(text == done || text == doing) << seed << " killed after " << last;
            if (!left.empty()) ::unlink(dir.file(left[0]).c_str());
        } else {
            const auto c = contentsOf(dir.file(left[0]));
            ASSERT_TRUE(c) << seed << " killed after " << last;
            EXPECT_TRUE(c->text == done || c->text == doing) << seed << " killed after " << last;
            EXPECT_EQ(c->path, saved);
            ::unlink(dir.file(left[0]).c_str());
        }
        ::unlink(saved.c_str());
        for (const std::string& lock : files("MMEdit-recovery-", ".lock"))
            ::unlink(dir.file(lock).c_str());
    }
}

// A save killed at each of its steps: before the new file is written, once it
// is written but not yet in place, once it is in place but the recovery file
// not yet removed; or a save that failed, with typing after it. The next start
// brings back the last text (the edit not yet written when the save began
// included), or finds it in its file and removes the recovery file unasked.
TEST_F(RecoveryTest, ASaveKilledAtAnyStepLosesNothing) {
    enum class Kill { BeforeWrite, BeforeRename, BeforeRemoval, AfterAFailedSave };
    struct Case {
        const char* name;
        bool opened;        // the document is vol.txt opened, else a new one
        const char* saveAs; // where the save goes; "" the document's own file
        Kill kill;
        const char* offered; // the text offered at the next start; "" none
    };
    const std::vector<Case> cases = {
        {"before write", true, "", Kill::BeforeWrite, "typed base text\r\nmore"},
        {"before rename", true, "", Kill::BeforeRename, "typed base text\r\nmore"},
        {"before removal", true, "", Kill::BeforeRemoval, ""},
        {"failed save", true, "", Kill::AfterAFailedSave, "typed base text\r\nmore!"},
        {"save as, before rename", true, "other.txt", Kill::BeforeRename,
         "typed base text\r\nmore"},
        {"save as, before removal", true, "other.txt", Kill::BeforeRemoval, ""},
        {"new, before rename", false, "new.txt", Kill::BeforeRename, "typed more"},
        {"new, before removal", false, "new.txt", Kill::BeforeRemoval, ""},
    };
    const std::string base = dir.file("vol.txt");
    for (const Case& c : cases) {
        fileio::writeAll(base, "base text\r\n");
        const std::string target = *c.saveAs ? dir.file(c.saveAs) : base;
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::alarm(30); // never outlives a failed test
            Document d;
            if (c.opened) {
                d.loadFile(base);
                d.setModified(false);
            }
            ScriptedDialogs none;
            CrashRecovery r(d, locations, none, {1h, 1h});
            d.replace(0, 0, "typed ");
            r.waitForWrites();
            d.replace(d.size(), 0, "more"); // waits for the interval
            const auto self = std::this_thread::get_id();
            fileio::testing::setStepHook([&](fileio::testing::WriteStep step, std::size_t) {
                if (std::this_thread::get_id() != self) return true;
                if (c.kill == Kill::AfterAFailedSave)
                    return step != fileio::testing::WriteStep::rename;
                if (step == (c.kill == Kill::BeforeWrite ? fileio::testing::WriteStep::write
                                                         : fileio::testing::WriteStep::rename) &&
                    c.kill != Kill::BeforeRemoval)
                    ::raise(SIGKILL);
                return true;
            });
            r.savingTo(target);
            try {
                fileio::writeAll(target, d.all());
            } catch (const MMEditError&) {
                d.replace(d.size(), 0, "!");
                r.writeNow();
                r.waitForWrites();
            }
            ::raise(SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << c.name;

        doc.setText("");
        doc.setModified(false);
        const bool saved = !*c.offered;
        EXPECT_EQ(startAgain(), !saved) << c.name;
        EXPECT_EQ(dialogs.boxes.size(), saved ? 0u : 1u) << c.name;
        EXPECT_EQ(doc.text(), c.offered) << c.name;
        // The file holds the saved text, or what it held before.
        if (saved)
            EXPECT_EQ(fileio::readAll(target), c.opened ? "typed base text\r\nmore" : "typed more");
        else if (target == base)
            EXPECT_EQ(fileio::readAll(target), "base text\r\n");
        else
            EXPECT_FALSE(fileio::exists(target)) << c.name;
        EXPECT_EQ(recoveryFiles().size(), saved ? 0u : 1u) << c.name; // the next run's own
        EXPECT_TRUE(files("recovered-", "").empty()) << c.name;
        next->cleanExit();
        ::unlink(target.c_str());
        ::unlink(base.c_str());
    }
}

// Text brought back goes on in the journal it came from (this run's file now,
// a record cut short at its end cut off): the next key appends to it, with no
// copy of the text.
TEST_F(RecoveryTest, TextBroughtBackGoesOnInItsJournal) {
    std::string text(100000, 'a');
    dir.write("vol10.txt", text);
    const std::string left = leaveJournal(
        dir.file("vol10.txt"), [](Document& d, CrashRecovery&) { d.replace(0, 1, "\x82\xa0"); });
    {
        std::FILE* f = std::fopen(left.c_str(), "ab");
        ASSERT_TRUE(f);
        std::fputs("C\x20\0\0", f); // a record cut short
        std::fclose(f);
    }
    ASSERT_TRUE(startAgain());
    text.replace(0, 1, "\x82\xa0");
    EXPECT_TRUE(doc.text() == text);
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(fileio::exists(left));
    const std::uintmax_t before = std::filesystem::file_size(next->filePath());
    EXPECT_LT(before, 1000u); // no snapshot of the text
    doc.replace(2, 0, "!");
    next->writeNow();
    next->waitForWrites();
    text.insert(2, "!");
    EXPECT_LT(std::filesystem::file_size(next->filePath()), before + 40u);
    const auto c = contentsOf(next->filePath());
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->text == text);
    EXPECT_EQ(c->path, dir.file("vol10.txt"));
}

// Typing in an opened file keeps the edits, not the text: the recovery file
// after the first key holds a few bytes beside the file's name.
TEST_F(RecoveryTest, TheFirstKeyInAnOpenedFileWritesTheEditOnly) {
    std::string text(4u << 20, 'a');
    for (std::size_t i = 0; i < text.size(); i += 97)
        text[i] = '\n';
    dir.write("large.txt", text);
    doc.loadFile(dir.file("large.txt"));
    doc.setModified(false);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h});
    doc.replace(text.size() / 2, 1, "\x82\xa0");
    recovery.waitForWrites();
    EXPECT_LT(std::filesystem::file_size(recovery.filePath()),
              200u + 2 * dir.file("large.txt").size());
    text.replace(text.size() / 2, 1, "\x82\xa0");
    const auto c = contentsOf(recovery.filePath());
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->text == text);
    EXPECT_EQ(c->path, dir.file("large.txt"));
}

// A run killed in the middle of an append leaves a torn last record: the
// text comes back up to the last whole record, wherever the file ends, and
// a damaged record ends the replay likewise.
TEST_F(RecoveryTest, ATornLastRecordIsLeftOut) {
    dir.write("vol6.txt", "base text\r\n");
    doc.loadFile(dir.file("vol6.txt"));
    doc.setModified(false);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h});
    struct Edit {
        std::size_t pos, removed;
        std::string bytes, after;
    };
    const std::vector<Edit> edits = {
        {0, 0, "A", "Abase text\r\n"},
        {5, 5, "", "Abase\r\n"},
        {1, 4, "\x82\xa0", "A\x82\xa0\r\n"},
        {5, 0, "end", "A\x82\xa0\r\nend"},
    };
    std::vector<std::size_t> sizes;
    for (const Edit& e : edits) {
        doc.replace(e.pos, e.removed, e.bytes);
        recovery.writeNow();
        recovery.waitForWrites();
        sizes.push_back(std::filesystem::file_size(recovery.filePath()));
    }
    const std::string whole = fileio::readAll(recovery.filePath());
    ASSERT_EQ(whole.size(), sizes.back());
    for (std::size_t n = sizes[0]; n <= whole.size(); ++n) {
        std::size_t last = 0;
        while (last + 1 < sizes.size() && sizes[last + 1] <= n)
            ++last;
        dir.write("cut.dat", whole.substr(0, n));
        const auto c = contentsOf(dir.file("cut.dat"));
        ASSERT_TRUE(c) << n;
        EXPECT_EQ(c->text, edits[last].after) << n;
        EXPECT_EQ(c->path, dir.file("vol6.txt"));
    }
    for (const std::size_t at : {sizes[2], sizes[2] + 9, sizes[3] - 1}) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        dir.write("cut.dat", damaged);
        EXPECT_EQ(contentsOf(dir.file("cut.dat"))->text, edits[2].after) << at;
    }
}

// The edits of a file that changed on disk between the runs are never
// replayed on it: the user is told, and the journal stays under a name that
// is not offered again. A file only touched (same bytes) is still the base.
TEST_F(RecoveryTest, AFileChangedOnDiskSinceIsNeverReplayedOn) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> change;
        bool recovered;
    };
    const std::vector<Case> cases = {
        {"same size", [](const std::string& f) { fileio::writeAll(f, "BASE TEXT\r\n"); }, false},
        {"longer", [](const std::string& f) { fileio::writeAll(f, "base text\r\nmore"); }, false},
        {"removed", [](const std::string& f) { ::unlink(f.c_str()); }, false},
        {"touched",
         [](const std::string& f) {
             namespace fs = std::filesystem;
             fs::last_write_time(f, fs::last_write_time(f) + 1h);
         },
         true},
    };
    for (const Case& c : cases) {
        const std::string base = dir.file(std::string(c.name) + ".txt");
        fileio::writeAll(base, "base text\r\n");
        const std::string left =
            leaveJournal(base, [](Document& d, CrashRecovery&) { d.replace(0, 0, "typed "); });
        const std::string journal = fileio::readAll(left);
        c.change(base);

        doc.setText("");
        doc.setModified(false);
        EXPECT_EQ(startAgain(), c.recovered) << c.name;
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
        EXPECT_FALSE(fileio::exists(left)) << c.name;
        if (c.recovered) {
            EXPECT_EQ(dialogs.boxes[0].text, kOfferText);
            EXPECT_EQ(doc.text(), "typed base text\r\n");
            next->cleanExit();
            continue;
        }
        EXPECT_TRUE(doc.empty()) << c.name;
        EXPECT_FALSE(doc.isModified()) << c.name;
        const auto kept = files("recovered-", ".dat");
        ASSERT_EQ(kept.size(), 1u) << c.name;
        EXPECT_EQ(dir.read(kept[0]), journal) << c.name;
        EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
        EXPECT_EQ(dialogs.boxes[0].buttons, Dialogs::Ok);
        EXPECT_EQ(dialogs.boxes[0].text.toStdString(),
                  "前回、保存されていない変更が残っていますが、元のファイル " + base +
                      " が見つからないか変更されているため復元できません。"
                      "変更の記録はファイル " +
                      dir.file(kept[0]) + " に残してあります。")
            << c.name;
        ::unlink(dir.file(kept[0]).c_str());
        next->cleanExit();
    }
}

// A file changed on disk while its edits are kept: the next write keeps the
// whole text, so the edits no longer hang on the file.
TEST_F(RecoveryTest, AFileChangedOnDiskDuringTheRunIsKeptWhole) {
    const std::string base = dir.file("vol7.txt");
    fileio::writeAll(base, "base text\r\n");
    leaveJournal(base, [&](Document& d, CrashRecovery& r) {
        d.replace(0, 0, "1 ");
        r.waitForWrites();
        fileio::writeAll(base, "another program's text\r\n");
        d.replace(0, 0, "2 ");
    });
    fileio::writeAll(base, "and again\r\n");
    EXPECT_TRUE(startAgain());
    EXPECT_EQ(doc.text(), "2 1 base text\r\n");
    EXPECT_EQ(doc.filePath(), base);
}

// A text replaced as a whole (a file converted on opening) no longer hangs
// on the file it replaced.
TEST_F(RecoveryTest, ATextReplacedWholeNeedsNoBase) {
    const std::string base = dir.file("vol8.txt");
    fileio::writeAll(base, "\xe7\xac\xac"
                           "1\xe5\x8f\xb7\r\n"); // UTF-8
    leaveJournal(base, [](Document& d, CrashRecovery& r) {
        d.replace(0, 0, "x");
        r.waitForWrites();
        d.setText("\x91\xe6\x31\x8d\x86\r\n"); // the same in code page 932
        r.waitForWrites();
        d.replace(2, 0, "y");
    });
    ::unlink(base.c_str());
    EXPECT_TRUE(startAgain());
    EXPECT_EQ(doc.text(), "\x91\xe6y\x31\x8d\x86\r\n");
    EXPECT_EQ(doc.filePath(), base);
}

// A new document's edits need no file; a journal that outgrows its text
// makes way for a snapshot, so the recovery file stays about the size of
// the text, whatever was typed.
TEST_F(RecoveryTest, ANewDocumentsJournalStaysAboutTheSizeOfItsText) {
    CrashRecovery recovery(doc, locations, dialogs, {1h, 0ms});
    const std::string line(1000, 'x');
    for (int i = 0; i < 300; ++i) {
        doc.replace(0, doc.size() > 4000 ? 1000 : 0, line);
        recovery.writeNow();
        recovery.waitForWrites();
        // At most a snapshot of the text and a journal of 64 KiB.
        ASSERT_LT(std::filesystem::file_size(recovery.filePath()), 64u * 1024 + 7000) << i;
    }
    doc.replace(2, 1, "\r\n");
    recovery.waitForWrites();
    std::string text = std::string(5000, 'x');
    text.replace(2, 1, "\r\n");
    EXPECT_EQ(contentsOf(recovery.filePath())->text, text);
}
