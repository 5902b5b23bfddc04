#include "engine/gameplay/screen_control_radio.h"

#include <algorithm>

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"

namespace {

// The stage top: the layout below is relative to it.
constexpr int32_t kTop = 128;
constexpr int32_t kButtonSize = 64;
constexpr int32_t kLeftX = 210;
constexpr int32_t kRightX = 750;
constexpr int32_t kArrowY = kTop + 200;
constexpr int32_t kOkY = kTop + 360;
constexpr int32_t kPointerCursor = 4;

cTarvelImage* LoadImage(const char* name, float x, float y)
{
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mDepthOff = 1;
    image->SetRect(x, y, -1.0f, -1.0f);
    return image;
}

// The shared value that carries the tuned value between the scene's script
// and the dial, or null when the scene has no script object or no such
// value.
cTarvelScriptValue* ResultValue()
{
    const cTarvelScene* scene = gTarvel.mScene;
    if (!scene || !scene->mScriptObject)
        return nullptr;
    const cTarvelString name = scene->mScriptObject->name + "::RadioResult";
    return cTarvelGameplay::FindValue(name.c_str());
}

bool MouseIn(int32_t left, int32_t top)
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return gameplay.mMouseX >= left && gameplay.mMouseX <= left + kButtonSize && gameplay.mMouseY >= top &&
           gameplay.mMouseY <= top + kButtonSize;
}

} // namespace

cTarvelScreenControlRadio::cTarvelScreenControlRadio()
{
    mTypeId = kRadio;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("interface", "ui_vericon", &mHighlighted, true);
    shaders.LoadShader("interface", "ui_vericonbw", &mDimmed, true);
    mBack = LoadImage("radio_back", 0.0f, float(kTop + 100));
    mLine = LoadImage("radio_line", 0.0f, 0.0f);
    mOk = LoadImage("menu-ok", 0.0f, float(kOkY));
    mOk->SetRect(float((1024 - mOk->mHeader.width) / 2), float(kOkY), -1.0f, -1.0f);
    mLeft = LoadImage("menu-left", float(kLeftX), float(kArrowY));
    mRight = LoadImage("menu-right", float(kRightX), float(kArrowY));
    if (cTarvelActor* player = gTarvel.mPlayer)
        if (player->mControl)
            player->mControl->ClearWalk();
    if (const cTarvelScriptValue* result = ResultValue())
        mValue = Normalize(*result).integer;
    mValue = std::clamp(mValue, kLowest, kHighest);
}

cTarvelScreenControlRadio::~cTarvelScreenControlRadio()
{
    cTarvelScreenControlRadio::ReleaseResources();
}

bool cTarvelScreenControlRadio::OverOk() const
{
    const int32_t width = mOk ? mOk->mHeader.width : 0;
    return MouseIn((1024 - width) / 2, kOkY);
}

bool cTarvelScreenControlRadio::OverLeft() const
{
    return mValue > kLowest && MouseIn(kLeftX, kArrowY);
}

bool cTarvelScreenControlRadio::OverRight() const
{
    return mValue < kHighest && MouseIn(kRightX, kArrowY);
}

bool cTarvelScreenControlRadio::Update()
{
    if (TakeClick()) {
        if (OverOk()) {
            if (cTarvelScriptValue* result = ResultValue()) {
                result->integer = mValue;
                if (result->kind == 1)
                    result->Normalize();
            }
            cTarvelScene* scene = gTarvel.mScene;
            if (scene && scene->mScript && scene->mScriptObject)
                scene->mScript->CallEvent(scene->mScriptObject, "RadioSelected");
            mDone = true;
            return false;
        }
        if (OverLeft())
            --mValue;
        else if (OverRight())
            ++mValue;
    }
    gTarvel.mGraphics.mCursorKind = OverOk() || OverLeft() || OverRight() ? kPointerCursor : 0;
    return true;
}

void cTarvelScreenControlRadio::DrawButton(cTarvelImage* image, bool hovered)
{
    if (!image)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const cTarvelShaderBinding* binding = hovered ? &mHighlighted : &mDimmed;
    shaders.Use(binding);
    shaders.SetFloat2(binding, "intens", hovered ? 1.0f : 2.0f / 3.0f, 0.0f);
    image->Draw(false, false);
}

void cTarvelScreenControlRadio::RenderBack()
{
    DrawShade(0.0f, 0.0f, 0.0f, 0.0f);
    if (mBack)
        mBack->Draw(false, true);
    if (mLine) {
        mLine->SetRect(float(mValue - kLowest) * 12.9f + 340.0f, float(kTop + 199), -1.0f, -1.0f);
        mLine->Draw(false, true);
    }
    DrawButton(mOk, OverOk());
    if (mValue > kLowest)
        DrawButton(mLeft, OverLeft());
    if (mValue < kHighest)
        DrawButton(mRight, OverRight());
}

void cTarvelScreenControlRadio::ReleaseResources()
{
    for (cTarvelImage** image : {&mBack, &mLine, &mOk, &mLeft, &mRight}) {
        delete *image;
        *image = nullptr;
    }
}
