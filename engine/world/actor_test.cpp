#include "engine/world/actor.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "animation/memory_categories.h"
#include "animation/node.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/mobile_test_support.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"
#include "platform/win32/testing.h"
#include "tools/anim_file_writer.h"
#include "tools/script_assembler.h"

namespace {

std::vector<std::string> gCalls;

void Observe(cTarvelScript* script, const char* name)
{
    gCalls.push_back(script->mName.c_str() + std::string(":") + name);
}

bool Called(const std::string& call)
{
    for (const std::string& c : gCalls)
        if (c == call)
            return true;
    return false;
}

// The player's legs as the actions on an actor see them.
class RecordingControl : public cTarvelActorControl {
public:
    void WalkTo(float x, float y, float z, float destRot, cTarvelWalkArea* area, cTarvelCamera* camera) override
    {
        mWalks.push_back({x, y, z, destRot});
        mWalking = mCanWalk;
        mArea = area;
        mCamera = camera;
    }
    float GetFloorHeight(float x, float z, float fallback) override
    {
        mHeightAsked = {x, z, fallback};
        return 7.0f;
    }
    void SetCallback(cTarvelScript* script, cTarvelString label, cTarvelScriptValue* symbol) override
    {
        mScript = script;
        mLabel = label;
        mSymbol = symbol;
    }
    cTarvelScriptValue* GetCallbackSymbol() override { return mSymbol; }
    void SetRun(bool run) override { mRuns.push_back(run); }
    void Stop() override { ++mStops; }
    void ReleaseAnimations() override { ++mReleases; }

    std::vector<std::array<float, 4>> mWalks;
    std::array<float, 3> mHeightAsked{};
    bool mCanWalk = true;
    cTarvelWalkArea* mArea = reinterpret_cast<cTarvelWalkArea*>(1);
    cTarvelCamera* mCamera = reinterpret_cast<cTarvelCamera*>(1);
    cTarvelScript* mScript = nullptr;
    cTarvelString mLabel;
    cTarvelScriptValue* mSymbol = nullptr;
    std::vector<bool> mRuns;
    int mStops = 0;
    int mReleases = 0;
};

const char* const kAnnScript = "ret\n"
                               "function Ann::OnLoad\nret\n"
                               "function Ann::PoseSit\nret\n";

class ActorTest : public MobileTest {
protected:
    void SetUp() override
    {
        MobileTest::SetUp();
        gCalls.clear();
        testkit::MobileActor body;
        body.nodes = {{"root", -1},        {"Bip01 Spine1", 0}, {"Bip01 Spine2", 1}, {"Bip01 Head", 2},
                      {"Bone01_eyeR", 3},  {"Bone01_eyeL", 3},  {"hand", 0},         {"Bone_eyeR", 3}};
        testkit::MobileActor oldBody;
        oldBody.nodes = {{"root", -1}, {"Bip01 Head", 0}, {"Bone_eyeR", 1}};
        Start({{"body", 7, testkit::BuildMobileActor(body)},
               {"oldbody", 7, testkit::BuildMobileActor(oldBody)},
               {"cup", 7, testkit::BuildMobileActor(testkit::MobileActor{})},
               {"wave", 8, Motion("root", {0, 0, 0}, {0, 0, 0}, 0.0f, 2.0f)},
               {"smile", 14, MorphMotion("smile", 1.0f)},
               {"Ann.day", 2, AssembleActorScript("Ann", kAnnScript)},
               {"PC.a", 2, AssembleActorScript("PC")},
               {"Bob.day", 2, AssembleScriptOrThrow("ret\n")}});
        gTarvel.mGameState = "day";
        cTarvelScript::sCallObserver = Observe;
        mScene = new cTarvelScene();
        mScene->mScript = new cTarvelScript("scene");
        const std::vector<uint8_t> image = AssembleScriptOrThrow(
            "global Ann object class=cNPC\nret\nfunction Ann::Do\nret\nfunction Ann::Look\nret\n");
        EXPECT_EQ(mScene->mScript->LoadImage(image.data(), image.size(), "scene"), 0);
        gTarvel.mScene = mScene;
        mPlayer = new cTarvelActor("OFF", "", false);
        mPlayer->mControl = mLegs = new RecordingControl;
        gTarvel.mPlayer = mPlayer;
    }

    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        gCinematics.DeleteAll();
        gTarvel.mPlayer = nullptr;
        delete mPlayer;
        gTarvel.mScene = nullptr;
        delete mScene;
        MobileTest::TearDown();
    }

