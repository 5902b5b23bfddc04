#include "animation/look_at_controller.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/core/swing_twist.h"
#include "animation/memory_categories.h"
#include "animation/node.h"
#include "animation/node_limit_attribute.h"
#include "animation/world_pose.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Quaternion;
using AnimCore::Vector3;

// A zero vector stays zero.
Vector3 Normalized(const Vector3& v) {
  const float length = v.Length();
  return length > 0.0f ? v * (1.0f / length) : v;
}

Vector3 Row(const Matrix& m, int r) { return {m(r, 0), m(r, 1), m(r, 2)}; }

void SetRow(Matrix& m, int r, const Vector3& v) {
  m(r, 0) = v.x;
  m(r, 1) = v.y;
  m(r, 2) = v.z;
}

// The rotation of m: its axis rows normalised, translation dropped.
Matrix RotationOnly(const Matrix& m) {
  Matrix r;
  for (int i = 0; i < 3; ++i) SetRow(r, i, Normalized(Row(m, i)));
  return r;
}

Matrix RotationX(float angle) {
  Matrix m;
  m.SetRotationMatrixAxisAngle({1.0f, 0.0f, 0.0f}, angle);
  return m;
}

Matrix RotationY(float angle) {
  Matrix m;
  m.SetRotationMatrixY(angle);
  return m;
}

}  // namespace

LookAtController::LookAtController(ActorInstance* actorInstance, uint32_t nodeIndex)
    : WorldSpaceController(actorInstance), mNodeIndex(nodeIndex) {
  InitRotationFromNode();
  const Node* node = actorInstance->GetActor()->GetNode(nodeIndex);
  if (node != nullptr) {
    if (const auto* limits = static_cast<const NodeLimitAttribute*>(
            node->FindAttributeByType(NodeLimitAttribute::TYPE_ID));
        limits != nullptr) {
      SetLimits(limits->rotationMin, limits->rotationMax);
    }
  }
  SetNodeMaskRecursive(nodeIndex, 1);
}

void LookAtController::InitRotationFromNode() {
  const ActorInstance* instance = GetActorInstance();
  if (mNodeIndex >= instance->GetNumNodes()) return;
  const Matrix& world = instance->GetTransformData().GetWorldMatrices()[mNodeIndex];
  mCurrentRotation = Quaternion::FromMatrix(RotationOnly(world)).Normalized();
}

Controller* LookAtController::Clone() {
  auto* clone = AnimCore::New<LookAtController>(MEMCATEGORY_WORLDSPACECONTROLLER,
                                                GetActorInstance(), mNodeIndex);
  if (clone == nullptr) return nullptr;
  clone->mPreRotation = mPreRotation;
  clone->mPostRotation = mPostRotation;
  clone->mLimitRotation = mLimitRotation;
  clone->mCurrentRotation = mCurrentRotation;
  clone->mGoal = mGoal;
  clone->mSwingLimitX = mSwingLimitX;
  clone->mSwingLimitY = mSwingLimitY;
  clone->mTwistMin = mTwistMin;
  clone->mTwistMax = mTwistMax;
  clone->mSpeed = mSpeed;
  clone->mConstraintType = mConstraintType;
  clone->mFlipAxis = mFlipAxis;
  clone->CopyWeight(*this);
  return clone;
}

void LookAtController::SetLimits(const Vector3& min, const Vector3& max) {
  mTwistMin = min.z;
  mTwistMax = max.z;
  const float cx = (min.x + max.x) * 0.5f;
  const float cy = (min.y + max.y) * 0.5f;
  mSwingLimitX = max.x - cx;
  mSwingLimitY = max.y - cy;
  mLimitRotation = RotationX(cx) * RotationY(cy);
  if (mFlipAxis) {
    Matrix flip;
    flip.SetRotationMatrixZ(-std::numbers::pi_v<float> * 0.5f);
    mLimitRotation = flip * mLimitRotation;
  }
}

