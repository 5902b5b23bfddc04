#include "engine/world/mobile.h"

#include <cmath>

#include <gtest/gtest.h>

#include "engine/gameplay/savegame.h"
#include "engine/render/image.h"
#include "engine/world/camera.h"
#include "engine/world/scene.h"
#include <tinyxml.h>
#include "engine/world/mobile_test_support.h"

namespace {

using testkit::MobileActor;
using testkit::MobileMaterial;
using testkit::MobileMesh;
using testkit::MobileSubMesh;

// Three nodes: "root" rigid with three sub-meshes, "body" skinned to "bone"
// (deformed), "bone" rigid with one. Materials: plain, hair with an opacity
// map, skin with a normal map (bump 0.5).
MobileActor Figure()
{
    MobileActor actor;
    actor.nodes = {{"root", -1}, {"body", 0}, {"bone", 0}};
    actor.materials = {MobileMaterial{"cloth", {{2, "tex_a"}}},
                       MobileMaterial{"long_hair", {{2, "tex_a"}, {4, "tex_op"}}},
                       MobileMaterial{"skin", {{2, "tex_b"}, {5, "bump"}}, 0.5f}};
    MobileMesh root;
    root.subMeshes = {{4, 0}, {5, 1}, {3, 2}};
    MobileMesh body;
    body.node = 1;
    body.skinNode = 2;
    body.subMeshes = {{6, 0}};
    MobileMesh bone;
    bone.node = 2;
    bone.subMeshes = {{4, 1}};
    actor.meshes = {root, body, bone};
    return actor;
}

TEST_F(MobileTest, RecordsStandInDrawOrderWithRangesPerBufferKind)
{
    Start({{"figure", 7, testkit::BuildMobileActor(Figure())}});
    cTarvelMobile* mobile = Loaded("figure");
    ASSERT_NE(mobile->mInstance, nullptr);
    EXPECT_EQ(mobile->mInstance->GetCustomData(), mobile);
    EXPECT_EQ(mobile->mFile, cTarvelString("figure"));

    // Without an opacity map: in reverse order of creation at the front;
    // with one: in order at the end.
    const struct {
        int32_t node, firstVertex, vertexCount, firstIndex, indexCount;
        bool dynamic, opacity, hair;
    } expected[] = {
        {1, 0, 6, 0, 12, true, false, false},     // body
        {0, 9, 3, 15, 3, false, false, false},    // root, skin
        {0, 0, 4, 0, 6, false, false, false},     // root, cloth
        {0, 4, 5, 6, 9, false, true, true},       // root, hair
        {2, 12, 4, 18, 6, false, true, true},     // bone, after root's 12 and 18
    };
    ASSERT_EQ(mobile->mMeshes.Count(), 5);
    for (int i = 0; i < 5; ++i) {
        const sMobileMesh& mesh = *mobile->mMeshes[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(mesh.mobile, mobile);
        EXPECT_EQ(mesh.node, expected[i].node);
        EXPECT_EQ(mesh.firstVertex, expected[i].firstVertex);
        EXPECT_EQ(mesh.vertexCount, expected[i].vertexCount);
        EXPECT_EQ(mesh.firstIndex, expected[i].firstIndex);
        EXPECT_EQ(mesh.indexCount, expected[i].indexCount);
        EXPECT_EQ(mesh.dynamic, expected[i].dynamic);
        EXPECT_EQ(mesh.opacity, expected[i].opacity);
        EXPECT_EQ(mesh.hair, expected[i].hair);
        EXPECT_FALSE(mesh.shadow);
        ASSERT_NE(mesh.texture, nullptr);
        // Per-pixel lighting is off: no normal map is looked up.
        EXPECT_EQ(mesh.normalMap, nullptr);
    }
    // One picture per name: "tex_a" is shared.
    EXPECT_EQ(mobile->mTextures.Count(), 3);
    EXPECT_EQ(mobile->mMeshes[2]->texture, mobile->mMeshes[3]->texture);
    EXPECT_EQ(mobile->mStaticVertexCount, 16);
    EXPECT_EQ(mobile->mStaticIndexCount, 24);
    EXPECT_EQ(mobile->mDynamicVertexCount, 6);
    EXPECT_EQ(mobile->mDynamicIndexCount, 12);
    EXPECT_FALSE(mobile->mUsePPL);

    // Static and dynamic buffers, no streams, no shadow buffers.
    EXPECT_NE(mobile->mStaticVertexBuffer, nullptr);
    EXPECT_NE(mobile->mStaticIndexBuffer, nullptr);
    EXPECT_NE(mobile->mDynamicVertexBuffer, nullptr);
    EXPECT_NE(mobile->mDynamicIndexBuffer, nullptr);
    for (void* none : {(void*)mobile->mStaticPPLStream, (void*)mobile->mDynamicPPLStream,
                       (void*)mobile->mStaticShadowVertexBuffer, (void*)mobile->mStaticShadowIndexBuffer,
                       (void*)mobile->mDynamicShadowVertexBuffer, (void*)mobile->mDynamicShadowIndexBuffer})
        EXPECT_EQ(none, nullptr);
    // Indices carry the vertices placed before their mesh: the bone's first
    // triangle follows root's 12 vertices.
    EXPECT_EQ((Read<uint16_t>(mobile->mStaticIndexBuffer, 18, 3)), (std::vector<uint16_t>{12, 13, 14}));
    EXPECT_EQ((Read<uint16_t>(mobile->mStaticIndexBuffer, 6, 3)), (std::vector<uint16_t>{4, 5, 6}));
    // Position, normal and texture coordinate of the skinned ring's second
    // vertex: a quarter-turn of six vertices round the unit ring.
    const std::vector<float> vertex = Read<float>(mobile->mDynamicVertexBuffer, 8, 8);
    ASSERT_EQ(vertex.size(), 8u);
    EXPECT_NEAR(vertex[0], std::cos(6.2831853 / 6), 1e-5);
    EXPECT_NEAR(vertex[2], std::sin(6.2831853 / 6), 1e-5);
    EXPECT_EQ((std::vector<float>(vertex.begin() + 3, vertex.begin() + 6)), (std::vector<float>{0, 1, 0}));
    EXPECT_NEAR(vertex[6], 0.5 + 0.5 * std::cos(6.2831853 / 6), 1e-5);
    EXPECT_NEAR(vertex[7], 0.5 + 0.5 * std::sin(6.2831853 / 6), 1e-5);
}

TEST_F(MobileTest, PerPixelLightingAddsNormalMapsAndTangentStreams)
{
    Start({{"figure", 7, testkit::BuildMobileActor(Figure())}}, true);
    cTarvelMobile* mobile = Loaded("figure");
    EXPECT_TRUE(mobile->mUsePPL);
    const sMobileMesh& skin = *mobile->mMeshes[1];
    ASSERT_NE(skin.normalMap, nullptr);
    EXPECT_FLOAT_EQ(skin.bumpAmount, 0.5f);
    EXPECT_EQ(mobile->mMeshes[2]->normalMap, nullptr);
    EXPECT_EQ(mobile->mTextures.Count(), 4);
    ASSERT_NE(mobile->mStaticPPLStream, nullptr);
    ASSERT_NE(mobile->mDynamicPPLStream, nullptr);
    // The rings lie in y = 0 with u growing along +x and v along +z: the
    // tangent is +x, and the texture's v direction +z gives the handedness
    // w = sign((t x v) . n) = sign((0, -1, 0) . (0, 1, 0)) = -1, so the
    // binormal (n x t) w = (0, 0, -1) x -1 = +z, along v as the normal map
    // expects. Dropping w, or crossing the other way, points it at -z.
    for (size_t v : {0u, 5u, 13u}) {
        SCOPED_TRACE(v);
        const std::vector<float> record = Read<float>(mobile->mStaticPPLStream, v * 6, 6);
        ASSERT_EQ(record.size(), 6u);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(record[size_t(i)], (i == 0 || i == 5) ? 1.0f : 0.0f, 1e-5) << i;
    }
}

// With per-pixel lighting on and a mobile that uses it, lit records draw
// through the per-pixel effects with the tangent stream beside their
// vertices; unlit, or asked for plain lighting, through the vertex-lit ones.
TEST_F(MobileTest, PerPixelLitMobilesDrawThroughTheNormalEffects)
{
    Start({{"figure", 7, testkit::BuildMobileActor(Figure())}}, true);
    cTarvelMobile* mobile = Loaded("figure");
    mobile->Update(0.0f);
    ASSERT_TRUE(mobile->mUsePPL);
    cTarvelLight* light = gTarvel.mLights.CreateLight(cTarvelLight::kNoFalloff);
    light->mPosition = D3DXVECTOR3(0.0f, 5.0f, 0.0f);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    auto draw = [&](bool plain) {
        pt::RecordDraws(true);
        device->BeginScene();
        mobile->Draw(&identity, true, nullptr, 3, 6, plain);
        device->EndScene();
        return IndexedDraws();
    };
    // Bindings 17 and 27: the one-light techniques of "mobile_normal" and
    // "mobile_hair_normal"; 11 and 23 their vertex-lit twins.
    const std::vector<float> unset{-1};
    std::vector<pt::DrawRecord> draws = draw(false);
    ASSERT_EQ(draws.size(), 5u);
    for (const pt::DrawRecord& d : draws) {
        EXPECT_NE(d.declaration, nullptr);
        EXPECT_EQ(d.fvf, 0u);
    }
    EXPECT_NE(Named(17, "li1"), unset);
    EXPECT_NE(Named(27, "li1"), unset);
    EXPECT_EQ(Named(11, "li1"), unset);
    EXPECT_EQ(Named(23, "li1"), unset);

    draws = draw(true);
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_NE(Named(11, "li1"), unset);
}

// A texture name ending in the mobile's suffix takes the replacement in its
// place; a name no longer than the suffix keeps it.
TEST_F(MobileTest, TextureSuffixesAreReplaced)
{
    Start({{"figure", 7, testkit::BuildMobileActor(Figure())}});
    const struct {
        const char* suffix;
        const char* replacement;
        const char* cloth;   // the name the cloth's "tex_a" becomes
    } cases[] = {{"_a", "_b", "tex_b"}, {"a", "op", "tex_op"}, {"tex_a", "_b", "tex_a"}, {"", "_b", "tex_a"},
                 {"_q", "_b", "tex_a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        mMobiles.push_back(std::make_unique<cTarvelMobile>());
        cTarvelMobile* mobile = mMobiles.back().get();
        mobile->mTextureSuffix = c.suffix;
        mobile->mTextureReplacement = c.replacement;
        ASSERT_EQ(mobile->Load("figure"), 0);
        ASSERT_NE(mobile->mMeshes[2]->texture, nullptr);
        EXPECT_STREQ(mobile->mMeshes[2]->texture->mName.c_str(), c.cloth);
        // The skin's "tex_b" never ends in these suffixes.
        EXPECT_STREQ(mobile->mMeshes[1]->texture->mName.c_str(), "tex_b");
    }
}

TEST_F(MobileTest, CollisionOnlyNodesMakeShadowGeometryAndDrawNothing)
{
    MobileActor actor;
    actor.nodes = {{"root", -1}, {"hull", 0}};
    MobileMesh hull;
    hull.node = 1;
    hull.collision = true;
    hull.subMeshes = {{5, 0}};
    actor.meshes = {hull};
    Start({{"hull", 7, testkit::BuildMobileActor(actor)}});
    cTarvelMobile* mobile = Loaded("hull");
    ASSERT_EQ(mobile->mMeshes.Count(), 1);
    EXPECT_TRUE(mobile->mMeshes[0]->shadow);
    EXPECT_TRUE(mobile->mShadowMesh);
    // Shadow buffers come from their own counts; nothing regular exists.
    EXPECT_EQ(mobile->mStaticVertexBuffer, nullptr);
    EXPECT_EQ(mobile->mStaticIndexBuffer, nullptr);
    ASSERT_NE(mobile->mStaticShadowVertexBuffer, nullptr);
    ASSERT_NE(mobile->mStaticShadowIndexBuffer, nullptr);
    const std::vector<float> second = Read<float>(mobile->mStaticShadowVertexBuffer, 3, 3);
    EXPECT_NEAR(second[0], std::cos(6.2831853 / 5), 1e-5);
    EXPECT_EQ(cTarvelMobile::GetVertexStride(*mobile->mMeshes[0]), 12u);
    EXPECT_EQ(cTarvelMobile::GetVertexFormat(*mobile->mMeshes[0]), DWORD(D3DFVF_XYZ));

    pt::RecordDraws(true);
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    device->BeginScene();
    mobile->Update(0.0f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    mobile->Draw(&identity, true, nullptr, 3, 6, false);
    EXPECT_TRUE(IndexedDraws().empty());
    gTarvel.mShaders.UseNamed(31);
    mobile->RenderShadow();
    device->EndScene();
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].stream0, mobile->mStaticShadowVertexBuffer);
    EXPECT_EQ(draws[0].stream0Stride, 12u);
    EXPECT_EQ(draws[0].fvf, DWORD(D3DFVF_XYZ));
    EXPECT_EQ(draws[0].primitiveCount, 3u);

    // A mobile without an actor neither updates nor draws.
    cTarvelMobile empty;
    empty.Update(0.5f);
    EXPECT_EQ(empty.Draw(&identity, true, nullptr, 3, 6, false), 0);
    EXPECT_TRUE(IndexedDraws().empty());
}

TEST_F(MobileTest, OneBufferKindPastSixtyFiveThousandVerticesTakesWideIndices)
{
    MobileActor actor;
    actor.meshes[0].subMeshes = {{70000, 0}};
    MobileMesh small;
    small.skinNode = 0;   // deformed: its own kind keeps 16-bit indices
    actor.nodes.push_back({"other", 0});
    small.node = 1;
    actor.meshes.push_back(small);
    Start({{"big", 7, testkit::BuildMobileActor(actor)}});
    cTarvelMobile* mobile = Loaded("big");
    D3DINDEXBUFFER_DESC wide{}, narrow{};
    mobile->mStaticIndexBuffer->GetDesc(&wide);
    mobile->mDynamicIndexBuffer->GetDesc(&narrow);
    EXPECT_EQ(wide.Format, D3DFMT_INDEX32);
    EXPECT_EQ(narrow.Format, D3DFMT_INDEX16);
    // The last triangle of the fan: 0, 69998, 69999.
    EXPECT_EQ((Read<uint32_t>(mobile->mStaticIndexBuffer, 3 * 69997, 3)), (std::vector<uint32_t>{0, 69998, 69999}));
}

TEST_F(MobileTest, DamagedActorsAreRefusedNamingTheFile)
{
    const struct {
        const char* what;
        void (*damage)(MobileActor&);
        const char* message;
    } cases[] = {
        {"no material", [](MobileActor& a) { a.meshes[0].subMeshes[0].material = 3; },
         "Mobile file bad is damaged: a sub-mesh names no material."},
        {"effect material", [](MobileActor& a) { a.materials[0].fx = true; }, "Material type invalid: bad."},
        {"no uvs", [](MobileActor& a) { a.meshes[0].uvs = false; },
         "Mobile file bad is damaged: a mesh has no texture coordinates."},
    };
    Start({});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MobileActor actor;
        c.damage(actor);
        const testkit::Bytes file = testkit::BuildMobileActor(actor);
        cTarvelMobile mobile;
        mobile.mFile = "bad";
        const std::string text = CatchFatalError([&] { mobile.ReadFromMemory(file.data(), uint32_t(file.size())); });
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
    }
    const uint8_t junk[] = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    cTarvelMobile mobile;
    mobile.mFile = "junk";
    EXPECT_NE(CatchFatalError([&] { mobile.ReadFromMemory(junk, sizeof junk); })
                  .find("Mobile file processing failed: junk."),
              std::string::npos);
}

TEST_F(MobileTest, ReadingAgainReleasesWhatWasLoaded)
{
    Start({{"figure", 7, testkit::BuildMobileActor(Figure())}, {"plain", 7, testkit::BuildMobileActor(MobileActor())}});
    cTarvelMobile* mobile = Loaded("figure");
    ASSERT_EQ(mobile->mMeshes.Count(), 5);
    ASSERT_EQ(mobile->Load("plain"), 0);
    EXPECT_EQ(mobile->mMeshes.Count(), 1);
    EXPECT_EQ(mobile->mTextures.Count(), 0);
    EXPECT_EQ(mobile->mDynamicVertexBuffer, nullptr);
    EXPECT_EQ(mobile->mStaticVertexCount, 4);
}

// A root with a child, so the root is the repositioning node, and a ring
// of four vertices of radius 1 on the root; `hair` adds a hair sub-mesh.
MobileActor Walker(bool hair = false)
{
    MobileActor actor;
    actor.nodes = {{"root", -1}, {"child", 0}};
    actor.materials = {MobileMaterial{"cloth", {}}, MobileMaterial{"hair", {}}};
    if (hair)
        actor.meshes[0].subMeshes.push_back({4, 1});
    return actor;
}

std::vector<MobileTest::Entry> WalkerEntries()
{
    return {{"walker", 7, testkit::BuildMobileActor(Walker())},
            {"walker_hair", 7, testkit::BuildMobileActor(Walker(true))},
            // Ten units along +x in one second; the child held at (3, 0, 0).
            {"walk", 8, Motion("root", {0, 0, 0}, {10, 0, 0}, 0.0f, 1.0f)},
            {"hold", 8, Motion("child", {3, 0, 0}, {3, 0, 0}, 0.0f, 1.0f)}};
}

cTarvelMobileAnimation* PlayOn(cTarvelMobile* mobile, const char* name, bool loop = false, int32_t flags = 0)
{
    auto* animation = new cTarvelMobileAnimation(mobile, flags);
    EXPECT_EQ(animation->Load(name), 0);
    animation->mLoop = loop;
    animation->Play(0.0f, 1.0f);
    return animation;
}

TEST_F(MobileTest, RootMotionOfThePlayerNeedsItsWalkArea)
{
    Start(WalkerEntries());
    cTarvelMobile* player = Loaded("walker");
    cTarvelMobile* other = Loaded("walker");
    ASSERT_EQ(player->mActor->GetRepositioningNode(), 0);
    cTarvelActor actor("OFF", "", false);
    auto* control = new HalfPlaneControl;
    control->mLimit = 5.0f;
    actor.mControl = control;
    actor.mMobile = player;
    gTarvel.mPlayer = &actor;
    std::unique_ptr<cTarvelMobileAnimation> walks[2] = {std::unique_ptr<cTarvelMobileAnimation>(PlayOn(player, "walk")),
                                                        std::unique_ptr<cTarvelMobileAnimation>(PlayOn(other, "walk"))};
    player->SetPosition(0.0f, 7.0f, 0.0f);

    const float expected[][2] = {{2.5f, 2.5f}, {2.5f, 5.0f}, {2.5f, 7.5f}};
    for (const auto& step : expected) {
        player->Update(0.25f);
        other->Update(0.25f);
        // The step onto x = 5 leaves the walk area: the player stays.
        EXPECT_NEAR(player->mPosition.x, step[0], 1e-4);
        EXPECT_NEAR(other->mPosition.x, step[1], 1e-4);
        EXPECT_EQ(player->mPosition.y, 7.0f);
        // The root node stands where the mobile stands: it does not move twice.
        D3DXMATRIX root;
        other->GetNodeWorldMatrix(0, &root);
        EXPECT_NEAR(root._41, other->mPosition.x, 1e-4);
    }
    // A position put straight into the field (the scene puts the player on
    // the floor so) is where the next step starts, not a move of its own.
    other->mPosition.x = 100.0f;
    other->Update(0.25f);
    EXPECT_NEAR(other->mPosition.x, 102.5f, 1e-4);
    gTarvel.mPlayer = nullptr;
    actor.mMobile = nullptr;
}

TEST_F(MobileTest, WorldLinksAttachmentsAndBounds)
{
    Start(WalkerEntries());
    cTarvelMobile* target = Loaded("walker");
    cTarvelMobile* linked = Loaded("walker");
    std::unique_ptr<cTarvelMobileAnimation> hold(PlayOn(linked, "hold", true));
    D3DXQUATERNION quarter;
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXQuaternionRotationAxis(&quarter, &up, 1.5707964f);
    target->SetPosition(100, 0, 0);
    target->SetRotation(quarter);
    linked->SetWorldLink("child", target);
    EXPECT_EQ(linked->mWorldLinkNode, 1);
    linked->Update(0.1f);
    // (3, 0, 0) turned a quarter about y is (0, 0, -3).
    EXPECT_NEAR(linked->mPosition.x, 100.0f, 1e-4);
    EXPECT_NEAR(linked->mPosition.z, -3.0f, 1e-4);
    const D3DXQUATERNION& r = linked->mRotation;
    EXPECT_NEAR(std::fabs(r.y), std::sqrt(0.5f), 1e-4);
    // An unknown node links nothing.
    linked->SetWorldLink("nobody", target);
    EXPECT_EQ(linked->mWorldLinkNode, -1);
    // The target goes (a scene change) while the linked mobile lives on: the
    // node's own place is taken, nothing of the target is read.
    cTarvelMobile* gone = Loaded("walker");
    gone->SetPosition(500, 0, 0);
    linked->SetWorldLink("child", gone);
    EXPECT_EQ(linked->WorldLinkTarget(), gone);
    mMobiles.pop_back();
    EXPECT_EQ(linked->WorldLinkTarget(), nullptr);
    linked->Update(0.1f);
    EXPECT_NEAR(linked->mPosition.x, 3.0f, 1e-4);
    EXPECT_NEAR(linked->mPosition.z, 0.0f, 1e-4);
    linked->SetWorldLink("nobody", nullptr);

    // Attached, the mobile takes its position from its instance.
    cTarvelMobile* attached = Loaded("walker");
    attached->mAttachedTo = target;
    attached->mInstance->SetPosition(AnimCore::Vector3(7, 8, 9));
    attached->mPosition = D3DXVECTOR3(1, 1, 1);
    attached->Update(0.0f);
    EXPECT_EQ(attached->mPosition, D3DXVECTOR3(7, 8, 9));

    // Bounds of the unit ring at (10, 0, 0), corners in their order.
    cTarvelMobile* ring = Loaded("walker");
    ring->SetPosition(10, 0, 0);
    ring->Update(0.0f);
    D3DXVECTOR3 corners[8], centre, half;
    ring->GetBoundingBox(corners);
    const D3DXVECTOR3 expected[8] = {{9, 0, -1}, {9, 0, 1}, {11, 0, -1}, {11, 0, 1},
                                     {9, 0, -1}, {9, 0, 1}, {11, 0, -1}, {11, 0, 1}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(corners[i].x, expected[i].x, 1e-5) << i;
        EXPECT_NEAR(corners[i].z, expected[i].z, 1e-5) << i;
    }
    ring->GetBoundsCenter(&centre);
    ring->GetBoundsHalfSize(&half);
    EXPECT_NEAR(centre.x, 10.0f, 1e-5);
    EXPECT_NEAR(half.z, 1.0f, 1e-5);
}

TEST_F(MobileTest, LightCountsPickTechniquesAndConstants)
{
    Start(WalkerEntries());
    cTarvelMobile* mobile = Loaded("walker_hair");
    mobile->SetPosition(10, 0, 0);
    mobile->Update(0.0f);
    // Point lights above the mobile, each as intense as its grey: the first
    // past the cap of 2, then dimmer and dimmer, so the ranking keeps them
    // in order.
    auto makeLights = [](int count) {
        gTarvel.mLights.SetLights();
        for (int i = 0; i < count; ++i) {
            cTarvelLight* light = gTarvel.mLights.CreateLight(cTarvelLight::kPoint);
            light->mPosition = D3DXVECTOR3(10.0f, float(i + 1), 0.0f);
            const float grey = i == 0 ? 3.0f : 1.0f - 0.1f * float(i);
            light->mColor = {grey, grey, grey, 1.0f};
        }
    };
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    const struct {
        int lights;
        const char* normal;   // technique of the cloth record
        int normalBinding;
        const char* hair;
        int hairBinding;
    } cases[] = {{0, "one_light", 11, "one_light", 23},
                 {1, "one_light", 11, "one_light", 23},
                 {6, "six_lights", 16, "four_lights", 26},
                 {7, "six_lights", 16, "four_lights", 26}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lights);
        makeLights(c.lights);
        pt::RecordDraws(true);
        device->BeginScene();
        mobile->Draw(&identity, true, nullptr, 3, 7, false);
        device->EndScene();
        const std::vector<pt::DrawRecord> draws = IndexedDraws();
        // Cloth then hair, each a fan of two triangles.
        ASSERT_EQ(draws.size(), 2u);
        EXPECT_EQ(draws[0].technique, c.hair);
        EXPECT_EQ(draws[1].technique, c.normal);
        EXPECT_EQ(draws[1].fvf, DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
        EXPECT_EQ(draws[1].stream0Stride, 32u);
        EXPECT_EQ(Named(c.normalBinding, "cull"), std::vector<float>{3});
        EXPECT_EQ(Named(c.normalBinding, "la"), (std::vector<float>{0.5f, 0.5f, 0.5f}));
        if (c.lights == 0) {
            EXPECT_EQ(Named(c.normalBinding, "li1"), std::vector<float>{0});
            continue;
        }
        // Light 1 in the node's space (the mobile stands at x = 10), its
        // intensity at most 2.
        EXPECT_EQ(Named(c.normalBinding, "lp1"), (std::vector<float>{0, 1, 0}));
        EXPECT_EQ(Named(c.normalBinding, "li1"), std::vector<float>{2});
        if (c.lights >= 6) {
            EXPECT_EQ(Named(c.normalBinding, "lp6"), (std::vector<float>{0, 6, 0}));
            EXPECT_EQ(Named(c.normalBinding, "lc6"), (std::vector<float>{0.5f, 0.5f, 0.5f}));
            EXPECT_FLOAT_EQ(Named(c.normalBinding, "li6").at(0), 0.5f);
            EXPECT_EQ(Named(c.hairBinding, "lp4"), (std::vector<float>{0, 4, 0}));
            EXPECT_EQ(Named(c.hairBinding, "li5"), std::vector<float>{-1});
        }
    }
}

TEST_F(MobileTest, PicksAlongTheCursorRay)
{
    Start(WalkerEntries());
    cTarvelMobile* mobile = Loaded("walker");
    // The ring stood up to face the camera, which looks down +z from -100.
    mobile->SetRotationXYZ(-1.5707964f, 0.0f, 0.0f);
    mobile->Update(0.0f);
    cTarvelCamera& camera = gTarvel.mCamera;
    camera.SetViewport(0, 0, uint32_t(gTarvel.mGraphics.mWidth), uint32_t(gTarvel.mGraphics.mHeight));
    const float position[3] = {0, 0, -100}, rotation[4] = {0, 0, 0, 1};
    camera.Set(position, rotation, 0.785f);
    camera.UpdateMatrices();
    EXPECT_TRUE(mobile->HitTest(512, 384, 0));
    EXPECT_FALSE(mobile->HitTest(100, 100, 0));
    // Outside the viewport's rows nothing is hit.
    camera.SetViewport(0, 400, uint32_t(gTarvel.mGraphics.mWidth), 100);
    camera.UpdateMatrices();
    EXPECT_FALSE(mobile->HitTest(512, 384, 0));
}

TEST_F(MobileTest, TheWalkArrowIsAMobileDrawnThroughItsBinding)
{
    Start(WalkerEntries());
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    // Start-up loaded "walk_arrow": one node, one record of three triangles.
    ASSERT_NE(graphics.mWalkArrow, nullptr);
    ASSERT_NE(graphics.mWalkArrow->mActor, nullptr);
    ASSERT_EQ(graphics.mWalkArrow->mMeshes.Count(), 1);
    EXPECT_EQ(graphics.mWalkArrow->mMeshes[0]->indexCount, 9);

    cTarvelScene scene;
    scene.mObjectUnderCursor = true;
    scene.mObjectPosition = D3DXVECTOR3(100, 0, 100);
    cTarvelActor player("OFF", "", false);
    player.mMobile = Loaded("walker");
    gTarvel.mScene = &scene;
    gTarvel.mPlayer = &player;
    pt::RecordDraws(true);
    graphics.mDevice->BeginScene();
    graphics.DrawWalkArrowCursor();
    graphics.mDevice->EndScene();
    const std::vector<pt::DrawRecord> draws = IndexedDraws();
    gTarvel.mScene = nullptr;
    gTarvel.mPlayer = nullptr;
    player.mMobile = nullptr;
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].technique, "ui_walkarrow");
    EXPECT_EQ(draws[0].primitiveCount, 3u);
    EXPECT_EQ(draws[0].stream0, graphics.mWalkArrow->mStaticVertexBuffer);
}

