// The face-mark palette: face marks ("(^_^)") inserted as they are, with its
// dialog that adds a face mark.
#pragma once

#include "entrypalette.h"

class FacePalette : public EntryPalette {
    Q_OBJECT

  public:
    // The face marks before any list file has been read.
    static const std::vector<std::string>& builtInMarks();

    // The palette's list, not read yet (the built-in entries): a list can be
    // read, and a failure told, before the window is made.
    static StoredList unreadList(const PaletteContext& context);

    // A palette with its list unread, or with a list from unreadList.
    explicit FacePalette(PaletteContext& context, QWidget* parent = nullptr);
    FacePalette(PaletteContext& context, StoredList list, QWidget* parent = nullptr);

  protected:
    // Puts the face mark in place of the editor's selection, byte for byte.
    void insertEntry(const std::string& mark) override;
};
