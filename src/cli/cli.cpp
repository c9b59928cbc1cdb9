#include "cli.h"

#include "mail/outgoing.h"
#include "mail/secretstore.h"
#include "mail/smtp.h"
#include "settings/settings.h"
#include "text/cp932.h"
#include "text/encoding.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/gapbuffer.h"
#include "text/lineview.h"
#include "text/mailcheck.h"
#include "text/mailexport.h"
#include "text/textexport.h"

#include <QDateTime>
#include <QString>

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

// Exit statuses: the findings of check (and the characters that keep eml
// from writing), and a usage or file error.
constexpr int kFindingsStatus = 1;
constexpr int kErrorStatus = 2;

constexpr const char* kUsage =
    "使い方: mmedit-cli view [--width N] FILE\n"
    "        mmedit-cli count [--width N] FILE\n"
    "        mmedit-cli check [--width N] [--max-chars N] FILE\n"
    "        mmedit-cli wrap [--width N] FILE [-o OUT]\n"
    "        mmedit-cli html [--width N] FILE -o OUT\n"
    "        mmedit-cli eml --from A --to B --subject S [--width N] [--replace] FILE -o OUT\n"
    "        mmedit-cli send --server URL --from A --to B [--to C ...] --subject S\n"
    "                   [--reply-to R] [--user U] [--cacert CA] [--timeout SEC]\n"
    "                   [--width N] [--replace] FILE\n"
    "        mmedit-cli import FILE [-o OUT]\n"
    "\n"
    "  view   レイアウトした行を一行ずつ UTF-8 で表示します (編集画面と同じ折り返し)。\n"
    "  count  ステータスバーと同じ「総行数」と「総文字数=」を表示します。\n"
    "  check  送信チェック: 機種依存文字、半角カナ、Shift-JIS でないバイト、制御文字、\n"
    "         タブ (警告)、単独の CR や LF、一行の桁数を超える行、一行の桁数より\n"
    "         長いアドレス (警告)、文字数の上限を超えるテキストを一件一行で表示し\n"
    "         (行:桁: 種類: 文字 (コード) → 置換候補)、\n"
    "         最後に件数を表示します。終了ステータスは問題がなければ 0、あれば 1 です。\n"
    "  wrap   折り返し位置に改行を入れたテキスト (送信用に整形) を Shift-JIS で\n"
    "         標準出力 (-o を指定したときはそのファイル) に書き出します。\n"
    "         URL とメールアドレスは切らずに次の行へ送り、一行の桁数より長いものは\n"
    "         一行に置いて警告を標準エラー出力に表示します (eml も同じ)。\n"
    "  html   編集画面と同じ HTML ファイルを OUT に書き出します。\n"
    "  eml    メールとして書き出します: From, To, Subject と ISO-2022-JP の本文\n"
    "         (送信用に整形、改行は CR LF) の .eml ファイルを OUT に作ります。\n"
    "         ISO-2022-JP で送れない文字があるときは一覧を表示して書き出さず、\n"
    "         終了ステータス 1 で終わります。--replace を付けると置換候補のある文字は\n"
    "         候補に置き換えて書き出します (FILE は変わりません)。\n"
    "  send   eml と同じメールを SMTP サーバー URL (smtps://サーバー:465 か STARTTLS\n"
    "         必須の smtp://サーバー:587) に送ります。パスワードは環境変数\n"
    "         MMEDIT_SMTP_PASSWORD かパスワード保存先から読みます。--timeout は\n"
    "         応答を待つ秒数 (既定 60)。送れない文字は 1、送信の失敗は 2 で終わります。\n"
    "  import UTF-8 (BOM の有無を問わず)、BOM 付きの UTF-16、EUC-JP、ISO-2022-JP の\n"
    "         テキストを判別して Shift-JIS (コードページ 932)、改行 CR LF に変換し、\n"
    "         標準出力 (-o を指定したときはそのファイル) に書き出します。\n"
    "         Shift-JIS のファイルはそのまま書き出します。Shift-JIS にない文字が\n"
    "         あるときは一覧 (行 桁: 文字 (コード)) を表示して何も書き出さず、\n"
    "         終了ステータス 1 で終わります。\n"
    "\n"
    "FILE は Shift-JIS (コードページ 932) のテキストです。N は一行の桁数 (半角単位) と\n"
    "文字数の上限で、指定した値をそのまま使います (--max-chars 0 は上限なし)。\n"
    "省略すると編集画面と同じ値を使います: 設定ファイル MMEdit.ini (実行ファイルと\n"
    "同じフォルダ、インストールしたときは ~/.config/MMEdit/) の [String] MaxLength\n"
    "(桁数) と MaxString (文字数) を 10〜80 桁と 10〜30000 文字の範囲に収めた値、\n"
    "設定がなければ 80 と 30000 です。折り返しは編集画面と同じ禁則 (レベル 2)、\n"
    "単語の折り返し、句読点のぶら下げで行います。\n"
    "終了ステータス: 0 成功、1 問題あり (check, eml, send, import)、2 使い方やファイルの\n"
    "誤り、送信の失敗 (標準出力に書き込めなかったときも 2)。\n";

