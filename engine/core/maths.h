#pragma once

#include "platform/d3dx9/d3dx9_math.h"

// Maths helpers of the world and interface code, thin layers over D3DX:
// row-major matrices, points as row vectors multiplied from the left
// (translation in the fourth row), quaternions as x, y, z, w with w the
// scalar part.

// Rotation by `rotation`, then translation by `translation` (unit scale).
void MatrixFromPositionRotation(D3DXMATRIX* out, const D3DXVECTOR3* translation,
                                const D3DXQUATERNION* rotation);

// Multiplies q in place by the rotations of angle x about (1,0,0), then y
// about (0,1,0), then z about (0,0,1): each is applied after the rotation q
// already holds.
void QuaternionRotateXYZ(D3DXQUATERNION* q, float x, float y, float z);

// The rotation about the vertical axis that turns an actor's front (local
// -z) to face along the x-z part of `direction`: its matrix M has the facing
// vector (M._13, -M._11) along (direction.x, direction.z). A direction
// without an x-z part gives the identity.
void QuaternionFromDirection(D3DXQUATERNION* out, const D3DXVECTOR3* direction);

// Barycentric weights (u, v, 1 - u - v) of p for a, b and c, so that
// p = u a + v b + (1 - u - v) c. A degenerate triangle gives (0, 0, 1).
void BarycentricCoords2D(float out[3], const D3DXVECTOR2* p, const D3DXVECTOR2* a,
                         const D3DXVECTOR2* b, const D3DXVECTOR2* c);

// Rotates v in place by the rotation matrix of q.
void RotateByQuaternion(D3DXVECTOR3* v, const D3DXQUATERNION* q);

// Side of c relative to the line a→b on a plane: 1 left (counter-clockwise),
// -1 right, 0 on the line.
int Orientation2D(const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c);
// Whether the segments a1-a2 and b1-b2 cross properly (touching and
// collinear segments do not); when they do and out is given, out is the
// crossing point.
bool SegmentsCross2D(const D3DXVECTOR2* a1, const D3DXVECTOR2* a2, const D3DXVECTOR2* b1, const D3DXVECTOR2* b2,
                     D3DXVECTOR2* out);
