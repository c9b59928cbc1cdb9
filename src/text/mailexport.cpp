#include "mailexport.h"

#include "addresses.h"
#include "cp932.h"
#include "errors.h"
#include "textexport.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>

namespace mailexport {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kToJis = "\x1b$B";   // ESC $ B: JIS X 0208
constexpr std::string_view kToAscii = "\x1b(B"; // ESC ( B: ASCII
// The longest line a mail may have, without its CR LF (RFC 5322).
constexpr std::size_t kMaxMailLine = 998;
// Lines holding encoded words are at most 76 characters (RFC 2047).
constexpr std::size_t kMaxEncodedLine = 76;
// Plain header lines are folded before 78 characters (RFC 5322).
constexpr std::size_t kFoldAt = 78;
constexpr std::string_view kWordStart = "=?ISO-2022-JP?B?";
constexpr std::string_view kWordEnd = "?=";
// The shortest encoded word: one double-byte character between its escape
// sequences (8 bytes, 12 in Base64).
constexpr std::size_t kMinEncodedWord = 30;

// Control characters that would break ISO-2022-JP or a 7bit body.
bool breaksEncoding(unsigned b) {
    return b == 0x00 || b == 0x1B || b == 0x0E || b == 0x0F;
}

// The JIS X 0208 code (two bytes 0x21-0x7E) of a code page 932 code in the
// JIS X 0208 rows.
std::pair<char, char> toJis(std::uint16_t code) {
    unsigned s1 = code >> 8, s2 = code & 0xFF;
    unsigned j1 = (s1 <= 0x9F ? s1 - 0x71 : s1 - 0xB1) * 2 + 1;
    if (s2 > 0x7F) --s2;
    unsigned j2;
    if (s2 >= 0x9E) {
        ++j1;
        j2 = s2 - 0x7D;
    } else {
        j2 = s2 - 0x1F;
    }
    return {static_cast<char>(j1), static_cast<char>(j2)};
}

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// The characters of a list, for a message ("①、ｶ").
QString listed(std::string_view text, const std::vector<mailcheck::Finding>& findings) {
    QStringList parts;
    for (const mailcheck::Finding& f : findings) {
        const QString c = mailcheck::characterText(text, f);
        if (!parts.contains(c)) parts.append(c);
        if (parts.size() >= 10) {
            parts.append(QStringLiteral("…"));
            break;
        }
    }
    return parts.join(QStringLiteral("、"));
}

// A field value may not carry a line break or another control character
// (it would start a header field or the body of its own).
void refuseControls(const QString& value, const QString& what) {
    for (QChar c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            throw MMEditError(what + u("に改行や制御文字は使えません"));
}

// The code page 932 form of a header text; throws when it has characters
// that code page 932 or ISO-2022-JP cannot hold.
std::string headerBytes(const QString& value, const QString& what) {
    refuseControls(value, what);
    const cp932::EncodeResult e = cp932::encode(value);
    if (!e.ok()) {
        QString bad;
        for (const cp932::Unrepresentable& r : e.bad)
            bad += QString::fromUcs4(&r.ch, 1);
        throw MMEditError(what + u("に Shift-JIS で表せない文字があります: ") + bad);
    }
    const std::vector<mailcheck::Finding> bad = uncarried(e.bytes);
    if (!bad.empty())
        throw MMEditError(what + u("に ISO-2022-JP で送れない文字があります: ") +
                          listed(e.bytes, bad));
    return e.bytes;
}

bool isPrintableAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Encoded words of a code page 932 text, each small enough for its line: the
// first after `used` characters of its line, the others after a blank.
std::vector<std::string> encodedWords(std::string_view text, std::size_t used) {
    std::vector<std::string> words;
    std::size_t p = 0;
    while (p < text.size()) {
        const std::size_t room = kMaxEncodedLine - (words.empty() ? used : 1);
        // Base64 of n bytes takes 4 * ceil(n / 3) characters.
        const std::size_t maxBase64 = (room - kWordStart.size() - kWordEnd.size()) / 4 * 4;
        const std::size_t maxRaw = maxBase64 / 4 * 3;
        std::size_t end = p;
        std::string raw;
        while (end < text.size()) {
            const std::size_t next = cp932::nextBoundary(text, end);
            const std::string candidate = toIso2022Jp(text.substr(p, next - p)).bytes;
            if (candidate.size() > maxRaw && end > p) break;
            raw = candidate;
            end = next;
        }
        const QByteArray b64 = QByteArray::fromStdString(raw).toBase64();
        words.push_back(std::string(kWordStart) + b64.toStdString() + std::string(kWordEnd));
        p = end;
    }
    return words;
}

// "Name: " and words joined by blanks, folded before limit characters.
std::string foldWords(std::string_view name, const std::vector<std::string>& words,
                      std::size_t limit) {
    std::string out = std::string(name) + ":";
    std::size_t lineLength = out.size();
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0 && lineLength + 1 + words[i].size() > limit) {
            out += kCrLf;
            lineLength = 0;
        }
        out += ' ';
        out += words[i];
        lineLength += 1 + words[i].size();
    }
    out += kCrLf;
    return out;
}

