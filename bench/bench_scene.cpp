#include "bench_scene.h"

#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/window.h"
#include "input/camera.h"
#include "input/commands.h"
#include "render/display.h"

namespace {

bool windowOpen = false;
bool displayed = false;
Camera initialCamera;  // as the scene starts with it

void keepInitialScene() {
    initialCamera = scene.camera;
}

// The viewer's display callback, noting that a frame has been drawn.
void displayOnce() {
    display();
    displayed = true;
}

double statusMiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, length, key) == 0) return std::atof(line.c_str() + length) / 1024.0;
    }
    return 0.0;
}

}  // namespace

bool openBenchWindow(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        initScene();
        keepInitialScene();
        return false;
    }
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE | GLUT_DEPTH);
    glutInitWindowPosition(50, 50);
    glutInitWindowSize(scene.windowWidth, scene.windowHeight);
    glutCreateWindow(kWindowTitle);
    initScene();
    keepInitialScene();
    registerCallbacks();
    glutDisplayFunc(displayOnce);

    // Let the window be mapped and drawn once before anything is timed.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (!displayed && Clock::now() < deadline)
        glutMainLoopEvent();
    glFinish();

    benchmark::AddCustomContext("gl_renderer",
                                reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::AddCustomContext("gl_version",
                                reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    windowOpen = true;
    return true;
}

bool benchWindowOpen() {
    return windowOpen;
}

void useGrid(int n) {
    const double voxelSize = kNetWidth / n;
    if (scene.grid.cellsPerAxis != n || scene.grid.voxelSize != voxelSize) {
        useVoxelSize(voxelSize);
    } else {
        updateField(scene.fieldSummary, scene.grid, scene.balls);
    }
}

void restoreInitialScene(int n) {
    setInitialBalls();
    scene.dragging = false;
    scene.camera = initialCamera;
    loadViewMatrix(scene.camera);
    setLighting(true);
    useGrid(n);
}

int keptTriangles() {
    std::size_t triangles = 0;
    for (int slab = 0; slab < scene.surface.slabCount; ++slab)
        triangles += scene.surface.slabs[slab].triangleCount;
    return static_cast<int>(triangles);
}

int extractSceneSurface() {
    extractSurface(scene.surface, scene.grid, scene.isolevel, scene.fieldSummary);
    return keptTriangles();
}

void setWallRate(benchmark::State& state, const char* name, double perIteration,
                 std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed.count() <= 0.0) return;
    state.counters[name] = perIteration * static_cast<double>(state.iterations()) / elapsed.count();
}

double residentMiB() {
    return statusMiB("VmRSS:");
}
double peakResidentMiB() {
    return statusMiB("VmHWM:");
}

double minimumOf(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void everyGridSize(benchmark::internal::Benchmark* benchmark) {
    benchmark->RangeMultiplier(2)
        ->Range(4, 128)
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", minimumOf);
}
