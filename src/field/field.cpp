#include "field/field.h"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "field/kernel.h"
#include "field/parallel.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A pass over fewer points stays on one thread: starting one costs tens of microseconds, a
// whole pass at N = 32 (35,937 points) about sixty.
constexpr std::size_t kPointsPerPart = 65536;
// Block ranges cost far less per point than values, and a second split of the same update waits
// for the processors again: toggling a ball at N = 128 (ranges of some 700,000 points) took 9.6
// to 10.0 ms per event with them on one thread against 10.8 to 11.1 on two, while the ranges of
// the whole grid (2.1 million points) made a voxel-size key 1.7 ms on two against 2.1 to 2.3.
constexpr std::size_t kRangePointsPerPart = std::size_t{1} << 20;

// The least sum of squares s with sqrt(s) > r. The square root is correctly rounded, so it
// never decreases as s grows, and sqrt(s) > r holds exactly when s >= this bound: testing
// the bound rejects a point outside the ball without the square root and with the same result
// as the distance test. r*r is exact for a float radius and its root is r itself, so the
// search starts just inside and steps up a few units in the last place.
double outsideBound(double r) {
    // No distance exceeds an infinite or undefined radius; every distance exceeds a negative one.
    if (std::isnan(r) || r == kInfinity) return std::numeric_limits<double>::quiet_NaN();
    if (r < 0.0) return -kInfinity;
    double s = r * r;
    while (!(std::sqrt(s) > r))
        s = std::nextafter(s, kInfinity);
    return s;
}

FieldKernel widestKernel() {
    static const FieldKernel widest = kVectorRegisters && fieldKernelAvailable(FieldKernel::kFours)
                                          ? FieldKernel::kFours
                                          : FieldKernel::kPairs;
    return widest;
}

bool contributes(const Ball& ball) {
    return ball.enabled && ball.radius != 0.0f;
}

// Inclusive ranges of indices along i, j and k: of points, or of blocks.
struct IndexBox {
    int low[3];
    int high[3];
};

IndexBox wholeBox(int last) {
    return {{0, 0, 0}, {last, last, last}};
}

// A changed ball, before or after its change: the points within `radius` of the centre are the
// ones whose values can change.
struct Sphere {
    double x, y, z, radius;
};

// One field pass: the values of the points of `box`, split into parts along i.
struct FieldPass {
    FieldKernel kernel;
    PreparedBall prepared[kBallCount];  // the balls that contribute, in order
    int preparedCount;
    Grid* grid;
    IndexBox box;
    Sphere changed[2 * kBallCount];  // when there are any, only the points they reach
    int changedCount;
    int parts;                    // at most; 0: partCount()
    int partRows[kMaxParts + 1];  // part p computes rows i in [partRows[p], partRows[p + 1])
};

// The pass over every point with the contributing balls prepared. A radius-0 ball adds 0.0
// everywhere and is left out: sums of contributions are never -0.0, so adding 0.0 changes
// nothing. For the same reason a point beyond a ball's radius skips the addition.
FieldPass wholePass(FieldKernel kernel, Grid& grid, int ballCount, const Ball* balls, int parts) {
    assert(grid.cellsPerAxis >= 0 && ballCount >= 0 && ballCount <= kBallCount);
    FieldPass pass{};
    pass.kernel = fieldKernelAvailable(kernel) ? kernel : FieldKernel::kScalar;
    pass.grid = &grid;
    pass.parts = parts;
    pass.box = wholeBox(grid.cellsPerAxis);
    for (int b = 0; b < ballCount; ++b) {
        if (!contributes(balls[b])) continue;
        PreparedBall& prepared = pass.prepared[pass.preparedCount++];
        const double r = balls[b].radius;
        prepared = {balls[b].x, balls[b].y, balls[b].z, outsideBound(r), r * r, 0.0, 0.0};
        prepared.r4 = prepared.r2 * prepared.r2;
        prepared.r6 = prepared.r4 * prepared.r2;
    }
    return pass;
}

