// The editing commands of the main window: clipboard, select all, find and
// replace, printing, the font, the stored values, the tool bar, help and the
// version window.
#pragma once

#include <QFont>

#include <functional>
#include <memory>
#include <optional>

class AboutBox;
class FindReplace;
class MainWindow;
class QAction;
class QPrinter;
class QWidget;

// The platform's print, page set-up, print preview and font dialogs, behind
// one interface so that tests answer them without blocking.
class CommonDialogs {
  public:
    virtual ~CommonDialogs() = default;
    // True when the user confirms printing (the printer then holds the
    // choices).
    virtual bool print(QPrinter& printer, QWidget* parent) = 0;
    // Page size, orientation and margins; true when confirmed.
    virtual bool pageSetup(QPrinter& printer, QWidget* parent) = 0;
    // Shows the pages that paint draws on the printer it is given.
    virtual void preview(QPrinter& printer, QWidget* parent,
                         const std::function<void(QPrinter*)>& paint) = 0;
    // The chosen font, nothing when cancelled; with fixedPitchOnly only
    // fixed-pitch fonts are offered.
    virtual std::optional<QFont> font(const QFont& initial, bool fixedPitchOnly,
                                      QWidget* parent) = 0;
};

// Qt's dialogs.
class QtCommonDialogs : public CommonDialogs {
  public:
    bool print(QPrinter& printer, QWidget* parent) override;
    bool pageSetup(QPrinter& printer, QWidget* parent) override;
    void preview(QPrinter& printer, QWidget* parent,
                 const std::function<void(QPrinter*)>& paint) override;
    std::optional<QFont> font(const QFont& initial, bool fixedPitchOnly, QWidget* parent) override;
};

class EditCommands {
  public:
    explicit EditCommands(MainWindow& window);
    ~EditCommands();

    // Tests answer the common dialogs themselves.
    void setCommonDialogs(std::unique_ptr<CommonDialogs> dialogs);

    // --- the commands -------------------------------------------------------
    void selectAll();
    // Selects the whole text and copies it; it stays selected.
    void transferToClipboard();
    void copy();
    void cut();
    void paste();
    // The selection, or the character after the caret.
    void deleteForward();
    void showFind();
    void showReplace();
    void print();
    void pageSetup();
    void printPreview();
    void exportPdf();
    void chooseFont();
    // Replaces the selection with a stored value of the document (tag 0 title,
    // 1 mail address, 2 home page, 3 name, 4 issue schedule, 5 launch date).
    void insertStoredValue(int tag);
    // Shows (tag 0) or hides (tag 1) the tool bar band and saves the choice.
    void showToolBar(int tag);
    void showHelp();
    void showAbout();

    FindReplace& findReplace() { return *findReplace_; }
    // The version window (made on first use).
    AboutBox* aboutBox();
    QPrinter& printer();
    QAction* previewItem() const { return preview_; }
    QAction* pdfItem() const { return pdf_; }

  private:
    MainWindow& w_;
    std::unique_ptr<CommonDialogs> dialogs_;
    std::unique_ptr<FindReplace> findReplace_;
    std::unique_ptr<QPrinter> printer_;
    AboutBox* about_ = nullptr;
    QAction* preview_ = nullptr;
    QAction* pdf_ = nullptr;
};
