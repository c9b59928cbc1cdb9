#include "singleinstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <unistd.h>

SingleInstance::SingleInstance(const std::string& programFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(programFolder), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    name_ = QStringLiteral("mmedit-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool SingleInstance::handOver() {
    QLocalSocket s;
    s.connectToServer(name_);
    if (!s.waitForConnected(300)) return false;
    s.write("show\n");
    s.waitForBytesWritten(300);
    s.disconnectFromServer();
    return true;
}

void SingleInstance::listen(std::function<void()> activate) {
    QLocalServer::removeServer(name_); // a socket left by a copy that crashed
    if (!server_.listen(name_)) return;
    connect(&server_, &QLocalServer::newConnection, this, [this, activate] {
        while (QLocalSocket* c = server_.nextPendingConnection()) {
            connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
            activate();
        }
    });
}
