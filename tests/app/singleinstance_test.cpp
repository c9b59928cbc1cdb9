#include "app/commandline.h"
#include "app/singleinstance.h"

#include "support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

using Files = std::vector<std::string>;

// Sets (or with nothing, unsets) an environment variable for one scope.
class EnvGuard {
  public:
    EnvGuard(const char* name, const std::optional<std::string>& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value)
            qputenv(name, QByteArray::fromStdString(*value));
        else
            qunsetenv(name);
    }
    ~EnvGuard() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

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

// Without a runtime folder the socket lives in a folder "mmedit-<uid>" of
// the temporary folder that the program makes for this user alone.
TEST(SingleInstance, WithoutARuntimeFolderTheSocketIsInAFolderOfItsOwn) {
    TempDir tmp;
    TempDir program;
    const EnvGuard noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    const EnvGuard temp("TMPDIR", tmp.path());
    const std::string folder = tmp.file("mmedit-" + std::to_string(::geteuid()));

    SingleInstance first(program.path());
    const struct stat made = statOf(folder);
    EXPECT_TRUE(S_ISDIR(made.st_mode));
    EXPECT_EQ(made.st_mode & 0777, 0700u);
    EXPECT_EQ(made.st_uid, ::geteuid());
    EXPECT_TRUE(first.serverName().startsWith(QString::fromStdString(folder + "/mmedit-")))
        << first.serverName().toStdString();
    std::vector<Files> received;
    first.listen([&](const Files& files) { received.push_back(files); });
    EXPECT_TRUE(SingleInstance(program.path()).handOver({"/a.txt"}));
    waitFor([&] { return !received.empty(); });
    EXPECT_EQ(received, std::vector<Files>{{"/a.txt"}});
}

// A folder of that name someone else made, or one others may enter, is not
// used: nothing is handed over and the program runs on its own.
TEST(SingleInstance, AFolderOfAnotherUserOrOpenToOthersIsRefused) {
    struct Case {
        const char* what;
        mode_t mode;
        bool foreign; // owned by nobody (needs root to set up)
        bool link;    // a symbolic link to a folder of this user
    };
    const Case cases[] = {
        {"open to the group and others", 0755, false, false},
        {"writable by everyone", 0777, false, false},
        {"another user's", 0700, true, false},
        {"a link to this user's own folder", 0700, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.foreign && ::geteuid() != 0) continue; // only root can give a folder away
        TempDir tmp;
        TempDir program;
        const EnvGuard noRuntime("XDG_RUNTIME_DIR", std::nullopt);
        const EnvGuard temp("TMPDIR", tmp.path());
        const std::string folder = tmp.file("mmedit-" + std::to_string(::geteuid()));
        if (c.link) {
            ASSERT_EQ(::mkdir(tmp.file("mine").c_str(), 0700), 0);
            ASSERT_EQ(::symlink(tmp.file("mine").c_str(), folder.c_str()), 0);
        } else {
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
            if (c.foreign) {
                ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
            }
        }

        SingleInstance first(program.path());
        EXPECT_TRUE(first.serverName().isEmpty()) << first.serverName().toStdString();
        EXPECT_FALSE(first.problem().isEmpty());
        first.listen([](const Files&) { ADD_FAILURE() << "nothing may arrive"; });
        EXPECT_FALSE(SingleInstance(program.path()).handOver({"/a.txt"}));
        // The folder is left as it was found.
        EXPECT_EQ(statOf(folder).st_mode & 0777, c.link ? 0777u : c.mode);
        if (c.foreign) ::chown(folder.c_str(), ::geteuid(), ::getegid()); // for the clean-up
    }
}

// A runtime folder is used when it is this user's alone; otherwise the
// program's own folder in the temporary folder is.
TEST(SingleInstance, TheRuntimeFolderIsUsedOnlyWhenItIsPrivate) {
    TempDir tmp;
    TempDir runtime;
    TempDir program;
    const EnvGuard temp("TMPDIR", tmp.path());
    const std::string own = tmp.file("mmedit-" + std::to_string(::geteuid()) + "/");
    ASSERT_EQ(::chmod(runtime.path().c_str(), 0700), 0);
    {
        const EnvGuard set("XDG_RUNTIME_DIR", runtime.path());
        EXPECT_TRUE(SingleInstance(program.path())
                        .serverName()
                        .startsWith(QString::fromStdString(runtime.path() + "mmedit-")));
    }
    ASSERT_EQ(::chmod(runtime.path().c_str(), 0755), 0);
    {
        const EnvGuard set("XDG_RUNTIME_DIR", runtime.path());
        EXPECT_TRUE(SingleInstance(program.path())
                        .serverName()
                        .startsWith(QString::fromStdString(own + "mmedit-")));
    }
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

// The socket file goes with the copy that listens; one left by a copy that
// crashed is taken over by the next. A message of many reads arrives whole.
TEST(SingleInstance, TheSocketGoesWithItsCopyAndALeftOneIsTakenOver) {
    TempDir dir;
    std::string path;
    {
        SingleInstance first(dir.path());
        first.listen([](const Files&) {});
        path = first.serverName().toStdString();
        EXPECT_TRUE(S_ISSOCK(statOf(path).st_mode));
    }
    struct stat st;
    EXPECT_NE(::lstat(path.c_str(), &st), 0); // gone

    // A socket file nobody listens on.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(left);
    EXPECT_FALSE(SingleInstance(dir.path()).handOver({"/a.txt"}));

    SingleInstance next(dir.path());
    std::vector<Files> received;
    next.listen([&](const Files& files) { received.push_back(files); });
    Files many;
    for (int k = 0; k < 20; ++k) // within what the socket holds: this thread reads it later
        many.push_back("/" + std::to_string(k) + std::string(3000, 'x'));
    EXPECT_TRUE(SingleInstance(dir.path()).handOver(many));
    waitFor([&] { return !received.empty(); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], many);
}

TEST(SingleInstance, MessagesAreReadBackAndDamagedOnesRefused) {
    const Files files = {"/a", "",
                         "/b\x82\xa0"
                         "c",
                         std::string(3000, 'x')};
    const QByteArray m = SingleInstance::message(files);
    EXPECT_EQ(SingleInstance::readMessage(m), files);
    // A NUL inside a name, anywhere, refuses the whole message.
    for (const std::string& withNul :
         {std::string("/b\0c", 4), std::string("\0", 1), std::string("/b\0", 3)})
        EXPECT_FALSE(SingleInstance::readMessage(SingleInstance::message({"/a", withNul})));
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
