#include "engine/gameplay/hints.h"

#include "engine/core/tarvel.h"

cTarvelHints::cTarvelHints() : mState(0) {}
cTarvelHints::~cTarvelHints() = default;

void cTarvelHints::Show() {}

void cTarvelHints::FadeOut()
{
    if (mState == 1) {
        mState = 3;
        mStart = gTarvel.mTimer.mGameSeconds;
    } else if (mState == 2) {
        mState = 3;
    }
}

void cTarvelHints::Draw() {}

void cTarvelHints::Release() {}
