// The text as the editor lays it out, for files that must look the same
// everywhere: the hard-wrapped text (every point where the editor wraps
// becomes a line end) and the HTML page.
#pragma once

#include "lineview.h"

#include <string>
#include <string_view>
#include <vector>

namespace textexport {

// The text as it is sent: CR LF at every point where it wraps under the
// rules, laid out with addresses kept whole (LineView::setKeepAddresses).
// The blanks (space, tab, ideographic space) at such a break go: those that
// end the line and those that would begin the next; a wrapped line of
// nothing but blanks goes with its break. The text's own line ends (CR LF,
// lone CR or LF) stay as they are, and so do the blanks before them.
std::string hardWrapped(std::string_view text, const LayoutRules& rules);

// The hard wrap as changes of the text, in order: the bytes [pos, pos +
// length) (the blanks dropped there, or none) become CR LF, or nothing when
// lineEnd is false (blanks that begin a logical line and fill whole lines).
struct WrapBreak {
    std::size_t pos = 0;
    std::size_t length = 0;
    bool lineEnd = true;
};
std::vector<WrapBreak> hardWrapBreaks(std::string_view text, const LayoutRules& rules);

// The web page of the text: a head declaring Shift_JIS, then every laid-out
// line followed by CR LF inside <pre>, with "&", "<" and ">" escaped. Code
// page 932 bytes pass unchanged (no trail byte is ever one of the escaped
// characters).
std::string htmlPage(std::string_view text, const LayoutRules& rules);

} // namespace textexport
