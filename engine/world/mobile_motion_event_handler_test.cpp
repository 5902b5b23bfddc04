#include "engine/world/mobile_motion_event_handler.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "animation/anim_manager.h"
#include "animation/event_manager.h"
#include "animation/motion_event_handler.h"
#include "engine/gameplay/cinematic.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/sound/sound.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/mobile_test_support.h"
#include "engine/world/scene.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/testing.h"
#include "tools/scene_writer.h"
#include "animation/node.h"
#include "tools/script_assembler.h"

namespace {

std::vector<std::string> gCalls;
// The actor the scene's "Again" handler plays "calls" on, once.
cTarvelActor* gReplayOn = nullptr;

void Observe(cTarvelScript*, const char* name)
{
    gCalls.push_back(name);
    if (gReplayOn && gCalls.back() == "Yard::Again") {
        cTarvelActor* actor = gReplayOn;
        gReplayOn = nullptr;
        actor->PlayAnimation("calls", 0, 0.0f, 0.0f);
    }
}

struct TimedEvent {
    float time;
    std::string type;
    std::string parameter;
};

// One second of "root" standing still, with these events.
testkit::Bytes EventMotion(const std::vector<TimedEvent>& events)
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::SkeletalMotion);
    testkit::AnimMotionEventTableChunk table;
    for (const TimedEvent& event : events) {
        table.types.push_back(event.type);
        table.parameters.push_back(event.parameter);
        table.events.push_back({event.time, uint32_t(table.types.size() - 1), uint32_t(table.parameters.size() - 1)});
    }
    writer.AddMotionEventTable(table);
    writer.AddSkeletalSubMotion(testkit::StillSubMotion("root"));
    return writer.Finish();
}

class MotionEventTest : public MobileTest {
protected:
    void SetUp() override
    {
        MobileTest::SetUp();
        gCalls.clear();
        testkit::SceneFile file;
        file.name = "Yard";
        file.script = AssembleScriptOrThrow("global Yard object class=cScene\nret\n");
        testkit::MobileActor body;
        body.nodes = {{"root", -1}, {"Bip01 Head", 0}};
        testkit::MobileActor prop;
        const testkit::Bytes wav = pt::EncodeWav(pt::MakeTone(0.2, 8000, 1, 660), 8000, 1);
        Start({{"body", 7, testkit::BuildMobileActor(body)},
               {"prop", 7, testkit::BuildMobileActor(prop)},
               {"calls", 8, EventMotion({{0.5f, "rotend", ""}, {0.7f, "scrscene", "Waved"}})},
               {"handover", 8, EventMotion({{0.3f, "link", ""}, {0.7f, "unlink", ""}})},
               {"sitdown", 8, EventMotion({{0.3f, "setpose", "Sit"}, {0.35f, "rotend", ""}})},
               {"replay", 8, EventMotion({{0.3f, "scrscene", "Again"}, {0.35f, "rotend", ""}})},
               {"Ann.day", 2, AssembleActorScript("Ann", "ret\nfunction Ann::PoseSit\nret\n")},
               {"step", kResourceWav, wav},
               {"Yard", testkit::kSceneResourceType, testkit::BuildSceneFile(file)}});
        mScene = new cTarvelScene();
        mScene->mSlot = gTarvel.mResources.OpenResource("Yard", testkit::kSceneResourceType);
        ASSERT_EQ(gTarvel.ChangeScene(mScene, 0), 0);
        ASSERT_NE(mScene->mScriptObject, nullptr);
        gTarvel.mSound.SetupSound("step", "step", 0, kSound3D);
        gTarvel.mGameState = "day";
        cTarvelScript::sCallObserver = Observe;
        mBody = Loaded("body");
    }

    void TearDown() override
    {
        gReplayOn = nullptr;
        gTarvel.mPlayer = nullptr;
        mAnn.reset();
        cTarvelScript::sCallObserver = nullptr;
        gCinematics.Clear();
        MobileTest::TearDown();
    }

