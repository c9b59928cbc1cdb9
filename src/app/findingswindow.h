// The findings list of the send check: one row a finding (line, column,
// kind, character, code, suggestion). A row jumps to its place in the
// editor; "置換" puts the suggestion in for one row, "この種類をすべて置換"
// for every row of its kind, each as one undo step. The list follows the
// text while it is shown.
#pragma once

#include "text/mailcheck.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class Dialogs;
class Document;
class EditingArea;
class QLabel;
class QPushButton;
class QTableView;

// Applies replacements (as mailcheck::replacementEdits gives them) to the
// editor's document as one undo step, the caret kept on the same text.
// Returns false, and changes nothing, when the replacements would pair a
// byte that is not valid code page 932 with bytes the user did not touch.
bool applyToDocument(EditingArea& editor, const std::vector<mailcheck::Edit>& edits);

// The rows of the list.
class FindingsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { line, column, kind, character, code, suggestion };
    static constexpr int kColumnCount = 6;

    using QAbstractTableModel::QAbstractTableModel;

    // The findings of a text (the model keeps the text they were found in).
    void setFindings(std::string text, std::vector<mailcheck::Finding> findings);
    const std::vector<mailcheck::Finding>& findings() const { return findings_; }
    const std::string& text() const { return text_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    std::string text_;
    std::vector<mailcheck::Finding> findings_;
};

class FindingsWindow : public QWidget {
    Q_OBJECT

  public:
    // hardWrap puts a line end where the editor wraps every line (the
    // replacement of all long lines).
    FindingsWindow(EditingArea& editor, Dialogs& dialogs, std::function<void()> hardWrap,
                   QWidget* parent = nullptr);
    ~FindingsWindow() override;

    // Checks the text again and shows the findings.
    void refresh();
    const FindingsModel& model() const { return model_; }
    QTableView* table() const { return table_; }
    // Shows the row's place in the editor (selects the character).
    void jumpTo(int row);
    // Puts the suggestion in for one row, or for every row of its kind.
    void replaceRow(int row);
    void replaceKind(int row);
    // The row selected, -1 when none.
    int currentRow() const;
    void selectRow(int row);

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void textChanged();
    void updateButtons();
    // False (after checking again) when the text changed since the list was
    // made: the rows may stand elsewhere now.
    bool listIsCurrent();

    EditingArea& editor_;
    Dialogs& dialogs_;
    std::function<void()> hardWrap_;
    FindingsModel model_;
    QLabel* summary_;
    QTableView* table_;
    QPushButton* replaceOne_;
    QPushButton* replaceKind_;
    QTimer refreshTimer_;
    bool stale_ = true;
};
