#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

HINSTANCE gInstance = nullptr;
HWND gMainWindow = nullptr;
uint8_t gEngineRunning = 0;

namespace {

constexpr const char* kClassName = "BRD-TARVEL30";
constexpr const char* kSourceFile = ".\\source\\class_tarvel";

// Reference units from a 16-bit signed window position, clamped to 0..limit.
int32_t ScaleMouse(WORD raw, float scale, int32_t limit)
{
    float v = static_cast<float>(static_cast<int16_t>(raw)) / scale;
    if (!(v >= 0.0f))
        return 0;
    if (v >= static_cast<float>(limit))
        return limit;
    return static_cast<int32_t>(v);
}

// A "lastdemo" the start-up load refused is moved aside, so that the save at
// exit does not overwrite the player's game: "lastdemo.refused", or the first
// free "lastdemo.refused.N".
void KeepRefusedLastdemo(const cTarvelString& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    cTarvelString target = path + ".refused";
    char number[16];
    for (int n = 2; GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES && n < 1000; ++n) {
        std::snprintf(number, sizeof number, ".%d", n);
        target = path + ".refused" + number;
    }
    if (MoveFileExA(path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        std::printf("Savegame %s refused, kept as %s\n", path.c_str(), target.c_str());
}

} // namespace

LRESULT CALLBACK TarvelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return gTarvel.WindowProc(window, message, wParam, lParam);
}

int cTarvel::Start(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    gEngineRunning = 0;
    crt::freopen("tarvel.log", "w", stdout);
    // Line by line, so the log survives the process being killed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("-- Tarvel v3.0 runtime started.\n");
    if (std::atexit(cTarvel::Destroy) != 0) {
        std::printf("Cannot set up atexit function.");
        return -1;
    }
    CoInitialize(nullptr);
    crt::srand(static_cast<unsigned>(std::time(nullptr)));

    std::printf("Initializing window...\n");
    gInstance = instance;
    CreateMainWindow();

    std::printf("Initializing Tarvel Engine...\n");
    if (Init(gMainWindow, instance, cTarvelString()) == -1) {
        // Release what the failed start made, so nothing outlives it.
        Shutdown();
        return -1;
    }

    gEngineRunning = 1;
    Run(cTarvelString(commandLine));
    return 0;
}

void cTarvel::CreateMainWindow()
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_NOCLOSE;
    windowClass.lpfnWndProc = TarvelWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = gInstance;
    windowClass.hIcon = LoadIconA(gInstance, MAKEINTRESOURCEA(32512));
    windowClass.hCursor = LoadCursorA(gInstance, MAKEINTRESOURCEA(104));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = kClassName;
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    gMainWindow = CreateWindowExA(0, kClassName, "Tarvel Engine V3.0", WS_POPUP | WS_VISIBLE, 0, 0,
                                  1024, 768, nullptr, nullptr, gInstance, nullptr);
    if (!gMainWindow) {
        std::printf("CreateWindowEx failed.\n");
        std::exit(-1);
    }
    ShowWindow(gMainWindow, SW_SHOWNORMAL);
    UpdateWindow(gMainWindow);
    SetCapture(gMainWindow);
    ShowCursor(FALSE);
}

void cTarvel::Destroy()
{
    std::printf("Destroying Tarvel object...\n");
    gEngineRunning = 0;
    std::printf("Destroying window...\n");
    ReleaseCapture();
    DestroyWindow(gMainWindow);
    std::printf("-- Shut down successful.\n");
    std::fflush(stdout);
    std::fflush(stderr);
}

void cTarvel::PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

LRESULT cTarvel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        // The loop never reads WM_QUIT: without this a closed window would
        // leave the game running with nothing to show it or end it.
        mQuitRequest = 1;
        break;
    case WM_ACTIVATEAPP:
        if (mInitialised)
            mInactive = wParam == 0;
        break;
    case WM_KEYDOWN:
        OnKeyDown(wParam, lParam);
        break;
    case WM_CHAR:
        if (mInitialised && mMenu.mOpen && mMenu.mState == cTarvelMenu::kSavePage)
            mMenu.OnChar(static_cast<int>(wParam));
        break;
    case WM_MOUSEMOVE:
        if (mInitialised) {
            mGameplay.mMouseX = ScaleMouse(LOWORD(lParam), mGraphics.mScaleX, mGameplay.mMouseLimitX);
            mGameplay.mMouseY = ScaleMouse(HIWORD(lParam), mGraphics.mScaleY, mGameplay.mMouseLimitY);
            // Dragging a slider of the options page.
            if (mMenu.mOpen && mMenu.mState == cTarvelMenu::kOptionsPage && mMenu.mHovered >= 1 &&
                mMenu.mHovered <= 4 && (wParam & MK_LBUTTON) && mGameplay.mLeftLatch != 2)
                mGameplay.mLeftLatch = 1;
        }
        break;
    case WM_LBUTTONDOWN:
        if (mInitialised && mGameplay.mLeftLatch != 2)
            mGameplay.mLeftLatch = 1;
        break;
    case WM_LBUTTONDBLCLK:
        if (mInitialised)
            mGameplay.mLeftLatch = 2;
        break;
    case WM_RBUTTONDOWN:
        if (mInitialised && mGameplay.mRightLatch != 2)
            mGameplay.mRightLatch = 1;
        break;
    case WM_RBUTTONDBLCLK:
        if (mInitialised)
            mGameplay.mRightLatch = 2;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void cTarvel::OnEscape()
{
    if (gScreenControls.count > 0 && gScreenControls.data[0] && gScreenControls.data[0]->HandleEscape())
        return;
    if (gCinematics.count > 0) {
        if (cTarvelCinematic* cinematic = gCinematics.data[gCinematics.count - 1])
            cinematic->RequestSkip(false);
        return;
    }
    if (mMovie) {
        mMovie->Skip();
        return;
    }
    if (mMenu.mOpen) {
        if (mMenu.mState == cTarvelMenu::kMainPage)
            mMenu.Close();
        else
            mMenu.ClosePage();
        return;
    }
    if (mSpeech.mState > 0) {
        if (mSpeech.mState == 2) {
            if (mSpeech.mWithSound)
                mSound.StopSpeech();
            else
                mSpeech.mStartMs = 0;
        }
        return;
    }
    if (mGameplay.mStateFlags & cTarvelGameplay::kWalkingToObject) {
        cTarvelActorControl* control = mPlayer ? mPlayer->mControl : nullptr;
        if (control && control->mWalking && control->GetCallbackSymbol()) {
            control->ClearWalk();
            mGameplay.mStateFlags &= ~cTarvelGameplay::kWalkingToObject;
            return;
        }
    }
    if (mGameplay.mStateFlags & cTarvelGameplay::kInterfaceEnabled)
        mMenu.OpenMainPage();
}

