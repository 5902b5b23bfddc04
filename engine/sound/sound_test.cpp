#include "engine/sound/sound.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <map>
#include <set>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "platform/bink/testing.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/testing.h"
#include "tools/archive_writer.h"
#include "tools/script_assembler.h"

namespace {

using namespace platform::testing;
using ::testing::HasSubstr;

int gMarks = 0;
std::string gWaitLabel;

int32_t Mark(tScriptFrame*)
{
    ++gMarks;
    return 0;
}

// Plays "click" with the caller's continuation as its callback and waits.
int32_t WaitForClick(tScriptFrame* frame)
{
    gWaitLabel = frame->machine->MakeTempName().c_str();
    gTarvel.mSound.SetupSound("click", "click", 0, 0);
    gTarvel.mSound.PlaySound("click", 1.0f, gWaitLabel.c_str(), 0, 0);
    frame->machine->Suspend(true);
    return 0;
}

class SoundTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ResetFmod();
        ResetBink();
        testkit::ArchiveWriter writer;
        for (int language : {1, 7, 9})
            writer.AddLanguage(language);
        auto ogg = [](double seconds) { return EncodeOgg(MakeTone(seconds, 22050, 2, 330), 22050, 2); };
        auto wav = [](double seconds) { return EncodeWav(MakeTone(seconds, 8000, 1, 660), 8000, 1); };
        const std::map<std::string, std::pair<int, std::vector<uint8_t>>> files = {
            {"theme", {kResourceOgg, ogg(2.0)}},
            {"theme2", {kResourceOgg, ogg(1.0)}},
            {"theme_low", {kResourceOgg, EncodeOgg(MakeTone(2.0, 22050, 2, 110), 22050, 2)}},
            {"line1", {kResourceOgg, ogg(0.5)}},
            {"bad", {kResourceOgg, std::vector<uint8_t>(400, 0x42)}},
            {"click", {kResourceWav, wav(0.3)}},
            {"step1", {kResourceWav, wav(0.2)}},
            {"step2", {kResourceWav, wav(0.25)}},
            {"step3", {kResourceWav, wav(0.35)}},
            {"boom", {kResourceWav, wav(0.4)}},
            {"rain", {kResourceOgg, ogg(0.6)}},
        };
        for (const auto& [name, file] : files)
            writer.AddShared(1, name, file.first, file.second, false);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        gMarks = 0;
        gWaitLabel.clear();
        gLibraryFunctions.Clear();
        cTarvelScript::AddLibraryFunction("sndtest__mark", Mark);
        cTarvelScript::AddLibraryFunction("sndtest__waitForClick", WaitForClick);
        gTarvel.mTimer.mFrameSeconds = 0.5f;
    }

    void TearDown() override
    {
        // Scenes do not own a script here; the test's script goes with it.
        if (gTarvel.mScene && gTarvel.IsScriptLive(gTarvel.mScene->mScript))
            delete gTarvel.mScene->mScript;
        if (gTarvel.mScene)
            gTarvel.mScene->mScript = nullptr;
        gLibraryFunctions.Clear();
        EngineTest::TearDown();
        ResetFmod();
        ResetBink();
    }

    cTarvelSound& Sound() { return gTarvel.mSound; }

    // The clock moves on and the sound system runs a frame.
    void Frame(uint32_t ms = 0)
    {
        AdvanceClock(ms);
        Sound().Update();
    }

    static const FmodChannelState* ChannelOf(FMOD::Channel* handle)
    {
        static std::vector<FmodChannelState> channels;
        channels = FmodChannels();
        for (const FmodChannelState& c : channels)
            if (c.handle == handle)
                return &c;
        return nullptr;
    }

    // A scene whose script is assembled from text.
    cTarvelScript* SceneScript(const char* source)
    {
        std::vector<uint8_t> image = AssembleScriptOrThrow(source);
        auto* script = new cTarvelScript();
        script->LoadImage(image.data(), image.size(), "scene");
        gTarvel.mScene = new cTarvelScene();
        gTarvel.mScene->mScript = script;
        return script;
    }
};

