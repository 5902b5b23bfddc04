#include "engine/gameplay/screen_control_case_file.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/region_set.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"

namespace {

constexpr int32_t kExitCursor = 8;
constexpr int32_t kPageCursor = 4;

cTarvelView* CurrentView()
{
    return gTarvel.mScene ? gTarvel.mScene->mView : nullptr;
}

cTarvelRegionSet* MakeRegion(cTarvelScriptValue* object)
{
    auto* region = new cTarvelRegionSet();
    region->mObject = object;
    region->mEnabled = true;
    return region;
}

void BindToCurrentView(cTarvelRegionSet* region)
{
    if (region && region->mRecordCount > 0)
        region->mRecords[0].view = CurrentView();
}

bool Hit(const cTarvelRegionSet* region)
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    return region && region->HitTest(gameplay.mMouseX, gameplay.mMouseY, 0);
}

cTarvelImage* LoadPage(const cTarvelString& name)
{
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mPlayMode = kImageLoop;
    image->mDepthOff = 1;
    return image;
}

} // namespace

cTarvelScreenControlCaseFile::cTarvelScreenControlCaseFile(const cTarvelString& name, int32_t pageCount,
                                                           cTarvelScript* script)
    : mScript(script), mScriptSerial(script ? script->mSerial : 0), mName(name), mPageCount(pageCount)
{
    mTypeId = kCaseFile;
    mRegionObject.name = "CaseFile";
    mExit = MakeRegion(&mRegionObject);
    mExit->SetFrameRegion(100, false);
    mPrevious = MakeRegion(&mRegionObject);
    mPrevious->SetRectRegion(100, 128, 400, 640);
    mNext = MakeRegion(&mRegionObject);
    mNext->SetRectRegion(624, 128, 924, 640);
    for (cTarvelRegionSet* region : {mExit, mPrevious, mNext})
        BindToCurrentView(region);
    if (cTarvelActor* player = gTarvel.mPlayer)
        if (player->mControl)
            player->mControl->ClearWalk();
    LoadPages();
}

cTarvelScreenControlCaseFile::~cTarvelScreenControlCaseFile()
{
    cTarvelScreenControlCaseFile::ReleaseResources();
}

void cTarvelScreenControlCaseFile::LoadPages()
{
    const cTarvelString page(mPage);
    delete mTop;
    mTop = LoadPage(mName + "_top_0" + page);
    mTop->SetRect(0.0f, 0.0f, -1.0f, -1.0f);
    delete mBottom;
    mBottom = LoadPage(mName + "_btm_0" + page);
    mBottom->SetRect(0.0f, float(mTop->mHeader.height) - 1.4f, -1.0f, -1.0f);
}

bool cTarvelScreenControlCaseFile::Update()
{
    BindToCurrentView(mExit);
    cTarvelSpeech& speech = gTarvel.mSpeech;
    if (speech.mState > 0) {
        const bool goOn = speech.mState == 2 && !(gTarvel.mGameplay.mStateFlags & cTarvelGameplay::kBlocked);
        speech.Update();
        if (!goOn)
            return true;
    }
    if (TakeClick()) {
        if (Hit(mExit)) {
            // Left alone when a scene change has taken the machine away.
            if (mScript && gTarvel.IsScriptLive(mScript, mScriptSerial))
                mScript->CallFunction("CaseFileExit", nullptr);
            mDone = true;
        } else if (Hit(mPrevious) && mPage > 0) {
            --mPage;
            LoadPages();
        } else if (Hit(mNext) && mPage < mPageCount - 1) {
            ++mPage;
            LoadPages();
        }
    }
    int32_t cursor = 0;
    if (Hit(mExit))
        cursor = kExitCursor;
    else if ((Hit(mPrevious) && mPage > 0) || (Hit(mNext) && mPage < mPageCount - 1))
        cursor = kPageCursor;
    gTarvel.mGraphics.mCursorKind = cursor;
    return true;
}

void cTarvelScreenControlCaseFile::Render()
{
    DrawShade(0.0f, 0.0f, 0.0f, 0.0f);
    for (cTarvelImage* page : {mTop, mBottom})
        if (page)
            page->Draw(true, true);
}

void cTarvelScreenControlCaseFile::ReleaseResources()
{
    delete mTop;
    mTop = nullptr;
    delete mBottom;
    mBottom = nullptr;
    for (cTarvelRegionSet** region : {&mExit, &mPrevious, &mNext}) {
        delete *region;
        *region = nullptr;
    }
}
