#include "findreplace.h"

#include "editor/textedit.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// A selection offered as the find text: one line, not longer than this.
constexpr std::size_t kLongestFindText = 256;
// The width of the text boxes, in pixels.
constexpr int kTextBoxWidth = 220;
// A title and a close box, as the platform's find and replace dialogs have.
constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

} // namespace

const char* const TextSearch::kAllFound = "すべて検索しました";
const char* const TextSearch::kAllReplaced = "すべて置き換えました";

// --- the search ----------------------------------------------------------------------

TextSearch::TextSearch(TextEdit& editor, Dialogs& dialogs) : editor_(editor), dialogs_(dialogs) {}

void TextSearch::tell(const char* text) {
    dialogs_.messageBox(u("エラー"), u(text), Dialogs::Icon::Error, Dialogs::Ok);
}

void TextSearch::select(std::size_t pos, std::size_t length) {
    // The start comes into view first, then the match is selected with the
    // caret after it, as a search selects.
    editor_.setSelectionStart(static_cast<int>(pos));
    editor_.setSelection(pos, pos + length);
}

bool TextSearch::findNext(const SearchRequest& r) {
    const auto start = static_cast<std::size_t>(editor_.selectionStart());
    const auto end = start + static_cast<std::size_t>(editor_.selectionLength());
    const std::optional<std::size_t> hit =
        editor_.document().find(r.what, r.options.backward ? start : end, r.options);
    if (!hit) {
        tell(kAllFound);
        return false;
    }
    select(*hit, r.what.size());
    return true;
}

bool TextSearch::selectionMatches(const SearchRequest& r) const {
    if (static_cast<std::size_t>(editor_.selectionLength()) != r.what.size()) return false;
    FindOptions forward = r.options;
    forward.backward = false;
    const auto start = static_cast<std::size_t>(editor_.selectionStart());
    return editor_.document().find(r.what, start, forward) == start;
}

bool TextSearch::replaceNext(const SearchRequest& r) {
    editor_.prepareOutsideEdit(); // before the selection is read
    Document& doc = editor_.document();
    FindOptions forward = r.options;
    forward.backward = false;
    const auto start = static_cast<std::size_t>(editor_.selectionStart());
    std::size_t from = start + static_cast<std::size_t>(editor_.selectionLength());
    if (selectionMatches(r)) {
        const std::size_t length = r.what.size();
        EditRules rules = editor_.editRules();
        rules.wholeOrNothing = true;
        doc.breakTypingMerge();
        const EditResult done =
            replaceRange(doc, start, start + length, r.with, rules, editor_.selection());
        if (done.outcome == EditResult::Outcome::limit)
            throw MMEditError(u("文字数の上限を超えるため、置き換えられません"));
        // Refused (a byte that is not code page 932 would pair with the
        // replacement; the editing area says so): nothing more.
        editor_.tellEditResult(done);
        if (!done.changed()) return false;
        editor_.caretAfterEdit(start + r.with.size());
        from = start + r.with.size();
    }
    const std::optional<std::size_t> hit = doc.find(r.what, from, forward);
    if (!hit) {
        tell(kAllReplaced);
        return false;
    }
    select(*hit, r.what.size());
    return true;
}

std::size_t TextSearch::replaceAll(const SearchRequest& r) {
    editor_.prepareOutsideEdit(); // before the selection is read
    Document& doc = editor_.document();
    FindOptions forward = r.options;
    forward.backward = false;
    const auto start = static_cast<std::size_t>(editor_.selectionStart());
    const auto length = static_cast<std::size_t>(editor_.selectionLength());
    const bool inSelection = r.inSelection && length > 0;
    const std::size_t from = inSelection ? start : 0;
    const std::size_t to = inSelection ? start + length : doc.size();

    // Under a character limit a growing replacement must fit whole.
    const std::size_t grows = cp932::countCharacters(r.with);
    const std::size_t shrinks = cp932::countCharacters(r.what);
    if (doc.characterLimit() != Document::kNoLimit && grows > shrinks) {
        std::size_t matches = 0;
        for (std::size_t p = from; auto hit = doc.find(r.what, p, forward);) {
            if (*hit + r.what.size() > to) break;
            ++matches;
            p = *hit + r.what.size();
        }
        if (doc.characterCount() + matches * (grows - shrinks) > doc.characterLimit())
            throw MMEditError(u("文字数の上限を超えるため、置き換えられません"));
    }

    const std::size_t caret = editor_.caretPosition();
    const Selection before{caret == start ? start + length : start, caret};
    const std::size_t count = doc.replaceAll(r.what, r.with, forward, before, from, to);
    if (inSelection && count > 0) {
        // The selection still covers what it covered, with the replacements.
        const std::size_t newLength = length + count * r.with.size() - count * r.what.size();
        editor_.setSelection(start, start + newLength);
    } else if (count > 0) {
        // A selection that the replaced span swallowed would cover it all:
        // only the caret stays, where the selection began.
        editor_.setSelectionStart(editor_.selectionStart());
    }
    dialogs_.messageBox(u("置換"), u("%1 個置き換えました").arg(count), Dialogs::Icon::Information,
                        Dialogs::Ok);
    return count;
}

