#include "engine/world/actor_control.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "engine/core/maths.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/pathfinder.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/win32/crt.h"

namespace {

constexpr float kDegreesPerRadian = 57.2957763671875f;

float NextBlinkFrom(float now)
{
    return now + 4.0f + 2.0f * float(crt::rand()) / 32767.0f;
}

void Destroy(cTarvelMobileAnimation*& animation)
{
    delete animation;
    animation = nullptr;
}

void StopIfPlaying(cTarvelMobileAnimation* animation)
{
    if (animation && animation->mPlaying)
        animation->Stop(0.3f);
}

} // namespace

cTarvelActorControlDefault::cTarvelActorControlDefault(cTarvelActor* owner)
    : mOwner(owner), mPathfinder(new cTarvelPathfinder(this))
{
    mNextBlink = NextBlinkFrom(gTarvel.mTimer.GetSeconds());
    mBlinkAnim = NewAnimation(cTarvelMobileAnimation::kMorph);
    mBlinkAnim->Load("blink");
}

cTarvelActorControlDefault::~cTarvelActorControlDefault()
{
    for (cTarvelMobileAnimation*& animation : mRotationAnims)
        Destroy(animation);
    Destroy(mStairUpAnim);
    Destroy(mStairDownAnim);
    Destroy(mRunAnim);
    Destroy(mWalkAnim);
    Destroy(mBlinkAnim);
    delete mPathfinder;
}

cTarvelMobileAnimation* cTarvelActorControlDefault::NewAnimation(int32_t flags)
{
    return new cTarvelMobileAnimation(mOwner ? mOwner->mMobile : nullptr, flags);
}

void cTarvelActorControlDefault::StopOwnersAnimation()
{
    if (!mOwner)
        return;
    if (mOwner->mAnimation) {
        mOwner->mAnimation->Stop(0.3f);
        Destroy(mOwner->mAnimation);
    }
    mOwner->mTrigAnim = false;
}

void cTarvelActorControlDefault::Update()
{
    try {
        UpdateSteps();
    } catch (const std::exception&) {
        std::fputs("Handled exception in cTarvelActorControlDefault::Update.\n", stdout);
    }
}

