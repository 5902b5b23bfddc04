// D3DX maths against values worked out by hand (row vectors, left-handed).
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9/d3dx9_math.h"

namespace {

constexpr float kHalfPi = 1.5707963f;
constexpr float kEps = 1e-5f;

void ExpectVec(const D3DXVECTOR3& v, float x, float y, float z, const char* what) {
  EXPECT_NEAR(v.x, x, kEps) << what;
  EXPECT_NEAR(v.y, y, kEps) << what;
  EXPECT_NEAR(v.z, z, kEps) << what;
}

D3DXVECTOR3 Transform(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
  D3DXVECTOR3 out;
  D3DXVec3TransformCoord(&out, &v, &m);
  return out;
}

TEST(D3DXMathTest, RotationsAreLeftHandedAndProductsApplyTheLeftFirst) {
  D3DXMATRIX rx, ry, rz, t, s;
  D3DXMatrixRotationX(&rx, kHalfPi);
  D3DXMatrixRotationY(&ry, kHalfPi);
  D3DXMatrixRotationZ(&rz, kHalfPi);
  ExpectVec(Transform({0, 1, 0}, rx), 0, 0, 1, "x: y goes to z");
  ExpectVec(Transform({1, 0, 0}, ry), 0, 0, -1, "y: x goes to -z");
  ExpectVec(Transform({1, 0, 0}, rz), 0, 1, 0, "z: x goes to y");

  D3DXMatrixTranslation(&t, 1, 2, 3);
  D3DXMatrixScaling(&s, 2, 2, 2);
  ExpectVec(Transform({1, 1, 1}, t * s), 4, 6, 8, "translate, then scale");
  D3DXMATRIX product;
  D3DXMatrixMultiply(&product, &s, &t);
  ExpectVec(Transform({1, 1, 1}, product), 3, 4, 5, "scale, then translate");

  D3DXVECTOR3 axis(0, 2, 0);  // not unit length
  D3DXMATRIX ra;
  D3DXMatrixRotationAxis(&ra, &axis, kHalfPi);
  ExpectVec(Transform({1, 0, 0}, ra), 0, 0, -1, "axis (0, 2, 0) is the y axis");

  D3DXVECTOR3 normal(5, 0, 0), moved;
  D3DXVec3TransformNormal(&moved, &normal, &t);
  ExpectVec(moved, 5, 0, 0, "normals ignore translation");
}

TEST(D3DXMathTest, InverseTransposeAndDeterminant) {
  D3DXMATRIX m(2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 8, 0, 1, 2, 3, 1), inv;
  float det = 0;
  ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
  EXPECT_FLOAT_EQ(det, 64.0f);
  const float expected[16] = {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.375f, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(inv.m[i / 4][i % 4], expected[i], kEps) << i;

  D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1), untouched(m);
  EXPECT_EQ(D3DXMatrixInverse(&untouched, &det, &singular), nullptr);
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(untouched, m);

  D3DXMATRIX tr;
  D3DXMatrixTranspose(&tr, &m);
  EXPECT_EQ(tr._14, 1.0f);
  EXPECT_EQ(tr._34, 3.0f);
  EXPECT_EQ(tr._41, 0.0f);
}

TEST(D3DXMathTest, ViewAndProjection) {
  D3DXMATRIX view, proj;
  D3DXVECTOR3 eye(5, 0, 0), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  // Looking down −x: the origin is 5 ahead, +z is to the right.
  ExpectVec(Transform({0, 0, 0}, view), 0, 0, 5, "origin ahead");
  ExpectVec(Transform({0, 0, 1}, view), 1, 0, 5, "+z to the right");
  ExpectVec(Transform({0, 1, 0}, view), 0, 1, 5, "up stays up");

  D3DXMatrixPerspectiveFovLH(&proj, kHalfPi, 1.0f, 1.0f, 101.0f);
  EXPECT_NEAR(proj._33, 1.01f, kEps);
  EXPECT_NEAR(proj._43, -1.01f, kEps);
  EXPECT_EQ(proj._34, 1.0f);
  ExpectVec(Transform({0, 0, 1}, proj), 0, 0, 0, "near plane at depth 0");
  ExpectVec(Transform({101, 0, 101}, proj), 1, 0, 1, "far plane at depth 1, edge of the view");

  D3DXMatrixPerspectiveOffCenterLH(&proj, -1, 3, -1, 1, 1, 10);
  ExpectVec(Transform({3, 1, 1}, proj), 1, 1, 0, "top-right corner of the near plane");
  ExpectVec(Transform({-1, -1, 1}, proj), -1, -1, 0, "bottom-left corner");

  D3DXMatrixOrthoOffCenterLH(&proj, 0, 100, 0, 50, 0, 1);
  ExpectVec(Transform({100, 50, 1}, proj), 1, 1, 1, "ortho far corner");
  ExpectVec(Transform({0, 0, 0}, proj), -1, -1, 0, "ortho near corner");
  D3DXMatrixOrthoLH(&proj, 500, 250, 1, 10001);
  ExpectVec(Transform({250, -125, 5001}, proj), 1, -1, 0.5f, "centred ortho");
}

TEST(D3DXMathTest, ProjectAndUnprojectThroughTheViewport) {
  D3DVIEWPORT9 vp{0, 0, 640, 480, 0, 1};
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  D3DXVECTOR3 in(1, 1, 0), out;
  D3DXVec3Project(&out, &in, &vp, &identity, &identity, &identity);
  ExpectVec(out, 640, 0, 0, "top right");
  in = D3DXVECTOR3(0, 0, 0.5f);
  D3DXVec3Project(&out, &in, &vp, nullptr, nullptr, nullptr);
  ExpectVec(out, 320, 240, 0.5f, "centre");
  in = D3DXVECTOR3(640, 0, 0);
  ASSERT_NE(D3DXVec3Unproject(&out, &in, &vp, &identity, &identity, &identity), nullptr);
  ExpectVec(out, 1, 1, 0, "back again");
}

TEST(D3DXMathTest, QuaternionsFollowTheMatrixOrder) {
  D3DXQUATERNION qx, qy, q;
  D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
  D3DXQuaternionRotationAxis(&qx, &x, kHalfPi);
  D3DXQuaternionRotationAxis(&qy, &y, kHalfPi);
  EXPECT_NEAR(qy.y, 0.7071068f, kEps);
  EXPECT_NEAR(qy.w, 0.7071068f, kEps);
  // x then y: (0, 1, 0) → (0, 0, 1) → (1, 0, 0).
  D3DXQuaternionMultiply(&q, &qx, &qy);
  D3DXMATRIX m;
  D3DXMatrixRotationQuaternion(&m, &q);
  ExpectVec(Transform({0, 1, 0}, m), 1, 0, 0, "x then y");
  // y then x: (0, 1, 0) → (0, 1, 0) → (0, 0, 1).
  D3DXQUATERNION yx = qy * qx;
  D3DXMatrixRotationQuaternion(&m, &yx);
  ExpectVec(Transform({0, 1, 0}, m), 0, 0, 1, "y then x");

  D3DXMATRIX ry;
  D3DXMatrixRotationY(&ry, kHalfPi);
  D3DXQuaternionRotationMatrix(&q, &ry);
  EXPECT_NEAR(q.x, 0, kEps);
  EXPECT_NEAR(q.y, 0.7071068f, kEps);
  EXPECT_NEAR(q.w, 0.7071068f, kEps);
  D3DXMatrixRotationX(&m, 3.0f);  // near a half turn: the trace is negative
  D3DXQuaternionRotationMatrix(&q, &m);
  EXPECT_NEAR(std::fabs(q.x), std::sin(1.5f), kEps);
  EXPECT_NEAR(std::fabs(q.w), std::cos(1.5f), kEps);

  D3DXQUATERNION identity(0, 0, 0, 1), qz, half;
  D3DXVECTOR3 z(0, 0, 1);
  D3DXQuaternionRotationAxis(&qz, &z, kHalfPi);
  D3DXQuaternionSlerp(&half, &identity, &qz, 0.5f);
  EXPECT_NEAR(half.z, 0.3826834f, kEps);
  EXPECT_NEAR(half.w, 0.9238795f, kEps);
  D3DXQUATERNION negated = -qz;  // the same rotation: the shorter arc is taken
  D3DXQuaternionSlerp(&half, &identity, &negated, 0.5f);
  EXPECT_NEAR(half.z, 0.3826834f, kEps);
  EXPECT_NEAR(half.w, 0.9238795f, kEps);

  D3DXQUATERNION inv;
  D3DXQuaternionInverse(&inv, &qz);
  D3DXQuaternionMultiply(&q, &qz, &inv);
  EXPECT_NEAR(q.w, 1.0f, kEps);
}

TEST(D3DXMathTest, AffineTransformationAndReflection) {
  D3DXQUATERNION qy;
  D3DXVECTOR3 y(0, 1, 0), move(1, 2, 3), centre(1, 0, 0);
  D3DXQuaternionRotationAxis(&qy, &y, kHalfPi);
  D3DXMATRIX m;
  D3DXMatrixAffineTransformation(&m, 2.0f, nullptr, &qy, &move);
  // (1, 0, 0) → scaled (2, 0, 0) → turned (0, 0, −2) → moved (1, 2, 1).
  ExpectVec(Transform({1, 0, 0}, m), 1, 2, 1, "scale, rotate, translate");
  D3DXMatrixAffineTransformation(&m, 1.0f, &centre, &qy, nullptr);
  ExpectVec(Transform({2, 0, 0}, m), 1, 0, -1, "rotation about (1, 0, 0)");

  D3DXPLANE plane;
  D3DXVECTOR3 point(0, 1, 0), normal(0, 1, 0);
  D3DXPlaneFromPointNormal(&plane, &point, &normal);
  EXPECT_EQ(plane, D3DXPLANE(0, 1, 0, -1));
  D3DXMatrixReflect(&m, &plane);
  ExpectVec(Transform({3, 5, 7}, m), 3, -3, 7, "mirrored in y = 1");
  D3DXPLANE unnormalised(0, 2, 0, -2);
  D3DXMatrixReflect(&m, &unnormalised);
  ExpectVec(Transform({3, 5, 7}, m), 3, -3, 7, "the plane is normalised first");
  D3DXVECTOR3 a(0, 3, 0), b(0, -1, 0), hit;
  ASSERT_NE(D3DXPlaneIntersectLine(&hit, &plane, &a, &b), nullptr);
  ExpectVec(hit, 0, 1, 0, "line meets the plane");
}

TEST(D3DXMathTest, IntersectTriReportsBarycentricsAndDistance) {
  D3DXVECTOR3 p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
  struct Case {
    D3DXVECTOR3 pos, dir;
    bool hit;
    float u, v, dist;
  } cases[] = {
      {{0.25f, 0.5f, -2}, {0, 0, 2}, true, 0.25f, 0.5f, 1.0f},  // distance in units of dir's length
      {{0.25f, 0.5f, 2}, {0, 0, -1}, true, 0.25f, 0.5f, 2.0f},  // back face
      {{1, 1, -1}, {0, 0, 1}, false, 0, 0, 0},                  // beside the triangle
      {{0.2f, 0.2f, -1}, {0, 0, -1}, false, 0, 0, 0},           // pointing away
      {{0.2f, 0.2f, -1}, {1, 0, 0}, false, 0, 0, 0},            // parallel
  };
  for (const Case& c : cases) {
    float u = -1, v = -1, dist = -1;
    BOOL hit = D3DXIntersectTri(&p0, &p1, &p2, &c.pos, &c.dir, &u, &v, &dist);
    EXPECT_EQ(hit != FALSE, c.hit) << c.pos.x << "," << c.pos.y << "," << c.pos.z;
    if (c.hit && hit) {
      EXPECT_NEAR(u, c.u, kEps);
      EXPECT_NEAR(v, c.v, kEps);
      EXPECT_NEAR(dist, c.dist, kEps);
    }
  }
}

TEST(D3DXMathTest, VectorHelpers) {
  D3DXVECTOR3 a(1, 0, 0), b(0, 1, 0), c;
  D3DXVec3Cross(&c, &a, &b);
  ExpectVec(c, 0, 0, 1, "x × y = z");
  D3DXVECTOR3 v(3, 4, 0), n;
  EXPECT_FLOAT_EQ(D3DXVec3Length(&v), 5.0f);
  D3DXVec3Normalize(&n, &v);
  ExpectVec(n, 0.6f, 0.8f, 0, "normalised");
  D3DXVECTOR3 zero(0, 0, 0);
  D3DXVec3Normalize(&n, &zero);
  ExpectVec(n, 0, 0, 0, "zero stays zero");
  D3DXVECTOR2 v2(0, -2), n2;
  D3DXVec2Normalize(&n2, &v2);
  EXPECT_FLOAT_EQ(n2.y, -1.0f);
  ExpectVec(2.0f * (v - a) / 2.0f, 2, 4, 0, "operators");
}

}  // namespace
