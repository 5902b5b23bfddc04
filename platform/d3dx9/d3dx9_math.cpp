// D3DX maths: row vectors, left-handed.
#include "platform/d3dx9/d3dx9_math.h"

#include <cmath>

namespace {

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

}  // namespace

// ---- Types ---------------------------------------------------------------------
D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
  D3DXQuaternionMultiply(this, this, &q);
  return *this;
}

D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
  D3DXQUATERNION out;
  D3DXQuaternionMultiply(&out, this, &q);
  return out;
}

D3DXMATRIX::D3DXMATRIX(const float* f) : D3DMATRIX{} {
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = f[i];
}

D3DXMATRIX::D3DXMATRIX(float f11, float f12, float f13, float f14, float f21, float f22, float f23, float f24,
                       float f31, float f32, float f33, float f34, float f41, float f42, float f43, float f44)
    : D3DMATRIX{} {
  const float v[16] = {f11, f12, f13, f14, f21, f22, f23, f24, f31, f32, f33, f34, f41, f42, f43, f44};
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v[i];
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& b) {
  D3DXMatrixMultiply(this, this, &b);
  return *this;
}

D3DXMATRIX& D3DXMATRIX::operator+=(const D3DXMATRIX& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] += b.m[r][c];
  return *this;
}

D3DXMATRIX& D3DXMATRIX::operator-=(const D3DXMATRIX& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] -= b.m[r][c];
  return *this;
}

D3DXMATRIX& D3DXMATRIX::operator*=(float f) {
  for (auto& row : m)
    for (float& v : row) v *= f;
  return *this;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& b) const {
  D3DXMATRIX out;
  D3DXMatrixMultiply(&out, this, &b);
  return out;
}

D3DXMATRIX D3DXMATRIX::operator+(const D3DXMATRIX& b) const { return D3DXMATRIX(*this) += b; }
D3DXMATRIX D3DXMATRIX::operator-(const D3DXMATRIX& b) const { return D3DXMATRIX(*this) -= b; }
D3DXMATRIX D3DXMATRIX::operator*(float f) const { return D3DXMATRIX(*this) *= f; }

bool D3DXMATRIX::operator==(const D3DXMATRIX& b) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (m[r][c] != b.m[r][c]) return false;
  return true;
}

// ---- Vectors ---------------------------------------------------------------------
float D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
  float len = D3DXVec2Length(v);
  *out = len > 0.0f ? D3DXVECTOR2(v->x / len, v->y / len) : D3DXVECTOR2(0, 0);
  return out;
}

float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(D3DXVec3LengthSq(v)); }
float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
  return out;
}

D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = *a + *b;
  return out;
}

D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = *a - *b;
  return out;
}

D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) {
  *out = *v * s;
  return out;
}

D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
  *out = *a + (*b - *a) * s;
  return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
  float len = D3DXVec3Length(v);
  *out = len > 0.0f ? *v / len : D3DXVECTOR3(0, 0, 0);
  return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
  const float in[4] = {v->x, v->y, v->z, v->w};
  float r[4];
  for (int c = 0; c < 4; ++c) r[c] = in[0] * m->m[0][c] + in[1] * m->m[1][c] + in[2] * m->m[2][c] + in[3] * m->m[3][c];
  *out = D3DXVECTOR4(r[0], r[1], r[2], r[3]);
  return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 in(*v, 1.0f);
  return D3DXVec4Transform(out, &in, m);
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 r;
  D3DXVec3Transform(&r, v, m);
  *out = r.w != 0.0f ? D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w) : D3DXVECTOR3(0, 0, 0);
  return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 in(*v, 0.0f), r;
  D3DXVec4Transform(&r, &in, m);
  *out = D3DXVECTOR3(r.x, r.y, r.z);
  return out;
}

