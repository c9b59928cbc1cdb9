// The editing area (MMEdit's newsletter design, line length 70) next to
// QPlainTextEdit (the peer), both shown on the offscreen platform at the same
// size and font, doing the same work at the same character:
//   Open/...        bytes in (or the file read) to the first paint, the peer's
//                   decoding included;
//   Key/...         one typed key and, on the next iteration, its backspace,
//                   each with its screen update, at the start, middle and end
//                   of 10 MB and 100 MB newsletter texts and of the
//                   pathological texts (no line end, only 」, only tabs);
//   KeyNoPaint/...  the same keys without the screen update;
//   Scroll/...      a page of scrolling with its paint.
// The counter "peer/MMEdit" is the peer's time over MMEdit's on the same
// figure. Keys in the pathological texts are typed in a child process of the
// program under a time limit (MMEDIT_BENCH_LIMIT seconds, 120 by default,
// for opening, two warm-up keys and the timed keys); a child that does not
// finish in time is ended and its figure reported as skipped, with how far
// it came. The peer types two timed keys there, in the middle only.
#include "bench_support.h"
#include "sample_text.h"

#include "editor/editingarea.h"
#include "text/cp932.h"
#include "text/fileio.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <type_traits>
#include <vector>

namespace {

// The file of a text, written when MMEdit reads files itself (so that the
// peer reads the same file).
std::string sampleFile(SampleKind kind, std::size_t bytes) {
    if (std::string_view(mmeditLoadEntry()) != "loadFile") return {};
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("mmedit-bench-" + textName(kind, bytes) + ".txt"))
                                 .string();
    const std::string& t = cachedSample(kind, bytes);
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) != t.size()) writeFile(path, t);
    return path;
}

// --- the loaded editor kept from one benchmark to the next -----------------

struct Loaded {
    std::string key;
    std::unique_ptr<QWidget> widget;
};

Loaded& loaded() {
    static Loaded l;
    return l;
}

void dropLoaded() {
    loaded().widget.reset();
    loaded().key.clear();
    QCoreApplication::processEvents();
}

EditingArea& mmeditWith(SampleKind kind, std::size_t bytes) {
    const std::string key = "MMEdit/" + textName(kind, bytes);
    if (loaded().key != key) {
        dropLoaded();
        auto m = newsletterEditor();
        showAndPaint(m.get());
        openInMMEdit(*m, cachedSample(kind, bytes), sampleFile(kind, bytes));
        QCoreApplication::processEvents();
        // The keys are timed once the lines past the first screen are laid
        // out (while the program is idle, in the first few tens of
        // milliseconds), as the peer has laid out its blocks when it opened.
        while (!m->lineView().complete())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        loaded().widget = std::move(m);
        loaded().key = key;
    }
    return static_cast<EditingArea&>(*loaded().widget);
}

QPlainTextEdit& peerWith(SampleKind kind, std::size_t bytes) {
    const std::string key = "Peer/" + textName(kind, bytes);
    if (loaded().key != key) {
        dropLoaded();
        auto e = peerEditor();
        showAndPaint(e.get());
        openInPeer(*e, cachedSample(kind, bytes), sampleFile(kind, bytes));
        QCoreApplication::processEvents();
        loaded().widget = std::move(e);
        loaded().key = key;
    }
    return static_cast<QPlainTextEdit&>(*loaded().widget);
}

// Places the caret of either editor at the character that starts at byte pos.
// Returns false when the peer's position does not hold the same character.
bool placeCaret(EditingArea& m, const std::string&, std::size_t pos) {
    m.setSelectionStart(static_cast<int>(pos));
    return m.caretPosition() == pos;
}

bool placeCaret(QPlainTextEdit& e, const std::string& t, std::size_t pos) {
    const int p = peerPosition(t, pos);
    QTextCursor c(e.document());
    c.setPosition(p);
    e.setTextCursor(c);
    if (e.textCursor().position() != p) return false;
    if (pos == t.size()) return p == e.document()->characterCount() - 1;
    const QChar at = e.document()->characterAt(p);
    const char16_t expected = t[pos] == '\r' || t[pos] == '\n' ? char16_t(QChar::ParagraphSeparator)
                                                               : cp932::toUnicode(t, pos);
    return at.unicode() == expected;
}

