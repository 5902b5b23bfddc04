#pragma once

#include <cstdint>

#include "engine/gameplay/screen_control.h"

class cTarvelControlBunkerWall;
class cTarvelImage;

// The aiming screen of the bunker wall: the mouse is held in the aim
// rectangle, the player looks where it points, a left click asks the scene
// script to shoot (at most every half second) and a right click ends it.
class cTarvelScreenControlBunkerWall : public cTarvelScreenControl {
public:
    static constexpr float kShotInterval = 0.5f;

    cTarvelScreenControlBunkerWall(cTarvelImage* crossHair, int32_t left, int32_t top, int32_t right,
                                   int32_t bottom, cTarvelControlBunkerWall* owner);

    bool Update() override;
    void Render() override;
    // One shot at the aim point: a ray into the physics world, an impulse on
    // the brick it hits, sparkles and a dust burst there.
    void ShootNow();

    cTarvelControlBunkerWall* mOwner;
    cTarvelImage* mCrossHair;   // the owner's
    int32_t mLeft;
    int32_t mTop;
    int32_t mRight;
    int32_t mBottom;
    float mLastShot = 0.0f;
    float mAimX = 0.0f;
    float mAimY = 0.0f;

private:
    // The owner, while it is still an active control.
    cTarvelControlBunkerWall* Owner() const;
    void CallScene(const char* suffix) const;
};
