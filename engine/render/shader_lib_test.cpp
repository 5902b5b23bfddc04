#include "engine/render/shader_lib.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/render/render_test_support.h"

namespace pt = platform::testing;

namespace {

testkit::Bytes Text(const std::string& text)
{
    return testkit::Bytes(text.begin(), text.end());
}

// An effect with a marker parameter, so a test can tell where it came from.
testkit::Bytes Marked(float marker, const std::vector<std::string>& techniques, std::string_view profile = "2_0")
{
    return Text("float marker = " + std::to_string(marker) + ";\n" +
                testkit::MinimalEffectSource(techniques, profile));
}

// The minimal library with some effects replaced.
testkit::Bytes LibraryWith(const char* name, uint32_t build, const std::vector<testkit::ShaderLibEntry>& replaced)
{
    std::vector<testkit::ShaderLibEntry> entries = testkit::MinimalEngineEffects();
    for (const testkit::ShaderLibEntry& r : replaced) {
        bool found = false;
        for (testkit::ShaderLibEntry& e : entries)
            if (e.name == r.name) {
                e = r;
                found = true;
            }
        if (!found)
            entries.push_back(r);
    }
    return testkit::BuildShaderLibrary(name, build, entries);
}

const std::vector<std::string> kImageTechniques = {"image_basic", "image_blended", "image_blended_nozwrite",
                                                   "image_blended_noalpha"};

class ShaderLibTest : public RenderTest {
protected:
    static cTarvelShaderLib& Lib() { return gTarvel.mShaders; }
    static ID3DXEffect* Effect(int named) { return Lib().mNamed[named].shader->mEffect; }
};

TEST_F(ShaderLibTest, ReadsShaderlibdFirstAndLooseEffectsWin)
{
    StartWith(
        [&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "shaderlibd", 0, LibraryWith("debug", 7, {{"image_basic", Marked(1, kImageTechniques)}}),
                             true);
            writer.AddShared(1, "shaderlib", 0, LibraryWith("release", 3, {{"image_basic", Marked(2, kImageTechniques)}}),
                             true);
            writer.AddShared(1, "text.fx", 0, Marked(3, {"text_basic", "text_blended"}), true);
            writer.AddShared(1, "start", 5, testkit::BuildTga(testkit::Picture(8, 8), {}), true);
        },
        false);
    const std::string log = Log();
    EXPECT_NE(log.find("Shader library loaded: debug, Build 7\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("release"), std::string::npos);
    EXPECT_NE(log.find("Valid technique image_basic of shader image_basic found.\n"), std::string::npos);
    EXPECT_EQ(Floats(Effect(0), "marker"), std::vector<float>{1.0f});
    EXPECT_EQ(Floats(Effect(4), "marker"), std::vector<float>{3.0f});
    // One effect per name, shared by every binding of it.
    EXPECT_EQ(Lib().mNamed[0].shader, Lib().mNamed[3].shader);
    EXPECT_EQ(Lib().mNamed[11].shader, Lib().mNamed[16].shader);
    // The loose text effect won: its packed entry was never consumed.
    ASSERT_EQ(Lib().mEntries.Count(), 1);
    EXPECT_STREQ(Lib().mEntries[0].name, "text");
    for (int i = 0; i < cTarvelShaderLib::kNamedBindings; ++i)
        EXPECT_NE(Lib().mNamed[i].technique, nullptr) << i;
    EXPECT_EQ(gTarvel.mConfig.PerPixelLighting, 1u);
}

TEST_F(ShaderLibTest, TechniqueNamesMatchWithOneMoreCharacterAndTheLastWins)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "lights.fx", 0,
                         Marked(0, {"one_light", "one_lights", "one_lightsXY", "one_ligh"}), true);
        // Valid only under shader model 3, which the device has.
        writer.AddShared(1, "late.fx", 0, Marked(0, {"one_light", "one_lightZ"}, "3_0"), true);
    });
    cTarvelShaderBinding binding{};
    ASSERT_TRUE(Lib().LoadShader("lights", "one_light", &binding, false));
    EXPECT_STREQ(binding.techniqueName, "one_lights");
    EXPECT_EQ(binding.passes, 1u);
    ASSERT_TRUE(Lib().LoadShader("lights", "one_ligh", &binding, false));
    EXPECT_STREQ(binding.techniqueName, "one_ligh");
    EXPECT_FALSE(Lib().LoadShader("lights", "two", &binding, false));
    EXPECT_NE(binding.shader, nullptr);
    EXPECT_EQ(binding.technique, nullptr);
    EXPECT_FALSE(Lib().LoadShader("nowhere", "one_light", &binding, false));
    EXPECT_EQ(binding.shader, nullptr);
    ASSERT_TRUE(Lib().LoadShader("late", "one_light", &binding, false));
    EXPECT_STREQ(binding.techniqueName, "one_lightZ");

    std::string text = CatchFatalError([&] { Lib().LoadShader("nowhere", "x", &binding, true); });
    EXPECT_NE(text.find("Shader nowhere not found in library."), std::string::npos) << text;
    EXPECT_NE(text.find("cTarvelShader::LoadShader"), std::string::npos) << text;
    text = CatchFatalError([&] { Lib().LoadShader("lights", "two", &binding, true); });
    EXPECT_NE(text.find("No valid technique two of shader lights found."), std::string::npos) << text;
}

