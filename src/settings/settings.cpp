#include "settings.h"

#include "profile.h"

#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <iterator>
#include <variant>
#include <vector>

namespace {

// Bytes of a section separator line in the default file: its heading filled
// out with hyphens.
constexpr std::size_t kSeparatorWidth = 79;

// The font a settings file without one names.
constexpr const char* kDefaultFontName = "ＭＳ ゴシック";

std::string toCp932(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

std::string separator(const char* heading) {
    std::string line = toCp932(heading);
    line.append(kSeparatorWidth - line.size(), '-');
    return line;
}

} // namespace

std::string defaultSettingsBytes() {
    std::vector<std::string> lines = {
        ";",
        toCp932(";「もるもる」メールマガジンエディタ設定ファイル"),
        ";",
        toCp932("; 基本設定を保存してあります。"),
        toCp932("; ここからでもカスタマイズできます。"),
        ";",
        separator("; アプリケーション情報"),
        "[Application]",
        toCp932("; 0:ﾀｽｸﾄﾚｲに常駐しない 1:ﾀｽｸﾄﾚｲに常駐"),
        "StayOnTask=1",
        toCp932("; 0:最小化はﾀｽｸﾊﾞｰ 1:最小化はﾀｽｸﾄﾚｲｱｲｺﾝ"),
        "HideOnTask=1",
        toCp932("; ﾀｽｸｱｲｺﾝの動作"),
        toCp932("; 0:左右クリック　ポップアップメニュー 1:右クリック　ポップアップメニュー"),
        toCp932("; 2:左クリック　ポップアップメニュー"),
        toCp932("; 1:起動時に最後に編集したファイルを開く"),
        toCp932("; 1:別ウィンドウで前回編集したファイルを開く"),
        toCp932("; 1:多重起動禁止"),
        "OnlyStart=1",
        toCp932("; 1:起動時にIME On"),
        "IMESwitch=1",
        toCp932("; 1:ﾊﾞｯｸｱｯﾌﾟOn"),
        "BackUp=1",
        toCp932("; ツールバー 0: 非表示 1: 表示"),
        "ToolBar=0",
        "Path=",
        separator(";Windowの位置"),
        "[DefaultPos]",
        "Position=0",
        "Left=0",
        "Top=0",
        separator(";エディターのパラメータ"),
        "[EditParam]",
        toCp932("Title=タイトル"),
        toCp932("Emaile=メールアドレス"),
        toCp932("URL=ホームページURL"),
        toCp932("Name=名前"),
        toCp932("Day1=日付"),
        toCp932("Day2=日付"),
        "Position=0",
        toCp932("ID=マガジンID"),
        separator(";作業用パス"),
        "[Path]",
        "DefaultPath=PATH",
        separator(";文字数設定"),
        "[String]",
        "MaxString=" + std::to_string(kDefaultMaxChars),
        "MaxLength=" + std::to_string(kDefaultLineWidth),
        separator(";フォントの情報"),
        "[FontParam]",
        toCp932("Name=ＭＳ ゴシック"),
        "Size=9",
        "Color=0",
        toCp932("; 0:固定ピッチのみ"),
        "Pich=0",
        separator(";ファイルの履歴"),
        "[FileHistry]",
        toCp932("; ファイルの履歴 0:無効 1:有効"),
        "Switch=1",
        toCp932("; 履歴の数(max10)"),
        "Number=10",
        "1=",
        "2=",
        "3=",
        "4=",
        "5=",
        "6=",
        "7=",
        "8=",
        "9=",
        "10=",
        separator(";"),
        // The maker block: plain lines, read as nothing.
        toCp932("MMEdit メールマガジンエディタ"),
        toCp932("作成 MMEdit 開発チーム"),
        toCp932("使い方と連絡先は同梱の README とヘルプをご覧ください"),
        toCp932("不具合やご要望は開発チームまでお寄せください"),
        toCp932("この五行は設定として読まれません"),
    };
    std::string out;
    for (const auto& line : lines)
        out += line + "\r\n";
    return out;
}

void writeDefaultSettings(const std::string& path) {
    try {
        fileio::writeAll(path, defaultSettingsBytes());
    } catch (const MMEditError&) {
        // The user learns which file could not be made, whatever step failed.
        throw MMEditError(createErrorText(path));
    }
}

std::string programFolderOfExecutable() {
    std::string folder = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

void SettingsState::setProgramFolder(const std::string& folder) {
    files = FileLocations(folder);
    programFolder = files.programFolder();
    settingsPath = files.writableFile(kSettingsFileName);
}

namespace {

// What the settings file's keys hold: the settings records and the font.
struct Stored {
    SettingsState& s;
    SettingsFont& font;
};
using NumberField = std::int32_t& (*)(Stored&);
using TextField = std::string& (*)(Stored&);

// One key of the settings file and the value it holds.
struct Key {
    const char* section;
    const char* name;
    std::variant<NumberField, TextField> field;
    std::int32_t numberDefault = 0; // when the file does not have the key
    const char* textDefault = "";   // the same, UTF-8 (the file holds code page 932)
    bool onlyWithPosition = false;  // read only while the window position is restored
};

// Every key the program reads and writes, in the order of the writes: it
// decides where the keys and sections a file does not have yet are added, so
// it stays as it is. The names are the file's own, misspellings included.
// clang-format off
const Key kKeys[] = {
    {"DefaultPos", "Left", +[](Stored& v) -> auto& { return v.s.windowLeft; }, 0, "", true},
    {"DefaultPos", "Top", +[](Stored& v) -> auto& { return v.s.windowTop; }, 0, "", true},
    {"EditParam", "Title", +[](Stored& v) -> auto& { return v.s.global.title; }},
    {"EditParam", "Emaile", +[](Stored& v) -> auto& { return v.s.global.authorMail; }},
    {"EditParam", "URL", +[](Stored& v) -> auto& { return v.s.global.homeUrl; }},
    {"EditParam", "Name", +[](Stored& v) -> auto& { return v.s.global.authorName; }},
    {"EditParam", "Day1", +[](Stored& v) -> auto& { return v.s.global.issueDay; }},
    {"EditParam", "Day2", +[](Stored& v) -> auto& { return v.s.global.launchDay; }},
    {"EditParam", "ID", +[](Stored& v) -> auto& { return v.s.global.magazineId; }},
    {"Path", "DefaultPath", +[](Stored& v) -> auto& { return v.s.global.saveFolder; }},
    {"Application", "ToolBar", +[](Stored& v) -> auto& { return v.s.toolBarShown; }},
    {"String", "MaxString", +[](Stored& v) -> auto& { return v.s.global.maxChars; }, kDefaultMaxChars},
    {"String", "MaxLength", +[](Stored& v) -> auto& { return v.s.global.lineWidth; }, kDefaultLineWidth},
    {"Application", "StayOnTask", +[](Stored& v) -> auto& { return v.s.options.trayResident; }},
    {"Application", "HideOnTask", +[](Stored& v) -> auto& { return v.s.options.minimizeToTray; }},
    {"Application", "TaskIcon", +[](Stored& v) -> auto& { return v.s.options.trayIconAction; }},
    {"Application", "LastFileOpen", +[](Stored& v) -> auto& { return v.s.options.openLastFile; }},
    {"Application", "OldOpen", +[](Stored& v) -> auto& { return v.s.options.openPreviousInWindow; }},
    {"Application", "OnlyStart", +[](Stored& v) -> auto& { return v.s.options.singleInstance; }},
    {"Application", "IMESwitch", +[](Stored& v) -> auto& { return v.s.options.imeOnAtStart; }},
    {"Application", "BackUp", +[](Stored& v) -> auto& { return v.s.options.makeBackup; }},
    {"FileHistry", "Switch", +[](Stored& v) -> auto& { return v.s.options.historyShown; }},
    {"FileHistry", "Number", +[](Stored& v) -> auto& { return v.s.options.historyCount; }},
    {"FileHistry", "1", +[](Stored& v) -> auto& { return v.s.options.history[0]; }},
    {"FileHistry", "2", +[](Stored& v) -> auto& { return v.s.options.history[1]; }},
    {"FileHistry", "3", +[](Stored& v) -> auto& { return v.s.options.history[2]; }},
    {"FileHistry", "4", +[](Stored& v) -> auto& { return v.s.options.history[3]; }},
    {"FileHistry", "5", +[](Stored& v) -> auto& { return v.s.options.history[4]; }},
    {"FileHistry", "6", +[](Stored& v) -> auto& { return v.s.options.history[5]; }},
    {"FileHistry", "7", +[](Stored& v) -> auto& { return v.s.options.history[6]; }},
    {"FileHistry", "8", +[](Stored& v) -> auto& { return v.s.options.history[7]; }},
    {"FileHistry", "9", +[](Stored& v) -> auto& { return v.s.options.history[8]; }},
    {"FileHistry", "10", +[](Stored& v) -> auto& { return v.s.options.history[9]; }},
    {"FontParam", "Pich", +[](Stored& v) -> auto& { return v.s.options.anyPitchFont; }},
    {"DefaultPos", "Position", +[](Stored& v) -> auto& { return v.s.options.restorePosition; }},
    {"FontParam", "Name", +[](Stored& v) -> auto& { return v.font.name; }, 0, kDefaultFontName},
    {"FontParam", "Size", +[](Stored& v) -> auto& { return v.font.size; }},
    {"FontParam", "Color", +[](Stored& v) -> auto& { return v.font.color; }, color::black},
};
// clang-format on
static_assert(std::size(kKeys) == 2 + 8 + 1 + 2 + 8 + 2 + kHistorySlots + 2 + 3);

void readKey(const ProfileFile& ini, const Key& key, Stored& v) {
    if (const auto* number = std::get_if<NumberField>(&key.field))
        (*number)(v) = ini.readInt(key.section, key.name, key.numberDefault);
    else
        std::get<TextField>(key.field)(v) =
            ini.readString(key.section, key.name, toCp932(key.textDefault));
}

} // namespace

void SettingsState::load(SettingsFont& font) {
    const ProfileFile ini = ProfileFile::load(settingsPath);
    Stored v{*this, font};
    for (const Key& key : kKeys)
        if (!key.onlyWithPosition) readKey(ini, key, v);
    // The saved position counts only while restoring it is on; otherwise the
    // window starts where it stands (0, 0 at start) and that is what the next
    // save writes.
    if (options.restorePosition == 1)
        for (const Key& key : kKeys)
            if (key.onlyWithPosition) readKey(ini, key, v);
}

void SettingsState::save(const SettingsFont& font) {
    ProfileFile ini = ProfileFile::load(settingsPath);
    SettingsFont written = font;
    Stored v{*this, written};
    for (const Key& key : kKeys) {
        if (const auto* number = std::get_if<NumberField>(&key.field))
            ini.writeInt(key.section, key.name, (*number)(v));
        else
            ini.writeString(key.section, key.name, std::get<TextField>(key.field)(v));
    }
    try {
        fileio::writeAll(settingsPath, ini.bytes());
    } catch (const MMEditError&) {
        throw MMEditError(createErrorText(settingsPath));
    }
}

namespace {
// Every value but the magazine ID, which each record keeps as its own.
void copyAllButMagazineId(const NewsletterValues& from, NewsletterValues& to) {
    const std::string magazineId = to.magazineId;
    to = from;
    to.magazineId = magazineId;
}
} // namespace

void SettingsState::copyGlobalToDocument() {
    copyAllButMagazineId(global, document);
}
void SettingsState::copyGlobalToNewDocument() {
    copyAllButMagazineId(global, newDocument);
}

void SettingsState::copyNewDocumentToDocument() {
    const std::string folder = document.saveFolder;
    document = newDocument;
    document.saveFolder = folder;
}

void SettingsState::addToHistory(const std::string& path) {
    const std::string entry = path; // path may be one of the slots moved below
    auto& history = options.history;
    const auto found = std::find(history.begin(), history.end(), entry);
    const auto last = history.end() - 1;
    if (found < last) {
        // Already listed: the paths before it move down one slot to make room
        // at the front; the count stays.
        std::move_backward(history.begin(), found, found + 1);
    } else {
        // A new path, or the one in the last slot: every path moves down one
        // slot and the last one drops out; the count grows up to the slots.
        std::move_backward(history.begin(), last, history.end());
        options.historyCount =
            options.historyCount < kHistorySlots ? options.historyCount + 1 : kHistorySlots;
    }
    history.front() = entry;
}

void SettingsState::clearHistory() {
    options.history.fill(std::string());
    options.historyCount = 0;
}

std::string documentField(int number, const NewsletterValues& values) {
    switch (number) {
    case 1:
        return values.title;
    case 2:
        return values.authorMail;
    case 3:
        return values.homeUrl;
    case 4:
        return values.authorName;
    case 5:
        return values.issueDay;
    case 6:
        return values.launchDay;
    default:
        return {};
    }
}

EffectiveLimits effectiveLimits(const NewsletterValues& values) {
    EffectiveLimits limits;
    limits.lineWidth = kLineWidthRange.hold(values.lineWidth);
    limits.maxChars = kMaxCharsRange.hold(values.maxChars);
    return limits;
}
