#include "linelist.h"

namespace linelist {

std::vector<std::string> parse(std::string_view bytes) {
    if (const auto nul = bytes.find('\0'); nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t p = 0;
    while (p < bytes.size()) {
        const char c = bytes[p];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(bytes.substr(start, p - start));
            p += (c == '\r' && p + 1 < bytes.size() && bytes[p + 1] == '\n') ? 2 : 1;
            start = p;
        } else {
            ++p;
        }
    }
    if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
    return lines;
}

std::string format(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

} // namespace linelist