    // Ann with her body loaded and her controllers made for it.
    std::unique_ptr<cTarvelActor> Ann(const char* mesh = "body", bool noControl = false)
    {
        auto actor = std::make_unique<cTarvelActor>("Ann", "", noControl);
        EXPECT_EQ(actor->mMobile->Load(mesh), 0);
        actor->CreateLookAtControllers();
        actor->mSceneSymbol = mScene->mScript->FindSymbol("Ann", "cNPC");
        gCalls.clear();
        return actor;
    }

    static uint32_t Flags() { return gTarvel.mGameplay.mStateFlags; }

    static std::string SaveText(cTarvelActor& actor)
    {
        TiXmlDocument document;
        auto* root = new TiXmlElement("NPC");
        document.LinkEndChild(root);
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = root;
        actor.Save(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
        TiXmlPrinter printer;
        document.Accept(&printer);
        return printer.CStr();
    }

    static void LoadText(cTarvelActor& actor, const std::string& text)
    {
        TiXmlDocument document;
        document.Parse(text.c_str());
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = document.RootElement();
        actor.Load(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
    }

    cTarvelScene* mScene = nullptr;
    cTarvelActor* mPlayer = nullptr;
    RecordingControl* mLegs = nullptr;
};

TEST_F(ActorTest, CreationReadsTheActorScriptOfTheStateAndCallsOnLoad)
{
    const float now = gTarvel.mTimer.GetSeconds();
    auto ann = std::make_unique<cTarvelActor>("Ann", "", false);
    EXPECT_EQ(gCalls, std::vector<std::string>{"Ann:Ann::OnLoad"});
    ASSERT_NE(ann->mScript, nullptr);
    ASSERT_NE(ann->mSymbol, nullptr);
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(ann->mSymbol->object, eScriptObjectType::Actor), ann.get());
    ASSERT_NE(ann->mMobile, nullptr);
    EXPECT_EQ(ann->mMobile->mOwner, ann.get());
    EXPECT_NE(dynamic_cast<cTarvelActorControlDefault*>(ann->mControl), nullptr);
    EXPECT_FALSE(ann->mEnabled);
    EXPECT_FALSE(ann->mVisible);
    EXPECT_EQ(ann->mSpeechColor, 0xFFFFFF40u);
    EXPECT_EQ(ann->mLookAtID, -1);
    EXPECT_GE(ann->mIdleNext, now + 10.0f);
    EXPECT_LE(ann->mIdleNext, now + 20.0f);
    // The handle the script holds goes stale with the actor.
    const uint32_t handle = ann->mSymbol->object;
    ann.reset();
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(handle, eScriptObjectType::Actor), nullptr);

    // A suffix given wins over the game state; without control no OnLoad.
    gCalls.clear();
    cTarvelActor pc("PC", "a", true);
    EXPECT_NE(pc.mSymbol, nullptr);
    EXPECT_EQ(pc.mControl, nullptr);
    EXPECT_TRUE(gCalls.empty());
    // A script without the actor's object: nothing to call.
    cTarvelActor bob("Bob", "", false);
    EXPECT_EQ(bob.mSymbol, nullptr);
    EXPECT_TRUE(gCalls.empty());
    // The off-screen voice needs no resource and has nothing.
    cTarvelActor off("OFF", "nosuch", false);
    EXPECT_EQ(off.mMobile, nullptr);
    EXPECT_EQ(off.mControl, nullptr);
    EXPECT_EQ(off.mScript, nullptr);

    const std::string text = CatchFatalError([] { cTarvelActor pcDay("PC", "", false); });
    EXPECT_NE(text.find("Actor file PC.day can not be loaded."), std::string::npos) << text;
}