    // The engine's handler, as the library calls it for a motion of mobile.
    static void Fire(cTarvelMobile* mobile, const char* type, const char* parameters)
    {
        const uint32_t id = Anim::GetEventManager()->FindEventID(type);
        Anim::GetMotionEventHandler()->OnEvent(0.0f, id, parameters, mobile->mInstance, nullptr);
    }

    // A free mobile of the scene.
    cTarvelMobile* Free(const char* freeId)
    {
        auto* mobile = new cTarvelMobile();
        mobile->mFree = true;
        mobile->mFreeID = freeId;
        EXPECT_EQ(mobile->Load("prop"), 0);
        mScene->mMobiles.Add(mobile);
        return mobile;
    }

    // Ann, an actor with her body loaded.
    cTarvelActor& Ann()
    {
        mAnn = std::make_unique<cTarvelActor>("Ann", "", false);
        EXPECT_EQ(mAnn->mMobile->Load("body"), 0);
        gCalls.clear();
        return *mAnn;
    }

    static int Playing() { return gTarvel.mSound.mChannels.count; }
    static const sSoundChannel& Channel(int i) { return *gTarvel.mSound.mChannels.data[i]; }

    cTarvelScene* mScene = nullptr;
    cTarvelMobile* mBody = nullptr;
    std::unique_ptr<cTarvelActor> mAnn;
};

TEST_F(MotionEventTest, EventsOfAPlayingMotionReachTheHandlerAtTheirFrame)
{
    cTarvelMobileAnimation animation(mBody, cTarvelMobileAnimation::kNoBlendIn);
    ASSERT_EQ(animation.Load("calls"), 0);
    animation.Play(0.0f, 1.0f);
    for (int step = 0; step < 2; ++step)
        mBody->Update(0.2f);
    EXPECT_FALSE(mBody->mRotationEnd);
    mBody->Update(0.2f);   // passes 0.5
    EXPECT_TRUE(mBody->mRotationEnd);
    EXPECT_TRUE(gCalls.empty());
    mBody->Update(0.2f);   // passes 0.7
    EXPECT_EQ(gCalls, std::vector<std::string>{"Yard::Waved"});
}

TEST_F(MotionEventTest, SceneScriptCallsActAlsoWhileSkipping)
{
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    cinematic.mInCall = cinematic.mSkipping = true;
    Fire(mBody, "scrscene", "Knock;Twice");
    Fire(mBody, "scrsceneex", "Direct");
    EXPECT_EQ(gCalls, (std::vector<std::string>{"Yard::Knock;Twice", "Direct"}));
    // Without a scene script there is nobody to call.
    cTarvelScript* script = mScene->mScript;
    mScene->mScript = nullptr;
    Fire(mBody, "scrscene", "Knock");
    mScene->mScript = script;
    EXPECT_EQ(gCalls.size(), 2u);
}

TEST_F(MotionEventTest, SoundsPlayWithTheirPiecesOnlyWhenNotSkipping)
{
    mBody->SetPosition(10.0f, 20.0f, 30.0f);
    struct Case {
        const char* type;
        const char* parameters;
        bool plays;
    };
    const Case cases[] = {
        {"sound", "step;0.5;4", true},
        {"sound", ";;step;;0.5;;4;;", true},   // doubled separators give no empty pieces
        {"sound", "step;0.5", false},          // too few pieces
        {"sounda", "step;0.5;4", true},
        {"sounda", "step;;0.5", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.parameters);
        const int before = Playing();
        Fire(mBody, c.type, c.parameters);
        ASSERT_EQ(Playing() - before, c.plays ? 1 : 0);
        if (!c.plays)
            continue;
        const sSoundChannel& entry = Channel(before);
        EXPECT_STREQ(entry.name, "step");
        EXPECT_FLOAT_EQ(entry.volume, 0.5f);
        EXPECT_EQ(entry.flags & 4u, 4u);
        // Only "sounda" places its channel, at the mobile.
        const bool placed = std::string(c.type) == "sounda";
        const platform::testing::FmodChannelState* state = nullptr;
        const auto channels = platform::testing::FmodChannels();
        for (const auto& channel : channels)
            if (channel.handle == entry.channel)
                state = &channel;
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->position.x, placed ? 10.0f : 0.0f);
        EXPECT_EQ(state->position.y, placed ? 20.0f : 0.0f);
        EXPECT_EQ(state->position.z, placed ? 30.0f : 0.0f);
        EXPECT_EQ(entry.extra, 0);
    }

    const int before = Playing();
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    cinematic.mSkipping = true;
    Fire(mBody, "sound", "step;0.5;0");
    Fire(mBody, "sounda", "step;0.5;0");
    EXPECT_EQ(Playing(), before);
    // Only the newest cinematic counts.
    cTarvelCinematic newer(nullptr, "", nullptr, "OnRun");
    newer.mSkipping = false;   // pushed above a skipping one it would skip too
    Fire(mBody, "sound", "step;0.5;0");
    EXPECT_EQ(Playing(), before + 1);
}

