#include "engine/world/mobile.h"

#include <cmath>

#include <gtest/gtest.h>

#include "engine/gameplay/savegame.h"
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
    // Binormal = normal x tangent with the tangent's handedness: at right
    // angles to both, as long as the tangent.
    for (size_t v : {0u, 5u, 13u}) {
        const std::vector<float> record = Read<float>(mobile->mStaticPPLStream, v * 6, 6);
        ASSERT_EQ(record.size(), 6u);
        const D3DXVECTOR3 t(record[0], record[1], record[2]), b(record[3], record[4], record[5]), n(0, 1, 0);
        EXPECT_NEAR(D3DXVec3Dot(&b, &n), 0.0f, 1e-5);
        EXPECT_NEAR(D3DXVec3Dot(&b, &t), 0.0f, 1e-5);
        EXPECT_NEAR(D3DXVec3Length(&b), D3DXVec3Length(&t), 1e-5);
        EXPECT_GT(D3DXVec3Length(&t), 0.5f);
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

} // namespace
