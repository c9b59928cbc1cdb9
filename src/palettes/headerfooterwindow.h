// The header and footer window: one header text and one footer text, each in
// its own box, pasted into the document (the header at its start, the footer
// at its end) and saved to and loaded from text files.
#pragma once

#include "palettecontext.h"

#include <QMainWindow>

#include <array>
#include <string>

class QAction;
class QPushButton;
class TextEdit;

class HeaderFooterWindow : public QMainWindow {
    Q_OBJECT

  public:
    enum class Part { header = 0, footer = 1 };

    // A box holds as many characters as a newsletter issue may have.
    static const int kBoxCharacters;
    // "文字列の大きさが メモ の制限を越えました"
    static const char* const kTooLargeText;

    explicit HeaderFooterWindow(PaletteContext& context, QWidget* parent = nullptr);
    ~HeaderFooterWindow() override;

    // The paste buttons' command: 0 pastes the header, 1 the footer, any
    // other number nothing. The text goes straight into the document as one
    // change; the clipboard is not touched.
    void paste(int tag);
    // The header before the first character of the document, with a line end
    // after it when it has none of its own; the caret after it.
    void pasteHeader();
    // The footer after the last character, on a line of its own (a line end
    // goes first when the document's text does not end with one); the caret
    // at the end.
    void pasteFooter();

    // The file menu's commands: a file dialog, then the file. Failures are
    // reported; a box keeps its text when a file cannot be loaded.
    void save(Part part);
    void load(Part part);

    // Writes a box's text to a file byte for byte. Throws MMEditError.
    void saveTo(Part part, const std::string& path);
    // Replaces a box's text with a file's text, every line break made CR LF.
    // A file larger than the box holds, or holding bytes that are not valid
    // code page 932, throws MMEditError and the box keeps its text.
    void loadFrom(Part part, const std::string& path);

    TextEdit* box(Part part) const { return part == Part::header ? header_ : footer_; }
    QPushButton* pasteButton(Part part) const {
        return part == Part::header ? pasteHeader_ : pasteFooter_;
    }
    QPushButton* okButton() const { return ok_; }
    QAction* saveItem(Part part) const { return saveItems_[index(part)]; }
    QAction* loadItem(Part part) const { return loadItems_[index(part)]; }
    QAction* closeItem() const { return closeItem_; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    static std::size_t index(Part part) { return static_cast<std::size_t>(part); }
    TextEdit* makeBox(const char* name);
    // The file dialog of a part for saving or loading; "" when cancelled.
    std::string chooseFile(Part part, bool saving);

    PaletteContext& context_;
    TextEdit* header_;
    TextEdit* footer_;
    QPushButton* pasteHeader_;
    QPushButton* pasteFooter_;
    QPushButton* ok_;
    std::array<QAction*, 2> saveItems_{};
    std::array<QAction*, 2> loadItems_{};
    QAction* closeItem_ = nullptr;
    // Each of the four file dialogs keeps its own last file name: the
    // header's open and save, the footer's open and save.
    std::array<std::string, 4> lastNames_;
    bool placed_ = false;
};
