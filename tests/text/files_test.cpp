#include "support/child.h"
#include "support/tempdir.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <random>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::string_view_literals;
using V = std::vector<std::string>;

namespace {

// Runs `body` in a child process and returns what it returned, "error: " and
// the text of the MMEditError it threw, or how it ended otherwise. A read that
// blocks, aborts or runs out of memory so fails the test instead of stopping
// the whole run.
std::string inChild(const std::function<std::string()>& body, int seconds = 10) {
    return runInChild(
        [&]() -> std::string {
            try {
                return body();
            } catch (const FileTooLargeError& e) {
                return "too large: " + e.message().toStdString();
            } catch (const MMEditError& e) {
                return "error: " + e.message().toStdString();
            } catch (const std::exception& e) {
                return std::string("exception: ") + e.what();
            }
        },
        seconds);
}

std::string errorOf(const QString& text) {
    return "error: " + text.toStdString();
}

std::string tooLarge(const std::string& path) {
    return "too large: " + tooLargeErrorText(path).toStdString();
}

// A file of the given size that takes no room on the disk.
void makeSparse(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// The names in a folder, sorted.
V namesIn(const std::string& folder) {
    V names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a child process as an ordinary user: root (as the tests run in
// CI) passes every permission check, so a root run takes the user nobody.
std::string asOrdinaryUser(const std::function<std::string()>& body) {
    return inChild([&]() -> std::string {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0))
            return "could not become nobody";
        ::prctl(PR_SET_DUMPABLE, 1); // the sanitizers read /proc/self
        return body();
    });
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(LineList, ReadsEveryLineEndAndStopsAtZero) {
    EXPECT_EQ(linelist::parse(""sv), V{});
    EXPECT_EQ(linelist::parse("a\r\nb\rc\nd"sv), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(linelist::parse("a\r\n"sv), V{"a"});
    EXPECT_EQ(linelist::parse("a\r\n\r\n"sv), (V{"a", ""}));
    EXPECT_EQ(linelist::parse("\n\r"sv), (V{"", ""})); // LF, then lone CR
    EXPECT_EQ(linelist::parse("\r\r\n"sv), (V{"", ""}));
    EXPECT_EQ(linelist::parse(std::string_view("a\nb\0c\nd", 7)), (V{"a", "b"}));
    EXPECT_EQ(linelist::parse("\x81\r\n\x82\xA0"sv), (V{"\x81", "\x82\xA0"}));
}

TEST(LineList, WritesCrLfAfterEveryEntry) {
    EXPECT_EQ(linelist::format({}), "");
    EXPECT_EQ(linelist::format({"a", "", "\x82\xA0"}), "a\r\n\r\n\x82\xA0\r\n");
}

TEST(Files, ReadAndWriteKeepEveryByte) {
    TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    fileio::writeAll(dir.file("all.bin"), all);
    EXPECT_EQ(fileio::readAll(dir.file("all.bin")), all);
    fileio::writeAll(dir.file("all.bin"), "");
    EXPECT_EQ(fileio::readAll(dir.file("all.bin")), "");
    // No temporary file is left beside it.
    fileio::writeAll(dir.file("x"), "y");
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++n;
    EXPECT_EQ(n, 2);
}

TEST(Files, MissingFileGivesTheOpenText) {
    TempDir dir;
    try {
        fileio::readAll(dir.file("none.txt"));
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(),
                  QString::fromStdString("ファイル " + dir.file("none.txt") + " は開けません"));
    }
    EXPECT_THROW(fileio::readAll(dir.path()), MMEditError); // a folder
}

TEST(Files, ReadingAFifoNeitherBlocksNorReads) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(inChild([&] { return fileio::readAll(fifo); }, 5), errorOf(openErrorText(fifo)));
}

TEST(Files, ReadingAFolderOrADeviceGivesTheOpenText) {
    TempDir dir;
    EXPECT_EQ(inChild([&] { return fileio::readAll(dir.path()); }),
              errorOf(openErrorText(dir.path())));
    for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
        if (!fileio::exists(device)) continue;
        EXPECT_EQ(inChild([&] { return fileio::readAll(device); }, 5),
                  errorOf(openErrorText(device)))
            << device;
    }
}

TEST(Files, AFileLargerThanTheProgramHoldsIsRefusedUnread) {
    TempDir dir;
    const std::string huge = dir.file("huge.txt");
    makeSparse(huge, off_t{5} << 30);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(inChild([&] { return fileio::readAll(huge); }, 5), tooLarge(huge));
    const std::string over = dir.file("over.txt");
    makeSparse(over, static_cast<off_t>(kMaxDocumentBytes) + 1);
    EXPECT_EQ(inChild([&] { return fileio::readAll(over); }, 5), tooLarge(over));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(kMaxDocumentBytes, (std::size_t{1} << 30) - 1);
}

TEST(Files, TheSizeLimitIsInclusive) {
    TempDir dir;
    dir.write("ten.txt", "0123456789");
    EXPECT_EQ(fileio::readAll(dir.file("ten.txt"), 10), "0123456789");
    dir.write("eleven.txt", "0123456789A");
    try {
        fileio::readAll(dir.file("eleven.txt"), 10);
        FAIL();
    } catch (const FileTooLargeError& e) {
        EXPECT_EQ(e.message(), QString::fromStdString("ファイル " + dir.file("eleven.txt") +
                                                      " は大きすぎて開けません"));
    }
    dir.write("empty.txt", "");
    EXPECT_EQ(fileio::readAll(dir.file("empty.txt"), 0), "");
    // Files that do not tell their size are held to the limit while reading.
    if (fileio::exists("/proc/self/status")) {
        EXPECT_FALSE(fileio::readAll("/proc/self/status").empty());
        EXPECT_THROW(fileio::readAll("/proc/self/status", 8), FileTooLargeError);
    }
}

TEST(Files, TheReaderChecksAsReadAllDoesAndReadsInPieces) {
    TempDir dir;
    EXPECT_THROW(fileio::FileReader(dir.file("missing.txt")), MMEditError);
    EXPECT_THROW(fileio::FileReader(dir.path()), MMEditError);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(inChild(
                  [&] {
                      fileio::FileReader r(fifo);
                      return std::string("opened");
                  },
                  5),
              errorOf(openErrorText(fifo)));
    dir.write("ten.txt", "0123456789");
    EXPECT_THROW(fileio::FileReader(dir.file("ten.txt"), 9), FileTooLargeError);

    fileio::FileReader r(dir.file("ten.txt"), 10);
    EXPECT_EQ(r.sizeHint(), 10u);
    char buf[16];
    EXPECT_EQ(r.read(buf, 4), 4u);
    EXPECT_EQ(std::string_view(buf, 4), "0123");
    EXPECT_EQ(r.readFully(buf, sizeof buf), 6u);
    EXPECT_EQ(std::string_view(buf, 6), "456789");
    EXPECT_EQ(r.read(buf, sizeof buf), 0u);
    EXPECT_EQ(r.bytesRead(), 10u);

    // A file that tells no size is held to the limit while it is read.
    if (fileio::exists("/proc/self/status")) {
        fileio::FileReader status("/proc/self/status", 8);
        EXPECT_EQ(status.sizeHint(), 0u);
        char piece[64];
        EXPECT_THROW(status.readFully(piece, sizeof piece), FileTooLargeError);
    }
}

TEST(Files, RandomFilesAreReadByteForByte) {
    TempDir dir;
    std::mt19937 rng(20260612);
    for (int round = 0; round < 12; ++round) {
        const std::size_t n = round < 4 ? rng() % 3 : rng() % (1 << 18);
        std::string bytes(n, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng() % 256);
        fileio::writeAll(dir.file("random.bin"), bytes);
        ASSERT_TRUE(fileio::readAll(dir.file("random.bin")) == bytes) << round;
        fileio::FileReader r(dir.file("random.bin"));
        std::string pieces;
        char piece[1000];
        while (const std::size_t got = r.read(piece, 1 + rng() % sizeof piece))
            pieces.append(piece, got);
        ASSERT_TRUE(pieces == bytes) << round;
    }
}

TEST(Files, FailedWritesLeaveTheOldFileIntact) {
    TempDir dir;
    dir.write("doc.txt", "old contents");
    ::mkdir(dir.file("folder").c_str(), 0777);
    // A folder in place of the file.
    try {
        fileio::writeAll(dir.file("folder"), "x");
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), createErrorText(dir.file("folder")));
    }
    // A path under a regular file.
    EXPECT_THROW(fileio::writeAll(dir.file("doc.txt/sub"), "x"), MMEditError);
    // A write that fails midway.
    const std::string big(3 << 20, 'z');
    fileio::testing::setWriteHook([](std::size_t done) { return done < (1 << 20); });
    try {
        fileio::writeAll(dir.file("doc.txt"), big);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("ストリームへの書き込みエラー"));
    }
    fileio::testing::setWriteHook({});
    EXPECT_EQ(dir.read("doc.txt"), "old contents");
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++n;
    EXPECT_EQ(n, 2); // doc.txt and folder: no temporary file left
}

