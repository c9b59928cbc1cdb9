#include "statuspanels.h"

#include "text/lineview.h"

#include <QMouseEvent>
#include <QStatusBar>

#include <algorithm>

namespace {

// A panel as wide as its text, never narrower than its design width. The
// width is asked of the status bar's layout (the size hints), never forced
// on the label (a minimum width): in a window narrower than the panels the
// layout then shares out what there is and the panels cannot overlap.
class PanelLabel : public QLabel {
  public:
    PanelLabel(const QString& text, int designWidth, QWidget* parent)
        : QLabel(text, parent), designWidth_(designWidth) {}
    QSize sizeHint() const override {
        const QSize text = QLabel::sizeHint();
        return {std::max(designWidth_, text.width()), text.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  private:
    int designWidth_;
};

} // namespace

StatusPanels::StatusPanels(QStatusBar* bar) {
    struct Design {
        int width;
        const char* text;
    };
    static constexpr Design kDesign[kPanelCount] = {{50, "Caps"},    {50, "上書き"},
                                                    {50, "Num"},     {80, "１行の文字数"},
                                                    {100, "文字数"}, {50, "変更"}};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* l = new PanelLabel(QString::fromUtf8(kDesign[i].text), kDesign[i].width, bar);
        l->setObjectName(QStringLiteral("Panel%1").arg(i));
        l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(l);
        labels_[static_cast<std::size_t>(i)] = l;
    }
}

void StatusPanels::showCapsLock(bool on) {
    label(capsLock)->setText(on ? QStringLiteral("CapsOn") : QStringLiteral("CapsOff"));
}

void StatusPanels::showNumLock(bool on) {
    label(numLock)->setText(on ? QStringLiteral("NumOn") : QStringLiteral("NumOff"));
}

void StatusPanels::showInsertMode(bool insert) {
    label(insertMode)->setText(insert ? QStringLiteral("挿入") : QStringLiteral("上書き"));
}

void StatusPanels::showTotals(const TextTotals& t) {
    label(lineTotal)->setText(QStringLiteral("総行数") + QString::number(t.lines));
    label(characterTotal)->setText(QStringLiteral("総文字数=") + QString::number(t.characters));
}

void StatusPanels::showCounting() {
    label(lineTotal)->setText(QStringLiteral("総行数(計算中)"));
    label(characterTotal)->setText(QStringLiteral("総文字数=(計算中)"));
}

void StatusPanels::showModified(bool modified) {
    label(modifiedMark)->setText(modified ? QStringLiteral("変更あり") : QString());
}

namespace {
// The design width of the send check's panel.
constexpr int kMailCheckPanelWidth = 100;
constexpr int kMailCheckPanelMinimum = 30;
} // namespace

MailCheckPanel::MailCheckPanel(QStatusBar* bar) : QLabel(bar) {
    setObjectName(QStringLiteral("MailCheckPanel"));
    // It gives way first when the bar is short of room: the totals keep
    // their digits.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setCursor(Qt::PointingHandCursor);
    showFindings(0, true);
    bar->addWidget(this);
}

void MailCheckPanel::showFindings(std::size_t count, bool known) {
    const QString text = known ? QStringLiteral("送信チェック %1").arg(count)
                               : QStringLiteral("送信チェック(計算中)");
    if (text != this->text()) {
        setText(text);
        setToolTip(text + QStringLiteral(" (クリックすると一覧を開きます)"));
        updateGeometry();
    }
}

QSize MailCheckPanel::sizeHint() const {
    const QSize text = QLabel::sizeHint();
    return {std::max(kMailCheckPanelWidth, text.width()), text.height()};
}

QSize MailCheckPanel::minimumSizeHint() const {
    return {kMailCheckPanelMinimum, sizeHint().height()};
}

void MailCheckPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) Q_EMIT clicked();
    QLabel::mousePressEvent(e);
}
