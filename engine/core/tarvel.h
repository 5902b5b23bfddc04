#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/core/timer.h"
#include "engine/gameplay/dialogue_bar.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/hints.h"
#include "engine/gameplay/inventory.h"
#include "engine/gameplay/menu.h"
#include "engine/gameplay/pda.h"
#include "engine/gameplay/savegame.h"
#include "engine/gameplay/speech.h"
#include "engine/gameplay/verb_bar.h"
#include "engine/render/font.h"
#include "engine/render/graphics.h"
#include "engine/render/shader_lib.h"
#include "engine/resource/resource.h"
#include "engine/sound/sound.h"
#include "engine/world/camera.h"
#include "engine/world/light_set.h"
#include "engine/physics/physics.h"
#include "platform/win32/windows_types.h"

class cTarvelActor;
class cTarvelCinematic;
class cTarvelControl;
class cTarvelScene;
class cTarvelScreenControl;
class cTarvelScript;
class cTarvelVideo;

// The thirteen registry settings, in their stored order.
struct tTarvelConfig {
    uint32_t ScreenRes;
    uint32_t Antialiasing;
    uint32_t PerPixelLighting;
    uint32_t PostEffects;
    uint32_t Shadows;
    uint32_t ShadowFilter;
    uint32_t Language;
    uint32_t MusicVolume;
    uint32_t DialogueVolume;
    uint32_t SFXVolume;
    uint32_t SoundBuffer;
    uint32_t Subtitle;
    uint32_t Gamma;
};

// The engine's one main object. It owns every subsystem's main object and
// the request flags through which the engine asks the main loop for work;
// the subsystems reach each other through the global instance gTarvel.
class cTarvel {
public:
    cTarvel();
    ~cTarvel();
    cTarvel(const cTarvel&) = delete;
    cTarvel& operator=(const cTarvel&) = delete;

    // Start-up, main loop and end; 0, or -1 when start-up fails.
    int Start(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showMode);
    void CreateMainWindow();
    static void Destroy();
    int Init(HWND window, HINSTANCE instance, cTarvelString programFolder);
    void Shutdown();
    int Run(cTarvelString commandLine);
    // One pass of the main loop: messages, the device test, the requests
    // and, when one is due, a frame.
    void RunPass();
    void PumpMessages();
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int ChangeScene(cTarvelScene* scene, int mode);
    bool IsScriptLive(const cTarvelScript* script) const;
    // The same, and the machine there is still the one of that serial.
    bool IsScriptLive(const cTarvelScript* script, uint64_t serial) const;

    // Reports a fatal error and ends the process; kind 0 plain, 1 Direct3D.
    [[noreturn]] void FatalError(int kind, const char* file, int line, cTarvelString function,
                                 cTarvelString message, uint32_t code);

    // Members, in the order the object is built.
    HWND mWindow;
    HINSTANCE mInstance;
    HMODULE mModule;
    tTarvelConfig mConfig;
    float mTransform[20];
    cTarvelResource mResources;
    cTarvelGameplay mGameplay;
    cTarvelFont mFonts;
    cTarvelInventory mInventory;
    cTarvelTimer mTimer;
    cTarvelMenu mMenu;
    cTarvelHints mHints;
    cTarvelShaderLib mShaders;
    cTarvelCamera mCamera;
    cTarvelCamera mCamera2;
    cTarvelLightSet mLights;
    cTarvelVerbBar mVerbBar;
    cTarvelDialogueBar mDialogueBar;
    cTarvelPDA mPDA;
    cTarvelPhysics mPhysics;
    cTarvelSpeech mSpeech;
    cTarvelSavegame mSavegame;
    cTarvelSound mSound;
    cTarvelGraphics mGraphics;
    cTarvelActor* mPlayer;
    cTarvelActor* mPendingPlayer;
    tArray<cTarvelScreenControl*> mScreenControls;
    tArray<cTarvelControl*> mActiveControls;
    tArray<cTarvelCinematic*> mCinematics;
    cTarvelScene* mScene;
    cTarvelScene* mPendingScene;
    cTarvelString mSceneName;
    cTarvelString mPreviousSceneName;
    cTarvelVideo* mMovie;
    cTarvelVideo* mCutSceneMovie;
    tArray<cTarvelScript*> mLiveScripts;
    cTarvelString mProgramFolder;
    cTarvelString mSavegameFolder;
    cTarvelString mGameName;
    uint8_t mQuitRequest;
    uint8_t mNewGameRequest;
    uint8_t mInactive;
    uint8_t mSleeping;
    uint8_t mInitialised;
    cTarvelString mSavegamePath;
    cTarvelString mThumbnailPath;
    uint8_t mLoadRequest;
    uint8_t mSaveRequest;
    uint8_t mThumbnailRequest;
    // The game state: suffix of scene and item resource names. The pending
    // one takes over at the next scene change.
    cTarvelString mGameState;
    cTarvelString mPendingGameState;
    // The effects flag: while it is clear, interface images such as the hint
    // icons are set to draw with the alternate technique.
    uint8_t mEffects = 0;
    // The label shown with the cursor (the PDA's page names) and the
    // interface's hint text (the options page's slider names).
    cTarvelString mCursorLabel;
    cTarvelString mHintText;
    // Set when a cutscene starts with no cinematic running, and by a load.
    uint8_t mCutscene = 0;

private:
    void ReadConfiguration();
    void CreateSavegameFolder();
    void OnKeyDown(WPARAM key, LPARAM lParam);
    void OnEscape();
};

// The one main object, defined in its own source file (tarvel_global.cpp) so
// that tests can rebuild it in place.
extern cTarvel gTarvel;

// The engine-wide lists under the names the rest of the engine uses.
inline tArray<cTarvelControl*>& gActiveControls = gTarvel.mActiveControls;
inline tArray<cTarvelScreenControl*>& gScreenControls = gTarvel.mScreenControls;
inline tArray<cTarvelCinematic*>& gCinematics = gTarvel.mCinematics;
inline tArray<cTarvelScript*>& gLiveScripts = gTarvel.mLiveScripts;

// Program-wide values beside the main object.
extern HINSTANCE gInstance;
extern HWND gMainWindow;
extern uint8_t gEngineRunning;

// The window class's procedure; forwards to gTarvel.WindowProc.
LRESULT CALLBACK TarvelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The program entry: runs cTarvel::Start inside the structured exception guard.
int TarvelMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showMode);