TEST_F(ShaderLibTest, WithoutShaderModelThreeThePerPixelGroupsTurnLightingOff)
{
    pt::AdapterProfile profile = pt::DefaultAdapterProfile();
    profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
    profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
    pt::SetAdapterProfile(profile);
    std::vector<std::string> six = {"one_light", "two_lights", "three_lights", "four_lights", "five_lights",
                                    "six_lights"};
    StartWith([&](testkit::ArchiveWriter& writer) {
        // Only "three_lights" needs shader model 3: the first two bind, the
        // rest of the group stays empty.
        std::string source = testkit::MinimalEffectSource({six.begin(), six.begin() + 2}) +
                             "technique three_lights { pass p0 { PixelShader = compile ps_3_0 PS(); } }\n";
        writer.AddShared(1, "mobile_normal.fx", 0, Text(source), true);
    });
    EXPECT_EQ(gTarvel.mConfig.PerPixelLighting, 0u);
    EXPECT_NE(Lib().mNamed[17].technique, nullptr);
    EXPECT_NE(Lib().mNamed[18].technique, nullptr);
    // The one that failed keeps its effect, without a technique.
    EXPECT_EQ(Lib().mNamed[19].shader, Lib().mNamed[17].shader);
    EXPECT_EQ(Lib().mNamed[19].technique, nullptr);
    for (int i = 20; i <= 22; ++i)
        EXPECT_EQ(Lib().mNamed[i].shader, nullptr) << i;
    // The other group: all four are ps_2_0 in the minimal library.
    for (int i = 27; i <= 30; ++i)
        EXPECT_NE(Lib().mNamed[i].technique, nullptr) << i;
    // A binding without a technique draws nothing, with or without its
    // effect.
    for (int index : {19, 20}) {
        Lib().UseNamed(index);
        EXPECT_EQ(Lib().mCurrent, nullptr) << index;
        EXPECT_FALSE(Lib().NextPass()) << index;
    }
}

