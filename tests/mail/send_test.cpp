// Sending: the server's address, the envelope, the message built from the
// export's, the [Mail] settings, and mmedit-cli send against a real SMTP
// server on the loopback address (and the desktop's secret store, where one
// can run).
#include "cli/cli.h"
#include "mail/outgoing.h"
#include "mail/secretstore.h"
#include "mail/sendsettings.h"
#include "mail/smtp.h"

#include "support/clirun.h"
#include "support/sjis.h"
#include "support/smtpserver.h"
#include "support/tempdir.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <sstream>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// An environment variable set for one test, put back afterwards.
struct EnvVar {
    const char* name;
    std::optional<QByteArray> before;
    EnvVar(const char* n, const char* value) : name(n) {
        if (qEnvironmentVariableIsSet(n)) before = qgetenv(n);
        if (value)
            qputenv(n, value);
        else
            qunsetenv(n);
    }
    ~EnvVar() {
        if (before)
            qputenv(name, *before);
        else
            qunsetenv(name);
    }
};

const char* const kNewsletter = "あいうえおかきくけこさしすせそ\r\n.最後の行";
const char* const kNewsletterBody = "あいうえお\r\nかきくけこ\r\nさしすせそ\r\n.最後の行\r\n";

// A newsletter file and a server for it.
struct SendTest : ::testing::Test {
    TempDir dir;
    std::string file;
    SendTest() {
        file = dir.file("t.txt");
        dir.write("t.txt", sj(kNewsletter));
    }
    std::vector<std::string> sendArgs(const SmtpServer& s, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"send",
                                         "--server",
                                         s.url("smtp"),
                                         "--from",
                                         "もるもる <mag@example.jp>",
                                         "--to",
                                         "reader@example.jp",
                                         "--subject",
                                         "創刊号",
                                         "--user",
                                         SmtpServer::kUser,
                                         "--cacert",
                                         s.caFile(),
                                         "--width",
                                         "10",
                                         "--timeout",
                                         "5"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return args;
    }
};

#define START_SERVER(var, ...)                                                                     \
    SmtpServer var(__VA_ARGS__);                                                                   \
    ASSERT_TRUE(var.started()) << var.problem()

TEST(Smtp, ServerAddressesAreMadeWholeOrRefused) {
    struct Case {
        const char* given;
        const char* whole; // "" when refused
        bool tls, loopback;
    };
    const Case cases[] = {
        {"smtps://mail.example.jp", "smtps://mail.example.jp:465", true, false},
        {"smtp://mail.example.jp", "smtp://mail.example.jp:587", false, false},
        {" SMTP://Mail.Example.jp:2525/ ", "smtp://mail.example.jp:2525", false, false},
        {"smtp://127.0.0.1:25", "smtp://127.0.0.1:25", false, true},
        {"smtp://localhost", "smtp://localhost:587", false, true},
        {"smtp://[::1]:25", "smtp://[::1]:25", false, true},
        {"smtp://127.0.0.1.example.jp", "smtp://127.0.0.1.example.jp:587", false, false},
        {"", "", false, false},
        {"mail.example.jp", "", false, false},
        {"http://mail.example.jp", "", false, false},
        {"smtps://mail.example.jp/submit", "", false, false},
        {"smtps://user:pw@mail.example.jp", "", false, false},
    };
    for (const Case& c : cases) {
        const smtp::CheckedUrl r = smtp::checkUrl(u(c.given));
        EXPECT_EQ(r.url, c.whole) << c.given;
        EXPECT_EQ(r.problem.isEmpty(), *c.whole != 0) << c.given;
        if (*c.whole) {
            EXPECT_EQ(r.tls, c.tls) << c.given;
            EXPECT_EQ(r.loopback, c.loopback) << c.given;
        }
    }
}

TEST(Smtp, TheEnvelopeTakesTheBareAddresses) {
    using V = std::vector<std::string>;
    EXPECT_EQ(smtp::bareAddresses(u("a@example.jp")), V{"a@example.jp"});
    EXPECT_EQ(smtp::bareAddresses(u("もるもる <mag@example.jp>")), V{"mag@example.jp"});
    EXPECT_EQ(smtp::bareAddresses(u("\"Doe, John\" <j@example.jp>, b@example.jp ,")),
              (V{"j@example.jp", "b@example.jp"}));
}

