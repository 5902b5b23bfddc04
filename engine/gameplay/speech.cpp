#include "engine/gameplay/speech.h"

cTarvelSpeech::cTarvelSpeech() : mState(0), mHasVoice(false), mLineStart(0) {}
cTarvelSpeech::~cTarvelSpeech() = default;

int cTarvelSpeech::Init()
{
    return 0;
}

void cTarvelSpeech::Release() {}
