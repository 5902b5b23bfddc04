#pragma once

// Fixture of the shadow and flashlight tests: effects that declare the
// parameters the passes set, a scene with a stage view, and receivers made
// in code: flat quads of scenery and mobiles from actor files with boxes.

#include <memory>
#include <string>
#include <vector>

#include "engine/render/render_test_support.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "engine/world/scene_mesh.h"
#include "engine/world/view.h"
#include "tools/mobile_actor_writer.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

// A scenery mesh with its own vertex and index data.
struct TestSceneMesh {
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR2> uvs;
    std::vector<uint16_t> indices;
    sSceneMesh mesh;

    TestSceneMesh(cTarvelView* view, std::vector<D3DXVECTOR3> points, std::vector<uint16_t> triangles)
        : positions(std::move(points)), indices(std::move(triangles))
    {
        for (size_t i = 0; i < positions.size(); ++i)
            uvs.push_back(D3DXVECTOR2(float(i) * 0.25f, 1.0f - float(i) * 0.25f));
        mesh.view = view;
        mesh.positions = positions.data();
        mesh.texCoords = uvs.data();
        mesh.vertexCount = int32_t(positions.size());
        mesh.indices = indices.data();
        mesh.indexCount = int32_t(indices.size());
    }
};

class ReceiverTest : public RenderTest {
protected:
    void TearDown() override
    {
        // Lights first: they take their passes out of the receivers.
        gTarvel.mLights.Reset();
        mMobiles.clear();
        mMeshes.clear();
        gTarvel.mScene = nullptr;
        pt::RecordDraws(false);
        for (IDirect3DTexture9* texture : mTextures)
            texture->Release();
        RenderTest::TearDown();
    }

    TestSceneMesh* Mesh(cTarvelView* view, std::vector<D3DXVECTOR3> points, std::vector<uint16_t> triangles)
    {
        mMeshes.push_back(std::make_unique<TestSceneMesh>(view, std::move(points), std::move(triangles)));
        return mMeshes.back().get();
    }

