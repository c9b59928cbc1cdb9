#include "lineview.h"

#include "cp932.h"

#include <QString>

#include <algorithm>

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

// Blanks: they never start a wrapped line, and hang past the width at a break.
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
    // starts_ holds the character starts from pos up to and including fitEnd.
    const std::size_t n = starts_.size(); // starts_[n-1] == fitEnd
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
            if (breakAllowed(base, starts_[k - 1], starts_[k], end, wordBreak)) return starts_[k];
    }
    return fitEnd;
}

void LineView::layoutLogical(const char* base, std::size_t start, std::size_t end, unsigned eol,
                             std::vector<LaidLine>& out) {
    const int width = rules_.width;
    std::size_t pos = start;
    while (true) {
        if (pos >= end || width <= 0) {
            // An empty line, or no wrapping at all.
            out.push_back(
                {static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(end - pos), eol});
            return;
        }
        // Fit as many characters as the width holds. Columns are counted
        // in 64 bits: a width or a run of tabs may be as large as they come.
        starts_.clear();
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
            starts_.push_back(static_cast<std::uint32_t>(p));
            col += w;
            p += len;
        }
        // With line-breaking rules, blanks where the width ends hang past
        // it: they stay on this line.
        const bool hangBlanks = rules_.modeWord & kWrapRuleMask;
        const std::size_t fitted = p;
        while (hangBlanks && p < end) {
            const std::size_t len = cp932::charLength(std::string_view(base, end), p);
            if (!isBlank(codeAt(base, p, len))) break;
            starts_.push_back(static_cast<std::uint32_t>(p));
            p += len;
        }
        if (p >= end) {
            out.push_back(
                {static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(end - pos), eol});
            return;
        }
        starts_.push_back(static_cast<std::uint32_t>(p));
        std::size_t b = chooseBreak(base, pos, p, end, p != fitted);
        // A wrapped line never begins with a blank.
        while (hangBlanks && b < end) {
            const std::size_t len = cp932::charLength(std::string_view(base, end), b);
            if (!isBlank(codeAt(base, b, len))) break;
            b += len;
        }
        if (b >= end) {
            out.push_back(
                {static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(end - pos), eol});
            return;
        }
        out.push_back({static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(b - pos), 0});
        pos = b;
    }
}

void LineView::layoutAll(std::string_view text) {
    lines_.clear();
    laidBytes_ = 0;
    const char* base = text.data();
    const std::size_t n = text.size();
    std::size_t p = 0;
    while (p < n) {
        const char* hit = nullptr;
        // The next CR or LF.
        for (const char* q = base + p; q < base + n; ++q) {
            if (*q == '\r' || *q == '\n') {
                hit = q;
                break;
            }
        }
        const std::size_t e = hit ? static_cast<std::size_t>(hit - base) : n;
        unsigned eol = 0;
        if (e < n) eol = (base[e] == '\r' && e + 1 < n && base[e + 1] == '\n') ? 2 : 1;
        layoutLogical(base, p, e, eol, lines_);
        p = e + eol;
    }
    for (const LaidLine& l : lines_)
        laidBytes_ += l.length;
}

std::size_t LineView::lineOf(std::size_t pos) const {
    // The last line starting at or before pos.
    auto it = std::upper_bound(lines_.begin(), lines_.end(), pos,
                               [](std::size_t v, const LaidLine& l) { return v < l.start; });
    if (it == lines_.begin()) return 0;
    const std::size_t i = static_cast<std::size_t>(it - lines_.begin()) - 1;
    const LaidLine& l = lines_[i];
    if (l.eol > 0 && pos >= l.start + l.length + l.eol) return i + 1; // after a final line end
    return i;
}

void LineView::edited(const GapBuffer& text, std::size_t pos, std::size_t removed,
                      std::size_t inserted) {
    const std::size_t n = text.size();
    if (lines_.empty()) {
        layoutAll(text.all());
        return;
    }
    const std::int64_t delta =
        static_cast<std::int64_t>(inserted) - static_cast<std::int64_t>(removed);

    // First line to lay out again: the start of the logical line holding pos,
    // or the one before when that ends with a lone CR (an LF may join it).
    std::size_t i0 = std::min(lineOf(pos), lines_.size() - 1);
    while (i0 > 0 && lines_[i0 - 1].eol == 0)
        --i0;
    if (i0 > 0 && lines_[i0 - 1].eol == 1) {
        const LaidLine& prev = lines_[i0 - 1];
        if (text.at(prev.start + prev.length) == '\r') {
            --i0;
            while (i0 > 0 && lines_[i0 - 1].eol == 0)
                --i0;
        }
    }

    scratch_.clear();
    std::size_t p = lines_[i0].start;
    std::size_t j = i0; // first old line not yet known to be replaced
    const std::size_t editEndOld = pos + removed;
    const std::size_t editEndNew = pos + inserted;
    bool joined = false;
    while (p < n) {
        const std::size_t e = text.findLineEnd(p);
        unsigned eol = 0;
        if (e < n) eol = (text.at(e) == '\r' && e + 1 < n && text.at(e + 1) == '\n') ? 2 : 1;
        const std::string_view v = text.view(p, e + eol);
        layoutLogical(v.data() - p, p, e, eol, scratch_);
        p = e + eol;
        if (p < editEndNew || p <= pos) continue;
        // Past the change: stop where an old logical line starts at p.
        while (j < lines_.size() &&
               (lines_[j].start < editEndOld ||
                static_cast<std::int64_t>(lines_[j].start) + delta < static_cast<std::int64_t>(p)))
            ++j;
        if (j < lines_.size() &&
            static_cast<std::int64_t>(lines_[j].start) + delta == static_cast<std::int64_t>(p) &&
            j > 0 && lines_[j - 1].eol > 0) {
            joined = true;
            break;
        }
    }
    const std::size_t jEnd = joined ? j : lines_.size();

    std::uint64_t oldBytes = 0, newBytes = 0;
    for (std::size_t k = i0; k < jEnd; ++k)
        oldBytes += lines_[k].length;
    for (const LaidLine& l : scratch_)
        newBytes += l.length;
    laidBytes_ = laidBytes_ - oldBytes + newBytes;

    // Replace the old lines and shift the starts of the rest.
    const std::size_t oldCount = jEnd - i0;
    if (scratch_.size() >= oldCount) {
        std::copy(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(oldCount),
                  lines_.begin() + static_cast<std::ptrdiff_t>(i0));
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(jEnd),
                      scratch_.begin() + static_cast<std::ptrdiff_t>(oldCount), scratch_.end());
    } else {
        std::copy(scratch_.begin(), scratch_.end(),
                  lines_.begin() + static_cast<std::ptrdiff_t>(i0));
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i0 + scratch_.size()),
                     lines_.begin() + static_cast<std::ptrdiff_t>(jEnd));
    }
    if (delta != 0) {
        const auto d = static_cast<std::uint32_t>(delta); // modular addition
        for (std::size_t k = i0 + scratch_.size(); k < lines_.size(); ++k)
            lines_[k].start += d;
    }
}

TextTotals totalsOf(std::size_t lineCount, std::uint64_t laidBytes) {
    TextTotals t;
    t.lines = std::max<std::int64_t>(static_cast<std::int64_t>(lineCount) - 2, 0);
    t.characters = static_cast<std::int64_t>(laidBytes) + 2 * static_cast<std::int64_t>(lineCount);
    return t;
}

TextTotals LineView::totals() const {
    return totalsOf(lines_.size(), laidBytes_);
}