TEST(Outgoing, TheMessageIsTheExportsWithoutTheDraftMark) {
    const std::string text = sj("本文");
    const mailexport::MailFields fields{u("mag@example.jp"), u("r@example.jp, s@example.jp"),
                                        u("Issue 1")};
    const QDateTime date(QDate(2026, 6, 1), QTime(9, 0), QTimeZone(9 * 3600));
    const outgoing::Message m = outgoing::build(text, fields, u("返信 <re@example.jp>"),
                                                LayoutRules{20, kNewsletterWrapMode, {}}, date);
    const std::string head = "Date: Mon, 01 Jun 2026 09:00:00 +0900\r\n"
                             "From: mag@example.jp\r\n"
                             "To: r@example.jp, s@example.jp\r\n"
                             "Reply-To: =?ISO-2022-JP?B?GyRCSlY/LhsoQg==?= <re@example.jp>\r\n"
                             "Subject: Issue 1\r\n"
                             "MIME-Version: 1.0\r\n"
                             "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                             "Content-Transfer-Encoding: 7bit\r\n"
                             "Message-ID: <";
    EXPECT_EQ(m.bytes.substr(0, head.size()), head);
    EXPECT_TRUE(m.bytes.ends_with("@example.jp>\r\n\r\n\x1b$BK\\J8\x1b(B\r\n"));
    EXPECT_EQ(m.bytes.find("X-Unsent"), std::string::npos);
    EXPECT_EQ(m.sender, "mag@example.jp");
    EXPECT_EQ(m.recipients, (std::vector<std::string>{"r@example.jp", "s@example.jp"}));

    const mailexport::MailFields test = outgoing::testCopy(fields);
    EXPECT_EQ(test.to, u("mag@example.jp"));
    EXPECT_EQ(test.subject, u("[テスト]Issue 1"));
    EXPECT_THROW(outgoing::build(text, fields, u("not an address"),
                                 LayoutRules{20, kNewsletterWrapMode, {}}, date),
                 MMEditError);
}

TEST(SendSettings, AreKeptInTheMailSectionBesideTheOtherKeys) {
    TempDir dir;
    const std::string path = dir.file("MMEdit.ini");
    dir.write("MMEdit.ini", "[Mail]\r\nSubject=x\r\n[String]\r\nMaxLength=20\r\n");
    EXPECT_EQ(loadSendSettings(path), SendSettings{});
    SendSettings s{u("smtps://mail.example.jp:465"),
                   u("writer"),
                   u("/etc/ca.pem"),
                   u("もるもる <mag@example.jp>"),
                   u("a@example.jp, b@example.jp"),
                   u("re@example.jp")};
    saveServerSettings(path, s);
    saveAddresses(path, s);
    EXPECT_EQ(loadSendSettings(path), s);
    EXPECT_EQ(dir.read("MMEdit.ini"),
              "[Mail]\r\nSubject=x\r\nServer=smtps://mail.example.jp:465\r\n"
              "User=writer\r\nCaFile=/etc/ca.pem\r\nFrom=" +
                  sj("もるもる <mag@example.jp>") +
                  "\r\nTo=a@example.jp, b@example.jp\r\n"
                  "ReplyTo=re@example.jp\r\n"
                  "[String]\r\nMaxLength=20\r\n");
}

TEST_F(SendTest, TheCommandLineSendsANewsletterThatDecodesToTheText) {
    START_SERVER(server, "starttls");
    const EnvVar password("MMEDIT_SMTP_PASSWORD", SmtpServer::kPassword);
    const CliRun r = run(
        sendArgs(server, {"--to", "second@example.jp", "--reply-to", "re@example.jp"}), dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "送信しました: reader@example.jp, second@example.jp (" + server.url("smtp") + ")\n");
    const std::vector<QJsonObject> got = server.received();
    ASSERT_EQ(got.size(), 1u);
    const QJsonObject& m = got[0];
    EXPECT_TRUE(m["tls"].toBool());
    EXPECT_EQ(m["mail_from"].toString(), u("mag@example.jp"));
    EXPECT_EQ(m["rcpt_tos"].toArray(),
              (QJsonArray{u("reader@example.jp"), u("second@example.jp")}));
    const QJsonObject fields = m["fields"].toObject();
    EXPECT_EQ(fields["subject"].toString(), u("創刊号"));
    EXPECT_EQ(fields["from"].toString(), u("もるもる <mag@example.jp>"));
    EXPECT_EQ(fields["to"].toString(), u("reader@example.jp, second@example.jp"));
    EXPECT_EQ(fields["reply-to"].toString(), u("re@example.jp"));
    EXPECT_EQ(m["charset"].toString(), u("iso-2022-jp"));
    EXPECT_EQ(m["body"].toString(), u(kNewsletterBody));
}

