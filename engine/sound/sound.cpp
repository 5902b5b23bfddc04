#include "engine/sound/sound.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/camera.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "platform/bink/bink.h"
#include "platform/win32/crt.h"

namespace {

constexpr float kMusicShare = 0.5f;
constexpr float kMusicFadeRate = 0.2f;
constexpr float kStopFadeRate = 0.5f;
// Screen-fade modes of the gameplay controller that set the volume their
// own way; every other mode follows the fade's fraction.
constexpr int32_t kScreenFadeToBlack = 1;
constexpr int32_t kScreenFadeBlack = 3;
// Waiting for an open runs the system's update; a device that never
// settles must not hang the game.
constexpr int kMaxOpenWaits = 100000;

const FMOD_MODE kMusicMode = FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_2D;                   // 0x888
const FMOD_MODE kSpeechMode = FMOD_OPENMEMORY | FMOD_CREATESAMPLE | FMOD_SOFTWARE | FMOD_2D;  // 0x948
const FMOD_MODE kEffectMode = FMOD_OPENMEMORY | FMOD_CREATESAMPLE | FMOD_SOFTWARE;            // 0x940

// The FMOD DSP type of each DSP kind the scripts name.
const FMOD_DSP_TYPE kDspTypes[6] = {FMOD_DSP_TYPE_LOWPASS, FMOD_DSP_TYPE_HIGHPASS,
                                    FMOD_DSP_TYPE_FLANGE,  FMOD_DSP_TYPE_ECHO,
                                    FMOD_DSP_TYPE_CHORUS,  FMOD_DSP_TYPE_REVERB};

[[noreturn]] void Fail(int line, const char* function, const char* message, FMOD_RESULT result)
{
    cTarvelString text(message);
    text += FMOD_ErrorString(result);
    gTarvel.FatalError(0, TARVEL_SOURCE_SOUND, line, function, text, static_cast<uint32_t>(result));
}

// Names longer than the field are cut.
void CopyName(char (&field)[kSoundNameSize], const char* name)
{
    std::snprintf(field, sizeof field, "%s", name ? name : "");
}

// Calls a function of the current scene's script, when that script still lives.
void CallSceneScript(const cTarvelString& function)
{
    if (function.Length() == 0 || !gTarvel.mScene)
        return;
    cTarvelScript* script = gTarvel.mScene->mScript;
    if (script && gTarvel.IsScriptLive(script))
        script->CallFunction(function.c_str(), nullptr);
}

bool IsPlaying(FMOD::Channel* channel)
{
    bool playing = false;
    if (channel)
        channel->isPlaying(&playing);
    return playing;
}

} // namespace

FMOD_RESULT F_CALLBACK TarvelSoundEndCallback(FMOD_CHANNEL* channel, FMOD_CHANNEL_CALLBACKTYPE, int,
                                              uint32_t, void*)
{
    void* data = nullptr;
    static_cast<FMOD::Channel*>(channel)->getUserData(&data);
    if (data)
        static_cast<sSoundChannel*>(data)->state = kSoundRelease;
    return FMOD_OK;
}

cTarvelSound::cTarvelSound()
    : mSystem(nullptr),
      mOutputHandle(nullptr),
      mReleasePending(false),
      mSpeechSound(nullptr),
      mSpeechChannel(nullptr),
      mSpeechFactor(1.0f),
      mOneShotRecord(nullptr),
      mOneShotChannel(nullptr),
      mGroups{}
{
}

cTarvelSound::~cTarvelSound()
{
    Shutdown();
}

float cTarvelSound::Setting(uint32_t value) const
{
    return static_cast<float>(value) / 255.0f;
}

FMOD::ChannelGroup* cTarvelSound::GroupOf(int32_t group) const
{
    if (group >= 0 && group < kSoundGroupCount)
        return mGroups[group];
    return nullptr;   // the master group
}

