#include "engine/core/maths.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Direct3D's rotation matrices about one axis, row vectors.
void RotationY(double m[3][3], double a)
{
    double c = std::cos(a), s = std::sin(a);
    double r[3][3] = {{c, 0, -s}, {0, 1, 0}, {s, 0, c}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
}

void RotationX(double m[3][3], double a)
{
    double c = std::cos(a), s = std::sin(a);
    double r[3][3] = {{1, 0, 0}, {0, c, s}, {0, -s, c}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
}

void Apply(double v[3], double m[3][3])
{
    double r[3];
    for (int j = 0; j < 3; ++j)
        r[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j];
    for (int j = 0; j < 3; ++j)
        v[j] = r[j];
}

TEST(MathsTest, MatrixFromPositionRotation)
{
    const double angle = 0.6;
    const D3DXQUATERNION q(0.0f, float(std::sin(angle / 2)), 0.0f, float(std::cos(angle / 2)));
    const D3DXVECTOR3 t(1.0f, 2.0f, 3.0f);
    D3DXMATRIX matrix;
    MatrixFromPositionRotation(&matrix, &t, &q);
    const float* m = matrix;
    double expected[3][3];
    RotationY(expected, angle);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(m[i * 4 + j], expected[i][j], 1e-6) << i << j;
        EXPECT_EQ(m[i * 4 + 3], 0.0f);
    }
    EXPECT_EQ(m[12], 1.0f);
    EXPECT_EQ(m[13], 2.0f);
    EXPECT_EQ(m[14], 3.0f);
    EXPECT_EQ(m[15], 1.0f);
}

TEST(MathsTest, RotateXYZAppliesEachRotationAfterTheOld)
{
    // Identity, then 90 degrees about x, then 90 about y: (0,1,0) goes to
    // (0,0,1) and then to (1,0,0).
    D3DXQUATERNION q(0, 0, 0, 1);
    QuaternionRotateXYZ(&q, float(kPi / 2), float(kPi / 2), 0.0f);
    D3DXVECTOR3 v(0, 1, 0);
    RotateByQuaternion(&v, &q);
    EXPECT_NEAR(v[0], 1.0f, 1e-6);
    EXPECT_NEAR(v[1], 0.0f, 1e-6);
    EXPECT_NEAR(v[2], 0.0f, 1e-6);

    // A general case against the matrices applied in turn, in double.
    D3DXQUATERNION r(0, 0, 0, 1);
    QuaternionRotateXYZ(&r, 0.3f, -1.1f, 0.0f);
    QuaternionRotateXYZ(&r, 0.0f, 0.0f, 0.0f);
    double w[3] = {0.2, -0.7, 1.5};
    double mx[3][3], my[3][3];
    RotationX(mx, 0.3);
    RotationY(my, -1.1);
    Apply(w, mx);
    Apply(w, my);
    D3DXVECTOR3 u(0.2f, -0.7f, 1.5f);
    RotateByQuaternion(&u, &r);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(u[i], w[i], 1e-5);
}

TEST(MathsTest, RotateByQuaternionMatchesRodrigues)
{
    double k[3] = {1, 2, 3};
    double n = std::sqrt(14.0);
    for (double& c : k)
        c /= n;
    double angle = 0.7;
    double v[3] = {0.3, -1.2, 2.0};
    double cross[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
    double dot = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
    const D3DXQUATERNION q(float(k[0] * std::sin(angle / 2)), float(k[1] * std::sin(angle / 2)),
                           float(k[2] * std::sin(angle / 2)), float(std::cos(angle / 2)));
    D3DXVECTOR3 r(0.3f, -1.2f, 2.0f);
    RotateByQuaternion(&r, &q);
    for (int i = 0; i < 3; ++i) {
        double expected = v[i] * std::cos(angle) + cross[i] * std::sin(angle) + k[i] * dot * (1 - std::cos(angle));
        EXPECT_NEAR(r[i], expected, 1e-5) << i;
    }
}

TEST(MathsTest, QuaternionFromDirectionFacesTheActorsFrontAlongTheDirection)
{
    // Each direction and the yaw (worked out by hand) that turns -z onto it.
    const struct {
        float d[3];
        double yawDegrees;
    } cases[] = {{{0, 0, -1}, 0},     {{1, 0, 0}, -90}, {{0, 0, 1}, 180},     {{-1, 0, 0}, 90},
                 {{3, 0, 4}, -143.130102}, {{-2, 0, -2}, 45}, {{0.3f, 5.0f, -0.4f}, -36.869898}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.d[0] << " " << c.d[1] << " " << c.d[2]);
        D3DXQUATERNION q;
        const D3DXVECTOR3 direction(c.d);
        QuaternionFromDirection(&q, &direction);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        // The facing vector (M._13, -M._11) is the x-z direction, normalised.
        const double length = std::hypot(double(c.d[0]), double(c.d[2]));
        EXPECT_NEAR(m._13, c.d[0] / length, 1e-5);
        EXPECT_NEAR(-m._11, c.d[2] / length, 1e-5);
        // The front (local -z) itself points there, level.
        D3DXVECTOR3 front(0, 0, -1);
        RotateByQuaternion(&front, &q);
        EXPECT_NEAR(front.x, c.d[0] / length, 1e-5);
        EXPECT_NEAR(front.y, 0.0, 1e-6);
        EXPECT_NEAR(front.z, c.d[2] / length, 1e-5);
        // A pure yaw: the same rotation as the yaw about up, up to sign.
        const double half = c.yawDegrees * 3.14159265358979 / 360.0;
        EXPECT_NEAR(std::fabs(q.y * std::sin(half) + q.w * std::cos(half)), 1.0, 1e-5);
        EXPECT_EQ(q.x, 0.0f);
        EXPECT_EQ(q.z, 0.0f);
    }
    // No x-z part: the identity, not a matrix of zeros.
    for (const D3DXVECTOR3& degenerate : {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 2, 0)}) {
        D3DXQUATERNION q;
        QuaternionFromDirection(&q, &degenerate);
        EXPECT_EQ(q.x, 0.0f);
        EXPECT_EQ(q.y, 0.0f);
        EXPECT_EQ(q.z, 0.0f);
        EXPECT_EQ(q.w, 1.0f);
    }
}

