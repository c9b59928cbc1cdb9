// Writes a benchmark text to a file: bench_write_sample KIND MEGABYTES PATH,
// KIND one of newsletter, brackets (only 」), tabs (only tabs), nolineend.
#include "sample_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s KIND MEGABYTES PATH\n", argv[0]);
        return 2;
    }
    SampleKind kind = SampleKind::newsletter;
    if (std::strcmp(argv[1], "brackets") == 0)
        kind = SampleKind::brackets;
    else if (std::strcmp(argv[1], "tabs") == 0)
        kind = SampleKind::tabs;
    else if (std::strcmp(argv[1], "nolineend") == 0)
        kind = SampleKind::noLineEnd;
    else if (std::strcmp(argv[1], "newsletter") != 0)
        return 2;
    const auto bytes = static_cast<std::size_t>(std::atof(argv[2]) * static_cast<double>(kMB));
    writeFile(argv[3], sampleText(kind, bytes));
    return 0;
}
