// The document: the code page 932 bytes of one newsletter issue with
// everything that gives them meaning without a window: undo and redo in
// groups, the modified flag, the character count and limit, search and
// replace, the file it belongs to, and a notice after every change.
//
// Every change of the text goes through replace(); views (the editing area,
// the line view, the totals) follow the change notices.
#pragma once

#include "gapbuffer.h"

#include <QObject>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One change: at pos, `removed` bytes were replaced by `inserted` bytes.
struct TextChange {
    std::size_t pos = 0;
    std::size_t removed = 0;
    std::size_t inserted = 0;
};

// A selection as the view keeps it; undo gives back the one before a step and
// redo the one after it.
struct Selection {
    std::size_t anchor = 0;
    std::size_t caret = 0;
    bool operator==(const Selection&) const = default;
};

struct FindOptions {
    bool matchCase = false; // letter case of the single-byte letters counts
    bool backward = false;
    bool wholeWord = false; // the match stands between non-word characters
};

class Document : public QObject {
    Q_OBJECT

  public:
    // No limit on the number of characters.
    static constexpr std::size_t kNoLimit = 0;

    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    // --- the text ----------------------------------------------------------
    std::size_t size() const { return buffer_.size(); }
    bool empty() const { return buffer_.empty(); }
    char at(std::size_t i) const { return buffer_.at(i); }
    std::string text() const { return buffer_.str(); }
    std::string text(std::size_t from, std::size_t to) const { return buffer_.str(from, to); }
    // The bytes [from, to) as one piece; valid until the next change or view.
    std::string_view view(std::size_t from, std::size_t to) const { return buffer_.view(from, to); }
    std::string_view all() const { return buffer_.all(); }
    const GapBuffer& buffer() const { return buffer_; }

    // Character boundaries (a double-byte character and a CR LF pair are one
    // character each; a byte that is not valid code page 932 is its own).
    std::size_t boundaryAtOrBefore(std::size_t pos) const;
    std::size_t nextBoundary(std::size_t pos) const;
    std::size_t previousBoundary(std::size_t pos) const;
    bool isBoundary(std::size_t pos) const { return boundaryAtOrBefore(pos) == pos; }

    // --- the character count and the limit ---------------------------------
    // Characters as the limit counts them (a CR LF pair counts one).
    std::size_t characterCount() const { return characters_; }
    std::size_t characterLimit() const { return limit_; }
    void setCharacterLimit(std::size_t limit) { limit_ = limit; }
    // The longest beginning of bytes that fits the limit when it replaces
    // [from, to) of the text.
    std::size_t fittingPrefix(std::string_view bytes, std::size_t from, std::size_t to) const;

    // True when replacing [pos, pos + length) by bytes would pair a byte that
    // now stands alone (a lead byte without a trail byte) with a byte it does
    // not pair with today, so that bytes the user did not touch change
    // meaning.
    bool joinsStrayByte(std::size_t pos, std::size_t length, std::string_view bytes) const;

    // --- changing the text -------------------------------------------------
    // Replaces [pos, pos + length) by bytes as one undoable change. The
    // selections are what undo and redo give back. With mergeTyping, the
    // change joins the previous undo step when both are insertions typed one
    // after the other.
    void replace(std::size_t pos, std::size_t length, std::string_view bytes, Selection before = {},
                 Selection after = {}, bool mergeTyping = false);
    // Replaces [pos, pos + length) by bytes that are only shown, not kept: no
    // undo step, the modified flag stays (the input method's composition
    // text is laid out in place this way and taken out before it is kept).
    void replaceUnrecorded(std::size_t pos, std::size_t length, std::string_view bytes);
    // Replaces the whole text; undo history is cleared.
    void setText(std::string_view bytes);
    // Replaces the whole text with a file's bytes, as setText does, read
    // straight into the document, and makes it the document's file. Throws
    // what fileio::readAll throws (a file that is not regular or cannot be
    // read, one larger than kMaxDocumentBytes, one that does not fit in
    // memory); the document is unchanged then.
    void loadFile(const std::string& path);
    // A file's bytes read for a document, not yet in one: for a look at the
    // bytes (their encoding) before they become the text.
    struct LoadedText {
        GapBuffer bytes;
        std::size_t characters = 0; // as characterCount() counts them
    };
    // Reads a file as loadFile does, with its errors; the document is
    // untouched.
    static LoadedText readFile(const std::string& path);
    // Makes the bytes the text and path the document's file, as loadFile
    // does; loaded is left empty.
    void takeLoaded(LoadedText& loaded, const std::string& path);
    // A file read as readFile reads it, on a thread of its own, while the
    // program does something else (makes its windows), for the open path to
    // take when it opens that file.
    class ReadAhead {
      public:
        explicit ReadAhead(std::string path);
        ~ReadAhead(); // waits for the reading
        ReadAhead(const ReadAhead&) = delete;
        ReadAhead& operator=(const ReadAhead&) = delete;

