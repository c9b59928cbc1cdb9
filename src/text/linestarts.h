// Storage for positions in a text: a gap vector (cheap insertions and removals near
// the last change, as edits come one after another in one place) and the
// line starts kept with a lazily applied shift, so that an edit costs the
// distance from the previous edit, not the number of lines after it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// A vector with a gap at the last change.
template <class T> class GapVector {
  public:
    std::size_t size() const { return body_.size() - gapLength_; }
    bool empty() const { return size() == 0; }
    T operator[](std::size_t i) const { return i < gapStart_ ? body_[i] : body_[i + gapLength_]; }
    T& at(std::size_t i) { return i < gapStart_ ? body_[i] : body_[i + gapLength_]; }

    void clear() {
        body_.clear();
        gapStart_ = gapLength_ = 0;
    }
    void reserve(std::size_t n) {
        moveGap(size());
        body_.resize(std::max(body_.size(), n));
        gapLength_ = body_.size() - gapStart_;
    }
    void push_back(T v) { insert(size(), v); }

    // Inserts count copies of v at index i.
    void insert(std::size_t i, T v, std::size_t count = 1) {
        moveGap(i);
        if (gapLength_ < count) grow(count);
        std::fill(body_.begin() + static_cast<std::ptrdiff_t>(gapStart_),
                  body_.begin() + static_cast<std::ptrdiff_t>(gapStart_ + count), v);
        gapStart_ += count;
        gapLength_ -= count;
    }
    // Removes count entries from index i.
    void erase(std::size_t i, std::size_t count) {
        if (count == 0) return;
        moveGap(i);
        gapLength_ += count;
    }

    std::size_t memoryBytes() const { return body_.capacity() * sizeof(T); }

  private:
    void moveGap(std::size_t i) {
        if (i == gapStart_) return;
        auto b = body_.begin();
        if (i < gapStart_) {
            std::move_backward(b + static_cast<std::ptrdiff_t>(i),
                               b + static_cast<std::ptrdiff_t>(gapStart_),
                               b + static_cast<std::ptrdiff_t>(gapStart_ + gapLength_));
        } else {
            std::move(b + static_cast<std::ptrdiff_t>(gapStart_ + gapLength_),
                      b + static_cast<std::ptrdiff_t>(i + gapLength_),
                      b + static_cast<std::ptrdiff_t>(gapStart_));
        }
        gapStart_ = i;
    }
    // Widens the gap where it stands.
    void grow(std::size_t needed) {
        const std::size_t extra =
            std::max<std::size_t>(needed, std::max<std::size_t>(64, size() / 8));
        body_.insert(body_.begin() + static_cast<std::ptrdiff_t>(gapStart_ + gapLength_), extra,
                     T{});
        gapLength_ += extra;
    }

    std::vector<T> body_;
    std::size_t gapStart_ = 0;
    std::size_t gapLength_ = 0;
};

// Line starts: entries at index stepFrom and after are stored without the
// pending shift `step`, which reads add. Moving where the shift starts costs
// the distance moved.
class LineStarts {
  public:
    std::size_t size() const { return starts_.size(); }
    void clear() {
        starts_.clear();
        stepFrom_ = 0;
        step_ = 0;
    }
    void reserve(std::size_t n) { starts_.reserve(n); }

    std::uint32_t operator[](std::size_t i) const {
        return i >= stepFrom_ ? starts_[i] + step_ : starts_[i];
    }
    void set(std::size_t i, std::uint32_t v) { starts_.at(i) = i >= stepFrom_ ? v - step_ : v; }
    void push_back(std::uint32_t v) { insert(size(), v); }
    void insert(std::size_t i, std::uint32_t v) {
        if (i < stepFrom_) {
            starts_.insert(i, v);
            ++stepFrom_;
        } else {
            starts_.insert(i, v - step_);
        }
    }
    void erase(std::size_t i, std::size_t count) {
        if (i + count <= stepFrom_)
            stepFrom_ -= count;
        else if (i < stepFrom_)
            stepFrom_ = i;
        starts_.erase(i, count);
    }
    // Adds delta (modulo 2^32) to every start from index i on.
    void shiftFrom(std::size_t i, std::uint32_t delta) {
        if (delta == 0) return;
        if (step_ != 0) moveStep(i);
        stepFrom_ = i;
        step_ += delta;
    }

