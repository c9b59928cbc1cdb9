// The settings records, the settings file operations and the recent-file list.
#pragma once

#include "filelocations.h"
#include "text/colorvalue.h"
#include "text/lineview.h"

#include <array>
#include <cstdint>
#include <string>

// The settings file's name in the program's folder.
inline constexpr char kSettingsFileName[] = "MMEdit.ini";

// The two text limits: the range the editor holds them to (the settings file
// may hold any number), and the values used when the file does not have them.
struct LimitRange {
    std::int32_t least;
    std::int32_t most;

    std::int32_t hold(std::int32_t v) const { return v < least ? least : v > most ? most : v; }
};
constexpr LimitRange kLineWidthRange{10, 80};
constexpr LimitRange kMaxCharsRange{10, 30000};
constexpr std::int32_t kMaxCharsLimit = kMaxCharsRange.most;
constexpr std::int32_t kLineWidthLimit = kLineWidthRange.most;
constexpr std::int32_t kDefaultMaxChars = 30000;
constexpr std::int32_t kDefaultLineWidth = 80;

// The newsletter values and the two text limits. Texts are code page 932 bytes.
struct NewsletterValues {
    std::string title;
    std::string authorMail;
    std::string homeUrl;
    std::string authorName;
    std::string issueDay;
    std::string launchDay;
    std::string saveFolder;
    std::int32_t lineWidth = 0; // single-byte columns
    std::int32_t maxChars = 0;  // bytes of the whole text
    std::string magazineId;

    bool operator==(const NewsletterValues&) const = default;
};

constexpr int kHistorySlots = 10;

// Behaviour options (1 means on) and the recent-file list. History entries are
// paths as the file system spells them (bytes, UTF-8 here), slot 1 the newest.
struct AppOptions {
    std::int32_t trayResident = 0;
    std::int32_t minimizeToTray = 0;
    std::int32_t trayIconAction = 0;
    std::int32_t restorePosition = 0;
    std::int32_t openLastFile = 0;
    std::int32_t openPreviousInWindow = 0;
    std::int32_t singleInstance = 0;
    std::int32_t imeOnAtStart = 0;
    std::int32_t makeBackup = 0;
    std::int32_t anyPitchFont = 0;
    std::int32_t historyShown = 0;
    std::int32_t historyCount = 0;
    std::array<std::string, kHistorySlots> history; // history[0] is slot 1

    bool operator==(const AppOptions&) const = default;
};

// The editor font as the settings file holds it (the font dialog's font).
struct SettingsFont {
    std::string name;      // code page 932 bytes
    std::int32_t size = 0; // points; 0 is the platform's default height
    ColorValue color = color::black;

    bool operator==(const SettingsFont&) const = default;
};

// The program-wide settings values, owned by the program and handed to its
// windows (tests make their own).
struct SettingsState {
    NewsletterValues global;      // program-wide, as the settings file holds them
    NewsletterValues newDocument; // for a new document
    NewsletterValues document;    // the open document's
    AppOptions options;
    std::int32_t toolBarShown = 0;
    std::int32_t windowLeft = 0;
    std::int32_t windowTop = 0;
    std::string programFolder; // ends with '/'
    std::string settingsPath;
    FileLocations files; // where every other file is kept

    // Sets programFolder (a separator is added when missing) and settingsPath.
    void setProgramFolder(const std::string& folder);

    // Reads settingsPath into the records and the font. A missing or unreadable
    // file gives the defaults of missing keys.
    void load(SettingsFont& font);
    // Writes every key to settingsPath and the font, keeping every other line.
    // The new file replaces the old one whole; on failure the old file stays
    // and MMEditError "ファイル %s を作成できません" is thrown.
    void save(const SettingsFont& font);

    // Both copies carry every value but the magazine ID, which each record
    // keeps as its own.
    void copyGlobalToDocument();
    void copyGlobalToNewDocument();
    // OK in the new-document basic settings dialog: newDocument into document,
    // except the save folder, which stays the document's own.
    void copyNewDocumentToDocument();
    // Puts path into history slot 1, moving it up when the list has it.
    void addToHistory(const std::string& path);
    // Empties every history slot and sets the count to 0.
    void clearHistory();
};

// The program's folder: the executable's folder, ending with '/'.
std::string programFolderOfExecutable();

// Writes the default settings file. Throws MMEditError on failure.
void writeDefaultSettings(const std::string& path);
// The default file's bytes.
std::string defaultSettingsBytes();

// One text field by number: 1 title, 2 authorMail, 3 homeUrl, 4 authorName,
// 5 issueDay, 6 launchDay; any other number gives an empty text.
std::string documentField(int number, const NewsletterValues& values);

// The text limits in force for a document with the given values: what the
// editor wraps and counts by, and what mmedit-cli uses when its options do not
// say otherwise.
struct EffectiveLimits {
    std::int32_t lineWidth = kDefaultLineWidth; // single-byte columns, in kLineWidthRange
    std::int32_t maxChars = kDefaultMaxChars;   // in kMaxCharsRange
    std::uint32_t wrapMode = kNewsletterWrapMode;

    // The layout of the lines: the width with the wrap mode.
    LayoutRules layoutRules() const { return LayoutRules{lineWidth, wrapMode, {}}; }
};
EffectiveLimits effectiveLimits(const NewsletterValues& values);
