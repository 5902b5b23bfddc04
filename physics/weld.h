#pragma once

#include <cstdint>

// Merges points closer than tolerance. Each point is strideBytes long; its
// first tolBytes are floats compared with the tolerance and the next
// exactBytes must match bit for bit. The unique points are moved to the
// front of the array and outMap[i] receives the unique index of point i.
// Returns the number of unique points, 0 for an unusable layout.
int WeldVertices(float* points, int strideBytes, int tolBytes, int exactBytes, int count, std::int32_t* outMap,
                 float tolerance);
