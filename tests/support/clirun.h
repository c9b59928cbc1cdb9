// mmedit-cli run in the test's own process, its output kept.
#pragma once

#include "cli/cli.h"

#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int status;
    std::string out, err;
};

inline CliRun run(const std::vector<std::string>& args, const std::string& folder) {
    std::ostringstream out, err;
    const int s = runCli(args, folder, out, err);
    return {s, out.str(), err.str()};
}
