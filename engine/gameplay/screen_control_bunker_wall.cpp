#include "engine/gameplay/screen_control_bunker_wall.h"

#include <algorithm>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control_bunker_wall.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/camera.h"
#include "engine/world/particle_dust.h"
#include "engine/world/particle_sparkle.h"
#include "engine/world/scene.h"

namespace {

constexpr int32_t kLookAtId = 34;
constexpr float kLookAtSpeed = 0.5f;
constexpr int32_t kCrossHairCursor = 12;

// The world point under a point of the display (pixels) at a view distance.
D3DXVECTOR3 Unprojected(float x, float y, float distance)
{
    const cTarvelCamera& camera = gTarvel.mCamera;
    D3DXVECTOR3 point(x, y, camera.DepthFromDistance(distance));
    camera.Unproject(&point);
    return point;
}

}  // namespace

cTarvelScreenControlBunkerWall::cTarvelScreenControlBunkerWall(cTarvelImage* crossHair, int32_t left, int32_t top,
                                                               int32_t right, int32_t bottom,
                                                               cTarvelControlBunkerWall* owner)
    : mOwner(owner), mCrossHair(crossHair), mLeft(left), mTop(top), mRight(right), mBottom(bottom)
{
    mTypeId = kBunkerWall;
}

cTarvelControlBunkerWall* cTarvelScreenControlBunkerWall::Owner() const
{
    // The wall goes with its scene or a new game; the screen may outlive it.
    for (cTarvelControl* control : gActiveControls)
        if (control == mOwner)
            return mOwner;
    return nullptr;
}

void cTarvelScreenControlBunkerWall::CallScene(const char* suffix) const
{
    const cTarvelControlBunkerWall* owner = Owner();
    cTarvelScene* scene = gTarvel.mScene;
    if (!owner || !scene || !scene->mScript)
        return;
    const cTarvelString name = owner->mSymbolName + suffix;
    scene->mScript->CallFunction(name.c_str(), nullptr);
}

bool cTarvelScreenControlBunkerWall::Update()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    // Held inside the rectangle; min before max so a reversed rectangle
    // cannot throw.
    gameplay.mMouseX = std::max(std::min(gameplay.mMouseX, mRight), mLeft);
    gameplay.mMouseY = std::max(std::min(gameplay.mMouseY, mBottom), mTop);
    mAimX = float(gameplay.mMouseX);
    mAimY = float(gameplay.mMouseY);

    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (cTarvelActor* player = gTarvel.mPlayer) {
        const D3DXVECTOR3 target =
            Unprojected(mAimX * graphics.mScaleX, (mAimY - 200.0f) * graphics.mScaleY, 2000.0f);
        player->SetLookAt(target.x, target.y, target.z, kLookAtId, kLookAtSpeed);
    }

    const float now = gTarvel.mTimer.mGameSeconds;
    if (gameplay.TestButton(0, 1) || gameplay.TestButton(0, 2)) {
        // Clicks faster than the gun are dropped.
        if (now > mLastShot + kShotInterval) {
            CallScene("Shoot");
            mLastShot = now;
        }
    }
    if (gameplay.TestButton(1, 1) || gameplay.TestButton(1, 2)) {
        mDone = true;
        if (cTarvelActor* player = gTarvel.mPlayer)
            player->RemoveLookAt(kLookAtId, kLookAtSpeed);
        CallScene("End");
        return false;
    }
    return true;
}

void cTarvelScreenControlBunkerWall::Render()
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (mCrossHair && Owner() && gTarvel.mTimer.mGameSeconds > mLastShot + kShotInterval) {
        const cTarvelGameplay& gameplay = gTarvel.mGameplay;
        const int32_t width = int32_t(mCrossHair->mHeader.width);
        const int32_t height = int32_t(mCrossHair->mHeader.height);
        mCrossHair->SetRect(float(gameplay.mMouseX - width / 2), float(gameplay.mMouseY - height / 2), -1.0f, -1.0f);
        mCrossHair->Draw(false, true);
    }
    graphics.mCursorKind = kCrossHairCursor;
}

void cTarvelScreenControlBunkerWall::ShootNow()
{
    cTarvelControlBunkerWall* owner = Owner();
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const float x = mAimX * graphics.mScaleX;
    const float y = mAimY * graphics.mScaleY;
    const D3DXVECTOR3 nearPoint = Unprojected(x, y, 1.0f);
    const D3DXVECTOR3 farPoint = Unprojected(x, y, 5000.0f);
    cTarvelPhysics& physics = gTarvel.mPhysics;
    sPhysicsRayHit hit{nullptr, 0.0f};
    physics.RayCast(nearPoint.x, nearPoint.y, nearPoint.z, farPoint.x, farPoint.y, farPoint.z, &hit);
    if (!hit.body)
        return;
    const D3DXVECTOR3 ray = farPoint - nearPoint;
    const D3DXVECTOR3 at = nearPoint + ray * hit.param;
    D3DXVECTOR3 direction;
    D3DXVec3Normalize(&direction, &ray);
    physics.AddImpulse(hit.body, 0.0f, 0.0f, 1000.0f, at.x, at.y, at.z);
    if (!owner)
        return;
    if (owner->mSparks)
        owner->mSparks->Spawn(at.x, at.y, at.z, -direction.x, -direction.y, -direction.z, 0.4f, 750.0f,
                              owner->mSparks->mMaxCount);
    auto* dust = new cTarvelParticleDust;
    dust->Init(5, "particle_dust");
    dust->Spawn(at.x, at.y, at.z, 0.0f, 0.1f, 0.0f, 1.0f, 2.0f, dust->mMaxCount);
    owner->mDust.Add(dust);
}
