// mmedit-cli: checks a newsletter file with exactly the editor's layout, and
// writes it hard-wrapped, as a web page or as a mail.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs the command line (without the program name). Output goes to out,
// messages to err. Returns the exit status: 0; 1 when check finds problems
// or eml finds characters it cannot send; 2 for a usage or file error, and
// when out cannot take everything written to it.
// programFolder ends with '/' and holds MMEdit.ini when there is one.
int runCli(const std::vector<std::string>& args, const std::string& programFolder,
           std::ostream& out, std::ostream& err);
