// The caret and the selection of a view over a document, and the positions
// they move by: line starts and ends of the line view, columns on the grid
// (a single-byte character one column, a double-byte one two), words. Qt
// Core only: no drawing, no events.
#pragma once

#include "text/document.h"
#include "text/lineview.h"

#include <cstddef>

class CaretModel {
  public:
    CaretModel(const Document& doc, const LineView& view) : doc_(doc), view_(view) {}

    // The selection runs from the anchor to the caret; both stand on
    // character boundaries.
    std::size_t anchor = 0, caret = 0;
    // The caret stands at the end of a wrapped line (shown there, not at
    // the start of the next line that begins at the same position).
    bool atLineEnd = false;
    // The column up and down keys aim for (-1: the caret's own).
    int goalColumn = -1;

    std::size_t selectionStart() const { return anchor < caret ? anchor : caret; }
    std::size_t selectionLength() const { return anchor > caret ? anchor - caret : caret - anchor; }
    Selection selection() const { return {anchor, caret}; }
    // Both ends on the character boundaries at or before the positions (the
    // text's end at most).
    void place(std::size_t newAnchor, std::size_t newCaret);
    // Keeps the selection on the same text after a change made from outside.
    void follow(const TextChange& change);

    // The line the caret is shown on.
    std::size_t line() const;
    std::size_t lineStart(std::size_t line) const;
    std::size_t lineEnd(std::size_t line) const; // before the line end
    // The column of pos in its line, at most far right of any window.
    int columnOf(std::size_t line, std::size_t pos) const;
    // The character boundary nearest to a column of a line.
    std::size_t positionAtColumn(std::size_t line, int column) const;
    // The start and the end of the word around pos (in its line).
    std::size_t wordStart(std::size_t pos) const;
    std::size_t wordEnd(std::size_t pos) const;

  private:
    // The code of the character at pos (lead << 8 | trail, or the byte).
    unsigned codeAt(std::size_t pos) const;

    const Document& doc_;
    const LineView& view_;
};
