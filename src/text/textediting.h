// The rules of one edit of the document, the same for every editor of the
// text (typing and pasting in the view, the palettes, find and replace, the
// stored values): a read-only text is not changed, the bytes are cut where
// the character limit is reached (or the edit is refused whole), an edit
// that would pair a lead byte standing alone with a byte it does not pair
// with today is refused with the text unchanged, and an edit is one undo
// step. The caller tells the user why an edit was refused or cut.
#pragma once

#include "document.h"

#include <cstddef>
#include <string_view>

struct EditRules {
    // The text may not be changed.
    bool readOnly = false;
    // When the bytes do not all fit the character limit: true refuses the
    // edit whole; false puts in the beginning that fits.
    bool wholeOrNothing = false;
    // Typing: when nothing of the bytes fits, the range stays (typed
    // characters never only delete).
    bool typing = false;
    // The edit joins the previous undo step when both are insertions typed
    // one after the other.
    bool mergeTyping = false;
};

struct EditResult {
    enum class Outcome {
        done,          // the text changed (perhaps only by the range removed)
        unchanged,     // nothing to put in and nothing to remove
        readOnly,      // the text may not be changed
        limit,         // refused whole: the bytes do not fit the limit
        strayLeadByte, // refused: a lead byte standing alone would pair
    };
    Outcome outcome = Outcome::unchanged;
    // How many bytes went in (or, refused for a stray lead byte, would have).
    std::size_t inserted = 0;
    // The bytes did not all fit the character limit.
    bool cut = false;

    bool changed() const { return outcome == Outcome::done; }
};

// Replaces [from, to) of the document by bytes under the rules, as one undo
// step whose selections are before and, after the edit, the caret after the
// bytes put in.
EditResult replaceRange(Document& doc, std::size_t from, std::size_t to, std::string_view bytes,
                        const EditRules& rules, Selection before = {});
