#include "engine/world/camera.h"

#include <cmath>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"

namespace {

class CameraTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        InitEngine();
    }
    static void Advance(float seconds) { gTarvel.mTimer.mGameSeconds += seconds; }
};

// Hand-worked: a camera at (0, 0, -10) looking along +z has the view matrix
// of a translation by +10 in z; a 90-degree turn about y maps x onto -z.
TEST_F(CameraTest, MatricesMatchHandWorkedOnes)
{
    cTarvelCamera camera;
    camera.SetViewport(0, 0, 1024, 768);
    const float position[3] = {0, 0, -10};
    const float identity[4] = {0, 0, 0, 1};
    camera.Set(position, identity, float(M_PI) / 2.0f);
    EXPECT_FLOAT_EQ(camera.mView._43, 10.0f);
    EXPECT_FLOAT_EQ(camera.mView._11, 1.0f);
    // Full screen, 90 degrees: y scale 1/tan(45°) = 1, x scale the same at 4:3
    // divided by the aspect.
    EXPECT_NEAR(camera.mProj._22, 1.0f, 1e-6f);
    EXPECT_NEAR(camera.mProj._11, 0.75f, 1e-6f);
    EXPECT_NEAR(camera.mProj._33, 10000.0f / 9990.0f, 1e-6f);
    EXPECT_NEAR(camera.mProj._43, -10.0f * 10000.0f / 9990.0f, 1e-3f);
    EXPECT_NEAR(camera.mViewInv._43, -10.0f, 1e-5f);

    const float half = std::sqrt(0.5f);
    const float turned[4] = {0, half, 0, half};   // 90 degrees about y
    const float origin[3] = {0, 0, 0};
    camera.Set(origin, turned, 1.0f);
    // The camera looks along +x: world +x lies ahead (view z).
    const D3DXVECTOR3 ahead(1, 0, 0);
    D3DXVECTOR3 v;
    D3DXVec3TransformCoord(&v, &ahead, &camera.mView);
    EXPECT_NEAR(v.x, 0.0f, 1e-6f);
    EXPECT_NEAR(v.z, 1.0f, 1e-6f);
    EXPECT_NEAR(camera.Forward().x, 1.0f, 1e-6f);
    EXPECT_NEAR(camera.Up().y, 1.0f, 1e-6f);
}

TEST_F(CameraTest, AShorterViewportCropsTheFieldOfView)
{
    cTarvelCamera camera;
    const float position[3] = {0, 0, 0};
    const float identity[4] = {0, 0, 0, 1};
    camera.SetViewport(0, 0, 1024, 768);
    camera.Set(position, identity, 1.2f);
    const float full = camera.mProj._22;
    camera.SetViewport(0, 192, 1024, 384);
    camera.UpdateMatrices();
    // Half the height halves the tangent of the half angle.
    EXPECT_NEAR(camera.mProj._22, 2.0f * full, 1e-4f);
    // Same pixels per unit across: x scale unchanged.
    EXPECT_NEAR(camera.mProj._11, full * 0.75f, 1e-5f);

    // An empty viewport keeps the last matrices.
    const D3DXMATRIX before = camera.mProj;
    camera.SetViewport(0, 0, 0, 0);
    camera.mFov = 0.1f;
    camera.UpdateMatrices();
    EXPECT_EQ(camera.mProj, before);
}

TEST_F(CameraTest, ProjectAndUnprojectRoundTrip)
{
    cTarvelCamera camera;
    camera.SetViewport(0, 128, 1024, 512);
    const float position[3] = {30, 150, -500};
    const float rotation[4] = {0.1f, 0.2f, 0.0f, std::sqrt(1.0f - 0.05f)};
    camera.Set(position, rotation, 0.785f);
    for (const D3DXVECTOR3& world : {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 50, 300), D3DXVECTOR3(-40, 10, 20)}) {
        D3DXVECTOR3 p = world;
        camera.Project(&p);
        camera.Unproject(&p);
        EXPECT_NEAR(p.x, world.x, 0.05f);
        EXPECT_NEAR(p.y, world.y, 0.05f);
        EXPECT_NEAR(p.z, world.z, 0.05f);
    }
    // The depth of a view distance and back.
    EXPECT_NEAR(camera.DistanceFromDepth(camera.DepthFromDistance(250.0f)), 250.0f, 0.01f);
    EXPECT_FLOAT_EQ(camera.DepthFromDistance(10.0f), 0.0f);
    EXPECT_FLOAT_EQ(camera.DepthFromDistance(10000.0f), 1.0f);
}

