// Submission of one message to the user's SMTP server, through libcurl.
//
// The server is "smtps://host[:port]" (TLS from the start, port 465 when
// none is given) or "smtp://host[:port]" (port 587, STARTTLS required). Only
// to the loopback address may an smtp:// server go without STARTTLS (a local
// relay may offer none); anywhere else a server that does not offer it is
// refused before anything, the password above all, is sent. Certificates are
// verified against the system's store, or a CA file given instead.
//
// submit() blocks until the server has the message or the transfer failed;
// the program runs it off the user-interface thread and the progress
// function cancels it.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace smtp {

// Where the message goes and how the program signs in there.
struct Server {
    QString url;    // smtps://host[:port] or smtp://host[:port]
    QString user;   // empty: no authentication
    QString caFile; // a CA certificate file (PEM) instead of the system's store
};

// The server's address made whole (the default port put in), or a message
// saying what is wrong with it.
struct CheckedUrl {
    std::string url;  // empty when refused
    QString problem;  // the reason, when refused
    bool tls = false; // smtps://
    bool loopback = false;
};
CheckedUrl checkUrl(const QString& url);

// The bare addresses of an address field ("名前 <a@example.jp>, b@example.jp"
// gives a@example.jp and b@example.jp): commas outside quoted names and <>
// separate them.
std::vector<std::string> bareAddresses(const QString& field);

// What went wrong, for tests and the exit status.
enum class Failure {
    none,
    badServer,        // the address of the server is not smtps:// or smtp://
    nameNotFound,     // the host name does not resolve
    connectionFailed, // refused or unreachable
    timedOut,         // no answer within the time-outs
    noStartTls,       // smtp:// to a server without STARTTLS
    tls,              // the TLS handshake failed
    certificate,      // the server's certificate is not trusted
    caFile,           // the CA file cannot be read
    authentication,   // user name or password refused, or no way to sign in
    senderRefused,    // MAIL FROM refused
    recipientRefused, // RCPT TO refused
    messageRefused,   // DATA or the message refused
    connectionLost,   // the server went away
    cancelled,
    other,
};

struct Result {
    Failure failure = Failure::none;
    QString message;   // the user's message, in Japanese; empty when sent
    std::string reply; // the server's last reply line, when there was one
    bool ok() const { return failure == Failure::none; }
};

struct Timeouts {
    long connectSeconds = 20; // the connection and the TLS handshake
    long stalledSeconds = 60; // no byte either way for this long
};

// Called as the message goes out (bytes sent, bytes in all); returning false
// cancels the transfer.
using Progress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

// Sends message (CR LF lines, the header included) from the envelope sender
// to the recipients. password is used only with a user name.
Result submit(const Server& server, const QString& password, const std::string& sender,
              const std::vector<std::string>& recipients, const std::string& message,
              const Timeouts& timeouts = {}, const Progress& progress = {});

} // namespace smtp
