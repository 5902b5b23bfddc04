#include "animation/chunk_node.h"

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/import_settings.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/node.h"
#include "animation/node_limit_attribute.h"

namespace Anim {

using namespace ChunkRead;

bool ChunkProcessorActorNode::Process(AnimCore::MemoryFile* file,
                                      AnimCore::Array<ImporterSharedData*>* sharedData,
                                      Actor* actor, Motion*, uint32_t endianType,
                                      ActorSettings* actorSettings, SkeletalMotionSettings*,
                                      PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  const uint32_t fixedSize = GetVersion() == 2 ? 80 : 76;
  uint8_t body[80];
  if (!Bytes(file, body, fixedSize)) return false;
  AnimCore::String name;
  if (!Importer::ReadString(file, sharedData, endianType, name)) return false;
  const uint32_t lodMask = U32At(body + 68, endianType);
  const uint32_t parentIndex = U32At(body + 72, endianType);

  // Parents come before their children: a forward or bad reference is refused
  // before it can index the node list.
  if (parentIndex != Node::kNoNode && parentIndex >= actor->GetNumNodes()) {
    AnimCore::Log("ChunkProcessorActorNode::Process: Invalid parent index %u.", parentIndex);
    return false;
  }
  const bool logDetails = GetLogDetails();
  if (logDetails) {
    AnimCore::Log("- Node name = '%s'", name.AsChar());
    AnimCore::Log("    + Parent = '%s'", parentIndex != Node::kNoNode
                                              ? actor->GetNode(parentIndex)->GetName()
                                              : "");
  }

  Node* node = AnimCore::New<Node>(MEMCATEGORY_NODE, name.AsChar(), actor);
  if (node == nullptr || !actor->AddNode(node)) return false;
  const uint32_t index = node->GetIndex();

  const AnimCore::Quaternion rotation = QuaternionAt(body, endianType);
  const AnimCore::Quaternion scaleRotation = QuaternionAt(body + 16, endianType);
  Transform& bind = actor->GetTransformData().GetBindTransforms()[index];
  bind.rotation = rotation.Normalized();
  bind.scaleRotation = scaleRotation.Normalized();
  bind.position = VectorAt(body + 32, endianType);
  bind.scale = ScaleAt(body + 44, endianType);

  if (actorSettings == nullptr || actorSettings->loadNodeLODMasks) node->SetLODMask(lodMask);
  if (GetVersion() == 2) node->SetIncludeInBoundsCalc((body[76] & 1) != 0);

  if (parentIndex != Node::kNoNode) {
    node->SetParentIndex(parentIndex);
    if (!actor->GetNode(parentIndex)->AddChild(index)) return false;
  } else if (!actor->AddRootNode(index)) {
    return false;
  }

  if (logDetails) {
    AnimCore::Log("    + Position:      x=%f, y=%f, z=%f", bind.position.x, bind.position.y,
                  bind.position.z);
    AnimCore::Log("    + Rotation:      x=%f, y=%f, z=%f, w=%f", rotation.x, rotation.y,
                  rotation.z, rotation.w);
    AnimCore::Log("    + Scale:         x=%f, y=%f, z=%f", bind.scale.x, bind.scale.y,
                  bind.scale.z);
    AnimCore::Log("    + Scale Rot:     x=%f, y=%f, z=%f, w=%f", scaleRotation.x, scaleRotation.y,
                  scaleRotation.z, scaleRotation.w);
    if (GetVersion() == 2) {
      AnimCore::Log("    + IncludeInBoundsCalc: %d", node->GetIncludeInBoundsCalc() ? 1 : 0);
    }
  }
  return true;
}

bool ChunkProcessorActorLimit::Process(AnimCore::MemoryFile* file,
                                       AnimCore::Array<ImporterSharedData*>*, Actor* actor,
                                       Motion*, uint32_t endianType, ActorSettings*,
                                       SkeletalMotionSettings*, PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t body[88];
  if (!Bytes(file, body, sizeof(body))) return false;
  const uint32_t nodeIndex = U32At(body + 84, endianType);
  Node* node = actor->GetNode(nodeIndex);
  if (node == nullptr) {
    AnimCore::Log("ChunkProcessorActorLimit::Process: Could not get node by index.");
    return false;
  }
  NodeLimitAttribute* limit = AnimCore::New<NodeLimitAttribute>(MEMCATEGORY_NODEATTRIBUTE);
  if (limit == nullptr) return false;
  limit->translationMin = VectorAt(body, endianType);
  limit->translationMax = VectorAt(body + 12, endianType);
  limit->rotationMin = ScaleAt(body + 24, endianType);
  limit->rotationMax = ScaleAt(body + 36, endianType);
  limit->scaleMin = ScaleAt(body + 48, endianType);
  limit->scaleMax = ScaleAt(body + 60, endianType);
  const uint8_t* flags = body + 72;
  for (int i = 0; i < 9; ++i) {
    if (flags[i] != 0) limit->limitFlags = static_cast<uint16_t>(limit->limitFlags | (1u << i));
  }
  if (!node->AddAttribute(limit)) return false;

  if (GetLogDetails()) {
    const auto line = [](const char* format, const AnimCore::Vector3& v) {
      AnimCore::Log(format, v.x, v.y, v.z);
    };
    AnimCore::Log("- Limits for node '%s'", node->GetName());
    line("    + TranslateMin = %.3f, %.3f, %.3f", limit->translationMin);
    line("    + TranslateMax = %.3f, %.3f, %.3f", limit->translationMax);
    line("    + RotateMin    = %.3f, %.3f, %.3f", limit->rotationMin);
    line("    + RotateMax    = %.3f, %.3f, %.3f", limit->rotationMax);
    line("    + ScaleMin     = %.3f, %.3f, %.3f", limit->scaleMin);
    line("    + ScaleMax     = %.3f, %.3f, %.3f", limit->scaleMax);
    AnimCore::Log(
        "    + LimitFlags   = POS[%d, %d, %d], ROT[%d, %d, %d], SCALE[%d, %d, %d]", flags[0],
        flags[1], flags[2], flags[3], flags[4], flags[5], flags[6], flags[7], flags[8]);
  }
  return true;
}

}  // namespace Anim
