#include "smtp.h"

#include "dynamiclibrary.h"

#include "text/mailexport.h"

#include <QUrl>

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace smtp {
namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// The library's name with its interface version, as the system installs it.
constexpr char kCurlLibrary[] = "libcurl.so.4";
constexpr int kSmtpsPort = 465;
constexpr int kSubmissionPort = 587;

bool isLoopbackHost(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
    // 127.0.0.0/8 and ::1, as the URL spells them.
    if (host == QStringLiteral("::1")) return true;
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4 || parts[0] != QStringLiteral("127")) return false;
    for (const QString& part : parts) {
        bool number = false;
        const int n = part.toInt(&number);
        if (!number || n < 0 || n > 255) return false;
    }
    return true;
}

// What the transfer saw of the conversation: the last command the program
// sent and the server's last reply, so that a refusal names its step.
struct Conversation {
    std::string command;   // "MAIL", "RCPT", "DATA", "AUTH", ...
    std::string argument;  // the recipient of the last RCPT
    std::string reply;     // the last reply line
    std::string stage;     // the command it answered
    std::string recipient; // the recipient of that command, when RCPT
    bool dataStarted = false;
};

std::string trimmedLine(const char* data, std::size_t size) {
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    // A multi-line reply arrives in one piece at times: its last line counts.
    const std::size_t cut = line.find_last_of("\r\n");
    return cut == std::string::npos ? line : line.substr(cut + 1);
}

int onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* context) {
    auto* c = static_cast<Conversation*>(context);
    if (type == CURLINFO_HEADER_OUT) {
        const std::string line = trimmedLine(data, size);
        const std::size_t space = line.find_first_of(" :");
        std::string verb = line.substr(0, space);
        std::transform(verb.begin(), verb.end(), verb.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
        c->command = verb;
        if (verb == "RCPT") {
            const std::size_t lt = line.find('<'), gt = line.rfind('>');
            c->argument = lt != std::string::npos && gt != std::string::npos && gt > lt
                              ? line.substr(lt + 1, gt - lt - 1)
                              : std::string();
        }
        if (verb == "DATA") c->dataStarted = true;
    } else if (type == CURLINFO_HEADER_IN && c->command != "QUIT") {
        // The reply to QUIT tells nothing of what went wrong before it.
        const std::string line = trimmedLine(data, size);
        if (!line.empty()) {
            c->reply = line;
            c->stage = c->command;
            c->recipient = c->argument;
        }
    }
    return 0;
}

struct Upload {
    const std::string& message;
    std::size_t sent = 0;
};

std::size_t onRead(char* buffer, std::size_t size, std::size_t count, void* context) {
    auto* up = static_cast<Upload*>(context);
    const std::size_t n = std::min(size * count, up->message.size() - up->sent);
    std::memcpy(buffer, up->message.data() + up->sent, n);
    up->sent += n;
    return n;
}

struct ProgressContext {
    const Progress* progress;
    std::uint64_t total;
};

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* p = static_cast<ProgressContext*>(context);
    if (!*p->progress) return 0;
    const auto sent = static_cast<std::uint64_t>(std::max<curl_off_t>(ulnow, 0));
    return (*p->progress)(std::min(sent, p->total), p->total) ? 0 : 1;
}

// libcurl, loaded when the first message is sent: most runs send none, and
// the library brings some thirty others (TLS, Kerberos, LDAP) that would
// otherwise be loaded and set up at every start of the program.
struct Curl {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_easy_init) init = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;
    decltype(&curl_easy_strerror) codeText = nullptr;
    decltype(&curl_slist_append) slistAppend = nullptr;
    decltype(&curl_slist_free_all) slistFreeAll = nullptr;
    QString problem; // why it could not be loaded
};

using dynamiclibrary::findFunction;

// The library, set up once; without its functions, and with the reason,
// when it cannot be loaded.
const Curl& curlLibrary() {
    static const Curl loaded = [] {
        Curl c;
        void* library = ::dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library || !findFunction(library, "curl_global_init", c.globalInit) ||
            !findFunction(library, "curl_easy_init", c.init) ||
            !findFunction(library, "curl_easy_setopt", c.setopt) ||
            !findFunction(library, "curl_easy_perform", c.perform) ||
            !findFunction(library, "curl_easy_getinfo", c.getinfo) ||
            !findFunction(library, "curl_easy_cleanup", c.cleanup) ||
            !findFunction(library, "curl_easy_strerror", c.codeText) ||
            !findFunction(library, "curl_slist_append", c.slistAppend) ||
            !findFunction(library, "curl_slist_free_all", c.slistFreeAll)) {
            c = Curl();
            c.problem = QString::fromLocal8Bit(::dlerror());
            return c;
        }
        c.globalInit(CURL_GLOBAL_DEFAULT);
        return c;
    }();
    return loaded;
}

