// The send check on 10 MB newsletter texts:
//   Check/...        every finding of the whole text (what mmedit-cli check
//                    and the findings list do), against a plain byte loop
//                    over the same bytes as the reference line;
//   LiveReset/...    the live check of the editing area started on the text;
//   Key/.../On|Off   one typed key and its backspace in MMEdit's editing area
//                    with the live check and its marks on and off, with and
//                    without the screen update; "added µs/key" is what the
//                    check adds to a key (the On figure less the Off one);
//   MarksInTurns/... keys with their screen update and whole repaints, taken
//                    in turns with the marks shown and hidden: what drawing
//                    the marks adds.
#include "bench_support.h"
#include "sample_text.h"

#include "editor/editingarea.h"
#include "text/cp932.h"
#include "text/gapbuffer.h"
#include "text/mailcheck.h"
#include "text/textexport.h"

#include <QApplication>
#include <QKeyEvent>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

constexpr std::size_t kTextBytes = 10 * kMB;
constexpr std::size_t kCharacterLimit = 30000;

mailcheck::Options options() {
    mailcheck::Options o;
    o.layout.width = kLineLength;
    o.maxChars = kCharacterLimit;
    return o;
}

// The newsletter text as written (long paragraphs the editor wraps) and as
// sent (hard-wrapped: no line wider than the width).
const std::string& sampleOf(bool wrapped) {
    static std::string hard;
    const std::string& t = cachedSample(SampleKind::newsletter, kTextBytes);
    if (!wrapped) return t;
    if (hard.empty()) hard = textexport::hardWrapped(t, options().layout);
    return hard;
}