// One address: "local@domain" with printable ASCII and no blanks or specials.
bool isAddress(std::string_view a) {
    const std::size_t at = a.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 >= a.size()) return false;
    if (a.find('@', at + 1) != std::string_view::npos) return false;
    for (char c : a)
        if (c <= 0x20 || c >= 0x7F ||
            std::string_view("<>()[]\\,;:\"").find(c) != std::string_view::npos)
            return false;
    return a.back() != '.' && a[at + 1] != '.';
}

} // namespace

std::vector<mailcheck::Finding> uncarried(std::string_view text) {
    mailcheck::Options o;
    o.layout.width = 0;
    std::vector<mailcheck::Finding> out;
    for (const mailcheck::Finding& f : mailcheck::check(text, o)) {
        using mailcheck::Kind;
        switch (f.kind) {
        case Kind::necSpecial:
        case Kind::necSelectedIbm:
        case Kind::ibmExtension:
        case Kind::userDefined:
            if (mailcheck::standardCode(f.code) == 0) out.push_back(f);
            break;
        case Kind::halfWidthKana:
        case Kind::invalidByte:
            out.push_back(f);
            break;
        case Kind::controlChar:
            if (breaksEncoding(f.code)) out.push_back(f);
            break;
        default:
            break;
        }
    }
    return out;
}

Encoded toIso2022Jp(std::string_view text) {
    Encoded e;
    e.bytes.reserve(text.size() + text.size() / 8 + 8);
    bool jis = false;
    auto ascii = [&] {
        if (jis) e.bytes += kToAscii;
        jis = false;
    };
    for (std::size_t p = 0; p < text.size();) {
        const auto b = static_cast<unsigned char>(text[p]);
        const std::size_t len = cp932::charLength(text, p);
        if (b < 0x80) {
            ascii();
            if (breaksEncoding(b))
                e.ok = false;
            else
                e.bytes.push_back(static_cast<char>(b));
        } else {
            const std::uint32_t code =
                len == 2 ? (b << 8 | static_cast<unsigned char>(text[p + 1])) : b;
            const std::uint16_t standard = len == 2 ? mailcheck::standardCode(code) : 0;
            if (standard == 0) {
                e.ok = false;
            } else {
                if (!jis) e.bytes += kToJis;
                jis = true;
                const auto [j1, j2] = toJis(standard);
                e.bytes.push_back(j1);
                e.bytes.push_back(j2);
            }
        }
        p += len;
    }
    ascii();
    return e;
}

std::string mailBody(std::string_view text, const LayoutRules& rules) {
    const std::vector<mailcheck::Finding> bad = uncarried(text);
    if (!bad.empty())
        throw MMEditError(u("本文に ISO-2022-JP で送れない文字があります: ") + listed(text, bad));
    const std::string wrapped = textexport::hardWrapped(text, rules);
    // Each line is encoded on its own, so that every one ends in ASCII, and
    // ends with CR LF whatever ended it in the text.
    std::string body;
    body.reserve(wrapped.size() + wrapped.size() / 8 + 2);
    std::size_t line = 1;
    for (std::size_t p = 0; p < wrapped.size(); ++line) {
        std::size_t e = p;
        while (e < wrapped.size() && wrapped[e] != '\r' && wrapped[e] != '\n')
            ++e;
        const std::string_view text = std::string_view(wrapped).substr(p, e - p);
        const Encoded enc = toIso2022Jp(text);
        if (enc.bytes.size() > kMaxMailLine) {
            // An address is sent whole, so no break can shorten a line it
            // makes too long.
            const std::vector<addresses::Span> found = addresses::find(text);
            const bool address =
                rules.width > 0 &&
                std::any_of(found.begin(), found.end(), [&](const addresses::Span& a) {
                    return a.length > static_cast<std::size_t>(rules.width);
                });
            throw MMEditError(
                (address
                     ? u("本文の %1 行目のアドレスが長すぎます (メールの一行は %2 バイトまでです)")
                     : u("本文の %1 行目が長すぎます (メールの一行は %2 バイトまでです)"))
                    .arg(line)
                    .arg(kMaxMailLine));
        }
        body += enc.bytes;
        body += kCrLf;
        if (e < wrapped.size() && wrapped[e] == '\r' && e + 1 < wrapped.size() &&
            wrapped[e + 1] == '\n')
            ++e;
        p = e + 1;
    }
    return body;
}

std::string subjectField(const QString& subject) {
    const std::string bytes = headerBytes(subject, u("件名"));
    constexpr std::string_view kName = "Subject";
    if (bytes.empty()) return std::string(kName) + ":" + std::string(kCrLf);
    if (isPrintableAscii(bytes) && bytes.find("=?") == std::string::npos) {
        // Plain words, folded at blanks; a word too long for a line is
        // encoded instead.
        std::vector<std::string> words;
        std::size_t p = 0;
        while (p <= bytes.size()) {
            const std::size_t e = std::min(bytes.find(' ', p), bytes.size());
            words.push_back(bytes.substr(p, e - p));
            p = e + 1;
        }
        const bool fits = std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            return w.size() + kName.size() + 2 < kFoldAt;
        });
        const bool blanksPlain = std::none_of(words.begin(), words.end(),
                                              [](const std::string& w) { return w.empty(); });
        if (fits && blanksPlain) return foldWords(kName, words, kFoldAt);
    }
    return foldWords(kName, encodedWords(bytes, kName.size() + 2), kMaxEncodedLine);
}

