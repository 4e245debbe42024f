// The surface written as a file at session end: the mesh built from the grid, its bytes in each
// format, and the whole write, put on the disk, to compare with a frame of the same grid
// (BM_FrameLit/128).

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "bench_scene.h"
#include "field/mesh.h"
#include "output/mesh_file.h"
#include "output/output_file.h"

namespace {

constexpr int kFinestGrid = 128;  // cells per axis at voxel size 0.5
const char* const kExtensions[] = {"ply", "obj", "stl"};

double fileMiB(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_size / 1048576.0 : 0.0;
}

void meshCounters(benchmark::State& state, const SurfaceMesh& mesh) {
    state.counters["triangles"] = static_cast<double>(mesh.triangleCount);
    state.counters["vertices"] = static_cast<double>(mesh.vertexCount);
    state.counters["dropped"] = static_cast<double>(mesh.droppedTriangles);
}

// The indexed mesh alone, from the grid the initial scene has at each size.
void BM_BuildMesh(benchmark::State& state) {
    restoreInitialScene(static_cast<int>(state.range(0)));
    SurfaceMesh mesh;
    for (auto _ : state) {
        if (!buildSurfaceMesh(mesh, scene.grid, scene.isolevel, scene.fieldSummary))
            state.SkipWithError("out of memory");
    }
    meshCounters(state, mesh);
    releaseSurfaceMesh(mesh);
}

// Everything --export-surface does at the end of a session at N = 128: the mesh, the file's
// bytes, and the file written beside its name in $TMPDIR (else /tmp), put on the disk and renamed.
void BM_ExportSurface(benchmark::State& state) {
    restoreInitialScene(kFinestGrid);
    const auto format = static_cast<MeshFormat>(state.range(0));
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder != nullptr ? folder : "/tmp") +
                             "/scalar-field-bench-surface." + kExtensions[state.range(0)];
    state.SetLabel(kExtensions[state.range(0)]);
    SurfaceMesh mesh;
    for (auto _ : state) {
        // A mesh of its own each time, as at the end of a session.
        releaseSurfaceMesh(mesh);
        OutputFile output;
        output.reason = "out of memory";
        if (!buildSurfaceMesh(mesh, scene.grid, scene.isolevel, scene.fieldSummary) ||
            !beginOutput(output, path.c_str()) ||
            (encodeMesh(mesh, format, outputSink, &output), !finishOutput(output)))
            state.SkipWithError((path + ": " + output.reason).c_str());
    }
    meshCounters(state, mesh);
    state.counters["MiB"] = fileMiB(path);
    releaseSurfaceMesh(mesh);
    unlink(path.c_str());
}

}  // namespace

BENCHMARK(BM_BuildMesh)->Apply(everyGridSize);
BENCHMARK(BM_ExportSurface)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minimumOf);
