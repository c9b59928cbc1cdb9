#include "basicsettingsdialog.h"

#include "cp932lineedit.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
// The client area the window was designed for.
constexpr QSize kDesignSize(493, 391);
// The title box takes this many characters.
constexpr int kTitleCharacters = 25;
constexpr int kMarginWidth = 8;
constexpr int kSpacing = 6;
} // namespace

BasicSettingsDialog::BasicSettingsDialog(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                                         SettingsDialogHost& host, QWidget* parent)
    : SettingsDialog(settings, dialogs, shell, host, parent) {
    setUpWindow("TCustom", "基本設定", kDesignSize);

    title_ = textBox("Edit1");
    title_->setLimit(kTitleCharacters, LimitUnit::characters);
    authorMail_ = textBox("Edit2");
    homeUrl_ = textBox("Edit3");
    homeUrl_->setText(QStringLiteral("http://"));
    authorName_ = textBox("Edit4");
    magazineId_ = textBox("Edit5");
    issueDay_ = textBox("Edit7");
    launchDay_ = textBox("Edit8");
    lineWidth_ = numberBar("Edit10", "ScrollBar1", 10, kLineWidthLimit, 10);
    maxChars_ = numberBar("Edit9", "ScrollBar2", 10, kMaxCharsLimit, 1000);

    auto* newsletter = new QGroupBox(caption("メールマガジン基本設定"), this);
    newsletter->setObjectName(QStringLiteral("GroupBox1"));
    auto* fields = new QVBoxLayout(newsletter);
    compactGroup(fields);
    addField(fields, "メールマガジンタイトル(２５文字まで)", title_);
    addField(fields, "あなたのメールアドレス", authorMail_);
    addField(fields, "あなたのホームページのアドレス", homeUrl_);
    addField(fields, "あなたの名前", authorName_);
    addField(fields, "マガジンID", magazineId_);

    auto* editing = new QGroupBox(caption("編集の設定"), this);
    editing->setObjectName(QStringLiteral("GroupBox2"));
    auto* limits = new QVBoxLayout(editing);
    compactGroup(limits);
    addNumberBar(limits, "文章の幅", lineWidth_, "文字（最大８０文字）");
    addNumberBar(limits, "全体の最大文字数", maxChars_, "文字(最大３００００文字)");

    auto* issue = new QGroupBox(caption("発行設定"), this);
    issue->setObjectName(QStringLiteral("GroupBox3"));
    auto* issueFields = new QVBoxLayout(issue);
    compactGroup(issueFields);
    addField(issueFields, "発行日（週間、月刊、隔週、不定期など）", issueDay_);
    addField(issueFields, "創刊日", launchDay_);

    QPlainTextEdit* info = infoText("RichEdit1",
                                    {caption("ここでは、新規作成するファイルのみに有"),
                                     caption("効な情報を設定します。"), QString(),
                                     caption("ここで設定される情報は一時的な物で、"),
                                     caption("次回起動時には反映されません。"),
                                     caption("常に同じ設定で作業を行いたい場合は、 "),
                                     caption("”全体基本設定”で、設定してください。"), QString(),
                                     caption("詳しくはヘルプをご覧ください。")},
                                    true);

    auto* ok = new QPushButton(caption("これで作る"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    auto* cancelButton = new QPushButton(caption("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    auto* helpButton = new QPushButton(QStringLiteral("HELP!"), this);
    helpButton->setObjectName(QStringLiteral("Button3"));
    for (QPushButton* b : {ok, cancelButton, helpButton})
        b->setAutoDefault(false); // Enter in a box confirms nothing
    connect(ok, &QPushButton::clicked, this, &BasicSettingsDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &BasicSettingsDialog::cancel);
    connect(helpButton, &QPushButton::clicked, this, &BasicSettingsDialog::help);

    auto* left = new QVBoxLayout;
    left->setSpacing(kSpacing);
    left->addWidget(newsletter);
    left->addWidget(issue);
    left->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);
    auto* right = new QVBoxLayout;
    right->setSpacing(kSpacing);
    right->addWidget(editing);
    right->addWidget(info, 1);
    right->addLayout(buttons);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(kMarginWidth, kMarginWidth, kMarginWidth, kSpacing);
    body->setSpacing(kSpacing);
    body->addLayout(left);
    body->addLayout(right, 1);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addLayout(body, 1);
    window->addWidget(statusBar());

    fill();
}

void BasicSettingsDialog::fill() {
    const NewsletterValues& v = s_.newDocument;
    title_->setBytes(v.title);
    authorMail_->setBytes(v.authorMail);
    homeUrl_->setBytes(v.homeUrl);
    authorName_->setBytes(v.authorName);
    magazineId_->setBytes(v.magazineId);
    issueDay_->setBytes(v.issueDay);
    launchDay_->setBytes(v.launchDay);
    lineWidth_.fill(v.lineWidth);
    maxChars_.fill(v.maxChars);
}

void BasicSettingsDialog::confirm() {
    NewsletterValues& v = s_.newDocument;
    v.title = title_->bytes();
    v.authorMail = authorMail_->bytes();
    v.homeUrl = homeUrl_->bytes();
    v.authorName = authorName_->bytes();
    v.issueDay = issueDay_->bytes();
    v.launchDay = launchDay_->bytes();
    v.lineWidth = lineWidth_.value();
    v.maxChars = maxChars_.value();
    v.magazineId = magazineId_->bytes();
    s_.copyNewDocumentToDocument();
    host_.applyDocumentValues();
    finish();
}