TEST_F(SoundTest, StartsWithTheDesignedDeviceSettingsGroupsAndFilter)
{
    EXPECT_THAT(Log(), HasSubstr("Initializing sound...\n"));
    FmodSystemState s = FmodSystem();
    EXPECT_TRUE(s.initialised);
    EXPECT_EQ(s.output, FMOD_OUTPUTTYPE_DSOUND);
    EXPECT_EQ(s.dopplerScale, 1.0f);
    EXPECT_EQ(s.distanceFactor, 100.0f);
    EXPECT_EQ(s.rolloffScale, 1.0f);
    EXPECT_EQ(s.maxWorldSize, 100000.0f);
    EXPECT_FALSE(s.dspBufferSet) << "SoundBuffer 1 keeps the device's buffer";
    EXPECT_EQ(std::vector<int>(s.hardwareChannels, s.hardwareChannels + 4), (std::vector<int>{32, 64, 32, 64}));
    EXPECT_EQ(s.softwareChannels, 64);
    EXPECT_EQ(s.maxChannels, 200);
    EXPECT_EQ(s.initFlags, 0x800u);
    EXPECT_EQ(s.extraDriverData, static_cast<void*>(gTarvel.mWindow));
    EXPECT_EQ(s.groups, (std::vector<std::string>{"master", "0", "1", "2", "3", "4"}));
    EXPECT_EQ(BinkSoundOutput(), reinterpret_cast<UINT_PTR>(s.outputHandle));
    EXPECT_NE(s.outputHandle, nullptr);

    // The filter on group 4 is not in the list that scene changes clear.
    auto dsps = FmodDsps();
    ASSERT_EQ(dsps.size(), 1u);
    EXPECT_EQ(dsps[0].type, FMOD_DSP_TYPE_HIGHPASS);
    EXPECT_EQ(dsps[0].group, "4");
    EXPECT_EQ(dsps[0].params, (std::vector<float>{1200.0f, 8.0f}));
    EXPECT_TRUE(dsps[0].active);
    EXPECT_EQ(Sound().mDSPs.count, 0);
    Sound().StopSceneSounds();
    Frame();
    EXPECT_EQ(FmodDsps().size(), 1u);
}

TEST_F(SoundTest, SoundBufferCountsBuffersBeyondTwo)
{
    for (uint32_t setting : {0u, 1u, 2u, 3u}) {
        Sound().Shutdown();
        gTarvel.mConfig.SoundBuffer = setting;
        ASSERT_EQ(Sound().Initialize(), 0);
        FmodSystemState s = FmodSystem();
        EXPECT_EQ(s.dspBufferSet, setting > 1) << setting;
        if (setting > 1) {
            EXPECT_EQ(s.dspBufferLength, 1024u);
            EXPECT_EQ(s.dspBufferCount, int(setting + 2));
        }
    }
    EXPECT_EQ(LiveFmodSystems(), 1);
}

TEST_F(SoundTest, FailuresOfTheDeviceAreFatal)
{
    const struct {
        const char* call;
        const char* message;
        const char* line;
    } cases[] = {
        {"System_Create", "FMOD creation failed: The sound output could not be started.", "Line: 39"},
        {"init", "FMOD creation failed: The sound output could not be started.", "Line: 53"},
        {"createChannelGroup", "Channel group creation failed: The sound output could not be started.",
         "Line: 61"},
        {"createDSPByType", "DSP init failed: The sound output could not be started.", "Line: 486"},
    };
    for (const auto& c : cases) {
        Sound().Shutdown();
        FailFmodCall(c.call, FMOD_ERR_OUTPUT_INIT);
        std::string text = CatchFatalError([&] { Sound().Initialize(); });
        EXPECT_THAT(text, HasSubstr(c.message)) << c.call;
        EXPECT_THAT(text, HasSubstr(c.line)) << c.call;
        EXPECT_THAT(text, HasSubstr("class_sound")) << c.call;
        FailFmodCall(c.call, FMOD_OK);
    }
}

TEST_F(SoundTest, MusicOpensInUpdateAndTheSameMusicGoesOn)
{
    sSoundChannel* entry = Sound().PlayMusic("theme", "", kSoundLoop, false);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->kind, kSoundKindMusic);
    EXPECT_EQ(entry->state, kSoundOpening);
    EXPECT_EQ(entry->channel, nullptr);
    Frame();   // the layer finishes the open
    Frame();   // the entry starts its channel
    ASSERT_EQ(entry->state, kSoundPlaying);
    const FmodChannelState* c = ChannelOf(entry->channel);
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->volume, 127.0f / 255.0f * 0.5f);
    EXPECT_TRUE(c->stream);
    EXPECT_TRUE(c->loop);
    EXPECT_TRUE(c->hasCallback);
    EXPECT_EQ(c->lengthMs, 2000u);

    Frame(700);
    EXPECT_EQ(Sound().PlayMusic("theme", "", kSoundLoop, false), entry);
    EXPECT_EQ(ChannelOf(entry->channel)->positionMs, 700u) << "not restarted";
    EXPECT_EQ(Sound().PlayMusic("nosuch", "", 0, false), nullptr);
    EXPECT_EQ(Sound().mChannels.count, 1);
}

