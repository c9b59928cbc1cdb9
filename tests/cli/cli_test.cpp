#include "cli/cli.h"

#include "support/tempdir.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

#include <sstream>

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