void checkWhole(benchmark::State& state, bool wrapped, int width) {
    const std::string& t = sampleOf(wrapped);
    std::size_t findings = 0;
    mailcheck::Options o = options();
    o.layout.width = width;
    for (auto _ : state) {
        const std::vector<mailcheck::Finding> f = mailcheck::check(t, o);
        findings = f.size();
        benchmark::DoNotOptimize(f.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["findings"] = static_cast<double>(findings);
}

// The reference line: one pass over the bytes that looks at each of them.
void byteLoop(benchmark::State& state) {
    const std::string& t = sampleOf(false);
    for (auto _ : state) {
        std::size_t high = 0;
        for (char c : t)
            high += static_cast<unsigned char>(c) >> 7;
        benchmark::DoNotOptimize(high);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
}

void liveReset(benchmark::State& state) {
    const GapBuffer text(sampleOf(false));
    LineView view;
    view.setRules(options().layout);
    view.layoutAll(text);
    for (auto _ : state) {
        mailcheck::LiveCheck live;
        live.reset(text);
        live.resetLines(text, view);
        benchmark::DoNotOptimize(live.total());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// --- typing ----------------------------------------------------------------------

EditingArea& loadedEditor() {
    static std::unique_ptr<EditingArea> e;
    if (!e) {
        e = newsletterEditor();
        showAndPaint(e.get());
        e->setText(sampleOf(false));
        while (!e->totalsFinal())
            QCoreApplication::processEvents();
        atBenchEnd([] { e.reset(); });
    }
    return *e;
}

// Seconds per key of the Off figures, for the On ones.
std::map<std::string, double>& offSeconds() {
    static std::map<std::string, double> m;
    return m;
}

void typeKeys(benchmark::State& state, Where where, bool paint, bool check) {
    EditingArea& e = loadedEditor();
    e.setMailCheckActive(check);
    QCoreApplication::processEvents();
    const std::string& t = sampleOf(false);
    e.setSelectionStart(static_cast<int>(bytePosition(t, where)));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    const long before = e.textLength();
    bool typed = false;
    auto key = [&] {
        QApplication::sendEvent(&e, typed ? &backspace : &a);
        typed = !typed;
        if (paint) QCoreApplication::processEvents();
    };
    key();
    key(); // the caret's line in view
    Stopwatch clock;
    for (auto _ : state)
        key();
    const double perKey = clock.seconds() / static_cast<double>(state.iterations());
    if (typed) key();
    QCoreApplication::processEvents();
    if (e.textLength() != before) state.SkipWithError("the text did not come back as it was");
    const std::string figure = std::string(paint ? "Key/" : "KeyNoPaint/") + whereName(where);
    if (!check) {
        offSeconds()[figure] = perKey;
    } else if (offSeconds().contains(figure)) {
        state.counters["added µs/key"] = (perKey - offSeconds()[figure]) * 1e6;
    }
    state.counters["findings"] = static_cast<double>(e.mailFindingCount());
    e.setMailCheckActive(false);
}

// The marks alone: keys with their screen update, and whole repaints of the
// view, taken in turns with the send check's marks shown and hidden (the
// check itself kept up to date throughout), so that the machine's drift
// falls on both alike. Counters: µs with the marks, without, and added.
void marksInTurns(benchmark::State& state, Where where, bool keys) {
    EditingArea& e = loadedEditor();
    e.setMailCheckActive(true);
    const std::string& t = sampleOf(false);
    e.setSelectionStart(static_cast<int>(bytePosition(t, where)));
    QCoreApplication::processEvents();
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    auto show = [&](bool on) {
        e.editMarks().mailCheck.setEnabled(on);
        e.editMarks().mailWarning.setEnabled(on);
        QCoreApplication::processEvents();
    };
    // One key and its backspace, each painted; or one whole repaint.
    auto work = [&] {
        if (keys) {
            QApplication::sendEvent(&e, &a);
            QCoreApplication::processEvents();
            QApplication::sendEvent(&e, &backspace);
            QCoreApplication::processEvents();
        } else {
            e.viewport()->repaint();
        }
    };
    const long before = e.textLength();
    work();
    double with = 0, without = 0;
    for (auto _ : state) {
        show(true);
        Stopwatch on;
        work();
        with += on.seconds();
        show(false);
        Stopwatch off;
        work();
        without += off.seconds();
    }
    show(true);
    if (e.textLength() != before) state.SkipWithError("the text did not come back as it was");
    const double n = static_cast<double>(state.iterations()) * (keys ? 2 : 1);
    state.counters["with µs"] = with / n * 1e6;
    state.counters["without µs"] = without / n * 1e6;
    state.counters["added µs"] = (with - without) / n * 1e6;
    e.setMailCheckActive(false);
}

void registerAll() {
    benchmark::RegisterBenchmark("Check/10MB", checkWhole, false, kLineLength)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Check/10MB/HardWrapped", checkWhole, true, kLineLength)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Check/10MB/NoLineWidth", checkWhole, false, 0)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ByteLoop/10MB", byteLoop)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LiveReset/10MB", liveReset)->Unit(benchmark::kMillisecond);
    for (const bool paint : {false, true})
        for (const Where w : {Where::start, Where::middle, Where::end})
            for (const bool check : {false, true}) {
                const std::string name = std::string(paint ? "Key/10MB/" : "KeyNoPaint/10MB/") +
                                         whereName(w) + (check ? "/On" : "/Off");
                benchmark::RegisterBenchmark(name.c_str(), typeKeys, w, paint, check)
                    ->Unit(benchmark::kMicrosecond)
                    ->Iterations(paint ? 400 : 4000)
                    ->Repetitions(3)
                    ->ReportAggregatesOnly(true);
            }
    for (const Where w : {Where::start, Where::middle, Where::end}) {
        const std::string keys = std::string("MarksInTurns/Key/10MB/") + whereName(w);
        benchmark::RegisterBenchmark(keys.c_str(), marksInTurns, w, true)
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(300);
        const std::string paint = std::string("MarksInTurns/Repaint/10MB/") + whereName(w);
        benchmark::RegisterBenchmark(paint.c_str(), marksInTurns, w, false)
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(100);
    }
}
[[maybe_unused]] const bool registered = (registerAll(), true);

} // namespace
