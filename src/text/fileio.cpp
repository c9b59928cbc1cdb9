#include "fileio.h"

#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

namespace {
using testing::WriteStep;

std::function<bool(WriteStep, std::size_t)>& stepHook() {
    static std::function<bool(WriteStep, std::size_t)> hook;
    return hook;
}

// False when the test hook makes this step fail.
bool stepAllowed(WriteStep step, std::size_t done) {
    const auto& hook = stepHook();
    return !hook || hook(step, done);
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};
} // namespace

namespace testing {
void setWriteHook(std::function<bool(std::size_t)> hook) {
    if (!hook) {
        stepHook() = nullptr;
        return;
    }
    stepHook() = [hook = std::move(hook)](WriteStep step, std::size_t done) {
        return step != WriteStep::write || hook(done);
    };
}
void setStepHook(std::function<bool(WriteStep, std::size_t)> hook) {
    stepHook() = std::move(hook);
}
} // namespace testing

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

FileReader::FileReader(const std::string& path, std::size_t maxBytes)
    : path_(path), maxBytes_(maxBytes) {
    // O_NONBLOCK: opening a FIFO waits for a writer otherwise. Nothing but a
    // regular file is read; a device such as /dev/zero never ends.
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (f.fd < 0) throw MMEditError(openErrorText(path));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) throw MMEditError(openErrorText(path));
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        throw FileTooLargeError(tooLargeErrorText(path));
    const int flags = ::fcntl(f.fd, F_GETFL);
    if (flags < 0 || ::fcntl(f.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw MMEditError(openErrorText(path));
    sizeHint_ = static_cast<std::size_t>(st.st_size);
    fd_ = f.fd;
    f.fd = -1;
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::read(char* dst, std::size_t n) {
    // One byte more than the limit leaves room for is enough to tell that
    // the file has grown past it.
    const std::size_t room = maxBytes_ - bytesRead_;
    n = std::min(n, room == SIZE_MAX ? room : room + 1);
    while (true) {
        const ssize_t got = ::read(fd_, dst, n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw MMEditError(openErrorText(path_));
        bytesRead_ += static_cast<std::size_t>(got);
        if (bytesRead_ > maxBytes_) throwTooLarge();
        return static_cast<std::size_t>(got);
    }
}

std::size_t FileReader::readFully(char* dst, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const std::size_t got = read(dst + done, n - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

void FileReader::throwTooLarge() const {
    throw FileTooLargeError(tooLargeErrorText(path_));
}

std::string readAll(const std::string& path, std::size_t maxBytes) {
    FileReader file(path, maxBytes);
    // The size is only a hint: reading goes on after it and stops soon after
    // the limit.
    try {
        std::string data(file.sizeHint(), '\0');
        data.resize(file.readFully(data.data(), data.size()));
        char buf[65536];
        while (const std::size_t n = file.read(buf, sizeof buf))
            data.append(buf, n);
        return data;
    } catch (const std::bad_alloc&) {
        file.throwTooLarge();
    } catch (const std::length_error&) {
        file.throwTooLarge();
    }
}

namespace {

// Temporary files of a save are named ".name.mmedit-save.XXXXXX" beside the
// target, so that those an interrupted save left behind can be found again.
constexpr std::string_view kSaveMark = ".mmedit-save.";
constexpr std::size_t kUniqueChars = 6; // mkstemp's XXXXXX
constexpr std::size_t kLongestName = NAME_MAX;

// The name of the target's temporary files without their unique end. A long
// name is cut so that the temporary name stays within the name limit.
std::string savePrefix(const std::string& base) {
    const std::size_t room = kLongestName - kUniqueChars - kSaveMark.size() - 1;
    std::string prefix = ".";
    prefix.append(base, 0, std::min(base.size(), room));
    prefix.append(kSaveMark);
    return prefix;
}

bool isUniqueChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Removes the temporary files earlier saves of the same target left behind:
// regular files of this user whose names are exactly the prefix and six
// letters or digits.
void removeStaleTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    const int dfd = ::dirfd(d);
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + kUniqueChars || !name.starts_with(prefix)) continue;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                         isUniqueChar))
            continue;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
        ::unlinkat(dfd, e->d_name, 0);
    }
    ::closedir(d);
}

// Gives the new file the owner and group of the file it replaces, as far as
// this process may: a user who may not give a file away can still give it one
// of their own groups. Returns false when the file stays this user's.
bool keepOwner(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) == 0) return true;
    return errno == EPERM && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
}

// The file a path names once symbolic links are followed, also when the last
// link names a file that does not exist yet. Returns false for a loop or a
// chain too long to follow.
bool followLinks(const std::string& path, std::string& target) {
    constexpr int kMostLinks = 40; // the kernel's own limit
    target = path;
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string link(static_cast<std::size_t>(PATH_MAX), '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return false;
        link.resize(static_cast<std::size_t>(n));
        target = link.front() == '/' ? link : folderOf(target) + link;
    }
    return false;
}

