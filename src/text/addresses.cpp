#include "addresses.h"

#include "cp932.h"

#include <array>
#include <cstdint>

namespace addresses {

namespace {

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The classes of the single bytes, as bits: a character URLs may hold, one
// of the local part of a mail address, one of a host name.
enum : std::uint8_t { kUrl = 1, kLocal = 2, kDomain = 4 };

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[c] = kUrl | kLocal | kDomain;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] = t[c + 'a' - 'A'] = kUrl | kLocal | kDomain;
    for (char c : std::string_view("-._~:/?#[]@!$&'()*+,;=%"))
        t[static_cast<unsigned char>(c)] |= kUrl;
    for (char c : std::string_view("._%+-!#$&'*/=?~"))
        t[static_cast<unsigned char>(c)] |= kLocal;
    t['.'] |= kDomain;
    t['-'] |= kDomain;
    return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

bool is(char c, std::uint8_t bits) {
    return kClasses[static_cast<unsigned char>(c)] & bits;
}
bool isUrlChar(char c) {
    return is(c, kUrl);
}
bool isLocalChar(char c) {
    return is(c, kLocal);
}
bool isDomainChar(char c) {
    return is(c, kDomain);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The end of a web address that starts at pos in a run ending at end, with
// the punctuation after it given back.
std::size_t urlEnd(std::string_view text, std::size_t pos, std::size_t end) {
    int parens = 0, brackets = 0; // opened less closed
    for (std::size_t i = pos; i < end; ++i) {
        parens += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        brackets += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
    }
    while (end > pos) {
        const char c = text[end - 1];
        if (std::string_view(".,;:!?'").find(c) != std::string_view::npos) {
            --end;
        } else if (c == ')' && parens < 0) {
            ++parens;
            --end;
        } else if (c == ']' && brackets < 0) {
            ++brackets;
            --end;
        } else {
            break;
        }
    }
    return end;
}

constexpr std::array<std::string_view, 5> kPrefixes = {"http://", "https://", "ftp://",
                                                       "mailto:", "www."};

// The addresses of a run [from, to) of single-byte address characters.
void findInRun(std::string_view text, std::size_t from, std::size_t to, std::vector<Span>& out) {
    std::size_t i = from;
    while (i < to) {
        const bool wordStart = i == from || !isAlnum(text[i - 1]);
        std::size_t prefix = 0;
        if (wordStart)
            for (std::string_view p : kPrefixes)
                if (startsWithNoCase(text.substr(i, to - i), p)) prefix = p.size();
        if (prefix > 0) {
            const std::size_t e = urlEnd(text, i, to);
            if (e > i + prefix) {
                out.push_back({i, e - i});
                i = e;
                continue;
            }
        }
        if (text[i] == '@') {
            const std::size_t floor =
                out.empty() || out.back().end() < from ? from : out.back().end();
            std::size_t s = i;
            while (s > floor && isLocalChar(text[s - 1]))
                --s;
            std::size_t e = i + 1;
            while (e < to && isDomainChar(text[e]))
                ++e;
            while (e > i + 1 && (text[e - 1] == '.' || text[e - 1] == '-'))
                --e;
            if (s < i && e > i + 1) {
                out.push_back({s, e - s});
                i = e;
                continue;
            }
        }
        ++i;
    }
}

} // namespace

std::vector<Span> find(std::string_view text) {
    std::vector<Span> out;
    std::size_t p = 0;
    while (p < text.size()) {
        if (!isUrlChar(text[p])) {
            p += cp932::charLength(text, p);
            continue;
        }
        std::size_t e = p;
        while (e < text.size() && isUrlChar(text[e]))
            ++e;
        findInRun(text, p, e, out);
        p = e;
    }
    return out;
}

bool mayHold(char c) {
    return is(c, kUrl | kLocal | kDomain);
}

} // namespace addresses
