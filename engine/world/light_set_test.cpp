#include "engine/world/light_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/render/render_test_support.h"
#include "engine/render/shadow.h"
#include "engine/script/script_handles.h"
#include "engine/world/light.h"
#include "platform/win32/win32.h"

namespace {

class LightSetTest : public EngineTest {
protected:
    cTarvelLightSet& Set() { return gTarvel.mLights; }

    // A light named `name` at the origin, with the given colour and
    // attenuation; white and unattenuated by default.
    cTarvelLight* Light(const char* name, int32_t kind, float colour = 1.0f, float a0 = 1.0f, float a1 = 0.0f,
                        float a2 = 0.0f)
    {
        cTarvelLight* light = Set().CreateLight(kind);
        light->mName = name;
        light->mColor = {colour, colour, colour, 1.0f};
        light->mAttenuation[0] = a0;
        light->mAttenuation[1] = a1;
        light->mAttenuation[2] = a2;
        return light;
    }

    std::string Order()
    {
        std::string names;
        for (int32_t i = 0; i < Set().mLights.Count(); ++i)
            names += Set().mLights[i]->mName.c_str();
        return names;
    }
};

TEST_F(LightSetTest, NewLightsHaveTheDefaultsAndAreFoundByExactName)
{
    cTarvelLight* first = Set().CreateLight(cTarvelLight::kNoFalloff);
    first->mName = "Lamp";
    cTarvelLight* second = Set().CreateLight(cTarvelLight::kPoint);
    second->mName = "Lamp";
    EXPECT_EQ(first->mKind, 3);
    EXPECT_EQ(second->mKind, 1);
    EXPECT_FLOAT_EQ(first->mColor.r + first->mColor.g + first->mColor.b + first->mColor.a, 4.0f);
    EXPECT_EQ(first->mAmbient.r + first->mAmbient.g + first->mAmbient.b + first->mAmbient.a, 0.0f);
    EXPECT_EQ(first->mRotation.w, 1.0f);
    EXPECT_EQ(first->mRange, 10000.0f);
    EXPECT_EQ(first->mAttenuation[0], 1.0f);
    EXPECT_EQ(first->mAttenuation[1] + first->mAttenuation[2], 0.0f);

    EXPECT_EQ(Set().GetLight("Lamp"), first);
    EXPECT_EQ(Set().GetLight("lamp"), nullptr);
    EXPECT_EQ(Set().GetLight("Lam"), nullptr);
    EXPECT_EQ(Set().GetLight(nullptr), nullptr);

    // Ambient keeps its alpha; the array grows past its first five slots.
    Set().SetAmbientLight(0.1f, 0.2f, 0.3f);
    EXPECT_EQ(Set().mAmbient.g, 0.2f);
    EXPECT_EQ(Set().mAmbient.a, 1.0f);
    for (int i = 0; i < 6; ++i)
        Set().CreateLight(cTarvelLight::kPoint);
    EXPECT_EQ(Set().mLights.Count(), 8);
    EXPECT_EQ(Set().mLights[7]->mKind, 1);
}

// Point lights fall off with 1 / (a0 + a1 d + a2 d^2) inside their range
// only; lights without fall-off give their colour everywhere.
TEST_F(LightSetTest, IntensityAtAPoint)
{
    cTarvelLight* point = Light("P", cTarvelLight::kPoint, 0.5f, 1.0f, 0.1f, 0.01f);
    point->mColor.r = 1.0f;   // mean (1 + 0.5 + 0.5) / 3
    point->mPosition = D3DXVECTOR3(10.0f, 0.0f, 0.0f);
    point->mRange = 100.0f;
    // 30, 40 away: d = 50 gives 1 / (1 + 5 + 25).
    EXPECT_FLOAT_EQ(point->GetIntensityAt(40.0f, 40.0f, 0.0f, false), 1.0f / 31.0f);
    EXPECT_FLOAT_EQ(point->GetIntensityAt(40.0f, 40.0f, 0.0f, true), 2.0f / 3.0f / 31.0f);
    EXPECT_EQ(point->GetIntensityAt(110.0f, 0.0f, 0.0f, false), 0.0f);   // at the range: out

    cTarvelLight* flat = Light("F", cTarvelLight::kNoFalloff, 0.4f);
    flat->mRange = 1.0f;
    EXPECT_FLOAT_EQ(flat->GetIntensityAt(1000.0f, 0.0f, 0.0f, true), 0.4f);
    EXPECT_EQ(flat->GetIntensityAt(1000.0f, 0.0f, 0.0f, false), 1.0f);

    EXPECT_EQ(Light("Other", 2)->GetIntensityAt(0.0f, 0.0f, 0.0f, true), 0.0f);
}

TEST_F(LightSetTest, RankingWithoutLightsGivesTheBaseAmbient)
{
    Set().SetAmbientLight(0.2f, 0.3f, 0.4f);
    Set().mAmbient.a = 0.5f;
    EXPECT_EQ(Set().RankLights(0.0f, 0.0f, 0.0f), 0);
    EXPECT_EQ(Set().mLights.Count(), 0);
    EXPECT_EQ(Set().mObjectAmbient.b, 0.4f);
    EXPECT_EQ(Set().mObjectAmbient.a, 0.5f);
}

// Intensities computed at the point, the count of lights reaching it, and
// the ambient of the lights at least 0.01 bright.
TEST_F(LightSetTest, RankingComputesIntensitiesAndCountsTheLitOnes)
{
    Set().SetAmbientLight(0.2f, 0.4f, 0.6f);
    // 1 / (0.5 + 0.1 d) at d = 5: factor 1, so the ranking keeps it at 1.
    cTarvelLight* even = Light("E", cTarvelLight::kPoint, 1.0f, 0.5f, 0.1f);
    even->mPosition = D3DXVECTOR3(3.0f, 4.0f, 0.0f);
    // Exactly at its range: neither lit nor ranked.
    cTarvelLight* edge = Light("R", cTarvelLight::kPoint);
    edge->mPosition = D3DXVECTOR3(0.0f, 0.0f, 7.0f);
    edge->mRange = 7.0f;
    edge->mAmbient = {1.0f, 1.0f, 1.0f, 0.0f};
    // 1 / 100 and about 1 / 101: the first gives its ambient, the second is
    // too dim to, though it is lit.
    cTarvelLight* dim = Light("D", cTarvelLight::kPoint, 1.0f, 100.0f);
    dim->mAmbient = {0.5f, 0.0f, 0.0f, 0.0f};
    cTarvelLight* dimmer = Light("d", cTarvelLight::kPoint, 1.0f, 101.0f);
    dimmer->mAmbient = {0.0f, 0.0f, 1.0f, 0.0f};
    cTarvelLight* other = Light("O", 2);
    other->mAmbient = {1.0f, 1.0f, 1.0f, 0.0f};

    EXPECT_EQ(Set().RankLights(0.0f, 0.0f, 0.0f), 3);
    EXPECT_FLOAT_EQ(even->mAttenuationFactor, 1.0f);
    EXPECT_FLOAT_EQ(even->mIntensity, 1.0f);
    EXPECT_EQ(edge->mIntensity, 0.0f);
    EXPECT_EQ(edge->mAttenuationFactor, 0.0f);
    EXPECT_FLOAT_EQ(dim->mIntensity, 0.01f);
    EXPECT_LT(dimmer->mIntensity, 0.01f);
    EXPECT_EQ(other->mIntensity, 0.0f);
    EXPECT_EQ(Order(), "EDdRO");
    // Only D contributes: 0.5 x 0.01, plus the base for the missing 0.99.
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.r, 0.005f + 0.2f * 0.99f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.g, 0.4f * 0.99f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.b, 0.6f * 0.99f);
}