TEST_F(SoundTest, NewMusicCrossFadesWithTheOld)
{
    sSoundChannel* old = Sound().PlayMusic("theme", "OldDone", kSoundLoop, true);
    ASSERT_EQ(old->state, kSoundPlaying) << "a blocking start plays at once";
    sSoundChannel* fresh = Sound().PlayMusic("theme2", "", kSoundLoop, false);
    EXPECT_EQ(old->state, kSoundStartFade);
    EXPECT_EQ(old->callback, "");
    float full = 127.0f / 255.0f * 0.5f;
    Frame();
    Frame();
    EXPECT_EQ(old->state, kSoundFading);
    EXPECT_EQ(fresh->state, kSoundPlaying);
    EXPECT_FLOAT_EQ(ChannelOf(fresh->channel)->volume, full);
    // 0.2 per second over frames of half a second.
    EXPECT_NEAR(ChannelOf(old->channel)->volume, full - 0.1f, 1e-6);
    Frame();
    EXPECT_NEAR(ChannelOf(old->channel)->volume, full - 0.2f, 1e-6);
    FMOD::Channel* oldChannel = old->channel;
    int sounds = FmodSystem().sounds;
    Frame();   // at or below 0: released
    Frame();
    EXPECT_EQ(ChannelOf(oldChannel), nullptr);
    ASSERT_EQ(Sound().mChannels.count, 1);
    EXPECT_EQ(Sound().mChannels.data[0], fresh);
    EXPECT_EQ(FmodSystem().sounds, sounds - 1);
}

// The level of a tone in the left side of the mix over frames [from, to).
double ToneLevel(const std::vector<int16_t>& mix, size_t from, size_t to, double hertz)
{
    std::complex<double> sum;
    for (size_t i = from; i < to; ++i)
        sum += double(mix[2 * i]) * std::polar(1.0, -2.0 * std::numbers::pi * hertz * double(i - from) / 44100.0);
    return 2.0 * std::abs(sum) / double(to - from);
}

TEST_F(SoundTest, CrossFadeIsHeardInTheMix)
{
    RecordFmodMix(true);
    Sound().PlayMusic("theme", "", kSoundLoop, true);   // 330 Hz
    sSoundChannel* fresh = Sound().PlayMusic("theme_low", "", kSoundLoop, false);  // 110 Hz
    Frame();
    Frame();
    ASSERT_EQ(fresh->state, kSoundPlaying);
    float full = 127.0f / 255.0f * 0.5f;
    // Half-second frames: the old music loses 0.2 of volume a second. It is
    // at full - 0.1 now, heard at full - 0.2 over the next frame, then not at
    // all; the new one stays.
    const float oldVolumes[] = {full - 0.2f, 0.0f, 0.0f};
    for (float volume : oldVolumes) {
        size_t from = FmodMix().size() / 2;
        Frame(500);
        std::vector<int16_t> mix = FmodMix();
        size_t to = mix.size() / 2;
        ASSERT_EQ(to - from, 22050u);
        SCOPED_TRACE(volume);
        // The tones' own peak is 12000; Vorbis keeps it within a few percent.
        EXPECT_NEAR(ToneLevel(mix, from, to, 330), 12000 * volume, 12000 * full * 0.04);
        EXPECT_NEAR(ToneLevel(mix, from, to, 110), 12000 * full, 12000 * full * 0.04);
    }
    RecordFmodMix(false);
}

TEST_F(SoundTest, StopMusicFadeRates)
{
    const struct {
        float seconds;
        uint32_t flags;
        float rate;
    } cases[] = {{4.0f, 0, 0.25f}, {10.0f, 2, 0.5f}, {0.1f, 2, 0.5f}};
    for (const auto& c : cases) {
        sSoundChannel* entry = Sound().PlayMusic("theme", "", kSoundLoop, false);
        Sound().StopMusic(c.seconds, c.flags);
        EXPECT_EQ(entry->state, kSoundStartFade) << "the opening stream was waited for";
        EXPECT_FLOAT_EQ(entry->fadeRate, c.rate);
        EXPECT_EQ(Sound().mMusicName, "");
        for (int i = 0; i < 6; ++i)
            Frame();
        EXPECT_EQ(Sound().mChannels.count, 0);
    }
}

TEST_F(SoundTest, MusicEndCallsTheSceneScript)
{
    SceneScript("import sndtest__mark 0 none\nfunction MusicDone\npush int 0\ncall sndtest__mark\nret\n");
    sSoundChannel* entry = Sound().PlayMusic("theme2", "MusicDone", 0, true);
    ASSERT_NE(entry, nullptr);
    Frame(600);
    EXPECT_EQ(gMarks, 0);
    Frame(500);   // the layer reaches the end and calls back: state 2
    EXPECT_EQ(entry->state, kSoundRelease);
    EXPECT_EQ(gMarks, 0);
    Frame();
    EXPECT_EQ(gMarks, 1);
    EXPECT_EQ(Sound().mChannels.count, 0);
}

