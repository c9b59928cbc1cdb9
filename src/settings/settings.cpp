#include "settings.h"

#include "profile.h"

#include "common/cp932.h"
#include "common/errors.h"
#include "common/fileio.h"
#include "common/platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QUrl>

namespace {

std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

std::string separator(const char* heading) {
    std::string s = sj(heading);
    s.append(79 - s.size(), '-');
    return s;
}

} // namespace

std::string defaultSettingsBytes() {
    std::vector<std::string> lines = {
        ";",
        sj(";「もるもる」メールマガジンエディタ設定ファイル"),
        ";",
        sj("; 基本設定を保存してあります。"),
        sj("; ここからでもカスタマイズできます。"),
        ";",
        separator("; アプリケーション情報"),
        "[Application]",
        sj("; 0:ﾀｽｸﾄﾚｲに常駐しない 1:ﾀｽｸﾄﾚｲに常駐"),
        "StayOnTask=1",
        sj("; 0:最小化はﾀｽｸﾊﾞｰ 1:最小化はﾀｽｸﾄﾚｲｱｲｺﾝ"),
        "HideOnTask=1",
        sj("; ﾀｽｸｱｲｺﾝの動作"),
        sj("; 0:左右クリック　ポップアップメニュー 1:右クリック　ポップアップメニュー"),
        sj("; 2:左クリック　ポップアップメニュー"),
        sj("; 1:起動時に最後に編集したファイルを開く"),
        sj("; 1:別ウィンドウで前回編集したファイルを開く"),
        sj("; 1:多重起動禁止"),
        "OnlyStart=1",
        sj("; 1:起動時にIME On"),
        "IMESwitch=1",
        sj("; 1:ﾊﾞｯｸｱｯﾌﾟOn"),
        "BackUp=1",
        sj("; ツールバー 0: 非表示 1: 表示"),
        "ToolBar=0",
        "Path=",
        separator(";Windowの位置"),
        "[DefaultPos]",
        "Position=0",
        "Left=0",
        "Top=0",
        separator(";エディターのパラメータ"),
        "[EditParam]",
        sj("Title=タイトル"),
        sj("Emaile=メールアドレス"),
        sj("URL=ホームページURL"),
        sj("Name=名前"),
        sj("Day1=日付"),
        sj("Day2=日付"),
        "Position=0",
        sj("ID=マガジンID"),
        separator(";作業用パス"),
        "[Path]",
        "DefaultPath=PATH",
        separator(";文字数設定"),
        "[String]",
        "MaxString=30000",
        "MaxLength=80",
        separator(";フォントの情報"),
        "[FontParam]",
        sj("Name=ＭＳ ゴシック"),
        "Size=9",
        "Color=0",
        sj("; 0:固定ピッチのみ"),
        "Pich=0",
        separator(";ファイルの履歴"),
        "[FileHistry]",
        sj("; ファイルの履歴 0:無効 1:有効"),
        "Switch=1",
        sj("; 履歴の数(max10)"),
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
        sj("MMEdit メールマガジンエディタ"),
        sj("作成 MMEdit 開発チーム"),
        sj("使い方と連絡先は同梱の README とヘルプをご覧ください"),
        sj("不具合やご要望は開発チームまでお寄せください"),
        sj("この五行は設定として読まれません"),
    };
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

void WriteDefaultSettings(const std::string& path) {
    try {
        fileio::writeAll(path, defaultSettingsBytes());
    } catch (const MMEditError&) {
        // The user learns which file could not be made, whatever step failed.
        throw MMEditError(createErrorText(path));
    }
}

std::string programFolderOfExecutable() {
    std::string f = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (f.empty() || f.back() != '/') f += '/';
    return f;
}

void SettingsState::setProgramFolder(const std::string& folder) {
    ProgramFolder = folder;
    if (ProgramFolder.empty() || ProgramFolder.back() != '/') ProgramFolder += '/';
    SettingsPath = ProgramFolder + "MMEdit.ini";
}

void SettingsState::LoadSettings(SettingsFont& font) {
    const ProfileFile ini = ProfileFile::load(SettingsPath);
    ToolBarShown = ini.readInt("Application", "ToolBar", 0);

    TSetting& g = GlobalParams;
    g.MagTitle = ini.readString("EditParam", "Title", "");
    g.AuthorMail = ini.readString("EditParam", "Emaile", "");
    g.HomeUrl = ini.readString("EditParam", "URL", "");
    g.AuthorName = ini.readString("EditParam", "Name", "");
    g.IssueDay = ini.readString("EditParam", "Day1", "");
    g.LaunchDay = ini.readString("EditParam", "Day2", "");
    g.MagazineId = ini.readString("EditParam", "ID", "");
    g.SaveFolder = ini.readString("Path", "DefaultPath", "");
    g.LineWidth = ini.readInt("String", "MaxLength", 80);
    g.MaxChars = ini.readInt("String", "MaxString", 30000);

    TApliSet& a = AppOptions;
    a.TrayResident = ini.readInt("Application", "StayOnTask", 0);
    a.MinimizeToTray = ini.readInt("Application", "HideOnTask", 0);
    a.TrayIconAction = ini.readInt("Application", "TaskIcon", 0);
    a.OpenLastFile = ini.readInt("Application", "LastFileOpen", 0);
    a.OpenPreviousInWindow = ini.readInt("Application", "OldOpen", 0);
    a.SingleInstance = ini.readInt("Application", "OnlyStart", 0);
    a.ImeOnAtStart = ini.readInt("Application", "IMESwitch", 0);
    a.MakeBackup = ini.readInt("Application", "BackUp", 0);

    a.HistoryShown = ini.readInt("FileHistry", "Switch", 0);
    a.HistoryCount = ini.readInt("FileHistry", "Number", 0);
    for (int i = 0; i < kHistorySlots; ++i)
        a.History[static_cast<std::size_t>(i)] =
            ini.readString("FileHistry", std::to_string(i + 1), "");

    a.AnyPitchFont = ini.readInt("FontParam", "Pich", 0);

    a.RestorePosition = ini.readInt("DefaultPos", "Position", 0);
    if (a.RestorePosition == 1) {
        WindowLeft = ini.readInt("DefaultPos", "Left", 0);
        WindowTop = ini.readInt("DefaultPos", "Top", 0);
    }

    font.Name = ini.readString("FontParam", "Name", sj("ＭＳ ゴシック"));
    font.Size = ini.readInt("FontParam", "Size", 0);
    font.Color = ini.readInt("FontParam", "Color", 0);
}

void SettingsState::SaveSettings(const SettingsFont& font) {
    ProfileFile ini = ProfileFile::load(SettingsPath);
    ini.writeInt("DefaultPos", "Left", WindowLeft);
    ini.writeInt("DefaultPos", "Top", WindowTop);

    const TSetting& g = GlobalParams;
    ini.writeString("EditParam", "Title", g.MagTitle);
    ini.writeString("EditParam", "Emaile", g.AuthorMail);
    ini.writeString("EditParam", "URL", g.HomeUrl);
    ini.writeString("EditParam", "Name", g.AuthorName);
    ini.writeString("EditParam", "Day1", g.IssueDay);
    ini.writeString("EditParam", "Day2", g.LaunchDay);
    ini.writeString("EditParam", "ID", g.MagazineId);
    ini.writeString("Path", "DefaultPath", g.SaveFolder);

    ini.writeInt("Application", "ToolBar", ToolBarShown);
    ini.writeInt("String", "MaxString", g.MaxChars);
    ini.writeInt("String", "MaxLength", g.LineWidth);

    const TApliSet& a = AppOptions;
    ini.writeInt("Application", "StayOnTask", a.TrayResident);
    ini.writeInt("Application", "HideOnTask", a.MinimizeToTray);
    ini.writeInt("Application", "TaskIcon", a.TrayIconAction);
    ini.writeInt("Application", "LastFileOpen", a.OpenLastFile);
    ini.writeInt("Application", "OldOpen", a.OpenPreviousInWindow);
    ini.writeInt("Application", "OnlyStart", a.SingleInstance);
    ini.writeInt("Application", "IMESwitch", a.ImeOnAtStart);
    ini.writeInt("Application", "BackUp", a.MakeBackup);

    ini.writeInt("FileHistry", "Switch", a.HistoryShown);
    ini.writeInt("FileHistry", "Number", a.HistoryCount);
    for (int i = 0; i < kHistorySlots; ++i)
        ini.writeString("FileHistry", std::to_string(i + 1),
                        a.History[static_cast<std::size_t>(i)]);

    ini.writeInt("FontParam", "Pich", a.AnyPitchFont);
    ini.writeInt("DefaultPos", "Position", a.RestorePosition);

    ini.writeString("FontParam", "Name", font.Name);
    ini.writeInt("FontParam", "Size", font.Size);
    ini.writeInt("FontParam", "Color", font.Color);

    try {
        fileio::writeAll(SettingsPath, ini.bytes());
    } catch (const MMEditError&) {
        throw MMEditError(createErrorText(SettingsPath));
    }
}

namespace {
void copyNine(const TSetting& from, TSetting& to) {
    to.MagTitle = from.MagTitle;
    to.AuthorMail = from.AuthorMail;
    to.HomeUrl = from.HomeUrl;
    to.AuthorName = from.AuthorName;
    to.IssueDay = from.IssueDay;
    to.LaunchDay = from.LaunchDay;
    to.SaveFolder = from.SaveFolder;
    to.LineWidth = from.LineWidth;
    to.MaxChars = from.MaxChars;
}
} // namespace

void SettingsState::CopyGlobalToDoc() {
    copyNine(GlobalParams, DocParams);
}
void SettingsState::CopyGlobalToNewDoc() {
    copyNine(GlobalParams, NewDocParams);
}

void SettingsState::CopyNewDocToDoc() {
    const std::string folder = DocParams.SaveFolder;
    DocParams = NewDocParams;
    DocParams.SaveFolder = folder;
}

void SettingsState::AddToHistory() {
    auto& h = AppOptions.History;
    int found = -1;
    for (int i = 0; i < kHistorySlots; ++i) {
        if (h[static_cast<std::size_t>(i)] == CurrentFile) {
            found = i;
            break;
        }
    }
    if (found >= 0 && found < kHistorySlots - 1) {
        for (int j = found; j > 0; --j)
            h[static_cast<std::size_t>(j)] = h[static_cast<std::size_t>(j - 1)];
    } else {
        for (int j = kHistorySlots - 1; j > 0; --j)
            h[static_cast<std::size_t>(j)] = h[static_cast<std::size_t>(j - 1)];
        AppOptions.HistoryCount =
            AppOptions.HistoryCount < kHistorySlots ? AppOptions.HistoryCount + 1 : kHistorySlots;
    }
    h[0] = CurrentFile;
}

std::string DocField(int number, const TSetting& r) {
    switch (number) {
    case 1:
        return r.MagTitle;
    case 2:
        return r.AuthorMail;
    case 3:
        return r.HomeUrl;
    case 4:
        return r.AuthorName;
    case 5:
        return r.IssueDay;
    case 6:
        return r.LaunchDay;
    default:
        return {};
    }
}

QString helpAnchor(const QString& keyword) {
    if (keyword.isEmpty()) return {};
    if (keyword == QStringLiteral("基本設定と全体基本設定")) return QStringLiteral("settings");
    if (keyword == QStringLiteral("顔文字パレット")) return QStringLiteral("face-palette");
    if (keyword == QStringLiteral("パターンパレット")) return QStringLiteral("frame-palette");
    return keyword;
}

void ShowHelp(Shell& shell, const std::string& programFolder, const QString& keyword) {
    const std::string page = programFolder + "help/index.html";
    if (!fileio::isRegularFile(page)) throw MMEditError(openErrorText(page));
    QUrl url = QUrl::fromLocalFile(QFile::decodeName(page.c_str()));
    const QString anchor = helpAnchor(keyword);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    shell.open(url.toString(QUrl::FullyEncoded));
}
