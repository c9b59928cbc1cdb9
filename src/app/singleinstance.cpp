#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QLocalSocket>
#include <QStandardPaths>

#include <memory>

#include <unistd.h>

namespace {

// The first bytes of every message, so that a stray client is told apart.
constexpr char kMagic[] = "MMEdit-open-1";
// No hand-over is larger: a few paths.
constexpr qsizetype kMaxMessageBytes = 1 << 20;
constexpr int kWaitMs = 1000;

} // namespace

SingleInstance::SingleInstance(const std::string& programFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(programFolder), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    // In the user's own runtime folder (mode 0700), so that no other user
    // can take the name or hand files over; by name in the temporary folder
    // where there is none.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    name_ = runtime.isEmpty()
                ? QStringLiteral("mmedit-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash))
                : runtime + QStringLiteral("/mmedit-%1").arg(QString::fromLatin1(hash));
}

QByteArray SingleInstance::message(const std::vector<std::string>& files) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << QByteArray(kMagic) << static_cast<quint32>(files.size());
    for (const std::string& f : files)
        out << QByteArray::fromStdString(f);
    return bytes;
}

std::optional<std::vector<std::string>> SingleInstance::readMessage(const QByteArray& bytes) {
    if (bytes.size() > kMaxMessageBytes) return std::nullopt;
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    QByteArray magic;
    quint32 count = 0;
    in >> magic >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic) return std::nullopt;
    std::vector<std::string> files;
    for (quint32 k = 0; k < count; ++k) {
        QByteArray f;
        in >> f;
        if (in.status() != QDataStream::Ok) return std::nullopt;
        files.push_back(f.toStdString());
    }
    if (!in.atEnd()) return std::nullopt;
    return files;
}

bool SingleInstance::handOver(const std::vector<std::string>& files) {
    QLocalSocket s;
    s.connectToServer(name_);
    if (!s.waitForConnected(kWaitMs)) return false;
    s.write(message(files));
    while (s.bytesToWrite() > 0)
        if (!s.waitForBytesWritten(kWaitMs)) return false;
    s.disconnectFromServer();
    if (s.state() != QLocalSocket::UnconnectedState) s.waitForDisconnected(kWaitMs);
    return true;
}

void SingleInstance::listen(std::function<void(const std::vector<std::string>&)> received) {
    QLocalServer::removeServer(name_); // a socket left by a copy that crashed
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name_)) return;
    connect(&server_, &QLocalServer::newConnection, this, [this, received] {
        while (QLocalSocket* c = server_.nextPendingConnection()) {
            // The message is whole when the other side has closed.
            auto bytes = std::make_shared<QByteArray>();
            connect(c, &QLocalSocket::readyRead, c, [c, bytes] {
                bytes->append(c->readAll());
                if (bytes->size() > kMaxMessageBytes) c->abort();
            });
            connect(c, &QLocalSocket::disconnected, this, [c, bytes, received] {
                bytes->append(c->readAll());
                c->deleteLater();
                if (auto files = readMessage(*bytes)) received(*files);
            });
        }
    });
}
