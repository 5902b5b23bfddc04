#include "engine/render/flashlight.h"

#include <cmath>

#include "engine/render/image.h"
#include "engine/render/receiver_test_support.h"
#include "platform/d3dx9/testing.h"

namespace {

class FlashlightTest : public ReceiverTest {
protected:
    cTarvelFlashlight* SwitchOn()
    {
        gTarvel.mLights.SetFlashlight(true);
        cTarvelFlashlight* flashlight = gTarvel.mLights.mFlashlight;
        // Ten units before the origin, aimed at it.
        flashlight->mPosition = D3DXVECTOR3(0.0f, 0.0f, -10.0f);
        flashlight->mTarget = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return flashlight;
    }

    // Worked out by hand: the view moves the eye to the origin (z + 10); the
    // cone's projection has a field of view of 0.5 rad, aspect 1, planes 0.1
    // and 100.
    static std::vector<double> ConeMatrix()
    {
        const double scale = 1.0 / std::tan(0.25);
        const double q = 100.0 / 99.9;
        std::vector<double> view = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};
        std::vector<double> projection = {scale, 0, 0, 0, 0, scale, 0, 0, 0, 0, q, 1, 0, 0, -0.1 * q, 0};
        return Multiply(view, projection);
    }
};

TEST_F(FlashlightTest, InitLoadsTheConeAndItsBindings)
{
    Start();
    cTarvelFlashlight* flashlight = SwitchOn();
    ASSERT_NE(flashlight->mCone, nullptr);
    EXPECT_EQ(flashlight->mCone->mFrames.Count(), 1);
    EXPECT_STREQ(flashlight->mSceneryBinding.techniqueName, "scenery");
    EXPECT_STREQ(flashlight->mMobileBinding.techniqueName, "mobile");
    EXPECT_EQ(flashlight->mSize[0], 512);
    EXPECT_EQ(flashlight->mSize[1], 512);
    EXPECT_TRUE(flashlight->mRebuild);
    // Switched off it is gone.
    gTarvel.mLights.SetFlashlight(false);
    EXPECT_EQ(gTarvel.mLights.mFlashlight, nullptr);
}

TEST_F(FlashlightTest, ConeLightsTheSceneryInsideIt)
{
    Start();
    cTarvelFlashlight* flashlight = SwitchOn();
    TestSceneMesh* lit = Quad(&mView, -1, -1, 1, 1, 0);
    TestSceneMesh* beside = Quad(&mView, 50, -1, 60, 1, 0);
    TestSceneMesh* untextured = Quad(&mView, -1, -1, 1, 1, 1);
    cTarvelImage* layer = gTarvel.mGraphics.mWhiteScreen;
    flashlight->AddViewReceiver(&lit->mesh, layer);
    flashlight->AddViewReceiver(&beside->mesh, layer);
    flashlight->AddViewReceiver(&untextured->mesh, nullptr);
    flashlight->AddViewReceiver(&lit->mesh, layer);
    EXPECT_EQ(lit->mesh.passes.Count(), 1);
    EXPECT_EQ(lit->mesh.passes[0].kind, 3);
    EXPECT_EQ(lit->mesh.passes[0].target, layer);

    // The passes rebuild the receivers themselves when flagged.
    pt::RecordDraws(true);
    Device()->BeginScene();
    for (TestSceneMesh* m : {lit, beside, untextured})
        gTarvel.mGraphics.DrawLightPass(&m->mesh.passes[0], &m->mesh);
    Device()->EndScene();
    EXPECT_FALSE(flashlight->mRebuild);
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].technique, "scenery");
    EXPECT_EQ(draws[0].stream0, flashlight->mGeometry.vertexBuffer);
    EXPECT_EQ(draws[0].stream0Stride, 28u);
    EXPECT_EQ(draws[0].fvf, DWORD(D3DFVF_XYZ | D3DFVF_TEX2));
    EXPECT_EQ(draws[0].startIndex, 0u);
    EXPECT_EQ(draws[0].primitiveCount, 2u);
    EXPECT_EQ(beside->mesh.passes[0].indexCount, 0);
    EXPECT_EQ(untextured->mesh.passes[0].indexCount, 6);
    EXPECT_EQ(untextured->mesh.passes[0].firstVertex, 8);

    ID3DXEffect* effect = flashlight->mSceneryBinding.shader->mEffect;
    ExpectMatrix(Param(flashlight->mSceneryBinding, "lmat"), ConeMatrix());
    EXPECT_EQ(Param(flashlight->mSceneryBinding, "lpos"), (std::vector<float>{0, 0, -10}));
    EXPECT_EQ(pt::EffectTexture(effect, "ftex").value_or(nullptr), flashlight->mCone->GetCurrentFrame());
    EXPECT_EQ(pt::EffectTexture(effect, "dtex").value_or(nullptr), layer->GetCurrentFrame());

    // The receiver vertices: position, then the mesh's coordinates twice.
    void* data = nullptr;
    ASSERT_EQ(flashlight->mGeometry.vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const float* second = static_cast<const float*>(data) + 7;
    EXPECT_EQ(std::vector<float>(second, second + 7), (std::vector<float>{1, -1, 0, 0.25f, 0.75f, 0.25f, 0.75f}));
    flashlight->mGeometry.vertexBuffer->Unlock();
}

