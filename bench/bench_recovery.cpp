// Crash recovery at the first key typed in a newsletter text just opened
// (10, 100 and 500 MB): "ui" is the time on the user-interface thread (the
// change with the recovery's handler of it, which hands the first write to
// the writing thread), "write" the time until that write is on disk, run
// beside. Each round takes the key back and counts the document as just
// opened again.
#include "sample_text.h"

#include "app/recovery.h"
#include "platform/dialogs.h"
#include "settings/filelocations.h"
#include "text/document.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void BM_RecoveryFirstKey_MMEdit(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMB;
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString() + "/";
    const std::string file = base + "large.txt";
    {
        std::string text(bytes, 'a');
        for (std::size_t i = 0; i < text.size(); i += 97)
            text[i] = '\n';
        writeFile(file, text);
    }
    const FileLocations locations(base);
    QtDialogs dialogs;
    Document doc;
    doc.loadFile(file);
    doc.setModified(false);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h});
    double ui = 0;
    double write = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (doc.canUndo()) doc.undo();
        doc.setModified(false);
        recovery.documentSaved(); // as after opening the file
        recovery.waitForWrites();
        state.ResumeTiming();
        const auto start = Clock::now();
        doc.replace(bytes / 2, 0, "x");
        const auto handed = Clock::now();
        state.PauseTiming();
        recovery.waitForWrites();
        const auto written = Clock::now();
        state.ResumeTiming();
        ui += std::chrono::duration<double, std::milli>(handed - start).count();
        write += std::chrono::duration<double, std::milli>(written - start).count();
    }
    recovery.cleanExit();
    state.counters["ui_ms"] = benchmark::Counter(ui, benchmark::Counter::kAvgIterations);
    state.counters["write_ms"] = benchmark::Counter(write, benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_RecoveryFirstKey_MMEdit)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
