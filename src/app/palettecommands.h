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
class StoredList;

class PaletteCommands {
  public:
    // The window shown by each tag of the window menu's items and the tool
    // buttons.
    enum Tag { framePaletteTag = 0, facePaletteTag = 1, headerFooterTag = 2 };

    explicit PaletteCommands(MainWindow& window);
    ~PaletteCommands();

    // Reads the two palettes' lists, once, after the main window's start-up
    // has settled the program's folder. A list that cannot be read is
    // reported and its palette keeps its built-in entries. The windows are
    // made when first asked for, with the lists as read here (a command that
    // needs a palette before this has run reads them first).
    void readLists();
    bool listsRead() const { return frameList_ != nullptr || frame_ != nullptr; }
    bool windowsCreated() const { return frame_ != nullptr; }

    // Shows the window of a tag; any other tag shows nothing.
    void showWindow(int tag);

    // The windows (made on first use).
    FramePalette& framePalette();
    FacePalette& facePalette();
    HeaderFooterWindow& headerFooterWindow();

  private:
    // Makes the two palettes (with the lists read), once.
    void createWindows();

    MainWindow& w_;
    PaletteContext context_;
    // The lists read at start, until their palettes are made.
    std::unique_ptr<StoredList> frameList_, faceList_;
    std::unique_ptr<FramePalette> frame_;
    std::unique_ptr<FacePalette> face_;
    std::unique_ptr<HeaderFooterWindow> headerFooter_;
};