TEST_F(FlashlightTest, MobilesInTheConeAreLitAndLeaveWhenDestroyed)
{
    Start();
    cTarvelFlashlight* flashlight = SwitchOn();
    TestSceneMesh* floor = Quad(&mView, -1, -1, 1, 1, 0);
    flashlight->AddViewReceiver(&floor->mesh, gTarvel.mGraphics.mWhiteScreen);
    cTarvelMobile* inCone = BoxMobile({-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}, 1);
    cTarvelMobile* behind = BoxMobile({-0.5f, -0.5f, -20}, {0.5f, 0.5f, -15}, 1);
    // Its node stands half a unit up, where the mobile stands.
    inCone->SetPosition(0.0f, 0.5f, 0.0f);
    inCone->Update(0.0f);
    flashlight->AddMobileReceiver(inCone);
    flashlight->AddMobileReceiver(behind);
    flashlight->AddMobileReceiver(inCone);
    EXPECT_EQ(flashlight->mMobileReceivers.Count(), 2);
    EXPECT_EQ(inCone->mMeshes[0]->passes[0].kind, 4);
    gTarvel.mLights.Update();
    EXPECT_EQ(inCone->mMeshes[0]->passes[0].indexCount, 1);
    EXPECT_EQ(behind->mMeshes[0]->passes[0].indexCount, 0);

    pt::RecordDraws(true);
    Device()->BeginScene();
    for (cTarvelMobile* mobile : {inCone, behind})
        gTarvel.mGraphics.DrawLightPass(&mobile->mMeshes[0]->passes[0], mobile->mMeshes[0]);
    Device()->EndScene();
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].technique, "mobile");
    EXPECT_EQ(draws[0].stream0, inCone->mStaticVertexBuffer);
    EXPECT_EQ(draws[0].primitiveCount, 4u);
    const std::vector<double> world = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5, 0, 1};
    ExpectMatrix(Param(flashlight->mMobileBinding, "lmat"), Multiply(world, ConeMatrix()));
    EXPECT_EQ(pt::EffectTexture(flashlight->mMobileBinding.shader->mEffect, "dtex").value_or(nullptr),
              gTarvel.mGraphics.mBlackScreen->GetCurrentFrame());

    // A destroyed mobile leaves the cone's receivers; switching the
    // flashlight off takes its passes out of the rest.
    mMobiles.erase(mMobiles.begin() + 1);
    EXPECT_EQ(flashlight->mMobileReceivers.Count(), 1);
    gTarvel.mLights.SetFlashlight(false);
    EXPECT_EQ(inCone->mMeshes[0]->passes.Count(), 0);
    EXPECT_EQ(floor->mesh.passes.Count(), 0);
}

} // namespace
