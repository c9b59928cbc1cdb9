// The line view's storage: a gap vector (cheap insertions and removals near
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

    // Adds delta (modulo 2^32) to the starts at indexes [from, to).
    void shiftRange(std::size_t from, std::size_t to, std::uint32_t delta) {
        for (std::size_t k = from; k < to; ++k)
            starts_.at(k) += delta;
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
