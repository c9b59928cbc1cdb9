#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <string>
#include <vector>

// Dialogs that answer from a script and record what they were asked.
class ScriptedDialogs : public Dialogs {
  public:
    struct Box {
        QString caption, text;
        Icon icon;
        int buttons;
    };
    std::vector<Box> boxes;
    std::deque<Button> answers;        // message box answers; Ok/first button when empty
    std::deque<std::string> fileNames; // open/save answers; "" (cancel) when empty
    std::vector<QString> fileCaptions;

    Button messageBox(const QString& caption, const QString& text, Icon icon, int buttons) override;
    std::string openFileName(const QString& caption, const QString& filter,
                             const std::string& folder) override;
    std::string saveFileName(const QString& caption, const QString& filter,
                             const std::string& suggested) override;
};

class RecordingShell : public Shell {
  public:
    std::vector<QString> opened;
    bool result = true;
    bool open(const QString& address) override {
        opened.push_back(address);
        return result;
    }
};