TEST_F(LightSetTest, ObjectAmbientIsTheMeanOfTheContributorsLimitedToOne)
{
    Set().SetAmbientLight(0.2f, 0.4f, 0.6f);
    cTarvelLight* half = Light("H", cTarvelLight::kPoint, 1.0f, 1.0f, 0.1f);
    half->mPosition = D3DXVECTOR3(0.0f, 10.0f, 0.0f);   // factor 1 / 2
    half->mAmbient = {0.4f, 0.2f, 0.8f, 0.0f};
    Set().mObjectAmbient.a = 0.25f;

    // One contributor with factor 0.5: half its ambient, half the base.
    Set().RankLights(0.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.r, 0.2f + 0.1f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.g, 0.1f + 0.2f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.b, 0.4f + 0.3f);
    EXPECT_EQ(Set().mObjectAmbient.a, 0.25f);

    // A second with factor 1: the total reaches 1, so no base; the sum is
    // divided by two, and the red above 1 is limited.
    cTarvelLight* full = Light("F", cTarvelLight::kNoFalloff, 0.5f);
    full->mAmbient = {2.0f, 1.0f, 1.0f, 0.0f};
    Set().RankLights(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(Set().mObjectAmbient.r, 1.0f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.g, (0.1f + 1.0f) / 2.0f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.b, (0.4f + 1.0f) / 2.0f);
    EXPECT_EQ(Set().mObjectAmbient.a, 0.25f);
}

// Attenuation that sums to 0 would make the factor infinite and its product
// with a zero ambient component NaN.
TEST_F(LightSetTest, AZeroAttenuationSumStaysFinite)
{
    cTarvelLight* light = Light("Z", cTarvelLight::kPoint, 1.0f, 0.0f);
    light->mAmbient = {0.0f, 1.0f, 0.0f, 0.0f};
    EXPECT_EQ(Set().RankLights(0.0f, 0.0f, 0.0f), 1);
    EXPECT_TRUE(std::isfinite(light->mIntensity));
    EXPECT_GT(light->mIntensity, 1.0f);
    EXPECT_EQ(Set().mObjectAmbient.r, 0.0f);
    EXPECT_EQ(Set().mObjectAmbient.g, 1.0f);
    EXPECT_TRUE(std::isfinite(light->GetIntensityAt(0.0f, 0.0f, 0.0f, true)));
}

// 1 / sum with a negative sum is no light: the light is ranked behind a dim
// one, gives no ambient and reaches the shader with a factor of 0, where the
// sum turns negative (a falling linear term) and only there.
TEST_F(LightSetTest, ANegativeAttenuationSumIsDark)
{
    Set().SetAmbientLight(0.2f, 0.2f, 0.2f);
    cTarvelLight* dim = Light("D", cTarvelLight::kPoint, 1.0f, 50.0f);
    cTarvelLight* falling = Light("N", cTarvelLight::kPoint, 1.0f, 1.0f, -0.5f);
    falling->mAmbient = {1.0f, 1.0f, 1.0f, 0.0f};
    falling->mPosition = D3DXVECTOR3(4.0f, 0.0f, 0.0f);   // sum 1 - 0.5 x 4 = -1
    EXPECT_EQ(Set().RankLights(0.0f, 0.0f, 0.0f), 2);
    EXPECT_EQ(falling->mAttenuationFactor, 0.0f);
    EXPECT_EQ(falling->mIntensity, 0.0f);
    EXPECT_EQ(Order(), "DN");
    EXPECT_GT(dim->mIntensity, 0.0f);
    EXPECT_FLOAT_EQ(Set().mObjectAmbient.r, 0.2f);
    EXPECT_EQ(falling->GetIntensityAt(0.0f, 0.0f, 0.0f, true), 0.0f);
    // One unit away the sum is 0.5: lit as the formula says.
    EXPECT_FLOAT_EQ(falling->GetIntensityAt(3.0f, 0.0f, 0.0f, false), 2.0f);
}

// Brightest first; a later light passes an earlier one only when brighter,
// so the selection swaps leave ties in a changed order.
TEST_F(LightSetTest, RankingSortsInPlaceBrightestFirst)
{
    const struct {
        float a, b, c;
        const char* order;
    } cases[] = {
        {1.0f, 1.0f, 2.0f, "CBA"},
        {1.0f, 2.0f, 1.0f, "BAC"},
        {1.0f, 1.0f, 1.0f, "ABC"},
        {0.3f, 0.2f, 0.1f, "ABC"},
        {0.1f, 0.2f, 0.3f, "CBA"},
    };
    for (const auto& c : cases) {
        Set().SetLights();
        Light("A", cTarvelLight::kNoFalloff, c.a);
        Light("B", cTarvelLight::kNoFalloff, c.b);
        Light("C", cTarvelLight::kNoFalloff, c.c);
        EXPECT_EQ(Set().RankLights(0.0f, 0.0f, 0.0f), 3);
        EXPECT_EQ(Order(), c.order) << c.a << " " << c.b << " " << c.c;
    }
    // The order persists and is the start of the next ranking.
    Set().SetLights();
    cTarvelLight* near = Light("N", cTarvelLight::kPoint, 1.0f, 1.0f, 0.01f);
    cTarvelLight* far = Light("F", cTarvelLight::kPoint, 1.0f, 1.0f, 0.01f);
    far->mPosition = D3DXVECTOR3(1000.0f, 0.0f, 0.0f);
    Set().RankLights(900.0f, 0.0f, 0.0f);
    EXPECT_EQ(Order(), "FN");
    Set().RankLights(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(Order(), "NF");
    EXPECT_GT(near->mIntensity, far->mIntensity);
}

// A new light setting drops the lights (and the scripts' handles to them)
// and the shadow casters, and gives the shadows full strength again.
TEST_F(LightSetTest, SetLightsClearsLightsCastersAndStrength)
{
    gTarvel.mConfig.Shadows = 1;
    cTarvelLight* light = Light("L", cTarvelLight::kPoint);
    const uint32_t handle = gScriptHandles.Bind(light, eScriptObjectType::Light);
    ASSERT_EQ(gScriptHandles.Get<cTarvelLight>(handle, eScriptObjectType::Light), light);
    ASSERT_NE(Set().GetShadowCaster(light, nullptr), nullptr);
    Set().mShadowStrength = 0.3f;
    Set().mName = "night";

    Set().SetLights();
    EXPECT_EQ(Set().mLights.Count(), 0);
    EXPECT_EQ(Set().mShadows.Count(), 0);
    EXPECT_EQ(Set().mShadowStrength, 1.0f);
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::Light), nullptr);
    EXPECT_EQ(Set().mName, "night");

    // Shutdown lets go of them too.
    light = Light("M", cTarvelLight::kPoint);
    const uint32_t second = gScriptHandles.Bind(light, eScriptObjectType::Light);
    Set().Reset();
    EXPECT_EQ(Set().mLights.Count(), 0);
    EXPECT_EQ(gScriptHandles.Resolve(second, eScriptObjectType::Light), nullptr);
}

