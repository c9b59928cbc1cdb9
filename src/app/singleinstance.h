// One running copy per user and program folder (the OnlyStart setting): a
// second start hands its files over to the running copy, which comes to the
// front and opens them.
#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;

// The copies meet on a local (Unix domain) stream socket, handled with the
// system's calls and the event loop's socket notifiers: the program does
// not load Qt's network library, with its own dependencies, at every start.
class SingleInstance : public QObject {
  public:
    explicit SingleInstance(const std::string& programFolder);
    // Stops listening; the socket file goes.
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    // True when another copy runs and took the files (absolute paths, the
    // file system's bytes; none to only bring it to the front).
    bool handOver(const std::vector<std::string>& files = {});
    // Listens for later starts; each one calls received with the files it
    // handed over, once the whole message has arrived. A message that is
    // not one of ours is dropped.
    void listen(std::function<void(const std::vector<std::string>&)> received);

    // The name of the local socket, the same for every start of the program
    // in one folder by one user: a path in a folder of this user's alone.
    // Empty when there is no such folder (another user made the folder in
    // the shared temporary folder first): then nothing is handed over, and
    // listen says why on standard error.
    const QString& serverName() const { return name_; }
    const QString& problem() const { return problem_; }

    // The message that carries files, and its reading (nothing for bytes
    // that are not a whole message, or a message naming a file with a NUL).
    static QByteArray message(const std::vector<std::string>& files);
    static std::optional<std::vector<std::string>> readMessage(const QByteArray& bytes);

  private:
    // Takes the waiting connections; each one's bytes are read as they come.
    void accept();

    QString name_;
    QString problem_;
    int server_ = -1; // the listening socket
    QSocketNotifier* serverNotifier_ = nullptr;
    std::function<void(const std::vector<std::string>&)> received_;
};