// The least index whose coordinate along the axis is at least `value` (n + 1 if none); the
// coordinates grow with the index.
int firstIndexFrom(const Grid& grid, double value) {
    int low = 0;
    int high = grid.cellsPerAxis + 1;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (grid.axis[middle] >= value) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

// The stretch [from, to] of row (i, j) of the box that a changed ball reaches, give or take a
// point (see addReach); from > to when none does.
void reachedStretch(const FieldPass& pass, int i, int j, int& from, int& to) {
    const Grid& grid = *pass.grid;
    from = pass.box.high[2] + 1;
    to = pass.box.low[2] - 1;
    for (int c = 0; c < pass.changedCount; ++c) {
        const Sphere& sphere = pass.changed[c];
        const double dx = grid.axis[i] - sphere.x;
        const double dy = grid.axis[j] - sphere.y;
        // A little more than the radius, against the rounding of the sums of squares.
        const double radius = sphere.radius * (1.0 + 1e-9) + 1e-9;
        const double halfChord = radius * radius - dx * dx - dy * dy;
        if (!(halfChord >= 0.0)) continue;
        const double w = std::sqrt(halfChord);
        const int low = firstIndexFrom(grid, sphere.z - w) - 1;
        const int high = firstIndexFrom(grid, std::nextafter(sphere.z + w, kInfinity));
        if (low < from) from = low;
        if (high > to) to = high;
    }
    if (from < pass.box.low[2]) from = pass.box.low[2];
    if (to > pass.box.high[2]) to = pass.box.high[2];
}

// Points [from, to] of row (i, j) with the pass's kernel; points that do not fill its width go
// through narrower lanes. A ball whose centre is beyond reach across the row is left out of it.
void computeStretch(const FieldPass& pass, int i, int j, int from, int to) {
    const Grid& grid = *pass.grid;
    RowStretch row;
    row.ballCount = 0;
    for (int b = 0; b < pass.preparedCount; ++b) {
        const PreparedBall& ball = pass.prepared[b];
        const double dx = grid.axis[i] - ball.x;
        const double dy = grid.axis[j] - ball.y;
        const double across = dx * dx + dy * dy;
        if (across >= ball.outside) continue;  // so is every point of the row
        row.balls[row.ballCount] = &ball;
        row.across[row.ballCount++] = across;
    }
    row.z = grid.axis + from;
    row.values = grid.points + pointIndex(grid, i, j, from);
    row.count = static_cast<std::size_t>(to - from) + 1;
    std::size_t done = 0;
    if (pass.kernel == FieldKernel::kFours) done = addInFours(row);
    if (pass.kernel != FieldKernel::kScalar) done = addInLanes<2>(row, done);
    addInLanes<1>(row, done);
}

// Asks for points [0, count) ahead of their use.
void prefetchPoints(const GridPoint* points, std::size_t count) {
    constexpr std::size_t kLine = 64;  // bytes
    const char* from = reinterpret_cast<const char*>(points);
    const char* to = reinterpret_cast<const char*>(points + count);
    for (; from < to; from += kLine)
        __builtin_prefetch(from, 1);
}

void computePart(void* context, int part) {
    const FieldPass& pass = *static_cast<const FieldPass*>(context);
    const Grid& grid = *pass.grid;
    const IndexBox& box = pass.box;
    for (int i = pass.partRows[part]; i < pass.partRows[part + 1]; ++i) {
        for (int j = box.low[1]; j <= box.high[1]; ++j) {
            // The next stretch lies a row further on, out of the processor's sight.
            if (j < box.high[1] && pass.changedCount > 0) {
                prefetchPoints(grid.points + pointIndex(grid, i, j + 1, box.low[2]),
                               static_cast<std::size_t>(box.high[2] - box.low[2]) + 1);
            }
            int from = box.low[2];
            int to = box.high[2];
            // The points no changed ball reaches keep their values: the same balls reach them
            // as before, so computing them again would give the same bits.
            if (pass.changedCount > 0) reachedStretch(pass, i, j, from, to);
            if (from <= to) computeStretch(pass, i, j, from, to);
        }
    }
}

// Splits rows [low, high] into at most `most` parts (0: partCount()), one part when there are
// fewer than `perPart` points; bounds[p] is the first row of part p, bounds[parts] high + 1.
int splitRows(int low, int high, std::size_t points, std::size_t perPart, int most,
              int bounds[kMaxParts + 1]) {
    const int rows = high - low + 1;
    int parts = points < perPart ? 1 : most > 0 ? most : partCount();
    if (parts > kMaxParts) parts = kMaxParts;
    if (parts > rows) parts = rows;
    if (parts < 1) parts = 1;
    for (int p = 0; p < parts; ++p)
        bounds[p] = low + p * rows / parts;
    bounds[parts] = high + 1;
    return parts;
}

// The values of the pass's points; the grid's version moves on.
void computeValues(FieldPass& pass) {
    ++pass.grid->version;
    const IndexBox& box = pass.box;
    const std::size_t points = static_cast<std::size_t>(box.high[0] - box.low[0] + 1) *
                               (box.high[1] - box.low[1] + 1) * (box.high[2] - box.low[2] + 1);
    const int parts =
        splitRows(box.low[0], box.high[0], points, kPointsPerPart, pass.parts, pass.partRows);
    runInParts(parts, computePart, &pass);
}

bool sameBall(const Ball& a, const Ball& b) {
    if (!contributes(a) && !contributes(b)) return true;
    const float av[4] = {a.x, a.y, a.z, a.radius};
    const float bv[4] = {b.x, b.y, b.z, b.radius};
    return a.enabled == b.enabled && std::memcmp(av, bv, sizeof av) == 0;
}

// Grows `box` (empty while low > high) by the points within the ball's reach, give or take a
// point: a point whose squared distance passes the bound of outsideBound lies within the radius
// along every axis, up to rounding that is far below one cell. False when the reach cannot be
// bounded (a centre or radius not finite).
bool addReach(const Ball& ball, const Grid& grid, IndexBox& box) {
    if (!contributes(ball)) return true;
    const double centre[3] = {ball.x, ball.y, ball.z};
    const double r = ball.radius;
    int low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) {
        const double from = centre[axis] - r;
        const double to = centre[axis] + r;
        if (!std::isfinite(from) || !std::isfinite(to)) return false;
        low[axis] = firstIndexFrom(grid, from) - 1;
        high[axis] = firstIndexFrom(grid, std::nextafter(to, kInfinity));
        if (low[axis] < 0) low[axis] = 0;
        if (high[axis] > grid.cellsPerAxis) high[axis] = grid.cellsPerAxis;
        if (low[axis] > high[axis]) return true;  // reaches no point
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (low[axis] < box.low[axis]) box.low[axis] = low[axis];
        if (high[axis] > box.high[axis]) box.high[axis] = high[axis];
    }
    return true;
}