    std::size_t memoryBytes() const { return starts_.memoryBytes(); }

  private:
    // Makes the entries between the old and the new start of the shift carry
    // it (or no longer carry it), so that the shift can start at i.
    void moveStep(std::size_t i) {
        i = std::min(i, size());
        for (std::size_t k = stepFrom_; k < i; ++k)
            starts_.at(k) += step_;
        for (std::size_t k = i; k < stepFrom_; ++k)
            starts_.at(k) -= step_;
        stepFrom_ = i;
    }

    GapVector<std::uint32_t> starts_;
    std::size_t stepFrom_ = 0;
    std::uint32_t step_ = 0;
};

// The line view's lines: where each starts and the bytes of the line end
// after it (0, 1 or 2), two bytes a line. Lines are kept in blocks of at
// most kBlockLines: a block holds the index of its first line and a base
// position in 32 bits, and per line the offset of its start from the base in
// 14 bits with the line end in the other 2. A block spans at most kMaxOffset
// bytes (a longer line ends its block). Blocks are allocated as lines come,
// a little at a time, so the store grows without ever holding two copies of
// itself. Blocks from stepFrom_ on are stored without a pending shift of
// their first index (lines inserted or removed before them) and of their
// base (bytes inserted or removed before them), which reads add: an edit
// costs the blocks between it and the previous edit and the lines of its
// own block, not the lines after it. A read remembers its block, as lines
// are mostly read in turn (so one store is read by one thread at a time).
class LineStore {
  public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        readCount_ = 0;
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
        stepFrom_ = 0;
        indexStep_ = startStep_ = 0;
    }

    std::uint32_t start(std::size_t i) const {
        const std::uint16_t e = entry(i);
        return readBase_ + offsetOf(e);
    }
    unsigned eol(std::size_t i) const { return entry(i) & kEolMask; }
    // Line i's start and line end, and the start of the line after it (end
    // for the last line).
    void get(std::size_t i, std::uint32_t end, std::uint32_t* start, std::uint32_t* next,
             unsigned* eol) const {
        const std::uint16_t e = entry(i);
        *start = readBase_ + offsetOf(e);
        *eol = e & kEolMask;
        if (i + 1 - readFirst_ < readCount_)
            *next = readBase_ + offsetOf(readLines_[i + 1 - readFirst_]);
        else if (i + 1 < size_)
            *next = this->start(i + 1);
        else
            *next = end;
    }
    // The last line that starts at or before pos (0 when none does).
    std::size_t lastAtOrBefore(std::uint32_t pos) const {
        std::size_t lo = 0, hi = blocks_.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (baseOf(mid) + offsetOf(blocks_[mid].lines[0]) <= pos)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == 0) return 0;
        const std::size_t b = lo - 1;
        const std::uint32_t rel = pos - baseOf(b);
        const std::vector<std::uint16_t>& lines = blocks_[b].lines;
        const auto it =
            std::upper_bound(lines.begin(), lines.end(), rel,
                             [](std::uint32_t r, std::uint16_t e) { return r < offsetOf(e); });
        return firstOf(b) + static_cast<std::size_t>(it - lines.begin()) - 1;
    }

    void push_back(std::uint32_t start, unsigned eol) { insert(size_, start, eol); }
    // Inserts a line at index i; its start lies between those of lines i - 1
    // and i.
    void insert(std::size_t i, std::uint32_t start, unsigned eol) {
        const ForgetRead forget{this};
        if (blocks_.empty()) {
            insertBlock(0, 0, start, {});
        }
        std::size_t b = i < size_ ? blockOf(i) : blocks_.size() - 1;
        std::size_t k = i - firstOf(b);
        // At the start of a block the line may as well end the block before.
        if (k == 0 && b > 0 && fits(b - 1, start)) {
            --b;
            k = blocks_[b].lines.size();
        }
        if (blocks_[b].lines.size() >= kBlockLines) {
            splitAt(b, kBlockLines / 2);
            if (k >= kBlockLines / 2) {
                k -= kBlockLines / 2;
                ++b;
            }
        }
        const std::uint32_t base = baseOf(b);
        std::vector<std::uint16_t>& lines = blocks_[b].lines;
        const std::int64_t offset = static_cast<std::int64_t>(start) - base;
        if (offset < 0 || offset > kMaxOffset) {
            // Does not fit here: a block of its own, after the lines before
            // it in this block (or before the whole block).
            if (k > 0 && k < lines.size()) splitAt(b, k);
            const std::size_t at = k == 0 ? b : b + 1;
            // A block the layout has filled takes no more room than it needs.
            if (at == blocks_.size()) blocks_[b].lines.shrink_to_fit();
            insertBlock(at, i, start, {static_cast<std::uint16_t>(eol)});
            addIndex(at + 1, 1);
            ++size_;
            return;
        }
        if (lines.size() == lines.capacity())
            lines.reserve(std::min<std::size_t>(kBlockLines, lines.size() + kGrowLines));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(k),
                     static_cast<std::uint16_t>(offset << kEolBits | eol));
        addIndex(b + 1, 1);
        ++size_;
    }
    // Removes count lines from index i.
    void erase(std::size_t i, std::size_t count) {
        const ForgetRead forget{this};
        while (count > 0) {
            const std::size_t b = blockOf(i);
            std::vector<std::uint16_t>& lines = blocks_[b].lines;
            const std::size_t k = i - firstOf(b);
            const std::size_t m = std::min(count, lines.size() - k);
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(k),
                        lines.begin() + static_cast<std::ptrdiff_t>(k + m));
            std::size_t after = b + 1;
            if (lines.empty()) {
                removeBlock(b);
                after = b;
            }
            addIndex(after, static_cast<std::uint32_t>(-static_cast<std::int64_t>(m)));
            size_ -= m;
            count -= m;
        }
    }
    // Adds delta (modulo 2^32) to every start from index i on.
    void shiftFrom(std::size_t i, std::uint32_t delta) {
        const ForgetRead forget{this};
        if (delta == 0 || i >= size_) return;
        std::size_t b = blockOf(i);
        const std::size_t k = i - firstOf(b);
        if (k > 0) {
            // The lines of i's block from i on move within the block while
            // they fit, else they begin a block of their own.
            std::vector<std::uint16_t>& lines = blocks_[b].lines;
            const std::int64_t d = static_cast<std::int32_t>(delta);
            const std::int64_t lo = offsetOf(lines[k]) + d, hi = offsetOf(lines.back()) + d;
            if (lo >= 0 && hi <= kMaxOffset && lo >= offsetOf(lines[k - 1])) {
                for (std::size_t q = k; q < lines.size(); ++q)
                    lines[q] = static_cast<std::uint16_t>((offsetOf(lines[q]) + d) << kEolBits |
                                                          (lines[q] & kEolMask));
                moveStep(b + 1);
                startStep_ += delta;
                return;
            }
            splitAt(b, k);
            ++b;
        }
        moveStep(b);
        startStep_ += delta;
    }
    // Adds delta (modulo 2^32) to the starts at indexes [from, to).
    void shiftRange(std::size_t from, std::size_t to, std::uint32_t delta) {
        if (from >= to) return;
        shiftFrom(from, delta);
        shiftFrom(to, static_cast<std::uint32_t>(0) - delta);
    }

    std::size_t memoryBytes() const {
        std::size_t bytes = blocks_.capacity() * sizeof(Block);
        for (const Block& b : blocks_)
            bytes += b.lines.capacity() * sizeof(std::uint16_t);
        return bytes;
    }

    static constexpr std::size_t kBlockLines = 1024;
    static constexpr std::int64_t kMaxOffset = (1 << 14) - 1;

  private:
    static constexpr unsigned kEolBits = 2;
    static constexpr std::uint16_t kEolMask = 3;
    static constexpr std::size_t kGrowLines = 64;
    static std::uint32_t offsetOf(std::uint16_t e) { return e >> kEolBits; }

    struct Block {
        std::uint32_t first; // index of its first line
        std::uint32_t base;  // a position at or before its first line's start
        std::vector<std::uint16_t> lines;
    };

    std::uint32_t firstOf(std::size_t b) const {
        return b >= stepFrom_ ? blocks_[b].first + indexStep_ : blocks_[b].first;
    }
    std::uint32_t baseOf(std::size_t b) const {
        return b >= stepFrom_ ? blocks_[b].base + startStep_ : blocks_[b].base;
    }
    // The block holding line i (i < size()). Lines are mostly read in turn:
    // the block of the last read, or the one after it, is tried first.
    std::size_t blockOf(std::size_t i) const {
        const std::size_t h = hint_;
        if (h < blocks_.size() && firstOf(h) <= i) {
            if (h + 1 == blocks_.size() || i < firstOf(h + 1)) return h;
            if (h + 2 == blocks_.size() || i < firstOf(h + 2)) return hint_ = h + 1;
        }
        std::size_t lo = 0, hi = blocks_.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (firstOf(mid) <= i)
                lo = mid + 1;
            else
                hi = mid;
        }
        return hint_ = lo - 1;
    }
    // True when a line starting at start can end block b.
    bool fits(std::size_t b, std::uint32_t start) const {
        const std::int64_t offset = static_cast<std::int64_t>(start) - baseOf(b);
        return blocks_[b].lines.size() < kBlockLines && offset >= 0 && offset <= kMaxOffset &&
               offset >= offsetOf(blocks_[b].lines.back());
    }
    // Inserts a block at index at with the first index and base given.
    void insertBlock(std::size_t at, std::uint32_t first, std::uint32_t base,
                     std::vector<std::uint16_t> lines) {
        if (at < stepFrom_) {
            ++stepFrom_;
        } else {
            first -= indexStep_;
            base -= startStep_;
        }
        lines.reserve(std::max<std::size_t>(lines.size(), kGrowLines));
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(at),
                       Block{first, base, std::move(lines)});
    }
    void removeBlock(std::size_t b) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
        if (b < stepFrom_) --stepFrom_;
    }
    // Splits block b before its line k (0 < k < its size).
    void splitAt(std::size_t b, std::size_t k) {
        std::vector<std::uint16_t>& lines = blocks_[b].lines;
        const std::uint32_t cut = offsetOf(lines[k]);
        std::vector<std::uint16_t> tail;
        tail.reserve(lines.size() - k + kGrowLines);
        for (std::size_t q = k; q < lines.size(); ++q)
            tail.push_back(static_cast<std::uint16_t>((offsetOf(lines[q]) - cut) << kEolBits |
                                                      (lines[q] & kEolMask)));
        lines.resize(k);
        lines.shrink_to_fit();
        const std::uint32_t first = firstOf(b) + static_cast<std::uint32_t>(k);
        const std::uint32_t base = baseOf(b) + cut;
        insertBlock(b + 1, first, base, std::move(tail));
    }
    // Adds n (modulo 2^32) to the first index of every block from b on.
    void addIndex(std::size_t b, std::uint32_t n) {
        if (b >= blocks_.size()) return;
        moveStep(b);
        indexStep_ += n;
    }
    // Makes the blocks between the old and the new start of the pending
    // shift carry it (or no longer carry it), so that it starts at block b.
    void moveStep(std::size_t b) {
        b = std::min(b, blocks_.size());
        for (std::size_t q = stepFrom_; q < b; ++q) {
            blocks_[q].first += indexStep_;
            blocks_[q].base += startStep_;
        }
        for (std::size_t q = b; q < stepFrom_; ++q) {
            blocks_[q].first -= indexStep_;
            blocks_[q].base -= startStep_;
        }
        stepFrom_ = b;
    }

    std::vector<Block> blocks_;
    std::size_t size_ = 0;
    std::size_t stepFrom_ = 0;
    std::uint32_t indexStep_ = 0;
    std::uint32_t startStep_ = 0;
    mutable std::size_t hint_ = 0; // the block of the last line read
    // The block of the last line read, as it stood (forgotten by every
    // change): its first index, its number of lines, its base and lines.
    mutable std::size_t readFirst_ = 0, readCount_ = 0;
    mutable std::uint32_t readBase_ = 0;
    mutable const std::uint16_t* readLines_ = nullptr;
    struct ForgetRead {
        const LineStore* store;
        ~ForgetRead() { store->readCount_ = 0; }
    };
    // Line i's entry, its block's base left in readBase_.
    std::uint16_t entry(std::size_t i) const {
        if (i - readFirst_ >= readCount_) {
            const std::size_t b = blockOf(i);
            readFirst_ = firstOf(b);
            readCount_ = blocks_[b].lines.size();
            readBase_ = baseOf(b);
            readLines_ = blocks_[b].lines.data();
        }
        return readLines_[i - readFirst_];
    }
};