void cTarvelActorControlDefault::UpdateSteps()
{
    cTarvelMobile* mobile = mOwner ? mOwner->mMobile : nullptr;
    cTarvelMobile* linked = mOwner ? mOwner->mLinkedMobile : nullptr;
    cTarvelPathfinder& path = *mPathfinder;
    const float frameTime = gTarvel.mTimer.mFrameSeconds;
    const float prevY = mobile ? mobile->mPosition.y : 0.0f;

    float speed = 1.0f;
    if (mStairing)
        speed = path.mMode == cTarvelPathfinder::kRun ? mStairRatio / 1.2f : mStairRatio;
    path.Step(mWalkSpeedFac * speed);

    const float y = mobile ? mobile->mPosition.y : 0.0f;
    const bool wentUp = y > prevY;
    cTarvelWalkArea* stair = nullptr;
    if (path.mMode != cTarvelPathfinder::kIdle && mobile) {
        for (int32_t i = mStairLayers.count - 1; i >= 0 && !stair; --i)
            if (mStairLayers.data[i] && mStairLayers.data[i]->IsInside(mobile->mPosition.x, mobile->mPosition.z))
                stair = mStairLayers.data[i];
    }
    if (stair && mStairing && wentUp != mStairUp) {
        if (mStairAnim)
            mStairAnim->Stop(0.3f);
        mStairing = false;
        mStairAnim = nullptr;
    } else if (stair && !mStairing && (mStairUpAnim || mStairDownAnim)) {
        StopOwnersAnimation();
        StopIfPlaying(mWalkAnim);
        StopIfPlaying(mRunAnim);
        mStairAnim = wentUp ? mStairUpAnim : mStairDownAnim;
        mStairUp = wentUp;
        if (mStairAnim) {
            mStairAnim->Play(0.32f, 1.0f);
            mStairing = true;
            // A stair of height 0 moves at the plain pace.
            mStairRatio = stair->mStairHeight != 0.0f ? stair->mStairWidth / stair->mStairHeight * 0.2f + 0.6f : 1.0f;
        }
    }
    if (mStairing && !stair) {
        if (mStairAnim)
            mStairAnim->Stop(0.3f);
        mStairAnim = nullptr;
        mStairing = false;
        cTarvelMobileAnimation* cycle = path.mMode == cTarvelPathfinder::kWalk  ? mWalkAnim
                                        : path.mMode == cTarvelPathfinder::kRun ? mRunAnim
                                                                                : nullptr;
        if (cycle)
            cycle->Play(0.5f, 1.0f);
    }

    if (mStairing) {
        // The stair animation follows the height climbed, not the clock.
        float position = 0.0f;
        if (stair->mStairHeight != 0.0f)
            position = mStairUp ? std::fabs(y - stair->mStairLowerLevel) / (2.0f * stair->mStairHeight)
                                : std::fabs(stair->mStairUpperLevel - y) / (2.0f * stair->mStairHeight);
        if (mobile)
            mobile->Update(position);
        if (linked)
            linked->Update(frameTime);
    } else {
        if (!path.mTurnAnim) {
            if (mWalkAnim && mWalkAnim->mPlaying && path.mMode != cTarvelPathfinder::kWalk)
                mWalkAnim->Stop(0.3f);
            if (mRunAnim && mRunAnim->mPlaying && path.mMode != cTarvelPathfinder::kRun)
                mRunAnim->Stop(0.3f);
            cTarvelMobileAnimation* cycle = path.mMode == cTarvelPathfinder::kWalk  ? mWalkAnim
                                            : path.mMode == cTarvelPathfinder::kRun ? mRunAnim
                                                                                    : nullptr;
            if (cycle && !cycle->mPlaying) {
                StopOwnersAnimation();
                cycle->Play(0.25f, 1.0f);
            }
        }
        mStanding = false;
        float step = -1.0f;
        if (path.mTurnAnim) {
            step = frameTime;
        } else if (path.mMode == cTarvelPathfinder::kWalk) {
            step = path.mStepDistance * 0.0085f;
            if (mWalkAnim && mWalkCycles != 0.0f)
                step *= mWalkAnim->GetDuration() / (mWalkCycles * 1.2f);
        } else if (path.mMode == cTarvelPathfinder::kRun) {
            step = path.mStepDistance * 0.0032f;
            if (mRunAnim && mRunCycles != 0.0f)
                step *= mRunAnim->GetDuration() / (mRunCycles * 0.73f);
        } else {
            mStanding = true;
        }
        if (step >= 0.0f) {
            if (mobile)
                mobile->Update(step);
            if (linked)
                linked->Update(frameTime);
        }
    }

    mWalking = path.mWaypoints.count > 1;
    const float now = gTarvel.mTimer.GetSeconds();
    if (now > mNextBlink && mBlinkAnim) {
        mBlinkAnim->Play(0.0f, 1.0f);
        mNextBlink = NextBlinkFrom(now);
    }
}

void cTarvelActorControlDefault::CollectRenderItems(tArray<sRenderItem>& list)
{
    if (!mOwner || !mOwner->mVisible)
        return;
    if (mOwner->mMobile)
        mOwner->mMobile->CollectRenderItems(list, 0);
    if (mOwner->mLinkedMobile)
        mOwner->mLinkedMobile->CollectRenderItems(list, 0);
}

void cTarvelActorControlDefault::WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea* targetArea,
                                        cTarvelCamera* viewCamera)
{
    if (!mWalkAnim)
        return;
    const int32_t oldMode = mPathfinder->mMode;
    mPathfinder->mDestRot = destRot;
    mPathfinder->mCbScript = nullptr;
    const float target[3] = {x, y, z};
    mPathfinder->WalkTo(target, targetArea, viewCamera);
    mWalking = mPathfinder->mWaypoints.count > 1;
    // A walk that replaces a run keeps running.
    if (mWalking && oldMode == cTarvelPathfinder::kRun)
        SetRun(true);
}

