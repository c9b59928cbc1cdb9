// The program's failures and how they reach the user.
#pragma once

#include <QString>

#include <stdexcept>
#include <string>

// A failure with the text the user is shown.
class MMEditError : public std::runtime_error {
  public:
    explicit MMEditError(const QString& message);
    const QString& message() const { return message_; }

  private:
    QString message_;
};

// A file larger than the program can hold, or one it ran out of memory
// reading. Its text is tooLargeErrorText.
class FileTooLargeError : public MMEditError {
  public:
    using MMEditError::MMEditError;
};

// "ファイル %s は開けません" and friends, with the full path in place of %s.
// Paths are bytes in the file system's encoding.
QString openErrorText(const std::string& path);
QString createErrorText(const std::string& path);
// "ファイル %s は大きすぎて開けません".
QString tooLargeErrorText(const std::string& path);
QString writeErrorText();

// The text of the program's error message box: the failure's text, followed by
// "." when the first byte of its last character (in code page 932) sorts after
// ".".
QString errorBoxText(const QString& message);