TEST_F(MotionEventTest, AFreeMobileWithoutActorOnlyCallsTurnsAndSounds)
{
    cTarvelMobile* lamp = Free("lamp");
    cTarvelMobile* cup = Free("cup");
    Fire(lamp, "linkf", "cup;root");
    Fire(lamp, "unlinkf", "cup");
    Fire(lamp, "link", "");
    Fire(lamp, "footstep", "");
    Fire(lamp, "setpose", "Sit");
    EXPECT_EQ(cup->mAttachedTo, nullptr);
    EXPECT_EQ(lamp->mInstance->GetNumAttachments(), 0u);
    EXPECT_EQ(Playing(), 0);
    EXPECT_TRUE(gCalls.empty());

    Fire(lamp, "rotend", "");
    Fire(lamp, "scrscene", "Lit");
    Fire(lamp, "scrsceneex", "Lit");
    Fire(lamp, "sound", "step;1;0");
    Fire(lamp, "sounda", "step;1;0");
    EXPECT_TRUE(lamp->mRotationEnd);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"Yard::Lit", "Lit"}));
    EXPECT_EQ(Playing(), 2);
}

TEST_F(MotionEventTest, UnknownIdsAndInstancesWithoutMobileDoNothing)
{
    Anim::MotionEventHandler* handler = Anim::GetMotionEventHandler();
    handler->OnEvent(0.0f, 11, "step;1;0", mBody->mInstance, nullptr);
    handler->OnEvent(0.0f, 8, "", nullptr, nullptr);
    mBody->mInstance->SetCustomData(nullptr);
    handler->OnEvent(0.0f, 8, "", mBody->mInstance, nullptr);
    mBody->mInstance->SetCustomData(mBody);
    EXPECT_FALSE(mBody->mRotationEnd);
    EXPECT_EQ(Playing(), 0);
}

TEST_F(MotionEventTest, LinkedObjectShowsAndGoesAtItsFrames)
{
    cTarvelActor& ann = Ann();
    ann.LinkObject("prop", "Bip01 Head");
    ann.mLinkedHidden = true;   // as the script's link waits for the motion
    ASSERT_NE(ann.mLinkedMobile, nullptr);
    cTarvelMobileAnimation animation(ann.mMobile, cTarvelMobileAnimation::kNoBlendIn);
    ASSERT_EQ(animation.Load("handover"), 0);
    animation.Play(0.0f, 1.0f);
    ann.mMobile->Update(0.2f);
    EXPECT_TRUE(ann.mLinkedHidden);
    ann.mMobile->Update(0.2f);   // passes 0.3
    EXPECT_FALSE(ann.mLinkedHidden);
    ann.mMobile->Update(0.2f);
    ASSERT_NE(ann.mLinkedMobile, nullptr);
    EXPECT_EQ(ann.mMobile->mInstance->GetNumAttachments(), 1u);
    ann.mMobile->Update(0.2f);   // passes 0.7
    EXPECT_EQ(ann.mLinkedMobile, nullptr);
    EXPECT_EQ(ann.mMobile->mInstance->GetNumAttachments(), 0u);
    ann.mMobile->Update(0.2f);
}

