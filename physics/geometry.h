#pragma once

#include "physics/vec4.h"

// Plane through three points: normal (p1 - p0) × (p2 - p0), not normalised,
// in x, y, z; w = -normal·p0.
phVec4 PlaneFromPoints(const phVec4& p0, const phVec4& p1, const phVec4& p2);

// Closest point to p on the segment a..b (w of a).
phVec4 ClosestPointOnSegment(const phVec4& p, const phVec4& a, const phVec4& b);

// Closest points of the segments p0..p1 and q0..q1.
void ClosestPointsOfSegments(const phVec4& p0, const phVec4& p1, const phVec4& q0, const phVec4& q1,
                             phVec4& outP, phVec4& outQ);

// Strict overlap of two axis-aligned boxes; touching boxes do not overlap.
bool phBoxOverlap(const phVec4& min0, const phVec4& max0, const phVec4& min1, const phVec4& max1);
