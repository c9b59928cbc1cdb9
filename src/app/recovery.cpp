#include "recovery.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "settings/filelocations.h"
#include "text/cp932.h"
#include "text/document.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

constexpr std::string_view kFilePrefix = "MMEdit-recovery-";
constexpr std::string_view kFileSuffix = ".dat";
constexpr std::string_view kLockSuffix = ".lock";
// The single file of earlier versions: the path and the whole text.
constexpr std::string_view kOldMagic = "MMEdit recovery 1\n";
// The journal: a base record, then path and change records.
constexpr std::string_view kMagic = "MMEdit recovery 2\n";
// What a write of a recovery file adds to its name for the new file it
// renames over the old one (".<name>.mmedit-save.XXXXXX", see fileio).
constexpr std::string_view kSaveMark = ".mmedit-save.";
constexpr int kNameAttempts = 8;
// Room for the header of an old recovery file before the largest document:
// the path and two counts.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// A journal grows up to the size of its text (at least this much) before
// the next write keeps a snapshot instead; a recovery file thus holds at
// most a snapshot and a journal of that size.
constexpr std::size_t kMinJournalBytes = 64 * 1024;
constexpr std::size_t kMaxRecoveryFileBytes = 3 * kMaxDocumentBytes + kMaxHeaderBytes;
// Base files are hashed in pieces of this size.
constexpr std::size_t kHashPiece = 1u << 20;

// A record: its type, the length of its payload, the payload and a CRC-32
// of the three. Numbers are little-endian.
enum RecordType : char {
    kEmptyBase = 'E', // no payload
    kFileBase = 'F',  // size, modification time (ns), hash of the bytes, path
    kSnapshot = 'S',  // the text
    kPath = 'P',      // the document's path from here on
    kChange = 'C',    // position, removed length, inserted bytes
    kSaving = 'V',    // the text being saved: its size, hash and file
};
constexpr std::size_t kRecordHead = 1 + 8;
constexpr std::size_t kRecordTail = 4;
constexpr std::size_t kFileBaseFixed = 8 + 8 + 8;
constexpr std::size_t kFileBaseHashAt = 16; // within the payload
constexpr std::size_t kChangeFixed = 8 + 8;
constexpr std::size_t kSavingFixed = 8 + 8;

void putU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}
void setU64(std::string& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void setU32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}
std::uint64_t getU64(std::string_view in, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint32_t getU32(std::string_view in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return v;
}

// The CRC-32 of bytes that follow those whose CRC-32 is crc.
std::uint32_t crcOn(std::uint32_t crc, std::string_view bytes) {
    uLong c = crc;
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
        c = ::crc32(c, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n));
        bytes.remove_prefix(n);
    }
    return static_cast<std::uint32_t>(c);
}
std::uint32_t crcOf(std::string_view bytes) {
    return crcOn(static_cast<std::uint32_t>(::crc32(0L, Z_NULL, 0)), bytes);
}

// Opens a record of payloadSize bytes at the end of out; returns where it
// begins, for sealRecord once the payload is written.
std::size_t openRecord(std::string& out, RecordType type, std::size_t payloadSize) {
    const std::size_t start = out.size();
    out += static_cast<char>(type);
    putU64(out, payloadSize);
    return start;
}
// Appends the checksum of the record that begins at start. With reserve
// only, leaves room for it (the writing thread seals such a record).
void sealRecord(std::string& out, std::size_t start, bool reserveOnly = false) {
    const std::size_t end = out.size();
    out.append(kRecordTail, '\0');
    if (!reserveOnly) setU32(out, end, crcOf(std::string_view(out).substr(start, end - start)));
}

void addPathRecord(std::string& out, const std::string& path) {
    const std::size_t start = openRecord(out, kPath, path.size());
    out += path;
    sealRecord(out, start);
}

// A 64-bit hash of a base file's bytes, fed in pieces of any size: eight
// bytes at a time through a multiply-rotate mix.
class ContentHash {
  public:
    void add(std::string_view bytes) {
        total_ += bytes.size();
        while (!bytes.empty() && carried_ > 0 && carried_ < 8) {
            carry_[carried_++] = bytes.front();
            bytes.remove_prefix(1);
        }
        if (carried_ == 8) {
            mix(load(carry_));
            carried_ = 0;
        }
        while (bytes.size() >= 8) {
            mix(load(bytes.data()));
            bytes.remove_prefix(8);
        }
        for (const char c : bytes)
            carry_[carried_++] = c;
    }
    std::uint64_t finish() const {
        std::uint64_t h = h_;
        if (carried_ > 0) {
            char last[8] = {};
            std::memcpy(last, carry_, carried_);
            h = step(h, load(last));
        }
        h ^= total_;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ULL;
        h ^= h >> 33;
        return h;
    }

