#include "document.h"

#include "cp932.h"
#include "fileio.h"

#include <algorithm>

namespace {

inline bool isWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

inline char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

} // namespace

Document::Document(QObject* parent) : QObject(parent) {}
Document::~Document() = default;

// --- boundaries --------------------------------------------------------------------

std::size_t Document::boundaryAtOrBefore(std::size_t pos) const {
    if (pos >= size()) return size();
    // The pairing of lead bytes is settled by the last byte before pos that
    // cannot be a lead byte: only the run after it needs to be read.
    std::size_t from = pos;
    while (from > 0 && cp932::isLeadByte(static_cast<unsigned char>(at(from - 1))))
        --from;
    if (from > 0) --from; // that byte, and a CR before an LF
    const std::string_view v = view(from, std::min(size(), pos + 2));
    return from + cp932::boundaryAtOrBefore(v, pos - from);
}

std::size_t Document::nextBoundary(std::size_t pos) const {
    if (pos >= size()) return size();
    const std::size_t b = boundaryAtOrBefore(pos);
    const std::string_view v = view(b, std::min(size(), b + 2));
    return b + cp932::nextBoundary(v, 0);
}

std::size_t Document::previousBoundary(std::size_t pos) const {
    if (pos == 0) return 0;
    return boundaryAtOrBefore(std::min(pos, size()) - 1);
}

// --- the count and the limit -----------------------------------------------------------

std::size_t Document::fittingPrefix(std::string_view bytes, std::size_t from,
                                    std::size_t to) const {
    to = std::min(to, size());
    from = std::min(from, to);
    // Never more bytes than a document can hold (the line view keeps line
    // lengths in 30 bits).
    const std::size_t room = kMaxDocumentBytes - std::min(kMaxDocumentBytes, size() - (to - from));
    if (bytes.size() > room) bytes = bytes.substr(0, cp932::boundaryAtOrBefore(bytes, room));
    if (limit_ == kNoLimit) return bytes.size();
    const std::size_t replaced = from < to ? cp932::countCharacters(view(from, to)) : 0;
    const std::size_t others = characters_ - std::min(characters_, replaced);
    if (others >= limit_) return 0;
    return cp932::prefixOfCharacters(bytes, limit_ - others);
}

bool Document::joinsStrayByte(std::size_t pos, std::size_t length, std::string_view bytes) const {
    pos = std::min(pos, size());
    length = std::min(length, size() - pos);
    const std::size_t after = pos + length;
    auto isTrail = [](char c) { return cp932::isTrailByte(static_cast<unsigned char>(c)); };
    auto isLead = [](char c) { return cp932::isLeadByte(static_cast<unsigned char>(c)); };
    // The byte before the change: a lead byte standing alone today.
    if (pos > 0 && isLead(at(pos - 1)) && boundaryAtOrBefore(pos - 1) == pos - 1 &&
        nextBoundary(pos - 1) == pos) {
        const bool nextIsTrail =
            !bytes.empty() ? isTrail(bytes.front()) : (after < size() && isTrail(at(after)));
        if (nextIsTrail) return true;
    }
    // The end of the new bytes: a lead byte left alone in them pairs with the
    // byte after the change.
    if (!bytes.empty() && after < size() && isTrail(at(after)) &&
        cp932::boundaryAtOrBefore(bytes, bytes.size() - 1) == bytes.size() - 1 &&
        isLead(bytes.back()))
        return true;
    return false;
}

// --- changes ---------------------------------------------------------------------------

void Document::apply(std::size_t pos, std::size_t length, std::string_view bytes) {
    const std::size_t n = size();
    // The characters whose pairing the change can alter: from the boundary
    // after the last byte before pos that cannot lead (and a CR before it),
    // to the first byte after the change that cannot lead and is not a CR.
    std::size_t a = pos;
    while (a > 0 && cp932::isLeadByte(static_cast<unsigned char>(at(a - 1))))
        --a;
    if (a > 0 && at(a - 1) == '\r') --a;
    std::size_t q = pos + length;
    while (q < n && (cp932::isLeadByte(static_cast<unsigned char>(at(q))) || at(q) == '\r'))
        ++q;
    const std::size_t tail = std::min(q + 1, n) - (pos + length);

    const std::size_t before = cp932::countCharacters(view(a, pos + length + tail));
    buffer_.erase(pos, length);
    buffer_.insert(pos, bytes);
    const std::size_t after = cp932::countCharacters(view(a, pos + bytes.size() + tail));
    characters_ = characters_ - before + after;
    modified_ = true;
    Q_EMIT changed(TextChange{pos, length, bytes.size()});
}

void Document::replace(std::size_t pos, std::size_t length, std::string_view bytes,
                       Selection before, Selection after, bool mergeTyping) {
    pos = std::min(pos, size());
    length = std::min(length, size() - pos);
    if (length == 0 && bytes.empty()) return;
    std::string removed = buffer_.str(pos, pos + length);
    redo_.clear();
    Step* last = undo_.empty() ? nullptr : &undo_.back();
    if (groupDepth_ > 0 && last) {
        last->pieces.push_back({pos, std::move(removed), std::string(bytes)});
    } else if (mergeTyping && mergeOpen_ && last && last->typing && last->pieces.size() == 1 &&
               length == 0 && last->pieces[0].removed.empty() &&
               last->pieces[0].pos + last->pieces[0].inserted.size() == pos) {
        last->pieces[0].inserted += bytes;
        last->after = after;
    } else {
        Step s;
        s.pieces.push_back({pos, std::move(removed), std::string(bytes)});
        s.before = before;
        s.after = after;
        s.typing = mergeTyping;
        undo_.push_back(std::move(s));
    }
    mergeOpen_ = mergeTyping && groupDepth_ == 0;
    apply(pos, length, bytes);
}

