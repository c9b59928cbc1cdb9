// Whole-file reading and safe writing, with the program's error texts.
// Paths are bytes in the file system's encoding (UTF-8 here).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The largest document the program holds, in bytes: the line view keeps a
// line's length in 30 bits.
inline constexpr std::size_t kMaxDocumentBytes = (std::size_t{1} << 30) - 1;

namespace fileio {

bool exists(const std::string& path);
bool isRegularFile(const std::string& path);

// Reads a whole regular file of at most maxBytes bytes. Never waits on a FIFO
// or reads a device: anything but a regular file (and a file that cannot be
// opened or read) throws MMEditError "ファイル %s は開けません". A larger file is
// refused before it is read, and one that does not fit in memory when read,
// with FileTooLargeError "ファイル %s は大きすぎて開けません".
std::string readAll(const std::string& path, std::size_t maxBytes = kMaxDocumentBytes);

// A file opened for reading with readAll's checks, for callers that read
// straight into storage of their own (the gap buffer).
class FileReader {
  public:
    // Throws what readAll throws for a file that cannot be opened, is not a
    // regular file or tells a size above maxBytes; nothing has been read then.
    explicit FileReader(const std::string& path, std::size_t maxBytes = kMaxDocumentBytes);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // The size the file told when it was opened. Only a hint: the file may
    // change while it is read, and some (those under /proc) tell none.
    std::size_t sizeHint() const { return sizeHint_; }
    // Reads at most n bytes to dst; returns how many, 0 at the end of the
    // file. Throws MMEditError "ファイル %s は開けません" when reading fails and
    // FileTooLargeError once the file has given more than maxBytes.
    std::size_t read(char* dst, std::size_t n);
    // Fills dst[0, n) as far as the file goes; returns the bytes read (fewer
    // than n only at the end of the file).
    std::size_t readFully(char* dst, std::size_t n);
    // The bytes read so far.
    std::size_t bytesRead() const { return bytesRead_; }
    // FileTooLargeError for this file, as thrown when storage runs out.
    [[noreturn]] void throwTooLarge() const;

  private:
    std::string path_;
    std::size_t maxBytes_;
    std::size_t sizeHint_ = 0;
    std::size_t bytesRead_ = 0;
    int fd_ = -1;
};

// Writes a whole file safely: the bytes go to a new file in the same folder,
// which is flushed to disk and then renamed over the target, so that a failed
// or interrupted write leaves the old file as it was. The new file keeps the
// old one's permissions, and its owner and group as far as this process may
// set them. A symbolic link stays: the file it names is written, or created
// when it does not exist yet. Temporary files are ".name.mmedit-save.XXXXXX";
// those an interrupted save of the same file left behind go at the next save.
// An existing file this user may not write is refused, whatever the folder
// allows. A writable file in a folder that takes no new files is written in
// place: a failed write puts the old bytes back (a crash midway can leave the
// file half written there).
// Throws MMEditError "ファイル %s を作成できません" when the file cannot be made
// or may not be written (also for a loop of symbolic links),
// "ストリームへの書き込みエラー" when writing fails midway.
void writeAll(const std::string& path, std::string_view bytes);

// Renames without replacing: fails (returns false) when the target exists.
bool moveNoReplace(const std::string& from, const std::string& to);

// Makes a copy of a file under a new name without replacing anything there:
// a hard link when the file system has them, else a copy with the file's
// permissions. Returns false when the name exists (as a file or a folder),
// the file does not, or the copy cannot be made (a half-made copy is removed).
bool copyNoReplace(const std::string& from, const std::string& to);

// The folder part of a path, ending with the separator ("" for a bare name).
std::string folderOf(const std::string& path);

namespace testing {
// The steps of writeAll a test hook sees: each chunk written, the flush to
// disk, the rename over the target, and the cut to the new length when the
// file is written in place.
enum class WriteStep { write, sync, rename, truncate };
// Test hook: when set, called before each step with the number of bytes
// written so far; returning false makes that step fail.
void setStepHook(std::function<bool(WriteStep, std::size_t)> hook);
// The same for the written chunks only.
void setWriteHook(std::function<bool(std::size_t)> hook);
} // namespace testing

} // namespace fileio
