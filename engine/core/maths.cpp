#include "engine/core/maths.h"

#include <cmath>

void MatrixFromPositionRotation(D3DXMATRIX* out, const D3DXVECTOR3* translation,
                                const D3DXQUATERNION* rotation)
{
    D3DXMatrixAffineTransformation(out, 1.0f, nullptr, rotation, translation);
}

void QuaternionRotateXYZ(D3DXQUATERNION* q, float x, float y, float z)
{
    const D3DXVECTOR3 axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    const float angles[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        D3DXQUATERNION r;
        D3DXQuaternionRotationAxis(&r, &axes[i], angles[i]);
        D3DXQuaternionMultiply(q, q, &r);
    }
}

void QuaternionFromDirection(D3DXQUATERNION* out, const D3DXVECTOR3* direction)
{
    if (direction->x == 0.0f && direction->z == 0.0f) {
        D3DXQuaternionIdentity(out);
        return;
    }
    // A turn by a about y faces (-sin a, -cos a).
    const float half = 0.5f * std::atan2(-direction->x, -direction->z);
    *out = D3DXQUATERNION(0.0f, std::sin(half), 0.0f, std::cos(half));
}

void BarycentricCoords2D(float out[3], const D3DXVECTOR2* p, const D3DXVECTOR2* a,
                         const D3DXVECTOR2* b, const D3DXVECTOR2* c)
{
    const float v0x = a->x - c->x, v0y = a->y - c->y;
    const float v1x = b->x - c->x, v1y = b->y - c->y;
    const float v2x = p->x - c->x, v2y = p->y - c->y;
    const float det = v0x * v1y - v1x * v0y;
    if (det == 0.0f) {
        out[0] = 0.0f;
        out[1] = 0.0f;
        out[2] = 1.0f;
        return;
    }
    const float u = (v2x * v1y - v1x * v2y) / det;
    const float v = (v0x * v2y - v2x * v0y) / det;
    out[0] = u;
    out[1] = v;
    out[2] = 1.0f - u - v;
}

void RotateByQuaternion(D3DXVECTOR3* v, const D3DXQUATERNION* q)
{
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, q);
    D3DXVECTOR3 r;
    D3DXVec3TransformNormal(&r, v, &m);
    *v = r;
}

int Orientation2D(const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c)
{
    const float s = (b->x - a->x) * (c->y - a->y) - (b->y - a->y) * (c->x - a->x);
    return s > 0.0f ? 1 : (s < 0.0f ? -1 : 0);
}

bool SegmentsCross2D(const D3DXVECTOR2* a1, const D3DXVECTOR2* a2, const D3DXVECTOR2* b1, const D3DXVECTOR2* b2,
                     D3DXVECTOR2* out)
{
    const int o1 = Orientation2D(a1, a2, b2);
    const int o2 = Orientation2D(a1, a2, b1);
    if (o1 == 0 || o2 == 0 || o1 == o2)
        return false;
    const int o3 = Orientation2D(b1, b2, a2);
    const int o4 = Orientation2D(b1, b2, a1);
    if (o3 == 0 || o4 == 0 || o3 == o4)
        return false;
    if (out) {
        const float num = (a1->x - b1->x) * (a2->y - a1->y) - (a1->y - b1->y) * (a2->x - a1->x);
        const float den = (a2->y - a1->y) * (b2->x - b1->x) - (a2->x - a1->x) * (b2->y - b1->y);
        // Proper crossings have non-parallel segments, so den is not 0.
        const float t = num / den;
        out->x = b1->x + t * (b2->x - b1->x);
        out->y = b1->y + t * (b2->y - b1->y);
    }
    return true;
}