QString withReply(const QString& message, const std::string& reply) {
    if (reply.empty()) return message;
    return message + u("\nサーバーの応答: ") + QString::fromUtf8(reply);
}

// The user's message for the outcome of the transfer.
Result describe(CURLcode code, long response, const Conversation& talk, const QString& host,
                const Server& server) {
    Result r;
    r.reply = talk.reply;
    auto set = [&](Failure f, const QString& message) {
        r.failure = f;
        r.message = message;
        return r;
    };
    switch (code) {
    case CURLE_OK:
        return r;
    case CURLE_ABORTED_BY_CALLBACK:
        return set(Failure::cancelled, u("送信を取り消しました。"));
    case CURLE_COULDNT_RESOLVE_HOST:
        return set(Failure::nameNotFound,
                   u("サーバー %1 が見つかりません。サーバーの名前を確かめてください。").arg(host));
    case CURLE_COULDNT_CONNECT:
        return set(Failure::connectionFailed,
                   u("サーバー %1 に接続できません (接続を拒否されたか、届きません)。"
                     "サーバーの名前とポート番号を確かめてください。")
                       .arg(host));
    case CURLE_OPERATION_TIMEDOUT:
        return set(Failure::timedOut,
                   u("サーバー %1 が応答しません (時間切れ)。しばらくしてからもう一度"
                     "送信してください。")
                       .arg(host));
    case CURLE_USE_SSL_FAILED:
        return set(Failure::noStartTls,
                   u("サーバー %1 は STARTTLS (暗号化) に対応していないため送信しません。"
                     "暗号化しない接続ではパスワードもメールも送りません。"
                     "smtps:// のアドレスを使ってください。")
                       .arg(host));
    case CURLE_PEER_FAILED_VERIFICATION:
        return set(Failure::certificate,
                   u("サーバー %1 の証明書を信頼できません (証明書が正しくないか、"
                     "信頼できる認証局の署名がありません)。")
                       .arg(host));
    case CURLE_SSL_CACERT_BADFILE:
        return set(Failure::caFile,
                   u("認証局の証明書ファイル %1 を読めません。").arg(server.caFile));
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
        return set(Failure::tls, u("サーバー %1 と暗号化した接続を始められません。").arg(host));
    case CURLE_LOGIN_DENIED:
        return set(Failure::authentication,
                   withReply(u("サーバー %1 がログインを拒否しました。ユーザー名とパスワードを"
                               "確かめてください。")
                                 .arg(host),
                             talk.reply));
    default:
        break;
    }
    // A refusal of a step ends the transfer with the server's code; without
    // one, the connection went.
    if (response >= 400) {
        if (response == 530)
            return set(Failure::authentication,
                       withReply(u("サーバー %1 はログインしないと送信できません。"
                                   "送信の設定でユーザー名を入力してください。")
                                     .arg(host),
                                 talk.reply));
        if (talk.stage == "AUTH")
            return set(
                Failure::authentication,
                withReply(u("サーバー %1 がログインを拒否しました。").arg(host), talk.reply));
        if (talk.stage == "MAIL")
            return set(
                Failure::senderRefused,
                withReply(u("サーバーが差出人のアドレスを受け付けませんでした。"), talk.reply));
        if (talk.stage == "RCPT")
            return set(Failure::recipientRefused,
                       withReply(u("サーバーが宛先 %1 を受け付けませんでした。")
                                     .arg(QString::fromStdString(talk.recipient)),
                                 talk.reply));
        if (talk.dataStarted)
            return set(Failure::messageRefused,
                       withReply(u("サーバーがメールを受け付けませんでした。"), talk.reply));
        return set(Failure::other, withReply(u("サーバーが送信を断りました。"), talk.reply));
    }
    if (code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING ||
        code == CURLE_PARTIAL_FILE || code == CURLE_WEIRD_SERVER_REPLY)
        return set(
            Failure::connectionLost,
            u("サーバー %1 との接続が途中で切れました。メールは送られていません。").arg(host));
    return set(Failure::other,
               u("送信できませんでした: %1").arg(QString::fromUtf8(curlLibrary().codeText(code))));
}

struct CurlDeleter {
    void operator()(CURL* c) const { curlLibrary().cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curlLibrary().slistFreeAll(l); }
};

} // namespace