int cTarvelSound::Initialize()
{
    std::printf("Initializing sound...\n");
    FMOD_RESULT result = FMOD_System_Create(&mSystem);
    if (result != FMOD_OK)
        Fail(39, "cTarvelSound::Initialize", "FMOD creation failed: ", result);
    mSystem->setOutput(FMOD_OUTPUTTYPE_DSOUND);
    mSystem->set3DSettings(1.0f, 100.0f, 1.0f);
    mSystem->setGeometrySettings(100000.0f);
    // The setting counts buffers of 1024 samples beyond two; 1 keeps the
    // device's own size.
    if (gTarvel.mConfig.SoundBuffer > 1)
        mSystem->setDSPBufferSize(1024, static_cast<int>(gTarvel.mConfig.SoundBuffer + 2));
    mSystem->setHardwareChannels(32, 64, 32, 64);
    mSystem->setSoftwareChannels(64);
    result = mSystem->init(200, 0x800, gTarvel.mWindow);
    if (result != FMOD_OK)
        Fail(53, "cTarvelSound::Initialize", "FMOD creation failed: ", result);
    mSystem->getOutputHandle(&mOutputHandle);
    BinkSetSoundSystem(BinkOpenDirectSound, reinterpret_cast<UINT_PTR>(mOutputHandle));
    for (int i = 0; i < kSoundGroupCount; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "%d", i);
        result = mSystem->createChannelGroup(name, &mGroups[i]);
        if (result != FMOD_OK)
            Fail(61, "cTarvelSound::Initialize", "Channel group creation failed: ", result);
    }
    // This filter stays on group 4 for the whole run: it is not in the list
    // that scene changes clear and savegames store.
    AddDSP(4, 1, "1200.0;8.0");
    mDSPs.Clear();
    mReleasePending = false;
    mSpeechChannel = nullptr;
    mOneShotRecord = nullptr;
    mOneShotChannel = nullptr;
    return 0;
}

bool cTarvelSound::WaitUntilOpen(FMOD::Sound* sound)
{
    for (int i = 0; sound && i < kMaxOpenWaits; ++i) {
        FMOD_OPENSTATE state = FMOD_OPENSTATE_ERROR;
        FMOD_RESULT result = sound->getOpenState(&state, nullptr, nullptr);
        if (state == FMOD_OPENSTATE_READY && result == FMOD_OK)
            return true;
        if (state == FMOD_OPENSTATE_ERROR || result != FMOD_OK)
            return false;
        mSystem->update();
    }
    return false;
}

void cTarvelSound::StartMusicChannel(sSoundChannel* entry)
{
    mSystem->playSound(FMOD_CHANNEL_FREE, entry->sound, false, &entry->channel);
    if (entry->channel) {
        entry->channel->setUserData(entry);
        entry->channel->setVolume(entry->volume);
        entry->channel->setCallback(FMOD_CHANNEL_CALLBACKTYPE_END, TarvelSoundEndCallback, 0);
    }
    entry->state = kSoundPlaying;
}

void cTarvelSound::FreeEntry(sSoundChannel* entry)
{
    std::free(entry->block);
    delete entry;
}

void cTarvelSound::FinishEntry(sSoundChannel* entry)
{
    // The callback may play or stop sounds: the entry is off the list by now.
    cTarvelString callback = entry->callback;
    FreeEntry(entry);
    CallSceneScript(callback);
}

