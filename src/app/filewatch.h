// Watches the document's file for changes made by other programs (an editor,
// a sync tool): what the file was when it was last read or written, and
// whether it is still that file. A QFileSystemWatcher tells of a change as
// it happens; a look at the file's size, time and identity when asked is
// the answer that counts (a watcher loses a file that is replaced by a
// rename, and some file systems tell nothing).
#pragma once

#include <QFileSystemWatcher>
#include <QObject>

#include <ctime>
#include <optional>
#include <string>

#include <sys/types.h>

class FileWatch : public QObject {
    Q_OBJECT

  public:
    enum class State { Unchanged, Changed, Removed };

    FileWatch();
    // Takes the file as it is now as the one the document holds; an empty
    // path (or a file that cannot be looked at) watches nothing.
    void watch(const std::string& path);
    void forget();
    const std::string& path() const { return path_; }
    // How the file stands against the one taken.
    State check() const;

  Q_SIGNALS:
    // The watcher saw the file or its folder change (check tells what).
    void touched();

  private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const Identity& o) const;
    };
    static std::optional<Identity> identityOf(const std::string& path);

    QFileSystemWatcher watcher_;
    std::string path_;
    std::optional<Identity> taken_;
};
