// The program's error message box, and the one entry point of every command.
#pragma once

#include <QString>

#include <functional>

class Dialogs;

// The one entry point of every command: runs it, and reports a failure in the
// program's error message box (under the application title, error icon, one OK
// button). The command is abandoned; the program goes on. Returns false when
// the command failed.
bool runCommand(Dialogs& dialogs, const std::function<void()>& command);

// Shows the program's error message box for a failure's text.
void showErrorBox(Dialogs& dialogs, const QString& message);
