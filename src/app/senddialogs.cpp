#include "senddialogs.h"

#include "platform/dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <thread>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

constexpr int kFieldWidth = 360;
// How often the progress is shown and the end looked for.
constexpr int kPollMs = 50;

QLineEdit* field(QWidget* parent, const char* name, const QString& text,
                 const char* placeholder = nullptr) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    if (placeholder) e->setPlaceholderText(u(placeholder));
    e->setMinimumWidth(kFieldWidth);
    return e;
}

QDialogButtonBox* buttons(QDialog* d, const QString& okText) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
    box->button(QDialogButtonBox::Ok)->setText(okText);
    box->button(QDialogButtonBox::Cancel)->setText(u("キャンセル"));
    QObject::connect(box, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return box;
}

QLabel* note(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

} // namespace

SendSettingsDialog::SendSettingsDialog(QWidget* parent, const SendSettings& settings,
                                       Dialogs& dialogs, SecretStore& store)
    : QDialog(parent), base_(settings), dialogs_(dialogs), store_(store) {
    setObjectName(QStringLiteral("SendSettingsDialog"));
    setWindowTitle(u("送信の設定"));
    server_ = field(this, "SendServer", settings.server, "smtps://mail.example.jp:465");
    user_ = field(this, "SendUser", settings.user, "ログインしないサーバーでは空欄");
    caFile_ = field(this, "SendCaFile", settings.caFile, "空欄ならシステムの証明書を使います");
    auto* browse = new QPushButton(u("参照(&B)..."), this);
    browse->setObjectName(QStringLiteral("SendCaFileBrowse"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const std::string path =
            dialogs_.openFileName(u("認証局の証明書"), u("証明書 (*.pem *.crt);;すべて (*)"),
                                  caFile_->text().toStdString());
        if (!path.empty()) caFile_->setText(QFile::decodeName(path.c_str()));
    });
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(caFile_, 1);
    caRow->addWidget(browse);
    forget_ = new QPushButton(u("保存したパスワードを消す(&P)"), this);
    forget_->setObjectName(QStringLiteral("SendForgetPassword"));
    connect(forget_, &QPushButton::clicked, this, [this] {
        const smtp::CheckedUrl url = smtp::checkUrl(server_->text());
        store_.forget(QString::fromStdString(url.url), user_->text().trimmed());
        dialogs_.messageBox(windowTitle(),
                            u("保存したパスワードを消しました。次の送信のときに尋ねます。"),
                            Dialogs::Icon::Information, Dialogs::Ok);
    });
    // Without a secret store there is nothing kept to forget.
    const bool storeRuns = store_.available();
    if (!storeRuns) forget_->hide();
    auto* form = new QFormLayout;
    form->addRow(u("送信サーバー(&S):"), server_);
    form->addRow(u("ユーザー名(&U):"), user_);
    // A row of a layout has no buddy of its own: the label is given one.
    auto* caLabel = new QLabel(u("認証局の証明書(&C):"), this);
    caLabel->setBuddy(caFile_);
    form->addRow(caLabel, caRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(
        note(this, u("smtps://サーバー名:465 (最初から暗号化) か smtp://サーバー名:587 (STARTTLS "
                     "で暗号化) の形で入力します。暗号化しない接続は、このコンピューターの中の"
                     "サーバー (localhost) にだけ使えます。") +
                       u("\nパスワードは設定ファイルに書かず、") +
                       (storeRuns ? u("初めて送信するときに尋ねてデスクトップのパスワード保存先に"
                                      "保存します。")
                                  : u("パスワードの保存先がないため、送信のたびに尋ねます。"))));
    auto* row = new QHBoxLayout;
    row->addWidget(forget_);
    row->addStretch();
    row->addWidget(buttons(this, u("OK")));
    layout->addLayout(row);
}

SendSettings SendSettingsDialog::settings() const {
    SendSettings s = base_;
    s.server = server_->text().trimmed();
    s.user = user_->text().trimmed();
    s.caFile = caFile_->text().trimmed();
    return s;
}

void SendSettingsDialog::accept() {
    const smtp::CheckedUrl url = smtp::checkUrl(server_->text());
    if (url.url.empty()) {
        dialogs_.messageBox(windowTitle(), url.problem, Dialogs::Icon::Warning, Dialogs::Ok);
        server_->setFocus();
        return;
    }
    QDialog::accept();
}

SendDialog::SendDialog(QWidget* parent, const SendRequest& initial, bool test, Dialogs& dialogs,
                       SecretStore& store)
    : QDialog(parent), request_(initial), test_(test), dialogs_(dialogs), store_(store) {
    setObjectName(QStringLiteral("SendDialog"));
    setWindowTitle(test ? u("テスト送信") : u("送信"));
    const SendSettings& s = initial.settings;
    from_ = field(this, "SendFrom", s.from, "名前 <address@example.jp>");
    replyTo_ = field(this, "SendReplyTo", s.replyTo, "空欄なら付けません");
    subject_ = field(this, "SendSubject", initial.subject);
    auto* form = new QFormLayout;
    form->addRow(u("差出人(&F):"), from_);
    if (test) {
        form->addRow(u("宛先:"), new QLabel(u("差出人 (件名の前に「[テスト]」を付けます)"), this));
    } else {
        to_ = field(this, "SendTo", s.to, "address@example.jp (複数はカンマで区切る)");
        form->addRow(u("宛先(&T):"), to_);
    }
    form->addRow(u("返信先(&R):"), replyTo_);
    form->addRow(u("件名(&S):"), subject_);
    server_ = new QLabel(this);
    server_->setObjectName(QStringLiteral("SendServerShown"));
    server_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* settingsButton = new QPushButton(u("送信の設定(&E)..."), this);
    settingsButton->setObjectName(QStringLiteral("SendSettingsButton"));
    connect(settingsButton, &QPushButton::clicked, this, [this] { editSettings(); });
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(server_, 1);
    serverRow->addWidget(settingsButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(serverRow);
    layout->addWidget(note(this, u("本文は送信用に整形し、「メールとして書き出す」と同じ "
                                   "ISO-2022-JP のメールにして送信サーバーに送ります。")));
    layout->addWidget(buttons(this, test ? u("テスト送信") : u("送信")));
    showServer();
}

void SendDialog::showServer() {
    const SendSettings& s = request_.settings;
    if (s.server.isEmpty()) {
        server_->setText(u("送信サーバー: (未設定)"));
        return;
    }
    QString text = u("送信サーバー: ") + s.server;
    if (!s.user.isEmpty()) text += u(" (ユーザー ") + s.user + u(")");
    server_->setText(text);
}

void SendDialog::editSettings() {
    SendSettingsDialog d(this, request_.settings, dialogs_, store_);
    if (d.exec() != QDialog::Accepted) return;
    request_.settings = d.settings();
    if (saveSettings_) saveSettings_(request_.settings);
    showServer();
}

SendRequest SendDialog::request() const {
    SendRequest r = request_;
    r.settings.from = from_->text().trimmed();
    if (to_) r.settings.to = to_->text().trimmed();
    r.settings.replyTo = replyTo_->text().trimmed();
    r.subject = subject_->text();
    return r;
}

void SendDialog::accept() {
    // Without a server there is nothing to send to: the settings first.
    if (smtp::checkUrl(request_.settings.server).url.empty()) {
        editSettings();
        if (smtp::checkUrl(request_.settings.server).url.empty()) return;
    }
    QDialog::accept();
}

PasswordDialog::PasswordDialog(QWidget* parent, const QString& server, const QString& user,
                               bool canKeep)
    : QDialog(parent) {
    setObjectName(QStringLiteral("SendPasswordDialog"));
    setWindowTitle(u("パスワード"));
    password_ = field(this, "SendPassword", QString());
    password_->setEchoMode(QLineEdit::Password);
    keep_ = new QCheckBox(canKeep ? u("パスワードを保存する(&K)")
                                  : u("パスワードの保存先がないため、送信のたびに尋ねます"),
                          this);
    keep_->setObjectName(QStringLiteral("SendKeepPassword"));
    keep_->setChecked(canKeep);
    keep_->setEnabled(canKeep);
    auto* form = new QFormLayout;
    form->addRow(u("パスワード(&P):"), password_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        note(this, u("%1 のユーザー %2 のパスワードを入力してください。").arg(server, user)));
    layout->addLayout(form);
    layout->addWidget(keep_);
    layout->addWidget(buttons(this, u("OK")));
}

PasswordAnswer PasswordDialog::answer() const {
    return {password_->text(), keep_->isEnabled() && keep_->isChecked()};
}

SendProgressDialog::SendProgressDialog(QWidget* parent, const QString& caption,
                                       const QString& where)
    : QDialog(parent) {
    setObjectName(QStringLiteral("SendProgressDialog"));
    setWindowTitle(caption);
    setWindowModality(Qt::WindowModal);
    status_ = new QLabel(u("%1 に送信しています...").arg(where), this);
    status_->setObjectName(QStringLiteral("SendStatus"));
    status_->setWordWrap(true);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("SendProgress"));
    bar_->setRange(0, 0); // busy until the message goes out
    bar_->setMinimumWidth(kFieldWidth);
    cancel_ = new QPushButton(u("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("SendCancel"));
    connect(cancel_, &QPushButton::clicked, this, &SendProgressDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addLayout(row);
}

void SendProgressDialog::reject() {
    if (cancelled_.exchange(true)) return;
    status_->setText(u("送信を取り消しています..."));
    cancel_->setEnabled(false);
}

smtp::Result SendProgressDialog::run(const Transfer& transfer) {
    std::atomic<bool> done{false};
    smtp::Result result;
    const smtp::Progress progress = [this](std::uint64_t sent, std::uint64_t total) {
        sent_ = sent;
        total_ = total;
        return !cancelled_.load();
    };
    std::thread worker([&] {
        try {
            result = transfer(progress);
        } catch (const std::exception&) {
            // Nothing may leave the thread; a failed allocation is the one
            // thing the transfer throws.
            result.failure = smtp::Failure::other;
            result.message = u("メモリが不足しているため送信できませんでした。");
        }
        done = true;
    });
    show();
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (total_ > 0 && sent_ > 0) {
            bar_->setRange(0, 1000);
            bar_->setValue(static_cast<int>(sent_ * 1000 / total_));
        }
        if (done) loop.quit();
    });
    poll.start(kPollMs);
    loop.exec();
    worker.join();
    hide();
    return result;
}
