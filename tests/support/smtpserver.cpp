#include "smtpserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <chrono>

SmtpServer::SmtpServer(const std::string& mode, const std::vector<std::string>& refuse) {
    QStringList args = {QStringLiteral(MMEDIT_SMTP_SERVER_SCRIPT),
                        QStringLiteral("--mode"),
                        QString::fromStdString(mode),
                        QStringLiteral("--port-file"),
                        QString::fromStdString(dir_.file("port")),
                        QStringLiteral("--ca"),
                        QString::fromStdString(caFile()),
                        QStringLiteral("--out"),
                        QString::fromStdString(dir_.path()),
                        QStringLiteral("--user"),
                        QString::fromLatin1(kUser),
                        QStringLiteral("--password"),
                        QString::fromLatin1(kPassword)};
    for (const std::string& r : refuse)
        args << QStringLiteral("--refuse") << QString::fromStdString(r);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(MMEDIT_SYSTEM_PYTHON), args);
    if (!process_.waitForStarted(5000)) {
        problem_ = "python3 did not start";
        return;
    }
    // The port is written once the server listens.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QFile portFile(QString::fromStdString(dir_.file("port")));
    while (std::chrono::steady_clock::now() < until) {
        if (portFile.open(QIODevice::ReadOnly)) {
            port_ = portFile.readAll().trimmed().toInt();
            return;
        }
        if (process_.state() == QProcess::NotRunning) {
            problem_ = "the server ended at start (aiosmtpd or trustme missing?)";
            return;
        }
        QThread::msleep(50);
    }
    problem_ = "the server did not listen within 20 s";
}

SmtpServer::~SmtpServer() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::string SmtpServer::url(const char* scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<QJsonObject> SmtpServer::received() const {
    std::vector<QJsonObject> out;
    for (int i = 1;; ++i) {
        QFile f(QString::fromStdString(dir_.file("message" + std::to_string(i) + ".json")));
        if (!f.open(QIODevice::ReadOnly)) break;
        out.push_back(QJsonDocument::fromJson(f.readAll()).object());
    }
    return out;
}
