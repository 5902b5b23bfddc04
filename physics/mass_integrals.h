#pragma once

#include "physics/vec4.h"

// Volume integrals of a closed polyhedron accumulated face by face
// (projection-integral method for polyhedral mass properties, Mirtich 1996).
// The sums are kept before the method's final factors: first moments before
// 1/2, second moments before 1/3.
struct phMassIntegrals {
    double volume = 0.0;
    double first[3] = {0.0, 0.0, 0.0};
    double second[3] = {0.0, 0.0, 0.0};
    double products[3] = {0.0, 0.0, 0.0};

    // Face of count points (x, y, z at stride floats apart), counter-clockwise
    // seen from outside. Degenerate faces add nothing.
    void AddFace(const float* points, int stride, int count);

    // Centre of mass; the volume is clamped to 0.001 below it.
    phVec4 Centre() const;
    // Inertia per unit mass about the centre of mass (diagonal).
    phVec4 Inertia() const;
};
