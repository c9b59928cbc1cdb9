#include "palettetext.h"

#include "text/cp932.h"

#include <algorithm>

namespace palettetext {

std::string frameLine(std::string_view design, std::int32_t width) {
    const std::size_t w = static_cast<std::size_t>(std::clamp(width, 0, kWidestFrameLine));
    const std::size_t copies = design.empty() ? 0 : w / design.size();
    std::string line;
    line.reserve(copies * design.size() + kCrLf.size());
    for (std::size_t k = 0; k < copies; ++k)
        line += design;
    line += kCrLf;
    return line;
}

bool endsWithLineEnd(std::string_view text) {
    return !text.empty() && (text.back() == '\r' || text.back() == '\n');
}

std::string headerInsertion(std::string_view header) {
    std::string out(header);
    if (!header.empty() && !endsWithLineEnd(header)) out += kCrLf;
    return out;
}

std::string footerInsertion(std::string_view document, std::string_view footer) {
    if (footer.empty()) return {};
    std::string out;
    if (!document.empty() && !endsWithLineEnd(document)) out += kCrLf;
    out += footer;
    return out;
}

std::string withCrLfLineEnds(std::string_view bytes) {
    if (const auto nul = bytes.find('\0'); nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (std::size_t p = 0; p < bytes.size(); ++p) {
        const char c = bytes[p];
        if (c == '\r' || c == '\n') {
            out += kCrLf;
            if (c == '\r' && p + 1 < bytes.size() && bytes[p + 1] == '\n') ++p;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<InvalidByte> firstInvalidByte(std::string_view bytes) {
    std::size_t line = 1;
    for (std::size_t p = 0; p < bytes.size();) {
        const char c = bytes[p];
        if (c == '\n' || (c == '\r' && (p + 1 == bytes.size() || bytes[p + 1] != '\n'))) ++line;
        if (c != '\0' && cp932::toUnicode(bytes, p) == 0) return InvalidByte{p, line};
        p += cp932::charLength(bytes, p);
    }
    return std::nullopt;
}

} // namespace palettetext