TEST_F(ActorTest, DoActionRunsAtOnceOrSendsThePlayerToTheDestination)
{
    auto ann = Ann();
    ann->DoAction();
    EXPECT_EQ(gCalls, std::vector<std::string>{"scene:Ann::Do"});
    EXPECT_TRUE(mLegs->mWalks.empty());

    gCalls.clear();
    ann->mPathfinderDest[0] = 50.0f;
    ann->mPathfinderDest[1] = 60.0f;
    ann->mPathfinderDest[2] = 1.5f;
    gTarvel.mGameplay.mStateFlags = 0x1;
    ann->DoAction();
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(mLegs->mHeightAsked, (std::array<float, 3>{50.0f, 60.0f, cTarvelActorControl::kNoFallback}));
    ASSERT_EQ(mLegs->mWalks.size(), 1u);
    EXPECT_EQ(mLegs->mWalks[0], (std::array<float, 4>{50.0f, 7.0f, 60.0f, 1.5f}));
    EXPECT_EQ(mLegs->mArea, nullptr);
    EXPECT_EQ(mLegs->mCamera, nullptr);
    EXPECT_EQ(mLegs->mScript, mScene->mScript);
    EXPECT_STREQ(mLegs->mLabel.c_str(), "Do");
    EXPECT_EQ(mLegs->mSymbol, ann->mSceneSymbol);
    EXPECT_EQ(Flags(), 0x1001u);

    // A player who cannot walk still gets the action, at once.
    delete mPlayer->mControl;
    mPlayer->mControl = nullptr;
    ann->DoAction();
    EXPECT_EQ(gCalls, std::vector<std::string>{"scene:Ann::Do"});
    // No scene object: nothing.
    gCalls.clear();
    ann->mSceneSymbol = nullptr;
    ann->DoAction();
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(ActorTest, VerbEventsWaitForTheWalkUnlessObjectsAreNotWalkedTo)
{
    auto ann = Ann();
    ann->mPathfinderDest[0] = 50.0f;
    const struct {
        uint32_t flags;
        bool canWalk;
        bool atOnce;
    } cases[] = {{0x20, true, true}, {0x0, true, false}, {0x0, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.canWalk);
        gCalls.clear();
        mLegs->mWalks.clear();
        mLegs->mSymbol = nullptr;
        mLegs->mCanWalk = c.canWalk;
        gTarvel.mGameplay.mStateFlags = c.flags;
        ann->RunVerbEvent("Look");
        EXPECT_EQ(mLegs->mWalks.size(), c.flags & 0x20 ? 0u : 1u);
        if (c.atOnce) {
            EXPECT_EQ(gCalls, std::vector<std::string>{"scene:Ann::Look"});
            EXPECT_EQ(Flags(), c.flags);
        } else {
            EXPECT_TRUE(gCalls.empty());
            EXPECT_EQ(mLegs->mScript, mScene->mScript);
            EXPECT_STREQ(mLegs->mLabel.c_str(), "Look");
            EXPECT_EQ(mLegs->mSymbol, ann->mSymbol);
            EXPECT_EQ(Flags(), 0x1000u);
        }
    }
}

TEST_F(ActorTest, ADoubleClickMakesThePlayersWalkToThisActorARun)
{
    auto ann = Ann();
    auto other = Ann();
    other->mSceneSymbol = nullptr;
    mLegs->mWalking = true;
    mLegs->mSymbol = ann->mSceneSymbol;
    other->RunPlayerApproach();
    EXPECT_TRUE(mLegs->mRuns.empty());
    ann->RunPlayerApproach();
    EXPECT_EQ(mLegs->mRuns, std::vector<bool>{true});
    mLegs->mWalking = false;
    ann->RunPlayerApproach();
    EXPECT_EQ(mLegs->mRuns.size(), 1u);
    // A plain walk (no symbol) is not this actor's, even for one without a
    // scene object.
    mLegs->mWalking = true;
    mLegs->mSymbol = nullptr;
    other->RunPlayerApproach();
    EXPECT_EQ(mLegs->mRuns.size(), 1u);
}

TEST_F(ActorTest, LookAtControllersSitOnTheirBonesAndOnlyTheyAreReplaced)
{
    auto ann = Ann();
    Anim::ActorInstance* instance = ann->mMobile->mInstance;
    const struct {
        int32_t slot;
        uint32_t node;
        float factor;
    } expected[] = {{cTarvelActor::kLookAtHead, 3, 0.8f},  {cTarvelActor::kLookAtSpine1, 1, 0.25f},
                    {cTarvelActor::kLookAtSpine2, 2, 0.5f}, {cTarvelActor::kLookAtEyeR, 4, 3.0f},
                    {cTarvelActor::kLookAtEyeL, 5, 3.0f}};
    for (const auto& e : expected) {
        MobileLookAtController* controller = ann->GetLookAtController(e.slot);
        ASSERT_NE(controller, nullptr) << e.slot;
        EXPECT_EQ(controller->GetNodeIndex(), e.node);
        EXPECT_EQ(controller->GetConstraintType(), Anim::LookAtController::CONSTRAINT_ELLIPSE);
        EXPECT_FLOAT_EQ(ann->mLookAtFactors[e.slot], e.factor);
    }
    // Spine first, eyes last in the instance's list.
    ASSERT_EQ(instance->GetNumWorldSpaceControllers(), 5u);
    EXPECT_EQ(instance->GetWorldSpaceController(0), ann->GetLookAtController(cTarvelActor::kLookAtSpine1));
    EXPECT_EQ(instance->GetWorldSpaceController(2), ann->GetLookAtController(cTarvelActor::kLookAtHead));
    // The head's limits: swing 1.2 either way about x.
    EXPECT_NEAR(ann->GetLookAtController(cTarvelActor::kLookAtHead)->GetSwingLimitX(), 1.2f, 1e-5f);

    // Made again: the other controllers of the instance stay.
    auto* physics = AnimCore::New<MobilePhysicsTMController>(Anim::MEMCATEGORY_WORLDSPACECONTROLLER, instance);
    ASSERT_TRUE(instance->AddWorldSpaceController(physics));
    ann->SetLookAt(0, 0, 100, 3, 1.0f);
    ann->CreateLookAtControllers();
    EXPECT_EQ(ann->mLookAtID, -1);
    ASSERT_EQ(instance->GetNumWorldSpaceControllers(), 6u);
    EXPECT_EQ(instance->GetWorldSpaceController(0), physics);

    // An old skeleton: "Bone_eyeR" serves as the right eye; missing bones
    // give no controller.
    auto old = Ann("oldbody");
    EXPECT_NE(old->GetLookAtController(cTarvelActor::kLookAtHead), nullptr);
    ASSERT_NE(old->GetLookAtController(cTarvelActor::kLookAtEyeR), nullptr);
    EXPECT_EQ(old->GetLookAtController(cTarvelActor::kLookAtEyeR)->GetNodeIndex(), 2u);
    EXPECT_EQ(old->GetLookAtController(cTarvelActor::kLookAtEyeL), nullptr);
    EXPECT_EQ(old->GetLookAtController(cTarvelActor::kLookAtSpine1), nullptr);
    old->SetLookAt(10, 0, 100, 1, 0.0f);   // the missing ones are skipped
    EXPECT_EQ(old->mLookAtID, 1);
    // A mesh read again took the controllers with it.
    ASSERT_EQ(old->mMobile->Load("body"), 0);
    EXPECT_EQ(old->GetLookAtController(cTarvelActor::kLookAtHead), nullptr);
    old->RemoveLookAt(1, 0.0f);
}

TEST_F(ActorTest, LookingAtAPoint)
{
    auto ann = Ann();
    auto target = [&](int32_t slot) { return ann->GetLookAtController(slot)->GetTargetWeight(); };
    // Time 0 turns at once: one more frame changes nothing.
    ann->SetLookAt(80.0f, 40.0f, 100.0f, 4, 0.0f);
    EXPECT_EQ(ann->mLookAtID, 4);
    ann->mMobile->Update(0.02f);
    MobileLookAtController* head = ann->GetLookAtController(cTarvelActor::kLookAtHead);
    EXPECT_FLOAT_EQ(head->GetWeight(), 1.0f);
    const AnimCore::Quaternion turned = head->GetCurrentRotation();
    ann->mMobile->Update(0.02f);
    EXPECT_NEAR(head->GetCurrentRotation().x, turned.x, 1e-5f);
    EXPECT_NEAR(head->GetCurrentRotation().y, turned.y, 1e-5f);
    EXPECT_NEAR(head->GetCurrentRotation().w, turned.w, 1e-5f);
    const AnimCore::Vector3 goal = *head->GetGoal();
    EXPECT_EQ(goal.x, 80.0f);
    EXPECT_EQ(goal.z, 100.0f);

    // Another id removes nothing; its own id fades every controller out.
    ann->RemoveLookAt(5, 0.5f);
    EXPECT_EQ(ann->mLookAtID, 4);
    for (int32_t slot = 0; slot < 5; ++slot)
        EXPECT_EQ(target(slot), 1.0f) << slot;
    ann->RemoveLookAt(4, 0.5f);
    EXPECT_EQ(ann->mLookAtID, -1);
    for (int32_t slot = 0; slot < 5; ++slot)
        EXPECT_EQ(target(slot), 0.0f) << slot;

    // SetLookAt2 takes the head, Spine1 and the right eye only.
    ann->mMobile->Update(1.0f);
    ann->SetLookAt2(0.0f, 0.0f, 100.0f, 9, 0.5f, true, true, true);
    EXPECT_EQ(ann->mLookAtID, 9);
    const float expected[5] = {1, 1, 0, 1, 0};
    for (int32_t slot = 0; slot < 5; ++slot)
        EXPECT_EQ(target(slot), expected[slot]) << slot;
    ann->SetLookAt2(0.0f, 0.0f, 100.0f, 2, 0.5f, false, false, false);
    EXPECT_EQ(ann->mLookAtID, 2);
}

TEST_F(ActorTest, LinkedObjectsHangOnTheirBone)
{
    auto ann = Ann();
    ann->mVisible = true;
    ann->LinkObject("cup", "hand");
    ASSERT_NE(ann->mLinkedMobile, nullptr);
    EXPECT_EQ(ann->mLinkedMobile->mAttachedTo, ann->mMobile);
    EXPECT_STREQ(ann->mBone.c_str(), "hand");
    EXPECT_FALSE(ann->mLinkedHidden);
    Anim::ActorInstance* body = ann->mMobile->mInstance;
    ASSERT_EQ(body->GetNumAttachments(), 1u);
    EXPECT_EQ(body->GetAttachment(0)->attachment, ann->mLinkedMobile->mInstance);
    EXPECT_EQ(body->GetAttachment(0)->nodeIndex, 6u);

    tArray<sRenderItem> items;
    ann->CollectRenderItems(items, 0);
    EXPECT_EQ(items.count, 2);
    ann->mLinkedHidden = true;
    items.Clear();
    ann->CollectRenderItems(items, 0);
    EXPECT_EQ(items.count, 1);
    ann->mVisible = false;
    items.Clear();
    ann->CollectRenderItems(items, 0);
    EXPECT_EQ(items.count, 0);

    ASSERT_EQ(ann->PlayLinkedAnimation("wave", 0x1, 0, 0), 0);
    ASSERT_NE(ann->mLinkedAnimation, nullptr);
    EXPECT_EQ(ann->mLinkedAnimation->mFlags, 0x41);
    EXPECT_EQ(ann->mLinkedAnimation->mOwner, ann->mLinkedMobile);
    EXPECT_TRUE(ann->mLinkedAnimation->mPlaying);

    // A bone the body lacks: the old object goes, the new one hangs nowhere.
    ann->LinkObject("cup", "nosuch");
    ASSERT_NE(ann->mLinkedMobile, nullptr);
    EXPECT_EQ(ann->mLinkedAnimation, nullptr);
    EXPECT_EQ(body->GetNumAttachments(), 0u);
    ann->UnlinkObject();
    EXPECT_EQ(ann->mLinkedMobile, nullptr);

    // Without an object the animation is kept, on no mobile.
    ann->PlayLinkedAnimation("wave", 0, 0, 1);
    ASSERT_NE(ann->mLinkedAnimation, nullptr);
    EXPECT_EQ(ann->mLinkedAnimation->mOwner, nullptr);
    ann->PlayLinkedAnimation("nosuch", 0, 0, 0);
    EXPECT_NE(ann->mLinkedAnimation, nullptr);
}

TEST_F(ActorTest, BodyFacialAndTalkAnimations)
{
    auto ann = Ann("body", true);
    ann->mControl = mLegs = new RecordingControl;
    ann->PlayAnimation("wave", 0, 0, 0);
    ASSERT_NE(ann->mAnimation, nullptr);
    EXPECT_TRUE(ann->mAnimation->mPlaying);
    EXPECT_TRUE(ann->mTrigAnim);
    EXPECT_EQ(mLegs->mStops, 1);
    EXPECT_FLOAT_EQ(ann->mAnimation->mDuration, 2.0f);
    // A part: the first second.
    ann->PlayAnimation("wave", 0, 0, 1);
    EXPECT_FLOAT_EQ(ann->mAnimation->mDuration, 1.0f);
    // A motion that does not exist leaves the current one playing.
    cTarvelMobileAnimation* playing = ann->mAnimation;
    ann->PlayAnimation("nosuch", 0, 0, 0);
    EXPECT_EQ(ann->mAnimation, playing);
    EXPECT_EQ(mLegs->mStops, 2);

    // Facial and talk animations leave the body's alone.
    ann->PlayAnimation("smile", 0x80, 0, 0);
    ASSERT_NE(ann->mFacialAnimation, nullptr);
    EXPECT_TRUE(ann->mFacialAnimation->mPlaying);
    ann->PlaySpeechAnimation("smile");
    ASSERT_NE(ann->mTalkAnimation, nullptr);
    EXPECT_EQ(ann->mTalkAnimation->mFlags, 0x80);
    EXPECT_TRUE(ann->mTalkAnimation->mPlaying);
    EXPECT_EQ(ann->mAnimation, playing);

    // The standing actor drops its body animation once it has ended.
    ann->mVisible = true;
    mLegs->mStanding = true;
    ann->Update();
    EXPECT_EQ(ann->mAnimation, playing);
    EXPECT_FALSE(ann->mTrigAnim);
    // Once ended, the next standing update drops it.
    ann->mTrigAnim = true;
    for (int i = 0; i < 10; ++i)
        ann->mMobile->Update(0.2f);
    ann->Update();
    EXPECT_EQ(ann->mAnimation, nullptr);
    EXPECT_FALSE(ann->mTrigAnim);

    // A cinematic being skipped: no facial or talk animation, and the body's
    // is over at once.
    auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "OnRun");
    cinematic->mInCall = cinematic->mSkipping = true;
    delete ann->mFacialAnimation;
    ann->mFacialAnimation = nullptr;
    delete ann->mTalkAnimation;
    ann->mTalkAnimation = nullptr;
    ann->PlayAnimation("smile", 0x80, 0, 0);
    ann->PlaySpeechAnimation("smile");
    ann->PlayAnimation("wave", 0, 0, 0);
    EXPECT_EQ(ann->mFacialAnimation, nullptr);
    EXPECT_EQ(ann->mTalkAnimation, nullptr);
    EXPECT_EQ(ann->mAnimation, nullptr);
    EXPECT_FALSE(ann->mTrigAnim);
}

