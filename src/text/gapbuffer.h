// The document: code page 932 bytes in a gap buffer, so that typing in the
// middle of a large text costs about the size of the change.
#pragma once

#include "fileio.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class GapBuffer {
  public:
    GapBuffer() = default;
    explicit GapBuffer(std::string_view text) { assign(text); }
    GapBuffer(const GapBuffer& other);
    GapBuffer& operator=(const GapBuffer& other);
    GapBuffer(GapBuffer&& other) noexcept;
    GapBuffer& operator=(GapBuffer&& other) noexcept;
    ~GapBuffer() = default;

    std::size_t size() const { return capacity_ - gapLength(); }
    bool empty() const { return size() == 0; }
    char at(std::size_t i) const { return i < gapStart_ ? data_[i] : data_[i + gapLength()]; }

    void assign(std::string_view text);
    void insert(std::size_t pos, std::string_view bytes);
    void erase(std::size_t pos, std::size_t count);
    void swap(GapBuffer& other) noexcept;

    // Where readFile shows the pieces: on the reading thread as each one
    // arrives (while it is still in the cache), or, for a large file, on a
    // second thread while the next ones are read, so that looking at the
    // bytes costs the reading nothing (`seen` then touches only what it
    // owns; it is never called on two threads at once).
    enum class Seen { here, alongside };

    // Replaces the text with a whole file, read straight into the buffer's
    // storage (never filled before, never copied after), with the checks and
    // errors of fileio::readAll. `seen` is shown every byte once, in order,
    // in pieces. On failure the buffer is unchanged.
    void readFile(const std::string& path, std::size_t maxBytes = kMaxDocumentBytes,
                  const std::function<void(std::string_view)>& seen = {}, Seen where = Seen::here);
    // Replaces the text with n bytes that source puts straight into the
    // buffer's storage, piece by piece: it is given where the next bytes go
    // and how many are still wanted, and returns how many it put there (0
    // ends the text early). What source throws leaves the buffer unchanged.
    void fill(std::size_t n, const std::function<std::size_t(char*, std::size_t)>& source);

    // The bytes [from, to) as one piece (the gap moves out of the way if it
    // stands inside). Valid until the next change or view.
    std::string_view view(std::size_t from, std::size_t to) const;
    std::string_view all() const { return view(0, size()); }
    std::string str(std::size_t from, std::size_t to) const { return std::string(view(from, to)); }
    std::string str() const { return std::string(all()); }
    // Shows the bytes [from, to) to f in order, in at most two pieces split
    // where the gap stands, without moving the gap or copying a byte.
    template <class F> void forEachPiece(std::size_t from, std::size_t to, F&& f) const {
        if (from >= to) return;
        if (from < gapStart_)
            f(std::string_view(data_.get() + from, std::min(to, gapStart_) - from));
        if (to > gapStart_) {
            const std::size_t at = std::max(from, gapStart_);
            f(std::string_view(data_.get() + at + gapLength(), to - at));
        }
    }

    // The first CR or LF at or after pos (size() when none).
    std::size_t findLineEnd(std::size_t pos) const;

    std::size_t capacity() const { return capacity_; }
    // The bytes of memory the storage holds: its pages in memory where it is
    // mapped on its own, else its capacity.
    std::size_t residentBytes() const;

  private:
    // Gives storage back: unmaps storage mapped on its own, deletes the rest.
    struct Release {
        std::size_t mappedBytes; // 0: from new[] (a value-initialised Release)
        void operator()(char* bytes) const;
    };
    using Storage = std::unique_ptr<char[], Release>;
    // Storage for n bytes, never value-initialised: the bytes of the gap are
    // written before they are read, and pages nobody writes stay untouched.
    // Large storage is mapped on its own, in huge pages where the system
    // offers them, so that a large file is read in with few page faults.
    static Storage allocate(std::size_t n);

    std::size_t gapLength() const { return gapEnd_ - gapStart_; }
    void moveGap(std::size_t pos) const;
    void reserveGap(std::size_t needed);

    Storage data_; // moving the gap changes the bytes, not the pointer
    std::size_t capacity_ = 0;
    mutable std::size_t gapStart_ = 0;
    mutable std::size_t gapEnd_ = 0;
};
