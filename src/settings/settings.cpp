#include "settings.h"

#include "profile.h"

#include "text/cp932.h"
#include "text/errors.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
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

std::string historyKey(std::size_t index) {
    return std::to_string(index + 1);
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

void SettingsState::load(SettingsFont& font) {
    const ProfileFile ini = ProfileFile::load(settingsPath);
    toolBarShown = ini.readInt("Application", "ToolBar", 0);

    NewsletterValues& g = global;
    g.title = ini.readString("EditParam", "Title", "");
    g.authorMail = ini.readString("EditParam", "Emaile", "");
    g.homeUrl = ini.readString("EditParam", "URL", "");
    g.authorName = ini.readString("EditParam", "Name", "");
    g.issueDay = ini.readString("EditParam", "Day1", "");
    g.launchDay = ini.readString("EditParam", "Day2", "");
    g.magazineId = ini.readString("EditParam", "ID", "");
    g.saveFolder = ini.readString("Path", "DefaultPath", "");
    g.lineWidth = ini.readInt("String", "MaxLength", kDefaultLineWidth);
    g.maxChars = ini.readInt("String", "MaxString", kDefaultMaxChars);

    AppOptions& o = options;
    o.trayResident = ini.readInt("Application", "StayOnTask", 0);
    o.minimizeToTray = ini.readInt("Application", "HideOnTask", 0);
    o.trayIconAction = ini.readInt("Application", "TaskIcon", 0);
    o.openLastFile = ini.readInt("Application", "LastFileOpen", 0);
    o.openPreviousInWindow = ini.readInt("Application", "OldOpen", 0);
    o.singleInstance = ini.readInt("Application", "OnlyStart", 0);
    o.imeOnAtStart = ini.readInt("Application", "IMESwitch", 0);
    o.makeBackup = ini.readInt("Application", "BackUp", 0);

    o.historyShown = ini.readInt("FileHistry", "Switch", 0);
    o.historyCount = ini.readInt("FileHistry", "Number", 0);
    for (std::size_t i = 0; i < o.history.size(); ++i)
        o.history[i] = ini.readString("FileHistry", historyKey(i), "");

    o.anyPitchFont = ini.readInt("FontParam", "Pich", 0);

    // The saved position counts only while restoring it is on; otherwise the
    // window starts at 0, 0 and that is what the next save writes.
    o.restorePosition = ini.readInt("DefaultPos", "Position", 0);
    if (o.restorePosition == 1) {
        windowLeft = ini.readInt("DefaultPos", "Left", 0);
        windowTop = ini.readInt("DefaultPos", "Top", 0);
    }

    font.name = ini.readString("FontParam", "Name", toCp932(kDefaultFontName));
    font.size = ini.readInt("FontParam", "Size", 0);
    font.color = ini.readInt("FontParam", "Color", color::black);
}

void SettingsState::save(const SettingsFont& font) {
    // The order of the writes decides where keys and sections the file does not
    // have yet are added, so it stays as it is.
    ProfileFile ini = ProfileFile::load(settingsPath);
    ini.writeInt("DefaultPos", "Left", windowLeft);
    ini.writeInt("DefaultPos", "Top", windowTop);

    const NewsletterValues& g = global;
    ini.writeString("EditParam", "Title", g.title);
    ini.writeString("EditParam", "Emaile", g.authorMail);
    ini.writeString("EditParam", "URL", g.homeUrl);
    ini.writeString("EditParam", "Name", g.authorName);
    ini.writeString("EditParam", "Day1", g.issueDay);
    ini.writeString("EditParam", "Day2", g.launchDay);
    ini.writeString("EditParam", "ID", g.magazineId);
    ini.writeString("Path", "DefaultPath", g.saveFolder);

    ini.writeInt("Application", "ToolBar", toolBarShown);
    ini.writeInt("String", "MaxString", g.maxChars);
    ini.writeInt("String", "MaxLength", g.lineWidth);

    const AppOptions& o = options;
    ini.writeInt("Application", "StayOnTask", o.trayResident);
    ini.writeInt("Application", "HideOnTask", o.minimizeToTray);
    ini.writeInt("Application", "TaskIcon", o.trayIconAction);
    ini.writeInt("Application", "LastFileOpen", o.openLastFile);
    ini.writeInt("Application", "OldOpen", o.openPreviousInWindow);
    ini.writeInt("Application", "OnlyStart", o.singleInstance);
    ini.writeInt("Application", "IMESwitch", o.imeOnAtStart);
    ini.writeInt("Application", "BackUp", o.makeBackup);

    ini.writeInt("FileHistry", "Switch", o.historyShown);
    ini.writeInt("FileHistry", "Number", o.historyCount);
    for (std::size_t i = 0; i < o.history.size(); ++i)
        ini.writeString("FileHistry", historyKey(i), o.history[i]);

    ini.writeInt("FontParam", "Pich", o.anyPitchFont);
    ini.writeInt("DefaultPos", "Position", o.restorePosition);

    ini.writeString("FontParam", "Name", font.name);
    ini.writeInt("FontParam", "Size", font.size);
    ini.writeInt("FontParam", "Color", font.color);

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
