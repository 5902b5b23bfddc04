#include "engine/world/mobile_animation.h"

#include <cmath>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "animation/actor_instance.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_instance.h"
#include "animation/motion_system.h"
#include "animation/world_pose.h"
#include "engine/gameplay/savegame.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/mobile_test_support.h"

namespace {

using Anim::MotionInstance;
using testkit::MobileActor;

constexpr float kPi = 3.14159265f;

class AnimationTest : public MobileTest {
protected:
    void SetUp() override
    {
        MobileTest::SetUp();
        MobileActor walker;
        walker.nodes = {{"root", -1}, {"child", 0}};
        MobileActor single;
        Start({{"walker", 7, testkit::BuildMobileActor(walker)},
               {"single", 7, testkit::BuildMobileActor(single)},
               {"walk", 8, Motion("root", {0, 0, 0}, {10, 0, 0}, 0.0f, 1.0f)},
               {"long", 8, Motion("root", {0, 0, 0}, {0, 0, 0}, 0.0f, 2.0f)},
               {"left", 8, Motion("root", {0, 0, 0}, {0, 0, 0}, 0.5f * kPi, 1.0f)},
               {"right", 8, Motion("root", {0, 0, 0}, {0, 0, 0}, -0.5f * kPi, 1.0f)},
               {"hold", 8, Motion("child", {3, 0, 0}, {3, 0, 0}, 0.0f, 1.0f)},
               {"still", 8, Motion("child", {3, 0, 0}, {3, 0, 0}, 0.0f, 0.0f)},
               {"smile", 14, MorphMotion("smile", 1.0f)}});
        mMobile = Loaded("walker");
    }

    void TearDown() override
    {
        mAnimations.clear();
        MobileTest::TearDown();
    }

    cTarvelMobileAnimation* Animation(const char* name, int32_t flags = 0, bool loop = false)
    {
        mAnimations.push_back(std::make_unique<cTarvelMobileAnimation>(mMobile, flags));
        EXPECT_EQ(mAnimations.back()->Load(name), 0);
        mAnimations.back()->mLoop = loop;
        return mAnimations.back().get();
    }

    // Runs the mobile's update in steps of dt.
    void Run(float seconds, float dt = 0.05f)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += dt)
            mMobile->Update(dt);
    }

    Anim::MotionSystem* Motions() const { return mMobile->mInstance->GetMotionSystem(); }

    cTarvelMobile* mMobile = nullptr;
    std::vector<std::unique_ptr<cTarvelMobileAnimation>> mAnimations;
};

