#include "profile.h"

#include "text/cp932.h"
#include "text/fileio.h"

#include <algorithm>
#include <limits>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Only ASCII letters fold; every other byte compares as it is.
char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

// The section name of a header line "[name]", or false.
bool headerName(std::string_view line, std::string_view& name) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() != '[') return false;
    const auto close = t.rfind(']');
    if (close == std::string_view::npos) return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// The key and value of an entry line "key=value", or false.
bool parseEntry(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(t.substr(0, eq));
    value = trim(t.substr(eq + 1));
    return true;
}

// A value never carries a line end into the file.
std::string_view singleLine(std::string_view v) {
    const auto end = v.find_first_of("\r\n");
    return end == std::string_view::npos ? v : v.substr(0, end);
}

} // namespace

ProfileFile ProfileFile::load(const std::string& path) {
    try {
        return ProfileFile(fileio::readAll(path));
    } catch (...) {
        return {};
    }
}

void ProfileFile::parse(std::string_view bytes) {
    lines_.clear();
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.push_back({std::string(bytes.substr(start)), ""});
            break;
        }
        const std::size_t eolLen =
            (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        lines_.push_back({std::string(bytes.substr(start, end - start)),
                          std::string(bytes.substr(end, eolLen))});
        start = end + eolLen;
    }
}

std::string ProfileFile::bytes() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

long ProfileFile::findSection(std::string_view section) const {
    const std::string_view want = trim(section);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (headerName(lines_[i].text, name) && equalNoCase(name, want))
            return static_cast<long>(i);
    }
    return -1;
}

std::size_t ProfileFile::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    std::string_view name;
    while (i < lines_.size() && !headerName(lines_[i].text, name))
        ++i;
    return i;
}

long ProfileFile::findKey(long header, std::string_view key) const {
    if (header < 0) return -1;
    const std::string_view want = trim(key);
    const std::size_t end = sectionEnd(static_cast<std::size_t>(header));
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        std::string_view k, v;
        if (parseEntry(lines_[i].text, k, v) && equalNoCase(k, want)) return static_cast<long>(i);
    }
    return -1;
}

bool ProfileFile::hasKey(std::string_view section, std::string_view key) const {
    return findKey(findSection(section), key) >= 0;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    const long i = findKey(findSection(section), key);
    std::string_view value = fallback;
    if (i >= 0) {
        std::string_view k;
        parseEntry(lines_[static_cast<std::size_t>(i)].text, k, value);
    }
    if (value.size() > kMaxValue)
        value = value.substr(0, cp932::charStartAtOrBefore(value, kMaxValue));
    return std::string(value);
}

std::int32_t ProfileFile::parseInt(std::string_view value) {
    value = trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::int64_t n = 0;
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    for (char c : value) {
        if (c < '0' || c > '9') break;
        n = std::min<std::int64_t>(n * 10 + (c - '0'), limit);
    }
    return static_cast<std::int32_t>(negative ? -n : n);
}

std::int32_t ProfileFile::readInt(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
    const long i = findKey(findSection(section), key);
    if (i < 0) return fallback;
    std::string_view k, v;
    parseEntry(lines_[static_cast<std::size_t>(i)].text, k, v);
    return parseInt(v);
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    value = singleLine(value);
    const long header = findSection(section);
    const long at = findKey(header, key);
    if (at >= 0) {
        Line& l = lines_[static_cast<std::size_t>(at)];
        std::string_view k, v;
        parseEntry(l.text, k, v);
        std::string text;
        text.reserve(k.size() + 1 + value.size());
        text.append(k).append(1, '=').append(value);
        l.text = std::move(text);
        return;
    }
    std::string newLine(trim(key));
    newLine.append(1, '=').append(value);
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = "\r\n";
    if (header < 0) {
        std::string headerLine("[");
        headerLine.append(trim(section)).append(1, ']');
        lines_.push_back({std::move(headerLine), "\r\n"});
        lines_.push_back({newLine, "\r\n"});
        return;
    }
    // After the section's last line that is not blank (its own comments count).
    std::size_t pos = sectionEnd(static_cast<std::size_t>(header));
    while (pos > static_cast<std::size_t>(header) + 1 && trim(lines_[pos - 1].text).empty())
        --pos;
    lines_.insert(lines_.begin() + static_cast<long>(pos), Line{newLine, "\r\n"});
}

void ProfileFile::writeInt(std::string_view section, std::string_view key, std::int32_t value) {
    writeString(section, key, std::to_string(value));
}
