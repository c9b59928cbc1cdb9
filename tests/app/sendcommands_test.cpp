// 送信 and テスト送信 through the main window, against an SMTP server on the
// loopback address; the sending dialogs looked at.
#include "mainwindowtest.h"

#include "app/findingswindow.h"
#include "app/mailcommands.h"
#include "app/senddialogs.h"

#include "settings/profile.h"
#include "support/screenshots.h"
#include "support/sjis.h"
#include "support/smtpserver.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// A secret store in memory.
struct MemoryStore : SecretStore {
    bool runs = true;
    std::map<std::pair<QString, QString>, QString> items;
    bool available() override { return runs; }
    std::optional<QString> find(const QString& server, const QString& user) override {
        const auto it = items.find({server, user});
        return it == items.end() ? std::nullopt : std::optional<QString>(it->second);
    }
    bool keep(const QString& server, const QString& user, const QString& password) override {
        if (!runs) return false;
        items[{server, user}] = password;
        return true;
    }
    void forget(const QString& server, const QString& user) override {
        items.erase({server, user});
    }
};

struct SendWindowTest : MainWindowTest {
    SmtpServer server{"starttls"};
    MemoryStore store;
    std::vector<bool> promptedTest;
    std::optional<PasswordAnswer> password = PasswordAnswer{u(SmtpServer::kPassword), true};
    int passwordAsked = 0;
    QString subject = u("週刊もるもる 第1号");

    SendWindowTest() {
        if (!server.started()) return;
        dir.write("link.dat", "a\r\nb\r\n");
        dir.write("MMEdit.ini",
                  "[String]\r\nMaxLength=20\r\n[Mail]\r\nServer=" + server.url("smtp") +
                      "\r\nUser=writer\r\nCaFile=" + server.caFile() +
                      "\r\nTo=reader@example.jp, second@example.jp\r\n");
        startWindow();
        settings.document.authorMail = "mag@example.jp";
        settings.document.authorName = sj("もるもる");
        mail().setSecretStore(&store);
        mail().setSendTimeouts({5, 5});
        mail().setSendPrompt([this](const SendRequest& initial, bool test) {
            promptedTest.push_back(test);
            SendRequest r = initial;
            r.subject = subject;
            return std::optional<SendRequest>(r);
        });
        mail().setPasswordPrompt([this](const QString& url, const QString& user, bool canKeep) {
            ++passwordAsked;
            EXPECT_EQ(url, QString::fromStdString(server.url("smtp")));
            EXPECT_EQ(user, u("writer"));
            EXPECT_EQ(canKeep, store.runs);
            return password;
        });
        editor().setText(sj("こんにちは。今週のお知らせです。よろしく") + "\r\n");
    }
    MailCommands& mail() { return main->mail(); }
    void choose(const char* name) {
        for (QAction* a : main->menu(QStringLiteral("File1"))->actions())
            if (a->objectName() == QLatin1String(name)) return a->trigger();
        ADD_FAILURE() << name << " is not in the File menu";
    }
};

#define REQUIRE_SERVER() ASSERT_TRUE(server.started()) << server.problem()