TEST_F(ShaderLibTest, LibraryFileEdges)
{
    std::vector<testkit::ShaderLibEntry> entries = testkit::MinimalEngineEffects();
    // Same name twice: the first is used, the second never consumed.
    entries.push_back({"image_basic", Marked(9, kImageTechniques)});
    // A name filling its whole field has no NUL: all 32 bytes are the name.
    const std::string longName(32, 'n');
    testkit::Bytes library = testkit::BuildShaderLibrary("edges", 2, entries, false);
    testkit::PutShaderLibName(library, "");
    std::copy(longName.begin(), longName.end(), library.end() - 32);
    const testkit::Bytes longSource = Marked(5, {"t"});
    testkit::Bytes size(4);
    size[0] = uint8_t(longSource.size());
    size[1] = uint8_t(longSource.size() >> 8);
    library.insert(library.end(), size.begin(), size.end());
    library.insert(library.end(), longSource.begin(), longSource.end());
    // No closing entry: the end of the resource ends the list.
    StartWith(
        [&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "shaderlibd", 0, library, true);
            writer.AddShared(1, "start", 5, testkit::BuildTga(testkit::Picture(8, 8), {}), true);
        },
        false);
    EXPECT_NE(Effect(0), nullptr);
    EXPECT_TRUE(Floats(Effect(0), "marker").empty());
    ASSERT_EQ(Lib().mEntries.Count(), 2);
    cTarvelShaderBinding binding{};
    EXPECT_TRUE(Lib().LoadShader(longName.c_str(), "t", &binding, true));
    EXPECT_EQ(Floats(binding.shader->mEffect, "marker"), std::vector<float>{5.0f});
}

TEST_F(ShaderLibTest, BrokenLibrariesAreFatal)
{
    struct Case {
        const char* name;
        testkit::Bytes library;
        const char* text;
    };
    testkit::Bytes pastEnd = testkit::BuildShaderLibrary("x", 1, {}, false);
    testkit::PutShaderLibName(pastEnd, "image_basic");
    pastEnd.insert(pastEnd.end(), {0xFF, 0xFF, 0, 0, 'a', 'b'});
    std::vector<testkit::ShaderLibEntry> bad = {{"image_basic", Text("technique { this is not an effect")}};
    const Case cases[] = {
        {"size past the end", pastEnd, "File reading failed."},
        {"effect does not parse", testkit::BuildShaderLibrary("x", 1, bad), "Shaderfile could not be initialized."},
        {"empty library", testkit::BuildShaderLibrary("x", 1, {}), "Shader image_basic not found in library."},
    };
    for (const Case& c : cases) {
        RebuildEngine();
        WriteArchive([&](testkit::ArchiveWriter& writer) { writer.AddShared(1, "shaderlib", 0, c.library, true); },
                     false);
        const std::string text = CatchFatalError([&] { InitEngine(); });
        EXPECT_NE(text.find(c.text), std::string::npos) << c.name << ": " << text;
    }
    RebuildEngine();
    WriteArchive(
        [&](testkit::ArchiveWriter& writer) { writer.AddShared(1, "image_basic.fx", 0, Text("technique {"), true); });
    const std::string text = CatchFatalError([&] { InitEngine(); });
    EXPECT_NE(text.find("Shaderfile image_basic.fx could not be loaded or compiled."), std::string::npos) << text;
}

