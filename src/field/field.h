#pragma once

#include <cstdint>

#include "field/grid.h"

constexpr int kBallCount = 9;

// A soft object: smooth fall-off from 1.0 at the centre to about 1e-6 at the radius, 0 beyond.
struct Ball {
    float x, y, z;  // centre, world units
    float radius;   // radius of influence, whole numbers 0 .. 100 in the program
    bool enabled;   // only enabled balls take part in the field
};

// Contribution of one ball at a position, ignoring `enabled`. A ball of radius 0 contributes 0.0
// everywhere, its centre included, so that no value can become 0/0.
double softObjectField(const Ball& ball, float x, float y, float z);

// Sets the value of each of the (n+1)^3 points to the sum of the enabled balls' contributions.
// Does nothing for a negative n.
void evaluateField(int n, int ballCount, const Ball* balls, GridPoint* points);

// The ways the field pass can run: one point at a time, two or four. All give the same bits;
// evaluateField takes the widest the processor runs well (four needs AVX on x86-64).
enum class FieldKernel { kScalar, kPairs, kFours };

bool fieldKernelAvailable(FieldKernel kernel);

// evaluateField with the given kernel (the scalar one when it is not available), so that each
// can be checked against the others.
void evaluateFieldWith(FieldKernel kernel, int n, int ballCount, const Ball* balls,
                       GridPoint* points);

// Cells along each side of a block of the field summary (4, 8 and 16 measured about the same;
// 8 was a little ahead). Grids of more than kMaxBlocksPerAxis blocks per axis get larger blocks.
constexpr int kBlockCells = 8;
constexpr int kMaxBlocksPerAxis = 16;
constexpr int kMaxBlocks = kMaxBlocksPerAxis * kMaxBlocksPerAxis * kMaxBlocksPerAxis;

// Block side and blocks per axis of the summary of a grid of n cells per axis.
int summaryBlockCells(int n);
int summaryBlocksPerAxis(int n);

// What the last updateField computed from, and the least and greatest value over the points of
// each block of cells. Extraction passes over the blocks whose range cannot hold the isolevel;
// the next update recomputes only the points a changed ball reaches.
struct FieldSummary {
    const GridPoint* points = nullptr;  // the array described; null before the first update
    int cellsPerAxis = -1;              // its N
    std::uint64_t writeCount = 0;       // gridWriteCount() right after the update
    Ball balls[kBallCount]{};           // the balls as the update saw them
    int ballCount = -1;                 // how many of `balls` it saw; -1 when not all
    int blockCells = 0;                 // cells along each side of a block
    int blocksPerAxis = 0;              // blocks along each axis; the last may be short
    // Block (a, b, c), cells [a, a+1) * blockCells along i and so on, is element
    // (a * blocksPerAxis + b) * blocksPerAxis + c. A NaN value makes `greatest` NaN.
    double least[kMaxBlocks]{};
    double greatest[kMaxBlocks]{};
};

// Whether the summary describes the values `points` (of N = n) hold now.
bool summaryCurrent(const FieldSummary& summary, int n, const GridPoint* points);

// evaluateField, keeping the summary. When the summary is current and the grid the same, only
// the points that a changed ball reaches, before or after its change, are computed again (each
// sum from scratch in ball order, so every value is the bits a full pass gives); nothing at all
// when no value can change. Values written other than by buildGrid and the field passes are not
// seen: the program writes them no other way.
void updateField(FieldSummary& summary, int n, int ballCount, const Ball* balls, GridPoint* points);
