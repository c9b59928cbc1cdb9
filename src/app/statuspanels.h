// The main window's status bar: six named panels (lock keys, insert mode,
// the two totals, the modified mark) and what each shows.
#pragma once

#include <QLabel>
#include <QString>

#include <array>
#include <cstdint>

class QMouseEvent;
class QStatusBar;
struct TextTotals;

class StatusPanels {
  public:
    enum Panel { capsLock, insertMode, numLock, lineTotal, characterTotal, modifiedMark };
    static constexpr int kPanelCount = 6;

    // Adds the panels to the bar with their first texts, each as wide as its
    // text and at least its design width.
    explicit StatusPanels(QStatusBar* bar);

    QString text(Panel panel) const { return label(panel)->text(); }
    QLabel* label(Panel panel) const { return labels_[static_cast<std::size_t>(panel)]; }

    void showCapsLock(bool on);
    void showNumLock(bool on);
    void showInsertMode(bool insert);
    void showTotals(const TextTotals& totals);
    // The totals of a huge text are still being counted.
    void showCounting();
    void showModified(bool modified);

  private:
    std::array<QLabel*, kPanelCount> labels_{};
};

// The panel of the send check: "送信チェック 3". Clicking it opens the
// findings list.
class MailCheckPanel : public QLabel {
    Q_OBJECT

  public:
    // Adds the panel to the right of the bar's other panels.
    explicit MailCheckPanel(QStatusBar* bar);

    // The number of findings; known is false while it is still being counted.
    void showFindings(std::size_t count, bool known);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  Q_SIGNALS:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* e) override;
};
