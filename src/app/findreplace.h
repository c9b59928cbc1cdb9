// Find and replace: the search over the editing area's document (TextSearch)
// and the two non-modal dialogs that drive it, which look like the
// platform's find and replace dialogs and stay open while the user edits.
#pragma once

#include "text/document.h"

#include <QDialog>
#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class Dialogs;
class TextEdit;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// What one press of a dialog's button asks for.
struct SearchRequest {
    std::string what; // code page 932
    std::string with; // code page 932 (replacing only)
    FindOptions options;
    bool inSelection = false; // Replace All only inside the selection
};

// The search commands over an editing area. Every command works on the
// text as it stands at that moment; messages go to the dialogs.
class TextSearch {
  public:
    TextSearch(TextEdit& editor, Dialogs& dialogs);

    // Selects the next match from the caret (after the selection when there
    // is one; backward: before it). When nothing remains in that direction
    // it says "すべて検索しました" and leaves the selection alone.
    bool findNext(const SearchRequest& r);
    // Replaces the selection when it is a match, then selects the next match
    // after it; without a match selected it only selects the next one. When
    // none remains it says "すべて置き換えました".
    bool replaceNext(const SearchRequest& r);
    // Replaces every match (inside the selection when asked) as one undo
    // step and says how many ("N 個置き換えました"); returns the number.
    std::size_t replaceAll(const SearchRequest& r);

    // The box of a search that found nothing (caption "エラー").
    static const char* const kAllFound;    // "すべて検索しました"
    static const char* const kAllReplaced; // "すべて置き換えました"

  private:
    // Selects [pos, pos + length) and scrolls it into view.
    void select(std::size_t pos, std::size_t length);
    // The selection is exactly one match of the request.
    bool selectionMatches(const SearchRequest& r) const;
    void tell(const char* text);

    TextEdit& editor_;
    Dialogs& dialogs_;
};

// The find dialog: find text, whole word, match case, direction.
class FindDialog : public QDialog {
    Q_OBJECT

  public:
    explicit FindDialog(QWidget* parent = nullptr);

    QLineEdit* findEdit() const { return findEdit_; }
    QCheckBox* wholeWordBox() const { return wholeWord_; }
    QCheckBox* matchCaseBox() const { return matchCase_; }
    QRadioButton* upButton() const { return up_; }
    QRadioButton* downButton() const { return down_; }
    QPushButton* findNextButton() const { return findNext_; }

  Q_SIGNALS:
    void findNextRequested();

  private:
    QLineEdit* findEdit_;
    QCheckBox* wholeWord_;
    QCheckBox* matchCase_;
    QRadioButton* up_;
    QRadioButton* down_;
    QPushButton* findNext_;
};

// The replace dialog: find text, replacement, whole word, match case, and
// Replace All inside the selection only.
class ReplaceDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ReplaceDialog(QWidget* parent = nullptr);

    QLineEdit* findEdit() const { return findEdit_; }
    QLineEdit* replaceEdit() const { return replaceEdit_; }
    QCheckBox* wholeWordBox() const { return wholeWord_; }
    QCheckBox* matchCaseBox() const { return matchCase_; }
    QCheckBox* inSelectionBox() const { return inSelection_; }
    QPushButton* findNextButton() const { return findNext_; }
    QPushButton* replaceButton() const { return replace_; }
    QPushButton* replaceAllButton() const { return replaceAll_; }

  Q_SIGNALS:
    void findNextRequested();
    void replaceRequested();
    void replaceAllRequested();

  private:
    QLineEdit* findEdit_;
    QLineEdit* replaceEdit_;
    QCheckBox* wholeWord_;
    QCheckBox* matchCase_;
    QCheckBox* inSelection_;
    QPushButton* findNext_;
    QPushButton* replace_;
    QPushButton* replaceAll_;
};

// The find and replace commands of a window: shows the dialogs (created on
// first use, then only shown and hidden) and runs their buttons.
class FindReplace {
  public:
    FindReplace(TextEdit& editor, Dialogs& dialogs, QWidget* window);
    ~FindReplace();

    void showFind();
    void showReplace();

    FindDialog* findDialog();
    ReplaceDialog* replaceDialog();
    TextSearch& search() { return search_; }

  private:
    // The request of a dialog's boxes; nothing when the texts cannot be put
    // into code page 932 (the user is told which characters).
    std::optional<SearchRequest> request(const QString& what, const QString& with, bool wholeWord,
                                         bool matchCase, bool backward, bool inSelection);
    // The selection, when it is short and on one line, as the find text.
    QString selectionAsFindText() const;
    void present(QDialog* d, QLineEdit* findEdit);
    // Moves the dialog off the selected match (below it, else above it)
    // when it covers it.
    void keepClear(QDialog* d);

    TextEdit& editor_;
    Dialogs& dialogs_;
    QWidget* window_;
    TextSearch search_;
    FindDialog* find_ = nullptr;
    ReplaceDialog* replace_ = nullptr;
};
