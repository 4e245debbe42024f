#pragma once

// Shared set-up of the benchmarks: the initial scene on a grid of any N, the surface pass of a
// frame without its drawing, and the window the frame benchmarks draw into.

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "app/scene.h"
#include "input/commands.h"

// Opens the viewer's window when an X display is at hand and runs initScene in it; without a
// display it runs initScene alone (its OpenGL calls then go nowhere). Returns whether the
// window is open.
bool openBenchWindow(int argc, char** argv);
bool benchWindowOpen();

// Makes the scene's grid the one of N cells per axis with the field of the scene's balls, as the
// voxel-size keys would; only brings the field up to date when that grid is already in place.
void useGrid(int n);

// The scene as initScene left it (balls, threshold, selection, camera, lighting) on a grid of N
// cells per axis.
void restoreInitialScene(int n);

// The frame's extraction of the scene's surface, done afresh whatever was kept; returns the
// number of triangles.
int extractSceneSurface();

// Triangles of the kept surface.
int keptTriangles();

// Sets counter `name` to `perIteration` times the iterations over the wall time since `start`.
// Google Benchmark's own rates divide by the CPU time of the benchmark thread, which leaves out
// Mesa's rendering threads and the X server, and time lost to other processes.
void setWallRate(benchmark::State& state, const char* name, double perIteration,
                 std::chrono::steady_clock::time_point start);

// Resident and peak resident memory of the process, MiB, from /proc/self/status.
double residentMiB();
double peakResidentMiB();

// Smallest of the repetitions, reported beside mean and median: the least disturbed run on a
// machine shared with other work.
double minimumOf(const std::vector<double>& values);

// Milliseconds, the minimum beside mean and median, and N = 4, 8, ..., 128 as the argument.
void everyGridSize(benchmark::internal::Benchmark* benchmark);
