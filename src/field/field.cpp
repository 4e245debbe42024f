#include "field/field.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "field/kernel.h"
#include "field/parallel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A pass over fewer points stays on one thread: starting one costs tens of microseconds, a
// whole pass at N = 32 (35,937 points) about sixty.
constexpr std::size_t kPointsPerPart = 65536;

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

// The contributions at points [0, count) with the kernel; points that do not fill its width go
// through narrower lanes.
void addContributions(FieldKernel kernel, const BallReach* reach, int reachCount, bool fresh,
                      GridPoint* points, std::size_t count) {
    std::size_t done = 0;
    if (kernel == FieldKernel::kFours) {
        done = addInFours(reach, reachCount, fresh, points, count);
    }
    if (kernel != FieldKernel::kScalar) {
        done += addInLanes<2>(reach, reachCount, fresh, points + done, count - done);
    }
    addInLanes<1>(reach, reachCount, fresh, points + done, count - done);
}

FieldKernel widestKernel() {
    static const FieldKernel widest =
        fieldKernelAvailable(FieldKernel::kFours) ? FieldKernel::kFours : FieldKernel::kPairs;
    return widest;
}

// Coordinate of index t along an axis of a grid of `side` points per axis.
double axisCoordinate(const GridPoint* points, std::size_t side, int axis, int t) {
    const std::size_t u = static_cast<std::size_t>(t);
    if (axis == 0) return points[u * side * side].position.x;
    if (axis == 1) return points[u * side].position.y;
    return points[u].position.z;
}

// The least index whose coordinate along the axis is at least `value` (n + 1 if none); the
// lattice's coordinates grow with the index.
int firstIndexFrom(const GridPoint* points, int n, int axis, double value) {
    const std::size_t side = static_cast<std::size_t>(n) + 1;
    int low = 0;
    int high = n + 1;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (axisCoordinate(points, side, axis, middle) >= value) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

// Inclusive ranges of indices along i, j and k: of points, or of summary blocks.
struct IndexBox {
    int low[3];
    int high[3];
};

// One field pass over a box of points with one batch of prepared balls, split into parts along
// i at block boundaries. With a summary, it also sets the ranges of the blocks in `blocks`, all
// of whose points lie in the box.
// The reach of a changed ball, before or after its change: the points within `radius` of the
// centre are the ones whose values can change.
struct Sphere {
    double x, y, z, radius;
};

struct FieldPass {
    FieldKernel kernel;
    const BallReach* reach;
    int reachCount;
    bool fresh;
    GridPoint* points;
    int n;
    IndexBox box;
    const Sphere* changed;  // when there are any, only the points they reach are computed
    int changedCount;
    FieldSummary* summary;  // null: values only
    IndexBox blocks;
    int blockCells;
    int parts;
    int partRows[kMaxParts + 1];  // part p computes rows i in [partRows[p], partRows[p + 1])
};

GridPoint* rowOf(const FieldPass& pass, int i, int j) {
    const std::size_t side = static_cast<std::size_t>(pass.n) + 1;
    return pass.points + (i * side + j) * side + pass.box.low[2];
}

// The one or two blocks along an axis that hold point t: t / side, and at a block's first point
// also the block before; only those within [low, high]. Returns how many.
int blocksHolding(int t, int side, int low, int high, int blocks[2]) {
    int count = 0;
    const int block = t / side;
    if (t % side == 0 && block - 1 >= low && block - 1 <= high) blocks[count++] = block - 1;
    if (block >= low && block <= high) blocks[count++] = block;
    return count;
}

// Whether any of the values of points [from, to] of a row is NaN.
bool anyUndefined(const GridPoint* row, int from, int to) {
    int k = from;
    bool undefined = false;
#ifdef __SSE2__
    __m128d unordered = _mm_setzero_pd();
    for (; k < to; k += 2) {
        const __m128d values = _mm_loadh_pd(_mm_load_sd(&row[k].value), &row[k + 1].value);
        unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(values, values));
    }
    undefined = _mm_movemask_pd(unordered) != 0;
#endif
    for (; k <= to; ++k)
        undefined |= row[k].value != row[k].value;
    return undefined;
}

