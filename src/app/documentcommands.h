// The document commands of the main window: new, open, recent files, save,
// save as, the HTML export and the previous-file window.
#pragma once

#include "text/document.h"

#include <QString>

#include <memory>
#include <string>

class MainWindow;
class PreviousFileWindow;
class CrashRecovery;
class FileWatch;

class DocumentCommands {
  public:
    explicit DocumentCommands(MainWindow& window);
    ~DocumentCommands();

    // --- the commands ---------------------------------------------------------
    // A blank document, or (fromSettings) one whose values are entered in the
    // basic settings dialog first. Modified text is offered for saving first.
    void newDocument(bool fromSettings);
    // Asks for a file and opens it as the document.
    void open();
    // Opens a recent file (slot 0 is the newest); an empty slot does nothing.
    void openRecent(int slot);
    // Opens a file named on the command line or handed over by a second
    // start of the program: asks about unsaved text first, as Open does.
    void openPath(const std::string& path);
    // A file already being read (the one named on the command line, read
    // while the windows are made): the next opening takes its text when it
    // opens that file unchanged, and drops it in any case.
    void setReadAhead(std::unique_ptr<Document::ReadAhead> ahead) { readAhead_ = std::move(ahead); }
    // The memory the file being read ahead holds (0 when there is none).
    std::size_t readAheadBytes() { return readAhead_ ? readAhead_->residentBytes() : 0; }
    // Saves to the document's file (with a backup when the settings ask for
    // one), or under a chosen name when it has none. False when nothing was
    // saved (cancelled, or failed and reported).
    bool save();
    bool saveAs();
    // Writes the web page of the text; the document stays as it is.
    void exportHtml();

    // Before the document's text is replaced: when it is modified, asks
    // whether to save it. False when the user cancels or the save does not
    // happen, and the command must stop.
    bool offerToSave();

    // --- crash recovery ---------------------------------------------------------
    // At the end of start-up: keeps the document in a recovery file of this
    // run while it holds unsaved changes, and offers the text a run that did
    // not end cleanly left behind.
    void startRecovery();
    // The text was written to its file, or replaced on purpose.
    void documentSaved();
    // The program ends normally: this run's recovery file goes.
    void cleanExit();
    // The event loop has ended: the write waiting, if any, is made and the
    // recovery file's lock given up (a recovery file still kept stays for
    // the next start to offer).
    void endRecovery();
    CrashRecovery* recovery() { return recovery_.get(); }

    // --- changes made by other programs ---------------------------------------
    // At the window's activation: when another program changed the file
    // since it was read or written, asks "ファイル %s がほかのプログラムで変更
    // されました。読み直しますか？" (and, with unsaved changes, whether they
    // may go); Yes reads it again with the caret on the same line. A removed
    // file is said so and marks the document modified.
    void checkFileOnDisk();

    // --- the previous-file window -------------------------------------------
    // Start-up: the window is to show path at its next activation.
    void setPreviousFile(const std::string& path);
    const std::string& previousFile() const { return previousFile_; }
    bool previousFilePending() const { return previousFilePending_; }
    // The read-only window of the previous file (made on first use).
    PreviousFileWindow& previousFileWindow();

    // The backup name of a document file: its last extension replaced by
    // ".bak", or ".bak" appended when it has none.
    static std::string backupName(const std::string& path);

  private:
    // Before the first write over a converted file: asks whether its old
    // encoding may go. False when the user says No.
    bool confirmEncodingChange(const std::string& path);
    // Loads path as the document: unchanged, named path, the limit lifted.
    // Throws MMEditError when it cannot be read (the text stays).
    void loadDocument(const std::string& path);
    // A file in another encoding than code page 932 (UTF-8, UTF-16, EUC-JP,
    // ISO-2022-JP) is offered for conversion; true when it was converted and
    // is now the document (changed, named path). False to load it as it is:
    // code page 932, the user said No, a character had no code (listed).
    // bytes are the file's, read once; they go when the conversion is done.
    bool offerConversion(const std::string& path, Document::LoadedText& bytes);
    // Open's steps after the question and the dialog.
    void openPathUnasked(const std::string& path);
    // Writes the text to path; with backup, first keeps the file as it was
    // under its backup name.
    void writeDocument(const std::string& path, bool backup);
    void previousWindowActivated();
    void placePreviousWindow();
    QString dialogFolder() const;

    MainWindow& w_;
    PreviousFileWindow* previousWindow_ = nullptr;
    std::unique_ptr<CrashRecovery> recovery_;
    std::unique_ptr<FileWatch> watch_;
    std::unique_ptr<Document::ReadAhead> readAhead_;
    bool checking_ = false;
    std::string previousFile_;
    // The file the document was converted from until it is written over,
    // and the name of its encoding.
    std::string convertedFile_;
    QString convertedFrom_;
    bool previousFilePending_ = false;
    bool previousWindowPlaced_ = false;
};
