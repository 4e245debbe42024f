#include "field/memory.h"

namespace {

const FieldStorage kSystemStorage = {mapAlignedPages, unmapAlignedPages, growPages};
const FieldStorage* storageInPlace = &kSystemStorage;

}  // namespace

const FieldStorage& fieldStorage() {
    return *storageInPlace;
}

void setFieldStorage(const FieldStorage* storage) {
    storageInPlace = storage != nullptr ? storage : &kSystemStorage;
}