TEST_F(LightSetTest, ShadowCastersAreMadeOncePerPairAndNotWithShadowsOff)
{
    cTarvelLight* a = Light("A", cTarvelLight::kPoint);
    cTarvelLight* b = Light("B", cTarvelLight::kPoint);
    gTarvel.mConfig.Shadows = 0;
    EXPECT_EQ(Set().GetShadowCaster(a, nullptr), nullptr);
    EXPECT_EQ(Set().mShadows.Count(), 0);

    gTarvel.mConfig.Shadows = 1;
    cTarvelShadow* first = Set().GetShadowCaster(a, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->mLight, a);
    EXPECT_EQ(Set().GetShadowCaster(a, nullptr), first);
    EXPECT_NE(Set().GetShadowCaster(b, nullptr), first);
    EXPECT_EQ(Set().mShadows.Count(), 2);
}

// The shadow filter's blur, from an archive whose "shadow_cast" effect has
// the blur technique and the two floats.
class LightSetBlurTest : public RenderTest {
protected:
    void Start(DWORD postEffects)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        RegSetValueExA(key, "PostEffects", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&postEffects), 4);
        RegCloseKey(key);
        StartWith([](testkit::ArchiveWriter& writer) {
            const std::vector<std::string> techniques = {"cast_mobile", "blur_fade"};
            const std::string source =
                "float blurstart = -1;\nfloat blurwidth = -1;\n" + testkit::MinimalEffectSource(techniques);
            writer.AddShared(1, "shadow_cast.fx", 0, testkit::Bytes(source.begin(), source.end()), true);
        });
    }
    static std::vector<float> Blur(const char* name)
    {
        const cTarvelShaderBinding& binding = gTarvel.mLights.mBlurBinding;
        return Floats(binding.shader ? binding.shader->mEffect : nullptr, name);
    }
};

