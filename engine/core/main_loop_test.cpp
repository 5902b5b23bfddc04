#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace fs = std::filesystem;
namespace pt = platform::testing;

namespace {

std::vector<std::string> gCalls;

void RecordCall(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
}

class MainLoopTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        cTarvelScript::sCallObserver = RecordCall;
        InitEngine();
        // The gameplay start-up has called "Main::Init"; the tests follow
        // the main loop's calls.
        gCalls.clear();
    }
    static LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return gTarvel.WindowProc(gMainWindow, message, wParam, lParam);
    }
    static void Key(WPARAM key) { Send(WM_KEYDOWN, key, 0); }
    static cTarvelGameplay& Gameplay() { return gTarvel.mGameplay; }
};

TEST_F(MainLoopTest, MousePositionIsScaledAndClamped)
{
    gTarvel.mGraphics.mScaleX = 1.25f;
    gTarvel.mGraphics.mScaleY = 1.5625f;
    struct Case {
        int x, y;
        int32_t expectedX, expectedY;
    };
    const Case cases[] = {
        {640, 300, 512, 192},
        {1279, 1199, 1020, 764},   // beyond the limits
        {-5, -1, 0, 0},            // negative window positions
        {1, 1, 0, 0},              // truncated
        {32767, 32767, 1020, 764},
    };
    for (const Case& c : cases) {
        Send(WM_MOUSEMOVE, 0, MAKELPARAM(c.x, c.y));
        EXPECT_EQ(Gameplay().mMouseX, c.expectedX) << c.x;
        EXPECT_EQ(Gameplay().mMouseY, c.expectedY) << c.y;
    }
}

TEST_F(MainLoopTest, InputIsIgnoredUntilInitialised)
{
    gTarvel.mInitialised = 0;
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    Send(WM_LBUTTONDOWN, 0, 0);
    Send(WM_ACTIVATEAPP, 0, 0);
    Key(VK_ESCAPE);
    EXPECT_EQ(Gameplay().mMouseX, 512);
    EXPECT_EQ(Gameplay().mLeftLatch, 0);
    EXPECT_EQ(gTarvel.mInactive, 0);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);
}

TEST_F(MainLoopTest, ButtonLatches)
{
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(Gameplay().mLeftLatch, 1);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(Gameplay().mLeftLatch, 2);
    Send(WM_RBUTTONDOWN, MK_RBUTTON, 0);
    EXPECT_EQ(Gameplay().mRightLatch, 1);
    Send(WM_RBUTTONDBLCLK, MK_RBUTTON, 0);
    Send(WM_RBUTTONDOWN, MK_RBUTTON, 0);
    EXPECT_EQ(Gameplay().mRightLatch, 2);
    EXPECT_TRUE(Gameplay().TestButton(0, 2));
    EXPECT_TRUE(Gameplay().TestButton(1, 2));

    // Dragging a slider of the options page.
    gTarvel.mMenu.mOpen = true;
    gTarvel.mMenu.mState = 2;
    gTarvel.mMenu.mHovered = 3;
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Gameplay().mLeftLatch, 0);
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Gameplay().mLeftLatch, 1);
}

TEST_F(MainLoopTest, InjectedInputReachesTheWindowProcedure)
{
    pt::InjectMouseMove(100, 200);
    pt::InjectDoubleClick(pt::Button::Left, 100, 200);
    pt::InjectActivate(false);
    gTarvel.PumpMessages();
    EXPECT_EQ(Gameplay().mLeftLatch, 2);
    EXPECT_EQ(Gameplay().mMouseX, 100);
    EXPECT_EQ(Gameplay().mMouseY, 200);
    EXPECT_EQ(gTarvel.mInactive, 1);
}

TEST_F(MainLoopTest, ClosingTheWindowEndsTheLoop)
{
    gTarvel.mQuitRequest = 0;
    PostMessageA(gMainWindow, WM_CLOSE, 0, 0);
    gTarvel.PumpMessages();
    EXPECT_FALSE(IsWindow(gMainWindow));
    EXPECT_EQ(gTarvel.mQuitRequest, 1);
}

struct EscapeScreenControl : cTarvelScreenControl {
    bool HandleEscape() override
    {
        ++escapes;
        return takesKey;
    }
    bool takesKey = false;
    int escapes = 0;
};

