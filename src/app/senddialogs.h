// The dialogs of sending: the mail's addresses and subject before 送信 and
// テスト送信, the sending settings (server, user name, CA file), the
// password, and the progress of the transfer with its Cancel.
#pragma once

#include "mail/secretstore.h"
#include "mail/sendsettings.h"
#include "mail/smtp.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

class Dialogs;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// What the user sends: the addresses, the server settings and the subject.
struct SendRequest {
    SendSettings settings;
    QString subject;
};

// The sending settings: server, user name, a private CA's certificate, and
// the stored password to forget.
class SendSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    SendSettingsDialog(QWidget* parent, const SendSettings& settings, Dialogs& dialogs,
                       SecretStore& store);
    // The settings with the values entered.
    SendSettings settings() const;
    void accept() override;

  private:
    SendSettings base_;
    Dialogs& dialogs_;
    SecretStore& store_;
    QLineEdit* server_;
    QLineEdit* user_;
    QLineEdit* caFile_;
    QPushButton* forget_;
};

// The addresses and the subject before sending, the server it goes to and
// a way to the settings. A test copy goes to the sender: no To to give.
class SendDialog : public QDialog {
    Q_OBJECT

  public:
    SendDialog(QWidget* parent, const SendRequest& initial, bool test, Dialogs& dialogs,
               SecretStore& store);
    SendRequest request() const;
    void accept() override;
    // Runs before the settings are kept (the window saves them to its file).
    void setSettingsSaver(std::function<void(const SendSettings&)> save) {
        saveSettings_ = std::move(save);
    }

  private:
    void showServer();
    void editSettings();

    SendRequest request_;
    bool test_;
    Dialogs& dialogs_;
    SecretStore& store_;
    std::function<void(const SendSettings&)> saveSettings_;
    QLineEdit* from_;
    QLineEdit* to_ = nullptr;
    QLineEdit* replyTo_;
    QLineEdit* subject_;
    QLabel* server_;
};

// The password for a server, and whether to keep it in the secret store.
struct PasswordAnswer {
    QString password;
    bool keep = false;
};
class PasswordDialog : public QDialog {
    Q_OBJECT

  public:
    // canKeep: a secret store answers.
    PasswordDialog(QWidget* parent, const QString& server, const QString& user, bool canKeep);
    PasswordAnswer answer() const;

  private:
    QLineEdit* password_;
    QCheckBox* keep_;
};

// The transfer off the user-interface thread, the progress shown and
// Cancel. run() returns when the transfer has ended.
class SendProgressDialog : public QDialog {
    Q_OBJECT

  public:
    SendProgressDialog(QWidget* parent, const QString& caption, const QString& where);
    using Transfer = std::function<smtp::Result(const smtp::Progress&)>;
    smtp::Result run(const Transfer& transfer);
    void reject() override; // Cancel, Esc and the close button cancel

  private:
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    std::atomic<bool> cancelled_{false};
    std::atomic<std::uint64_t> sent_{0}, total_{0};
};
