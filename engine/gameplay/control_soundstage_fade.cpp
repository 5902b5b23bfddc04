#include "engine/gameplay/control_soundstage_fade.h"

#include <cmath>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"

namespace {
const bool kRegistered = RegisterControlClass(cTarvelControlSoundstageFade::kClassId, cTarvelControlSoundstageFade::Load);
}  // namespace

cTarvelControlSoundstageFade::cTarvelControlSoundstageFade(float duration, bool fadeOut)
    : cTarvelControl(kClassId), mDuration(duration), mStarted(gTarvel.mTimer.mGameSeconds), mFadeOut(fadeOut)
{
}

cTarvelControlSoundstageFade::cTarvelControlSoundstageFade(cTarvelSavegame& savegame) : cTarvelControl(kClassId)
{
    (void)kRegistered;
    mDuration = savegame.ReadFloat("Time", 1.0f);
    mFadeOut = savegame.ReadInt("Direction", 0) == 1;
    mStarted = savegame.ReadTime("Started", 0.0f);
    // A damaged start time would hold the fade forever: it starts again.
    if (!std::isfinite(mStarted))
        mStarted = gTarvel.mTimer.mGameSeconds;
}

cTarvelControl* cTarvelControlSoundstageFade::Load(cTarvelSavegame& savegame)
{
    return new cTarvelControlSoundstageFade(savegame);
}

void cTarvelControlSoundstageFade::Update()
{
    float t = 1.0f;
    // No time to fade in (or none that makes sense): the end volume at once.
    if (mDuration > 0.0f)
        t = (gTarvel.mTimer.mGameSeconds - mStarted) / mDuration;
    if (t <= 0.0f) {
        t = 0.0f;
    } else if (t >= 1.0f || t != t) {
        t = 1.0f;
        mFinished = true;
    }
    if (mFadeOut)
        t = 1.0f - t;
    gTarvel.mSound.SetChannelsVolume(t);
}

void cTarvelControlSoundstageFade::Save(cTarvelSavegame& savegame)
{
    SaveClass(savegame);
    savegame.WriteInt("Direction", mFadeOut ? 1 : 0);
    savegame.WriteFloat("Time", mDuration);
    savegame.WriteTime("Started", mStarted);
}
