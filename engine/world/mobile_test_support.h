#pragma once

// Fixture of the mobile tests: the engine started on an archive with the
// test's actors and motions, texture pictures, and mobile effects that
// declare every parameter a mobile sets, so the values can be read back,
// and the interface effect the walk arrow is drawn with.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "engine/render/render_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "tools/anim_file_writer.h"
#include "tools/mobile_actor_writer.h"

namespace pt = platform::testing;

// A control whose walk areas are the half-plane x < limit.
class HalfPlaneControl : public cTarvelActorControl {
public:
    bool IsOnWalkArea(float x, float) override { return x < mLimit; }
    float mLimit = 0.0f;
};

class MobileTest : public RenderTest {
public:
    struct Entry {
        std::string name;
        int type;
        testkit::Bytes data;
    };

protected:
    void TearDown() override
    {
        gTarvel.mPlayer = nullptr;
        gTarvel.mLights.SetLights();
        mMobiles.clear();
        pt::RecordDraws(false);
        RenderTest::TearDown();
    }

    // Starts the engine with these entries (actors type 7, motions 8) and the
    // pictures "tex_a", "tex_b", "tex_op" and "bump".
    void Start(const std::vector<Entry>& entries, bool perPixel = false)
    {
        StartWith([&](testkit::ArchiveWriter& writer) {
            for (const char* picture : {"tex_a", "tex_b", "tex_op", "bump"})
                writer.AddShared(1, picture, 5, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()),
                                 true);
            const std::string declarations =
                "int cull = -1;\ntexture normal;\nfloat3 la;\nfloat bi = -1;\n"
                "float3 lp1;\nfloat3 lp2;\nfloat3 lp3;\nfloat3 lp4;\nfloat3 lp5;\nfloat3 lp6;\n"
                "float li1 = -1;\nfloat li2 = -1;\nfloat li3 = -1;\nfloat li4 = -1;\nfloat li5 = -1;\nfloat li6 = -1;\n"
                "float3 lc1;\nfloat3 lc2;\nfloat3 lc3;\nfloat3 lc4;\nfloat3 lc5;\nfloat3 lc6;\n"
                "float4x4 walkarrowmat;\nfloat2 pixsize;\n";
            const std::vector<std::string> six = {"one_light",  "two_lights",  "three_lights",
                                                  "four_lights", "five_lights", "six_lights"};
            const std::vector<std::string> four(six.begin(), six.begin() + 4);
            for (const auto& [effect, techniques] :
                 {std::pair{"mobile_basic.fx", six}, std::pair{"mobile_normal.fx", six},
                  std::pair{"mobile_hair.fx", four}, std::pair{"mobile_hair_normal.fx", four},
                  std::pair{"interface.fx", std::vector<std::string>{"ui_walkarrow", "ui_tooltip"}}}) {
                const std::string source = declarations + testkit::MinimalEffectSource(techniques);
                writer.AddShared(1, effect, 0, testkit::Bytes(source.begin(), source.end()), true);
            }
            for (const Entry& entry : entries)
                writer.AddShared(1, entry.name, entry.type, entry.data, true);
        });
        gTarvel.mConfig.PerPixelLighting = perPixel ? 1 : 0;
    }

    cTarvelMobile* Loaded(const char* name)
    {
        mMobiles.push_back(std::make_unique<cTarvelMobile>());
        EXPECT_EQ(mMobiles.back()->Load(name), 0);
        return mMobiles.back().get();
    }

    // The parameter of the effect behind a named binding.
    static std::vector<float> Named(int index, const char* name)
    {
        return Floats(gTarvel.mShaders.mNamed[index].shader->mEffect, name);
    }

    // Values of a vertex or index buffer.
    template <class T, class Buffer>
    static std::vector<T> Read(Buffer* buffer, size_t first, size_t count)
    {
        std::vector<T> out;
        void* data = nullptr;
        if (!buffer || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
            return out;
        out.assign(static_cast<const T*>(data) + first, static_cast<const T*>(data) + first + count);
        buffer->Unlock();
        return out;
    }

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

    std::vector<std::unique_ptr<cTarvelMobile>> mMobiles;
};

inline testkit::Bytes Motion(const std::string& node, std::array<float, 3> from, std::array<float, 3> to, float turn,
                             float length)
{
    return testkit::BuildRootMotion(node, from.data(), to.data(), turn, length);
}

// A morph motion of one morph, from nothing to full over `seconds`.
inline testkit::Bytes MorphMotion(const std::string& morph, float seconds)
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::PMorphMotion);
    testkit::AnimMotionInfoChunk info;
    writer.AddMotionInfo(info, 101);
    testkit::AnimMorphSubMotionChunk sub;
    sub.name = morph;
    sub.keys = {{0.0f, 0}, {seconds, 65535}};
    writer.AddMorphSubMotion(sub);
    return writer.Finish();
}
