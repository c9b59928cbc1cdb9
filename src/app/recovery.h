// Crash recovery: while the document holds unsaved changes, its bytes and
// file path are kept in a recovery file beside the settings file, so that a
// run that ends without a clean exit (a crash, a killed process, a power
// cut) loses at most the last interval of typing. The next start offers the
// text back.
//
// Each run writes a file of its own ("MMEdit-recovery-<pid>-<random>.dat")
// and holds a lock file beside it for as long as it runs; a recovery file is
// offered only when its lock can be taken, that is when the run that wrote it
// is gone. Writes go through fileio::writeAll (a new file renamed over the
// old one) on a writing thread of its own, from a copy of the bytes taken on
// the user-interface thread, so a write never holds up typing. Opening a file
// writes nothing: the file holds its text until the first change. A run that
// dies in the middle of a write leaves the new file's temporary behind; each
// start removes those of runs that are gone.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class Dialogs;
class Document;
class FileLocations;
struct TextChange;

// When the recovery file is written.
struct RecoveryTiming {
    // Changes are written at most this often.
    std::chrono::milliseconds interval{30000};
    // The first change after this long without a write is written at once,
    // as is the first change after a save or after a file was opened.
    std::chrono::milliseconds idle{60000};
    // The time the idle spell is measured with.
    std::function<std::chrono::steady_clock::time_point()> clock = [] {
        return std::chrono::steady_clock::now();
    };
};

class CrashRecovery : public QObject {
    Q_OBJECT

  public:
    using Timing = RecoveryTiming;

    // What a recovery file holds.
    struct Contents {
        std::string path; // the document's file; empty for a new document
        std::string text; // the document's bytes
    };

    // Takes this run's recovery file name and its lock. The document is
    // watched through a guarded pointer and may go first.
    CrashRecovery(Document& document, const FileLocations& locations, Dialogs& dialogs,
                  Timing timing = {});
    // Finishes the writes asked for and stops the writing thread. Without
    // cleanExit the recovery file stays and is offered at the next start.
    ~CrashRecovery() override;

    // At start-up: when a run that did not end cleanly left a recovery file,
    // asks "前回、保存されていない文章が残っています。復元しますか？". Yes puts
    // its text into the document as a modified document with its file name
    // and returns true; No keeps the text as recovered-<date>.txt in the same
    // folder; closing the box leaves the file to be offered next time. Of
    // several such files the newest is offered and the others are kept as
    // recovered-<date>.txt files.
    bool offerRecovery();

    // While one lives, the document takes in the text of a file being opened:
    // the file itself holds those bytes, so nothing is written for them (the
    // opener ends with documentSaved, or the document stays as it was).
    class Opening {
      public:
        explicit Opening(CrashRecovery* recovery) : recovery_(recovery) {
            if (recovery_) ++recovery_->opening_;
        }
        ~Opening() {
            if (recovery_) --recovery_->opening_;
        }
        Opening(const Opening&) = delete;
        Opening& operator=(const Opening&) = delete;

      private:
        CrashRecovery* recovery_;
    };

    // The document was written to its file: the recovery file goes.
    void documentSaved();
    // The program ends normally: the recovery file goes, the writing thread
    // stops and the lock is released. Later changes are not recorded.
    void cleanExit();

    // Writes the text now (from a copy, on the writing thread) when it holds
    // unsaved changes.
    void writeNow();
    // Waits until every write and removal asked for so far is done.
    void waitForWrites();

    // This run's recovery file.
    const std::string& filePath() const { return path_; }

    // The recovery file format.
    static std::string format(std::string_view path, std::string_view text);
    static std::optional<Contents> parse(std::string_view bytes);

  Q_SIGNALS:
    // Writing the recovery file failed (once per run of failures).
    void writeFailed(const QString& message);

  private:
    class Writer;

    void changed(const TextChange& change);
    void timerFired();
    // Keeps the text of a recovery file as recovered-<date>.txt and removes
    // the recovery file; false (with a message) when it cannot be kept.
    bool keepAsRecovered(const std::string& file, const std::string& text);

    QPointer<Document> document_;
    Dialogs& dialogs_;
    Timing timing_;
    std::string folder_;
    std::string path_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<Writer> writer_;
    QTimer timer_;
    std::optional<std::chrono::steady_clock::time_point> lastWrite_;
    bool dirty_ = false;   // changes not yet handed to the writer
    bool written_ = false; // the recovery file exists or is being written
    bool ended_ = false;
    int opening_ = 0; // Opening scopes alive
    // Where the last change ended: the gap of the buffer stands there, so
    // copying the text in two pieces split at it moves no bytes.
    std::size_t lastChangeEnd_ = 0;
};
