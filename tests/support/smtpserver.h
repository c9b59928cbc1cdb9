// An SMTP server on the loopback address for one test (support/smtpserver.py
// under the system's Python, aiosmtpd behind it): a free port, a CA of its
// own, every message it takes decoded into a JSON file. Stopped with the
// object.
#pragma once

#include "support/tempdir.h"

#include <QJsonObject>
#include <QProcess>

#include <string>
#include <vector>

class SmtpServer {
  public:
    // mode: starttls, smtps, plain, silent or drop (see smtpserver.py).
    // Mail to the addresses in refuse is refused at RCPT.
    explicit SmtpServer(const std::string& mode, const std::vector<std::string>& refuse = {});
    ~SmtpServer();
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    // Empty when the server did not start (the reason in problem()).
    bool started() const { return port_ > 0; }
    const std::string& problem() const { return problem_; }
    int port() const { return port_; }
    // "scheme://127.0.0.1:port".
    std::string url(const char* scheme) const;
    std::string caFile() const { return dir_.file("ca.pem"); }
    // The messages taken so far, oldest first.
    std::vector<QJsonObject> received() const;

    // The user and password the server takes.
    static constexpr const char* kUser = "writer";
    static constexpr const char* kPassword = "secret";

  private:
    TempDir dir_;
    QProcess process_;
    int port_ = 0;
    std::string problem_;
};
