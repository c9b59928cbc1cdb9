// The opening peer of bench/open.sh: a plain Qt main window with a menu, a
// QPlainTextEdit and a status bar that reads a code page 932 file with iconv
// and shows it. It tells the same times and memory figures in the words of
// MMEdit's MMEDIT_REPORT_STARTUP and MMEDIT_REPORT_MEMORY hooks:
//
//   bench_open_peer FILE
//
// QPlainTextEdit lays its text out as it is shown, so its "layout complete"
// is the first screen painted.
#include "peer_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iconv.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long long statusField(const char* field) {
    long long value = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::char_traits<char>::length(field);
        while (std::fgets(line, sizeof line, f))
            if (std::char_traits<char>::compare(line, field, n) == 0)
                std::sscanf(line + n, "%lld", &value);
        std::fclose(f);
    }
    return value;
}

void tellMemory(const char* when) {
    std::fprintf(stderr, "memory %s: rss %lld KiB, peak %lld KiB\n", when, statusField("VmRSS:"),
                 statusField("VmHWM:"));
}

// The file's text as UTF-16, converted by iconv straight into the string.
QString readCp932(const char* path) {
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return {};
    struct stat st {};
    ::fstat(fd, &st);
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    ::close(fd);
    if (map == MAP_FAILED) return {};
    // A byte gives at most one UTF-16 unit.
    QString text(static_cast<qsizetype>(size), Qt::Uninitialized);
    iconv_t cd = ::iconv_open("UTF-16LE", "CP932");
    char* in = static_cast<char*>(map);
    std::size_t inLeft = size;
    char* out = reinterpret_cast<char*>(text.data());
    std::size_t outLeft = size * 2;
    while (inLeft > 0) {
        if (::iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) break;
        // A byte iconv cannot take: U+FFFD, and on.
        if (outLeft < 2) break;
        *reinterpret_cast<char16_t*>(out) = u'\uFFFD';
        out += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    ::iconv_close(cd);
    if (map) ::munmap(map, size);
    text.truncate(static_cast<qsizetype>((size * 2 - outLeft) / 2));
    text.squeeze();
    return text;
}

class Report : public QObject {
  public:
    explicit Report(QElapsedTimer& started) : started_(started) {}
    bool armed = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (armed && event->type() == QEvent::Paint) {
            armed = false;
            QTimer::singleShot(0, this, [this] {
                const long long ms = started_.elapsed();
                std::fprintf(stderr, "file shown after %lld ms\n", ms);
                std::fprintf(stderr, "layout complete after %lld ms\n", ms);
                tellMemory("at layout complete");
                QTimer::singleShot(1000, this, [] {
                    tellMemory("at rest");
                    QCoreApplication::exit(0);
                });
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QElapsedTimer& started_;
};

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open_peer FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    QMainWindow window;
    QPlainTextEdit* editor = setUpPeerWindow(window, QStringLiteral("メールマガジンエディタ"),
                                             QStringLiteral("0 行  0 文字"), true);
    window.show();
    Report report(started);
    QTimer::singleShot(0, [&] {
        std::fprintf(stderr, "main window shown after %lld ms\n",
                     static_cast<long long>(started.elapsed()));
        if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        tellMemory("before opening");
        editor->viewport()->installEventFilter(&report);
        {
            const QString text = readCp932(path.c_str());
            editor->setPlainText(text);
        }
        report.armed = true;
        editor->viewport()->update();
    });
    return app.exec();
}