void cTarvelSound::Update()
{
    if (!mSystem)
        return;
    // The listener follows the main camera.
    {
        const cTarvelCamera& camera = gTarvel.mCamera;
        const D3DXVECTOR3 forward = camera.Forward(), up = camera.Up();
        const FMOD_VECTOR position{camera.mPosition.x, camera.mPosition.y, camera.mPosition.z};
        const FMOD_VECTOR facing{forward.x, forward.y, forward.z}, upward{up.x, up.y, up.z};
        mSystem->set3DListenerAttributes(0, &position, nullptr, &facing, &upward);
    }

    // A screen fade that takes the sound with it sets the effect volumes
    // every frame; music and speech keep their own.
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    if (gameplay.mFadeState != 0 && gameplay.mFadeSound) {
        const float fraction = gTarvel.mTimer.SecondsSince(gameplay.mFadeStart, gameplay.mFadeRate);
        float factor = fraction;
        if (gameplay.mFadeState == kScreenFadeBlack)
            factor = 0.0f;
        else if (gameplay.mFadeState == kScreenFadeToBlack)
            factor = 1.0f - fraction;
        SetChannelsVolume(factor);
    }

    for (int32_t i = 0; i < mChannels.count;) {
        sSoundChannel* entry = mChannels.data[i];
        bool music = entry->kind == kSoundKindMusic;
        switch (entry->state) {
        case kSoundPlaying:
            if (entry->kind != kSoundKindMusic && entry->kind != 1 && !IsPlaying(entry->channel)) {
                mChannels.RemoveAt(i);
                FinishEntry(entry);
                continue;
            }
            break;
        case kSoundOpening: {
            FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
            FMOD_RESULT result = entry->sound->getOpenState(&state, nullptr, nullptr);
            if (state == FMOD_OPENSTATE_READY && result == FMOD_OK)
                StartMusicChannel(entry);
            else if (state == FMOD_OPENSTATE_ERROR || result != FMOD_OK)
                entry->state = kSoundRelease;   // a stream that cannot open ends
            break;
        }
        case kSoundRelease:
            if (music || entry->kind == 1) {
                if (entry->channel)
                    entry->channel->stop();
                if (entry->sound)
                    entry->sound->release();
            }
            mChannels.RemoveAt(i);
            FinishEntry(entry);
            continue;
        case kSoundFading: {
            float volume = 0.0f;
            if (entry->channel)
                entry->channel->getVolume(&volume);
            volume -= entry->fadeRate * gTarvel.mTimer.mFrameSeconds;
            if (volume <= 0.0f || !entry->channel) {
                if (entry->channel)
                    entry->channel->setVolume(0.0f);
                entry->state = kSoundRelease;
            } else if (music) {
                entry->channel->setVolume(volume);
            }
            break;
        }
        case kSoundStart:
            if (entry->channel)
                entry->channel->setPaused(false);
            entry->state = kSoundPlaying;
            break;
        case kSoundStop:
            if (entry->channel)
                entry->channel->stop();
            break;
        case kSoundStartFade:
            entry->state = kSoundFading;
            break;
        case kSoundStartFaded:
            entry->state = kSoundFaded;
            break;
        default:
            break;
        }
        ++i;
    }

    if (mReleasePending)
        ReleaseSounds();
    if (mOneShotChannel && !IsPlaying(mOneShotChannel)) {
        if (mOneShotRecord) {
            FreeRecord(*mOneShotRecord);
            delete mOneShotRecord;
        }
        mOneShotRecord = nullptr;
        mOneShotChannel = nullptr;
    }
    mSystem->update();
}

uint8_t* cTarvelSound::ReadSoundResource(const char* name, bool asOgg, FMOD_CREATESOUNDEXINFO* info)
{
    int type = asOgg ? kResourceOgg : kResourceWav;
    if (!name || !gTarvel.mResources.Exists(name, type))
        return nullptr;
    int slot = gTarvel.mResources.OpenResource(name, type);
    if (slot < 0)
        return nullptr;
    uint32_t size = gTarvel.mResources.GetSize(slot);
    uint8_t* block = gTarvel.mResources.ReadBlock(slot, size);
    gTarvel.mResources.CloseResource(slot);
    if (!block)
        return nullptr;
    std::memset(info, 0, sizeof *info);
    // The size the record had where the files were made; the layer reads
    // only what it declares.
    info->cbsize = 92;
    info->length = size;
    info->suggestedsoundtype = asOgg ? FMOD_SOUND_TYPE_OGGVORBIS : FMOD_SOUND_TYPE_WAV;
    return block;
}

