#include "engine/render/shadow.h"

#include <cmath>

#include "engine/render/flashlight.h"
#include "engine/render/image.h"
#include "engine/render/receiver_test_support.h"
#include "platform/d3dx9/testing.h"
#include "platform/win32/win32.h"

namespace {

TEST(ReceiverFrustum, OutcodesOfProjectedPoints)
{
    const struct {
        D3DXVECTOR4 point;
        uint8_t code;
    } cases[] = {
        {{0, 0, 0, 1}, 0x11},   {{-2, 0, 0, 1}, 0x10},  {{2, 0, 0, 1}, 0x12}, {{0, 2, 0, 1}, 0x21},
        {{0, -2, 0, 1}, 0x01},  {{0, 0, 0, -1}, 0x80},  {{0, 0, 0, 0}, 0x80}, {{1, 1, 0, 1}, 0x11},
        {{-1, -1, 0, 1}, 0x01}, {{4, -1, 0, 2}, 0x12},  {{-3, 3, 5, 2}, 0x20},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReceiverOutcode(c.point), c.code) << c.point.x << "," << c.point.y << "," << c.point.w;

    const struct {
        uint8_t a, b, c;
        bool inside;
    } triangles[] = {
        {0x11, 0x11, 0x11, true},  {0x10, 0x10, 0x10, false}, {0x12, 0x12, 0x12, false},
        {0x10, 0x12, 0x10, true},  {0x01, 0x01, 0x01, false}, {0x21, 0x21, 0x21, false},
        {0x01, 0x21, 0x01, true},  {0x11, 0x11, 0x80, false}, {0x00, 0x22, 0x11, true},
    };
    for (const auto& t : triangles)
        EXPECT_EQ(ReceiverTriangleInside(t.a, t.b, t.c), t.inside) << int(t.a) << " " << int(t.b) << " " << int(t.c);

    // Boxes against the identity: the frustum is the cube -1..1 with z >= 0.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    auto box = [&](D3DXVECTOR3 low, D3DXVECTOR3 high) {
        D3DXVECTOR3 corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = D3DXVECTOR3(i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z);
        return ReceiverBoxVisible(corners, identity);
    };
    EXPECT_TRUE(box({-0.5f, -0.5f, 0.1f}, {0.5f, 0.5f, 0.9f}));
    EXPECT_TRUE(box({-5, -5, 0.1f}, {5, 5, 0.9f}));   // around the frustum
    EXPECT_FALSE(box({1.5f, -0.5f, 0.1f}, {2, 0.5f, 0.9f}));
    EXPECT_FALSE(box({-3, -0.5f, 0.1f}, {-2, 0.5f, 0.9f}));
    EXPECT_FALSE(box({-0.5f, 1.1f, 0.1f}, {0.5f, 2, 0.9f}));
    EXPECT_FALSE(box({-0.5f, -0.5f, -0.1f}, {0.5f, 0.5f, 0.9f}));   // a corner behind
}

class ShadowTest : public ReceiverTest {
protected:
    // A light without fall-off 100 units before the origin looking along +z, and
    // a caster whose box spans -5..5: the light's box is -6..6 across.
    void SetUpScene()
    {
        mLight.mKind = cTarvelLight::kNoFalloff;
        mLight.mPosition = D3DXVECTOR3(0.0f, 0.0f, -100.0f);
        mLight.mColor = {0.8f, 0.8f, 0.8f, 1.0f};
        mCaster = BoxMobile({-5, -5, -5}, {5, 5, 5}, 1, true);
        gTarvel.mLights.mShadowStrength = 0.5f;
    }