namespace {

D3DXMATRIX Combined(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  D3DXMATRIX m = Identity();
  if (world) m = *world;
  if (view) m = m * *view;
  if (projection) m = m * *projection;
  return m;
}

}  // namespace

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  D3DXMATRIX m = Combined(projection, view, world);
  D3DXVECTOR3 p;
  D3DXVec3TransformCoord(&p, v, &m);
  if (vp) {
    p.x = static_cast<float>(vp->X) + (1.0f + p.x) * static_cast<float>(vp->Width) / 2.0f;
    p.y = static_cast<float>(vp->Y) + (1.0f - p.y) * static_cast<float>(vp->Height) / 2.0f;
    p.z = vp->MinZ + p.z * (vp->MaxZ - vp->MinZ);
  }
  *out = p;
  return out;
}

D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  D3DXMATRIX m = Combined(projection, view, world), inv;
  if (!D3DXMatrixInverse(&inv, nullptr, &m)) return nullptr;
  D3DXVECTOR3 p = *v;
  if (vp) {
    p.x = 2.0f * (p.x - static_cast<float>(vp->X)) / static_cast<float>(vp->Width) - 1.0f;
    p.y = 1.0f - 2.0f * (p.y - static_cast<float>(vp->Y)) / static_cast<float>(vp->Height);
    p.z = (p.z - vp->MinZ) / (vp->MaxZ - vp->MinZ);
  }
  D3DXVec3TransformCoord(out, &p, &inv);
  return out;
}

// ---- Matrices -----------------------------------------------------------------------
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  *out = Identity();
  return out;
}

BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) { return *m == Identity() ? TRUE : FALSE; }

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
  *out = r;
  return out;
}

namespace {

// Cofactor expansion in double precision; the adjugate for the inverse.
double Adjugate(const D3DXMATRIX& a, double adj[4][4]) {
  double m[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m[i][j] = a.m[i][j];
  auto minor3 = [&](int skipRow, int skipCol) {
    double s[3][3];
    for (int i = 0, r = 0; i < 4; ++i) {
      if (i == skipRow) continue;
      for (int j = 0, c = 0; j < 4; ++j) {
        if (j == skipCol) continue;
        s[r][c++] = m[i][j];
      }
      ++r;
    }
    return s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) - s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
           s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
  };
  double det = 0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double cof = ((i + j) % 2 ? -1.0 : 1.0) * minor3(i, j);
      adj[j][i] = cof;  // transposed cofactors
      if (i == 0) det += m[0][j] * cof;
    }
  }
  return det;
}

}  // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) {
  double adj[4][4];
  return static_cast<float>(Adjugate(*m, adj));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
  double adj[4][4];
  double det = Adjugate(*m, adj);
  if (determinant) *determinant = static_cast<float>(det);
  if (det == 0.0 || !std::isfinite(det)) return nullptr;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) out->m[i][j] = static_cast<float>(adj[i][j] / det);
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  *out = Identity();
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  *out = Identity();
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float a) {
  *out = Identity();
  float c = std::cos(a), s = std::sin(a);
  out->_22 = c;
  out->_23 = s;
  out->_32 = -s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float a) {
  *out = Identity();
  float c = std::cos(a), s = std::sin(a);
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float a) {
  *out = Identity();
  float c = std::cos(a), s = std::sin(a);
  out->_11 = c;
  out->_12 = s;
  out->_21 = -s;
  out->_22 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
  D3DXQUATERNION q;
  D3DXQuaternionRotationAxis(&q, axis, angle);
  return D3DXMatrixRotationQuaternion(out, &q);
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  *out = Identity();
  out->_11 = 1.0f - 2.0f * (y * y + z * z);
  out->_12 = 2.0f * (x * y + z * w);
  out->_13 = 2.0f * (x * z - y * w);
  out->_21 = 2.0f * (x * y - z * w);
  out->_22 = 1.0f - 2.0f * (x * x + z * z);
  out->_23 = 2.0f * (y * z + x * w);
  out->_31 = 2.0f * (x * z + y * w);
  out->_32 = 2.0f * (y * z - x * w);
  out->_33 = 1.0f - 2.0f * (x * x + y * y);
  return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
  D3DXMATRIX r, p, y;
  D3DXMatrixRotationZ(&r, roll);
  D3DXMatrixRotationX(&p, pitch);
  D3DXMatrixRotationY(&y, yaw);
  *out = r * p * y;
  return out;
}

