// A palette's list as its files keep it: the list the program ships (read
// only) and the user's own copy (written after every change, read in its
// place once it exists).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class StoredList {
  public:
    // A list file larger than this is no list: it is refused.
    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

    // builtIn: the entries before any file has been read. shippedPath: the
    // list the program ships; userPath: the user's copy.
    StoredList(std::vector<std::string> builtIn, std::string shippedPath, std::string userPath);

    // Reads the user's copy when it exists, else the shipped list; the
    // entries read replace the list. A file that cannot be read throws
    // MMEditError with its open error and the list keeps its entries. A
    // user's copy that exists but cannot be read is never written over (it
    // may hold entries the user made); the shipped list is read instead.
    void load();

    const std::vector<std::string>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    const std::string& operator[](std::size_t i) const { return entries_[i]; }

    // Add an entry at the end, or remove one, and write the user's copy. The
    // list changes only when the file was written; a failure throws
    // MMEditError ("ファイル %s を作成できません", "ストリームへの書き込みエラー")
    // and leaves the list and the file as they were.
    void append(const std::string& entry);
    void remove(std::size_t index);

    const std::string& shippedPath() const { return shippedPath_; }
    const std::string& userPath() const { return userPath_; }

  private:
    void write(std::vector<std::string> entries);

    std::vector<std::string> entries_;
    std::string shippedPath_, userPath_;
    bool userCopyUnread_ = false; // the user's copy exists but could not be read
};
