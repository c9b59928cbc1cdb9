#include "gapbuffer.h"

#include <algorithm>
#include <cstring>

void GapBuffer::assign(std::string_view text) {
    const std::size_t gap = std::max<std::size_t>(4096, text.size() / 16);
    data_.assign(text.size() + gap, '\0');
    if (!text.empty()) std::memcpy(data_.data(), text.data(), text.size());
    gapStart_ = text.size();
    gapEnd_ = data_.size();
}

void GapBuffer::moveGap(std::size_t pos) const {
    if (pos == gapStart_) return;
    const std::size_t gap = gapLength();
    if (pos < gapStart_) {
        // Bytes [pos, gapStart) go to the end of the gap.
        std::memmove(data_.data() + pos + gap, data_.data() + pos, gapStart_ - pos);
    } else {
        std::memmove(data_.data() + gapStart_, data_.data() + gapEnd_, pos - gapStart_);
    }
    gapStart_ = pos;
    gapEnd_ = pos + gap;
}

void GapBuffer::reserveGap(std::size_t needed) {
    if (gapLength() >= needed) return;
    const std::size_t used = size();
    const std::size_t gap = needed + std::max<std::size_t>(4096, used / 16);
    std::vector<char> grown(used + gap);
    const std::size_t tail = data_.size() - gapEnd_;
    if (gapStart_) std::memcpy(grown.data(), data_.data(), gapStart_);
    if (tail) std::memcpy(grown.data() + gapStart_ + gap, data_.data() + gapEnd_, tail);
    data_.swap(grown);
    gapEnd_ = gapStart_ + gap;
}

void GapBuffer::insert(std::size_t pos, std::string_view bytes) {
    pos = std::min(pos, size());
    moveGap(pos);
    reserveGap(bytes.size());
    if (!bytes.empty()) std::memcpy(data_.data() + gapStart_, bytes.data(), bytes.size());
    gapStart_ += bytes.size();
}

void GapBuffer::erase(std::size_t pos, std::size_t count) {
    pos = std::min(pos, size());
    count = std::min(count, size() - pos);
    moveGap(pos);
    gapEnd_ += count;
}

std::string_view GapBuffer::view(std::size_t from, std::size_t to) const {
    to = std::min(to, size());
    from = std::min(from, to);
    if (to <= gapStart_) return {data_.data() + from, to - from};
    if (from >= gapStart_) return {data_.data() + from + gapLength(), to - from};
    // The gap stands inside: move it to the nearer end.
    if (gapStart_ - from < to - gapStart_)
        moveGap(from);
    else
        moveGap(to);
    return view(from, to);
}

std::size_t GapBuffer::findLineEnd(std::size_t pos) const {
    auto scan = [](const char* p, std::size_t n) -> std::size_t {
        for (std::size_t i = 0; i < n; ++i)
            if (p[i] == '\r' || p[i] == '\n') return i;
        return n;
    };
    const std::size_t n = size();
    if (pos < gapStart_) {
        const std::size_t k = scan(data_.data() + pos, gapStart_ - pos);
        if (pos + k < gapStart_) return pos + k;
        pos = gapStart_;
    }
    if (pos >= n) return n;
    return pos + scan(data_.data() + pos + gapLength(), n - pos);
}