        // Waits for the reading and gives the text, once: when path names
        // the file read, the reading went without error and the file is, as
        // far as the file system tells (device, inode, size, modification
        // and change times), still as it was while it was read. Otherwise
        // nothing: the caller reads the file itself (and meets its errors).
        std::optional<LoadedText> take(const std::string& path);
        // Waits for the reading; the memory its text holds (0 once taken).
        std::size_t residentBytes();

      private:
        struct Stamp {
            unsigned long long device = 0, inode = 0, size = 0;
            long long modifiedNs = 0, changedNs = 0;
            bool operator==(const Stamp&) const = default;
        };
        static std::optional<Stamp> stampOf(const std::string& path);
        void read();
        void wait();

        const std::string path_;
        std::optional<LoadedText> loaded_; // the thread's until it is joined
        std::optional<Stamp> stamp_;
        std::thread thread_; // last: starts once the rest is made
    };
    // Changes made until endUndoGroup are undone and redone as one step;
    // undoing it gives back the selection before.
    void beginUndoGroup(Selection before = {});
    void endUndoGroup(Selection after);
    // Typing stops joining the previous undo step (the caret moved).
    void breakTypingMerge() { mergeOpen_ = false; }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // Undoes or redoes one step; returns the selection to show afterwards.
    std::optional<Selection> undo();
    std::optional<Selection> redo();
    void clearUndo();

    bool isModified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }

    // The file the document was read from or saved to (file-system bytes;
    // empty for a new document).
    const std::string& filePath() const { return filePath_; }
    void setFilePath(const std::string& path) { filePath_ = path; }

    // --- search --------------------------------------------------------------
    // The first match at or after from (backward: the last one ending at or
    // before from), only at character boundaries; nullopt when absent.
    std::optional<std::size_t> find(std::string_view what, std::size_t from,
                                    const FindOptions& options = {}) const;
    // Replaces every match that lies inside [from, to) as one change and one
    // undo step (undo gives back before; the caret goes after the last
    // replacement); returns how many were replaced. A match whose
    // replacement would pair with a byte that is not code page 932 stays. Throws MMEditError when
    // the text would grow past what a document holds (nothing is replaced).
    std::size_t replaceAll(std::string_view what, std::string_view with, const FindOptions& options,
                           Selection before = {}, std::size_t from = 0,
                           std::size_t to = std::string_view::npos);

  Q_SIGNALS:
    // After every change of the text, with the changed range.
    void changed(const TextChange& change);

  private:
    struct Step {
        struct Piece {
            std::size_t pos;
            std::string removed, inserted;
        };
        std::vector<Piece> pieces;
        Selection before, after;
        bool typing = false;
    };

    // Changes the bytes and the count and sends the notice; no undo record.
    void apply(std::size_t pos, std::size_t length, std::string_view bytes);
    std::optional<Selection> replay(std::vector<Step>& from, std::vector<Step>& to, bool backwards);

    GapBuffer buffer_;
    std::size_t characters_ = 0;
    std::size_t limit_ = kNoLimit;
    std::vector<Step> undo_, redo_;
    int groupDepth_ = 0;
    bool mergeOpen_ = false;
    bool modified_ = false;
    std::string filePath_;
};

// Undo group for the length of a scope: one command, one undo step.
class UndoGroup {
  public:
    UndoGroup(Document& doc, Selection before, Selection after) : doc_(doc), after_(after) {
        doc_.beginUndoGroup(before);
    }
    ~UndoGroup() { doc_.endUndoGroup(after_); }
    void setSelectionAfter(Selection s) { after_ = s; }
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;

  private:
    Document& doc_;
    Selection after_;
};
