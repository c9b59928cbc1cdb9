// The editing commands of the main window: clipboard, select all, find and
// replace, printing, the font, the stored values, the tool bar, help and the
// version window.
#pragma once

class MainWindow;

class EditCommands {
  public:
    explicit EditCommands(MainWindow& window);
    ~EditCommands();

  private:
    MainWindow& w_;
};
