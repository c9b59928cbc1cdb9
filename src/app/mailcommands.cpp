#include "mailcommands.h"

#include "findingswindow.h"
#include "mainwindow.h"
#include "statuspanels.h"

#include "mail/outgoing.h"
#include "mail/sendsettings.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "settings/profile.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/textexport.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// The settings file's section of the mail fields.
constexpr char kMailSection[] = "Mail";
// How long the status bar tells what a command did.
constexpr int kMessageMs = 5000;
// Findings listed in a message box at most.
constexpr std::size_t kListedAtMost = 20;

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString exportCaption() {
    return u("メールとして書き出す");
}

QString sendCaption(bool test) {
    return test ? u("テスト送信") : u("送信");
}

// "12行5桁 機種依存文字(NEC特殊文字) ① → (1)"
QString describe(std::string_view text, const mailcheck::Finding& f) {
    QString line = u("%1行%2桁 %3 %4")
                       .arg(f.line)
                       .arg(f.column)
                       .arg(mailcheck::kindName(f.kind), mailcheck::characterText(text, f));
    const QString s = mailcheck::suggestionText(text, f);
    if (!s.isEmpty()) line += u(" → ") + s;
    return line;
}

bool anySuggestion(std::string_view text, const std::vector<mailcheck::Finding>& findings) {
    for (const mailcheck::Finding& f : findings)
        if (mailcheck::replacement(text, f)) return true;
    return false;
}

// The list of a message box: the body's findings, then the subject's.
QString listOf(std::string_view body, const std::vector<mailcheck::Finding>& inBody,
               std::string_view subject, const std::vector<mailcheck::Finding>& inSubject) {
    QStringList lines;
    for (const mailcheck::Finding& f : inBody) {
        if (lines.size() >= static_cast<qsizetype>(kListedAtMost)) break;
        lines.append(describe(body, f));
    }
    for (const mailcheck::Finding& f : inSubject) {
        if (lines.size() >= static_cast<qsizetype>(kListedAtMost)) break;
        QString line =
            u("件名 %1 %2").arg(mailcheck::kindName(f.kind), mailcheck::characterText(subject, f));
        const QString s = mailcheck::suggestionText(subject, f);
        if (!s.isEmpty()) line += u(" → ") + s;
        lines.append(line);
    }
    const std::size_t total = inBody.size() + inSubject.size();
    if (total > kListedAtMost) lines.append(u("ほか %1件").arg(total - kListedAtMost));
    return lines.join(QLatin1Char('\n'));
}

// The file name of the mail: the document's with ".eml", or none.
std::string suggestedName(const std::string& documentPath) {
    if (documentPath.empty()) return {};
    const std::size_t slash = documentPath.find_last_of('/');
    const std::size_t dot = documentPath.find_last_of('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? documentPath.substr(0, dot)
                                 : documentPath;
    return stem + ".eml";
}

// A name without an extension gets ".eml".
std::string withExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.find('.') == std::string::npos ? path + ".eml" : path;
}

QString decoded(const std::string& bytes) {
    return cp932::decode(bytes);
}

} // namespace

MailCommands::MailCommands(MainWindow& window) : w_(window) {
    EditingArea* editor = w_.editor();
    editor->setMailCheckActive(true);

    panel_ = new MailCheckPanel(w_.statusBar());
    connect(panel_, &MailCheckPanel::clicked, this,
            [this] { runCommand(w_.dialogs(), [this] { showFindings(); }); });
    connect(editor, &EditingArea::mailFindingsChanged, this, [this] { showCount(); });
    connect(editor, &TextEdit::changed, this, [this] { showCount(); });
    // File menu: after the HTML export.
    auto* mailExport = new QAction(exportCaption(), this);
    mailExport->setObjectName(QStringLiteral("MailExport1"));
    if (QMenu* file = w_.menus().file) {
        const QList<QAction*> items = file->actions();
        const qsizetype html = items.indexOf(w_.actions().exportHtml.menuItem());
        QAction* after = html >= 0 && html + 1 < items.size() ? items[html + 1] : nullptr;
        file->insertAction(after, mailExport);
        // The two ways of sending follow the export.
        for (const bool test : {false, true}) {
            auto* item = new QAction(sendCaption(test), this);
            item->setObjectName(test ? QStringLiteral("MailTestSend") : QStringLiteral("MailSend"));
            file->insertAction(after, item);
            connect(item, &QAction::triggered, this,
                    [this, test] { runCommand(w_.dialogs(), [this, test] { send(test); }); });
        }
    }
    // Tool menu: the check and the hard wrap.
    auto* check = new QAction(u("送信チェック"), this);
    check->setObjectName(QStringLiteral("MailCheck1"));
    auto* wrap = new QAction(u("送信用に整形"), this);
    wrap->setObjectName(QStringLiteral("HardWrap1"));
    if (QMenu* tool = w_.menus().tool) {
        tool->addSeparator()->setObjectName(QStringLiteral("MailSeparator"));
        tool->addAction(check);
        tool->addAction(wrap);
    }
    connect(mailExport, &QAction::triggered, this,
            [this] { runCommand(w_.dialogs(), [this] { exportMail(); }); });
    connect(check, &QAction::triggered, this,
            [this] { runCommand(w_.dialogs(), [this] { showFindings(); }); });
    connect(wrap, &QAction::triggered, this,
            [this] { runCommand(w_.dialogs(), [this] { hardWrap(); }); });
    showCount();
}

