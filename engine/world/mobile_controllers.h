#pragma once

// The game's additions to the animation library's update of a mobile's actor
// instance: the base-animation, look-at and physics controllers and the pass
// that turns root motion into the instance's move and turn.

#include <cstdint>
#include <vector>

#include "animation/layer_pass.h"
#include "animation/local_space_controller.h"
#include "animation/look_at_controller.h"

namespace Anim {
class MotionLayerSystem;
} // namespace Anim

struct sPhysicsBody;

// Plays a mobile's base animation on its own clock: it loops for ever and
// never ends with its motion.
class MobileBaseAnimationController : public Anim::LocalSpaceController {
public:
    static constexpr uint32_t TYPE_ID = 0x11002;

    // Takes the motion instance (made, not listed, by the motion system).
    MobileBaseAnimationController(Anim::ActorInstance* actorInstance, Anim::MotionInstance* motionInstance);
    ~MobileBaseAnimationController() override;

    uint32_t GetType() const override { return TYPE_ID; }
    const char* GetTypeString() const override { return "MobileBaseAnimationController"; }
    // Nothing per frame: the mobile's update advances the clock.
    void Update() override {}
    void CreateMotionLinks(Anim::Actor* actor, Anim::MotionInstance* instance) override;
    void UpdatePose(const AnimCore::Array<Anim::Transform>& inPose, AnimCore::Array<Anim::Transform>& outPose,
                    Anim::MotionInstance* instance) override;

    // A controller of another instance on the same motion instance, its
    // clock advanced by this one's time; null when memory runs out.
    MobileBaseAnimationController* Clone(Anim::ActorInstance* actorInstance) const;
    void AdvanceTime(float dt);

    Anim::MotionInstance* GetBaseInstance() const { return mMotionInstance; }
    float GetTime() const { return mTime; }

private:
    Anim::MotionInstance* mMotionInstance;
    float mTime = 0.0f;
    bool mOwnsInstance = true;
};

// Turns a node toward a goal (an actor's head), faded in and out.
class MobileLookAtController : public Anim::LookAtController {
public:
    MobileLookAtController(Anim::ActorInstance* actorInstance, uint32_t nodeIndex)
        : Anim::LookAtController(actorInstance, nodeIndex)
    {
    }

    AnimCore::Quaternion mRotation;
};

// Places nodes where physics bodies of the engine's glue are.
class MobilePhysicsTMController : public Anim::WorldSpaceController {
public:
    static constexpr uint32_t TYPE_ID = 0x11001;

    explicit MobilePhysicsTMController(Anim::ActorInstance* actorInstance);

    uint32_t GetType() const override { return TYPE_ID; }
    const char* GetTypeString() const override { return "MobilePhysicsTMController"; }
    Controller* Clone() override { return Clone(GetActorInstance()); }
    // For another instance: the bodies of the nodes both actors have.
    MobilePhysicsTMController* Clone(Anim::ActorInstance* actorInstance);
    void Update(Anim::WorldPose& pose, float timeDelta) override;

    // A node index outside the actor changes nothing.
    void SetNodeBody(uint32_t nodeIndex, sPhysicsBody* body);
    sPhysicsBody* GetNodeBody(uint32_t nodeIndex) const
    {
        return nodeIndex < mBodies.size() ? mBodies[nodeIndex] : nullptr;
    }

private:
    std::vector<sPhysicsBody*> mBodies;
};

// Moves and turns the actor instance by the root motion of the instances
// the game marked, and keeps the repositioning node from moving twice.
class MobileRepositioningLayerPass : public Anim::RepositioningLayerPass {
public:
    // Replaces (and deletes) the system's previous pass.
    explicit MobileRepositioningLayerPass(Anim::MotionLayerSystem* layerSystem);
    void Process() override;
};
