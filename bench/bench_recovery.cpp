// Crash recovery at the first key typed in a newsletter text just opened
// (10, 100 and 500 MB): "ui" is the time on the user-interface thread (the
// change with the recovery's handler of it, which hands the first write to
// the writing thread), "write" the time until that write is on disk, run
// beside. Each round takes the key back and counts the document as just
// opened again. "peak_MB" is how far the process's resident memory rose
// above where it stood before the key, until the write was done.
//
// BM_RecoveryYes: a 100 MB text brought back at start ("Yes"), from a journal
// on the file as opened (base 0) or on a snapshot of the whole text (base 1),
// with one key typed in the middle: the time from the recovery's start to
// the text in the document and kept in this run's file, and "peak_x", how
// far the resident memory rose meanwhile, in sizes of the text.
//
// BM_RecoverySavingTo: what a save of a 100 MB text with a key typed adds
// before its file is written: the journal brought up to the text and the
// text's size and hash noted on disk.
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

// Writes a file of `bytes` bytes: lines of 96 "a" and a line end.
void writeLines(const std::string& file, std::size_t bytes) {
    std::string text(bytes, 'a');
    for (std::size_t i = 0; i < text.size(); i += 97)
        text[i] = '\n';
    writeFile(file, text);
}

// Sets the process's peak resident memory back to what is resident now.
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_RecoveryFirstKey_MMEdit(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMB;
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString() + "/";
    const std::string file = base + "large.txt";
    writeLines(file, bytes);
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

// Answers every box with Yes.
class YesDialogs : public Dialogs {
  public:
    Button messageBox(const QString&, const QString&, Icon, int) override { return Yes; }
    std::string openFileName(const QString&, const QString&, const std::string&) override {
        return {};
    }
    std::string saveFileName(const QString&, const QString&, const std::string&) override {
        return {};
    }
};

void BM_RecoveryYes_MMEdit(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMB;
    const bool snapshot = state.range(1) != 0;
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString() + "/";
    const std::string file = base + "large.txt";
    writeLines(file, bytes);
    const FileLocations locations(base);
    YesDialogs yes;
    std::vector<double> times;
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            // A run that typed a key and was killed.
            Document left;
            left.loadFile(file);
            if (snapshot) left.setFilePath(""); // no file under it: a snapshot is kept
            left.setModified(false);
            CrashRecovery run(left, locations, yes, {1h, 0ms});
            left.replace(bytes / 2, 0, "x");
            run.writeNow();
            run.waitForWrites();
        }
        resetPeakMemory();
        const long before = processMemory().rssKB;
        state.ResumeTiming();
        const auto start = Clock::now();
        {
            Document doc;
            CrashRecovery recovery(doc, locations, yes, {1h, 1h});
            if (!recovery.offerRecovery() || doc.size() != bytes + 1)
                state.SkipWithError("nothing recovered");
            recovery.waitForWrites();
            state.PauseTiming();
            times.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            peak = std::max(peak, static_cast<double>(processMemory().peakKB - before) * 1024.0 /
                                      static_cast<double>(bytes));
            recovery.cleanExit();
        }
        state.ResumeTiming();
    }
    std::sort(times.begin(), times.end());
    state.counters["min_ms"] = times.front();
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["peak_x"] = peak;
}

void BM_RecoverySavingTo_MMEdit(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * kMB;
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString() + "/";
    const std::string file = base + "large.txt";
    writeFile(file, std::string(bytes, 'a'));
    const FileLocations locations(base);
    YesDialogs yes;
    Document doc;
    doc.loadFile(file);
    doc.setModified(false);
    CrashRecovery recovery(doc, locations, yes, {1h, 1h});
    std::vector<double> times;
    for (auto _ : state) {
        doc.replace(bytes / 2, 0, "x");
        recovery.waitForWrites();
        const auto start = Clock::now();
        recovery.savingTo(file);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    recovery.cleanExit();
    std::sort(times.begin(), times.end());
    state.counters["min_ms"] = times.front();
    state.counters["median_ms"] = times[times.size() / 2];
}

} // namespace

BENCHMARK(BM_RecoverySavingTo_MMEdit)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(7);

BENCHMARK(BM_RecoveryYes_MMEdit)
    ->Args({100, 0})
    ->Args({100, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK(BM_RecoveryFirstKey_MMEdit)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);
