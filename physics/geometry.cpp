#include "physics/geometry.h"

#include <algorithm>

phVec4 PlaneFromPoints(const phVec4& p0, const phVec4& p1, const phVec4& p2)
{
    phVec4 n = phCross(p1 - p0, p2 - p0);
    n.w = -phDot(n, p0);
    return n;
}

phVec4 ClosestPointOnSegment(const phVec4& p, const phVec4& a, const phVec4& b)
{
    const phVec4 ab = b - a;
    const float len2 = phLengthSq(ab);
    float t = 0.0f;
    if (len2 > 0.0f) {
        t = std::clamp(phDot(p - a, ab) / len2, 0.0f, 1.0f);
    }
    return a + ab * t;
}

void ClosestPointsOfSegments(const phVec4& p0, const phVec4& p1, const phVec4& q0, const phVec4& q1,
                             phVec4& outP, phVec4& outQ)
{
    const phVec4 d1 = p1 - p0;
    const phVec4 d2 = q1 - q0;
    const phVec4 r = p0 - q0;
    const float a = phDot(d1, d1);
    const float e = phDot(d2, d2);
    const float b = phDot(d1, d2);
    const float c = phDot(d1, r);
    const float f = phDot(d2, r);
    const float denom = a * e - b * b;  // |d1 × d2|²

    float s = 0.5f;
    if (denom >= 1e-8f) {
        s = std::clamp((b * f - c * e) / denom, 0.0f, 1.0f);
    }
    float t = e > 0.0f ? (b * s + f) / e : 0.0f;
    if (t < 0.0f || t > 1.0f) {
        // The second point is clamped to an end; the first follows it.
        t = std::clamp(t, 0.0f, 1.0f);
        outQ = q0 + d2 * t;
        outP = ClosestPointOnSegment(outQ, p0, p1);
        return;
    }
    outP = p0 + d1 * s;
    outQ = q0 + d2 * t;
}

bool phBoxOverlap(const phVec4& min0, const phVec4& max0, const phVec4& min1, const phVec4& max1)
{
    return min0.x < max1.x && min1.x < max0.x && min0.z < max1.z && min1.z < max0.z && min0.y < max1.y &&
           min1.y < max0.y;
}
