// The frame palette: frame designs ("-", "○●", "♪") from which a ruled line
// as wide as the document's line width is built and inserted, with its
// dialog that adds a design.
#pragma once

#include "entrypalette.h"

class FramePalette : public EntryPalette {
    Q_OBJECT

  public:
    // The designs before any list file has been read.
    static const std::vector<std::string>& builtInDesigns();

    // The palette's list, not read yet (the built-in entries): a list can be
    // read, and a failure told, before the window is made.
    static StoredList unreadList(const PaletteContext& context);

    // A palette with its list unread, or with a list from unreadList.
    explicit FramePalette(PaletteContext& context, QWidget* parent = nullptr);
    FramePalette(PaletteContext& context, StoredList list, QWidget* parent = nullptr);

  protected:
    // Builds the frame line of the design for the document's line width and
    // puts it in place of the editor's selection. A width not above zero and
    // an empty design are told and insert nothing.
    void insertEntry(const std::string& design) override;
};