TEST_F(ActorTest, AnActorWithoutControlStillMovesItsMobileWhileVisible)
{
    auto ann = Ann("body", true);
    ann->PlayAnimation("wave", 0, 0, 0);
    gTarvel.mTimer.mFrameSeconds = 0.5f;
    ann->Update();
    EXPECT_EQ(ann->mAnimation->GetCurrentTime(), 0.0f);   // invisible: nothing
    ann->mVisible = true;
    ann->Update();
    EXPECT_NEAR(ann->mAnimation->GetCurrentTime(), 0.5f, 1e-4f);
}

TEST_F(ActorTest, SetPoseReleasesTheCyclesEmptiesTheIdlesAndCallsThePoseEvent)
{
    auto ann = Ann("body", true);
    ann->mControl = mLegs = new RecordingControl;
    // Neither pose has its event in the script: the idles go all the same.
    for (const char* pose : {"Lie", "Stand"}) {
        ann->AddIdleAnimation({"wave", 2});
        EXPECT_EQ(ann->AddIdleAnimation({"wave", 1}), 1);
        ann->SetPose(pose);
        EXPECT_EQ(ann->mIdleAnimations.count, 0);
        EXPECT_STREQ(ann->mPose.c_str(), pose);
    }
    EXPECT_EQ(mLegs->mReleases, 2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"Ann:Ann::PoseLie", "Ann:Ann::PoseStand"}));
    ann->SetPose("Sit");
    EXPECT_TRUE(Called("Ann:Ann::PoseSit"));
}

