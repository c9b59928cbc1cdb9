#include "cli/cli.h"

#include "support/child.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/lineview.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
struct CliRun {
    int status;
    std::string out, err;
};
CliRun run(const std::vector<std::string>& args, const std::string& folder) {
    std::ostringstream out, err;
    const int s = runCli(args, folder, out, err);
    return {s, out.str(), err.str()};
}
// Runs the command line in a child process, so that a run that blocks or
// aborts fails the test instead of stopping the whole run. The status is -1
// when the run did not end in time or did not end normally.
CliRun runCliInChild(const std::vector<std::string>& args, const std::string& folder,
                     int seconds = 10) {
    // The status, then the length of out, then out and err.
    const std::string report = runInChild(
        [&] {
            const CliRun r = run(args, folder);
            return std::to_string(r.status) + "\n" + std::to_string(r.out.size()) + "\n" + r.out +
                   r.err;
        },
        seconds);
    const auto a = report.find('\n');
    const auto b = a == std::string::npos ? a : report.find('\n', a + 1);
    if (b == std::string::npos) return {-1, "", report};
    const std::size_t outSize = std::stoul(report.substr(a + 1, b - a - 1));
    return {std::stoi(report.substr(0, a)), report.substr(b + 1, outSize),
            report.substr(b + 1 + outSize)};
}

std::string cp932Text(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}
} // namespace

TEST(Cli, ViewAndCountUseTheEditorsLayout) {
    TempDir dir;
    dir.write("issue.txt", cp932Text("あいう。え\r\nabc\r\n") + "\x80\r\n");
    CliRun r = run({"view", "--width", "6", dir.file("issue.txt")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "あいう。\nえ\nabc\n\xEF\xBF\xBD\n"); // hanging 。, invalid byte as U+FFFD
    r = run({"count", "--width=6", dir.file("issue.txt")}, dir.path());
    EXPECT_EQ(r.out, "総行数2\n総文字数=22\n");
}

TEST(Cli, WidthComesFromTheSettingsFileBesideTheProgram) {
    TempDir dir;
    dir.write("t.txt", std::string(30, 'x'));
    EXPECT_EQ(run({"count", dir.file("t.txt")}, dir.path()).out, "総行数0\n総文字数=32\n"); // 80
    dir.write("MMEdit.ini", "[String]\r\nMaxLength=10\r\n");
    EXPECT_EQ(run({"count", dir.file("t.txt")}, dir.path()).out, "総行数1\n総文字数=36\n");
}

TEST(Cli, BadInputGivesOneLineAndStatusTwo) {
    TempDir dir;
    dir.write("t.txt", "x");
    for (const auto& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frob"},
                                               {"view"},
                                               {"view", "--width", "0", "t"},
                                               {"view", "--width", "abc", "t"},
                                               {"view", "--bogus", dir.file("t.txt")},
                                               {"view", dir.file("missing.txt")},
                                               {"view", dir.path()}}) {
        const CliRun r = run(args, dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_NE(run({"view", dir.file("missing.txt")}, dir.path()).err.find("は開けません"),
              std::string::npos);
    const CliRun help = run({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("count"), std::string::npos);
}

TEST(Cli, AFifoIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.file("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CliRun r = runCliInChild({"count", "--width", "10", fifo}, dir.path(), 5);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mmedit-cli: ファイル " + fifo + " は開けません\n");
    EXPECT_TRUE(r.out.empty());
}

TEST(Cli, ASettingsFileThatIsAFifoIsNotRead) {
    TempDir dir;
    dir.write("t.txt", std::string(30, 'x'));
    ASSERT_EQ(::mkfifo(dir.file("MMEdit.ini").c_str(), 0600), 0);
    const CliRun r = runCliInChild({"count", dir.file("t.txt")}, dir.path(), 5);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "総行数0\n総文字数=32\n"); // 80
}

TEST(Cli, AFileTooLargeIsRefusedUnread) {
    TempDir dir;
    for (const off_t size : {off_t{5} << 30, off_t{4} << 30, off_t{1} << 30}) {
        const std::string huge = dir.file("huge.txt");
        const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0); // sparse: no room taken on the disk
        ::close(fd);
        const auto start = std::chrono::steady_clock::now();
        const CliRun r = runCliInChild({"count", "--width", "10", huge}, dir.path(), 5);
        EXPECT_EQ(r.status, 2) << size;
        EXPECT_EQ(r.err, "mmedit-cli: ファイルが大きすぎます: " + huge + "\n") << size;
        EXPECT_TRUE(r.out.empty());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << size;
    }
}

TEST(Cli, ALongTextIsWrittenWholeAndCountedAsTheLayoutCounts) {
    // Far more output than one write, with invalid bytes and every kind of
    // line end, against the line view's own layout.
    TempDir dir;
    std::mt19937 rng(20260613);
    const std::string words[] = {cp932Text("メールマガジン"),
                                 cp932Text("、"),
                                 cp932Text("。"),
                                 "http://example.jp/mag/",
                                 " ",
                                 "\r\n",
                                 "\r",
                                 "\n",
                                 "\x80",
                                 "\x82",
                                 "abc",
                                 cp932Text("「もるもる」")};
    std::string text;
    while (text.size() < 300000)
        text += words[rng() % std::size(words)];
    dir.write("long.txt", text);
    for (const int width : {1, 13, 80}) {
        LineView view;
        view.setRules({width, kNewsletterWrapMode, {}});
        view.layoutAll(text);
        std::string expected;
        for (std::size_t i = 0; i < view.count(); ++i) {
            const LaidLine line = view.line(i);
            expected +=
                cp932::decode(std::string_view(text).substr(line.start, line.length)).toStdString();
            expected += '\n';
        }
        const std::string w = std::to_string(width);
        const CliRun shown = run({"view", "--width", w, dir.file("long.txt")}, dir.path());
        EXPECT_EQ(shown.status, 0);
        EXPECT_TRUE(shown.out == expected) << width;
        const TextTotals totals = view.totals();
        const CliRun counted = run({"count", "--width", w, dir.file("long.txt")}, dir.path());
        EXPECT_EQ(counted.out, "総行数" + std::to_string(totals.lines) +
                                   "\n総文字数=" + std::to_string(totals.characters) + "\n");
    }
}
