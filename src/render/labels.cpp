#include "render/labels.h"

void drawLabels() {}