TEST_F(ActorTest, SaveAndLoad)
{
    auto ann = Ann();
    ann->mCaption = "Ann Bell";
    ann->mPose = "Sit";
    ann->mEnabled = ann->mVisible = true;
    ann->mSpeechColor = 0xFF102030u;
    ann->mPathfinderDest[0] = 5.0f;
    ann->mPathfinderDest[1] = 6.0f;
    ann->mPathfinderDest[2] = 0.5f;
    ann->mIdleFrom = 3.0f;
    ann->AddIdleAnimation({"wave", 3});
    ann->LinkObject("cup", "hand");
    ann->mLinkedHidden = true;
    ann->SetLookAt(10.0f, 20.0f, 30.0f, 6, 0.0f);
    ann->mMobile->SetPosition(1.0f, 2.0f, 3.0f);
    ann->PlayAnimation("wave", 0, 0, 0);
    const std::string text = SaveText(*ann);
    EXPECT_NE(text.find("<Weight>3.00000000</Weight>"), std::string::npos) << text;
    EXPECT_NE(text.find("<Symbol>Ann</Symbol>"), std::string::npos);
    EXPECT_NE(text.find("<LinkedMobile Prepare=\"1\" Bone=\"hand\">"), std::string::npos);
    EXPECT_NE(text.find("<Control class=\"1\">"), std::string::npos);

    // As the scene restores it: without control until the savegame's.
    gCalls.clear();
    cTarvelActor back("Ann", "", true);
    EXPECT_TRUE(gCalls.empty());
    LoadText(back, text);
    EXPECT_STREQ(back.mCaption.c_str(), "Ann Bell");
    EXPECT_STREQ(back.mPose.c_str(), "Sit");
    EXPECT_TRUE(back.mEnabled);
    EXPECT_TRUE(back.mVisible);
    EXPECT_EQ(back.mSpeechColor, 0xFF102030u);
    EXPECT_EQ(back.mPathfinderDest[2], 0.5f);
    EXPECT_EQ(back.mIdleFrom, 3.0f);
    ASSERT_EQ(back.mIdleAnimations.count, 1);
    EXPECT_EQ(back.mIdleAnimations[0].weight, 3);
    EXPECT_TRUE(back.mTrigAnim);
    ASSERT_NE(back.mAnimation, nullptr);
    EXPECT_STREQ(back.mAnimation->mName.c_str(), "wave");
    EXPECT_NE(dynamic_cast<cTarvelActorControlDefault*>(back.mControl), nullptr);
    EXPECT_EQ(back.mSceneSymbol, mScene->mScript->FindSymbol("Ann", "cNPC"));
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(back.mSceneSymbol->object, eScriptObjectType::Actor), &back);
    EXPECT_EQ(back.mMobile->mPosition, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    ASSERT_NE(back.mLinkedMobile, nullptr);
    EXPECT_TRUE(back.mLinkedHidden);
    EXPECT_EQ(back.mMobile->mInstance->GetNumAttachments(), 1u);
    EXPECT_EQ(back.mLookAtID, 6);
    MobileLookAtController* head = back.GetLookAtController(cTarvelActor::kLookAtHead);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->GetGoal()->y, 20.0f);
    back.mSceneSymbol->object = 0;

    // What a savegame leaves out: no linked object written; "Prepare" and
    // "Weight" missing read as hidden and 1; a control of another class
    // leaves none.
    cTarvelActor plain("Ann", "", true);
    EXPECT_EQ(SaveText(plain).find("LinkedMobile"), std::string::npos);
    LoadText(plain, "<NPC name=\"Ann\"><Idle><File>wave</File></Idle>"
                    "<LinkedMobile Bone=\"hand\"><File>cup</File></LinkedMobile><Control class=\"2\"/></NPC>");
    ASSERT_EQ(plain.mIdleAnimations.count, 1);
    EXPECT_EQ(plain.mIdleAnimations[0].weight, 1);
    ASSERT_NE(plain.mLinkedMobile, nullptr);
    EXPECT_TRUE(plain.mLinkedHidden);
    EXPECT_EQ(plain.mControl, nullptr);
    EXPECT_EQ(plain.mLookAtID, -1);
}