cTarvelMobileAnimation* cTarvelActorControlDefault::TurnTo(const D3DXQUATERNION& target, float minAngleDegrees,
                                                           bool finishWalkFirst)
{
    cTarvelMobile* mobile = mOwner ? mOwner->mMobile : nullptr;
    if (!mobile)
        return nullptr;
    D3DXQUATERNION inverse, relative;
    D3DXQuaternionInverse(&inverse, &mobile->mRotation);
    D3DXQuaternionMultiply(&relative, &target, &inverse);
    D3DXVECTOR3 axis;
    float angle = 0.0f;
    D3DXQuaternionToAxisAngle(&relative, &axis, &angle);
    float a = angle * kDegreesPerRadian;
    if (axis.y < 0.0f)
        a = -a;
    while (a > 180.0f)
        a -= 360.0f;
    while (a < -180.0f)
        a += 360.0f;
    if (std::fabs(a) < minAngleDegrees)
        return nullptr;

    int slot = -1;
    if (a > 120.0f && mRotationAnims[5])
        slot = 5;
    else if (a > 60.0f && mRotationAnims[4])
        slot = 4;
    else if (a > 0.0f && mRotationAnims[3])
        slot = 3;
    else if (a < -120.0f && mRotationAnims[0])
        slot = 0;
    else if (a < -60.0f && mRotationAnims[1])
        slot = 1;
    else if (a < 0.0f && mRotationAnims[2])
        slot = 2;
    if (slot < 0)
        return nullptr;
    cTarvelMobileAnimation* animation = mRotationAnims[slot];
    if (finishWalkFirst)
        mPathfinder->FinishWalk(false);
    const float total = animation->GetTurnAngle(a > 0.0f);
    float scale = 1.0f;
    if (total != 0.0f) {
        scale = a / (total * kDegreesPerRadian);
        if (scale > 1.0f)
            scale = 1.0f;
    }
    animation->mInstanceFactor = scale;
    animation->Play(0.3f, 1.5f);
    mobile->mRotationEnd = false;
    return animation;
}

void cTarvelActorControlDefault::SetCallback(cTarvelScript* script, cTarvelString label, cTarvelScriptValue* symbol)
{
    mPathfinder->mCbScript = script;
    mPathfinder->mCbSerial = script ? script->mSerial : 0;
    mPathfinder->mCbLabel = label;
    mPathfinder->mCbSymbol = symbol;
}

cTarvelScriptValue* cTarvelActorControlDefault::GetCallbackSymbol()
{
    return mPathfinder->mCbSymbol;
}

cTarvelString cTarvelActorControlDefault::GetCallbackLabel()
{
    return mPathfinder->mCbLabel;
}

void cTarvelActorControlDefault::SetRun(bool run)
{
    if (mPathfinder->mMode == cTarvelPathfinder::kIdle)
        return;
    mPathfinder->mMode = run && mRunAnim ? cTarvelPathfinder::kRun : cTarvelPathfinder::kWalk;
}

void cTarvelActorControlDefault::FinishWalk(bool jumpToEnd)
{
    mPathfinder->FinishWalk(jumpToEnd);
}

float cTarvelActorControlDefault::GetFloorHeight(float x, float z, float fallback)
{
    float result = fallback;
    if (fallback == kNoFallback)
        result = mOwner && mOwner->mMobile ? mOwner->mMobile->mPosition.y : 0.0f;
    if (mPathfinder->mWalkArea)
        mPathfinder->mWalkArea->GetHeightAt(x, z, result);
    return result;
}

bool cTarvelActorControlDefault::IsOnWalkArea(float x, float z)
{
    return mPathfinder->IsInside(x, z, 1);
}

