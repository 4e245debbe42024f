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

// Sets the value of every point of the grid to the sum of the enabled balls' contributions, in
// ball order; 0 <= ballCount <= kBallCount.
void evaluateField(Grid& grid, int ballCount, const Ball* balls);

// The ways the field pass can run: one point at a time, two or four. All give the same bits;
// evaluateField takes the widest the processor runs well (four needs AVX on x86-64; two where the
// target has no vector registers).
enum class FieldKernel { kScalar, kPairs, kFours };

bool fieldKernelAvailable(FieldKernel kernel);

// evaluateField with the given kernel (the scalar one when it is not available) and split into at
// most `parts` parts (1 to kMaxParts of parallel.h; 0: one per processor), so that each kernel and
// each split can be checked against the others whatever the machine has.
void evaluateFieldWith(FieldKernel kernel, Grid& grid, int ballCount, const Ball* balls, int parts);

// The least and greatest value over the points of each block of the grid's lattice (element
// blocks.index(a, b, c)), and the balls they are the field of. Extraction passes over the blocks
// whose range cannot hold the isolevel; the next update computes only the points that a changed
// ball reaches. A block holding a NaN value has a NaN `greatest`, so that it is never passed over.
struct FieldSummary {
    std::uint64_t gridVersion = 0;  // the version of the grid described; 0: none
    Ball balls[kBallCount]{};
    double least[kMaxBlocks]{};
    double greatest[kMaxBlocks]{};
};

// Whether the summary describes the values the grid holds now.
inline bool summaryCurrent(const FieldSummary& summary, const Grid& grid) {
    return summary.gridVersion != 0 && summary.gridVersion == grid.version;
}

// evaluateField of all kBallCount balls, keeping the summary. When the summary is current, only
// the points that a changed ball reaches, before or after its change, are computed again (each
// sum from scratch in ball order, so every value is the bits a full pass gives); nothing at all
// when no value can change. The passes split into at most `parts` parts as evaluateFieldWith's;
// the program leaves that to the processors, tests choose.
void updateField(FieldSummary& summary, Grid& grid, const Ball* balls, int parts = 0);