  private:
    static std::uint64_t load(const char* p) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, 8);
        return w;
    }
    static std::uint64_t step(std::uint64_t h, std::uint64_t w) {
        h ^= w * 0x87c37b91114253d5ULL;
        h = (h << 31) | (h >> 33);
        return h * 0x4cf5ad432745937fULL;
    }
    void mix(std::uint64_t w) { h_ = step(h_, w); }

    std::uint64_t h_ = 0x9e3779b97f4a7c15ULL;
    std::uint64_t total_ = 0;
    char carry_[8] = {};
    std::size_t carried_ = 0;
};

// A regular file's size, modification time and identity on disk.
std::optional<CrashRecovery::FileIdentity> identityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    CrashRecovery::FileIdentity id;
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.device = static_cast<std::uint64_t>(st.st_dev);
    return id;
}

// The hash of a file's bytes; none when it cannot be read.
std::optional<std::uint64_t> hashOfFile(const std::string& path) {
    ContentHash hash;
    try {
        fileio::FileReader file(path);
        std::string piece(kHashPiece, '\0');
        while (const std::size_t n = file.readFully(piece.data(), piece.size())) {
            hash.add(std::string_view(piece.data(), n));
            if (n < piece.size()) break;
        }
    } catch (const MMEditError&) {
        return std::nullopt;
    }
    return hash.finish();
}

// True when the file at path holds size bytes with the given hash.
bool fileHolds(const std::string& path, std::uint64_t size, std::uint64_t hash) {
    const auto id = identityOf(path);
    if (!id || id->size != size) return false;
    const auto seen = hashOfFile(path);
    return seen && *seen == hash;
}

QString fileName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// A lock that counts as free when the process that took it is gone.
std::unique_ptr<QLockFile> lockFor(const std::string& file) {
    auto lock = std::make_unique<QLockFile>(fileName(file + std::string(kLockSuffix)));
    lock->setStaleLockTime(0);
    return lock;
}

// Reads "<label> <decimal>\n" at pos.
bool readCount(std::string_view bytes, std::size_t& pos, std::string_view label, std::size_t& n) {
    if (bytes.substr(pos, label.size()) != label) return false;
    pos += label.size();
    const char* first = bytes.data() + pos;
    const char* last = bytes.data() + bytes.size();
    const auto [end, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || end == first || end == last || *end != '\n') return false;
    pos += static_cast<std::size_t>(end - first) + 1;
    return true;
}

