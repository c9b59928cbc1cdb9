#include "cli/cli.h"

#include "support/child.h"
#include "support/clirun.h"
#include "support/tempdir.h"
#include "text/cp932.h"
#include "text/fileio.h"
#include "text/lineview.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
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

namespace {
std::string bytesOf(std::initializer_list<unsigned> bs) {
    std::string s;
    for (unsigned b : bs)
        s.push_back(static_cast<char>(b));
    return s;
}
} // namespace

TEST(Cli, CheckListsEveryFindingWithItsPlaceAndStatusOne) {
    TempDir dir;
    dir.write("clean.txt", cp932Text("こんにちは\r\n"));
    CliRun r = run({"check", dir.file("clean.txt")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "送信チェック: 問題は見つかりませんでした\n");

    dir.write("issue.txt", "a" + bytesOf({0x87, 0x40}) + "\tb\r\n" + bytesOf({0xB6, 0xDE}) +
                               "\r\n0123456789abcdef\r\n");
    r = run({"check", "--width", "10", dir.file("issue.txt")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1:2: 機種依存文字(NEC特殊文字): ① (0x8740) → (1)\n"
                     "1:4: タブ(警告): TAB (0x09) → 空白5個\n"
                     "2:1: 半角カナ: ｶﾞ (0xB6 0xDE) → ガ\n"
                     "3:11: 長い行(16桁): a (0x61) → (改行)\n"
                     "送信チェック: 4件 (エラー3件、警告1件)\n");
    EXPECT_TRUE(r.err.empty());
    // The limit: from the option, else from the settings file.
    r = run({"check", "--max-chars=3", dir.file("clean.txt")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "1:7: 文字数超過(6文字): ち (0x82BF)");
    dir.write("MMEdit.ini", "[String]\r\nMaxString=4\r\n"); // the editor holds it to 10
    EXPECT_EQ(run({"check", dir.file("clean.txt")}, dir.path()).status, 0);
    EXPECT_EQ(run({"check", "--max-chars", "0", dir.file("clean.txt")}, dir.path()).status, 0);
}

TEST(Cli, StoredLimitsAreHeldToTheEditorsRange) {
    // 45 double-byte characters (90 columns): five or forty to a line.
    std::string text, at10, at80;
    for (int i = 0; i < 4; ++i) {
        text += cp932Text("あいうえおかきくけこ");
        at10 += cp932Text("あいうえお\r\nかきくけこ\r\n");
    }
    at80 = text + cp932Text("\r\nさしすせそ");
    at10 += cp932Text("さしすせそ");
    text += cp932Text("さしすせそ");
    TempDir dir;
    dir.write("t.txt", text);
    for (const auto& [stored, wrapped] :
         {std::pair{"-5", &at10}, {"5", &at10}, {"10", &at10}, {"80", &at80}, {"200", &at80}}) {
        dir.write("MMEdit.ini", std::string("[String]\r\nMaxLength=") + stored + "\r\n");
        EXPECT_EQ(run({"wrap", dir.file("t.txt")}, dir.path()).out, *wrapped) << stored;
    }
    // A stored limit of 5 counts as 10 characters.
    dir.write("MMEdit.ini", "[String]\r\nMaxString=5\r\n");
    dir.write("twelve.txt", cp932Text("あいうえおかきくけこさし"));
    const CliRun r = run({"check", dir.file("twelve.txt")}, dir.path());
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "1:21: 文字数超過(12文字): さ (0x82B3)");
}

TEST(Cli, WrapAndEmlSendAddressesWholeAndWarnOfLongOnes) {
    TempDir dir;
    const std::string url = "http://example.jp/" + std::string(30, 'a');
    dir.write("t.txt",
              cp932Text("見本：") + url + cp932Text("。\r\nsee http://example.jp/a ok\r\n"));
    const std::string warning = "mmedit-cli: 警告: 1:7: 一行の桁数 (20) より長いアドレス (48桁) "
                                "は切らずに一行に置きました: " +
                                url + "\n";
    CliRun r = run({"wrap", "--width", "20", dir.file("t.txt")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cp932Text("見本：\r\n") + url +
                         cp932Text("。\r\nsee\r\nhttp://example.jp/a\r\nok\r\n"));
    EXPECT_EQ(r.err, warning);
    r = run({"eml", "--from", "a@example.jp", "--to", "b@example.jp", "--subject", "s", "--width",
             "20", dir.file("t.txt"), "-o", dir.file("t.eml")},
            dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, warning);
    EXPECT_NE(dir.read("t.eml").find("\r\n" + url + "\x1b$B!#\x1b(B\r\n"), std::string::npos);
    // The check lists it as a warning, with no code and no suggestion.
    r = run({"check", "--width", "20", dir.file("t.txt")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1:7: 長いアドレス(48桁): " + url +
                         "\n1:7: 長い行(56桁): h (0x68) → (改行)\n"
                         "2:5: 長い行(26桁): h (0x68) → (改行)\n"
                         "送信チェック: 3件 (エラー2件、警告1件)\n");
}

TEST(Cli, WrapHtmlAndEmlWriteWhatTheEditorWrites) {
    TempDir dir;
    const std::string text = cp932Text("あいうえおかきくけこさしすせそ\r\n<b>");
    dir.write("t.txt", text);
    CliRun r = run({"wrap", "--width", "10", dir.file("t.txt")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cp932Text("あいうえお\r\nかきくけこ\r\nさしすせそ\r\n<b>"));
    r = run({"wrap", "--width", "10", dir.file("t.txt"), "-o", dir.file("w.txt")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(dir.read("w.txt"), cp932Text("あいうえお\r\nかきくけこ\r\nさしすせそ\r\n<b>"));
    r = run({"html", "--width=10", dir.file("t.txt"), "-o", dir.file("t.html")}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(dir.read("t.html").find("&lt;b&gt;"), std::string::npos);

    r = run({"eml", "--from", "もるもる <mag@example.jp>", "--to", "reader@example.jp", "--subject",
             "創刊号", "--width", "10", dir.file("t.txt"), "-o", dir.file("t.eml")},
            dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string eml = dir.read("t.eml");
    EXPECT_NE(eml.find("\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"), std::string::npos);
    EXPECT_NE(eml.find("\r\nSubject: =?ISO-2022-JP?B?"), std::string::npos);
    EXPECT_NE(eml.find("\r\n\r\n\x1b$B$\"$$$&$($*\x1b(B\r\n"), std::string::npos); // あいうえお
}

TEST(Cli, EmlRefusesWhatCannotBeSentUnlessAskedToReplaceIt) {
    TempDir dir;
    const std::string text = "a" + bytesOf({0x87, 0x40}) + bytesOf({0xB6}) + "\r\n";
    dir.write("t.txt", text);
    const std::vector<std::string> base = {"eml",          "--from",    "a@example.jp", "--to",
                                           "b@example.jp", "--subject", "第①回"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    CliRun r = run(with({dir.file("t.txt"), "-o", dir.file("t.eml")}), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "1:2: 機種依存文字(NEC特殊文字): ① (0x8740) → (1)");
    EXPECT_NE(r.err.find("書き出しませんでした"), std::string::npos);
    EXPECT_FALSE(fileio::exists(dir.file("t.eml")));
    r = run(with({"--replace", dir.file("t.txt"), "-o", dir.file("t.eml")}), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(dir.read("t.eml").find("\r\n\r\na(1)\x1b$B%+\x1b(B\r\n"), std::string::npos);
    EXPECT_EQ(dir.read("t.txt"), text); // the file itself is not changed
    // Without --replace the subject is refused too.
    dir.write("ok.txt", "ok\r\n");
    r = run(with({dir.file("ok.txt"), "-o", dir.file("ok.eml")}), dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("件名に ISO-2022-JP で送れない文字があります: ①"), std::string::npos);
}

TEST(Cli, BadOptionsAndFailedWritesGiveStatusTwoAndKeepTheOldFile) {
    TempDir dir;
    dir.write("t.txt", "x\r\n");
    dir.write("old.eml", "old");
    const std::string t = dir.file("t.txt");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"check", "--max-chars", "-1", t},
             {"check", "--max-chars", t},
             {"check", "-o", dir.file("o"), t},
             {"wrap", "--subject", "x", t},
             {"html", t},
             {"html", t, "-o"},
             {"eml", "--from", "a@example.jp", "--to", "b@example.jp", t, "-o", dir.file("o")},
             {"eml", "--from", "nobody", "--to", "b@example.jp", "--subject", "s", t, "-o",
              dir.file("old.eml")},
             {"eml", "--from", "a@example.jp", "--to", "b@example.jp", "--subject",
              "s\r\nBcc: spy@example.jp", t, "-o", dir.file("old.eml")},
             {"count", "--replace", t}}) {
        const CliRun r = run(args, dir.path());
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(dir.read("old.eml"), "old");
    // A write that fails midway leaves the old file as it was.
    fileio::testing::setWriteHook([](std::size_t) { return false; });
    const CliRun r = run({"eml", "--from", "a@example.jp", "--to", "b@example.jp", "--subject", "s",
                          t, "-o", dir.file("old.eml")},
                         dir.path());
    fileio::testing::setWriteHook({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mmedit-cli: ストリームへの書き込みエラー\n");
    EXPECT_EQ(dir.read("old.eml"), "old");
    const CliRun help = run({"--help"}, dir.path());
    for (const char* c :
         {"view", "count", "check", "wrap", "html", "eml", "--max-chars", "--replace"})
        EXPECT_NE(help.out.find(c), std::string::npos) << c;
}

TEST(Cli, OutputThatCannotBeWrittenGivesStatusTwo) {
    TempDir dir;
    dir.write("t.txt", std::string(1 << 20, 'x'));
    const std::string t = dir.file("t.txt");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"wrap", t}, {"view", t}, {"check", "--max-chars", "3", t}, {"--help"}}) {
        std::ofstream full("/dev/full", std::ios::binary);
        if (!full) GTEST_SKIP() << "no /dev/full here";
        std::ostringstream err;
        EXPECT_EQ(runCli(args, dir.path(), full, err), 2) << args[0];
        EXPECT_EQ(err.str(), "mmedit-cli: 標準出力に書き込めませんでした\n") << args[0];
    }
}

TEST(Cli, ImportConvertsOtherEncodingsToCodePage932WithCrLf) {
    TempDir dir;
    // お知らせ / 〜− in code page 932 with CR LF.
    const std::string cp932 = "\x82\xa8\x92m\x82\xe7\x82\xb9\r\n\x81`\x81|\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"UTF-8", "お知らせ\n〜−\n", cp932},
        {"UTF-8 with a BOM and CR LF", "\xEF\xBB\xBFお知らせ\r\n〜−\r\n", cp932},
        {"EUC-JP", "\xa4\xaa\xc3\xce\xa4\xe9\xa4\xbb\n\xa1\xc1\xa1\xdd\n", cp932},
        {"ISO-2022-JP", "\x1b$B$*CN$i$;\x1b(B\n\x1b$B!A!]\x1b(B\n", cp932},
        // Code page 932 comes out byte for byte, LF line ends and all.
        {"code page 932", "\x82\xa8\x92m\n\xff", "\x82\xa8\x92m\n\xff"},
    };
    for (const Case& c : cases) {
        dir.write("in.txt", c.bytes);
        CliRun r = run({"import", dir.file("in.txt")}, dir.path());
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        EXPECT_EQ(r.out, c.expected) << c.what;
        r = run({"import", dir.file("in.txt"), "-o", dir.file("out.txt")}, dir.path());
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_EQ(dir.read("out.txt"), c.expected) << c.what;
    }
}

TEST(Cli, ImportListsWhatCodePage932CannotHoldAndWritesNothing) {
    TempDir dir;
    dir.write("in.txt", "お知らせ\nCafé 😀\n");
    dir.write("old.txt", "old");
    CliRun r = run({"import", dir.file("in.txt"), "-o", dir.file("old.txt")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "2 行 4 桁: é (U+00E9)\n"
                     "2 行 6 桁: 😀 (U+1F600)\n"
                     "mmedit-cli: UTF-8 から変換できない文字 (Shift-JIS にない文字) が 2件"
                     "あるため書き出しませんでした\n");
    EXPECT_EQ(dir.read("old.txt"), "old");
    r = run({"import", dir.file("in.txt")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    // Usage and file errors.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"import"},
             {"import", dir.file("in.txt"), dir.file("old.txt")},
             {"import", dir.file("missing.txt")},
             {"import", dir.path()},
             {"import", "--max-chars", "20", dir.file("in.txt")},
         }) {
        r = run(args, dir.path());
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("mmedit-cli: ")) << r.err;
    }
}
