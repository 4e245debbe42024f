// Whole frames: one display() and glFinish in the viewer's window, lit and wireframe.

#include <GL/glut.h>
#include <benchmark/benchmark.h>

#include "bench_scene.h"
#include "render/display.h"

namespace {

// Lighting as the Backspace key leaves it: the flag and GL_LIGHTING agree.
void setLighting(bool on) {
    scene.lightingOn = on;
    if (on) {
        glEnable(GL_LIGHTING);
    } else {
        glDisable(GL_LIGHTING);
    }
}

void frames(benchmark::State& state, bool lit) {
    if (!benchWindowOpen()) {
        state.SkipWithError("no X display: frames need a window");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    useGrid(n);
    const int triangles = extractSurface();
    setLighting(lit);
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        display();
        glFinish();
    }
    state.counters["triangles"] = triangles;
    setWallRate(state, "triangles/s", triangles, start);
    state.counters["rss_MiB"] = residentMiB();
    setLighting(true);
}

void BM_FrameLit(benchmark::State& state) {
    frames(state, true);
}
void BM_FrameWire(benchmark::State& state) {
    frames(state, false);
}

}  // namespace

BENCHMARK(BM_FrameLit)->Apply(everyGridSize);
BENCHMARK(BM_FrameWire)->Apply(everyGridSize);
