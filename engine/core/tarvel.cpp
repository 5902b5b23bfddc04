#include "engine/core/tarvel.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/event_manager.h"
#include "animation/memory_categories.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/mobile_motion_event_handler.h"
#include "engine/world/scene.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kRegistryKey = "Software\\Brindlewerk\\Kestrelmoor";
constexpr const char* kSavegameFolderName = "\\Kestrelmoor Savegames\\";
// The motion files name their events by these ids; the handler dispatches on them.
constexpr const char* kMotionEventNames[] = {"link",    "unlink",  "footstep", "scrscene",
                                             "scrsceneex", "linkf", "unlinkf", "setpose",
                                             "rotend",  "sound",   "sounda"};

} // namespace

cTarvel::cTarvel()
    : mWindow(nullptr),
      mInstance(nullptr),
      mModule(nullptr),
      mConfig{},
      mTransform{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1},
      mPlayer(nullptr),
      mPendingPlayer(nullptr),
      mScene(nullptr),
      mPendingScene(nullptr),
      mMovie(nullptr),
      mCutSceneMovie(nullptr),
      mQuitRequest(0),
      mNewGameRequest(0),
      mInactive(0),
      mSleeping(0),
      mInitialised(0),
      mLoadRequest(0),
      mSaveRequest(0),
      mThumbnailRequest(0)
{
}

cTarvel::~cTarvel()
{
    mScreenControls.FreeData();
    mActiveControls.FreeData();
    mCinematics.FreeData();
    mLiveScripts.FreeData();
}

bool cTarvel::IsScriptLive(const cTarvelScript* script) const
{
    for (int32_t i = 0; i < mLiveScripts.count; ++i) {
        if (mLiveScripts.data[i] == script)
            return true;
    }
    return false;
}

bool cTarvel::IsScriptLive(const cTarvelScript* script, uint64_t serial) const
{
    return IsScriptLive(script) && script->mSerial == serial;
}

void cTarvel::ReadConfiguration()
{
    mConfig.ScreenRes = 0x04000300;
    mConfig.Antialiasing = 0;
    mConfig.PerPixelLighting = 1;
    mConfig.PostEffects = 1;
    mConfig.Shadows = 1;
    mConfig.ShadowFilter = 1;
    mConfig.Language = GetSystemDefaultLCID() & 0xFF;
    mConfig.MusicVolume = 127;
    mConfig.DialogueVolume = 215;
    mConfig.SFXVolume = 255;
    mConfig.SoundBuffer = 1;
    mConfig.Subtitle = 0;
    mConfig.Gamma = 127;
    std::printf("Reading configuration...\n");

    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key) != ERROR_SUCCESS)
        return;
    struct Value {
        const char* name;
        uint32_t* field;
    };
    const Value values[] = {
        {"ScreenRes", &mConfig.ScreenRes},
        {"Antialiasing", &mConfig.Antialiasing},
        {"PerPixelLighting", &mConfig.PerPixelLighting},
        {"PostEffects", &mConfig.PostEffects},
        {"Shadows", &mConfig.Shadows},
        {"ShadowFilter", &mConfig.ShadowFilter},
        {"MusicVolume", &mConfig.MusicVolume},
        {"DialogueVolume", &mConfig.DialogueVolume},
        {"SFXVolume", &mConfig.SFXVolume},
        {"Subtitle", &mConfig.Subtitle},
        {"Gamma", &mConfig.Gamma},
        {"Language", &mConfig.Language},
        {"SoundBuffer", &mConfig.SoundBuffer},
    };
    for (const Value& value : values) {
        // Any type of at most four bytes is taken as it stands; a shorter
        // value fills the low bytes over zero.
        BYTE buffer[4] = {0, 0, 0, 0};
        DWORD size = sizeof(buffer);
        DWORD type = 0;
        if (RegQueryValueExA(key, value.name, nullptr, &type, buffer, &size) == ERROR_SUCCESS)
            *value.field = uint32_t(buffer[0]) | uint32_t(buffer[1]) << 8 |
                           uint32_t(buffer[2]) << 16 | uint32_t(buffer[3]) << 24;
    }
    RegCloseKey(key);
}