    // The light's view-projection worked out by hand: the view moves the
    // light to the origin (z + 100), the box maps x and y by 1/6 and z from
    // 1..20000 to 0..1.
    static std::vector<double> LightMatrix()
    {
        std::vector<double> view = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 100, 1};
        std::vector<double> box = {1.0 / 6, 0, 0, 0, 0, 1.0 / 6, 0, 0, 0, 0, 1.0 / 19999, 0, 0, 0, -1.0 / 19999, 1};
        return Multiply(view, box);
    }

    void ExpectUnfiltered()
    {
        TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
        cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
        shadow->AddSceneryCaster(&floor->mesh);
        pt::RecordDraws(true);
        gTarvel.mLights.Update();
        EXPECT_EQ(gTarvel.mLights.mTempTexture, nullptr);
        EXPECT_FLOAT_EQ(Named(31, "strength").at(0), 1.0f);
        EXPECT_EQ(CasterDraws(), 1);
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            EXPECT_NE(draw.technique, "blur_fade");
    }

    // The caster's shadow geometry drawn into the shadow map: its collision
    // node's 4 triangles through the cast technique.
    static int CasterDraws()
    {
        int draws = 0;
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            if (draw.call == pt::DrawCall::IndexedPrimitive && draw.technique == "cast_mobile") {
                EXPECT_EQ(draw.primitiveCount, 4u);
                ++draws;
            }
        return draws;
    }

    cTarvelLight mLight;
    cTarvelMobile* mCaster = nullptr;
};

