#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <cerrno>
#include <cstdio>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first bytes of every message, so that a stray client is told apart.
constexpr char kMagic[] = "MMEdit-open-1";
// No hand-over is larger: a few paths.
constexpr qsizetype kMaxMessageBytes = 1 << 20;
constexpr int kWaitMs = 1000;

// The folder for the socket: the user's runtime folder when it is set and
// is theirs alone, else a folder "mmedit-<uid>" in the temporary folder that
// this program makes with mode 0700. Any other user could have made that
// name first (the temporary folder is shared), so an existing one is taken
// only when it is a real folder of this user that nobody else may enter.
// Returns the folder with a trailing separator, or nothing (with the reason)
// when there is no such folder.
std::optional<std::string> socketFolder(QString& problem) {
    const uid_t me = ::geteuid();
    auto ownedAlone = [me](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == me &&
               (st.st_mode & 077) == 0;
    };
    std::string runtime = qgetenv("XDG_RUNTIME_DIR").toStdString();
    while (runtime.size() > 1 && runtime.back() == '/')
        runtime.pop_back();
    if (runtime.starts_with('/') && ownedAlone(runtime)) return runtime + "/";

    std::string folder = QFile::encodeName(QDir::tempPath()).toStdString();
    if (folder.empty() || folder.back() != '/') folder += '/';
    folder += "mmedit-" + std::to_string(me);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem =
            QStringLiteral("フォルダ %1 を作成できません").arg(QFile::decodeName(folder.c_str()));
        return std::nullopt;
    }
    if (!ownedAlone(folder)) {
        problem = QStringLiteral("フォルダ %1 がほかのユーザーのものか、ほかのユーザーも使えます")
                      .arg(QFile::decodeName(folder.c_str()));
        return std::nullopt;
    }
    return folder + "/";
}

} // namespace

SingleInstance::SingleInstance(const std::string& programFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(programFolder), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    // In a folder of this user's alone, so that no other user can take the
    // name or hand files over.
    if (const auto folder = socketFolder(problem_))
        name_ = QFile::decodeName(QByteArray::fromStdString(*folder)) +
                QStringLiteral("mmedit-%1").arg(QString::fromLatin1(hash));
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
        // No file name holds a NUL: a message with one would open only the
        // part before it, so the whole message is refused.
        if (f.contains('\0')) return std::nullopt;
        files.push_back(f.toStdString());
    }
    if (!in.atEnd()) return std::nullopt;
    return files;
}

bool SingleInstance::handOver(const std::vector<std::string>& files) {
    if (name_.isEmpty()) return false;
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
    if (name_.isEmpty()) {
        std::fprintf(stderr, "mmedit: %s: 起動中のコピーへのファイルの受け渡しはしません\n",
                     problem_.toLocal8Bit().constData());
        return;
    }
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
