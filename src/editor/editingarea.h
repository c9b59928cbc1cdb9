// EditingArea: the editing area. It lays the text out at a fixed line length in
// single-byte columns with margins around it, and draws over the text the
// wrap line at the line length, the underline of the caret's line, the marks
// of line ends, spaces, tabs, control characters and the end of the text, and
// the underlines of the send check's findings (kept up to date with every
// change and its layout). Every rule is carried out inside the paint pass, so
// nothing drawn is ever left behind when the text, the selection or the view
// moves. The colours of input-method composition text and the line-breaking
// rules are held in their option objects and applied to the view as they are
// set.
#pragma once

#include "options.h"
#include "textedit.h"

#include "text/mailcheck.h"

#include <QImage>

#include <memory>
#include <optional>

class EditingArea : public TextEdit,
                    public ImeColorsOwner,
                    public WordWrapOwner,
                    public EditMarksOwner,
                    public EditAreaOwner {
    Q_OBJECT

  public:
    explicit EditingArea(QWidget* parent = nullptr);
    ~EditingArea() override;

    // The getters refresh the objects from the view unless it is loading.
    ImeColors& imeColors();
    void setImeColors(const ImeColors& c) { imeColors_->assign(c); }
    WordWrapOption& wordWrapOption();
    void setWordWrapOption(const WordWrapOption& w) { wordWrap_->assign(w); }
    // While stored properties are applied (the form's values), the getters
    // read nothing back from the view.
    void setLoading(bool loading) { loading_ = loading; }

    EditArea& editArea() { return *editArea_; }
    void setEditArea(const EditArea& a) { editArea_->assign(a); }
    EditMarks& editMarks() { return *editMarks_; }
    void setEditMarks(const EditMarks& m) { editMarks_->assign(m); }
    void selectAll() override;

    // The character width (two columns of the grid) and the height the text
    // is drawn at follow the font.
    void updateCharWidth();
    // The margins and the line width of the edit area go to the view.
    void editAreaChanged() override; // EditAreaOwner
    void repaintMarks() override;    // EditMarksOwner
    // ImeColorsOwner, WordWrapOwner
    void setCompositionColors(const CompColors& colors) override;
    void setWrapModeWordOfControl(std::uint32_t modeWord) override;
    bool setPunctuationList(int type, const std::string& list) override;

    // The caret-line marker: works out the line that carries it and has the
    // rows repainted; the marker itself is drawn by the paint pass.
    void showCaretLine();
    void hideCaretLine();

    int caretLineIndex() const { return caretLine_; }
    bool caretLineShown() const { return caretLineShown_; }
    // The row (client y) of the caret-line marker for a line.
    int caretLineRow(int line) const;
    int wrapLineX() const;
    // The line length in pixels.
    std::int64_t lineLengthPixels() const;
    std::pair<int, int> previousSelection() const { return {prevSelStart_, prevSelEnd_}; }

    // The send check, kept up to date with the text and its layout while it
    // is active; its findings are marked in the paint pass (the mailCheck
    // and mailWarning marks).
    void setMailCheckActive(bool active);
    bool isMailCheckActive() const { return mailCheckActive_; }
    const mailcheck::LiveCheck& mailCheck() const { return live_; }
    // The number of findings, a text over the character limit included.
    std::size_t mailFindingCount() const;
    // False while the lines that show long lines are still being laid out,
    // or a large new text is still being checked.
    bool mailFindingsKnown() const { return live_.linesKnown() && !mailScanning_; }
    // Where the text passes the character limit, if it does.
    std::optional<std::size_t> overLimitPosition() const;

  Q_SIGNALS:
    // The number of findings, or whether it is known, changed.
    void mailFindingsChanged();

  protected:
    void selectionChange() override;
    void fontChanged() override;
    void keyDown(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void textLaidOut(const TextChange* change) override;

  private:
    // The word-wrap option knows the built-in lists of both levels.
    void takeBuiltInPunctuation();
    // The draw pass of the marks between two positions (both included), onto
    // the paint pass's canvas.
    void paintMarks(QPainter& p, int startPos, int endPos);
    void paintWrapLine(QPainter& p);
    // The marks of the send check's findings that start between the two
    // positions.
    void paintMailMarks(QPainter& p, int startPos, int endPos);
    // The wavy underlines the pass found, drawn into the canvas.
    void drawMailWaves(QImage& canvas, const QRect& update);
    void tellMailFindings();
    // A large text is checked while idle: the rows in sight at once, then
    // the whole text from its start in slices.
    void startMailScan();
    void continueMailScan();
    void paintMarginBands(QPainter& p);
    // Paints the area r of the view into the canvas.
    void paintCanvas(const QRect& r);
    void drawCaretLine(QImage& canvas, const QRect& update);
    bool lineVisible(int line) const;
    int computeCaretLine() const;
    void updateRow(int line);

    struct MarkFonts;
    std::unique_ptr<MarkFonts> markFonts_;
    int prevSelStart_ = 0, prevSelEnd_ = 0;
    int caretLine_ = 0;
    bool caretLineShown_ = false;
    bool painting_ = false;
    ImeColors* imeColors_;
    WordWrapOption* wordWrap_;
    EditArea* editArea_;
    EditMarks* editMarks_;
    QImage canvas_;
    mailcheck::LiveCheck live_;
    // The wavy underlines of the paint pass: the left end and bottom row of
    // each, its width and colour.
    struct Wave {
        int x, bottom, width;
        QRgb color;
    };
    std::vector<Wave> waves_;
    std::vector<mailcheck::LiveCheck::Mark> marks_; // the marks of the pass
    bool mailCheckActive_ = false;
    QTimer mailScanTimer_;
    bool mailScanning_ = false;
    std::size_t mailScanned_ = 0; // checked up to here while scanning
    std::size_t toldFindings_ = 0;
    bool toldKnown_ = false;
    // The position past the character limit, worked out when it is needed.
    mutable std::optional<std::size_t> overLimit_;
    mutable std::size_t overLimitFor_ = 0; // the limit it was worked out for
    mutable bool overLimitKnown_ = false;
};

// The editing area as the main window designs it: composition colours,
// level 2 line breaking with all three wrap rules, margins 10, 2, 1, the
// marks in teal and aqua and the wrap line. Applied as stored properties are,
// in this order, while the view is loading.
void configureNewsletterEditor(EditingArea& m);