TEST_F(ShaderLibTest, DrawProtocolRunsOnePassAtATime)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "two.fx", 0,
                         Text(testkit::MinimalEffectSource({}) +
                              "technique both { pass a { PixelShader = compile ps_2_0 PS(); }\n"
                              "                 pass b { PixelShader = compile ps_2_0 PS(); } }\n"),
                         true);
    });
    cTarvelShaderBinding binding{};
    ASSERT_TRUE(Lib().LoadShader("two", "both", &binding, true));
    ID3DXEffect* effect = binding.shader->mEffect;
    Lib().Use(&binding);
    Lib().SetFloat(nullptr, "blend", 1.0f);
    Lib().SetFloat4(&binding, "marker4", 1, 2, 3, 4);   // unknown: ignored
    Lib().Begin();
    EXPECT_TRUE(pt::EffectState(effect).begun);
    EXPECT_TRUE(Lib().NextPass());
    EXPECT_EQ(pt::EffectState(effect).pass, 0);
    EXPECT_TRUE(Lib().NextPass());
    EXPECT_EQ(pt::EffectState(effect).pass, 1);
    EXPECT_FALSE(Lib().NextPass());
    EXPECT_EQ(pt::EffectState(effect).pass, -1);
    Lib().Restart();
    EXPECT_EQ(Lib().mPass, 0u);
    EXPECT_TRUE(Lib().NextPass());
    // Use ends a running effect itself.
    Lib().UseNamed(0);
    EXPECT_FALSE(pt::EffectState(effect).begun);
    Lib().End();
    EXPECT_EQ(Lib().mCurrent, nullptr);
    EXPECT_FALSE(Lib().NextPass());
    Lib().SetInt(nullptr, "alphaop", 2);   // no current effect: nothing
    EXPECT_EQ(Floats(binding.shader->mEffect, "blend"), std::vector<float>{1.0f});
    // A texture parameter set from no image holds none.
    Lib().SetTextureRaw(&binding, "tex", gTarvel.mGraphics.mPostTexture);
    EXPECT_EQ(pt::EffectTexture(effect, "tex").value_or(nullptr), gTarvel.mGraphics.mPostTexture);
    Lib().SetTexture(&binding, "tex", nullptr);
    EXPECT_EQ(pt::EffectTexture(effect, "tex").value_or(gTarvel.mGraphics.mPostTexture), nullptr);
}

testkit::Bytes ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return testkit::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ShaderLibTest, SampleGameLibraryIsCurrentAndBindsEverything)
{
    const std::filesystem::path demo = TARVEL_DEMO_DIR;
    std::string error;
    const testkit::Bytes built =
        testkit::BuildShaderLibraryFromFolder(demo / "shaders", "Kestrelmoor sample", 1, &error);
    ASSERT_FALSE(built.empty()) << error;
    // The game the build packs carries what demo/shaders gives.
    const std::filesystem::path shared = std::filesystem::path(TARVEL_GAME_STAGING_DIR) / "shared";
    const testkit::Bytes committed = ReadAll(shared / "shaderlib");
    EXPECT_TRUE(built == committed) << "the build's shaderlib is not what demo/shaders gives";
    EXPECT_TRUE(testkit::BuildStartImage() == ReadAll(shared / "start.tga"));

    StartWith(
        [&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "shaderlib", 0, committed, true);
            writer.AddShared(1, "start", 5, testkit::BuildStartImage(), true);
        },
        false);
    for (int i = 0; i < cTarvelShaderLib::kNamedBindings; ++i)
        EXPECT_NE(Lib().mNamed[i].technique, nullptr) << i;
    // Only the particle effect waits, packed, for its systems to ask for it.
    ASSERT_EQ(Lib().mEntries.Count(), 1);
    EXPECT_STREQ(Lib().mEntries[0].name, "particles");
    for (const char* technique : {"sparkle", "dust", "rain_rain", "rain_sparkle"}) {
        cTarvelShaderBinding binding{};
        EXPECT_TRUE(Lib().LoadShader("particles", technique, &binding, false)) << technique;
        EXPECT_STREQ(binding.techniqueName, technique);
        EXPECT_NE(binding.shader->mEffect->GetParameterByName(nullptr, "tex"), nullptr);
    }
    EXPECT_EQ(gTarvel.mConfig.PerPixelLighting, 1u);
    EXPECT_EQ(Lib().mNamed[1].passes, 1u);
    // The shadow filter's blur comes from the same library.
    EXPECT_EQ(gTarvel.mLights.mBlurLoaded, 1);
    EXPECT_STREQ(gTarvel.mLights.mBlurBinding.techniqueName, "blur_fade");
    EXPECT_TRUE(gTarvel.mLights.mShadowFilter);
}

// Row-vector 4 x 4 product and inverse in double, from first principles.
using M = std::vector<double>;

M Mul(const M& a, const M& b)
{
    M r(16, 0.0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
    return r;
}

void ExpectMatrix(const std::vector<float>& actual, const M& expected, const char* name)
{
    ASSERT_EQ(actual.size(), 16u) << name;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[size_t(i)], expected[size_t(i)], 1e-4) << name << " [" << i << "]";
}