// --- the dialogs -----------------------------------------------------------------------

FindDialog::FindDialog(QWidget* parent) : QDialog(parent, kDialogFlags) {
    setObjectName(QStringLiteral("FindDialog1"));
    setWindowTitle(u("検索"));
    setModal(false);
    auto* label = new QLabel(u("検索する文字列(&N):"), this);
    findEdit_ = new QLineEdit(this);
    findEdit_->setMinimumWidth(kTextBoxWidth);
    label->setBuddy(findEdit_);
    findNext_ = new QPushButton(u("次を検索(&F)"), this);
    findNext_->setDefault(true);
    auto* cancel = new QPushButton(u("キャンセル"), this);
    wholeWord_ = new QCheckBox(u("単語単位で探す(&W)"), this);
    matchCase_ = new QCheckBox(u("大文字と小文字を区別する(&C)"), this);
    auto* direction = new QGroupBox(u("検索する方向"), this);
    up_ = new QRadioButton(u("上へ(&U)"), direction);
    down_ = new QRadioButton(u("下へ(&D)"), direction);
    down_->setChecked(true);
    auto* directions = new QHBoxLayout(direction);
    directions->addWidget(up_);
    directions->addWidget(down_);

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(findEdit_, 1);
    grid->addLayout(top, 0, 0, 1, 2);
    auto* boxes = new QVBoxLayout;
    boxes->addStretch();
    boxes->addWidget(wholeWord_);
    boxes->addWidget(matchCase_);
    grid->addLayout(boxes, 1, 0);
    grid->addWidget(direction, 1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext_);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 2, 1);

    auto enable = [this] { findNext_->setEnabled(!findEdit_->text().isEmpty()); };
    connect(findEdit_, &QLineEdit::textChanged, this, enable);
    enable();
    connect(findNext_, &QPushButton::clicked, this, &FindDialog::findNextRequested);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ReplaceDialog::ReplaceDialog(QWidget* parent) : QDialog(parent, kDialogFlags) {
    setObjectName(QStringLiteral("ReplaceDialog1"));
    setWindowTitle(u("置換"));
    setModal(false);
    auto* findLabel = new QLabel(u("検索する文字列(&N):"), this);
    findEdit_ = new QLineEdit(this);
    findEdit_->setMinimumWidth(kTextBoxWidth);
    findLabel->setBuddy(findEdit_);
    auto* replaceLabel = new QLabel(u("置換後の文字列(&P):"), this);
    replaceEdit_ = new QLineEdit(this);
    replaceLabel->setBuddy(replaceEdit_);
    findNext_ = new QPushButton(u("次を検索(&F)"), this);
    findNext_->setDefault(true);
    replace_ = new QPushButton(u("置換して次に(&R)"), this);
    replaceAll_ = new QPushButton(u("すべて置換(&A)"), this);
    auto* cancel = new QPushButton(u("キャンセル"), this);
    wholeWord_ = new QCheckBox(u("単語単位で探す(&W)"), this);
    matchCase_ = new QCheckBox(u("大文字と小文字を区別する(&C)"), this);
    inSelection_ = new QCheckBox(u("すべて置換は選択範囲のみ(&S)"), this);

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findEdit_, 0, 1);
    grid->addWidget(replaceLabel, 1, 0);
    grid->addWidget(replaceEdit_, 1, 1);
    auto* boxes = new QVBoxLayout;
    boxes->addStretch();
    boxes->addWidget(wholeWord_);
    boxes->addWidget(matchCase_);
    boxes->addWidget(inSelection_);
    grid->addLayout(boxes, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext_);
    buttons->addWidget(replace_);
    buttons->addWidget(replaceAll_);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 3, 1);

    auto enable = [this] {
        const bool any = !findEdit_->text().isEmpty();
        findNext_->setEnabled(any);
        replace_->setEnabled(any);
        replaceAll_->setEnabled(any);
    };
    connect(findEdit_, &QLineEdit::textChanged, this, enable);
    enable();
    connect(findNext_, &QPushButton::clicked, this, &ReplaceDialog::findNextRequested);
    connect(replace_, &QPushButton::clicked, this, &ReplaceDialog::replaceRequested);
    connect(replaceAll_, &QPushButton::clicked, this, &ReplaceDialog::replaceAllRequested);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// --- the commands ------------------------------------------------------------------------

FindReplace::FindReplace(TextEdit& editor, Dialogs& dialogs, QWidget* window)
    : editor_(editor), dialogs_(dialogs), window_(window), search_(editor, dialogs) {}

FindReplace::~FindReplace() = default;