MailCommands::~MailCommands() {
    delete findings_;
}

void MailCommands::showCount() {
    const EditingArea* e = w_.editor();
    panel_->showFindings(e->mailFindingCount(), e->mailFindingsKnown());
}

FindingsWindow* MailCommands::findingsWindow() {
    // Made when first shown: nothing of it is needed at start.
    if (!findings_) {
        findings_ = new FindingsWindow(
            *w_.editor(), w_.dialogs(), [this] { hardWrap(); }, &w_);
        // It opens over the middle of the main window (a window of its own
        // would open in the corner of the screen).
        if (w_.isVisible())
            findings_->move(w_.frameGeometry().center() - findings_->rect().center());
    }
    return findings_;
}

void MailCommands::showFindings() {
    FindingsWindow* list = findingsWindow();
    list->refresh();
    list->show();
    list->raise();
    list->activateWindow();
}

void MailCommands::hardWrap() {
    EditingArea& e = *w_.editor();
    const std::string text = e.document().text();
    // CR LF where a line wraps, in place of the blanks that hang there.
    std::vector<mailcheck::Edit> edits;
    std::size_t lineEnds = 0;
    for (const textexport::WrapBreak& b : textexport::hardWrapBreaks(text, e.lineView().rules())) {
        edits.push_back({b.pos, b.length, b.lineEnd ? "\r\n" : ""});
        lineEnds += b.lineEnd ? 1 : 0;
    }
    if (edits.empty()) {
        w_.statusBar()->showMessage(u("折り返している行はありません"), kMessageMs);
        return;
    }
    std::reverse(edits.begin(), edits.end());
    if (!applyToDocument(e, edits))
        throw MMEditError(u("Shift-JIS でないバイトがあるため整形できません"));
    w_.statusBar()->showMessage(u("%1か所に改行を入れました").arg(lineEnds), kMessageMs);
}

mailexport::MailFields MailCommands::rememberedFields() const {
    const SettingsState& s = w_.settings();
    const ProfileFile ini = ProfileFile::load(s.settingsPath);
    mailexport::MailFields f;
    f.from = decoded(ini.readString(kMailSection, "From", ""));
    f.to = decoded(ini.readString(kMailSection, "To", ""));
    f.subject = decoded(ini.readString(kMailSection, "Subject", s.document.title));
    if (f.from.isEmpty() && !s.document.authorMail.empty()) {
        f.from = decoded(s.document.authorMail);
        if (!s.document.authorName.empty())
            f.from = decoded(s.document.authorName) + u(" <") + f.from + u(">");
    }
    return f;
}

void MailCommands::rememberFields(const mailexport::MailFields& fields) {
    const std::string& path = w_.settings().settingsPath;
    if (path.empty()) return;
    ProfileFile ini = ProfileFile::load(path);
    ini.writeString(kMailSection, "From", cp932::encode(fields.from).bytes);
    ini.writeString(kMailSection, "To", cp932::encode(fields.to).bytes);
    ini.writeString(kMailSection, "Subject", cp932::encode(fields.subject).bytes);
    fileio::writeAll(path, ini.bytes());
}