CheckedUrl checkUrl(const QString& text) {
    CheckedUrl c;
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (text.trimmed().isEmpty()) {
        c.problem = u("送信サーバーが設定されていません。");
        return c;
    }
    if (!url.isValid() || (scheme != QStringLiteral("smtps") && scheme != QStringLiteral("smtp")) ||
        url.host().isEmpty() || (!url.path().isEmpty() && url.path() != QStringLiteral("/")) ||
        url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty()) {
        c.problem = u("送信サーバーのアドレスが正しくありません: %1 (smtps://サーバー名:465 か "
                      "smtp://サーバー名:587 の形で入力してください)")
                        .arg(text);
        return c;
    }
    c.tls = scheme == QStringLiteral("smtps");
    c.loopback = isLoopbackHost(url.host());
    const int port = url.port(c.tls ? kSmtpsPort : kSubmissionPort);
    QUrl whole;
    whole.setScheme(scheme);
    whole.setHost(url.host());
    whole.setPort(port);
    c.url = whole.toString(QUrl::FullyEncoded).toStdString();
    return c;
}

std::vector<std::string> bareAddresses(const QString& field) {
    std::vector<std::string> out;
    for (const QString& item : mailexport::splitAddressList(field)) {
        QString entry = item.trimmed();
        const qsizetype lt = entry.lastIndexOf(QLatin1Char('<'));
        if (lt >= 0 && entry.endsWith(QLatin1Char('>')))
            entry = entry.mid(lt + 1, entry.size() - lt - 2).trimmed();
        if (!entry.isEmpty()) out.push_back(entry.toStdString());
    }
    return out;
}

Result submit(const Server& server, const QString& password, const std::string& sender,
              const std::vector<std::string>& recipients, const std::string& message,
              const Timeouts& timeouts, const Progress& progress) {
    const CheckedUrl checked = checkUrl(server.url);
    if (checked.url.empty()) {
        Result r;
        r.failure = Failure::badServer;
        r.message = checked.problem;
        return r;
    }
    const QString host = QUrl(server.url.trimmed()).host();
    const Curl& lib = curlLibrary();
    if (!lib.init) {
        Result r;
        r.failure = Failure::other;
        r.message = u("送信に使うライブラリ (libcurl) を読み込めません: %1").arg(lib.problem);
        return r;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(lib.init());
    if (!curl) {
        Result r;
        r.failure = Failure::other;
        r.message = u("送信の準備ができません (メモリが不足しています)。");
        return r;
    }
    CURL* c = curl.get();
    curl_slist* list = nullptr;
    for (const std::string& to : recipients)
        if (curl_slist* longer = lib.slistAppend(list, ("<" + to + ">").c_str())) list = longer;
    const std::unique_ptr<curl_slist, ListDeleter> rcpt(list);
    const std::string from = "<" + sender + ">";
    const std::string user = server.user.toStdString();
    const std::string pass = password.toStdString();
    const std::string caFile = server.caFile.toStdString();
    Upload upload{message};
    Conversation talk;
    ProgressContext progressContext{&progress, message.size()};
    char errorText[CURL_ERROR_SIZE] = {};

    lib.setopt(c, CURLOPT_URL, checked.url.c_str());
    lib.setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    lib.setopt(c, CURLOPT_NOSIGNAL, 1L);
    // smtps:// is encrypted from the start; smtp:// must turn to TLS, except
    // to a relay on this machine.
    if (!checked.tls)
        lib.setopt(c, CURLOPT_USE_SSL,
                   checked.loopback ? static_cast<long>(CURLUSESSL_TRY)
                                    : static_cast<long>(CURLUSESSL_ALL));
    lib.setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    lib.setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) lib.setopt(c, CURLOPT_CAINFO, caFile.c_str());
    if (!user.empty()) {
        lib.setopt(c, CURLOPT_USERNAME, user.c_str());
        lib.setopt(c, CURLOPT_PASSWORD, pass.c_str());
    }
    lib.setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    lib.setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    lib.setopt(c, CURLOPT_UPLOAD, 1L);
    lib.setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    lib.setopt(c, CURLOPT_READFUNCTION, onRead);
    lib.setopt(c, CURLOPT_READDATA, &upload);
    lib.setopt(c, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
    lib.setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts.stalledSeconds);
    lib.setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    lib.setopt(c, CURLOPT_LOW_SPEED_TIME, timeouts.stalledSeconds);
    lib.setopt(c, CURLOPT_NOPROGRESS, 0L);
    lib.setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    lib.setopt(c, CURLOPT_XFERINFODATA, &progressContext);
    lib.setopt(c, CURLOPT_VERBOSE, 1L);
    lib.setopt(c, CURLOPT_DEBUGFUNCTION, onDebug);
    lib.setopt(c, CURLOPT_DEBUGDATA, &talk);
    lib.setopt(c, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = lib.perform(c);
    long response = 0;
    lib.getinfo(c, CURLINFO_RESPONSE_CODE, &response);
    return describe(code, response, talk, host, server);
}

} // namespace smtp
