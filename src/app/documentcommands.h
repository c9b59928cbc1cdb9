// The document commands of the main window: new, open, recent files, save,
// save as, the HTML export, the previous-file window and crash recovery.
#pragma once

class MainWindow;

class DocumentCommands {
  public:
    explicit DocumentCommands(MainWindow& window);
    ~DocumentCommands();

  private:
    MainWindow& w_;
};
