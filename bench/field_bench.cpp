// Field evaluation, grid rebuild and the surface pass without OpenGL, on the initial scene.

#include <benchmark/benchmark.h>

#include "bench_scene.h"

namespace {

using Clock = std::chrono::steady_clock;

double pointCount(int n) {
    const double side = n + 1.0;
    return side * side * side;
}

// One field pass, as after a ball has been moved.
void BM_EvaluateField(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    useGrid(n);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        evaluateField(scene.grid, kBallCount, scene.balls);
        benchmark::ClobberMemory();
    }
    setWallRate(state, "points/s", pointCount(n), start);
}

// One field pass with all nine balls on at radius 100: every ball reaches every point.
void BM_EvaluateFieldAllBalls(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    useGrid(n);
    Ball balls[kBallCount];
    for (int b = 0; b < kBallCount; ++b) {
        balls[b] = scene.balls[b];
        balls[b].radius = 100.0f;
        balls[b].enabled = true;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        evaluateField(scene.grid, kBallCount, balls);
        benchmark::ClobberMemory();
    }
    setWallRate(state, "points/s", pointCount(n), start);
    useGrid(n);
}

// The field brought up to date after ball 2 moved one unit along x, back and forth: only the
// points it reaches before or after are computed again.
void BM_FieldBallMove(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    restoreInitialScene(n);
    int iteration = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        scene.balls[1].x += iteration++ % 2 == 0 ? 1.0f : -1.0f;
        updateField(scene.fieldSummary, scene.grid, scene.balls);
        benchmark::ClobberMemory();
    }
    setWallRate(state, "points/s", pointCount(n), start);
    restoreInitialScene(n);
}

// A voxel-size key: the grid made again for its voxel size, then the field.
void BM_RebuildGrid(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    useGrid(n);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        setVoxelSize(scene.grid, scene.grid.voxelSize);
        updateField(scene.fieldSummary, scene.grid, scene.balls);
        benchmark::ClobberMemory();
    }
    setWallRate(state, "points/s", pointCount(n), start);
    state.counters["rss_MiB"] = residentMiB();
    state.counters["peak_rss_MiB"] = peakResidentMiB();
}

// The frame's extraction of the surface, without its drawing.
void BM_Extract(benchmark::State& state) {
    useGrid(static_cast<int>(state.range(0)));
    int triangles = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        triangles = extractSceneSurface();
        benchmark::DoNotOptimize(triangles);
    }
    state.counters["triangles"] = triangles;
    setWallRate(state, "triangles/s", triangles, start);
}

}  // namespace

BENCHMARK(BM_EvaluateField)->Apply(everyGridSize);
BENCHMARK(BM_FieldBallMove)->Apply(everyGridSize);
BENCHMARK(BM_RebuildGrid)->Apply(everyGridSize);
BENCHMARK(BM_Extract)->Apply(everyGridSize);
BENCHMARK(BM_EvaluateFieldAllBalls)
    ->Arg(128)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", minimumOf);