TEST_F(MainLoopTest, EscapeAsksTheFirstScreenControlFirst)
{
    EscapeScreenControl first;
    EscapeScreenControl second;
    first.takesKey = true;
    gScreenControls.Add(&first);
    gScreenControls.Add(&second);
    gTarvel.mGameplay.mStateFlags = 1;
    Key(VK_ESCAPE);
    EXPECT_EQ(first.escapes, 1);
    EXPECT_EQ(second.escapes, 0);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);

    // A control that lets the key pass still keeps the menu shut.
    first.takesKey = false;
    Key(VK_ESCAPE);
    EXPECT_EQ(first.escapes, 2);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);
    gScreenControls.Clear();
    Key(VK_ESCAPE);
    EXPECT_TRUE(gTarvel.mMenu.mOpen);
}

TEST_F(MainLoopTest, EscapeSkipsACinematicAndLeavesTheMenuOpen)
{
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    gTarvel.mMenu.mOpen = true;
    gTarvel.mMenu.mState = 1;
    Key(VK_ESCAPE);
    ASSERT_EQ(gScreenControls.Count(), 1) << "the first Escape asks with the skip prompt";
    EXPECT_FALSE(cinematic.mSkipping);
    Key(VK_ESCAPE);
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_TRUE(cinematic.mSkipping);
    EXPECT_TRUE(gTarvel.mMenu.mOpen);
    gCinematics.Clear();

    // Without the cinematic the main page closes.
    Key(VK_ESCAPE);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);
}

TEST_F(MainLoopTest, EscapeEndsASpeechLineWithoutVoice)
{
    gTarvel.mGameplay.mStateFlags = 1;
    gTarvel.mSpeech.mState = 2;
    gTarvel.mSpeech.mStartMs = 5000;
    Key(VK_ESCAPE);
    EXPECT_EQ(gTarvel.mSpeech.mStartMs, 0u);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);

    // While a line is only being prepared the key does nothing at all.
    gTarvel.mSpeech.mState = 1;
    gTarvel.mSpeech.mStartMs = 5000;
    Key(VK_ESCAPE);
    EXPECT_EQ(gTarvel.mSpeech.mStartMs, 5000u);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);
}

// A walk to an object under way: the control that Escape has to clear.
struct WalkingControl : cTarvelActorControl {
    cTarvelScriptValue* GetCallbackSymbol() override { return mSymbol; }
    void ClearWalk() override { mWalking = false; }
    cTarvelScriptValue* mSymbol = nullptr;
};

TEST_F(MainLoopTest, EscapeStopsThePlayersWalkToAnObject)
{
    auto* player = new cTarvelActor("OFF", "", false);
    auto* control = new WalkingControl;
    player->mControl = control;
    control->mWalking = true;
    cTarvelScriptValue target;
    control->mSymbol = &target;
    gTarvel.mPlayer = player;
    gTarvel.mGameplay.mStateFlags = 0x1000 | 0x1;
    Key(VK_ESCAPE);
    EXPECT_FALSE(player->mControl->mWalking);
    EXPECT_EQ(gTarvel.mGameplay.mStateFlags, 0x1u);
    EXPECT_FALSE(gTarvel.mMenu.mOpen);
    // The next Escape opens the menu.
    Key(VK_ESCAPE);
    EXPECT_TRUE(gTarvel.mMenu.mOpen);
}

TEST_F(MainLoopTest, F8NeverOverwritesAScreenshot)
{
    std::ofstream(WorkDir() / "screenshot 0.bmp") << "x";
    std::ofstream(WorkDir() / "screenshot 1.bmp") << "x";
    Key(VK_F8);
    EXPECT_TRUE(fs::exists(WorkDir() / "screenshot 2.bmp"));
    EXPECT_EQ(fs::file_size(WorkDir() / "screenshot 0.bmp"), 1u);
    Key(VK_F8);
    EXPECT_TRUE(fs::exists(WorkDir() / "screenshot 3.bmp"));
}

TEST_F(MainLoopTest, LostDeviceSleepsAndSkipsThePass)
{
    pt::AdvanceClock(100);
    gTarvel.mNewGameRequest = 1;
    pt::SetCooperativeLevel(D3DERR_DEVICELOST);
    DWORD before = timeGetTime();
    gTarvel.RunPass();
    EXPECT_EQ(timeGetTime(), before + 500);
    EXPECT_EQ(gTarvel.mTimer.mGameTime, 10000u);
    EXPECT_EQ(gTarvel.mNewGameRequest, 1);
}

TEST_F(MainLoopTest, DeviceNotResetIsResetAndThePassSkipped)
{
    pt::AdvanceClock(100);
    pt::SetCooperativeLevel(D3DERR_DEVICENOTRESET);
    gTarvel.RunPass();
    EXPECT_EQ(pt::DeviceResetCount(), 1);
    EXPECT_EQ(gTarvel.mTimer.mGameTime, 10000u);
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mTimer.mGameTime, 10100u);
}

