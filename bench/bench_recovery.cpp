// The crash-recovery write while typing in a 10 MB newsletter text: the part
// that runs on the user-interface thread (the copy of the document's bytes
// handed to the writing thread). The write itself runs beside and is waited
// for outside the timing.
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

void BM_RecoveryCopy_MMEdit(benchmark::State& state) {
    QTemporaryDir folder;
    const FileLocations locations(folder.path().toStdString() + "/");
    QtDialogs dialogs;
    Document doc;
    std::string text(10 * kMB, 'a');
    for (std::size_t i = 0; i < text.size(); i += 97)
        text[i] = '\n';
    doc.setText(text);
    CrashRecovery recovery(doc, locations, dialogs, {1h, 1h});
    std::size_t at = text.size() / 2;
    for (auto _ : state) {
        state.PauseTiming();
        recovery.waitForWrites();
        doc.replace(at, 0, "x"); // typing moves the buffer's gap here
        at += 1000;
        state.ResumeTiming();
        recovery.writeNow();
    }
    recovery.waitForWrites();
    recovery.cleanExit();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

} // namespace

BENCHMARK(BM_RecoveryCopy_MMEdit)->Unit(benchmark::kMillisecond)->Iterations(20);
