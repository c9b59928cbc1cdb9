#include "textediting.h"

#include <algorithm>

EditResult replaceRange(Document& doc, std::size_t from, std::size_t to, std::string_view bytes,
                        const EditRules& rules, Selection before) {
    EditResult r;
    if (rules.readOnly) {
        r.outcome = EditResult::Outcome::readOnly;
        return r;
    }
    to = std::max(from, to);
    const std::size_t fitted = doc.fittingPrefix(bytes, from, to);
    r.cut = fitted < bytes.size();
    if (r.cut && rules.wholeOrNothing) {
        r.outcome = EditResult::Outcome::limit;
        r.inserted = fitted;
        return r;
    }
    // Nothing fits: typing leaves the range, any other edit still removes it.
    if (fitted == 0 && (rules.typing || from == to)) return r;
    const std::string_view put = bytes.substr(0, fitted);
    r.inserted = fitted;
    if (doc.joinsStrayByte(from, to - from, put)) {
        r.outcome = EditResult::Outcome::strayLeadByte;
        return r;
    }
    const Selection after{from + fitted, from + fitted};
    doc.replace(from, to - from, put, before, after, rules.mergeTyping && from == to);
    r.outcome = EditResult::Outcome::done;
    return r;
}
