#include "commandline.h"

#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace {

bool isHelp(const std::string& a) {
    return a == "-h" || a == "--help";
}

bool isVersion(const std::string& a) {
    return a == "-v" || a == "--version";
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && isHelp(a)) {
            line.action = CommandLine::Action::Help;
            return line;
        } else if (options && isVersion(a)) {
            line.action = CommandLine::Action::Version;
            return line;
        } else if (options && a.size() > 1 && a[0] == '-') {
            line.action = CommandLine::Action::Error;
            line.error = "不明なオプションです: " + a;
            return line;
        } else if (a.empty()) {
            line.action = CommandLine::Action::Error;
            line.error = "ファイル名が空です";
            return line;
        } else if (!line.file.empty()) {
            line.action = CommandLine::Action::Error;
            line.error = "ファイルは一つだけ指定してください";
            return line;
        } else {
            line.file = a;
        }
    }
    return line;
}

std::optional<std::string> helpOrVersionText(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (isHelp(a)) return usageText();
        if (isVersion(a)) return versionText();
    }
    return std::nullopt;
}

std::string usageText() {
    return "使い方: mmedit [オプション] [ファイル]\n"
           "\n"
           "「もるもる」メールマガジンエディタを起動します。ファイルを指定すると、\n"
           "そのファイル (Shift-JIS のテキスト) を開きます。\n"
           "多重起動の禁止 (MMEdit.ini の OnlyStart=1) のときにすでに起動していれば、\n"
           "その画面を前面に出してファイルを渡します。編集中の文章があれば、\n"
           "開く前に保存するかどうかを尋ねます。\n"
           "\n"
           "  -h, --help     この使い方を表示して終了します\n"
           "  -v, --version  バージョンを表示して終了します\n"
           "  --             これより後はファイル名として扱います\n";
}

std::string versionText() {
    return std::string("mmedit (「もるもる」メールマガジンエディタ) ") + MMEDIT_VERSION_TEXT + "\n";
}

std::string absolutePath(const std::string& path, const std::string& folder) {
    if (path.empty() || path[0] == '/' || folder.empty()) return path;
    std::string p = path;
    while (p.size() > 2 && p[0] == '.' && p[1] == '/')
        p.erase(0, 2);
    return folder + (folder.back() == '/' ? "" : "/") + p;
}

std::string workingFolder() {
    // getcwd with a null buffer allocates as much as the path needs.
    std::unique_ptr<char, decltype(&::free)> cwd(::getcwd(nullptr, 0), &::free);
    return cwd ? std::string(cwd.get()) : std::string();
}