D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* out, float scaling, const D3DXVECTOR3* center,
                                           const D3DXQUATERNION* rotation, const D3DXVECTOR3* translation) {
  D3DXMATRIX m;
  D3DXMatrixScaling(&m, scaling, scaling, scaling);
  if (rotation) {
    D3DXMATRIX r, t;
    D3DXMatrixRotationQuaternion(&r, rotation);
    if (center) {
      D3DXMatrixTranslation(&t, -center->x, -center->y, -center->z);
      m = m * t;
    }
    m = m * r;
    if (center) {
      D3DXMatrixTranslation(&t, center->x, center->y, center->z);
      m = m * t;
    }
  }
  if (translation) {
    m._41 += translation->x;
    m._42 += translation->y;
    m._43 += translation->z;
  }
  *out = m;
  return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  D3DXVECTOR3 z = *at - *eye, x, y;
  D3DXVec3Normalize(&z, &z);
  D3DXVec3Cross(&x, up, &z);
  D3DXVec3Normalize(&x, &x);
  D3DXVec3Cross(&y, &z, &x);
  *out = D3DXMATRIX(x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -D3DXVec3Dot(&x, eye),
                    -D3DXVec3Dot(&y, eye), -D3DXVec3Dot(&z, eye), 1);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf) {
  float yScale = 1.0f / std::tan(fovY / 2.0f);
  float xScale = yScale / aspect;
  *out = D3DXMATRIX(xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  *out = D3DXMATRIX(2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, zn * zf / (zn - zf), 0);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn,
                                             float zf) {
  *out = D3DXMATRIX(2 * zn / (r - l), 0, 0, 0, 0, 2 * zn / (t - b), 0, 0, (l + r) / (l - r), (t + b) / (b - t),
                    zf / (zf - zn), 1, 0, 0, zn * zf / (zn - zf), 0);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  *out = D3DXMATRIX(2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zf - zn), 0, 0, 0, zn / (zn - zf), 1);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
  *out = D3DXMATRIX(2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zf - zn), 0, (l + r) / (l - r),
                    (t + b) / (b - t), zn / (zn - zf), 1);
  return out;
}

D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) {
  D3DXPLANE p;
  D3DXPlaneNormalize(&p, plane);
  *out = D3DXMATRIX(-2 * p.a * p.a + 1, -2 * p.b * p.a, -2 * p.c * p.a, 0, -2 * p.a * p.b, -2 * p.b * p.b + 1,
                    -2 * p.c * p.b, 0, -2 * p.a * p.c, -2 * p.b * p.c, -2 * p.c * p.c + 1, 0, -2 * p.a * p.d,
                    -2 * p.b * p.d, -2 * p.c * p.d, 1);
  return out;
}

// ---- Quaternions -----------------------------------------------------------------------
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
  *out = D3DXQUATERNION(0, 0, 0, 1);
  return out;
}

float D3DXQuaternionLength(const D3DXQUATERNION* q) { return std::sqrt(D3DXQuaternionDot(q, q)); }

