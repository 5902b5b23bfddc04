#pragma once

#include <cstddef>

#include "physics/mat4.h"
#include "physics/quat.h"

// Built on first use, valid until the end of the program.
const phMat4& GetIdentityMatrix();
const phMat4& GetZeroMatrix();

// count points (x, y, z read from in) transformed by p·R + T into out; strides
// in bytes. out may equal in.
void TransformPoints(const phMat4& matrix, float* out, std::size_t outStride, const float* in,
                     std::size_t inStride, int count);

// Rotation of the unit quaternion q, with row 3 = (position, 1).
phMat4 MatrixFromQuaternion(const phQuat& q, const phVec4& position);

// Inverse of the upper-left 3 × 3 block read as a symmetric matrix; row 3 is
// (0, 0, 0, 1). A singular block gives a zero block.
phMat4 InverseSymmetric3x3(const phMat4& m);

// (ax, ay, az, 0) of a rotation matrix.
phVec4 GetEulerAngles(const phMat4& m);

// Inverse of a rigid matrix: the rotation transposed (w = 0), row 3 =
// (-p·row0, -p·row1, -p·row2, 1).
phMat4 InverseRigid(const phMat4& m);

// Closest point of the triangle a, b, c to p.
phVec4 ClosestPointOnTriangle(const phVec4& p, const phVec4& a, const phVec4& b, const phVec4& c);