Quaternion LookAtController::Slerp(const Quaternion& from, Quaternion to, float t) {
  float dot = from.Dot(to);
  if (dot < 0.0f) {
    to = {-to.x, -to.y, -to.z, -to.w};
    dot = -dot;
  }
  float a = 1.0f - t;
  float b = t;
  if (1.0f - dot > 0.00001f) {
    const float theta = std::acos(std::min(dot, 1.0f));
    const float sinTheta = std::sin(theta);
    a = std::sin((1.0f - t) * theta) / sinTheta;
    b = std::sin(t * theta) / sinTheta;
  }
  return Quaternion(a * from.x + b * to.x, a * from.y + b * to.y, a * from.z + b * to.z,
                    a * from.w + b * to.w)
      .Normalized();
}

void LookAtController::Update(WorldPose& pose, float timeDelta) {
  ActorInstance* instance = GetActorInstance();
  const Actor* actor = instance->GetActor();
  const uint32_t numNodes = pose.GetNumNodes();
  const Node* node = actor->GetNode(mNodeIndex);
  if (node == nullptr || mNodeIndex >= numNodes || pose.GetScales().GetLength() < numNodes) return;
  Matrix* matrices = pose.GetMatrices().GetPtr();
  const Vector3 position = Row(matrices[mNodeIndex], 3);

  const Vector3 direction = Normalized(mGoal - position);
  const uint32_t parent = node->GetParentIndex();
  const Matrix parentRotation = RotationOnly(matrices[parent < numNodes ? parent : mNodeIndex]);
  const Vector3 up = Normalized(Row(mPreRotation * parentRotation, 1));
  const Vector3 right = Normalized(up.Cross(direction));

  // A goal on the node itself, or straight along the up axis, gives no frame: the
  // node then keeps the rotation it has.
  if (right.SquareLength() > 0.0f) {
    Matrix target;
    SetRow(target, 0, right);
    SetRow(target, 1, Normalized(direction.Cross(right)));
    SetRow(target, 2, direction);

    if (mConstraintType != CONSTRAINT_NONE) {
      // The limits are angles in the parent's frame turned by the limits' centre:
      // the parent's rotation, not its whole world matrix, whose scale would bend the
      // angles (and hand a matrix that is no rotation to the swing-twist split) and
      // whose translation plays no part in a direction. The flip is part of that
      // frame too, as SetLimits put it in: leaving the limit rotation out when the
      // flip is set would also drop the centre, and the node would leave limits
      // that are not centred on zero.
      const Matrix limitFrame = mLimitRotation * parentRotation;
      Matrix local = target * limitFrame.Inversed();
      AnimCore::SwingTwist swingTwist;
      swingTwist.FromMatrix(local);
      if (mConstraintType == CONSTRAINT_ELLIPSE) {
        swingTwist.ClampToEllipse(mSwingLimitX, mSwingLimitY);
      } else {
        swingTwist.ClampToRectangle(mSwingLimitX, mSwingLimitY);
      }
      swingTwist.ClampTwist(mTwistMin, mTwistMax);
      target = swingTwist.ToMatrix() * limitFrame;
    }
    target = mPostRotation * target;

    const float t = std::clamp(mSpeed * timeDelta * 6.0f, 0.0f, 1.0f);
    mCurrentRotation = Slerp(mCurrentRotation, Quaternion::FromMatrix(target).Normalized(), t);
  }

  Matrix result = mCurrentRotation.ToMatrix();
  const Vector3& scale = pose.GetScales()[mNodeIndex];
  SetRow(result, 0, Row(result, 0) * scale.x);
  SetRow(result, 1, Row(result, 1) * scale.y);
  SetRow(result, 2, Row(result, 2) * scale.z);
  SetRow(result, 3, position);
  instance->SetNodeTransformMatrix(mNodeIndex, &result, matrices);
}

}  // namespace Anim
