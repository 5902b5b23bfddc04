#include "engine/sound/sound.h"

#include <cstdio>

cTarvelSound::cTarvelSound() {}
cTarvelSound::~cTarvelSound() = default;

int cTarvelSound::Initialize()
{
    std::printf("Initializing sound...\n");
    return mStandInResult;
}

void cTarvelSound::Update() {}

void cTarvelSound::StopSpeech() {}

void cTarvelSound::Shutdown() {}