void Document::replaceUnrecorded(std::size_t pos, std::size_t length, std::string_view bytes) {
    pos = std::min(pos, size());
    length = std::min(length, size() - pos);
    const bool modified = modified_;
    apply(pos, length, bytes);
    modified_ = modified;
}

void Document::beginUndoGroup(Selection before) {
    if (groupDepth_++ > 0) return;
    // The redo history goes with the group's first change, not before: a
    // command that changes nothing keeps it.
    Step s;
    s.before = before;
    undo_.push_back(std::move(s));
    mergeOpen_ = false;
}

void Document::endUndoGroup(Selection after) {
    if (groupDepth_ == 0 || --groupDepth_ > 0) return;
    if (undo_.empty()) return; // the history was cleared inside the group
    if (undo_.back().pieces.empty()) {
        undo_.pop_back(); // nothing changed: no step
        return;
    }
    undo_.back().after = after;
}

void Document::setText(std::string_view bytes) {
    const std::size_t old = size();
    buffer_.assign(bytes);
    characters_ = cp932::countCharacters(bytes);
    clearUndo();
    modified_ = true;
    Q_EMIT changed(TextChange{0, old, bytes.size()});
}

void Document::loadFile(const std::string& path) {
    // Counted piece by piece while the pieces are still in the cache.
    cp932::CharacterCounter counter;
    GapBuffer loaded;
    loaded.readFile(path, kMaxDocumentBytes, [&](std::string_view piece) { counter.add(piece); });
    const std::size_t old = size();
    buffer_.swap(loaded);
    loaded = GapBuffer(); // the old text goes before anyone hears of the new one
    characters_ = counter.total();
    clearUndo();
    modified_ = true;
    setFilePath(path);
    Q_EMIT changed(TextChange{0, old, size()});
}

void Document::clearUndo() {
    undo_.clear();
    redo_.clear();
    mergeOpen_ = false;
}

std::optional<Selection> Document::undo() {
    return replay(undo_, redo_, true);
}

std::optional<Selection> Document::redo() {
    return replay(redo_, undo_, false);
}

std::optional<Selection> Document::replay(std::vector<Step>& from, std::vector<Step>& to,
                                          bool backwards) {
    if (from.empty() || groupDepth_ > 0) return std::nullopt;
    Step s = std::move(from.back());
    from.pop_back();
    if (backwards) {
        for (auto it = s.pieces.rbegin(); it != s.pieces.rend(); ++it)
            apply(it->pos, it->inserted.size(), it->removed);
    } else {
        for (const Step::Piece& p : s.pieces)
            apply(p.pos, p.removed.size(), p.inserted);
    }
    const Selection shown = backwards ? s.before : s.after;
    to.push_back(std::move(s));
    mergeOpen_ = false;
    return shown;
}

// --- search ------------------------------------------------------------------------------

bool Document::matchesAt(std::string_view text, std::size_t p, std::string_view what,
                         const FindOptions& options) const {
    if (p + what.size() > text.size()) return false;
    // Character by character, so that folding the letter case never touches
    // a trail byte.
    for (std::size_t i = 0; i < what.size();) {
        const std::size_t len = cp932::charLength(what, i);
        for (std::size_t k = 0; k < len; ++k) {
            const char a = text[p + i + k], b = what[i + k];
            const bool same =
                (len == 1 && !options.matchCase) ? foldCase(a) == foldCase(b) : a == b;
            if (!same) return false;
        }
        i += len;
    }
    const std::size_t end = p + what.size();
    if (end < text.size() && cp932::boundaryAtOrBefore(text, end) != end) return false;
    if (options.wholeWord) {
        // Word characters are single-byte letters, digits and "_": a trail
        // byte that looks like a letter belongs to its double-byte character.
        auto wordCharAt = [&](std::size_t charStart) {
            return cp932::charLength(text, charStart) == 1 && isWordChar(text[charStart]);
        };
        const std::size_t lastStart = cp932::boundaryAtOrBefore(text, end - 1);
        if (p > 0 && wordCharAt(cp932::boundaryAtOrBefore(text, p - 1)) && wordCharAt(p))
            return false;
        if (end < text.size() && wordCharAt(end) && wordCharAt(lastStart)) return false;
    }
    return true;
}

std::optional<std::size_t> Document::find(std::string_view what, std::size_t from,
                                          const FindOptions& options) const {
    if (what.empty()) return std::nullopt;
    const std::string_view text = all();
    from = std::min(from, text.size());
    if (!options.backward) {
        std::size_t p = boundaryAtOrBefore(from);
        if (p < from) p = nextBoundary(p);
        for (; p + what.size() <= text.size(); p = nextBoundary(p))
            if (matchesAt(text, p, what, options)) return p;
        return std::nullopt;
    }
    if (from < what.size()) return std::nullopt;
    for (std::size_t p = boundaryAtOrBefore(from - what.size());; p = previousBoundary(p)) {
        if (matchesAt(text, p, what, options)) return p;
        if (p == 0) break;
    }
    return std::nullopt;
}

std::size_t Document::replaceAll(std::string_view what, std::string_view with,
                                 const FindOptions& options, Selection before) {
    if (what.empty()) return 0;
    FindOptions forward = options;
    forward.backward = false;
    std::size_t count = 0;
    std::size_t p = 0;
    std::size_t lastEnd = 0;
    beginUndoGroup(before);
    while (auto hit = find(what, p, forward)) {
        replace(*hit, what.size(), with);
        p = *hit + with.size();
        lastEnd = p;
        ++count;
    }
    endUndoGroup(Selection{lastEnd, lastEnd});
    return count;
}
