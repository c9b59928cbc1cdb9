#include "lineview.h"

#include "cp932.h"
#include "fileio.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace {

enum : std::uint8_t { kFollowing = 1, kLeading = 2, kOverflow = 4, kDelimiter = 8 };

PunctuationLists makeLists(const char* following, const char* leading) {
    auto sj = [](const char* s) { return cp932::encodeKnown(QString::fromUtf8(s)); };
    return {sj(following), sj(leading), sj("、。，．､｡,."), sj(" \t　")};
}

constexpr const char* kLevel1Following =
    "!%),.:;?]}！％），．：；？］｝’”〕〉》」』】、。・々ゝゞヽヾ゛゜°′″℃‰￠｡｣､･ﾞﾟ";
constexpr const char* kLeadingList = "$([\\{＄（［｛‘“〔〈《「『【￥￡｢";
constexpr const char* kLevel2Extra = "ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶーｧｨｩｪｫｬｭｮｯｰ‐～";

inline unsigned codeAt(const char* base, std::size_t pos, std::size_t len) {
    const auto b = static_cast<unsigned char>(base[pos]);
    return len == 2 ? (b << 8 | static_cast<unsigned char>(base[pos + 1])) : b;
}

inline bool isWordByte(unsigned code) {
    return code >= 0x21 && code <= 0x7E;
}

inline bool isAlphanumeric(unsigned code) {
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
           (code >= 'a' && code <= 'z');
}

// Blanks: they never start a wrapped line, and hang past the width at a break
// (up to kMaxHangingBlanks of them).
constexpr std::size_t kMaxHangingBlanks = 128;
constexpr unsigned kIdeographicSpace = 0x8140;
inline bool isBlank(unsigned code) {
    return code == ' ' || code == '\t' || code == kIdeographicSpace;
}

} // namespace

const PunctuationLists& builtinLevel1() {
    static const PunctuationLists l = makeLists(kLevel1Following, kLeadingList);
    return l;
}

const PunctuationLists& builtinLevel2() {
    static const PunctuationLists l =
        makeLists((std::string(kLevel1Following) + kLevel2Extra).c_str(), kLeadingList);
    return l;
}

const PunctuationLists& LayoutRules::lists() const {
    switch (punctuationModeOf(modeWord)) {
    case PunctuationMode::custom:
        return custom;
    case PunctuationMode::level1:
        return builtinLevel1();
    case PunctuationMode::level2:
        return builtinLevel2();
    }
    return builtinLevel2();
}

// The class bits of every code: single bytes at their value, double-byte
// characters at lead << 8 | trail.
struct LineView::Classes {
    std::array<std::uint8_t, 0x10000> bits{};
};

LineView::LineView() : classes_(std::make_unique<Classes>()) {
    setRules(LayoutRules{});
}
LineView::~LineView() = default;

void LineView::setRules(const LayoutRules& rules) {
    rules_ = rules;
    classes_->bits.fill(0);
    const PunctuationLists& lists = rules_.lists();
    const std::uint8_t bit[4] = {kFollowing, kLeading, kOverflow, kDelimiter};
    for (std::size_t t = 0; t < 4; ++t) {
        const std::string_view s = lists[t];
        for (std::size_t p = 0; p < s.size();) {
            const std::size_t len = cp932::charLength(s, p);
            classes_->bits[codeAt(s.data(), p, len)] |= bit[t];
            p += len;
        }
    }
}

bool LineView::breakAllowed(const char* base, std::size_t prevStart, std::size_t b, std::size_t end,
                            bool wordBreak) const {
    const std::size_t prevLen = b - prevStart;
    const std::size_t nextLen = cp932::charLength(std::string_view(base, end), b);
    const unsigned prev = codeAt(base, prevStart, prevLen);
    const unsigned next = codeAt(base, b, nextLen);
    const std::uint32_t mode = rules_.modeWord;
    if ((mode & kWrapRuleMask) && isBlank(next)) return false; // blanks stay with the line before
    if (mode & wrapKinsoku) {
        if (classes_->bits[next] & kFollowing) return false;
        if (classes_->bits[prev] & kLeading) return false;
        if (prev == next && (prev == 0x815C || prev == 0x8163 || prev == 0x8164)) return false;
    }
    if (wordBreak && isWordByte(prev) && isWordByte(next)) {
        // Inside a run of printable single-byte characters a line may still
        // break after a hyphen or a slash that a letter or digit follows, so
        // long addresses and hyphenated words wrap at their joints.
        const bool joint = (prev == '-' || prev == '/') && isAlphanumeric(next);
        if (!joint) return false;
    }
    return true;
}

