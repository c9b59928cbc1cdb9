// The mail commands of the main window: the send check (marks in the
// editor, the panel in the status bar, the findings list), "送信用に整形"
// (Tool menu: every point where the editor wraps becomes a line end) and
// "メールとして書き出す" (File menu: an .eml file to send), "送信" and
// "テスト送信" (File menu: the same mail submitted to the user's SMTP server;
// the test copy to the sender). The mail's From, To, Reply-To and Subject
// and the server settings are remembered in the settings file, section
// [Mail]; the password in the desktop's secret store.
#pragma once

#include "mail/secretstore.h"
#include "mail/smtp.h"
#include "senddialogs.h"
#include "text/mailexport.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <optional>

class FindingsWindow;
class MailCheckPanel;
class MainWindow;

class MailCommands : public QObject {
    Q_OBJECT

  public:
    explicit MailCommands(MainWindow& window);
    ~MailCommands() override;

    MailCheckPanel* panel() const { return panel_; }
    // The findings list (made on first use).
    FindingsWindow* findingsWindow();

    // Shows the findings list, checked again.
    void showFindings();
    // Puts a line end where the editor wraps every line, as one undo step.
    void hardWrap();
    // Asks for the fields and a file name and writes the mail.
    void exportMail();
    // Asks for the fields and sends the mail: to its recipients, or as a
    // test copy to the sender.
    void send(bool test);

    // The fields remembered in the settings file.
    mailexport::MailFields rememberedFields() const;
    void rememberFields(const mailexport::MailFields& fields);

    // How the fields are asked for: the dialog in the program, a script in
    // tests. Returns nothing when cancelled.
    using FieldsPrompt =
        std::function<std::optional<mailexport::MailFields>(const mailexport::MailFields&)>;
    void setFieldsPrompt(FieldsPrompt prompt) { prompt_ = std::move(prompt); }
    // The time the mail is dated (tests fix it).
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // How the sending fields and the password are asked for: the dialogs in
    // the program, scripts in tests. Nothing when cancelled.
    using SendPrompt = std::function<std::optional<SendRequest>(const SendRequest&, bool test)>;
    void setSendPrompt(SendPrompt prompt) { sendPrompt_ = std::move(prompt); }
    using PasswordPrompt = std::function<std::optional<PasswordAnswer>(
        const QString& server, const QString& user, bool canKeep)>;
    void setPasswordPrompt(PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }
    // Where the password is kept (the desktop's secret store unless set; not
    // owned) and how long the server may keep the transfer waiting.
    void setSecretStore(SecretStore* store) { store_ = store; }
    void setSendTimeouts(const smtp::Timeouts& timeouts) { timeouts_ = timeouts; }

  private:
    void showCount();
    // The body's and the subject's characters that cannot be sent: listed,
    // and on request replaced by their suggestions. False when the export
    // is refused.
    // caption names the command in its boxes, stem its verb ("書き出し",
    // "送信し").
    bool makeSendable(mailexport::MailFields& fields, const QString& caption, const QString& stem);
    SecretStore& store();

    MainWindow& w_;
    MailCheckPanel* panel_ = nullptr;
    FindingsWindow* findings_ = nullptr;
    FieldsPrompt prompt_;
    std::function<QDateTime()> clock_;
    SendPrompt sendPrompt_;
    PasswordPrompt passwordPrompt_;
    SecretStore* store_ = nullptr;
    DesktopSecretStore desktopStore_;
    smtp::Timeouts timeouts_;
};

// The dialog that asks for From, To and Subject, showing the remembered ones.
std::optional<mailexport::MailFields> askMailFields(QWidget* parent,
                                                    const mailexport::MailFields& initial);
