#include "engine/gameplay/gameplay.h"

#include <cstdio>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/screen_control.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"

namespace {

// The project record: the project name, then the build text.
constexpr uint32_t kProjectFieldSize = 64;
// The detail-view exit band is this wide along the scene area's edges.
constexpr int32_t kExitBandMargin = 50;
// The inventory bar's top line; the bar pops up once the mouse is this far
// below it.
constexpr int32_t kInventoryTop = 640;
constexpr int32_t kInventoryPopUpDepth = 28;

// Cursor kinds the controller sets itself.
constexpr int32_t kCursorOverInventory = 3;
constexpr int32_t kCursorItemSelected = 5;
constexpr int32_t kCursorActor = 9;

bool BarOpenOrOpening(const cTarvelInventory& inventory)
{
    return inventory.mBarState == cTarvelInventory::kOpen || inventory.mBarState == cTarvelInventory::kOpening;
}

} // namespace

cTarvelGameplay::cTarvelGameplay()
    : mMainScript(nullptr),
      mStateFlags(0),
      mLeftLatch(0),
      mRightLatch(0),
      mMouseX(512),
      mMouseY(384),
      mMouseLimitX(1024 - 4),
      mMouseLimitY(768 - 4)
{
}

cTarvelGameplay::~cTarvelGameplay()
{
    // The shared-variable table and the function cache are engine-wide
    // globals with their own lifetime; only what this object holds goes.
    delete mMainScript;
    delete mRegionSet;
}

int cTarvelGameplay::Init()
{
    std::printf("Initializing gameplay...\n");
    // The window procedure keeps the mouse in layout units (pixels divided
    // by the screen scale), so its centre and limits are the layout's: in
    // pixels a screen narrower than the layout would never reach the
    // inventory bar at its bottom.
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const int32_t width = graphics.mScaleX > 0.0f ? int32_t(float(graphics.mWidth) / graphics.mScaleX + 0.5f) : 1024;
    const int32_t height = graphics.mScaleY > 0.0f ? int32_t(float(graphics.mHeight) / graphics.mScaleY + 0.5f) : 768;
    mMouseX = width / 2;
    mMouseY = height / 2;
    mMouseLimitX = width - 4;
    mMouseLimitY = height - 4;
    mLeftLatch = 0;
    mRightLatch = 0;
    mFadeState = 0;
    mFadeSound = false;

    cTarvelResource& resources = gTarvel.mResources;
    // Opening a name the archive lacks would end the process; a game without
    // its project fails the start instead.
    if (!resources.Exists("project", 0))
        return -1;
    const int slot = resources.OpenResource("project", 0);
    if (slot < 0)
        return -1;
    char record[2 * kProjectFieldSize] = {};
    resources.Read(slot, record, sizeof record);
    std::memcpy(mProjectName, record, kProjectFieldSize);
    mProjectName[kProjectFieldSize] = '\0';
    std::memcpy(mBuildText, record + kProjectFieldSize, kProjectFieldSize);
    mBuildText[kProjectFieldSize] = '\0';
    std::printf("Project, Build: %s, %s\n", mProjectName, mBuildText);

    delete mMainScript;
    mMainScript = new cTarvelScript("Main");
    mMainScript->ReadSymbolTable(slot, "project");

    gTarvel.mGraphics.InitInterface();
    gTarvel.mFonts.LoadFonts();
    gTarvel.mInventory.InitInterface();
    gTarvel.mHints.LoadIcons();
    gTarvel.mVerbBar.Init();
    gTarvel.mDialogueBar.Init();
    gTarvel.mPDA.LoadResources();
    resources.CloseResource(slot);

    AddValue(SharedActor("PC", nullptr));
    AddValue(SharedActor("OFF", gTarvel.mSpeech.mOffVoice));

    delete mRegionSet;
    mRegionSet = new cTarvelRegionSet;
    mRegionSet->SetFrameRegion(kExitBandMargin, true);
    mRegionSet->mEnabled = true;

    mMainScript->CallFunction("Main::Init", nullptr);
    return 0;
}

void cTarvelGameplay::Release()
{
    delete mMainScript;
    mMainScript = nullptr;
    delete mRegionSet;
    mRegionSet = nullptr;
}

bool cTarvelGameplay::TestButton(int button, int32_t value)
{
    int32_t& latch = button == 0 ? mLeftLatch : mRightLatch;
    if (latch != value)
        return false;
    latch = 0;
    return true;
}

