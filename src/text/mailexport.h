// The newsletter as a mail: an .eml file (RFC 5322 and MIME) that a mail
// program opens as a draft ready to send. The body is the hard-wrapped text
// (every point where the editor wraps becomes a line end, every line end
// CR LF) in ISO-2022-JP (RFC 1468, 7bit); the subject and the names in the
// addresses are encoded words of ISO-2022-JP (RFC 2047).
//
// ISO-2022-JP carries ASCII and JIS X 0208. Code page 932's own forms of
// JIS X 0208 characters (～ U+FF5E, ∥ U+2225, － U+FF0D, ￠ ￡ ￢ ...) are the
// same codes there and are written as such; a machine-dependent code of a
// character JIS X 0208 has (the NEC ≒, the IBM ￢) is written as that one.
// Everything else (half-width katakana, the other machine-dependent and
// user-defined characters, bytes that are not valid code page 932, and the
// control characters that would break the encoding: NUL, ESC, SO, SI) is
// not carried: the caller lists it and the export is refused.
#pragma once

#include "lineview.h"
#include "mailcheck.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace mailexport {

// The characters of a code page 932 text that ISO-2022-JP cannot carry, as
// findings of the send check (with their places and suggestions).
std::vector<mailcheck::Finding> uncarried(std::string_view text);

// Code page 932 text in ISO-2022-JP: JIS X 0208 runs between ESC $ B and
// ESC ( B, every line end and the end in ASCII. Characters that cannot be
// carried are left out; ok is false when there were any.
struct Encoded {
    std::string bytes;
    bool ok = true;
};
Encoded toIso2022Jp(std::string_view text);

// The body of the mail: the text hard-wrapped under the rules, every line
// end (CR LF, lone CR, lone LF) made CR LF, ending with CR LF, in
// ISO-2022-JP. The wrap keeps web and mail addresses whole, so a line with
// an address longer than the width runs past it. Throws MMEditError when the
// text holds what cannot be carried, or a line longer than a mail line may
// be (998 bytes; the message says when an address makes it so).
std::string mailBody(std::string_view text, const LayoutRules& rules);

// The header fields the user gives.
struct MailFields {
    QString from;    // one address: "a@example.jp" or "名前 <a@example.jp>"
    QString to;      // one or more addresses, separated by commas
    QString subject; // may be empty
};

// "Subject: " and the subject, folded into lines of at most 76 characters:
// plain when it is printable ASCII, else encoded words of ISO-2022-JP, each
// a whole ISO-2022-JP text ending in ASCII. Lines end with CR LF. Throws
// MMEditError for a line break or a control character, and for characters
// that cannot be carried.
std::string subjectField(const QString& subject);
// "From: " or "To: " and the addresses, names encoded as in the subject.
// Folded between addresses and between the encoded words of a long name:
// lines with encoded words keep within 76 characters, plain ones within 78
// (a single plain address or quoted name longer than that stays whole).
// Throws MMEditError for an empty field or one that is not an address.
std::string addressField(std::string_view name, const QString& addresses);

// The addresses of a list, split at the commas outside quoted names and
// <>, each as written (not trimmed).
QStringList splitAddressList(const QString& addresses);

// The whole message: Date, From, To, Subject, MIME-Version, Content-Type
// (text/plain; charset=ISO-2022-JP), Content-Transfer-Encoding (7bit),
// X-Unsent (mail programs open it as a draft to send), a blank line and
// the body. Throws what the parts throw.
std::string message(std::string_view text, const MailFields& fields, const LayoutRules& rules,
                    const QDateTime& date);

// The subject's characters that cannot be carried, as findings in its code
// page 932 form; and the subject with the suggestions put in.
std::vector<mailcheck::Finding> uncarriedInSubject(const QString& subject);
QString subjectWithSuggestions(const QString& subject);

} // namespace mailexport
