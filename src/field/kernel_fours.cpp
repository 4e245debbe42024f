// The field pass's kernel on four lanes. On x86-64 this unit alone is built for AVX (see
// CMakeLists.txt); the field pass calls it only where the processor has AVX.

#include "field/kernel.h"

std::size_t addInFours(const RowStretch& row) {
    return addInLanes<4>(row, 0);
}
