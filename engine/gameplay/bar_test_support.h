#pragma once

// Test support of the verb and dialogue bars: a started engine with the bars'
// icons, the interface effect and font 0; a scene whose script the test
// assembles; a player whose control records its turns; and library
// functions through which the scripts fill the bars.

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/region_set.h"
#include "engine/render/image.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "platform/d3dx9/testing.h"
#include "tools/archive_writer.h"
#include "tools/font_writer.h"
#include "tools/image_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace bar_test {

inline std::vector<std::string> gCalls;
// What the hotspot and actor verbs added by bar__addVerb act on.
inline cTarvelRegionSet* gHotspot = nullptr;
inline cTarvelActor* gActor = nullptr;

inline void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

inline int32_t AddVerb(tScriptFrame* frame)
{
    gTarvel.mVerbBar.AddVerb(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                             gHotspot, gActor);
    return 0;
}

// An item's verb: the item is the calling machine and its this.
inline int32_t AddItemVerb(tScriptFrame* frame)
{
    gTarvel.mVerbBar.AddVerb(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                             nullptr, nullptr, frame->machine, frame->thisValue);
    return 0;
}

inline int32_t AddLine(tScriptFrame* frame)
{
    gTarvel.mDialogueBar.AddLine(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2));
    return 0;
}

// Keeps the player's place and records the turns it is asked for.
struct TurnRecorder : cTarvelActorControl {
    void GetPosition(float out[3]) override
    {
        for (int i = 0; i < 3; ++i)
            out[i] = position[i];
    }
    cTarvelMobileAnimation* TurnTo(const D3DXQUATERNION& target, float angle, bool finishWalk) override
    {
        turns.push_back({target, angle, finishWalk});
        return nullptr;
    }
    struct Turn {
        D3DXQUATERNION rotation;
        float angle;
        bool finishWalk;
    };
    float position[3] = {};
    std::vector<Turn> turns;
};

// The script text of a handler that adds one entry per (name, label,
// function) through the import.
inline std::string Adds(const char* import, const std::vector<std::vector<std::string>>& entries)
{
    std::string text;
    for (const std::vector<std::string>& entry : entries)
        text += "push int 0\npush string \"" + entry[0] + "\"\npush string \"" + entry[1] + "\"\npush string \"" +
                entry[2] + "\"\ncall " + import + "\n";
    return text;
}

class BarTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        writer.AddShared(1, "font1", 0, testkit::BuildGridFont(u"LookTakeAsk", 9), true);
        for (const char* name : {"verb-look", "verb-take", "verb-use", "verb-open", "verb-push", "verb-pull",
                                 "dialogue-a", "dialogue-b", "dialogue-c"})
            writer.AddShared(1, name, kResourceTga, testkit::BuildTga(testkit::Picture(64, 64), {}), true);
        // The icons' brightness reaches the effect as "intens".
        const std::string effect = "float2 intens = {0, 0};\n" +
                                   testkit::MinimalEffectSource(std::vector<std::string>{"ui_vericon", "ui_vericonbw"});
        writer.AddShared(1, "interface.fx", kResourceOther, testkit::Bytes(effect.begin(), effect.end()), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();

        cTarvelScript::AddLibraryFunction("bar__addVerb", AddVerb);
        cTarvelScript::AddLibraryFunction("bar__addItemVerb", AddItemVerb);
        cTarvelScript::AddLibraryFunction("bar__addLine", AddLine);
        gCalls.clear();
        cTarvelScript::sCallObserver = Observe;
        mScene = new cTarvelScene();
        mScene->mScript = new cTarvelScript("scene");
        gTarvel.mScene = mScene;
        mPlayer = new cTarvelActor("OFF", "", false);
        delete mPlayer->mControl;
        mPlayer->mControl = new TurnRecorder();
        gTarvel.mPlayer = mPlayer;
        mObject.kind = kScriptObject;
        mObject.name = "hs";
        mHotspot.mObject = &mObject;
        gHotspot = &mHotspot;
        gActor = nullptr;
        Now() = 50000;
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        ClearScreenControls();
        gHotspot = nullptr;
        gActor = nullptr;
        gTarvel.mScene = nullptr;
        gTarvel.mPlayer = nullptr;
        delete mScene;
        delete mPlayer;
        ScriptTestBase::TearDown();
    }

    // Loads the scene's script from assembled text.
    void SceneScript(const std::string& source)
    {
        const std::vector<uint8_t> image = AssembleScriptOrThrow(source);
        ASSERT_EQ(mScene->mScript->LoadImage(image.data(), image.size(), "scene"), 0);
    }

    static DWORD& Now() { return gTarvel.mTimer.mGameTime; }
    static void MouseAt(int32_t x, int32_t y)
    {
        gTarvel.mGameplay.mMouseX = x;
        gTarvel.mGameplay.mMouseY = y;
    }
    static void LeftClick(int32_t latch = 1) { gTarvel.mGameplay.mLeftLatch = latch; }
    static void RightClick(int32_t latch = 1) { gTarvel.mGameplay.mRightLatch = latch; }
    static int32_t Cursor() { return gTarvel.mGraphics.mCursorKind; }
    TurnRecorder& Control() { return *static_cast<TurnRecorder*>(mPlayer->mControl); }

    static bool OnStack(const cTarvelScreenControl* control, int32_t* times = nullptr)
    {
        int32_t n = 0;
        for (const cTarvelScreenControl* c : gScreenControls)
            n += c == control;
        if (times)
            *times = n;
        return n > 0;
    }

    // The top-left corner of an image's quad in logical units and the alpha
    // of its first vertex.
    static std::pair<float, float> Corner(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, 0), D3D_OK);
        const float* second = reinterpret_cast<const float*>(static_cast<uint8_t*>(data) + image->VertexStride());
        const cTarvelGraphics& graphics = gTarvel.mGraphics;
        std::pair<float, float> corner{(second[0] - graphics.mTexelOffsetX) / graphics.mScaleX,
                                       (second[1] - graphics.mTexelOffsetY) / graphics.mScaleY};
        image->mVertexBuffer->Unlock();
        return corner;
    }
    static uint32_t Alpha(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, 0), D3D_OK);
        uint32_t colour = 0;
        std::memcpy(&colour, static_cast<uint8_t*>(data) + 16, sizeof colour);
        image->mVertexBuffer->Unlock();
        return colour >> 24;
    }
    // The last value of an effect parameter.
    static std::vector<float> Param(const cTarvelShaderBinding& binding, const char* name)
    {
        if (!binding.shader || !binding.shader->mEffect)
            return {};
        auto values = platform::testing::EffectFloats(binding.shader->mEffect, name);
        return values ? *values : std::vector<float>();
    }

    cTarvelScene* mScene = nullptr;
    cTarvelActor* mPlayer = nullptr;
    cTarvelRegionSet mHotspot;
    cTarvelScriptValue mObject;
};

} // namespace bar_test
