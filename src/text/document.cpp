#include "document.h"

#include "cp932.h"
#include "errors.h"
#include "fileio.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <utility>

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
    LoadedText loaded = readFile(path);
    takeLoaded(loaded, path);
}

Document::LoadedText Document::readFile(const std::string& path) {
    // Counted piece by piece as the pieces arrive, a large file's on a
    // second thread while the rest is read.
    cp932::CharacterCounter counter;
    LoadedText out;
    out.bytes.readFile(
        path, kMaxDocumentBytes, [&](std::string_view piece) { counter.add(piece); },
        GapBuffer::Seen::alongside);
    out.characters = counter.total();
    return out;
}

Document::ReadAhead::ReadAhead(std::string path)
    : path_(std::move(path)), thread_([this] { read(); }) {}

Document::ReadAhead::~ReadAhead() {
    wait();
}

void Document::ReadAhead::wait() {
    if (thread_.joinable()) thread_.join();
}

std::optional<Document::ReadAhead::Stamp> Document::ReadAhead::stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    Stamp s;
    s.device = static_cast<unsigned long long>(st.st_dev);
    s.inode = static_cast<unsigned long long>(st.st_ino);
    s.size = static_cast<unsigned long long>(st.st_size);
    s.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.changedNs = static_cast<long long>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return s;
}

void Document::ReadAhead::read() {
    // Whatever goes wrong here is met again, and told, by the open path's
    // own reading.
    try {
        const std::optional<Stamp> before = stampOf(path_);
        if (!before) return;
        LoadedText loaded = readFile(path_);
        // A file that changed while it was read may hold a mix of old and
        // new bytes.
        if (stampOf(path_) != before || loaded.bytes.size() != before->size) return;
        loaded_ = std::move(loaded);
        stamp_ = before;
    } catch (...) {
        loaded_.reset();
    }
}

std::optional<Document::LoadedText> Document::ReadAhead::take(const std::string& path) {
    wait();
    std::optional<LoadedText> out = std::exchange(loaded_, std::nullopt);
    if (!out || path != path_ || stampOf(path_) != stamp_) return std::nullopt;
    return out;
}

std::size_t Document::ReadAhead::residentBytes() {
    wait();
    return loaded_ ? loaded_->bytes.residentBytes() : 0;
}

