#include "overallsettingsdialog.h"

#include "cp932lineedit.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "text/cp932.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
// The client area the window was designed for.
constexpr QSize kDesignSize(503, 450);
// The title box takes this many bytes of code page 932.
constexpr int kTitleBytes = 80;
// The settings file keeps this many bytes of a text value: no box takes more.
constexpr int kStoredBytes = 255;
constexpr int kMarginWidth = 4;
constexpr int kSpacing = 6;
// Notes below a check box line up with its text.
constexpr int kNoteIndent = 20;
constexpr int kBehaviourPage = 1;
} // namespace

OverallSettingsDialog::OverallSettingsDialog(SettingsState& settings, Dialogs& dialogs,
                                             Shell& shell, SettingsDialogHost& host,
                                             QWidget* parent)
    : SettingsDialog(settings, dialogs, shell, host, parent) {
    setUpWindow("TAllCustom", "全体基本設定", kDesignSize);

    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl1"));
    pages_->tabBar()->setAttribute(Qt::WA_Hover); // hot tracking
    pages_->addTab(newsletterPage(), caption("メールマガジン共通設定"));
    pages_->addTab(behaviourPage(), caption("動作設定"));
    // The first showing opens on the behaviour page, later ones where the
    // user left.
    pages_->setCurrentIndex(kBehaviourPage);

    auto* ok = new QPushButton(caption("いつもこれで！"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    auto* cancelButton = new QPushButton(caption("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    auto* helpButton = new QPushButton(QStringLiteral("HELP!"), this);
    helpButton->setObjectName(QStringLiteral("Button5"));
    for (QPushButton* b : {ok, cancelButton, helpButton})
        b->setAutoDefault(false); // Enter in a box confirms nothing
    connect(ok, &QPushButton::clicked, this, &OverallSettingsDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &OverallSettingsDialog::cancel);
    connect(helpButton, &QPushButton::clicked, this, &OverallSettingsDialog::help);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(kMarginWidth, 0, kMarginWidth, kSpacing);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    auto* tabArea = new QVBoxLayout;
    tabArea->setContentsMargins(kMarginWidth, kMarginWidth, kMarginWidth, kSpacing);
    tabArea->addWidget(pages_);
    window->addLayout(tabArea, 1);
    window->addLayout(buttons);
    window->addWidget(statusBar());

    fill();
}

QWidget* OverallSettingsDialog::newsletterPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));

    title_ = textBox("Edit1");
    title_->setLimit(kTitleBytes, LimitUnit::bytes);
    authorMail_ = textBox("Edit2");
    homeUrl_ = textBox("Edit3");
    homeUrl_->setText(QStringLiteral("http://"));
    authorName_ = textBox("Edit4");
    magazineId_ = textBox("Edit11");
    // Made in the order the Tab key visits them: the left column, then the
    // right one.
    issueDay_ = textBox("Edit7");
    launchDay_ = textBox("Edit8");
    for (Cp932LineEdit* box :
         {authorMail_, homeUrl_, authorName_, magazineId_, issueDay_, launchDay_})
        box->setLimit(kStoredBytes, LimitUnit::bytes);
    lineWidth_ = numberBar("Edit10", "ScrollBar1", 10, kLineWidthLimit, 10);
    maxChars_ = numberBar("Edit9", "ScrollBar2", 10, kMaxCharsLimit, 1000);
    saveFolder_ = textBox("Edit5");
    saveFolder_->setLimit(kStoredBytes, LimitUnit::bytes);

    auto* newsletter = new QGroupBox(caption("メ－ルマガジン基本設定"), page);
    newsletter->setObjectName(QStringLiteral("GroupBox5"));
    auto* fields = new QVBoxLayout(newsletter);
    compactGroup(fields);
    addField(fields, "メールマガジンタイトル(半角80文字まで)", title_);
    addField(fields, "あなたのメールアドレス", authorMail_);
    addField(fields, "あなたのホームページのアドレス", homeUrl_);
    addField(fields, "あなたの名前", authorName_);
    addField(fields, "マガジンID", magazineId_);

    auto* editing = new QGroupBox(caption("編集の設定"), page);
    editing->setObjectName(QStringLiteral("GroupBox6"));
    auto* limits = new QVBoxLayout(editing);
    compactGroup(limits);
    addNumberBar(limits, "文章の幅", lineWidth_, "文字（最大半角80文字）");
    addNumberBar(limits, "全体の最大文字数", maxChars_, "文字(最大３００００文字)");

    auto* folder = new QGroupBox(caption("メールマガジンの基準保存フォルダ"), page);
    folder->setObjectName(QStringLiteral("GroupBox7"));
    auto* folderRow = new QHBoxLayout(folder);
    compactGroup(folderRow);
    auto* browseButton = new QPushButton(caption("参照"), page);
    browseButton->setObjectName(QStringLiteral("Button3"));
    browseButton->setAutoDefault(false);
    connect(browseButton, &QPushButton::clicked, this, &OverallSettingsDialog::browse);
    folderRow->addWidget(saveFolder_, 1);
    folderRow->addWidget(browseButton);

    auto* issue = new QGroupBox(caption("発行設定"), page);
    issue->setObjectName(QStringLiteral("GroupBox8"));
    auto* issueFields = new QVBoxLayout(issue);
    compactGroup(issueFields);
    addField(issueFields, "発行日（週間、月刊、隔週、不定期など）", issueDay_);
    addField(issueFields, "創刊日", launchDay_);

    QPlainTextEdit* info = infoText(
        "RichEdit1",
        {caption("ここではメールマガジンの全体の基本設定を"), caption("します"), QString(),
         caption("タイトル挿入やメールアドレス挿入をする"), caption("ときに大変便利です。"),
         QString(), caption("全体基本設定を変更すると基本設定も変わり"), caption("ます。"),
         QString(), caption("詳しくはヘルプをご覧ください。")},
        true);

    auto* left = new QVBoxLayout;
    left->setSpacing(kSpacing);
    left->addWidget(newsletter);
    left->addWidget(issue);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(kSpacing);
    right->addWidget(editing);
    right->addWidget(folder);
    right->addWidget(info, 1);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(kMarginWidth, kMarginWidth, kMarginWidth, kMarginWidth);
    columns->setSpacing(kSpacing);
    columns->addLayout(left);
    columns->addLayout(right, 1);
    return page;
}

QWidget* OverallSettingsDialog::behaviourPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto check = [page](const char* name, const char* text) {
        auto* box = new QCheckBox(caption(text), page);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    auto note = [this](QBoxLayout* into, const char* text) {
        auto* row = new QHBoxLayout;
        row->addSpacing(kNoteIndent);
        row->addWidget(label(text), 1);
        into->addLayout(row);
    };

    auto* tray = new QGroupBox(caption("常駐に関する設定"), page);
    tray->setObjectName(QStringLiteral("GroupBox1"));
    auto* trayBoxes = new QVBoxLayout(tray);
    compactGroup(trayBoxes);
    QCheckBox* resident = check("CheckBox2", "常駐する");
    QCheckBox* minimizeToTray = check("CheckBox3", "最小化はタスクトレイに格納");
    trayBoxes->addWidget(resident);
    trayBoxes->addWidget(minimizeToTray);

    auto* start = new QGroupBox(caption("起動時の設定"), page);
    start->setObjectName(QStringLiteral("GroupBox2"));
    auto* startBoxes = new QVBoxLayout(start);
    compactGroup(startBoxes);
    QCheckBox* restorePosition = check("CheckBox1", "起動時に前回の座標を有効にする");
    QCheckBox* openLast = check("CheckBox4", "最後に開いたファイルを開く");
    QCheckBox* openPrevious = check("CheckBox5", "前回開いたファイルを別ウィンドウで開く");
    startBoxes->addWidget(restorePosition);
    note(startBoxes, "(無効にするとディスプレイの真ん中に表示)");
    startBoxes->addWidget(openLast);
    startBoxes->addWidget(openPrevious);
    note(startBoxes, "(Read Onlyで開きます)");

    auto* other = new QGroupBox(caption("その他の設定"), page);
    other->setObjectName(QStringLiteral("GroupBox3"));
    auto* otherBoxes = new QVBoxLayout(other);
    compactGroup(otherBoxes);
    QCheckBox* single = check("CheckBox6", "多重起動の禁止");
    QCheckBox* imeOn = check("CheckBox8", "起動時にIMEをONにする");
    QCheckBox* backup = check("CheckBox10", "バックアップの作成");
    QCheckBox* anyPitch = check("CheckBox11", "固定ピッチに関係なくFont選択");
    QLabel* pitchNote = label("文字数制限がOFFになります");
    pitchNote->setObjectName(QStringLiteral("Label5"));
    QPalette red = pitchNote->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    pitchNote->setPalette(red);
    QFont bold = pitchNote->font();
    bold.setBold(true);
    pitchNote->setFont(bold);
    for (QWidget* w : std::initializer_list<QWidget*>{single, imeOn, backup, anyPitch, pitchNote})
        otherBoxes->addWidget(w);

    auto* history = new QGroupBox(caption("ファイル履歴"), page);
    history->setObjectName(QStringLiteral("GroupBox4"));
    auto* historyBoxes = new QVBoxLayout(history);
    compactGroup(historyBoxes);
    QCheckBox* historyShown = check("CheckBox7", "ファイル履歴を表示(１０個まで)");
    count_ = new QLineEdit(page);
    count_->setObjectName(QStringLiteral("Edit6"));
    count_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000")) + 16);
    countBar_ = new QScrollBar(Qt::Horizontal, page);
    countBar_->setObjectName(QStringLiteral("ScrollBar3"));
    countBar_->setRange(0, kHistorySlots);
    countBar_->setPageStep(1);
    countBar_->setValue(0);
    count_->setText(QStringLiteral("0"));
    // Typing into the count box is replaced at once: only the bar sets it.
    connect(countBar_, &QScrollBar::valueChanged, this, &OverallSettingsDialog::showCount);
    connect(count_, &QLineEdit::textChanged, this, &OverallSettingsDialog::showCount);
    auto* clear = new QPushButton(caption("履歴のクリア"), page);
    clear->setObjectName(QStringLiteral("Button4"));
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, &OverallSettingsDialog::clearHistory);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(count_);
    countRow->addWidget(label("個"));
    countRow->addWidget(countBar_, 1);
    historyBoxes->addWidget(historyShown);
    historyBoxes->addLayout(countRow);
    auto* clearRow = new QHBoxLayout;
    clearRow->addStretch(1);
    clearRow->addWidget(clear);
    historyBoxes->addLayout(clearRow);

    QPlainTextEdit* info = infoText(
        "RichEdit2",
        {caption("ここでは「もるもる」メールマガジンエ"), caption("ディタの動作を設定します。"),
         caption("ここの設定はすぐに反映されるもの"), caption("と、次回起動時に反映されるものがあ"),
         caption("ります。")},
        false);

    options_ = {{{resident, &AppOptions::trayResident},
                 {minimizeToTray, &AppOptions::minimizeToTray},
                 {restorePosition, &AppOptions::restorePosition},
                 {openLast, &AppOptions::openLastFile},
                 {openPrevious, &AppOptions::openPreviousInWindow},
                 {single, &AppOptions::singleInstance},
                 {imeOn, &AppOptions::imeOnAtStart},
                 {backup, &AppOptions::makeBackup},
                 {anyPitch, &AppOptions::anyPitchFont},
                 {historyShown, &AppOptions::historyShown}}};

    auto* left = new QVBoxLayout;
    left->setSpacing(kSpacing);
    left->addWidget(tray);
    left->addWidget(start);
    left->addWidget(history);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(kSpacing);
    right->addWidget(other);
    right->addWidget(info, 1);
    auto* columns = new QHBoxLayout(page);
    columns->setContentsMargins(kMarginWidth, kMarginWidth, kMarginWidth, kMarginWidth);
    columns->setSpacing(kSpacing);
    columns->addLayout(left);
    columns->addLayout(right, 1);
    return page;
}

