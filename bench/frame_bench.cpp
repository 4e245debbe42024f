// Whole frames and events in the viewer's window: a frame of an unchanged surface, the floor
// that the same OpenGL calls from a prepared list set, and the latency of each kind of event,
// from the callback as GLUT calls it to the end of the frame it asks for.

#include <GL/glut.h>
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "bench_scene.h"
#include "input/camera.h"
#include "input/commands.h"
#include "render/display.h"
#include "render/labels.h"

namespace {

constexpr int kFinestGrid = 128;  // cells per axis at voxel size 0.5
constexpr unsigned char kDelete = 127;
constexpr unsigned char kBackspace = 8;

bool windowOpen(benchmark::State& state) {
    if (benchWindowOpen()) return true;
    state.SkipWithError("no X display: frames need a window");
    return false;
}

void finishFrame() {
    display();
    glFinish();
}

void frames(benchmark::State& state, bool lit) {
    if (!windowOpen(state)) return;
    const int n = static_cast<int>(state.range(0));
    restoreInitialScene(n);
    setLighting(lit);
    finishFrame();  // the surface is kept from here on
    const int triangles = keptTriangles();
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        finishFrame();
    }
    state.counters["triangles"] = triangles;
    setWallRate(state, "triangles/s", triangles, start);
    state.counters["rss_MiB"] = residentMiB();
    setLighting(true);
}

// A frame of an unchanged surface, as after a camera or selection event.
void BM_FrameLit(benchmark::State& state) {
    frames(state, true);
}
void BM_FrameWire(benchmark::State& state) {
    frames(state, false);
}

// Memory straight from the system and back to it when freed, so that a prepared list leaves
// nothing in the heap for the frame benchmarks after it to count as resident.
template <typename T>
struct MappedAllocator {
    using value_type = T;
    MappedAllocator() = default;
    template <typename U>
    explicit MappedAllocator(const MappedAllocator<U>&) {}
    T* allocate(std::size_t count) {
        void* memory = mmap(nullptr, count * sizeof(T), PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) std::abort();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) { munmap(memory, count * sizeof(T)); }
    bool operator==(const MappedAllocator&) const { return true; }
    bool operator!=(const MappedAllocator&) const { return false; }
};

template <typename T>
using MappedVector = std::vector<T, MappedAllocator<T>>;

// The floor: the OpenGL calls of a frame of the initial scene, issued from a list prepared
// beforehand, normals and all, so that nothing is computed while they are timed.
struct PreparedFrame {
    MappedVector<int> cellTriangles;
    MappedVector<Triangle> triangles;
    MappedVector<Vec3> normals;
};

// The list, from the frame's own extraction of the scene's surface.
PreparedFrame prepareFrame() {
    PreparedFrame frame;
    extractSceneSurface();
    const KeptSurface& surface = scene.surface;
    for (int slab = 0; slab < surface.slabCount; ++slab) {
        const SurfaceCells& cells = surface.slabs[slab];
        frame.cellTriangles.insert(frame.cellTriangles.end(), cells.cellTriangles,
                                   cells.cellTriangles + cells.cellCount);
        for (std::size_t t = 0; t < cells.triangleCount; ++t) {
            Vec3 normal;
            frame.normals.push_back(triangleNormal(cells.triangles[t], normal));
            frame.triangles.push_back(cells.triangles[t]);
        }
    }
    return frame;
}