TEST_F(SoundTest, EffectEndResumesTheWaitingScript)
{
    cTarvelScript* script = SceneScript(
        "import sndtest__waitForClick 0 none\nimport sndtest__mark 0 none\n"
        "function Main\npush int 0\ncall sndtest__waitForClick\npush int 0\ncall sndtest__mark\nret\n");
    EXPECT_EQ(script->CallFunction("Main", nullptr), -1);
    ASSERT_FALSE(gWaitLabel.empty());
    Frame();      // resumed from its start state
    Frame(200);
    EXPECT_EQ(gMarks, 0);
    Frame(200);   // the layer ends the channel
    Frame();
    EXPECT_EQ(gMarks, 1);
    EXPECT_EQ(Sound().mChannels.count, 0);
}

TEST_F(SoundTest, CallbackOfADeadScriptIsNotCalled)
{
    cTarvelScript* script = SceneScript("function Done\nret\n");
    Sound().SetupSound("click", "click", 0, 0);
    ASSERT_NE(Sound().PlaySound("click", 1.0f, "Done", 0, 0), nullptr);
    delete script;   // the scene's pointer now names no live machine
    Frame();
    Frame(400);
    Frame();
    EXPECT_EQ(Sound().mChannels.count, 0);
    gTarvel.mScene->mScript = nullptr;
}

TEST_F(SoundTest, EffectsPlayOnTheirGroupWithTheEffectsVolume)
{
    Sound().SetupSound("click", "click", 2, 0);
    Sound().SetupSound("boom", "boom", 7, 0);
    sSoundChannel* click = Sound().PlaySound("click", 0.8f, "", 0, 3);
    sSoundChannel* boom = Sound().PlaySound("boom", 1.0f, "", 0, 0);
    ASSERT_TRUE(click && boom);
    EXPECT_EQ(click->kind, kSoundKind2D);
    EXPECT_EQ(click->state, kSoundStart);
    EXPECT_EQ(click->extra, 3);
    EXPECT_TRUE(ChannelOf(click->channel)->paused);
    EXPECT_FLOAT_EQ(ChannelOf(click->channel)->volume, 0.8f);
    EXPECT_EQ(ChannelOf(click->channel)->group, "2");
    EXPECT_EQ(ChannelOf(boom->channel)->group, "master");
    Frame();
    EXPECT_FALSE(ChannelOf(click->channel)->paused);
    EXPECT_EQ(Sound().PlaySound("nosuch", 1.0f, "", 0, 0), nullptr);

    // SFXVolume 0 silences effects; music and speech keep their settings.
    gTarvel.mConfig.SFXVolume = 0;
    sSoundChannel* music = Sound().PlayMusic("theme", "", kSoundLoop, true);
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 0));
    Sound().ApplyVolumes();
    EXPECT_EQ(ChannelOf(click->channel)->volume, 0.0f);
    EXPECT_FLOAT_EQ(ChannelOf(music->channel)->volume, 127.0f / 255.0f * 0.5f);
    EXPECT_FLOAT_EQ(ChannelOf(Sound().mSpeechChannel)->volume, 215.0f / 255.0f);

    gTarvel.mConfig.SFXVolume = 255;
    Sound().SetChannelsVolume(0.5f);
    EXPECT_FLOAT_EQ(ChannelOf(click->channel)->volume, 0.4f);
    Sound().SetChannelsVolume(-2.0f);
    EXPECT_EQ(ChannelOf(click->channel)->volume, 0.0f);
    EXPECT_FLOAT_EQ(ChannelOf(music->channel)->volume, 127.0f / 255.0f * 0.5f);
}

