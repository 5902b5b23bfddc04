#pragma once

#include "physics/mat4.h"

// Rotation quaternion stored (x, y, z, w).
struct alignas(16) phQuat {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

// w = cos(angle/2), (x, y, z) = axis · sin(angle/2); the axis is taken as unit length.
phQuat phQuatFromAxisAngle(const phVec4& axis, float angle);

// Quaternion of the matrix's rotation (largest-diagonal method), in the form
// that MatrixFromQuaternion turns back into the same rotation.
phQuat phQuatFromMatrix(const phMat4& m);

// Hamilton product: the rotation b, then a.
phQuat phQuatMultiply(const phQuat& a, const phQuat& b);
// Unit length; a zero or non-finite quaternion becomes the identity.
phQuat phQuatNormalise(const phQuat& q);