TEST_F(ActorTest, TheSceneUpdatesDrawsSavesAndRestoresItsActors)
{
    auto ann = Ann();
    ann->mEnabled = ann->mVisible = true;
    auto hidden = Ann();
    auto* annDefault = static_cast<cTarvelActorControlDefault*>(ann->mControl);
    auto* hiddenDefault = static_cast<cTarvelActorControlDefault*>(hidden->mControl);
    annDefault->mNextBlink = hiddenDefault->mNextBlink = -1.0f;
    mScene->mActors.Add(ann.release());
    mScene->mActors.Add(hidden.release());
    // Only the visible actor is updated (its blink comes due) and drawn.
    mScene->Update();
    EXPECT_GT(annDefault->mNextBlink, 0.0f);
    EXPECT_EQ(hiddenDefault->mNextBlink, -1.0f);
    tArray<sRenderItem> items;
    mScene->CollectRenderItems(items, 0);
    ASSERT_EQ(items.count, 1);
    EXPECT_EQ(items[0].object, mScene->mActors[0]->mMobile);

    // Saved as "NPC" elements; an actor this game has no script for, or
    // one without name, is skipped on the way back.
    std::string text;
    {
        TiXmlDocument document;
        auto* root = new TiXmlElement("Scene");
        document.LinkEndChild(root);
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = root;
        mScene->SaveState(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
        TiXmlPrinter printer;
        document.Accept(&printer);
        text = printer.CStr();
    }
    ASSERT_NE(text.find("<NPC name=\"Ann\">"), std::string::npos) << text;
    const size_t end = text.rfind("</Scene>");
    text.insert(end, "<NPC name=\"Zed\"/><NPC/>");
    auto* restored = new cTarvelScene();
    restored->mScript = new cTarvelScript("scene");
    const std::vector<uint8_t> image = AssembleScriptOrThrow("global Ann object class=cNPC\nret\n");
    ASSERT_EQ(restored->mScript->LoadImage(image.data(), image.size(), "scene"), 0);
    gTarvel.mScene = restored;
    {
        TiXmlDocument document;
        document.Parse(text.c_str());
        cTarvelSavegame& cursor = gTarvel.mSavegame;
        cursor.mRoot = cursor.mCurrent = document.RootElement();
        restored->LoadState(cursor);
        cursor.mRoot = cursor.mCurrent = nullptr;
    }
    ASSERT_EQ(restored->mActors.count, 2);
    cTarvelActor& back = *restored->mActors[0];
    EXPECT_STREQ(back.mName.c_str(), "Ann");
    EXPECT_TRUE(back.mEnabled);
    EXPECT_NE(dynamic_cast<cTarvelActorControlDefault*>(back.mControl), nullptr);
    EXPECT_EQ(back.mSceneSymbol, restored->mScript->FindSymbol("Ann", "cNPC"));
    // Both actors are Ann: the last one restored holds the symbol.
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(back.mSceneSymbol->object, eScriptObjectType::Actor),
              restored->mActors[1]);
    EXPECT_FALSE(restored->mActors[1]->mVisible);
    gTarvel.mScene = mScene;
    restored->Clear();
    delete restored;
}

