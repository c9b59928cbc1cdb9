// The mail commands of the main window: the send check (marks in the
// editor, the panel in the status bar, the findings list), "送信用に整形"
// (Tool menu: every point where the editor wraps becomes a line end) and
// "メールとして書き出す" (File menu: an .eml file to send). The mail's
// From, To and Subject are remembered in the settings file, section [Mail].
#pragma once

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

  private:
    void showCount();
    // The body's and the subject's characters that cannot be sent: listed,
    // and on request replaced by their suggestions. False when the export
    // is refused.
    bool makeSendable(mailexport::MailFields& fields);

    MainWindow& w_;
    MailCheckPanel* panel_ = nullptr;
    FindingsWindow* findings_ = nullptr;
    FieldsPrompt prompt_;
    std::function<QDateTime()> clock_;
};

// The dialog that asks for From, To and Subject, showing the remembered ones.
std::optional<mailexport::MailFields> askMailFields(QWidget* parent,
                                                    const mailexport::MailFields& initial);