TEST_F(SendTest, SmtpsAndALocalRelayWithoutTlsDeliverToo) {
    const EnvVar password("MMEDIT_SMTP_PASSWORD", SmtpServer::kPassword);
    for (const char* mode : {"smtps", "plain"}) {
        START_SERVER(server, mode);
        std::vector<std::string> args = sendArgs(server);
        args[2] = server.url(mode == std::string("smtps") ? "smtps" : "smtp");
        const CliRun r = run(args, dir.path());
        EXPECT_EQ(r.status, 0) << mode << r.err;
        const std::vector<QJsonObject> got = server.received();
        ASSERT_EQ(got.size(), 1u) << mode;
        EXPECT_EQ(got[0]["tls"].toBool(), mode == std::string("smtps")) << mode;
        EXPECT_EQ(got[0]["body"].toString(), u(kNewsletterBody)) << mode;
    }
}

TEST_F(SendTest, EveryFailureEndsWithStatusTwoAMessageAndNothingSent) {
    struct Case {
        const char* mode;
        std::vector<std::string> refuse;
        const char* password;
        std::vector<std::string> extra;
        bool withCa;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"starttls", {}, "wrong", {}, true, "がログインを拒否しました"},
        {"starttls",
         {"reader@example.jp"},
         SmtpServer::kPassword,
         {},
         true,
         "サーバーが宛先 reader@example.jp を受け付けませんでした。\nサーバーの応答: 550 5.1.1"},
        {"starttls", {}, SmtpServer::kPassword, {}, false, "の証明書を信頼できません"},
        {"drop", {}, SmtpServer::kPassword, {}, true, "との接続が途中で切れました"},
        {"silent",
         {},
         SmtpServer::kPassword,
         {"--timeout", "1"},
         true,
         "が応答しません (時間切れ)"},
    };
    for (const Case& c : cases) {
        START_SERVER(server, c.mode, c.refuse);
        const EnvVar password("MMEDIT_SMTP_PASSWORD", c.password);
        std::vector<std::string> args = sendArgs(server, c.extra);
        if (std::string(c.mode) == "drop")
            args.erase(args.begin() + 9, args.begin() + 11); // --user
        if (!c.withCa) args.erase(args.begin() + 11, args.begin() + 13);
        const CliRun r = run(args, dir.path());
        EXPECT_EQ(r.status, 2) << c.mode << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(server.received().empty()) << c.mode;
    }
}

TEST_F(SendTest, AClosedPortAndABadAddressAreToldToo) {
    int closedPort = 0;
    {
        START_SERVER(server, "silent");
        closedPort = server.port();
    }
    const EnvVar password("MMEDIT_SMTP_PASSWORD", "x");
    CliRun r = run({"send", "--server", "smtp://127.0.0.1:" + std::to_string(closedPort), "--from",
                    "a@example.jp", "--to", "b@example.jp", "--subject", "s", file},
                   dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("に接続できません"), std::string::npos) << r.err;
    r = run({"send", "--server", "http://127.0.0.1", "--from", "a@example.jp", "--to",
             "b@example.jp", "--subject", "s", file},
            dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("送信サーバーのアドレスが正しくありません"), std::string::npos) << r.err;
    r = run({"send", "--from", "a@example.jp", "--to", "b@example.jp", "--subject", "s", file},
            dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mmedit-cli: --server (送信サーバー) を指定してください\n");
}

TEST_F(SendTest, TheSendCheckRefusesBeforeAnythingIsSent) {
    START_SERVER(server, "starttls");
    const EnvVar password("MMEDIT_SMTP_PASSWORD", SmtpServer::kPassword);
    dir.write("t.txt", sj("ｶﾀｶﾅ"));
    CliRun r = run(sendArgs(server), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("件あるため送信しませんでした (--replace"), std::string::npos) << r.err;
    EXPECT_TRUE(server.received().empty());
    r = run(sendArgs(server, {"--replace"}), dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0]["body"].toString(), u("カタカナ\r\n"));
}