sSoundChannel* cTarvelSound::PlayMusic(const char* name, const char* callback, uint32_t flags,
                                       bool blocking)
{
    if (!mSystem || !name)
        return nullptr;
    // The music that plays goes on; another one that is fading out is not it.
    if (mMusicName == name) {
        for (sSoundChannel* entry : mChannels)
            if (entry->kind == kSoundKindMusic && entry->state != kSoundRelease &&
                std::strcmp(entry->name, name) == 0)
                return entry;
    }
    FMOD_CREATESOUNDEXINFO info;
    uint8_t* block = ReadSoundResource(name, true, &info);
    if (!block)
        return nullptr;
    FMOD_MODE mode = kMusicMode | (blocking ? 0 : FMOD_NONBLOCKING) |
                     ((flags & kSoundLoop) ? FMOD_LOOP_NORMAL : FMOD_LOOP_OFF);
    FMOD::Sound* sound = nullptr;
    FMOD_RESULT result = mSystem->createSound(reinterpret_cast<const char*>(block), mode, &info, &sound);
    if (result != FMOD_OK) {
        std::free(block);
        Fail(392, "cTarvelSound::PlayMusic", "Stream init failed: ", result);
    }
    auto* entry = new sSoundChannel();
    entry->kind = kSoundKindMusic;
    entry->fadeRate = kMusicFadeRate;
    entry->sound = sound;
    CopyName(entry->name, name);
    entry->flags = flags;
    entry->state = kSoundOpening;
    entry->volume = Setting(gTarvel.mConfig.MusicVolume) * kMusicShare;
    entry->callback = callback ? callback : "";
    entry->block = block;
    mMusicName = name;

    // The old music fades out while the new one starts at full volume.
    for (sSoundChannel* other : mChannels) {
        if (other->kind != kSoundKindMusic || other->state == kSoundRelease)
            continue;
        if (other->state == kSoundOpening && !WaitUntilOpen(other->sound)) {
            other->state = kSoundRelease;
            continue;
        }
        other->state = kSoundStartFade;
        other->callback = "";
    }
    mChannels.Add(entry);
    if (blocking && WaitUntilOpen(sound))
        StartMusicChannel(entry);
    return entry;
}

void cTarvelSound::StopMusic(float fadeSeconds, uint32_t flags)
{
    for (sSoundChannel* entry : mChannels) {
        if (entry->kind != kSoundKindMusic || entry->state == kSoundRelease)
            continue;
        if (entry->state == kSoundOpening && !WaitUntilOpen(entry->sound)) {
            entry->state = kSoundRelease;
            continue;
        }
        entry->state = kSoundStartFade;
        entry->callback = "";
        // Flag 2 fades at a fixed rate whatever the time given.
        if (flags & 2)
            entry->fadeRate = kStopFadeRate;
        else
            entry->fadeRate = fadeSeconds > 0.0f ? 1.0f / fadeSeconds : 1000.0f;
    }
    mMusicName = "";
}

float cTarvelSound::SpeechDistanceFactor(const cTarvelActor* speaker, int32_t group)
{
    // Said lines (group above 0) fade with the speaker's distance from the
    // player: full within 500 units, down to half at 1500 and beyond.
    const cTarvelActor* player = gTarvel.mPlayer;
    if (group <= 0 || !speaker || !speaker->mMobile || !player || !player->mMobile)
        return 1.0f;
    const D3DXVECTOR3& a = speaker->mMobile->mPosition;
    const D3DXVECTOR3& b = player->mMobile->mPosition;
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(distance > 500.0f))
        return 1.0f;
    if (distance >= 1500.0f)
        return 0.5f;
    return 1.0f - 0.5f * (distance - 500.0f) / 1000.0f;
}

bool cTarvelSound::PlaySpeech(const char* name, cTarvelActor* speaker, int32_t group)
{
    StopSpeech();
    if (!mSystem)
        return false;
    FMOD_CREATESOUNDEXINFO info;
    uint8_t* block = ReadSoundResource(name, true, &info);
    if (!block)
        return false;
    FMOD_RESULT result =
        mSystem->createSound(reinterpret_cast<const char*>(block), kSpeechMode, &info, &mSpeechSound);
    // A sample keeps its own copy of the data.
    std::free(block);
    if (result != FMOD_OK)
        Fail(1076, "cTarvelSound::PlaySpeech", "Stream init failed: ", result);
    WaitUntilOpen(mSpeechSound);
    mSystem->playSound(FMOD_CHANNEL_FREE, mSpeechSound, true, &mSpeechChannel);
    mSpeechFactor = SpeechDistanceFactor(speaker, group);
    float volume = Setting(gTarvel.mConfig.DialogueVolume) * mSpeechFactor;
    if (mSpeechChannel) {
        mSpeechChannel->setChannelGroup(GroupOf(group));
        mSpeechChannel->setVolume(volume);
        mSpeechChannel->setPaused(false);
    }
    return true;
}

void cTarvelSound::StopSpeech()
{
    if (mSpeechChannel)
        mSpeechChannel->stop();
    if (mSpeechSound)
        mSpeechSound->release();
    mSpeechSound = nullptr;
    mSpeechChannel = nullptr;
}

bool cTarvelSound::IsSpeechFinished()
{
    return !mSpeechChannel || !IsPlaying(mSpeechChannel);
}