void cTarvelActorControlDefault::ReleaseAnimations()
{
    Destroy(mWalkAnim);
    Destroy(mRunAnim);
    Destroy(mStairUpAnim);
    Destroy(mStairDownAnim);
    for (cTarvelMobileAnimation*& animation : mRotationAnims)
        Destroy(animation);
    mStairAnim = nullptr;
    mStairing = false;
    // A walk that waited for the freed turn would find no curves: it starts
    // now, from where the actor stands.
    if (mPathfinder->mTurnAnim) {
        mPathfinder->mTurnAnim = nullptr;
        mPathfinder->EndTurn(-1.0f);
    }
}

void cTarvelActorControlDefault::Stop()
{
    if (mPathfinder->mWaypoints.count > 0)
        ClearWalk();
    StopIfPlaying(mWalkAnim);
    StopIfPlaying(mRunAnim);
}

void cTarvelActorControlDefault::ClearWalk()
{
    mPathfinder->mMode = cTarvelPathfinder::kIdle;
    mPathfinder->mWaypoints.count = 0;
    mPathfinder->mCbScript = nullptr;
}

void cTarvelActorControlDefault::SetPosition(float x, float y, float z)
{
    if (mOwner && mOwner->mMobile)
        mOwner->mMobile->SetPosition(x, y, z);
}

void cTarvelActorControlDefault::GetPosition(float out[3])
{
    const cTarvelMobile* mobile = mOwner ? mOwner->mMobile : nullptr;
    out[0] = mobile ? mobile->mPosition.x : 0.0f;
    out[1] = mobile ? mobile->mPosition.y : 0.0f;
    out[2] = mobile ? mobile->mPosition.z : 0.0f;
}

void cTarvelActorControlDefault::SetRotation(const float q[4])
{
    if (mOwner && mOwner->mMobile)
        mOwner->mMobile->SetRotation(D3DXQUATERNION(q[0], q[1], q[2], q[3]));
}

void cTarvelActorControlDefault::SetRotationAngles(float ax, float ay, float az)
{
    if (mOwner && mOwner->mMobile)
        mOwner->mMobile->SetRotationXYZ(ax, ay, az);
}

void cTarvelActorControlDefault::GetRotation(float out[4])
{
    const cTarvelMobile* mobile = mOwner ? mOwner->mMobile : nullptr;
    const D3DXQUATERNION q = mobile ? mobile->mRotation : D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
    out[3] = q.w;
}

void cTarvelActorControlDefault::SetWalkNRunCycle(const cTarvelString& walkName, const cTarvelString& runName)
{
    cTarvelMobileAnimation** slots[2] = {&mWalkAnim, &mRunAnim};
    const cTarvelString* names[2] = {&walkName, &runName};
    for (int i = 0; i < 2; ++i) {
        if (*slots[i] && mStairAnim == *slots[i])
            mStairAnim = nullptr;
        Destroy(*slots[i]);
        if (names[i]->Length() == 0 || !gTarvel.mResources.Exists(names[i]->c_str(), 8))
            continue;
        *slots[i] = NewAnimation(cTarvelMobileAnimation::kInPlace);
        (*slots[i])->Load(*names[i]);
        (*slots[i])->mLoop = true;
    }
}

void cTarvelActorControlDefault::SetRotationMove(int slot, const cTarvelString& name)
{
    if (slot < 0 || slot > 5)
        return;
    if (mPathfinder->mTurnAnim == mRotationAnims[slot])
        mPathfinder->mTurnAnim = nullptr;
    Destroy(mRotationAnims[slot]);
    if (name.Length() == 0 || !gTarvel.mResources.Exists(name.c_str(), 8))
        return;
    mRotationAnims[slot] = NewAnimation(0);
    mRotationAnims[slot]->Load(name);
    mRotationAnims[slot]->GetTurnAngle(slot >= 3);
}

cTarvelWalkArea* cTarvelActorControlDefault::SetWalkLayer(cTarvelWalkArea* walkArea)
{
    cTarvelWalkArea* previous = mPathfinder->mWalkArea;
    mPathfinder->SetWalkLayer(walkArea);
    return previous;
}

namespace {

const char* const kCycleElements[4] = {"WalkingAnim", "RunningAnim", "StairUpAnim", "StairDownAnim"};

} // namespace

