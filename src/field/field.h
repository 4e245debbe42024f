#pragma once

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

// The ways the field pass can run: one point at a time, two (SSE2) or four (AVX). All give the
// same bits; evaluateField takes the widest the processor has.
enum class FieldKernel { kScalar, kPairs, kFours };

bool fieldKernelAvailable(FieldKernel kernel);

// evaluateField with the given kernel (the scalar one when it is not available), so that each
// can be checked against the others.
void evaluateFieldWith(FieldKernel kernel, int n, int ballCount, const Ball* balls,
                       GridPoint* points);
