#include "engine/gameplay/control_flashlight.h"

#include "animation/look_at_controller.h"
#include "animation/motion_instance.h"
#include "engine/gameplay/control_effects_test_support.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/flashlight.h"
#include "engine/render/image.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_controllers.h"

namespace {

using namespace control_test;

class FlashlightTest : public ControlEffectsTest {
protected:
    void SetUp() override
    {
        ControlEffectsTest::SetUp();
        Global("Main")->object = gScriptHandles.Bind(View(0), eScriptObjectType::View);
    }
    cTarvelActor* Hero(bool torch = true)
    {
        cTarvelActor* player = MakePlayer(0, 0, -300, torch);
        player->mName = "Hero";
        Global("Hero")->object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
        return player;
    }
    cTarvelControlFlashlight* Torch()
    {
        return Bound<cTarvelControlFlashlight>("Torch", eScriptObjectType::CtrlFlashlight);
    }
    static cTarvelFlashlight* Light() { return gTarvel.mLights.mFlashlight; }
    static uint32_t Attachments(const cTarvelMobile* mobile) { return mobile->mInstance->GetNumAttachments(); }
};

TEST_F(FlashlightTest, InitLightsTheFlashlightAndArmsThePlayer)
{
    cTarvelActor* player = Hero();
    Run("TorchInit");
    cTarvelControlFlashlight* torch = Torch();
    ASSERT_NE(torch, nullptr);
    ASSERT_NE(Light(), nullptr);
    EXPECT_EQ(torch->mImageIndex, "_lit");
    EXPECT_EQ(torch->mAnimName, "hold");
    EXPECT_EQ(torch->mStartBone, "Bip01 R Forearm");

    // The holding motion, started on the forearm and out of the mobile's list.
    ASSERT_NE(torch->mHoldAnim, nullptr);
    ASSERT_TRUE(torch->mHoldAnim->IsListed());
    const Anim::MotionInstance* hold = torch->mHoldAnim->mInstance;
    EXPECT_EQ(hold->GetPriorityLevel(), 20u);
    EXPECT_EQ(hold->GetStartNodeIndex(), 1);
    EXPECT_FALSE(hold->HasFlag(cTarvelMobileAnimation::kRepositioningFlag));
    EXPECT_FALSE(hold->HasFlag(Anim::MotionInstance::FLAG_DELETEONZEROWEIGHT));
    EXPECT_TRUE(hold->HasFlag(Anim::MotionInstance::FLAG_REMOVEUNDER));
    EXPECT_TRUE(hold->HasFlag(Anim::MotionInstance::FLAG_MIX));
    for (cTarvelMobileAnimation* animation : player->mMobile->mAnimations)
        EXPECT_NE(animation, torch->mHoldAnim);

    // The cone hangs on the torch and is drawn after the scene's mobiles.
    ASSERT_NE(torch->mCone, nullptr);
    EXPECT_EQ(torch->mConeHolder, player->mLinkedMobile);
    ASSERT_EQ(Attachments(player->mLinkedMobile), 1u);
    EXPECT_EQ(player->mLinkedMobile->mInstance->GetAttachment(0)->attachment, torch->mCone->mInstance);
    tArray<sRenderItem> list;
    torch->CollectRenderItems(list, 1);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0].key, 0.1f);
    EXPECT_EQ(list[0].object, torch->mCone);
    EXPECT_EQ(list[0].kind, 2);

    // The forearm follows the mouse within its limits.
    ASSERT_NE(torch->mArmLookAt, nullptr);
    EXPECT_EQ(torch->mArmLookAt->GetNodeIndex(), 1u);
    // Limits (1.57, -0.2, 0) to (3.64, 1.5, 0): the swing spans half of each range.
    EXPECT_NEAR(torch->mArmLookAt->GetSwingLimitX(), (3.64f - 1.57f) / 2.0f, 1e-5f);
    EXPECT_NEAR(torch->mArmLookAt->GetSwingLimitY(), (1.5f + 0.2f) / 2.0f, 1e-5f);

    // Every frame the light stands 110 above the player and aims along the cone.
    player->mMobile->mPosition = D3DXVECTOR3(30, 5, -200);
    gTarvel.mGameplay.mMouseX = 512;
    gTarvel.mGameplay.mMouseY = 130;   // the sky: nothing is picked
    UpdateActiveControls();
    EXPECT_EQ(Light()->mPosition, D3DXVECTOR3(30, 115, -200));
    D3DXMATRIX node;
    torch->mCone->GetNodeWorldMatrix(0, &node);
    const D3DXVECTOR3 ahead(0, 0, 100);
    D3DXVECTOR3 target;
    D3DXVec3TransformCoord(&target, &ahead, &node);
    EXPECT_EQ(Light()->mTarget, target);
    EXPECT_EQ(player->mLookAtID, -1) << "nothing under the mouse: no look-at";
}