TEST_F(MainLoopTest, OtherDeviceStatesAreFatal)
{
    pt::SetCooperativeLevel(D3DERR_INVALIDCALL);
    std::string text = CatchFatalError([] { gTarvel.RunPass(); });
    EXPECT_EQ(text.rfind("Error in function cTarvel::Run\nDirect3D device lost.\n"
                         "Direct3D Error code: 0x8876086c, D3DERR_INVALIDCALL\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\nFile: .\\source\\class_tarvel, Line: 242"), std::string::npos) << text;
}

// A load request needs a savegame with a scene: the savegame tests serve it.
TEST_F(MainLoopTest, RequestsAreServedAndCleared)
{
    gTarvel.mNewGameRequest = 1;
    gTarvel.mSaveRequest = 1;
    gTarvel.mSavegamePath = "slot.demogame";
    gTarvel.mThumbnailRequest = 1;
    gTarvel.mThumbnailPath = "slot.png";
    pt::AdvanceClock(20);
    gTarvel.RunPass();
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0], "Main::Start");
    EXPECT_EQ(gTarvel.mNewGameRequest, 0);
    EXPECT_EQ(gTarvel.mSaveRequest, 0);
    EXPECT_EQ(gTarvel.mThumbnailRequest, 0);
    EXPECT_TRUE(std::filesystem::exists(WorkDir() / "slot.demogame"));
    EXPECT_TRUE(std::filesystem::exists(WorkDir() / "slot.png"));
}

TEST_F(MainLoopTest, FramesArePacedBySixteenMilliseconds)
{
    pt::AdvanceClock(15);
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mTimer.mGameTime, 10000u);
    pt::AdvanceClock(1);
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mTimer.mGameTime, 10016u);
}

// A scene that reads nothing from its slot.
struct EmptyScene : cTarvelScene {
    int ReadFile(int, int) override { return 0; }
};

TEST_F(MainLoopTest, PendingSceneBecomesCurrentAtTheNextFrame)
{
    auto* scene = new EmptyScene;
    gTarvel.mPendingScene = scene;
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mPendingScene, scene);
    pt::AdvanceClock(16);
    gTarvel.RunPass();
    EXPECT_EQ(gTarvel.mScene, scene);
    EXPECT_EQ(gTarvel.mPendingScene, nullptr);
}

struct UnreadableScene : cTarvelScene {
    int ReadFile(int, int) override { return -1; }
};

TEST_F(MainLoopTest, UnreadablePendingSceneIsFatal)
{
    gTarvel.mPendingScene = new UnreadableScene;
    pt::AdvanceClock(16);
    std::string text = CatchFatalError([] { gTarvel.RunPass(); });
    EXPECT_EQ(text.rfind("Error in function cTarvel::Run\n", 0), 0u) << text;
    EXPECT_EQ(gTarvel.mPendingScene, nullptr);
}

TEST_F(MainLoopTest, InactiveApplicationSleepsUntilReactivated)
{
    pt::InjectActivate(false);
    gTarvel.PumpMessages();
    ASSERT_EQ(gTarvel.mInactive, 1);
    pt::AdvanceClock(16);
    DWORD frameTime = timeGetTime();
    pt::InjectActivate(true, frameTime + 1200);
    gTarvel.RunPass();
    // Three sleeps of 500 ms: the activation was due after the third.
    EXPECT_EQ(timeGetTime(), frameTime + 1500);
    EXPECT_EQ(gTarvel.mInactive, 0);
    EXPECT_EQ(gTarvel.mSleeping, 0);
}

TEST_F(MainLoopTest, ClosingTheWindowOfASleepingGameEndsItsSleep)
{
    gTarvel.mQuitRequest = 0;
    pt::InjectActivate(false);
    gTarvel.PumpMessages();
    ASSERT_EQ(gTarvel.mInactive, 1);
    pt::AdvanceClock(16);
    const DWORD frameTime = timeGetTime();
    pt::InjectMessage(WM_CLOSE, 0, 0, frameTime + 700);
    gTarvel.RunPass();
    EXPECT_EQ(timeGetTime(), frameTime + 1000);
    EXPECT_EQ(gTarvel.mQuitRequest, 1);
    EXPECT_EQ(gTarvel.mSleeping, 0);
}

void QuitOnStart(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
    if (std::string(name) == "Main::Start")
        gTarvel.mQuitRequest = 1;
}

TEST_F(MainLoopTest, RunStartsANewGameWithoutLastdemoAndShutsDown)
{
    cTarvelScript::sCallObserver = QuitOnStart;
    EXPECT_EQ(gTarvel.Run(""), 0);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0], "Main::Start");
    EXPECT_EQ(gTarvel.mGameplay.mStateFlags, 5u);
    EXPECT_EQ(gTarvel.mInitialised, 0);
}

} // namespace
