#include "scripted.h"

Dialogs::Button ScriptedDialogs::messageBox(const QString& caption, const QString& text, Icon icon,
                                            int buttons) {
    boxes.push_back({caption, text, icon, buttons});
    if (answers.empty()) {
        for (Button b : {Ok, Yes, No, Cancel})
            if (buttons & b) return b;
        return Ok;
    }
    const Button b = answers.front();
    answers.pop_front();
    return b;
}

std::string ScriptedDialogs::openFileName(const QString& caption, const QString&,
                                          const std::string&) {
    fileCaptions.push_back(caption);
    if (fileNames.empty()) return {};
    std::string n = fileNames.front();
    fileNames.pop_front();
    return n;
}

std::string ScriptedDialogs::saveFileName(const QString& caption, const QString& filter,
                                          const std::string& suggested) {
    return openFileName(caption, filter, suggested);
}