bool MailCommands::makeSendable(mailexport::MailFields& fields, const QString& caption,
                                const QString& stem) {
    EditingArea& e = *w_.editor();
    Dialogs& dialogs = w_.dialogs();
    std::string body = e.document().text();
    std::string subject = cp932::encode(fields.subject).bytes;
    std::vector<mailcheck::Finding> inBody = mailexport::uncarried(body);
    std::vector<mailcheck::Finding> inSubject = mailexport::uncarried(subject);
    if (inBody.empty() && inSubject.empty()) return true;

    const QString head = u("ISO-2022-JP のメールで送れない文字が %1件あります。\n\n")
                             .arg(inBody.size() + inSubject.size());
    const QString list = listOf(body, inBody, subject, inSubject);
    if (!anySuggestion(body, inBody) && !anySuggestion(subject, inSubject)) {
        dialogs.messageBox(caption, head + list + u("\n\n直してから%1てください。").arg(stem),
                           Dialogs::Icon::Warning, Dialogs::Ok);
        showFindings();
        return false;
    }
    const Dialogs::Button answer = dialogs.messageBox(
        caption, head + list + u("\n\n置換候補のある文字を候補に置き換えて%1ますか？").arg(stem),
        Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No);
    if (answer != Dialogs::Yes) {
        showFindings();
        return false;
    }
    if (!applyToDocument(e, mailcheck::replacementEdits(body, inBody)))
        throw MMEditError(u("置き換えると前のバイトと結び付いて別の文字になるため、置換できません。"
                            "先に Shift-JIS でないバイトを削除してください"));
    fields.subject = mailexport::subjectWithSuggestions(fields.subject);
    runCommand(dialogs, [&] { rememberFields(fields); });

    body = e.document().text();
    subject = cp932::encode(fields.subject).bytes;
    inBody = mailexport::uncarried(body);
    inSubject = mailexport::uncarried(subject);
    if (inBody.empty() && inSubject.empty()) return true;
    dialogs.messageBox(
        caption,
        u("置換候補のない文字が残っています。直してから%1てください。\n\n").arg(stem) +
            listOf(body, inBody, subject, inSubject),
        Dialogs::Icon::Warning, Dialogs::Ok);
    showFindings();
    return false;
}

void MailCommands::exportMail() {
    const std::optional<mailexport::MailFields> asked =
        prompt_ ? prompt_(rememberedFields()) : askMailFields(&w_, rememberedFields());
    if (!asked) return;
    mailexport::MailFields fields = *asked;
    runCommand(w_.dialogs(), [&] { rememberFields(fields); });
    if (!makeSendable(fields, exportCaption(), u("書き出し"))) return;
    EditingArea& e = *w_.editor();
    // Made before the file is named, so that a wrong address is told first.
    const std::string message =
        mailexport::message(e.document().text(), fields, e.lineView().rules(),
                            clock_ ? clock_() : QDateTime::currentDateTime());
    std::string path = w_.dialogs().saveFileName(exportCaption(), u("*.eml (*.eml)"),
                                                 suggestedName(e.document().filePath()));
    if (path.empty()) return;
    path = withExtension(path);
    fileio::writeAll(path, message);
    w_.statusBar()->showMessage(u("メールを書き出しました: ") + QFile::decodeName(path.c_str()),
                                kMessageMs);
}

SecretStore& MailCommands::store() {
    return store_ ? *store_ : desktopStore_;
}

