// The help page: help/index.html among the program's data files, opened with
// the shell at an anchor per help keyword.
#pragma once

#include <QString>

#include <string>

class Shell;

// Opens the help page (the path of help/index.html that FileLocations::dataFile
// gives) through the shell, at the topic of the keyword (the contents when
// empty). Throws MMEditError when the help page is missing.
void showHelp(Shell& shell, const std::string& page, const QString& keyword = {});
// The anchor of a help keyword ("" for the contents).
QString helpAnchor(const QString& keyword);
