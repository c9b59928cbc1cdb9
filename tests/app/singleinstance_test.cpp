#include "app/commandline.h"
#include "app/singleinstance.h"

#include "support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>

namespace {

void waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

using Files = std::vector<std::string>;

} // namespace

TEST(SingleInstance, ASecondStartHandsItsFileOverToTheFirst) {
    TempDir dir;
    SingleInstance second(dir.path());
    EXPECT_FALSE(second.handOver()); // nobody runs yet
    SingleInstance first(dir.path());
    std::vector<Files> received;
    first.listen([&](const Files& files) { received.push_back(files); });

    // Only this user may reach the running copy.
    struct stat st;
    ASSERT_EQ(::stat(first.serverName().toLocal8Bit().constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    EXPECT_TRUE(second.handOver());
    // A path with bytes that are no UTF-8, a line end and a blank arrives
    // byte for byte.
    const std::string odd = dir.path() + "\x82\xa0 new\nline.txt";
    EXPECT_TRUE(second.handOver({odd}));
    waitFor([&] { return received.size() == 2; });
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], Files{}); // only to the front
    EXPECT_EQ(received[1], Files{odd});

    // Another program folder is another program.
    TempDir other;
    SingleInstance elsewhere(other.path());
    EXPECT_FALSE(elsewhere.handOver({odd}));
}

TEST(SingleInstance, AStrayClientIsIgnored) {
    TempDir dir;
    SingleInstance first(dir.path());
    std::vector<Files> received;
    first.listen([&](const Files& files) { received.push_back(files); });
    // Someone else's bytes, a message cut short, one with bytes after its
    // end: none opens anything.
    const QByteArray whole = SingleInstance::message({dir.path() + "a.txt"});
    auto sendRaw = [&](const QByteArray& bytes) {
        QLocalSocket s;
        s.connectToServer(first.serverName());
        ASSERT_TRUE(s.waitForConnected(1000));
        s.write(bytes);
        s.waitForBytesWritten(1000);
        s.disconnectFromServer();
    };
    sendRaw("show\n");
    sendRaw(whole.left(whole.size() - 3));
    sendRaw(whole + "x");
    SingleInstance second(dir.path());
    EXPECT_TRUE(second.handOver({dir.path() + "b.txt"}));
    waitFor([&] { return !received.empty(); });
    waitFor([] { return false; }, 200); // anything else that might arrive
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], Files{dir.path() + "b.txt"});
}

TEST(SingleInstance, MessagesAreReadBackAndDamagedOnesRefused) {
    const Files files = {"/a", "", std::string("/b\0c", 4), std::string(3000, 'x')};
    const QByteArray m = SingleInstance::message(files);
    EXPECT_EQ(SingleInstance::readMessage(m), files);
    for (qsizetype cut = 0; cut < m.size(); ++cut)
        EXPECT_FALSE(SingleInstance::readMessage(m.left(cut))) << cut;
    // Random damage never crashes and never reads past the bytes.
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray b = m;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k)
            b[static_cast<qsizetype>(rng() % b.size())] = static_cast<char>(rng());
        (void)SingleInstance::readMessage(b);
    }
    // A count far beyond the bytes is refused without reserving for it.
    QByteArray huge = SingleInstance::message({});
    huge[huge.size() - 1] = '\xff';
    huge[huge.size() - 2] = '\xff';
    EXPECT_FALSE(SingleInstance::readMessage(huge));
}

TEST(CommandLine, ReadsOneFileAndTheOptions) {
    using A = CommandLine::Action;
    EXPECT_EQ(parseCommandLine({}).action, A::Run);
    EXPECT_EQ(parseCommandLine({}).file, "");
    EXPECT_EQ(parseCommandLine({"a.txt"}).file, "a.txt");
    EXPECT_EQ(parseCommandLine({"--help"}).action, A::Help);
    EXPECT_EQ(parseCommandLine({"a.txt", "-h"}).action, A::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, A::Version);
    EXPECT_EQ(parseCommandLine({"-v"}).action, A::Version);
    // After "--" everything is a file name.
    EXPECT_EQ(parseCommandLine({"--", "--help"}).file, "--help");
    EXPECT_EQ(parseCommandLine({"--", "-"}).file, "-");
    EXPECT_EQ(parseCommandLine({"-"}).file, "-");

    const CommandLine unknown = parseCommandLine({"--frobnicate"});
    EXPECT_EQ(unknown.action, A::Error);
    EXPECT_EQ(unknown.error, "不明なオプションです: --frobnicate");
    EXPECT_EQ(parseCommandLine({"a.txt", "b.txt"}).action, A::Error);
    EXPECT_EQ(parseCommandLine({""}).action, A::Error);

    // --help and --version are answered before Qt's options are taken out.
    EXPECT_EQ(helpOrVersionText({"-platform", "offscreen", "--help"}), usageText());
    EXPECT_EQ(helpOrVersionText({"--version"}), versionText());
    EXPECT_FALSE(helpOrVersionText({"a.txt"}));
    EXPECT_FALSE(helpOrVersionText({"--", "--help"}));
    EXPECT_NE(versionText().find("1."), std::string::npos);
}

TEST(CommandLine, FilesAreMadeAbsoluteByteForByte) {
    EXPECT_EQ(absolutePath("a.txt", "/home/u"), "/home/u/a.txt");
    EXPECT_EQ(absolutePath("./a.txt", "/home/u/"), "/home/u/a.txt");
    EXPECT_EQ(absolutePath("../x/\x82\xa0.txt", "/home/u"), "/home/u/../x/\x82\xa0.txt");
    EXPECT_EQ(absolutePath("/abs/a.txt", "/home/u"), "/abs/a.txt");
    EXPECT_EQ(absolutePath("a.txt", "/"), "/a.txt");
    EXPECT_FALSE(workingFolder().empty());
}