    // A square in the plane z = `z`, from (x0, y0) to (x1, y1), as two
    // triangles.
    TestSceneMesh* Quad(cTarvelView* view, float x0, float y0, float x1, float y1, float z)
    {
        return Mesh(view, {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}}, {0, 1, 2, 0, 2, 3});
    }

    // A mobile made from an actor file: `meshes` nodes, each with one mesh
    // of 6 vertices and 12 indices whose box spans `low` to `high`, and,
    // with `shadow`, one more node with collision geometry of that box.
    cTarvelMobile* BoxMobile(const D3DXVECTOR3& low, const D3DXVECTOR3& high, int meshes, bool shadow = false)
    {
        mMobiles.push_back(MakeMobile(low, high, meshes, shadow));
        return mMobiles.back().get();
    }

    static std::unique_ptr<cTarvelMobile> MakeMobile(const D3DXVECTOR3& low, const D3DXVECTOR3& high, int meshes,
                                                     bool shadow = false)
    {
        testkit::MobileActor actor;
        actor.nodes.clear();
        actor.meshes.clear();
        for (int i = 0; i < meshes + (shadow ? 1 : 0); ++i) {
            actor.nodes.push_back({"node" + std::to_string(i), -1});
            testkit::MobileMesh mesh;
            mesh.node = uint32_t(i);
            mesh.collision = i == meshes;
            mesh.subMeshes = {testkit::MobileSubMesh{6, 0}};
            const D3DXVECTOR3 centre = (low + high) * 0.5f;
            mesh.offset[0] = centre.x;
            mesh.offset[1] = centre.y;
            mesh.offset[2] = centre.z;
            mesh.radius = 0.0f;
            // Two of the six corners are the box's own.
            mesh.points = {{low.x, low.y, low.z}, {high.x, high.y, high.z}};
            actor.meshes.push_back(mesh);
        }
        const testkit::AnimBytes file = testkit::BuildMobileActor(actor);
        auto mobile = std::make_unique<cTarvelMobile>();
        mobile->ReadFromMemory(file.data(), uint32_t(file.size()));
        mobile->mPosition = (low + high) * 0.5f;
        return mobile;
    }

    // Starts the engine, with the ShadowFilter setting given, on effects
    // that declare every parameter of the shadow, blur and flashlight
    // passes, and a "flashlight" picture. The blur comes from start-up.
    void Start(bool shadowFilter = false)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        const DWORD filter = shadowFilter ? 1 : 0;
        ASSERT_EQ(RegSetValueExA(key, "ShadowFilter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&filter), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        StartWith([](testkit::ArchiveWriter& writer) {
            const std::string declarations =
                "texture dtex;\ntexture stex;\ntexture ftex;\ntexture screen;\nfloat4x4 lmat;\nfloat intens = -1;\n"
                "float strength = -1;\nfloat3 lpos;\nfloat2 screensize;\nfloat blurstart = -1;\n"
                "float blurwidth = -1;\n";
            auto text = [&](const std::vector<std::string>& techniques) {
                const std::string source = declarations + testkit::MinimalEffectSource(techniques);
                return testkit::Bytes(source.begin(), source.end());
            };
            writer.AddShared(1, "shadow_cast.fx", 0, text({"cast_mobile", "blur_fade"}), true);
            writer.AddShared(1, "shadow_scenery.fx", 0, text({"base", "notex"}), true);
            writer.AddShared(1, "shadow_mobile.fx", 0, text({"base", "notex"}), true);
            writer.AddShared(1, "flashlight.fx", 0, text({"scenery", "mobile", "lightcone"}), true);
            writer.AddShared(1, "flashlight", 5, testkit::BuildTga(testkit::Picture(16, 16), testkit::TgaOptions()),
                             true);
        });
        gTarvel.mConfig.Shadows = 1;
        mScene.mView = &mView;
        gTarvel.mScene = &mScene;
    }

    static IDirect3DDevice9* Device() { return gTarvel.mGraphics.mDevice; }

    IDirect3DTexture9* Texture()
    {
        IDirect3DTexture9* texture = nullptr;
        gTarvel.mGraphics.mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        mTextures.push_back(texture);
        return texture;
    }

    // A parameter of the effect behind a named binding, or of a binding.
    static std::vector<float> Param(const cTarvelShaderBinding& binding, const char* name)
    {
        return Floats(binding.shader ? binding.shader->mEffect : nullptr, name);
    }
    static std::vector<float> Named(int index, const char* name)
    {
        return Param(gTarvel.mShaders.mNamed[index], name);
    }

    // The indices the frustum test left in a receiver buffer.
    static std::vector<uint32_t> Indices(IDirect3DIndexBuffer9* buffer, int32_t first, int32_t count, bool wide)
    {
        std::vector<uint32_t> out;
        void* data = nullptr;
        if (!buffer || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
            return out;
        for (int32_t i = first; i < first + count; ++i)
            out.push_back(wide ? static_cast<uint32_t*>(data)[i] : static_cast<uint16_t*>(data)[i]);
        buffer->Unlock();
        return out;
    }

    // The indexed draws recorded since the last call.
    static std::vector<pt::DrawRecord> IndexedDraws()
    {
        std::vector<pt::DrawRecord> out;
        for (const pt::DrawRecord& draw : pt::RecordedDraws())
            if (draw.call == pt::DrawCall::IndexedPrimitive)
                out.push_back(draw);
        pt::RecordDraws(false);
        pt::RecordDraws(true);
        return out;
    }

    cTarvelScene mScene;
    cTarvelView mView;
    cTarvelView mOtherView;
    std::vector<IDirect3DTexture9*> mTextures;
    std::vector<std::unique_ptr<TestSceneMesh>> mMeshes;
    std::vector<std::unique_ptr<cTarvelMobile>> mMobiles;
};

// Row-vector 4 x 4 matrix product in double, for expected values.
inline std::vector<double> Multiply(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> out(16, 0.0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                out[size_t(r * 4 + c)] += a[size_t(r * 4 + k)] * b[size_t(k * 4 + c)];
    return out;
}

inline void ExpectMatrix(const std::vector<float>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), 16u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5 * (1.0 + std::abs(expected[i]))) << "element " << i;
}