// Least and greatest of the values of points [from, to] of a row; NaN values are left out.
inline void rangeOf(const GridPoint* point, int from, int to, double& least, double& greatest) {
    int k = from;
#ifdef __SSE2__
    // Two values at a time; min and max give their second operand, the range so far, where the
    // value is NaN.
    __m128d low = _mm_set1_pd(kInfinity);
    __m128d high = _mm_set1_pd(-kInfinity);
    for (; k < to; k += 2) {
        const __m128d values = _mm_loadh_pd(_mm_load_sd(&point[k].value), &point[k + 1].value);
        low = _mm_min_pd(values, low);
        high = _mm_max_pd(values, high);
    }
    if (k == to) {
        const __m128d value = _mm_load1_pd(&point[k].value);
        low = _mm_min_pd(value, low);
        high = _mm_max_pd(value, high);
    }
    least = _mm_cvtsd_f64(_mm_min_sd(low, _mm_unpackhi_pd(low, low)));
    greatest = _mm_cvtsd_f64(_mm_max_sd(high, _mm_unpackhi_pd(high, high)));
#else
    least = kInfinity;
    greatest = -kInfinity;
    for (; k <= to; ++k) {
        const double value = point[k].value;
        least = value < least ? value : least;
        greatest = greatest < value ? value : greatest;
    }
#endif
}

// Widens the ranges of the blocks that hold row (i, j) of the box by its values, for blocks
// [aLow, aHigh] along i. NaN compares false with everything, so it never enters a range by
// itself; a row that holds one makes `greatest` NaN for good in every block it touches, so that
// extraction never passes over them (a NaN corner counts as not below the isolevel).
void foldRow(const FieldPass& pass, int i, int j, const GridPoint* row, int aLow, int aHigh) {
    FieldSummary& summary = *pass.summary;
    const int side = pass.blockCells;
    int as[2], bs[2];
    const int aCount = blocksHolding(i, side, aLow, aHigh, as);
    const int bCount = blocksHolding(j, side, pass.blocks.low[1], pass.blocks.high[1], bs);
    if (aCount == 0 || bCount == 0) return;
    const GridPoint* point = row - pass.box.low[2];  // point k of the row
    const int cLow = pass.blocks.low[2];
    const int cHigh = pass.blocks.high[2];
    const int kHigh = (cHigh + 1) * side < pass.n ? (cHigh + 1) * side : pass.n;
    const bool undefined = anyUndefined(point, cLow * side, kHigh);
    const int perAxis = summary.blocksPerAxis;
    for (int c = cLow; c <= cHigh; ++c) {
        const int kEnd = c * side + side < pass.n ? c * side + side : pass.n;
        double least, greatest;
        rangeOf(point, c * side, kEnd, least, greatest);
        if (undefined) greatest = std::numeric_limits<double>::quiet_NaN();
        for (int a = 0; a < aCount; ++a) {
            for (int b = 0; b < bCount; ++b) {
                const int e = (as[a] * perAxis + bs[b]) * perAxis + c;
                if (least < summary.least[e]) summary.least[e] = least;
                if (!(greatest <= summary.greatest[e]) &&
                    summary.greatest[e] == summary.greatest[e])
                    summary.greatest[e] = greatest;
            }
        }
    }
}

// Asks for points [0, count) ahead of their use.
void prefetchPoints(const GridPoint* points, std::size_t count) {
    constexpr std::size_t kLine = 64;  // bytes
    const char* from = reinterpret_cast<const char*>(points);
    const char* to = reinterpret_cast<const char*>(points + count);
    for (; from < to; from += kLine)
        __builtin_prefetch(from, 1);
}