bool startsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}
bool endsWith(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// The single file of earlier versions: the path and the text.
struct OldContents {
    std::string path;
    std::string_view text;
};
std::optional<OldContents> parseOld(std::string_view bytes) {
    std::size_t pos = kOldMagic.size();
    std::size_t n = 0;
    OldContents out;
    if (!readCount(bytes, pos, "path ", n) || bytes.size() - pos < n + 1) return std::nullopt;
    out.path = bytes.substr(pos, n);
    pos += n;
    if (bytes[pos++] != '\n') return std::nullopt;
    if (!readCount(bytes, pos, "text ", n) || bytes.size() - pos != n) return std::nullopt;
    out.text = bytes.substr(pos, n);
    return out;
}

// A recovery file read where its records stand, each read when it is
// needed: the journal is never held whole, and a snapshot goes straight into
// the text it is the base of. A read that fails throws MMEditError.
class JournalFile {
  public:
    // The head of a whole record: type, payload, and where the next begins.
    struct Head {
        RecordType type;
        std::uint64_t at;     // where the record begins
        std::uint64_t length; // of the payload
        std::uint64_t end;    // after the checksum
    };

    explicit JournalFile(const std::string& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            size_ = static_cast<std::uint64_t>(st.st_size);
        else
            open_ = false;
    }
    ~JournalFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    bool isOpen() const { return open_; }
    std::uint64_t size() const { return size_; }

    // Reads n bytes at pos; false when the file ends before. Small reads
    // come from a piece read ahead: a journal of many short records takes a
    // few system calls, not several per record.
    bool readAt(std::uint64_t pos, char* dst, std::size_t n) const {
        if (pos > size_ || n > size_ - pos) return false;
        if (n <= kAheadBytes / 16) {
            if (pos < aheadAt_ || pos + n > aheadAt_ + ahead_.size()) {
                ahead_.resize(
                    static_cast<std::size_t>(std::min<std::uint64_t>(kAheadBytes, size_ - pos)));
                aheadAt_ = pos;
                if (!readDirect(pos, ahead_.data(), ahead_.size())) {
                    ahead_.clear();
                    return false;
                }
            }
            std::copy_n(ahead_.data() + (pos - aheadAt_), n, dst);
            return true;
        }
        return readDirect(pos, dst, n);
    }
    bool readDirect(std::uint64_t pos, char* dst, std::size_t n) const {
        while (n > 0) {
            const ssize_t got = ::pread(fd_, dst, n, static_cast<off_t>(pos));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw MMEditError(openErrorText(path_));
            if (got == 0) return false;
            dst += got;
            pos += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // The head of a record at pos whose payload and checksum fit in the file.
    std::optional<Head> headAt(std::uint64_t pos) const {
        char head[kRecordHead];
        if (!readAt(pos, head, kRecordHead)) return std::nullopt;
        const std::uint64_t length = getU64(std::string_view(head, kRecordHead), 1);
        if (length > size_ - pos - kRecordHead || size_ - pos - kRecordHead - length < kRecordTail)
            return std::nullopt;
        return Head{static_cast<RecordType>(head[0]), pos, length,
                    pos + kRecordHead + length + kRecordTail};
    }

    // The whole record at pos, checksum verified, its payload in payload.
    std::optional<Head> recordAt(std::uint64_t pos, std::string& payload) const {
        const auto head = headAt(pos);
        if (!head) return std::nullopt;
        payload.resize(static_cast<std::size_t>(head->length));
        if (!readAt(pos + kRecordHead, payload.data(), payload.size())) return std::nullopt;
        if (!checksumMatches(*head, crcOn(crcOfHead(*head), payload))) return std::nullopt;
        return head;
    }

    // The checksum of a record's type and length, to go on with its payload.
    static std::uint32_t crcOfHead(const Head& head) {
        std::string bytes;
        bytes += static_cast<char>(head.type);
        putU64(bytes, head.length);
        return crcOf(bytes);
    }
    // True when the record's stored checksum is crc.
    bool checksumMatches(const Head& head, std::uint32_t crc) const {
        char tail[kRecordTail];
        return readAt(head.end - kRecordTail, tail, kRecordTail) &&
               getU32(std::string_view(tail, kRecordTail), 0) == crc;
    }

  private:
    static constexpr std::size_t kAheadBytes = 1u << 20;
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    bool open_ = true;
    mutable std::string ahead_; // the bytes at aheadAt_
    mutable std::uint64_t aheadAt_ = 0;
};

// Removes the temporary files that writes of other runs' recovery files left
// in folder when those runs died in the middle of a write: a temporary goes
// when the lock of its recovery file is free, that is when its run is gone.
// A running copy's temporaries stay.
void removeDeadRunsTemporaries(const std::string& folder, const std::string& own) {
    std::error_code ec;
    const std::string head = "." + std::string(kFilePrefix);
    const std::string middle = std::string(kFileSuffix) + std::string(kSaveMark);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!startsWith(name, head)) continue;
        const std::size_t mark = name.find(middle);
        if (mark == std::string::npos) continue;
        const std::string data = folder + name.substr(1, mark + kFileSuffix.size() - 1);
        if (data == own || !entry.is_regular_file(ec) || entry.is_symlink(ec)) continue;
        const auto lock = lockFor(data);
        if (!lock->tryLock(0)) continue; // its run is still going
        ::unlink(entry.path().c_str());
        lock->unlock();
    }
}

std::function<std::size_t(std::size_t)>& appendHook() {
    static std::function<std::size_t(std::size_t)> hook;
    return hook;
}

// Appends bytes to the end of file (which must exist) and flushes them to
// disk. A failed append cuts the file back to where it ended, as far as it
// can: a torn record at the end is skipped when the file is read anyway.
bool appendTo(const std::string& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    std::size_t allowed = bytes.size();
    if (ok && appendHook()) allowed = std::min(allowed, appendHook()(bytes.size()));
    std::size_t done = 0;
    while (ok && done < allowed) {
        const ssize_t n = ::write(fd, bytes.data() + done, allowed - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && done == bytes.size() && ::fdatasync(fd) == 0;
    if (!ok && done > 0 && !appendHook()) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, st.st_size);
    }
    ::close(fd);
    return ok;
}

} // namespace

// A write for the writing thread. The record of a base is sealed there: its
// checksum, and for a file base the hash of the file's bytes, are computed
// beside the typing.
struct CrashRecovery::Job {
    enum class Kind { Start, Append, Remove };
    Kind kind = Kind::Remove;
    std::string bytes; // Start: the whole file; Append: the records
    // Start: the base record [baseStart, baseEnd) (its checksum not yet in)
    std::size_t baseStart = 0;
    std::size_t baseEnd = 0;
    // Start on a file base: the file, as it must still be when hashed
    std::string basePath;
    FileIdentity baseIdentity;

    static Job removal() {
        Job job;
        job.kind = Kind::Remove;
        return job;
    }
};

