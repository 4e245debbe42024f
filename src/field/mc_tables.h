#pragma once

// Marching-cubes lookup tables, indexed by the cube index (bit c set when corner c is below).
extern const int edgeTable[256];     // mask of the cut edges, bit e for edge e
extern const int triTable[256][16];  // triples of edge numbers, ended by -1
