// The arguments of mmedit: a file to open, --help and --version.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // The file to open, as given (the file system's bytes); empty for none.
    std::string file;
    // What was wrong, in the program's words (UTF-8), for Action::Error.
    std::string error;
};

// Reads the arguments after the program's name. "--" ends the options, so
// that a file whose name starts with "-" can be opened.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The answer to --help or --version when the arguments (also Qt's own
// options among them) ask for one: it is given before anything needs a
// display.
std::optional<std::string> helpOrVersionText(const std::vector<std::string>& args);

// The texts printed for --help and --version (UTF-8).
std::string usageText();
std::string versionText();

// path made absolute against the working folder, byte for byte (no link is
// resolved, no character decoded), so that a running copy of the program
// finds the file that a second start was given.
std::string absolutePath(const std::string& path, const std::string& workingFolder);
std::string workingFolder();
