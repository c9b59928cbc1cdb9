#include "cli.h"

#include "settings/profile.h"
#include "settings/settings.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/gapbuffer.h"
#include "text/lineview.h"

#include <charconv>
#include <string_view>

namespace {

// Exit status of a usage or file error.
constexpr int kErrorStatus = 2;

constexpr std::string_view kWidthOption = "--width";
constexpr std::string_view kWidthOptionWithValue = "--width=";

constexpr const char* kUsage =
    "使い方: mmedit-cli view [--width N] FILE\n"
    "        mmedit-cli count [--width N] FILE\n"
    "\n"
    "  view   レイアウトした行を一行ずつ UTF-8 で表示します (編集画面と同じ折り返し)。\n"
    "  count  ステータスバーと同じ「総行数」と「総文字数=」を表示します。\n"
    "\n"
    "FILE は Shift-JIS (コードページ 932) のテキストです。N は一行の桁数 (半角単位)。\n"
    "N を省略すると、実行ファイルと同じフォルダの MMEdit.ini の [String] MaxLength、\n"
    "それもなければ 80 を使います。折り返しは編集画面と同じ禁則 (レベル 2)、\n"
    "単語の折り返し、句読点のぶら下げで行います。\n";

int fail(std::ostream& err, const std::string& message) {
    err << "mmedit-cli: " << message << "\n";
    return kErrorStatus;
}

// The line width of the settings file beside the program, as the editor reads
// it: a missing file, or one that is not a regular file, gives the default.
int defaultWidth(const std::string& programFolder) {
    return ProfileFile::load(programFolder + kSettingsFileName)
        .readInt("String", "MaxLength", kDefaultLineWidth);
}

bool isHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

} // namespace

int runCli(const std::vector<std::string>& args, const std::string& programFolder,
           std::ostream& out, std::ostream& err) {
    if (args.empty()) return fail(err, "コマンドがありません (--help で使い方を表示します)");
    if (isHelp(args[0]) || args[0] == "help") {
        out << kUsage;
        return 0;
    }
    const std::string& command = args[0];
    if (command != "view" && command != "count")
        return fail(err, "不明なコマンドです: " + command + " (--help で使い方を表示します)");

    int width = 0;
    bool widthGiven = false;
    std::string file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (isHelp(arg)) {
            out << kUsage;
            return 0;
        }
        if (arg == kWidthOption || arg.starts_with(kWidthOptionWithValue)) {
            std::string value;
            if (arg == kWidthOption) {
                if (i + 1 >= args.size()) return fail(err, "--width に桁数がありません");
                value = args[++i];
            } else {
                value = arg.substr(kWidthOptionWithValue.size());
            }
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), width);
            if (ec != std::errc() || end != value.data() + value.size())
                return fail(err, "桁数が正しくありません: " + value);
            widthGiven = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail(err, "不明なオプションです: " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return fail(err, "ファイルは一つだけ指定してください");
        }
    }
    if (file.empty()) return fail(err, "ファイルが指定されていません");
    if (!widthGiven) width = defaultWidth(programFolder);
    if (width < 1) return fail(err, "桁数は 1 以上を指定してください");

    // At most what the editor holds; a larger file is refused before it is
    // read. The bytes go straight into the buffer, read once.
    GapBuffer buffer;
    try {
        buffer.readFile(file);
    } catch (const FileTooLargeError&) {
        return fail(err, "ファイルが大きすぎます: " + file);
    } catch (const MMEditError& e) {
        return fail(err, e.message().toStdString());
    }
    const std::string_view text = buffer.all();
    const LayoutRules rules{width, kNewsletterWrapMode, {}};

    if (command == "count") {
        const TextTotals totals = LineView::measure(text, rules);
        out << "総行数" << totals.lines << "\n"
            << "総文字数=" << totals.characters << "\n";
        return 0;
    }

    LineView view;
    view.setRules(rules);
    view.layoutAll(text);
    // The lines go out in large pieces, not line by line.
    constexpr std::size_t kOutputPiece = std::size_t{1} << 16;
    std::string piece;
    piece.reserve(kOutputPiece + 1024);
    for (std::size_t i = 0; i < view.count(); ++i) {
        const LaidLine line = view.line(i);
        cp932::appendUtf8(piece, text.substr(line.start, line.length));
        piece += '\n';
        if (piece.size() >= kOutputPiece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            piece.clear();
        }
    }
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    return 0;
}