TEST(Files, WritingKeepsPermissionsAndSymbolicLinks) {
    TempDir dir;
    dir.write("real.txt", "a");
    ::chmod(dir.file("real.txt").c_str(), 0640);
    ::symlink(dir.file("real.txt").c_str(), dir.file("link.txt").c_str());
    fileio::writeAll(dir.file("link.txt"), "b");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read("real.txt"), "b");
    ASSERT_EQ(::stat(dir.file("real.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Files, WritingThroughADanglingLinkCreatesTheFileItNames) {
    TempDir dir;
    ASSERT_EQ(::symlink("new.txt", dir.file("link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("link.txt", dir.file("link2.txt").c_str()), 0);
    fileio::writeAll(dir.file("link2.txt"), "b");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(dir.file("link2.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read("new.txt"), "b");
    EXPECT_EQ(namesIn(dir.path()), (V{"link.txt", "link2.txt", "new.txt"}));

    // A link into a folder that does not exist is not replaced either.
    ASSERT_EQ(::symlink(dir.file("none/x.txt").c_str(), dir.file("far.txt").c_str()), 0);
    try {
        fileio::writeAll(dir.file("far.txt"), "c");
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), createErrorText(dir.file("far.txt")));
    }
    ASSERT_EQ(::lstat(dir.file("far.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(Files, WritingThroughALinkLoopFails) {
    TempDir dir;
    ASSERT_EQ(::symlink("b", dir.file("a").c_str()), 0);
    ASSERT_EQ(::symlink("a", dir.file("b").c_str()), 0);
    try {
        fileio::writeAll(dir.file("a"), "x");
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(),
                  QString::fromStdString("ファイル " + dir.file("a") + " を作成できません"));
    }
    struct stat st {};
    for (const char* name : {"a", "b"}) {
        ASSERT_EQ(::lstat(dir.file(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
    }
    EXPECT_EQ(namesIn(dir.path()), (V{"a", "b"}));
}

TEST(Files, AnInterruptedSaveIsClearedByTheNextOne) {
    TempDir dir;
    dir.write("doc.txt", "old contents");
    const std::string big(3 << 20, 'z');
    // The process ends in the middle of the save.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        fileio::testing::setWriteHook([](std::size_t done) {
            if (done >= (1 << 20)) ::_exit(0);
            return true;
        });
        try {
            fileio::writeAll(dir.file("doc.txt"), big);
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.read("doc.txt"), "old contents");
    V names = namesIn(dir.path());
    ASSERT_EQ(names.size(), 2u);
    const std::string left = names[0];
    const std::string prefix = ".doc.txt.mmedit-save.";
    EXPECT_TRUE(left.starts_with(prefix)) << left;
    EXPECT_EQ(left.size(), prefix.size() + 6) << left;

    // Files that only look alike stay.
    dir.write(".doc.txt.mmedit-save.abc", "short");
    dir.write(".doc.txt.mmedit-save.abcdefg", "long");
    dir.write(".other.txt.mmedit-save.Ab12Cd", "other target");
    dir.write(".doc.txt.Ab12Cd", "other pattern");
    ::mkdir(dir.file(".doc.txt.mmedit-save.Folder").c_str(), 0777);
    ::symlink(dir.file("doc.txt").c_str(), dir.file(".doc.txt.mmedit-save.Link01").c_str());
    V kept = namesIn(dir.path());
    kept.erase(std::find(kept.begin(), kept.end(), left));
    if (::geteuid() == 0) {
        dir.write(".doc.txt.mmedit-save.Owned1", "someone else's");
        ASSERT_EQ(::chown(dir.file(".doc.txt.mmedit-save.Owned1").c_str(), 4321, 4321), 0);
        kept.push_back(".doc.txt.mmedit-save.Owned1");
        std::sort(kept.begin(), kept.end());
    }

    fileio::writeAll(dir.file("doc.txt"), "new contents");
    EXPECT_EQ(dir.read("doc.txt"), "new contents");
    EXPECT_EQ(namesIn(dir.path()), kept);
}

TEST(Files, WritingKeepsTheOwnerAndGroup) {
    TempDir dir;
    dir.write("doc.txt", "a");
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (uid == 0) {
        uid = 4321;
        gid = 4322;
    } else {
        // A group of this user's other than the one new files get.
        gid_t groups[256];
        const int n = ::getgroups(256, groups);
        for (int i = 0; i < n; ++i)
            if (groups[i] != gid) {
                gid = groups[i];
                break;
            }
        if (gid == ::getegid()) GTEST_SKIP() << "no other group to give the file";
    }
    ASSERT_EQ(::chown(dir.file("doc.txt").c_str(), uid, gid), 0);
    ::chmod(dir.file("doc.txt").c_str(), 0640);
    fileio::writeAll(dir.file("doc.txt"), "b");
    EXPECT_EQ(dir.read("doc.txt"), "b");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("doc.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_gid, gid);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Files, MoveNeverReplaces) {
    TempDir dir;
    dir.write("a", "A");
    dir.write("b", "B");
    EXPECT_FALSE(fileio::moveNoReplace(dir.file("a"), dir.file("b")));
    EXPECT_EQ(dir.read("a"), "A");
    EXPECT_EQ(dir.read("b"), "B");
    EXPECT_TRUE(fileio::moveNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(fileio::exists(dir.file("a")));
    EXPECT_EQ(dir.read("c"), "A");
}

TEST(Files, TheSaveIsOnTheDiskBeforeItReplacesTheOldFile) {
    using fileio::testing::WriteStep;
    TempDir dir;
    dir.write("doc.txt", "old");
    std::vector<std::pair<WriteStep, std::size_t>> steps;
    fileio::testing::setStepHook([&](WriteStep step, std::size_t done) {
        steps.emplace_back(step, done);
        return true;
    });
    fileio::writeAll(dir.file("doc.txt"), "new");
    EXPECT_EQ(steps, (decltype(steps){
                         {WriteStep::write, 0}, {WriteStep::sync, 3}, {WriteStep::rename, 3}}));
    // A flush or a rename that fails leaves the old file and no temporary.
    for (const WriteStep failing : {WriteStep::sync, WriteStep::rename}) {
        fileio::testing::setStepHook([&](WriteStep step, std::size_t) { return step != failing; });
        EXPECT_THROW(fileio::writeAll(dir.file("doc.txt"), "newer"), MMEditError);
        EXPECT_EQ(dir.read("doc.txt"), "new");
        EXPECT_EQ(namesIn(dir.path()), V{"doc.txt"});
    }
    fileio::testing::setStepHook({});
}

TEST(Files, TheFilesOwnPermissionsDecideHowItIsReplaced) {
    // A file the user may not write is refused in a folder anyone may write;
    // one the user may write in a read-only folder is written in place, and a
    // failed step there puts the old bytes back.
    using fileio::testing::WriteStep;
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    dir.write("locked.txt", "locked");
    ::chmod(dir.file("locked.txt").c_str(), 0444);
    ::mkdir(dir.file("ro").c_str(), 0755);
    const std::string doc = dir.file("ro/doc.txt");
    dir.write("ro/doc.txt", "old");
    ::chmod(doc.c_str(), 0646); // others may write it
    ::chmod(dir.file("ro").c_str(), 0555);
    const std::string result = asOrdinaryUser([&] {
        std::string r;
        auto attempt = [&](const std::string& path, std::string_view bytes) {
            try {
                fileio::writeAll(path, bytes);
                r += "ok";
            } catch (const MMEditError& e) {
                r += e.message().toStdString();
            }
            r += " " + fileio::readAll(path) + "; ";
        };
        attempt(dir.file("locked.txt"), "x");
        attempt(doc, "a longer text");
        attempt(doc, "short");
        fileio::testing::setWriteHook([](std::size_t done) { return done < (1 << 20); });
        attempt(doc, std::string(3 << 20, 'z'));
        for (const WriteStep failing : {WriteStep::truncate, WriteStep::sync}) {
            fileio::testing::setStepHook(
                [=](WriteStep step, std::size_t) { return step != failing; });
            attempt(doc, "a longer text");
        }
        return r;
    });
    const std::string failed = writeErrorText().toStdString() + " short; ";
    EXPECT_EQ(result, createErrorText(dir.file("locked.txt")).toStdString() +
                          " locked; ok a longer text; ok short; " + failed + failed + failed);
    EXPECT_EQ(modeOf(dir.file("locked.txt")), 0444u);
    EXPECT_EQ(modeOf(doc), 0646u);
    EXPECT_EQ(namesIn(dir.path()), (V{"locked.txt", "ro"})); // no temporary left
    EXPECT_EQ(namesIn(dir.file("ro")), V{"doc.txt"});
    ::chmod(dir.file("ro").c_str(), 0755);
}

TEST(Files, ACopiedBackupKeepsTheOriginalsPermissions) {
    // Hard links do not cross file systems: the backup there is a copy.
    TempDir dir;
    const std::string backup = "/dev/shm/mmedit-test-backup-" + std::to_string(::getpid());
    struct stat here {
    }, there{};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    for (const mode_t mode : {0600u, 0640u, 0666u}) {
        dir.write("doc.txt", "contents");
        ::chmod(dir.file("doc.txt").c_str(), mode);
        ASSERT_TRUE(fileio::copyNoReplace(dir.file("doc.txt"), backup));
        EXPECT_EQ(fileio::readAll(backup), "contents");
        EXPECT_EQ(modeOf(backup), mode);
        ::unlink(backup.c_str());
    }
}