// The writing thread. Jobs run in the order asked; a new start or a removal
// replaces every job still waiting (the file they would write goes anyway).
// After a failure, appends are skipped until the next start: they would
// follow a record that is missing.
// The thread first takes the lock of the recovery file, and holds it until
// it ends: the file is only ever written under it. Taking a lock writes and
// syncs the lock file, which would hold up the start of the program on a
// slow disk; the jobs asked meanwhile wait for it. When the lock cannot be
// taken nothing is written, and the failure is told once.
class CrashRecovery::Writer {
  public:
    Writer(std::string path, std::unique_ptr<QLockFile> lock,
           std::function<void(const QString&)> failed, std::function<void()> baseLost)
        : path_(std::move(path)), failed_(std::move(failed)), baseLost_(std::move(baseLost)),
          lock_(std::move(lock)), thread_([this] { run(); }) {}
    ~Writer() { stop(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void post(Job job) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            if (job.kind != Job::Kind::Append) jobs_.clear();
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }
    // Runs the waiting jobs, then ends the thread and gives up the lock.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        lock_.reset();
    }
    // False once the lock could not be taken: nothing is kept this run.
    bool mayWrite() const { return !unlocked_; }
    bool lastWriteSucceeded() {
        std::lock_guard lock(mutex_);
        return !failing_;
    }
    // True once after a write failed or a base turned out changed: the file
    // on disk is behind, and only a start with a snapshot repairs it.
    bool takeRepairRequest() { return repair_.exchange(false); }

  private:
    void run() {
        const bool locked = lock_->tryLock(0);
        std::unique_lock lock(mutex_);
        busy_ = false;
        if (!locked) {
            // A folder that cannot be written: a file without its lock could
            // pass for a crashed run's.
            unlocked_ = true;
            failing_ = true;
            lock.unlock();
            failed_(createErrorText(path_));
            lock.lock();
        }
        idle_.notify_all();
        while (true) {
            wake_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
            if (jobs_.empty()) break; // stopping, nothing left to do
            if (unlocked_) {
                // Nothing is written without the lock (the failure was told).
                jobs_.clear();
                idle_.notify_all();
                continue;
            }
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            lock.unlock();

            QString error;
            bool lost = false;
            bool skipped = false;
            switch (job.kind) {
            case Job::Kind::Start:
                if (!sealBase(job)) {
                    lost = true;
                    break;
                }
                try {
                    fileio::writeAll(path_, job.bytes);
                } catch (const MMEditError& e) {
                    error = e.message();
                } catch (const std::exception&) {
                    error = writeErrorText();
                }
                broken_ = !error.isEmpty();
                break;
            case Job::Kind::Append:
                skipped = broken_; // the failure was told; a snapshot follows
                if (skipped) break;
                if (!appendTo(path_, job.bytes)) {
                    error = writeErrorText();
                    broken_ = true;
                }
                break;
            case Job::Kind::Remove:
                if (::unlink(path_.c_str()) != 0 && errno != ENOENT) error = createErrorText(path_);
                break;
            }
            job = Job();
            if (lost) {
                broken_ = true;
                repair_ = true;
                baseLost_();
            }
            if (!error.isEmpty()) repair_ = true;

            lock.lock();
            busy_ = false;
            const bool report = !error.isEmpty() && !failing_;
            if (!skipped && !lost) failing_ = !error.isEmpty();
            idle_.notify_all();
            if (report) {
                lock.unlock();
                failed_(error);
                lock.lock();
            }
        }
        idle_.notify_all();
    }

    // Puts the hash of a base file and the base record's checksum in; false
    // when the file is no longer as it was opened or saved.
    bool sealBase(Job& job) {
        if (!job.basePath.empty()) {
            const auto before = identityOf(job.basePath);
            if (!before || *before != job.baseIdentity) return false;
            const auto hash = hashOfFile(job.basePath);
            if (!hash) return false;
            const auto after = identityOf(job.basePath);
            if (!after || *after != job.baseIdentity) return false;
            setU64(job.bytes, job.baseStart + kRecordHead + kFileBaseHashAt, *hash);
        }
        const std::size_t end = job.baseEnd - kRecordTail;
        setU32(job.bytes, end,
               crcOf(std::string_view(job.bytes).substr(job.baseStart, end - job.baseStart)));
        return true;
    }

    const std::string path_;
    const std::function<void(const QString&)> failed_;
    const std::function<void()> baseLost_;
    std::mutex mutex_;
    std::condition_variable wake_; // a job or the stop request
    std::condition_variable idle_; // a job ended
    std::deque<Job> jobs_;
    bool busy_ = true; // taking the lock
    std::atomic<bool> unlocked_ = false;
    bool stopping_ = false;
    bool failing_ = false;
    bool broken_ = false; // writing thread only
    std::atomic<bool> repair_ = false;
    std::unique_ptr<QLockFile> lock_;
    std::thread thread_; // last: starts when everything above is ready
};