TEST_F(AnimationTest, PlayFillsTheStartRecordByFlag)
{
    const struct {
        int32_t flags;
        bool loop;
        float weight;   // right after the start: 1 without blend-in
        float blendOut;
        uint32_t loops, priority, blendMode, playMode;
        bool freeze, repositioning;
    } cases[] = {
        {0x00, false, 0.0f, 0.4f, 1, 10, 0, 0, true, true},
        {0x00, true, 0.0f, 0.4f, MotionInstance::kLoopForever, 10, 0, 0, false, true},
        {0x01, false, 1.0f, 0.4f, 1, 10, 0, 0, true, true},
        {0x02, false, 0.0f, 0.0f, 1, 10, 0, 0, true, true},
        {0x10, false, 0.0f, 0.4f, 1, 10, 0, 1, true, true},
        {0x20, false, 0.0f, 0.4f, 1, 0, 0, 0, true, true},
        {0x40, false, 0.0f, 0.4f, 1, 10, 0, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        cTarvelMobileAnimation* animation = Animation("walk", c.flags, c.loop);
        animation->mInstanceFactor = 1.5f;
        animation->Play(0.4f, 2.0f);
        MotionInstance* instance = animation->mInstance;
        ASSERT_NE(instance, nullptr);
        EXPECT_TRUE(animation->mPlaying);
        EXPECT_FLOAT_EQ(instance->GetWeight(), c.weight);
        EXPECT_FLOAT_EQ(instance->GetBlendOutTime(), c.blendOut);
        EXPECT_FLOAT_EQ(animation->mFadeOutTime, c.blendOut);
        EXPECT_FLOAT_EQ(instance->GetPlaySpeed(), 2.0f);
        EXPECT_EQ(instance->GetMaxLoops(), c.loops);
        EXPECT_EQ(instance->GetPriorityLevel(), c.priority);
        EXPECT_EQ(instance->GetBlendMode(), c.blendMode);
        EXPECT_EQ(instance->GetPlayMode(), c.playMode);
        EXPECT_TRUE(instance->IsMixing());
        EXPECT_EQ(instance->HasFlag(MotionInstance::FLAG_FREEZEATLASTFRAME), c.freeze);
        EXPECT_EQ(instance->HasFlag(cTarvelMobileAnimation::kRepositioningFlag), c.repositioning);
        EXPECT_FALSE(instance->HasFlag(MotionInstance::FLAG_REMOVEUNDER));
        EXPECT_FLOAT_EQ(instance->GetInstanceFactor(), 1.5f);
        EXPECT_FLOAT_EQ(animation->mDuration, 1.0f);
        animation->Stop(-1.0f);
        EXPECT_FALSE(animation->mPlaying);
        EXPECT_EQ(animation->mInstance, nullptr);
    }

    // A progressive morph motion: priority 100, additive, neither the game's
    // mark nor its factor.
    cTarvelMobileAnimation* smile = Animation("smile", 0x80);
    smile->mInstanceFactor = 1.5f;
    smile->Play(0.0f, 1.0f);
    ASSERT_NE(smile->mInstance, nullptr);
    EXPECT_EQ(smile->mInstance->GetPriorityLevel(), 100u);
    EXPECT_EQ(smile->mInstance->GetBlendMode(), 1u);
    EXPECT_FALSE(smile->mInstance->HasFlag(cTarvelMobileAnimation::kRepositioningFlag));
    EXPECT_FLOAT_EQ(smile->mInstance->GetInstanceFactor(), 1.0f);

    // A missing motion loads nothing and plays nothing.
    cTarvelMobileAnimation missing(mMobile, 0);
    EXPECT_EQ(missing.Load("nowhere"), -1);
    missing.Play(0.3f, 1.0f);
    EXPECT_EQ(missing.mInstance, nullptr);
    EXPECT_FALSE(missing.mPlaying);
}

TEST_F(AnimationTest, FadeOutEndsWithTheMotion)
{
    // 2.0 s with fade-out 0.5: fading starts at 1.5 s with the time left.
    cTarvelMobileAnimation* animation = Animation("long");
    animation->Play(0.5f, 1.0f);
    MotionInstance* instance = animation->mInstance;
    Run(1.45f);
    EXPECT_TRUE(animation->mPlaying);
    EXPECT_FALSE(instance->IsStopping());
    // The step is judged on the time played before it: 1.55 s.
    Run(0.15f);
    EXPECT_FALSE(animation->mPlaying);
    EXPECT_EQ(animation->mInstance, nullptr);
    ASSERT_TRUE(Motions()->IsListed(instance));
    EXPECT_TRUE(instance->IsStopping());
    EXPECT_FLOAT_EQ(instance->GetTargetWeight(), 0.0f);
    // 0.45 s were left: the weight reaches 0 with the motion's end.
    EXPECT_NEAR(instance->GetWeightDelta(), -1.0f / 0.45f, 1e-3);

    // Without fade-out it plays to its end and stops then, over 0.3 s.
    cTarvelMobileAnimation* hard = Animation("long", cTarvelMobileAnimation::kNoFadeOut);
    hard->Play(0.5f, 1.0f);
    instance = hard->mInstance;
    Run(1.95f);
    EXPECT_EQ(hard->mInstance, instance);
    Run(0.15f);
    EXPECT_EQ(hard->mInstance, nullptr);
    EXPECT_NEAR(instance->GetWeightDelta(), -1.0f / 0.3f, 1e-3);
}

TEST_F(AnimationTest, RangesEndsAndStops)
{
    cTarvelMobileAnimation* animation = Animation("long");
    animation->PlayRange(0.0f, 1.5f, 0.5f);
    ASSERT_NE(animation->mInstance, nullptr);
    EXPECT_FLOAT_EQ(animation->mDuration, 1.0f);
    EXPECT_FLOAT_EQ(animation->mInstance->GetCurrentTime(), 1.5f);
    EXPECT_FLOAT_EQ(animation->mInstance->GetMaxPlayTime(), 0.5f);
    EXPECT_FLOAT_EQ(animation->GetCurrentTime(), 1.5f);

    // A looping motion keeps playing past its end; stopping forgets it.
    cTarvelMobileAnimation* loop = Animation("walk", 0, true);
    loop->Play(0.0f, 1.0f);
    Run(2.5f);
    EXPECT_TRUE(loop->mPlaying);
    loop->StopIfPlaying();
    EXPECT_FALSE(loop->mPlaying);
    EXPECT_EQ(loop->mInstance, nullptr);
    EXPECT_FLOAT_EQ(loop->GetDuration(), 1.0f);
    EXPECT_FLOAT_EQ(loop->GetCurrentTime(), 0.0f);
}

TEST_F(AnimationTest, TurnAngleForBothSigns)
{
    const struct {
        const char* motion;
        bool positive;
        float angle;
    } cases[] = {{"left", true, 0.5f * kPi},
                 {"left", false, -1.5f * kPi},
                 {"right", true, 1.5f * kPi},
                 {"right", false, -0.5f * kPi}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.motion) + (c.positive ? "+" : "-"));
        cTarvelMobileAnimation* animation = Animation(c.motion);
        EXPECT_NEAR(animation->GetTurnAngle(c.positive), c.angle, 1e-4);
        // Once computed it stays, whatever is asked later.
        EXPECT_NEAR(animation->GetTurnAngle(!c.positive), c.angle, 1e-4);
    }
    // Nothing is left playing.
    EXPECT_EQ(Motions()->GetNumMotionInstances(), 0u);
}