TEST_F(ShadowTest, SceneryReceiversGetTheTrianglesInsideTheShadowFrustum)
{
    Start();
    SetUpScene();
    TestSceneMesh* inside = Quad(&mView, -3, -3, 3, 3, 0);
    TestSceneMesh* right = Quad(&mView, 10, -3, 20, 3, 0);
    TestSceneMesh* straddling = Mesh(&mView, {{0, 0, 0}, {20, 0, 0}, {20, 2, 0}}, {0, 1, 2});
    TestSceneMesh* elsewhere = Quad(&mOtherView, -1, -1, 1, 1, 0);
    // Indices past the mesh's vertices are left out, not followed.
    TestSceneMesh* broken = Mesh(&mView, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {0, 1, 7, 0, 1, 2});

    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(gTarvel.mLights.GetShadowCaster(&mLight, mCaster), shadow);
    for (TestSceneMesh* m : {inside, right, straddling, elsewhere, broken})
        shadow->AddSceneryCaster(&m->mesh);
    // A second registration only asks for a rebuild.
    shadow->mRebuild = false;
    shadow->AddSceneryCaster(&inside->mesh);
    EXPECT_TRUE(shadow->mRebuild);
    EXPECT_EQ(inside->mesh.passes.Count(), 1);
    EXPECT_EQ(shadow->mSceneryReceivers.Count(), 5);

    pt::RecordDraws(true);
    gTarvel.mLights.Update();
    ASSERT_NE(shadow->mTexture, nullptr);
    EXPECT_FALSE(shadow->mRebuild);
    EXPECT_EQ(CasterDraws(), 1);
    pt::RecordDraws(false);
    EXPECT_FLOAT_EQ(shadow->mCasterIntensity, 0.8f);
    // The view's receivers only, one after another.
    EXPECT_EQ(shadow->mGeometry.vertexCount, 4 + 4 + 3 + 3);
    EXPECT_EQ(shadow->mGeometry.indexCount, 6 + 6 + 3 + 6);
    EXPECT_FALSE(shadow->mGeometry.index32);
    const struct {
        TestSceneMesh* mesh;
        int32_t firstVertex, vertexCount, firstIndex, indexCount;
    } records[] = {
        {inside, 0, 4, 0, 6},   {right, 4, 4, 6, 0},     {straddling, 8, 3, 12, 3},
        {elsewhere, 0, 0, 0, 0}, {broken, 11, 3, 15, 3},
    };
    for (const auto& r : records) {
        const sLightPass& pass = r.mesh->mesh.passes[0];
        EXPECT_EQ(pass.kind, 1);
        EXPECT_EQ(pass.object, shadow);
        EXPECT_EQ(pass.firstVertex, r.firstVertex);
        EXPECT_EQ(pass.vertexCount, r.vertexCount);
        EXPECT_EQ(pass.firstIndex, r.firstIndex);
        EXPECT_EQ(pass.indexCount, r.indexCount);
    }
    EXPECT_EQ(Indices(shadow->mGeometry.indexBuffer, 0, 6, false), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(Indices(shadow->mGeometry.indexBuffer, 12, 3, false), (std::vector<uint32_t>{8, 9, 10}));
    EXPECT_EQ(Indices(shadow->mGeometry.indexBuffer, 15, 3, false), (std::vector<uint32_t>{11, 12, 13}));
    ExpectMatrix(std::vector<float>(&shadow->mLightViewProjection.m[0][0], &shadow->mLightViewProjection.m[0][0] + 16),
                 LightMatrix());

    // The scenery pass: one indexed list per pass over the receiver's range.
    inside->mesh.texture = Texture();
    inside->mesh.textureUsed = true;
    inside->mesh.passes[0].target = inside->mesh.texture;
    pt::RecordDraws(true);
    Device()->BeginScene();
    for (TestSceneMesh* m : {inside, right, straddling})
        gTarvel.mGraphics.DrawLightPass(&m->mesh.passes[0], &m->mesh);
    Device()->EndScene();
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    ASSERT_EQ(draws.size(), 2u);   // nothing of the receiver outside
    EXPECT_EQ(draws[0].technique, "base");
    EXPECT_EQ(draws[0].primitiveCount, 2u);
    EXPECT_EQ(draws[0].startIndex, 0u);
    EXPECT_EQ(draws[0].stream0, shadow->mGeometry.vertexBuffer);
    EXPECT_EQ(draws[0].stream0Stride, 20u);
    EXPECT_EQ(draws[0].fvf, DWORD(D3DFVF_XYZ | D3DFVF_TEX1));
    EXPECT_EQ(draws[0].indices, shadow->mGeometry.indexBuffer);
    EXPECT_EQ(draws[1].technique, "notex");
    EXPECT_EQ(draws[1].startIndex, 12u);
    EXPECT_EQ(draws[1].primitiveCount, 1u);
    ExpectMatrix(Named(33, "lmat"), LightMatrix());
    EXPECT_FLOAT_EQ(Named(33, "intens").at(0), 0.4f);
    EXPECT_EQ(pt::EffectTexture(gTarvel.mShaders.mNamed[32].shader->mEffect, "dtex").value_or(nullptr),
              inside->mesh.texture);

    // An invisible caster draws no shadow.
    mCaster->mVisible = false;
    Device()->BeginScene();
    gTarvel.mGraphics.DrawLightPass(&inside->mesh.passes[0], &inside->mesh);
    Device()->EndScene();
    EXPECT_TRUE(IndexedDraws().empty());
}

TEST_F(ShadowTest, ProjectionsFitTheCasterForEachKindOfLight)
{
    Start();
    TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
    cTarvelMobile* caster = BoxMobile({-5, -5, -5}, {5, 5, 5}, 1);
    cTarvelLight point;
    point.mKind = cTarvelLight::kPoint;
    point.mPosition = D3DXVECTOR3(0.0f, 0.0f, -100.0f);
    cTarvelLight sun;
    sun.mKind = cTarvelLight::kNoFalloff;
    sun.mPosition = D3DXVECTOR3(0.0f, 0.0f, -100.0f);

    // A point light looks at the box's centre; its frustum takes the box's
    // corners 95 to 105 away, widened by 10: -15..15 at the near plane 95.
    const double q = 30000.0 / (30000.0 - 95.0);
    const std::vector<double> pointMatrix = {
        2 * 95.0 / 30, 0, 0, 0, 0, 2 * 95.0 / 30, 0, 0, 0, 0, q, 1, 0, 0, 100 * q - 95 * q, 100};
    // Without a caster a light without fall-off takes a 500 x 250 box, 1 to 10000.
    const double depth = 1.0 / 9999.0;
    const std::vector<double> sunMatrix = {2.0 / 500, 0, 0, 0, 0, 2.0 / 250, 0, 0,
                                           0, 0, depth, 0, 0, 0, 100 * depth - depth, 1};
    const struct {
        cTarvelLight* light;
        cTarvelMobile* caster;
        std::vector<double> matrix;
    } cases[] = {{&point, caster, pointMatrix}, {&sun, nullptr, sunMatrix}};
    for (const auto& c : cases) {
        cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(c.light, c.caster);
        shadow->AddSceneryCaster(&floor->mesh);
        shadow->Update();
        const float* m = &shadow->mLightViewProjection.m[0][0];
        ExpectMatrix(std::vector<float>(m, m + 16), c.matrix);
    }

    // A turned light sits at the origin of its own view and looks down its
    // turned axis: a quarter turn about y looks along +x.
    cTarvelLight turned;
    turned.mKind = cTarvelLight::kNoFalloff;
    turned.mPosition = D3DXVECTOR3(10.0f, 0.0f, 0.0f);
    turned.mRotation = D3DXQUATERNION(0.0f, std::sqrt(0.5f), 0.0f, std::sqrt(0.5f));
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&turned, nullptr);
    shadow->AddSceneryCaster(&floor->mesh);
    shadow->Update();
    const D3DXVECTOR3 points[2] = {{10, 0, 0}, {60, 0, 0}};
    const D3DXVECTOR3 expected[2] = {{0, 0, 0}, {0, 0, 50}};
    for (int i = 0; i < 2; ++i) {
        D3DXVECTOR3 p;
        D3DXVec3TransformCoord(&p, &points[i], &shadow->mLightView);
        EXPECT_NEAR(p.x, expected[i].x, 1e-4);
        EXPECT_NEAR(p.y, expected[i].y, 1e-4);
        EXPECT_NEAR(p.z, expected[i].z, 1e-4);
    }
}