TEST_F(SoundTest, AScreenFadeWithSoundDrivesTheEffectsEveryFrame)
{
    Sound().SetupSound("rain", "rain", 0, 4 | 8);
    sSoundChannel* rain = Sound().PlaySound("rain", 0.8f, "", 0, 0);
    sSoundChannel* music = Sound().PlayMusic("theme", "", kSoundLoop, true);
    ASSERT_TRUE(rain && music);
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 0));
    Frame();
    // The fade starts as a script starts it: duration, kind, hold, no wait.
    auto fade = [](int32_t kind, bool hold) {
        tScriptFrame frame;
        frame.arguments.Add(cTarvelScriptValue::FromFloat(2.0f));
        frame.arguments.Add(cTarvelScriptValue::FromInt(kind));
        frame.arguments.Add(cTarvelScriptValue::FromBool(hold));
        frame.arguments.Add(cTarvelScriptValue::FromBool(false));
        EXPECT_EQ(cScene__fade(&frame), 0);
    };
    const struct {
        int32_t kind;
        bool hold;
        uint32_t elapsedMs;   // of the two-second fade
        float volume;         // of the effect, 0.8 unfaded
    } cases[] = {
        {0, true, 500, 0.6f},    // to black: 1 - fraction
        {0, true, 1500, 0.2f},
        {1, true, 500, 0.2f},    // from black: the fraction
        {4, true, 500, 0.0f},    // black
        {2, true, 1500, 0.6f},   // every other mode: the fraction
        {3, true, 1000, 0.4f},
        {0, false, 1500, 0.8f},  // the fade leaves the sound alone
        {6, true, 500, 0.8f},    // and so does the cross-fade, whatever it is asked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " hold " << c.hold << " at " << c.elapsedMs);
        Sound().SetChannelsVolume(1.0f);
        fade(c.kind, c.hold);
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        gameplay.mFadeStart = gTarvel.mTimer.mGameTime - c.elapsedMs;
        Frame();
        EXPECT_NEAR(ChannelOf(rain->channel)->volume, c.volume, 1e-6f);
        EXPECT_FLOAT_EQ(ChannelOf(music->channel)->volume, 127.0f / 255.0f * 0.5f);
        EXPECT_FLOAT_EQ(ChannelOf(Sound().mSpeechChannel)->volume, 215.0f / 255.0f);
    }
    // No fade: the flag alone does nothing.
    Sound().SetChannelsVolume(1.0f);
    gTarvel.mGameplay.mFadeState = 0;
    gTarvel.mGameplay.mFadeSound = true;
    Frame();
    EXPECT_NEAR(ChannelOf(rain->channel)->volume, 0.8f, 1e-6f);
}

TEST_F(SoundTest, MultiSampleRecordsChooseAnotherSampleEachTime)
{
    Sound().SetupSound("steps", "step1;step2;step3", 1, kSoundMultiSample);
    std::set<const FMOD::Sound*> seen;
    const FMOD::Sound* last = nullptr;
    for (int i = 0; i < 30; ++i) {
        sSoundChannel* entry = Sound().PlaySound("steps", 1.0f, "", 0, 0);
        ASSERT_NE(entry, nullptr);
        EXPECT_NE(entry->sound, last) << "play " << i;
        last = entry->sound;
        seen.insert(last);
    }
    EXPECT_EQ(seen.size(), 3u);
    sSoundRecord* record = Sound().FindRecord("steps");
    EXPECT_EQ(record->sampleCount, 3);

    // One sample: chosen every time, not looked for for ever.
    Sound().SetupSound("one", "step1", 1, kSoundMultiSample);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(Sound().PlaySound("one", 1.0f, "", 0, 0), nullptr);

    // A sample missing from the archive is not played: with two samples the
    // choice alternates, so every other play finds the empty one.
    Sound().SetupSound("gap", "step1;nosuch", 1, kSoundMultiSample);
    int played = 0;
    for (int i = 0; i < 6; ++i)
        played += Sound().PlaySound("gap", 1.0f, "", 0, 0) != nullptr;
    EXPECT_EQ(played, 3);
    int direct = 0;
    for (int i = 0; i < 2; ++i)
        direct += Sound().PlayOnChannel(Sound().FindRecord("gap"), 1.0f) != nullptr;
    EXPECT_EQ(direct, 1);
}

TEST_F(SoundTest, PlayOnChannelUsesTheMasterGroupAtOnce)
{
    Sound().SetupSound("click", "click", 3, 0);
    Sound().LoadSound("click");
    gTarvel.mConfig.SFXVolume = 102;
    FMOD::Channel* channel = Sound().PlayOnChannel(Sound().FindRecord("click"), 0.5f);
    const FmodChannelState* c = ChannelOf(channel);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->group, "master");
    EXPECT_FALSE(c->paused);
    EXPECT_FLOAT_EQ(c->volume, 0.2f);
    EXPECT_EQ(Sound().mChannels.count, 0);
}

TEST_F(SoundTest, LongNamesAreCut)
{
    std::string name(300, 'n');
    Sound().SetupSound(name.c_str(), "click", 0, 0);
    sSoundRecord* record = Sound().FindRecord(std::string(127, 'n').c_str());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Sound().FindRecord(name.c_str()), nullptr);
    sSoundChannel* entry = Sound().PlaySound(record->name, 1.0f, "", 0, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::strlen(entry->name), 127u);
}

