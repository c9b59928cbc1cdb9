// TextEdit: our multi-line text view over the code page 932 byte-string
// document. It lays the text out with the line view, wrapping at a line width
// in single-byte columns (or at the window's width), draws it on a grid in
// which a single-byte column is half as wide as a double-byte character, and
// handles keys, mouse, input method, clipboard, undo and redo.
#pragma once

#include "caretmodel.h"
#include "keytable.h"
#include "linerenderer.h"
#include "options.h"

#include "platform/colors.h"
#include "text/cp932.h"
#include "text/document.h"
#include "text/lineview.h"
#include "text/textediting.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QInputMethodEvent>
#include <QList>
#include <QRect>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QPrinter;
class QPainter;

class QScrollBar;

class TextEdit : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit TextEdit(QWidget* parent = nullptr);
    ~TextEdit() override;

    // --- text and selection ---------------------------------------------------
    Document& document() { return doc_; }
    const Document& document() const { return doc_; }
    std::string text() const;             // without the composition text
    void setText(std::string_view bytes); // replaces the whole text
    int textLength() const;               // bytes, as an int
    // Replaces the whole text with a file's bytes as setText does, read
    // straight into the document (Document::loadFile, whose errors it
    // throws; the text stays as it was then).
    void loadFile(const std::string& path);
    // The same with a file already read (Document::readFile).
    void takeLoaded(Document::LoadedText& loaded, const std::string& path);

    int selectionStart() const { return static_cast<int>(cursor_.selectionStart()); }
    int selectionLength() const { return static_cast<int>(cursor_.selectionLength()); }
    void setSelectionStart(int pos); // also empties the selection
    void setSelectionLength(int len);
    void setSelection(std::size_t anchor, std::size_t caret);
    std::size_t caretPosition() const { return cursor_.caret; }
    std::string selectedText() const;
    virtual void selectAll();
    // Replaces the selection (at the caret when empty) with bytes, as one
    // undoable change. Returns false when nothing could be inserted
    // (read-only, or the maximum length reached).
    bool replaceSelection(std::string_view bytes);
    // The rules this view's edits go by (for an edit of its document made
    // without the view).
    EditRules editRules() const { return EditRules{.readOnly = readOnly_}; }
    // Readies the view for an edit of its document made without it: the
    // input method's composition, which stands in the document without an
    // undo step, ends first (as before every command of the view): the input
    // method commits it where it was typed, as an undo step of its own, or
    // drops it; it never becomes part of that edit or of its undo step.
    // Returns the rules the view's edits go by.
    EditRules prepareOutsideEdit() {
        interruptComposition();
        return editRules();
    }
    // Tells what an edit of the document refused or cut, as the view's own
    // edits do (limitReached, inputRefused); true when it was refused for a
    // stray lead byte.
    bool tellEditResult(const EditResult& result);
    // After an edit: the caret at pos, shown, the change and selection
    // notifications sent.
    void caretAfterEdit(std::size_t pos);
    // The selection as undo keeps it (anchor and caret).
    Selection selection() const { return cursor_.selection(); }

    int maxLength() const { return static_cast<int>(doc_.characterLimit()); }
    void setMaxLength(int chars) { // 0 or less: no limit
        doc_.setCharacterLimit(chars > 0 ? static_cast<std::size_t>(chars) : Document::kNoLimit);
    }
    bool isModified() const { return doc_.isModified(); }
    void setModified(bool m) { doc_.setModified(m); }
    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool r) {
        readOnly_ = r;
        updateMicroFocus(Qt::ImEnabled);
    }
    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool w);
    // Typing inserts (true) or overwrites (false); Insert switches.
    bool isInsertMode() const { return !overwrite_; }

    ColorValue backgroundColor() const { return color_; }
    void setBackgroundColor(ColorValue c);
    const QFont& editorFont() const { return font_; }
    void setEditorFont(const QFont& f);
    ColorValue textColor() const { return fontColor_; }
    void setTextColor(ColorValue c);

    bool canUndo() const { return doc_.canUndo(); }
    bool canRedo() const { return doc_.canRedo(); }
    void undo();
    void redo();
    void copy();
    void cut();
    void paste();
    void deleteSelection();
    // Text from another program (the clipboard, a drop) as the document
    // holds it: every line end CR LF, the characters in CP932.
    static cp932::EncodeResult documentBytesOf(QString text);

    // Runs an editor command as its key would (the main window's actions
    // share the key table). A failure is reported by the failed signal.
    void runEditorCommand(EditorCommand command);

    // --- where the text stands ---------------------------------------------
    // The margins in pixels: left of the first column, above the first row
    // and below the last.
    struct Margins {
        int left = 1, top = 0, bottom = 0;
        bool operator==(const Margins&) const = default;
    };
    void setTextMargins(const Margins& m);
    const Margins& textMargins() const { return margins_; }
    // Wraps at a line width of so many single-byte columns (at least 1),
    // whatever the window's width.
    void setLineWidth(int columns);
    // Wraps at the window's width (the default).
    void wrapAtWindowWidth();
    // Keeps a selection bar in the left margin: a click there selects the line.
    void setSelectionBar(bool on);
    // The area the text is drawn in: inside the margins, and at a line width
    // as wide as its columns and the room of the marks that may hang past it
    // (far right of any window at most).
    QRect textArea() const;
    // The single-byte columns of the room right of the line width: one
    // double-byte mark may hang there, or two when none may.
    int hangingColumns() const;
    // The height the text is drawn at in pixels, whatever the font's size
    // (0: the font's own size).
    void setCharPixelHeight(int pixels);
    int charPixelHeight() const { return charPixels_; }

    QPoint positionOfChar(int pos) const; // the top left of its cell in the viewport
    int charAtPoint(QPoint p) const;      // the character under a viewport point
    int lineOfChar(int pos) const;
    int lineStart(int line) const; // -1: the caret's line
    int firstVisibleLine() const;
    int lineCount() const { return static_cast<int>(std::max<std::size_t>(view_.count(), 1)); }
    // The custom punctuation lists (type 1..4) and the mode word of the line
    // breaking; false for a type out of range.
    bool setPunctuation(int type, const std::string& list);
    void setWrapModeWord(std::uint32_t mode);
    std::uint32_t wrapModeWord() const { return modeWord_; }
    void applyCompositionColors(const CompColors& c);
    const CompColors& compositionColors() const { return imeColors_; }
    bool canPaste() const; // the clipboard holds text
    // Finds bytes forward from start, at character boundaries; -1 when absent.
    int find(int start, std::string_view what, bool matchCase) const;
    // The grid the text is drawn on.
    const TextGrid& grid() const { return grid_; }
    // Prints the line view on the printer under a job title.
    void print(QPrinter& printer, const QString& title);
    // Draws the line view on pages of a device (page: the printable area in
    // device pixels; newPage starts the next page).
    void printPages(QPainter& p, QPaintDevice* device, const QRect& page,
                    const std::function<void()>& newPage) const;

    // --- the line view and the grid ----------------------------------------
    const LineView& lineView() const { return view_; }
    TextTotals totals() const { return view_.totals(); }
    // False while lines still wait to be laid out (the totals are not final).
    bool totalsFinal() const { return view_.complete(); }
    int columnWidth() const { return grid_.columnWidth; } // pixels of one single-byte column
    int lineHeight() const { return grid_.lineHeight; }
    int wrapColumns() const { return rules_.width; }

  Q_SIGNALS:
    // The change notification after every change of the text.
    void changed();
    void selectionChanged();
    // Every key pressed in the view, inside its key handling and before
    // the view acts on it (the main window's key preview).
    void keyPreview(QKeyEvent* e);
    // Typed, pasted or composed text was refused (the message says why).
    void inputRefused(const QString& message);
    // An event could not be handled (the message says why); the text is as it was.
    void failed(const QString& message);
    // Typed or pasted text was cut at the character limit.
    void limitReached();
    // Text from the input method held characters that code page 932 cannot
    // hold: the rest went in (the message names the ones left out).
    void charactersLeftOut(const QString& message);
    // The lines that waited to be laid out (of a huge text, or after an edit
    // in a very long paragraph) are laid out, or every line was laid out
    // again with other totals (a new line width or font): the totals are final.
    void layoutCompleted();
    // Every key released in the view (lock keys change state on release).
    void keyReleased(QKeyEvent* e);

  protected:
    // Hooks of the derived views.
    virtual void selectionChange() { Q_EMIT selectionChanged(); }
    virtual void fontChanged();
    // Key handling before the view's own (the Insert rule lives here).
    virtual void keyDown(QKeyEvent* e);
    // A typed character, before and after it is inserted.
    virtual void charTyped(const std::string& bytes);
    // The line view was laid out again: after a change of the text (the
    // lines laid out again are the view's lastRelaid()), or whole, or in
    // part while idle (change is null then).
    virtual void textLaidOut(const TextChange* change) { (void)change; }

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery q) const override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is text
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

    // The view's base key handling (navigation, editing, clipboard).
    void baseKeyPress(QKeyEvent* e);
    // Types text as the keyboard would (insert or overwrite); joinsTyping:
    // the text may join the undo step of the typing before it; overwrites:
    // false inserts also in overwrite mode (the input method's text).
    void typeBytes(const std::string& bytes, bool joinsTyping, bool overwrites = true);
    // Refuses (and tells) an edit that would pair a byte that is not valid
    // code page 932 with the bytes after it.
    bool refusesStrayByteJoin(std::size_t pos, std::size_t length, std::string_view bytes);
    void tellStrayByteJoin();
    // The character boundary nearest to a point (a click or a drag), and
    // whether it is the end of a wrapped line.
    std::size_t nearestPosition(QPoint pt, bool* atLineEnd) const;
    // Draws the text of the visible lines (the base paint).
    void paintText(QPainter& p, const QRect& update);
    // Draws the caret, or the input method's pre-edit text at the caret.
    void paintCaret(QPainter& p);
    // Repaints where the caret was last drawn and where it is now.
    void updateCaret();
    // The byte position of the character that starts at or before pos.
    std::size_t boundary(std::size_t pos) const { return doc_.boundaryAtOrBefore(pos); }
    std::size_t nextBoundary(std::size_t pos) const { return doc_.nextBoundary(pos); }
    std::size_t prevBoundary(std::size_t pos) const { return doc_.previousBoundary(pos); }
    // Runs an event handler; a failure is reported by the failed signal and
    // never reaches Qt.
    void guarded(const std::function<void()>& handler);
    // The column (single-byte columns from the line start) of pos in its line.
    int columnOf(std::size_t line, std::size_t pos) const;
    void ensureCaretVisible();
    // Repaints the rows of the lines first to last (last past the end: to
    // the bottom, unless toBottom is false: then the rows up to last only).
    void updateLines(std::size_t first, std::size_t last, bool toBottom = true);
    void updateSelectionRows(std::size_t oldAnchor, std::size_t oldCaret);
    void tellRefused(const std::vector<cp932::Unrepresentable>& bad);
    int visibleLines() const;
    std::size_t caretLine() const;
    bool caretAtLineEnd() const { return cursor_.atLineEnd; }
    // The input method's composition text, laid out in place in the
    // document (not kept: no undo step, not in text()).
    bool composing() const { return composition_.length > 0; }

    bool loading_ = false; // while stored properties are being applied

  private:
    // The document changed: the line view, the caret and the screen follow.
    void documentChanged(const TextChange& change);
    // Replaces the whole text with replace() and puts the caret at its start.
    void replaceWholeText(const std::function<void()>& replace);
    // Lays out a part of the lines that wait, while the program is idle.
    void continueLayout();
    void showUndoneSelection(const std::optional<Selection>& shown);
    void runCommand(EditorCommand command, bool extend);
    void toggleInsertMode();
    void moveVertically(long delta, bool extend);
    void applyRules();
    void updateScrollBars();
    void setRangeQuietly(QScrollBar* bar, Qt::ScrollBarPolicy policy, int maximum);
    // The view follows a new scroll position (sideways: the horizontal one
    // changed too).
    void followScroll(bool sideways);
    // The scroll bars after a change of the lines: at once, or soon when
    // only lines that wait to be laid out moved the count by one.
    void updateScrollRange();
    void relayoutAll();
    // The margins or the line width changed: the layout, the scroll bars and
    // the screen follow.
    void geometryChanged();
    void moveCaret(std::size_t pos, bool extend, bool atLineEnd = false);
    void computeMetrics();
    // Deletes [from, to) as the delete keys do: one undo step that shows
    // the deleted bytes selected (anchor at the caret) when it is undone.
    void deleteRange(std::size_t from, std::size_t to, Selection shownByUndo);
    // The caret's rectangle in the viewport, and the rectangle of the cell
    // at a position (2 pixels wide, or the character's width for the
    // overwrite caret).
    QRect caretRect() const;
    QRect cellRect(std::size_t pos, bool atLineEnd, bool wide) const;
    // The viewport's rectangles in the view's own coordinates (the input
    // method's).
    QRect toWidget(QRect r) const { return r.translated(viewport()->geometry().topLeft()); }

    Document doc_;
    LineView view_;
    LayoutRules rules_;
    CaretModel cursor_{doc_, view_};
    bool readOnly_ = false;
    bool wordWrap_ = true;
    bool overwrite_ = false;
    bool dragging_ = false;
    ColorValue color_ = color::window;
    ColorValue fontColor_ = color::windowText;
    QFont font_;
    QFont drawFont_;
    TextGrid grid_;
    int charPixels_ = 0;
    Margins margins_;
    int lineWidth_ = -1; // columns; -1: the window's width
    bool selectionBar_ = false;
    std::uint32_t modeWord_ = 0;
    PunctuationLists custom_;
    CompColors imeColors_{};
    bool inEdit_ = false; // the view itself is changing the document
    // Sets inEdit_ for as long as it lives, also when the change throws.
    struct OwnEdit {
        bool& flag;
        explicit OwnEdit(bool& f) : flag(f) { flag = true; }
        ~OwnEdit() { flag = false; }
        OwnEdit(const OwnEdit&) = delete;
        OwnEdit& operator=(const OwnEdit&) = delete;
    };
    struct Composition {
        std::size_t start = 0, length = 0; // its bytes in the document
        std::string hidden;                // the selected bytes it stands in place of
        Selection selectionBefore;         // given back when it ends
        std::vector<LineRenderer::StyledRange> styles;
    };
    // Lays the composition text out in place of the selection (at the caret
    // when none), with its segments' colours and the caret where the input
    // method puts it.
    void showComposition(const QString& preedit, const QList<QInputMethodEvent::Attribute>& attrs);
    // Takes the composition text out of the document again; the selection
    // it stood in place of comes back.
    void endComposition();
    // Ends a composition that a click or a command interrupts, before the
    // caret moves: the input method commits it in place, or drops it; a
    // commit it sends later still lands where the composition stood.
    void interruptComposition();
    // Puts the input method's text in: the commit string at the caret, or
    // (a commit that came after its composition was interrupted) where the
    // composition stood; after the replacement of surrounding text it asks
    // for and before the selection it sets.
    void commitInput(const QInputMethodEvent& e);
    // The text around the caret the input method may read: the logical line,
    // at most so many bytes either side, without the composition (its
    // start stands for the caret then).
    struct Surrounding {
        std::size_t from = 0, caret = 0, anchor = 0, to = 0; // bytes of the document
        QString text;                                        // [from, to) less the composition
        qsizetype caretUnits = 0, anchorUnits = 0;           // UTF-16 offsets in text
    };
    Surrounding surrounding() const;
    // The byte position at a UTF-16 offset into [from, to) (the end at most).
    std::size_t positionAtUnits(std::size_t from, std::size_t to, qsizetype units) const;
    Composition composition_;
    // What becomes of a commit the input method sends after its composition
    // was interrupted. The composition ended uncommitted: the commit goes to
    // its place (in place of the selected bytes it stood for). It was
    // committed at once: the same text once more is dropped (ibus commits a
    // composition again after the reset that follows Qt's own commit).
    // Forgotten once anything else changes the text.
    struct LateCommit {
        std::size_t pos = 0, length = 0;
        QString committed; // committed at once
    };
    std::optional<LateCommit> lateCommit_;
    // While the input method is asked to commit: what it committed.
    std::optional<QString> committedAtOnce_;
    QRect paintedCaret_; // where the last paint pass drew the caret (empty: nowhere)
    std::optional<LineRenderer> renderer_; // of the last paint
    QTimer layoutTimer_;
    // The number of lines the scroll range was last set for, and when.
    std::size_t rangeLines_ = 0;
    QElapsedTimer rangeSet_;
    int shownTop_ = 0; // the first row the pixels on the screen show
};
