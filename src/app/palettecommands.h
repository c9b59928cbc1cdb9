// The palette commands of the main window: the frame palette, the face-mark
// palette and the header and footer window.
#pragma once

class MainWindow;

class PaletteCommands {
  public:
    explicit PaletteCommands(MainWindow& window);
    ~PaletteCommands();

  private:
    MainWindow& w_;
};
