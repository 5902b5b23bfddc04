#pragma once

#include <cstdint>

#include "engine/core/string.h"

namespace Anim {
class Motion;
class MotionInstance;
} // namespace Anim

class cTarvelMobile;
class cTarvelSavegame;

// One motion playing on one mobile: a skeletal or progressive morph motion
// from the archive and the motion instance made from it.
class cTarvelMobileAnimation {
public:
    // Flags.
    static constexpr int32_t kNoBlendIn = 0x01;
    static constexpr int32_t kNoFadeOut = 0x02;
    static constexpr int32_t kBackward = 0x10;
    static constexpr int32_t kLowPriority = 0x20;
    static constexpr int32_t kInPlace = 0x40;
    static constexpr int32_t kMorph = 0x80;
    // The game's mark on an instance whose root motion moves the mobile.
    static constexpr uint16_t kRepositioningFlag = 0x8000;

    cTarvelMobileAnimation(cTarvelMobile* owner, int32_t flags);
    ~cTarvelMobileAnimation();
    cTarvelMobileAnimation(const cTarvelMobileAnimation&) = delete;
    cTarvelMobileAnimation& operator=(const cTarvelMobileAnimation&) = delete;

    void SetOwner(cTarvelMobile* owner);
    // 0, or -1 when the archive has no such motion.
    int Load(const cTarvelString& name);
    int Read(int slot);
    void Play(float blend, float speed);
    void PlayRange(float blend, float start, float end);
    void Stop(float fade);
    void Update();
    void StopIfPlaying();
    void ProcessEvents();
    float GetDuration() const;
    // The instance's time; 0 without one.
    float GetCurrentTime() const;
    float GetTurnAngle(bool positive);
    void Save(cTarvelSavegame& savegame);
    void LoadState(cTarvelSavegame& savegame);

    // The instance is still in the owner's motion system.
    bool IsListed() const;
    // The owner's actor instance went away with everything on it.
    void ForgetInstance();
    // The owner is being destroyed.
    void Detach();

    cTarvelMobile* mOwner;
    Anim::Motion* mMotion = nullptr;
    Anim::MotionInstance* mInstance = nullptr;
    uint8_t mConstructed = 1;
    bool mPlaying = false;
    bool mLoop = false;
    int32_t mFlags;
    float mFadeOutTime = 0.0f;
    float mDuration = 0.0f;
    float mTurnAngle = 0.0f;
    bool mTurnAngleComputed = false;
    float mInstanceFactor = 1.0f;
    cTarvelString mName;

private:
    void ReleaseMotion();
};