std::size_t LineView::chooseBreak(const char* base, std::size_t pos, std::size_t fitEnd,
                                  std::size_t end, bool afterBlanks) {
    // charStarts_ holds the character starts from pos up to and including fitEnd.
    const std::size_t n = charStarts_.size(); // charStarts_[n-1] == fitEnd
    if (n < 2) {
        // Not even the first character fits: it stands alone.
        const std::string_view v(base + pos, end - pos);
        return pos + cp932::charLength(v, 0);
    }
    const std::uint32_t mode = rules_.modeWord;
    if (!(mode & (wrapKinsoku | wrapWordBreak | wrapOverflow))) return fitEnd;

    const std::string_view rest(base, end);
    for (int level = 0; level < 2; ++level) {
        const bool wordBreak = level == 0 && (mode & wrapWordBreak);
        if (level == 1 && !(mode & wrapWordBreak)) break; // the same rules again
        // A punctuation character at the width may hang past it (not one
        // after blanks that already hang).
        if ((mode & wrapOverflow) && !afterBlanks) {
            const std::size_t len = cp932::charLength(rest, fitEnd);
            if (base[fitEnd] != '\t' && (classes_->bits[codeAt(base, fitEnd, len)] & kOverflow)) {
                const std::size_t h = fitEnd + len;
                if (h >= end || breakAllowed(base, fitEnd, h, end, wordBreak)) return h;
            }
        }
        for (std::size_t k = n - 1; k >= 1; --k)
            if (breakAllowed(base, charStarts_[k - 1], charStarts_[k], end, wordBreak))
                return charStarts_[k];
    }
    return fitEnd;
}

std::size_t LineView::breakAroundAddress(const char* base, std::size_t pos, std::size_t b,
                                         std::size_t end) {
    if (addressesBase_ != base || addressesEnd_ != end || pos < addressesFrom_) {
        addresses_ = addresses::find(std::string_view(base + pos, end - pos));
        for (addresses::Span& a : addresses_)
            a.pos += pos;
        addressesBase_ = base;
        addressesFrom_ = pos;
        addressesEnd_ = end;
    }
    // The last address that starts before b, if b falls inside it.
    const auto after =
        std::upper_bound(addresses_.begin(), addresses_.end(), b,
                         [](std::size_t at, const addresses::Span& a) { return at <= a.pos; });
    if (after == addresses_.begin()) return b;
    const addresses::Span a = *(after - 1);
    if (a.end() <= b || a.pos >= b) return b;
    // The last break the rules allow before the address, at its start at the
    // latest (the start of an address is a word's start). charStarts_ holds
    // the character starts of the line up to its edge, past a.pos.
    if (a.pos > pos) {
        const std::uint32_t mode = rules_.modeWord;
        const auto at = std::lower_bound(charStarts_.begin(), charStarts_.end(), a.pos);
        const std::size_t from = static_cast<std::size_t>(at - charStarts_.begin());
        for (int level = 0; level < 2; ++level) {
            const bool wordBreak = level == 0 && (mode & wrapWordBreak);
            if (level == 1 && !(mode & wrapWordBreak)) break;
            for (std::size_t k = std::min(from, charStarts_.size() - 1); k >= 1; --k) {
                const std::size_t q = charStarts_[k];
                if (q > a.pos) continue;
                if (breakAllowed(base, charStarts_[k - 1], q, end, q == a.pos ? false : wordBreak))
                    return q;
            }
        }
    }
    // The address starts the line (or nothing before it may end one): it
    // stays on this line whole, with what may not start a line after it.
    const std::string_view rest(base, end);
    std::size_t prev = a.end() - 1, q = a.end();
    while (q < end) {
        const std::size_t len = cp932::charLength(rest, q);
        if (isBlank(codeAt(base, q, len)) || breakAllowed(base, prev, q, end, false)) break;
        prev = q;
        q += len;
    }
    return q;
}