TEST_F(SoundTest, SpeechPlaysOnItsGroupUntilItEnds)
{
    EXPECT_FALSE(Sound().PlaySpeech("nosuch", nullptr, 1));
    EXPECT_TRUE(Sound().IsSpeechFinished());
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 1));
    const FmodChannelState* c = ChannelOf(Sound().mSpeechChannel);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->group, "1");
    EXPECT_FALSE(c->paused);
    EXPECT_FALSE(c->stream);
    EXPECT_FLOAT_EQ(c->volume, 215.0f / 255.0f);
    EXPECT_FALSE(Sound().IsSpeechFinished());
    Frame(600);
    Frame();
    EXPECT_TRUE(Sound().IsSpeechFinished());
    // A new line replaces the old one.
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 0));
    int sounds = FmodSystem().sounds;
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 0));
    EXPECT_EQ(FmodSystem().sounds, sounds);
    Sound().StopSpeech();
    EXPECT_TRUE(Sound().IsSpeechFinished());
    EXPECT_EQ(FmodSystem().sounds, sounds - 1);
}

TEST_F(SoundTest, EmittedSoundsArePlacedIn3D)
{
    Sound().SetupSound("boom", "boom", 3, kSound3D);
    const float at[3] = {100.0f, 5.0f, -40.0f};
    sSoundChannel* entry = Sound().PlayEmittedSound("boom", at, 50.0f, 900.0f, 0.5f, 0, "Boomed", 9);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->kind, kSoundKind3D);
    EXPECT_EQ(entry->callback, "Boomed");
    EXPECT_EQ(entry->extra, 9);
    EXPECT_EQ(entry->flags, kSoundPaused3D);
    const FmodChannelState* c = ChannelOf(entry->channel);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->is3D);
    EXPECT_FALSE(c->paused);
    EXPECT_EQ(c->position.x, 100.0f);
    EXPECT_EQ(c->position.z, -40.0f);
    EXPECT_EQ(c->minDistance, 50.0f);
    EXPECT_EQ(c->maxDistance, 900.0f);

    sSoundChannel* held = Sound().PlaySound3D("boom", at, 1.0f, kSoundPaused3D);
    EXPECT_TRUE(ChannelOf(held->channel)->paused);
    EXPECT_EQ(held->state, kSoundStart);
    EXPECT_EQ(Sound().PlayEmittedSound("nosuch", at, 1, 2, 1, 0, "", 0), nullptr);
}

TEST_F(SoundTest, DspEffectsOnGroupsAndOutOfRangeOnesIgnored)
{
    Sound().AddDSP(2, 3, "300;0.25");
    Sound().AddDSP(0, 0, "800.5");
    Sound().AddDSP(7, 1, "100");    // no such group
    Sound().AddDSP(-1, 1, "100");
    Sound().AddDSP(1, 6, "100");    // no such kind
    ASSERT_EQ(Sound().mDSPs.count, 2);
    auto dsps = FmodDsps();
    ASSERT_EQ(dsps.size(), 3u);
    EXPECT_EQ(dsps[1].type, FMOD_DSP_TYPE_ECHO);
    EXPECT_EQ(dsps[1].group, "2");
    EXPECT_EQ(dsps[1].params, (std::vector<float>{300.0f, 0.25f, 0.0f, 1.0f, 1.0f}));
    EXPECT_EQ(dsps[2].type, FMOD_DSP_TYPE_LOWPASS);
    EXPECT_FLOAT_EQ(dsps[2].params[0], 800.5f);
    Sound().RemoveDSPs();
    EXPECT_EQ(Sound().mDSPs.count, 0);
    EXPECT_EQ(FmodDsps().size(), 1u);
}

TEST_F(SoundTest, SceneChangeStopsEffectsAndReleasesRecordsButNotMusic)
{
    Sound().SetupSound("click", "click", 0, kSoundLoop);
    Sound().SetupSound("steps", "step1;step2", 0, kSoundMultiSample);
    Sound().LoadSound("steps");
    Sound().AddDSP(1, 2, "0.5");
    sSoundChannel* music = Sound().PlayMusic("theme", "", kSoundLoop, true);
    ASSERT_NE(Sound().PlaySound("click", 1.0f, "Cb", 0, 0), nullptr);
    ASSERT_TRUE(Sound().PlaySpeech("line1", nullptr, 0));
    int sounds = FmodSystem().sounds;
    Sound().StopSceneSounds();
    EXPECT_TRUE(Sound().mReleasePending);
    EXPECT_EQ(Sound().mSpeechChannel, nullptr);
    EXPECT_EQ(Sound().FindRecord("click"), nullptr) << "names are cleared at once";
    Frame();
    EXPECT_FALSE(Sound().mReleasePending);
    EXPECT_EQ(Sound().mRecords.count, 0);
    ASSERT_EQ(Sound().mChannels.count, 1);
    EXPECT_EQ(Sound().mChannels.data[0], music);
    EXPECT_EQ(music->state, kSoundPlaying);
    EXPECT_EQ(FmodSystem().sounds, sounds - 4);   // speech, click, two steps
    EXPECT_EQ(FmodDsps().size(), 1u);
}