TEST_F(SendWindowTest, TheMenuOffersBothSendsAfterTheExport) {
    REQUIRE_SERVER();
    QStringList names;
    for (QAction* a : main->menu(QStringLiteral("File1"))->actions())
        names << a->objectName();
    const qsizetype at = names.indexOf(QStringLiteral("MailExport1"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(names.mid(at, 3),
              (QStringList{QStringLiteral("MailExport1"), QStringLiteral("MailSend"),
                           QStringLiteral("MailTestSend")}));
}

TEST_F(SendWindowTest, ATestCopyGoesToTheSenderAndThePasswordIsAskedOnce) {
    REQUIRE_SERVER();
    choose("MailTestSend");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const QString where = QString::fromStdString(server.url("smtp"));
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(dialogs.boxes[0].caption, u("テスト送信"));
    EXPECT_EQ(dialogs.boxes[0].text, u("送信しました。\n\n宛先: もるもる <mag@example.jp>\n"
                                       "件名: [テスト]週刊もるもる 第1号\n送信サーバー: ") +
                                         where);
    std::vector<QJsonObject> got = server.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["rcpt_tos"].toArray(), QJsonArray{u("mag@example.jp")});
    QJsonObject fields = got[0]["fields"].toObject();
    EXPECT_EQ(fields["to"].toString(), u("もるもる <mag@example.jp>"));
    EXPECT_EQ(fields["subject"].toString(), u("[テスト]週刊もるもる 第1号"));
    EXPECT_EQ(got[0]["body"].toString(), u("こんにちは。今週のお\r\n知らせです。よろしく\r\n"));
    EXPECT_EQ(passwordAsked, 1);
    EXPECT_EQ(store.find(where, u("writer")), u(SmtpServer::kPassword));

    // The real send: to the list, the kept password, the subject as given.
    choose("MailSend");
    EXPECT_EQ(passwordAsked, 1);
    EXPECT_EQ(promptedTest, (std::vector<bool>{true, false}));
    got = server.received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1]["rcpt_tos"].toArray(),
              (QJsonArray{u("reader@example.jp"), u("second@example.jp")}));
    fields = got[1]["fields"].toObject();
    EXPECT_EQ(fields["subject"].toString(), u("週刊もるもる 第1号"));
    EXPECT_EQ(got[1]["body"].toString(), got[0]["body"].toString());
    // The addresses and subject are remembered; the password never is.
    const std::string ini = dir.read("MMEdit.ini");
    EXPECT_EQ(ini.find(SmtpServer::kPassword), std::string::npos);
    EXPECT_EQ(ProfileFile(ini).readString("Mail", "Subject", ""), sj("週刊もるもる 第1号"));
}

TEST_F(SendWindowTest, ARefusedPasswordIsToldForgottenAndNothingIsSent) {
    REQUIRE_SERVER();
    const QString where = QString::fromStdString(server.url("smtp"));
    store.items[{where, u("writer")}] = u("wrong");
    choose("MailSend");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith(u(
        "サーバー 127.0.0.1 がログインを拒否しました。ユーザー名とパスワードを確かめてください。")))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_TRUE(dialogs.boxes[0].text.endsWith(u("メールは送信されていません。\n保存したパスワード"
                                                 "を消しました。次の送信のときに尋ねます。")));
    EXPECT_TRUE(store.items.empty());
    EXPECT_TRUE(server.received().empty());
    EXPECT_EQ(passwordAsked, 0);
}

TEST_F(SendWindowTest, WithoutASecretStoreThePasswordIsAskedEachTime) {
    REQUIRE_SERVER();
    store.runs = false;
    choose("MailTestSend");
    choose("MailTestSend");
    EXPECT_EQ(passwordAsked, 2);
    EXPECT_EQ(server.received().size(), 2u);
    password.reset(); // cancelled: nothing sent
    choose("MailTestSend");
    EXPECT_EQ(server.received().size(), 2u);
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(SendWindowTest, TheSendCheckRefusesBeforeThePasswordIsAsked) {
    REQUIRE_SERVER();
    editor().setText(sj("ｶﾀｶﾅ") + bytes({0xF0, 0x40}) + "\r\n");
    dialogs.answers.push_back(Dialogs::No);
    choose("MailSend");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, u("送信"));
    EXPECT_TRUE(
        dialogs.boxes[0].text.endsWith(u("置換候補のある文字を候補に置き換えて送信しますか？")))
        << dialogs.boxes[0].text.toStdString();
    EXPECT_EQ(passwordAsked, 0);
    EXPECT_TRUE(server.received().empty());
    mail().findingsWindow()->hide();
}

TEST_F(SendWindowTest, CancelStopsATransferTheServerNeverAnswers) {
    SmtpServer silent("silent");
    ASSERT_TRUE(silent.started()) << silent.problem();
    dir.write("MMEdit.ini", "[Mail]\r\nServer=" + silent.url("smtp") + "\r\nTo=r@example.jp\r\n");
    mail().setSendTimeouts({30, 30});
    bool sawProgress = false;
    QTimer cancel;
    cancel.setInterval(300);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("SendProgressDialog") && w->isVisible()) {
                sawProgress = true;
                keepScreenshot(w->grab().toImage(), "send-progress.png");
                if (auto* b = w->findChild<QAbstractButton*>(QStringLiteral("SendCancel")))
                    b->click();
            }
    });
    cancel.start();
    const auto before = std::chrono::steady_clock::now();
    choose("MailSend");
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(main->statusBar()->currentMessage(), u("送信を取り消しました"));
}