TEST_F(MotionEventTest, FootstepsAreMoreThanAFifthOfASecondApart)
{
    cTarvelActor& ann = Ann();
    ann.mFootstepSound = "step";
    ann.mFootstepVolume = 0.7f;
    ann.mMobile->SetPosition(-4.0f, 1.0f, 9.0f);
    // The last step counts from time 0: none in the game's first 0.2 s.
    Fire(ann.mMobile, "footstep", "");
    ASSERT_EQ(Playing(), 0);
    pt::AdvanceClock(250);
    Fire(ann.mMobile, "footstep", "");
    ASSERT_EQ(Playing(), 1);
    EXPECT_STREQ(Channel(0).name, "step");
    EXPECT_FLOAT_EQ(Channel(0).volume, 0.7f);
    EXPECT_EQ(Channel(0).flags, 0u);
    const auto channels = platform::testing::FmodChannels();
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].position.x, -4.0f);
    EXPECT_EQ(channels[0].position.z, 9.0f);
    EXPECT_FLOAT_EQ(ann.mLastFootstep, gTarvel.mTimer.GetSeconds());

    pt::AdvanceClock(100);
    Fire(ann.mMobile, "footstep", "");
    EXPECT_EQ(Playing(), 1);   // 0.1 s: too soon
    pt::AdvanceClock(150);
    Fire(ann.mMobile, "footstep", "");
    EXPECT_EQ(Playing(), 2);   // 0.25 s after the first

    // Not while a cinematic is skipped, and the skipped step does not count.
    cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
    cinematic.mSkipping = true;
    pt::AdvanceClock(300);
    const float last = ann.mLastFootstep;
    Fire(ann.mMobile, "footstep", "");
    EXPECT_EQ(Playing(), 2);
    EXPECT_EQ(ann.mLastFootstep, last);
}

TEST_F(MotionEventTest, PosesAndFreeMobilesOnAnActorsBones)
{
    cTarvelActor& ann = Ann();
    Fire(ann.mMobile, "setpose", "Sit");
    EXPECT_EQ(ann.mPose, cTarvelString("Sit"));
    EXPECT_EQ(gCalls, std::vector<std::string>{"Ann::PoseSit"});

    cTarvelMobile* cup = Free("cup");
    Free("cup");   // a second of the same id is never the one found
    cup->SetPosition(5.0f, 0.0f, 0.0f);
    // Unknown ids (the whole id is compared), unknown bones and too few
    // pieces link nothing.
    for (const char* parameters : {"cu;Bip01 Head", "cup;Bip01 Neck", "cup", ";;cup;;"}) {
        SCOPED_TRACE(parameters);
        Fire(ann.mMobile, "linkf", parameters);
        EXPECT_EQ(cup->mAttachedTo, nullptr);
        EXPECT_EQ(ann.mMobile->mInstance->GetNumAttachments(), 0u);
    }
    Fire(ann.mMobile, "linkf", ";cup;;Bip01 Head;");
    EXPECT_EQ(cup->mAttachedTo, ann.mMobile);
    ASSERT_EQ(ann.mMobile->mInstance->GetNumAttachments(), 1u);
    const Anim::Attachment* link = ann.mMobile->mInstance->GetAttachment(0);
    EXPECT_EQ(link->attachment, cup->mInstance);
    EXPECT_EQ(link->nodeIndex, ann.mMobile->mActor->FindNodeByName("Bip01 Head")->GetIndex());
    EXPECT_EQ(cup->mInstance->GetPosition().x, 0.0f);   // placed at the bone
    // Another actor cannot take it away.
    cTarvelActor other("Ann", "", true);
    ASSERT_EQ(other.mMobile->Load("body"), 0);
    Fire(other.mMobile, "unlinkf", "cup");
    EXPECT_EQ(cup->mAttachedTo, ann.mMobile);
    EXPECT_EQ(cup->mInstance->GetAttachedTo(), ann.mMobile->mInstance);

    // Let go, the cup is updated once where it stands.
    Fire(ann.mMobile, "unlinkf", "cup");
    EXPECT_EQ(cup->mAttachedTo, nullptr);
    EXPECT_EQ(ann.mMobile->mInstance->GetNumAttachments(), 0u);
    EXPECT_EQ(cup->mInstance->GetAttachedTo(), nullptr);
    EXPECT_EQ(cup->mInstance->GetPosition().x, 5.0f);
}