int fail(std::ostream& err, const std::string& message) {
    err << "mmedit-cli: " << message << "\n";
    return kErrorStatus;
}

int failWith(std::ostream& err, const QString& message) {
    return fail(err, message.toStdString());
}

// Runs one step of a command on its file: a file too large, an error of the
// program (unreadable file, refused write) and a failed allocation end the
// command with their message and the file error's status.
template <class Step> int guardedStep(std::ostream& err, const std::string& file, Step step) {
    try {
        return step();
    } catch (const FileTooLargeError&) {
        return fail(err, "ファイルが大きすぎます: " + file);
    } catch (const MMEditError& e) {
        return failWith(err, e.message());
    } catch (const std::bad_alloc&) {
        return fail(err, "メモリが不足しています");
    }
}

bool isHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

// What a command takes.
struct Command {
    const char* name;
    bool output;      // -o OUT
    bool needsOutput; // -o OUT is required
    bool maxChars;    // --max-chars N
    bool mail;        // --from, --to, --subject, --replace
    bool send;        // --server, --user, --reply-to, --cacert, --timeout; --to repeats
};
constexpr Command kCommands[] = {
    {"view", false, false, false, false, false}, {"count", false, false, false, false, false},
    {"check", false, false, true, false, false}, {"wrap", true, false, false, false, false},
    {"html", true, true, false, false, false},   {"eml", true, true, false, true, false},
    {"send", false, false, false, true, true},   {"import", true, false, false, false, false},
};

struct Arguments {
    std::optional<int> width;
    std::optional<int> maxChars;
    std::string output;
    std::optional<std::string> from, to, subject;
    bool replace = false;
    std::string server, user, replyTo, caFile;
    std::optional<int> timeout;
    std::string file;
};

bool parseNumber(const std::string& value, int& n) {
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    return ec == std::errc() && end == value.data() + value.size();
}

// Reads the options of a command; returns an error message, empty when the
// arguments are good.
std::string parse(const Command& c, const std::vector<std::string>& args, Arguments& a,
                  bool& help) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (isHelp(arg)) {
            help = true;
            return {};
        }
        // "--name VALUE" or "--name=VALUE".
        std::string name = arg, value;
        bool inlineValue = false;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            inlineValue = true;
        }
        auto takeValue = [&](const char* what) -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            (void)what;
            return true;
        };
        if (name == "--width") {
            if (!takeValue("width")) return "--width に桁数がありません";
            int n = 0;
            if (!parseNumber(value, n)) return "桁数が正しくありません: " + value;
            if (n < 1) return "桁数は 1 以上を指定してください";
            a.width = n;
        } else if (name == "--max-chars" && c.maxChars) {
            if (!takeValue("max")) return "--max-chars に文字数がありません";
            int n = 0;
            if (!parseNumber(value, n)) return "文字数が正しくありません: " + value;
            if (n < 0) return "文字数は 0 以上を指定してください";
            a.maxChars = n;
        } else if ((name == "-o" || name == "--output") && c.output) {
            if (!takeValue("output") || value.empty()) return "出力ファイルがありません";
            a.output = value;
        } else if (name == "--to" && c.send) {
            // Each --to adds a recipient.
            if (!takeValue("field")) return name + " に値がありません";
            a.to = a.to ? *a.to + ", " + value : value;
        } else if ((name == "--from" || name == "--to" || name == "--subject") && c.mail) {
            if (!takeValue("field")) return name + " に値がありません";
            (name == "--from" ? a.from : name == "--to" ? a.to : a.subject) = value;
        } else if ((name == "--server" || name == "--user" || name == "--reply-to" ||
                    name == "--cacert") &&
                   c.send) {
            if (!takeValue("field") || value.empty()) return name + " に値がありません";
            (name == "--server"     ? a.server
             : name == "--user"     ? a.user
             : name == "--reply-to" ? a.replyTo
                                    : a.caFile) = value;
        } else if (name == "--timeout" && c.send) {
            if (!takeValue("timeout")) return "--timeout に秒数がありません";
            int n = 0;
            if (!parseNumber(value, n) || n < 1) return "秒数が正しくありません: " + value;
            a.timeout = n;
        } else if (name == "--replace" && c.mail && !inlineValue) {
            a.replace = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "不明なオプションです: " + arg;
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "ファイルは一つだけ指定してください";
        }
    }
    if (a.file.empty()) return "ファイルが指定されていません";
    if (c.needsOutput && a.output.empty()) return "出力ファイル (-o OUT) を指定してください";
    if (c.mail) {
        if (!a.from) return "--from (差出人) を指定してください";
        if (!a.to) return "--to (宛先) を指定してください";
        if (!a.subject) return "--subject (件名) を指定してください";
    }
    if (c.send && a.server.empty()) return "--server (送信サーバー) を指定してください";
    return {};
}

