#include "outgoing.h"

#include "smtp.h"

#include "text/errors.h"

#include <QUuid>

namespace outgoing {
namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Where the header field named name starts (at the start of a line), or npos.
std::size_t fieldAt(const std::string& header, std::string_view name) {
    for (std::size_t p = 0; p < header.size();) {
        if (header.compare(p, name.size(), name) == 0) return p;
        const std::size_t end = header.find("\r\n", p);
        if (end == std::string::npos) break;
        p = end + 2;
    }
    return std::string::npos;
}

} // namespace

mailexport::MailFields testCopy(const mailexport::MailFields& fields) {
    mailexport::MailFields test = fields;
    test.to = fields.from;
    test.subject = u("[テスト]") + fields.subject;
    return test;
}

Message build(std::string_view text, const mailexport::MailFields& fields, const QString& replyTo,
              const LayoutRules& rules, const QDateTime& date) {
    Message m;
    m.bytes = mailexport::message(text, fields, rules, date);
    const std::size_t headerEnd = m.bytes.find("\r\n\r\n");
    std::string header = m.bytes.substr(0, headerEnd + 2);
    const std::string body = m.bytes.substr(headerEnd + 2);

    // A sent mail is no draft.
    if (const std::size_t draft = fieldAt(header, "X-Unsent:"); draft != std::string::npos)
        header.erase(draft, header.find("\r\n", draft) + 2 - draft);
    if (!replyTo.trimmed().isEmpty()) {
        // Checked and encoded as the addresses of To are.
        std::string field;
        try {
            field = mailexport::addressField("To", replyTo);
        } catch (const MMEditError&) {
            throw MMEditError(u("返信先 (Reply-To) のアドレスが正しくありません: ") + replyTo);
        }
        field.replace(0, 2, "Reply-To");
        const std::size_t subject = fieldAt(header, "Subject:");
        header.insert(subject == std::string::npos ? header.size() : subject, field);
    }
    m.sender = smtp::bareAddresses(fields.from).front();
    m.recipients = smtp::bareAddresses(fields.to);
    const std::size_t at = m.sender.rfind('@');
    const std::string domain = at == std::string::npos ? "localhost" : m.sender.substr(at + 1);
    header += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() +
              "@" + domain + ">\r\n";
    m.bytes = header + body;
    return m;
}

} // namespace outgoing
