// Crash recovery: while the document holds unsaved changes, what it takes
// to rebuild its bytes and its file path is kept in a recovery file beside
// the settings file, so that a run that ends without a clean exit (a crash,
// a killed process, a power cut) loses at most the last interval of typing.
// The next start offers the text back.
//
// The recovery file is a journal: a base that names the text the edits
// apply to, then one record per change (position, removed length, inserted
// bytes), appended as the user types, so that keeping up costs about the
// size of the edits, never a copy of the whole text. The base is the
// document's file as it was opened or saved (its path, size, modification
// time and a hash of its bytes, computed on the writing thread), an empty
// text, or a full snapshot of the text where there is no trustworthy base
// (a file converted on opening, a file changed on disk since, a journal
// grown larger than the text, a failed write). Records
// carry their length and a checksum: a run killed in the middle of an
// append leaves a torn last record, and the text is rebuilt up to the last
// whole one. A base file that no longer has the size and hash it had is
// never replayed on: the journal is kept under another name and the user is
// told that it cannot be recovered. Text brought back keeps the journal it
// came from, which becomes this run's file: no copy of it is written.
//
// Before a save replaces a file, the journal notes the size and hash of the
// text being saved and where it goes. A run killed after the new file is in
// place but before the journal is removed thus leaves a journal whose text is
// on disk already: the next start removes it without a word.
//
// Each run writes a file of its own ("MMEdit-recovery-<pid>-<random>.dat")
// and holds a lock file beside it for as long as it runs; a recovery file is
// offered only when its lock can be taken, that is when the run that wrote it
// is gone. A new base goes through fileio::writeAll (a new file renamed over
// the old one), records are appended; both on a writing thread of its own.
// Opening a file writes nothing: the file holds its text until the first
// change. A run that dies in the middle of a write leaves the new file's
// temporary behind; each start removes those of runs that are gone.
#pragma once

#include "text/gapbuffer.h"

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
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
        GapBuffer text;   // the document's bytes
    };
    // What the edits of a journal apply to.
    enum class Base {
        None,     // nothing trustworthy: the next write is a snapshot
        Empty,    // the empty text
        File,     // the document's file as opened or saved
        Snapshot, // the snapshot at the head of the recovery file
    };
    // A file's size, modification time and identity on disk.
    struct FileIdentity {
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        std::uint64_t inode = 0;
        std::uint64_t device = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    // A recovery file read back.
    struct Recovered {
        enum class Status {
            Recovered,   // contents holds the text
            NotOurs,     // not a recovery file (or its beginning is damaged)
            BaseChanged, // the file the edits apply to is gone or changed
            Saved,       // the last text was saved: savedPath holds it
        };
        Status status = Status::NotOurs;
        Contents contents;
        std::string basePath;  // BaseChanged: the file that changed
        std::string savedPath; // Saved: the file that holds the text
        // A journal read back whole: what a run may go on appending to.
        struct Journal {
            Base base = Base::None;
            std::string basePath;      // Base::File: the file
            FileIdentity baseIdentity; // Base::File: the file as it was read
            std::uint64_t end = 0;     // the end of the last whole record
            std::uint64_t records = 0; // the bytes of the records after the base
        };
        std::optional<Journal> journal; // none for the format of earlier versions
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

    // The document's text is about to be written to path (before the file
    // is replaced): the recovery file is brought up to the present text and
    // notes the size and hash of that text and its file, on disk before this
    // returns.
    void savingTo(const std::string& path);
    // The document was written to its file: the recovery file goes.
    void documentSaved();
    // The program ends normally: the recovery file goes, the writing thread
    // stops and the lock is released. Later changes are not recorded.
    void cleanExit();

    // Writes what is not yet kept of the text now (on the writing thread)
    // when it holds unsaved changes.
    void writeNow();
    // Waits until every write and removal asked for so far is done.
    void waitForWrites();

    // This run's recovery file.
    const std::string& filePath() const { return path_; }

    // Reads a recovery file, of this format or the single-file one of
    // earlier versions, and rebuilds the text it keeps.
    static Recovered read(const std::string& file);

    // For tests: each append of records to the recovery file writes only as
    // many of its bytes as the hook returns (given the size of the append),
    // and fails when that is fewer.
    static void setAppendHook(std::function<std::size_t(std::size_t)> hook);

  Q_SIGNALS:
    // Writing the recovery file failed (once per run of failures).
    void writeFailed(const QString& message);

  private:
    class Writer;
    struct Job;

    // read, with its errors.
    static Recovered readJournal(const std::string& file);

    void changed(const TextChange& change);
    void timerFired();
    // The base the document's present text gives (a file opened or saved,
    // the empty text, or none).
    void takeBaseFromDocument();
    // Forgets the base: the next write keeps a snapshot of the text.
    void dropBase();
    // Starts the recovery file anew: the base, the path, the records kept.
    void startFile();
    // The records not yet handed to the writer (and the document's path when
    // it changed), for an append.
    std::string takeRecords();
    // Makes a journal read back this run's recovery file, to go on with:
    // false when it cannot be taken over (nothing changed then).
    bool adoptJournal(const std::string& file, const Recovered::Journal& journal,
                      const std::string& path);
    // Keeps the text of a recovery file as recovered-<date>.txt and removes
    // the recovery file; false (with a message) when it cannot be kept.
    bool keepAsRecovered(const std::string& file, std::string_view text);
    // Keeps a recovery file whose base file changed under a name that is not
    // offered again, and tells the user what cannot be recovered.
    void keepUnrecoverable(const std::string& file, const std::string& basePath);
    // A free name "recovered-<date of file>[-k]<suffix>" beside the settings.
    std::string recoveredName(const std::string& file, std::string_view suffix) const;

    QPointer<Document> document_;
    Dialogs& dialogs_;
    Timing timing_;
    std::string folder_;
    std::string path_;
    std::unique_ptr<Writer> writer_;
    QTimer timer_;
    std::optional<std::chrono::steady_clock::time_point> lastWrite_;
    bool dirty_ = false;   // changes not yet handed to the writer
    bool written_ = false; // the recovery file of the present base exists or is being written
    bool ended_ = false;
    int opening_ = 0; // Opening scopes alive
    Base base_ = Base::None;
    std::string basePath_;         // Base::File: the file
    FileIdentity baseIdentity_;    // Base::File: the file as opened or saved
    bool startAnew_ = false;       // the next write starts the file with the base
    std::string records_;          // records not yet handed to the writer
    std::size_t journalBytes_ = 0; // records handed to the writer since the base
    std::string writtenPath_;      // the document's path as the recovery file has it
};
