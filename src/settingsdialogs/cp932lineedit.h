// A one-line text box whose text is code page 932 bytes: it takes from typing,
// pasting, dropping and the input method only what code page 932 can hold and
// what fits its limit, counted in characters or in bytes.
#pragma once

#include <QLineEdit>
#include <QString>

#include <string>
#include <vector>

// How a box's limit counts: code page 932 characters, or bytes (a
// double-byte character counts two).
enum class LimitUnit { characters, bytes };

// What one edit of a box turns into.
struct FilteredEdit {
    QString text;                       // the box's text after the edit
    int cursor = 0;                     // where the cursor stands in it
    bool cut = false;                   // the inserted text did not fit whole
    std::vector<char32_t> refusedChars; // not code page 932: the edit is refused
};

// The length of text as a limit counts it. A character that code page 932
// cannot hold counts one.
int measureText(const QString& text, LimitUnit unit);

// The edit that turned `before` into `after` (the cursor standing at
// `cursor`), as a box takes it: the inserted text is cut at its first line
// break and loses other control characters; when it holds a character that
// code page 932 cannot hold, the whole edit is refused (the text stays
// `before`); when the result would be longer than `limit` (0: no limit) and
// longer than `before`, only the whole characters of the inserted text that
// fit are kept.
FilteredEdit filterEdit(const QString& before, const QString& after, int cursor, int limit,
                        LimitUnit unit);

// The message that tells which characters were refused (each named once, the
// first few).
QString refusedCharactersMessage(const std::vector<char32_t>& chars);

class Cp932LineEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit Cp932LineEdit(QWidget* parent = nullptr);

    // The most that typing and pasting may make the text (0: no limit).
    // Text set by the program is shown whole.
    void setLimit(int count, LimitUnit unit);
    int limit() const { return limit_; }

    // Shows the bytes (a byte that is not code page 932 as a substitute).
    void setBytes(const std::string& bytes);
    // The text as bytes: the bytes given to setBytes while the text is the
    // one shown for them, else the encoded text.
    std::string bytes() const;

  Q_SIGNALS:
    // Typed or pasted text was refused because code page 932 cannot hold it
    // (sent after the edit has been undone, never from inside it).
    void refused(const QString& message);

  private:
    friend class Cp932InputFilter;
    // The filter's verdict on an edit that gives `after`.
    void filter(QString& after, int& cursor);

    QString before_; // the text as it stood before the edit under way
    QString shownText_;
    std::string shownBytes_;
    bool settingText_ = false;
    int limit_ = 0;
    LimitUnit unit_ = LimitUnit::characters;
};