sSoundRecord* cTarvelSound::FindRecord(const char* name)
{
    if (!name)
        return nullptr;
    for (sSoundRecord& record : mRecords)
        if (std::strcmp(record.name, name) == 0)
            return &record;
    return nullptr;
}

FMOD::Sound* cTarvelSound::ChooseSample(sSoundRecord& record)
{
    if (!(record.flags & kSoundMultiSample) || !record.samples || record.sampleCount <= 0)
        return record.sound;
    int32_t count = record.sampleCount;
    int32_t index = 0;
    // With one sample there is nothing else to choose; more samples than
    // the generator's range are chosen by remainder.
    if (count > 1) {
        int32_t divisor = 32767 / count;
        do {
            int value = crt::rand();
            index = divisor > 0 ? value / divisor : value % count;
        } while (index == record.lastSample || index >= count);
    }
    record.lastSample = index;
    record.sound = record.samples[index];
    return record.sound;
}

sSoundChannel* cTarvelSound::PlaySound(const char* name, float volume, const char* callback,
                                       uint32_t flags, int32_t extra)
{
    if (!mSystem)
        return nullptr;
    sSoundRecord* record = FindRecord(name);
    if (!record)
        return nullptr;
    if (!record->sound && !record->samples) {
        LoadSound(name);
        record = FindRecord(name);
        if (!record || (!record->sound && !record->samples))
            return nullptr;
    }
    FMOD::Sound* sound = ChooseSample(*record);
    if (!sound)
        return nullptr;   // a sample missing from the archive is not played
    auto* entry = new sSoundChannel();
    entry->kind = record->kind;
    CopyName(entry->name, record->name);
    entry->volume = volume;
    entry->flags = flags;
    mSystem->playSound(FMOD_CHANNEL_FREE, sound, true, &entry->channel);
    entry->sound = sound;
    entry->state = kSoundStart;
    entry->callback = callback ? callback : "";
    entry->extra = extra;
    if (entry->channel) {
        entry->channel->setVolume(Setting(gTarvel.mConfig.SFXVolume) * volume);
        entry->channel->setUserData(entry);
        entry->channel->setChannelGroup(GroupOf(record->group));
    }
    mChannels.Add(entry);
    return entry;
}

sSoundChannel* cTarvelSound::PlaySound3D(const char* name, const float position[3], float volume,
                                         uint32_t flags)
{
    sSoundChannel* entry = PlaySound(name, volume, "", flags, 0);
    if (!entry || !entry->channel)
        return entry;
    // PlaySound starts every channel paused; here only flag 0x40 keeps it so
    // until the caller has placed it.
    if (!(flags & kSoundPaused3D))
        entry->channel->setPaused(false);
    FMOD_VECTOR at{position[0], position[1], position[2]};
    entry->channel->set3DAttributes(&at, nullptr);
    entry->state = kSoundStart;
    return entry;
}

sSoundChannel* cTarvelSound::PlayEmittedSound(const char* name, const float position[3],
                                              float minDistance, float maxDistance, float volume,
                                              uint32_t flags, const char* callback, int32_t extra)
{
    sSoundChannel* entry = PlaySound3D(name, position, volume, flags | kSoundPaused3D);
    if (!entry)
        return nullptr;
    entry->callback = callback ? callback : "";
    entry->extra = extra;
    if (entry->channel) {
        entry->channel->set3DMinMaxDistance(minDistance, maxDistance);
        entry->channel->setPaused(false);
    }
    return entry;
}

FMOD::Channel* cTarvelSound::PlayOnChannel(sSoundRecord* record, float volume)
{
    if (!mSystem || !record)
        return nullptr;
    FMOD::Sound* sound = ChooseSample(*record);
    if (!sound)
        return nullptr;
    FMOD::Channel* channel = nullptr;
    mSystem->playSound(FMOD_CHANNEL_FREE, sound, false, &channel);
    if (channel) {
        channel->setChannelGroup(nullptr);
        channel->setVolume(Setting(gTarvel.mConfig.SFXVolume) * volume);
    }
    return channel;
}

void cTarvelSound::StopSound(const char* name)
{
    if (!name)
        return;
    for (sSoundChannel* entry : mChannels)
        if (std::strcmp(entry->name, name) == 0)
            entry->state = kSoundStop;
}

