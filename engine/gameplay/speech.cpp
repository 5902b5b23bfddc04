#include "engine/gameplay/speech.h"

#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/font.h"
#include "engine/world/actor.h"

namespace {

constexpr uint32_t kDefaultSubtitleColour = 0xFFFFFFFFu;

uint32_t SubtitleColourOf(const cTarvelActor* actor)
{
    return actor->mSpeechColor;
}

// The speaker's talking animation of the line's name: it replaces the one
// before and blends in over 0.1 s at full weight.
void StartTalkingAnimation(cTarvelActor* speaker, const char* name)
{
    speaker->PlaySpeechAnimation(cTarvelString(name));
}

}  // namespace

cTarvelSpeech::cTarvelSpeech()
    : mState(0),
      mOffVoice(nullptr),
      mWithSound(false),
      mThought(false),
      mSkipRequested(false),
      mTextLine(nullptr),
      mStartMs(0),
      mSpeaker(nullptr)
{
}

cTarvelSpeech::~cTarvelSpeech()
{
    delete mOffVoice;
}

int cTarvelSpeech::Init()
{
    if (!mOffVoice)
        mOffVoice = new cTarvelActor("OFF", "", 0);
    return 0;
}

void cTarvelSpeech::Release()
{
    DeleteTextLine();
    mState = 0;
    mSpeaker = nullptr;
    delete mOffVoice;
    mOffVoice = nullptr;
}

void cTarvelSpeech::DeleteTextLine()
{
    gTarvel.mFonts.DeleteText(mTextLine);
    mTextLine = nullptr;
}

void cTarvelSpeech::Say(const char* text, const char* soundName, cTarvelActor* speaker, int32_t mode)
{
    // Without a speaker the player's colour; with neither, the default.
    const cTarvelActor* colourOf = speaker ? speaker : gTarvel.mPlayer;
    const uint32_t colour = colourOf ? SubtitleColourOf(colourOf) : kDefaultSubtitleColour;

    DeleteTextLine();
    mWithSound = gTarvel.mSound.PlaySpeech(soundName ? soundName : "", speaker, mode);
    if (mWithSound && speaker)
        StartTalkingAnimation(speaker, soundName);
    if (!mWithSound || gTarvel.mConfig.Subtitle == 1) {
        cTarvelFont& fonts = gTarvel.mFonts;
        // The subtitle row is the one movie subtitles use. Texts are laid
        // out in the 1024-unit layout, so its centre is the layout's, not
        // half the screen's pixels.
        mTextLine = fonts.CreateText(0, cTarvelString(text ? text : ""), kLayoutCentreX,
                                     fonts.mFonts[0].lineHeight, colour, kSubtitleFlags, 0);
        mStartMs = gTarvel.mTimer.mGameTime;
    }
    mState = 2;
    mSkipRequested = false;
    mSpeaker = speaker;
    mThought = false;
}

void cTarvelSpeech::Think(const char* text, const char* soundName, cTarvelActor* speaker, int32_t mode)
{
    if (soundName && std::strlen(soundName) > 1 && soundName[0] == '_')
        ++soundName;
    Say(text, soundName, speaker, mode);
    mThought = true;
}

void cTarvelSpeech::Update()
{
    if (mState != 2)
        return;
    bool over = mSkipRequested;
    if (!over) {
        if (mWithSound) {
            over = gTarvel.mSound.IsSpeechFinished();
        } else {
            // A subtitle cleared with the scene's texts has no time left.
            const int32_t lines = mTextLine ? mTextLine->mLineCount : 0;
            over = gTarvel.mTimer.SecondsSince(mStartMs, 1.0f) > kSecondsPerLine * static_cast<float>(lines);
        }
    }
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    bool clicked = false;
    if (!over && (gameplay.mStateFlags & cTarvelGameplay::kBlocked)) {
        // The click that ends the line is taken, so the scene does not see
        // it next frame: every latched event of both buttons goes.
        for (int button : {0, 1})
            for (int32_t kind : {1, 2})
                clicked = gameplay.TestButton(button, kind) || clicked;
    }
    if (clicked) {
        if (mWithSound)
            gTarvel.mSound.StopSpeech();
        over = true;
    }
    if (over)
        EndLine();
}

void cTarvelSpeech::EndLine()
{
    DeleteTextLine();
    mState = 0;
    mSpeaker = nullptr;
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kBlocked;
}
