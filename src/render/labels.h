#pragma once

#include "field/grid.h"

// Draws the row of screen-fixed labels along the bottom of the view: the legend of the nine
// balls, the selected ball's centre and radius, the net width, the voxel size and the isolevel.
// Expects black specular reflectance with shininess 0, as the frame leaves them.
void drawLabels();

// World-space point of a label with horizontal offset h: the fixed eye-space point
// (-h, -5.0, -(nearPlane + 0.01)), just beyond the near plane, 0.01 above the view's bottom.
Vec3 labelAnchor(double h);

// Draws a zero-terminated text in the labels' bitmap font from the current raster position.
void drawText(const char* text);
