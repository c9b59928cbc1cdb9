// Web and mail addresses in code page 932 text, for the layout of the text
// as it is sent: a mail reader turns an address into a link only when it
// reaches the reader on one line, so the hard wrap never breaks inside one.
//
// An address is a run of single-byte characters that URLs may hold (letters,
// digits and - . _ ~ : / ? # [ ] @ ! $ & ' ( ) * + , ; = %) that
// - starts with http://, https://, ftp:// or mailto: (in any case), not
//   right after a letter or a digit, and has something after that;
// - or starts with www. the same way and has something after that;
// - or is user@host: letters, digits and . _ % + - ! # $ & ' * / = ? ~
//   before the @, letters, digits, dots and hyphens after it.
// It ends at the first character outside that set: a blank, a control
// character, a double-byte or half-width katakana character, or one of
// " < > \ ^ ` { | }. Then the punctuation a sentence puts after an address
// is given back: . , ; : ! ? ' and a ) or ] that closes nothing opened
// inside the address ("(http://example.jp/)" holds http://example.jp/;
// "http://example.jp/wiki/A_(b)" is whole). A mail address also gives back
// a trailing dot or hyphen.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace addresses {

struct Span {
    std::size_t pos = 0;
    std::size_t length = 0;

    std::size_t end() const { return pos + length; }
    bool operator==(const Span&) const = default;
};

// Every address in text, in order (they never overlap).
std::vector<Span> find(std::string_view text);

// A byte that an address may hold (a quick test before find: two bytes in
// a row that are not both such bytes are never inside one address).
bool mayHold(char c);

} // namespace addresses
