// The settings records, the settings file operations and the recent-file list.
#pragma once

#include "common/colors.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>

class Shell;
class ProfileFile;

// The newsletter values and the two text limits. Texts are code page 932 bytes.
struct TSetting {
    std::string MagTitle;
    std::string AuthorMail;
    std::string HomeUrl;
    std::string AuthorName;
    std::string IssueDay;
    std::string LaunchDay;
    std::string SaveFolder;
    std::int32_t LineWidth = 0;
    std::int32_t MaxChars = 0;
    std::string MagazineId;

    bool operator==(const TSetting&) const = default;
};

constexpr int kHistorySlots = 10;

// Behaviour options (1 means on) and the recent-file list. History entries are
// paths as the file system spells them (bytes, UTF-8 here), slot 1 the newest.
struct TApliSet {
    std::int32_t TrayResident = 0;
    std::int32_t MinimizeToTray = 0;
    std::int32_t TrayIconAction = 0;
    std::int32_t RestorePosition = 0;
    std::int32_t OpenLastFile = 0;
    std::int32_t OpenPreviousInWindow = 0;
    std::int32_t SingleInstance = 0;
    std::int32_t ImeOnAtStart = 0;
    std::int32_t MakeBackup = 0;
    std::int32_t AnyPitchFont = 0;
    std::int32_t HistoryShown = 0;
    std::int32_t HistoryCount = 0;
    std::array<std::string, kHistorySlots> History; // History[0] is slot 1

    bool operator==(const TApliSet&) const = default;
};

// The editor font as the settings file holds it (the font dialog's font).
struct SettingsFont {
    std::string Name;      // code page 932 bytes
    std::int32_t Size = 0; // points; 0 is the platform's default height
    TColor Color = 0;

    bool operator==(const SettingsFont&) const = default;
};

// The program-wide settings values, owned by the program and handed to its
// windows (tests make their own).
struct SettingsState {
    TSetting GlobalParams;
    TSetting NewDocParams;
    TSetting DocParams;
    TApliSet AppOptions;
    std::int32_t ToolBarShown = 0;
    std::int32_t WindowLeft = 0;
    std::int32_t WindowTop = 0;
    std::string ProgramFolder; // ends with '/'
    std::string SettingsPath;
    std::string CurrentFile; // empty for a new document

    // Sets ProgramFolder (a separator is added when missing) and SettingsPath.
    void setProgramFolder(const std::string& folder);

    // Reads SettingsPath into the records and the font. A missing or unreadable
    // file gives the defaults of missing keys.
    void LoadSettings(SettingsFont& font);
    // Writes every key to SettingsPath and the font, keeping every other line.
    // The new file replaces the old one whole; on failure the old file stays
    // and MMEditError "ファイル %s を作成できません" is thrown.
    void SaveSettings(const SettingsFont& font);

    void CopyGlobalToDoc();
    void CopyGlobalToNewDoc();
    // OK in the new-document basic settings dialog: NewDocParams into DocParams.
    void CopyNewDocToDoc();
    // Puts CurrentFile into history slot 1.
    void AddToHistory();
};

// The program's folder: the executable's folder, ending with '/'.
std::string programFolderOfExecutable();

// Writes the default settings file. Throws MMEditError on failure.
void WriteDefaultSettings(const std::string& path);
// The default file's bytes.
std::string defaultSettingsBytes();

// One text field by number: 1 MagTitle ... 6 LaunchDay; otherwise empty.
std::string DocField(int number, const TSetting& record);

inline std::int32_t clampMaxChars(std::int32_t v) {
    return v < 30000 ? v : 30000;
}
inline std::int32_t clampLineWidth(std::int32_t v) {
    return v < 80 ? v : 80;
}

// Opens help/index.html in the program's folder through the shell, at the
// topic of the keyword (the contents when empty). Throws MMEditError when the
// help page is missing.
void ShowHelp(Shell& shell, const std::string& programFolder, const QString& keyword = {});
// The anchor of a help keyword ("" for the contents).
QString helpAnchor(const QString& keyword);
