#pragma once

// Maths helpers of the world and interface code, with the conventions of
// Direct3D's maths library: row-major 4 x 4 matrices, points as row vectors
// multiplied from the left (translation in the fourth row), quaternions as
// x, y, z, w with w the scalar part.

// Rotation by quaternion `rotation`, then translation by `translation`.
void MatrixFromPositionRotation(float out[16], const float translation[3], const float rotation[4]);

// Multiplies q in place by the rotations of angle x about (1,0,0), then y
// about (0,1,0), then z about (0,0,1): each is applied after the rotation q
// already holds.
void QuaternionRotateXYZ(float q[4], float x, float y, float z);

// The rotation of a left-handed look-at view from the origin towards
// `direction` with up (0,1,0): it turns `direction` onto +z. A zero
// direction, or one along the up axis, has no such view; the result is then
// finite but means nothing.
void QuaternionFromDirection(float out[4], const float direction[3]);

// Barycentric weights (u, v, 1 - u - v) of p for a, b and c, so that
// p = u a + v b + (1 - u - v) c. A degenerate triangle gives (0, 0, 1).
void BarycentricCoords2D(float out[3], const float p[2], const float a[2], const float b[2],
                         const float c[2]);

// Rotates v in place by the rotation matrix of q.
void RotateByQuaternion(float v[3], const float q[4]);