TEST_F(SoundTest, StopSoundStopsEveryEntryOfThatName)
{
    Sound().SetupSound("click", "click", 0, kSoundLoop);
    sSoundChannel* a = Sound().PlaySound("click", 1.0f, "", 0, 0);
    sSoundChannel* b = Sound().PlaySound("click", 1.0f, "", 0, 0);
    Frame();
    Sound().StopSound("click");
    EXPECT_EQ(a->state, kSoundStop);
    EXPECT_EQ(b->state, kSoundStop);
    Frame();
    EXPECT_TRUE(FmodChannels().empty());
}

TEST_F(SoundTest, AStreamThatFailsToOpenEndsAndEndsTheWait)
{
    sSoundChannel* bad = Sound().PlayMusic("bad", "", 0, false);
    ASSERT_NE(bad, nullptr);
    // Waiting for it, as a new music does, ends.
    sSoundChannel* good = Sound().PlayMusic("theme", "", 0, false);
    EXPECT_EQ(bad->state, kSoundRelease);
    Frame();
    Frame();
    ASSERT_EQ(Sound().mChannels.count, 1);
    EXPECT_EQ(Sound().mChannels.data[0], good);

    // Alone, it is released by the updates.
    ASSERT_NE(Sound().PlayMusic("bad", "", 0, false), nullptr);
    Frame();
    Frame();
    Frame();
    for (sSoundChannel* entry : Sound().mChannels)
        EXPECT_STRNE(entry->name, "bad");

    std::string text = CatchFatalError([&] { Sound().PlayMusic("bad", "", 0, true); });
    EXPECT_THAT(text, HasSubstr("Stream init failed: The sound data is of a format that cannot be read."));
    EXPECT_THAT(text, HasSubstr("Line: 392"));
}

std::string PrintXml(const TiXmlElement* element)
{
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    element->Accept(&printer);
    return printer.CStr();
}

TEST_F(SoundTest, SaveAndLoadRestoreRecordsEffectsAndWhatPlays)
{
    Sound().SetupSound("click", "click", 2, kSoundLoop);
    Sound().SetupSound("boom", "boom", 3, kSound3D | kSoundLoop);
    Sound().SetupSound("later", "step1", 1, 0);
    Sound().AddDSP(2, 3, "300;0.25");
    Sound().PlayMusic("theme", "", kSoundLoop, true);
    Sound().PlaySound("click", 0.75f, "ClickCb", kSoundLoop, 4);
    const float at[3] = {1.0f, 2.0f, 3.0f};
    Sound().PlayEmittedSound("boom", at, 10.0f, 200.0f, 0.5f, 0, "", 6);
    Frame();
    Frame(250);

    cTarvelSavegame& savegame = gTarvel.mSavegame;
    delete savegame.mDocument;
    savegame.mDocument = new TiXmlDocument();   // the savegame object owns it
    savegame.mDocument->LinkEndChild(new TiXmlElement("Root"));
    savegame.mRoot = savegame.mCurrent = savegame.mDocument->RootElement();
    Sound().Save(savegame);
    std::string xml = PrintXml(savegame.mRoot);
    EXPECT_THAT(xml, HasSubstr("<music>theme</music>"));
    EXPECT_THAT(xml, HasSubstr("<DSP><type>3</type><group>2</group><param>300;0.25</param></DSP>"));
    EXPECT_THAT(xml, HasSubstr("<Sample><id>later</id><file>step1</file><flags>0</flags><group>1</group>"
                               "<loaded>0</loaded></Sample>"));
    EXPECT_THAT(xml, HasSubstr("<sample>click</sample><volume>0.75000000</volume><flags>4</flags>"
                               "<fade>0.00000000</fade><ref>4</ref><cb>ClickCb</cb><playing>1</playing>"
                               "<playpos>250</playpos>"));
    EXPECT_THAT(xml, HasSubstr("<worldpos>1.00000000 2.00000000 3.00000000</worldpos>"
                               "<mindist>10.00000000</mindist><maxdist>200.00000000</maxdist>"));

    // Something else plays before the savegame is read back.
    Sound().SetupSound("other", "step2", 0, kSoundLoop);
    Sound().PlaySound("other", 1.0f, "", 0, 0);
    Sound().PlayMusic("theme2", "", 0, true);
    savegame.mCurrent = savegame.mRoot;
    Sound().Load(savegame);
    EXPECT_EQ(Sound().mMusicName, "theme");
    EXPECT_EQ(Sound().FindRecord("other"), nullptr);
    ASSERT_NE(Sound().FindRecord("later"), nullptr);
    EXPECT_EQ(Sound().FindRecord("later")->sound, nullptr) << "not loaded when saved";
    ASSERT_NE(Sound().FindRecord("click"), nullptr);
    EXPECT_NE(Sound().FindRecord("click")->sound, nullptr);
    ASSERT_EQ(Sound().mDSPs.count, 1);
    EXPECT_EQ(Sound().mDSPs.data[0].params, "300;0.25");

    std::map<std::string, sSoundChannel*> byName;
    for (sSoundChannel* entry : Sound().mChannels)
        if (entry->state != kSoundStartFade && entry->state != kSoundFading)
            byName[entry->name] = entry;
    ASSERT_EQ(byName.count("click"), 1u);
    ASSERT_EQ(byName.count("boom"), 1u);
    ASSERT_EQ(byName.count("theme"), 1u);
    sSoundChannel* click = byName["click"];
    EXPECT_EQ(click->callback, "ClickCb");
    EXPECT_EQ(click->extra, 4);
    EXPECT_FLOAT_EQ(click->volume, 0.75f);
    EXPECT_EQ(ChannelOf(click->channel)->positionMs, 250u);
    EXPECT_EQ(ChannelOf(click->channel)->group, "2");
    const FmodChannelState* boom = ChannelOf(byName["boom"]->channel);
    EXPECT_EQ(boom->position.y, 2.0f);
    EXPECT_EQ(boom->maxDistance, 200.0f);
    EXPECT_EQ(byName["boom"]->extra, 6);
    // The music reopens without blocking; it has no channel to place yet.
    EXPECT_EQ(byName["theme"]->state, kSoundOpening);
}

