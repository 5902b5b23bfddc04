#pragma once

#include <cstdint>

#include "animation/core/array.h"
#include "animation/memory_categories.h"

namespace Anim {

class VertexAttributeLayer;

// Fixes the byte order (and coordinate system) of a vertex attribute layer read
// from a file; false when the layer type is unknown.
using LayerConvertFunction = bool (*)(VertexAttributeLayer* layer, uint32_t endianType);

bool StandardLayerEndianConvert(VertexAttributeLayer* layer, uint32_t endianType);

// What LoadActor reads of an actor file.
struct ActorSettings {
  bool loadMeshes = true;
  bool loadCollisionMeshes = true;
  bool loadMaterialLayers = true;
  bool loadSkinning = true;
  bool loadLimits = true;
  bool loadActorInfo = true;
  bool loadLODs = true;
  bool loadNodeLODMasks = true;
  bool loadTangents = true;
  bool loadMorphTargets = true;
  AnimCore::Array<uint32_t> chunkIdsToIgnore{MEMCATEGORY_IMPORTER};
  AnimCore::Array<uint32_t> layerTypesToIgnore{MEMCATEGORY_IMPORTER};
  LayerConvertFunction layerConvertFunction = StandardLayerEndianConvert;
};

// What the motion loads read of a motion file.
struct MotionSettings {
  bool loadMotionEvents = true;
  bool autoRegisterEvents = true;
  bool loadMotionInfo = true;
  AnimCore::Array<uint32_t> chunkIdsToIgnore{MEMCATEGORY_IMPORTER};
};

struct SkeletalMotionSettings : MotionSettings {};
struct PMorphMotionSettings : MotionSettings {};

}  // namespace Anim
