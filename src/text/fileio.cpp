#include "fileio.h"

#include "errors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

namespace {
std::function<bool(std::size_t)>& writeHook() {
    static std::function<bool(std::size_t)> hook;
    return hook;
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
    writeHook() = std::move(hook);
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

std::string readAll(const std::string& path) {
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) throw MMEditError(openErrorText(path));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || S_ISDIR(st.st_mode)) throw MMEditError(openErrorText(path));
    std::string data;
    if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw MMEditError(openErrorText(path));
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    return data;
}

void writeAll(const std::string& path, std::string_view bytes) {
    // Write through a symbolic link to the file it names, so the link stays.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && !S_ISREG(old.st_mode)) throw MMEditError(createErrorText(path));

    const std::string folder = folderOf(target);
    const std::string base = target.substr(folder.size());
    std::string tmp = folder + "." + base + ".XXXXXX";
    Fd f;
    f.fd = ::mkstemp(tmp.data());
    if (f.fd < 0) throw MMEditError(createErrorText(path));

    auto fail = [&](const QString& text) {
        ::close(f.fd);
        f.fd = -1;
        ::unlink(tmp.c_str());
        throw MMEditError(text);
    };

    mode_t mode = 0;
    if (hadFile) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(f.fd, mode);

    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto& hook = writeHook();
        if (hook && !hook(done)) fail(writeErrorText());
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        const ssize_t n = ::write(f.fd, bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(writeErrorText());
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(f.fd) != 0) fail(writeErrorText());
    const int fd = f.fd;
    f.fd = -1;
    if (::close(fd) != 0) {
        ::unlink(tmp.c_str());
        throw MMEditError(writeErrorText());
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw MMEditError(createErrorText(path));
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

} // namespace fileio