TEST_F(LightSetBlurTest, StartUpLoadsTheBlurWithPostEffects)
{
    Start(1);
    const cTarvelLightSet& lights = gTarvel.mLights;
    EXPECT_EQ(lights.mBlurLoaded, 1);
    EXPECT_STREQ(lights.mBlurBinding.techniqueName, "blur_fade");
    EXPECT_EQ(Blur("blurstart"), std::vector<float>{0.95f});
    EXPECT_EQ(Blur("blurwidth"), std::vector<float>{0.1f});
    EXPECT_TRUE(lights.mShadowFilter);
}

TEST_F(LightSetBlurTest, WithoutPostEffectsNoBlurAndNoFilter)
{
    Start(0);
    const cTarvelLightSet& lights = gTarvel.mLights;
    EXPECT_EQ(lights.mBlurLoaded, 0);
    EXPECT_EQ(lights.mBlurBinding.shader, nullptr);
    EXPECT_FALSE(lights.mShadowFilter);
    // The effect itself is loaded for the shadows, its floats untouched.
    cTarvelShaderBinding cast{};
    ASSERT_TRUE(gTarvel.mShaders.LoadShader("shadow_cast", "cast_mobile", &cast, false));
    EXPECT_EQ(Floats(cast.shader->mEffect, "blurstart"), std::vector<float>{-1.0f});
}

} // namespace
