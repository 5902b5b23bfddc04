#include "animation/chunk_processors.h"

#include "animation/chunk_info.h"
#include "animation/chunk_material.h"
#include "animation/chunk_mesh.h"
#include "animation/chunk_morph.h"
#include "animation/chunk_motion.h"
#include "animation/chunk_node.h"
#include "animation/chunk_skinning.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"

namespace Anim {

bool RegisterStandardChunkProcessors(Importer& importer) {
  bool ok = true;
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorNode>(MEMCATEGORY_IMPORTER, 1u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorNode>(MEMCATEGORY_IMPORTER, 2u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorMesh>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorSkinningInfo>(MEMCATEGORY_IMPORTER, 1u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorSkinningInfo>(MEMCATEGORY_IMPORTER, 2u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorLimit>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorProgMorphTarget>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorPMorphSubMotion>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorMaterial>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorMaterialLayer>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorFXMaterial>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorInfo>(MEMCATEGORY_IMPORTER, 1u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorInfo>(MEMCATEGORY_IMPORTER, 2u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorActorMeshLOD>(MEMCATEGORY_IMPORTER, importer));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorMotionInfo>(MEMCATEGORY_IMPORTER, 201u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorMotionInfo>(MEMCATEGORY_IMPORTER, 101u));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorMotionEventTable>(MEMCATEGORY_IMPORTER));
  ok &= importer.RegisterChunkProcessor(AnimCore::New<ChunkProcessorSkeletalSubMotion>(MEMCATEGORY_IMPORTER));
  return ok;
}

}  // namespace Anim
