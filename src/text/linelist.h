// Text lists kept in the program's data files: one entry a line, code page 932.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace linelist {

// CR LF, a lone CR or a lone LF ends a line; a zero byte ends the text; a last
// line without a line end counts; a line end at the very end adds no entry.
std::vector<std::string> parse(std::string_view bytes);

// Every entry followed by CR LF.
std::string format(const std::vector<std::string>& lines);

} // namespace linelist