TEST_F(SoundTest, ShutdownReleasesEverything)
{
    Sound().SetupSound("click", "click", 0, kSoundLoop);
    Sound().PlaySound("click", 1.0f, "", 0, 0);
    Sound().PlayMusic("theme", "", kSoundLoop, false);
    Sound().PlaySpeech("line1", nullptr, 0);
    Sound().AddDSP(1, 1, "");
    Sound().Shutdown();
    EXPECT_EQ(LiveFmodSystems(), 0);
    EXPECT_EQ(Sound().mChannels.count, 0);
    EXPECT_EQ(Sound().mRecords.count, 0);
    EXPECT_EQ(Sound().mSystem, nullptr);
    Sound().Update();   // harmless without a system
    Sound().Shutdown();
}

} // namespace

TEST_F(SoundTest, SaidLinesFadeWithTheSpeakersDistanceFromThePlayer)
{
    // Actors without resources; the two that speak get mobiles of their own.
    cTarvelActor player("OFF", "", false);
    cTarvelActor speaker("OFF", "", false);
    cTarvelActor noMobile("OFF", "", false);
    player.mMobile = new cTarvelMobile;
    speaker.mMobile = new cTarvelMobile;
    cTarvelMobile& playerMobile = *player.mMobile;
    cTarvelMobile& speakerMobile = *speaker.mMobile;
    gTarvel.mPlayer = &player;
    playerMobile.mPosition = D3DXVECTOR3(100.0f, 0.0f, 50.0f);
    const float full = 215.0f / 255.0f;
    const struct {
        float distance;
        int32_t group;
        cTarvelActor* who;
        float factor;
    } cases[] = {
        {0.0f, 1, &speaker, 1.0f},     {500.0f, 1, &speaker, 1.0f},  {1000.0f, 1, &speaker, 0.75f},
        {3000.0f, 1, &speaker, 0.5f},  {3000.0f, 2, &speaker, 0.5f}, {3000.0f, 0, &speaker, 1.0f},
        {3000.0f, 1, &noMobile, 1.0f}, {3000.0f, 1, nullptr, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.distance << " units, group " << c.group);
        speakerMobile.mPosition = D3DXVECTOR3(100.0f, 0.0f, 50.0f + c.distance);
        ASSERT_TRUE(Sound().PlaySpeech("line1", c.who, c.group));
        EXPECT_FLOAT_EQ(ChannelOf(Sound().mSpeechChannel)->volume, full * c.factor);
    }
    // A player without a mobile leaves the line at full volume.
    delete player.mMobile;
    player.mMobile = nullptr;
    ASSERT_TRUE(Sound().PlaySpeech("line1", &speaker, 1));
    EXPECT_FLOAT_EQ(ChannelOf(Sound().mSpeechChannel)->volume, full);
    Sound().StopSpeech();
    gTarvel.mPlayer = nullptr;
}