TEST_F(ShadowTest, MobileReceiversAreDrawnWhileTheirBoxIsInTheFrustum)
{
    Start();
    SetUpScene();
    TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
    cTarvelMobile* near = BoxMobile({-1, -1, -1}, {1, 1, 1}, 2);
    std::unique_ptr<cTarvelMobile> aside = MakeMobile({30, -1, -1}, {32, 1, 1}, 1);
    // The mobile stands at (1, 2, 3): its nodes' world matrices follow.
    near->SetPosition(1.0f, 2.0f, 3.0f);
    near->Update(0.0f);
    near->mMeshes[1]->texture = gTarvel.mGraphics.mWhiteScreen;

    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    shadow->AddSceneryCaster(&floor->mesh);
    shadow->AddMobileCaster(near);
    shadow->AddMobileCaster(near);
    shadow->AddMobileCaster(aside.get());
    EXPECT_EQ(shadow->mMobileReceivers.Count(), 3);
    EXPECT_EQ(near->mMeshes[0]->passes.Count(), 1);
    gTarvel.mLights.Update();
    EXPECT_EQ(near->mMeshes[0]->passes[0].indexCount, 1);
    EXPECT_EQ(aside->mMeshes[0]->passes[0].indexCount, 0);

    pt::RecordDraws(true);
    Device()->BeginScene();
    for (cTarvelMobile* mobile : {near, aside.get()})
        for (int32_t i = 0; i < mobile->mMeshes.Count(); ++i)
            gTarvel.mGraphics.DrawLightPass(&mobile->mMeshes[i]->passes[0], mobile->mMeshes[i]);
    Device()->EndScene();
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].technique, "notex");
    EXPECT_EQ(draws[1].technique, "base");
    // Records stand in reverse order of their nodes; each draws its range of
    // the static buffers.
    EXPECT_EQ(draws[1].stream0, near->mStaticVertexBuffer);
    EXPECT_EQ(draws[1].indices, near->mStaticIndexBuffer);
    EXPECT_EQ(draws[1].minVertexIndex, 0u);
    EXPECT_EQ(draws[1].numVertices, 6u);
    EXPECT_EQ(draws[1].startIndex, 0u);
    EXPECT_EQ(draws[1].primitiveCount, 4u);
    EXPECT_EQ(draws[0].minVertexIndex, 6u);
    EXPECT_EQ(draws[0].startIndex, 12u);
    // The node's world matrix goes before the light's.
    const std::vector<double> world = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    ExpectMatrix(Named(34, "lmat"), Multiply(world, LightMatrix()));
    ID3DXEffect* effect = gTarvel.mShaders.mNamed[34].shader->mEffect;
    EXPECT_EQ(pt::EffectTexture(effect, "dtex").value_or(nullptr), near->mMeshes[1]->texture->GetCurrentFrame());
    // A mesh without a texture is drawn with the black picture.
    Device()->BeginScene();
    gTarvel.mGraphics.DrawLightPass(&near->mMeshes[0]->passes[0], near->mMeshes[0]);
    Device()->EndScene();
    EXPECT_EQ(pt::EffectTexture(effect, "dtex").value_or(nullptr), gTarvel.mGraphics.mBlackScreen->GetCurrentFrame());

    // A destroyed receiver mobile leaves the shadow's list.
    aside.reset();
    EXPECT_EQ(shadow->mMobileReceivers.Count(), 2);
}

