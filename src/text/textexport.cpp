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

std::string hardWrapped(std::string_view text, const LayoutRules& rules) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    bool afterWrap = false; // the line goes on from a wrap
    forEachLine(text, rules, true, [&](const LaidLine& line) {
        const bool wraps = line.eol == 0 && line.start + line.length < text.size();
        std::string_view shown = text.substr(line.start, line.length);
        // Blanks at a wrap would only hang past the width or indent the
        // line after it: they go. The writer's own line ends keep theirs.
        if (wraps || afterWrap) {
            const auto [first, last] = blankEdges(shown);
            const std::size_t to = wraps ? last : shown.size();
            const std::size_t from = afterWrap ? std::min(first, to) : 0;
            shown = shown.substr(from, to - from);
        }
        afterWrap = wraps;
        // A line of nothing but blanks goes with its wrap.
        if (wraps && shown.empty()) return;
        out.append(shown);
        out.append(text.substr(line.start + line.length, line.eol));
        // A wrap ends the line here, unless the text ends with it.
        if (wraps) out.append(kCrLf);
    });
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
