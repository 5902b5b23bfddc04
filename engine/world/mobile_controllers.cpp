#include "engine/world/mobile_controllers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/motion.h"
#include "animation/motion_instance.h"
#include "animation/motion_layer_system.h"
#include "animation/node.h"
#include "animation/world_pose.h"
#include "engine/core/tarvel.h"
#include "engine/world/mobile_animation.h"

// ---- Base animation ------------------------------------------------------------

MobileBaseAnimationController::MobileBaseAnimationController(Anim::ActorInstance* actorInstance,
                                                             Anim::MotionInstance* motionInstance)
    : Anim::LocalSpaceController(actorInstance), mMotionInstance(motionInstance)
{
}

MobileBaseAnimationController::~MobileBaseAnimationController()
{
    // The controlled motion leaves the system first, then the instance it
    // samples.
    Deactivate(0.0f);
    if (mOwnsInstance && mMotionInstance)
        AnimCore::Delete(mMotionInstance);
}

void MobileBaseAnimationController::AdvanceTime(float dt)
{
    const float length = mMotionInstance ? mMotionInstance->GetMotion()->GetMaxTime() : 0.0f;
    // A motion without length would never leave the loop.
    if (!(length > 0.0f)) {
        mTime = 0.0f;
        return;
    }
    mTime = std::fmod(mTime + dt, length);
    if (mTime < 0.0f)
        mTime += length;
}

void MobileBaseAnimationController::CreateMotionLinks(Anim::Actor* actor, Anim::MotionInstance* instance)
{
    if (!mMotionInstance || !instance)
        return;
    mMotionInstance->GetMotion()->CreateMotionLinks(actor, mMotionInstance);
    const uint32_t nodes = actor->GetNumNodes();
    if (instance->GetLinks().GetLength() < nodes && !instance->ResizeLinks(nodes))
        return;
    for (uint32_t i = 0; i < nodes; ++i)
        if (const uint16_t link = mMotionInstance->GetLink(i); link != Anim::MotionInstance::kNoLink)
            instance->GetLinks()[i] = link;
}

void MobileBaseAnimationController::UpdatePose(const AnimCore::Array<Anim::Transform>& inPose,
                                               AnimCore::Array<Anim::Transform>& outPose, Anim::MotionInstance*)
{
    if (!mMotionInstance)
        return;
    Anim::Actor* actor = GetActorInstance()->GetActor();
    const uint32_t nodes = actor->GetNumNodes();
    if (outPose.GetLength() != nodes && !outPose.Resize(nodes))
        return;
    Anim::Motion* motion = mMotionInstance->GetMotion();
    for (uint32_t i = 0; i < nodes; ++i) {
        if (mMotionInstance->GetLink(i) != Anim::MotionInstance::kNoLink)
            motion->CalcNodeTransform(mMotionInstance, outPose[i], actor, i, mTime, false);
        else if (i < inPose.GetLength())
            outPose[i] = inPose[i];
    }
}

MobileBaseAnimationController* MobileBaseAnimationController::Clone(Anim::ActorInstance* actorInstance) const
{
    auto* clone = AnimCore::New<MobileBaseAnimationController>(Anim::MEMCATEGORY_LOCALSPACECONTROLLER,
                                                                actorInstance, mMotionInstance);
    if (!clone)
        return nullptr;
    // The instance stays this controller's.
    clone->mOwnsInstance = false;
    clone->AdvanceTime(mTime);
    return clone;
}

// ---- Physics ---------------------------------------------------------------------

MobilePhysicsTMController::MobilePhysicsTMController(Anim::ActorInstance* actorInstance)
    : Anim::WorldSpaceController(actorInstance), mBodies(actorInstance->GetActor()->GetNumNodes(), nullptr)
{
    AnimCore::Array<uint8_t>& mask = GetNodeMask();
    for (uint32_t i = 0; i < mask.GetLength(); ++i)
        mask[i] = 0;
}

void MobilePhysicsTMController::SetNodeBody(uint32_t nodeIndex, sPhysicsBody* body)
{
    if (nodeIndex >= mBodies.size())
        return;
    mBodies[nodeIndex] = body;
    if (nodeIndex < GetNodeMask().GetLength())
        GetNodeMask()[nodeIndex] = body ? 1 : 0;
}

void MobilePhysicsTMController::Update(Anim::WorldPose& pose, float)
{
    AnimCore::Array<AnimCore::Matrix>& matrices = pose.GetMatrices();
    const size_t nodes = std::min<size_t>(mBodies.size(), matrices.GetLength());
    for (size_t i = 0; i < nodes; ++i) {
        if (!mBodies[i])
            continue;
        D3DXMATRIX m;
        gTarvel.mPhysics.GetBodyMatrix(mBodies[i], &m);
        std::memcpy(matrices[uint32_t(i)].m16, &m.m[0][0], sizeof m.m);
    }
}

MobilePhysicsTMController* MobilePhysicsTMController::Clone(Anim::ActorInstance* actorInstance)
{
    auto* clone =
        AnimCore::New<MobilePhysicsTMController>(Anim::MEMCATEGORY_WORLDSPACECONTROLLER, actorInstance);
    if (!clone)
        return nullptr;
    const size_t shared = std::min(mBodies.size(), clone->mBodies.size());
    for (size_t i = 0; i < shared; ++i)
        clone->SetNodeBody(uint32_t(i), mBodies[i]);
    clone->CopyWeight(*this);
    return clone;
}

