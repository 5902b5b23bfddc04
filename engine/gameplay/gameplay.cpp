#include "engine/gameplay/gameplay.h"

#include <cstdio>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"

cTarvelGameplay::cTarvelGameplay()
    : mStateFlags(0),
      mTransitionState(0),
      mMouseX(512),
      mMouseY(384),
      mMouseLimitX(1024 - 4),
      mMouseLimitY(768 - 4),
      mLeftLatch(0),
      mRightLatch(0),
      mActors{},
      mMainScript(nullptr)
{
}

cTarvelGameplay::~cTarvelGameplay()
{
    delete mMainScript;
}

int cTarvelGameplay::Init()
{
    std::printf("Initializing gameplay...\n");
    if (!mMainScript)
        mMainScript = new cTarvelScript("Main");
    // The interface images and fonts, until the gameplay start-up loads them.
    gTarvel.mGraphics.InitInterface();
    gTarvel.mFonts.LoadFonts();
    return mStandInResult;
}

void cTarvelGameplay::Update()
{
    // Before the latches are consumed: a click may end the line.
    if (!gTarvel.mMovie)
        gTarvel.mSpeech.Update();
    mLeftLatch = 0;
    mRightLatch = 0;
}

void cTarvelGameplay::Release()
{
    delete mMainScript;
    mMainScript = nullptr;
}

void UpdateWorld()
{
    // Until the gameplay issue lands: the movie, then the active controls.
    if (gTarvel.mMovie)
        gTarvel.mMovie->Update();
    if (gTarvel.mMovie && gTarvel.mConfig.Subtitle)
        gTarvel.mMovie->UpdateSubtitles();
    UpdateActiveControls();
    // The walk areas' enter and leave functions for the player.
    if (cTarvelScene* scene = gTarvel.mScene)
        for (int32_t i = 0; i < scene->mWalkAreas.count; ++i)
            scene->mWalkAreas.data[i]->UpdatePlayerTrigger();
    // Last, so the controls above read the contacts of the previous step.
    gTarvel.mPhysics.Update();
}
