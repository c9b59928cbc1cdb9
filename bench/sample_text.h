// The texts the benchmarks work on, in code page 932. Every text is made on
// first use (never at start-up) and kept for the rest of the run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The kinds of text.
enum class SampleKind {
    newsletter, // newsletter editions one after another (see newsletterText)
    noLineEnd,  // the newsletter text without a single CR or LF
    brackets,   // only 」 (0x81 0x76), no line end
    tabs,       // only tabs, no line end
};

// A newsletter-like Japanese text of about the given size: editions framed by
// ■□■□ and ━━━ lines, headings, paragraphs of 300 to 3000 characters with
// 、。「」, ASCII words and URLs, tab-separated tables, half-width kana lines
// and blank lines, CR LF line ends. From 1 MB on, one paragraph of 100 KB
// stands a third of the way in.
std::string newsletterText(std::size_t bytes);

// A text of the kind of about the given size (exactly the size for the
// single-character kinds).
std::string sampleText(SampleKind kind, std::size_t bytes);

// The same text, made once per kind and size and kept.
const std::string& cachedSample(SampleKind kind, std::size_t bytes);

// A short name of the kind for benchmark names ("Newsletter", "NoLineEnd", ...).
const char* kindName(SampleKind kind);

// Sizes.
constexpr std::size_t kMB = std::size_t{1} << 20;

// Writes bytes to a file; throws std::runtime_error when that fails.
void writeFile(const std::string& path, std::string_view bytes);
