#pragma once

#include <cstddef>
#include <string>

// A newsletter-like Japanese text in code page 932 of about the given size:
// sentences with 、。「」, some ASCII words and URLs, CR LF paragraphs and
// blank lines.
std::string sampleJapaneseText(std::size_t bytes);
