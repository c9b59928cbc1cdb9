// The message the program submits: exactly the mail "メールとして書き出す"
// writes, less the draft mark (X-Unsent), with Reply-To when one is set and
// a Message-ID; and the envelope its addresses give.
#pragma once

#include "text/lineview.h"
#include "text/mailexport.h"

#include <QDateTime>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace outgoing {

struct Message {
    std::string bytes;                   // CR LF lines, the header included
    std::string sender;                  // the bare From address
    std::vector<std::string> recipients; // the bare To addresses
};

// The test copy's fields: to the sender, "[テスト]" before the subject.
mailexport::MailFields testCopy(const mailexport::MailFields& fields);

// Builds the message. Throws MMEditError as the export does (an address that
// is not one, characters that cannot be carried); also for a Reply-To that
// is not an address.
Message build(std::string_view text, const mailexport::MailFields& fields, const QString& replyTo,
              const LayoutRules& rules, const QDateTime& date);

} // namespace outgoing