CrashRecovery::CrashRecovery(Document& document, const FileLocations& locations, Dialogs& dialogs,
                             Timing timing)
    : document_(&document), dialogs_(dialogs), timing_(timing) {
    folder_ = fileio::folderOf(locations.writableFile(kFilePrefix));
    // A name of this run's own: the process id, and a random part so that a
    // reused process id never meets a file of an earlier run. The writing
    // thread takes its lock.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char random[9];
        std::snprintf(random, sizeof random, "%08x", QRandomGenerator::global()->generate());
        path_ = locations.writableFile(std::string(kFilePrefix) +
                                       std::to_string(QCoreApplication::applicationPid()) + "-" +
                                       random + std::string(kFileSuffix));
        if (!fileio::exists(path_) && !fileio::exists(path_ + std::string(kLockSuffix))) break;
    }
    writer_ = std::make_unique<Writer>(
        path_, lockFor(path_),
        [this](const QString& message) {
            QMetaObject::invokeMethod(
                this, [this, message] { Q_EMIT writeFailed(message); }, Qt::QueuedConnection);
        },
        [this] {
            // The base file changed before it was hashed: a snapshot now.
            QMetaObject::invokeMethod(
                this, [this] { writeNow(); }, Qt::QueuedConnection);
        });
    removeDeadRunsTemporaries(folder_, path_);
    takeBaseFromDocument();
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CrashRecovery::timerFired);
    connect(&document, &Document::changed, this, &CrashRecovery::changed);
}

CrashRecovery::~CrashRecovery() {
    writer_->stop();
}

void CrashRecovery::takeBaseFromDocument() {
    records_.clear();
    journalBytes_ = 0;
    base_ = Base::None;
    if (!document_) return;
    const Document& doc = *document_;
    if (doc.empty()) {
        base_ = Base::Empty;
        return;
    }
    // An unchanged document with a file of its size holds that file's bytes
    // (opened or saved just now); the writing thread hashes them when the
    // base is first written.
    if (doc.isModified() || doc.filePath().empty()) return;
    const auto id = identityOf(doc.filePath());
    if (!id || id->size != doc.size()) return;
    base_ = Base::File;
    basePath_ = doc.filePath();
    baseIdentity_ = *id;
}

void CrashRecovery::dropBase() {
    base_ = Base::None;
    records_.clear();
    records_.shrink_to_fit();
    journalBytes_ = 0;
}

void CrashRecovery::changed(const TextChange& change) {
    if (ended_ || !document_) return;
    if (opening_ > 0) {
        // The opener ends with documentSaved, which takes the file as base.
        dropBase();
        return;
    }
    const Document& doc = *document_;
    std::size_t removed = change.removed;
    if (change.pos == 0 && change.inserted == doc.size()) {
        // The whole text was replaced (a file converted on opening, a new
        // document from the settings): what it was no longer matters.
        base_ = Base::Empty;
        records_.clear();
        journalBytes_ = 0;
        startAnew_ = true;
        removed = 0; // from the empty text
    }
    if (base_ != Base::None) {
        // The inserted bytes are kept now: later changes may take them away.
        const std::size_t size = kRecordHead + kChangeFixed + change.inserted + kRecordTail;
        if (journalBytes_ + records_.size() + size > std::max(doc.size(), kMinJournalBytes)) {
            dropBase(); // a snapshot is smaller
        } else {
            const std::size_t start =
                openRecord(records_, kChange, size - kRecordHead - kRecordTail);
            putU64(records_, change.pos);
            putU64(records_, removed);
            doc.buffer().forEachPiece(change.pos, change.pos + change.inserted,
                                      [&](std::string_view piece) { records_ += piece; });
            sealRecord(records_, start);
        }
    }
    if (!document_->isModified()) return;
    dirty_ = true;
    if (!lastWrite_ || timing_.clock() - *lastWrite_ >= timing_.idle)
        writeNow();
    else if (!timer_.isActive())
        timer_.start(timing_.interval);
}

void CrashRecovery::timerFired() {
    if (ended_ || !document_) return;
    if (document_->isModified()) {
        if (dirty_) writeNow();
    } else if (written_) {
        // Saved or discarded without a word to us: nothing is left to keep,
        // and nothing tells which file holds the text now.
        writer_->post(Job::removal());
        written_ = false;
        dropBase();
        lastWrite_.reset(); // the next change is the first to keep again
    }
}