// Writes all of bytes at offset 0 of the file, one step at a time.
bool writeFrom(int fd, std::string_view bytes, bool hooked) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (hooked && !stepAllowed(WriteStep::write, done)) return false;
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        const ssize_t n = ::pwrite(fd, bytes.data() + done, chunk, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces a file's bytes in place, for a file this user may write in a
// folder where no new file can be made. The old bytes are kept in memory
// until the new ones are on the disk and are put back when a step fails; the
// room the new bytes need is taken before anything is overwritten, and the
// file is cut to its new length only after the whole write. Owner, group and
// permissions stay as they are.
void writeInPlace(const std::string& path, const std::string& target, std::string_view bytes) {
    Fd f;
    f.fd = ::open(target.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        throw MMEditError(createErrorText(path));
    std::string before;
    try {
        before.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::exception&) {
        throw MMEditError(createErrorText(path));
    }
    for (std::size_t done = 0; done < before.size();) {
        const ssize_t n =
            ::pread(f.fd, before.data() + done, before.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw MMEditError(createErrorText(path));
        done += static_cast<std::size_t>(n);
    }
    if (bytes.size() > before.size() &&
        ::posix_fallocate(f.fd, static_cast<off_t>(before.size()),
                          static_cast<off_t>(bytes.size() - before.size())) != 0) {
        // No room: the file keeps its bytes and its length.
        [[maybe_unused]] const int cut = ::ftruncate(f.fd, static_cast<off_t>(before.size()));
        throw MMEditError(writeErrorText());
    }
    const bool written = writeFrom(f.fd, bytes, true) &&
                         stepAllowed(WriteStep::truncate, bytes.size()) &&
                         ::ftruncate(f.fd, static_cast<off_t>(bytes.size())) == 0 &&
                         stepAllowed(WriteStep::sync, bytes.size()) && ::fsync(f.fd) == 0;
    if (!written) {
        // The old bytes go back as they were.
        writeFrom(f.fd, before, false);
        [[maybe_unused]] const int cut = ::ftruncate(f.fd, static_cast<off_t>(before.size()));
        ::fsync(f.fd);
        throw MMEditError(writeErrorText());
    }
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0) throw MMEditError(writeErrorText());
}

} // namespace

void writeAll(const std::string& path, std::string_view bytes) {
    // Write through symbolic links to the file they name, so the links stay;
    // a link to a file not there yet creates it.
    std::string target;
    if (!followLinks(path, target)) throw MMEditError(createErrorText(path));
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && !S_ISREG(old.st_mode)) throw MMEditError(createErrorText(path));
    // Replacing a file needs only the folder to be writable; a file the user
    // may not write is still not theirs to replace.
    if (hadFile && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw MMEditError(createErrorText(path));

    const std::string folder = folderOf(target);
    const std::string prefix = savePrefix(target.substr(folder.size()));
    removeStaleTemporaries(folder, prefix);
    std::string tmp = folder + prefix + std::string(kUniqueChars, 'X');
    Fd f;
    f.fd = ::mkstemp(tmp.data());
    if (f.fd < 0) {
        // A writable file in a folder that takes no new files is written
        // where it stands.
        if (hadFile && (errno == EACCES || errno == EPERM))
            return writeInPlace(path, target, bytes);
        throw MMEditError(createErrorText(path));
    }

    auto fail = [&](const QString& text) {
        ::close(f.fd);
        f.fd = -1;
        ::unlink(tmp.c_str());
        throw MMEditError(text);
    };

    mode_t mode = 0;
    if (hadFile) {
        [[maybe_unused]] const bool sameOwner = keepOwner(f.fd, old);
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // After fchown, which clears the set-user-ID and set-group-ID bits.
    ::fchmod(f.fd, mode);

    if (!writeFrom(f.fd, bytes, true)) fail(writeErrorText());
    // On the disk before the rename: a power cut then leaves the old file or
    // the new one whole, never an empty one.
    if (!stepAllowed(WriteStep::sync, bytes.size()) || ::fsync(f.fd) != 0) fail(writeErrorText());
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0) {
        ::unlink(tmp.c_str());
        throw MMEditError(writeErrorText());
    }
    if (!stepAllowed(WriteStep::rename, bytes.size()) ||
        ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw MMEditError(createErrorText(path));
    }
    // The rename itself is on the disk only once the folder is: without this
    // a power cut soon after a save can bring back the old file. A folder
    // that cannot be synced (some file systems refuse) keeps the saved file.
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

bool moveNoReplace(const std::string& from, const std::string& to) {
    // link() refuses an existing target; it fails across file systems and on
    // file systems without hard links, where a checked rename is the fallback.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) != 0) {
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    if (errno == EEXIST) return false;
    if (exists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool copyNoReplace(const std::string& from, const std::string& to) {
    // A symbolic link's file is copied, not the link: the save that follows
    // replaces that file, and the copy must keep its old bytes.
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST || errno == ENOENT) return false;
    // No hard links here: copy into a file that must not exist yet.
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0) {
        if (in >= 0) ::close(in);
        return false;
    }
    // The copy is made private and gets the original's permissions once it
    // is there (the umask plays no part).
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    if (::fchmod(out, st.st_mode & 0777) != 0) {
        ::close(in);
        ::close(out);
        ::unlink(to.c_str());
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(to.c_str());
    return ok;
}

} // namespace fileio
