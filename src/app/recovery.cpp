#include "recovery.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "settings/filelocations.h"
#include "text/document.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kFilePrefix = "MMEdit-recovery-";
constexpr std::string_view kFileSuffix = ".dat";
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kMagic = "MMEdit recovery 1\n";
// What a write of a recovery file adds to its name for the new file it
// renames over the old one (".<name>.mmedit-save.XXXXXX", see fileio).
constexpr std::string_view kSaveMark = ".mmedit-save.";
constexpr int kNameAttempts = 8;
// Room for the header before the largest document: the path and two counts.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// The writing thread keeps the storage of its last write for the next one
// up to this size; a larger text's copy goes as soon as it is written.
constexpr std::size_t kSpareBytes = 1u << 20;

QString fileName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// A lock that counts as free when the process that took it is gone.
std::unique_ptr<QLockFile> lockFor(const std::string& file) {
    auto lock = std::make_unique<QLockFile>(fileName(file + std::string(kLockSuffix)));
    lock->setStaleLockTime(0);
    return lock;
}

std::string header(std::string_view path, std::size_t textSize) {
    std::string out(kMagic);
    out += "path " + std::to_string(path.size()) + "\n";
    out += path;
    out += "\ntext " + std::to_string(textSize) + "\n";
    return out;
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

} // namespace

// The writing thread: one job waits at a time, and a newer write replaces a
// waiting one (only the latest text matters). Jobs run in the order asked.
class CrashRecovery::Writer {
  public:
    Writer(std::string path, std::function<void(const QString&)> failed)
        : path_(std::move(path)), failed_(std::move(failed)), thread_([this] { run(); }) {}
    ~Writer() { stop(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Storage of an earlier write, to be filled again without allocating.
    std::string takeBuffer() {
        std::lock_guard lock(mutex_);
        return std::exchange(spare_, std::string());
    }
    void write(std::string bytes) { post(Job::Write, std::move(bytes)); }
    void remove() { post(Job::Remove, std::string()); }
    void wait() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return job_ == Job::None && !busy_; });
    }
    // Runs the waiting job, then ends the thread.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    bool lastWriteSucceeded() {
        std::lock_guard lock(mutex_);
        return !failing_;
    }

  private:
    enum class Job { None, Write, Remove };

    void post(Job job, std::string bytes) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            if (job_ == Job::Write) keepSpare(bytes_);
            job_ = job;
            bytes_ = std::move(bytes);
        }
        wake_.notify_one();
    }

    // Called with the mutex held.
    void keepSpare(std::string& bytes) {
        if (bytes.capacity() > spare_.capacity() && bytes.capacity() <= kSpareBytes)
            spare_ = std::move(bytes);
    }

    void run() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return job_ != Job::None || stopping_; });
            if (job_ == Job::None) break; // stopping, nothing left to do
            const Job job = std::exchange(job_, Job::None);
            std::string bytes = std::move(bytes_);
            busy_ = true;
            lock.unlock();

            QString error;
            if (job == Job::Write) {
                try {
                    fileio::writeAll(path_, bytes);
                } catch (const MMEditError& e) {
                    error = e.message();
                } catch (const std::exception&) {
                    error = writeErrorText();
                }
            } else if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
                error = createErrorText(path_);
            }

            lock.lock();
            busy_ = false;
            if (job == Job::Write) keepSpare(bytes);
            const bool report = !error.isEmpty() && !failing_;
            failing_ = !error.isEmpty();
            idle_.notify_all();
            if (report) {
                lock.unlock();
                failed_(error);
                lock.lock();
            }
        }
        idle_.notify_all();
    }

    const std::string path_;
    const std::function<void(const QString&)> failed_;
    std::mutex mutex_;
    std::condition_variable wake_; // a job or the stop request
    std::condition_variable idle_; // a job ended
    Job job_ = Job::None;
    std::string bytes_;
    std::string spare_;
    bool busy_ = false;
    bool stopping_ = false;
    bool failing_ = false;
    std::thread thread_; // last: starts when everything above is ready
};

CrashRecovery::CrashRecovery(Document& document, const FileLocations& locations, Dialogs& dialogs,
                             Timing timing)
    : document_(&document), dialogs_(dialogs), timing_(timing) {
    folder_ = fileio::folderOf(locations.writableFile(kFilePrefix));
    // A name of this run's own: the process id, and a random part so that a
    // reused process id never meets a file of an earlier run.
    for (int attempt = 0; attempt < kNameAttempts && !lock_; ++attempt) {
        char random[9];
        std::snprintf(random, sizeof random, "%08x", QRandomGenerator::global()->generate());
        path_ = locations.writableFile(std::string(kFilePrefix) +
                                       std::to_string(QCoreApplication::applicationPid()) + "-" +
                                       random + std::string(kFileSuffix));
        auto lock = lockFor(path_);
        if (!fileio::exists(path_) && lock->tryLock(0)) lock_ = std::move(lock);
    }
    writer_ = std::make_unique<Writer>(path_, [this](const QString& message) {
        QMetaObject::invokeMethod(
            this, [this, message] { Q_EMIT writeFailed(message); }, Qt::QueuedConnection);
    });
    if (!lock_) {
        // A folder that cannot be written: nothing is kept (a file without
        // its lock could pass for a crashed run's), and writeFailed says so
        // once whoever listens is connected.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT writeFailed(createErrorText(path_)); }, Qt::QueuedConnection);
    }
    if (lock_) removeDeadRunsTemporaries(folder_, path_);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CrashRecovery::timerFired);
    connect(&document, &Document::changed, this, &CrashRecovery::changed);
}