cTarvelString cTarvelGameplay::GetText(const char* key) const
{
    const size_t length = key ? std::strlen(key) : 0;
    for (const cTarvelString& line : mTextLines) {
        const char* text = line.c_str();
        if (std::strncmp(text, key ? key : "", length) == 0 && text[length] == ' ')
            return cTarvelString(text + length + 1);
    }
    return cTarvelString();
}

cTarvelScriptValue* cTarvelGameplay::FindValue(const char* name)
{
    for (cTarvelScriptValue& value : gSharedSymbols)
        if (value.name == name)
            return &value;
    return nullptr;
}

void cTarvelGameplay::AddValue(const cTarvelScriptValue& value)
{
    gSharedSymbols.Add(value);
}

void cTarvelGameplay::UpdateFade()
{
    const int32_t before = mFadeState;
    const bool over = before != 0 && gTarvel.mTimer.SecondsSince(mFadeStart, mFadeRate) >= 1.0f;
    if (over) {
        switch (before) {
        case 1:
        case 4:
            mFadeState = before + 2;
            if (mFadeSound)
                gTarvel.mSound.SetChannelsVolume(0.0f);
            break;
        case 2:
        case 5:
        case 8:
            mFadeState = 0;
            if (mFadeSound)
                gTarvel.mSound.SetChannelsVolume(1.0f);
            break;
        default:
            break;
        }
    }
    // A fade to black or white resumes its waiter a frame after it is held;
    // a fade that is still running keeps it, and the cross-fade's capture
    // resumes its own.
    if (!mFadeWaiter || before == 1 || before == 4 || before == 7 || (before != 0 && !over))
        return;
    cTarvelScript* waiter = mFadeWaiter;
    mFadeWaiter = nullptr;
    const cTarvelString label = mFadeLabel;
    if (gTarvel.IsScriptLive(waiter, mFadeWaiterSerial))
        waiter->CallFunction(label.c_str(), nullptr);
}

void cTarvelGameplay::UpdateInventoryBar()
{
    cTarvelInventory& inventory = gTarvel.mInventory;
    if (!(mStateFlags & kInterfaceEnabled) || !(mStateFlags & kInventoryShown) || (mStateFlags & kMouseLocked) ||
        gCinematics.count > 0 || mFadeState != 0) {
        inventory.Hide();
        return;
    }
    if (mMouseY > kInventoryTop + kInventoryPopUpDepth &&
        (inventory.mBarState == cTarvelInventory::kClosed || inventory.mBarState == cTarvelInventory::kClosing)) {
        inventory.Show();
        gTarvel.mGraphics.mCursorKind = 0;
    } else if (mMouseY < kInventoryTop && (mStateFlags & kInventoryPopUp)) {
        inventory.Hide();
    }
}

int cTarvelGameplay::Update()
{
    UpdateFade();

    PopDoneScreenControl();

    if (gTarvel.mMovie && !gTarvel.mMovie->mInScene)
        return 0;

    cTarvelSpeech& speech = gTarvel.mSpeech;
    if (speech.mState > 0) {
        const bool stop = speech.mState != 2 || (mStateFlags & kBlocked);
        speech.Update();
        if (stop)
            return 0;
    }

    // Top down; a control that takes the input ends the frame's input.
    for (int32_t i = gScreenControls.count - 1; i >= 0; --i) {
        if (i >= gScreenControls.count)
            continue;   // an update took controls off the stack
        cTarvelScreenControl* control = gScreenControls.data[i];
        if (control && control->Update())
            return 0;
    }

    if (gTarvel.mMenu.mOpen) {
        gTarvel.mMenu.Update();
        return 0;
    }

    cTarvelInventory& inventory = gTarvel.mInventory;
    int32_t& cursor = gTarvel.mGraphics.mCursorKind;
    cursor = 0;
    cTarvelScene* scene = gTarvel.mScene;
    if (!BarOpenOrOpening(inventory)) {
        if (scene) {
            scene->UpdateMouseOver(mMouseX, mMouseY);
            if (scene->mHotspot)
                cursor = int32_t(scene->mHotspot->GetCursorKind());
            else if (scene->mHoveredActor)
                cursor = kCursorActor;
        }
    } else if (mMouseY > kInventoryTop) {
        cursor = kCursorOverInventory;
    }

    UpdateInventoryBar();

    if (cTarvelRegionSet::ItemSelected()) {
        cursor = kCursorItemSelected;
        if (inventory.mBarState == cTarvelInventory::kOpen &&
            (!(mStateFlags & kInterfaceEnabled) || (mStateFlags & kBlocked)))
            inventory.Hide();
    }

    if (!scene)
        return 0;
    cTarvelView* view = scene->mView;
    if (mLeftLatch == 1) {
        mLeftLatch = 0;
        mLeftStamp = view;
        LeftClick();
    } else if (mLeftLatch == 2) {
        mLeftLatch = 0;
        if (mLeftStamp == view)
            DoubleClick();
    }
    // The left click may have changed the view.
    view = gTarvel.mScene ? gTarvel.mScene->mView : nullptr;
    if (mRightLatch == 1) {
        mRightLatch = 0;
        mRightStamp = view;
        RightClick();
    } else if (mRightLatch == 2) {
        mRightLatch = 0;
        if (mRightStamp == view)
            RightClick();
    }
    return 0;
}