TEST_F(ActorTest, LeavingTheSceneFreesThePlayerOfItsAnimationObjectAndLookAt)
{
    auto player = std::make_unique<cTarvelActor>("PC", "a", false);
    ASSERT_EQ(player->mMobile->Load("body"), 0);
    player->CreateLookAtControllers();
    player->PlayAnimation("wave", 0, 0, 0);
    player->LinkObject("cup", "hand");
    player->SetLookAt(0.0f, 0.0f, 100.0f, 3, 0.5f);
    cTarvelWalkArea stair;
    auto* control = static_cast<cTarvelActorControlDefault*>(player->mControl);
    control->mStairLayers.Add(&stair);
    control->mStairing = true;
    gTarvel.mPlayer = player.get();
    mScene->Leave(1);
    // The stair layers were this scene's walk areas.
    EXPECT_EQ(control->mStairLayers.count, 0);
    EXPECT_FALSE(control->mStairing);
    gTarvel.mPlayer = mPlayer;
    EXPECT_EQ(player->mAnimation, nullptr);
    EXPECT_FALSE(player->mTrigAnim);
    EXPECT_EQ(player->mLinkedMobile, nullptr);
    EXPECT_EQ(player->mLookAtID, -1);
    EXPECT_EQ(player->GetLookAtController(cTarvelActor::kLookAtHead)->GetTargetWeight(), 0.0f);
}

} // namespace
