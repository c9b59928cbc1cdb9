#include "textexport.h"

namespace textexport {

namespace {
constexpr std::string_view kCrLf = "\r\n";

template <class Line> void forEachLine(std::string_view text, const LayoutRules& rules, Line&& f) {
    LineView view;
    view.setRules(rules);
    view.layoutAll(text);
    for (std::size_t i = 0; i < view.count(); ++i)
        f(view.line(i));
}
} // namespace

std::string hardWrapped(std::string_view text, const LayoutRules& rules) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    forEachLine(text, rules, [&](const LaidLine& line) {
        out.append(text.substr(line.start, line.length + line.eol));
        // A wrap ends the line here, unless the text ends with it.
        if (line.eol == 0 && line.start + line.length < text.size()) out.append(kCrLf);
    });
    return out;
}

std::string htmlPage(std::string_view text, const LayoutRules& rules) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 256);
    out.append("<html>\r\n<head>\r\n"
               "\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
               "\t</head>\r\n<body><pre>\r\n");
    forEachLine(text, rules, [&](const LaidLine& line) {
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
