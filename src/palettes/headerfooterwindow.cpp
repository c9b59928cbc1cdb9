#include "headerfooterwindow.h"

#include "entrypalette.h"
#include "palettetext.h"

#include "editor/textedit.h"
#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/fonts.h"
#include "settings/settings.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/wrapmode.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The client area under the menu bar, from top to bottom: the header's bar,
// its box, the footer's bar, its box and the bar of the OK button.
constexpr int kClientWidth = 420;
constexpr int kTopBarHeight = 41;
constexpr int kHeaderBoxHeight = 89;
constexpr int kMiddleBarHeight = 46;
constexpr int kFooterBoxHeight = 90;
constexpr int kBottomBarHeight = 41;
constexpr int kWindowFontPixels = 12;
// A file is read up to this size; its text must then fit the box.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
// The bars' buttons.
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kBarMargin = 8;

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString pathText(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

// The file dialogs' one filter, and the extension a name without one gets.
const char* const kFilter = "テキストファイル (*.txt)";
constexpr std::string_view kDefaultExtension = ".txt";

bool hasExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && dot > name;
}

QWidget* bar(QWidget* parent, int height, QLabel* label, QPushButton* button) {
    auto* w = new QWidget(parent);
    w->setFixedHeight(height);
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(kBarMargin, 0, kBarMargin, 0);
    if (label) layout->addWidget(label);
    layout->addStretch(1);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    layout->addWidget(button);
    return w;
}

} // namespace

const int HeaderFooterWindow::kBoxCharacters = kMaxCharsLimit;
const char* const HeaderFooterWindow::kTooLargeText = "文字列の大きさが メモ の制限を越えました";

