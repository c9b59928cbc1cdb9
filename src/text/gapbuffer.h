// The document: code page 932 bytes in a gap buffer, so that typing in the
// middle of a large text costs about the size of the change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class GapBuffer {
  public:
    GapBuffer() = default;
    explicit GapBuffer(std::string_view text) { assign(text); }

    std::size_t size() const { return data_.size() - gapLength(); }
    bool empty() const { return size() == 0; }
    char at(std::size_t i) const { return i < gapStart_ ? data_[i] : data_[i + gapLength()]; }

    void assign(std::string_view text);
    void insert(std::size_t pos, std::string_view bytes);
    void erase(std::size_t pos, std::size_t count);

    // The bytes [from, to) as one piece (the gap moves out of the way if it
    // stands inside). Valid until the next change or view.
    std::string_view view(std::size_t from, std::size_t to) const;
    std::string_view all() const { return view(0, size()); }
    std::string str(std::size_t from, std::size_t to) const { return std::string(view(from, to)); }
    std::string str() const { return std::string(all()); }

    // The first CR or LF at or after pos (size() when none).
    std::size_t findLineEnd(std::size_t pos) const;

    std::size_t capacity() const { return data_.size(); }

  private:
    std::size_t gapLength() const { return gapEnd_ - gapStart_; }
    void moveGap(std::size_t pos) const;
    void reserveGap(std::size_t needed);

    mutable std::vector<char> data_;
    mutable std::size_t gapStart_ = 0;
    mutable std::size_t gapEnd_ = 0;
};