// The stretch [from, to] of row (i, j) of the box that a changed ball reaches, give or take a
// point (see addReach); from > to when none does.
void reachedStretch(const FieldPass& pass, int i, int j, int& from, int& to) {
    const std::size_t side = static_cast<std::size_t>(pass.n) + 1;
    const Vec3& start = pass.points[(i * side + j) * side].position;
    from = pass.box.high[2] + 1;
    to = pass.box.low[2] - 1;
    for (int c = 0; c < pass.changedCount; ++c) {
        const Sphere& sphere = pass.changed[c];
        const double dx = start.x - sphere.x;
        const double dy = start.y - sphere.y;
        // A little more than the radius, against the rounding of the sums of squares.
        const double radius = sphere.radius * (1.0 + 1e-9) + 1e-9;
        const double halfChord = radius * radius - dx * dx - dy * dy;
        if (!(halfChord >= 0.0)) continue;
        const double w = std::sqrt(halfChord);
        const int low = firstIndexFrom(pass.points, pass.n, 2, sphere.z - w) - 1;
        const int high =
            firstIndexFrom(pass.points, pass.n, 2, std::nextafter(sphere.z + w, kInfinity));
        if (low < from) from = low;
        if (high > to) to = high;
    }
    if (from < pass.box.low[2]) from = pass.box.low[2];
    if (to > pass.box.high[2]) to = pass.box.high[2];
}

void runPassPart(void* context, int part) {
    const FieldPass& pass = *static_cast<const FieldPass*>(context);
    const std::size_t length = static_cast<std::size_t>(pass.box.high[2] - pass.box.low[2]) + 1;
    // Rows that span all of k follow each other in memory: one kernel call takes all of them,
    // with no short remainder at the end of each row.
    const bool wholeRows = pass.changedCount == 0 && length == static_cast<std::size_t>(pass.n) + 1;
    const std::size_t rows = static_cast<std::size_t>(pass.box.high[1] - pass.box.low[1]) + 1;
    const int first = pass.partRows[part];
    for (int i = first; i < pass.partRows[part + 1]; ++i) {
        if (wholeRows) {
            addContributions(pass.kernel, pass.reach, pass.reachCount, pass.fresh,
                             rowOf(pass, i, pass.box.low[1]), rows * length);
        }
        for (int j = pass.box.low[1]; j <= pass.box.high[1]; ++j) {
            GridPoint* row = rowOf(pass, i, j);
            if (!wholeRows) {
                // The next stretch lies a row further on, out of the processor's sight.
                if (j < pass.box.high[1]) prefetchPoints(rowOf(pass, i, j + 1), length);
                int from = pass.box.low[2];
                int to = pass.box.high[2];
                // The points no changed ball reaches keep their values: the same balls reach
                // them as before, so computing them again would give the same bits.
                if (pass.changedCount > 0) reachedStretch(pass, i, j, from, to);
                if (from <= to) {
                    addContributions(pass.kernel, pass.reach, pass.reachCount, pass.fresh,
                                     row + (from - pass.box.low[2]),
                                     static_cast<std::size_t>(to - from) + 1);
                }
            }
            // The block before the part's first row is another part's: see runPass.
            if (pass.summary)
                foldRow(pass, i, j, row, first / pass.blockCells, pass.blocks.high[0]);
        }
    }
}

// Splits the box's rows along i into parts of whole blocks.
void splitRows(FieldPass& pass) {
    const int rows = pass.box.high[0] - pass.box.low[0] + 1;
    const int slabs = (rows + pass.blockCells - 1) / pass.blockCells;
    const std::size_t points = static_cast<std::size_t>(rows) *
                               (pass.box.high[1] - pass.box.low[1] + 1) *
                               (pass.box.high[2] - pass.box.low[2] + 1);
    int parts = partCount();
    if (parts > slabs) parts = slabs;
    if (points < kPointsPerPart || parts < 1) parts = 1;
    pass.parts = parts;
    for (int p = 0; p < parts; ++p) {
        pass.partRows[p] = pass.box.low[0] + p * slabs / parts * pass.blockCells;
    }
    pass.partRows[parts] = pass.box.high[0] + 1;
}

