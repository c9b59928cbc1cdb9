// The palette commands of the main window: the frame palette, the face-mark
// palette and the header and footer window, shown from the window menu, the
// tool buttons and the editor's pop-up menu.
#pragma once

#include "palettes/palettecontext.h"

#include <memory>

class MainWindow;
class FramePalette;
class FacePalette;
class HeaderFooterWindow;

class PaletteCommands {
  public:
    // The window shown by each tag of the window menu's items and the tool
    // buttons.
    enum Tag { framePaletteTag = 0, facePaletteTag = 1, headerFooterTag = 2 };

    explicit PaletteCommands(MainWindow& window);
    ~PaletteCommands();

    // Makes the two palettes and reads their lists, once, after the main
    // window's start-up has settled the program's folder. A list that cannot
    // be read is reported and its palette keeps its built-in entries. A
    // command that needs a palette before this has run makes them; the
    // header and footer window is made when first asked for.
    void createWindows();
    bool windowsCreated() const { return frame_ != nullptr; }

    // Shows the window of a tag; any other tag shows nothing.
    void showWindow(int tag);

    // The windows (made on first use).
    FramePalette& framePalette();
    FacePalette& facePalette();
    HeaderFooterWindow& headerFooterWindow();

  private:
    MainWindow& w_;
    PaletteContext context_;
    std::unique_ptr<FramePalette> frame_;
    std::unique_ptr<FacePalette> face_;
    std::unique_ptr<HeaderFooterWindow> headerFooter_;
};
