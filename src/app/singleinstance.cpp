#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
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

// The address of a socket file; false when the path is too long for one.
bool addressOf(const QString& name, sockaddr_un& address) {
    const QByteArray path = QFile::encodeName(name);
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

// A descriptor closed when it goes out of scope (unless released).
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// One connection of a later start: its bytes are gathered until the other
// side closes, then read as a message. Ends itself.
class Arrival : public QObject {
  public:
    Arrival(int fd, std::function<void(const std::vector<std::string>&)> received, QObject* parent)
        : QObject(parent), fd_(fd), received_(std::move(received)),
          notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
        connect(notifier_, &QSocketNotifier::activated, this, [this] { read(); });
    }
    ~Arrival() override { ::close(fd_); }

  private:
    void read() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                bytes_.append(buffer, n);
                if (bytes_.size() > kMaxMessageBytes) break; // no message of ours
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            break; // closed by the other side (or failed): what came is all
        }
        notifier_->setEnabled(false);
        deleteLater();
        if (auto files = SingleInstance::readMessage(bytes_)) received_(*files);
    }

    int fd_;
    std::function<void(const std::vector<std::string>&)> received_;
    QSocketNotifier* notifier_;
    QByteArray bytes_;
};

} // namespace

SingleInstance::~SingleInstance() {
    if (server_ < 0) return;
    ::close(server_);
    ::unlink(QFile::encodeName(name_).constData());
}

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
    sockaddr_un address;
    if (name_.isEmpty() || !addressOf(name_, address)) return false;
    const Descriptor s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0) return false;
    // Connecting and writing wait a second at most for the running copy.
    const timeval wait{kWaitMs / 1000, 0};
    ::setsockopt(s.get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    int connected;
    do
        connected = ::connect(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (connected != 0 && errno == EINTR);
    if (connected != 0) return false;
    const QByteArray bytes = message(files);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::send(s.get(), bytes.constData() + done,
                                 static_cast<std::size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    // Closing tells the running copy that the message is whole.
    return true;
}

void SingleInstance::listen(std::function<void(const std::vector<std::string>&)> received) {
    if (name_.isEmpty()) {
        std::fprintf(stderr, "mmedit: %s: 起動中のコピーへのファイルの受け渡しはしません\n",
                     problem_.toLocal8Bit().constData());
        return;
    }
    sockaddr_un address;
    if (server_ >= 0 || !addressOf(name_, address)) return;
    Descriptor s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (s.get() < 0) return;
    // A socket left by a copy that crashed goes. The socket is this user's
    // alone (its folder is too).
    ::unlink(address.sun_path);
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    if (::chmod(address.sun_path, S_IRWXU) != 0 || ::listen(s.get(), SOMAXCONN) != 0) {
        ::unlink(address.sun_path);
        return;
    }
    server_ = s.release();
    received_ = std::move(received);
    serverNotifier_ = new QSocketNotifier(server_, QSocketNotifier::Read, this);
    connect(serverNotifier_, &QSocketNotifier::activated, this, [this] { accept(); });
}

void SingleInstance::accept() {
    for (;;) {
        const int c = ::accept4(server_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return; // none waiting (or none to be had now)
        }
        new Arrival(c, received_, this);
    }
}