TEST_F(FlashlightTest, ThePointUnderTheMouseTurnsHeadAndArm)
{
    cTarvelActor* player = Hero();
    Run("TorchInit");
    cTarvelControlFlashlight* torch = Torch();
    gTarvel.mGameplay.mMouseX = 512;
    gTarvel.mGameplay.mMouseY = 600;   // the floor in front of the wall
    D3DXVECTOR3 point;
    ASSERT_NE(mScene->Pick(&point, 512, 600), 0);
    UpdateActiveControls();
    EXPECT_EQ(player->mLookAtID, cTarvelControlFlashlight::kLookAtId);
    const AnimCore::Vector3* goal = torch->mArmLookAt->GetGoal();
    EXPECT_EQ(goal->x, point.x);
    EXPECT_EQ(goal->y, point.y);
    EXPECT_EQ(goal->z, point.z);
    EXPECT_EQ(torch->mArmLookAt->GetTargetWeight(), 1.0f);
}

TEST_F(FlashlightTest, PlayerWithoutTorchGetsTheLightAndTheArmButNoCone)
{
    Hero(false);
    Run("TorchInit");
    cTarvelControlFlashlight* torch = Torch();
    ASSERT_NE(torch, nullptr);
    EXPECT_NE(Light(), nullptr);
    EXPECT_NE(torch->mArmLookAt, nullptr);
    EXPECT_EQ(torch->mCone, nullptr);
    tArray<sRenderItem> list;
    torch->CollectRenderItems(list, 0);
    EXPECT_EQ(list.Count(), 0);
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 1);
}

TEST_F(FlashlightTest, WithoutAPlayerOnlyTheLightIsSwitchedOn)
{
    Run("TorchInit");
    ASSERT_NE(Torch(), nullptr);
    EXPECT_NE(Light(), nullptr);
    EXPECT_EQ(Torch()->mHoldAnim, nullptr);
    EXPECT_EQ(Torch()->mArmLookAt, nullptr);
    UpdateActiveControls();
    // The light switched off by other code ends the control.
    gTarvel.mLights.SetFlashlight(false);
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 0);
}

TEST_F(FlashlightTest, ViewsAndMobilesBecomeReceiversAndComeBackFromASavegame)
{
    // The player comes through the shared "PC", whatever its actor is called.
    cTarvelActor* player = MakePlayer(0, 0, -300);
    player->mName = "Kate";
    cTarvelScriptValue* pc = cTarvelGameplay::FindValue("PC");
    ASSERT_NE(pc, nullptr);
    pc->object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
    sSceneMesh& floor = View(0)->mMeshSettings[0];
    floor.renderMethod = 1;
    Run("TorchInit");
    Run("TorchView");
    Run("TorchPC");
    ASSERT_EQ(Light()->mSceneryReceivers.Count(), 1);
    EXPECT_EQ(Light()->mSceneryReceivers[0], &floor);
    ASSERT_EQ(floor.passes.Count(), 1);
    EXPECT_EQ(floor.passes[0].kind, 3);
    EXPECT_EQ(floor.passes[0].object, Light());
    EXPECT_EQ(static_cast<cTarvelImage*>(floor.passes[0].target)->mName, "floor_lit");
    const int32_t meshes = player->mMobile->mMeshes.Count();
    ASSERT_GT(meshes, 0);
    EXPECT_EQ(Light()->mMobileReceivers.Count(), meshes);
    ASSERT_EQ(Torch()->mMobiles.Count(), 1);
    EXPECT_EQ(Torch()->mMobiles[0], "PC");

    cTarvelScriptValue shared;
    shared.name = "Torch";
    shared.kind = kScriptObject;
    cTarvelGameplay::AddValue(shared);
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<Control class=\"6\"><Symbol>Torch</Symbol><ImageIndex>_lit</ImageIndex><Anim>hold</Anim>"
                       "<StartBone>Bip01 R Forearm</StartBone><View name=\"Main\" /><Mobile name=\"PC\" />"
                       "</Control>"),
              std::string::npos)
        << xml;
    // The old control's light went with it: the restored one has its own.
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* torch = static_cast<cTarvelControlFlashlight*>(gActiveControls[0]);
    EXPECT_EQ(gScriptHandles.Get<cTarvelControlFlashlight>(cTarvelGameplay::FindValue("Torch")->object,
                                                           eScriptObjectType::CtrlFlashlight),
              torch);
    ASSERT_EQ(torch->mViews.Count(), 1);
    EXPECT_EQ(torch->mViews[0], View(0));
    EXPECT_EQ(Light()->mSceneryReceivers.Count(), 1);
    EXPECT_EQ(Light()->mMobileReceivers.Count(), meshes) << "the player found again through PC";
    ASSERT_EQ(torch->mMobiles.Count(), 1);
    EXPECT_EQ(torch->mMobiles[0], "PC");
    EXPECT_EQ(Attachments(player->mLinkedMobile), 1u) << "the old cone went, the new one hangs";
}