std::optional<SearchRequest> FindReplace::request(const QString& what, const QString& with,
                                                  bool wholeWord, bool matchCase, bool backward,
                                                  bool inSelection) {
    SearchRequest r;
    const cp932::EncodeResult w = cp932::encode(what);
    const cp932::EncodeResult x = cp932::encode(with);
    if (!w.ok() || !x.ok()) {
        QString chars;
        for (const cp932::EncodeResult* e : {&w, &x})
            for (const cp932::Unrepresentable& bad : e->bad)
                if (!chars.contains(QString::fromUcs4(&bad.ch, 1)))
                    chars += QString::fromUcs4(&bad.ch, 1);
        dialogs_.messageBox(u("エラー"),
                            u("Shift-JIS で表せない文字があるため検索できません: %1").arg(chars),
                            Dialogs::Icon::Error, Dialogs::Ok);
        return std::nullopt;
    }
    r.what = w.bytes;
    r.with = x.bytes;
    r.options.wholeWord = wholeWord;
    r.options.matchCase = matchCase;
    r.options.backward = backward;
    r.inSelection = inSelection;
    return r;
}

QString FindReplace::selectionAsFindText() const {
    const auto length = static_cast<std::size_t>(editor_.selectionLength());
    if (length == 0 || length > kLongestFindText) return {};
    const std::string bytes = editor_.selectedText();
    if (bytes.find_first_of("\r\n") != std::string::npos) return {};
    return cp932::decode(bytes);
}

void FindReplace::present(QDialog* d, QLineEdit* findEdit) {
    const QString selected = selectionAsFindText();
    if (!selected.isEmpty()) findEdit->setText(selected);
    if (!d->isVisible()) {
        // Beside the window's top right corner the first time, where it
        // covers the least text.
        if (!d->property("placed").toBool() && window_) {
            d->adjustSize();
            const QRect w = window_->frameGeometry();
            d->move(w.right() - d->width() - 24, w.top() + 80);
            d->setProperty("placed", true);
        }
        d->show();
    }
    d->raise();
    d->activateWindow();
    findEdit->selectAll();
    findEdit->setFocus();
}

void FindReplace::keepClear(QDialog* d) {
    const int length = editor_.selectionLength();
    if (!d->isVisible() || length == 0) return;
    const int start = editor_.selectionStart();
    QWidget* view = editor_.viewport();
    const QPoint first = view->mapToGlobal(editor_.positionOfChar(start));
    const QPoint last = view->mapToGlobal(editor_.positionOfChar(start + length));
    const QRect match(QPoint(view->mapToGlobal(QPoint(0, 0)).x(), std::min(first.y(), last.y())),
                      QPoint(view->mapToGlobal(QPoint(view->width(), 0)).x(),
                             std::max(first.y(), last.y()) + editor_.lineHeight()));
    const QRect frame = d->frameGeometry();
    if (!frame.intersects(match)) return;
    const QScreen* screen = d->screen();
    const QRect room =
        screen ? screen->availableGeometry() : QRect(frame.topLeft(), QSize(1 << 20, 1 << 20));
    constexpr int kGap = 8;
    if (match.bottom() + kGap + frame.height() <= room.bottom())
        d->move(frame.x(), match.bottom() + kGap);
    else if (match.top() - kGap - frame.height() >= room.top())
        d->move(frame.x(), match.top() - kGap - frame.height());
}

FindDialog* FindReplace::findDialog() {
    if (!find_) {
        find_ = new FindDialog(window_);
        QObject::connect(find_, &FindDialog::findNextRequested, find_, [this] {
            runCommand(dialogs_, [this] {
                if (auto r = request(
                        find_->findEdit()->text(), {}, find_->wholeWordBox()->isChecked(),
                        find_->matchCaseBox()->isChecked(), find_->upButton()->isChecked(), false))
                    search_.findNext(*r);
                keepClear(find_);
            });
        });
    }
    return find_;
}

ReplaceDialog* FindReplace::replaceDialog() {
    if (!replace_) {
        replace_ = new ReplaceDialog(window_);
        auto run = [this](auto command) {
            runCommand(dialogs_, [this, command] {
                if (auto r = request(replace_->findEdit()->text(), replace_->replaceEdit()->text(),
                                     replace_->wholeWordBox()->isChecked(),
                                     replace_->matchCaseBox()->isChecked(), false,
                                     replace_->inSelectionBox()->isChecked()))
                    command(*r);
                keepClear(replace_);
            });
        };
        QObject::connect(replace_, &ReplaceDialog::findNextRequested, replace_, [this, run] {
            run([this](const SearchRequest& r) { search_.findNext(r); });
        });
        QObject::connect(replace_, &ReplaceDialog::replaceRequested, replace_, [this, run] {
            run([this](const SearchRequest& r) { search_.replaceNext(r); });
        });
        QObject::connect(replace_, &ReplaceDialog::replaceAllRequested, replace_, [this, run] {
            run([this](const SearchRequest& r) { search_.replaceAll(r); });
        });
    }
    return replace_;
}

void FindReplace::showFind() {
    FindDialog* d = findDialog();
    present(d, d->findEdit());
}

void FindReplace::showReplace() {
    ReplaceDialog* d = replaceDialog();
    present(d, d->findEdit());
}