// Every label and button shows its whole text.
void expectNothingClipped(QWidget* dialog) {
    for (QLabel* l : dialog->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->wordWrap()) continue;
        EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
    }
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        if (!b->isVisible()) continue;
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
}

TEST_F(SendWindowTest, TheDialogsShowTheirWholeJapaneseText) {
    REQUIRE_SERVER();
    SendRequest request;
    request.settings = loadSendSettings(dir.file("MMEdit.ini"));
    request.settings.from = u("もるもる <mag@example.jp>");
    request.subject = u("週刊もるもる 第1号");
    struct Shown {
        QDialog* dialog;
        const char* file;
    };
    SendDialog send(main.get(), request, false, dialogs, store);
    SendDialog test(main.get(), request, true, dialogs, store);
    SendSettingsDialog serverSettings(main.get(), request.settings, dialogs, store);
    PasswordDialog pw(main.get(), QString::fromStdString(server.url("smtp")), u("writer"), true);
    SendProgressDialog progress(main.get(), u("送信"), QString::fromStdString(server.url("smtp")));
    for (const Shown& s :
         {Shown{&send, "send-dialog.png"}, Shown{&test, "test-send-dialog.png"},
          Shown{&serverSettings, "send-settings.png"}, Shown{&pw, "send-password.png"},
          Shown{&progress, "send-progress.png"}}) {
        s.dialog->show();
        QApplication::processEvents();
        keepScreenshot(s.dialog->grab().toImage(), s.file);
        expectNothingClipped(s.dialog);
        s.dialog->hide();
    }
    EXPECT_EQ(send.findChild<QLabel*>(QStringLiteral("SendServerShown"))->text(),
              u("送信サーバー: ") + QString::fromStdString(server.url("smtp")) +
                  u(" (ユーザー writer)"));
    EXPECT_EQ(test.findChild<QLineEdit*>(QStringLiteral("SendTo")), nullptr);
    EXPECT_EQ(send.findChild<QLineEdit*>(QStringLiteral("SendTo"))->text(),
              u("reader@example.jp, second@example.jp"));
}

TEST_F(SendWindowTest, TheSettingsDialogRefusesAServerItCannotUse) {
    REQUIRE_SERVER();
    SendSettingsDialog d(main.get(), SendSettings{}, dialogs, store);
    d.findChild<QLineEdit*>(QStringLiteral("SendServer"))->setText(u("mail.example.jp"));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.startsWith(u("送信サーバーのアドレスが正しくありません")));
    d.findChild<QLineEdit*>(QStringLiteral("SendServer"))->setText(u(" smtps://mail.example.jp "));
    d.findChild<QLineEdit*>(QStringLiteral("SendUser"))->setText(u("writer"));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.settings().server, u("smtps://mail.example.jp"));
    EXPECT_EQ(d.settings().user, u("writer"));

    // The kept password of the server entered is forgotten on request.
    store.items[{u("smtps://mail.example.jp:465"), u("writer")}] = u("pw");
    store.items[{u("smtps://other.example.jp:465"), u("writer")}] = u("pw2");
    d.findChild<QAbstractButton*>(QStringLiteral("SendForgetPassword"))->click();
    EXPECT_EQ(store.items.size(), 1u);
    EXPECT_EQ(store.find(u("smtps://other.example.jp:465"), u("writer")), u("pw2"));
    // Without a store there is nothing to forget, and nothing to keep.
    store.runs = false;
    SendSettingsDialog without(main.get(), SendSettings{}, dialogs, store);
    without.show();
    EXPECT_FALSE(without.findChild<QWidget*>(QStringLiteral("SendForgetPassword"))->isVisible());
    PasswordDialog pw(main.get(), u("smtps://mail.example.jp:465"), u("writer"), false);
    pw.findChild<QLineEdit*>(QStringLiteral("SendPassword"))->setText(u("pw3"));
    EXPECT_FALSE(pw.answer().keep);
    EXPECT_EQ(pw.answer().password, u("pw3"));
}

} // namespace