bool cTarvelGameplay::MouseActionsOpen() const
{
    return (mStateFlags & kInterfaceEnabled) && !(mStateFlags & kMouseLocked) && gCinematics.count == 0 &&
           mFadeState == 0;
}

void cTarvelGameplay::WalkToFloor(bool run)
{
    cTarvelScene* scene = gTarvel.mScene;
    cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
    if (!scene || !control)
        return;
    D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
    if (!scene->Pick(&point, mMouseX, mMouseY))
        return;
    control->WalkTo(point.x, point.y, point.z, 0.0f, nullptr, nullptr);
    if (run)
        control->SetRun(true);
}

void cTarvelGameplay::LeftClick()
{
    if (!MouseActionsOpen())
        return;
    cTarvelInventory& inventory = gTarvel.mInventory;
    if ((mStateFlags & kInventoryPopUp) && BarOpenOrOpening(inventory)) {
        inventory.UseItemAt();
        return;
    }
    cTarvelScene* scene = gTarvel.mScene;
    if (scene->mHotspot) {
        scene->mHotspot->Click();
        return;
    }
    if (scene->mHoveredActor) {
        scene->mHoveredActor->DoAction();
        return;
    }
    if (scene->mDetailViews.count == 0 && !(mStateFlags & (kNoWalkToObjects | kInventoryPopUp)) &&
        !cTarvelRegionSet::ItemSelected())
        WalkToFloor(false);
}

void cTarvelGameplay::DoubleClick()
{
    if (!MouseActionsOpen()) {
        // A scripted walk under way becomes a run.
        cTarvelActorControl* control = gTarvel.mPlayer ? gTarvel.mPlayer->mControl : nullptr;
        if ((mStateFlags & kWalkingToObject) && control && control->mWalking)
            control->SetRun(true);
        return;
    }
    cTarvelInventory& inventory = gTarvel.mInventory;
    if ((mStateFlags & kInventoryPopUp) && BarOpenOrOpening(inventory)) {
        inventory.SelectItemAt();
        return;
    }
    cTarvelScene* scene = gTarvel.mScene;
    if (scene->mHotspot) {
        scene->mHotspot->OnDoubleClick();
        return;
    }
    if (scene->mHoveredActor) {
        scene->mHoveredActor->RunPlayerApproach();
        return;
    }
    if (scene->mDetailViews.count == 0 && !(mStateFlags & (kNoWalkToObjects | kInventoryPopUp)) &&
        !cTarvelRegionSet::ItemSelected())
        WalkToFloor(true);
}

void cTarvelGameplay::RightClick()
{
    if (MouseActionsOpen() && cTarvelRegionSet::ItemSelected())
        gTarvel.mInventory.UnselectItem();
}

void cTarvelGameplay::UpdateWorld()
{
    cTarvelVideo* movie = gTarvel.mMovie;
    if (movie) {
        movie->Update();
        // The update may have ended the movie and put the cut-scene movie in
        // its place.
        if (gTarvel.mMovie && gTarvel.mConfig.Subtitle)
            gTarvel.mMovie->UpdateSubtitles();
    }
    UpdateActiveControls();
    if (!(gTarvel.mMovie && !gTarvel.mMovie->mInScene))
        cTarvelCinematic::UpdateStack();
    if (cTarvelScene* scene = gTarvel.mScene)
        for (int32_t i = 0; i < scene->mWalkAreas.count; ++i)
            scene->mWalkAreas.data[i]->UpdatePlayerTrigger();
    // Last, so the controls above read the contacts of the previous step.
    gTarvel.mPhysics.Update();
}

cTarvelScriptValue cTarvelGameplay::SharedActor(const char* name, const cTarvelActor* actor)
{
    cTarvelScriptValue value;
    value.kind = kScriptResultObject;
    value.scope = 2;
    value.name = name;
    value.className = "cActor";
    value.object = actor ? gScriptHandles.Bind(actor, eScriptObjectType::Actor) : 0;
    return value;
}
