#include "physics/box_box_contacts.h"

#include <cmath>

#include "physics/collision_box.h"
#include "physics/maths.h"
#include "physics/minkowski_solver.h"
#include "physics/rigid_body.h"

namespace {

// Below this squared length two edges are parallel and their crossing is no
// axis: the face axes already cover that direction.
constexpr float kParallelSq = 1e-6f;
// Boxes this far apart along an axis are surely apart; closer ones are left
// to the general test, which decides touching by its own rounding.
constexpr float kApartMargin = 1e-4f;
// A face axis within this angle of the least overlap's, overlapping no more
// than this beyond it, stands in for it (as the polytope search's answer is
// put on a box face).
constexpr float kSnapCos = phMinkowskiSolver::kSnapCos;
constexpr float kFaceTolerance = phMinkowskiSolver::kDepthTolerance;

phVec4 Abs(const phVec4& v) { return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z), 0.0f}; }

}  // namespace

bool BoxesApart(const phRigidBody* a, const phRigidBody* b)
{
    const auto* boxA = static_cast<const phCollisionBox*>(a->collision);
    const auto* boxB = static_cast<const phCollisionBox*>(b->collision);
    const phMat4 m = phMultiply(b->collisionMatrix, InverseRigid(a->collisionMatrix));
    const phVec4& ha = boxA->GetHalfExtents();
    const phVec4& hb = boxB->GetHalfExtents();
    const phVec4 hav = {ha.x, ha.y, ha.z, 0.0f};
    const phVec4 hbv = {hb.x, hb.y, hb.z, 0.0f};
    const phVec4 t = {m[3].x, m[3].y, m[3].z, 0.0f};
    const phVec4 axisB[3] = {{m[0].x, m[0].y, m[0].z, 0.0f}, {m[1].x, m[1].y, m[1].z, 0.0f},
                             {m[2].x, m[2].y, m[2].z, 0.0f}};
    auto apart = [&](const phVec4& l) {
        const phVec4 inB = {phDot(l, axisB[0]), phDot(l, axisB[1]), phDot(l, axisB[2]), 0.0f};
        return phDot(hav, Abs(l)) + phDot(hbv, Abs(inB)) - std::fabs(phDot(l, t)) < -kApartMargin;
    };
    static constexpr phVec4 kAxes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    for (int k = 0; k < 6; ++k) {
        if (apart(k < 3 ? kAxes[k] : axisB[k - 3])) {
            return true;
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            phVec4 l = phCross(kAxes[i], axisB[j]);
            l.w = 0.0f;
            const float lenSq = phLengthSq(l);
            if (lenSq >= kParallelSq && apart(l * (1.0f / std::sqrt(lenSq)))) {
                return true;
            }
        }
    }
    return false;
}

int ContactsBoxBox(phRigidBody* a, phRigidBody* b, phContactRecord* out, int capacity)
{
    const auto* boxA = static_cast<const phCollisionBox*>(a->collision);
    const auto* boxB = static_cast<const phCollisionBox*>(b->collision);
    const phMat4& matA = a->collisionMatrix;
    const phMat4& matB = b->collisionMatrix;
    // Everything in A's space: B's axes are the rows of m, its centre m[3].
    const phMat4 m = phMultiply(matB, InverseRigid(matA));
    const phVec4& ha = boxA->GetHalfExtents();
    const phVec4& hb = boxB->GetHalfExtents();
    const phVec4 t = {m[3].x, m[3].y, m[3].z, 0.0f};
    const phVec4 axisB[3] = {{m[0].x, m[0].y, m[0].z, 0.0f}, {m[1].x, m[1].y, m[1].z, 0.0f},
                             {m[2].x, m[2].y, m[2].z, 0.0f}};
    const phVec4 hbv = {hb.x, hb.y, hb.z, 0.0f};
    const phVec4 hav = {ha.x, ha.y, ha.z, 0.0f};

    // Overlap of the two boxes' extents along the unit axis l.
    auto overlap = [&](const phVec4& l) {
        const phVec4 inB = {phDot(l, axisB[0]), phDot(l, axisB[1]), phDot(l, axisB[2]), 0.0f};
        return phDot(hav, Abs(l)) + phDot(hbv, Abs(inB)) - std::fabs(phDot(l, t));
    };

    static constexpr phVec4 kAxes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    float faceOverlap[6];
    float best = INFINITY;
    phVec4 bestAxis = kAxes[0];
    for (int k = 0; k < 6; ++k) {
        const phVec4& l = k < 3 ? kAxes[k] : axisB[k - 3];
        const float s = overlap(l);
        if (!(s > 0.0f)) {
            return 0;
        }
        faceOverlap[k] = s;
        if (s < best) {
            best = s;
            bestAxis = l;
        }
    }
    float bestEdge = INFINITY;
    phVec4 edgeAxis = bestAxis;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            phVec4 l = phCross(kAxes[i], axisB[j]);
            l.w = 0.0f;
            const float lenSq = phLengthSq(l);
            if (lenSq < kParallelSq) {
                continue;
            }
            l = l * (1.0f / std::sqrt(lenSq));
            const float s = overlap(l);
            if (!(s > 0.0f)) {
                return 0;
            }
            if (s < bestEdge) {
                bestEdge = s;
                edgeAxis = l;
            }
        }
    }
    if (bestEdge < best) {
        // The least overlap lies across two edges. A box face nearly along
        // that crossing that separates the boxes hardly less is taken in its
        // place, the face most nearly along it: two faces resting almost
        // flat meet across a sliver of edge crossings, and the face keeps
        // the contact's points at the face's corners.
        float bestCos = kSnapCos;
        int face = -1;
        for (int k = 0; k < 6; ++k) {
            const phVec4& l = k < 3 ? kAxes[k] : axisB[k - 3];
            const float c = std::fabs(phDot(l, edgeAxis));
            if (c > bestCos && faceOverlap[k] <= bestEdge + kFaceTolerance) {
                bestCos = c;
                face = k;
            }
        }
        if (face >= 0) {
            best = faceOverlap[face];
            bestAxis = face < 3 ? kAxes[face] : axisB[face - 3];
        } else {
            best = bestEdge;
            bestAxis = edgeAxis;
        }
    }
    // From A towards B: the direction in which A's deepest point lies in B.
    phVec4 n = phDot(bestAxis, t) < 0.0f ? -bestAxis : bestAxis;
    n.w = 0.0f;

    const phVec4 sa = boxA->SupportVertex(n);
    const phVec4 nb = {-phDot(n, axisB[0]), -phDot(n, axisB[1]), -phDot(n, axisB[2]), 0.0f};
    const phVec4 sb = phTransformPoint(m, boxB->SupportVertex(nb));
    return ContactsFromSections(boxA, matA, boxB, matB, m, {n.x, n.y, n.z, -best}, sa + sb, 0, out, capacity);
}