// ---- Repositioning ---------------------------------------------------------------

namespace {

// The angle of a rotation about the vertical axis.
float Heading(const AnimCore::Quaternion& q)
{
    return 2.0f * std::atan2(q.y, q.w);
}

AnimCore::Quaternion TurnAbout(float angle)
{
    return AnimCore::Quaternion(0.0f, std::sin(angle * 0.5f), 0.0f, std::cos(angle * 0.5f));
}

struct sRootMotion {
    AnimCore::Vector3 move;
    float turn = 0.0f;
};

sRootMotion Between(Anim::MotionInstance& instance, Anim::Actor* actor, uint32_t node, float from, float to)
{
    Anim::Motion* motion = instance.GetMotion();
    Anim::Transform a, b;
    motion->CalcNodeTransform(&instance, a, actor, node, from, instance.GetRetargeting());
    motion->CalcNodeTransform(&instance, b, actor, node, to, instance.GetRetargeting());
    return {b.position - a.position, Heading(b.rotation) - Heading(a.rotation)};
}

} // namespace

MobileRepositioningLayerPass::MobileRepositioningLayerPass(Anim::MotionLayerSystem* layerSystem)
    : Anim::RepositioningLayerPass(layerSystem)
{
    layerSystem->SetRepositioningPass(this);
}

void MobileRepositioningLayerPass::Process()
{
    Anim::ActorInstance* actorInstance = mLayerSystem->GetActorInstance();
    Anim::Actor* actor = actorInstance->GetActor();
    const int32_t reposNode = actor->GetRepositioningNode();
    if (reposNode < 0 || uint32_t(reposNode) >= actorInstance->GetNumNodes() || !actor->GetRepositioningEnabled() ||
        mLayerSystem->GetNumMotionInstances() == 0)
        return;
    const uint32_t node = uint32_t(reposNode);

    AnimCore::Vector3 move;
    AnimCore::Quaternion turn;
    // The heading the node's pose has turned away from its start, which the
    // instance takes over instead.
    AnimCore::Quaternion offset;
    for (uint32_t i = mLayerSystem->GetNumMotionInstances(); i-- > 0;) {
        Anim::MotionInstance& instance = *mLayerSystem->GetMotionInstance(i);
        Anim::Motion* motion = instance.GetMotion();
        if (!motion->IsSkeletal() || instance.GetLink(node) == Anim::MotionInstance::kNoLink ||
            !instance.HasFlag(cTarvelMobileAnimation::kRepositioningFlag))
            continue;
        sRootMotion delta;
        if (!instance.IsPaused()) {
            float from = instance.GetPreviousTime();
            if (!instance.HasFlag(Anim::MotionInstance::FLAG_NOREPOSITIONLOOPS) &&
                instance.GetCurrentLoop() != instance.GetPreviousLoop()) {
                const float end = motion->GetMaxTime();
                const bool forward = instance.GetTimeDelta() >= 0.0f;
                const sRootMotion tail = Between(instance, actor, node, from, forward ? end : 0.0f);
                delta.move = tail.move;
                delta.turn = tail.turn;
                from = forward ? 0.0f : end;
            }
            const sRootMotion rest = Between(instance, actor, node, from, instance.GetCurrentTime());
            delta.move += rest.move;
            delta.turn += rest.turn;
        }
        const sRootMotion sincePose = Between(instance, actor, node, 0.0f, instance.GetCurrentTime());
        const float w = instance.GetWeight();
        if (instance.GetBlendMode() == Anim::MotionInstance::BLENDMODE_ADDITIVE) {
            move += delta.move * w;
            turn = TurnAbout(delta.turn * w) * turn;
            offset = TurnAbout(sincePose.turn * w) * offset;
        } else {
            move = move * (1.0f - w) + delta.move * w;
            AnimCore::QuaternionLerp(turn, turn, TurnAbout(delta.turn), w);
            AnimCore::QuaternionLerp(offset, offset, TurnAbout(sincePose.turn), w);
        }
    }
    const AnimCore::Vector3& scale = actorInstance->GetScale();
    move = AnimCore::Vector3(move.x * scale.x, move.y * scale.y, move.z * scale.z);

    if (!(actor->GetRepositioningMask() & Anim::Actor::REPOSITION_POSITION))
        return;
    turn.Normalize();
    offset.Normalize();
    const Anim::Transform* locals = actorInstance->GetTransformData().GetLocalTransforms();
    const Anim::Transform* bind = actorInstance->GetTransformData().GetBindTransforms();
    // The node keeps its pose less the heading it turned since the start.
    actorInstance->SetLocalRotation(node, offset.Conjugate() * locals[node].rotation);
    AnimCore::Quaternion rotation = actorInstance->GetRotation() * turn;
    rotation.Normalize();
    actorInstance->SetRotation(rotation);
    // Only the heading places the move: a tilted instance still walks level.
    const AnimCore::Vector3 step = TurnAbout(Heading(rotation)).Rotate(move);
    AnimCore::Vector3 position = actorInstance->GetPosition();
    position.x += step.x;
    position.z += step.z;
    actorInstance->SetPosition(position);
    // The node stays over its reference place; its height keeps the motion's.
    actorInstance->SetLocalPosition(node, AnimCore::Vector3(bind[node].position.x, locals[node].position.y,
                                                            bind[node].position.z));
}
