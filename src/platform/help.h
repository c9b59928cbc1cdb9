// The help page: help/index.html in the program's folder, opened with the
// shell at an anchor per help keyword.
#pragma once

#include <QString>

#include <string>

class Shell;

// Opens help/index.html in the program's folder through the shell, at the
// topic of the keyword (the contents when empty). Throws MMEditError when the
// help page is missing.
void showHelp(Shell& shell, const std::string& programFolder, const QString& keyword = {});
// The anchor of a help keyword ("" for the contents).
QString helpAnchor(const QString& keyword);