std::size_t LineView::breakOf(const char* base, std::size_t pos, std::size_t end, bool lineEnds) {
    const int width = rules_.width;
    if (pos >= end) return lineEnds ? end : kNeedMoreText;
    if (width <= 0) return lineEnds ? end : kNeedMoreText; // lines end only at line ends
    // An address may run on to the end of its logical line.
    if (keepAddresses_ && !lineEnds) return kNeedMoreText;
    // Fit as many characters as the width holds. Columns are counted in 64
    // bits: a width or a run of tabs may be as large as they come.
    charStarts_.clear();
    std::int64_t col = 0;
    std::size_t p = pos;
    while (p < end) {
        const auto b = static_cast<unsigned char>(base[p]);
        std::size_t len = 1;
        std::int64_t w = 1;
        if (b == '\t') {
            w = 8 - (col & 7);
        } else if (cp932::isLeadByte(b) && p + 1 < end &&
                   cp932::isTrailByte(static_cast<unsigned char>(base[p + 1]))) {
            len = 2;
            w = 2;
        }
        if (col + w > width) break;
        charStarts_.push_back(static_cast<std::uint32_t>(p));
        col += w;
        p += len;
    }
    // A lead byte at the end of the bytes at hand may pair with the next one.
    if (!lineEnds && p + 1 >= end) return kNeedMoreText;
    if (p >= end) return end;
    // With line-breaking rules, blanks where the width ends hang past it:
    // they stay on this line (a run longer than any line breaks after
    // kMaxHangingBlanks, so that a file of blanks still has lines).
    const bool hangBlanks = rules_.modeWord & kWrapRuleMask;
    const std::size_t fitted = p;
    std::size_t hung = 0;
    auto blankAt = [&](std::size_t q, std::size_t* len) {
        *len = cp932::charLength(std::string_view(base, end), q);
        return isBlank(codeAt(base, q, *len));
    };
    std::size_t len = 0;
    while (hangBlanks && p < end && hung < kMaxHangingBlanks && blankAt(p, &len)) {
        charStarts_.push_back(static_cast<std::uint32_t>(p));
        p += len;
        ++hung;
    }
    if (p >= end) return lineEnds ? end : kNeedMoreText;
    // The break rules look at the character at the edge and the one after it.
    if (!lineEnds && p + 4 >= end) return kNeedMoreText;
    charStarts_.push_back(static_cast<std::uint32_t>(p));
    std::size_t b = chooseBreak(base, pos, p, end, p != fitted);
    if (keepAddresses_) b = breakAroundAddress(base, pos, b, end);
    // A wrapped line never begins with a blank.
    while (hangBlanks && b < end && hung < kMaxHangingBlanks && blankAt(b, &len)) {
        b += len;
        ++hung;
    }
    // The character after the break must be whole to tell it is no blank.
    if (!lineEnds && b + 2 > end) return kNeedMoreText;
    return std::min(b, end);
}

