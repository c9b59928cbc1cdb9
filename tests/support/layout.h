// The lines of a text laid out whole with the line view, as byte strings.
#pragma once

#include "text/lineview.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testlayout {

inline std::vector<std::string> layOut(const std::string& text, int width, std::uint32_t mode) {
    LineView v;
    v.setRules({width, mode, {}});
    v.layoutAll(text);
    std::vector<std::string> out;
    for (const LaidLine& l : v.lines())
        out.push_back(text.substr(l.start, l.length));
    return out;
}

} // namespace testlayout