CrashRecovery::~CrashRecovery() {
    writer_->stop();
    lock_.reset();
}

void CrashRecovery::changed(const TextChange& change) {
    lastChangeEnd_ = change.pos + change.inserted;
    if (opening_ > 0 || ended_ || !document_ || !document_->isModified()) return;
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
        // Saved or discarded without a word to us: nothing is left to keep.
        writer_->remove();
        written_ = false;
        lastWrite_.reset(); // the next change is the first to keep again
    }
}

void CrashRecovery::writeNow() {
    if (ended_ || !lock_ || !document_ || !document_->isModified()) return;
    timer_.stop();
    dirty_ = false;
    lastWrite_ = timing_.clock();
    const Document& doc = *document_;
    const std::size_t size = doc.size();
    const std::size_t split = std::min(lastChangeEnd_, size);
    const std::string head = header(doc.filePath(), size);
    std::string bytes = writer_->takeBuffer();
    bytes.clear();
    bytes.reserve(head.size() + size);
    bytes += head;
    bytes += doc.view(0, split);
    bytes += doc.view(split, size);
    writer_->write(std::move(bytes));
    written_ = true;
}

void CrashRecovery::waitForWrites() {
    writer_->wait();
}

void CrashRecovery::documentSaved() {
    if (ended_) return;
    timer_.stop();
    dirty_ = false;
    writer_->remove();
    written_ = false;
    // Nothing is kept now: the first change after a save or after opening a
    // file is written at once, whenever the last write was.
    lastWrite_.reset();
}

void CrashRecovery::cleanExit() {
    if (ended_) return;
    ended_ = true;
    timer_.stop();
    writer_->remove();
    writer_->stop();
    lock_.reset(); // after the file is gone: nobody may take it for a crashed run's
}

std::string CrashRecovery::format(std::string_view path, std::string_view text) {
    return header(path, text.size()) + std::string(text);
}

std::optional<CrashRecovery::Contents> CrashRecovery::parse(std::string_view bytes) {
    if (!startsWith(bytes, kMagic)) return std::nullopt;
    std::size_t pos = kMagic.size();
    std::size_t n = 0;
    Contents out;
    if (!readCount(bytes, pos, "path ", n) || bytes.size() - pos < n + 1) return std::nullopt;
    out.path = bytes.substr(pos, n);
    pos += n;
    if (bytes[pos++] != '\n') return std::nullopt;
    if (!readCount(bytes, pos, "text ", n) || bytes.size() - pos != n) return std::nullopt;
    out.text = bytes.substr(pos, n);
    return out;
}

bool CrashRecovery::keepAsRecovered(const std::string& file, const std::string& text) {
    const QString stamp =
        QFileInfo(fileName(file)).lastModified().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    std::string target;
    for (int k = 1;; ++k) {
        std::string name = "recovered-" + stamp.toStdString();
        if (k > 1) name += "-" + std::to_string(k);
        target = folder_ + name + ".txt";
        if (!fileio::exists(target)) break;
    }
    try {
        fileio::writeAll(target, text);
    } catch (const MMEditError& e) {
        showErrorBox(dialogs_, e.message());
        return false;
    }
    ::unlink(file.c_str());
    return true;
}

bool CrashRecovery::offerRecovery() {
    if (ended_ || !document_) return false;

    struct Found {
        std::string file;
        std::unique_ptr<QLockFile> lock; // held while the file is dealt with
        std::filesystem::file_time_type time;
        std::string bytes;
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
        Found f{file, std::move(lock), entry.last_write_time(ec), {}};
        try {
            f.bytes = fileio::readAll(file, kMaxDocumentBytes + kMaxHeaderBytes);
        } catch (const MMEditError&) {
            continue; // gone meanwhile, or not a file
        }
        found.push_back(std::move(f));
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.time > b.time; });

    bool asked = false;
    bool restored = false;
    for (Found& f : found) {
        std::optional<Contents> contents = parse(f.bytes);
        if (!contents) {
            keepAsRecovered(f.file, f.bytes); // not readable as ours: kept as it is
            continue;
        }
        if (asked) {
            keepAsRecovered(f.file, contents->text);
            continue;
        }
        asked = true;
        const Dialogs::Button answer = dialogs_.messageBox(
            QCoreApplication::applicationName(),
            QStringLiteral("前回、保存されていない文章が残っています。復元しますか？"),
            Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No);
        if (answer == Dialogs::Yes) {
            Document& doc = *document_;
            doc.setFilePath(contents->path);
            doc.setText(contents->text);
            doc.setModified(true);
            restored = true;
            // The text is safe in this run's file before the old one goes.
            writeNow();
            waitForWrites();
            if (writer_->lastWriteSucceeded()) ::unlink(f.file.c_str());
        } else if (answer == Dialogs::No) {
            keepAsRecovered(f.file, contents->text);
        }
        // Closed without an answer: the file waits for the next start.
    }
    return restored;
}