HeaderFooterWindow::HeaderFooterWindow(PaletteContext& context, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context) {
    setObjectName(QStringLiteral("TForm11"));
    setWindowTitle(u("ヘッダ、フッダウインドウ"));
    QFont f(u(fonts::kProportional));
    f.setPixelSize(kWindowFontPixels);
    setFont(f);

    QMenu* file = menuBar()->addMenu(u("ファイル"));
    file->menuAction()->setObjectName(QStringLiteral("fileMenu"));
    auto item = [&](const char* name, const char* caption) {
        QAction* a = file->addAction(u(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    saveItems_[0] = item("saveHeader", "ヘッダの保存");
    loadItems_[0] = item("loadHeader", "ヘッダの読み込み");
    file->addSeparator();
    saveItems_[1] = item("saveFooter", "フッダの保存");
    loadItems_[1] = item("loadFooter", "フッダの読み込み");
    file->addSeparator();
    closeItem_ = item("closeWindow", "閉じる");

    auto* central = new QWidget(this);
    central->setFixedSize(kClientWidth, kTopBarHeight + kHeaderBoxHeight + kMiddleBarHeight +
                                            kFooterBoxHeight + kBottomBarHeight);
    header_ = makeBox("headerText");
    header_->setParent(central);
    header_->setFixedHeight(kHeaderBoxHeight);
    footer_ = makeBox("footerText");
    footer_->setParent(central);
    footer_->setFixedHeight(kFooterBoxHeight);

    pasteHeader_ = new QPushButton(u("張り付け"), central);
    pasteHeader_->setObjectName(QStringLiteral("pasteHeader"));
    pasteHeader_->setProperty("Tag", 0);
    pasteFooter_ = new QPushButton(u("張り付け"), central);
    pasteFooter_->setObjectName(QStringLiteral("pasteFooter"));
    pasteFooter_->setProperty("Tag", 1);
    ok_ = new QPushButton(QStringLiteral("OK"), central);
    ok_->setObjectName(QStringLiteral("okButton"));

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(
        bar(central, kTopBarHeight, new QLabel(u("ヘッダ編集"), central), pasteHeader_));
    layout->addWidget(header_);
    layout->addWidget(
        bar(central, kMiddleBarHeight, new QLabel(u("フッダ編集"), central), pasteFooter_));
    layout->addWidget(footer_);
    layout->addWidget(bar(central, kBottomBarHeight, nullptr, ok_));
    setCentralWidget(central);

    // Both paste buttons run one command that reads the button's number.
    for (QPushButton* b : {pasteHeader_, pasteFooter_})
        connect(b, &QPushButton::clicked, this, [this, b] { paste(b->property("Tag").toInt()); });
    connect(ok_, &QPushButton::clicked, this, &QWidget::hide);
    connect(closeItem_, &QAction::triggered, this, &QWidget::hide);
    for (Part part : {Part::header, Part::footer}) {
        connect(saveItems_[index(part)], &QAction::triggered, this, [this, part] { save(part); });
        connect(loadItems_[index(part)], &QAction::triggered, this, [this, part] { load(part); });
    }
    setFixedSize(sizeHint());
}

HeaderFooterWindow::~HeaderFooterWindow() = default;

TextEdit* HeaderFooterWindow::makeBox(const char* name) {
    auto* box = new TextEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    QFont f(u(fonts::kGothic));
    f.setPixelSize(kWindowFontPixels);
    box->setEditorFont(f);
    // Lines wrap at the box's width on the screen only.
    box->setWordWrap(true);
    box->setWrapModeWord(kNewsletterWrapMode);
    box->setMaxLength(kBoxCharacters);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(box, &TextEdit::inputRefused, this, [this](const QString& message) {
        context_.dialogs.messageBox(u(kWarningCaption), message, Dialogs::Icon::Warning,
                                    Dialogs::Ok);
    });
    connect(box, &TextEdit::failed, this,
            [this](const QString& message) { showErrorBox(context_.dialogs, message); });
    connect(box, &TextEdit::charactersLeftOut, this,
            [this](const QString& message) { showWarning(context_.dialogs, message); });
    connect(box, &TextEdit::limitReached, this, [this] {
        showWarning(context_.dialogs,
                    u("文字数の上限 (%1 文字) を超える分は入力できません").arg(kBoxCharacters));
    });
    return box;
}

void HeaderFooterWindow::paste(int tag) {
    if (tag == 0)
        pasteHeader();
    else if (tag == 1)
        pasteFooter();
}

void HeaderFooterWindow::pasteHeader() {
    const std::string text = palettetext::headerInsertion(header_->text());
    if (text.empty()) return;
    context_.editor.prepareOutsideEdit();
    insertWhole(context_, 0, 0, text);
}

void HeaderFooterWindow::pasteFooter() {
    context_.editor.prepareOutsideEdit();
    const Document& doc = context_.editor.document();
    const std::size_t end = doc.size();
    const std::string text = palettetext::footerInsertion(
        end == 0 ? std::string_view() : doc.view(end - 1, end), footer_->text());
    if (text.empty()) return;
    insertWhole(context_, end, end, text);
}

std::string HeaderFooterWindow::chooseFile(Part part, bool saving) {
    static const char* const captions[2][2] = {{"ヘッダの読み込み", "ヘッダの保存"},
                                               {"フッダの読み込み", "フッダの保存"}};
    const QString caption = u(captions[index(part)][saving ? 1 : 0]);
    std::string& last = lastNames_[index(part) * 2 + (saving ? 1 : 0)];
    std::string name = saving ? context_.dialogs.saveFileName(caption, u(kFilter), last)
                              : context_.dialogs.openFileName(caption, u(kFilter), last);
    if (name.empty()) return name;
    // A name without an extension gets ".txt": always when saving; when
    // loading, when only the name with ".txt" is there.
    if (!hasExtension(name)) {
        const std::string withExtension = name + std::string(kDefaultExtension);
        if (saving || (!fileio::exists(name) && fileio::exists(withExtension)))
            name = withExtension;
    }
    last = name;
    return name;
}

void HeaderFooterWindow::save(Part part) {
    runCommand(context_.dialogs, [&] {
        const std::string name = chooseFile(part, true);
        if (!name.empty()) saveTo(part, name);
    });
}

void HeaderFooterWindow::load(Part part) {
    runCommand(context_.dialogs, [&] {
        const std::string name = chooseFile(part, false);
        if (!name.empty()) loadFrom(part, name);
    });
}

void HeaderFooterWindow::saveTo(Part part, const std::string& path) {
    fileio::writeAll(path, box(part)->text());
}

void HeaderFooterWindow::loadFrom(Part part, const std::string& path) {
    std::string bytes;
    try {
        bytes = fileio::readAll(path, kMaxFileBytes);
    } catch (const FileTooLargeError&) {
        throw MMEditError(u(kTooLargeText));
    }
    const std::string text = palettetext::withCrLfLineEnds(bytes);
    if (const auto bad = palettetext::firstInvalidByte(text))
        throw MMEditError(
            u("ファイル %1 の %2 行目に Shift-JIS の文字ではないバイトがあるため読み込めません")
                .arg(pathText(path))
                .arg(bad->line));
    if (cp932::countCharacters(text) > static_cast<std::size_t>(kBoxCharacters))
        throw MMEditError(u(kTooLargeText));
    box(part)->setText(text);
}

void HeaderFooterWindow::showEvent(QShowEvent* e) {
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
    QMainWindow::showEvent(e);
}