void cTarvel::CreateSavegameFolder()
{
    char path[MAX_PATH] = {0};
    if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path) != S_OK) {
        mSavegameFolder = mProgramFolder;
        return;
    }
    mSavegameFolder = cTarvelString(path) + kSavegameFolderName;
    if (!CreateDirectoryA(mSavegameFolder.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        mSavegameFolder = mProgramFolder;
}

int cTarvel::Init(HWND window, HINSTANCE instance, cTarvelString programFolder)
{
    crt::srand(timeGetTime());
    mWindow = window;
    mInstance = instance;
    mModule = GetModuleHandleA(nullptr);
    mProgramFolder = programFolder;

    ReadConfiguration();
    CreateSavegameFolder();
    StartScriptTrace("script-trace.log");

    if (!AnimCore::SetMemoryAllocator(nullptr)) {
        std::printf("Failed to initialize AnimCore.");
        return -1;
    }
    if (!Anim::Initialize()) {
        std::printf("Failed to initialize Anim.");
        AnimCore::Shutdown();
        return -1;
    }
    // Instances pick among an actor's clones with the runtime's generator.
    Anim::GetActorManager()->SetRandomFunction(crt::rand);
    Anim::EventManager* events = Anim::GetEventManager();
    for (uint32_t id = 0; id < std::size(kMotionEventNames); ++id)
        events->RegisterEventType(kMotionEventNames[id], id);
    events->SetEventHandler(
        AnimCore::New<MobileMotionEventHandler>(Anim::MEMCATEGORY_MOTIONEVENT), true);

    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR)
        std::printf("Timer period is min %d / max %d.\n", int(caps.wPeriodMin), int(caps.wPeriodMax));

    if (mResources.Initialize() != 0)
        return -1;
    if (mGraphics.Initialize() != 0)
        return -1;
    if (mPhysics.Initialize() != 0)
        return -1;
    mShaders.Init();
    mGraphics.ShowStartScreen();
    mLights.InitBlurEffect();
    if (mSound.Initialize() != 0)
        return -1;
    mSpeech.Init();
    if (mGameplay.Init() != 0)
        return -1;
    mMenu.LoadTextures();

    mInitialised = 1;
    return 0;
}

void cTarvel::Shutdown()
{
    mInitialised = 0;
    StopScriptTrace();
    mActiveControls.DeleteAll();
    ClearScreenControls();
    while (mCinematics.count > 0) {
        int32_t last = mCinematics.count - 1;
        cTarvelCinematic* cinematic = mCinematics.data[last];
        // Finishing takes the entry off the list; a null entry, or one that
        // stays, is taken off here so the loop ends.
        if (cinematic)
            cinematic->Finish();
        if (mCinematics.count > last)
            mCinematics.RemoveAt(last);
        delete cinematic;
    }
    delete mPlayer;
    mPlayer = nullptr;
    if (mScene) {
        mScene->Clear();
        delete mScene;
        mScene = nullptr;
    }
    mLiveScripts.Clear();

    mPDA.Release();
    mDialogueBar.Release();
    mVerbBar.Release();
    mHints.Release();
    mMenu.Release();
    mFonts.Release();
    mInventory.Release();
    mGameplay.Release();
    mSpeech.Release();
    mSound.Shutdown();
    mLights.Reset();
    mShaders.Shutdown();
    mGraphics.Shutdown();
    mResources.Release();
    Anim::Shutdown();
    AnimCore::Shutdown();
}

int cTarvel::ChangeScene(cTarvelScene* scene, int mode)
{
    // Changing to the current scene itself must not delete it first.
    if (mScene && mScene != scene) {
        mScene->Leave(mode);
        mScene->Clear();
        delete mScene;
    }
    mScene = scene;
    if (mSceneName != mPreviousSceneName)
        mPreviousSceneName = mSceneName;
    if (mPendingGameState != mGameState)
        mGameState = mPendingGameState;
    if (mPendingPlayer) {
        delete mPlayer;
        mPlayer = mPendingPlayer;
        mPlayer->mIsPlayer = true;
        // The shared variable "PC" names the player.
        if (gSharedSymbols.count > 0)
            gSharedSymbols.data[0].object = gScriptHandles.Bind(mPlayer, eScriptObjectType::Actor);
        mPendingPlayer = nullptr;
    }
    if (!mScene)
        return -1;
    int result = mScene->ReadFile(mScene->mSlot, mode);
    mResources.CloseResource(mScene->mSlot);
    if (result != 0)
        return -1;
    mScene->InitObjects(mode);
    return 0;
}