void cTarvel::OnKeyDown(WPARAM key, LPARAM)
{
    if (!mInitialised)
        return;
    switch (key) {
    case VK_ESCAPE:
        OnEscape();
        break;
    case VK_SPACE:
    case 'H':
        if ((mGameplay.mStateFlags & cTarvelGameplay::kInterfaceEnabled) && !mMenu.mOpen &&
            mSpeech.mState == 0 && !mMovie && mGameplay.mFadeState == 0)
            mHints.Show();
        break;
    case VK_F8: {
        // The first number whose file does not exist yet; an existing
        // screenshot is never overwritten.
        char name[32];
        for (int n = 0; n < INT_MAX; ++n) {
            std::snprintf(name, sizeof(name), "screenshot %d.bmp", n);
            int fd = crt::_open(name, crt::_O_RDONLY | crt::_O_BINARY);
            if (fd == -1)
                break;
            crt::_close(fd);
        }
        mGraphics.SaveScreenshot(name);
        break;
    }
    default:
        break;
    }
}

int cTarvel::Run(cTarvelString)
{
    mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kInventoryShown;
    const cTarvelString lastdemo = mSavegameFolder + "lastdemo";
    if (!mSavegame.Load(lastdemo, 1)) {
        KeepRefusedLastdemo(lastdemo);
        if (mGameplay.mMainScript)
            mGameplay.mMainScript->CallFunction("Main::Start", nullptr);
    }

    while (!mQuitRequest)
        RunPass();

    mSavegame.Save(lastdemo);
    Shutdown();
    return 0;
}

void cTarvel::RunPass()
{
    PumpMessages();

    HRESULT state = mGraphics.mDevice->TestCooperativeLevel();
    if (state == D3DERR_DEVICELOST) {
        Sleep(500);
        return;
    }
    if (state == D3DERR_DEVICENOTRESET) {
        mGraphics.Reset();
        return;
    }
    if (state != D3D_OK)
        FatalError(1, kSourceFile, 242, "cTarvel::Run", "Direct3D device lost.", uint32_t(state));

    if (mNewGameRequest)
        mMenu.StartNewGame();
    if (mLoadRequest) {
        mLoadRequest = 0;
        // The load page checked the file; one refused now leaves the game
        // running.
        mSavegame.Load(mSavegamePath, 0);
    }
    if (mSaveRequest) {
        mSaveRequest = 0;
        if (!mSavegame.Save(mSavegamePath)) {
            mThumbnailRequest = 0;
            mMenu.ShowSaveFailure(mSavegame.mRefusal);
        }
    }

    if (!mTimer.Update())
        return;

    if (mPendingScene) {
        cTarvelScene* scene = mPendingScene;
        mPendingScene = nullptr;
        // A scene that cannot be read would be run half-read.
        if (ChangeScene(scene, 0) == -1)
            FatalError(0, kSourceFile, 257, "cTarvel::Run", "Reading the scene failed.", 0);
        mTimer.ResetFrameTime();
    }
    mGameplay.Update();
    mGameplay.UpdateWorld();
    mCamera.Update();
    mCamera2.Update();
    if (mScene)
        mScene->Update();
    mSound.Update();
    mLights.Update();
    mGraphics.RenderFrame();
    if (mThumbnailRequest) {
        mThumbnailRequest = 0;
        mSavegame.SaveThumbnail(mThumbnailPath);
        mTimer.ResetFrameTime();
    }
    // A window closed while the game sleeps sends its deactivation first:
    // the quit request ends the sleep, or the game would sleep for ever.
    while (mInactive && !mQuitRequest) {
        mSleeping = 1;
        Sleep(500);
        PumpMessages();
    }
    mSleeping = 0;
}