namespace {

// The end of the logical line that starts at or before p: the first CR or LF
// at or after p, or the end of the text.
std::size_t lineEndIn(std::string_view text, std::size_t p) {
    // memchr for an LF, then for a CR before it, a piece at a time (a text
    // of lone CRs must not be searched to its end for an LF at every line).
    constexpr std::size_t kPiece = 4096;
    const char* base = text.data();
    const std::size_t n = text.size();
    for (std::size_t q = p; q < n; q += kPiece) {
        const std::size_t end = std::min(n, q + kPiece);
        const void* lf = std::memchr(base + q, '\n', end - q);
        const std::size_t lfAt =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : end;
        if (const void* cr = std::memchr(base + q, '\r', lfAt - q))
            return static_cast<std::size_t>(static_cast<const char*>(cr) - base);
        if (lf) return lfAt;
    }
    return n;
}

unsigned lineEndBytes(std::string_view text, std::size_t e) {
    if (e >= text.size()) return 0;
    return (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ? 2 : 1;
}

} // namespace

template <class Add> void LineView::layOut(std::string_view text, Add&& add) {
    addressesBase_ = nullptr;
    const char* base = text.data();
    const std::size_t n = text.size();
    std::size_t p = 0;
    while (p < n) {
        const std::size_t e = lineEndIn(text, p);
        const unsigned eol = lineEndBytes(text, e);
        while (true) {
            const std::size_t b = breakOf(base, p, e, true);
            if (b >= e) {
                add(p, e - p, eol);
                break;
            }
            add(p, b - p, 0u);
            p = b;
        }
        p = e + eol;
    }
}

void LineView::layoutAll(std::string_view text) {
    run_ = {};
    lines_.clear();
    eolBytes_ = 0;
    textSize_ = text.size();
    staleFrom_ = kComplete;
    layOut(text, [&](std::size_t start, std::size_t, unsigned eol) {
        lines_.push_back(static_cast<std::uint32_t>(start), eol);
        eolBytes_ += eol;
    });
    relaid_ = {0, lines_.size()};
}

void LineView::layoutStart(const GapBuffer& text, std::size_t maxLines) {
    // One placeholder line for the whole text, then the first lines laid out
    // as after an edit at its start; the rest stays a placeholder.
    run_ = {};
    lines_.clear();
    eolBytes_ = 0;
    textSize_ = text.size();
    if (text.empty()) {
        staleFrom_ = kComplete;
        return;
    }
    lines_.push_back(0, 0);
    staleFrom_ = 0;
    relayout(text, 0, 0, 0, 0, maxLines);
}

TextTotals LineView::measure(std::string_view text, const LayoutRules& rules) {
    LineView v;
    v.setRules(rules);
    std::size_t lines = 0;
    std::uint64_t laid = 0;
    v.layOut(text, [&](std::size_t, std::size_t length, unsigned) {
        ++lines;
        laid += length;
    });
    return totalsOf(lines, laid);
}

TextTotals LineView::measureFile(const std::string& path, const LayoutRules& rules,
                                 std::size_t blockBytes) {
    LineView v;
    v.setRules(rules);
    std::size_t lines = 0;
    std::uint64_t laid = 0;
    auto add = [&](std::size_t, std::size_t length, unsigned) {
        ++lines;
        laid += length;
    };
    fileio::FileReader reader(path);
    // Paragraphs are laid out each on its own: a block that ends after an LF
    // (alone or after a CR) ends a paragraph, and the rest waits for the
    // next block.
    std::vector<char> block(std::max<std::size_t>(blockBytes, 1));
    std::size_t have = 0;
    while (true) {
        if (have == block.size()) block.resize(2 * block.size());
        const std::size_t got = reader.read(block.data() + have, block.size() - have);
        have += got;
        if (got == 0) {
            v.layOut(std::string_view(block.data(), have), add);
            break;
        }
        const std::string_view read(block.data(), have);
        const std::size_t lastLf = read.rfind('\n');
        if (lastLf == std::string_view::npos) continue;
        v.layOut(read.substr(0, lastLf + 1), add);
        std::memmove(block.data(), block.data() + lastLf + 1, have - lastLf - 1);
        have -= lastLf + 1;
    }
    return totalsOf(lines, laid);
}

std::vector<LaidLine> LineView::lines() const {
    std::vector<LaidLine> out;
    out.reserve(count());
    for (std::size_t i = 0; i < count(); ++i)
        out.push_back(line(i));
    return out;
}

std::size_t LineView::lineOf(std::size_t pos) const {
    // The last line starting at or before pos.
    if (count() == 0) return 0;
    const std::size_t i = lines_.lastAtOrBefore(static_cast<std::uint32_t>(pos));
    const LaidLine l = line(i);
    if (l.eol > 0 && pos >= l.start + l.length + l.eol) return i + 1; // after a final line end
    return i;
}

void LineView::edited(const GapBuffer& text, std::size_t pos, std::size_t removed,
                      std::size_t inserted) {
    const std::size_t n = text.size();
    if (count() == 0 || n == 0) {
        layoutAll(text.all());
        return;
    }
    // The first line to lay out again: the one holding pos, the lines before
    // it whose break may depend on bytes near pos (within about a line, or
    // hanging blanks that what follows may join), and the line before a lone
    // CR that an LF may join.
    noteEditInRun(pos, removed, inserted);
    std::size_t i0 = std::min(lineOf(pos), count() - 1);
    // A line's break depends on the bytes up to its width, the blanks that
    // may hang after them and a character or two beyond.
    const std::size_t reach =
        2 * static_cast<std::size_t>(std::max(rules_.width, 0)) + 2 * kMaxHangingBlanks + 8;
    while (i0 > 0) {
        const LaidLine prev = line(i0 - 1);
        const std::size_t prevEnd = prev.start + prev.length; // before pos: unchanged bytes
        bool back = false;
        if (prev.eol == 0) {
            const bool endsBlank =
                prev.length > 0 && (text.at(prevEnd - 1) == ' ' || text.at(prevEnd - 1) == '\t' ||
                                    (prev.length > 1 && text.at(prevEnd - 2) == '\x81' &&
                                     text.at(prevEnd - 1) == '\x40'));
            // Hanging blanks may be joined by blanks right after them.
            back = pos - prev.start <= reach || (endsBlank && pos <= prevEnd + 2);
        } else if (prev.eol == 1 && text.at(prevEnd) == '\r') {
            back = true;
        }
        if (!back) break;
        --i0;
    }
    // Lines not laid out yet start where they are.
    if (staleFrom_ != kComplete) i0 = std::min(i0, staleFrom_);
    relayout(text, i0, pos, removed, inserted, editBudget_);
}

void LineView::continueLayout(const GapBuffer& text, std::size_t maxLines) {
    if (complete()) return;
    const std::size_t i0 = staleFrom_;
    relayout(text, i0, lines_.start(i0), 0, 0, maxLines);
}

void LineView::relayout(const GapBuffer& text, std::size_t i0, std::size_t pos, std::size_t removed,
                        std::size_t inserted, std::size_t budget) {
    // A stretch of lines inside a run of one character moves as a whole; the
    // lines after it are laid out again as after an edit where it ends.
    std::size_t first = kComplete, end = 0;
    std::size_t runFirst = 0, runCount = 0, runWas = 0; // the longest stretch moved whole
    const std::size_t linesBefore = lines_.size();
    while (true) {
        const Resume r = relayoutStep(text, i0, pos, removed, inserted, budget);
        first = std::min(first, relaid_.first);
        end = std::max(end, relaid_.first + relaid_.count);
        if (relaid_.runCount > runCount) {
            runFirst = relaid_.runFirst;
            runCount = relaid_.runCount;
            // The lines before the stretch grew by as many lines as the text
            // has now (later steps lay out only lines after it).
            runWas = runFirst + linesBefore - lines_.size();
        }
        if (r.line == kComplete) break;
        i0 = r.line;
        pos = lines_.start(i0);
        removed = inserted = 0;
        budget = r.budget;
    }
    relaid_ = {first, end - first, runFirst, runCount, runWas};
}

void LineView::noteEditInRun(std::size_t pos, std::size_t removed, std::size_t inserted) {
    if (run_.to <= run_.from) return;
    const std::size_t editEnd = pos + removed;
    const std::size_t cl = run_.unit.size();
    if (editEnd <= run_.from) {
        run_.from = run_.from - removed + inserted;
        run_.to = run_.to - removed + inserted;
    } else if (pos < run_.to) {
        // What follows the change within the run is still the run.
        const std::size_t tail = run_.from + (editEnd - run_.from + cl - 1) / cl * cl;
        if (tail + cl <= run_.to) {
            run_.from = tail - removed + inserted;
            run_.to = run_.to - removed + inserted;
        } else {
            run_ = {};
        }
    }
}

std::size_t LineView::runEnd(const GapBuffer& text, std::size_t from, std::string_view unit) {
    const std::size_t cl = unit.size();
    if (run_.to > from && from >= run_.from && (from - run_.from) % cl == 0 && run_.unit == unit)
        return run_.to;
    // Compared a piece at a time against the unit repeated (a piece never
    // spans the buffer's gap by much, so reading moves it little).
    constexpr std::size_t kPiece = 1u << 15;
    std::array<char, kPiece> pattern;
    for (std::size_t k = 0; k < kPiece; ++k)
        pattern[k] = unit[k % cl];
    const std::size_t n = text.size();
    std::size_t q = from;
    while (q < n) {
        const std::string_view v = text.view(q, std::min(n, q + kPiece));
        if (std::memcmp(v.data(), pattern.data(), v.size()) == 0) {
            q += v.size();
            continue;
        }
        std::size_t k = 0;
        while (k < v.size() && v[k] == pattern[k])
            ++k;
        q += k;
        break;
    }
    const std::size_t to = from + (q - from) / cl * cl;
    run_ = {from, to, std::string(unit)};
    return to;
}

LineView::Resume LineView::relayoutStep(const GapBuffer& text, std::size_t i0, std::size_t pos,
                                        std::size_t removed, std::size_t inserted,
                                        std::size_t budget) {
    // The last line laid out when the budget runs out is laid out again
    // later (it ends where an old line starts, which need not be its own
    // end), so a budget of two lines is the least that makes progress.
    budget = std::max<std::size_t>(budget, 2);
    Resume resume;
    std::size_t runLines = 0; // old lines from jEnd on that move by runShift
    std::uint32_t runShift = 0;
    addressesBase_ = nullptr;
    const std::size_t n = text.size();
    const std::size_t editEndOld = pos + removed;
    const std::size_t editEndNew = pos + inserted;
    const auto delta = static_cast<std::uint32_t>(inserted - removed); // modulo 2^32
    const std::size_t staleBefore = staleFrom_;
    const std::size_t oldTotal = count();

    // Lay out again line by line, over a window of the text just large
    // enough for each line, until a new line starts where a laid-out old line
    // started past the change, the budget of lines is spent, or the text
    // ends.
    scratch_.clear();
    std::size_t p = lines_.start(i0);
    std::size_t j = i0; // first old line not yet passed
    std::size_t jEnd = oldTotal;
    bool synced = false;
    const std::size_t baseWindow = 4 * static_cast<std::size_t>(std::max(rules_.width, 16)) + 64;
    while (p < n) {
        std::size_t window = baseWindow;
        std::size_t b = 0, e = 0;
        bool lineEnds = false;
        while (true) {
            const std::size_t wEnd = std::min(n, p + window);
            const std::string_view v = text.view(p, wEnd);
            const std::size_t le = lineEndIn(v, 0);
            e = p + le;
            lineEnds = le < v.size() || wEnd == n;
            b = breakOf(v.data() - p, p, e, lineEnds);
            if (b != kNeedMoreText) break;
            window *= 2;
        }
        if (b >= e) {
            const unsigned eol =
                e < n ? ((text.at(e) == '\r' && e + 1 < n && text.at(e + 1) == '\n') ? 2 : 1) : 0;
            scratch_.push_back({p, static_cast<std::uint8_t>(eol)});
            p = e + eol;
        } else {
            scratch_.push_back({p, 0});
            p = b;
        }
        if (p < editEndNew || p <= pos) continue;
        // Past the change: the old lines that started before here are
        // replaced; a laid-out one that started here holds from here on.
        const std::size_t old = p - inserted + removed;
        while (j < oldTotal && lines_.start(j) < old)
            ++j;
        if (j < oldTotal && j < staleBefore && lines_.start(j) == old && old >= editEndOld) {
            jEnd = j;
            synced = true;
            break;
        }
        if (scratch_.back().eol == 0 && j < oldTotal && j < staleBefore) {
            runLines = linesInRun(text, scratch_.back().start, p, editEndNew, j,
                                  std::min(oldTotal, staleBefore), delta);
            if (runLines > 0) {
                runShift = static_cast<std::uint32_t>(old - lines_.start(j));
                jEnd = j;
                synced = true;
                break;
            }
        }
        if (scratch_.size() >= budget) {
            jEnd = j;
            break;
        }
    }

    // Replace the old lines [i0, jEnd) by the new ones; the rest shift.
    const std::size_t oldCount = jEnd - i0;
    const std::size_t newCount = scratch_.size();
    const std::size_t common = std::min(oldCount, newCount);
    // The first new lines may be the old ones again (laid out again only in
    // case their breaks had moved): a line that starts and ends where it did,
    // and whose next line starts two bytes or more before the change (what
    // follows a line's start, up to a double-byte character, is unchanged),
    // is not counted as laid out again.
    std::size_t same = 0;
    while (same + 1 < common && i0 + same + 1 < staleBefore &&
           scratch_[same + 1].start + 2 <= pos && scratch_[same].start == lines_.start(i0 + same) &&
           scratch_[same].eol == lines_.eol(i0 + same) &&
           scratch_[same + 1].start == lines_.start(i0 + same + 1))
        ++same;
    for (std::size_t k = i0; k < jEnd; ++k)
        eolBytes_ -= lines_.eol(k);
    // The old lines go, the rest move by the change, then the new lines come
    // in between (so that the starts stay in order all along).
    lines_.erase(i0, oldCount);
    lines_.shiftFrom(i0, delta);
    for (std::size_t k = 0; k < newCount; ++k) {
        lines_.insert(i0 + k, static_cast<std::uint32_t>(scratch_[k].start), scratch_[k].eol);
        eolBytes_ += scratch_[k].eol;
    }
    textSize_ = n;
    relaid_ = {i0 + same, newCount - same};
    if (runLines > 0) {
        // The old lines of the run start where the new ones do, moved by
        // runShift; the line where they end is laid out again from there.
        lines_.shiftRange(i0 + newCount, i0 + newCount + runLines, runShift);
        relaid_.count += runLines - 1;
        relaid_.runFirst = i0 + newCount;
        relaid_.runCount = runLines - 1;
        resume.line = i0 + newCount + runLines - 1;
        resume.budget = budget > newCount ? budget - newCount : 2;
    }

    // What is laid out now: everything when the text ended; up to where it
    // was before when the new lines fell in step; else up to the last new
    // line, which ends where an old line (not laid out again) starts.
    if (p >= n && !synced)
        staleFrom_ = kComplete;
    else if (synced)
        staleFrom_ = staleBefore == kComplete ? kComplete : staleBefore - oldCount + newCount;
    else
        staleFrom_ = i0 + newCount - 1;
    return resume;
}

std::size_t LineView::linesInRun(const GapBuffer& text, std::size_t lineStart, std::size_t next,
                                 std::size_t editEnd, std::size_t j, std::size_t laidEnd,
                                 std::uint32_t delta) {
    // The new line [lineStart, next) is all one character, repeated up to
    // the run's end. Every line that starts on that character's grid with
    // the run still reaching past what its break looks at (rowReach) has
    // the same length; so do the old lines of the same bytes from old line
    // j on, which start a constant away from the new ones.
    if (rules_.width <= 0 || keepAddresses_ || lineStart < editEnd) return 0;
    const std::size_t length = next - lineStart;
    const std::size_t rowReach =
        2 * static_cast<std::size_t>(rules_.width) + 4 * kMaxHangingBlanks + 16;
    const std::size_t n = text.size();
    if (n - lineStart < rowReach + kMinRunLines * length) return 0;
    const std::string_view head = text.view(lineStart, std::min(n, lineStart + length + 2));
    const std::size_t cl = cp932::charLength(head, 0);
    const std::string_view unit = head.substr(0, cl);
    if (length % cl != 0 || unit[0] == '\r' || unit[0] == '\n') return 0;
    for (std::size_t k = cl; k < length; ++k)
        if (head[k] != unit[k % cl]) return 0;
    const std::string key(unit); // the view ends with the next read
    const std::size_t end = runEnd(text, lineStart, key);
    if (end < lineStart + rowReach + kMinRunLines * length) return 0;
    // The old line j in the new text's positions, on the grid and in the run.
    const std::size_t q = static_cast<std::uint32_t>(lines_.start(j) + delta);
    if (q <= next || (q - lineStart) % cl != 0 || q + rowReach > end) return 0;
    // Old lines j .. j + m - 1 have the run's length; line j + m starts
    // where the first irregular one does.
    std::size_t m = (end - rowReach - q) / length + 1;
    m = std::min(m, laidEnd - 1 - j);
    if (m < kMinRunLines) return 0;
    return m + 1;
}

TextTotals totalsOf(std::size_t lineCount, std::uint64_t laidBytes) {
    TextTotals t;
    t.lines = std::max<std::int64_t>(static_cast<std::int64_t>(lineCount) - 2, 0);
    t.characters = static_cast<std::int64_t>(laidBytes) + 2 * static_cast<std::int64_t>(lineCount);
    return t;
}

TextTotals LineView::totals() const {
    return totalsOf(count(), laidBytes());
}