float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  float len = D3DXQuaternionLength(q);
  *out = len > 0.0f ? *q * (1.0f / len) : D3DXQUATERNION(0, 0, 0, 0);
  return out;
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
  return out;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  float n = D3DXQuaternionDot(q, q);
  D3DXQUATERNION c;
  D3DXQuaternionConjugate(&c, q);
  *out = n > 0.0f ? c * (1.0f / n) : D3DXQUATERNION(0, 0, 0, 0);
  return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  // The Hamilton product b·a: rotating by a first, then by b, matches the
  // matrix product Ma · Mb of row vectors.
  const D3DXQUATERNION p = *b, q = *a;
  *out = D3DXQUATERNION(p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y, p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x,
                        p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w, p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z);
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, axis);
  float s = std::sin(angle / 2.0f);
  *out = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle / 2.0f));
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
  const float trace = m->_11 + m->_22 + m->_33;
  D3DXQUATERNION q;
  if (trace > 0.0f) {
    float s = std::sqrt(trace + 1.0f) * 2.0f;
    q = D3DXQUATERNION((m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s);
  } else if (m->_11 > m->_22 && m->_11 > m->_33) {
    float s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;
    q = D3DXQUATERNION(0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s);
  } else if (m->_22 > m->_33) {
    float s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;
    q = D3DXQUATERNION((m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s);
  } else {
    float s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;
    q = D3DXQUATERNION((m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s);
  }
  *out = q;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll) {
  D3DXMATRIX m;
  D3DXMatrixRotationYawPitchRoll(&m, yaw, pitch, roll);
  return D3DXQuaternionRotationMatrix(out, &m);
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b, float t) {
  float cosTheta = D3DXQuaternionDot(a, b);
  D3DXQUATERNION end = *b;
  if (cosTheta < 0.0f) {
    cosTheta = -cosTheta;
    end = -end;
  }
  float wa, wb;
  if (cosTheta > 0.9999f) {
    wa = 1.0f - t;
    wb = t;
  } else {
    float theta = std::acos(cosTheta), s = std::sin(theta);
    wa = std::sin((1.0f - t) * theta) / s;
    wb = std::sin(t * theta) / s;
  }
  *out = *a * wa + end * wb;
  return out;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle) {
  if (axis) *axis = D3DXVECTOR3(q->x, q->y, q->z);
  if (angle) *angle = 2.0f * std::acos(std::fmax(-1.0f, std::fmin(1.0f, q->w)));
}

// ---- Planes --------------------------------------------------------------------------
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
  *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
  return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c) {
  D3DXVECTOR3 e1 = *b - *a, e2 = *c - *a, n;
  D3DXVec3Cross(&n, &e1, &e2);
  D3DXVec3Normalize(&n, &n);
  return D3DXPlaneFromPointNormal(out, a, &n);
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
  float len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
  *out = len > 0.0f ? D3DXPLANE(p->a / len, p->b / len, p->c / len, p->d / len) : D3DXPLANE(0, 0, 0, 0);
  return out;
}

float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d; }
float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z; }

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* a,
                                    const D3DXVECTOR3* b) {
  D3DXVECTOR3 d = *b - *a;
  float denom = D3DXPlaneDotNormal(p, &d);
  if (denom == 0.0f) return nullptr;
  float t = -D3DXPlaneDotCoord(p, a) / denom;
  *out = *a + d * t;
  return out;
}

// ---- Intersection -------------------------------------------------------------------
BOOL D3DXIntersectTri(const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2, const D3DXVECTOR3* pos,
                      const D3DXVECTOR3* dir, float* u, float* v, float* dist) {
  // Möller–Trumbore.
  D3DXVECTOR3 e1 = *p1 - *p0, e2 = *p2 - *p0, pvec, qvec;
  D3DXVec3Cross(&pvec, dir, &e2);
  float det = D3DXVec3Dot(&e1, &pvec);
  if (std::fabs(det) < 1e-12f) return FALSE;
  float inv = 1.0f / det;
  D3DXVECTOR3 tvec = *pos - *p0;
  float bu = D3DXVec3Dot(&tvec, &pvec) * inv;
  if (bu < 0.0f || bu > 1.0f) return FALSE;
  D3DXVec3Cross(&qvec, &tvec, &e1);
  float bv = D3DXVec3Dot(dir, &qvec) * inv;
  if (bv < 0.0f || bu + bv > 1.0f) return FALSE;
  float t = D3DXVec3Dot(&e2, &qvec) * inv;
  if (t < 0.0f) return FALSE;
  if (u) *u = bu;
  if (v) *v = bv;
  if (dist) *dist = t;
  return TRUE;
}