void CrashRecovery::startFile() {
    const Document& doc = *document_;
    Job job;
    job.kind = Job::Kind::Start;
    std::string& out = job.bytes;
    if (base_ == Base::None) {
        // The whole text, copied for the writing thread.
        const std::size_t size = doc.size();
        out.reserve(kMagic.size() + kRecordHead + size + 2 * kRecordTail + kRecordHead +
                    doc.filePath().size());
        out += kMagic;
        job.baseStart = openRecord(out, kSnapshot, size);
        doc.buffer().forEachPiece(0, size, [&](std::string_view piece) { out += piece; });
        sealRecord(out, job.baseStart, true);
        base_ = Base::Snapshot;
        records_.clear();
        records_.shrink_to_fit();
    } else {
        out.reserve(kMagic.size() + 2 * (kRecordHead + kRecordTail) + kFileBaseFixed +
                    basePath_.size() + doc.filePath().size() + records_.size());
        out += kMagic;
        if (base_ == Base::File) {
            job.baseStart = openRecord(out, kFileBase, kFileBaseFixed + basePath_.size());
            putU64(out, baseIdentity_.size);
            putU64(out, static_cast<std::uint64_t>(baseIdentity_.modifiedNs));
            putU64(out, 0); // the hash, put in by the writing thread
            out += basePath_;
            job.basePath = basePath_;
            job.baseIdentity = baseIdentity_;
        } else {
            job.baseStart = openRecord(out, kEmptyBase, 0);
        }
        sealRecord(out, job.baseStart, true);
    }
    job.baseEnd = out.size();
    startAnew_ = false;
    addPathRecord(out, doc.filePath());
    out += records_;
    journalBytes_ = records_.size();
    records_.clear();
    writtenPath_ = doc.filePath();
    writer_->post(std::move(job));
    written_ = true;
}

void CrashRecovery::writeNow() {
    if (ended_ || !writer_->mayWrite() || !document_ || !document_->isModified()) return;
    timer_.stop();
    dirty_ = false;
    lastWrite_ = timing_.clock();
    // The file on disk is behind (a failed write) or its base is lost: the
    // present text is kept whole.
    if (writer_->takeRepairRequest()) dropBase();
    if (base_ == Base::File && identityOf(basePath_) != baseIdentity_) dropBase();
    if (base_ == Base::Snapshot && !written_) dropBase();
    if (base_ == Base::None || !written_ || startAnew_) {
        startFile();
        return;
    }
    Job job;
    job.kind = Job::Kind::Append;
    job.bytes = takeRecords();
    if (job.bytes.empty()) return;
    journalBytes_ += job.bytes.size();
    writer_->post(std::move(job));
}

std::string CrashRecovery::takeRecords() {
    std::string out;
    if (document_ && document_->filePath() != writtenPath_) {
        writtenPath_ = document_->filePath();
        addPathRecord(out, writtenPath_);
    }
    out += records_;
    records_.clear();
    return out;
}

void CrashRecovery::savingTo(const std::string& path) {
    if (ended_ || !writer_->mayWrite() || !document_) return;
    writeNow();
    // Without a recovery file a run killed now leaves nothing to mistake.
    if (!written_) return;
    const Document& doc = *document_;
    ContentHash hash;
    doc.buffer().forEachPiece(0, doc.size(), [&](std::string_view piece) { hash.add(piece); });
    Job job;
    job.kind = Job::Kind::Append;
    job.bytes = takeRecords();
    const std::size_t start = openRecord(job.bytes, kSaving, kSavingFixed + path.size());
    putU64(job.bytes, doc.size());
    putU64(job.bytes, hash.finish());
    job.bytes += path;
    sealRecord(job.bytes, start);
    journalBytes_ += job.bytes.size();
    writer_->post(std::move(job));
    // On disk before the file it names is replaced.
    writer_->wait();
}

void CrashRecovery::waitForWrites() {
    writer_->wait();
}

void CrashRecovery::documentSaved() {
    if (ended_) return;
    timer_.stop();
    dirty_ = false;
    writer_->post(Job::removal());
    written_ = false;
    // Nothing is kept now: the first change after a save or after opening a
    // file is written at once, whenever the last write was.
    lastWrite_.reset();
    takeBaseFromDocument();
}

void CrashRecovery::cleanExit() {
    if (ended_) return;
    ended_ = true;
    timer_.stop();
    writer_->post(Job::removal());
    // The lock goes after the file: nobody may take it for a crashed run's.
    writer_->stop();
}

void CrashRecovery::setAppendHook(std::function<std::size_t(std::size_t)> hook) {
    appendHook() = std::move(hook);
}