D3DXMATRIX ToD3DX(const M& m)
{
    D3DXMATRIX r;
    for (int i = 0; i < 16; ++i)
        r.m[i / 4][i % 4] = float(m[size_t(i)]);
    return r;
}

TEST_F(ShaderLibTest, CameraMatricesGoToTheSharedParametersOnce)
{
    StartWith(nullptr);
    // World: scale 2, then translate (1, 2, 3); its inverse by hand.
    const M world = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    const M worldInv = {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, -0.5, -1, -1.5, 1};
    // View: 90 degrees about y (row vectors), then translate (0, 0, 10).
    const M view = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 10, 1};
    const M viewInv = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 10, 0, 0, 1};
    const M proj = {1.5, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.001, 1, 0, 0, -10.01, 0};
    cTarvelCamera& camera = gTarvel.mCamera;
    camera.mView = ToD3DX(view);
    camera.mViewInv = ToD3DX(viewInv);
    camera.mProj = ToD3DX(proj);
    camera.mViewProj = ToD3DX(Mul(view, proj));
    const D3DXMATRIX w = ToD3DX(world);
    Lib().SetCameraTransforms(&camera, &w);

    // Read back from another effect of the pool: the values are shared.
    ID3DXEffect* other = Effect(0);
    ASSERT_NE(other, Effect(11));
    ExpectMatrix(Floats(other, "World"), world, "World");
    ExpectMatrix(Floats(other, "View"), view, "View");
    ExpectMatrix(Floats(other, "WorldView"), Mul(world, view), "WorldView");
    ExpectMatrix(Floats(other, "ViewInv"), viewInv, "ViewInv");
    ExpectMatrix(Floats(other, "Proj"), proj, "Proj");
    ExpectMatrix(Floats(other, "ViewProj"), Mul(view, proj), "ViewProj");
    ExpectMatrix(Floats(other, "WorldViewProj"), Mul(Mul(world, view), proj), "WorldViewProj");
    ExpectMatrix(Floats(other, "WorldInv"), worldInv, "WorldInv");
    M transposed(16);
    for (int i = 0; i < 16; ++i)
        transposed[size_t(i)] = worldInv[size_t((i % 4) * 4 + i / 4)];
    ExpectMatrix(Floats(other, "WorldInvTrans"), transposed, "WorldInvTrans");
    D3DMATRIX device{};
    gTarvel.mGraphics.mDevice->GetTransform(D3DTS_VIEW, &device);
    EXPECT_FLOAT_EQ(device.m[3][2], 10.0f);

    // A new world for one object changes only the world-dependent values.
    const M world2 = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    const D3DXMATRIX w2 = ToD3DX(world2);
    Lib().SetWorldTransform(&w2);
    ExpectMatrix(Floats(other, "World"), world2, "World");
    ExpectMatrix(Floats(other, "WorldView"), Mul(world2, view), "WorldView");
    ExpectMatrix(Floats(other, "WorldViewProj"), Mul(Mul(world2, view), proj), "WorldViewProj");
    ExpectMatrix(Floats(other, "WorldInv"), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -5, 0, 0, 1}, "WorldInv");
    ExpectMatrix(Floats(other, "View"), view, "View");
    ExpectMatrix(Floats(other, "ViewInv"), viewInv, "ViewInv");
    ExpectMatrix(Floats(other, "Proj"), proj, "Proj");
    ExpectMatrix(Floats(other, "ViewProj"), Mul(view, proj), "ViewProj");

    // From a light: the inverse view and view-projection are computed.
    Lib().SetTransforms(&camera.mView, &camera.mProj, &w);
    ExpectMatrix(Floats(other, "ViewInv"), viewInv, "ViewInv");
    ExpectMatrix(Floats(other, "WorldViewProj"), Mul(world, Mul(view, proj)), "WorldViewProj");
}

} // namespace
