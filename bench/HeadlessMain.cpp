// The main of the benchmarks that need the Qt application and nothing else
// before they run.
#include "console/Headless.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    headless::startApplication(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