// Writes bytes in large pieces.
void writeOut(std::ostream& out, std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// "12:5: 機種依存文字(NEC特殊文字): ① (0x8740) → (1)"
std::string findingLine(std::string_view text, const mailcheck::Finding& f) {
    QString kind = mailcheck::kindName(f.kind);
    if (f.kind == mailcheck::Kind::longLine || f.kind == mailcheck::Kind::longAddress)
        kind += QStringLiteral("(%1桁)").arg(f.extent);
    else if (f.kind == mailcheck::Kind::overLimit)
        kind += QStringLiteral("(%1文字)").arg(f.extent);
    QString line = QStringLiteral("%1:%2: %3: %4")
                       .arg(f.line)
                       .arg(f.column)
                       .arg(kind, mailcheck::characterText(text, f));
    const QString code = mailcheck::codeText(f);
    if (!code.isEmpty()) line += QStringLiteral(" (%1)").arg(code);
    const QString suggestion = mailcheck::suggestionText(text, f);
    if (!suggestion.isEmpty()) line += QStringLiteral(" → ") + suggestion;
    return line.toStdString() + "\n";
}

void listFindings(std::ostream& out, std::string_view text,
                  const std::vector<mailcheck::Finding>& findings) {
    std::string piece;
    for (const mailcheck::Finding& f : findings) {
        piece += findingLine(text, f);
        if (piece.size() >= (std::size_t{1} << 16)) {
            writeOut(out, piece);
            piece.clear();
        }
    }
    writeOut(out, piece);
}

int runCheck(std::ostream& out, std::string_view text, const mailcheck::Options& options) {
    const std::vector<mailcheck::Finding> findings = mailcheck::check(text, options);
    listFindings(out, text, findings);
    if (findings.empty()) {
        out << "送信チェック: 問題は見つかりませんでした\n";
        return 0;
    }
    std::size_t warnings = 0;
    for (const mailcheck::Finding& f : findings)
        if (mailcheck::isWarning(f.kind)) ++warnings;
    out << "送信チェック: " << findings.size() << "件 (エラー" << findings.size() - warnings
        << "件、警告" << warnings << "件)\n";
    return kFindingsStatus;
}

// Addresses are sent whole: one longer than the width stays on a line of
// its own that runs past it, which is told on the error output (the text is
// written all the same).
void warnLongAddresses(std::ostream& err, std::string_view text, const LayoutRules& rules) {
    mailcheck::Options options;
    options.layout = rules;
    std::string piece;
    for (const mailcheck::Finding& f : mailcheck::check(text, options)) {
        if (f.kind != mailcheck::Kind::longAddress) continue;
        piece += QStringLiteral("mmedit-cli: 警告: %1:%2: 一行の桁数 (%3) より長いアドレス (%4桁) "
                                "は切らずに一行に置きました: %5\n")
                     .arg(f.line)
                     .arg(f.column)
                     .arg(rules.width)
                     .arg(f.extent)
                     .arg(mailcheck::characterText(text, f))
                     .toStdString();
    }
    writeOut(err, piece);
}

// The body and the subject made sendable as eml and send do: the characters
// ISO-2022-JP cannot carry are listed and refused, or with --replace put in
// their suggestions. Returns the findings status when refused.
int sendable(std::ostream& err, std::string& body, QString& subject, const Arguments& a,
             const char* refused) {
    std::vector<mailcheck::Finding> bad = mailexport::uncarried(body);
    if (!bad.empty() && a.replace) {
        body = mailcheck::applyEdits(body, mailcheck::replacementEdits(body, bad));
        bad = mailexport::uncarried(body);
    }
    if (a.replace) subject = mailexport::subjectWithSuggestions(subject);
    if (!bad.empty()) {
        listFindings(err, body, bad);
        err << "mmedit-cli: ISO-2022-JP で送れない文字が " << bad.size() << "件あるため" << refused
            << (a.replace ? "" : " (--replace で置換候補のある文字を置き換えます)") << "\n";
        return kFindingsStatus;
    }
    return 0;
}

int runEml(std::ostream& err, std::string_view text, const Arguments& a, const LayoutRules& rules) {
    std::string body(text);
    QString subject = QString::fromUtf8(*a.subject);
    if (const int status = sendable(err, body, subject, a, "書き出しませんでした")) return status;
    mailexport::MailFields fields;
    fields.from = QString::fromUtf8(*a.from);
    fields.to = QString::fromUtf8(*a.to);
    fields.subject = subject;
    const std::string message =
        mailexport::message(body, fields, rules, QDateTime::currentDateTime());
    fileio::writeAll(a.output, message);
    warnLongAddresses(err, body, rules);
    return 0;
}

// Submits the mail eml would write to the SMTP server. The password comes
// from the environment, else from the desktop's secret store; never from the
// command line.
int runSend(std::ostream& out, std::ostream& err, std::string_view text, const Arguments& a,
            const LayoutRules& rules) {
    std::string body(text);
    QString subject = QString::fromUtf8(*a.subject);
    if (const int status = sendable(err, body, subject, a, "送信しませんでした")) return status;
    const smtp::CheckedUrl url = smtp::checkUrl(QString::fromStdString(a.server));
    if (url.url.empty()) return failWith(err, url.problem);
    mailexport::MailFields fields;
    fields.from = QString::fromUtf8(*a.from);
    fields.to = QString::fromUtf8(*a.to);
    fields.subject = subject;
    const outgoing::Message message = outgoing::build(body, fields, QString::fromUtf8(a.replyTo),
                                                      rules, QDateTime::currentDateTime());

    smtp::Server server;
    server.url = QString::fromStdString(url.url);
    server.user = QString::fromUtf8(a.user);
    server.caFile = QString::fromLocal8Bit(a.caFile);
    QString password;
    if (!a.user.empty()) {
        if (const char* env = std::getenv("MMEDIT_SMTP_PASSWORD")) {
            password = QString::fromUtf8(env);
        } else {
            DesktopSecretStore store;
            const std::optional<QString> kept = store.find(server.url, server.user);
            if (!kept)
                return fail(err,
                            "パスワードがありません: 環境変数 MMEDIT_SMTP_PASSWORD に入れるか、"
                            "デスクトップのパスワード保存先に保存してください");
            password = *kept;
        }
    }
    smtp::Timeouts timeouts;
    if (a.timeout) timeouts.connectSeconds = timeouts.stalledSeconds = *a.timeout;
    const smtp::Result r =
        smtp::submit(server, password, message.sender, message.recipients, message.bytes, timeouts);
    if (!r.ok()) return failWith(err, r.message);
    warnLongAddresses(err, body, rules);
    out << "送信しました: " << fields.to.toStdString() << " (" << url.url << ")\n";
    return 0;
}

// Converts a file in another encoding to code page 932 with CR LF; nothing
// is written when a character has no code.
int runImport(std::ostream& out, std::ostream& err, const Arguments& a) {
    // A UTF-16 file takes twice the bytes of the text it converts to.
    const std::string bytes = fileio::readAll(a.file, 2 * kMaxDocumentBytes);
    const encoding::Kind kind = encoding::detect(bytes);
    const encoding::Conversion c = encoding::toCp932(bytes, kind);
    if (!c.ok()) {
        writeOut(err, encoding::describe(c.bad).toStdString());
        err << "mmedit-cli: " << encoding::nameOf(kind).toStdString()
            << " から変換できない文字 (Shift-JIS にない文字) が " << c.bad.size()
            << "件あるため書き出しませんでした\n";
        return kFindingsStatus;
    }
    if (c.bytes.size() > kMaxDocumentBytes) return fail(err, "ファイルが大きすぎます: " + a.file);
    if (a.output.empty())
        writeOut(out, c.bytes);
    else
        fileio::writeAll(a.output, c.bytes);
    return 0;
}

int runCommandLine(const std::vector<std::string>& args, const std::string& programFolder,
                   std::ostream& out, std::ostream& err) {
    if (args.empty()) return fail(err, "コマンドがありません (--help で使い方を表示します)");
    if (isHelp(args[0]) || args[0] == "help") {
        out << kUsage;
        return 0;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (args[0] == c.name) command = &c;
    if (!command)
        return fail(err, "不明なコマンドです: " + args[0] + " (--help で使い方を表示します)");

    Arguments a;
    bool help = false;
    const std::string problem = parse(*command, args, a, help);
    if (help) {
        out << kUsage;
        return 0;
    }
    if (!problem.empty()) return fail(err, problem);

    if (std::string_view(command->name) == "import")
        return guardedStep(err, a.file, [&] { return runImport(out, err, a); });

    // What the options do not give is what the editor uses: the limits in
    // force for the settings file's values, found where the editor keeps the
    // file (a missing file, or one that is not a regular file, gives the
    // defaults).
    EffectiveLimits limits;
    if (!a.width || (command->maxChars && !a.maxChars)) {
        SettingsState settings;
        settings.setProgramFolder(programFolder);
        SettingsFont font;
        settings.load(font);
        limits = effectiveLimits(settings.global);
    }
    if (a.width) limits.lineWidth = *a.width;
    if (a.maxChars) limits.maxChars = *a.maxChars;

    const LayoutRules rules = limits.layoutRules();
    if (std::string_view(command->name) == "count") {
        // Read once in blocks, laid out without keeping lines or the text.
        return guardedStep(err, a.file, [&] {
            const TextTotals totals = LineView::measureFile(a.file, rules);
            out << "総行数" << totals.lines << "\n"
                << "総文字数=" << totals.characters << "\n";
            return 0;
        });
    }

    // At most what the editor holds; a larger file is refused before it is
    // read. The bytes go straight into the buffer, read once.
    GapBuffer buffer;
    if (const int status = guardedStep(err, a.file, [&] {
            buffer.readFile(a.file);
            return 0;
        }))
        return status;
    const std::string_view text = buffer.all();
    const std::string name = command->name;

    try {
        if (name == "check") {
            mailcheck::Options options;
            options.layout = rules;
            options.maxChars = static_cast<std::size_t>(std::max(0, limits.maxChars));
            return runCheck(out, text, options);
        }
        if (name == "wrap") {
            const std::string wrapped = textexport::hardWrapped(text, rules);
            if (a.output.empty())
                writeOut(out, wrapped);
            else
                fileio::writeAll(a.output, wrapped);
            warnLongAddresses(err, text, rules);
            return 0;
        }
        if (name == "html") {
            fileio::writeAll(a.output, textexport::htmlPage(text, rules));
            return 0;
        }
        if (name == "eml") return runEml(err, text, a, rules);
        if (name == "send") return runSend(out, err, text, a, rules);
    } catch (const MMEditError& e) {
        return failWith(err, e.message());
    } catch (const std::bad_alloc&) {
        return fail(err, "メモリが不足しています");
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
            writeOut(out, piece);
            piece.clear();
        }
    }
    writeOut(out, piece);
    return 0;
}

} // namespace

int runCli(const std::vector<std::string>& args, const std::string& programFolder,
           std::ostream& out, std::ostream& err) {
    const int status = runCommandLine(args, programFolder, out, err);
    // What could not be written (a full disk, a closed pipe) is a failure,
    // whatever the command found.
    out.flush();
    if (!out) return fail(err, "標準出力に書き込めませんでした");
    return status;
}