void runPass(FieldPass& pass) {
    runInParts(pass.parts, runPassPart, &pass);
    if (pass.summary == nullptr) return;
    // The first row of each part but the first also belongs to the last block of the part
    // before, which that part could not see: its values are all in place now.
    for (int p = 1; p < pass.parts; ++p) {
        const int i = pass.partRows[p];
        const int a = i / pass.blockCells - 1;
        for (int j = pass.box.low[1]; j <= pass.box.high[1]; ++j)
            foldRow(pass, i, j, rowOf(pass, i, j), a, a);
    }
}

// The field of the enabled balls at the points of `box`; with a summary, also the ranges of the
// blocks in `blocks`.
void computeField(FieldKernel kernel, int n, int ballCount, const Ball* balls, GridPoint* points,
                  const IndexBox& box, const Sphere* changed, int changedCount,
                  FieldSummary* summary, const IndexBox& blocks) {
    countGridWrite();
    FieldPass pass{};
    pass.kernel = kernel;
    pass.points = points;
    pass.n = n;
    pass.box = box;
    pass.changed = changed;
    pass.changedCount = changedCount;
    pass.blocks = blocks;
    pass.blockCells = summaryBlockCells(n);
    splitRows(pass);
    if (summary) {
        const int perAxis = summary->blocksPerAxis;
        for (int a = blocks.low[0]; a <= blocks.high[0]; ++a) {
            for (int b = blocks.low[1]; b <= blocks.high[1]; ++b) {
                for (int c = blocks.low[2]; c <= blocks.high[2]; ++c) {
                    summary->least[(a * perAxis + b) * perAxis + c] = kInfinity;
                    summary->greatest[(a * perAxis + b) * perAxis + c] = -kInfinity;
                }
            }
        }
    }

    // The enabled balls in order, kBallCount at a time; a later batch adds to the sums the
    // earlier ones stored, which keeps the order of the additions. A radius-0 ball adds 0.0
    // everywhere and is left out: sums of contributions are never -0.0, so adding 0.0 changes
    // nothing. For the same reason a point beyond a ball's radius skips the addition.
    int first = 0;
    do {
        BallReach reach[kBallCount]{};
        int reachCount = 0;
        for (int b = first; b < ballCount && b < first + kBallCount; ++b) {
            const Ball& ball = balls[b];
            if (!ball.enabled || ball.radius == 0.0f) continue;
            BallReach& prepared = reach[reachCount++];
            const double r = ball.radius;
            prepared.x = ball.x;
            prepared.y = ball.y;
            prepared.z = ball.z;
            prepared.outside = outsideBound(r);
            prepared.r2 = r * r;
            prepared.r4 = prepared.r2 * prepared.r2;
            prepared.r6 = prepared.r4 * prepared.r2;
        }
        pass.reach = reach;
        pass.reachCount = reachCount;
        pass.fresh = first == 0;
        first += kBallCount;
        pass.summary = first >= ballCount ? summary : nullptr;  // from the final values
        runPass(pass);
    } while (first < ballCount);
}

IndexBox wholeBox(int last) {
    return {{0, 0, 0}, {last, last, last}};
}

