// Crash recovery at the first key typed in a newsletter text just opened
// (10, 100 and 500 MB): "ui" is the time on the user-interface thread (the
// change with the recovery's handler of it, which hands the first write to
// the writing thread), "write" the time until that write is on disk, run
// beside. Each round takes the key back and counts the document as just
// opened again. "peak_MB" is how far the process's resident memory rose
// above where it stood before the key, until the write was done.
#include "bench_support.h"
#include "sample_text.h"

#include "app/recovery.h"
#include "platform/dialogs.h"
#include "settings/filelocations.h"
#include "text/document.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sets the process's peak resident memory back to what is resident now.
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

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
    std::vector<double> ui, write;
    long peakKB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (doc.canUndo()) doc.undo();
        doc.setModified(false);
        recovery.documentSaved(); // as after opening the file
        recovery.waitForWrites();
        resetPeakMemory();
        const long before = processMemory().rssKB;
        state.ResumeTiming();
        const auto start = Clock::now();
        doc.replace(bytes / 2, 0, "x");
        const auto handed = Clock::now();
        state.PauseTiming();
        recovery.waitForWrites();
        const auto written = Clock::now();
        peakKB = std::max(peakKB, processMemory().peakKB - before);
        state.ResumeTiming();
        ui.push_back(std::chrono::duration<double, std::milli>(handed - start).count());
        write.push_back(std::chrono::duration<double, std::milli>(written - start).count());
    }
    recovery.cleanExit();
    // The fastest and the median of the rounds.
    std::sort(ui.begin(), ui.end());
    std::sort(write.begin(), write.end());
    state.counters["ui_min_ms"] = ui.front();
    state.counters["ui_median_ms"] = ui[ui.size() / 2];
    state.counters["write_min_ms"] = write.front();
    state.counters["write_median_ms"] = write[write.size() / 2];
    state.counters["peak_MB"] = static_cast<double>(peakKB) / 1024.0;
}

} // namespace

BENCHMARK(BM_RecoveryFirstKey_MMEdit)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);
