#include "filewatch.h"

#include "text/fileio.h"

#include <QFile>

#include <sys/stat.h>

namespace {
QString fileName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
} // namespace

bool FileWatch::Identity::operator==(const Identity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

FileWatch::FileWatch() {
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { Q_EMIT touched(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Q_EMIT touched(); });
}

std::optional<FileWatch::Identity> FileWatch::identityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

void FileWatch::watch(const std::string& path) {
    forget();
    if (path.empty()) return;
    taken_ = identityOf(path);
    if (!taken_) return;
    path_ = path;
    watcher_.addPath(fileName(path));
    // The folder too: a file replaced by a rename is a change of the folder.
    const std::string folder = fileio::folderOf(path);
    if (!folder.empty()) watcher_.addPath(fileName(folder));
}

void FileWatch::forget() {
    const QStringList files = watcher_.files(), folders = watcher_.directories();
    if (!files.isEmpty()) watcher_.removePaths(files);
    if (!folders.isEmpty()) watcher_.removePaths(folders);
    path_.clear();
    taken_.reset();
}

FileWatch::State FileWatch::check() const {
    if (!taken_) return State::Unchanged;
    const std::optional<Identity> now = identityOf(path_);
    if (!now) return State::Removed;
    return *now == *taken_ ? State::Unchanged : State::Changed;
}