std::string SaveText(cTarvelMobile* mobile)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Mobile");
    document.LinkEndChild(root);
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = root;
    mobile->Save(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.CStr();
}

void LoadText(cTarvelMobile* mobile, const std::string& text)
{
    TiXmlDocument document;
    document.Parse(text.c_str());
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = document.RootElement();
    mobile->LoadState(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
}

TEST_F(MobileTest, SavesAndLoadsItsState)
{
    Start(WalkerEntries());
    cTarvelMobile* mobile = Loaded("walker");
    mobile->SetPosition(1, 2, 3);
    mobile->SetRotationXYZ(0, 0.5f, 0);
    mobile->mVisible = false;
    mobile->mFree = true;
    mobile->mLinkBone = 1;
    mobile->mSymbol = "lamp";
    mobile->mFreeID = "lamp#1";
    mobile->mColorOverride = 77;
    mobile->SetBaseAnimation("hold");
    ASSERT_NE(mobile->mBaseAnimation, nullptr);
    const std::string text = SaveText(mobile);
    EXPECT_NE(text.find("<BaseAnim>"), std::string::npos) << text;

    cTarvelMobile copy;
    LoadText(&copy, text);
    ASSERT_NE(copy.mActor, nullptr);
    EXPECT_EQ(copy.mFile, cTarvelString("walker"));
    EXPECT_EQ(copy.mPosition, mobile->mPosition);
    EXPECT_NEAR(copy.mRotation.y, mobile->mRotation.y, 1e-6);
    EXPECT_FALSE(copy.mVisible);
    EXPECT_TRUE(copy.mFree);
    EXPECT_EQ(copy.mLinkBone, 1);
    EXPECT_EQ(copy.mSymbol, cTarvelString("lamp"));
    EXPECT_EQ(copy.mFreeID, cTarvelString("lamp#1"));
    EXPECT_EQ(copy.mColorOverride, 77u);
    ASSERT_NE(copy.mBaseAnimation, nullptr);
    EXPECT_EQ(copy.mBaseAnimation->mName, cTarvelString("hold"));
    EXPECT_NE(copy.mBaseController, nullptr);

    // A link bone the actor lacks becomes -1; a base animation the archive
    // lacks leaves none; an empty file loads nothing but the rest is read.
    std::string bad = text;
    bad.replace(bad.find("<LinkBone>1<"), 12, "<LinkBone>9<");
    bad.replace(bad.find(">hold<"), 6, ">gone<");
    cTarvelMobile other;
    LoadText(&other, bad);
    EXPECT_EQ(other.mLinkBone, -1);
    EXPECT_EQ(other.mBaseAnimation, nullptr);
    cTarvelMobile empty;
    std::string none = text;
    none.replace(none.find("<File>walker<"), 13, "<File><");
    LoadText(&empty, none);
    EXPECT_EQ(empty.mActor, nullptr);
    EXPECT_EQ(empty.mSymbol, cTarvelString("lamp"));
    EXPECT_EQ(empty.mLinkBone, -1);
    EXPECT_EQ(SaveText(&empty).find("walker"), std::string::npos);
}

} // namespace