void cTarvelSound::StopSceneSounds()
{
    StopSpeech();
    for (sSoundChannel* entry : mChannels) {
        if (entry->kind != kSoundKindMusic)
            entry->state = kSoundStop;
        entry->callback = "";
    }
    for (sSoundRecord& record : mRecords) {
        record.flags |= kSoundMarkedForRelease;
        record.name[0] = '\0';
    }
    RemoveDSPs();
    mReleasePending = true;
}

void cTarvelSound::ReleaseSounds()
{
    for (int32_t i = 0; i < mChannels.count;) {
        sSoundChannel* entry = mChannels.data[i];
        if (entry->state != kSoundStop && entry->state != kSoundRelease) {
            ++i;
            continue;
        }
        if (entry->channel)
            entry->channel->stop();
        // Effects play their record's samples; only streams are the entry's own.
        if ((entry->kind == kSoundKindMusic || entry->kind == 1) && entry->sound)
            entry->sound->release();
        mChannels.RemoveAt(i);
        FreeEntry(entry);
    }
    for (int32_t i = 0; i < mRecords.count;) {
        if (mRecords.data[i].flags & kSoundMarkedForRelease) {
            FreeRecord(mRecords.data[i]);
            mRecords.RemoveAt(i);
        } else {
            ++i;
        }
    }
    mReleasePending = false;
}

void cTarvelSound::ApplyVolumes()
{
    float music = Setting(gTarvel.mConfig.MusicVolume) * kMusicShare;
    float effects = Setting(gTarvel.mConfig.SFXVolume);
    for (sSoundChannel* entry : mChannels) {
        if (entry->kind != kSoundKindMusic) {
            if (entry->channel)
                entry->channel->setVolume(effects * entry->volume);
        } else {
            entry->volume = music;
            if (entry->state != kSoundFading && entry->channel)
                entry->channel->setVolume(music);
        }
    }
    if (mSpeechChannel)
        mSpeechChannel->setVolume(Setting(gTarvel.mConfig.DialogueVolume));
}

void cTarvelSound::SetChannelsVolume(float factor)
{
    if (factor < 0.0f)
        factor = 0.0f;
    float effects = Setting(gTarvel.mConfig.SFXVolume);
    for (sSoundChannel* entry : mChannels)
        if (entry->kind != kSoundKindMusic && entry->channel)
            entry->channel->setVolume(entry->volume * factor * effects);
}

void cTarvelSound::AddDSP(int32_t group, int32_t kind, const char* params)
{
    // Only the five groups carry effects.
    if (!mSystem || kind < 0 || kind > 5 || group < 0 || group >= kSoundGroupCount)
        return;
    FMOD::DSP* dsp = nullptr;
    FMOD_RESULT result = mSystem->createDSPByType(kDspTypes[kind], &dsp);
    if (result != FMOD_OK)
        Fail(486, "cTarvelSound::AddDSP", "DSP init failed: ", result);
    tStringArray parts;
    SplitString(params ? params : "", parts, ';');
    int count = 0;
    dsp->getNumParameters(&count);
    for (int i = 0; i < count && i < parts.count; ++i)
        dsp->setParameter(i, static_cast<float>(std::atof(parts.data[i].c_str())));
    if (mGroups[group])
        mGroups[group]->addDSP(dsp, nullptr);
    dsp->setActive(true);
    sSoundDSP record;
    record.group = group;
    record.kind = kind;
    record.params = params ? params : "";
    record.dsp = dsp;
    mDSPs.Add(record);
}

void cTarvelSound::RemoveDSPs()
{
    for (sSoundDSP& record : mDSPs) {
        if (record.dsp) {
            record.dsp->remove();
            record.dsp->release();
            record.dsp = nullptr;
        }
    }
    mDSPs.Clear();
}

void cTarvelSound::SetupSound(const char* name, const char* files, int32_t group, uint32_t flags)
{
    sSoundRecord record;
    CopyName(record.name, name);
    record.files = files ? files : "";
    record.group = group;
    record.flags = flags;
    mRecords.Add(record);
}

void cTarvelSound::LoadSound(const char* name)
{
    if (sSoundRecord* record = FindRecord(name))
        CreateSound(record);
}

