// The main window's status bar: six named panels (lock keys, insert mode,
// the two totals, the modified mark) and what each shows.
#pragma once

#include "text/lineview.h"

#include <QFrame>
#include <QGlyphRun>
#include <QList>
#include <QRawFont>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QLabel;
class QMouseEvent;
class QStatusBar;

// A sunken panel of the status bar with one line of text, drawn and sized as
// a framed label draws and sizes it: as wide as its text and at least its
// design width. The width is asked of the status bar's layout (the size
// hints), never forced on the panel (a minimum width): in a window narrower
// than the panels the layout then shares out what there is and the panels
// cannot overlap. Digits are measured as wide as the widest digit, so that
// a count keeps its width until it gains a digit: a new count costs only a
// repaint of its panel, not a new layout of the bar and the window.
class StatusPanel : public QFrame {
  public:
    StatusPanel(int designWidth, QWidget* parent);
    ~StatusPanel() override;

    const QString& text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    // The text with every digit as the widest digit of the font.
    QString widestForm(const QString& text) const;
    // Whether that form of the text is the one measured last.
    bool hasMeasuredForm(const QString& text) const;
    // The text is drawn in pieces: each digit, and each run of other
    // characters. The end of the piece that starts at i.
    static qsizetype pieceEnd(const QString& text, qsizetype i);
    // Where the first piece is drawn, and how far ink may reach out of a
    // piece's advance.
    qreal textLeft() const;
    int inkReach() const;

    QString text_;
    int designWidth_;
    // The size a framed label needs for the widest form of the text, and
    // that form.
    mutable QSize textSize_;
    mutable QString measured_;
    mutable bool measuredKnown_ = false;    // false: measure again
    mutable QChar widestDigit_;             // null: find again
    mutable std::unique_ptr<QLabel> ruler_; // measures as a label would
    // Pieces of text shaped for drawing, with their advances: glyphs placed
    // from the baseline at the piece's left edge.
    struct Piece {
        QList<QGlyphRun> glyphs;
        qreal advance = 0;
    };
    const Piece& pieceOf(const QString& text) const;
    const Piece& pieceAt(qsizetype i) const; // the piece that starts at text_[i]
    void placeText() const;
    mutable std::map<QString, Piece> pieces_;
    // The text as a whole places its digits: the font each digit is drawn
    // in (the one a label takes, which may depend on the characters before
    // it), its baseline and line height. Worked out again for another form
    // of text (other characters, or digits in other places).
    struct Placement {
        QString form; // the text with every digit as '0'
        qreal ascent = 0;
        int height = 0;
        std::vector<int> digitFont; // per character of form: index in fonts, -1: none
        std::vector<QRawFont> fonts;
    };
    mutable std::optional<Placement> placement_;
    mutable bool placedKnown_ = false;                         // placement_ is for text_
    mutable std::map<std::pair<int, char16_t>, Piece> digits_; // per font and digit
};

class StatusPanels {
  public:
    enum Panel { capsLock, insertMode, numLock, lineTotal, characterTotal, modifiedMark };
    static constexpr int kPanelCount = 6;

    // Adds the panels to the bar with their first texts, each as wide as its
    // text and at least its design width.
    explicit StatusPanels(QStatusBar* bar);

    QString text(Panel panel) const { return label(panel)->text(); }
    StatusPanel* label(Panel panel) const { return labels_[static_cast<std::size_t>(panel)]; }

    void showCapsLock(bool on);
    void showNumLock(bool on);
    void showInsertMode(bool insert);
    void showTotals(const TextTotals& totals);
    // The totals of a huge text are still being counted.
    void showCounting();
    void showModified(bool modified);

  private:
    std::array<StatusPanel*, kPanelCount> labels_{};
    std::optional<TextTotals> shownTotals_; // the totals the panels show
};

// The panel of the send check: "送信チェック 3". Clicking it opens the
// findings list. It gives way first when the bar is short of room.
class MailCheckPanel : public StatusPanel {
    Q_OBJECT

  public:
    // Adds the panel to the right of the bar's other panels.
    explicit MailCheckPanel(QStatusBar* bar);

    // The number of findings; known is false while it is still being counted.
    void showFindings(std::size_t count, bool known);

    QSize minimumSizeHint() const override;

  Q_SIGNALS:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* e) override;

  private:
    bool shown_ = false; // a count was shown: shownCount_ and shownKnown_
    std::size_t shownCount_ = 0;
    bool shownKnown_ = false;
};