// The points that the balls changed since the summary reach, before or after their change, in
// `reached`, and the changed balls as spheres of the pass. False when a reach cannot be bounded.
bool findReach(const FieldSummary& summary, const Ball* balls, FieldPass& pass, IndexBox& reached) {
    const int n = pass.grid->cellsPerAxis;
    reached = {{n + 1, n + 1, n + 1}, {-1, -1, -1}};
    for (int b = 0; b < kBallCount; ++b) {
        if (sameBall(summary.balls[b], balls[b])) continue;
        for (const Ball* ball : {&summary.balls[b], &balls[b]}) {
            if (!addReach(*ball, *pass.grid, reached)) return false;
            if (contributes(*ball))
                pass.changed[pass.changedCount++] = {ball->x, ball->y, ball->z, ball->radius};
        }
    }
    return true;
}

// Every block holding a reached point in `blockBox`, and all the points of those blocks in `box`,
// so that their ranges come from values in hand. The points beyond the reached ones get the same
// bits again.
void alignToBlocks(const BlockLattice& lattice, const IndexBox& reached, IndexBox& blockBox,
                   IndexBox& box) {
    for (int axis = 0; axis < 3; ++axis) {
        const int lowBlock = (reached.low[axis] + lattice.cells - 1) / lattice.cells - 1;
        const int highBlock = reached.high[axis] / lattice.cells;
        blockBox.low[axis] = lowBlock > 0 ? lowBlock : 0;
        blockBox.high[axis] = highBlock < lattice.perAxis - 1 ? highBlock : lattice.perAxis - 1;
        box.low[axis] = lattice.begin(blockBox.low[axis]);
        box.high[axis] = lattice.end(blockBox.high[axis]);
    }
}

