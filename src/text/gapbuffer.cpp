#include "gapbuffer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
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

// From this size up a file's pieces may be shown on a second thread: below
// it the thread costs more than it saves.
constexpr std::size_t kSeenAlongsideFrom = std::size_t{8} << 20;

// Shows the bytes read so far, [0, handed on), to `seen` on a thread of its
// own while the reading thread goes on after them. Bytes once handed on are
// never written again while the thread lives.
class SeenAlongside {
  public:
    SeenAlongside(const char* bytes, const std::function<void(std::string_view)>& seen)
        : bytes_(bytes), seen_(seen), thread_([this] { run(); }) {}
    ~SeenAlongside() { stop(); }
    SeenAlongside(const SeenAlongside&) = delete;
    SeenAlongside& operator=(const SeenAlongside&) = delete;

    void handOn(std::size_t upTo) {
        ready_.store(upTo, std::memory_order_release);
        ready_.notify_one();
    }
    // Waits until everything handed on has been shown; throws what `seen`
    // threw there.
    void finish() {
        stop();
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }

  private:
    void stop() {
        if (!thread_.joinable()) return;
        ready_.fetch_or(kDone, std::memory_order_release);
        ready_.notify_one();
        thread_.join();
    }
    void run() {
        std::size_t shown = 0;
        try {
            while (true) {
                const std::size_t ready = ready_.load(std::memory_order_acquire);
                const std::size_t upTo = ready & ~kDone;
                if (upTo > shown) {
                    seen_(std::string_view(bytes_ + shown, upTo - shown));
                    shown = upTo;
                } else if (ready & kDone) {
                    return;
                } else {
                    ready_.wait(ready, std::memory_order_acquire);
                }
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Set in ready_ when nothing more will be handed on.
    static constexpr std::size_t kDone = ~(SIZE_MAX >> 1);
    const char* const bytes_;
    const std::function<void(std::string_view)>& seen_;
    std::atomic<std::size_t> ready_{0};
    std::exception_ptr failure_; // read once the thread has ended
    std::thread thread_;         // last: starts once the rest is made
};

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

std::size_t GapBuffer::residentBytes() const {
#ifdef MMEDIT_MAPPED_STORAGE
    if (data_ && data_.get_deleter().mappedBytes) {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t pages = (capacity_ + page - 1) / page;
        std::vector<unsigned char> in(pages);
        if (::mincore(data_.get(), capacity_, in.data()) == 0)
            return page * static_cast<std::size_t>(std::count_if(
                              in.begin(), in.end(), [](unsigned char c) { return c & 1; }));
    }
#endif
    return capacity_;
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
                         const std::function<void(std::string_view)>& seen, Seen where) {
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
        {
            // Made after the storage, so it ends (its thread joined) before
            // the storage can go.
            std::optional<SeenAlongside> alongside;
            if (seen && where == Seen::alongside && hint >= kSeenAlongsideFrom)
                alongside.emplace(fresh.data_.get(), seen);
            while (fresh.gapStart_ < hint) {
                char* to = fresh.data_.get() + fresh.gapStart_;
                const std::size_t n = file.read(to, std::min(hint - fresh.gapStart_, kReadPiece));
                if (n == 0) break; // the file got shorter
                fresh.gapStart_ += n;
                if (alongside)
                    alongside->handOn(fresh.gapStart_);
                else if (seen)
                    seen({to, n});
            }
            if (alongside) alongside->finish();
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