TEST_F(CameraTest, MovesEaseOverTime)
{
    struct Case {
        float s0, s1;
        float (*expected)(float t);
    };
    const Case cases[] = {
        {0, 0, [](float t) { return t; }},
        {1, 1, [](float t) { return 3 * t * t - 2 * t * t * t; }},
        // One end eased: zero speed at that end only.
        {1, 0, [](float t) { return t * t * (2 - t); }},
        {0, 1, [](float t) { return t * (1 + (1 - t) - (1 - t) * (1 - t)); }},
    };
    for (const Case& c : cases) {
        cTarvelCamera camera;
        camera.SetViewport(0, 0, 1024, 768);
        const float start[3] = {0, 0, 0};
        const float target[3] = {100, 0, 0};
        const float identity[4] = {0, 0, 0, 1};
        camera.Set(start, identity, 1.0f);
        camera.Move(2.0f, c.s0, c.s1, target, identity, 2.0f);
        for (float t : {0.25f, 0.5f, 0.75f}) {
            Advance(0.5f);
            camera.Update();
            EXPECT_NEAR(camera.mPosition.x, 100.0f * c.expected(t), 1e-3f) << c.s0 << " " << c.s1 << " " << t;
            EXPECT_NEAR(camera.mFov, 1.0f + c.expected(t), 1e-5f);
        }
        Advance(0.5f);
        camera.Update();
        EXPECT_EQ(camera.mPosition.x, 100.0f);
        EXPECT_FALSE(camera.mMoving);
    }

    // The rotation turns at an even rate along the arc between two turned
    // poses (a spherical blend; a straight blend would lag in the middle
    // quarter and lead in the first): from 20 to 170 degrees about y.
    {
        cTarvelCamera camera;
        camera.SetViewport(0, 0, 1024, 768);
        const double from = 20.0 * 3.14159265358979 / 180.0, to = 170.0 * 3.14159265358979 / 180.0;
        const float start[3] = {0, 0, 0};
        const float q0[4] = {0, float(std::sin(from / 2)), 0, float(std::cos(from / 2))};
        const float q1[4] = {0, float(std::sin(to / 2)), 0, float(std::cos(to / 2))};
        camera.Set(start, q0, 1.0f);
        camera.Move(2.0f, 0, 0, start, q1, 1.0f);
        for (double t : {0.25, 0.5, 0.75}) {
            Advance(0.5f);
            camera.Update();
            const double angle = from + (to - from) * t;
            EXPECT_NEAR(camera.mRotation.x, 0.0f, 1e-5f) << t;
            EXPECT_NEAR(camera.mRotation.y, std::sin(angle / 2), 1e-4) << t;
            EXPECT_NEAR(camera.mRotation.z, 0.0f, 1e-5f) << t;
            EXPECT_NEAR(camera.mRotation.w, std::cos(angle / 2), 1e-4) << t;
        }
    }

    // No duration: over at the next update, even before the clock moves.
    cTarvelCamera camera;
    camera.SetViewport(0, 0, 1024, 768);
    const float target[3] = {5, 6, 7};
    const float identity[4] = {0, 0, 0, 1};
    camera.Move(0.0f, 0, 0, target, identity, 1.0f);
    camera.Update();
    EXPECT_EQ(camera.mPosition, D3DXVECTOR3(5, 6, 7));
    EXPECT_FALSE(camera.mMoving);
    // Finishing while still jumps nowhere.
    camera.FinishMove();
    EXPECT_EQ(camera.mPosition, D3DXVECTOR3(5, 6, 7));
}

} // namespace