TEST_F(FlashlightTest, AMeshWithoutItsLitPictureStaysDarkAlsoAfterALoad)
{
    Hero();
    View(0)->mMeshSettings[0].renderMethod = 1;
    auto* torch = new cTarvelControlFlashlight("Torch", "_dark", "hold", "Bip01 R Forearm");
    gActiveControls.Add(torch);
    const int32_t images = View(0)->mImages.Count();
    torch->AddView(View(0));
    ASSERT_EQ(torch->mViews.Count(), 1);
    EXPECT_EQ(torch->mViews[0], View(0));
    EXPECT_EQ(Light()->mSceneryReceivers.Count(), 0);
    EXPECT_EQ(View(0)->mMeshSettings[0].passes.Count(), 0);
    EXPECT_EQ(View(0)->mImages.Count(), images) << "no picture is made for it";

    SaveAndRestore();
    ASSERT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(static_cast<cTarvelControlFlashlight*>(gActiveControls[0])->mViews.Count(), 1);
    EXPECT_EQ(Light()->mSceneryReceivers.Count(), 0);
}

TEST_F(FlashlightTest, AddMobileAndAddViewFailWithoutTheirObject)
{
    Hero();
    Run("TorchInit");
    tScriptFrame frame;
    frame.thisValue = Global("Torch");
    cTarvelScriptValue view = *Global("Main");
    view.object = 0;
    frame.arguments.Add(view);
    EXPECT_EQ(cCtrlFlashlight__addView(&frame), -1);
    cTarvelScriptValue mobile = *Global("Hero");
    mobile.className = "cView";   // no mobile by the resolution rule
    frame.arguments.Clear();
    frame.arguments.Add(mobile);
    EXPECT_EQ(cCtrlFlashlight__addMobile(&frame), -1);
    EXPECT_EQ(Torch()->mViews.Count(), 0);
    EXPECT_EQ(Torch()->mMobiles.Count(), 0);
}

TEST_F(FlashlightTest, EndSwitchesOffAndUnbindsSoLaterCallsFail)
{
    cTarvelActor* player = Hero();
    Run("TorchInit");
    cTarvelControlFlashlight* torch = Torch();
    Anim::ActorInstance* instance = player->mMobile->mInstance;
    const uint32_t controllers = instance->GetNumWorldSpaceControllers();
    Run("TorchEnd");
    EXPECT_EQ(Light(), nullptr);
    EXPECT_TRUE(torch->mFinished);
    EXPECT_EQ(Global("Torch")->object, 0u);
    EXPECT_EQ(torch->mArmLookAt->GetTargetWeight(), 0.0f);

    tScriptFrame frame;
    frame.thisValue = Global("Torch");
    frame.arguments.Add(*Global("Main"));
    EXPECT_EQ(cCtrlFlashlight__addView(&frame), -1);
    EXPECT_EQ(cCtrlFlashlight__end(&frame), -1);

    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 0);
    EXPECT_EQ(instance->GetNumWorldSpaceControllers(), controllers - 1) << "the arm controller is taken off";
    EXPECT_EQ(Attachments(player->mLinkedMobile), 0u);
}

TEST_F(FlashlightTest, EndTurnsTheHeadBackOverASecondOnlyFromTheFlashlightsLookAt)
{
    cTarvelActor* player = Hero();
    player->CreateLookAtControllers();
    MobileLookAtController* head = player->GetLookAtController(cTarvelActor::kLookAtHead);
    ASSERT_NE(head, nullptr);
    gTarvel.mGameplay.mMouseX = 512;
    gTarvel.mGameplay.mMouseY = 600;   // the floor

    Run("TorchInit");
    UpdateActiveControls();
    ASSERT_EQ(player->mLookAtID, cTarvelControlFlashlight::kLookAtId);
    head->SetWeight(1.0f, 0.0f);
    Run("TorchEnd");
    EXPECT_EQ(player->mLookAtID, -1);
    EXPECT_EQ(head->GetTargetWeight(), 0.0f);
    head->UpdateWeight(0.5f);
    EXPECT_FLOAT_EQ(head->GetWeight(), 0.5f) << "half way after half a second";
    UpdateActiveControls();

    // A look-at a script set since is not the flashlight's to take away.
    Run("TorchInit");
    UpdateActiveControls();
    player->SetLookAt(0.0f, 100.0f, 0.0f, 5, 1.0f);
    head->SetWeight(1.0f, 0.0f);
    Run("TorchEnd");
    EXPECT_EQ(player->mLookAtID, 5);
    EXPECT_EQ(head->GetTargetWeight(), 1.0f);
}

}  // namespace
