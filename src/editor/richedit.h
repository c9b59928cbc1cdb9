// TRichEdit: our multi-line text control over the code page 932 byte-string
// document, standing in for the platform's rich-edit control. It lays the
// text out with the line view, draws it on a grid in which a single-byte
// column is half as wide as a double-byte character, and handles keys,
// mouse, input method, clipboard, undo and redo. Its operations answer what
// the rich-edit messages answer; while its window does not exist they answer 0.
#pragma once

#include "lineview.h"
#include "options.h"
#include "textbuffer.h"

#include "common/colors.h"
#include "common/cp932.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QInputMethodEvent>
#include <QList>
#include <QRect>

#include <cstdint>
#include <string>
#include <vector>

class Dialogs;
class QPrinter;
class QPainter;

constexpr std::uint32_t ECOOP_OR = 2;
constexpr std::uint32_t ECO_SELECTIONBAR = 0x01000000;

class TRichEdit : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit TRichEdit(QWidget* parent = nullptr);
    ~TRichEdit() override;

    // --- the window's life cycle -------------------------------------------
    bool HandleAllocated() const { return handle_; }
    void HandleNeeded();  // creates the window when it is missing
    void DestroyHandle(); // the window goes; the text stays
    void RecreateWnd();

    // --- text and selection ---------------------------------------------------
    std::string Text() const { return doc_.str(); }
    void SetText(std::string_view bytes); // replaces the whole text
    const TextBuffer& buffer() const { return doc_; }
    int GetTextLen() const; // WM_GETTEXTLENGTH
    std::size_t textSize() const { return doc_.size(); }
    std::size_t charCount() const { return charCount_; }

    int SelStart() const { return static_cast<int>(std::min(anchor_, caret_)); }
    int SelLength() const {
        return static_cast<int>(anchor_ > caret_ ? anchor_ - caret_ : caret_ - anchor_);
    }
    void SetSelStart(int pos); // also empties the selection
    void SetSelLength(int len);
    void setSelection(std::size_t anchor, std::size_t caret);
    std::size_t caretPos() const { return caret_; }
    std::string SelText() const;
    virtual void SelectAll();
    // EM_REPLACESEL: replaces the selection (at the caret when empty) with
    // bytes, as one undoable change. Returns false when nothing could be
    // inserted (read-only, or the maximum length reached).
    bool ReplaceSel(std::string_view bytes);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int chars) { maxLength_ = chars; } // 0: no limit
    bool Modified() const { return modified_; }
    void SetModified(bool m) { modified_ = m; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r) { readOnly_ = r; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool w);
    bool controlOverwrite() const { return overwrite_; }

    TColor Color() const { return color_; }
    void SetColor(TColor c);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& f);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor c);

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Undo();
    void Redo();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    void ClearSelection();

    // Where problems are told to the user (a refused paste).
    void setDialogs(Dialogs* d) { dialogs_ = d; }

    // --- the rich-edit messages --------------------------------------------
    QRect GetRect() const;             // EM_GETRECT
    void SetRect(const QRect& r);      // EM_SETRECT
    QPoint PosFromChar(int pos) const; // EM_POSFROMCHAR
    int CharFromPos(QPoint p) const;   // EM_CHARFROMPOS
    int LineFromChar(int pos) const;   // EM_EXLINEFROMCHAR
    int LineIndex(int line) const;     // EM_LINEINDEX (-1: the caret's line)
    int GetFirstVisibleLine() const;   // EM_GETFIRSTVISIBLELINE
    int LineCount() const { return static_cast<int>(std::max<std::size_t>(view_.count(), 1)); }
    bool SetPunctuation(int type, const std::string& list); // EM_SETPUNCTUATION
    bool GetPunctuation(int type, std::string& list) const; // EM_GETPUNCTUATION
    int SetWordWrapModeMsg(std::uint32_t mode);             // EM_SETWORDWRAPMODE (reply)
    int GetWordWrapModeMsg() const;                         // EM_GETWORDWRAPMODE
    void SetImeColorMsg(const CompColors& c);               // EM_SETIMECOLOR
    bool GetImeColorMsg(CompColors& c) const;               // EM_GETIMECOLOR
    void SetOptions(std::uint32_t op, std::uint32_t bits);  // EM_SETOPTIONS
    std::uint32_t Options() const { return options_; }
    void SetDefaultCharHeight(int twips); // EM_SETCHARFORMAT (CFM_SIZE)
    int DefaultCharHeight() const { return charHeightTwips_; }
    bool CanPasteText() const; // EM_CANPASTE, CF_TEXT
    // Finds bytes forward from start, at character boundaries; -1 when absent.
    int FindText(int start, std::string_view what, bool matchCase) const;
    // Prints the line view on the printer under a job title.
    void Print(QPrinter& printer, const QString& title);

    // --- the line view and the grid ----------------------------------------
    const LineView& lineView() const { return view_; }
    TextTotals totals() const { return view_.totals(); }
    int columnWidth() const { return colW_; } // pixels of one single-byte column
    int lineHeight() const { return lineH_; }
    int wrapColumns() const { return rules_.width; }

    // The change notification after every change of the text.
  Q_SIGNALS:
    void changed();
    void selectionChanged();
    // Every key pressed in the control, inside its key handling and before
    // the control acts on it (the main window's key preview).
    void keyPreview(QKeyEvent* e);

  protected:
    // Hooks of the derived controls.
    virtual void CreateWnd();
    virtual void DestroyWnd();
    virtual void SelectionChange() { Q_EMIT selectionChanged(); }
    virtual void FontChanged();
    // Key handling before the control's own (the Insert rule lives here).
    virtual void KeyDown(QKeyEvent* e);
    // A typed character, before and after it is inserted.
    virtual void CharTyped(const std::string& bytes);

    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery q) const override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is text
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

    // The control's base key handling (navigation, editing, clipboard).
    void baseKeyPress(QKeyEvent* e);
    // Types text as the keyboard would (insert or overwrite).
    void typeBytes(const std::string& bytes);
    // Draws the text of the visible lines (the base paint).
    void paintText(QPainter& p, const QRect& update);
    // Draws the caret, or the input method's pre-edit text at the caret.
    void paintCaret(QPainter& p);
    // The byte position of the character that starts at or before pos.
    std::size_t boundary(std::size_t pos) const;
    std::size_t nextBoundary(std::size_t pos) const;
    std::size_t prevBoundary(std::size_t pos) const;
    // The column (single-byte columns from the line start) of pos in its line.
    int columnOf(std::size_t line, std::size_t pos) const;
    void ensureCaretVisible();
    // Repaints the rows of the lines first to last (last past the end: to the bottom).
    void updateLines(std::size_t first, std::size_t last);
    void updateSelectionRows(std::size_t oldAnchor, std::size_t oldCaret);
    void tellRefused(const std::vector<cp932::Unrepresentable>& bad);
    int visibleLines() const;
    std::size_t caretLine() const;
    bool caretAtLineEnd() const { return caretAtEnd_; }
    const QString& preedit() const { return preedit_; }

    bool loading_ = false; // while stored properties are being applied

  private:
    struct Edit {
        std::size_t pos;
        std::string removed, inserted;
        std::size_t anchorBefore, caretBefore, anchorAfter, caretAfter;
    };

    void replaceRange(std::size_t pos, std::size_t len, std::string_view bytes, bool undoable,
                      bool merge);
    // After an edit: the caret at pos, the undo record completed, the change
    // and selection notifications sent.
    void caretAfterEdit(std::size_t pos);
    // Undo (backwards) or redo one edit, moving it from one stack to the other.
    void replay(std::vector<Edit>& from, std::vector<Edit>& to, bool backwards);
    // The code of the character at pos (lead << 8 | trail, or the byte).
    unsigned codeAt(std::size_t pos) const;
    void applyRules();
    void updateScrollBars();
    void relayoutAll();
    std::size_t countCharsIn(std::size_t from, std::size_t to) const;
    std::string fitToMaxLength(std::string_view bytes, std::size_t replacedChars) const;
    void moveCaret(std::size_t pos, bool extend, bool atLineEnd = false);
    std::size_t lineStartOf(std::size_t line) const;
    std::size_t lineEndOf(std::size_t line) const; // before the line end
    std::size_t posAtColumn(std::size_t line, int col) const;
    std::size_t wordStart(std::size_t pos) const;
    std::size_t wordEnd(std::size_t pos) const;
    void computeMetrics();
    QRect caretRect() const;
    int runWidth(const QString& run) const;

    TextBuffer doc_;
    LineView view_;
    LayoutRules rules_;
    bool handle_ = false;
    std::size_t anchor_ = 0, caret_ = 0;
    bool caretAtEnd_ = false; // the caret stands at the end of a wrapped line
    int goalX_ = -1;
    std::size_t charCount_ = 0;
    int maxLength_ = 0;
    bool modified_ = false;
    bool readOnly_ = false;
    bool wordWrap_ = true;
    bool overwrite_ = false;
    bool dragging_ = false;
    TColor color_ = clWindow;
    TColor fontColor_ = clWindowText;
    QFont font_;
    QFont drawFont_;
    int colW_ = 8, lineH_ = 16, ascent_ = 12;
    bool gridFont_ = false; // the font's own advances fit the grid: runs are drawn at once
    int charHeightTwips_ = 0;
    QRect fmt_;
    bool fmtSet_ = false;
    std::uint32_t modeWord_ = 0;
    PunctuationLists custom_;
    CompColors imeColors_{};
    std::uint32_t options_ = 0;
    std::vector<Edit> undo_, redo_;
    bool mergeTyping_ = false;
    QString preedit_;
    QList<QInputMethodEvent::Attribute> preeditAttrs_;
    Dialogs* dialogs_ = nullptr;
};