TEST_F(ShadowTest, FilteredShadowsAreBlurredIntoTheShadowTexture)
{
    // The default settings filter the shadows; the blur is whatever
    // start-up loaded.
    Start(true);
    SetUpScene();
    TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    shadow->AddSceneryCaster(&floor->mesh);
    pt::RecordDraws(true);
    gTarvel.mLights.Update();
    ASSERT_NE(gTarvel.mLights.mTempSurface, nullptr);
    EXPECT_FLOAT_EQ(Named(31, "strength").at(0), 0.125f);
    const cTarvelShaderBinding& blurBinding = gTarvel.mLights.mBlurBinding;
    EXPECT_EQ(Param(blurBinding, "screensize"), (std::vector<float>{256, 256}));
    EXPECT_EQ(Param(blurBinding, "blurstart"), std::vector<float>{0.95f});
    EXPECT_EQ(Param(blurBinding, "blurwidth"), std::vector<float>{0.1f});
    std::vector<pt::DrawRecord> blur;
    for (const pt::DrawRecord& draw : pt::RecordedDraws())
        if (draw.technique == "blur_fade")
            blur.push_back(draw);
    ASSERT_EQ(blur.size(), 1u);
    EXPECT_EQ(blur[0].renderTarget, shadow->mSurface);
    EXPECT_EQ(pt::EffectTexture(blurBinding.shader->mEffect, "screen").value_or(nullptr),
              gTarvel.mLights.mTempTexture);
}

// Without filtering the caster goes straight into the shadow texture at
// full strength, and no blur runs.
TEST_F(ShadowTest, ShadowFilterOffDrawsUnfiltered)
{
    Start(false);
    SetUpScene();
    EXPECT_EQ(gTarvel.mLights.mBlurLoaded, 1);
    ExpectUnfiltered();
}

// Without post effects no blur is loaded, and the filter, though set, would
// blur through nothing: the shadows are drawn unfiltered instead.
TEST_F(ShadowTest, WithoutPostEffectsShadowsAreDrawnUnfiltered)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
    const DWORD off = 0;
    RegSetValueExA(key, "PostEffects", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), 4);
    RegCloseKey(key);
    Start(true);
    SetUpScene();
    EXPECT_EQ(gTarvel.mLights.mBlurLoaded, 0);
    EXPECT_EQ(gTarvel.mLights.mBlurBinding.shader, nullptr);
    EXPECT_EQ(Param(gTarvel.mShaders.mNamed[31], "blurstart"), std::vector<float>{-1.0f});
    ExpectUnfiltered();
}