TEST_F(SendTest, WithoutAPasswordOrASecretStoreNothingIsSent) {
    START_SERVER(server, "starttls");
    const EnvVar password("MMEDIT_SMTP_PASSWORD", nullptr);
    const EnvVar bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    const EnvVar runtime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_FALSE(DesktopSecretStore().available());
    const CliRun r = run(sendArgs(server), dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("パスワードがありません"), std::string::npos) << r.err;
    EXPECT_TRUE(server.received().empty());
}

TEST(Smtp, TheProgressFunctionCancels) {
    START_SERVER(server, "starttls");
    smtp::Server s{QString::fromStdString(server.url("smtp")), u(SmtpServer::kUser),
                   QString::fromStdString(server.caFile())};
    int calls = 0;
    const smtp::Result r =
        smtp::submit(s, u(SmtpServer::kPassword), "a@example.jp", {"b@example.jp"},
                     "Subject: x\r\n\r\nx\r\n", {}, [&](std::uint64_t, std::uint64_t) {
                         ++calls;
                         return false;
                     });
    EXPECT_EQ(r.failure, smtp::Failure::cancelled);
    EXPECT_EQ(r.message, u("送信を取り消しました。"));
    EXPECT_GE(calls, 1);
    EXPECT_TRUE(server.received().empty());
}

// The secret store runs in a private session bus with an unlocked keyring of
// its own: the test starts itself again inside one.
constexpr const char* kInKeyring = "MMEDIT_TEST_IN_KEYRING";

TEST(SecretStore, KeepsFindsAndForgetsThePasswordInARealKeyring) {
    if (!qEnvironmentVariableIsSet(kInKeyring)) {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon is not installed";
        TempDir home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home.path()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(home.path()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(home.file("data")));
        env.insert(QString::fromLatin1(kInKeyring), QStringLiteral("1"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("dbus-run-session"),
                {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("printf unlock | gnome-keyring-daemon --unlock "
                                "--components=secrets >/dev/null && exec \"$0\" "
                                "--gtest_filter='SecretStore.*'"),
                 QCoreApplication::applicationFilePath()});
        ASSERT_TRUE(p.waitForFinished(60000)) << "the keyring session did not end";
        const QString out = QString::fromUtf8(p.readAll());
        if (out.contains(QStringLiteral("no secret store here")))
            GTEST_SKIP() << "the keyring did not start in a private session";
        EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
        return;
    }
    DesktopSecretStore store;
    if (!store.available()) GTEST_FAIL() << "no secret store here";
    const QString server = u("smtps://mail.example.jp:465");
    EXPECT_EQ(store.find(server, u("writer")), std::nullopt);
    EXPECT_TRUE(store.keep(server, u("writer"), u("パス word")));
    EXPECT_EQ(store.find(server, u("writer")), u("パス word"));
    EXPECT_EQ(store.find(server, u("other")), std::nullopt);
    store.forget(server, u("writer"));
    EXPECT_EQ(store.find(server, u("writer")), std::nullopt);

    // mmedit-cli send takes the password from there when the environment
    // has none.
    START_SERVER(smtpServer, "starttls");
    const EnvVar password("MMEDIT_SMTP_PASSWORD", nullptr);
    ASSERT_TRUE(store.keep(QString::fromStdString(smtpServer.url("smtp")), u(SmtpServer::kUser),
                           u(SmtpServer::kPassword)));
    TempDir dir;
    dir.write("t.txt", sj(kNewsletter));
    const CliRun r =
        run({"send", "--server", smtpServer.url("smtp"), "--from", "mag@example.jp", "--to",
             "reader@example.jp", "--subject", "s", "--user", SmtpServer::kUser, "--cacert",
             smtpServer.caFile(), "--width", "10", dir.file("t.txt")},
            dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(smtpServer.received().size(), 1u);
    EXPECT_EQ(smtpServer.received()[0]["body"].toString(), u(kNewsletterBody));
}

} // namespace
