#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/fmod/fmod.h"

class cTarvelActor;
class cTarvelSavegame;

// The source file the sound system's fatal errors name.
#define TARVEL_SOURCE_SOUND ".\\source\\class_sound"

// Kinds of channel entries and sound records.
constexpr int32_t kSoundKindMusic = 0;
constexpr int32_t kSoundKindOther = 2;
constexpr int32_t kSoundKind2D = 3;
constexpr int32_t kSoundKind3D = 4;

// Channel entry states.
enum eSoundState : int32_t {
    kSoundPlaying = 0,
    kSoundOpening = 1,
    kSoundRelease = 2,
    kSoundFading = 3,
    kSoundFaded = 4,
    kSoundStart = 5,
    kSoundStop = 6,
    kSoundStartFade = 7,
    kSoundStartFaded = 8,
};

// Sound record flags.
constexpr uint32_t kSoundLoop = 4;
constexpr uint32_t kSoundOgg = 8;
constexpr uint32_t kSound3D = 16;
constexpr uint32_t kSoundMultiSample = 32;
constexpr uint32_t kSoundPaused3D = 0x40;
constexpr uint32_t kSoundMarkedForRelease = 0x2000;

constexpr int kSoundNameSize = 128;
constexpr int kSoundGroupCount = 5;

// One playing music stream or effect.
struct sSoundChannel {
    int32_t kind = 0;
    int32_t state = 0;
    FMOD::Sound* sound = nullptr;
    char name[kSoundNameSize] = {};
    FMOD::Channel* channel = nullptr;
    float volume = 0.0f;
    uint32_t flags = 0;
    float fadeRate = 0.0f;
    int32_t extra = 0;
    cTarvelString callback;
    uint8_t* block = nullptr;   // a music stream's file data
};

// A named sound effect with one sample or several alternatives. Stored by
// value in the record list; what it points to is freed by cTarvelSound.
struct sSoundRecord {
    int32_t kind = 0;
    char name[kSoundNameSize] = {};
    uint32_t flags = 0;
    int32_t group = 0;
    cTarvelString files;
    FMOD::Sound* sound = nullptr;
    FMOD::Sound** samples = nullptr;   // malloc'd, sampleCount entries
    int32_t sampleCount = 0;
    int32_t lastSample = -1;
    uint8_t* block = nullptr;
};

struct sSoundDSP {
    int32_t group = 0;
    int32_t kind = 0;
    cTarvelString params;
    FMOD::DSP* dsp = nullptr;
};

// The engine's audio: music streams with cross-fades, speech, named sound
// effects, 3-D sounds and DSP effects on five channel groups, all on the
// main thread. Every sound file comes from the resource archive.
class cTarvelSound {
public:
    cTarvelSound();
    ~cTarvelSound();
    cTarvelSound(const cTarvelSound&) = delete;
    cTarvelSound& operator=(const cTarvelSound&) = delete;

    int Initialize();
    void Update();
    void Shutdown();

    sSoundChannel* PlayMusic(const char* name, const char* callback, uint32_t flags, bool blocking);
    void StopMusic(float fadeSeconds, uint32_t flags);

    bool PlaySpeech(const char* name, cTarvelActor* speaker, int32_t group);
    // The volume factor of a line of speaker on group.
    static float SpeechDistanceFactor(const cTarvelActor* speaker, int32_t group);
    void StopSpeech();
    bool IsSpeechFinished();

    sSoundChannel* PlaySound(const char* name, float volume, const char* callback, uint32_t flags,
                             int32_t extra);
    sSoundChannel* PlaySound3D(const char* name, const float position[3], float volume,
                               uint32_t flags);
    sSoundChannel* PlayEmittedSound(const char* name, const float position[3], float minDistance,
                                    float maxDistance, float volume, uint32_t flags,
                                    const char* callback, int32_t extra);
    FMOD::Channel* PlayOnChannel(sSoundRecord* record, float volume);
    void StopSound(const char* name);
    void StopSceneSounds();
    void ReleaseSounds();
    void ApplyVolumes();
    void SetChannelsVolume(float factor);

    void AddDSP(int32_t group, int32_t kind, const char* params);
    void RemoveDSPs();

    void SetupSound(const char* name, const char* files, int32_t group, uint32_t flags);
    void LoadSound(const char* name);
    void CreateSound(sSoundRecord* record);
    void ReleaseSamples(sSoundRecord* record);

    void Save(cTarvelSavegame& savegame);
    void Load(cTarvelSavegame& savegame);

    // The whole entry of that name as a new block (free() it), with info
    // filled for createSound; null when the archive has no such entry.
    uint8_t* ReadSoundResource(const char* name, bool asOgg, FMOD_CREATESOUNDEXINFO* info);

    // The record of exactly that name, or null.
    sSoundRecord* FindRecord(const char* name);

    // Members, in the design's order.
    FMOD::System* mSystem;
    void* mOutputHandle;
    bool mReleasePending;
    cTarvelString mMusicName;
    tArray<sSoundChannel*> mChannels;
    tArray<sSoundRecord> mRecords;
    FMOD::Sound* mSpeechSound;
    FMOD::Channel* mSpeechChannel;
    float mSpeechFactor;
    sSoundRecord* mOneShotRecord;     // owned; deleted once its channel stops
    FMOD::Channel* mOneShotChannel;
    FMOD::ChannelGroup* mGroups[kSoundGroupCount];
    tArray<sSoundDSP> mDSPs;

private:
    // Waits, running the system's update, until the sound is open or failed.
    bool WaitUntilOpen(FMOD::Sound* sound);
    void StartMusicChannel(sSoundChannel* entry);
    // Frees an entry that left the list, calling its callback first.
    void FinishEntry(sSoundChannel* entry);
    void FreeEntry(sSoundChannel* entry);
    void FreeRecord(sSoundRecord& record);
    FMOD::Sound* ChooseSample(sSoundRecord& record);
    FMOD::ChannelGroup* GroupOf(int32_t group) const;
    float Setting(uint32_t value) const;
};

// The end-of-sound callback of music channels: marks the entry for release.
FMOD_RESULT F_CALLBACK TarvelSoundEndCallback(FMOD_CHANNEL* channel, FMOD_CHANNEL_CALLBACKTYPE type,
                                              int command, uint32_t commanddata1, void* commanddata2);
