#include "gapbuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#if defined(MADV_HUGEPAGE)
#define MMEDIT_MAPPED_STORAGE 1
#endif
#endif

namespace {

// The room left after a text of `used` bytes when the storage is (re)made.
std::size_t gapFor(std::size_t used) {
    return std::max<std::size_t>(4096, used / 16);
}

#ifdef MMEDIT_MAPPED_STORAGE
// Storage from this size up is mapped on its own; a smaller text is read in
// a few milliseconds in small pages too.
constexpr std::size_t kMappedStorage = std::size_t{8} << 20;
#endif

// A file is read in pieces of this size, so that a reader of the pieces
// finds each one still in the cache.
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

} // namespace

void GapBuffer::Release::operator()(char* bytes) const {
#ifdef MMEDIT_MAPPED_STORAGE
    if (mappedBytes) {
        ::munmap(bytes, mappedBytes);
        return;
    }
#endif
    delete[] bytes;
}

GapBuffer::Storage GapBuffer::allocate(std::size_t n) {
#ifdef MMEDIT_MAPPED_STORAGE
    if (n >= kMappedStorage) {
        void* bytes =
            ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (bytes == MAP_FAILED) throw std::bad_alloc();
        // Only advice: without huge pages the storage works the same.
        ::madvise(bytes, n, MADV_HUGEPAGE);
        return Storage(static_cast<char*>(bytes), Release{n});
    }
#endif
    return Storage(new char[n], Release{0});
}

GapBuffer::GapBuffer(const GapBuffer& other) {
    assign(other.all());
}

GapBuffer& GapBuffer::operator=(const GapBuffer& other) {
    if (this != &other) {
        GapBuffer copy(other);
        swap(copy);
    }
    return *this;
}

GapBuffer::GapBuffer(GapBuffer&& other) noexcept {
    swap(other);
}

GapBuffer& GapBuffer::operator=(GapBuffer&& other) noexcept {
    GapBuffer taken(std::move(other));
    swap(taken);
    return *this;
}

void GapBuffer::swap(GapBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(gapStart_, other.gapStart_);
    std::swap(gapEnd_, other.gapEnd_);
}

void GapBuffer::assign(std::string_view text) {
    const std::size_t capacity = text.size() + gapFor(text.size());
    data_ = allocate(capacity);
    capacity_ = capacity;
    if (!text.empty()) std::memcpy(data_.get(), text.data(), text.size());
    gapStart_ = text.size();
    gapEnd_ = capacity_;
}

void GapBuffer::fill(std::size_t n, const std::function<std::size_t(char*, std::size_t)>& source) {
    GapBuffer fresh;
    const std::size_t capacity = n + gapFor(n);
    fresh.data_ = allocate(capacity);
    fresh.capacity_ = capacity;
    fresh.gapEnd_ = capacity;
    while (fresh.gapStart_ < n) {
        const std::size_t got = source(fresh.data_.get() + fresh.gapStart_, n - fresh.gapStart_);
        if (got == 0) break;
        fresh.gapStart_ += std::min(got, n - fresh.gapStart_);
    }
    swap(fresh);
}

void GapBuffer::readFile(const std::string& path, std::size_t maxBytes,
                         const std::function<void(std::string_view)>& seen) {
    fileio::FileReader file(path, maxBytes);
    GapBuffer fresh;
    try {
        // The size the file tells goes straight into the storage; the gap
        // after it stays untouched.
        const std::size_t hint = file.sizeHint();
        const std::size_t capacity = hint + gapFor(hint);
        fresh.data_ = allocate(capacity);
        fresh.capacity_ = capacity;
        fresh.gapEnd_ = capacity;
        while (fresh.gapStart_ < hint) {
            char* to = fresh.data_.get() + fresh.gapStart_;
            const std::size_t n = file.read(to, std::min(hint - fresh.gapStart_, kReadPiece));
            if (n == 0) break; // the file got shorter
            if (seen) seen({to, n});
            fresh.gapStart_ += n;
        }
        // A file that grows while it is read, or one that tells no size,
        // gives more: it is read until its end or the limit.
        if (fresh.gapStart_ == hint) {
            char piece[65536];
            while (const std::size_t n = file.read(piece, sizeof piece)) {
                fresh.insert(fresh.size(), {piece, n});
                if (seen) seen({piece, n});
            }
        }
    } catch (const std::bad_alloc&) {
        file.throwTooLarge();
    } catch (const std::length_error&) {
        file.throwTooLarge();
    }
    swap(fresh);
}

void GapBuffer::moveGap(std::size_t pos) const {
    if (pos == gapStart_) return;
    const std::size_t gap = gapLength();
    char* data = data_.get();
    if (pos < gapStart_) {
        // Bytes [pos, gapStart) go to the end of the gap.
        std::memmove(data + pos + gap, data + pos, gapStart_ - pos);
    } else {
        std::memmove(data + gapStart_, data + gapEnd_, pos - gapStart_);
    }
    gapStart_ = pos;
    gapEnd_ = pos + gap;
}

void GapBuffer::reserveGap(std::size_t needed) {
    if (gapLength() >= needed) return;
    const std::size_t used = size();
    const std::size_t gap = needed + gapFor(used);
    Storage grown = allocate(used + gap);
    const std::size_t tail = capacity_ - gapEnd_;
    if (gapStart_) std::memcpy(grown.get(), data_.get(), gapStart_);
    if (tail) std::memcpy(grown.get() + gapStart_ + gap, data_.get() + gapEnd_, tail);
    data_ = std::move(grown);
    capacity_ = used + gap;
    gapEnd_ = gapStart_ + gap;
}

void GapBuffer::insert(std::size_t pos, std::string_view bytes) {
    pos = std::min(pos, size());
    moveGap(pos);
    reserveGap(bytes.size());
    if (!bytes.empty()) std::memcpy(data_.get() + gapStart_, bytes.data(), bytes.size());
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
    if (to <= gapStart_) return {data_.get() + from, to - from};
    if (from >= gapStart_) return {data_.get() + from + gapLength(), to - from};
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
        const std::size_t k = scan(data_.get() + pos, gapStart_ - pos);
        if (pos + k < gapStart_) return pos + k;
        pos = gapStart_;
    }
    if (pos >= n) return n;
    return pos + scan(data_.get() + pos + gapLength(), n - pos);
}