// Least and greatest of the values [from, to] of a row; greatest is NaN when one of them is.
void rangeOf(const GridPoint* row, int from, int to, double& least, double& greatest) {
    if (!kVectorRegisters) {
        double low = kInfinity;
        double high = -kInfinity;
        bool undefined = false;
        for (int k = from; k <= to; ++k) {
            const double value = row[k].value;
            low = value < low ? value : low;
            high = high < value ? value : high;
            undefined |= value != value;
        }
        least = low;
        greatest = undefined ? std::numeric_limits<double>::quiet_NaN() : high;
        return;
    }
    Pair low = {kInfinity, kInfinity};
    Pair high = {-kInfinity, -kInfinity};
    Lanes<2>::Mask undefined = {};
    int k = from;
    for (; k < to; k += 2) {
        const Pair values = loadPair(row[k].value, row[k + 1].value);
        widenRange(values, low, high);
        undefined |= values != values;
    }
    if (k == to) {
        const Pair value = loadPair(row[k].value, row[k].value);
        widenRange(value, low, high);
        undefined |= value != value;
    }
    least = leastLane(low);
    greatest =
        laneBits<2>(undefined) ? std::numeric_limits<double>::quiet_NaN() : greatestLane(high);
}

// The one or two blocks along an axis that hold point t: t / cells, and at a block's first point
// also the block before; only those within [low, high]. Returns how many.
int blocksHolding(int t, const BlockLattice& lattice, int low, int high, int blocks[2]) {
    int count = 0;
    const int block = t / lattice.cells;
    if (t % lattice.cells == 0 && block - 1 >= low && block - 1 <= high)
        blocks[count++] = block - 1;
    if (block >= low && block <= high) blocks[count++] = block;
    return count;
}

// What setting block ranges needs: parts own rows of blocks along i.
struct RangeJob {
    FieldSummary* summary;
    const Grid* grid;
    IndexBox blockBox;              // of block indices
    int partBlocks[kMaxParts + 1];  // part p sets blocks a in [partBlocks[p], partBlocks[p + 1])
};

// Widens the ranges of the blocks in [aLow, aHigh] along i (and the job's along j and k) that
// hold row (i, j) of points by its values. NaN compares false with everything, so it never
// enters a range by itself; it makes `greatest` NaN for good.
void foldRow(const RangeJob& job, int i, int j, int aLow, int aHigh) {
    FieldSummary& summary = *job.summary;
    const BlockLattice& lattice = job.grid->lattice;
    int as[2], bs[2];
    const int aCount = blocksHolding(i, lattice, aLow, aHigh, as);
    const int bCount = blocksHolding(j, lattice, job.blockBox.low[1], job.blockBox.high[1], bs);
    const GridPoint* row = job.grid->points + pointIndex(*job.grid, i, j, 0);
    for (int c = job.blockBox.low[2]; c <= job.blockBox.high[2]; ++c) {
        double least, greatest;
        rangeOf(row, lattice.begin(c), lattice.end(c), least, greatest);
        for (int a = 0; a < aCount; ++a) {
            for (int b = 0; b < bCount; ++b) {
                const int e = lattice.index(as[a], bs[b], c);
                if (least < summary.least[e]) summary.least[e] = least;
                if (!(greatest <= summary.greatest[e]) &&
                    summary.greatest[e] == summary.greatest[e])
                    summary.greatest[e] = greatest;
            }
        }
    }
}

