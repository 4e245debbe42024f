// scalar-field-bench: speed of the field, the grid, the surface pass and whole frames.

#include <benchmark/benchmark.h>

#include "app/heap.h"
#include "bench_scene.h"

int main(int argc, char** argv) {
    configureHeap();  // as the viewer does
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    openBenchWindow(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
