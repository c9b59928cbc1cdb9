#include "findingswindow.h"

#include "editor/editingarea.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// How long the list waits after a change before it checks the text again.
constexpr int kRefreshDelayMs = 300;
constexpr int kDesignWidth = 620;
constexpr int kDesignHeight = 360;

QString caption() {
    return QStringLiteral("送信チェック");
}
} // namespace

bool applyToDocument(EditingArea& editor, const std::vector<mailcheck::Edit>& edits) {
    if (edits.empty()) return true;
    Document& doc = editor.document();
    // One replacement of the range the edits cover (edits come last first).
    const std::size_t lo = edits.back().pos;
    const std::size_t hi = edits.front().pos + edits.front().length;
    std::string segment;
    std::size_t p = lo;
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        segment += doc.view(p, it->pos);
        segment += it->bytes;
        p = it->pos + it->length;
    }
    if (doc.joinsStrayByte(lo, hi - lo, segment)) return false;
    // Positions after the edits: moved by the edits before them; inside a
    // replaced character, after its replacement; at an insertion, after it.
    auto moved = [&](std::size_t x) {
        std::int64_t delta = 0;
        for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
            if (it->pos < x && x < it->pos + it->length)
                return static_cast<std::size_t>(static_cast<std::int64_t>(it->pos) + delta) +
                       it->bytes.size();
            if (it->pos + it->length > x) break;
            delta +=
                static_cast<std::int64_t>(it->bytes.size()) - static_cast<std::int64_t>(it->length);
        }
        return static_cast<std::size_t>(static_cast<std::int64_t>(x) + delta);
    };
    const std::size_t caret = editor.caretPosition();
    const auto start = static_cast<std::size_t>(editor.selectionStart());
    const std::size_t anchor =
        caret == start ? start + static_cast<std::size_t>(editor.selectionLength()) : start;
    const Selection before{anchor, caret};
    const Selection after{moved(anchor), moved(caret)};
    doc.replace(lo, hi - lo, segment, before, after);
    editor.setSelection(after.anchor, after.caret);
    return true;
}

// --- the model ---------------------------------------------------------------------

void FindingsModel::setFindings(std::string text, std::vector<mailcheck::Finding> findings) {
    beginResetModel();
    text_ = std::move(text);
    findings_ = std::move(findings);
    endResetModel();
}

int FindingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(findings_.size());
}

int FindingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FindingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const mailcheck::Finding& f = findings_[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() <= column)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && mailcheck::isWarning(f.kind))
        return QColor(150, 90, 0); // a warning, not an error
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case line:
        return static_cast<qulonglong>(f.line);
    case column:
        return static_cast<qulonglong>(f.column);
    case kind:
        if (f.kind == mailcheck::Kind::longLine || f.kind == mailcheck::Kind::longAddress)
            return mailcheck::kindName(f.kind) + QStringLiteral("(%1桁)").arg(f.extent);
        if (f.kind == mailcheck::Kind::overLimit)
            return mailcheck::kindName(f.kind) + QStringLiteral("(%1文字)").arg(f.extent);
        return mailcheck::kindName(f.kind);
    case character:
        return mailcheck::characterText(text_, f);
    case code:
        return mailcheck::codeText(f);
    case suggestion:
        return mailcheck::suggestionText(text_, f);
    default:
        return {};
    }
}

QVariant FindingsModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[kColumnCount] = {"行",   "桁",     "種類",
                                                       "文字", "コード", "置換候補"};
    if (section < 0 || section >= kColumnCount) return {};
    return QString::fromUtf8(kHeaders[section]);
}

// --- the window -----------------------------------------------------------------------

FindingsWindow::FindingsWindow(EditingArea& editor, Dialogs& dialogs,
                               std::function<void()> hardWrap, QWidget* parent)
    : QWidget(parent, Qt::Window), editor_(editor), dialogs_(dialogs),
      hardWrap_(std::move(hardWrap)) {
    setObjectName(QStringLiteral("MailCheckWindow"));
    setWindowTitle(caption());
    resize(kDesignWidth, kDesignHeight);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("MailCheckSummary"));
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("MailCheckList"));
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(FindingsModel::line, 56);
    table_->setColumnWidth(FindingsModel::column, 44);
    table_->setColumnWidth(FindingsModel::kind, 220);
    table_->setColumnWidth(FindingsModel::character, 60);
    table_->setColumnWidth(FindingsModel::code, 80);

    replaceOne_ = new QPushButton(QStringLiteral("置換"), this);
    replaceOne_->setObjectName(QStringLiteral("ReplaceOne"));
    replaceKind_ = new QPushButton(QStringLiteral("この種類をすべて置換"), this);
    replaceKind_->setObjectName(QStringLiteral("ReplaceKind"));
    auto* again = new QPushButton(QStringLiteral("再チェック"), this);
    again->setObjectName(QStringLiteral("CheckAgain"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("CloseList"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(replaceOne_);
    buttons->addWidget(replaceKind_);
    buttons->addStretch(1);
    buttons->addWidget(again);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshDelayMs);
    connect(&refreshTimer_, &QTimer::timeout, this,
            [this] { runCommand(dialogs_, [this] { refresh(); }); });
    connect(&editor_.document(), &Document::changed, this, [this] { textChanged(); });
    // Every command runs through runCommand: a failure is told, never
    // thrown at Qt.
    connect(table_, &QTableView::activated, this,
            [this](const QModelIndex& i) { runCommand(dialogs_, [&] { jumpTo(i.row()); }); });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { updateButtons(); });
    connect(replaceOne_, &QPushButton::clicked, this,
            [this] { runCommand(dialogs_, [this] { replaceRow(currentRow()); }); });
    connect(replaceKind_, &QPushButton::clicked, this,
            [this] { runCommand(dialogs_, [this] { replaceKind(currentRow()); }); });
    connect(again, &QPushButton::clicked, this,
            [this] { runCommand(dialogs_, [this] { refresh(); }); });
    connect(close, &QPushButton::clicked, this, [this] { hide(); });
    updateButtons();
}

