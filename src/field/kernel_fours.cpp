// The field pass's kernel on four lanes. On x86-64 this unit alone is built for AVX (see
// CMakeLists.txt); the field pass calls it only where the processor has AVX.

#include "field/kernel.h"

std::size_t addInFours(const BallReach* reach, int reachCount, bool fresh, GridPoint* points,
                       std::size_t count) {
    return addInLanes<4>(reach, reachCount, fresh, points, count);
}