TEST_F(AnimationTest, RepositioningTurnsRootMotionIntoMoveAndTurn)
{
    // A looping walk crosses its loop point without a jump back.
    Animation("walk", 0, true)->Play(0.0f, 1.0f);
    Run(1.2f, 0.2f);
    EXPECT_NEAR(mMobile->mPosition.x, 12.0f, 1e-3);
    EXPECT_NEAR(mMobile->mPosition.z, 0.0f, 1e-4);
    mAnimations.back()->Stop(0.0f);
    mMobile->Update(0.0f);

    // Backwards it walks back, again across the loop point.
    const float x = mMobile->mPosition.x;
    Animation("walk", cTarvelMobileAnimation::kBackward, true)->Play(0.0f, 1.0f);
    Run(1.2f, 0.2f);
    EXPECT_NEAR(mMobile->mPosition.x, x - 12.0f, 1e-3);
    mAnimations.back()->Stop(0.0f);
    mMobile->Update(0.0f);

    // A quarter turn to the left turns the mobile; a walk then goes along
    // its new heading. Half way the mobile has turned an eighth, and the
    // root node, whose pose turned as far, is turned back: the turn shows
    // once, not twice.
    Animation("left")->Play(0.0f, 1.0f);
    Run(0.5f, 0.25f);
    const uint32_t root = uint32_t(mMobile->mActor->GetRepositioningNode());
    const AnimCore::Quaternion local = mMobile->mInstance->GetTransformData().GetLocalTransforms()[root].rotation;
    EXPECT_NEAR(std::fabs(2.0f * std::atan2(mMobile->mRotation.y, mMobile->mRotation.w)), 0.25f * kPi, 1e-3);
    EXPECT_NEAR(std::fabs(local.w), 1.0f, 1e-4);
    EXPECT_NEAR(local.y, 0.0f, 1e-4);
    Run(0.5f, 0.25f);
    EXPECT_NEAR(std::fabs(mMobile->mRotation.y), std::sqrt(0.5f), 1e-3);
    EXPECT_NEAR(std::fabs(mMobile->mRotation.w), std::sqrt(0.5f), 1e-3);
    mAnimations.back()->Stop(0.0f);
    mMobile->Update(0.0f);
    const D3DXVECTOR3 before = mMobile->mPosition;
    Animation("walk")->Play(0.0f, 1.0f);
    Run(0.5f, 0.25f);
    EXPECT_NEAR(mMobile->mPosition.x, before.x, 1e-3);
    EXPECT_NEAR(std::fabs(mMobile->mPosition.z - before.z), 5.0f, 1e-3);
    // Its heading is the mobile's own: D3DX's rotation of +x by the mobile's
    // rotation points where it went.
    D3DXVECTOR3 ahead(1, 0, 0);
    D3DXVECTOR3 turned;
    D3DXMATRIX rotation;
    D3DXMatrixRotationQuaternion(&rotation, &mMobile->mRotation);
    D3DXVec3TransformNormal(&turned, &ahead, &rotation);
    EXPECT_NEAR(turned.z * 5.0f, mMobile->mPosition.z - before.z, 1e-3);
}