QStringList splitAddressList(const QString& addresses) {
    QStringList list(QString{});
    bool quoted = false, angled = false;
    for (const QChar c : addresses) {
        if (c == QLatin1Char('"') && !angled) quoted = !quoted;
        if (c == QLatin1Char('<') && !quoted) angled = true;
        if (c == QLatin1Char('>') && !quoted) angled = false;
        if (c == QLatin1Char(',') && !quoted && !angled)
            list.append(QString());
        else
            list.last().append(c);
    }
    return list;
}

std::string addressField(std::string_view name, const QString& addresses) {
    const QString what = name == "From" ? u("差出人") : u("宛先");
    refuseControls(addresses, what);
    if (addresses.trimmed().isEmpty()) throw MMEditError(what + u("を入力してください"));
    const QStringList list = splitAddressList(addresses);
    if (name == "From" && list.size() > 1)
        throw MMEditError(what + u("のアドレスは一つだけにしてください"));
    // Each address as it goes out, folded between addresses and between the
    // encoded words of a name. A line holding encoded words is kept within
    // 76 characters, a plain one within 78.
    std::string out = std::string(name) + ":";
    std::size_t lineLength = out.size();
    bool lineEncoded = false, placed = false;
    auto put = [&](const std::string& token, bool encoded) {
        const std::size_t limit = encoded || lineEncoded ? kMaxEncodedLine : kFoldAt;
        if (placed && lineLength + 1 + token.size() > limit) {
            out += kCrLf;
            lineLength = 0;
            lineEncoded = false;
        }
        out += ' ';
        out += token;
        lineLength += 1 + token.size();
        lineEncoded = lineEncoded || encoded;
        placed = true;
    };
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString entry = list[i].trimmed();
        const std::string comma = i + 1 < list.size() ? "," : "";
        QString display, address = entry;
        const qsizetype lt = entry.lastIndexOf(QLatin1Char('<'));
        if (lt >= 0) {
            if (!entry.endsWith(QLatin1Char('>')))
                throw MMEditError(what + u("のアドレスが正しくありません: ") + entry);
            display = entry.left(lt).trimmed();
            address = entry.mid(lt + 1, entry.size() - lt - 2).trimmed();
        }
        const std::string a = address.toStdString();
        if (!isAddress(a)) throw MMEditError(what + u("のアドレスが正しくありません: ") + entry);
        if (display.size() >= 2 && display.startsWith(QLatin1Char('"')) &&
            display.endsWith(QLatin1Char('"')))
            display = display.mid(1, display.size() - 2);
        if (display.isEmpty()) {
            put(a + comma, false);
            continue;
        }
        const std::string d = headerBytes(display, what);
        if (isPrintableAscii(d)) {
            std::string quoted = "\"";
            for (char c : d) {
                if (c == '"' || c == '\\') quoted += '\\';
                quoted += c;
            }
            put(quoted + "\" <" + a + ">" + comma, false);
            continue;
        }
        // The first word fills what is left of the line; with too little
        // left the name starts on the next one.
        if (placed && lineLength + 1 + kMinEncodedWord > kMaxEncodedLine) {
            out += kCrLf;
            lineLength = 0;
            lineEncoded = false;
            placed = false;
        }
        for (const std::string& w : encodedWords(d, lineLength + 1))
            put(w, true);
        put("<" + a + ">" + comma, false);
    }
    out += kCrLf;
    return out;
}

std::string message(std::string_view text, const MailFields& fields, const LayoutRules& rules,
                    const QDateTime& date) {
    std::string m;
    const QString when = QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"));
    const int offset = date.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
    m += "Date: " + when.toStdString() + " " + zone.toStdString() + std::string(kCrLf);
    m += addressField("From", fields.from);
    m += addressField("To", fields.to);
    m += subjectField(fields.subject);
    m += "MIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
         "Content-Transfer-Encoding: 7bit\r\n"
         "X-Unsent: 1\r\n"
         "\r\n";
    m += mailBody(text, rules);
    return m;
}

std::vector<mailcheck::Finding> uncarriedInSubject(const QString& subject) {
    return uncarried(cp932::encode(subject).bytes);
}

QString subjectWithSuggestions(const QString& subject) {
    const cp932::EncodeResult e = cp932::encode(subject);
    if (!e.ok()) return subject; // refused whole when it is used
    const std::string& bytes = e.bytes;
    const std::vector<mailcheck::Finding> bad = uncarried(bytes);
    if (bad.empty()) return subject;
    return cp932::decode(mailcheck::applyEdits(bytes, mailcheck::replacementEdits(bytes, bad)));
}

} // namespace mailexport
