#pragma once

namespace Anim {

class Importer;

// Registers the processors of the actor file's node, limit, mesh, skinning,
// material, info and level-of-detail chunks and of the motion files' skeletal
// submotion, event table and info chunks. False when one could not be registered.
bool RegisterStandardChunkProcessors(Importer& importer);

}  // namespace Anim