void Document::takeLoaded(LoadedText& loaded, const std::string& path) {
    const std::size_t old = size();
    buffer_.swap(loaded.bytes);
    loaded.bytes = GapBuffer(); // the old text goes before anyone hears of the new one
    characters_ = loaded.characters;
    loaded.characters = 0;
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

namespace {

inline bool isLead(char c) {
    return cp932::isLeadByte(static_cast<unsigned char>(c));
}

inline bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Tells whether positions of a text are character boundaries, reading each
// byte a bounded number of times when asked about positions in order (rising
// or falling). It keeps one run of lead-range bytes: the characters of such a
// run pair up two by two from its start, because every lead-range byte is
// also a valid trail byte.
class BoundaryOracle {
  public:
    explicit BoundaryOracle(std::string_view text) : t_(text) {}

    // A character boundary of the document: a character starts here (or the
    // text ends) and it is not the LF of a CR LF pair.
    bool isBoundary(std::size_t p) {
        if (p == 0 || p >= t_.size()) return true;
        if (t_[p] == '\n' && t_[p - 1] == '\r') return false;
        return isCharStart(p);
    }

    bool isCharStart(std::size_t p) {
        if (p == 0 || p >= t_.size()) return true;
        if (!known_ || p < runStart_) {
            std::size_t q = p;
            while (q > 0 && isLead(t_[q - 1]))
                --q;
            runStart_ = q;
            runEnd_ = p;
            known_ = true;
        } else if (p > runEnd_) {
            std::size_t q = p;
            while (q > runEnd_ && isLead(t_[q - 1]))
                --q;
            if (q != runEnd_) runStart_ = q; // a byte that ends a character stands between
            runEnd_ = p;
        }
        // [runStart_, p) holds only lead-range bytes. An even offset starts a
        // character; an odd one follows a lead byte, which stands alone only
        // when the byte at p cannot trail it.
        if ((p - runStart_) % 2 == 0) return true;
        return !cp932::isTrailByte(static_cast<unsigned char>(t_[p]));
    }

  private:
    std::string_view t_;
    bool known_ = false;
    std::size_t runStart_ = 0, runEnd_ = 0; // [runStart_, runEnd_): lead-range bytes
};

// One search of one text: candidates come from the C library's byte search
// (bytes that letter case cannot change must stand as they are), each is then
// checked character by character and against the character boundaries.
class Searcher {
  public:
    Searcher(std::string_view text, std::string_view what, const FindOptions& options)
        : text_(text), what_(what), options_(options), starts_(text), ends_(text), before_(text) {
        folds_ = !options.matchCase &&
                 std::any_of(what.begin(), what.end(), [](char c) { return isLetter(c); });
        if (folds_) {
            // The longest run of bytes that are no letters is searched as
            // it is; with none, the first letter in either case.
            std::size_t best = 0, bestLength = 0;
            for (std::size_t i = 0; i < what.size();) {
                if (isLetter(what[i])) {
                    ++i;
                    continue;
                }
                std::size_t j = i;
                while (j < what.size() && !isLetter(what[j]))
                    ++j;
                if (j - i > bestLength) best = i, bestLength = j - i;
                i = j;
            }
            anchor_ = best;
            anchorLength_ = bestLength;
        }
        const std::size_t lastStart = cp932::boundaryAtOrBefore(what, what.size() - 1);
        firstIsWord_ = cp932::charLength(what, 0) == 1 && isWordChar(what[0]);
        lastIsWord_ = cp932::charLength(what, lastStart) == 1 && isWordChar(what[lastStart]);
    }

    // The first match starting at or after from and ending at or before to.
    std::optional<std::size_t> forward(std::size_t from, std::size_t to) {
        to = std::min(to, text_.size());
        while (from + what_.size() <= to) {
            const std::optional<std::size_t> c = nextCandidate(from, to);
            if (!c) return std::nullopt;
            if (accepts(*c)) return c;
            from = *c + 1;
        }
        return std::nullopt;
    }

    // The last match ending at or before from.
    std::optional<std::size_t> backward(std::size_t from) {
        from = std::min(from, text_.size());
        if (from < what_.size()) return std::nullopt;
        std::size_t hi = from - what_.size(); // the highest start
        while (true) {
            const std::optional<std::size_t> c = previousCandidate(hi);
            if (!c) return std::nullopt;
            if (accepts(*c)) return c;
            if (*c == 0) return std::nullopt;
            hi = *c - 1;
        }
    }

    // Replacing the match at p by with would pair a byte that is not code
    // page 932 (a lead byte standing alone) with a byte it does not pair
    // with today (Document::joinsStrayByte, for matches in rising order).
    bool joinsStrayByte(std::size_t p, std::string_view with) {
        const std::size_t end = p + what_.size();
        auto trails = [](char c) { return cp932::isTrailByte(static_cast<unsigned char>(c)); };
        const bool nextTrails =
            !with.empty() ? trails(with.front()) : end < text_.size() && trails(text_[end]);
        // p starts a character: a lead byte before it that starts one too
        // stands alone.
        if (nextTrails && p > 0 && isLead(text_[p - 1]) && before_.isCharStart(p - 1)) return true;
        return !with.empty() && end < text_.size() && trails(text_[end]) && isLead(with.back()) &&
               cp932::boundaryAtOrBefore(with, with.size() - 1) == with.size() - 1;
    }

  private:
    // The lowest position at or after from where the bytes that do not fold
    // stand as in what.
    std::optional<std::size_t> nextCandidate(std::size_t from, std::size_t to) {
        const char* base = text_.data();
        if (!folds_ || anchorLength_ > 0) {
            // Search the bytes [anchor_, anchor_ + length) of what at their
            // place in a match.
            const std::size_t k = folds_ ? anchor_ : 0;
            const std::size_t n = folds_ ? anchorLength_ : what_.size();
            const std::size_t lo = from + k;
            const std::size_t hi = to - what_.size() + k + n; // the end of the piece's last place
            if (hi < lo + n) return std::nullopt;
            const void* hit = ::memmem(base + lo, hi - lo, what_.data() + k, n);
            if (!hit) return std::nullopt;
            return static_cast<std::size_t>(static_cast<const char*>(hit) - base) - k;
        }
        // Only letters: the first one in either case.
        const std::size_t last = to - what_.size(); // the highest start
        const char lower = foldCase(what_[0]);
        const char upper = static_cast<char>(lower - ('a' - 'A'));
        const std::size_t n = last + 1 - from;
        const void* a = std::memchr(base + from, lower, n);
        const void* b =
            std::memchr(base + from, upper, a ? static_cast<const char*>(a) - (base + from) : n);
        const void* hit = b ? b : a;
        if (!hit) return std::nullopt;
        return static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    }

    // The highest candidate at or before hi.
    std::optional<std::size_t> previousCandidate(std::size_t hi) {
        const char* base = text_.data();
        // One byte of what that must stand as it is, or the first letter in
        // either case.
        const std::size_t k = folds_ ? (anchorLength_ > 0 ? anchor_ : 0) : 0;
        const bool twoCases = folds_ && anchorLength_ == 0;
        const char c = twoCases ? foldCase(what_[k]) : what_[k];
        while (true) {
            const std::size_t n = hi + k + 1; // the byte of a start at hi
            const void* a = ::memrchr(base, c, n);
            const void* b =
                twoCases ? ::memrchr(base, static_cast<char>(c - ('a' - 'A')), n) : nullptr;
            const void* hit = std::max(a, b, std::less<const void*>());
            if (!hit) return std::nullopt;
            const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
            if (q < k) return std::nullopt;
            const std::size_t p = q - k;
            if (sameBytes(p)) return p;
            if (p == 0) return std::nullopt;
            hi = p - 1;
        }
    }

    // The bytes at p are what's, letter case of the single-byte letters of
    // what aside when it does not count. Character by character, so that
    // folding the case never touches a trail byte.
    bool sameBytes(std::size_t p) const {
        if (p + what_.size() > text_.size()) return false;
        if (!folds_) return std::memcmp(text_.data() + p, what_.data(), what_.size()) == 0;
        for (std::size_t i = 0; i < what_.size();) {
            const std::size_t len = cp932::charLength(what_, i);
            if (len == 1) {
                if (foldCase(text_[p + i]) != foldCase(what_[i])) return false;
            } else if (text_[p + i] != what_[i] || text_[p + i + 1] != what_[i + 1]) {
                return false;
            }
            i += len;
        }
        return true;
    }

    bool accepts(std::size_t p) {
        if (!sameBytes(p)) return false;
        const std::size_t end = p + what_.size();
        if (!starts_.isBoundary(p) || !ends_.isBoundary(end)) return false;
        if (options_.wholeWord) {
            // Word characters are single-byte letters, digits and "_": a
            // trail byte that looks like a letter belongs to its double-byte
            // character.
            if (firstIsWord_ && p > 0 && isWordChar(text_[p - 1]) && before_.isCharStart(p - 1))
                return false;
            if (lastIsWord_ && end < text_.size() && isWordChar(text_[end])) return false;
        }
        return true;
    }

    std::string_view text_;
    std::string_view what_;
    FindOptions options_;
    BoundaryOracle starts_, ends_, before_;
    bool folds_ = false;
    std::size_t anchor_ = 0, anchorLength_ = 0;
    bool firstIsWord_ = false, lastIsWord_ = false;
};

} // namespace

std::optional<std::size_t> Document::find(std::string_view what, std::size_t from,
                                          const FindOptions& options) const {
    if (what.empty()) return std::nullopt;
    Searcher s(all(), what, options);
    return options.backward ? s.backward(from) : s.forward(from, size());
}

std::size_t Document::replaceAll(std::string_view what, std::string_view with,
                                 const FindOptions& options, Selection before, std::size_t from,
                                 std::size_t to) {
    if (what.empty()) return 0;
    to = std::min(to, size());
    from = std::min(from, to);
    FindOptions forward = options;
    forward.backward = false;
    const std::string_view text = all();
    Searcher s(text, what, forward);
    // The new bytes from the first match to the end of the last, built in
    // one pass and put in as one change.
    std::string replaced;
    std::size_t count = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t p = from; auto hit = s.forward(p, to);) {
        if (s.joinsStrayByte(*hit, with)) {
            // A byte that is not code page 932 would pair with the
            // replacement: this match stays as it is.
            p = *hit + 1;
            continue;
        }
        if (count == 0)
            first = *hit;
        else
            replaced.append(text.substr(last, *hit - last));
        replaced.append(with);
        last = *hit + what.size();
        p = last;
        ++count;
    }
    if (count == 0) return 0;
    if (size() - (last - first) > kMaxDocumentBytes - std::min(kMaxDocumentBytes, replaced.size()))
        throw MMEditError(
            QStringLiteral("置き換えると文章が大きくなりすぎるため、置き換えませんでした"));
    const std::size_t end = first + replaced.size();
    replace(first, last - first, replaced, before, Selection{end, end});
    return count;
}