TEST(MathsTest, BarycentricCoords2D)
{
    const D3DXVECTOR2 a(0, 0), b(4, 0), c(0, 4);
    struct Case {
        D3DXVECTOR2 p;
        float u, v, w;
    };
    const Case cases[] = {
        {{1, 1}, 0.5f, 0.25f, 0.25f},
        {{0, 0}, 1, 0, 0},
        {{4, 0}, 0, 1, 0},
        {{0, 4}, 0, 0, 1},
        {{4, 4}, -1, 1, 1},   // outside: a weight below 0
    };
    for (const Case& k : cases) {
        float out[3];
        BarycentricCoords2D(out, &k.p, &a, &b, &c);
        EXPECT_NEAR(out[0], k.u, 1e-6) << k.p.x << "," << k.p.y;
        EXPECT_NEAR(out[1], k.v, 1e-6);
        EXPECT_NEAR(out[2], k.w, 1e-6);
    }
    const D3DXVECTOR2 p(1, 1);
    float out[3];
    BarycentricCoords2D(out, &p, &a, &a, &c);
    EXPECT_EQ(out[2], 1.0f);
}

} // namespace

TEST(MathsTest, SegmentsCross2DOnlyForProperCrossings)
{
    struct Case {
        D3DXVECTOR2 a1, a2, b1, b2;
        bool cross;
        D3DXVECTOR2 at;   // worked out by hand
    };
    const Case cases[] = {
        {{0, 0}, {4, 4}, {0, 4}, {4, 0}, true, {2, 2}},
        {{0, 0}, {4, 0}, {1, -1}, {1, 3}, true, {1, 0}},
        {{-2, 1}, {6, 1}, {3, 5}, {1, -3}, true, {2, 1}},
        // Either direction of either segment.
        {{4, 4}, {0, 0}, {4, 0}, {0, 4}, true, {2, 2}},
        // A shared end point, an end touching the other's middle.
        {{0, 0}, {4, 4}, {4, 4}, {8, 0}, false, {}},
        {{0, 0}, {4, 0}, {2, 0}, {2, 3}, false, {}},
        // Collinear overlap, parallel, and lines crossing beyond an end.
        {{0, 0}, {4, 0}, {2, 0}, {6, 0}, false, {}},
        {{0, 0}, {4, 0}, {0, 1}, {4, 1}, false, {}},
        {{0, 0}, {1, 1}, {0, 4}, {4, 0}, false, {}},
    };
    for (const Case& c : cases) {
        D3DXVECTOR2 out(-99.0f, -99.0f);
        EXPECT_EQ(SegmentsCross2D(&c.a1, &c.a2, &c.b1, &c.b2, &out), c.cross) << c.a1.x << "," << c.a1.y;
        if (c.cross) {
            EXPECT_NEAR(out.x, c.at.x, 1e-5f);
            EXPECT_NEAR(out.y, c.at.y, 1e-5f);
            EXPECT_TRUE(SegmentsCross2D(&c.a1, &c.a2, &c.b1, &c.b2, nullptr));
        } else {
            EXPECT_EQ(out.x, -99.0f);
        }
    }
}
