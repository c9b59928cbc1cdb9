// The text as the editor lays it out, for files that must look the same
// everywhere: the hard-wrapped text (every point where the editor wraps
// becomes a line end) and the HTML page.
#pragma once

#include "lineview.h"

#include <string>
#include <string_view>

namespace textexport {

// The text with CR LF inserted at every point where it wraps under the
// rules; the text's own line ends (CR LF, lone CR or LF) stay as they are.
std::string hardWrapped(std::string_view text, const LayoutRules& rules);

// The web page of the text: a head declaring Shift_JIS, then every laid-out
// line followed by CR LF inside <pre>, with "&", "<" and ">" escaped. Code
// page 932 bytes pass unchanged (no trail byte is ever one of the escaped
// characters).
std::string htmlPage(std::string_view text, const LayoutRules& rules);

} // namespace textexport