void cTarvelSound::CreateSound(sSoundRecord* record)
{
    if (!mSystem || !record)
        return;
    // Loading again replaces what the record held.
    ReleaseSamples(record);
    std::free(record->block);
    record->block = nullptr;
    FMOD_MODE mode = kEffectMode | ((record->flags & kSoundLoop) ? FMOD_LOOP_NORMAL : FMOD_LOOP_OFF) |
                     ((record->flags & kSound3D) ? FMOD_3D : FMOD_2D);
    bool ogg = (record->flags & kSoundOgg) != 0;
    FMOD_CREATESOUNDEXINFO info;
    if (record->flags & kSoundMultiSample) {
        tStringArray names;
        SplitString(record->files, names, ';');
        record->sampleCount = names.count;
        record->samples = static_cast<FMOD::Sound**>(
            std::calloc(static_cast<size_t>(names.count > 0 ? names.count : 1), sizeof(FMOD::Sound*)));
        if (!record->samples)
            ArrayAllocError(names.count);
        for (int32_t i = 0; i < names.count; ++i) {
            uint8_t* block = ReadSoundResource(names.data[i].c_str(), ogg, &info);
            if (!block)
                continue;   // the sample stays empty
            FMOD_RESULT result = mSystem->createSound(reinterpret_cast<const char*>(block), mode, &info,
                                                      &record->samples[i]);
            std::free(block);
            if (result != FMOD_OK)
                break;
        }
        record->sound = record->samples[0];
    } else {
        record->sampleCount = 1;
        uint8_t* block = ReadSoundResource(record->files.c_str(), ogg, &info);
        if (block) {
            mSystem->createSound(reinterpret_cast<const char*>(block), mode, &info, &record->sound);
            record->block = block;
        }
    }
    if (record->flags & kSound3D) {
        record->kind = kSoundKind3D;
    } else {
        FMOD_MODE soundMode = 0;
        if (record->sound)
            record->sound->getMode(&soundMode);
        record->kind = (soundMode & FMOD_2D) ? kSoundKind2D : kSoundKindOther;
    }
}

void cTarvelSound::ReleaseSamples(sSoundRecord* record)
{
    if (!record)
        return;
    if (record->samples) {
        for (int32_t i = 0; i < record->sampleCount; ++i)
            if (record->samples[i])
                record->samples[i]->release();
        std::free(record->samples);
        record->samples = nullptr;
    } else if (record->sound) {
        record->sound->release();
    }
    record->sound = nullptr;
    record->sampleCount = 0;
}

void cTarvelSound::FreeRecord(sSoundRecord& record)
{
    ReleaseSamples(&record);
    std::free(record.block);
    record.block = nullptr;
}

void cTarvelSound::Save(cTarvelSavegame& savegame)
{
    savegame.WriteString("music", mMusicName);
    for (const sSoundDSP& dsp : mDSPs) {
        savegame.AddElement("DSP");
        savegame.WriteInt("type", dsp.kind);
        savegame.WriteInt("group", dsp.group);
        savegame.WriteString("param", dsp.params);
        savegame.LeaveElement();
    }
    for (const sSoundRecord& record : mRecords) {
        savegame.AddElement("Sample");
        savegame.WriteString("id", record.name);
        savegame.WriteString("file", record.files);
        savegame.WriteInt("flags", static_cast<int32_t>(record.flags));
        savegame.WriteInt("group", record.group);
        savegame.WriteInt("loaded", record.sound || record.samples ? 1 : 0);
        savegame.LeaveElement();
    }
    for (const sSoundChannel* entry : mChannels) {
        savegame.AddElement("Sound");
        savegame.WriteInt("type", entry->kind);
        savegame.WriteInt("job", entry->state);
        savegame.WriteString("sample", entry->name);
        savegame.WriteFloat("volume", entry->volume);
        savegame.WriteInt("flags", static_cast<int32_t>(entry->flags));
        savegame.WriteFloat("fade", entry->fadeRate);
        savegame.WriteInt("ref", entry->extra);
        savegame.WriteString("cb", entry->callback);
        if (IsPlaying(entry->channel)) {
            uint32_t position = 0;
            FMOD_VECTOR at{0, 0, 0};
            float minDistance = 0.0f, maxDistance = 0.0f;
            entry->channel->getPosition(&position, FMOD_TIMEUNIT_MS);
            entry->channel->get3DAttributes(&at, nullptr);
            entry->channel->get3DMinMaxDistance(&minDistance, &maxDistance);
            const float worldPosition[3] = {at.x, at.y, at.z};
            savegame.WriteInt("playing", 1);
            savegame.WriteInt("playpos", static_cast<int32_t>(position));
            savegame.WriteVec3("worldpos", worldPosition);
            savegame.WriteFloat("mindist", minDistance);
            savegame.WriteFloat("maxdist", maxDistance);
        }
        savegame.LeaveElement();
    }
}

