// The document commands of the main window: new, open, recent files, save,
// save as, the HTML export, the previous-file window and crash recovery.
#pragma once

#include <string>

class MainWindow;

class DocumentCommands {
  public:
    explicit DocumentCommands(MainWindow& window);
    ~DocumentCommands();

    // Opens a file named on the command line or handed over by a second
    // start of the program: asks about unsaved text first, as Open does.
    void openPath(const std::string& path);

  private:
    MainWindow& w_;
};