TEST_F(AnimationTest, InPlaceAndWithoutRepositioningNodeNothingMoves)
{
    Animation("walk", cTarvelMobileAnimation::kInPlace, true)->Play(0.0f, 1.0f);
    Run(0.5f);
    EXPECT_EQ(mMobile->mPosition.x, 0.0f);

    cTarvelMobile* single = Loaded("single");
    EXPECT_EQ(single->mActor->GetRepositioningNode(), -1);
    cTarvelMobileAnimation walk(single, 0);
    ASSERT_EQ(walk.Load("walk"), 0);
    walk.mLoop = true;
    walk.Play(0.0f, 1.0f);
    single->SetPosition(4, 0, 0);
    for (int i = 0; i < 5; ++i)
        single->Update(0.1f);
    EXPECT_EQ(single->mPosition.x, 4.0f);
    EXPECT_EQ(walk.GetTurnAngle(true), 0.0f);
}

TEST_F(AnimationTest, BaseAnimationWrapsAndNeverEnds)
{
    mMobile->SetBaseAnimation("hold");
    MobileBaseAnimationController* controller = mMobile->mBaseController;
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(mMobile->mInstance->GetNumLocalSpaceControllers(), 1u);
    EXPECT_TRUE(controller->IsActive());
    mMobile->Update(2.5f);
    EXPECT_NEAR(controller->GetTime(), 0.5f, 1e-5);
    for (int i = 0; i < 40; ++i)
        mMobile->Update(0.25f);
    EXPECT_TRUE(controller->IsActive());
    // The controller poses the child.
    D3DXMATRIX child;
    mMobile->GetNodeWorldMatrix(1, &child);
    EXPECT_NEAR(child._41, 3.0f, 1e-4);
    // Its clone runs ahead by the original's time.
    MobileBaseAnimationController* clone = controller->Clone(mMobile->mInstance);
    ASSERT_NE(clone, nullptr);
    EXPECT_NEAR(clone->GetTime(), controller->GetTime(), 1e-5);
    EXPECT_EQ(clone->GetBaseInstance(), controller->GetBaseInstance());
    AnimCore::Delete(clone);

    // A motion of length 0 keeps the time at 0 instead of looping for ever.
    mMobile->SetBaseAnimation("still");
    ASSERT_NE(mMobile->mBaseController, nullptr);
    EXPECT_EQ(mMobile->mInstance->GetNumLocalSpaceControllers(), 1u);
    mMobile->Update(0.5f);
    EXPECT_EQ(mMobile->mBaseController->GetTime(), 0.0f);
    // A missing motion leaves no base animation.
    mMobile->SetBaseAnimation("gone");
    EXPECT_EQ(mMobile->mBaseAnimation, nullptr);
    EXPECT_EQ(mMobile->mBaseController, nullptr);
    EXPECT_EQ(mMobile->mInstance->GetNumLocalSpaceControllers(), 0u);
}