void cTarvelSound::Load(cTarvelSavegame& savegame)
{
    StopMusic(1.0f, 2);
    cTarvelString music = savegame.ReadString("music", "");
    StopSceneSounds();
    ReleaseSounds();
    RemoveDSPs();

    if (savegame.EnterElement("DSP")) {
        do {
            AddDSP(savegame.ReadInt("group", -1), savegame.ReadInt("type", -1),
                   savegame.ReadString("param", "").c_str());
        } while (savegame.NextElement("DSP"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Sample")) {
        do {
            cTarvelString id = savegame.ReadString("id", "");
            SetupSound(id.c_str(), savegame.ReadString("file", "").c_str(), savegame.ReadInt("group", 0),
                       static_cast<uint32_t>(savegame.ReadInt("flags", 0)));
            if (savegame.ReadInt("loaded", 0) != 0)
                LoadSound(id.c_str());
        } while (savegame.NextElement("Sample"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Sound")) {
        do {
            if (savegame.ReadInt("playing", 0) == 0)
                continue;
            int32_t kind = savegame.ReadInt("type", 0);
            int32_t state = savegame.ReadInt("job", 0);
            cTarvelString name = savegame.ReadString("sample", "");
            cTarvelString callback = savegame.ReadString("cb", "");
            float volume = savegame.ReadFloat("volume", 1.0f);
            uint32_t flags = static_cast<uint32_t>(savegame.ReadInt("flags", 0));
            int32_t extra = savegame.ReadInt("ref", 0);
            sSoundChannel* entry = nullptr;
            if (kind == kSoundKindMusic) {
                if (state == kSoundPlaying || state == kSoundOpening || state == kSoundStartFaded)
                    entry = PlayMusic(name.c_str(), callback.c_str(), flags, false);
            } else if (kind == kSoundKind3D) {
                float at[3] = {0, 0, 0};
                savegame.ReadVec3("worldpos", at);
                entry = PlayEmittedSound(name.c_str(), at, savegame.ReadFloat("mindist", 1.0f),
                                         savegame.ReadFloat("maxdist", 10000.0f), volume, flags,
                                         callback.c_str(), extra);
            } else {
                entry = PlaySound(name.c_str(), volume, callback.c_str(), flags, extra);
            }
            // A stream still opening has no channel to place yet.
            if (entry && entry->channel)
                entry->channel->setPosition(static_cast<uint32_t>(savegame.ReadInt("playpos", 0)),
                                            FMOD_TIMEUNIT_MS);
        } while (savegame.NextElement("Sound"));
        savegame.LeaveElement();
    }
    mMusicName = music;
}

void cTarvelSound::Shutdown()
{
    // Everything this object holds goes, not only the records: the music
    // streams' data and the speech would otherwise outlive the system.
    StopSpeech();
    for (sSoundChannel* entry : mChannels) {
        if ((entry->kind == kSoundKindMusic || entry->kind == 1) && entry->sound)
            entry->sound->release();
        FreeEntry(entry);
    }
    mChannels.Clear();
    for (sSoundRecord& record : mRecords)
        FreeRecord(record);
    mRecords.Clear();
    if (mOneShotRecord) {
        FreeRecord(*mOneShotRecord);
        delete mOneShotRecord;
    }
    mOneShotRecord = nullptr;
    mOneShotChannel = nullptr;
    RemoveDSPs();
    for (FMOD::ChannelGroup*& group : mGroups) {
        if (group)
            group->release();
        group = nullptr;
    }
    if (mSystem)
        mSystem->release();
    mSystem = nullptr;
    mOutputHandle = nullptr;
    mReleasePending = false;
    mMusicName = "";
}
