// The benchmark programs' entry: one QApplication on the offscreen platform.
// "--child=NAME:ARG" runs one of the program's child modes instead.
#include "bench_support.h"

#include <QApplication>
#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int status = 0;
    if (runChildModeIfAsked(argc, argv, status)) return status;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    runBenchEnd();
    benchmark::Shutdown();
    return 0;
}