TEST_F(AnimationTest, LookAtAndPhysicsControllersDriveNodes)
{
    // The world-space pass hands each controller the actor's world pose,
    // filled from the instance.
    mMobile->Update(0.0f);
    Anim::WorldPose& pose = mMobile->mActor->GetWorldPose();
    ASSERT_TRUE(pose.InitFromActorInstance(*mMobile->mInstance));
    for (AnimCore::Vector3& scale : pose.GetScales())
        scale = AnimCore::Vector3(1, 1, 1);
    MobileLookAtController lookAt(mMobile->mInstance, 1u);
    EXPECT_EQ(lookAt.GetNodeMask()[1], 1);
    lookAt.SetGoal(100.0f, 0.0f, 0.0f);
    lookAt.Activate(0.0f);
    EXPECT_EQ(lookAt.GetWeight(), 1.0f);
    lookAt.Update(pose, 1.0f);
    // The child's forward axis turned from +z onto +x.
    const AnimCore::Matrix& child = pose.GetMatrices()[1];
    EXPECT_NEAR(child(2, 0), 1.0f, 1e-4);
    EXPECT_NEAR(child(2, 2), 0.0f, 1e-4);

    // Bodies of the glue place their nodes, in engine units.
    ASSERT_TRUE(pose.InitFromActorInstance(*mMobile->mInstance));
    sPhysicsBody* body =
        gTarvel.mPhysics.CreateStaticBox(10, 10, 10, 250, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, nullptr, nullptr);
    ASSERT_NE(body, nullptr);
    MobilePhysicsTMController physics(mMobile->mInstance);
    physics.SetNodeBody(1, body);
    physics.SetNodeBody(7, body);   // no such node
    EXPECT_EQ(physics.GetNodeMask()[0], 0);
    EXPECT_EQ(physics.GetNodeMask()[1], 1);
    physics.Activate(0.0f);
    physics.Update(pose, 0.1f);
    D3DXMATRIX expected;
    gTarvel.mPhysics.GetBodyMatrix(body, &expected);
    EXPECT_NEAR(expected._41, 250.0f, 1e-3);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(pose.GetMatrices()[1].m16[i], (&expected._11)[i]) << i;
    EXPECT_EQ(pose.GetMatrices()[0].m16[12], 0.0f);

    // A clone for a one-node actor keeps the bodies of the nodes both have.
    cTarvelMobile* single = Loaded("single");
    physics.SetNodeBody(0, body);
    MobilePhysicsTMController* clone = physics.Clone(single->mInstance);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetNodeBody(0), body);
    EXPECT_EQ(clone->GetNodeBody(1), nullptr);
    EXPECT_EQ(clone->GetNodeMask().GetLength(), 1u);
    EXPECT_EQ(clone->GetNodeMask()[0], 1);
    EXPECT_EQ(clone->GetWeight(), 1.0f);
    EXPECT_EQ(clone->GetType(), 0x11001u);
    AnimCore::Delete(clone);
}

std::string SaveText(cTarvelMobileAnimation* animation)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Anim");
    document.LinkEndChild(root);
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = root;
    animation->Save(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.CStr();
}

void LoadText(cTarvelMobileAnimation* animation, const std::string& text)
{
    TiXmlDocument document;
    document.Parse(text.c_str());
    cTarvelSavegame& cursor = gTarvel.mSavegame;
    cursor.mRoot = cursor.mCurrent = document.RootElement();
    animation->LoadState(cursor);
    cursor.mRoot = cursor.mCurrent = nullptr;
}

TEST_F(AnimationTest, SavesAndLoadsWithAndWithoutPlaying)
{
    cTarvelMobileAnimation* playing = Animation("long", cTarvelMobileAnimation::kLowPriority);
    playing->Play(0.25f, 1.0f);
    Run(0.5f, 0.25f);
    const std::string text = SaveText(playing);
    cTarvelMobileAnimation* copy = Animation("walk");
    LoadText(copy, text);
    EXPECT_EQ(copy->mName, cTarvelString("long"));
    EXPECT_EQ(copy->mFlags, cTarvelMobileAnimation::kLowPriority);
    EXPECT_FLOAT_EQ(copy->mDuration, 2.0f);
    EXPECT_TRUE(copy->mPlaying);
    ASSERT_NE(copy->mInstance, nullptr);
    // The position saved is the time at the start of the last update.
    EXPECT_FLOAT_EQ(copy->mInstance->GetCurrentTime(), 0.25f);
    EXPECT_EQ(copy->mInstance->GetPriorityLevel(), 0u);

    playing->Stop(0.0f);
    const std::string stopped = SaveText(playing);
    EXPECT_EQ(stopped.find("<Position>"), std::string::npos);
    cTarvelMobileAnimation* idle = Animation("walk");
    LoadText(idle, stopped);
    EXPECT_FALSE(idle->mPlaying);
    EXPECT_EQ(idle->mInstance, nullptr);
    EXPECT_FLOAT_EQ(idle->mFadeOutTime, 0.25f);
}

} // namespace