FindingsWindow::~FindingsWindow() = default;

void FindingsWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (stale_) runCommand(dialogs_, [this] { refresh(); });
}

void FindingsWindow::textChanged() {
    stale_ = true;
    if (isVisible()) refreshTimer_.start();
}

void FindingsWindow::refresh() {
    refreshTimer_.stop();
    const Document& d = editor_.document();
    mailcheck::Options o;
    o.layout = editor_.lineView().rules();
    o.maxChars = d.characterLimit();
    std::string text = d.text();
    std::vector<mailcheck::Finding> findings = mailcheck::check(text, o);
    const int keep = currentRow();
    std::size_t warnings = 0;
    for (const mailcheck::Finding& f : findings)
        if (mailcheck::isWarning(f.kind)) ++warnings;
    summary_->setText(findings.empty()
                          ? QStringLiteral("問題は見つかりませんでした。")
                          : QStringLiteral("%1件 (エラー%2件、警告%3件)  行をダブルクリックすると"
                                           "その場所を表示します。")
                                .arg(findings.size())
                                .arg(findings.size() - warnings)
                                .arg(warnings));
    model_.setFindings(std::move(text), std::move(findings));
    stale_ = false;
    if (model_.rowCount() > 0) selectRow(std::clamp(keep, 0, model_.rowCount() - 1));
    updateButtons();
}

int FindingsWindow::currentRow() const {
    const QModelIndex i = table_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void FindingsWindow::selectRow(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    table_->selectRow(row);
    table_->setCurrentIndex(model_.index(row, 0));
}

void FindingsWindow::updateButtons() {
    const int row = currentRow();
    bool one = false, kind = false;
    if (!stale_ && row >= 0 && row < model_.rowCount()) {
        const mailcheck::Finding& f = model_.findings()[static_cast<std::size_t>(row)];
        one = mailcheck::replacement(model_.text(), f).has_value();
        kind = one || f.kind == mailcheck::Kind::longLine;
    }
    replaceOne_->setEnabled(one);
    replaceKind_->setEnabled(kind);
}

bool FindingsWindow::listIsCurrent() {
    if (!stale_) return true;
    refresh();
    summary_->setText(
        QStringLiteral("テキストが変わったので一覧を更新しました。もう一度選んでください。"));
    return false;
}

void FindingsWindow::jumpTo(int row) {
    if (row < 0 || row >= model_.rowCount() || !listIsCurrent()) return;
    const mailcheck::Finding& f = model_.findings()[static_cast<std::size_t>(row)];
    editor_.setSelectionStart(static_cast<int>(f.pos));
    editor_.setSelectionLength(static_cast<int>(f.length));
    if (QWidget* w = editor_.window()) w->activateWindow();
    editor_.setFocus();
}

void FindingsWindow::replaceRow(int row) {
    if (row < 0 || row >= model_.rowCount() || !listIsCurrent()) return;
    const mailcheck::Finding f = model_.findings()[static_cast<std::size_t>(row)];
    const std::optional<std::string> r = mailcheck::replacement(model_.text(), f);
    if (!r) return;
    if (!applyToDocument(editor_, {{f.pos, f.length, *r}})) {
        dialogs_.messageBox(caption(),
                            QStringLiteral("置き換えると前のバイトと結び付いて別の文字になるため、"
                                           "置換できません。先に Shift-JIS でないバイトを削除して"
                                           "ください。"),
                            Dialogs::Icon::Warning, Dialogs::Ok);
        return;
    }
    refresh();
    selectRow(std::min(row, model_.rowCount() - 1));
}

void FindingsWindow::replaceKind(int row) {
    if (row < 0 || row >= model_.rowCount() || !listIsCurrent()) return;
    const mailcheck::Kind kind = model_.findings()[static_cast<std::size_t>(row)].kind;
    if (kind == mailcheck::Kind::longLine) {
        hardWrap_();
    } else {
        std::vector<mailcheck::Finding> ofKind;
        for (const mailcheck::Finding& f : model_.findings())
            if (f.kind == kind) ofKind.push_back(f);
        if (!applyToDocument(editor_, mailcheck::replacementEdits(model_.text(), ofKind))) {
            dialogs_.messageBox(caption(),
                                QStringLiteral("置き換えると前のバイトと結び付いて別の文字になる"
                                               "ため、置換できません。先に Shift-JIS でない"
                                               "バイトを削除してください。"),
                                Dialogs::Icon::Warning, Dialogs::Ok);
            return;
        }
    }
    refresh();
}
