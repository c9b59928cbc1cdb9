#include "bench_support.h"

#include "editor/editingarea.h"
#include "text/cp932.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QPlainTextEdit>
#include <QProcess>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

QFont editorFont() {
    QFont f(QStringLiteral("IPAGothic"));
    f.setPixelSize(16);
    return f;
}

const char* whereName(Where w) {
    return w == Where::start ? "start" : w == Where::middle ? "middle" : "end";
}

std::size_t bytePosition(std::string_view text, Where w) {
    switch (w) {
    case Where::start:
        return 0;
    case Where::middle:
        return cp932::boundaryAtOrBefore(text, text.size() / 2);
    case Where::end:
        return text.size();
    }
    return 0;
}

std::string sizeName(std::size_t bytes) {
    constexpr std::size_t kMega = std::size_t{1} << 20;
    return bytes >= kMega ? std::to_string(bytes / kMega) + "MB"
                          : std::to_string(bytes >> 10) + "KB";
}

std::string textName(SampleKind kind, std::size_t bytes) {
    return (kind == SampleKind::newsletter ? std::string() : std::string(kindName(kind))) +
           sizeName(bytes);
}

std::unique_ptr<EditingArea> newsletterEditor() {
    auto m = std::make_unique<EditingArea>();
    m->setEditorFont(editorFont());
    m->resize(kWindowWidth, kWindowHeight);
    configureNewsletterEditor(*m);
    m->editArea().setLineLength(kLineLength);
    return m;
}

std::unique_ptr<QPlainTextEdit> peerEditor() {
    auto e = std::make_unique<QPlainTextEdit>();
    e->setFont(editorFont());
    e->resize(kWindowWidth, kWindowHeight);
    return e;
}

namespace {

// The control's file entry, when it has one (it takes the path as a QString
// or as file-system bytes).
template <class W>
concept LoadsFromQStringPath = requires(W& w, const QString& path) {
    w.loadFile(path);
};
template <class W>
concept LoadsFromBytePath = requires(W& w, const std::string& path) {
    w.loadFile(path);
};
template <class W>
concept LoadsFromFile = LoadsFromQStringPath<W> || LoadsFromBytePath<W>;

template <class W> void load(W& w, const std::string& bytes, const std::string& path) {
    if constexpr (LoadsFromQStringPath<W>)
        w.loadFile(QString::fromStdString(path));
    else if constexpr (LoadsFromBytePath<W>)
        w.loadFile(path);
    else
        w.setText(bytes);
}

} // namespace

const char* mmeditLoadEntry() {
    return LoadsFromFile<EditingArea> ? "loadFile" : "setText";
}

void openInMMEdit(EditingArea& e, const std::string& bytes, const std::string& path) {
    load(e, bytes, path);
    const std::size_t expected =
        LoadsFromFile<EditingArea> ? std::filesystem::file_size(path) : bytes.size();
    if (static_cast<std::size_t>(e.textLength()) != expected)
        throw std::runtime_error("MMEdit did not take the whole text in");
}

void openInPeer(QPlainTextEdit& e, const std::string& bytes, const std::string& path) {
    if (LoadsFromFile<EditingArea>) {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path);
        const QByteArray read = f.readAll();
        e.setPlainText(cp932::decode(std::string_view(read.constData(), read.size())));
    } else {
        e.setPlainText(cp932::decode(bytes));
    }
}

int peerPosition(std::string_view text, std::size_t pos) {
    const std::string_view prefix = text.substr(0, pos);
    qsizetype units = cp932::decode(prefix).size();
    for (std::size_t i = prefix.find("\r\n"); i != std::string_view::npos;
         i = prefix.find("\r\n", i + 2))
        --units; // one paragraph separator
    return static_cast<int>(units);
}

void showAndPaint(QWidget* w) {
    w->show();
    QCoreApplication::processEvents();
}

struct PaintCounter::Filter : QObject {
    long paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

PaintCounter::PaintCounter(QWidget* w) : filter_(std::make_unique<Filter>()), widget_(w) {
    widget_->installEventFilter(filter_.get());
}

PaintCounter::~PaintCounter() {
    widget_->removeEventFilter(filter_.get());
}

long PaintCounter::count() const {
    return filter_->paints;
}

ProcessMemory processMemory() {
    ProcessMemory m;
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") in >> m.peakKB;
        if (key == "VmRSS:") in >> m.rssKB;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return m;
}

void printResidentMappings(const char* title, long minKB) {
    std::ifstream in("/proc/self/smaps");
    std::map<std::string, long> byName;
    std::string line, name;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const bool header = std::isxdigit(static_cast<unsigned char>(line[0])) &&
                            line.find('-') != std::string::npos && line.find(':') > line.find(' ');
        if (header) {
            // address perms offset dev inode [name]
            std::istringstream fields(line);
            std::string skip;
            for (int i = 0; i < 5; ++i)
                fields >> skip;
            std::getline(fields >> std::ws, name);
            if (name.empty()) name = "[anonymous]";
        } else if (line.rfind("Rss:", 0) == 0) {
            byName[name] += std::atol(line.c_str() + 4);
        }
    }
    std::vector<std::pair<long, std::string>> sorted;
    long total = 0;
    for (const auto& [n, kb] : byName) {
        sorted.emplace_back(kb, n);
        total += kb;
    }
    std::sort(sorted.rbegin(), sorted.rend());
    std::printf("%s: %ld kB resident\n", title, total);
    for (const auto& [kb, n] : sorted)
        if (kb >= minKB) std::printf("  %8ld kB  %s\n", kb, n.c_str());
}

void recordSide(benchmark::State& state, const std::string& figure, Side side,
                double secondsPerIteration) {
    static std::map<std::string, std::array<double, 2>> times;
    constexpr double kNone = -1;
    auto it = times.try_emplace(figure, std::array<double, 2>{kNone, kNone}).first;
    it->second[static_cast<int>(side)] = secondsPerIteration;
    const double mmedit = it->second[0], peer = it->second[1];
    if (mmedit > 0 && peer > 0) state.counters["peer/MMEdit"] = peer / mmedit;
}

namespace {
std::map<std::string, ChildMain>& childModes() {
    static std::map<std::string, ChildMain> modes;
    return modes;
}
} // namespace

bool registerChildMode(const char* name, ChildMain main) {
    childModes()[name] = main;
    return true;
}

ChildEnd runChildMode(const char* name, const std::string& arg, double limitSeconds,
                      std::string& output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child=%1:%2")
                 .arg(QString::fromUtf8(name), QString::fromStdString(arg))});
    if (!p.waitForStarted()) return ChildEnd::failed;
    const bool finished = p.waitForFinished(static_cast<int>(limitSeconds * 1000));
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    output = p.readAllStandardOutput().toStdString();
    if (!finished) return ChildEnd::timedOut;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? ChildEnd::ok
                                                                       : ChildEnd::failed;
}

bool runChildModeIfAsked(int argc, char** argv, int& status) {
    constexpr std::string_view kPrefix = "--child=";
    if (argc < 2 || !std::string_view(argv[1]).starts_with(kPrefix)) return false;
    const std::string request(std::string_view(argv[1]).substr(kPrefix.size()));
    const std::size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : request.substr(colon + 1);
    auto it = childModes().find(name);
    status = it == childModes().end() ? 2 : it->second(arg);
    return true;
}

namespace {
std::vector<void (*)()>& endWork() {
    static std::vector<void (*)()> work;
    return work;
}
} // namespace

void atBenchEnd(void (*work)()) {
    endWork().push_back(work);
}

void runBenchEnd() {
    for (auto* work : endWork())
        work();
}
