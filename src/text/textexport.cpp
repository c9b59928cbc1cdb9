#include "textexport.h"

#include "cp932.h"

#include <algorithm>
#include <utility>

namespace textexport {

namespace {
constexpr std::string_view kCrLf = "\r\n";

template <class Line>
void forEachLine(std::string_view text, const LayoutRules& rules, bool asSent, Line&& f) {
    LineView view;
    view.setRules(rules);
    view.setKeepAddresses(asSent);
    view.layoutAll(text);
    for (std::size_t i = 0; i < view.count(); ++i)
        f(view.line(i));
}
bool isBlank(std::string_view c) {
    return c == " " || c == "\t" || c == "\x81\x40";
}

// Where the blanks at the start of a line end and those at its end begin
// (the size and 0 when it is all blanks).
std::pair<std::size_t, std::size_t> blankEdges(std::string_view line) {
    std::size_t first = line.size(), last = 0;
    for (std::size_t p = 0; p < line.size();) {
        const std::size_t len = cp932::charLength(line, p);
        if (!isBlank(line.substr(p, len))) {
            first = std::min(first, p);
            last = p + len;
        }
        p += len;
    }
    return {first, last};
}

} // namespace

std::vector<WrapBreak> hardWrapBreaks(std::string_view text, const LayoutRules& rules) {
    std::vector<WrapBreak> out;
    bool afterWrap = false;    // the line goes on from a wrap
    bool lineEnd = false;      // the wrap before the line ends a line of text
    std::size_t breakFrom = 0; // where the blanks at that wrap begin
    forEachLine(text, rules, true, [&](const LaidLine& line) {
        const bool wraps = line.eol == 0 && line.start + line.length < text.size();
        if (!wraps && !afterWrap) return;
        const std::string_view shown = text.substr(line.start, line.length);
        const auto [first, last] = blankEdges(shown);
        const bool blank = first == shown.size();
        if (afterWrap) {
            // A line of nothing but blanks goes with the wrap before it.
            if (wraps && blank) return;
            out.push_back({breakFrom, line.start + first - breakFrom, lineEnd});
        } else {
            // Blanks at a wrap would only hang past the width: they go (a
            // wrapped first line of nothing but blanks with them).
            lineEnd = !blank;
        }
        afterWrap = wraps;
        if (wraps) {
            breakFrom = line.start + (blank ? 0 : last);
            if (!blank) lineEnd = true;
        }
    });
    return out;
}

std::string hardWrapped(std::string_view text, const LayoutRules& rules) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    std::size_t p = 0;
    for (const WrapBreak& b : hardWrapBreaks(text, rules)) {
        out.append(text.substr(p, b.pos - p));
        if (b.lineEnd) out.append(kCrLf);
        p = b.pos + b.length;
    }
    out.append(text.substr(p));
    return out;
}

std::string htmlPage(std::string_view text, const LayoutRules& rules) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 256);
    out.append("<html>\r\n<head>\r\n"
               "\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
               "\t</head>\r\n<body><pre>\r\n");
    forEachLine(text, rules, false, [&](const LaidLine& line) {
        for (char c : text.substr(line.start, line.length)) {
            switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            default:
                out.push_back(c);
            }
        }
        out.append(kCrLf);
    });
    out.append("</Pre></body>\r\n</html>\r\n");
    return out;
}

} // namespace textexport