void OverallSettingsDialog::showCount() {
    const QString position = QString::number(countBar_->value());
    if (count_->text() != position) count_->setText(position);
}

void OverallSettingsDialog::fill() {
    const NewsletterValues& g = s_.global;
    title_->setBytes(g.title);
    authorMail_->setBytes(g.authorMail);
    homeUrl_->setBytes(g.homeUrl);
    authorName_->setBytes(g.authorName);
    saveFolder_->setBytes(g.saveFolder);
    issueDay_->setBytes(g.issueDay);
    launchDay_->setBytes(g.launchDay);
    magazineId_->setBytes(g.magazineId);
    lineWidth_.fill(g.lineWidth);
    maxChars_.fill(g.maxChars);
    for (const OptionBox& o : options_)
        o.box->setChecked(s_.options.*o.field == 1);
    count_->setText(QString::number(s_.options.historyCount));
    countBar_->setValue(s_.options.historyCount); // held to 0 to 10
}

void OverallSettingsDialog::confirm() {
    const NewsletterValues oldGlobal = s_.global;
    const AppOptions oldOptions = s_.options;

    NewsletterValues& g = s_.global;
    g.title = title_->bytes();
    g.authorMail = authorMail_->bytes();
    g.homeUrl = homeUrl_->bytes();
    g.authorName = authorName_->bytes();
    g.issueDay = issueDay_->bytes();
    g.launchDay = launchDay_->bytes();
    g.saveFolder = saveFolder_->bytes();
    g.lineWidth = lineWidth_.value();
    g.maxChars = maxChars_.value();
    g.magazineId = magazineId_->bytes();
    for (const OptionBox& o : options_)
        s_.options.*o.field = o.box->isChecked() ? 1 : 0;
    s_.options.historyCount = count_->text().toInt();

    if (!runCommand(dialogs_, [this] { s_.save(host_.editorFont()); })) {
        // Nothing is half stored: the dialog stays open with what was typed,
        // to be confirmed again or cancelled.
        s_.global = oldGlobal;
        s_.options = oldOptions;
        return;
    }
    s_.copyGlobalToDocument();
    s_.copyGlobalToNewDocument();
    host_.applyDocumentValues();
    finish();
}

void OverallSettingsDialog::browse() {
    const std::string name = dialogs_.openFileName(
        QString(), QString(), QFile::encodeName(saveFolder_->text()).toStdString());
    if (name.empty()) return;
    const QString path = QFile::decodeName(name.c_str());
    const cp932::EncodeResult encoded = cp932::encode(path);
    if (!encoded.ok()) {
        std::vector<char32_t> chars;
        for (const cp932::Unrepresentable& u : encoded.bad)
            chars.push_back(u.ch);
        dialogs_.messageBox(QApplication::applicationName(), refusedCharactersMessage(chars),
                            Dialogs::Icon::Warning, Dialogs::Ok);
        return;
    }
    saveFolder_->setBytes(encoded.bytes);
}

void OverallSettingsDialog::clearHistory() {
    s_.clearHistory();
    host_.updateHistoryMenu();
    countBar_->setValue(0);
    showCount();
}