void setRangesPart(void* context, int part) {
    const RangeJob& job = *static_cast<const RangeJob*>(context);
    const BlockLattice& lattice = job.grid->lattice;
    const int aLow = job.partBlocks[part];
    const int aHigh = job.partBlocks[part + 1] - 1;
    for (int a = aLow; a <= aHigh; ++a) {
        for (int b = job.blockBox.low[1]; b <= job.blockBox.high[1]; ++b) {
            for (int c = job.blockBox.low[2]; c <= job.blockBox.high[2]; ++c) {
                job.summary->least[lattice.index(a, b, c)] = kInfinity;
                job.summary->greatest[lattice.index(a, b, c)] = -kInfinity;
            }
        }
    }
    const int jLow = lattice.begin(job.blockBox.low[1]);
    const int jHigh = lattice.end(job.blockBox.high[1]);
    for (int i = lattice.begin(aLow); i <= lattice.end(aHigh); ++i) {
        for (int j = jLow; j <= jHigh; ++j)
            foldRow(job, i, j, aLow, aHigh);
    }
}

// The ranges of the summary's blocks in `blockBox`, from the values the grid holds, each part
// setting whole rows of blocks along i.
void setBlockRanges(FieldSummary& summary, const Grid& grid, const IndexBox& blockBox, int most) {
    RangeJob job{&summary, &grid, blockBox, {}};
    const BlockLattice& lattice = grid.lattice;
    const std::size_t points =
        static_cast<std::size_t>(lattice.end(blockBox.high[0]) - lattice.begin(blockBox.low[0])) *
        (lattice.end(blockBox.high[1]) - lattice.begin(blockBox.low[1])) *
        (lattice.end(blockBox.high[2]) - lattice.begin(blockBox.low[2]));
    const int parts = splitRows(blockBox.low[0], blockBox.high[0], points, kRangePointsPerPart,
                                most, job.partBlocks);
    runInParts(parts, setRangesPart, &job);
}

}  // namespace

double softObjectField(const Ball& ball, float x, float y, float z) {
    const double dx = static_cast<double>(x) - ball.x;
    const double dy = static_cast<double>(y) - ball.y;
    const double dz = static_cast<double>(z) - ball.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double r = ball.radius;
    // Beyond the radius nothing; a radius-0 ball would give 0/0 at its centre, so it gives 0.
    if (d > r || r == 0.0) return 0.0;

    const double r2 = r * r;
    return fallOff(d, r2, r2 * r2, r2 * r2 * r2);
}

bool fieldKernelAvailable(FieldKernel kernel) {
    switch (kernel) {
        case FieldKernel::kScalar:
        case FieldKernel::kPairs:
            return true;
        case FieldKernel::kFours:
#ifdef __x86_64__
            return __builtin_cpu_supports("avx");  // the unit it is in is built for AVX
#else
            return true;
#endif
    }
    return false;
}

void evaluateField(Grid& grid, int ballCount, const Ball* balls) {
    evaluateFieldWith(widestKernel(), grid, ballCount, balls, 0);
}

void evaluateFieldWith(FieldKernel kernel, Grid& grid, int ballCount, const Ball* balls,
                       int parts) {
    FieldPass pass = wholePass(kernel, grid, ballCount, balls, parts);
    computeValues(pass);
}

void updateField(FieldSummary& summary, Grid& grid, const Ball* balls, int parts) {
    FieldPass pass = wholePass(widestKernel(), grid, kBallCount, balls, parts);
    IndexBox blockBox = wholeBox(grid.lattice.perAxis - 1);
    IndexBox reached;
    if (summaryCurrent(summary, grid) && grid.lattice.perAxis > 0 &&
        findReach(summary, balls, pass, reached)) {
        if (reached.low[0] > reached.high[0]) {  // no value changes
            std::memcpy(summary.balls, balls, sizeof summary.balls);
            return;
        }
        alignToBlocks(grid.lattice, reached, blockBox, pass.box);
    } else {
        pass.changedCount = 0;
    }
    computeValues(pass);
    if (grid.lattice.perAxis > 0) setBlockRanges(summary, grid, blockBox, parts);
    summary.gridVersion = grid.version;
    std::memcpy(summary.balls, balls, sizeof summary.balls);
}