void MailCommands::send(bool test) {
    Dialogs& dialogs = w_.dialogs();
    const std::string& ini = w_.settings().settingsPath;
    const QString caption = sendCaption(test);
    SendRequest initial;
    initial.settings = loadSendSettings(ini);
    const mailexport::MailFields remembered = rememberedFields();
    initial.settings.from = remembered.from;
    initial.settings.to = remembered.to;
    initial.subject = remembered.subject;
    std::optional<SendRequest> asked;
    if (sendPrompt_) {
        asked = sendPrompt_(initial, test);
    } else {
        SendDialog d(&w_, initial, test, dialogs, store());
        d.setSettingsSaver([&](const SendSettings& s) {
            runCommand(dialogs, [&] { saveServerSettings(ini, s); });
        });
        if (d.exec() == QDialog::Accepted) asked = d.request();
    }
    if (!asked) return;
    const SendSettings& settings = asked->settings;
    mailexport::MailFields fields{settings.from, settings.to, asked->subject};
    runCommand(dialogs, [&] {
        saveServerSettings(ini, settings);
        rememberFields(fields);
        saveAddresses(ini, settings);
    });
    if (!makeSendable(fields, caption, u("送信し"))) return;
    const mailexport::MailFields sent = test ? outgoing::testCopy(fields) : fields;
    EditingArea& e = *w_.editor();
    const outgoing::Message message =
        outgoing::build(e.document().text(), sent, settings.replyTo, e.lineView().rules(),
                        clock_ ? clock_() : QDateTime::currentDateTime());
    const smtp::CheckedUrl url = smtp::checkUrl(settings.server);
    if (url.url.empty()) throw MMEditError(url.problem);
    const smtp::Server server{QString::fromStdString(url.url), settings.user, settings.caFile};

    // The password: from the secret store, else asked for (and kept once
    // the server has taken it).
    QString password;
    bool keep = false, kept = false;
    if (!server.user.isEmpty()) {
        if (const std::optional<QString> found = store().find(server.url, server.user)) {
            password = *found;
            kept = true;
        } else {
            const bool canKeep = store().available();
            std::optional<PasswordAnswer> answer;
            if (passwordPrompt_) {
                answer = passwordPrompt_(server.url, server.user, canKeep);
            } else {
                PasswordDialog d(&w_, server.url, server.user, canKeep);
                if (d.exec() == QDialog::Accepted) answer = d.answer();
            }
            if (!answer) return;
            password = answer->password;
            keep = answer->keep;
        }
    }

    SendProgressDialog progress(&w_, caption, server.url);
    const smtp::Result r = progress.run([&](const smtp::Progress& report) {
        return smtp::submit(server, password, message.sender, message.recipients, message.bytes,
                            timeouts_, report);
    });
    if (r.ok()) {
        if (keep) store().keep(server.url, server.user, password);
        w_.statusBar()->showMessage(u("送信しました: ") + sent.to, kMessageMs);
        dialogs.messageBox(caption,
                           u("送信しました。\n\n宛先: %1\n件名: %2\n送信サーバー: %3")
                               .arg(sent.to, sent.subject, server.url),
                           Dialogs::Icon::Information, Dialogs::Ok);
        return;
    }
    if (r.failure == smtp::Failure::cancelled) {
        w_.statusBar()->showMessage(u("送信を取り消しました"), kMessageMs);
        return;
    }
    QString text = r.message + u("\n\nメールは送信されていません。");
    if (r.failure == smtp::Failure::authentication && kept) {
        // A kept password the server refuses is asked for again next time.
        store().forget(server.url, server.user);
        text += u("\n保存したパスワードを消しました。次の送信のときに尋ねます。");
    }
    dialogs.messageBox(caption, text, Dialogs::Icon::Warning, Dialogs::Ok);
}

std::optional<mailexport::MailFields> askMailFields(QWidget* parent,
                                                    const mailexport::MailFields& initial) {
    QDialog d(parent);
    d.setObjectName(QStringLiteral("MailFieldsDialog"));
    d.setWindowTitle(exportCaption());
    auto* from = new QLineEdit(initial.from, &d);
    from->setObjectName(QStringLiteral("MailFrom"));
    from->setPlaceholderText(u("名前 <address@example.jp>"));
    auto* to = new QLineEdit(initial.to, &d);
    to->setObjectName(QStringLiteral("MailTo"));
    to->setPlaceholderText(u("address@example.jp (複数はカンマで区切る)"));
    auto* subject = new QLineEdit(initial.subject, &d);
    subject->setObjectName(QStringLiteral("MailSubject"));
    for (QLineEdit* l : {from, to, subject})
        l->setMinimumWidth(360);
    auto* form = new QFormLayout;
    form->addRow(u("差出人(&F):"), from);
    form->addRow(u("宛先(&T):"), to);
    form->addRow(u("件名(&S):"), subject);
    auto* note =
        new QLabel(u("本文は送信用に整形し、ISO-2022-JP の .eml ファイルに書き出します。"), &d);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto* layout = new QVBoxLayout(&d);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return mailexport::MailFields{from->text(), to->text(), subject->text()};
}