CrashRecovery::Recovered CrashRecovery::read(const std::string& file) {
    try {
        return readJournal(file);
    } catch (const MMEditError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

// A record whose payload is what its type needs.
bool wellFormed(RecordType type, std::size_t length) {
    switch (type) {
    case kPath:
        return true;
    case kChange:
        return length >= kChangeFixed;
    case kSaving:
        return length >= kSavingFixed;
    default:
        return false;
    }
}

} // namespace

CrashRecovery::Recovered CrashRecovery::readJournal(const std::string& file) {
    Recovered out;
    const JournalFile in(file);
    if (!in.isOpen() || in.size() > kMaxRecoveryFileBytes) return out;
    std::string magic(kMagic.size(), '\0');
    static_assert(kOldMagic.size() == kMagic.size());
    if (!in.readAt(0, magic.data(), magic.size())) return out;
    if (magic == kOldMagic) {
        std::string bytes(static_cast<std::size_t>(in.size()), '\0');
        if (!in.readAt(0, bytes.data(), bytes.size())) return out;
        if (auto old = parseOld(bytes)) {
            out.status = Recovered::Status::Recovered;
            out.contents.path = std::move(old->path);
            out.contents.text.assign(old->text);
        }
        return out;
    }
    if (magic != kMagic) return out;
    const auto base = in.headAt(kMagic.size());
    if (!base) return out;
    std::string payload;
    Recovered::Journal journal;
    switch (base->type) {
    case kEmptyBase:
        journal.base = Base::Empty;
        break;
    case kSnapshot:
        journal.base = Base::Snapshot;
        break;
    case kFileBase:
        journal.base = Base::File;
        if (!in.recordAt(base->at, payload) || payload.size() < kFileBaseFixed) return out;
        break;
    default:
        return out;
    }
    if (base->type == kEmptyBase && !in.recordAt(base->at, payload)) return out;
    const std::string basePayload = std::move(payload);

    // The records up to the last whole one (a run killed in the middle of an
    // append leaves a torn one at the end). When the last is a save whose
    // file holds the text, the text is not lost: nothing to recover.
    std::string saving; // the last record when it is a save
    std::uint64_t pos = base->end;
    while (const auto r = in.recordAt(pos, payload)) {
        if (!wellFormed(r->type, payload.size())) break;
        saving = r->type == kSaving ? payload : std::string();
        pos = r->end;
    }
    if (!saving.empty()) {
        std::string path = saving.substr(kSavingFixed);
        if (fileHolds(path, getU64(saving, 0), getU64(saving, 8))) {
            out.status = Recovered::Status::Saved;
            out.savedPath = std::move(path);
            return out;
        }
    }

    GapBuffer text;
    if (base->type == kSnapshot) {
        // Straight into the text, checked as it comes.
        std::uint32_t crc = JournalFile::crcOfHead(*base);
        std::uint64_t pos = base->at + kRecordHead;
        text.fill(static_cast<std::size_t>(base->length), [&](char* to, std::size_t n) {
            n = std::min(n, kHashPiece);
            if (!in.readAt(pos, to, n)) return std::size_t{0};
            crc = crcOn(crc, std::string_view(to, n));
            pos += n;
            return n;
        });
        if (text.size() != base->length || !in.checksumMatches(*base, crc)) return out;
    } else if (base->type == kFileBase) {
        const std::uint64_t size = getU64(basePayload, 0);
        const std::uint64_t hash = getU64(basePayload, kFileBaseHashAt);
        out.basePath = basePayload.substr(kFileBaseFixed);
        out.status = Recovered::Status::BaseChanged;
        const auto id = identityOf(out.basePath);
        if (!id || id->size != size) return out;
        ContentHash seen;
        try {
            text.readFile(out.basePath, kMaxDocumentBytes,
                          [&](std::string_view piece) { seen.add(piece); });
        } catch (const MMEditError&) {
            return out;
        }
        if (text.size() != size || seen.finish() != hash || identityOf(out.basePath) != id)
            return out;
        journal.basePath = out.basePath;
        journal.baseIdentity = *id;
    }

    pos = base->end;
    while (const auto r = in.recordAt(pos, payload)) {
        if (!wellFormed(r->type, payload.size())) break;
        if (r->type == kPath) {
            out.contents.path = payload;
        } else if (r->type == kChange) {
            const std::uint64_t at = getU64(payload, 0);
            const std::uint64_t removed = getU64(payload, 8);
            if (at > text.size() || removed > text.size() - at) break;
            text.erase(at, removed);
            text.insert(at, std::string_view(payload).substr(kChangeFixed));
        }
        pos = r->end;
    }
    journal.end = pos;
    journal.records = pos - base->end;
    out.status = Recovered::Status::Recovered;
    out.contents.text = std::move(text);
    out.journal = std::move(journal);
    return out;
}

bool CrashRecovery::adoptJournal(const std::string& file, const Recovered::Journal& journal,
                                 const std::string& path) {
    if (journal.base == Base::None) return false;
    writer_->wait();
    if (!writer_->mayWrite()) return false;
    // Records appended from here on must follow the last whole one: a torn
    // record at the end is cut off. The rename makes the journal this run's
    // at once; a run killed before it leaves the journal where it was.
    if (::truncate(file.c_str(), static_cast<off_t>(journal.end)) != 0 ||
        ::rename(file.c_str(), path_.c_str()) != 0)
        return false;
    timer_.stop();
    dirty_ = false;
    base_ = journal.base;
    basePath_ = journal.basePath;
    baseIdentity_ = journal.baseIdentity;
    startAnew_ = false;
    records_.clear();
    journalBytes_ = static_cast<std::size_t>(journal.records);
    writtenPath_ = path;
    written_ = true;
    lastWrite_ = timing_.clock();
    return true;
}

std::string CrashRecovery::recoveredName(const std::string& file, std::string_view suffix) const {
    const QString stamp =
        QFileInfo(fileName(file)).lastModified().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    for (int k = 1;; ++k) {
        std::string name = "recovered-" + stamp.toStdString();
        if (k > 1) {
            name += '-';
            name += std::to_string(k);
        }
        std::string target = folder_ + name + std::string(suffix);
        if (!fileio::exists(target)) return target;
    }
}

bool CrashRecovery::keepAsRecovered(const std::string& file, std::string_view text) {
    try {
        fileio::writeAll(recoveredName(file, ".txt"), text);
    } catch (const MMEditError& e) {
        showErrorBox(dialogs_, e.message());
        return false;
    }
    ::unlink(file.c_str());
    return true;
}

void CrashRecovery::keepUnrecoverable(const std::string& file, const std::string& basePath) {
    // The edits are the user's only copy of them: the file stays, under a
    // name that is not offered again.
    std::string kept = recoveredName(file, kFileSuffix);
    if (!fileio::moveNoReplace(file, kept)) kept = file;
    dialogs_.messageBox(QCoreApplication::applicationName(),
                        QStringLiteral("前回、保存されていない変更が残っていますが、元のファイル "
                                       "%1 が見つからないか変更されているため復元できません。"
                                       "変更の記録はファイル %2 に残してあります。")
                            .arg(fileName(basePath), fileName(kept)),
                        Dialogs::Icon::Warning, Dialogs::Ok);
}

bool CrashRecovery::offerRecovery() {
    if (ended_ || !document_) return false;

    struct Found {
        std::string file;
        std::unique_ptr<QLockFile> lock; // held while the file is dealt with
        std::filesystem::file_time_type time;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (!startsWith(name, kFilePrefix)) continue;
        const std::string file = entry.path().string();
        if (endsWith(name, std::string(kFileSuffix) + std::string(kLockSuffix))) {
            // The lock of a run that died before it wrote anything.
            const std::string data = file.substr(0, file.size() - kLockSuffix.size());
            if (data != path_ && !fileio::exists(data)) {
                const auto lock = lockFor(data);
                if (lock->tryLock(0)) lock->unlock();
            }
            continue;
        }
        if (!endsWith(name, kFileSuffix) || file == path_) continue;
        auto lock = lockFor(file);
        if (!lock->tryLock(0)) continue; // its run is still going
        if (!fileio::isRegularFile(file)) continue;
        found.push_back(Found{file, std::move(lock), entry.last_write_time(ec)});
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.time > b.time; });

    bool asked = false;
    bool restored = false;
    for (Found& f : found) {
        Recovered r = read(f.file);
        if (r.status == Recovered::Status::NotOurs) {
            // Not readable as ours: kept as it is.
            std::string bytes;
            try {
                bytes = fileio::readAll(f.file, kMaxRecoveryFileBytes);
            } catch (const MMEditError&) {
                continue; // gone meanwhile
            }
            keepAsRecovered(f.file, bytes);
            continue;
        }
        if (r.status == Recovered::Status::Saved) {
            // Killed after a save put the text in its file: nothing is lost.
            ::unlink(f.file.c_str());
            continue;
        }
        if (r.status == Recovered::Status::BaseChanged) {
            keepUnrecoverable(f.file, r.basePath);
            continue;
        }
        if (asked) {
            keepAsRecovered(f.file, r.contents.text.all());
            continue;
        }
        asked = true;
        const Dialogs::Button answer = dialogs_.messageBox(
            QCoreApplication::applicationName(),
            QStringLiteral("前回、保存されていない文章が残っています。復元しますか？"),
            Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No);
        if (answer == Dialogs::Yes) {
            // The recovered text becomes the document's as it is, not a copy.
            Document& doc = *document_;
            Document::LoadedText loaded;
            cp932::CharacterCounter counter;
            r.contents.text.forEachPiece(0, r.contents.text.size(),
                                         [&](std::string_view piece) { counter.add(piece); });
            loaded.characters = counter.total();
            loaded.bytes = std::move(r.contents.text);
            {
                // The journal holds this text: nothing is written for it.
                const Opening opening(this);
                doc.setFilePath(r.contents.path);
                doc.takeLoaded(loaded, r.contents.path);
            }
            doc.setModified(true);
            restored = true;
            if (!r.journal || !adoptJournal(f.file, *r.journal, r.contents.path)) {
                // The text is safe in this run's file before the old one goes.
                dropBase();
                writeNow();
                waitForWrites();
                if (writer_->lastWriteSucceeded()) ::unlink(f.file.c_str());
            }
        } else if (answer == Dialogs::No) {
            keepAsRecovered(f.file, r.contents.text.all());
        }
        // Closed without an answer: the file waits for the next start.
    }
    return restored;
}
