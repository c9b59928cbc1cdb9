#include "caretmodel.h"

#include "text/cp932.h"

#include <algorithm>
#include <cstdint>

namespace {

// The farthest column a position is shown at (far right of any window).
constexpr std::int64_t kMaxShownColumn = 1 << 20;

// Character classes for word selection.
int wordClass(unsigned code) {
    if (code == ' ' || code == '\t' || code == 0x8140) return 0;
    if (code < 0x80) {
        const char c = static_cast<char>(code);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
            return 1;
        return code < 0x20 ? 9 : 2;
    }
    if (code >= 0xA1 && code <= 0xA5) return 8;     // half-width ｡｢｣､･ are punctuation
    if (code >= 0xA6 && code <= 0xDF) return 3;     // half-width katakana
    if (code >= 0x829F && code <= 0x82F1) return 4; // hiragana
    if ((code >= 0x8340 && code <= 0x8396) || code == 0x815B) return 5; // katakana, ー
    if (code >= 0x824F && code <= 0x829A) return 6; // full-width letters and digits
    if (code >= 0x889F) return 7;                   // kanji
    return 8;
}

} // namespace

void CaretModel::place(std::size_t newAnchor, std::size_t newCaret) {
    anchor = doc_.boundaryAtOrBefore(std::min(newAnchor, doc_.size()));
    caret = doc_.boundaryAtOrBefore(std::min(newCaret, doc_.size()));
    atLineEnd = false;
}

void CaretModel::follow(const TextChange& c) {
    auto moved = [&](std::size_t p) {
        if (p <= c.pos) return p;
        if (p >= c.pos + c.removed) return p - c.removed + c.inserted;
        return c.pos + c.inserted;
    };
    place(moved(anchor), moved(caret));
}

std::size_t CaretModel::line() const {
    std::size_t i = view_.lineOf(caret);
    if (atLineEnd && i > 0 && i < view_.count() && view_.line(i).start == caret &&
        view_.wrapped(i - 1))
        return i - 1;
    return i;
}

std::size_t CaretModel::lineStart(std::size_t line) const {
    if (line < view_.count()) return view_.line(line).start;
    return doc_.size();
}

std::size_t CaretModel::lineEnd(std::size_t line) const {
    if (line < view_.count()) return view_.line(line).start + view_.line(line).length;
    return doc_.size();
}

int CaretModel::columnOf(std::size_t line, std::size_t pos) const {
    const std::size_t start = lineStart(line);
    pos = std::min(pos, lineEnd(line));
    if (pos <= start) return 0;
    const std::string_view v = doc_.view(start, pos);
    std::int64_t col = 0;
    for (std::size_t p = 0; p < v.size() && col < kMaxShownColumn;) {
        col += cp932::charColumns(v, p, col);
        p += cp932::charLength(v, p);
    }
    // Blanks hanging past the width can make a line very wide; pixels are
    // ints, so positions stop far right of any window.
    return static_cast<int>(std::min<std::int64_t>(col, kMaxShownColumn));
}

std::size_t CaretModel::positionAtColumn(std::size_t line, int targetCol) const {
    const std::size_t start = lineStart(line), end = lineEnd(line);
    const std::string_view v = doc_.view(start, end);
    std::int64_t col = 0;
    for (std::size_t p = 0; p < v.size();) {
        const int w = cp932::charColumns(v, p, col);
        if (targetCol < col + (w + 1) / 2) return start + p;
        col += w;
        p += cp932::charLength(v, p);
    }
    return end;
}

unsigned CaretModel::codeAt(std::size_t p) const {
    const std::size_t len = doc_.nextBoundary(p) - p;
    const auto b = static_cast<unsigned char>(doc_.at(p));
    return len == 2 ? (b << 8 | static_cast<unsigned char>(doc_.at(p + 1))) : b;
}

std::size_t CaretModel::wordStart(std::size_t pos) const {
    const std::size_t line = view_.lineOf(pos);
    const std::size_t start = lineStart(line);
    if (pos >= lineEnd(line)) return pos;
    const int cls = wordClass(codeAt(pos));
    std::size_t p = pos;
    while (p > start) {
        const std::size_t q = doc_.previousBoundary(p);
        if (wordClass(codeAt(q)) != cls) break;
        p = q;
    }
    return p;
}

std::size_t CaretModel::wordEnd(std::size_t pos) const {
    const std::size_t line = view_.lineOf(pos);
    const std::size_t end = lineEnd(line);
    if (pos >= end) return pos;
    const int cls = wordClass(codeAt(pos));
    std::size_t p = pos;
    while (p < end && wordClass(codeAt(p)) == cls)
        p = doc_.nextBoundary(p);
    return p;
}