TEST_F(ShadowTest, ShadowsGiveWayToADeviceResetAndComeBack)
{
    Start(true);
    SetUpScene();
    TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    shadow->AddSceneryCaster(&floor->mesh);
    gTarvel.mLights.Update();
    ASSERT_NE(shadow->mTexture, nullptr);
    ASSERT_NE(gTarvel.mLights.mTempTexture, nullptr);
    // A drawn pass leaves the shadow texture with the effect and the device.
    Device()->BeginScene();
    gTarvel.mGraphics.DrawLightPass(&floor->mesh.passes[0], &floor->mesh);
    Device()->EndScene();

    // As in the main loop, the frame has its own target by then.
    Device()->SetRenderTarget(0, gTarvel.mGraphics.mBackBuffer);
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    const int resets = pt::DeviceResetCount();
    gTarvel.mGraphics.Reset();
    EXPECT_EQ(pt::DeviceResetCount(), resets + 1);
    // Render targets kept through the reset would have refused it.
    EXPECT_EQ(pt::CooperativeLevel(), D3D_OK);
    EXPECT_EQ(shadow->mTexture, nullptr);
    EXPECT_TRUE(shadow->mRebuild);
    gTarvel.mLights.Update();
    EXPECT_NE(shadow->mTexture, nullptr);
    EXPECT_EQ(floor->mesh.passes[0].indexCount, 6);
}

TEST_F(ShadowTest, ManyReceiverVerticesTakeWideIndices)
{
    Start();
    SetUpScene();
    // 65,530 vertices, then a triangle whose indices land past 65,535.
    std::vector<D3DXVECTOR3> many(65530, D3DXVECTOR3(0, 0, 0));
    TestSceneMesh* big = Mesh(&mView, many, {0, 1, 2});
    TestSceneMesh* small = Mesh(&mView, std::vector<D3DXVECTOR3>(10, D3DXVECTOR3(1, 1, 0)), {7, 8, 9});
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    shadow->AddSceneryCaster(&big->mesh);
    shadow->AddSceneryCaster(&small->mesh);
    gTarvel.mLights.Update();
    EXPECT_TRUE(shadow->mGeometry.index32);
    EXPECT_EQ(small->mesh.passes[0].indexCount, 3);
    EXPECT_EQ(Indices(shadow->mGeometry.indexBuffer, 3, 3, true), (std::vector<uint32_t>{65537, 65538, 65539}));
}

TEST_F(ShadowTest, DestroyedShadowsLeaveTheOtherPassesInOrder)
{
    Start();
    SetUpScene();
    cTarvelLight second;
    TestSceneMesh* floor = Quad(&mView, -3, -3, 3, 3, 0);
    cTarvelMobile* receiver = BoxMobile({-1, -1, -1}, {1, 1, 1}, 1);
    gTarvel.mLights.SetFlashlight(true);
    cTarvelFlashlight* flashlight = gTarvel.mLights.mFlashlight;
    ASSERT_NE(flashlight, nullptr);
    cTarvelShadow* first = gTarvel.mLights.GetShadowCaster(&mLight, mCaster);
    flashlight->AddViewReceiver(&floor->mesh, nullptr);
    first->AddSceneryCaster(&floor->mesh);
    first->AddMobileCaster(receiver);
    flashlight->AddMobileReceiver(receiver);
    cTarvelShadow* other = gTarvel.mLights.GetShadowCaster(&second, mCaster);
    other->AddSceneryCaster(&floor->mesh);
    other->AddMobileCaster(receiver);

    auto objects = [](const tArray<sLightPass>& passes) {
        std::vector<const void*> out;
        for (int32_t i = 0; i < passes.Count(); ++i)
            out.push_back(passes[i].object);
        return out;
    };
    EXPECT_EQ(objects(floor->mesh.passes), (std::vector<const void*>{flashlight, first, other}));
    EXPECT_EQ(objects(receiver->mMeshes[0]->passes), (std::vector<const void*>{first, flashlight, other}));
    gTarvel.mLights.mShadows.RemoveAt(0);
    delete first;
    EXPECT_EQ(objects(floor->mesh.passes), (std::vector<const void*>{flashlight, other}));
    EXPECT_EQ(objects(receiver->mMeshes[0]->passes), (std::vector<const void*>{flashlight, other}));

    // With the Shadows setting off no shadow is made.
    gTarvel.mConfig.Shadows = 0;
    EXPECT_EQ(gTarvel.mLights.GetShadowCaster(&mLight, receiver), nullptr);
    gTarvel.mLights.Reset();
    EXPECT_EQ(floor->mesh.passes.Count(), 0);
    EXPECT_EQ(receiver->mMeshes[0]->passes.Count(), 0);
}

} // namespace