TEST_F(MotionEventTest, APoseInsideAWalkAnimationFreesItOnlyOnceTheLibraryIsDone)
{
    // The pose releases the walk animation whose motion fires the event;
    // the event after it in the same frame still arrives.
    cTarvelActor& ann = Ann();
    auto* control = dynamic_cast<cTarvelActorControlDefault*>(ann.mControl);
    ASSERT_NE(control, nullptr);
    control->mWalkAnim = new cTarvelMobileAnimation(ann.mMobile, cTarvelMobileAnimation::kNoBlendIn);
    ASSERT_EQ(control->mWalkAnim->Load("sitdown"), 0);
    control->mWalkAnim->Play(0.0f, 1.0f);
    ann.mMobile->Update(0.2f);
    EXPECT_EQ(ann.mPose, cTarvelString(""));
    ann.mMobile->Update(0.2f);   // passes 0.3 and 0.35
    EXPECT_EQ(ann.mPose, cTarvelString("Sit"));
    EXPECT_EQ(control->mWalkAnim, nullptr);
    EXPECT_TRUE(ann.mMobile->mRotationEnd);
    ann.mMobile->Update(0.2f);
}

// A skip fires the events of an actor's animation at once; a scene handler
// that plays another animation on the actor frees the one being read, so
// the events act only once the skip is done with it.
TEST_F(MotionEventTest, EventsFiredByASkipActOnceTheSkippedAnimationIsLetGo)
{
    cTarvelActor& ann = Ann();
    {
        // A skipped cinematic's own call: the animation is made, its events
        // fired and it is deleted at once.
        cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
        cinematic.mInCall = cinematic.mSkipping = true;
        gReplayOn = &ann;
        ann.PlayAnimation("replay", 0, 0.0f, 0.0f);
        // The handler's animation is skipped as well, its events fired.
        EXPECT_EQ(gCalls, (std::vector<std::string>{"Yard::Again", "Yard::Waved"}));
        EXPECT_TRUE(ann.mMobile->mRotationEnd);   // the event after the handler's still came
        EXPECT_EQ(ann.mAnimation, nullptr);
        gCalls.clear();
        gCinematics.Clear();
    }
    {
        // The player's animation as a cinematic is skipped: it ends where it
        // is, and the handler's new animation is the one that plays on.
        ann.mMobile->mRotationEnd = false;
        ASSERT_EQ(ann.PlayAnimation("replay", 0, 0.0f, 0.0f), 0);
        ASSERT_NE(ann.mAnimation, nullptr);
        ASSERT_TRUE(ann.mAnimation->mPlaying);
        gTarvel.mPlayer = &ann;
        gReplayOn = &ann;
        cTarvelCinematic cinematic(nullptr, "", nullptr, "OnRun");
        cinematic.RequestSkip(true);
        EXPECT_EQ(gCalls, std::vector<std::string>{"Yard::Again"});
        EXPECT_TRUE(ann.mMobile->mRotationEnd);
        ASSERT_NE(ann.mAnimation, nullptr);
        EXPECT_EQ(ann.mAnimation->mName, cTarvelString("calls"));
        EXPECT_TRUE(ann.mAnimation->mPlaying);
        gCinematics.Clear();
    }
}

} // namespace
