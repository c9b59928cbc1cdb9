#include "settingsdialog.h"

#include "cp932lineedit.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/help.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTextDocument>

#include <algorithm>

namespace {
// The secondary windows' font.
constexpr const char* kDialogFont = "ＭＳ Ｐゴシック";
constexpr int kDialogFontPixels = 12;
// Wide enough for "30000" in the dialog font.
constexpr int kNumberBoxWidth = 48;
// Between a label and the box it names.
constexpr int kLabelGap = 1;
// Inside a group box: around the controls and between them.
constexpr int kGroupSide = 8;
constexpr int kGroupTop = 2;
constexpr int kGroupBottom = 6;
constexpr int kGroupSpacing = 3;
// Around the text of an information box.
constexpr int kInfoMargin = 2;
} // namespace

void compactGroup(QBoxLayout* layout) {
    layout->setContentsMargins(kGroupSide, kGroupTop, kGroupSide, kGroupBottom);
    layout->setSpacing(kGroupSpacing);
}

QString settingsHelpKeyword() {
    return QStringLiteral("基本設定と全体基本設定");
}

NumberBar::NumberBar(QLineEdit* number, QScrollBar* bar, int shownMax)
    : number_(number), bar_(bar) {
    // Runs only when the position really changes.
    QObject::connect(bar, &QScrollBar::valueChanged, number, [number, shownMax](int position) {
        number->setText(QString::number(std::min(position, shownMax)));
    });
}

void NumberBar::fill(int value) {
    number_->setText(QString::number(value));
    bar_->setValue(value); // held to the bar's range
}

SettingsDialog::SettingsDialog(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                               SettingsDialogHost& host, QWidget* parent)
    : QDialog(parent), s_(settings), dialogs_(dialogs), shell_(shell), host_(host) {
    setModal(false);
}

void SettingsDialog::setUpWindow(const char* objectName, const char* title, QSize designSize) {
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(caption(title));
    // A fixed frame with only a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont f(caption(kDialogFont));
    f.setPixelSize(kDialogFontPixels);
    setFont(f);
    designSize_ = designSize;
}

void SettingsDialog::showDialog() {
    if (!shownBefore_) {
        // The design size, unless the controls need more with the fonts here.
        setFixedSize(designSize_.expandedTo(minimumSizeHint()));
        const QWidget* owner = parentWidget();
        const QScreen* screen =
            owner && owner->isVisible() ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen) move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        shownBefore_ = true;
    }
    show();
    raise();
    activateWindow();
}

void SettingsDialog::finish() {
    hide();
    host_.showMainWindow();
}

void SettingsDialog::cancel() {
    finish();
}

// Esc, and the close box through QDialog::closeEvent: the window is hidden,
// never destroyed.
void SettingsDialog::reject() {
    cancel();
}

void SettingsDialog::help() {
    runCommand(dialogs_, [this] {
        showHelp(shell_, dialogs_, s_.files.dataFile("help/index.html"), settingsHelpKeyword(),
                 this);
    });
}

Cp932LineEdit* SettingsDialog::textBox(const char* objectName) {
    auto* box = new Cp932LineEdit(this);
    box->setObjectName(QString::fromLatin1(objectName));
    connect(box, &Cp932LineEdit::refused, this, &SettingsDialog::tellRefused);
    return box;
}

void SettingsDialog::tellRefused(const QString& message) {
    dialogs_.messageBox(QApplication::applicationName(), message, Dialogs::Icon::Warning,
                        Dialogs::Ok);
}

NumberBar SettingsDialog::numberBar(const char* numberName, const char* barName, int min, int max,
                                    int pageStep) {
    auto* number = new QLineEdit(this);
    number->setObjectName(QString::fromLatin1(numberName));
    number->setReadOnly(true);
    number->setFixedWidth(kNumberBoxWidth);
    auto* bar = new QScrollBar(Qt::Horizontal, this);
    bar->setObjectName(QString::fromLatin1(barName));
    bar->setRange(min, max);
    bar->setSingleStep(1);
    bar->setPageStep(pageStep);
    bar->setValue(max);
    number->setText(QString::number(max));
    return NumberBar(number, bar, max);
}

QLabel* SettingsDialog::label(const char* text) {
    return new QLabel(caption(text), this);
}

void SettingsDialog::addField(QBoxLayout* into, const char* labelText, QWidget* box) {
    QLabel* l = label(labelText);
    l->setBuddy(box);
    auto* pair = new QVBoxLayout;
    pair->setSpacing(kLabelGap);
    pair->addWidget(l);
    pair->addWidget(box);
    into->addLayout(pair);
}

void SettingsDialog::addNumberBar(QBoxLayout* into, const char* labelText, const NumberBar& bar,
                                  const char* unitText) {
    auto* item = new QVBoxLayout;
    item->setSpacing(kLabelGap);
    item->addWidget(label(labelText));
    auto* row = new QHBoxLayout;
    row->setSpacing(kGroupSpacing);
    row->addWidget(bar.number());
    row->addWidget(label(unitText));
    row->addStretch(1);
    item->addLayout(row);
    item->addWidget(bar.bar());
    into->addLayout(item);
}

QPlainTextEdit* SettingsDialog::infoText(const char* objectName, const QStringList& lines,
                                         bool readOnly) {
    auto* box = new QPlainTextEdit(this);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setPlainText(lines.join(QLatin1Char('\n')));
    box->setReadOnly(readOnly);
    box->setTabChangesFocus(true);
    box->document()->setDocumentMargin(kInfoMargin);
    if (readOnly) {
        // Lines wrap at the box's width; a vertical scroll bar when needed.
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    return box;
}

QStatusBar* SettingsDialog::statusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    return bar;
}
