// Whole-file reading and safe writing, with the program's error texts.
// Paths are bytes in the file system's encoding (UTF-8 here).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace fileio {

bool exists(const std::string& path);
bool isRegularFile(const std::string& path);

// Reads a whole file. Throws MMEditError "ファイル %s は開けません".
std::string readAll(const std::string& path);

// Writes a whole file safely: the bytes go to a new file in the same folder,
// which is flushed to disk and then renamed over the target, so that a failed
// or interrupted write leaves the old file as it was.
// Throws MMEditError "ファイル %s を作成できません" when the file cannot be made,
// "ストリームへの書き込みエラー" when writing fails midway.
void writeAll(const std::string& path, std::string_view bytes);

// Renames without replacing: fails (returns false) when the target exists.
bool moveNoReplace(const std::string& from, const std::string& to);

// The folder part of a path, ending with the separator ("" for a bare name).
std::string folderOf(const std::string& path);

namespace testing {
// Test hook: when set, called before each chunk is written with the number of
// bytes written so far; returning false makes that write fail.
void setWriteHook(std::function<bool(std::size_t)> hook);
} // namespace testing

} // namespace fileio