void replayFrame(const PreparedFrame& frame, bool lit) {
    const GLenum faces = GL_FRONT_AND_BACK;
    static const GLfloat outline[4] = {0.0f, 0.1f, 0.1f, 1.0f};
    static const GLfloat ambient[4] = {0.0f, 0.0f, 0.2f, 1.0f};
    static const GLfloat specular[4] = {0.0f, 0.0f, 0.5f, 1.0f};
    static const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const GLfloat strip[10][3] = {
        {-32, -32, -32}, {32, -32, -32}, {-32, 32, -32}, {32, 32, -32},   {-32, 32, 32},
        {32, 32, 32},    {-32, -32, 32}, {32, -32, 32},  {-32, -32, -32}, {32, -32, -32}};
    glClear(GL_COLOR_BUFFER_BIT);
    glClear(GL_DEPTH_BUFFER_BIT);
    glColor3fv(outline);
    glMaterialfv(faces, GL_AMBIENT_AND_DIFFUSE, outline);
    glPolygonMode(faces, GL_LINE);
    glBegin(GL_QUAD_STRIP);
    for (const GLfloat* v : strip)
        glVertex3f(v[0], v[1], v[2]);
    glEnd();
    if (lit) {
        glMaterialfv(faces, GL_AMBIENT, ambient);
        glMaterialfv(faces, GL_DIFFUSE, ambient);
        glMaterialfv(faces, GL_SPECULAR, specular);
        glMateriali(faces, GL_SHININESS, 5);
        glPolygonMode(faces, GL_FILL);
    } else {
        glColor3f(0.0f, 0.0f, 1.0f);
        glPolygonMode(faces, GL_LINE);
    }
    std::size_t t = 0;
    for (int count : frame.cellTriangles) {
        glBegin(GL_TRIANGLES);
        for (int end = static_cast<int>(t) + count; static_cast<int>(t) < end; ++t) {
            const Vec3& normal = frame.normals[t];
            const GLfloat components[3] = {normal.x, normal.y, normal.z};
            glNormal3fv(components);
            for (const Vec3& v : frame.triangles[t].vertices)
                glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
    }
    glMaterialfv(faces, GL_SPECULAR, black);
    glMateriali(faces, GL_SHININESS, 0);
    drawLabels();
    glFlush();
    glFinish();
}

void replays(benchmark::State& state, bool lit) {
    if (!windowOpen(state)) return;
    restoreInitialScene(static_cast<int>(state.range(0)));
    setLighting(lit);
    const PreparedFrame frame = prepareFrame();
    for (auto _ : state) {
        replayFrame(frame, lit);
    }
    state.counters["triangles"] = static_cast<double>(frame.triangles.size());
    setLighting(true);
}

void BM_ReplayLit(benchmark::State& state) {
    replays(state, true);
}
void BM_ReplayWire(benchmark::State& state) {
    replays(state, false);
}

// One event per iteration, as GLUT delivers it, then the frame it asks for; the events
// alternate so that the scene swings between two states instead of drifting. The first event,
// which may also set up what the others need, is not timed.
template <typename Event>
void events(benchmark::State& state, Event event) {
    if (!windowOpen(state)) return;
    const int n = static_cast<int>(state.range(0));
    restoreInitialScene(n);
    int iteration = 0;
    event(iteration++);
    finishFrame();
    using Clock = std::chrono::steady_clock;
    Clock::duration inCallback{};
    Clock::duration inFrame{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        event(iteration++);
        const Clock::time_point called = Clock::now();
        finishFrame();
        inCallback += called - start;
        inFrame += Clock::now() - called;
    }
    // Where the time went: the callback, and the frame with the extraction it may do.
    const double iterations = static_cast<double>(state.iterations());
    state.counters["callback_ms"] =
        std::chrono::duration<double, std::milli>(inCallback).count() / iterations;
    state.counters["frame_ms"] =
        std::chrono::duration<double, std::milli>(inFrame).count() / iterations;
    state.counters["rss_MiB"] = residentMiB();
    restoreInitialScene(n);
}

void BM_EventCamera(benchmark::State& state) {
    events(state, [](int i) { keyboard(i % 2 == 0 ? 'w' : 's', 0, 0); });
}

void BM_EventCameraDrag(benchmark::State& state) {
    events(state, [](int i) {
        if (i == 0) mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 300, 300);
        motion(i % 2 == 0 ? 310 : 300, 300);
    });
}

void BM_EventIsolevel(benchmark::State& state) {
    events(state, [](int i) { keyboard(i % 2 == 0 ? '+' : '-', 0, 0); });
}

void BM_EventBallMove(benchmark::State& state) {
    events(state, [](int i) {
        if (i == 0) keyboard('2', 0, 0);
        specialKey(i % 2 == 0 ? GLUT_KEY_RIGHT : GLUT_KEY_LEFT, 0, 0);
    });
}

void BM_EventBallToggle(benchmark::State& state) {
    events(state, [](int i) {
        if (i == 0) keyboard('2', 0, 0);
        keyboard(kDelete, 0, 0);
    });
}

void BM_EventLighting(benchmark::State& state) {
    events(state, [](int) { keyboard(kBackspace, 0, 0); });
}

// "/" from voxel size 1 to 0.5; going back to 1 with "*" and its frame are not timed.
void BM_EventGridFiner(benchmark::State& state) {
    if (!windowOpen(state)) return;
    restoreInitialScene(kFinestGrid);
    for (auto _ : state) {
        state.PauseTiming();
        keyboard('*', 0, 0);
        finishFrame();
        state.ResumeTiming();
        keyboard('/', 0, 0);
        finishFrame();
    }
    state.counters["rss_MiB"] = residentMiB();
    restoreInitialScene(kFinestGrid);
}

// All nine balls on at radius 100, each reaching every point: the whole field is computed again.
void BM_EventBallMoveAllBalls(benchmark::State& state) {
    events(state, [](int i) {
        if (i == 0) {
            for (Ball& ball : scene.balls) {
                ball.radius = 100.0f;
                ball.enabled = true;
            }
            keyboard('2', 0, 0);
        }
        specialKey(i % 2 == 0 ? GLUT_KEY_RIGHT : GLUT_KEY_LEFT, 0, 0);
    });
}

void finestGrid(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(kFinestGrid)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minimumOf);
}

}  // namespace

// Each frame beside its floor, grid by grid, so that both run in the same state of the process:
// the grid just made, Mesa's buffers grown as far as the frames at hand need.
const bool kFramesRegistered = [] {
    for (int n = 4; n <= kFinestGrid; n *= 2) {
        const std::pair<const char*, void (*)(benchmark::State&)> frames[] = {
            {"BM_FrameLit", BM_FrameLit},
            {"BM_ReplayLit", BM_ReplayLit},
            {"BM_FrameWire", BM_FrameWire},
            {"BM_ReplayWire", BM_ReplayWire}};
        for (const auto& frame : frames) {
            benchmark::RegisterBenchmark(frame.first, frame.second)
                ->Arg(n)
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("min", minimumOf);
        }
    }
    return true;
}();
BENCHMARK(BM_EventCamera)->Apply(finestGrid);
BENCHMARK(BM_EventCameraDrag)->Apply(finestGrid);
BENCHMARK(BM_EventIsolevel)->Apply(finestGrid);
BENCHMARK(BM_EventBallMove)->Apply(finestGrid);
BENCHMARK(BM_EventBallToggle)->Apply(finestGrid);
BENCHMARK(BM_EventLighting)->Apply(finestGrid);
BENCHMARK(BM_EventGridFiner)->Apply(finestGrid);
BENCHMARK(BM_EventBallMoveAllBalls)->Apply(finestGrid);