bool contributes(const Ball& ball) {
    return ball.enabled && ball.radius != 0.0f;
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
bool addReach(const Ball& ball, const GridPoint* points, int n, IndexBox& box) {
    if (!contributes(ball)) return true;
    const double centre[3] = {ball.x, ball.y, ball.z};
    const double r = ball.radius;
    int low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) {
        const double from = centre[axis] - r;
        const double to = centre[axis] + r;
        if (!std::isfinite(from) || !std::isfinite(to)) return false;
        low[axis] = firstIndexFrom(points, n, axis, from) - 1;
        high[axis] = firstIndexFrom(points, n, axis, std::nextafter(to, kInfinity));
        if (low[axis] < 0) low[axis] = 0;
        if (high[axis] > n) high[axis] = n;
        if (low[axis] > high[axis]) return true;  // reaches no point
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (low[axis] < box.low[axis]) box.low[axis] = low[axis];
        if (high[axis] > box.high[axis]) box.high[axis] = high[axis];
    }
    return true;
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

void evaluateField(int n, int ballCount, const Ball* balls, GridPoint* points) {
    evaluateFieldWith(widestKernel(), n, ballCount, balls, points);
}

void evaluateFieldWith(FieldKernel kernel, int n, int ballCount, const Ball* balls,
                       GridPoint* points) {
    if (n < 0) return;
    if (!fieldKernelAvailable(kernel)) kernel = FieldKernel::kScalar;
    computeField(kernel, n, ballCount, balls, points, wholeBox(n), nullptr, 0, nullptr,
                 wholeBox(-1));
}

int summaryBlockCells(int n) {
    const int fitting = (n + kMaxBlocksPerAxis - 1) / kMaxBlocksPerAxis;
    return fitting > kBlockCells ? fitting : kBlockCells;
}

int summaryBlocksPerAxis(int n) {
    const int side = summaryBlockCells(n);
    return n <= 0 ? 0 : (n + side - 1) / side;
}

bool summaryCurrent(const FieldSummary& summary, int n, const GridPoint* points) {
    return summary.points == points && summary.cellsPerAxis == n &&
           summary.writeCount == gridWriteCount();
}

void updateField(FieldSummary& summary, int n, int ballCount, const Ball* balls,
                 GridPoint* points) {
    if (n < 0) return;
    const int side = summaryBlockCells(n);
    const int perAxis = summaryBlocksPerAxis(n);
    IndexBox box = wholeBox(n);
    IndexBox blocks = wholeBox(perAxis - 1);

    Sphere changed[2 * kBallCount];
    int changedCount = 0;
    const bool incremental =
        summaryCurrent(summary, n, points) && perAxis > 0 && ballCount == summary.ballCount;
    if (incremental) {
        IndexBox reached = {{n + 1, n + 1, n + 1}, {-1, -1, -1}};
        bool bounded = true;
        for (int b = 0; b < ballCount && bounded; ++b) {
            if (sameBall(summary.balls[b], balls[b])) continue;
            for (const Ball* ball : {static_cast<const Ball*>(&summary.balls[b]), &balls[b]}) {
                bounded = bounded && addReach(*ball, points, n, reached);
                if (contributes(*ball)) {
                    changed[changedCount++] = {ball->x, ball->y, ball->z, ball->radius};
                }
            }
        }
        if (!bounded) changedCount = 0;
        if (bounded) {
            for (int b = 0; b < ballCount; ++b)
                summary.balls[b] = balls[b];
            if (reached.low[0] > reached.high[0]) return;  // no value changes
            // Every block holding a reached point, and all the points of those blocks, so that
            // their ranges come from values in hand. The points beyond the reached ones get the
            // same bits again.
            for (int axis = 0; axis < 3; ++axis) {
                const int lowBlock = (reached.low[axis] + side - 1) / side - 1;
                const int highBlock = reached.high[axis] / side;
                blocks.low[axis] = lowBlock > 0 ? lowBlock : 0;
                blocks.high[axis] = highBlock < perAxis - 1 ? highBlock : perAxis - 1;
                box.low[axis] = blocks.low[axis] * side;
                const int end = (blocks.high[axis] + 1) * side;
                box.high[axis] = end < n ? end : n;
            }
        }
    }

    summary.blockCells = side;
    summary.blocksPerAxis = perAxis;
    computeField(widestKernel(), n, ballCount, balls, points, box, changed, changedCount, &summary,
                 blocks);
    summary.points = points;
    summary.cellsPerAxis = n;
    summary.writeCount = gridWriteCount();
    // More balls than it holds, or a negative count, never match: the next update is a full one.
    const bool kept = ballCount >= 0 && ballCount <= kBallCount;
    summary.ballCount = kept ? ballCount : -1;
    for (int b = 0; kept && b < ballCount; ++b)
        summary.balls[b] = balls[b];
}