long lengthOf(const EditingArea& m) {
    return m.textLength();
}
long lengthOf(const QPlainTextEdit& e) {
    return e.document()->characterCount();
}

QWidget* viewportOf(EditingArea& m) {
    return m.viewport();
}
QWidget* viewportOf(QPlainTextEdit& e) {
    return e.viewport();
}

// Types 'a' and takes it back with Backspace, key after key.
class Typist {
  public:
    Typist(QWidget* w, std::function<long()> length)
        : w_(w), length_(std::move(length)), before_(length_()) {}

    // A first key and its backspace bring the caret's line into view.
    // Returns false when the key did not go in.
    bool warmUp() {
        key(true);
        const bool typed = length_() == before_ + 1;
        key(true);
        return typed && length_() == before_;
    }
    void key(bool paint) {
        QApplication::sendEvent(w_, typed_ ? &backspace_ : &a_);
        typed_ = !typed_;
        if (paint) QCoreApplication::processEvents(); // what the key marked dirty is painted
    }
    // Takes the last key back; true when the text is as it was.
    bool finish() {
        if (typed_) key(true);
        QCoreApplication::processEvents();
        return length_() == before_;
    }

  private:
    QWidget* w_;
    std::function<long()> length_;
    long before_;
    bool typed_ = false;
    QKeyEvent a_{QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")};
    QKeyEvent backspace_{QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier};
};

// --- opening -----------------------------------------------------------------

template <class Editor, class Make, class Open>
void openToFirstPaint(benchmark::State& state, SampleKind kind, std::size_t bytes, Side side,
                      Make make, Open open) {
    const std::string& t = cachedSample(kind, bytes);
    const std::string path = sampleFile(kind, bytes);
    dropLoaded();
    double total = 0;
    long paints = 0;
    for (auto _ : state) {
        std::unique_ptr<Editor> e = make();
        showAndPaint(e.get());
        {
            PaintCounter counter(viewportOf(*e));
            Stopwatch clock;
            open(*e, t, path);
            QCoreApplication::processEvents(); // the first paint
            const double s = clock.seconds();
            state.SetIterationTime(s);
            total += s;
            paints += counter.count();
        }
        e.reset();
        QCoreApplication::processEvents();
    }
    if (paints < state.iterations()) state.SkipWithError("no first paint after opening");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.SetLabel(side == Side::mmedit ? mmeditLoadEntry() : "decode+setPlainText");
    recordSide(state, "Open/" + textName(kind, bytes), side,
               total / static_cast<double>(state.iterations()));
}

void openMMEdit(benchmark::State& state, SampleKind kind, std::size_t bytes) {
    openToFirstPaint<EditingArea>(state, kind, bytes, Side::mmedit, newsletterEditor, openInMMEdit);
}

void openPeer(benchmark::State& state, SampleKind kind, std::size_t bytes) {
    openToFirstPaint<QPlainTextEdit>(state, kind, bytes, Side::peer, peerEditor, openInPeer);
}

// --- saving ------------------------------------------------------------------

// The whole text to a file as each editor's program would save it: MMEdit
// writes its bytes by the safe write; the peer takes its text out, makes the
// line ends CR LF, encodes it and writes it through QSaveFile.
void saveMMEdit(benchmark::State& state, EditingArea& e) {
    const std::string path = QDir::tempPath().toStdString() + "/mmedit-bench-save.txt";
    double total = 0;
    for (auto _ : state) {
        Stopwatch clock;
        fileio::writeAll(path, e.document().all());
        const double s = clock.seconds();
        state.SetIterationTime(s);
        total += s;
    }
    std::remove(path.c_str());
    recordSide(state, "Save/10MB", Side::mmedit, total / static_cast<double>(state.iterations()));
}

void savePeer(benchmark::State& state, QPlainTextEdit& e) {
    const QString path = QDir::tempPath() + QStringLiteral("/mmedit-bench-save-peer.txt");
    double total = 0;
    for (auto _ : state) {
        Stopwatch clock;
        QString text = e.toPlainText();
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        QStringEncoder encode("Shift_JIS");
        const QByteArray bytes = encode(text);
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
            state.SkipWithError("the peer could not save");
        const double s = clock.seconds();
        state.SetIterationTime(s);
        total += s;
    }
    QFile::remove(path);
    recordSide(state, "Save/10MB", Side::peer, total / static_cast<double>(state.iterations()));
}

// --- typing ------------------------------------------------------------------

template <class Editor>
void typeKeys(benchmark::State& state, Editor& e, SampleKind kind, std::size_t bytes, Where where,
              Side side, bool paint) {
    const std::string& t = cachedSample(kind, bytes);
    if (!placeCaret(e, t, bytePosition(t, where))) {
        state.SkipWithError("the caret is not at the same character");
        return;
    }
    Typist typist(&e, [&e] { return lengthOf(e); });
    if (!typist.warmUp()) {
        state.SkipWithError("the key was not typed");
        return;
    }
    PaintCounter paints(viewportOf(e));
    Stopwatch clock;
    for (auto _ : state)
        typist.key(paint);
    const double seconds = clock.seconds();
    if (!paint) QCoreApplication::processEvents();
    if (!typist.finish()) state.SkipWithError("the text did not come back as it was");
    const double n = static_cast<double>(state.iterations());
    state.counters["paints/key"] = static_cast<double>(paints.count()) / n;
    recordSide(state,
               std::string(paint ? "Key/" : "KeyNoPaint/") + textName(kind, bytes) + "/" +
                   whereName(where),
               side, seconds / n);
}

// An editor on a pathological text, in a child process: opens, places the
// caret, warms up and types keys, printing "open S" and "key S" lines as it
// goes. Argument: side:kind:bytes:where:keys.
template <class Editor, class Make, class Open>
int keysChild(Make make, Open open, SampleKind kind, std::size_t bytes, Where where, int keys) {
    const std::string& t = cachedSample(kind, bytes);
    std::unique_ptr<Editor> e = make();
    showAndPaint(e.get());
    Stopwatch opening;
    open(*e, t, sampleFile(kind, bytes));
    QCoreApplication::processEvents();
    if constexpr (std::is_same_v<Editor, EditingArea>) {
        // As for the other keys: timed once the idle layout is done.
        while (!e->lineView().complete())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::printf("open %.6f\n", opening.seconds());
    std::fflush(stdout);
    Stopwatch placing;
    if (!placeCaret(*e, t, bytePosition(t, where))) return 3;
    QCoreApplication::processEvents();
    std::printf("placed %.6f\n", placing.seconds());
    std::fflush(stdout);
    Typist typist(e.get(), [&e] { return lengthOf(*e); });
    Stopwatch warming;
    if (!typist.warmUp()) return 4;
    std::printf("warm %.6f\n", warming.seconds());
    std::fflush(stdout);
    for (int i = 0; i < keys; ++i) {
        Stopwatch clock;
        typist.key(true);
        std::printf("key %.6f\n", clock.seconds());
        std::fflush(stdout);
    }
    return typist.finish() ? 0 : 5;
}

int keysChildMain(const std::string& arg) {
    int side = 0, kind = 0, where = 0, keys = 0;
    unsigned long long bytes = 0;
    if (std::sscanf(arg.c_str(), "%d:%d:%llu:%d:%d", &side, &kind, &bytes, &where, &keys) != 5)
        return 2;
    const auto k = static_cast<SampleKind>(kind);
    const auto w = static_cast<Where>(where);
    if (static_cast<Side>(side) == Side::mmedit)
        return keysChild<EditingArea>(newsletterEditor, openInMMEdit, k, bytes, w, keys);
    return keysChild<QPlainTextEdit>(peerEditor, openInPeer, k, bytes, w, keys);
}
[[maybe_unused]] const bool keysRegistered = registerChildMode("keys", keysChildMain);

double limitSeconds() {
    const char* s = std::getenv("MMEDIT_BENCH_LIMIT");
    const double v = s ? std::atof(s) : 0;
    return v > 0 ? v : 120;
}

// Keys typed in a child process under the time limit; each iteration is one
// key the child timed. Skipped, with how far the child came, when the child
// does not finish in time.
void keysInChild(benchmark::State& state, Side side, SampleKind kind, std::size_t bytes,
                 Where where) {
    dropLoaded();
    const double limit = limitSeconds();
    const int wanted = static_cast<int>(state.max_iterations);
    const std::string arg = std::to_string(static_cast<int>(side)) + ":" +
                            std::to_string(static_cast<int>(kind)) + ":" + std::to_string(bytes) +
                            ":" + std::to_string(static_cast<int>(where)) + ":" +
                            std::to_string(wanted);
    std::string out;
    const ChildEnd end = runChildMode("keys", arg, limit, out);
    std::istringstream lines(out);
    std::string word;
    double value = 0, open = -1, placed = -1, warm = -1;
    std::vector<double> keys;
    while (lines >> word >> value) {
        if (word == "open")
            open = value;
        else if (word == "placed")
            placed = value;
        else if (word == "warm")
            warm = value;
        else
            keys.push_back(value);
    }
    const char* who = side == Side::mmedit ? "MMEdit" : "the peer";
    char message[240];
    if (end == ChildEnd::failed) {
        state.SkipWithError("the child process failed");
        return;
    }
    if (end == ChildEnd::timedOut || keys.size() != static_cast<std::size_t>(wanted)) {
        // How far the child came.
        int n = std::snprintf(message, sizeof message, "skipped after %.0f s (the limit): %s ",
                              limit, who);
        const std::size_t room = sizeof message - static_cast<std::size_t>(n);
        if (open < 0)
            std::snprintf(message + n, room, "did not open the text");
        else if (placed < 0)
            std::snprintf(message + n, room, "opened in %.2f s, did not place the caret", open);
        else if (warm < 0)
            std::snprintf(message + n, room,
                          "opened in %.2f s, placed the caret in %.2f s, did not type the first "
                          "key and its backspace",
                          open, placed);
        else
            std::snprintf(message + n, room,
                          "opened in %.2f s, typed the first key and its backspace in %.2f s, "
                          "then %zu of %d timed keys",
                          open, warm, keys.size(), wanted);
        state.SkipWithError(message);
        return;
    }
    std::size_t i = 0;
    double total = 0;
    for (auto _ : state) {
        state.SetIterationTime(keys[i]);
        total += keys[i++];
    }
    std::snprintf(message, sizeof message,
                  "child process; opened in %.2f s, first key+backspace %.2f s", open, warm);
    state.SetLabel(message);
    recordSide(state, "Key/" + textName(kind, bytes) + "/" + whereName(where), side,
               total / static_cast<double>(state.iterations()));
}

// --- scrolling and painting ----------------------------------------------------

// Paints a widget into an image, as a screen update would.
void render(QWidget* w) {
    QImage img(w->size(), QImage::Format_RGB32);
    w->render(&img);
    benchmark::DoNotOptimize(img.bits());
}

void scrollPages(benchmark::State& state, QAbstractScrollArea* area, Side side) {
    QScrollBar* bar = area->verticalScrollBar();
    int v = 0;
    Stopwatch clock;
    for (auto _ : state) {
        v = (v + bar->pageStep()) % std::max(1, bar->maximum());
        bar->setValue(v);
        QCoreApplication::processEvents();
    }
    recordSide(state, "Scroll/10MB", side,
               clock.seconds() / static_cast<double>(state.iterations()));
    bar->setValue(0);
    QCoreApplication::processEvents();
}

// --- the list ----------------------------------------------------------------------

template <class F> benchmark::internal::Benchmark* add(const std::string& name, F f) {
    return benchmark::RegisterBenchmark(name.c_str(), f);
}

bool registerAll() {
    const SampleKind news = SampleKind::newsletter;
    for (std::size_t bytes : {10 * kMB, 100 * kMB}) {
        const int n = bytes > 10 * kMB ? 3 : 5;
        add("Open/MMEdit/" + sizeName(bytes),
            [=](benchmark::State& s) { openMMEdit(s, news, bytes); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(n);
        add("Open/Peer/" + sizeName(bytes), [=](benchmark::State& s) { openPeer(s, news, bytes); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(n);
    }
    for (std::size_t bytes : {10 * kMB, 100 * kMB}) {
        for (Where w : {Where::start, Where::middle, Where::end})
            add("Key/MMEdit/" + sizeName(bytes) + "/" + whereName(w),
                [=](benchmark::State& s) {
                    typeKeys(s, mmeditWith(news, bytes), news, bytes, w, Side::mmedit, true);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        if (bytes == 10 * kMB) {
            add("KeyNoPaint/MMEdit/10MB/middle",
                [=](benchmark::State& s) {
                    typeKeys(s, mmeditWith(news, bytes), news, bytes, Where::middle, Side::mmedit,
                             false);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
            add("Scroll/MMEdit/10MB",
                [=](benchmark::State& s) {
                    scrollPages(s, &mmeditWith(news, bytes), Side::mmedit);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
            // A full window of newsletter text with every mark on, painted whole.
            add("PaintAllMarks/MMEdit/10MB",
                [=](benchmark::State& s) {
                    EditingArea& m = mmeditWith(news, bytes);
                    m.verticalScrollBar()->setValue(1000);
                    for (auto _ : s)
                        render(m.viewport());
                    m.verticalScrollBar()->setValue(0);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
        for (Where w : {Where::start, Where::middle, Where::end})
            add("Key/Peer/" + sizeName(bytes) + "/" + whereName(w),
                [=](benchmark::State& s) {
                    typeKeys(s, peerWith(news, bytes), news, bytes, w, Side::peer, true);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        if (bytes == 10 * kMB) {
            add("KeyNoPaint/Peer/10MB/middle",
                [=](benchmark::State& s) {
                    typeKeys(s, peerWith(news, bytes), news, bytes, Where::middle, Side::peer,
                             false);
                })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
            add("Scroll/Peer/10MB",
                [=](benchmark::State& s) { scrollPages(s, &peerWith(news, bytes), Side::peer); })
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
    }
    for (SampleKind k : {SampleKind::noLineEnd, SampleKind::brackets, SampleKind::tabs}) {
        const std::size_t bytes = 10 * kMB;
        add("Open/MMEdit/" + textName(k, bytes),
            [=](benchmark::State& s) { openMMEdit(s, k, bytes); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(3);
        for (Where w : {Where::start, Where::middle, Where::end})
            add("Key/MMEdit/" + textName(k, bytes) + "/" + whereName(w),
                [=](benchmark::State& s) { keysInChild(s, Side::mmedit, k, bytes, w); })
                ->Unit(benchmark::kMicrosecond)
                ->UseManualTime()
                ->Iterations(20);
        // The peer takes seconds per key here: two keys, in the middle only.
        add("Key/Peer/" + textName(k, bytes) + "/middle",
            [=](benchmark::State& s) { keysInChild(s, Side::peer, k, bytes, Where::middle); })
            ->Unit(benchmark::kMicrosecond)
            ->UseManualTime()
            ->Iterations(2);
    }
    // The editor goes before the application does.
    atBenchEnd(dropLoaded);
    // Last: a peer editor that stays open goes on with work of its own in the
    // event loop, which must not fall into the figures of the keys.
    add("Save/MMEdit/10MB", [=](benchmark::State& s) { saveMMEdit(s, mmeditWith(news, 10 * kMB)); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(5);
    add("Save/Peer/10MB", [=](benchmark::State& s) { savePeer(s, peerWith(news, 10 * kMB)); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(5);
    return true;
}

[[maybe_unused]] const bool registered = registerAll();

} // namespace