void cTarvelActorControlDefault::Save(cTarvelSavegame& savegame)
{
    savegame.SetAttributeInt("class", mControlClass);
    savegame.WriteFloat("WalkCycles", mWalkCycles);
    savegame.WriteFloat("RunCycles", mRunCycles);
    savegame.WriteTime("NextBlink", mNextBlink);
    savegame.WriteFloat("WalkSpeedFac", mWalkSpeedFac);
    savegame.WriteFloat("StairRatio", mStairRatio);
    savegame.WriteInt("StairUp", mStairUp ? 1 : 0);
    savegame.WriteInt("Stairing", mStairing ? 1 : 0);
    savegame.WriteInt("StairLayerCount", mStairLayers.count);
    char key[32];
    for (int32_t i = 0; i < mStairLayers.count; ++i) {
        std::snprintf(key, sizeof key, "StairLayer%d", int(i));
        savegame.WriteString(key, mStairLayers.data[i] ? mStairLayers.data[i]->Name() : "");
    }
    cTarvelMobileAnimation* cycles[4] = {mWalkAnim, mRunAnim, mStairUpAnim, mStairDownAnim};
    for (int i = 0; i < 4; ++i) {
        if (!cycles[i])
            continue;
        savegame.AddElement(kCycleElements[i]);
        cycles[i]->Save(savegame);
        savegame.LeaveElement();
    }
    savegame.AddElement("Rotate");
    for (int i = 0; i < 6; ++i) {
        if (!mRotationAnims[i])
            continue;
        std::snprintf(key, sizeof key, "R%d", i);
        savegame.WriteString(key, mRotationAnims[i]->mName);
    }
    savegame.LeaveElement();
    savegame.AddElement("Pathfinder");
    mPathfinder->Save(savegame);
    savegame.LeaveElement();
}

void cTarvelActorControlDefault::Load(cTarvelSavegame& savegame)
{
    mWalkCycles = savegame.ReadFloat("WalkCycles", 1.0f);
    mRunCycles = savegame.ReadFloat("RunCycles", 1.0f);
    mNextBlink = savegame.ReadTime("NextBlink", 5.0f);
    mWalkSpeedFac = savegame.ReadFloat("WalkSpeedFac", 1.0f);
    mStairRatio = savegame.ReadFloat("StairRatio", 1.0f);
    mStairUp = savegame.ReadInt("StairUp", 0) != 0;
    mStairing = savegame.ReadInt("Stairing", 0) != 0;
    const int32_t layers = savegame.ReadInt("StairLayerCount", 0);
    char key[32];
    const cTarvelScene* scene = gTarvel.mScene;
    // Only the layers present are read; a huge count finds nothing more.
    for (int32_t i = 0; i < layers && scene; ++i) {
        std::snprintf(key, sizeof key, "StairLayer%d", int(i));
        const cTarvelString name = savegame.ReadString(key, "\x01");
        if (name == "\x01")
            break;
        if (cTarvelWalkArea* area = scene->FindWalkArea(name.c_str()))
            mStairLayers.Add(area);
    }
    cTarvelMobileAnimation** cycles[4] = {&mWalkAnim, &mRunAnim, &mStairUpAnim, &mStairDownAnim};
    for (int i = 0; i < 4; ++i) {
        if (!savegame.EnterElement(kCycleElements[i]))
            continue;
        Destroy(*cycles[i]);
        *cycles[i] = NewAnimation(cTarvelMobileAnimation::kInPlace);
        (*cycles[i])->LoadState(savegame);
        savegame.LeaveElement();
    }
    mStairAnim = nullptr;
    if (savegame.EnterElement("Rotate")) {
        for (int i = 0; i < 6; ++i) {
            std::snprintf(key, sizeof key, "R%d", i);
            const cTarvelString name = savegame.ReadString(key, "");
            SetRotationMove(i, name);
        }
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Pathfinder")) {
        mPathfinder->Load(savegame);
        savegame.LeaveElement();
    }
}
